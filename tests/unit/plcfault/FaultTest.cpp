// CFault against the simulated fault unit on the fake bus, and what it
// shares with CPlc: fault lists, the port hunt and the remembered port.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "devices/fault/Fault.h"
#include "devices/plc/Plc.h"
#include "sim/Console.h"
#include "sim/FaultUnit.h"
#include "sim/PlcTrainer.h"
#include "tests/unit/plcfault/Testing.h"

namespace orvo::test {
namespace {

using sim::Misbehaviour;
using FaultBench = UnitBench<CFault, sim::FaultUnit>;
using PlcBench = UnitBench<CPlc, sim::PlcTrainer>;

constexpr auto None = Misbehaviour::None, Other = Misbehaviour::OtherAddress;
constexpr int16_t Ok = StatusOk, Failed = StatusFailed, Bad = StatusBadFaultItem;
int16_t FaultsF1E2(CFault& f) { return f.SendFaults(u"F1,E2"); }

// Only the presence probe looks at who answered; Clear and the fault items
// report the exchange alone.
TEST(Fault, EachOperationsFramesAndTheRepliesThatCount) {
  // clang-format off
  const OperationCase<CFault> cases[] = {
      {"CheckComm", &CFault::CheckComm, 3, None, Ok, {"03 b0 00"}},
      {"ClearFaults", &CFault::ClearFaults, 3, None, Ok, {"03 c0 00"}},
      {"StartCai", &CFault::StartCai, 3, None, Ok, {"03 c0 00"}},
      {"EndCai", &CFault::EndCai, 3, None, Ok, {"03 c0 00"}},
      {"SendFaults", FaultsF1E2, 3, None, Ok, {"03 f0 01", "03 e0 02"}},
      {"SetAddress changes nothing", [](CFault& f) { return f.SetAddress(9); }, 3, None, Ok, {}},
      {"address 259", &CFault::CheckComm, 259, None, Failed, {"03 b0 00"}},
      {"address -253", &CFault::CheckComm, -253, None, Failed, {"03 b0 00"}},
      {"address 0", &CFault::CheckComm, 0, None, Failed, {"00 b0 00"}},
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
// takes C (Clear) and a fourth character, and refuses other letters.
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
    SCOPED_TRACE(std::string(c.List.begin(), c.List.end()));
    const auto check = [&](auto&& bench, int16_t status, const Frames& sent) {
      EXPECT_EQ(bench.Object.SendFaults(c.List), status);
      EXPECT_EQ(FramesOf(bench.Unit), sent);
      EXPECT_EQ(CallsOf(bench.Os, {"open", "close"}), OneOpenOnCom7);
    };
    check(PlcBench{}, c.PlcStatus, c.PlcSent);
    check(FaultBench{}, c.FaultStatus, c.FaultSent);
  }
}

// The bus of every hunt: COM5 a silent line, COM6 a unit that answers from
// address 4, COM7 the unit at address 3, and no COM8. The remembered port
// starts as 9. The trainer is probed by switching channel 22 on and, if it
// answered from its address, off, with no wait besides the reply delays; the
// fault unit with a Read, followed by 500 ms whether answered or not.
enum class Hunted { Plc, Fault };
struct HuntCase {
  const char* Name;
  Hunted Class;
  int16_t Current;
  std::vector<int> Map;
  bool HidConsole;
  int16_t Status;
  int16_t PortAfter;
  uint32_t Stored;
  std::optional<Frames> Calls;  // opens, port-map reads and HID searches, in order
  Frames Unit3, OtherAddress;
  std::optional<std::vector<uint32_t>> Sleeps;
};

template <class Device, class UnitType>
void Hunt(const HuntCase& c, const char16_t* valueName) {
  fake::FakePlatform os;
  RegistryModel registry;
  UnitType unit3{3}, otherAddress{3};
  sim::Console console{3};
  otherAddress.Misbehave(Misbehaviour::OtherAddress);
  os.AddSerialPort(5);
  os.AddSerialPort(6, &otherAddress);
  os.AddSerialPort(7, &unit3);
  os.SetPortMap(ComMap(c.Map));
  if (c.HidConsole) os.AddHidInterface(0, {u"hid#0", OrvoVendorId, 3, &console, false});
  StorePort(registry, valueName, 9);
  Device device(os, registry);
  device.put_Port(c.Current);
  device.put_Address(3);
  os.ClearCallLog();

  EXPECT_EQ(device.HuntPort(), c.Status);
  EXPECT_EQ(device.get_Port(), c.PortAfter);
  std::string stored(valueName, valueName + std::char_traits<char16_t>::length(valueName));
  EXPECT_EQ(StoredSettings(registry), stored + " = REG_DWORD " + std::to_string(c.Stored) + "\n");
  if (c.Calls) {
    EXPECT_EQ(CallsOf(os, {"open \\", "port-map", "hid-set"}), *c.Calls);
  }
  EXPECT_EQ(FramesOf(unit3), c.Unit3);
  EXPECT_EQ(FramesOf(otherAddress), c.OtherAddress);
  for (const sim::Frame& f : console.Received()) EXPECT_EQ(f.Bytes[3], 'K') << "link probe";
  if (c.Sleeps) {
    EXPECT_EQ(os.Clock().Recorded(), *c.Sleeps);
  }
  EXPECT_EQ(os.OpenHandles(), 0);
}

const std::string Com(int n) { return "open \\\\.\\COM" + std::to_string(n); }
const Frames NoHid = {"hid-set", "hid-set-close"};
Frames Join(std::initializer_list<Frames> parts) {
  Frames all;
  for (const Frames& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// Both classes try the current port, then the list, HID first, and remember
// the port that answers, or 0.
TEST(Hunt, TheCurrentPortThenTheListHidFirst) {
  constexpr auto Plc = Hunted::Plc, Fault = Hunted::Fault;
  const Frames plcFound = {"03 f0 16", "03 e0 16"}, faultFound = {"03 b0 00"};
  const std::vector<uint32_t> replyDelays = {50, 50};
  const auto none = std::nullopt;
  // clang-format off
  const HuntCase cases[] = {
      {"found on the current port, nothing saved", Plc, 7, {5, 6, 7}, false, Ok, 7, 9,
       {{Com(7)}}, plcFound, {}, replyDelays},
      // The silent current port costs the link's resend, hence two opens.
      {"another address moves on, without Off", Plc, 5, {6, 5, 7}, false, Ok, 7, 7,
       Join({{Com(5), Com(5), "port-map"}, NoHid, {Com(6), Com(5), Com(5), Com(7)}}),
       plcFound, {"03 f0 16"}, none},
      {"a current port that does not open", Plc, 8, {7}, false, Ok, 7, 7,
       Join({{Com(8), "port-map"}, NoHid, {Com(7)}}), plcFound, {}, replyDelays},
      {"nothing answers", Plc, 6, {6}, false, Failed, 0, 0,
       Join({{Com(6), "port-map"}, NoHid, {Com(6)}}), {}, {"03 f0 16", "03 f0 16"}, none},
      // A console on HID answers the link's search; no short frame reaches it.
      {"a HID console is passed over", Plc, 0, {7}, true, Ok, 7, 7,
       Join({NoHid, {"port-map"}, NoHid, {Com(7)}}), plcFound, {}, none},
      {"found on the current port, nothing saved", Fault, 7, {5, 6, 7}, false, Ok, 7, 9,
       {{Com(7)}}, faultFound, {}, {{50, 500}}},
      {"another address moves on", Fault, 6, {6, 7}, false, Ok, 7, 7,
       Join({{Com(6), "port-map"}, NoHid, {Com(6), Com(7)}}), faultFound,
       {"03 b0 00", "03 b0 00"}, {{50, 500, 50, 500, 50, 500}}},
      // Each silent probe costs the link's resend as well: 50, 500, 50.
      {"nothing answers", Fault, 5, {5}, false, Failed, 0, 0,
       Join({{Com(5), Com(5), "port-map"}, NoHid, {Com(5), Com(5)}}), {}, {},
       {{50, 500, 50, 500, 50, 500, 50, 500}}},
      // The list examines 16 values of the map, serial ports or not.
      {"the 16th value of the map", Plc, 8, MapValue(16, 7), false, Ok, 7, 7, none,
       plcFound, {}, none},
      {"the 17th value is not examined", Plc, 8, MapValue(17, 7), false, Failed, 0, 0, none,
       {}, {}, none},
      {"the 16th value of the map", Fault, 8, MapValue(16, 7), false, Ok, 7, 7, none,
       faultFound, {}, none},
      {"the 17th value is not examined", Fault, 8, MapValue(17, 7), false, Failed, 0, 0, none,
       {}, {}, none},
  };
  // clang-format on
  for (const HuntCase& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.Class == Plc ? "PLC: " : "fault: ") << c.Name);
    if (c.Class == Plc)
      Hunt<CPlc, sim::PlcTrainer>(c, u"SorlPort");
    else
      Hunt<CFault, sim::FaultUnit>(c, u"TarnPort");
  }
}

// Each class keeps its own value; building the first object of a user
// creates it with 0, and writing Port saves nothing.
TEST(RememberedPort, SorlPortAndTarnPort) {
  fake::FakePlatform os;
  RegistryModel registry;
  CPlc plc(os, registry);
  CFault fault(os, registry);
  EXPECT_EQ(StoredSettings(registry), "SorlPort = REG_DWORD 0\nTarnPort = REG_DWORD 0\n");
  StorePort(registry, u"SorlPort", 0xFFFF000C);
  StorePort(registry, u"TarnPort", 0xFFFFFFFD);
  EXPECT_EQ(CPlc(os, registry).get_Port(), 12);
  EXPECT_EQ(CFault(os, registry).get_Port(), -3);
  plc.put_Port(4);
  fault.put_Port(4);
  EXPECT_EQ(StoredSettings(registry),
            "SorlPort = REG_DWORD 4294901772\nTarnPort = REG_DWORD 4294967293\n");
}

}  // namespace
}  // namespace orvo::test
