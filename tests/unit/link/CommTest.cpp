// The link against the fake bus: what goes on the wire, what the caller gets
// back, how long the calling thread is held, and what the wire trace says.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "link/Comm.h"
#include "link/TracedPlatform.h"
#include "protocol/HexText.h"
#include "sim/Console.h"
#include "sim/bus/FakePlatform.h"
#include "tests/unit/kit/ScriptedUnit.h"

namespace orvo {
namespace {

using fake::FakeHidDevice;
using fake::FakePlatform;
using test::HidReply;
using test::ScriptedUnit;
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

// The wire trace as the module writes it. Every line starts with the time
// stamp, to the millisecond; the rest is kept for the test to compare.
class RecordingTrace final : public TraceOutput {
 public:
  Lines Written;
  TraceTime Now() override { return {2026, 12, 8, 23, 41, 7, 23}; }
  void Write(std::string_view line) override {
    constexpr std::string_view Stamp = "2026-12-08 23:41:07.023  ";
    EXPECT_TRUE(line.starts_with(Stamp)) << line;
    Written.emplace_back(line.substr(std::min(line.size(), Stamp.size())));
  }
};

FakeHidDevice Device(std::u16string path, uint16_t product, sim::Unit* unit,
                     uint16_t vendor = OrvoVendorId) {
  return FakeHidDevice{std::move(path), vendor, product, unit, false};
}

// A link over the fake bus, with the wire trace between them, and a unit
// that answers from a script.
struct TracedLink {
  ScriptedUnit Unit;
  FakePlatform Os;
  RecordingTrace Wire;
  TracedPlatform Traced{Os, Wire};
  CComm Link{Traced};

  // Opens the HID link to the unit, which answers the search's probe and
  // then `reply`; the search's calls and trace are not the caller's exchange.
  bool OpenHid(std::optional<Bytes> reply = std::nullopt, uint16_t product = 2) {
    Unit.Replies = {HidReply(0), std::move(reply)};
    Os.AddHidInterface(0, Device(u"hid#0", product, &Unit));
    const bool opened = Link.Open(0, 0);
    Os.ClearCallLog();
    Wire.Written.clear();
    return opened;
  }
};

// The mode of a link that has opened `port` (0: the HID link), to compare
// with whatever type the link gives it.
auto ModeOnceOpened(int32_t port) {
  TracedLink t;
  if (port != 0) t.Os.AddSerialPort(port);
  EXPECT_TRUE(port == 0 ? t.OpenHid() : t.Link.Open(port, 0));
  return t.Link.CurrentMode();
}

Bytes Counting(std::size_t n, uint8_t first = 1) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + i);
  return b;
}

