// The module's simulation mode, driven through the device classes as a lesson
// drives them. The system platform it wraps is a stand-in whose clock records
// the sleeps, so the time a lesson would take is checked without taking it.
#include <gmock/gmock.h>

#include <functional>
#include <string>
#include <vector>

#include "devices/echo/Echo.h"
#include "devices/fault/Fault.h"
#include "devices/plc/Plc.h"
#include "sim/UnitFields.h"
#include "sim/bus/RegistryModel.h"
#include "sim/inprocess/SimulatedPlatform.h"

namespace orvo {
namespace {

// The system as the simulated platform sees it: sleeping is all it may
// use. Every other call counts as touching the real hardware.
class SystemStandIn final : public Platform {
 public:
  uint64_t SleptMs = 0;
  int Touched = 0;

  void Sleep(uint32_t ms) override { SleptMs += ms; }

  Handle OpenSerialPort(std::u16string_view) override { return Touch(InvalidHandle); }
  bool ConfigureSerialPort(Handle, const SerialSettings&) override { return Touch(false); }
  void ClearCommErrors(Handle) override { ++Touched; }
  bool WriteSerial(Handle, std::span<const uint8_t>) override { return Touch(false); }
  std::size_t ReadSerial(Handle, std::span<uint8_t>) override { return Touch(0u); }
  DeviceSet OpenHidDeviceSet() override { return Touch(InvalidDeviceSet); }
  bool HidInterfacePath(DeviceSet, int, std::u16string&) override { return Touch(false); }
  void CloseHidDeviceSet(DeviceSet) override { ++Touched; }
  Handle OpenHidDevice(std::u16string_view) override { return Touch(InvalidHandle); }
  bool GetHidAttributes(Handle, HidAttributes&) override { return Touch(false); }
  void FlushHidInput(Handle) override { ++Touched; }
  bool WriteHidReport(Handle, std::span<const uint8_t, HidReportSize>) override {
    return Touch(false);
  }
  std::size_t ReadHidReport(Handle, std::span<uint8_t, HidReportSize>, uint32_t) override {
    return Touch(0u);
  }
  void CloseHandle(Handle) override { ++Touched; }
  bool ReadSerialPortMap(std::vector<PortMapValue>&, std::size_t) override { return Touch(false); }

 private:
  template <class T>
  T Touch(T result) {
    ++Touched;
    return result;
  }
};

struct Lesson {
  explicit Lesson(std::string_view units) : Simulated(System, units) {}
  SystemStandIn System;
  SimulatedPlatform Simulated;
  RegistryModel Registry;
  CEcho Echo{Simulated, Registry};
  CFault Fault{Simulated, Registry};
  CPlc Plc{Simulated, Registry};
};

std::string Str(const std::u16string& text) { return {text.begin(), text.end()}; }

// A unit's state as orvo-sim's control line 'get UNIT FIELD' shows it.
std::string UnitState(Lesson& lesson, std::string_view unit, std::string_view field) {
  sim::UnitBase& u = *lesson.Simulated.Unit(unit);
  return sim::FindField(sim::KindOf(u), field)->Get(u, {});
}

struct Step {
  const char* What;
  std::function<int16_t(Lesson&)> Call;
  int16_t Status;
  uint64_t SleptMs;                          // slept for real over the step
  std::function<std::string(Lesson&)> Seen;  // what the host or a unit shows afterwards
  const char* Expected;
};

void RunSteps(Lesson& lesson, const std::vector<Step>& steps) {
  for (const Step& step : steps) {
    SCOPED_TRACE(step.What);
    const uint64_t before = lesson.System.SleptMs;
    EXPECT_EQ(step.Call(lesson), step.Status);
    EXPECT_EQ(lesson.System.SleptMs - before, step.SleptMs);
    EXPECT_EQ(step.Seen(lesson), step.Expected);
  }
  EXPECT_EQ(lesson.System.Touched, 0) << "the real ports were used";
}

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
          {"console SetAddress(5)", [](Lesson& l) { return l.Echo.SetAddress(5); }, 61, 1100,
           [](Lesson& l) { return std::to_string(l.Echo.get_Port()); }, "1"},
          {"console ReadModel", [](Lesson& l) { return l.Echo.ReadModel(); }, 61, 0,
           [](Lesson& l) { return std::to_string(l.Echo.get_Model()) + Str(l.Echo.get_Version()); },
           "31.2.13"},
          // Two silent ports (50 + 400 + 500 + 50 + 400, then the hunt's
          // 500 each), then the unit's own answer and pause (50 + 500).
          {"fault HuntPort", [](Lesson& l) { return l.Fault.HuntPort(); }, 61, 2 * 1900 + 550,
           [](Lesson& l) { return std::to_string(l.Fault.get_Port()); }, "3"},
          {"fault SendFaults(F3,F7)", [](Lesson& l) { return l.Fault.SendFaults(u"F3,F7"); }, 61,
           100, [](Lesson& l) { return UnitState(l, "fault9", "on"); }, "3 7"},
          // The trainer answers at once on COM2: every short frame waits its
          // 50 ms reply delay. ReadExternal reads the main block too.
          {"plc HuntPort", [](Lesson& l) { return l.Plc.HuntPort(); }, 61, 100,
           [](Lesson& l) { return std::to_string(l.Plc.get_Port()); }, "2"},
          {"plc ReadExternal", [](Lesson& l) { return l.Plc.ReadExternal(); }, 61, 300,
           [](Lesson& l) { return std::to_string(l.Plc.get_Voltage()); }, "24"},
          {"plc SetSelector(5)", [](Lesson& l) { return l.Plc.SetSelector(5); }, 61, 200,
           [](Lesson& l) { return UnitState(l, "plc3", "selector"); }, "0x05"},
      });
  // What the units kept only to be read back went when each link closed.
  for (const char* name : {"plc3", "console5", "fault9"}) {
    EXPECT_TRUE(lesson.Simulated.Unit(name)->Received().empty()) << name;
  }
  EXPECT_EQ(UnitState(lesson, "plc3", "nibbles"), "none");
}

