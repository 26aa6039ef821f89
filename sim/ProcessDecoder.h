#pragma once
// Reads a 16-bit process value back out of the nibbles a PLC trainer is
// clocked with: start 1, 3, 7; per bit 6 (one) or 5 (zero), most significant
// bit first, with 7 between bits; end 3, 2, 0.
#include <cstdint>
#include <optional>

namespace orvo::sim {

class ProcessDecoder {
 public:
  // Takes the next nibble written; returns the value once a transfer ends.
  std::optional<uint16_t> Feed(uint8_t nibble);

  // Transfers that got past the start pattern and then broke off.
  int Broken() const { return BrokenCount; }

 private:
  enum class Phase { Idle, Start, Bits, End };
  void BreakOff(uint8_t nibble);

  Phase At = Phase::Idle;
  int Step = 0;  // position within the start or end pattern
  int Bits = 0;
  bool BetweenBits = false;
  uint16_t Value = 0;
  int BrokenCount = 0;
};

}  // namespace orvo::sim
