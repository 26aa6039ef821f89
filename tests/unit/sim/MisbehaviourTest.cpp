#include <gmock/gmock.h>

#include <functional>
#include <memory>

#include "sim/Console.h"
#include "sim/FaultUnit.h"
#include "tests/unit/sim/SimTestSupport.h"

namespace orvo::sim {
namespace {

constexpr uint8_t Own = 5;
constexpr uint32_t LateMs = 250;

enum class Link { Serial, Hid, Short };

// What one exchange brought back, compared with the normal reply.
enum Outcome {
  Normal,   // the normal reply, at once
  Nothing,  // no reply
  Cut,      // the normal reply without its last byte
  Foreign,  // the normal reply with another answering address
  Delayed,  // the normal reply after LateMs
  Junk,     // as many bytes, neither the reply nor the own address
  Partial,  // a proper prefix of the reply, and the unit is gone
};

struct Case {
  const char* Name;
  Link Over;
  Misbehaviour How;
  int Count;
  std::vector<Outcome> Exchanges;
};

const Case Cases[] = {
    {"none", Link::Serial, Misbehaviour::None, -1, {Normal, Normal, Normal}},
    {"silent once", Link::Serial, Misbehaviour::Silent, 1, {Nothing, Normal, Normal}},
    {"silent for good", Link::Serial, Misbehaviour::Silent, -1, {Nothing, Nothing, Nothing}},
    {"count 0 changes nothing", Link::Serial, Misbehaviour::Silent, 0, {Normal, Normal, Normal}},
    {"short twice", Link::Serial, Misbehaviour::ShortReply, 2, {Cut, Cut, Normal}},
    {"other address", Link::Serial, Misbehaviour::OtherAddress, 1, {Foreign, Normal, Normal}},
    {"late", Link::Serial, Misbehaviour::Late, 1, {Delayed, Normal, Normal}},
    {"garbage", Link::Serial, Misbehaviour::Garbage, -1, {Junk, Junk, Junk}},
    {"vanish", Link::Serial, Misbehaviour::Vanish, 1, {Partial, Nothing, Nothing}},
    {"hid short report", Link::Hid, Misbehaviour::ShortReply, 1, {Cut, Normal, Normal}},
    {"hid other address", Link::Hid, Misbehaviour::OtherAddress, 1, {Foreign, Normal, Normal}},
    {"hid garbage", Link::Hid, Misbehaviour::Garbage, 1, {Junk, Normal, Normal}},
    {"hid vanish", Link::Hid, Misbehaviour::Vanish, -1, {Partial, Nothing, Nothing}},
    {"short frame silent", Link::Short, Misbehaviour::Silent, 1, {Nothing, Normal, Normal}},
    {"short frame cut", Link::Short, Misbehaviour::ShortReply, -1, {Cut, Cut, Cut}},
    {"short frame other address",
     Link::Short,
     Misbehaviour::OtherAddress,
     2,
     {Foreign, Foreign, Normal}},
    {"short frame vanish", Link::Short, Misbehaviour::Vanish, 1, {Partial, Nothing, Nothing}},
};

struct Rig {
  std::unique_ptr<UnitBase> Unit;
  std::function<std::vector<Emission>()> Exchange;
  Bytes NormalReply;
  std::size_t AddressAt;
};

Rig MakeRig(Link over) {
  if (over == Link::Short) {
    auto unit = std::make_unique<FaultUnit>(Own);
    unit->SetData(0x5A);
    UnitBase* raw = unit.get();
    return {std::move(unit),
            [raw] {
              return raw->OnSerialBytes(Bytes{Own, 0xB0, 0});
            },
            {Own, 0, 0x5A},
            0};
  }
  auto console = std::make_unique<Console>(Own);
  console->SetSwitchByte(0x42);
  Console* raw = console.get();
  Bytes status = raw->Status();
  if (over == Link::Serial) {
    return {std::move(console), [raw] { return raw->OnSerialBytes(Cmd2(Own, 'R', 'I')); }, status,
            0};
  }
  Bytes report(Console::HidReportSize, 0);
  std::copy_n(Bytes{0, Own, 2, 'R', 'I'}.begin(), 5, report.begin());
  Bytes input(Console::HidReportSize, 0);
  std::copy(status.begin(), status.end(), input.begin() + 1);
  return {std::move(console), [raw, report] { return raw->OnHidReport(report); }, input, 1};
}

void Check(Outcome outcome, const std::vector<Emission>& out, const Rig& rig) {
  if (outcome == Nothing) {
    EXPECT_TRUE(out.empty());
    return;
  }
  ASSERT_EQ(out.size(), 1u);
  const Bytes& got = out[0].Bytes;
  const Bytes& normal = rig.NormalReply;
  EXPECT_EQ(out[0].DelayMs, outcome == Delayed ? LateMs : 0u);
  EXPECT_EQ(rig.Unit->Vanished(), outcome == Partial);
  switch (outcome) {
    case Normal:
    case Delayed:
      EXPECT_EQ(Hex(got), Hex(normal));
      break;
    case Cut:
      EXPECT_EQ(Hex(got), Hex(Bytes(normal.begin(), normal.end() - 1)));
      break;
    case Foreign: {
      Bytes expected = normal;
      expected[rig.AddressAt] = Own + 1;
      EXPECT_EQ(Hex(got), Hex(expected));
      break;
    }
    case Junk:
      EXPECT_EQ(got.size(), normal.size());
      EXPECT_NE(got, normal);
      EXPECT_NE(got[rig.AddressAt], Own);
      break;
    case Partial:
      ASSERT_FALSE(got.empty());
      ASSERT_LT(got.size(), normal.size());
      EXPECT_TRUE(std::equal(got.begin(), got.end(), normal.begin()));
      break;
    case Nothing:
      break;
  }
}

TEST(Misbehaviour, BendsTheNextExchangesThenStops) {
  for (const Case& c : Cases) {
    SCOPED_TRACE(c.Name);
    Rig rig = MakeRig(c.Over);
    rig.Unit->Misbehave(c.How, c.Count, LateMs);
    for (std::size_t i = 0; i < c.Exchanges.size(); ++i) {
      SCOPED_TRACE(i);
      Check(c.Exchanges[i], rig.Exchange(), rig);
    }
    // A vanished unit took in nothing after it went.
    const std::size_t logged = c.Exchanges[0] == Partial ? 1 : c.Exchanges.size();
    EXPECT_EQ(rig.Unit->Received().size(), logged);
  }
}

// Only an exchange the unit answers uses up the count, and a silent unit
// still acts on what it hears.
TEST(Misbehaviour, IgnoredFramesKeepTheCountAndSilenceKeepsTheAction) {
  for (const int count : {1, -1}) {
    SCOPED_TRACE(count);
    Console console(Own);
    console.Misbehave(Misbehaviour::Silent, count);
    EXPECT_TRUE(console.OnSerialBytes(Cmd2(6, 'R', 'I')).empty());
    EXPECT_TRUE(console.OnSerialBytes(Cmd3(0, 'A', 0xFF, 6)).empty());
    EXPECT_TRUE(console.OnSerialBytes(Cmd3(Own, 'P', 'S', 0x42)).empty());
    EXPECT_EQ(console.SwitchByte(), 0x42);
    if (count < 0) console.Misbehave(Misbehaviour::None);
    const std::vector<Emission> out = console.OnSerialBytes(Cmd2(Own, 'R', 'I'));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].Bytes[2], 0x42);
  }
}

}  // namespace
}  // namespace orvo::sim