// A console on the USB link: found by its address query (300 ms for the
// input report, 50 after it). CheckComm then searches the link (the probe's
// 300 + 50), checks the console with a status read and reads the status
// (300 each).
TEST(SimulatedPlatform, ConsoleOnTheUsbLink) {
  Lesson lesson("console:6:port=0:pos=4");
  RunSteps(lesson, {
                       {"SetAddress(6)", [](Lesson& l) { return l.Echo.SetAddress(6); }, 61, 350,
                        [](Lesson& l) { return std::to_string(l.Echo.get_Port()); }, "0"},
                       {"CheckComm", [](Lesson& l) { return l.Echo.CheckComm(); }, 61, 950,
                        [](Lesson& l) { return std::to_string(l.Echo.get_Pos()); }, "15"},
                   });
}

struct Malformed {
  const char* Units;
  const char* Problem;
};

const Malformed MalformedCases[] = {
    {"console:5,plc:x", "unit 2 'plc:x': expected key=value, got 'x'"},
    {"console:5:port=2,plc:3:port=2", "console5 and plc3 both on COM2"},
    {"console:5;plc:3", "unit 1 'console:5;plc:3': expected key=value, got '5;plc'"},
    {",", "unit 1 is empty"},
};

// Nothing opens and the map is empty: every call reports 60, quickly, and
// the trace says why.
TEST(SimulatedPlatform, MalformedUnitsLeaveNothingToTalkTo) {
  for (const Malformed& c : MalformedCases) {
    SCOPED_TRACE(c.Units);
    const int made = sim::UnitBase::Made();
    Lesson lesson(c.Units);
    EXPECT_EQ(lesson.Simulated.Problem(), c.Problem);
    EXPECT_EQ(lesson.Simulated.Announcement(),
              std::string("ORVOTRAINER_SIMULATE: ") + c.Problem +
                  "; no unit is simulated and every call reports 60");
    lesson.Fault.put_Address(4);
    lesson.Plc.put_Address(3);
    lesson.Plc.put_Port(2);
    for (const int16_t status : {lesson.Echo.SetAddress(5), lesson.Echo.CheckComm(),
                                 lesson.Fault.HuntPort(), lesson.Plc.ReadMain()}) {
      EXPECT_EQ(status, 60);
    }
    EXPECT_EQ(lesson.System.SleptMs, 50u) << "SetAddress's pause after finding nothing, no more";
    EXPECT_EQ(lesson.System.Touched, 0);
    EXPECT_EQ(sim::UnitBase::Made(), made) << "a unit was made for a faulty description";
  }
}

}  // namespace
}  // namespace orvo
