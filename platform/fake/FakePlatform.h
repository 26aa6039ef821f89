#pragma once
// An in-memory platform for tests: a bus of fake COM ports and HID devices
// wired to simulated units, a fake serial-port map, and a recording clock.
// Nothing sleeps for real; waits advance the clock and are recorded, and
// serial reads honour the configured time-outs against the clock.
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "sim/Unit.h"

namespace orvo::fake {

class RecordingClock {
 public:
  uint64_t NowMs() const { return Now; }
  void Advance(uint64_t ms) { Now += ms; }
  void AdvanceTo(uint64_t ms) { Now = ms > Now ? ms : Now; }
  void Sleep(uint32_t ms) {
    Sleeps.push_back(ms);
    Now += ms;
  }
  const std::vector<uint32_t>& Recorded() const { return Sleeps; }
  void ClearRecorded() { Sleeps.clear(); }

 private:
  uint64_t Now = 0;
  std::vector<uint32_t> Sleeps;
};

struct AppliedSettings {
  std::u16string Definition;
  uint32_t InQueue = 0;
  uint32_t OutQueue = 0;
  SerialTimeouts Timeouts{};
};

struct FakeHidDevice {
  std::u16string Path;
  uint16_t VendorId = 0;
  uint16_t ProductId = 0;
  sim::Unit* Unit = nullptr;  // null: a device that never answers
  bool OpenFails = false;
};

// Where a test's wire trace plugs in. FakePlatform names its own call trace
// Trace() as well; the platform's Trace() lives here so that both can be
// had: the link sees this one, tests keep the call trace.
class WireTraceSlot : public Platform {
 public:
  void SetWireTrace(WireTrace* trace) { Wire = trace; }
  WireTrace* Trace() override { return Wire; }

 private:
  WireTrace* Wire = nullptr;
};

class FakePlatform final : public WireTraceSlot {
 public:
  // --- the bus ---------------------------------------------------------
  // COMn exists; with a unit it answers, without one the line stays silent.
  void AddSerialPort(int port, sim::Unit* unit = nullptr);
  void RemoveSerialPort(int port);
  // Drops whatever the unit on COMn has sent or is still sending.
  void FlushSerial(int port) { Lines[port].Pending.clear(); }
  void AddHidInterface(int index, FakeHidDevice device);
  void SetPortMap(std::vector<PortMapValue> values) { PortMap = std::move(values); }
  void RemovePortMap() { PortMap.reset(); }

  // Failure switches.
  bool DeviceSetFails = false;
  bool ConfigureFails = false;

  // --- what happened -----------------------------------------------------
  RecordingClock& Clock() { return Time; }
  // One line per platform call, in order: "open \\.\COM5", "write COM5 fe ff 05 02 52 49",
  // "read COM5 14 -> 14", "sleep 500", "close COM5", "hid-path 3", ...
  const std::vector<std::string>& Trace() const { return Calls; }
  void ClearTrace() { Calls.clear(); }
  int OpenHandles() const { return static_cast<int>(Handles.size()); }
  int HidSetsOpen() const { return SetsOpen; }

  // --- Platform ------------------------------------------------------------
  Handle OpenSerialPort(std::u16string_view deviceName) override;
  bool ConfigureSerialPort(Handle port, const SerialSettings& settings) override;
  void ClearCommErrors(Handle port) override;
  bool WriteSerial(Handle port, std::span<const uint8_t> bytes) override;
  std::size_t ReadSerial(Handle port, std::span<uint8_t> bytes) override;
  DeviceSet OpenHidDeviceSet() override;
  bool HidInterfacePath(DeviceSet set, int index, std::u16string& path) override;
  void CloseHidDeviceSet(DeviceSet set) override;
  Handle OpenHidDevice(std::u16string_view path) override;
  bool GetHidAttributes(Handle device, HidAttributes& attributes) override;
  void FlushHidInput(Handle device) override;
  bool WriteHidReport(Handle device, std::span<const uint8_t, HidReportSize> report) override;
  std::size_t ReadHidReport(Handle device, std::span<uint8_t, HidReportSize> report,
                            uint32_t timeoutMs) override;
  void CloseHandle(Handle handle) override;
  bool ReadSerialPortMap(std::vector<PortMapValue>& values, std::size_t limit) override;
  void Sleep(uint32_t ms) override;

  // Settings last applied to COMn, for checking the line set-up.
  std::optional<AppliedSettings> SettingsOf(int port) const;

 private:
  struct Arrival {
    uint64_t AtMs;
    std::vector<uint8_t> Bytes;
  };
  struct SerialLine {
    sim::Unit* Unit = nullptr;
    bool Open = false;
    std::optional<AppliedSettings> Settings;
    std::deque<std::pair<uint64_t, uint8_t>> Pending;  // bytes on their way to the host
  };
  struct HidSlot {
    FakeHidDevice Device;
    std::deque<Arrival> Reports;
  };
  struct OpenHandle {
    bool IsHid;
    int Key;  // COM number or HID interface index
  };

  Handle NewHandle(bool isHid, int key);
  OpenHandle* Find(Handle handle, bool wantHid);
  std::string NameOf(const OpenHandle& h) const;
  void Queue(SerialLine& line, const std::vector<sim::Emission>& out);

  RecordingClock Time;
  std::vector<std::string> Calls;
  std::map<int, SerialLine> Lines;
  std::map<int, HidSlot> Hid;
  std::optional<std::vector<PortMapValue>> PortMap;
  std::map<Handle, OpenHandle> Handles;
  Handle NextHandle = 0x100;
  int SetsOpen = 0;
};

// Serial-port map values as the registry holds them.
PortMapValue StringValue(std::u16string name, std::u16string_view text);
PortMapValue DwordValue(std::u16string name, uint32_t number);

}  // namespace orvo::fake
