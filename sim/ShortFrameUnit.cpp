#include "sim/ShortFrameUnit.h"

namespace orvo::sim {

ShortFrameUnit::ShortFrameUnit(uint8_t address)
    : UnitBase(address, std::make_unique<ShortFramer>()) {}

std::vector<uint8_t> ShortFrameUnit::OnChannels() const {
  std::vector<uint8_t> on;
  for (std::size_t i = 0; i < Channels; ++i) {
    if (Switched[i]) on.push_back(static_cast<uint8_t>(i));
  }
  return on;
}

Reply ShortFrameUnit::AnswerSerial(std::span<const uint8_t> frame) {
  if (!Accepts(frame[0])) return std::nullopt;
  const std::optional<uint8_t> data = Execute(frame[1], frame[2]);
  if (!data) return std::nullopt;
  return std::vector<uint8_t>{Address(), 0, *data};
}

}  // namespace orvo::sim
