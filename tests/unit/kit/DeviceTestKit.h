#pragma once
// What the device tests share: the frames a unit took off the wire, the
// platform calls and where they looked, the serial-port map, the remembered
// ports in the registry, a unit that starts misbehaving at a chosen frame,
// and for the PLC trainer and the fault unit a unit on COM7 of the fake bus.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "devices/common/Settings.h"
#include "link/Comm.h"
#include "protocol/HexText.h"
#include "sim/Console.h"
#include "sim/Unit.h"
#include "sim/bus/FakePlatform.h"
#include "sim/bus/RegistryDump.h"
#include "sim/bus/RegistryModel.h"

namespace orvo::test {

using Frames = std::vector<std::string>;
using Sleeps = std::vector<uint32_t>;

// The frames `unit` received, as "03 f0 16"; HID reports cut after `hidCut` bytes.
inline Frames FramesOf(const sim::Unit& unit, std::size_t hidCut = SIZE_MAX) {
  Frames frames;
  for (const sim::Frame& f : unit.Received()) {
    const std::size_t n = f.Type == sim::Frame::Kind::HidReport ? hidCut : f.Bytes.size();
    frames.push_back(HexBytes(std::span(f.Bytes).first(std::min(n, f.Bytes.size()))));
  }
  return frames;
}

// Platform calls whose log line starts with one of `prefixes`, in order.
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

// Where an object looked, in order: "COM3" for each open of a serial port,
// "HID" for each HID search, "map" for each read of the port map.
inline std::string Route(const fake::FakePlatform& os) {
  std::string route;
  for (const std::string& line : os.CallLog()) {
    std::string step;
    if (line.starts_with("open \\\\.\\")) step = line.substr(9);
    if (line == "hid-set") step = "HID";
    if (line == "port-map") step = "map";
    if (!step.empty()) route += (route.empty() ? "" : " ") + step;
  }
  return route;
}

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

inline void Remember(Registry& registry, std::u16string_view name, DWORD type,
                     std::vector<uint8_t> data) {
  RegKey key = 0;
  registry.CreateKeyEx(RegCurrentUser, SettingsPath().c_str(), nullptr, 0, KeyReadWrite, &key,
                       nullptr);
  registry.SetValueEx(key, std::u16string(name).c_str(), type, data.data(),
                      static_cast<DWORD>(data.size()));
  registry.CloseKey(key);
}

// A REG_DWORD's data: `n` little-endian.
inline std::vector<uint8_t> DwordBytes(uint32_t n) {
  return {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
          static_cast<uint8_t>(n >> 24)};
}

inline void Remember(Registry& registry, std::u16string_view name, uint32_t port) {
  Remember(registry, name, REG_DWORD, DwordBytes(port));
}

// The settings key in one line, "BrixPort_0=0 BrixPort_5=3" for 4-byte
// REG_DWORD values and the dump's own text for anything else, keeping the
// values whose name starts with `prefix`.
inline std::string Remembered(Registry& registry, std::string_view prefix = {}) {
  const std::string dump = DumpRegistryTree(registry, RegCurrentUser, SettingsPath().c_str());
  std::string line;
  for (std::size_t at = 0, end; at < dump.size(); at = end + 1) {
    end = dump.find('\n', at);
    std::string value = dump.substr(at, end - at);
    if (!value.starts_with(prefix)) continue;
    if (const auto dword = value.find(" = REG_DWORD "); dword != std::string::npos)
      value = value.substr(0, dword) + "=" + value.substr(dword + 13);
    line += (line.empty() ? "" : " ") + value;
  }
  return line;
}

inline std::string Narrow(std::u16string_view text) { return {text.begin(), text.end()}; }

// A device object of a short-frame class and its unit at address 3 on COM7;
// the object's Port is 7 and its Address `address`.
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

inline const Frames OneOpenOnCom7 = {"open \\\\.\\COM7", "close COM7"};

// One operation of a short-frame class, run against a unit at address 3 on
// COM7 that answers as `How` says, by an object whose Address is `Address`.
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
  EXPECT_EQ(bench.Os.Clock().Recorded(), Sleeps(c.Sent.size(), 50u));
  // Port 0 opens a console on HID, which no short frame reaches; a negative
  // port names no serial port.
  sim::Console console{3};
  bench.Os.AddHidInterface(0, {u"hid#0", OrvoVendorId, 3, &console, false});
  for (int16_t port : {0, -3}) {
    bench.Object.put_Port(port);
    bench.Os.ClearCallLog();
    EXPECT_EQ(c.Run(bench.Object), c.Sent.empty() ? StatusOk : StatusFailed) << port;
    EXPECT_TRUE(CallsOf(bench.Os, {"write"}).empty()) << port;
    EXPECT_EQ(bench.Os.OpenHandles(), 0) << port;
  }
  for (const sim::Frame& f : console.Received()) EXPECT_EQ(f.Bytes[3], 'K') << "link probe";
}

}  // namespace orvo::test
