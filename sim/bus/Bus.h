#pragma once
// An in-memory platform: fake COM ports and HID devices wired to simulated
// units, a serial-port map, and a clock of its own. Nothing sleeps for
// real; waits and read time-outs advance the clock, and a unit's late reply
// arrives when the clock gets there. The module's simulation mode runs on
// it, so it holds only what routing bytes to units needs; what tests want
// on top (a call log, failures on demand, recorded sleeps) is FakePlatform.
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "sim/Unit.h"

namespace orvo::fake {

class BusClock {
 public:
  uint64_t NowMs() const { return Now; }
  void Advance(uint64_t ms) { Now += ms; }
  void AdvanceTo(uint64_t ms) { Now = ms > Now ? ms : Now; }

 private:
  uint64_t Now = 0;
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

class Bus : public Platform {
 public:
  // COMn exists; with a unit it answers, without one the line stays silent.
  void AddSerialPort(int port, sim::Unit* unit = nullptr);
  void RemoveSerialPort(int port);
  // Drops whatever the unit on COMn has sent or is still sending.
  void FlushSerial(int port) { Lines[port].Pending.clear(); }
  void AddHidInterface(int index, FakeHidDevice device);
  void SetPortMap(std::vector<PortMapValue> values) { PortMap = std::move(values); }
  void RemovePortMap() { PortMap.reset(); }

  BusClock& Time() { return Clock; }
  int OpenHandles() const { return static_cast<int>(Handles.size()); }
  // Settings last applied to COMn, for checking the line set-up.
  std::optional<AppliedSettings> SettingsOf(int port) const {
    auto it = Lines.find(port);
    return it == Lines.end() ? std::nullopt : it->second.Settings;
  }

  Handle OpenSerialPort(std::u16string_view deviceName) override;
  bool ConfigureSerialPort(Handle port, const SerialSettings& settings) override;
  void ClearCommErrors(Handle) override {}
  bool WriteSerial(Handle port, std::span<const uint8_t> bytes) override;
  std::size_t ReadSerial(Handle port, std::span<uint8_t> bytes) override;
  DeviceSet OpenHidDeviceSet() override { return 1; }
  bool HidInterfacePath(DeviceSet set, int index, std::u16string& path) override;
  void CloseHidDeviceSet(DeviceSet) override {}
  Handle OpenHidDevice(std::u16string_view path) override;
  bool GetHidAttributes(Handle device, HidAttributes& attributes) override;
  void FlushHidInput(Handle device) override { DropArrivedReports(device); }
  bool WriteHidReport(Handle device, std::span<const uint8_t, HidReportSize> report) override;
  std::size_t ReadHidReport(Handle device, std::span<uint8_t, HidReportSize> report,
                            uint32_t timeoutMs) override;
  void CloseHandle(Handle handle) override;
  bool ReadSerialPortMap(std::vector<PortMapValue>& values, std::size_t limit) override;
  void Sleep(uint32_t ms) override { Clock.Advance(ms); }
  SystemError LastError() override;

 protected:
  // For a failure a test switches on: the error the system would give.
  static void SetLastError(uint32_t code, const char* text);

  // "COM5" or "HID3" for an open handle, "?" for anything else. Inline, as
  // only the call log names handles: the module never pays for it.
  std::string NameOf(Handle handle) const {
    const auto it = Handles.find(handle);
    if (it == Handles.end()) return "?";
    return (it->second.IsHid ? "HID" : "COM") + std::to_string(it->second.Key);
  }
  // Drops the input reports that have arrived on a HID handle; returns how
  // many.
  std::size_t DropArrivedReports(Handle device);

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
  void Queue(SerialLine& line, const std::vector<sim::Emission>& out);

  BusClock Clock;
  std::map<int, SerialLine> Lines;
  std::map<int, HidSlot> Hid;
  std::optional<std::vector<PortMapValue>> PortMap;
  std::map<Handle, OpenHandle> Handles;
  Handle NextHandle = 0x100;
};

// A serial-port map value as the registry holds a string.
PortMapValue StringValue(std::u16string name, std::u16string_view text);

}  // namespace orvo::fake
