#include "sim/PlcTrainer.h"

namespace orvo::sim {

PlcTrainer::PlcTrainer(uint8_t address) : ShortFrameUnit(address) {}

uint8_t PlcTrainer::Selector() const {
  uint8_t nibble = 0;
  for (uint8_t k = 0; k < 4; ++k) {
    if (Switched[SelectorFirst + k]) nibble |= static_cast<uint8_t>(1 << k);
  }
  return nibble;
}

std::optional<uint16_t> PlcTrainer::LastProcessValue() const {
  if (ProcessLog.empty()) return std::nullopt;
  return ProcessLog.back();
}

std::optional<uint8_t> PlcTrainer::Execute(uint8_t command, uint8_t argument) {
  switch (command) {
    case On:
    case Off:
      Switch(argument, command == On);
      return 0;
    case Read:
      return ReadSelectedBlock();
    case Clear:
      // Clear takes the inserted faults out. The block selects and the
      // selector are outputs the host drives, not faults, so they stay.
      for (std::size_t channel = 0; channel < Channels; ++channel) {
        if (channel < MainSelect || channel > SelectorLast) Switched[channel] = false;
      }
      return 0;
    default:
      return std::nullopt;
  }
}

void PlcTrainer::Switch(uint8_t channel, bool on) {
  Switched[channel] = on;
  // The host writes a nibble as channels 24, 25, 26, 27 in order, so the
  // write to 27 completes one.
  if (channel != SelectorLast) return;
  NibbleLog.push_back(Selector());
  if (std::optional<uint16_t> value = Decoder.Feed(Selector())) ProcessLog.push_back(*value);
}

// With both selects on, the main block wins.
uint8_t PlcTrainer::ReadSelectedBlock() const {
  if (Switched[MainSelect]) return Main;
  if (Switched[ExternalSelect]) return External;
  return NothingSelected;
}

}  // namespace orvo::sim
