// What every unit has from UnitBase and ShortFrameUnit: how it cuts its
// frames out of the stream, which frames it answers, and how a misbehaviour
// bends its replies. The last two run on every unit, and on both of the
// console's links.
#include <gmock/gmock.h>

#include "tests/unit/sim/SimTestSupport.h"

namespace orvo::sim {
namespace {

// Writes to the unit, "|" between them and "." for the line going quiet in
// between; the frames the unit took off the wire, and how many it answered.
struct FramingCase {
  const char* Unit;
  const char* Writes;
  const char* Frames;
  std::size_t Replies;
};

const FramingCase FramingCases[] = {
    // The console resynchronises on the header.
    {"console:5", "fe ff 05 02 52 49", "command fe ff 05 02 52 49", 1},
    {"console:5", "fe | ff | 05 | 02 | 52 | 49", "command fe ff 05 02 52 49", 1},
    {"console:5", "fe ff 05 02 52 49 fe ff 05 03 50 53 42",
     "command fe ff 05 02 52 49; command fe ff 05 03 50 53 42", 2},
    {"console:5", "fe ff 05 02 52 49 fe ff 05 | 03 50 53 42",
     "command fe ff 05 02 52 49; command fe ff 05 03 50 53 42", 2},
    {"console:5", "01 02 fe ff 05 02 52 49", "garbage 01 02; command fe ff 05 02 52 49", 1},
    {"console:5", "fe fe ff 05 02 52 49", "garbage fe; command fe ff 05 02 52 49", 1},
    // An FE at the end of a write is held back: it may begin a header.
    {"console:5", "01 fe | ff 05 02 52 49", "garbage 01; command fe ff 05 02 52 49", 1},
    {"console:5", "fe 00", "garbage fe 00", 0},
    {"console:5", "fe ff 05 09 52 49 fe ff 05 02 52 49",
     "garbage fe ff 05 09 52 49; command fe ff 05 02 52 49", 1},
    {"console:5", "fe ff 05 | . | fe ff 05 02 52 49", "garbage fe ff 05; command fe ff 05 02 52 49",
     1},
    // The short frame is cut every three bytes; only an idle line brings a
    // shifted stream back into step. A unit without a HID link ignores
    // reports.
    {"fault:9", "09 f0 07", "short 09 f0 07", 1},
    {"fault:9", "09 f0 | 07 09 | b0 00", "short 09 f0 07; short 09 b0 00", 2},
    {"fault:9", "09 f0 | . | 09 b0 00", "garbage 09 f0; short 09 b0 00", 1},
    {"plc:9", ". | 09 b0 00", "short 09 b0 00", 1},
};

TEST(Framing, UnitsCutTheirOwnFramesOutOfTheStream) {
  for (const FramingCase& c : FramingCases) {
    SCOPED_TRACE(std::string(c.Unit) + ": " + c.Writes);
    const std::unique_ptr<UnitBase> unit = Made(c.Unit);
    if (KindOf(*unit) != UnitKind::Console) {
      EXPECT_TRUE(unit->OnHidReport(AsReport(Cmd2(9, 'R', 'I'))).empty());
    }
    std::size_t replies = 0;
    for (std::string_view write : SplitAt(c.Writes, '|')) {
      if (Words(write) == std::vector<std::string_view>{"."}) {
        unit->DropPartialFrame();
      } else {
        replies += unit->OnSerialBytes(FromHex(write)).size();
      }
    }
    EXPECT_EQ(Frames(*unit), c.Frames);
    EXPECT_EQ(replies, c.Replies);
  }
}

constexpr uint8_t Own = 5;
constexpr uint32_t LateMs = 250;

// One unit on one link: a read, a write that shows in the unit's state and
// leaves the read's reply as it was, and a command the unit does not know.
struct Rig {
  const char* Unit;
  Bytes Read, Write, Unknown;
  const char* Written;  // "FIELD VALUE" after the write
  Bytes Reply;          // the read's reply as the link carries it
  bool Hid = false;     // the console's USB link rather than its serial line
};

const Bytes Status = {Own, 0, 0x42, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
Bytes Short(uint8_t command, uint8_t argument) { return {Own, command, argument}; }

const Rig Serial[] = {
    {"console:5:switch=0x42", Cmd2(Own, 'R', 'I'), Cmd3(Own, 'X', 'S', 0x2C), Cmd3(Own, 'Q', 1, 2),
     "speaker 0x2c", Status},
    {"plc:5:main=0x34:channel=22/1", Short(0xB0, 0), Short(0xF0, 5), Short(0xA0, 5), "on 5 22",
     Short(0, 0x34)},
    {"fault:5:data=0x5a", Short(0xB0, 0), Short(0xF0, 7), Short(0x10, 3), "on 7", Short(0, 0x5A)},
};

// Every unit on its serial line, and the console on its USB link too.
std::vector<Rig> Rigs() {
  std::vector<Rig> rigs(std::begin(Serial), std::end(Serial));
  rigs.push_back(Serial[0]);
  rigs.back().Hid = true;
  rigs.back().Reply = AsInput(Status);
  return rigs;
}

// The frame for another address: after the header of a command frame,
// first in a short one.
Bytes To(uint8_t address, Bytes frame) {
  frame[frame.size() > 3 ? 2 : 0] = address;
  return frame;
}

std::string Name(const Rig& rig) { return rig.Unit + std::string(rig.Hid ? " over USB" : ""); }

// Frames for another address and commands a unit does not know are logged
// and left alone: they change nothing and use up no misbehaviour. The
// broadcast address 0 is answered as the unit's own, and a silenced unit
// still acts on what it hears.
TEST(Units, AnswerTheirOwnAndTheBroadcastAddressOnly) {
  for (const Rig& rig : Rigs()) {
    for (const int silent : {0, 1, -1}) {
      SCOPED_TRACE(Name(rig) + ", silent for " + std::to_string(silent));
      const std::unique_ptr<UnitBase> unit = Made(rig.Unit);
      const std::string field(Words(rig.Written)[0]), before = Get(*unit, field);
      unit->Misbehave(Misbehaviour::Silent, silent);
      EXPECT_TRUE(Send(*unit, To(Own + 1, rig.Write), rig.Hid).empty());
      EXPECT_TRUE(Send(*unit, rig.Unknown, rig.Hid).empty());
      EXPECT_EQ(Get(*unit, field), before);
      EXPECT_EQ(Send(*unit, To(0, rig.Write), rig.Hid).size(), silent == 0 ? 1u : 0u);
      ExpectState(*unit, rig.Written);
      if (silent < 0) unit->Misbehave(Misbehaviour::None);
      const std::vector<Emission> out = Send(*unit, To(0, rig.Read), rig.Hid);
      ASSERT_EQ(out.size(), 1u);
      EXPECT_EQ(HexBytes(out[0].Bytes), HexBytes(rig.Reply));
      EXPECT_EQ(unit->Received().size(), 4u);
    }
  }
}

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
  Misbehaviour How;
  int Count;
  std::vector<Outcome> Exchanges;
};

const Case Cases[] = {
    {Misbehaviour::Silent, 1, {Nothing, Normal, Normal}},
    {Misbehaviour::Silent, -1, {Nothing, Nothing, Nothing}},
    {Misbehaviour::ShortReply, 2, {Cut, Cut, Normal}},
    {Misbehaviour::OtherAddress, 1, {Foreign, Normal, Normal}},
    {Misbehaviour::Late, 1, {Delayed, Normal, Normal}},
    {Misbehaviour::Garbage, -1, {Junk, Junk, Junk}},
    {Misbehaviour::Vanish, 1, {Partial, Nothing, Nothing}},
};

void Check(Outcome outcome, const std::vector<Emission>& out, const Rig& rig, UnitBase& unit) {
  if (outcome == Nothing) {
    EXPECT_TRUE(out.empty());
    return;
  }
  ASSERT_EQ(out.size(), 1u);
  const Bytes& got = out[0].Bytes;
  const std::size_t addressAt = rig.Hid ? 1 : 0;
  Bytes expected = rig.Reply;
  EXPECT_EQ(out[0].DelayMs, outcome == Delayed ? LateMs : 0u);
  EXPECT_EQ(unit.Vanished(), outcome == Partial);
  if (outcome == Junk) {
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_NE(got[addressAt], Own);  // and so not the reply, which has it there
    return;
  }
  if (outcome == Cut) expected.pop_back();
  if (outcome == Foreign) expected[addressAt] = Own + 1;
  if (outcome == Partial) {
    ASSERT_FALSE(got.empty());
    ASSERT_LT(got.size(), expected.size());
    expected.resize(got.size());
  }
  EXPECT_EQ(HexBytes(got), HexBytes(expected));
}

TEST(Units, MisbehaviourBendsTheNextExchangesThenStops) {
  for (const Rig& rig : Rigs()) {
    for (const Case& c : Cases) {
      SCOPED_TRACE(Name(rig) + ", " + std::string(MisbehaviourName(c.How)) + " for " +
                   std::to_string(c.Count));
      const std::unique_ptr<UnitBase> unit = Made(rig.Unit);
      unit->Misbehave(c.How, c.Count, LateMs);
      for (const Outcome outcome : c.Exchanges)
        Check(outcome, Send(*unit, rig.Read, rig.Hid), rig, *unit);
      // A vanished unit took in nothing after it went.
      EXPECT_EQ(unit->Received().size(), c.How == Misbehaviour::Vanish ? 1 : c.Exchanges.size());
    }
    // Not even the rest of the write it vanished in, nor a half frame.
    if (rig.Hid) continue;
    const std::unique_ptr<UnitBase> unit = Made(rig.Unit);
    unit->Misbehave(Misbehaviour::Vanish);
    Bytes stream;
    for (int i = 0; i < 3; ++i) stream.insert(stream.end(), rig.Read.begin(), rig.Read.end());
    stream.pop_back();
    EXPECT_EQ(unit->OnSerialBytes(stream).size(), 1u);
    unit->DropPartialFrame();
    EXPECT_EQ(unit->Received().size(), 1u);
  }
}

}  // namespace
}  // namespace orvo::sim
