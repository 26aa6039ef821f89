#pragma once
// What the device tests share: the frames a unit took off the wire, the
// platform calls, the serial-port map and the remembered ports; for the PLC
// trainer and the fault unit, a unit on COM7 of the fake bus and a unit that
// starts misbehaving at a chosen frame.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "devices/common/Settings.h"
#include "link/Comm.h"
#include "sim/bus/FakePlatform.h"
#include "sim/bus/RegistryDump.h"
#include "sim/bus/RegistryModel.h"
#include "protocol/HexText.h"
#include "sim/Console.h"
#include "sim/Unit.h"

namespace orvo::test {

using Frames = std::vector<std::string>;

// The frames `unit` received, as "03 f0 16"; HID reports cut after `hidCut` bytes.
inline Frames FramesOf(const sim::Unit& unit, std::size_t hidCut = SIZE_MAX) {
  Frames frames;
  for (const sim::Frame& f : unit.Received()) {
    const std::size_t n = f.Type == sim::Frame::Kind::HidReport ? hidCut : f.Bytes.size();
    frames.push_back(HexBytes(std::span(f.Bytes).first(std::min(n, f.Bytes.size()))));
  }
  return frames;
}

// Platform calls whose trace line starts with one of `prefixes`, in order.
inline Frames CallsOf(const fake::FakePlatform& os,
                      std::initializer_list<std::string_view> prefixes) {
  Frames calls;
  for (const std::string& line : os.CallLog()) {
    for (std::string_view p : prefixes) {
      if (line.starts_with(p)) {
        calls.push_back(line);
        break;
      }
    }
  }
  return calls;
}

inline const Frames OneOpenOnCom7 = {"open \\\\.\\COM7", "close COM7"};

// Stands between the bus and a unit, and makes the unit misbehave from its
// `At`th frame on (counting from 0, resends included).
class MisbehavingFrom final : public sim::Unit {
 public:
  explicit MisbehavingFrom(sim::Unit& unit) : Inner(unit) {}

  void Arm(std::size_t at, sim::Misbehaviour how, int count) {
    At = at;
    How = how;
    Count = count;
  }

  std::vector<sim::Emission> OnSerialBytes(std::span<const uint8_t> bytes) override {
    if (Inner.Received().size() == At) Inner.Misbehave(How, Count);
    return Inner.OnSerialBytes(bytes);
  }
  std::vector<sim::Emission> OnHidReport(std::span<const uint8_t> report) override {
    return Inner.OnHidReport(report);
  }
  const std::vector<sim::Frame>& Received() const override { return Inner.Received(); }
  void ClearReceived() override { Inner.ClearReceived(); }
  void Misbehave(sim::Misbehaviour how, int count, uint32_t lateMs) override {
    Inner.Misbehave(how, count, lateMs);
  }
  bool Vanished() const override { return Inner.Vanished(); }

 private:
  sim::Unit& Inner;
  std::size_t At = SIZE_MAX;
  sim::Misbehaviour How = sim::Misbehaviour::None;
  int Count = 0;
};

// A device object and its unit at address 3 on COM7; the object's Port is
// 7 and its Address `address`.
template <class Device, class UnitType>
struct UnitBench {
  fake::FakePlatform Os;
  RegistryModel Registry;
  UnitType Unit{3};
  MisbehavingFrom Wire{Unit};
  Device Object{Os, Registry};

  explicit UnitBench(int16_t address = 3) {
    Os.AddSerialPort(7, &Wire);
    Object.put_Port(7);
    Object.put_Address(address);
    Os.ClearCallLog();
  }
};

// One operation of a device class, run against a unit at address 3 on COM7
// that answers as `How` says, by an object whose Address is `Address`.
template <class Device>
struct OperationCase {
  const char* Name;
  std::function<int16_t(Device&)> Run;
  int16_t Address;
  sim::Misbehaviour How;
  int16_t Status;
  Frames Sent;  // what the unit received
};

template <class Device, class UnitType>
void CheckOperation(const OperationCase<Device>& c) {
  SCOPED_TRACE(c.Name);
  UnitBench<Device, UnitType> bench(c.Address);
  bench.Unit.Misbehave(c.How);
  EXPECT_EQ(c.Run(bench.Object), c.Status);
  EXPECT_EQ(FramesOf(bench.Unit), c.Sent);
  EXPECT_EQ(bench.Os.OpenHandles(), 0);
  EXPECT_EQ(bench.Object.get_Address(), c.Address);
  EXPECT_EQ(bench.Object.get_Port(), 7);
  if (c.How != sim::Misbehaviour::None || c.Status != StatusOk) return;

  // One open and close around the frames, and no wait but the reply delays.
  EXPECT_EQ(CallsOf(bench.Os, {"open", "close"}), c.Sent.empty() ? Frames{} : OneOpenOnCom7);
  EXPECT_EQ(bench.Os.Clock().Recorded(), std::vector<uint32_t>(c.Sent.size(), 50u));
  // Port 0 opens a console on HID, which no short frame reaches; a negative
  // port names no serial port.
  sim::Console console{3};
  bench.Os.AddHidInterface(0, {u"hid#0", OrvoVendorId, 3, &console, false});
  for (int16_t port : {0, -3}) {
    bench.Object.put_Port(port);
    bench.Os.ClearCallLog();
    EXPECT_EQ(c.Run(bench.Object), c.Sent.empty() ? StatusOk : StatusFailed) << port;
    EXPECT_TRUE(CallsOf(bench.Os, {"write"}).empty()) << port;
  }
  for (const sim::Frame& f : console.Received()) EXPECT_EQ(f.Bytes[3], 'K') << "link probe";
}

// The serial-port map: COM1 to COM9, and 0 for a value that names no serial
// port (it still counts against the list's budget).
inline std::vector<PortMapValue> ComMap(const std::vector<int>& ports) {
  std::vector<PortMapValue> map;
  for (std::size_t i = 0; i < ports.size(); ++i) {
    const std::u16string digit(1, static_cast<char16_t>(u'0' + ports[i]));
    const std::u16string name = u"Serial" + std::u16string(1, static_cast<char16_t>(u'A' + i));
    map.push_back(fake::StringValue(name, ports[i] == 0 ? u"LPT1" : u"COM" + digit));
  }
  return map;
}

// `port` as the map's value number `index` (from 1), behind values that are
// no serial port.
inline std::vector<int> MapValue(int index, int port) {
  std::vector<int> map(static_cast<std::size_t>(index - 1), 0);
  map.push_back(port);
  return map;
}

inline std::u16string SettingsPath() {
  return std::u16string(SettingsRoot) + std::u16string(SettingsLeaf);
}

// The settings key as text: "SorlPort = REG_DWORD 7\n", or "!missing\n".
inline std::string StoredSettings(Registry& registry) {
  return DumpRegistryTree(registry, RegCurrentUser, SettingsPath().c_str());
}

inline void StorePort(Registry& registry, const char16_t* name, uint32_t port) {
  RegKey key = 0;
  registry.CreateKeyEx(RegCurrentUser, SettingsPath().c_str(), nullptr, 0, KeyReadWrite, &key,
                       nullptr);
  registry.SetValueEx(key, name, REG_DWORD, &port, sizeof port);
  registry.CloseKey(key);
}

}  // namespace orvo::test
