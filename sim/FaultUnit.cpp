#include "sim/FaultUnit.h"

namespace orvo::sim {

FaultUnit::FaultUnit(uint8_t address) : ShortFrameUnit(address) {}

std::optional<uint8_t> FaultUnit::Execute(uint8_t command, uint8_t argument) {
  switch (command) {
    case kOn:
    case kOff:
      Switched[argument] = command == kOn;
      return 0;
    case kClear:
      Switched.reset();
      return 0;
    case kRead:
      return ReadData;
    default:
      return std::nullopt;
  }
}

}  // namespace orvo::sim
