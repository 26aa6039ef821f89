#include "sim/ProcessDecoder.h"

namespace orvo::sim {
namespace {

constexpr uint8_t kStart[] = {1, 3, 7};
constexpr uint8_t kEnd[] = {3, 2, 0};
constexpr uint8_t kOne = 6;
constexpr uint8_t kZero = 5;
constexpr uint8_t kBetween = 7;
constexpr int kBitCount = 16;
constexpr int kPatternLength = 3;

}  // namespace

std::optional<uint16_t> ProcessDecoder::Feed(uint8_t nibble) {
  switch (At) {
    case Phase::Idle:
      if (nibble == kStart[0]) {
        At = Phase::Start;
        Step = 1;
      }
      break;
    case Phase::Start:
      // A selector write of 1 looks like a start; falling back to idle then
      // is no broken transfer.
      if (nibble != kStart[Step]) {
        At = Phase::Idle;
        return Feed(nibble);
      }
      if (++Step == kPatternLength) {
        At = Phase::Bits;
        Bits = 0;
        BetweenBits = false;
        Value = 0;
      }
      break;
    case Phase::Bits:
      if (BetweenBits ? nibble != kBetween : nibble != kOne && nibble != kZero) {
        BreakOff(nibble);
      } else if (BetweenBits) {
        BetweenBits = false;
      } else {
        Value = static_cast<uint16_t>(Value << 1 | (nibble == kOne ? 1 : 0));
        BetweenBits = ++Bits < kBitCount;
        if (Bits == kBitCount) {
          At = Phase::End;
          Step = 0;
        }
      }
      break;
    case Phase::End:
      if (nibble != kEnd[Step]) {
        BreakOff(nibble);
      } else if (++Step == kPatternLength) {
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
