#pragma once
// Bytes as traces and tests print them: "fe ff 05", lower-case, one blank
// between bytes. The module's wire trace, orvo-sim's logs, the fake
// platform's call trace and the registry dump all use this one form so that
// they can be compared by eye.
#include <cstdint>
#include <span>
#include <string>

namespace orvo {

inline std::string HexBytes(std::span<const uint8_t> bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t b : bytes) {
    if (!text.empty()) text += ' ';
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

}  // namespace orvo
