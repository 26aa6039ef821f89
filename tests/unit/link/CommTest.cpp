// The link against the fake bus: what goes on the wire, what the caller gets
// back, and how long the calling thread is held.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "link/Comm.h"
#include "link/TracedPlatform.h"
#include "sim/Console.h"
#include "sim/bus/FakePlatform.h"
#include "tests/unit/link/ScriptedUnit.h"

namespace orvo {
namespace {

using fake::FakeHidDevice;
using fake::FakePlatform;
using test::HidReply;
using test::ScriptedUnit;
using Bytes = std::vector<uint8_t>;

std::vector<std::string> TraceFrom(const FakePlatform& os, std::size_t from) {
  return {os.CallLog().begin() + static_cast<long>(from), os.CallLog().end()};
}

// The wire trace as the module would write it, without the time stamp the
// fake clock does not drive.
class RecordingTrace final : public TraceOutput {
 public:
  std::vector<std::string> Lines;
  TraceTime Now() override { return {}; }
  void Write(std::string_view line) override {
    Lines.emplace_back(line.substr(line.find("  ") + 2));
  }
};

std::string HexByte(int32_t value) {
  static constexpr char digits[] = "0123456789abcdef";
  return {digits[(value >> 4) & 15], digits[value & 15]};
}

Bytes Counting(std::size_t n, uint8_t first = 1) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + i);
  return b;
}

TEST(SerialLink, OpensPortWithLineSettings) {
  FakePlatform os;
  os.AddSerialPort(3);
  CComm link(os);
  ASSERT_TRUE(link.Open(3, 5));
  EXPECT_EQ(link.CurrentMode(), LinkMode::Serial(3));
  EXPECT_EQ(os.CallLog(), (std::vector<std::string>{"open \\\\.\\COM3", "configure COM3"}));
  const auto applied = os.SettingsOf(3);
  ASSERT_TRUE(applied);
  EXPECT_EQ(applied->Definition, u"baud=9600 parity=O data=8 stop=1");
  EXPECT_EQ(applied->InQueue, 1024u);
  EXPECT_EQ(applied->OutQueue, 1024u);
  const SerialTimeouts t = applied->Timeouts;
  EXPECT_EQ((std::array{t.ReadInterval, t.ReadTotalMultiplier, t.ReadTotalConstant,
                        t.WriteTotalMultiplier, t.WriteTotalConstant}),
            (std::array<uint32_t, 5>{100, 100, 100, 100, 100}));
}

TEST(SerialLink, RefusedSettingsCloseThePort) {
  FakePlatform os;
  os.AddSerialPort(3);
  os.ConfigureFails = true;
  CComm link(os);
  EXPECT_FALSE(link.Open(3, 0));
  EXPECT_EQ(os.OpenHandles(), 0);
  EXPECT_EQ(os.CallLog().back(), "close COM3");
}

TEST(SerialLink, PortIsExclusiveWhileOpen) {
  FakePlatform os;
  os.AddSerialPort(4);
  CComm first(os), second(os);
  ASSERT_TRUE(first.Open(4, 0));
  EXPECT_FALSE(second.Open(4, 0));
  first.Close();
  EXPECT_TRUE(second.Open(4, 0));
}

// A port that will not open or take its settings keeps the mode asked for,
// and says why in the trace, in the system's words: missing, held by
// another program, refusing its settings.
TEST(SerialLink, FailingPortsKeepModeAndSayWhy) {
  FakePlatform os;
  os.AddSerialPort(4);
  os.AddSerialPort(3);
  CComm holder(os);
  ASSERT_TRUE(holder.Open(4, 0));
  RecordingTrace wire;
  TracedPlatform traced(os, wire);
  CComm link(traced);
  EXPECT_FALSE(link.Open(-3, 0));
  EXPECT_EQ(os.CallLog().back(), "open \\\\.\\COM-3");
  EXPECT_EQ(link.CurrentMode(), LinkMode::Serial(-3));
  EXPECT_FALSE(link.Open(9, 0));
  EXPECT_EQ(link.CurrentMode(), LinkMode::Serial(9));
  const std::size_t before = os.CallLog().size();
  link.Close();
  EXPECT_EQ(link.CurrentMode(), LinkMode::Closed());
  EXPECT_EQ(os.CallLog().size(), before) << "nothing was open, nothing is closed";
  EXPECT_FALSE(link.Open(4, 0));
  os.ConfigureFails = true;
  EXPECT_FALSE(link.Open(3, 0));
  EXPECT_EQ(wire.Lines,
            (std::vector<std::string>{
                "note  COM-3 cannot be opened: The system cannot find the file specified (2)",
                "note  COM9 cannot be opened: The system cannot find the file specified (2)",
                "note  COM4 cannot be opened: Access is denied (5)",
                "note  COM3 refused the line settings: A device attached to the system is not "
                "functioning (31)"}));
}

