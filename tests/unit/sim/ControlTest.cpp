#include <gmock/gmock.h>

#include "sim/pty/Control.h"
#include "tests/unit/sim/SimTestSupport.h"

namespace orvo::sim {
namespace {

// Lines and their replies, run in order against the same units, so a set
// is seen by the gets after it.
const std::pair<const char*, const char*> Script[] = {
    {"set console5 switch 0x42", "ok"},
    {"get console5 switch", "ok 0x42"},
    {"set console5 pos 9", "ok"},
    {"set console5 neg 4", "ok"},
    {"get console5 neg", "ok 4"},
    {"get console5 pos", "ok 9"},
    {"set console5 channel 18 300", "ok"},
    {"get console5 channel 18", "ok 300"},
    {"get console5 channel 19", "ok 0"},
    {"set console5 switch 256", "error wrong numbers for switch"},
    {"set console5 switch", "error wrong numbers for switch"},
    {"set console5 aux 1", "error aux is read-only"},
    {"get console5 faults", "ok none"},
    {"get console5 main", "error no field 'main' on this unit"},
    {"set plc3 address 4", "ok"},
    {"get plc3 address", "ok 4"},
    {"set plc3 main 0x34", "ok"},
    {"get plc3 main", "ok 0x34"},
    {"get plc3 process", "ok none"},
    {"set plc3 channel 24 1", "ok"},
    {"get plc3 selector", "ok 0x01"},
    {"set fault9 fault 7 1", "ok"},
    {"set fault9 fault 200 1", "ok"},
    {"get fault9 on", "ok 7 200"},
    {"set fault9 fault 7 0", "ok"},
    {"get fault9 on", "ok 200"},
    {"set fault9 data 0x5a", "ok"},
    {"misbehave console5 silent", "ok"},
    {"get console5 misbehaviour", "ok silent"},
    {"misbehave console5 sideways", "error unknown misbehaviour 'sideways'"},
    {"misbehave plc3 late 1 300", "ok"},
    // The bounds of --unit's count= and late-ms=: beyond them a number would
    // wrap into another count (4294967296 into 0, behaving) or delay.
    {"misbehave fault9 late 1000000 3600000", "ok"},
    {"get fault9 misbehaviour", "ok late"},
    {"misbehave fault9 silent 4294967296", "error bad count or delay"},
    {"misbehave fault9 silent 1000001", "error bad count or delay"},
    {"misbehave fault9 late 1 4294967297", "error bad count or delay"},
    {"misbehave fault9 late 1 3600001", "error bad count or delay"},
    {"get fault9 misbehaviour", "ok late"},
    {"misbehave fault9 none", "ok"},
    {"frames fault9", "ok 0"},
    {"clear fault9", "ok"},
    {"get nobody switch", "error no unit 'nobody'"},
    {"", "error empty line"},
    {"bogus console5", "error unknown command 'bogus'"},
};

TEST(Control, LinesSetAndReadUnitState) {
  const std::unique_ptr<UnitBase> console = Made("console:5"), plc = Made("plc:3"),
                                  fault = Made("fault:9");
  const UnitsByName units = {
      {"console5", console.get()}, {"plc3", plc.get()}, {"fault9", fault.get()}};
  for (const auto& [line, reply] : Script) EXPECT_EQ(RunControl(line, units), reply) << line;

  // What the lines set is what the units answer with.
  // Silent until told otherwise.
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(console->OnSerialBytes(Cmd2(5, 'R', 'I')).empty());
  EXPECT_EQ(RunControl("misbehave console5 none", units), "ok");
  const std::vector<Emission> status = console->OnSerialBytes(Cmd2(5, 'R', 'I'));
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].Bytes[1], 0x49);
  EXPECT_EQ(status[0].Bytes[2], 0x42);
  const std::vector<Emission> read = fault->OnSerialBytes(Bytes{9, 0xB0, 0});
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(HexBytes(read[0].Bytes), "09 00 5a");
  EXPECT_EQ(RunControl("frames fault9", units), "ok 1; short 09 b0 00");
  EXPECT_TRUE(plc->OnSerialBytes(Bytes{3, 0xF0, 5}).empty());
  const std::vector<Emission> late = plc->OnSerialBytes(Bytes{4, 0xF0, 5});
  ASSERT_EQ(late.size(), 1u);
  EXPECT_EQ(late[0].DelayMs, 300u);
}

}  // namespace
}  // namespace orvo::sim
