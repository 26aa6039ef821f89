// CPlc against the simulated PLC trainer on the fake bus: the frames the
// trainer receives, what the host reads back, and how misbehaving trainers
// and missing ports are reported.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "devices/plc/Plc.h"
#include "sim/PlcTrainer.h"
#include "tests/unit/kit/DeviceTestKit.h"
#include "tests/unit/sim/SimTestSupport.h"

namespace orvo::test {
namespace {

using sim::Misbehaviour;
using Operation = std::function<int16_t(CPlc&)>;
using PlcBench = UnitBench<CPlc, sim::PlcTrainer>;

constexpr auto None = Misbehaviour::None, Other = Misbehaviour::OtherAddress;
constexpr auto Silent = Misbehaviour::Silent, Short = Misbehaviour::ShortReply;
constexpr int16_t Ok = StatusOk, Failed = StatusFailed;
int16_t Selector5(CPlc& p) { return p.SetSelector(5); }
int16_t FaultsF1F2(CPlc& p) { return p.SendFaults(u"F1,F2"); }
std::vector<int16_t> Readings(const CPlc& p) {  // DC, Monitor, Selector, Voltage, PC1, PC2
  return {p.get_DC(), p.get_Monitor(), p.get_Selector(), p.get_Voltage(), p.get_PC1(), p.get_PC2()};
}

TEST(Plc, EachOperationsFramesAndTheRepliesThatCount) {
  const Frames select22 = {"03 f0 16", "03 b0 00", "03 e0 16"};
  const Frames bothBlocks = {"03 f0 16", "03 b0 00", "03 e0 16",
                             "03 f0 17", "03 b0 00", "03 e0 17"};
  // clang-format off
  const OperationCase<CPlc> cases[] = {
      {"ReadMain", &CPlc::ReadMain, 3, None, Ok, select22},
      {"ReadExternal", &CPlc::ReadExternal, 3, None, Ok, bothBlocks},
      {"CheckComm", &CPlc::CheckComm, 3, None, Ok, bothBlocks},
      {"SetSelector(5)", Selector5, 3, None, Ok, {"03 f0 18", "03 e0 19", "03 f0 1a", "03 e0 1b"}},
      // Only the low 4 bits of the low 8 are written.
      {"SetSelector(0x7ffa)", [](CPlc& p) { return p.SetSelector(0x7FFA); }, 3, None, Ok,
       {"03 e0 18", "03 f0 19", "03 e0 1a", "03 f0 1b"}},
      {"ClearFaults", &CPlc::ClearFaults, 3, None, Ok, {"03 c0 00"}},
      {"StartCai", &CPlc::StartCai, 3, None, Ok, {"03 c0 00"}},
      {"EndCai", &CPlc::EndCai, 3, None, Ok, {"03 c0 00"}},
      {"SendFaults", [](CPlc& p) { return p.SendFaults(u"F1,E12"); }, 3, None, Ok, {"03 f0 00", "03 e0 0b"}},
      {"SetAddress changes nothing", [](CPlc& p) { return p.SetAddress(9); }, 3, None, Ok, {}},
      // The low 8 bits of 259 and -253 are 3, so the trainer answers, but not
      // from address 259 or -253. Address 0 reaches any unit, which answers
      // from its own address.
      {"address 259", &CPlc::ReadMain, 259, None, Failed, {"03 f0 16"}},
      {"address -253", &CPlc::ClearFaults, -253, None, Failed, {"03 c0 00"}},
      {"address 0", Selector5, 0, None, Failed, {"00 f0 18"}},
      {"another address", &CPlc::ClearFaults, 3, Other, Failed, {"03 c0 00"}},
      {"silent", &CPlc::ReadMain, 3, Silent, Failed, {"03 f0 16", "03 f0 16"}},
      {"short", &CPlc::ClearFaults, 3, Short, Failed, {"03 c0 00", "03 c0 00"}},
      {"garbage", &CPlc::CheckComm, 3, Misbehaviour::Garbage, Failed, {"03 f0 16"}},
      {"vanishing", &CPlc::CheckComm, 3, Misbehaviour::Vanish, Failed, {"03 f0 16"}},
      // Fault items report the exchange alone, and every item is sent.
      {"another address, fault items", FaultsF1F2, 3, Other, Ok, {"03 f0 00", "03 f0 01"}},
      {"silent, fault items", FaultsF1F2, 3, Silent, Failed,
       {"03 f0 00", "03 f0 00", "03 f0 01", "03 f0 01"}},
  };
  // clang-format on
  for (const auto& c : cases) CheckOperation<CPlc, sim::PlcTrainer>(c);
}

// The trainer decodes the value clocked in, which must be the value sent.
// The framing writes stop the transfer at their first failure; the data
// writes go on whatever they meet. Frame n is the n-th frame the trainer
// takes off the wire: 0..11 the opening, 12..135 the data, 136..147 the end.
TEST(Plc, SetProcess) {
  constexpr std::size_t Never = SIZE_MAX;
  const std::vector<uint16_t> none;
  struct Case {
    const char* Name;
    uint16_t Value;
    std::size_t At;
    Misbehaviour How;
    int Count;
    int16_t Status;
    std::size_t FramesReceived;
    std::optional<std::vector<uint16_t>> Decoded;  // unchecked when a data bit was lost
  } cases[] = {
      // clang-format off
      {"0",      0x0000, Never, None, 0, Ok, 148, {{0x0000}}},
      {"0x8001", 0x8001, Never, None, 0, Ok, 148, {{0x8001}}},
      {"0xffff", 0xFFFF, Never, None, 0, Ok, 148, {{0xFFFF}}},
      {"0x5a3c", 0x5A3C, Never, None, 0, Ok, 148, {{0x5A3C}}},
      {"0xc0de", 0xC0DE, Never, None, 0, Ok, 148, {{0xC0DE}}},
      {"first opening write silent",                 0x1234,   0, Silent, -1, Failed,   2, none},
      {"opening write short",                        0x1234,   4, Short,  -1, Failed,   6, none},
      {"third opening nibble from another address",  0x1234,   8, Other,   1, Failed,   9, none},
      // A failed frame ends its nibble: the three after it are not sent.
      {"data write from another address",            0x1234,  12, Other,   1, Ok,     145, std::nullopt},
      {"data write short, the resend answered",      0x1234,  20, Short,   1, Ok,     149, {{0x1234}}},
      {"five data writes silent",                    0x1234,  40, Silent, 10, Ok,     138, std::nullopt},
      {"data write garbage",                         0x1234,  60, Misbehaviour::Garbage, 1, Ok, 145, std::nullopt},
      {"second closing nibble from another address", 0x1234, 140, Other,   1, Failed, 141, none},
      // Nothing reaches the trainer after the frame it vanished on.
      {"trainer vanishes during the data",           0x1234,  40, Misbehaviour::Vanish, -1, Failed, 41, none},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    PlcBench bench;
    bench.Wire.Arm(c.At, c.How, c.Count);
    EXPECT_EQ(bench.Object.SetProcess(static_cast<int16_t>(c.Value)), c.Status);
    EXPECT_EQ(bench.Unit.Received().size(), c.FramesReceived);
    if (c.Decoded) {
      EXPECT_EQ(bench.Unit.ProcessValues(), *c.Decoded);
    }
    // Whenever the data writes went on, the end of the transfer went out.
    const std::vector<uint8_t>& nibbles = bench.Unit.Nibbles();
    if (c.Status == StatusOk) {
      ASSERT_GE(nibbles.size(), 3u);
      EXPECT_EQ(std::vector<uint8_t>(nibbles.end() - 3, nibbles.end()),
                (std::vector<uint8_t>{3, 2, 0}));
    }
    EXPECT_FALSE(bench.Unit.IsOn(27));
    EXPECT_EQ(bench.Os.OpenHandles(), 0);
    if (c.At == Never) {
      EXPECT_EQ(CallsOf(bench.Os, {"open", "close"}), OneOpenOnCom7);
      EXPECT_EQ(nibbles, sim::Transfer(c.Value));
    }
  }
  // A port that does not open: nothing is sent, and the transfer fails.
  PlcBench bench;
  bench.Object.put_Port(8);
  EXPECT_EQ(bench.Object.SetProcess(0x1234), StatusFailed);
  EXPECT_TRUE(bench.Unit.Received().empty());
}

TEST(Plc, BlockDecoding) {
  PlcBench bench;
  EXPECT_EQ(Readings(bench.Object), (std::vector<int16_t>(6, 0))) << "before the first read";
  struct Case {
    uint8_t Main, External;
    std::vector<int16_t> Readings;
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
    bench.Unit.SetMainBlock(c.Main);
    bench.Unit.SetExternalBlock(c.External);
    EXPECT_EQ(bench.Object.CheckComm(), StatusOk);
    EXPECT_EQ(Readings(bench.Object), c.Readings);
  }
}

// A block read that fails before its data byte keeps the readings it had;
// one whose Read failed leaves the select channel on.
TEST(Plc, FailedBlockReads) {
  // The readings the first CheckComm leaves, and those after refreshing one block.
  const std::vector<int16_t> kept = {0, 0, 3, 12, 1, 1}, mainRead = {1, 1, 3, 12, 1, 1},
                             externalRead = {0, 0, 3, 24, 0, 0};
  struct Case {
    const char* Name;
    Operation Run;
    std::size_t At;
    Misbehaviour How;
    int Count;
    int16_t Status;
    Frames Sent;
    std::vector<int16_t> After;
    std::vector<uint8_t> OnAfter;
  } cases[] = {
      // clang-format off
      {"ReadMain, the Read from another address", &CPlc::ReadMain, 1, Other, 1, Failed,
       {"03 f0 16", "03 b0 00"}, kept, {22}},
      // The data byte is in before the deselect fails: the readings are kept.
      {"ReadMain, the deselect silent", &CPlc::ReadMain, 2, Silent, -1, Failed,
       {"03 f0 16", "03 b0 00", "03 e0 16", "03 e0 16"}, mainRead, {}},
      {"ReadExternal, the main block fails", &CPlc::ReadExternal, 1, Other, 1, Ok,
       {"03 f0 16", "03 b0 00", "03 f0 17", "03 b0 00", "03 e0 17"}, externalRead, {22}},
      {"ReadExternal, the external Read short", &CPlc::ReadExternal, 4, Short, -1, Failed,
       {"03 f0 16", "03 b0 00", "03 e0 16", "03 f0 17", "03 b0 00", "03 b0 00"}, mainRead, {23}},
      {"CheckComm, the main select fails", &CPlc::CheckComm, 0, Other, 1, Failed,
       {"03 f0 16"}, kept, {22}},
      {"CheckComm, the external select fails", &CPlc::CheckComm, 3, Misbehaviour::Garbage, 1, Failed,
       {"03 f0 16", "03 b0 00", "03 e0 16", "03 f0 17"}, mainRead, {23}},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    PlcBench bench;
    bench.Unit.SetMainBlock(0x34);
    bench.Unit.SetExternalBlock(0x1A);
    ASSERT_EQ(bench.Object.CheckComm(), StatusOk);
    // Both blocks read 0x04 from now on, so a Read that finds both selects
    // on (the main one wins) decodes the same.
    bench.Unit.SetMainBlock(0x04);
    bench.Unit.SetExternalBlock(0x04);
    bench.Unit.ClearReceived();
    bench.Wire.Arm(c.At, c.How, c.Count);
    EXPECT_EQ(c.Run(bench.Object), c.Status);
    EXPECT_EQ(FramesOf(bench.Unit), c.Sent);
    EXPECT_EQ(Readings(bench.Object), c.After);
    EXPECT_EQ(bench.Unit.OnChannels(), c.OnAfter);
  }
}

}  // namespace
}  // namespace orvo::test
