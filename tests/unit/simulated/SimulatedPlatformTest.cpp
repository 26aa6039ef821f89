// The module's simulation mode, driven through the device classes as a lesson
// drives them. The system platform it wraps records the sleeps, so the time
// a lesson would take is checked without taking it.
#include <gmock/gmock.h>

#include <string>
#include <vector>

#include "devices/echo/Echo.h"
#include "devices/fault/Fault.h"
#include "devices/plc/Plc.h"
#include "sim/bus/FakePlatform.h"
#include "sim/bus/RegistryModel.h"
#include "sim/inprocess/SimulatedPlatform.h"
#include "tests/unit/sim/SimTestSupport.h"

namespace orvo {
namespace {

using sim::ExpectState;

// The system the simulated platform wraps is a bus with nothing on it: its
// call log shows any use of the real ports, and its clock what was slept.
struct Lesson {
  explicit Lesson(std::string_view units) : Simulated(System, units) {}
  uint64_t SleptMs() { return System.Clock().NowMs(); }
  void ExpectOnlySleeps() const {
    EXPECT_THAT(System.CallLog(), testing::Each(testing::StartsWith("sleep "))) << "ports used";
  }

  fake::FakePlatform System;
  SimulatedPlatform Simulated;
  RegistryModel Registry;
  CEcho Echo{Simulated, Registry};
  CFault Fault{Simulated, Registry};
  CPlc Plc{Simulated, Registry};
};

std::string Str(const std::u16string& text) { return {text.begin(), text.end()}; }

struct Step {
  const char* What;
  int16_t (*Call)(Lesson&);
  uint64_t SleptMs;  // slept for real over the step
};

// Each step must succeed, in the time it would take on the wire.
void RunSteps(Lesson& lesson, const std::vector<Step>& steps) {
  for (const Step& step : steps) {
    SCOPED_TRACE(step.What);
    const uint64_t before = lesson.SleptMs();
    EXPECT_EQ(step.Call(lesson), 61);
    EXPECT_EQ(lesson.SleptMs() - before, step.SleptMs);
  }
  lesson.ExpectOnlySleeps();
}

sim::UnitBase& Unit(Lesson& lesson, std::string_view name) { return *lesson.Simulated.Unit(name); }

// Units without port= take COM1 and COM3 around the PLC trainer's COM2, and
// the map lists them in the order given. A silent port costs what it costs
// on the wire: a read time-out (100 ms + 100 ms a byte), the 500 ms pause
// and the resend's time-out, plus whatever the device class waits.
TEST(SimulatedPlatform, LessonHuntsAndCommandsWithTheTimeItWouldTake) {
  Lesson lesson("plc:3:port=2:external=0x0C, console:5:model=3:submodel=1:version=1.2.13,fault:9");
  EXPECT_EQ(lesson.Simulated.Announcement(),
            "simulating plc3 on COM2, console5 on COM1, fault9 on COM3");
  lesson.Fault.put_Address(9);
  lesson.Plc.put_Address(3);
  RunSteps(
      lesson,
      {
          // The address query goes unanswered on COM2 (300 + 500 + 300).
          {"console SetAddress(5)", [](Lesson& l) { return l.Echo.SetAddress(5); }, 1100},
          {"console ReadModel", [](Lesson& l) { return l.Echo.ReadModel(); }, 0},
          // Two silent ports (50 + 400 + 500 + 50 + 400, then the hunt's
          // 500 each), then the unit's own answer and pause (50 + 500).
          {"fault HuntPort", [](Lesson& l) { return l.Fault.HuntPort(); }, 2 * 1900 + 550},
          {"fault SendFaults(F3,F7)", [](Lesson& l) { return l.Fault.SendFaults(u"F3,F7"); }, 100},
          // The trainer answers at once on COM2: every short frame waits its
          // 50 ms reply delay. ReadExternal reads the main block too.
          {"plc HuntPort", [](Lesson& l) { return l.Plc.HuntPort(); }, 100},
          {"plc ReadExternal", [](Lesson& l) { return l.Plc.ReadExternal(); }, 300},
          {"plc SetSelector(5)", [](Lesson& l) { return l.Plc.SetSelector(5); }, 200},
      });
  EXPECT_EQ(lesson.Echo.get_Port(), 1);
  EXPECT_EQ(std::to_string(lesson.Echo.get_Model()) + " " + Str(lesson.Echo.get_Version()),
            "3 1.2.13");
  EXPECT_EQ(lesson.Fault.get_Port(), 3);
  ExpectState(Unit(lesson, "fault9"), "on 3 7");
  EXPECT_EQ(lesson.Plc.get_Port(), 2);
  EXPECT_EQ(lesson.Plc.get_Voltage(), 24);
  // What the units kept only to be read back went when each link closed.
  ExpectState(Unit(lesson, "plc3"), "selector 0x05; nibbles none");
  for (const char* name : {"plc3", "console5", "fault9"}) {
    EXPECT_TRUE(Unit(lesson, name).Received().empty()) << name;
  }
}

// A console on the USB link: found by its address query (300 ms for the
// input report, 50 after it). CheckComm then searches the link (the probe's
// 300 + 50), checks the console with a status read and reads the status
// (300 each).
TEST(SimulatedPlatform, ConsoleOnTheUsbLink) {
  Lesson lesson("console:6:port=0:pos=4");
  RunSteps(lesson, {{"SetAddress(6)", [](Lesson& l) { return l.Echo.SetAddress(6); }, 350},
                    {"CheckComm", [](Lesson& l) { return l.Echo.CheckComm(); }, 950}});
  EXPECT_EQ(lesson.Echo.get_Port(), 0);
  EXPECT_EQ(lesson.Echo.get_Pos(), 15);
}

// Nothing opens and the map is empty: every call reports 60, quickly, and
// the trace says why. No unit is made for a faulty description, not even
// those before the fault.
TEST(SimulatedPlatform, MalformedUnitsLeaveNothingToTalkTo) {
  for (const auto& [units, problem] :
       {std::pair{"console:5,plc:x", "unit 2 'plc:x': expected key=value, got 'x'"},
        std::pair{"console:5:port=2,plc:3:port=2", "console5 and plc3 both on COM2"}}) {
    SCOPED_TRACE(units);
    const int made = sim::UnitBase::Made();
    Lesson lesson(units);
    EXPECT_EQ(lesson.Simulated.Problem(), problem);
    EXPECT_EQ(lesson.Simulated.Announcement(),
              std::string("ORVOTRAINER_SIMULATE: ") + problem +
                  "; no unit is simulated and every call reports 60");
    std::vector<PortMapValue> map;
    EXPECT_TRUE(lesson.Simulated.ReadSerialPortMap(map, 8));
    EXPECT_TRUE(map.empty());
    lesson.Fault.put_Address(4);
    lesson.Plc.put_Address(3);
    lesson.Plc.put_Port(2);
    for (const int16_t status : {lesson.Echo.SetAddress(5), lesson.Echo.CheckComm(),
                                 lesson.Fault.HuntPort(), lesson.Plc.ReadMain()}) {
      EXPECT_EQ(status, 60);
    }
    EXPECT_EQ(lesson.SleptMs(), 50u) << "SetAddress's pause after finding nothing, no more";
    lesson.ExpectOnlySleeps();
    EXPECT_EQ(sim::UnitBase::Made(), made);
  }
}

}  // namespace
}  // namespace orvo
