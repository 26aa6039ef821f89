// CFault against the simulated fault unit on the fake bus, and the fault
// lists of the fault unit and the PLC trainer side by side.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/fault/Fault.h"
#include "devices/plc/Plc.h"
#include "sim/FaultUnit.h"
#include "sim/PlcTrainer.h"
#include "tests/unit/kit/DeviceTestKit.h"

namespace orvo::test {
namespace {

using sim::Misbehaviour;
using FaultBench = UnitBench<CFault, sim::FaultUnit>;
using PlcBench = UnitBench<CPlc, sim::PlcTrainer>;

constexpr auto None = Misbehaviour::None, Other = Misbehaviour::OtherAddress;
constexpr int16_t Ok = StatusOk, Failed = StatusFailed, Bad = StatusBadFaultItem;
int16_t FaultsF1E2(CFault& f) { return f.SendFaults(u"F1,E2"); }

// Only the presence probe looks at who answered; Clear and the fault items
// report the exchange alone. What CShortFrameDevice does alike for both
// classes runs through CPlc only: SetAddress, StartCai and EndCai reaching
// the object's own ClearFaults, and how the confirmed exchange meets an
// address beyond a byte, or 0.
TEST(Fault, EachOperationsFramesAndTheRepliesThatCount) {
  // clang-format off
  const OperationCase<CFault> cases[] = {
      {"CheckComm", &CFault::CheckComm, 3, None, Ok, {"03 b0 00"}},
      {"ClearFaults", &CFault::ClearFaults, 3, None, Ok, {"03 c0 00"}},
      {"SendFaults", FaultsF1E2, 3, None, Ok, {"03 f0 01", "03 e0 02"}},
      {"another address", &CFault::CheckComm, 3, Other, Failed, {"03 b0 00"}},
      {"another address, Clear", &CFault::ClearFaults, 3, Other, Ok, {"03 c0 00"}},
      {"garbage", &CFault::CheckComm, 3, Misbehaviour::Garbage, Failed, {"03 b0 00"}},
      {"silent", &CFault::CheckComm, 3, Misbehaviour::Silent, Failed, {"03 b0 00", "03 b0 00"}},
      {"short, the items go on", FaultsF1E2, 3, Misbehaviour::ShortReply, Failed,
       {"03 f0 01", "03 f0 01", "03 e0 02", "03 e0 02"}},
      {"vanishing", FaultsF1E2, 3, Misbehaviour::Vanish, Failed, {"03 f0 01"}},
  };
  // clang-format on
  for (const auto& c : cases) CheckOperation<CFault, sim::FaultUnit>(c);
}

// The two grammars: the trainer takes a letter and one or two digits, fault
// n being channel n - 1, and any letter but F means Off; the fault unit also
// takes C (Clear) and a fourth character, and refuses other letters. Port 0
// is the USB link, which carries no short frame: a list fails there unless
// the link opens, which takes a console at the object's address, and one
// that sends nothing then reports as it does on the serial line.
TEST(FaultLists, BothGrammars) {
  struct Case {
    std::u16string_view List;
    int16_t PlcStatus;
    Frames PlcSent;
    int16_t FaultStatus;
    Frames FaultSent;
  } cases[] = {
      // clang-format off
      {u"F1,E1",    Ok,     {"03 f0 00", "03 e0 00"}, Ok,     {"03 f0 01", "03 e0 01"}},
      // Empty items send nothing and report 65; one trailing comma adds none.
      {u"F1,,F2",   Ok,     {"03 f0 00", "03 f0 01"}, Ok,     {"03 f0 01", "03 f0 02"}},
      {u"F1,x",     Bad,    {"03 f0 00"},             Bad,    {"03 f0 01"}},
      {u",",        Bad,    {},                       Bad,    {}},
      {u"F1,",      Ok,     {"03 f0 00"},             Ok,     {"03 f0 01"}},
      {u"",         Ok,     {},                       Ok,     {}},
      {u", ,F3",    Ok,     {"03 f0 02"},             Ok,     {"03 f0 03"}},
      {u"  F3",     Ok,     {"03 f0 02"},             Ok,     {"03 f0 03"}},
      // 1 x 10 + (' ' - '0') = 250 in 8 bits: channel 249, fault 250.
      {u"F1 ",      Ok,     {"03 f0 f9"},             Ok,     {"03 f0 fa"}},
      {u"F0,F99",   Ok,     {"03 f0 ff", "03 f0 62"}, Ok,     {"03 f0 00", "03 f0 63"}},
      {u"E12,F123", Bad,    {"03 e0 0b"},             Ok,     {"03 e0 0c", "03 f0 0c"}},
      {u"F1234",    Bad,    {},                       Bad,    {}},
      {u"F",        Bad,    {},                       Bad,    {}},
      {u"C5,Cxy",   Ok,     {"03 e0 04", "03 e0 18"}, Ok,     {"03 c0 00", "03 c0 00"}},
      {u"X5,f23",   Ok,     {"03 e0 04", "03 e0 16"}, Bad,    {}},
      {u"F\u0131\u0132", Ok, {"03 f0 0b"},           Ok,     {"03 f0 0c"}},  // low 8 bits
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.List));
    const auto check = [&](auto&& bench, int16_t status, const Frames& sent) {
      EXPECT_EQ(bench.Object.SendFaults(c.List), status);
      EXPECT_EQ(FramesOf(bench.Unit), sent);
      EXPECT_EQ(CallsOf(bench.Os, {"open", "close"}), OneOpenOnCom7);
      bench.Object.put_Port(0);
      EXPECT_EQ(bench.Object.SendFaults(c.List), Failed) << "no USB unit";
      sim::Console console{3};
      bench.Os.AddHidInterface(0, {u"hid#0", OrvoVendorId, protocol::ConsoleProductId, &console});
      if (sent.empty()) {
        EXPECT_EQ(bench.Object.SendFaults(c.List), status) << "USB console";
      }
      EXPECT_EQ(bench.Os.OpenHandles(), 0);
    };
    check(PlcBench{}, c.PlcStatus, c.PlcSent);
    check(FaultBench{}, c.FaultStatus, c.FaultSent);
  }
}

}  // namespace
}  // namespace orvo::test
