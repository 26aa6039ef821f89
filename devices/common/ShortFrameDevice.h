#pragma once
// CShortFrameDevice: what the PLC trainer and the fault unit share beyond
// CDevice. Both speak short frames ([address, command, argument] out,
// [address, unread, data] back), take fault lists item by item, are
// addressed through the Address property alone, and clear their faults when
// a CAI lesson starts or ends.
#include <array>
#include <cstdint>
#include <string_view>

#include "devices/common/Device.h"
#include "protocol/Wire.h"

namespace orvo {

class CShortFrameDevice : public CDevice {
 public:
  // Reports success and changes nothing: there is no address to set on the
  // unit.
  int16_t SetAddress(int16_t /*address*/) { return StatusOk; }
  int16_t StartCai() { return ClearFaults(); }
  int16_t EndCai() { return ClearFaults(); }
  // Virtual so that StartCai and EndCai reach whatever the object's own
  // ClearFaults is, as a call through the interface would.
  virtual int16_t ClearFaults() = 0;
  // An empty list reaches the unit (the port opens and closes) and reports
  // success, as the console's does.
  int16_t SendFaults(std::u16string_view faults) {
    return OnPort([&] { return SendEachItem(faults); });
  }

 protected:
  using CDevice::CDevice;

  static constexpr uint8_t Read = protocol::ShortRead;
  static constexpr uint8_t Clear = protocol::ShortClear;
  static constexpr uint8_t Off = protocol::ShortOff;
  static constexpr uint8_t On = protocol::ShortOn;

  // One short frame with the link open; the exchange's status, whoever
  // answered.
  int16_t SendShort(uint8_t command, uint8_t argument) {
    std::array<uint8_t, protocol::ShortFrameSize> reply{};
    return Link.TransactShort(Address, command, argument, reply.data());
  }

  // One short frame whose reply must come from this unit. The reply's
  // address byte is compared as 0..255 with the whole 16-bit address, so an
  // address outside that range never matches.
  bool Confirmed(uint8_t command, uint8_t argument, uint8_t* data = nullptr) {
    std::array<uint8_t, protocol::ShortFrameSize> reply{};
    if (Link.TransactShort(Address, command, argument, reply.data()) != StatusOk) return false;
    if (reply[0] != Address) return false;
    if (data) *data = reply[2];
    return true;
  }
};

}  // namespace orvo
