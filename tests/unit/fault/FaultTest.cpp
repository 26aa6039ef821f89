// CFault against the simulated fault unit on the fake bus: the frames the
// unit receives, the fault-item grammar, misbehaving units and the hunt.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "devices/fault/Fault.h"
#include "sim/Console.h"
#include "sim/FaultUnit.h"
#include "tests/unit/plc/ShortUnitTesting.h"

namespace orvo::test {
namespace {

using sim::Misbehaviour;
using Frames = std::vector<std::string>;
using Operation = std::function<int16_t(CFault&)>;

struct FaultOnCom7 : ::testing::Test {
  fake::FakePlatform Os;
  RegistryModel Registry;
  sim::FaultUnit Unit{3};
  std::unique_ptr<CFault> Fault;

  void SetUp() override {
    Os.AddSerialPort(7, &Unit);
    StorePort(Registry, u"TarnPort", 7);
    Fault = std::make_unique<CFault>(Os, Registry);
    Fault->put_Address(3);
  }
  void Reset() {
    Unit.Misbehave(Misbehaviour::None);
    Unit.ClearReceived();
    Os.FlushSerial(7);
    Os.ClearTrace();
    Os.Clock() = {};
  }
};

TEST_F(FaultOnCom7, EachOperationSendsItsFrameWithinOneOpenAndClose) {
  struct Case {
    const char* Name;
    Operation Run;
    Frames Sent;
  } cases[] = {
      {"CheckComm", &CFault::CheckComm, {"03 b0 00"}},
      {"ClearFaults", &CFault::ClearFaults, {"03 c0 00"}},
      {"StartCai", &CFault::StartCai, {"03 c0 00"}},
      {"EndCai", &CFault::EndCai, {"03 c0 00"}},
      {"SendFaults", [](CFault& f) { return f.SendFaults(u"F7,E12"); }, {"03 f0 07", "03 e0 0c"}},
  };
  sim::Console console{3};
  Os.AddHidInterface(0, fake::FakeHidDevice{u"hid#0", OrvoVendorId, 3, &console, false});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Fault->put_Port(7);
    Reset();
    EXPECT_EQ(c.Run(*Fault), StatusOk);
    EXPECT_EQ(FramesOf(Unit), c.Sent);
    EXPECT_EQ(CallsOf(Os, {"open", "close"}), (Frames{"open \\\\.\\COM7", "close COM7"}));
    EXPECT_EQ(Os.Clock().Recorded(), std::vector<uint32_t>(c.Sent.size(), 50u));
    // Port 0 opens the HID console, which no short frame reaches; a
    // negative port names no serial port.
    for (int16_t port : {0, -3}) {
      Fault->put_Port(port);
      Reset();
      EXPECT_EQ(c.Run(*Fault), StatusFailed) << "port " << port;
      EXPECT_TRUE(CallsOf(Os, {"write"}).empty()) << "port " << port;
      EXPECT_TRUE(Unit.Received().empty());
    }
  }
  Fault->put_Port(7);
  Reset();
  EXPECT_EQ(Fault->SetAddress(9), StatusOk);
  EXPECT_TRUE(Os.Trace().empty());
  EXPECT_EQ(Fault->get_Address(), 3);
  EXPECT_EQ(Fault->get_Port(), 7);
  for (const sim::Frame& f : console.Received()) EXPECT_EQ(f.Bytes[3], 'K') << "link probe only";
}

TEST_F(FaultOnCom7, FaultLists) {
  struct Case {
    std::u16string_view List;
    int16_t Status;
    Frames Sent;
  } cases[] = {
      {u"F1,E1", StatusOk, {"03 f0 01", "03 e0 01"}},
      {u"F1,,F2", StatusOk, {"03 f0 01", "03 f0 02"}},  // the empty item sends nothing
      {u"F1,x", StatusBadFaultItem, {"03 f0 01"}},
      {u",", StatusBadFaultItem, {}},
      {u"F1,", StatusOk, {"03 f0 01"}},
      {u"", StatusOk, {}},
      {u", ,F3", StatusOk, {"03 f0 03"}},
      {u"  F3", StatusOk, {"03 f0 03"}},
      {u"F1 ", StatusOk, {"03 f0 fa"}},                  // 1 x 10 + (' ' - '0') = 250
      {u"F123,F0", StatusOk, {"03 f0 0c", "03 f0 00"}},  // 12; a fourth character is ignored
      {u"F99,E26", StatusOk, {"03 f0 63", "03 e0 1a"}},
      {u"C5,C000,Cxyz", StatusOk, {"03 c0 00", "03 c0 00", "03 c0 00"}},
      {u"F1234", StatusBadFaultItem, {}},
      {u"F", StatusBadFaultItem, {}},
      // No command for other letters (lower case included): nothing is sent.
      {u"F1,X12", StatusBadFaultItem, {"03 f0 01"}},
      {u"f1,F2", StatusOk, {"03 f0 02"}},
      {u"F\u0131\u0132", StatusOk, {"03 f0 0c"}},  // the low 8 bits of each character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.List.begin(), c.List.end()));
    Reset();
    EXPECT_EQ(Fault->SendFaults(c.List), c.Status);
    EXPECT_EQ(FramesOf(Unit), c.Sent);
    EXPECT_EQ(CallsOf(Os, {"open", "close"}), (Frames{"open \\\\.\\COM7", "close COM7"}));
  }
}

// Only the presence probe looks at who answered; Clear and the fault items
// report the exchange alone.
TEST(FaultAnswers, ThatDoNotCount) {
  struct Case {
    const char* Name;
    int16_t Address;
    Misbehaviour How;
    Operation Run;
    int16_t Status;
    Frames Sent;
  } cases[] = {
      {"address 259", 259, Misbehaviour::None, &CFault::CheckComm, StatusFailed, {"03 b0 00"}},
      {"address -253", -253, Misbehaviour::None, &CFault::CheckComm, StatusFailed, {"03 b0 00"}},
      {"address 0", 0, Misbehaviour::None, &CFault::CheckComm, StatusFailed, {"00 b0 00"}},
      {"another address",
       3,
       Misbehaviour::OtherAddress,
       &CFault::CheckComm,
       StatusFailed,
       {"03 b0 00"}},
      {"another address, Clear",
       3,
       Misbehaviour::OtherAddress,
       &CFault::ClearFaults,
       StatusOk,
       {"03 c0 00"}},
      {"garbage", 3, Misbehaviour::Garbage, &CFault::CheckComm, StatusFailed, {"03 b0 00"}},
      {"silent",
       3,
       Misbehaviour::Silent,
       &CFault::CheckComm,
       StatusFailed,
       {"03 b0 00", "03 b0 00"}},
      {"short, fault items go on",
       3,
       Misbehaviour::ShortReply,
       [](CFault& f) { return f.SendFaults(u"F1,E2"); },
       StatusFailed,
       {"03 f0 01", "03 f0 01", "03 e0 02", "03 e0 02"}},
      {"vanishing",
       3,
       Misbehaviour::Vanish,
       [](CFault& f) { return f.SendFaults(u"F1,E2"); },
       StatusFailed,
       {"03 f0 01"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    fake::FakePlatform os;
    RegistryModel registry;
    sim::FaultUnit unit{3};
    os.AddSerialPort(7, &unit);
    CFault fault(os, registry);
    fault.put_Port(7);
    fault.put_Address(c.Address);
    unit.Misbehave(c.How);
    EXPECT_EQ(c.Run(fault), c.Status);
    EXPECT_EQ(FramesOf(unit), c.Sent);
    EXPECT_EQ(os.OpenHandles(), 0);
  }
}

// The bus of every hunt: COM5 a silent line, COM6 a fault unit that answers
// from address 4, COM7 the unit at address 3, and no COM8. "TarnPort"
// starts as 9. Every probe is followed by 500 ms, found or not.
TEST(FaultHunt, TriesTheCurrentPortThenTheListHidFirst) {
  struct Case {
    const char* Name;
    int16_t Current;
    std::vector<int> Map;
    int16_t Status;
    int16_t PortAfter;
    uint32_t Stored;
    Frames Calls;  // opens, port-map reads and HID searches, in order
    Frames Unit3, OtherAddress;
    std::vector<uint32_t> Sleeps;
  } cases[] = {
      {"found on the current port, nothing saved",
       7,
       {5, 6, 7},
       StatusOk,
       7,
       9,
       {"open \\\\.\\COM7"},
       {"03 b0 00"},
       {},
       {50, 500}},
      {"another address moves on",
       6,
       {6, 7},
       StatusOk,
       7,
       7,
       {"open \\\\.\\COM6", "port-map", "hid-set", "hid-set-close", "open \\\\.\\COM6",
        "open \\\\.\\COM7"},
       {"03 b0 00"},
       {"03 b0 00", "03 b0 00"},
       {50, 500, 50, 500, 50, 500}},
      {"a current port that does not open",
       8,
       {7},
       StatusOk,
       7,
       7,
       {"open \\\\.\\COM8", "port-map", "hid-set", "hid-set-close", "open \\\\.\\COM7"},
       {"03 b0 00"},
       {},
       {50, 500}},
      // The silent line costs the link's resend as well.
      {"nothing answers",
       5,
       {5},
       StatusFailed,
       0,
       0,
       {"open \\\\.\\COM5", "open \\\\.\\COM5", "port-map", "hid-set", "hid-set-close",
        "open \\\\.\\COM5", "open \\\\.\\COM5"},
       {},
       {},
       {50, 500, 50, 500, 50, 500, 50, 500}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    fake::FakePlatform os;
    RegistryModel registry;
    sim::FaultUnit unit3{3}, otherAddress{3};
    otherAddress.Misbehave(Misbehaviour::OtherAddress);
    os.AddSerialPort(5);
    os.AddSerialPort(6, &otherAddress);
    os.AddSerialPort(7, &unit3);
    std::vector<PortMapValue> map;
    for (int port : c.Map) {
      map.push_back(fake::StringValue(u"Serial" + std::u16string(1, u'0' + port),
                                      u"COM" + std::u16string(1, u'0' + port)));
    }
    os.SetPortMap(map);
    StorePort(registry, u"TarnPort", 9);
    CFault fault(os, registry);
    fault.put_Port(c.Current);
    fault.put_Address(3);
    os.ClearTrace();

    EXPECT_EQ(fault.HuntPort(), c.Status);
    EXPECT_EQ(fault.get_Port(), c.PortAfter);
    EXPECT_EQ(StoredSettings(registry), "TarnPort = REG_DWORD " + std::to_string(c.Stored) + "\n");
    EXPECT_EQ(CallsOf(os, {"open \\", "port-map", "hid-set"}), c.Calls);
    EXPECT_EQ(FramesOf(unit3), c.Unit3);
    EXPECT_EQ(FramesOf(otherAddress), c.OtherAddress);
    EXPECT_EQ(os.Clock().Recorded(), c.Sleeps);
    EXPECT_EQ(os.OpenHandles(), 0);
  }
}

TEST(FaultSettings, RemembersItsPortAsTarnPortAndOnlyAHuntSavesIt) {
  fake::FakePlatform os;
  RegistryModel registry;
  {
    CFault first(os, registry);
    EXPECT_EQ(first.get_Port(), 0);
    EXPECT_EQ(StoredSettings(registry), "TarnPort = REG_DWORD 0\n") << "created by the first";
  }
  StorePort(registry, u"TarnPort", 0xFFFFFFFD);
  CFault fault(os, registry);
  EXPECT_EQ(fault.get_Port(), -3);
  fault.put_Port(4);
  EXPECT_EQ(StoredSettings(registry), "TarnPort = REG_DWORD 4294967293\n");
}

}  // namespace
}  // namespace orvo::test
