// CEcho against the simulated console on the fake bus: what each method puts
// on the wire, what it reports and reads back and how long it holds the
// caller; then where the console object looks when it has no address, when
// it is given one, and when the console misbehaves. The port hunt and the
// remembered port it shares with the other classes are in DeviceTest.
#include <gtest/gtest.h>

#include <functional>

#include "devices/echo/Echo.h"
#include "tests/unit/kit/DeviceTestKit.h"
#include "tests/unit/kit/ScriptedUnit.h"

namespace orvo::test {
namespace {

using Call = std::function<int16_t(CEcho&)>;
// A method call as a table row states it: its text, and the call.
#define CALL(call) #call, [](CEcho & e) -> int16_t { return e.call; }

// A console at address 5 on the fake bus, a registry, and what they saw.
struct Bench {
  fake::FakePlatform os;
  RegistryModel registry;
  sim::Console console{5};

  // The console on COM3, remembered there under `value`.
  void OnCom3(std::u16string_view value) {
    os.AddSerialPort(3, &console);
    Remember(registry, value, 3);
  }
  // Frames the console took off the wire, as hex, and forgets them. HID
  // reports are cut after the command (report id, address, L, command,
  // argument, value): the link's own tests cover the filler.
  Frames Taken() {
    Frames frames = FramesOf(console, 6);
    console.ClearReceived();
    return frames;
  }
};

// The readings as one line: "Neg Pos | AC1 DC1 AC2 DC2 SP3 AC3 DC3 |
// Model.SubModel Version | Channel".
std::string Readings(const CEcho& e) {
  char text[96];
  std::snprintf(text, sizeof text, "%d %d | %d%d%d%d %d%d %d | %d.%d %s | %d", e.get_Neg(),
                e.get_Pos(), e.get_AC1(), e.get_DC1(), e.get_AC2(), e.get_DC2(), e.get_SP3(),
                e.get_AC3(), e.get_DC3(), e.get_Model(), e.get_SubModel(),
                Narrow(e.get_Version()).c_str(), e.get_Channel());
  return text;
}

// "02 52 49 | 03 50 53 42" -> the frames to unit 5, in order.
Frames FramesToFive(std::string_view text) {
  Frames frames{"fe ff 05 02 52 49"};  // the connect step's probe
  while (!text.empty()) {
    const std::size_t bar = text.find(" | ");
    frames.push_back("fe ff 05 " + std::string(text.substr(0, bar)));
    text = bar == std::string_view::npos ? std::string_view{} : text.substr(bar + 3);
  }
  return frames;
}

// The console answers at address 5 on COM3, which is remembered for it, so
// the connect step finds it there and rewrites nothing.
TEST(EchoCommands, FramesStatusAndWaits) {
  struct Row {
    const char* Name;
    Call Method;
    uint8_t SwitchByte, ControlByte;  // as the console holds them
    const char* Sent;                 // after the probe, without "fe ff 05"
    int16_t Status;
    Sleeps Waits;
  };
  const Row rows[] = {
      {CALL(CheckComm()), 0, 0, "02 52 49", 61, {}},
      {CALL(CheckCommEx()), 0, 0, "02 58 49", 61, {}},
      {CALL(ReadModel()), 0, 0, "02 58 4d", 61, {}},
      {CALL(ReadChannel(1, 18)), 0, 0, "03 58 43 22", 61, {50}},
      {CALL(StartCai()), 0, 0, "02 49 53", 61, {2000}},
      {CALL(EndCai()), 0, 0, "02 49 45", 61, {}},
      {CALL(SetVoltages(-12, 15)), 0, 0, "02 2d 20 | 02 2b 04", 61, {}},
      {CALL(SetVoltages(-24, 5)), 0, 0, "02 2d 80 | 02 2b 01", 61, {}},
      {CALL(SetVoltages(-5, 24)), 0, 0, "02 2d 10 | 02 2b 08", 61, {}},
      {CALL(SetVoltages(-15, 12)), 0, 0, "02 2d 40 | 02 2b 02", 61, {}},
      {CALL(SetVoltages(12, -5)), 0, 0, "02 2d 00 | 02 2b 00", 61, {}},
      {CALL(SetAux(3)), 0, 0, "03 58 2b 01", 61, {}},
      {CALL(SetAux(4)), 0, 0, "03 58 2b 00", 61, {}},
      {CALL(SetAux(5)), 0, 0, "03 58 2b 02", 61, {}},
      {CALL(SetBncs(2, 3)), 0, 0, "03 58 42 23", 61, {50}},
      {CALL(SetBncs(0, 17)), 0, 0, "03 58 42 11", 61, {50}},
      {CALL(SetSpeaker(300)), 0, 0, "03 58 53 2c", 61, {50}},
      {CALL(SetStudentControl(u"yes", u"yes")), 0, 0x81, "02 52 49 | 02 46 a9", 61, {50}},
      {CALL(SetStudentControl(u"false", u"false")), 0, 0xFF, "02 52 49 | 02 46 d7", 61, {50}},
      {CALL(SetStudentControl(u"False", u"false")), 0, 0x20, "02 52 49 | 02 46 08", 61, {50}},
      {CALL(SetStudentControl(u"", {})), 0, 0, "02 52 49 | 02 46 28", 61, {50}},
      {CALL(SetWarning(u"on")), 0, 0xA9, "02 52 49 | 02 46 e9", 61, {50}},
      {CALL(SetWarning(u"false")), 0, 0xE9, "02 52 49 | 02 46 a9", 61, {50}},
      {CALL(SetSwitches(u"AC1,DC3")), 0x00, 0, "02 52 49 | 03 50 53 42", 61, {100}},
      {CALL(SetSwitches({})), 0xFF, 0, "02 52 49 | 03 50 53 81", 61, {100}},
      {CALL(SetSwitches(u"ac1,AC1, DC1,,AC2,")), 0x00, 0, "02 52 49 | 03 50 53 0a", 61, {100}},
      {CALL(SetSwitches(u"AC3,SP3")), 0x00, 0, "02 52 49 | 03 50 53 20", 61, {100}},
      {CALL(SetSwitchesEx(u"AC3,SP3")), 0x00, 0, "02 58 49 | 03 58 50 20", 61, {100}},
      {CALL(ChangeSwitch(u"DC2", 1)), 0x81, 0, "02 52 49 | 03 50 53 91", 61, {100}},
      {CALL(ChangeSwitch(u"DC2", 0)), 0x91, 0, "02 52 49 | 03 50 53 81", 61, {100}},
      {CALL(ChangeSwitch(u"DC2", 2)), 0x00, 0, "02 52 49 | 03 50 53 10", 61, {100}},
      {CALL(ChangeSwitch(u"XYZ", 1)), 0x5A, 0, "02 52 49 | 03 50 53 5a", 61, {100}},
      {CALL(ChangeSwitchEx(u"SP3", 1)), 0x5A, 0, "02 58 49 | 03 58 50 5a", 61, {100}},
      {CALL(ChangeSwitchEx(u"AC3", -1)), 0x81, 0, "02 58 49 | 03 58 50 a1", 61, {100}},
      {CALL(SendFaults(u" 4612,4705")), 0, 0, "02 46 0c | 02 47 05", 61, {100}},
      {CALL(SendFaults(u"4g05,46A5,")), 0, 0, "02 40 05 | 02 46 69", 61, {100}},
      {CALL(SendFaults(u"4612 ")), 0, 0, "", 65, {100}},
      {CALL(SendFaults(u"4612,,")), 0, 0, "02 46 0c", 65, {100}},
      {CALL(SendFaults(u"12,4705")), 0, 0, "02 47 05", 61, {100}},
      {CALL(SendFaults({})), 0, 0, "", 61, {100}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    Bench b;
    b.OnCom3(u"BrixPort_5");
    b.console.SetSwitchByte(r.SwitchByte);
    b.console.SetControlByte(r.ControlByte);
    CEcho echo(b.os, b.registry);
    echo.put_Address(5);
    b.os.Clock().ClearRecorded();
    EXPECT_EQ(r.Method(echo), r.Status);
    EXPECT_EQ(b.Taken(), FramesToFive(r.Sent));
    EXPECT_EQ(b.os.Clock().Recorded(), r.Waits);
    EXPECT_EQ(b.os.OpenHandles(), 0);
    EXPECT_EQ(Remembered(b.registry), "BrixPort_0=0 BrixPort_5=3");
  }
}

// Only the outcomes a method looks at decide its status and its waits. The
// unit on COM3 answers the n-th frame written or stays silent; a frame left
// unanswered is written again by the link after 500 ms.
TEST(EchoCommands, WhichOutcomesCount) {
  struct Row {
    const char* Name;
    Call Method;
    std::vector<bool> Answered;  // per frame written
    int16_t Status;
    Sleeps Waits;
  };
  const Row rows[] = {
      {CALL(SetVoltages(-5, 5)), {0, 0, 1}, 61, {500}},
      {CALL(SetVoltages(-5, 5)), {1, 0, 0}, 60, {500}},
      {CALL(StartCai()), {0, 0}, 60, {500, 2000}},
      {CALL(SetStudentControl(u"", u"")), {0, 0}, 60, {500}},
      {CALL(SetWarning(u"")), {0, 0}, 60, {500}},
      {CALL(SetWarning(u"")), {1, 0, 0}, 60, {500, 50}},
      {CALL(SetSwitches(u"AC1")), {0, 0, 1}, 61, {500, 100}},
      {CALL(ChangeSwitch(u"AC1", 1)), {1, 0, 0}, 60, {500}},
      {CALL(SendFaults(u"4612,4705")), {0, 0, 1}, 61, {500, 100}},
      {CALL(SendFaults(u"4612,4705")), {1, 0, 0}, 60, {500, 100}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    Bench b;
    ScriptedUnit unit;
    for (bool answered : r.Answered)
      unit.Replies.push_back(answered ? std::optional(std::vector<uint8_t>(14, 0)) : std::nullopt);
    b.os.AddSerialPort(3, &unit);
    Remember(b.registry, u"BrixPort_0", 3);
    CEcho echo(b.os, b.registry);
    b.os.Clock().ClearRecorded();
    EXPECT_EQ(r.Method(echo), r.Status);
    EXPECT_EQ(unit.Received().size(), r.Answered.size());
    EXPECT_EQ(b.os.Clock().Recorded(), r.Waits);
    EXPECT_EQ(b.os.OpenHandles(), 0);
  }
}

// What the readings make of the console's replies, read on COM3 with no
// address set. A failed exchange reads as zeros rather than keeping the
// previous values; a fresh object reads zeros too.
TEST(EchoCommands, Readings) {
  struct Row {
    const char* Name;
    uint8_t Voltages, Switches;  // status reply bytes 1 and 2
    std::vector<Call> Steps;     // the last one's status is checked
    std::size_t SilentFrom;      // the console stops answering before this step
    int16_t Status;
    const char* Expected;  // as Readings() prints them
  };
  const Call channel = [](CEcho& e) { return e.ReadChannel(-1, 3); };
  const std::size_t never = 99;
  // clang-format off
  const Row rows[] = {
      {"fresh", 0x48, 0x7E, {}, never, 0, "0 0 | 0000 00 0 | 0.0  | 0"},
      {"CheckComm", 0x48, 0x7E, {&CEcho::CheckComm}, never, 61, "15 24 | 1111 10 1 | 0.0  | 0"},
      {"keeps AC3", 0x10, 0x20, {&CEcho::CheckCommEx, &CEcho::CheckComm}, never, 61,
       "5 0 | 0000 11 0 | 0.0  | 0"},
      {"no supply", 0x39, 0x81, {&CEcho::CheckCommEx}, never, 61, "0 0 | 0000 00 0 | 0.0  | 0"},
      {"code 15", 0xF2, 0, {&CEcho::CheckComm}, never, 61, "0 12 | 0000 00 0 | 0.0  | 0"},
      {"ReadModel", 0, 0, {&CEcho::ReadModel}, never, 61, "0 0 | 0000 00 0 | 200.7 1.2.13 | 0"},
      {"ReadChannel", 0, 0, {channel}, never, 61, "0 0 | 0000 00 0 | 0.0  | 4660"},
      {"then silent", 0x48, 0x7E, {&CEcho::CheckComm, &CEcho::ReadModel, channel,
       &CEcho::CheckComm, &CEcho::ReadModel, channel}, 3, 60, "0 0 | 0000 00 0 | 0.0 0.0.0 | 0"},
  };
  // clang-format on
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    Bench b;
    b.OnCom3(u"BrixPort_0");
    b.console.SetVoltageNibbles(r.Voltages >> 4, r.Voltages & 15);
    b.console.SetSwitchByte(r.Switches);
    b.console.SetModel(200, 7);
    b.console.SetVersion(1, 2, 13);
    b.console.SetChannel(0xF3, 0x1234);
    CEcho echo(b.os, b.registry);
    int16_t status = 0;
    for (std::size_t i = 0; i < r.Steps.size(); ++i) {
      if (i == r.SilentFrom) b.console.Misbehave(sim::Misbehaviour::Silent);
      status = r.Steps[i](echo);
    }
    EXPECT_EQ(status, r.Status);
    EXPECT_EQ(Readings(echo), r.Expected);
  }
}

fake::FakeHidDevice HidUnit(sim::Unit* unit) {
  return fake::FakeHidDevice{u"hid#0", OrvoVendorId, 2, unit, false};
}

// Without an address the remembered port is opened as it stands: nothing
// is hunted or saved. With one, a method's connect step hunts when the
// remembered port does not answer and sends its command where it found the
// console. SetAddress asks HID first, then every port of the list with
// address 0, and remembers where the console answered.
TEST(EchoConnection, WhereItLooksAndWhatItRemembers) {
  constexpr int Hid = 0;
  struct Row {
    const char* Name;
    Call Action;
    int16_t AddressFirst;  // written to Address before the action, unless 0
    int ConsoleOn;         // a port, or Hid; the console answers at 9 or 5
    uint8_t ConsoleAddress;
    std::vector<int> SilentPorts, Map;  // Map: ports of the serial-port map, in order
    bool SilentHid;                     // a HID unit of ours that never answers
    std::vector<std::pair<const char16_t*, uint32_t>> Before;
    int16_t Status, PortAfter, AddressAfter;
    std::string Route, Received;  // frames the console took, joined by " | "
    Sleeps Waits;
    std::string RememberedAfter;
  };
  // clang-format off
  const Row rows[] = {
      {CALL(CheckComm()), 0, 3, 5, {}, {}, false, {{u"BrixPort_0", 3}}, 61, 3, 0, "COM3",
       "fe ff 00 02 52 49", {}, "BrixPort_0=3"},
      {CALL(SetSwitches(u"AC1")), 0, 3, 5, {}, {3}, false, {{u"BrixPort_0", 4}}, 60, 4, 0,
       "COM4", "", {}, "BrixPort_0=4"},
      {CALL(StartCai()), 0, 1, 5, {}, {1}, false, {{u"BrixPort_0", 0xFFFFFFFF}}, 60, -1, 0,
       "COM-1", "", {}, "BrixPort_0=4294967295"},
      {CALL(CheckComm()), 0, Hid, 5, {}, {}, false, {}, 61, 0, 0, "HID",
       "00 00 02 4b 4c 78 | 00 00 02 52 49 00", {300, 50, 300}, "BrixPort_0=0"},
      {CALL(SetAux(5)), 5, 7, 5, {}, {7}, true, {{u"BrixPort_5", 0}}, 61, 7, 5,
       "HID map HID COM7", "fe ff 05 02 52 49 | fe ff 05 03 58 2b 02", {300, 50, 300, 50},
       "BrixPort_0=0 BrixPort_5=7"},
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
    for (const auto& [name, port] : r.Before) Remember(b.registry, name, port);
    CEcho echo(b.os, b.registry);
    if (r.AddressFirst != 0) echo.put_Address(r.AddressFirst);
    b.os.ClearCallLog();
    b.os.Clock().ClearRecorded();
    EXPECT_EQ(r.Action(echo), r.Status);
    EXPECT_EQ(echo.get_Port(), r.PortAfter);
    EXPECT_EQ(echo.get_Address(), r.AddressAfter);
    EXPECT_EQ(Route(b.os), r.Route);
    std::string received;
    for (const std::string& f : b.Taken()) received += (received.empty() ? "" : " | ") + f;
    EXPECT_EQ(received, r.Received);
    EXPECT_EQ(b.os.Clock().Recorded(), r.Waits);
    EXPECT_EQ(Remembered(b.registry), r.RememberedAfter);
    EXPECT_EQ(b.os.OpenHandles(), 0);
    EXPECT_EQ(b.os.HidSetsOpen(), 0);
  }
}

// A console that misbehaves gets the status the link's checks give (a serial
// reply is taken by its length alone, so another address or garbage passes
// there, though SetAddress looks at who answered; on HID every misbehaviour
// fails, and so does SetAddress on either bus), and once it behaves the
// same object works again. Serial lines are flushed in between: the link,
// by design, never discards input, and a late reply would be read by the
// next exchange.
TEST(EchoConnection, MisbehavingConsoles) {
  using sim::Misbehaviour;
  struct Row {
    Misbehaviour How;
    int16_t Serial;  // CheckComm's status on the serial line
  } rows[] = {{Misbehaviour::Silent, 60}, {Misbehaviour::ShortReply, 60}, {Misbehaviour::Late, 60},
              {Misbehaviour::OtherAddress, 61}, {Misbehaviour::Garbage, 61}};
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
        b.OnCom3(u"BrixPort_5");
        b.os.SetPortMap(ComMap({3}));
      }
      CEcho echo(b.os, b.registry);
      echo.put_Address(5);
      // Late past the whole hunt, or a stale reply would pass for a probe's.
      b.console.Misbehave(r.How, -1, 60000);
      EXPECT_EQ(echo.CheckComm(), hid ? StatusFailed : r.Serial);
      b.os.FlushSerial(3);
      b.os.Clock().Advance(70000);
      EXPECT_EQ(echo.SetAddress(5), StatusFailed);
      b.console.Misbehave(Misbehaviour::None);
      b.os.FlushSerial(3);
      b.os.Clock().Advance(70000);
      EXPECT_EQ(echo.CheckComm(), StatusOk);
      EXPECT_EQ(Readings(echo), "12 15 | 1010 00 0 | 0.0  | 0");
      EXPECT_EQ(b.os.OpenHandles(), 0);
    }
}

}  // namespace
}  // namespace orvo::test