// A port that will not open or take its settings says why in the trace, in
// the system's words, and the link keeps the mode asked for. Closing gives
// the port back once, whatever was open, and so does the link's end.
TEST(SerialLink, OpenAndClose) {
  struct Case {
    const char* Name;
    int32_t Port;
    bool Held, SettingsRefused;
    Lines Calls;                      // made by the Open
    std::optional<std::string> Note;  // none: the port opens
  };
  // clang-format off
  const Case cases[] = {
      {"opens", 3, false, false, {"open \\\\.\\COM3", "configure COM3"}, std::nullopt},
      {"refuses the line settings", 3, false, true,
       {"open \\\\.\\COM3", "configure COM3", "close COM3"},
       "COM3 refused the line settings: A device attached to the system is not functioning (31)"},
      {"missing", 9, false, false, {"open \\\\.\\COM9"},
       "COM9 cannot be opened: The system cannot find the file specified (2)"},
      {"no port's number", -3, false, false, {"open \\\\.\\COM-3"},
       "COM-3 cannot be opened: The system cannot find the file specified (2)"},
      {"held by another link", 4, true, false, {"open \\\\.\\COM4"},
       "COM4 cannot be opened: Access is denied (5)"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TracedLink t;
    t.Os.AddSerialPort(3);
    t.Os.AddSerialPort(4);
    std::optional<CComm> holder(std::in_place, t.Os);
    if (c.Held) {
      ASSERT_TRUE(holder->Open(4, 0));
    }
    t.Os.ConfigureFails = c.SettingsRefused;
    t.Os.ClearCallLog();
    EXPECT_EQ(t.Link.Open(c.Port, 5), !c.Note);
    EXPECT_EQ(t.Os.CallLog(), c.Calls);
    if (c.Note && c.Port > 0) {
      EXPECT_EQ(t.Link.CurrentMode(), ModeOnceOpened(c.Port));
    }
    if (!c.Note) {
      const auto applied = t.Os.SettingsOf(c.Port);
      ASSERT_TRUE(applied);
      EXPECT_EQ(applied->Definition, u"baud=9600 parity=O data=8 stop=1");
      const SerialTimeouts w = applied->Timeouts;
      EXPECT_EQ(
          (std::array{applied->InQueue, applied->OutQueue, w.ReadInterval, w.ReadTotalMultiplier,
                      w.ReadTotalConstant, w.WriteTotalMultiplier, w.WriteTotalConstant}),
          (std::array<uint32_t, 7>{1024, 1024, 100, 100, 100, 100, 100}));
    }
    t.Os.ClearCallLog();
    t.Link.Close();
    t.Link.Close();
    EXPECT_EQ(t.Os.CallLog(), c.Note ? Lines{} : Lines{"close COM3"});
    EXPECT_EQ(t.Link.CurrentMode(), CComm(t.Os).CurrentMode()) << "closed, as a new link";
    EXPECT_EQ(t.Os.OpenHandles(), c.Held ? 1 : 0);
    EXPECT_EQ(t.Wire.Written, c.Note ? Lines{"note  " + *c.Note} : Lines{});
    holder.reset();
    t.Os.ConfigureFails = false;
    EXPECT_TRUE(t.Link.Open(4, 0)) << "a port is free again once its holder is gone";
  }
}

// The same command on both links: FE FF addr L cmd arg [value] on the serial
// line, which leaves the value off a length-2 command; on HID the 17-byte
// report [0, addr, L, cmd, arg, value, 11 zeros], and 300 ms for the unit.
// The reply fills the length asked for and no more: on the serial line the
// bytes read, on HID the report from the answering unit's address on, of
// which there are at most 16.
TEST(Link, CommandsByteForByteOnBothLinks) {
  struct Case {
    int32_t Address;
    uint8_t L, Command, Argument, Value, ReplyLength;
    const char* Serial;
    const char* Report;  // after the report id, before the zeros
  };
  // clang-format off
  const Case cases[] = {
      {5, 2, 'R', 'I', 0x00, 14, "fe ff 05 02 52 49", "05 02 52 49 00"},
      {5, 2, 'F', 0xA9, 0x78, 14, "fe ff 05 02 46 a9", "05 02 46 a9 78"},
      {0x105, 3, 'X', 'C', 0x12, 3, "fe ff 05 03 58 43 12", "05 03 58 43 12"},
      {0, 3, 'A', 0xFF, 0x07, 2, "fe ff 00 03 41 ff 07", "00 03 41 ff 07"},
      {-1, 3, 'X', 'S', 0x2C, 2, "fe ff ff 03 58 53 2c", "ff 03 58 53 2c"},
      {0, 2, 'I', 'S', 0x00, 0, "fe ff 00 02 49 53", "00 02 49 53 00"},
      {5, 3, 'X', 'Z', 0x01, 17, "fe ff 05 03 58 5a 01", "05 03 58 5a 01"},
  };
  // clang-format on
  for (const Case& c : cases) {
    for (const bool hid : {false, true}) {
      SCOPED_TRACE(std::string(hid ? "HID: " : "serial: ") + c.Serial);
      TracedLink t;
      const auto from = static_cast<uint8_t>(c.Address);
      if (hid) {
        ASSERT_TRUE(t.OpenHid(HidReply(from, Counting(15, 0x40))));
      } else {
        t.Unit.Replies = {Counting(c.ReplyLength)};
        t.Os.AddSerialPort(1, &t.Unit);
        ASSERT_TRUE(t.Link.Open(1, 0));
        t.Os.ClearCallLog();
      }
      const uint64_t start = t.Os.Clock().NowMs();
      std::array<uint8_t, 18> reply{};
      EXPECT_EQ(t.Link.Transact(c.Address, c.L, c.Command, c.Argument, c.Value, c.ReplyLength,
                                reply.data()),
                StatusOk);
      Bytes expected(reply.size(), 0);
      const int filled = hid ? std::min<int>(c.ReplyLength, 16) : c.ReplyLength;
      for (int i = 0; i < filled; ++i)
        expected[i] = static_cast<uint8_t>(!hid ? i + 1 : i == 0 ? from : 0x40 + i - 1);
      EXPECT_EQ(Bytes(reply.begin(), reply.end()), expected);
      if (hid) {
        std::string report = std::string("00 ") + c.Report;
        for (int i = 0; i < 11; ++i) report += " 00";
        EXPECT_EQ(t.Os.CallLog(), (Lines{"hid-flush HID0 -> 0", "hid-write HID0 " + report,
                                          "sleep 300", "hid-read HID0 -> 17"}));
      } else {
        const std::string n = std::to_string(c.ReplyLength);
        EXPECT_EQ(t.Os.CallLog(), (Lines{"clear COM1", std::string("write COM1 ") + c.Serial,
                                          "read COM1 " + n + " -> " + n}));
      }
      EXPECT_EQ(t.Os.Clock().NowMs() - start, hid ? 300u : 0u);
    }
  }
}

// A serial reply that comes up short gets one recovery: 500 ms, a fresh
// handle and the same frame again; its outcome is final. The caller's reply
// keeps whatever bytes arrived. A silent read costs its time-outs (100 ms
// plus 100 ms a byte); the trace shows one line per frame, marked resent.
TEST(SerialLink, OneReopenAndResendOnShortReply) {
  enum class Then { Nothing, SettingsRefused, PortGone };  // after the first write
  struct Case {
    const char* Name;
    std::vector<std::optional<Bytes>> Replies;
    bool Short;  // TransactShort rather than Transact
    Then Break;
    int16_t Status;
    Lines Calls;
    uint64_t ElapsedMs;
    const char* Kept;  // the caller's reply, up to the bytes left as they were
    Lines Wire;
  };
  // clang-format off
  const std::string resent = "sleep 500", closed = "close COM7", reopened = "open \\\\.\\COM7",
                    configured = "configure COM7", status = "write COM7 fe ff 09 02 52 49";
  const std::string read = "read COM7 14 -> ", shortRead = "read COM7 3 -> ";
  const char* counted = "01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e";
  const std::string sent = "COM7  address 9  sent fe ff 09 02 52 49  reply ",
                    lost = sent + "-  status 60 resent  ReadStatus",
                    decoded = "ReadStatus -> 0 V +12 V, AC1 on, bits 0x01, control 0x0e"
                              " (reply from address 1)";
  const Case cases[] = {
      {"answers at once", {Counting(14)}, false, Then::Nothing, 61,
       {"clear COM7", status, read + "14"}, 0, counted,
       {sent + counted + "  status 61  " + decoded}},
      {"silent", {std::nullopt, std::nullopt}, false, Then::Nothing, 60,
       {"clear COM7", status, read + "0", resent, closed, reopened, configured, status, read + "0"},
       1500 + 500 + 1500, "", {lost}},
      // Short first, whole after the reopen: the 100 ms interval time-out,
      // then the pause.
      {"short then whole", {Counting(13), Counting(14)}, false, Then::Nothing, 61,
       {"clear COM7", status, read + "13", resent, closed, reopened, configured, status,
        read + "14"},
       600, counted, {sent + counted + "  status 61 resent  " + decoded}},
      // The second try is final even if the unit would answer a third time.
      {"short twice", {Counting(2), Counting(2), Counting(14)}, false, Then::Nothing, 60,
       {"clear COM7", status, read + "2", resent, closed, reopened, configured, status, read + "2"},
       700, "01 02", {sent + "01 02  status 60 resent  ReadStatus (reply from address 1)"}},
      {"short then silent", {Bytes{7, 8}, std::nullopt}, false, Then::Nothing, 60,
       {"clear COM7", status, read + "2", resent, closed, reopened, configured, status, read + "0"},
       100 + 500 + 1500, "07 08", {lost}},
      {"the adapter comes back unusable", {std::nullopt}, false, Then::SettingsRefused, 60,
       {"clear COM7", status, read + "0", resent, closed, reopened, configured, "close COM7",
        "write ? fe ff 09 02 52 49", "read ? 14 -> 0"},
       1500 + 500, "",
       {"note  COM7 refused the line settings: A device attached to the system is not "
        "functioning (31)", lost}},
      {"the port is gone", {std::nullopt}, false, Then::PortGone, 60,
       {"clear COM7", status, read + "0", resent, closed, reopened, "write ? fe ff 09 02 52 49",
        "read ? 14 -> 0"},
       1500 + 500, "",
       {"note  COM7 cannot be opened: The system cannot find the file specified (2)", lost}},
      {"short frame answered", {Counting(3)}, true, Then::Nothing, 61,
       {"clear COM7", "write COM7 09 b0 00", "sleep 50", shortRead + "3"}, 50, "01 02 03",
       {"COM7  address 9  sent 09 b0 00  reply 01 02 03  status 61  Read -> 0x03"
       " (reply from address 1)"}},
      {"short frame silent", {std::nullopt, std::nullopt}, true, Then::Nothing, 60,
       {"clear COM7", "write COM7 09 b0 00", "sleep 50", shortRead + "0", resent, closed, reopened,
        configured, "write COM7 09 b0 00", "sleep 50", shortRead + "0"},
       50 + 400 + 500 + 50 + 400, "",
       {"COM7  address 9  sent 09 b0 00  reply -  status 60 resent  Read"}},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TracedLink t;
    t.Unit.Replies = c.Replies;
    t.Os.AddSerialPort(7, &t.Unit);
    t.Link.SetReplyDelay(50);
    ASSERT_TRUE(t.Link.Open(7, 9));
    t.Os.ConfigureFails = c.Break == Then::SettingsRefused;
    t.Unit.Gone = c.Break == Then::PortGone;
    t.Os.ClearCallLog();
    const uint64_t start = t.Os.Clock().NowMs();
    std::array<uint8_t, 14> reply;
    reply.fill(0xEE);
    EXPECT_EQ(c.Short ? t.Link.TransactShort(9, 0xB0, 0x00, reply.data())
                      : t.Link.Transact(9, 2, 'R', 'I', 0, 14, reply.data()),
              c.Status);
    EXPECT_EQ(t.Os.CallLog(), c.Calls);
    EXPECT_EQ(t.Os.Clock().NowMs() - start, c.ElapsedMs);
    const auto kept = std::find(reply.begin(), reply.end(), 0xEE);
    EXPECT_EQ(HexBytes(std::span(reply.begin(), kept)), c.Kept);
    EXPECT_TRUE(std::all_of(kept, reply.end(), [](uint8_t b) { return b == 0xEE; }));
    EXPECT_EQ(t.Wire.Written, c.Wire);
    EXPECT_EQ(t.Os.OpenHandles(), c.Break == Then::Nothing ? 1 : 0);
    t.Link.Close();
    EXPECT_EQ(t.Os.OpenHandles(), 0);
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
    SCOPED_TRACE(c.Name);
    TracedLink t;
    ASSERT_TRUE(t.OpenHid(c.Reply, 3));
    const uint64_t start = t.Os.Clock().NowMs();
    std::array<uint8_t, 2> reply{0xEE, 0xEE};
    EXPECT_EQ(t.Link.Transact(c.Address, 2, 'I', 'S', 0, 2, reply.data()), c.Status);
    const std::string report = "00 " + HexBytes(std::array{static_cast<uint8_t>(c.Address)}) +
                               " 02 49 53 00 00 00 00 00 00 00 00 00 00 00 00";
    EXPECT_EQ(t.Wire.Written, (Lines{"HID  address " + std::to_string(c.Address & 0xFF) +
                                     "  sent " + report + "  " + c.Wire}));
    EXPECT_EQ(t.Os.Clock().NowMs() - start, c.ElapsedMs);
    if (c.Status == StatusFailed) {
      EXPECT_EQ(reply, (std::array<uint8_t, 2>{0xEE, 0xEE})) << "untouched on failure";
    }
  }
}

// A console method makes several exchanges on one handle, and a reply can
// come after its exchange gave up. The serial link never discards input, so
// the next exchange reads the stale reply first; on HID the input that came
// in the meantime is dropped before the next report goes out.
TEST(Link, ALateReply) {
  struct Case {
    bool Hid;
    uint32_t LateMs;   // the status read's reply, counted from its write
    uint64_t PauseMs;  // between the two exchanges
    int16_t First;     // the status read's status
  };
  for (const Case c : {Case{false, 4000, 5000, 61}, Case{true, 1350, 100, 60},
                       Case{true, 1301, 0, 60}, Case{true, 1600, 400, 60}}) {
    SCOPED_TRACE(testing::Message() << (c.Hid ? "HID " : "serial ") << c.LateMs);
    FakePlatform os;
    sim::Console console(5);
    console.SetModel(0x21, 0x07);
    console.SetVoltageNibbles(0x4, 0x8);
    if (c.Hid) {
      os.AddHidInterface(0, Device(u"hid#0", 2, &console));
    } else {
      os.AddSerialPort(3, &console);
    }
    CComm link(os);
    ASSERT_TRUE(link.Open(c.Hid ? 0 : 3, 5));
    // On the serial line the resend gets a prompt answer.
    console.Misbehave(sim::Misbehaviour::Late, 1, c.LateMs);
    std::array<uint8_t, 14> status{};
    EXPECT_EQ(link.Transact(5, 2, 'R', 'I', 0, 14, status.data()), c.First);
    os.Clock().Advance(c.PauseMs);
    std::array<uint8_t, 6> model{};
    EXPECT_EQ(link.Transact(5, 2, 'X', 'M', 0, 6, model.data()), StatusOk);
    const Bytes status6 = console.Status();
    const Bytes stale(status6.begin(), status6.begin() + 6), fresh{5, 0x21, 0x07, 0, 0, 0};
    EXPECT_EQ(Bytes(model.begin(), model.end()), c.Hid ? fresh : stale);
  }
}

TEST(HidLink, ShortFrameSendsNothingOnHid) {
  TracedLink t;
  ASSERT_TRUE(t.OpenHid(std::nullopt, 4));
  std::array<uint8_t, 3> reply{};
  EXPECT_EQ(t.Link.TransactShort(3, 0xB0, 0, reply.data()), StatusFailed);
  EXPECT_TRUE(t.Os.CallLog().empty());
  EXPECT_EQ(t.Wire.Written, Lines{"note  HID cannot carry a short frame; nothing sent"});
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

  std::vector<int> indices;
  Lines probed, sleeps;
  for (const auto& line : os.CallLog()) {
    if (line.starts_with("hid-path ")) indices.push_back(std::stoi(line.substr(9)));
    if (line.starts_with("hid-write ")) probed.push_back(line.substr(10, line.find(' ', 10) - 10));
    if (line.starts_with("sleep ")) sleeps.push_back(line);
  }
  std::vector<int> fifty(50);
  std::iota(fifty.begin(), fifty.end(), 0);
  EXPECT_EQ(indices, fifty) << "no early stop on a missing index";
  EXPECT_EQ(probed, (Lines{"HID12", "HID49"}));
  // Each probe: 300 ms for the reply, then 50 ms before the next candidate.
  EXPECT_EQ(sleeps, (Lines{"sleep 300", "sleep 50", "sleep 300", "sleep 50"}));
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
    TracedLink t;
    t.Unit.Replies = {HidReply(8)};
    t.Os.DeviceSetFails = setFails;
    t.Os.AddHidInterface(1, Device(u"hid#1", 2, &t.Unit));
    EXPECT_FALSE(t.Link.Open(0, 5)) << "the only unit answers from address 8";
    EXPECT_EQ(t.Link.CurrentMode(), ModeOnceOpened(0));
    EXPECT_EQ(t.Os.OpenHandles(), 0);
    EXPECT_EQ(t.Os.HidSetsOpen(), 0);
    ASSERT_FALSE(t.Wire.Written.empty());
    EXPECT_EQ(t.Wire.Written.back(), "note  HID no unit found");
  }
}

