#include <gmock/gmock.h>

#include <map>
#include <string>

#include "tests/unit/sim/SimTestSupport.h"

namespace orvo::sim {
namespace {

constexpr uint8_t Own = 5;

// Every field distinguishable, so a reply that reads the wrong one shows.
constexpr const char* Distinguishable =
    "console:5:neg=4:pos=8:switch=0x81:control=0x29:model=7:submodel=2:version=1.2.13:"
    "channel=0x12/300:channel=0x14/0xabcd";

// What the commands can change, field by field.
std::map<std::string, std::string> State(UnitBase& console) {
  std::map<std::string, std::string> state;
  for (const char* field :
       {"neg", "pos", "switch", "control", "aux", "bncs", "speaker", "cai", "faults"}) {
    state[field] = Get(console, field);
  }
  return state;
}

Bytes Status(uint8_t voltages = 0x48, uint8_t switches = 0x81, uint8_t control = 0x29) {
  return {Own, voltages, switches, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, control};
}

struct Case {
  const char* Name;
  Bytes Frame;          // serial command frame
  Bytes Reply;          // empty: the console stays silent
  const char* Changes;  // "FIELD VALUE; ..." that differ afterwards
};

const Case Cases[] = {
    {"status read", Cmd2(Own, 'R', 'I'), Status(), ""},
    {"status read, Ex", Cmd2(Own, 'X', 'I'), Status(), ""},
    {"model", Cmd2(Own, 'X', 'M'), {Own, 7, 2, 1, 2, 13}, ""},
    {"channel 0x12", Cmd3(Own, 'X', 'C', 0x12), {Own, 0x01, 0x2C}, ""},
    {"channel 0x14", Cmd3(Own, 'X', 'C', 0x14), {Own, 0xAB, 0xCD}, ""},
    {"unset channel", Cmd3(Own, 'X', 'C', 0x99), {Own, 0, 0}, ""},
    {"start cai", Cmd2(Own, 'I', 'S'), {Own, 0}, "cai 1"},
    {"end cai", Cmd2(Own, 'I', 'E'), {Own, 0}, ""},
    {"negative -12", Cmd2(Own, '-', 0x20), Status(0x28), "neg 2"},
    {"positive 15", Cmd2(Own, '+', 0x04), Status(0x44), "pos 4"},
    {"negative code 0", Cmd2(Own, '-', 0x00), Status(0x08), "neg 0"},
    {"aux", Cmd3(Own, 'X', '+', 2), {Own, 0}, "aux 0x02"},
    {"bncs", Cmd3(Own, 'X', 'B', 0x12), {Own, 0}, "bncs 0x12"},
    {"speaker", Cmd3(Own, 'X', 'S', 0x2C), {Own, 0}, "speaker 0x2c"},
    {"control byte", Cmd2(Own, 'F', 0xA9), Status(0x48, 0x81, 0xA9), "control 0xa9"},
    {"switches", Cmd3(Own, 'P', 'S', 0x42), Status(0x48, 0x42), "switch 0x42"},
    {"switches, Ex", Cmd3(Own, 'X', 'P', 0x42), Status(0x48, 0x42), "switch 0x42"},
    {"fault item", Cmd2(Own, 0x47, 0x05), Status(), "faults 0x47:0x05"},
    {"unknown 'X' argument is a fault item", Cmd2(Own, 'X', 'Z'), Status(), "faults 0x58:0x5a"},
    {"address query for me", Cmd3(0, 'A', 0xFF, Own), {Own, 0}, ""},
    {"address query for another", Cmd3(0, 'A', 0xFF, 6), {}, ""},
    {"link probe", Cmd2(Own, 'K', 'L'), {Own, 0}, ""},
};

// Each command goes over both links; over HID the reply comes back after
// the report id, zero padded to 17 bytes.
TEST(Console, AnswersEachCommandOverBothLinksAndKeepsItsState) {
  for (const Case& c : Cases) {
    for (const bool hid : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (hid ? " over hid" : " over serial"));
      const std::unique_ptr<UnitBase> console = Made(Distinguishable);
      std::map<std::string, std::string> expected = State(*console);
      for (std::string_view change : SplitAt(c.Changes, ';')) {
        const std::vector<std::string_view> words = Words(change);
        if (!words.empty()) expected[std::string(words[0])] = words[1];
      }
      const std::vector<Emission> out = Send(*console, c.Frame, hid);
      if (c.Reply.empty()) {
        EXPECT_TRUE(out.empty());
      } else {
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(HexBytes(out[0].Bytes), HexBytes(hid ? AsInput(c.Reply) : c.Reply));
        EXPECT_EQ(out[0].DelayMs, 0u);
      }
      EXPECT_EQ(State(*console), expected);
      EXPECT_EQ(Frames(*console),
                hid ? "hid " + HexBytes(AsReport(c.Frame)) : "command " + HexBytes(c.Frame));
      // The fault items are history, which a long-running unit forgets.
      console->ForgetHistory();
      expected["faults"] = "none";
      EXPECT_EQ(State(*console), expected);
      EXPECT_EQ(Frames(*console), "");
    }
  }
}

TEST(Console, ReadModifyWriteSequenceSeesItsOwnWrites) {
  const std::unique_ptr<UnitBase> console = Made(Distinguishable);
  Bytes stream = Cmd2(Own, '-', 0x10);
  for (const Bytes& frame :
       {Cmd2(Own, '+', 0x08), Cmd3(Own, 'P', 'S', 0x06), Cmd2(Own, 'R', 'I')}) {
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  const std::vector<Emission> out = console->OnSerialBytes(stream);
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(HexBytes(out[3].Bytes), HexBytes(Status(0x18, 0x06)));
}

}  // namespace
}  // namespace orvo::sim
