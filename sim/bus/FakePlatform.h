#pragma once
// The bus as tests use it: every platform call logged in order, failures on
// demand, and the clock's sleeps recorded, so that a test can assert the
// calls and waits the module made without sleeping. None of this is linked
// into the module; its simulation mode runs on the plain Bus.
#include <cstdint>
#include <string>
#include <vector>

#include "sim/bus/Bus.h"

namespace orvo::fake {

// The bus's time, with every sleep recorded.
class RecordingClock {
 public:
  explicit RecordingClock(BusClock& time) : Time(time) {}
  uint64_t NowMs() const { return Time.NowMs(); }
  void Advance(uint64_t ms) { Time.Advance(ms); }
  void AdvanceTo(uint64_t ms) { Time.AdvanceTo(ms); }
  void Sleep(uint32_t ms) {
    Sleeps.push_back(ms);
    Time.Advance(ms);
  }
  const std::vector<uint32_t>& Recorded() const { return Sleeps; }
  void ClearRecorded() { Sleeps.clear(); }

 private:
  BusClock& Time;
  std::vector<uint32_t> Sleeps;
};

class FakePlatform final : public Bus {
 public:
  // Failure switches.
  bool DeviceSetFails = false;
  bool ConfigureFails = false;
  // Hands back the whole serial-port map whatever limit the caller gives, so
  // that the caller's own budget is what stops it.
  bool PortMapIgnoresLimit = false;

  RecordingClock& Clock() { return Recorder; }
  // One line per platform call, in order: "open \\.\COM5", "write COM5 fe ff 05 02 52 49",
  // "read COM5 14 -> 14", "sleep 500", "close COM5", "hid-path 3", ...
  const std::vector<std::string>& CallLog() const { return Calls; }
  void ClearCallLog() { Calls.clear(); }
  int HidSetsOpen() const { return SetsOpen; }

  Handle OpenSerialPort(std::u16string_view deviceName) override;
  bool ConfigureSerialPort(Handle port, const SerialSettings& settings) override;
  void ClearCommErrors(Handle port) override;
  bool WriteSerial(Handle port, std::span<const uint8_t> bytes) override;
  std::size_t ReadSerial(Handle port, std::span<uint8_t> bytes) override;
  DeviceSet OpenHidDeviceSet() override;
  bool HidInterfacePath(DeviceSet set, int index, std::u16string& path) override;
  void CloseHidDeviceSet(DeviceSet set) override;
  Handle OpenHidDevice(std::u16string_view path) override;
  void FlushHidInput(Handle device) override;
  bool WriteHidReport(Handle device, std::span<const uint8_t, HidReportSize> report) override;
  std::size_t ReadHidReport(Handle device, std::span<uint8_t, HidReportSize> report,
                            uint32_t timeoutMs) override;
  void CloseHandle(Handle handle) override;
  bool ReadSerialPortMap(std::vector<PortMapValue>& values, std::size_t limit) override;
  void Sleep(uint32_t ms) override;

 private:
  RecordingClock Recorder{Time()};
  std::vector<std::string> Calls;
  int SetsOpen = 0;
};

// A DWORD value of the serial-port map, as the registry holds it.
PortMapValue DwordValue(std::u16string name, uint32_t number);

}  // namespace orvo::fake
