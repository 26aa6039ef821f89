#include <gmock/gmock.h>

#include <functional>
#include <string>

#include "sim/Console.h"
#include "tests/unit/sim/SimTestSupport.h"

namespace orvo::sim {
namespace {

constexpr uint8_t Own = 5;

// Every field distinguishable, so a reply that reads the wrong one shows.
Console MakeConsole() {
  Console console(Own);
  console.SetVoltageNibbles(4, 8);
  console.SetSwitchByte(0x81);
  console.SetControlByte(0x29);
  console.SetModel(7, 2);
  console.SetVersion(1, 2, 13);
  console.SetChannel(0x12, 300);
  console.SetChannel(0x14, 0xABCD);
  return console;
}

struct Snapshot {
  uint8_t Voltages, Switches, Control, Aux, Bncs, Speaker;
  bool Cai;
  std::vector<FaultItem> Faults;
  bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const Console& c) {
  return {static_cast<uint8_t>(c.NegativeNibble() << 4 | c.PositiveNibble()),
          c.SwitchByte(),
          c.ControlByte(),
          c.Aux(),
          c.Bncs(),
          c.Speaker(),
          c.CaiStarted(),
          c.Faults()};
}

Bytes Status(uint8_t voltages = 0x48, uint8_t switches = 0x81, uint8_t control = 0x29) {
  return {Own, voltages, switches, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, control};
}

struct Case {
  const char* Name;
  Bytes Frame;  // serial command frame
  Bytes Reply;  // empty: the console stays silent
  std::function<void(Snapshot&)> Changes;
};

const Case Cases[] = {
    {"status read", Cmd2(Own, 'R', 'I'), Status(), {}},
    {"status read, Ex", Cmd2(Own, 'X', 'I'), Status(), {}},
    {"model", Cmd2(Own, 'X', 'M'), {Own, 7, 2, 1, 2, 13}, {}},
    {"channel 0x12", Cmd3(Own, 'X', 'C', 0x12), {Own, 0x01, 0x2C}, {}},
    {"channel 0x14", Cmd3(Own, 'X', 'C', 0x14), {Own, 0xAB, 0xCD}, {}},
    {"unset channel", Cmd3(Own, 'X', 'C', 0x99), {Own, 0, 0}, {}},
    {"start cai", Cmd2(Own, 'I', 'S'), {Own, 0}, [](Snapshot& s) { s.Cai = true; }},
    {"end cai", Cmd2(Own, 'I', 'E'), {Own, 0}, {}},
    {"negative -12", Cmd2(Own, '-', 0x20), Status(0x28), [](Snapshot& s) { s.Voltages = 0x28; }},
    {"positive 15", Cmd2(Own, '+', 0x04), Status(0x44), [](Snapshot& s) { s.Voltages = 0x44; }},
    {"negative code 0", Cmd2(Own, '-', 0x00), Status(0x08), [](Snapshot& s) { s.Voltages = 0x08; }},
    {"aux", Cmd3(Own, 'X', '+', 2), {Own, 0}, [](Snapshot& s) { s.Aux = 2; }},
    {"bncs", Cmd3(Own, 'X', 'B', 0x12), {Own, 0}, [](Snapshot& s) { s.Bncs = 0x12; }},
    {"speaker", Cmd3(Own, 'X', 'S', 0x2C), {Own, 0}, [](Snapshot& s) { s.Speaker = 0x2C; }},
    {"control byte", Cmd2(Own, 'F', 0xA9), Status(0x48, 0x81, 0xA9),
     [](Snapshot& s) { s.Control = 0xA9; }},
    {"switches", Cmd3(Own, 'P', 'S', 0x42), Status(0x48, 0x42),
     [](Snapshot& s) { s.Switches = 0x42; }},
    {"switches, Ex", Cmd3(Own, 'X', 'P', 0x42), Status(0x48, 0x42),
     [](Snapshot& s) { s.Switches = 0x42; }},
    {"fault item", Cmd2(Own, 0x47, 0x05), Status(),
     [](Snapshot& s) {
       s.Faults = {{0x47, 0x05}};
     }},
    {"unknown 'X' argument is a fault item", Cmd2(Own, 'X', 'Z'), Status(),
     [](Snapshot& s) {
       s.Faults = {{'X', 'Z'}};
     }},
    {"address query for me", Cmd3(0, 'A', 0xFF, Own), {Own, 0}, {}},
    {"address query for another", Cmd3(0, 'A', 0xFF, 6), {}, {}},
    {"link probe", Cmd2(Own, 'K', 'L'), {Own, 0}, {}},
    {"broadcast address", Cmd2(0, 'R', 'I'), Status(), {}},
    {"other unit's frame", Cmd3(6, 'P', 'S', 0x42), {}, {}},
    {"unknown length-3 command", Cmd3(Own, 'Q', 1, 2), {}, {}},
};

Snapshot Expected(const Case& c) {
  Snapshot expected = Take(MakeConsole());
  if (c.Changes) c.Changes(expected);
  return expected;
}

// Each command goes over both links. Over HID the value byte is always sent
// (the module sends 0x78 with some length-2 commands, which must not matter),
// and the reply comes back after the report id, zero padded to 17 bytes.
TEST(Console, AnswersEachCommandOverBothLinksAndKeepsItsState) {
  for (const Case& c : Cases) {
    for (const bool hid : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (hid ? " over hid" : " over serial"));
      Bytes sent = c.Frame;
      Bytes reply = c.Reply;
      if (hid) {
        sent.assign(Console::HidReportSize, 0);
        std::copy(c.Frame.begin() + 2, c.Frame.end(), sent.begin() + 1);
        if (c.Frame[3] == 2) sent[5] = 0x78;
        if (!reply.empty()) {
          reply.assign(Console::HidReportSize, 0);
          std::copy(c.Reply.begin(), c.Reply.end(), reply.begin() + 1);
        }
      }
      Console console = MakeConsole();
      const std::vector<Emission> out =
          hid ? console.OnHidReport(sent) : console.OnSerialBytes(sent);
      if (reply.empty()) {
        EXPECT_TRUE(out.empty());
      } else {
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(Hex(out[0].Bytes), Hex(reply));
        EXPECT_EQ(out[0].DelayMs, 0u);
      }
      EXPECT_EQ(Take(console), Expected(c));
      EXPECT_THAT(
          console.Received(),
          testing::ElementsAre(Frame{hid ? Frame::Kind::HidReport : Frame::Kind::Command, sent}));
    }
  }
}

TEST(Console, ReadModifyWriteSequenceSeesItsOwnWrites) {
  Console console = MakeConsole();
  Bytes stream = Cmd2(Own, '-', 0x10);
  for (const Bytes& frame :
       {Cmd2(Own, '+', 0x08), Cmd3(Own, 'P', 'S', 0x06), Cmd2(Own, 'R', 'I')}) {
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  const std::vector<Emission> out = console.OnSerialBytes(stream);
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(Hex(out[3].Bytes), Hex(Status(0x18, 0x06)));
}

}  // namespace
}  // namespace orvo::sim
