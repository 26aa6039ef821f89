#pragma once
// A unit that speaks the short frame, serial only: [addr, cmd, arg] in,
// [own addr, 0, data] out. Frames for address 0 are answered too, with the
// unit's own address, so a host that does not know the address still gets
// through; frames for other addresses are logged and ignored.
#include <bitset>

#include "sim/UnitBase.h"

namespace orvo::sim {

// The opcodes are written out here again rather than taken from protocol/:
// the units stand for the hardware, so a wrong opcode in the module's table
// makes a unit ignore the frame and a test fail, instead of both sides
// agreeing on the same mistake.
enum ShortCommand : uint8_t {
  Read = 0xB0,
  Clear = 0xC0,
  Off = 0xE0,
  On = 0xF0,
};

class ShortFrameUnit : public UnitBase {
 public:
  static constexpr std::size_t Channels = 256;

  bool IsOn(uint8_t channel) const { return Switched[channel]; }
  // Puts a channel into a state without a frame, as if it had been switched
  // before the test began.
  void SetOn(uint8_t channel, bool on) { Switched[channel] = on; }
  // The channels that are on, in ascending order.
  std::vector<uint8_t> OnChannels() const;

 protected:
  explicit ShortFrameUnit(uint8_t address);

  // The data byte answering a command; nothing for a command the unit does
  // not know, which it ignores.
  virtual std::optional<uint8_t> Execute(uint8_t command, uint8_t argument) = 0;

  std::bitset<Channels> Switched;

 private:
  Reply AnswerSerial(std::span<const uint8_t> frame) final;
};

}  // namespace orvo::sim
