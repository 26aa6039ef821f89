#pragma once
// CComm: the one transport the three device classes share. It opens a serial
// port (port n > 0, COMn) or a USB HID unit (port 0), sends one command and
// reads a reply of a length the caller fixes, with a single reopen and resend
// when a serial reply comes up short.
#include <cstdint>
#include <span>

#include "platform/Platform.h"
#include "protocol/Wire.h"

namespace orvo {

using protocol::StatusFailed;
using protocol::StatusOk;
inline constexpr int16_t StatusBadFaultItem = 65;

using protocol::OrvoVendorId;

// Where the link points: nowhere, the HID unit, or serial port n. An open
// that fails still records what it was asked for, so that the resend after a
// short reply reopens the same port and a failed HID search still counts as
// HID.
struct LinkMode {
  enum class Kind : uint8_t { Closed, Hid, Serial };
  Kind Via = Kind::Closed;
  int32_t Port = 0;  // with Serial

  static constexpr LinkMode Closed() { return {}; }
  static constexpr LinkMode Hid() { return {Kind::Hid, 0}; }
  static constexpr LinkMode Serial(int32_t port) { return {Kind::Serial, port}; }
  bool operator==(const LinkMode&) const = default;
};

class CComm {
 public:
  explicit CComm(Platform& platform = SystemPlatform());
  virtual ~CComm();
  CComm(const CComm&) = delete;
  CComm& operator=(const CComm&) = delete;

  bool Open(int32_t port, int32_t address);
  bool OpenSerial(int32_t port);
  bool FindHidUnit(uint16_t vendorId, int32_t address);
  // Fills `ports` with 0, for the HID link, followed by the serial ports of
  // the system's map; returns the count. At most `maximum` map values are
  // examined, so callers give room for maximum + 1 entries.
  int ListSerialPorts(uint8_t maximum, std::span<int16_t> ports);
  int16_t Transact(int32_t address, uint8_t length, uint8_t command, uint8_t argument,
                   uint8_t value, uint8_t replyLength, uint8_t* reply);
  int16_t TransactShort(int32_t address, uint8_t command, uint8_t argument, uint8_t* reply);
  void Close();
  void SetReplyDelay(uint32_t ms);

  LinkMode CurrentMode() const { return Mode; }

 private:
  LinkMode Mode;
  Handle SerialHandle;
  Handle HidHandle;
  int32_t SearchIndex;
  uint32_t ReplyDelay;
  Platform& Os;

  bool HidSearch(int32_t address);
  bool FindOrvoCandidate(DeviceSet set, int32_t address);
  bool OpenHidCandidate(DeviceSet set, HidAttributes& attributes);
  int16_t TransactSerial(std::span<const uint8_t> frame, bool clearErrors, uint32_t delayBeforeRead,
                         uint8_t replyLength, uint8_t* reply);
  int16_t TransactHid(int32_t address, uint8_t length, uint8_t command, uint8_t argument,
                      uint8_t value, uint8_t replyLength, uint8_t* reply);
  void CloseHandleOf(Handle& handle);
};

// Port number of a serial-port map value, or 0 when the value names no port
// we can open ("COM" and 1 to 5 decimal digits, 1 to 32767).
int16_t PortFromMapValue(const PortMapValue& value);

}  // namespace orvo