// Presence only: each device of the vendor, of any product, is asked
// whether it has the address, and let go again.
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
    SCOPED_TRACE(c.Name);
    TracedLink t;
    t.Unit.Replies = {HidReply(c.Answers)};
    t.Os.AddHidInterface(c.Index, Device(u"hid#x", c.Product, &t.Unit, c.Vendor));
    EXPECT_EQ(t.Link.FindHidUnit(OrvoVendorId, c.Sought), c.Found);
    EXPECT_EQ(t.Os.OpenHandles(), 0);
    EXPECT_EQ(t.Os.HidSetsOpen(), 0);
    int paths = 0;
    for (const auto& line : t.Os.CallLog()) paths += line.starts_with("hid-path");
    EXPECT_EQ(paths, c.Found ? c.Index + 1 : 20);
    const Bytes query{0, 0, 3, 'A', 0xFF, static_cast<uint8_t>(c.Sought), 0, 0, 0, 0, 0, 0,
                      0, 0, 0, 0,   0};
    const bool asked = c.Vendor == OrvoVendorId && c.Index < 20;
    EXPECT_EQ(t.Unit.Received().size(), asked ? 1u : 0u);
    if (asked && !t.Unit.Received().empty()) {
      EXPECT_EQ(t.Unit.Received()[0].Bytes, query);
    }
  }
}

}  // namespace
}  // namespace orvo
