#include <gmock/gmock.h>

#include "sim/Console.h"
#include "sim/FaultUnit.h"
#include "tests/unit/sim/SimTestSupport.h"

namespace orvo::sim {
namespace {

using Kind = Frame::Kind;

// An empty chunk stands for the line going quiet (DropPartialFrame).
struct Case {
  const char* Name;
  std::vector<Bytes> Chunks;
  std::vector<Frame> Log;
  std::size_t Replies;
};

const Bytes Read = Cmd2(5, 'R', 'I');
const Bytes Switch = Cmd3(5, 'P', 'S', 0x42);

const Case ConsoleCases[] = {
    {"whole frame", {Read}, {{Kind::Command, Read}}, 1},
    {"byte by byte", {{0xFE}, {0xFF}, {5}, {2}, {'R'}, {'I'}}, {{Kind::Command, Read}}, 1},
    {"joined frames",
     {{0xFE, 0xFF, 5, 2, 'R', 'I', 0xFE, 0xFF, 5, 3, 'P', 'S', 0x42}},
     {{Kind::Command, Read}, {Kind::Command, Switch}},
     2},
    {"second frame split across chunks",
     {{0xFE, 0xFF, 5, 2, 'R', 'I', 0xFE, 0xFF, 5}, {3, 'P', 'S', 0x42}},
     {{Kind::Command, Read}, {Kind::Command, Switch}},
     2},
    {"garbage before a frame",
     {{1, 2, 0xFE, 0xFF, 5, 2, 'R', 'I'}},
     {{Kind::Garbage, {1, 2}}, {Kind::Command, Read}},
     1},
    {"stray FE before the header",
     {{0xFE, 0xFE, 0xFF, 5, 2, 'R', 'I'}},
     {{Kind::Garbage, {0xFE}}, {Kind::Command, Read}},
     1},
    {"FE at the end of a chunk is held back",
     {{1, 0xFE}, {0xFF, 5, 2, 'R', 'I'}},
     {{Kind::Garbage, {1}}, {Kind::Command, Read}},
     1},
    {"FE not followed by FF", {{0xFE, 0x00}}, {{Kind::Garbage, {0xFE, 0x00}}}, 0},
    {"undefined length byte",
     {{0xFE, 0xFF, 5, 9, 'R', 'I', 0xFE, 0xFF, 5, 2, 'R', 'I'}},
     {{Kind::Garbage, {0xFE, 0xFF, 5, 9, 'R', 'I'}}, {Kind::Command, Read}},
     1},
    {"idle line drops half a frame",
     {{0xFE, 0xFF, 5}, {}, Read},
     {{Kind::Garbage, {0xFE, 0xFF, 5}}, {Kind::Command, Read}},
     1},
};

const Bytes FaultOn = {9, 0xF0, 7};
const Bytes FaultRead = {9, 0xB0, 0};

const Case ShortCases[] = {
    {"whole frame", {FaultOn}, {{Kind::Short, FaultOn}}, 1},
    {"split and joined",
     {{9, 0xF0}, {7, 9}, {0xB0, 0}},
     {{Kind::Short, FaultOn}, {Kind::Short, FaultRead}},
     2},
    {"idle line brings a shifted stream back into step",
     {{9, 0xF0}, {}, FaultRead},
     {{Kind::Garbage, {9, 0xF0}}, {Kind::Short, FaultRead}},
     1},
    {"idle line with nothing pending", {{}, FaultRead}, {{Kind::Short, FaultRead}}, 1},
};

void Feed(UnitBase& unit, const Case& c) {
  SCOPED_TRACE(c.Name);
  std::size_t replies = 0;
  for (const Bytes& chunk : c.Chunks) {
    if (chunk.empty()) {
      unit.DropPartialFrame();
    } else {
      replies += unit.OnSerialBytes(chunk).size();
    }
  }
  EXPECT_THAT(unit.Received(), testing::ElementsAreArray(c.Log));
  EXPECT_EQ(replies, c.Replies);
}

TEST(Framing, ConsoleResynchronisesOnTheHeader) {
  for (const Case& c : ConsoleCases) {
    Console console(5);
    Feed(console, c);
  }
}

// A short-frame unit is not on the HID bus: a report leaves no trace in its log.
TEST(Framing, ShortFramesAreCutEveryThreeBytes) {
  for (const Case& c : ShortCases) {
    FaultUnit unit(9);
    EXPECT_TRUE(unit.OnHidReport(Bytes(17, 0)).empty());
    Feed(unit, c);
  }
}

}  // namespace
}  // namespace orvo::sim
