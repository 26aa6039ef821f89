// What each console method puts on the wire, what it reports and how long it
// holds the caller, against the simulated console on COM3.
#include <gtest/gtest.h>

#include "tests/unit/devices/EchoBench.h"
#include "tests/unit/kit/ScriptedUnit.h"

namespace orvo::test {
namespace {

// "02 52 49 | 03 50 53 42" -> the frames to unit 5, in order.
std::vector<std::string> FramesToFive(std::string_view text) {
  std::vector<std::string> frames{"fe ff 05 02 52 49"};  // the connect step's probe
  while (!text.empty()) {
    const std::size_t bar = text.find(" | ");
    frames.push_back("fe ff 05 " + std::string(text.substr(0, bar)));
    text = bar == std::string_view::npos ? std::string_view{} : text.substr(bar + 3);
  }
  return frames;
}

// The console answers at address 5 on COM3, which is remembered for it.
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
    b.os.AddSerialPort(3, &b.console);
    b.Remember(u"BrixPort_5", 3);
    b.console.SetSwitchByte(r.SwitchByte);
    b.console.SetControlByte(r.ControlByte);
    CEcho echo(b.os, b.registry);
    echo.put_Address(5);
    const std::size_t mark = b.SleepMark();
    EXPECT_EQ(r.Method(echo), r.Status);
    EXPECT_EQ(b.Frames(), FramesToFive(r.Sent));
    EXPECT_EQ(b.SleepsSince(mark), r.Waits);
    EXPECT_EQ(b.os.OpenHandles(), 0);
    EXPECT_EQ(b.Settings(), "BrixPort_0=0 BrixPort_5=3");
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
    b.Remember(u"BrixPort_0", 3);
    CEcho echo(b.os, b.registry);
    const std::size_t mark = b.SleepMark();
    EXPECT_EQ(r.Method(echo), r.Status);
    EXPECT_EQ(unit.Received().size(), r.Answered.size());
    EXPECT_EQ(b.SleepsSince(mark), r.Waits);
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
      {"ReadChannel", 0, 0, {channel}, never, 61, "0 0 | 0000 00 0 | 0.0  | 65535"},
      {"then silent", 0x48, 0x7E, {&CEcho::CheckComm, &CEcho::ReadModel, channel,
       &CEcho::CheckComm, &CEcho::ReadModel, channel}, 3, 60, "0 0 | 0000 00 0 | 0.0 0.0.0 | 0"},
  };
  // clang-format on
  for (const Row& r : rows) {
    SCOPED_TRACE(r.Name);
    Bench b;
    b.os.AddSerialPort(3, &b.console);
    b.Remember(u"BrixPort_0", 3);
    b.console.SetVoltageNibbles(r.Voltages >> 4, r.Voltages & 15);
    b.console.SetSwitchByte(r.Switches);
    b.console.SetModel(200, 7);
    b.console.SetVersion(1, 2, 13);
    b.console.SetChannel(0xF3, 65535);
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

}  // namespace
}  // namespace orvo::test
