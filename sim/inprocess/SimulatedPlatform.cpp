#include "sim/inprocess/SimulatedPlatform.h"

#include <algorithm>
#include <limits>

#include "protocol/Wire.h"
#include "sim/UnitSetup.h"

namespace orvo {
namespace {

std::u16string Digits(int number) {
  std::u16string text;
  for (char c : std::to_string(number)) text.push_back(static_cast<char16_t>(c));
  return text;
}

}  // namespace

// One call's turn on the bus: the bus is the units' shared state, so one
// caller at a time (objects of several apartments may share it), and once
// the lock is released the caller sleeps whatever time the call took on the
// bus's clock.
class SimulatedPlatform::BusTurn {
 public:
  explicit BusTurn(SimulatedPlatform& platform) : P(platform) {
    if (P.Lock.Initialized()) P.Lock.Enter();
  }
  BusTurn(const BusTurn&) = delete;
  BusTurn& operator=(const BusTurn&) = delete;
  ~BusTurn() {
    const uint64_t now = P.Bus.Time().NowMs();
    uint64_t owed = now - P.SleptMs;
    P.SleptMs = now;
    if (P.Lock.Initialized()) P.Lock.Leave();
    while (owed > 0) {
      const uint32_t step =
          static_cast<uint32_t>(std::min<uint64_t>(owed, std::numeric_limits<uint32_t>::max()));
      P.Wrapped.Sleep(step);
      owed -= step;
    }
  }

