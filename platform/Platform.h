#pragma once
// The operating-system services the device link needs. The link is plain
// logic over these; Win32 provides the real ones and sim/bus an in-memory
// bus for tests and the simulation mode.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/Wire.h"

namespace orvo {

// An operating-system file handle, or the invalid-handle value.
using Handle = std::intptr_t;
inline constexpr Handle InvalidHandle = -1;

// A set of present HID device interfaces, as handed out by the system.
using DeviceSet = std::intptr_t;
inline constexpr DeviceSet InvalidDeviceSet = -1;

struct SerialTimeouts {
  uint32_t ReadInterval;
  uint32_t ReadTotalMultiplier;
  uint32_t ReadTotalConstant;
  uint32_t WriteTotalMultiplier;
  uint32_t WriteTotalConstant;
};

struct SerialSettings {
  std::u16string_view Definition;  // a mode string such as "baud=9600 parity=O data=8 stop=1"
  uint32_t InQueue;
  uint32_t OutQueue;
  SerialTimeouts Timeouts;
};

struct HidAttributes {
  uint16_t VendorId;
  uint16_t ProductId;
};

// One value of the system's serial-port map, as enumerated. A value that
// could not be read keeps Type 0 (REG_NONE) so that it still takes its place
// in the enumeration.
struct PortMapValue {
  std::u16string Name;
  uint32_t Type = 0;
  std::vector<uint8_t> Data;
};

using protocol::HidReportSize;

struct SystemError {
  uint32_t Code = 0;
  std::string Text;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Serial ports. Open is exclusive and synchronous; Configure applies the
  // definition string to the port's current settings, then sets the queues
  // and time-outs, and reports whether every write was accepted.
  virtual Handle OpenSerialPort(std::u16string_view deviceName) = 0;
  virtual bool ConfigureSerialPort(Handle port, const SerialSettings& settings) = 0;
  virtual void ClearCommErrors(Handle port) = 0;
  virtual bool WriteSerial(Handle port, std::span<const uint8_t> bytes) = 0;
  // Reads up to bytes.size() bytes within the port's time-outs; returns how
  // many arrived.
  virtual std::size_t ReadSerial(Handle port, std::span<uint8_t> bytes) = 0;

  // HID devices. Paths come from the system's enumeration of the HID
  // interface class; a failure at one index does not end a search.
  virtual DeviceSet OpenHidDeviceSet() = 0;
  virtual bool HidInterfacePath(DeviceSet set, int index, std::u16string& path) = 0;
  virtual void CloseHidDeviceSet(DeviceSet set) = 0;
  virtual Handle OpenHidDevice(std::u16string_view path) = 0;
  virtual bool GetHidAttributes(Handle device, HidAttributes& attributes) = 0;
  // Discards the input reports already waiting on the handle.
  virtual void FlushHidInput(Handle device) = 0;
  // Writes one output report, waiting at most 1000 ms for it to go.
  virtual bool WriteHidReport(Handle device, std::span<const uint8_t, HidReportSize> report) = 0;
  // Reads one input report, waiting at most timeoutMs; returns the number of
  // bytes received, 0 on failure or time-out.
  virtual std::size_t ReadHidReport(Handle device, std::span<uint8_t, HidReportSize> report,
                                    uint32_t timeoutMs) = 0;

  virtual void CloseHandle(Handle handle) = 0;

  // The local machine's serial-port map. Returns false when the map cannot be
  // opened; otherwise fills at most `limit` values in registry order.
  virtual bool ReadSerialPortMap(std::vector<PortMapValue>& values, std::size_t limit) = 0;

  // Every wait in the module is a plain sleep of the calling thread.
  virtual void Sleep(uint32_t ms) = 0;

  // The system's own account of the last call on this thread that failed:
  // its error number and text, or code 0 when it gives none. The trace shows
  // it beside a port that would not open, since "why does it say 60?" is
  // the commonest question, and the system's answer is the best one.
  virtual SystemError LastError() { return {}; }

  // A remark for whoever watches the calls (the wire trace, when a traced
  // platform wraps this one): what the caller alone knows, such as a search
  // that found nothing. The system has no use for it.
  virtual void Note(std::string_view) {}
};

// The operating system's own platform: Win32 in the DLL. The host build has
// no default; tests hand a fake platform to each object. The module's
// objects get theirs from the automation server, which may put a simulation
// or a trace around this one.
Platform& SystemPlatform();

}  // namespace orvo
