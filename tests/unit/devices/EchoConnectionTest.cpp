// How the console object finds its console, what it remembers, and how it
// copes with a registry that refuses it and consoles that misbehave.
#include <gtest/gtest.h>

#include <functional>

#include "tests/unit/devices/EchoBench.h"

namespace orvo::test {
namespace {

fake::FakeHidDevice HidUnit(sim::Unit* unit) {
  return fake::FakeHidDevice{u"hid#0", OrvoVendorId, 2, unit, false};
}

TEST(EchoConnection, WhereItLooksAndWhatItRemembers) {
  constexpr int Hid = 0, Nowhere = -1;
  struct Row {
    const char* Name;
    Call Action;
    int16_t AddressFirst;  // written to Address before the action, unless 0
    int ConsoleOn;         // a port, Hid or Nowhere; the console answers at 9 or 5
    uint8_t ConsoleAddress;
    std::vector<int> SilentPorts, Map;  // Map: ports of the serial-port map, in order
    bool SilentHid;                     // a HID unit of ours that never answers
    std::vector<std::pair<const char16_t*, uint32_t>> Remembered;
    int16_t Status, PortAfter, AddressAfter;
    std::string Route, Received;  // frames the console took, joined by " | "
    Sleeps Waits;
    std::string SettingsAfter;
  };
  // clang-format off
  const Row rows[] = {
      // With no address the remembered port is opened as it is.
      {CALL(CheckComm()), 0, 3, 5, {}, {}, false, {{u"BrixPort_0", 3}}, 61, 3, 0, "COM3",
       "fe ff 00 02 52 49", {}, "BrixPort_0=3"},
      {CALL(SetSwitches(u"AC1")), 0, 3, 5, {}, {3}, false, {{u"BrixPort_0", 4}}, 60, 4, 0,
       "COM4", "", {}, "BrixPort_0=4"},
      {CALL(StartCai()), 0, 1, 5, {}, {1}, false, {{u"BrixPort_0", 0xFFFFFFFF}}, 60, -1, 0,
       "COM-1", "", {}, "BrixPort_0=4294967295"},
      {CALL(CheckComm()), 0, Hid, 5, {}, {}, false, {}, 61, 0, 0, "HID",
       "00 00 02 4b 4c 78 | 00 00 02 52 49 00", {300, 50, 300}, "BrixPort_0=0"},
      // With an address the remembered port is checked first, then hunted.
      {CALL(EndCai()), 5, 3, 5, {}, {}, false, {{u"BrixPort_5", 3}}, 61, 3, 5, "COM3",
       "fe ff 05 02 52 49 | fe ff 05 02 49 45", {}, "BrixPort_0=0 BrixPort_5=3"},
      {CALL(HuntPort()), 5, 3, 5, {}, {}, false, {{u"BrixPort_5", 0x10003}}, 61, 3, 5, "COM3",
       "fe ff 05 02 52 49", {}, "BrixPort_0=0 BrixPort_5=65539"},
      {CALL(HuntPort()), 5, 7, 5, {3}, {3, 7}, false, {{u"BrixPort_5", 3}}, 61, 7, 5,
       "COM3 COM3 map HID COM3 COM3 COM7", "fe ff 05 02 52 49", {500, 500},
       "BrixPort_0=0 BrixPort_5=7"},
      {CALL(HuntPort()), 5, Nowhere, 5, {3}, {3}, false, {{u"BrixPort_5", 3}}, 60, 0, 5,
       "COM3 COM3 map HID COM3 COM3", "", {500, 500}, "BrixPort_0=0 BrixPort_5=0"},
      {CALL(SetAux(5)), 5, 7, 5, {}, {7}, true, {{u"BrixPort_5", 0}}, 61, 7, 5,
       "HID map HID COM7", "fe ff 05 02 52 49 | fe ff 05 03 58 2b 02", {300, 50, 300, 50},
       "BrixPort_0=0 BrixPort_5=7"},
      // The list examines 16 values of the map, serial ports or not.
      {CALL(HuntPort()), 5, 7, 5, {}, MapValue(16, 7), false, {{u"BrixPort_5", 8}}, 61, 7, 5,
       "COM8 map HID COM7", "fe ff 05 02 52 49", {}, "BrixPort_0=0 BrixPort_5=7"},
      {CALL(HuntPort()), 5, 7, 5, {}, MapValue(17, 7), false, {{u"BrixPort_5", 8}}, 60, 0, 5,
       "COM8 map HID", "", {}, "BrixPort_0=0 BrixPort_5=0"},
      // SetAddress asks HID first, then every port of the map with address 0.
      {CALL(SetAddress(9)), 0, Hid, 9, {}, {}, false, {}, 61, 0, 9, "HID",
       "00 00 03 41 ff 09", {300, 50}, "BrixPort_0=0 BrixPort_9=0"},
      {CALL(SetAddress(9)), 0, 7, 9, {3}, {3, 7}, false, {{u"BrixPort_0", 3}}, 61, 7, 9,
       "HID map HID COM3 COM3 COM7", "fe ff 00 03 41 ff 09", {500},
       "BrixPort_0=3 BrixPort_9=7"},
      {CALL(SetAddress(9)), 5, 7, 5, {}, {7}, false, {{u"BrixPort_5", 7}}, 60, 0, 5,
       "HID map HID COM7 COM7", "fe ff 00 03 41 ff 09 | fe ff 00 03 41 ff 09", {500, 50},
       "BrixPort_0=0 BrixPort_5=7"},
  };
  // clang-format on
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    Bench b;
    b.console.SetAddress(r.ConsoleAddress);
    if (r.ConsoleOn == Hid) b.os.AddHidInterface(0, HidUnit(&b.console));
    if (r.ConsoleOn > 0) b.os.AddSerialPort(r.ConsoleOn, &b.console);
    for (int port : r.SilentPorts) b.os.AddSerialPort(port);
    if (r.SilentHid) b.os.AddHidInterface(0, HidUnit(nullptr));
    b.os.SetPortMap(ComMap(r.Map));
    for (const auto& [name, port] : r.Remembered) b.Remember(name, port);
    CEcho echo(b.os, b.registry);
    if (r.AddressFirst != 0) echo.put_Address(r.AddressFirst);
    b.os.ClearCallLog();
    const std::size_t mark = b.SleepMark();
    EXPECT_EQ(r.Action(echo), r.Status);
    EXPECT_EQ(echo.get_Port(), r.PortAfter);
    EXPECT_EQ(echo.get_Address(), r.AddressAfter);
    EXPECT_EQ(b.Route(), r.Route);
    std::string received;
    for (const std::string& f : b.Frames()) received += (received.empty() ? "" : " | ") + f;
    EXPECT_EQ(received, r.Received);
    EXPECT_EQ(b.SleepsSince(mark), r.Waits);
    EXPECT_EQ(b.Settings(), r.SettingsAfter);
    EXPECT_EQ(b.os.OpenHandles(), 0);
    EXPECT_EQ(b.os.HidSetsOpen(), 0);
  }
}

// Writing a property never talks to the console.
TEST(EchoConnection, PropertiesAndTheRememberedPort) {
  const uint8_t text[] = {'3', 0, 0, 0};
  struct Row {
    const char* Name;
    std::function<void(CEcho&)> Writes;
    uint32_t RememberedFor7;  // BrixPort_7 before, unless 0
    int16_t Port;
    std::string SettingsAfter;
  } rows[] = {
      {"a fresh profile", [](CEcho&) {}, 0, 0, "BrixPort_0=0"},
      {"remembered", [](CEcho& e) { e.put_Address(7); }, 4, 4, "BrixPort_0=0 BrixPort_7=4"},
      {"not yet", [](CEcho& e) { e.put_Port(2), e.put_Address(7); }, 0, 2,
       "BrixPort_0=2 BrixPort_7=2"},
      {"a string", [](CEcho& e) { e.put_Port(6), e.put_Address(3); }, 0, 6,
       "BrixPort_0=6 BrixPort_3=6"},
      {"negative", [](CEcho& e) { e.put_Address(-3), e.put_Port(-12); }, 0, -12,
       "BrixPort_-3=4294967284 BrixPort_0=0"},
      {"back to 0", [](CEcho& e) { e.put_Port(5), e.put_Address(7), e.put_Address(0); }, 9, 5,
       "BrixPort_0=5 BrixPort_7=9"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    Bench b;
    b.Remember(u"BrixPort_3", REG_SZ, text, sizeof text);
    if (r.RememberedFor7 != 0) b.Remember(u"BrixPort_7", r.RememberedFor7);
    CEcho echo(b.os, b.registry);
    r.Writes(echo);
    EXPECT_EQ(echo.get_Port(), r.Port);
    // The string under BrixPort_3 stays until address 3 is set.
    const std::string untouched = " BrixPort_3 = REG_SZ \"3\\0\"";
    std::string settings = b.Settings();
    if (const auto at = settings.find(untouched); at != std::string::npos)
      settings.erase(at, untouched.size());
    EXPECT_EQ(settings, r.SettingsAfter);
    EXPECT_TRUE(b.os.CallLog().empty());
    EXPECT_EQ(b.registry.OpenHandleCount(), 0u);
  }
}

TEST(EchoConnection, ARegistryThatRefusesEverythingIsIgnored) {
  Bench b;
  b.os.AddSerialPort(3, &b.console);
  b.os.SetPortMap(ComMap({3}));
  b.Remember(u"BrixPort_5", 3);
  using Op = RegistryModel::Operation;
  for (Op op : {Op::CreateKey, Op::OpenKey, Op::SetValue, Op::QueryValue, Op::CloseKey})
    b.registry.InjectFailure({op, 0, u"", ERROR_ACCESS_DENIED});
  CEcho echo(b.os, b.registry);
  echo.put_Address(5);
  EXPECT_EQ(echo.get_Port(), 0);  // the remembered 3 cannot be read
  EXPECT_EQ(echo.HuntPort(), StatusOk);
  EXPECT_EQ(echo.get_Port(), 3);
  EXPECT_EQ(echo.SetSwitches(u"DC1"), StatusOk);
  EXPECT_EQ(b.console.SwitchByte(), 0x04);
  b.registry.ClearFailures();
  EXPECT_EQ(b.Settings(), "BrixPort_5=3");
}

// A console that misbehaves gets the status the link's checks give (a serial
// reply is taken by its length alone), and once it behaves the same object
// works again. Serial lines are flushed in between: the link, by design,
// never discards input, and a late reply would be read by the next exchange.
TEST(EchoConnection, MisbehavingConsoles) {
  using sim::Misbehaviour;
  struct Row {
    Misbehaviour How;
    int16_t Serial, Hid;  // the status on each bus
  } rows[] = {
      {Misbehaviour::Silent, 60, 60},  {Misbehaviour::ShortReply, 60, 60},
      {Misbehaviour::Late, 60, 60},    {Misbehaviour::OtherAddress, 61, 60},
      {Misbehaviour::Garbage, 61, 60},
  };
  for (const Row& r : rows)
    for (const bool hid : {false, true}) {
      SCOPED_TRACE(static_cast<int>(r.How) * 2 + hid);
      Bench b;
      b.console.SetVoltageNibbles(2, 4);
      b.console.SetSwitchByte(0x0A);
      // A failed connect step hunts and leaves Port 0: the serial console must
      // be in the port map to be found again.
      if (hid) {
        b.os.AddHidInterface(0, HidUnit(&b.console));
        b.os.SetPortMap({});
      } else {
        b.os.AddSerialPort(3, &b.console);
        b.os.SetPortMap(ComMap({3}));
        b.Remember(u"BrixPort_5", 3);
      }
      CEcho echo(b.os, b.registry);
      echo.put_Address(5);
      // Late past the whole hunt, or a stale reply would pass for a probe's.
      b.console.Misbehave(r.How, -1, 60000);
      EXPECT_EQ(echo.CheckComm(), hid ? r.Hid : r.Serial);
      b.console.Misbehave(Misbehaviour::None);
      b.os.FlushSerial(3);
      b.os.Clock().Advance(5000);
      EXPECT_EQ(echo.CheckComm(), StatusOk);
      EXPECT_EQ(Readings(echo), "12 15 | 1010 00 0 | 0.0  | 0");
      EXPECT_EQ(b.os.OpenHandles(), 0);
    }
}

}  // namespace
}  // namespace orvo::test