TEST(SerialLink, CloseTwiceClosesOnce) {
  FakePlatform os;
  os.AddSerialPort(2);
  CComm link(os);
  link.Close();  // never opened
  ASSERT_TRUE(link.Open(2, 0));
  link.Close();
  link.Close();
  int closes = 0;
  for (const auto& line : os.CallLog()) closes += line.rfind("close", 0) == 0;
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(link.CurrentMode(), LinkMode::Closed());
  EXPECT_EQ(os.OpenHandles(), 0);
}

TEST(SerialLink, DestructionReleasesTheHandle) {
  FakePlatform os;
  os.AddSerialPort(2);
  {
    CComm link(os);
    ASSERT_TRUE(link.Open(2, 0));
  }
  EXPECT_EQ(os.OpenHandles(), 0);
}

struct FrameCase {
  int32_t Address;
  uint8_t L, Command, Argument, Value, ReplyLength;
  const char* Wire;
};

TEST(SerialLink, CommandFramesByteForByte) {
  const FrameCase cases[] = {
      {5, 2, 'R', 'I', 0x00, 14, "fe ff 05 02 52 49"},
      {5, 2, 'F', 0xA9, 0x78, 14, "fe ff 05 02 46 a9"},  // value stays off the wire when L is 2
      {0x105, 3, 'X', 'C', 0x12, 3, "fe ff 05 03 58 43 12"},
      {0, 3, 'A', 0xFF, 0x07, 2, "fe ff 00 03 41 ff 07"},
      {-1, 3, 'X', 'S', 0x2C, 2, "fe ff ff 03 58 53 2c"},
  };
  for (const auto& c : cases) {
    FakePlatform os;
    ScriptedUnit unit;
    unit.Replies = {Counting(c.ReplyLength)};
    os.AddSerialPort(1, &unit);
    CComm link(os);
    ASSERT_TRUE(link.Open(1, c.Address));
    std::array<uint8_t, 20> reply{};
    const std::size_t mark = os.CallLog().size();
    EXPECT_EQ(
        link.Transact(c.Address, c.L, c.Command, c.Argument, c.Value, c.ReplyLength, reply.data()),
        StatusOk)
        << c.Wire;
    const std::string read =
        "read COM1 " + std::to_string(c.ReplyLength) + " -> " + std::to_string(c.ReplyLength);
    EXPECT_EQ(TraceFrom(os, mark),
              (std::vector<std::string>{"clear COM1", std::string("write COM1 ") + c.Wire, read}));
    EXPECT_TRUE(
        std::equal(reply.begin(), reply.begin() + c.ReplyLength, Counting(c.ReplyLength).begin()));
    EXPECT_EQ(reply[c.ReplyLength], 0) << "nothing is written past the reply length";
  }
}

struct RecoveryCase {
  const char* Name;
  std::vector<std::optional<Bytes>> Replies;
  bool Short;  // TransactShort rather than Transact
  int16_t Status;
  std::vector<std::string> Trace;
  uint64_t ElapsedMs;
  const char* Wire;  // the wire-trace line
};

