#pragma once
// The module's simulation mode: trainer units simulated in process, on COM
// ports (or the USB link) that exist only here, so that a lesson runs on a
// PC with no hardware. The ports appear in the serial-port map as real ones
// would, so hunts and SetAddress find them the usual way. Time passes as it
// would on the wire: whatever the bus's clock advances (waits, read
// time-outs, late replies) is slept for real through the wrapped platform.
// Everything else the module needs from the system (the registry) stays
// the wrapped platform's.
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "platform/Sync.h"
#include "sim/UnitBase.h"
#include "sim/bus/Bus.h"

namespace orvo {

// Where the module takes its units from: a list of unit descriptions such
// as "console:5,plc:3:port=2,fault:4".
inline constexpr const char* SimulateVariable = "ORVOTRAINER_SIMULATE";

class SimulatedPlatform final : public Platform {
 public:
  // Units that say no port= get the free COM numbers from COM1 up, in the
  // order listed. A description that cannot be used leaves a platform on
  // which nothing opens and the port map is empty, so every call reports
  // failure; Problem() says why, and so does the trace's first note.
  SimulatedPlatform(Platform& wrapped, std::string_view units);
  SimulatedPlatform(const SimulatedPlatform&) = delete;
  SimulatedPlatform& operator=(const SimulatedPlatform&) = delete;

  // Empty when every unit is up.
  const std::string& Problem() const { return Why; }
  // "console5 on COM3, fault9 on USB", for the trace.
  std::string Describe() const;
  // The trace's first note: which units are up, or why none is.
  std::string Announcement() const;
  // The unit with that name (console5, plc3, ...), or null. Only tests look
  // units up, so it stays inline and out of the module.
  sim::UnitBase* Unit(std::string_view name) const {
    for (const Station& station : Stations) {
      if (station.Name == name) return station.Unit.get();
    }
    return nullptr;
  }

  Handle OpenSerialPort(std::u16string_view deviceName) override;
  bool ConfigureSerialPort(Handle port, const SerialSettings& settings) override;
  SystemError LastError() override { return Bus.LastError(); }
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

 private:
  struct Station {
    std::string Name;
    int Port;  // 0: the USB link
    std::unique_ptr<sim::UnitBase> Unit;
  };

  class BusTurn;

  std::string Build(std::string_view units);
  // Notes which unit a handle just opened reaches.
  void Remember(Handle handle, std::u16string_view device);

  Platform& Wrapped;
  fake::Bus Bus;
  std::vector<Station> Stations;
  std::map<std::u16string, sim::UnitBase*, std::less<>> ByDevice;  // "\\.\COM3" or a HID path
  std::map<Handle, sim::UnitBase*> Open;
  uint64_t SleptMs = 0;  // of the bus's time, how much was slept for real
  CriticalSection Lock;
  std::string Why;
};

}  // namespace orvo
