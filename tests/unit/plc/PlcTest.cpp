// CPlc against the simulated PLC trainer on the fake bus: the frames the
// trainer receives, what the host reads back, and how misbehaving trainers
// and missing ports are reported.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "devices/plc/Plc.h"
#include "sim/Console.h"
#include "sim/PlcTrainer.h"
#include "tests/unit/plc/ShortUnitTesting.h"

namespace orvo::test {
namespace {

using sim::Misbehaviour;
using Frames = std::vector<std::string>;
using Operation = std::function<int16_t(CPlc&)>;

struct NamedOperation {
  const char* Name;
  Operation Run;
  Frames Sent;  // by a trainer at address 3 that answers everything
};

// Every operation that reaches the trainer, with the frames it sends.
const std::vector<NamedOperation>& UnitOperations() {
  static const std::vector<NamedOperation> operations = {
      {"ReadMain", &CPlc::ReadMain, {"03 f0 16", "03 b0 00", "03 e0 16"}},
      {"ReadExternal",
       &CPlc::ReadExternal,
       {"03 f0 16", "03 b0 00", "03 e0 16", "03 f0 17", "03 b0 00", "03 e0 17"}},
      {"CheckComm",
       &CPlc::CheckComm,
       {"03 f0 16", "03 b0 00", "03 e0 16", "03 f0 17", "03 b0 00", "03 e0 17"}},
      {"SetSelector(5)",
       [](CPlc& p) { return p.SetSelector(5); },
       {"03 f0 18", "03 e0 19", "03 f0 1a", "03 e0 1b"}},
      // Only the low 8 bits are written, and of them the low 4.
      {"SetSelector(0x7ffa)",
       [](CPlc& p) { return p.SetSelector(0x7FFA); },
       {"03 e0 18", "03 f0 19", "03 e0 1a", "03 f0 1b"}},
      {"ClearFaults", &CPlc::ClearFaults, {"03 c0 00"}},
      {"StartCai", &CPlc::StartCai, {"03 c0 00"}},
      {"EndCai", &CPlc::EndCai, {"03 c0 00"}},
      {"SendFaults(F1,E12)",
       [](CPlc& p) { return p.SendFaults(u"F1,E12"); },
       {"03 f0 00", "03 e0 0b"}},
  };
  return operations;
}

struct PlcOnCom7 : ::testing::Test {
  fake::FakePlatform Os;
  RegistryModel Registry;
  sim::PlcTrainer Unit{3};
  MisbehavingFrom Wire{Unit};
  std::unique_ptr<CPlc> Plc;

