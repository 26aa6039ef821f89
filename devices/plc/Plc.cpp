#include "devices/plc/Plc.h"

#include <array>

#include "devices/common/ListItems.h"
#include "protocol/Wire.h"

namespace orvo {
namespace {

constexpr uint8_t MainSelect = protocol::PlcMainSelect;
constexpr uint8_t ExternalSelect = protocol::PlcExternalSelect;
constexpr uint8_t NibbleFirst = protocol::PlcSelectorFirst;

// The process value is clocked through the nibble: bit 0 and bit 1 carry
// the data, bit 2 frames the transfer. Both data lines high separates two
// bits, so the trainer sees every bit as a change.
constexpr std::array<uint8_t, 3> ProcessOpening{1, 3, 7};
constexpr std::array<uint8_t, 3> ProcessClosing{3, 2, 0};
constexpr uint8_t ProcessZero = 5;
constexpr uint8_t ProcessOne = 6;
constexpr uint8_t ProcessBetweenBits = 7;

}  // namespace

// One remembered port for every trainer, rewritten by a hunt alone; the
// trainer needs 50 ms before it replies.
CPlc::CPlc(Platform& platform, Registry& registry)
    : CShortFrameDevice(platform, registry, {u"SorlPort", false}, 50) {}

// Switching the main select on and off again answers from a trainer and
// leaves it as it was.
bool CPlc::Probe() {
  if (!Confirmed(On, MainSelect)) return false;
  SendShort(Off, MainSelect);
  return true;
}

// Main block: bit 5 DC and bit 4 Monitor, both active low; bits 0..3 the
// selector switch, one line per position, so anything but a single line is
// no position. Bits 6 and 7 are not wired.
void CPlc::DecodeMainBlock(uint8_t data) {
  constexpr std::array<int16_t, 16> Positions{0, 1, 2, 0, 3, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0};
  DC = (data & 0x20) ? 0 : 1;
  Monitor = (data & 0x10) ? 0 : 1;
  Selector = Positions[data & 0x0F];
}

// External block: bits 0..2 the supply (bit 1 alone 12 V, bit 2 alone 24 V,
// anything else the 5 V default), bit 3 PC1 and bit 4 PC2, active high.
// Bits 5 to 7 are not wired.
void CPlc::DecodeExternalBlock(uint8_t data) {
  constexpr std::array<int16_t, 8> Supplies{5, 5, 12, 5, 24, 5, 5, 5};
  Voltage = Supplies[data & 0x07];
  PC1 = (data & 0x08) ? 1 : 0;
  PC2 = (data & 0x10) ? 1 : 0;
}

// Select the block, read it, deselect. A failed Read leaves the select on
// and the readings as they were; once the data byte is in, it is decoded
// whatever the deselect reports.
int16_t CPlc::ReadBlock(uint8_t selectChannel, void (CPlc::*decode)(uint8_t)) {
  uint8_t data = 0;
  if (!Confirmed(On, selectChannel)) return StatusFailed;
  if (!Confirmed(Read, 0x00, &data)) return StatusFailed;
  (this->*decode)(data);
  return SendShort(Off, selectChannel);
}

int16_t CPlc::ReadMainBlock() { return ReadBlock(MainSelect, &CPlc::DecodeMainBlock); }

int16_t CPlc::ReadExternalBlock() { return ReadBlock(ExternalSelect, &CPlc::DecodeExternalBlock); }

// Channels 24..27 in order, so that the write to 27 completes the nibble on
// the trainer; a channel that is not confirmed ends the write there.
int16_t CPlc::WriteNibble(uint8_t value) {
  for (uint8_t k = 0; k < 4; ++k) {
    const uint8_t command = (value >> k) & 1 ? On : Off;
    if (!Confirmed(command, static_cast<uint8_t>(NibbleFirst + k))) return StatusFailed;
  }
  return StatusOk;
}

int16_t CPlc::CheckComm() {
  return OnPort([&] {
    const int16_t status = ReadMainBlock();
    if (status != StatusOk) return status;
    return ReadExternalBlock() == StatusOk ? StatusOk : StatusFailed;
  });
}

int16_t CPlc::ReadMain() {
  return OnPort([&] { return ReadMainBlock(); });
}

// Refreshes all six readings but reports the external block alone.
int16_t CPlc::ReadExternal() {
  return OnPort([&] {
    ReadMainBlock();
    return ReadExternalBlock();
  });
}

int16_t CPlc::SetSelector(int16_t selector) {
  return OnPort([&] { return WriteNibble(static_cast<uint8_t>(selector)); });
}

// The framing writes decide the status and stop the transfer when one
// fails. The data writes go out whatever their replies say, so that the
// trainer always gets all sixteen bits and a clean end of the transfer.
int16_t CPlc::SetProcess(int16_t process) {
  return OnPort([&] {
    int16_t status = StatusFailed;
    const auto framing = [&](const auto& pattern) {
      for (uint8_t nibble : pattern) {
        status = WriteNibble(nibble);
        if (status != StatusOk) return false;
      }
      return true;
    };
    if (framing(ProcessOpening)) {
      const auto bits = static_cast<uint16_t>(process);
      for (int i = 0; i < 16; ++i) {
        WriteNibble((bits >> (15 - i)) & 1 ? ProcessOne : ProcessZero);
        if (i != 15) WriteNibble(ProcessBetweenBits);
      }
      framing(ProcessClosing);
    }
    return status;
  });
}

int16_t CPlc::ClearFaults() {
  return OnPort([&] { return Confirmed(Clear, 0x00) ? StatusOk : StatusFailed; });
}

// "F" and a fault number switches that fault in; any other letter switches
// it out. Fault n is channel n - 1, so F1 is channel 0 and F0 wraps to 255.
// The digits are not checked: each is its character minus '0' in 8-bit
// arithmetic, so a trailing blank makes F1 into channel 249.
int16_t CPlc::SendFaultItem(std::u16string_view item) {
  item = SkipLeading(item, u" ,");
  if (item.size() != 2 && item.size() != 3) return StatusBadFaultItem;
  const uint8_t command = (item[0] & 0xFF) == 'F' ? On : Off;
  auto number = ItemDecimalDigit(item[1]);
  if (item.size() == 3) number = static_cast<uint8_t>(number * 10 + ItemDecimalDigit(item[2]));
  return SendShort(command, static_cast<uint8_t>(number - 1));
}

}  // namespace orvo
