#pragma once
// The wire trace as a spy port: a platform that forwards every call to the
// one it wraps and writes a line for each exchange it sees pass, the way a
// serial-port monitor sits between a program and the port. No backend knows
// about the trace, and the link only adds a note where it alone knows why
// nothing went out.
//
// An exchange is a write and the read that answers it. A serial read that
// comes up short is held back: the link reopens the port and sends the same
// frame once more, and the line shows the second outcome, marked resent.
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "link/WireTrace.h"
#include "platform/Platform.h"

namespace orvo {

class TracedPlatform final : public Platform {
 public:
  TracedPlatform(Platform& wrapped, TraceOutput& out) : Wrapped(wrapped), Out(out) {}
  ~TracedPlatform() override;
  TracedPlatform(const TracedPlatform&) = delete;
  TracedPlatform& operator=(const TracedPlatform&) = delete;

  Handle OpenSerialPort(std::u16string_view deviceName) override;
  bool ConfigureSerialPort(Handle port, const SerialSettings& settings) override;
  void ClearCommErrors(Handle port) override { Wrapped.ClearCommErrors(port); }
  bool WriteSerial(Handle port, std::span<const uint8_t> bytes) override;
  std::size_t ReadSerial(Handle port, std::span<uint8_t> bytes) override;
  DeviceSet OpenHidDeviceSet() override { return Wrapped.OpenHidDeviceSet(); }
  bool HidInterfacePath(DeviceSet set, int index, std::u16string& path) override {
    return Wrapped.HidInterfacePath(set, index, path);
  }
  void CloseHidDeviceSet(DeviceSet set) override { Wrapped.CloseHidDeviceSet(set); }
  Handle OpenHidDevice(std::u16string_view path) override { return Wrapped.OpenHidDevice(path); }
  bool GetHidAttributes(Handle device, HidAttributes& attributes) override {
    return Wrapped.GetHidAttributes(device, attributes);
  }
  void FlushHidInput(Handle device) override { Wrapped.FlushHidInput(device); }
  bool WriteHidReport(Handle device, std::span<const uint8_t, HidReportSize> report) override;
  std::size_t ReadHidReport(Handle device, std::span<uint8_t, HidReportSize> report,
                            uint32_t timeoutMs) override;
  void CloseHandle(Handle handle) override;
  bool ReadSerialPortMap(std::vector<PortMapValue>& values, std::size_t limit) override {
    return Wrapped.ReadSerialPortMap(values, limit);
  }
  void Sleep(uint32_t ms) override { Wrapped.Sleep(ms); }
  SystemError LastError() override { return Wrapped.LastError(); }
  void Note(std::string_view text) override;

 private:
  struct Pending {
    int32_t Port;
    std::vector<uint8_t> Sent;
    std::vector<uint8_t> Reply;  // of the first try, while the resend is awaited
    bool Resent = false;
    bool AwaitingResend = false;
  };

  void Record(const Pending& exchange, std::span<const uint8_t> reply, bool whole);
  // A held-back exchange whose resend never came is written as it stood.
  void Settle();

  Platform& Wrapped;
  TraceOutput& Out;
  std::map<Handle, int32_t> Ports;  // open serial ports by handle
  std::optional<Pending> Serial;
  std::vector<uint8_t> Report;  // the last HID output report
};

}  // namespace orvo
