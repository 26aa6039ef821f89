#include "sim/ProcessDecoder.h"

namespace orvo::sim {
namespace {

constexpr uint8_t Opening[] = {1, 3, 7};
constexpr uint8_t Closing[] = {3, 2, 0};
constexpr uint8_t One = 6;
constexpr uint8_t Zero = 5;
constexpr uint8_t Between = 7;
constexpr int BitCount = 16;
constexpr int PatternLength = 3;

}  // namespace

std::optional<uint16_t> ProcessDecoder::Feed(uint8_t nibble) {
  switch (At) {
    case Phase::Idle:
      if (nibble == Opening[0]) {
        At = Phase::Start;
        Step = 1;
      }
      break;
    case Phase::Start:
      // A selector write of 1 looks like a start; falling back to idle then
      // is no broken transfer.
      if (nibble != Opening[Step]) {
        At = Phase::Idle;
        return Feed(nibble);
      }
      if (++Step == PatternLength) {
        At = Phase::Bits;
        Bits = 0;
        BetweenBits = false;
        Value = 0;
      }
      break;
    case Phase::Bits:
      if (BetweenBits ? nibble != Between : nibble != One && nibble != Zero) {
        BreakOff(nibble);
      } else if (BetweenBits) {
        BetweenBits = false;
      } else {
        Value = static_cast<uint16_t>(Value << 1 | (nibble == One ? 1 : 0));
        BetweenBits = ++Bits < BitCount;
        if (Bits == BitCount) {
          At = Phase::End;
          Step = 0;
        }
      }
      break;
    case Phase::End:
      if (nibble != Closing[Step]) {
        BreakOff(nibble);
      } else if (++Step == PatternLength) {
        At = Phase::Idle;
        return Value;
      }
      break;
  }
  return std::nullopt;
}

void ProcessDecoder::BreakOff(uint8_t nibble) {
  ++BrokenCount;
  At = Phase::Idle;
  Feed(nibble);
}

}  // namespace orvo::sim
