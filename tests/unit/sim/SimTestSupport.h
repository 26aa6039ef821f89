#pragma once
// Frame builders and printers shared by the simulated-unit tests.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "protocol/HexText.h"
#include "sim/Unit.h"

namespace orvo::sim {

using Bytes = std::vector<uint8_t>;

// Serial command frames as the link writes them.
inline Bytes Cmd2(uint8_t address, uint8_t code, uint8_t argument) {
  return {0xFE, 0xFF, address, 2, code, argument};
}
inline Bytes Cmd3(uint8_t address, uint8_t code, uint8_t argument, uint8_t value) {
  return {0xFE, 0xFF, address, 3, code, argument, value};
}

inline std::string Hex(const Bytes& bytes) { return HexBytes(bytes); }

inline bool operator==(const Frame& a, const Frame& b) {
  return a.Type == b.Type && a.Bytes == b.Bytes;
}

inline void PrintTo(const Frame& frame, std::ostream* os) {
  static const char* kinds[] = {"command", "short", "hid", "garbage"};
  *os << kinds[static_cast<int>(frame.Type)] << "{" << Hex(frame.Bytes) << "}";
}

}  // namespace orvo::sim
