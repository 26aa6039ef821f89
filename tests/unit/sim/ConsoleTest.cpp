#include <gmock/gmock.h>

#include <functional>
#include <string>

#include "sim/Console.h"
#include "tests/unit/sim/SimTestSupport.h"

namespace orvo::sim {
namespace {

constexpr uint8_t kOwn = 5;

// Every field distinguishable, so a reply that reads the wrong one shows.
Console MakeConsole() {
  Console console(kOwn);
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
  return {kOwn, voltages, switches, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, control};
}

struct Case {
  const char* Name;
  Bytes Frame;  // serial command frame
  Bytes Reply;  // empty: the console stays silent
  std::function<void(Snapshot&)> Changes;
};

const Case kCases[] = {
    {"status read", Cmd2(kOwn, 'R', 'I'), Status(), {}},
    {"status read, Ex", Cmd2(kOwn, 'X', 'I'), Status(), {}},
    {"model", Cmd2(kOwn, 'X', 'M'), {kOwn, 7, 2, 1, 2, 13}, {}},
    {"channel 0x12", Cmd3(kOwn, 'X', 'C', 0x12), {kOwn, 0x01, 0x2C}, {}},
    {"channel 0x14", Cmd3(kOwn, 'X', 'C', 0x14), {kOwn, 0xAB, 0xCD}, {}},
    {"unset channel", Cmd3(kOwn, 'X', 'C', 0x99), {kOwn, 0, 0}, {}},
    {"start cai", Cmd2(kOwn, 'I', 'S'), {kOwn, 0}, [](Snapshot& s) { s.Cai = true; }},
    {"end cai", Cmd2(kOwn, 'I', 'E'), {kOwn, 0}, {}},
    {"negative -12", Cmd2(kOwn, '-', 0x20), Status(0x28), [](Snapshot& s) { s.Voltages = 0x28; }},
    {"positive 15", Cmd2(kOwn, '+', 0x04), Status(0x44), [](Snapshot& s) { s.Voltages = 0x44; }},
    {"negative code 0", Cmd2(kOwn, '-', 0x00), Status(0x08),
     [](Snapshot& s) { s.Voltages = 0x08; }},
    {"aux", Cmd3(kOwn, 'X', '+', 2), {kOwn, 0}, [](Snapshot& s) { s.Aux = 2; }},
    {"bncs", Cmd3(kOwn, 'X', 'B', 0x12), {kOwn, 0}, [](Snapshot& s) { s.Bncs = 0x12; }},
    {"speaker", Cmd3(kOwn, 'X', 'S', 0x2C), {kOwn, 0}, [](Snapshot& s) { s.Speaker = 0x2C; }},
    {"control byte", Cmd2(kOwn, 'F', 0xA9), Status(0x48, 0x81, 0xA9),
     [](Snapshot& s) { s.Control = 0xA9; }},
    {"switches", Cmd3(kOwn, 'P', 'S', 0x42), Status(0x48, 0x42),
     [](Snapshot& s) { s.Switches = 0x42; }},
    {"switches, Ex", Cmd3(kOwn, 'X', 'P', 0x42), Status(0x48, 0x42),
     [](Snapshot& s) { s.Switches = 0x42; }},
    {"fault item", Cmd2(kOwn, 0x47, 0x05), Status(),
     [](Snapshot& s) {
       s.Faults = {{0x47, 0x05}};
     }},
    {"unknown 'X' argument is a fault item", Cmd2(kOwn, 'X', 'Z'), Status(),
     [](Snapshot& s) {
       s.Faults = {{'X', 'Z'}};
     }},
    {"address query for me", Cmd3(0, 'A', 0xFF, kOwn), {kOwn, 0}, {}},
    {"address query for another", Cmd3(0, 'A', 0xFF, 6), {}, {}},
    {"link probe", Cmd2(kOwn, 'K', 'L'), {kOwn, 0}, {}},
    {"broadcast address", Cmd2(0, 'R', 'I'), Status(), {}},
    {"other unit's frame", Cmd3(6, 'P', 'S', 0x42), {}, {}},
    {"unknown length-3 command", Cmd3(kOwn, 'Q', 1, 2), {}, {}},
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
  for (const Case& c : kCases) {
    for (const bool hid : {false, true}) {
      SCOPED_TRACE(std::string(c.Name) + (hid ? " over hid" : " over serial"));
      Bytes sent = c.Frame;
      Bytes reply = c.Reply;
      if (hid) {
        sent.assign(Console::kHidReportSize, 0);
        std::copy(c.Frame.begin() + 2, c.Frame.end(), sent.begin() + 1);
        if (c.Frame[3] == 2) sent[5] = 0x78;
        if (!reply.empty()) {
          reply.assign(Console::kHidReportSize, 0);
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
  Bytes stream = Cmd2(kOwn, '-', 0x10);
  for (const Bytes& frame :
       {Cmd2(kOwn, '+', 0x08), Cmd3(kOwn, 'P', 'S', 0x06), Cmd2(kOwn, 'R', 'I')}) {
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  const std::vector<Emission> out = console.OnSerialBytes(stream);
  ASSERT_EQ(out.size(), 4u);
  EXPECT_EQ(Hex(out[3].Bytes), Hex(Status(0x18, 0x06)));
}

}  // namespace
}  // namespace orvo::sim
