// What each console method puts on the wire, what it reports and how long it
// holds the caller, against the simulated console on COM3.
#include <gtest/gtest.h>

#include <functional>

#include "tests/unit/devices/EchoBench.h"
#include "tests/unit/link/ScriptedUnit.h"

namespace orvo::test {
namespace {

using Call = std::function<int16_t(CEcho&)>;
using Frames = std::vector<std::string>;
using Sleeps = std::vector<uint32_t>;

// The console answers at address 5 on COM3, which is remembered for it, so
// every method first sends the status read that checks the port.
TEST(EchoCommands, FramesStatusAndWaits) {
  struct Row {
    const char* Name;
    Call Method;
    uint8_t SwitchByte, ControlByte;  // as the console holds them
    Frames Sent;                      // after the connect step's probe, "fe ff 05" left out
    int16_t Status;
    Sleeps Waits;
  };
  const Row rows[] = {
      {"CheckComm", &CEcho::CheckComm, 0, 0, {"02 52 49"}, 61, {}},
      {"CheckCommEx", &CEcho::CheckCommEx, 0, 0, {"02 58 49"}, 61, {}},
      {"ReadModel", &CEcho::ReadModel, 0, 0, {"02 58 4d"}, 61, {}},
      {"ReadChannel 1 2",
       [](CEcho& e) { return e.ReadChannel(1, 2); },
       0,
       0,
       {"03 58 43 12"},
       61,
       {50}},
      {"ReadChannel 0 20",
       [](CEcho& e) { return e.ReadChannel(0, 20); },
       0,
       0,
       {"03 58 43 14"},
       61,
       {50}},
      {"ReadChannel 16 3",
       [](CEcho& e) { return e.ReadChannel(16, 3); },
       0,
       0,
       {"03 58 43 03"},
       61,
       {50}},
      {"StartCai", &CEcho::StartCai, 0, 0, {"02 49 53"}, 61, {2000}},
      {"EndCai", &CEcho::EndCai, 0, 0, {"02 49 45"}, 61, {}},
      {"SetVoltages -12 15",
       [](CEcho& e) { return e.SetVoltages(-12, 15); },
       0,
       0,
       {"02 2d 20", "02 2b 04"},
       61,
       {}},
      {"SetVoltages -24 5",
       [](CEcho& e) { return e.SetVoltages(-24, 5); },
       0,
       0,
       {"02 2d 80", "02 2b 01"},
       61,
       {}},
      {"SetVoltages 12 -5",
       [](CEcho& e) { return e.SetVoltages(12, -5); },
       0,
       0,
       {"02 2d 00", "02 2b 00"},
       61,
       {}},
      {"SetAux 3", [](CEcho& e) { return e.SetAux(3); }, 0, 0, {"03 58 2b 01"}, 61, {}},
      {"SetAux 4", [](CEcho& e) { return e.SetAux(4); }, 0, 0, {"03 58 2b 00"}, 61, {}},
      {"SetAux 5", [](CEcho& e) { return e.SetAux(5); }, 0, 0, {"03 58 2b 02"}, 61, {}},
      {"SetBncs 2 3", [](CEcho& e) { return e.SetBncs(2, 3); }, 0, 0, {"03 58 42 23"}, 61, {50}},
      {"SetBncs 16 0", [](CEcho& e) { return e.SetBncs(16, 0); }, 0, 0, {"03 58 42 00"}, 61, {50}},
      {"SetBncs 0 17", [](CEcho& e) { return e.SetBncs(0, 17); }, 0, 0, {"03 58 42 11"}, 61, {50}},
      {"SetSpeaker 300",
       [](CEcho& e) { return e.SetSpeaker(300); },
       0,
       0,
       {"03 58 53 2c"},
       61,
       {50}},
      {"SetStudentControl yes yes",
       [](CEcho& e) { return e.SetStudentControl(u"yes", u"yes"); },
       0,
       0x81,
       {"02 52 49", "02 46 a9"},
       61,
       {50}},
      {"SetStudentControl false false",
       [](CEcho& e) { return e.SetStudentControl(u"false", u"false"); },
       0,
       0xFF,
       {"02 52 49", "02 46 d7"},
       61,
       {50}},
      {"SetStudentControl False false",
       [](CEcho& e) { return e.SetStudentControl(u"False", u"false"); },
       0,
       0x20,
       {"02 52 49", "02 46 08"},
       61,
       {50}},
      {"SetStudentControl empty null",
       [](CEcho& e) { return e.SetStudentControl(u"", {}); },
       0,
       0,
       {"02 52 49", "02 46 28"},
       61,
       {50}},
      {"SetWarning on",
       [](CEcho& e) { return e.SetWarning(u"on"); },
       0,
       0xA9,
       {"02 52 49", "02 46 e9"},
       61,
       {50}},
      {"SetWarning false",
       [](CEcho& e) { return e.SetWarning(u"false"); },
       0,
       0xE9,
       {"02 52 49", "02 46 a9"},
       61,
       {50}},
      {"SetWarning falsely",
       [](CEcho& e) { return e.SetWarning(u"falsely"); },
       0,
       0,
       {"02 52 49", "02 46 40"},
       61,
       {50}},
      {"SetSwitches AC1,DC3",
       [](CEcho& e) { return e.SetSwitches(u"AC1,DC3"); },
       0x00,
       0,
       {"02 52 49", "03 50 53 42"},
       61,
       {100}},
      {"SetSwitches empty",
       [](CEcho& e) { return e.SetSwitches(u""); },
       0xFF,
       0,
       {"02 52 49", "03 50 53 81"},
       61,
       {100}},
      {"SetSwitches null",
       [](CEcho& e) { return e.SetSwitches({}); },
       0xFF,
       0,
       {"02 52 49", "03 50 53 81"},
       61,
       {100}},
      {"SetSwitches blank",
       [](CEcho& e) { return e.SetSwitches(u"AC1, DC1"); },
       0x00,
       0,
       {"02 52 49", "03 50 53 02"},
       61,
       {100}},
      {"SetSwitches lower case",
       [](CEcho& e) { return e.SetSwitches(u"ac1"); },
       0x7E,
       0,
       {"02 52 49", "03 50 53 00"},
       61,
       {100}},
      {"SetSwitches AC3",
       [](CEcho& e) { return e.SetSwitches(u"AC3,SP3"); },
       0x00,
       0,
       {"02 52 49", "03 50 53 20"},
       61,
       {100}},
      {"SetSwitchesEx AC3",
       [](CEcho& e) { return e.SetSwitchesEx(u"AC3,SP3"); },
       0x00,
       0,
       {"02 58 49", "03 58 50 20"},
       61,
       {100}},
      {"SetSwitches empty items",
       [](CEcho& e) { return e.SetSwitches(u"AC1,,DC1,"); },
       0x81,
       0,
       {"02 52 49", "03 50 53 87"},
       61,
       {100}},
      {"ChangeSwitch DC2 on",
       [](CEcho& e) { return e.ChangeSwitch(u"DC2", 1); },
       0x81,
       0,
       {"02 52 49", "03 50 53 91"},
       61,
       {100}},
      {"ChangeSwitch DC2 off",
       [](CEcho& e) { return e.ChangeSwitch(u"DC2", 0); },
       0x91,
       0,
       {"02 52 49", "03 50 53 81"},
       61,
       {100}},
      {"ChangeSwitch DC2 True",
       [](CEcho& e) { return e.ChangeSwitch(u"DC2", -1); },
       0x00,
       0,
       {"02 52 49", "03 50 53 10"},
       61,
       {100}},
      {"ChangeSwitch DC2 2",
       [](CEcho& e) { return e.ChangeSwitch(u"DC2", 2); },
       0x00,
       0,
       {"02 52 49", "03 50 53 10"},
       61,
       {100}},
      {"ChangeSwitch XYZ",
       [](CEcho& e) { return e.ChangeSwitch(u"XYZ", 1); },
       0x5A,
       0,
       {"02 52 49", "03 50 53 5a"},
       61,
       {100}},
      {"ChangeSwitchEx SP3",
       [](CEcho& e) { return e.ChangeSwitchEx(u"SP3", 1); },
       0x5A,
       0,
       {"02 58 49", "03 58 50 5a"},
       61,
       {100}},
      {"ChangeSwitchEx AC3",
       [](CEcho& e) { return e.ChangeSwitchEx(u"AC3", 1); },
       0x81,
       0,
       {"02 58 49", "03 58 50 a1"},
       61,
       {100}},
      {"SendFaults 4612",
       [](CEcho& e) { return e.SendFaults(u"4612"); },
       0,
       0,
       {"02 46 0c"},
       61,
       {100}},
      {"SendFaults two",
       [](CEcho& e) { return e.SendFaults(u" 4612,4705"); },
       0,
       0,
       {"02 46 0c", "02 47 05"},
       61,
       {100}},
      {"SendFaults trailing blank",
       [](CEcho& e) { return e.SendFaults(u"4612 "); },
       0,
       0,
       {},
       65,
       {100}},
      {"SendFaults trailing comma",
       [](CEcho& e) { return e.SendFaults(u"4612,"); },
       0,
       0,
       {"02 46 0c"},
       61,
       {100}},
      {"SendFaults empty last",
       [](CEcho& e) { return e.SendFaults(u"4612,,"); },
       0,
       0,
       {"02 46 0c"},
       65,
       {100}},
      {"SendFaults short last",
       [](CEcho& e) { return e.SendFaults(u"4612,12"); },
       0,
       0,
       {"02 46 0c"},
       65,
       {100}},
      {"SendFaults bad then good",
       [](CEcho& e) { return e.SendFaults(u"12,4705"); },
       0,
       0,
       {"02 47 05"},
       61,
       {100}},
      {"SendFaults empty", [](CEcho& e) { return e.SendFaults(u""); }, 0, 0, {}, 61, {100}},
      {"SendFaults null", [](CEcho& e) { return e.SendFaults({}); }, 0, 0, {}, 61, {100}},
      {"SendFaults digits",
       [](CEcho& e) { return e.SendFaults(u"4g05,46A5"); },
       0,
       0,
       {"02 40 05", "02 46 69"},
       61,
       {100}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    Bench b;
    b.os.AddSerialPort(3, &b.console);
    b.Remember(u"BrixPort_5", 3);
    b.console.SetSwitchByte(r.SwitchByte);
    b.console.SetControlByte(r.ControlByte);
    CEcho echo(b.os, b.registry);
    echo.put_Address(5);
    const std::size_t mark = b.SleepMark();
    EXPECT_EQ(r.Method(echo), r.Status);
    Frames expected{"fe ff 05 02 52 49"};
    for (const std::string& f : r.Sent) expected.push_back("fe ff 05 " + f);
    EXPECT_EQ(b.Frames(), expected);
    EXPECT_EQ(b.SleepsSince(mark), r.Waits);
    EXPECT_EQ(b.os.OpenHandles(), 0);
    EXPECT_EQ(b.Settings(), "BrixPort_0 = REG_DWORD 0\nBrixPort_5 = REG_DWORD 3\n");
  }
}

// Only the outcomes the methods look at decide their status and their waits.
// A scripted unit answers the n-th frame or stays silent; a silent frame is
// sent twice (the link's one resend, after 500 ms).
TEST(EchoCommands, WhichOutcomesCount) {
  using Script = std::vector<bool>;  // per frame written: answered?
  struct Row {
    const char* Name;
    Call Method;
    Script Answers;
    int16_t Status;
    std::size_t FramesSent;
    Sleeps Waits;
  };
  const Row rows[] = {
      {"first voltage lost",
       [](CEcho& e) { return e.SetVoltages(-5, 5); },
       {0, 0, 1},
       61,
       3,
       {500}},
      {"second voltage lost",
       [](CEcho& e) { return e.SetVoltages(-5, 5); },
       {1, 0, 0},
       60,
       3,
       {500}},
      {"StartCai lost", &CEcho::StartCai, {0, 0}, 60, 2, {500, 2000}},
      {"control read lost",
       [](CEcho& e) { return e.SetStudentControl(u"", u""); },
       {0, 0},
       60,
       2,
       {500}},
      {"warning read lost", [](CEcho& e) { return e.SetWarning(u""); }, {0, 0}, 60, 2, {500}},
      {"control write lost",
       [](CEcho& e) { return e.SetWarning(u""); },
       {1, 0, 0},
       60,
       3,
       {500, 50}},
      {"switch read lost",
       [](CEcho& e) { return e.SetSwitches(u"AC1"); },
       {0, 0, 1},
       61,
       3,
       {500, 100}},
      {"switch write lost",
       [](CEcho& e) { return e.ChangeSwitch(u"AC1", 1); },
       {1, 0, 0},
       60,
       3,
       {500}},
      {"first fault lost",
       [](CEcho& e) { return e.SendFaults(u"4612,4705"); },
       {0, 0, 1},
       61,
       3,
       {500, 100}},
      {"last fault lost",
       [](CEcho& e) { return e.SendFaults(u"4612,4705"); },
       {1, 0, 0},
       60,
       3,
       {500, 100}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    Bench b;
    ScriptedUnit unit;
    for (bool answered : r.Answers)
      unit.Replies.push_back(answered ? std::optional(std::vector<uint8_t>(14, 0)) : std::nullopt);
    b.os.AddSerialPort(3, &unit);
    b.Remember(u"BrixPort_0", 3);
    CEcho echo(b.os, b.registry);
    const std::size_t mark = b.SleepMark();
    EXPECT_EQ(r.Method(echo), r.Status);
    EXPECT_EQ(unit.Received().size(), r.FramesSent);
    EXPECT_EQ(b.SleepsSince(mark), r.Waits);
    EXPECT_EQ(b.os.OpenHandles(), 0);
  }
}

// What the readings make of the console's replies, read on COM3 with no
// address set. A failed exchange reads as zeros rather than keeping the
// previous values.
TEST(EchoCommands, Readings) {
  using Step = std::function<int16_t(CEcho&, sim::Console&)>;
  const Step checkComm = [](CEcho& e, sim::Console&) { return e.CheckComm(); };
  const Step checkCommEx = [](CEcho& e, sim::Console&) { return e.CheckCommEx(); };
  const Step readModel = [](CEcho& e, sim::Console&) { return e.ReadModel(); };
  const Step silence = [](CEcho&, sim::Console& c) {
    c.Misbehave(sim::Misbehaviour::Silent);
    return int16_t{60};
  };
  struct Row {
    const char* Name;
    std::function<void(sim::Console&)> Setup;
    std::vector<Step> Steps;
    int16_t LastStatus;
    std::string Expected;
  };
  const Row rows[] = {
      {"fresh object",
       [](sim::Console&) {},
       {},
       0,
       "Neg 0 Pos 0 switches 0000 00 0 Model 0.0 Version  Channel 0"},
      {"CheckComm",
       [](sim::Console& c) {
         c.SetVoltageNibbles(4, 8);
         c.SetSwitchByte(0x7E);
       },
       {checkComm},
       61,
       "Neg 15 Pos 24 switches 1111 10 1 Model 0.0 Version  Channel 0"},
      {"CheckCommEx, then CheckComm keeps AC3",
       [](sim::Console& c) {
         c.SetVoltageNibbles(1, 0);
         c.SetSwitchByte(0x20);
       },
       {checkCommEx, checkComm},
       61,
       "Neg 5 Pos 0 switches 0000 11 0 Model 0.0 Version  Channel 0"},
      {"combined and unknown codes",
       [](sim::Console& c) {
         c.SetVoltageNibbles(3, 9);
         c.SetSwitchByte(0x81);
       },
       {checkCommEx},
       61,
       "Neg 0 Pos 0 switches 0000 00 0 Model 0.0 Version  Channel 0"},
      {"code 15",
       [](sim::Console& c) { c.SetVoltageNibbles(15, 2); },
       {checkComm},
       61,
       "Neg 0 Pos 12 switches 0000 00 0 Model 0.0 Version  Channel 0"},
      {"ReadModel",
       [](sim::Console& c) {
         c.SetModel(200, 7);
         c.SetVersion(1, 2, 13);
       },
       {readModel},
       61,
       "Neg 0 Pos 0 switches 0000 00 0 Model 200.7 Version 1.2.13 Channel 0"},
      {"ReadChannel",
       [](sim::Console& c) { c.SetChannel(0x12, 300); },
       {[](CEcho& e, sim::Console&) { return e.ReadChannel(1, 2); }},
       61,
       "Neg 0 Pos 0 switches 0000 00 0 Model 0.0 Version  Channel 300"},
      {"ReadChannel wraps the selector",
       [](sim::Console& c) { c.SetChannel(0xF3, 65535); },
       {[](CEcho& e, sim::Console&) { return e.ReadChannel(-1, 3); }},
       61,
       "Neg 0 Pos 0 switches 0000 00 0 Model 0.0 Version  Channel 65535"},
      {"a silent console reads as zeros",
       [](sim::Console& c) {
         c.SetVoltageNibbles(4, 8);
         c.SetSwitchByte(0x7E);
         c.SetModel(3, 4);
         c.SetVersion(255, 0, 7);
       },
       {checkComm, readModel, silence, checkComm, readModel},
       60,
       "Neg 0 Pos 0 switches 0000 00 0 Model 0.0 Version 0.0.0 Channel 0"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    Bench b;
    b.os.AddSerialPort(3, &b.console);
    b.Remember(u"BrixPort_0", 3);
    r.Setup(b.console);
    CEcho echo(b.os, b.registry);
    int16_t status = 0;
    for (const Step& step : r.Steps) status = step(echo, b.console);
    EXPECT_EQ(status, r.LastStatus);
    EXPECT_EQ(Readings(echo), r.Expected);
  }
}

}  // namespace
}  // namespace orvo::test
