#include <gmock/gmock.h>

#include "tests/unit/sim/SimTestSupport.h"

namespace orvo::sim {
namespace {

// Writes to the unit, "|" between them and "." for the line going quiet in
// between; the frames the unit took off the wire, and how many it answered.
struct Case {
  const char* Unit;
  const char* Writes;
  const char* Frames;
  std::size_t Replies;
};

const Case Cases[] = {
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
  for (const Case& c : Cases) {
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

}  // namespace
}  // namespace orvo::sim
