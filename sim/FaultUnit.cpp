#include "sim/FaultUnit.h"

namespace orvo::sim {

FaultUnit::FaultUnit(uint8_t address) : ShortFrameUnit(address) {}

std::optional<uint8_t> FaultUnit::Execute(uint8_t command, uint8_t argument) {
  switch (command) {
    case On:
    case Off:
      Switched[argument] = command == On;
      return 0;
    case Clear:
      Switched.reset();
      return 0;
    case Read:
      return ReadData;
    default:
      return std::nullopt;
  }
}

}  // namespace orvo::sim
