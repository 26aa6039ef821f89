// What the traces say a frame means: the console's command set on both
// links, the short frames as the PLC trainer and the fault unit take them,
// and frames that break every layout.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "protocol/FrameMeaning.h"

namespace orvo {
namespace {

std::vector<uint8_t> Bytes(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 3)
    bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

std::string Hid(const std::string& command) {
  std::string report = "00 " + command;
  while (report.size() < 17 * 3 - 1) report += " 00";
  return report;
}

TEST(FrameMeaning, ReadsEveryCommandAndReply) {
  struct Case {
    FrameAudience Audience;  // rows of one audience share a reader, in order
    std::string Sent, Reply, Meaning;
  };
  using enum FrameAudience;
  const Case cases[] = {
      {Any, "fe ff 05 02 52 49", "05 48 7e 00 00 00 00 00 00 00 00 00 00 29",
       "ReadStatus -> -15 V +24 V, AC1 DC1 AC2 DC2 SP3 DC3 on, control 0x29"},
      {Any, "fe ff 05 02 58 49", "05 9b a1 00 00 00 00 00 00 00 00 00 00 00",
       "ReadStatusEx -> 0 V 0 V, AC3 on, bits 0x81, control 0x00"},
      {Any, "fe ff 05 02 52 49", "05 48 7e", "ReadStatus"},  // short reply: nothing decoded
      {Any, "fe ff 05 02 58 4d", "05 03 01 01 02 0d",
       "ReadModel -> model 3, sub-model 1, version 1.2.13"},
      {Any, "fe ff 05 03 58 43 03", "05 02 a7", "ReadChannel pc 0 channel 3 -> 0x02a7 (679)"},
      {Any, "fe ff 05 02 49 53", "05 00", "StartCai"},
      {Any, "fe ff 05 02 49 45", "", "EndCai"},
      {Any, "fe ff 05 02 2d 20", "", "SetVoltages: negative -12 V"},
      {Any, "fe ff 05 02 2b 04", "", "SetVoltages: positive +15 V"},
      {Any, "fe ff 05 02 2b 00", "", "SetVoltages: positive 0 V"},
      {Any, "fe ff 05 02 2d 30", "", "SetVoltages: negative code 0x30"},
      {Any, "fe ff 05 02 2d 21", "", "SetVoltages: negative code 0x21"},
      {Any, "fe ff 05 03 58 2b 02", "", "SetAux 5"},
      {Any, "fe ff 05 03 58 2b 07", "", "SetAux: code 7"},
      {Any, "fe ff 05 03 58 42 23", "", "SetBncs: input 2, output 3"},
      {Any, "fe ff 05 03 58 53 2c", "", "SetSpeaker 44"},
      {Any, "fe ff 05 02 46 a9", "", "WriteControl 0xa9: keyboard on, faults on, warning off"},
      {Any, "fe ff 05 03 50 53 42", "05 00", "WriteSwitches: AC1 DC3 on"},
      {Any, "fe ff 05 03 58 50 a0", "", "WriteSwitchesEx: AC3 on, bits 0x80"},
      {Any, "fe ff 05 03 50 53 00", "", "WriteSwitches: all off"},
      {Any, "fe ff 00 03 41 ff 1f", "1f 00", "AddressQuery 31"},
      {Any, "fe ff 05 02 4b 4c", "06 00", "LinkProbe (reply from address 6)"},
      {Any, "fe ff 05 02 47 05", "", "SendFaults item 4705"},
      {Any, "fe ff 05 02 4a 63", "", "SendFaults item 4A99"},
      {Any, "fe ff 05 02 4a 64", "", "SendFaults item: command 0x4a, argument 100"},
      {Any, "fe ff 05 03 5a 21 03", "", "unknown command 0x5a 0x21 value 0x03"},
      // The HID report carries the same command after its report id.
      {Any, Hid("05 02 52 49 00"), "05 48 02 00 00 00 00 00 00 00 00 00 00 00",
       "ReadStatus -> -15 V +24 V, AC1 on, control 0x00"},
      {Any, Hid("05 03 58 43 12"), "", "ReadChannel pc 1 channel 2"},
      {Any, Hid("05 04 58 43 12"), "", "command with length byte 4"},
      {Any, "01" + Hid("05 02 52 49 00").substr(2), "", "HID report with id 0x01"},
      {Any, "fe ff 05 04 52 49", "", "command frame of 6 bytes with length byte 4"},
      {Any, "fe ff 05 03 52 49", "", "command frame of 6 bytes with length byte 3"},
      {Any, "fe fe 05 02 52 49", "", "not a frame (6 bytes)"},
      {Any, "", "", "not a frame (0 bytes)"},
      // Short frames, as the module sees them: no unit kind.
      {Any, "20 f0 16", "20 00 00", "On 22"},
      {Any, "20 b0 00", "20 00 14", "Read -> 0x14"},
      {Any, "20 b0 00", "21 00 14", "Read -> 0x14 (reply from address 33)"},
      {Any, "20 c0 00", "", "ClearFaults"},
      {Any, "20 5a 21", "", "unknown short command 0x5a 0x21"},
      // The PLC trainer: block selects, selector nibble, fault channels.
      {Plc, "20 b0 00", "20 00 ff", "Read (no block selected) -> 0xff"},
      {Plc, "20 f0 16", "", "On 22 (main block select)"},
      {Plc, "20 b0 00", "20 00 34", "Read main block -> 0x34: DC 0, Monitor 0, Selector 3"},
      {Plc, "20 b0 00", "20 00 2b", "Read main block -> 0x2b: DC 0, Monitor 1, Selector 0"},
      {Plc, "20 b0 00", "20 00 03", "Read main block -> 0x03: DC 1, Monitor 1, Selector 0"},
      // With both blocks selected the trainer reads the main one.
      {Plc, "20 f0 17", "", "On 23 (external block select)"},
      {Plc, "20 b0 00", "20 00 08", "Read main block -> 0x08: DC 1, Monitor 1, Selector 4"},
      {Plc, "20 e0 16", "", "Off 22 (main block select)"},
      {Plc, "20 b0 00", "20 00 1a", "Read external block -> 0x1a: Voltage 12, PC1 1, PC2 1"},
      {Plc, "20 b0 00", "20 00 03", "Read external block -> 0x03: Voltage 5, PC1 0, PC2 0"},
      {Plc, "20 e0 17", "", "Off 23 (external block select)"},
      {Plc, "20 e0 1b", "", "Off 27 (selector bit 3)"},
      {Plc, "20 f0 00", "", "Fault 1 on (channel 0)"},
      {Plc, "20 e0 ff", "", "Fault 0 off (channel 255)"},
      // The fault unit numbers its faults as the items do.
      {Fault, "21 f0 0c", "", "Fault 12 on"},
      {Fault, "21 e0 07", "", "Fault 7 off"},
      {Fault, "21 b0 00", "21 00 00", "Read -> 0x00"},
  };
  std::map<FrameAudience, FrameReader> readers;
  for (const Case& c : cases) {
    FrameReader& reader = readers.try_emplace(c.Audience, c.Audience).first->second;
    EXPECT_EQ(reader.Exchange(Bytes(c.Sent), Bytes(c.Reply)), c.Meaning) << c.Sent;
  }
}

// Whatever comes in, every reader answers with some text and touches no byte
// beyond the frame or the reply (the sanitizer build watches that).
TEST(FrameMeaning, GarbageOfEverySizeReadsAsText) {
  std::mt19937 random(1234);
  for (std::size_t size = 0; size <= 20; ++size) {
    for (int round = 0; round < 100; ++round) {
      std::vector<uint8_t> sent(size), reply(random() % 18);
      for (auto& b : sent) b = static_cast<uint8_t>(random());
      for (auto& b : reply) b = static_cast<uint8_t>(random());
      if (size >= 2 && round % 2) sent[0] = 0xFE, sent[1] = 0xFF;
      for (FrameAudience audience :
           {FrameAudience::Any, FrameAudience::Console, FrameAudience::Plc, FrameAudience::Fault}) {
        FrameReader reader(audience);
        EXPECT_FALSE(reader.Frame(sent).empty());
        EXPECT_FALSE(reader.Exchange(sent, reply).empty());
      }
    }
  }
}

}  // namespace
}  // namespace orvo
