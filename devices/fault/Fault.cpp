#include "devices/fault/Fault.h"

#include <array>

#include "devices/common/ListItems.h"
#include "protocol/Wire.h"

namespace orvo {
namespace {

// A hunt pauses after every probe, answered or not, before it lets go of
// the port.
constexpr uint32_t AfterProbeMs = 500;

}  // namespace

// One remembered port for every unit, rewritten by a hunt alone; the unit
// needs 50 ms before it replies.
CFault::CFault(Platform& platform, Registry& registry)
    : CShortFrameDevice(platform, registry, {u"TarnPort", false}, 50) {}

bool CFault::Present() { return Confirmed(Read, 0x00); }

bool CFault::Probe() {
  const bool found = Present();
  Os.Sleep(AfterProbeMs);
  return found;
}

int16_t CFault::CheckComm() {
  return OnPort([&] { return Present() ? StatusOk : StatusFailed; });
}

int16_t CFault::ClearFaults() {
  return OnPort([&] { return SendFaultItem(u"C000"); });
}

// A letter and a fault number: F switches the fault in, E out, and C clears
// them all whatever follows it. A fourth character is tolerated and ignored.
// The digits are not checked: each is its character minus '0' in 8-bit
// arithmetic. A letter the unit has no command for is refused rather than
// guessed at, so nothing is sent for it.
int16_t CFault::SendFaultItem(std::u16string_view item) {
  item = SkipLeading(item, u" ,");
  if (item.size() < 2 || item.size() > 4) return StatusBadFaultItem;
  uint8_t command = 0;
  switch (item[0] & 0xFF) {
    case 'C':
      command = Clear;
      break;
    case 'E':
      command = Off;
      break;
    case 'F':
      command = On;
      break;
    default:
      return StatusBadFaultItem;
  }
  uint8_t number = 0;
  if (command != Clear) {
    number = ItemDecimalDigit(item[1]);
    if (item.size() >= 3) number = static_cast<uint8_t>(number * 10 + ItemDecimalDigit(item[2]));
  }
  return SendShort(command, number);
}

}  // namespace orvo
