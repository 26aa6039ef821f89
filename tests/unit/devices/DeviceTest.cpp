// What CDevice gives the console, the PLC trainer and the fault unit, run
// against each of them: the Port and Address properties with the remembered
// port, and the port hunt. Then what devices/common gives them besides: the
// list splitter and the fault-item digits.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "devices/common/ListItems.h"
#include "devices/echo/Echo.h"
#include "devices/fault/Fault.h"
#include "devices/plc/Plc.h"
#include "sim/FaultUnit.h"
#include "sim/PlcTrainer.h"
#include "tests/unit/kit/DeviceTestKit.h"

namespace orvo::test {
namespace {

// An object of any of the three classes, seen as the base they share. The
// base's destructor is protected; a shared_ptr deletes through the class it
// was made as.
template <class Device>
std::shared_ptr<CDevice> Make(Platform& os, Registry& registry) {
  return std::make_shared<Device>(os, registry);
}

template <class UnitType>
std::unique_ptr<sim::Unit> MakeUnit(uint8_t address) {
  return std::make_unique<UnitType>(address);
}

// What one probe of a hunt costs at a port: where it looks, what the unit
// there takes off the wire, and the waits.
struct ProbeCost {
  std::string Route;
  Frames Sent;
  Sleeps Waits;
};

// Where the classes differ as far as the base shows: the remembered port's
// value, whether the properties write through to it, and what a probe of a
// hunt puts on the wire and waits. The console probes with its status read;
// the trainer switches its main select on, and off again when the reply came
// from its address, 50 ms before each reply; the fault unit reads, then
// pauses 500 ms whether its probe got a reply or not. A probe that gets no
// whole reply costs the link's resend: 500 ms, a reopen and the same frame
// again. The console takes any serial reply of the right length, so for it
// a probe is turned down by a reply that comes short; the others turn down
// a reply from another address. On HID the trainer and the fault unit pass
// over a console that answers the link's search, as no short frame goes
// over HID; the console object would take it, so its HID console has
// another address and ignores the search.
struct DeviceClass {
  const char* Name;
  std::u16string_view Value;  // the value's name, or with PerAddress its prefix
  bool PerAddress;
  std::shared_ptr<CDevice> (*MakeDevice)(Platform&, Registry&);
  std::unique_ptr<sim::Unit> (*MakeUnitAt)(uint8_t address);
  sim::Misbehaviour TurnedDown;
  uint8_t HidConsoleAt;
  ProbeCost Answered, Refused, Silent, OnHid;  // at COM7, COM6, COM5 and HID of the hunt's bus