  void SetUp() override {
    Os.AddSerialPort(7, &Wire);
    StorePort(Registry, u"SorlPort", 7);
    Plc = std::make_unique<CPlc>(Os, Registry);
    Plc->put_Address(3);
  }
  void Reset() {
    Unit.Misbehave(Misbehaviour::None);
    Unit.ClearReceived();
    Os.FlushSerial(7);
    Os.ClearTrace();
  }
  std::vector<int16_t> Readings() const {
    return {Plc->get_DC(),      Plc->get_Monitor(), Plc->get_Selector(),
            Plc->get_Voltage(), Plc->get_PC1(),     Plc->get_PC2()};
  }
};

TEST_F(PlcOnCom7, EachOperationSendsItsFramesWithinOneOpenAndClose) {
  for (const NamedOperation& op : UnitOperations()) {
    SCOPED_TRACE(op.Name);
    Reset();
    EXPECT_EQ(op.Run(*Plc), StatusOk);
    EXPECT_EQ(FramesOf(Unit), op.Sent);
    EXPECT_EQ(CallsOf(Os, {"open", "close"}), (Frames{"open \\\\.\\COM7", "close COM7"}));
    // Each frame waits the 50 ms reply delay and nothing else.
    EXPECT_EQ(Os.Clock().Recorded().size(), op.Sent.size());
    for (uint32_t ms : Os.Clock().Recorded()) EXPECT_EQ(ms, 50u);
    Os.Clock() = {};
  }
  Reset();
  EXPECT_EQ(Plc->SetAddress(9), StatusOk);
  EXPECT_TRUE(Os.Trace().empty());
  EXPECT_EQ(Plc->get_Address(), 3);
  EXPECT_EQ(Plc->get_Port(), 7);
}

TEST_F(PlcOnCom7, NoOperationReachesATrainerOverHidOrThroughANegativePort) {
  // A console on HID answers the link's own search, so port 0 opens; the
  // short frame still has no way there.
  sim::Console console{3};
  Os.AddHidInterface(0, fake::FakeHidDevice{u"hid#0", OrvoVendorId, 3, &console, false});
  for (int16_t port : {0, -3}) {
    Plc->put_Port(port);
    for (const NamedOperation& op : UnitOperations()) {
      SCOPED_TRACE(std::string(op.Name) + " on port " + std::to_string(port));
      Reset();
      console.ClearReceived();
      EXPECT_EQ(op.Run(*Plc), StatusFailed);
      EXPECT_TRUE(CallsOf(Os, {"write"}).empty());
      // On port 0 the console sees the link probe of the one open and nothing else.
      ASSERT_EQ(console.Received().size(), port == 0 ? 1u : 0u);
      if (port == 0) {
        EXPECT_EQ(console.Received()[0].Bytes[3], 'K');
      }
      EXPECT_TRUE(Unit.Received().empty());
    }
  }
}

// The trainer decodes the value clocked in; what it decodes must be what
// was sent.
TEST_F(PlcOnCom7, SetProcessClocksTheValueIn) {
  // 0x8001 presents a one, fourteen zeros and a one between the framing.
  std::vector<uint8_t> pattern8001 = {1, 3, 7, 6};
  for (int i = 0; i < 14; ++i) pattern8001.insert(pattern8001.end(), {7, 5});
  pattern8001.insert(pattern8001.end(), {7, 6, 3, 2, 0});

  std::vector<uint16_t> values = {0, 0x8001, 0xFFFF, 0x1234};
  std::mt19937 random(20261208);
  for (int i = 0; i < 4; ++i) values.push_back(static_cast<uint16_t>(random()));
  for (uint16_t value : values) {
    SCOPED_TRACE(value);
    Reset();
    const std::size_t before = Unit.Nibbles().size();
    EXPECT_EQ(Plc->SetProcess(static_cast<int16_t>(value)), StatusOk);
    EXPECT_EQ(Unit.LastProcessValue(), value);
    EXPECT_EQ(Unit.Received().size(), 148u);
    EXPECT_EQ(Unit.BrokenTransfers(), 0);
    EXPECT_FALSE(Unit.IsOn(27));
    EXPECT_EQ(CallsOf(Os, {"open", "close"}).size(), 2u);
    const std::vector<uint8_t> nibbles(Unit.Nibbles().begin() + before, Unit.Nibbles().end());
    EXPECT_EQ(nibbles.size(), 37u);
    if (value == 0x8001) {
      EXPECT_EQ(nibbles, pattern8001);
    }
  }
}

// The framing writes stop the transfer at their first failure; the data
// writes go on whatever they meet. Frame n is the n-th frame the trainer
// takes off the wire: 0..11 the opening, 12..135 the data, 136..147 the end.
TEST_F(PlcOnCom7, SetProcessStatusComesFromTheFramingWritesOnly) {
  struct Case {
    const char* Name;
    std::size_t At;
    Misbehaviour How;
    int Count;
    int16_t Status;
    std::size_t FramesReceived;
    bool Ended;  // the closing pattern reached the trainer
  } cases[] = {
      {"first opening write silent", 0, Misbehaviour::Silent, -1, StatusFailed, 2, false},
      {"third opening nibble from another address", 8, Misbehaviour::OtherAddress, 1, StatusFailed,
       9, false},
      {"opening write short", 4, Misbehaviour::ShortReply, -1, StatusFailed, 6, false},
      // The failed frame ends its nibble: the three after it are not sent.
      {"data write from another address", 12, Misbehaviour::OtherAddress, 1, StatusOk, 145, true},
      {"data write short, the resend answered", 20, Misbehaviour::ShortReply, 1, StatusOk, 149,
       true},
      {"five data writes silent", 40, Misbehaviour::Silent, 10, StatusOk, 138, true},
      {"data write garbage", 60, Misbehaviour::Garbage, 1, StatusOk, 145, true},
      {"second closing nibble from another address", 140, Misbehaviour::OtherAddress, 1,
       StatusFailed, 141, false},
      // Gone mid-transfer: nothing reaches the trainer after the frame it vanished on.
      {"trainer vanishes during the data", 40, Misbehaviour::Vanish, -1, StatusFailed, 41, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Reset();
    const std::size_t before = Unit.Nibbles().size();
    Wire.Arm(c.At, c.How, c.Count);
    EXPECT_EQ(Plc->SetProcess(0x5A5A), c.Status);
    EXPECT_EQ(Unit.Received().size(), c.FramesReceived);
    const std::vector<uint8_t> nibbles(Unit.Nibbles().begin() + before, Unit.Nibbles().end());
    const bool ended = nibbles.size() >= 3 && nibbles[nibbles.size() - 3] == 3 &&
                       nibbles[nibbles.size() - 2] == 2 && nibbles.back() == 0;
    EXPECT_EQ(ended, c.Ended);
    EXPECT_EQ(Os.OpenHandles(), 0);
  }
}

TEST_F(PlcOnCom7, BlockDecoding) {
  EXPECT_EQ(Readings(), (std::vector<int16_t>{0, 0, 0, 0, 0, 0})) << "before the first read";
  struct Case {
    uint8_t Main, External;
    std::vector<int16_t> Readings;  // DC, Monitor, Selector, Voltage, PC1, PC2
  } cases[] = {
      {0x00, 0x00, {1, 1, 0, 5, 0, 0}},   // DC and Monitor active low; no supply bit is 5
      {0x34, 0x1A, {0, 0, 3, 12, 1, 1}},  // PC1 and PC2 active high
      {0x03, 0x01, {1, 1, 0, 5, 0, 0}},   // two selector lines are no position; 1 gives 5
      {0xC1, 0x04, {1, 1, 1, 24, 0, 0}},  // bits 6 and 7 unused
      {0x22, 0x07, {0, 1, 2, 5, 0, 0}},   // all three supply bits: 5
      {0x18, 0xEE, {1, 0, 4, 5, 1, 0}},   // bits 5..7 of the external block unused
      {0x0F, 0x13, {1, 1, 0, 5, 0, 1}},  {0xFF, 0xFC, {0, 0, 0, 24, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(c.Main) << " " << int(c.External));
    Unit.SetMainBlock(c.Main);
    Unit.SetExternalBlock(c.External);
    EXPECT_EQ(Plc->CheckComm(), StatusOk);
    EXPECT_EQ(Readings(), c.Readings);
  }
}

// A block read that fails before its data byte keeps the readings it had;
// one whose Read failed leaves the select channel on.
TEST_F(PlcOnCom7, FailedBlockReads) {
  const std::vector<int16_t> oldMain = {0, 0, 3}, newMain = {1, 1, 3};
  const std::vector<int16_t> oldExternal = {12, 1, 1}, newExternal = {24, 0, 0};
  struct Case {
    const char* Name;
    Operation Run;
    std::size_t At;
    Misbehaviour How;
    int Count;
    int16_t Status;
    Frames Sent;
    bool MainRefreshed, ExternalRefreshed;
    std::vector<uint8_t> OnAfter;
  } cases[] = {
      {"ReadMain, the Read from another address",
       &CPlc::ReadMain,
       1,
       Misbehaviour::OtherAddress,
       1,
       StatusFailed,
       {"03 f0 16", "03 b0 00"},
       false,
       false,
       {22}},
      {"ReadMain, the select silent",
       &CPlc::ReadMain,
       0,
       Misbehaviour::Silent,
       -1,
       StatusFailed,
       {"03 f0 16", "03 f0 16"},
       false,
       false,
       {22}},
      // The data byte is in before the deselect fails: the readings are kept.
      {"ReadMain, the deselect silent",
       &CPlc::ReadMain,
       2,
       Misbehaviour::Silent,
       -1,
       StatusFailed,
       {"03 f0 16", "03 b0 00", "03 e0 16", "03 e0 16"},
       true,
       false,
       {}},
      {"ReadExternal, the main block fails",
       &CPlc::ReadExternal,
       1,
       Misbehaviour::OtherAddress,
       1,
       StatusOk,
       {"03 f0 16", "03 b0 00", "03 f0 17", "03 b0 00", "03 e0 17"},
       false,
       true,
       {22}},
      {"ReadExternal, the external Read short",
       &CPlc::ReadExternal,
       4,
       Misbehaviour::ShortReply,
       -1,
       StatusFailed,
       {"03 f0 16", "03 b0 00", "03 e0 16", "03 f0 17", "03 b0 00", "03 b0 00"},
       true,
       false,
       {23}},
      {"CheckComm, the main block fails",
       &CPlc::CheckComm,
       0,
       Misbehaviour::OtherAddress,
       1,
       StatusFailed,
       {"03 f0 16"},
       false,
       false,
       {22}},
      {"CheckComm, the external select fails",
       &CPlc::CheckComm,
       3,
       Misbehaviour::Garbage,
       1,
       StatusFailed,
       {"03 f0 16", "03 b0 00", "03 e0 16", "03 f0 17"},
       true,
       false,
       {23}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Reset();
    Unit.SetMainBlock(0x34);
    Unit.SetExternalBlock(0x1A);
    ASSERT_EQ(Plc->CheckComm(), StatusOk);
    // Both blocks read 0x04 from now on, so a Read that finds both selects
    // on (the main one wins) decodes the same.
    Unit.SetMainBlock(0x04);
    Unit.SetExternalBlock(0x04);
    Reset();
    Wire.Arm(c.At, c.How, c.Count);
    EXPECT_EQ(c.Run(*Plc), c.Status);
    EXPECT_EQ(FramesOf(Unit), c.Sent);
    std::vector<int16_t> expected = c.MainRefreshed ? newMain : oldMain;
    const std::vector<int16_t>& external = c.ExternalRefreshed ? newExternal : oldExternal;
    expected.insert(expected.end(), external.begin(), external.end());
    EXPECT_EQ(Readings(), expected);
    EXPECT_EQ(Unit.OnChannels(), c.OnAfter);
    Unit.SetOn(22, false);
    Unit.SetOn(23, false);
  }
}

// Replies are only taken from the trainer's own address; a unit that answers
// badly gets its documented status and nothing more is sent to it.
TEST_F(PlcOnCom7, AnswersThatDoNotCount) {
  struct Case {
    const char* Name;
    int16_t Address;
    Misbehaviour How;
    Operation Run;
    int16_t Status;
    Frames Sent;
  } cases[] = {
      // The low 8 bits of 259 and -253 are 3, so the trainer answers; the
      // answer is still not from address 259 or -253. Address 0 reaches any
      // unit, which answers with its own address.
      {"address 259", 259, Misbehaviour::None, &CPlc::ReadMain, StatusFailed, {"03 f0 16"}},
      {"address -253", -253, Misbehaviour::None, &CPlc::ClearFaults, StatusFailed, {"03 c0 00"}},
      {"address 0",
       0,
       Misbehaviour::None,
       [](CPlc& p) { return p.SetSelector(15); },
       StatusFailed,
       {"00 f0 18"}},
      {"another address",
       3,
       Misbehaviour::OtherAddress,
       &CPlc::ClearFaults,
       StatusFailed,
       {"03 c0 00"}},
      {"another address, selector",
       3,
       Misbehaviour::OtherAddress,
       [](CPlc& p) { return p.SetSelector(1); },
       StatusFailed,
       {"03 f0 18"}},
      {"silent", 3, Misbehaviour::Silent, &CPlc::ReadMain, StatusFailed, {"03 f0 16", "03 f0 16"}},
      {"short",
       3,
       Misbehaviour::ShortReply,
       &CPlc::ClearFaults,
       StatusFailed,
       {"03 c0 00", "03 c0 00"}},
      {"garbage", 3, Misbehaviour::Garbage, &CPlc::CheckComm, StatusFailed, {"03 f0 16"}},
      {"vanishing", 3, Misbehaviour::Vanish, &CPlc::CheckComm, StatusFailed, {"03 f0 16"}},
      // Fault items report the exchange alone, and every item is sent.
      {"another address, fault items",
       3,
       Misbehaviour::OtherAddress,
       [](CPlc& p) { return p.SendFaults(u"F1,F2"); },
       StatusOk,
       {"03 f0 00", "03 f0 01"}},
      {"silent, fault items",
       3,
       Misbehaviour::Silent,
       [](CPlc& p) { return p.SendFaults(u"F1,F2"); },
       StatusFailed,
       {"03 f0 00", "03 f0 00", "03 f0 01", "03 f0 01"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    sim::PlcTrainer unit{3};
    fake::FakePlatform os;
    os.AddSerialPort(7, &unit);
    CPlc plc(os, Registry);
    plc.put_Port(7);
    plc.put_Address(c.Address);
    unit.Misbehave(c.How);
    EXPECT_EQ(c.Run(plc), c.Status);
    EXPECT_EQ(FramesOf(unit), c.Sent);
    EXPECT_EQ(os.OpenHandles(), 0);
  }
}

TEST_F(PlcOnCom7, FaultLists) {
  struct Case {
    std::u16string_view List;
    int16_t Status;
    Frames Sent;
  } cases[] = {
      {u"F1,E1", StatusOk, {"03 f0 00", "03 e0 00"}},
      {u"F1,,F2", StatusOk, {"03 f0 00", "03 f0 01"}},  // the empty item sends nothing
      {u"F1,x", StatusBadFaultItem, {"03 f0 00"}},
      {u",", StatusBadFaultItem, {}},
      {u"F1,", StatusOk, {"03 f0 00"}},
      {u"", StatusOk, {}},
      {u", ,F3", StatusOk, {"03 f0 02"}},
      {u"  F3", StatusOk, {"03 f0 02"}},
      {u"F1 ", StatusOk, {"03 f0 f9"}},                 // 1 x 10 + (' ' - '0') = 250, channel 249
      {u"E12,X5", StatusOk, {"03 e0 0b", "03 e0 04"}},  // any letter but F is Off
      {u"F0,F99", StatusOk, {"03 f0 ff", "03 f0 62"}},
      {u"F123,F", StatusBadFaultItem, {}},
      {u"f23,F28", StatusOk, {"03 e0 16", "03 f0 1b"}},
      {u"F\u0131", StatusOk, {"03 f0 00"}},  // the low 8 bits of each character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.List.begin(), c.List.end()));
    Reset();
    EXPECT_EQ(Plc->SendFaults(c.List), c.Status);
    EXPECT_EQ(FramesOf(Unit), c.Sent);
    EXPECT_EQ(CallsOf(Os, {"open", "close"}), (Frames{"open \\\\.\\COM7", "close COM7"}));
  }
}

// The bus of every hunt: COM5 a silent line, COM6 a trainer that answers
// from address 4, COM7 the trainer at address 3, and no COM8. "SorlPort"
// starts as 9.
TEST(PlcHunt, TriesTheCurrentPortThenTheListHidFirst) {
  const std::vector<uint32_t> noWaits = {50, 50};  // the two reply delays of one probe
  struct Case {
    const char* Name;
    int16_t Current;
    std::optional<std::vector<int>> Map;
    bool HidConsole;
    int16_t Address;
    int16_t Status;
    int16_t PortAfter;
    uint32_t Stored;
    Frames Calls;  // opens, port-map reads and HID searches, in order
    Frames Trainer3, OtherAddress;
    std::optional<std::vector<uint32_t>> Sleeps;
  } cases[] = {
      {"found on the current port, nothing saved",
       7,
       std::vector{5, 6, 7},
       false,
       3,
       StatusOk,
       7,
       9,
       {"open \\\\.\\COM7"},
       {"03 f0 16", "03 e0 16"},
       {},
       noWaits},
      {"another address moves on without Off",
       5,
       std::vector{6, 5, 7},
       false,
       3,
       StatusOk,
       7,
       7,
       {"open \\\\.\\COM5", "open \\\\.\\COM5", "port-map", "hid-set", "hid-set-close",
        "open \\\\.\\COM6", "open \\\\.\\COM5", "open \\\\.\\COM5", "open \\\\.\\COM7"},
       {"03 f0 16", "03 e0 16"},
       {"03 f0 16"},
       std::nullopt},
      {"a current port that does not open",
       8,
       std::vector{7},
       false,
       3,
       StatusOk,
       7,
       7,
       {"open \\\\.\\COM8", "port-map", "hid-set", "hid-set-close", "open \\\\.\\COM7"},
       {"03 f0 16", "03 e0 16"},
       {},
       noWaits},
      {"nothing answers",
       6,
       std::vector{6},
       false,
       3,
       StatusFailed,
       0,
       0,
       {"open \\\\.\\COM6", "port-map", "hid-set", "hid-set-close", "open \\\\.\\COM6"},
       {},
       {"03 f0 16", "03 f0 16"},
       std::nullopt},
      {"no port map",
       0,
       std::nullopt,
       false,
       3,
       StatusFailed,
       0,
       0,
       {"hid-set", "hid-set-close", "port-map", "hid-set", "hid-set-close"},
       {},
       {},
       std::nullopt},
      {"address 259 never passes",
       7,
       std::vector{7},
       false,
       259,
       StatusFailed,
       0,
       0,
       {"open \\\\.\\COM7", "port-map", "hid-set", "hid-set-close", "open \\\\.\\COM7"},
       {"03 f0 16", "03 f0 16"},
       {},
       std::nullopt},
      // A console on HID answers the link's search, but no short frame
      // reaches it: the hunt goes on to the serial ports.
      {"a HID console is passed over",
       0,
       std::vector{7},
       true,
       3,
       StatusOk,
       7,
       7,
       {"hid-set", "hid-set-close", "port-map", "hid-set", "hid-set-close", "open \\\\.\\COM7"},
       {"03 f0 16", "03 e0 16"},
       {},
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    fake::FakePlatform os;
    RegistryModel registry;
    sim::PlcTrainer trainer3{3}, otherAddress{3};
    otherAddress.Misbehave(Misbehaviour::OtherAddress);
    sim::Console console{3};
    os.AddSerialPort(5);
    os.AddSerialPort(6, &otherAddress);
    os.AddSerialPort(7, &trainer3);
    if (c.Map) {
      std::vector<PortMapValue> map;
      for (int port : *c.Map) {
        map.push_back(fake::StringValue(u"Serial" + std::u16string(1, u'0' + port),
                                        u"COM" + std::u16string(1, u'0' + port)));
      }
      os.SetPortMap(map);
    }
    if (c.HidConsole) {
      os.AddHidInterface(0, fake::FakeHidDevice{u"hid#0", OrvoVendorId, 3, &console, false});
    }
    StorePort(registry, u"SorlPort", 9);
    CPlc plc(os, registry);
    plc.put_Port(c.Current);
    plc.put_Address(c.Address);
    os.ClearTrace();
    os.Clock() = {};

    EXPECT_EQ(plc.HuntPort(), c.Status);
    EXPECT_EQ(plc.get_Port(), c.PortAfter);
    EXPECT_EQ(StoredSettings(registry), "SorlPort = REG_DWORD " + std::to_string(c.Stored) + "\n");
    EXPECT_EQ(CallsOf(os, {"open \\", "port-map", "hid-set"}), c.Calls);
    EXPECT_EQ(FramesOf(trainer3), c.Trainer3);
    EXPECT_EQ(FramesOf(otherAddress), c.OtherAddress);
    for (const sim::Frame& f : console.Received()) EXPECT_EQ(f.Bytes[3], 'K');
    if (c.Sleeps) {
      EXPECT_EQ(os.Clock().Recorded(), *c.Sleeps);
    }
    EXPECT_EQ(os.OpenHandles(), 0);
  }
}

TEST(PlcSettings, RemembersItsPortAsSorlPortAndOnlyAHuntSavesIt) {
  fake::FakePlatform os;
  RegistryModel registry;
  {
    CPlc first(os, registry);
    EXPECT_EQ(first.get_Port(), 0);
    EXPECT_EQ(StoredSettings(registry), "SorlPort = REG_DWORD 0\n") << "created by the first";
  }
  StorePort(registry, u"SorlPort", 0xFFFF000C);  // the low 16 bits are the port
  CPlc plc(os, registry);
  EXPECT_EQ(plc.get_Port(), 12);
  plc.put_Port(4);
  EXPECT_EQ(plc.get_Port(), 4);
  EXPECT_EQ(StoredSettings(registry), "SorlPort = REG_DWORD 4294901772\n");
}

}  // namespace
}  // namespace orvo::test
