// How the console object finds its console, what it remembers, and how it
// copes with a registry that refuses it and consoles that misbehave.
#include <gtest/gtest.h>

#include <functional>

#include "tests/unit/devices/EchoBench.h"

namespace orvo::test {
namespace {

using Frames = std::vector<std::string>;
using Sleeps = std::vector<uint32_t>;

fake::FakeHidDevice HidConsole(sim::Unit* unit) {
  return fake::FakeHidDevice{u"hid#0", OrvoVendorId, 2, unit, false};
}

TEST(EchoConnection, WhereItLooksAndWhatItRemembers) {
  struct Row {
    const char* Name;
    std::function<void(Bench&)> Setup;  // before the object is built
    std::function<int16_t(CEcho&)> Action;
    int16_t Status, PortAfter, AddressAfter;
    std::string Route;
    Frames Received;
    Sleeps Waits;
    std::string SettingsAfter;
  };
  const auto addressFive = [](CEcho& e) { e.put_Address(5); };
  const Row rows[] = {
      {"no address: the remembered port, opened directly",
       [](Bench& b) {
         b.os.AddSerialPort(3, &b.console);
         b.Remember(u"BrixPort_0", 3);
       },
       &CEcho::CheckComm,
       61,
       3,
       0,
       "COM3",
       {"fe ff 00 02 52 49"},
       {},
       "BrixPort_0 = REG_DWORD 3\n"},
      {"no address: a port that does not open fails at once",
       [](Bench& b) { b.Remember(u"BrixPort_0", 4); },
       [](CEcho& e) { return e.SetSwitches(u"AC1"); },
       60,
       4,
       0,
       "COM4",
       {},
       {},
       "BrixPort_0 = REG_DWORD 4\n"},
      {"no address: a stored -1 names no port",
       [](Bench& b) {
         b.os.AddSerialPort(1, &b.console);
         b.Remember(u"BrixPort_0", 0xFFFFFFFF);
       },
       &CEcho::StartCai,
       60,
       -1,
       0,
       "COM-1",
       {},
       {},
       "BrixPort_0 = REG_DWORD 4294967295\n"},
      {"no address, port 0: the first HID console, nothing saved",
       [](Bench& b) { b.os.AddHidInterface(0, HidConsole(&b.console)); },
       &CEcho::CheckComm,
       61,
       0,
       0,
       "HID",
       {"00 00 02 4b 4c 78", "00 00 02 52 49 00"},
       {300, 50, 300},
       "BrixPort_0 = REG_DWORD 0\n"},
      {"address: the remembered port answers the probe",
       [](Bench& b) {
         b.os.AddSerialPort(3, &b.console);
         b.Remember(u"BrixPort_5", 3);
       },
       [&](CEcho& e) {
         addressFive(e);
         return e.EndCai();
       },
       61,
       3,
       5,
       "COM3",
       {"fe ff 05 02 52 49", "fe ff 05 02 49 45"},
       {},
       "BrixPort_0 = REG_DWORD 0\nBrixPort_5 = REG_DWORD 3\n"},
      {"HuntPort: a port that answers is not rewritten",
       [](Bench& b) {
         b.os.AddSerialPort(3, &b.console);
         b.Remember(u"BrixPort_5", 0x10003);
       },
       [&](CEcho& e) {
         addressFive(e);
         return e.HuntPort();
       },
       61,
       3,
       5,
       "COM3",
       {"fe ff 05 02 52 49"},
       {},
       "BrixPort_0 = REG_DWORD 0\nBrixPort_5 = REG_DWORD 65539\n"},
      {"HuntPort: the console moved from COM3 to COM7",
       [](Bench& b) {
         b.os.AddSerialPort(3);
         b.os.AddSerialPort(7, &b.console);
         b.MapPorts({3, 7});
         b.Remember(u"BrixPort_5", 3);
       },
       [&](CEcho& e) {
         addressFive(e);
         return e.HuntPort();
       },
       61,
       7,
       5,
       "COM3 COM3 map HID COM3 COM3 COM7",
       {"fe ff 05 02 52 49"},
       {500, 500},
       "BrixPort_0 = REG_DWORD 0\nBrixPort_5 = REG_DWORD 7\n"},
      {"HuntPort: no console anywhere saves 0",
       [](Bench& b) {
         b.os.AddSerialPort(3);
         b.MapPorts({3});
         b.Remember(u"BrixPort_5", 3);
       },
       [&](CEcho& e) {
         addressFive(e);
         return e.HuntPort();
       },
       60,
       0,
       5,
       "COM3 COM3 map HID COM3 COM3",
       {},
       {500, 500},
       "BrixPort_0 = REG_DWORD 0\nBrixPort_5 = REG_DWORD 0\n"},
      {"a command from port 0 tries the HID link twice, then hunts",
       [](Bench& b) {
         b.os.AddHidInterface(0, HidConsole(nullptr));
         b.os.AddSerialPort(7, &b.console);
         b.MapPorts({7});
         b.Remember(u"BrixPort_5", 0);
       },
       [&](CEcho& e) {
         addressFive(e);
         return e.SetAux(5);
       },
       61,
       7,
       5,
       "HID map HID COM7",
       {"fe ff 05 02 52 49", "fe ff 05 03 58 2b 02"},
       {300, 50, 300, 50},
       "BrixPort_0 = REG_DWORD 0\nBrixPort_5 = REG_DWORD 7\n"},
      {"SetAddress: a HID console at that address",
       [](Bench& b) {
         b.console.SetAddress(9);
         b.os.AddHidInterface(0, HidConsole(&b.console));
       },
       [](CEcho& e) { return e.SetAddress(9); },
       61,
       0,
       9,
       "HID",
       {"00 00 03 41 ff 09"},
       {300, 50},
       "BrixPort_0 = REG_DWORD 0\nBrixPort_9 = REG_DWORD 0\n"},
      {"SetAddress: a serial console, HID first, then the map in order",
       [](Bench& b) {
         b.console.SetAddress(9);
         b.os.AddSerialPort(3);
         b.os.AddSerialPort(7, &b.console);
         b.MapPorts({3, 7});
         b.Remember(u"BrixPort_0", 3);
       },
       [](CEcho& e) { return e.SetAddress(9); },
       61,
       7,
       9,
       "HID map HID COM3 COM3 COM7",
       {"fe ff 00 03 41 ff 09"},
       {500},
       "BrixPort_0 = REG_DWORD 3\nBrixPort_9 = REG_DWORD 7\n"},
      {"SetAddress: nobody answers, nothing changes but Port",
       [](Bench& b) {
         b.os.AddSerialPort(7, &b.console);
         b.MapPorts({7});
         b.Remember(u"BrixPort_5", 7);
       },
       [&](CEcho& e) {
         addressFive(e);
         return e.SetAddress(9);
       },
       60,
       0,
       5,
       "HID map HID COM7 COM7",
       {"fe ff 00 03 41 ff 09", "fe ff 00 03 41 ff 09"},
       {500, 50},
       "BrixPort_0 = REG_DWORD 0\nBrixPort_5 = REG_DWORD 7\n"},
      {"SetAddress: an address outside a byte is never found",
       [](Bench& b) {
         b.os.AddSerialPort(7, &b.console);
         b.MapPorts({7});
       },
       [](CEcho& e) { return e.SetAddress(0x105); },
       60,
       0,
       0,
       "HID map HID COM7",
       {"fe ff 00 03 41 ff 05"},
       {50},
       "BrixPort_0 = REG_DWORD 0\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    Bench b;
    r.Setup(b);
    CEcho echo(b.os, b.registry);
    b.os.ClearTrace();
    const std::size_t mark = b.SleepMark();
    EXPECT_EQ(r.Action(echo), r.Status);
    EXPECT_EQ(echo.get_Port(), r.PortAfter);
    EXPECT_EQ(echo.get_Address(), r.AddressAfter);
    EXPECT_EQ(b.Route(), r.Route);
    EXPECT_EQ(b.Frames(), r.Received);
    EXPECT_EQ(b.SleepsSince(mark), r.Waits);
    EXPECT_EQ(b.Settings(), r.SettingsAfter);
    EXPECT_EQ(b.os.OpenHandles(), 0);
    EXPECT_EQ(b.os.HidSetsOpen(), 0);
  }
}

// Writing a property never talks to the console.
TEST(EchoConnection, PropertiesAndTheRememberedPort) {
  struct Row {
    const char* Name;
    std::function<void(Bench&)> Setup;
    std::function<void(CEcho&)> Writes;
    int16_t Port;
    std::string SettingsAfter;
  };
  const uint8_t text[] = {'3', 0, 0, 0};
  const Row rows[] = {
      {"a fresh profile", [](Bench&) {}, [](CEcho&) {}, 0, "BrixPort_0 = REG_DWORD 0\n"},
      {"an address with a remembered port", [](Bench& b) { b.Remember(u"BrixPort_7", 4); },
       [](CEcho& e) { e.put_Address(7); }, 4,
       "BrixPort_0 = REG_DWORD 0\nBrixPort_7 = REG_DWORD 4\n"},
      {"an address without one keeps the port and remembers it", [](Bench&) {},
       [](CEcho& e) {
         e.put_Port(2);
         e.put_Address(7);
       },
       2, "BrixPort_0 = REG_DWORD 2\nBrixPort_7 = REG_DWORD 2\n"},
      {"a remembered string is replaced",
       [&](Bench& b) { b.Remember(u"BrixPort_3", REG_SZ, text, sizeof text); },
       [](CEcho& e) {
         e.put_Port(6);
         e.put_Address(3);
       },
       6, "BrixPort_0 = REG_DWORD 6\nBrixPort_3 = REG_DWORD 6\n"},
      {"a negative address and port", [](Bench&) {},
       [](CEcho& e) {
         e.put_Address(-3);
         e.put_Port(-12);
       },
       -12, "BrixPort_-3 = REG_DWORD 4294967284\nBrixPort_0 = REG_DWORD 0\n"},
      {"high bits of a remembered port", [](Bench& b) { b.Remember(u"BrixPort_0", 0x12340005); },
       [](CEcho&) {}, 5, "BrixPort_0 = REG_DWORD 305397765\n"},
      {"address 0 again", [](Bench& b) { b.Remember(u"BrixPort_0", 5); },
       [](CEcho& e) {
         e.put_Address(12);
         e.put_Address(0);
       },
       5, "BrixPort_0 = REG_DWORD 5\nBrixPort_12 = REG_DWORD 5\n"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    Bench b;
    r.Setup(b);
    CEcho echo(b.os, b.registry);
    r.Writes(echo);
    EXPECT_EQ(echo.get_Port(), r.Port);
    EXPECT_EQ(b.Settings(), r.SettingsAfter);
    EXPECT_TRUE(b.os.Trace().empty());
    EXPECT_EQ(b.registry.OpenHandleCount(), 0u);
  }
}

TEST(EchoConnection, ARegistryThatRefusesEverythingIsIgnored) {
  Bench b;
  b.os.AddSerialPort(3, &b.console);
  b.MapPorts({3});
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
  EXPECT_EQ(b.Settings(), "BrixPort_5 = REG_DWORD 3\n");
}

// A console that misbehaves gets the status the link's checks give (a serial
// reply is taken by its length alone), and once it behaves the same object
// works again. Serial lines are flushed in between: the link, by design,
// never discards input, and a late reply would be read by the next exchange.
TEST(EchoConnection, MisbehavingConsoles) {
  using sim::Misbehaviour;
  struct Row {
    Misbehaviour How;
    bool Hid;
    int16_t Status;
  } rows[] = {
      {Misbehaviour::Silent, false, 60},      {Misbehaviour::ShortReply, false, 60},
      {Misbehaviour::Late, false, 60},        {Misbehaviour::OtherAddress, false, 61},
      {Misbehaviour::Garbage, false, 61},     {Misbehaviour::Silent, true, 60},
      {Misbehaviour::ShortReply, true, 60},   {Misbehaviour::Late, true, 60},
      {Misbehaviour::OtherAddress, true, 60}, {Misbehaviour::Garbage, true, 60},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(static_cast<int>(r.How) * 2 + r.Hid);
    Bench b;
    b.console.SetVoltageNibbles(2, 4);
    b.console.SetSwitchByte(0x0A);
    // A failed connect step hunts and leaves Port 0: the serial console must
    // be in the port map to be found again.
    if (r.Hid) {
      b.os.AddHidInterface(0, HidConsole(&b.console));
      b.os.SetPortMap({});
    } else {
      b.os.AddSerialPort(3, &b.console);
      b.MapPorts({3});
      b.Remember(u"BrixPort_5", 3);
    }
    CEcho echo(b.os, b.registry);
    echo.put_Address(5);
    // Late past the whole hunt, or a stale reply would pass for a probe's.
    b.console.Misbehave(r.How, -1, 60000);
    EXPECT_EQ(echo.CheckComm(), r.Status);
    b.console.Misbehave(Misbehaviour::None);
    b.os.FlushSerial(3);
    b.os.Clock().Advance(5000);
    EXPECT_EQ(echo.CheckComm(), StatusOk);
    EXPECT_EQ(Readings(echo), "Neg 12 Pos 15 switches 1010 00 0 Model 0.0 Version  Channel 0");
    EXPECT_EQ(b.os.OpenHandles(), 0);
  }
}

}  // namespace
}  // namespace orvo::test