TEST(SerialLink, OneReopenAndResendOnShortReply) {
  const std::vector<std::string> resendTail = {"sleep 500", "close COM7", "open \\\\.\\COM7",
                                               "configure COM7"};
  const RecoveryCase cases[] = {
      {"answers at once",
       {Counting(14)},
       false,
       61,
       {"clear COM7", "write COM7 fe ff 09 02 52 49", "read COM7 14 -> 14"},
       0,
       "COM7  address 9  sent fe ff 09 02 52 49  reply 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e"
       "  status 61  ReadStatus -> 0 V +12 V, AC1 on, bits 0x01, control 0x0e"
       " (reply from address 1)"},
      // Silent: two read time-outs of 100 + 100 x 14 ms around the 500 ms pause.
      {"silent",
       {std::nullopt, std::nullopt},
       false,
       60,
       {"clear COM7", "write COM7 fe ff 09 02 52 49", "read COM7 14 -> 0", "sleep 500",
        "close COM7", "open \\\\.\\COM7", "configure COM7", "write COM7 fe ff 09 02 52 49",
        "read COM7 14 -> 0"},
       3500,
       "COM7  address 9  sent fe ff 09 02 52 49  reply -  status 60 resent  ReadStatus"},
      // Short first, whole after the reopen: 100 ms interval time-out, then the pause.
      {"short then whole",
       {Counting(13), Counting(14)},
       false,
       61,
       {"clear COM7", "write COM7 fe ff 09 02 52 49", "read COM7 14 -> 13", "sleep 500",
        "close COM7", "open \\\\.\\COM7", "configure COM7", "write COM7 fe ff 09 02 52 49",
        "read COM7 14 -> 14"},
       600,
       "COM7  address 9  sent fe ff 09 02 52 49  reply 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e"
       "  status 61 resent  ReadStatus -> 0 V +12 V, AC1 on, bits 0x01, control 0x0e"
       " (reply from address 1)"},
      // The second try is final even if the unit would answer a third time.
      {"short twice",
       {Counting(2), Counting(2), Counting(14)},
       false,
       60,
       {"clear COM7", "write COM7 fe ff 09 02 52 49", "read COM7 14 -> 2", "sleep 500",
        "close COM7", "open \\\\.\\COM7", "configure COM7", "write COM7 fe ff 09 02 52 49",
        "read COM7 14 -> 2"},
       700,
       "COM7  address 9  sent fe ff 09 02 52 49  reply 01 02  status 60 resent  ReadStatus"
       " (reply from address 1)"},
      {"short frame answered",
       {Counting(3)},
       true,
       61,
       {"clear COM7", "write COM7 09 b0 00", "sleep 50", "read COM7 3 -> 3"},
       50,
       "COM7  address 9  sent 09 b0 00  reply 01 02 03  status 61  Read -> 0x03"
       " (reply from address 1)"},
      {"short frame silent",
       {std::nullopt, std::nullopt},
       true,
       60,
       {"clear COM7", "write COM7 09 b0 00", "sleep 50", "read COM7 3 -> 0", "sleep 500",
        "close COM7", "open \\\\.\\COM7", "configure COM7", "write COM7 09 b0 00", "sleep 50",
        "read COM7 3 -> 0"},
       50 + 400 + 500 + 50 + 400,
       "COM7  address 9  sent 09 b0 00  reply -  status 60 resent  Read"},
  };
  for (const auto& c : cases) {
    FakePlatform os;
    ScriptedUnit unit;
    unit.Replies = c.Replies;
    os.AddSerialPort(7, &unit);
    RecordingTrace wire;
    TracedPlatform traced(os, wire);
    CComm link(traced);
    link.SetReplyDelay(50);
    ASSERT_TRUE(link.Open(7, 9));
    const std::size_t mark = os.CallLog().size();
    const uint64_t start = os.Clock().NowMs();
    std::array<uint8_t, 14> reply{};
    const int16_t status = c.Short ? link.TransactShort(9, 0xB0, 0x00, reply.data())
                                   : link.Transact(9, 2, 'R', 'I', 0, 14, reply.data());
    EXPECT_EQ(status, c.Status) << c.Name;
    EXPECT_EQ(TraceFrom(os, mark), c.Trace) << c.Name;
    EXPECT_EQ(os.Clock().NowMs() - start, c.ElapsedMs) << c.Name;
    EXPECT_EQ(os.OpenHandles(), 1) << c.Name;
    EXPECT_EQ(wire.Lines, std::vector<std::string>{c.Wire}) << c.Name;
  }
}