  std::u16string ValueFor(int16_t address) const {
    std::u16string name(Value);
    if (PerAddress)
      for (char c : std::to_string(address)) name.push_back(static_cast<char16_t>(c));
    return name;
  }
};

// clang-format off
const DeviceClass Classes[] = {
    {"console", u"BrixPort_", true, Make<CEcho>, MakeUnit<sim::Console>,
     sim::Misbehaviour::ShortReply, 4,
     {"COM7", {"fe ff 03 02 52 49"}, {}},
     {"COM6 COM6", {"fe ff 03 02 52 49", "fe ff 03 02 52 49"}, {500}},
     {"COM5 COM5", {}, {500}},
     {"HID", {"00 03 02 4b 4c 78"}, {300, 50}}},
    {"PLC trainer", u"SorlPort", false, Make<CPlc>, MakeUnit<sim::PlcTrainer>,
     sim::Misbehaviour::OtherAddress, 3,
     {"COM7", {"03 f0 16", "03 e0 16"}, {50, 50}},
     {"COM6", {"03 f0 16"}, {50}},
     {"COM5 COM5", {}, {50, 500, 50}},
     {"HID", {"00 03 02 4b 4c 78"}, {300, 50}}},
    {"fault unit", u"TarnPort", false, Make<CFault>, MakeUnit<sim::FaultUnit>,
     sim::Misbehaviour::OtherAddress, 3,
     {"COM7", {"03 b0 00"}, {50, 500}},
     {"COM6", {"03 b0 00"}, {50, 500}},
     {"COM5 COM5", {}, {50, 500, 50, 500}},
     {"HID", {"00 03 02 4b 4c 78"}, {300, 50, 500}}},
};
// clang-format on

void RefuseEverything(RegistryModel& registry) {
  using Op = RegistryModel::Operation;
  for (Op op : {Op::CreateKey, Op::OpenKey, Op::SetValue, Op::QueryValue, Op::CloseKey})
    registry.InjectFailure({op, 0, u"", ERROR_ACCESS_DENIED});
}

// A value stored before the object is made; "@" names the one it loads then.
struct Stored {
  std::u16string_view Name;
  DWORD Type;
  std::vector<uint8_t> Data;
};

Stored Dword(std::u16string_view name, uint32_t n) { return {name, REG_DWORD, DwordBytes(n)}; }

// The object loads its remembered port when it is made, creating the value
// when there is none it can use: only a 4-byte REG_DWORD is, whose low 16
// bits are the port. Writing a property never talks to the unit. The
// console's properties write through: a new Port is saved under the current
// address, a new Address takes the port remembered for it or remembers the
// current one under it. The others' properties change the object alone.
// A registry that refuses everything leaves the object to its own memory.
TEST(Device, PortAddressAndTheRememberedPort) {
  struct Row {
    const char* Name;
    std::vector<Stored> Before;
    bool Refusing;
    std::function<void(CDevice&)> Writes;
    int16_t PortThrough;  // the console
    std::string ValuesThrough;
    int16_t PortAlone;  // the trainer and the fault unit, whose value is "@"
    std::string ValueAlone;  // "@=N", "@" the value's name
  };
  const auto none = [](CDevice&) {};
  const std::vector<uint8_t> text3 = {'3', 0, 0, 0};  // "3" as a REG_SZ holds it
  // clang-format off
  const Row rows[] = {
      {"a fresh profile", {}, false, none, 0, "BrixPort_0=0", 0, "@=0"},
      {"the low 16 bits, the value kept", {Dword(u"@", 0x1234FFFD)}, false, none,
       -3, "BrixPort_0=305463293", -3, "@=305463293"},
      {"a short REG_DWORD", {{u"@", REG_DWORD, {3, 0}}}, false, none, 0, "BrixPort_0=0", 0, "@=0"},
      {"a string of four bytes", {{u"@", REG_SZ, text3}}, false, none, 0, "BrixPort_0=0", 0, "@=0"},
      {"a long binary value", {{u"@", REG_BINARY, {3, 0, 0, 0, 0, 0, 0, 0}}}, false, none,
       0, "BrixPort_0=0", 0, "@=0"},
      {"a registry that refuses everything", {Dword(u"@", 3)}, true, none,
       0, "BrixPort_0=3", 0, "@=3"},
      {"Port", {Dword(u"@", 9)}, false, [](CDevice& d) { d.put_Port(4); },
       4, "BrixPort_0=4", 4, "@=9"},
      {"an Address with a port remembered", {Dword(u"BrixPort_7", 4)}, false,
       [](CDevice& d) { d.put_Address(7); }, 4, "BrixPort_0=0 BrixPort_7=4", 0, "@=0"},
      {"an Address with none", {}, false, [](CDevice& d) { d.put_Port(2), d.put_Address(7); },
       2, "BrixPort_0=2 BrixPort_7=2", 2, "@=0"},
      {"an Address whose value is malformed", {{u"BrixPort_3", REG_SZ, text3}}, false,
       [](CDevice& d) { d.put_Port(6), d.put_Address(3); }, 6, "BrixPort_0=6 BrixPort_3=6", 6, "@=0"},
      {"negative", {}, false, [](CDevice& d) { d.put_Address(-3), d.put_Port(-12); },
       -12, "BrixPort_-3=4294967284 BrixPort_0=0", -12, "@=0"},
  };
  // clang-format on
  for (const DeviceClass& cls : Classes) {
    for (const Row& r : rows) {
      SCOPED_TRACE(testing::Message() << cls.Name << ": " << r.Name);
      fake::FakePlatform os;
      RegistryModel registry;
      for (const Stored& v : r.Before)
        Remember(registry, v.Name == u"@" ? cls.ValueFor(0) : std::u16string(v.Name), v.Type,
                 v.Data);
      if (r.Refusing) RefuseEverything(registry);
      const auto device = cls.MakeDevice(os, registry);
      r.Writes(*device);
      registry.ClearFailures();
      EXPECT_EQ(device->get_Port(), cls.PerAddress ? r.PortThrough : r.PortAlone);
      EXPECT_EQ(Remembered(registry, Narrow(cls.Value)),
                cls.PerAddress ? r.ValuesThrough : Narrow(cls.Value) + r.ValueAlone.substr(1));
      EXPECT_TRUE(os.CallLog().empty());
      EXPECT_EQ(registry.OpenHandleCount(), 0u);
    }
  }
}

// The hunt tries the remembered port, then every port of the list, HID
// first, and remembers the port whose probe is answered, or 0 when none is;
// a remembered port that still answers is not rewritten. The bus: COM5 a
// silent line, COM6 a unit whose replies the class's probe turns down, COM7
// the unit at address 3, no COM8, and on HID, where a row says so, a
// console the class passes over. A row gives the steps the hunt takes, each
// costing what the class's probe costs there.
TEST(Device, PortHunt) {
  struct Row {
    const char* Name;
    uint32_t Remembered;  // for address 3
    std::vector<int> Map;
    bool HidConsole, Refusing;
    const char* Steps;  // "7": probed COM7, "map": read the port map, "hid": searched HID
    int16_t Status, PortAfter;
    uint32_t RememberedAfter;
  };
  constexpr int16_t Ok = StatusOk, Failed = StatusFailed;
  // clang-format off
  const Row rows[] = {
      {"answered on the remembered port", 0x10007, {5, 6, 7}, false, false, "7", Ok, 7, 0x10007},
      {"then the list, HID first", 5, {6, 5, 7}, true, false, "5 map hid 6 5 7", Ok, 7, 7},
      {"a remembered port that does not open, and the map's 16th value", 8, MapValue(16, 7),
       false, false, "8 map hid 7", Ok, 7, 7},
      {"the map's 17th value is not examined", 8, MapValue(17, 7), false, false, "8 map hid",
       Failed, 0, 0},
      {"nothing answers", 6, {6}, true, false, "6 map hid 6", Failed, 0, 0},
      {"HID remembered", 0, {7}, true, false, "hid map hid 7", Ok, 7, 7},
      {"a registry that refuses everything: nothing loaded, nothing saved", 0x10007, {7}, false,
       true, "hid map hid 7", Ok, 7, 0x10007},
  };
  // clang-format on
  for (const DeviceClass& cls : Classes) {
    for (const Row& r : rows) {
      SCOPED_TRACE(testing::Message() << cls.Name << ": " << r.Name);
      fake::FakePlatform os;
      RegistryModel registry;
      const auto refusing = cls.MakeUnitAt(3), unit = cls.MakeUnitAt(3);
      refusing->Misbehave(cls.TurnedDown);
      sim::Console console{cls.HidConsoleAt};
      os.AddSerialPort(5);
      os.AddSerialPort(6, refusing.get());
      os.AddSerialPort(7, unit.get());
      if (r.HidConsole) os.AddHidInterface(0, {u"hid#0", OrvoVendorId, 2, &console, false});
      os.SetPortMap(ComMap(r.Map));
      const std::string value = Narrow(cls.ValueFor(3));
      Remember(registry, cls.ValueFor(3), r.Remembered);
      if (r.Refusing) RefuseEverything(registry);
      const auto device = cls.MakeDevice(os, registry);
      CDevice& d = *device;
      d.put_Address(3);
      os.ClearCallLog();
      os.Clock().ClearRecorded();

      EXPECT_EQ(d.HuntPort(), r.Status);
      EXPECT_EQ(d.get_Port(), r.PortAfter);
      EXPECT_EQ(d.get_Address(), 3);
      registry.ClearFailures();
      EXPECT_EQ(Remembered(registry, value), value + "=" + std::to_string(r.RememberedAfter));

      std::string route;
      Frames toRefusing, toUnit, toConsole;
      Sleeps waits;
      std::istringstream steps(r.Steps);
      for (std::string step; steps >> step;) {
        ProbeCost cost{step == "map" ? "map" : step == "hid" ? "HID" : "COM" + step, {}, {}};
        if (step == "hid" && r.HidConsole) cost = cls.OnHid;
        if (step == "5") cost = cls.Silent;
        if (step == "6") cost = cls.Refused;
        if (step == "7") cost = cls.Answered;
        route += (route.empty() ? "" : " ") + cost.Route;
        waits.insert(waits.end(), cost.Waits.begin(), cost.Waits.end());
        Frames& to = step == "hid" ? toConsole : step == "6" ? toRefusing : toUnit;
        to.insert(to.end(), cost.Sent.begin(), cost.Sent.end());
      }
      EXPECT_EQ(Route(os), route);
      EXPECT_EQ(os.Clock().Recorded(), waits);
      EXPECT_EQ(FramesOf(*unit), toUnit);
      EXPECT_EQ(FramesOf(*refusing), toRefusing);
      EXPECT_EQ(FramesOf(console, 6), toConsole);
      EXPECT_EQ(os.OpenHandles(), 0);
      EXPECT_EQ(os.HidSetsOpen(), 0);
      EXPECT_EQ(registry.OpenHandleCount(), 0u);
    }
  }
}

TEST(ListItems, SplitsAtEachCommaOnly) {
  struct Case {
    std::u16string_view List;
    std::vector<std::u16string_view> Items;
  };
  // clang-format off
  const Case cases[] = {
      {{}, {}},
      {u"AC1, DC1,", {u"AC1", u" DC1"}},
      {u",F1,,F2", {u"", u"F1", u"", u"F2"}},
      {u",", {u""}},
      {u"F1, ", {u"F1", u" "}},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.List));
    EXPECT_EQ(SplitList(c.List), c.Items);
  }
}

TEST(ListItems, FaultItemPieces) {
  EXPECT_EQ(SkipLeading(u"  4612 ", u" "), u"4612 ");
  EXPECT_EQ(SkipLeading(u" , F3", u" "), u", F3");
  EXPECT_EQ(SkipLeading(u" , F3", u" ,"), u"F3");
  EXPECT_EQ(SkipLeading(u" ,", u" ,"), u"");
  struct Digit {
    char16_t C;
    uint8_t Hex, Decimal;
  } digits[] = {{u'0', 0, 0},     {u'9', 9, 9},          {u'A', 10, 0x11},
                {u'F', 15, 0x16}, {u'a', 0, 0x31},       {u'G', 0, 0x17},
                {u' ', 0, 0xF0},  {u'\u0141', 10, 0x11}, {u'\u0130', 0, 0x00}};
  for (const Digit& d : digits) {
    SCOPED_TRACE(int(d.C));
    EXPECT_EQ(ItemHexDigit(d.C), d.Hex);
    EXPECT_EQ(ItemDecimalDigit(d.C), d.Decimal);
  }
}

}  // namespace
}  // namespace orvo::test