 private:
  SimulatedPlatform& P;
};

SimulatedPlatform::SimulatedPlatform(Platform& wrapped, std::string_view units) : Wrapped(wrapped) {
  Why = Lock.Initialize() < 0 ? "the bus lock cannot be set up" : Build(units);
  // Build adds nothing until the whole description is known to be sound.
  if (!Why.empty()) Bus.SetPortMap({});
}

std::string SimulatedPlatform::Announcement() const {
  return Why.empty() ? "simulating " + Describe()
                     : std::string(SimulateVariable) + ": " + Why +
                           "; no unit is simulated and every call reports 60";
}

std::string SimulatedPlatform::Build(std::string_view units) {
  std::string error;
  std::optional<std::vector<sim::UnitSetup>> setups = sim::ParseUnitList(units, error);
  if (!setups) return error;
  // The ports asked for first, so that the units without one take what is
  // left over.
  std::map<int, std::string> taken;
  for (const sim::UnitSetup& setup : *setups) {
    if (!setup.Port || *setup.Port == 0) continue;
    const auto [at, fresh] = taken.emplace(*setup.Port, setup.Name);
    if (!fresh) {
      return at->second + " and " + setup.Name + " both on COM" + std::to_string(*setup.Port);
    }
  }
  std::vector<PortMapValue> map;
  int next = 1;
  int hidIndex = 0;
  for (const sim::UnitSetup& setup : *setups) {
    int port = setup.Port.value_or(0);
    if (!setup.Port) {
      while (taken.count(next) != 0) ++next;
      port = next;
      taken.emplace(port, setup.Name);
    }
    Station station{setup.Name, port, sim::MakeUnit(setup)};
    sim::UnitBase* unit = station.Unit.get();
    if (port == 0) {
      std::u16string path = u"\\\\?\\hid#vid_3a71&pid_0002#orvosim#" + Digits(hidIndex);
      Bus.AddHidInterface(hidIndex++,
                          {path, protocol::OrvoVendorId, protocol::ConsoleProductId, unit});
      ByDevice.emplace(std::move(path), unit);
    } else {
      Bus.AddSerialPort(port, unit);
      ByDevice.emplace(protocol::SerialDeviceName(port), unit);
      map.push_back(fake::StringValue(u"\\Device\\OrvoSim" + Digits(static_cast<int>(map.size())),
                                      u"COM" + Digits(port)));
    }
    Stations.push_back(std::move(station));
  }
  Bus.SetPortMap(std::move(map));
  return {};
}

std::string SimulatedPlatform::Describe() const {
  std::string text;
  for (const Station& station : Stations) {
    text += (text.empty() ? "" : ", ") + station.Name + " on " +
            (station.Port == 0 ? std::string("USB") : "COM" + std::to_string(station.Port));
  }
  return text.empty() ? "no unit" : text;
}

void SimulatedPlatform::Remember(Handle handle, std::u16string_view device) {
  const auto unit = ByDevice.find(device);
  if (handle != InvalidHandle && unit != ByDevice.end()) Open[handle] = unit->second;
}

Handle SimulatedPlatform::OpenSerialPort(std::u16string_view deviceName) {
  BusTurn turn(*this);
  const Handle handle = Bus.OpenSerialPort(deviceName);
  Remember(handle, deviceName);
  return handle;
}

bool SimulatedPlatform::ConfigureSerialPort(Handle port, const SerialSettings& settings) {
  BusTurn turn(*this);
  return Bus.ConfigureSerialPort(port, settings);
}

void SimulatedPlatform::ClearCommErrors(Handle port) {
  BusTurn turn(*this);
  Bus.ClearCommErrors(port);
}

bool SimulatedPlatform::WriteSerial(Handle port, std::span<const uint8_t> bytes) {
  BusTurn turn(*this);
  return Bus.WriteSerial(port, bytes);
}

std::size_t SimulatedPlatform::ReadSerial(Handle port, std::span<uint8_t> bytes) {
  BusTurn turn(*this);
  return Bus.ReadSerial(port, bytes);
}

DeviceSet SimulatedPlatform::OpenHidDeviceSet() {
  BusTurn turn(*this);
  return Bus.OpenHidDeviceSet();
}

bool SimulatedPlatform::HidInterfacePath(DeviceSet set, int index, std::u16string& path) {
  BusTurn turn(*this);
  return Bus.HidInterfacePath(set, index, path);
}

void SimulatedPlatform::CloseHidDeviceSet(DeviceSet set) {
  BusTurn turn(*this);
  Bus.CloseHidDeviceSet(set);
}

Handle SimulatedPlatform::OpenHidDevice(std::u16string_view path) {
  BusTurn turn(*this);
  const Handle handle = Bus.OpenHidDevice(path);
  Remember(handle, path);
  return handle;
}

bool SimulatedPlatform::GetHidAttributes(Handle device, HidAttributes& attributes) {
  BusTurn turn(*this);
  return Bus.GetHidAttributes(device, attributes);
}

void SimulatedPlatform::FlushHidInput(Handle device) {
  BusTurn turn(*this);
  Bus.FlushHidInput(device);
}

bool SimulatedPlatform::WriteHidReport(Handle device,
                                       std::span<const uint8_t, HidReportSize> report) {
  BusTurn turn(*this);
  return Bus.WriteHidReport(device, report);
}

std::size_t SimulatedPlatform::ReadHidReport(Handle device,
                                             std::span<uint8_t, HidReportSize> report,
                                             uint32_t timeoutMs) {
  BusTurn turn(*this);
  return Bus.ReadHidReport(device, report, timeoutMs);
}

// Every device method closes its link before it returns, so this is where a
// unit's line goes quiet: half a frame left in the unit (a frame meant for
// another kind of unit) is dropped as orvo-sim drops it after a pause, and
// what the unit kept only for tests to read back is let go.
void SimulatedPlatform::CloseHandle(Handle handle) {
  BusTurn turn(*this);
  Bus.CloseHandle(handle);
  const auto open = Open.find(handle);
  if (open == Open.end()) return;
  open->second->DropPartialFrame();
  open->second->ForgetHistory();
  Open.erase(open);
}

bool SimulatedPlatform::ReadSerialPortMap(std::vector<PortMapValue>& values, std::size_t limit) {
  BusTurn turn(*this);
  return Bus.ReadSerialPortMap(values, limit);
}

void SimulatedPlatform::Sleep(uint32_t ms) {
  BusTurn turn(*this);
  Bus.Sleep(ms);
}

}  // namespace orvo