TEST(SerialLink, ShortReplyKeepsWhatArrived) {
  FakePlatform os;
  ScriptedUnit unit;
  unit.Replies = {Bytes{7, 8}, std::nullopt};
  os.AddSerialPort(2, &unit);
  CComm link(os);
  ASSERT_TRUE(link.Open(2, 0));
  std::array<uint8_t, 6> reply{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(link.Transact(0, 2, 'X', 'M', 0, 6, reply.data()), StatusFailed);
  EXPECT_EQ(reply, (std::array<uint8_t, 6>{7, 8, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(SerialLink, FailedReopenEndsInFailure) {
  FakePlatform os;
  ScriptedUnit unit;
  os.AddSerialPort(2, &unit);
  CComm link(os);
  ASSERT_TRUE(link.Open(2, 0));
  os.ConfigureFails = true;  // the adapter comes back unusable
  std::array<uint8_t, 14> reply{};
  EXPECT_EQ(link.Transact(0, 2, 'R', 'I', 0, 14, reply.data()), StatusFailed);
  EXPECT_EQ(os.OpenHandles(), 0);
  link.Close();
  EXPECT_EQ(os.OpenHandles(), 0);
}

// --- HID ---------------------------------------------------------------------

FakeHidDevice Device(std::u16string path, uint16_t product, sim::Unit* unit,
                     uint16_t vendor = OrvoVendorId) {
  return FakeHidDevice{std::move(path), vendor, product, unit, false};
}

TEST(HidLink, ReportsByteForByte) {
  struct Case {
    int32_t Address;
    uint8_t L, Command, Argument, Value, ReplyLength;
    const char* Report;
  };
  const Case cases[] = {
      {5, 2, 'R', 'I', 0x00, 14, "00 05 02 52 49 00 00 00 00 00 00 00 00 00 00 00 00"},
      {5, 2, 'F', 0xA9, 0x78, 14, "00 05 02 46 a9 78 00 00 00 00 00 00 00 00 00 00 00"},
      {0x105, 3, 'X', 'C', 0x12, 3, "00 05 03 58 43 12 00 00 00 00 00 00 00 00 00 00 00"},
      {0, 2, 'I', 'S', 0x00, 0, "00 00 02 49 53 00 00 00 00 00 00 00 00 00 00 00 00"},
  };
  for (const auto& c : cases) {
    FakePlatform os;
    ScriptedUnit unit;
    unit.Replies = {HidReply(5), HidReply(5, Counting(15, 0x40))};
    os.AddHidInterface(0, Device(u"hid#0", 2, &unit));
    CComm link(os);
    ASSERT_TRUE(link.Open(0, 0));
    const std::size_t mark = os.CallLog().size();
    const uint64_t start = os.Clock().NowMs();
    std::array<uint8_t, 17> reply{};
    EXPECT_EQ(
        link.Transact(c.Address, c.L, c.Command, c.Argument, c.Value, c.ReplyLength, reply.data()),
        StatusOk);
    EXPECT_EQ(
        TraceFrom(os, mark),
        (std::vector<std::string>{"hid-flush HID0 -> 0", std::string("hid-write HID0 ") + c.Report,
                                  "sleep 300", "hid-read HID0 -> 17"}));
    EXPECT_EQ(os.Clock().NowMs() - start, 300u);
    // The caller's reply starts at the answering unit's address.
    Bytes expected(17, 0);
    if (c.ReplyLength > 0) expected[0] = 5;
    for (int i = 1; i < c.ReplyLength; ++i) expected[i] = static_cast<uint8_t>(0x40 + i - 1);
    EXPECT_EQ(Bytes(reply.begin(), reply.end()), expected) << c.Report;
  }
}

TEST(HidLink, AddressCheckAndBoundedRead) {
  struct Case {
    const char* Name;
    int32_t Address;
    std::optional<Bytes> Reply;
    int16_t Status;
    uint64_t ElapsedMs;
    // The wire-trace line after the report sent; the reply shown is as long
    // as the console's answer to StartCai.
    const char* Wire;
  };
  const Case cases[] = {
      {"any unit answers address 0", 0, HidReply(6), 61, 300, "reply 06 00  status 61  StartCai"},
      {"the addressed unit", 5, HidReply(5), 61, 300, "reply 05 00  status 61  StartCai"},
      {"another unit", 5, HidReply(6), 60, 300,
       "reply 06 00  status 60  StartCai (reply from address 6)"},
      {"low 8 bits of the address", 0x105, HidReply(5), 61, 300,
       "reply 05 00  status 61  StartCai"},
      {"short input report", 5, Bytes(16, 5), 60, 300, "reply -  status 60  StartCai"},
      {"no answer is bounded", 5, std::nullopt, 60, 1300, "reply -  status 60  StartCai"},
  };
  for (const auto& c : cases) {
    FakePlatform os;
    ScriptedUnit unit;
    unit.Replies = {HidReply(0), c.Reply};
    os.AddHidInterface(0, Device(u"hid#0", 3, &unit));
    RecordingTrace wire;
    TracedPlatform traced(os, wire);
    CComm link(traced);
    ASSERT_TRUE(link.Open(0, 0)) << c.Name;
    wire.Lines.clear();  // the search's probe is not this test's exchange
    const uint64_t start = os.Clock().NowMs();
    std::array<uint8_t, 2> reply{0xEE, 0xEE};
    EXPECT_EQ(link.Transact(c.Address, 2, 'I', 'S', 0, 2, reply.data()), c.Status) << c.Name;
    const std::string report =
        "00 " + HexByte(c.Address) + " 02 49 53 00 00 00 00 00 00 00 00 00 00 00 00";
    EXPECT_EQ(wire.Lines,
              (std::vector<std::string>{"HID  address " + std::to_string(c.Address & 0xFF) +
                                        "  sent " + report + "  " + c.Wire}))
        << c.Name;
    EXPECT_EQ(os.Clock().NowMs() - start, c.ElapsedMs) << c.Name;
    if (c.Status == StatusFailed) {
      EXPECT_EQ(reply, (std::array<uint8_t, 2>{0xEE, 0xEE})) << "untouched on failure: " << c.Name;
    }
  }
}

// A console method makes several exchanges on one handle. A reply that
// arrives after its exchange gave up, but before the next one writes, is
// dropped rather than read as the next exchange's reply.
TEST(HidLink, LateReplyIsNeverTakenForTheNextOne) {
  struct Case {
    uint32_t LateMs;   // the status read's reply, counted from its write
    uint64_t PauseMs;  // between the two exchanges
  };
  for (const Case c : {Case{1350, 100}, Case{1301, 0}, Case{1600, 400}}) {
    SCOPED_TRACE(c.LateMs);
    FakePlatform os;
    sim::Console console(5);
    console.SetModel(0x21, 0x07);
    console.SetVoltageNibbles(0x4, 0x8);
    os.AddHidInterface(0, Device(u"hid#0", 2, &console));
    CComm link(os);
    ASSERT_TRUE(link.Open(0, 5));
    console.Misbehave(sim::Misbehaviour::Late, 1, c.LateMs);
    std::array<uint8_t, 14> status{};
    EXPECT_EQ(link.Transact(5, 2, 'R', 'I', 0, 14, status.data()), StatusFailed);
    os.Clock().Advance(c.PauseMs);
    std::array<uint8_t, 6> model{};
    EXPECT_EQ(link.Transact(5, 2, 'X', 'M', 0, 6, model.data()), StatusOk);
    EXPECT_EQ(model[1], 0x21);
    EXPECT_EQ(model[2], 0x07);
  }
}

TEST(HidLink, ShortFrameSendsNothingOnHid) {
  FakePlatform os;
  RecordingTrace wire;
  ScriptedUnit unit;
  unit.Replies = {HidReply(0)};
  os.AddHidInterface(0, Device(u"hid#0", 4, &unit));
  TracedPlatform traced(os, wire);
  CComm link(traced);
  ASSERT_TRUE(link.Open(0, 0));
  const std::size_t mark = os.CallLog().size();
  wire.Lines.clear();
  std::array<uint8_t, 3> reply{};
  EXPECT_EQ(link.TransactShort(3, 0xB0, 0, reply.data()), StatusFailed);
  EXPECT_TRUE(TraceFrom(os, mark).empty());
  EXPECT_EQ(wire.Lines,
            std::vector<std::string>{"note  HID cannot carry a short frame; nothing sent"});
}

TEST(HidSearch, ExaminesFiftyIndicesAndFiltersProducts) {
  FakePlatform os;
  ScriptedUnit silent, answering, foreign, wrongProduct;
  foreign.Replies = {HidReply(0)};
  wrongProduct.Replies = {HidReply(0)};
  answering.Replies = {HidReply(0)};
  os.AddHidInterface(3, Device(u"hid#3", 2, &foreign, 0x1234));
  os.AddHidInterface(7, Device(u"hid#7", 5, &wrongProduct));
  os.AddHidInterface(12, Device(u"hid#12", 3, &silent));
  os.AddHidInterface(20, FakeHidDevice{u"hid#20", OrvoVendorId, 2, nullptr, true});
  os.AddHidInterface(49, Device(u"hid#49", 0xFFFF, &answering));
  CComm link(os);
  ASSERT_TRUE(link.Open(0, 0));
  EXPECT_EQ(link.CurrentMode(), LinkMode::Hid());

  std::vector<int> indices;
  std::vector<std::string> probed, sleeps;
  for (const auto& line : os.CallLog()) {
    if (line.rfind("hid-path ", 0) == 0) indices.push_back(std::stoi(line.substr(9)));
    if (line.rfind("hid-write ", 0) == 0)
      probed.push_back(line.substr(10, line.find(' ', 10) - 10));
    if (line.rfind("sleep ", 0) == 0) sleeps.push_back(line);
  }
  ASSERT_EQ(indices.size(), 50u) << "no early stop on a missing index";
  EXPECT_EQ(indices.front(), 0);
  EXPECT_EQ(indices.back(), 49);
  EXPECT_EQ(probed, (std::vector<std::string>{"HID12", "HID49"}));
  // Each probe: 300 ms for the reply, then 50 ms before the next candidate.
  EXPECT_EQ(sleeps, (std::vector<std::string>{"sleep 300", "sleep 50", "sleep 300", "sleep 50"}));
  EXPECT_TRUE(foreign.Received().empty());
  EXPECT_TRUE(wrongProduct.Received().empty());
  ASSERT_EQ(answering.Received().size(), 1u);
  EXPECT_EQ(answering.Received()[0].Bytes,
            (Bytes{0, 0, 2, 'K', 'L', 'x', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(os.OpenHandles(), 1);
  EXPECT_EQ(os.HidSetsOpen(), 0);
  link.Close();
  EXPECT_EQ(os.OpenHandles(), 0);
}

TEST(HidSearch, NothingFound) {
  for (bool setFails : {false, true}) {
    FakePlatform os;
    RecordingTrace wire;
    TracedPlatform traced(os, wire);
    os.DeviceSetFails = setFails;
    ScriptedUnit other;
    other.Replies = {HidReply(8)};
    os.AddHidInterface(1, Device(u"hid#1", 2, &other));
    CComm link(traced);
    EXPECT_FALSE(link.Open(0, 5)) << "the only unit answers from address 8";
    EXPECT_EQ(link.CurrentMode(), LinkMode::Hid());
    EXPECT_EQ(os.OpenHandles(), 0);
    EXPECT_EQ(os.HidSetsOpen(), 0);
    ASSERT_FALSE(wire.Lines.empty());
    EXPECT_EQ(wire.Lines.back(), "note  HID no unit found");
  }
}

TEST(FindHidUnit, AsksEveryDeviceOfTheVendorForTheAddress) {
  struct Case {
    const char* Name;
    int Index;
    uint16_t Vendor, Product;
    uint8_t Answers;  // address in the unit's reply
    int32_t Sought;
    bool Found;
  };
  const Case cases[] = {
      {"any product of the vendor", 2, OrvoVendorId, 5, 9, 9, true},
      {"another address", 2, OrvoVendorId, 2, 8, 9, false},
      {"beyond the twenty indices", 25, OrvoVendorId, 2, 9, 9, false},
      {"another vendor", 2, 0x1234, 2, 9, 9, false},
      {"address beyond a byte", 2, OrvoVendorId, 2, 44, 300, false},
  };
  for (const auto& c : cases) {
    FakePlatform os;
    ScriptedUnit unit;
    unit.Replies = {HidReply(c.Answers)};
    os.AddHidInterface(c.Index, Device(u"hid#x", c.Product, &unit, c.Vendor));
    CComm link(os);
    EXPECT_EQ(link.FindHidUnit(c.Vendor == 0x1234 ? OrvoVendorId : c.Vendor, c.Sought), c.Found)
        << c.Name;
    EXPECT_EQ(os.OpenHandles(), 0) << "presence only: " << c.Name;
    EXPECT_EQ(os.HidSetsOpen(), 0) << c.Name;
    int paths = 0;
    for (const auto& line : os.CallLog()) paths += line.rfind("hid-path", 0) == 0;
    EXPECT_EQ(paths, c.Found ? c.Index + 1 : 20) << c.Name;
    if (c.Vendor == OrvoVendorId && c.Index < 20) {
      ASSERT_EQ(unit.Received().size(), 1u) << c.Name;
      const Bytes query{0, 0, 3, 'A', 0xFF, static_cast<uint8_t>(c.Sought), 0, 0, 0, 0, 0, 0,
                        0, 0, 0, 0,   0};
      EXPECT_EQ(unit.Received()[0].Bytes, query) << c.Name;
      EXPECT_EQ(link.CurrentMode(), LinkMode::Hid()) << c.Name;
    }
  }
}

TEST(FindHidUnit, ProductFiveIsFoundButNeverOpened) {
  FakePlatform os;
  ScriptedUnit unit;
  unit.Replies = {HidReply(9), HidReply(9)};
  os.AddHidInterface(0, Device(u"hid#0", 5, &unit));
  CComm link(os);
  EXPECT_FALSE(link.Open(0, 9));
  link.Close();
  EXPECT_TRUE(link.FindHidUnit(OrvoVendorId, 9));
}

}  // namespace
}  // namespace orvo
