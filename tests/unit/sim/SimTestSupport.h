#pragma once
// Frames as the host sends them, units as a description makes them, and
// what a unit took in and holds as orvo-sim's control lines show it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/HexText.h"
#include "sim/Console.h"
#include "sim/UnitSetup.h"
#include "sim/Words.h"

namespace orvo::sim {

using Bytes = std::vector<uint8_t>;

// Serial command frames as the link writes them.
inline Bytes Cmd2(uint8_t address, uint8_t code, uint8_t argument) {
  return {0xFE, 0xFF, address, 2, code, argument};
}
inline Bytes Cmd3(uint8_t address, uint8_t code, uint8_t argument, uint8_t value) {
  return {0xFE, 0xFF, address, 3, code, argument, value};
}

// The same command as the module sends it over the USB link: the report id
// in place of the header, the value byte always there (the module sends
// 0x78 with some length-2 commands, which must not matter), zero padded.
inline Bytes AsReport(const Bytes& frame) {
  Bytes report(Console::HidReportSize, 0);
  std::copy(frame.begin() + 2, frame.end(), report.begin() + 1);
  if (frame[3] == 2) report[5] = 0x78;
  return report;
}
// A serial reply as the input report that carries it.
inline Bytes AsInput(const Bytes& reply) {
  Bytes input(Console::HidReportSize, 0);
  std::copy(reply.begin(), reply.end(), input.begin() + 1);
  return input;
}

// A frame to a unit over its serial line, or over the console's USB link.
inline std::vector<Emission> Send(UnitBase& unit, const Bytes& frame, bool hid) {
  return hid ? unit.OnHidReport(AsReport(frame)) : unit.OnSerialBytes(frame);
}

// The nibbles of a process-value transfer to the PLC trainer, as the host
// clocks them: the opening, each bit (6 a one, 5 a zero) with 7 between
// them, and the end.
inline std::vector<uint8_t> Transfer(uint16_t value) {
  std::vector<uint8_t> nibbles = {1, 3, 7};
  for (int i = 0; i < 16; ++i) {
    nibbles.push_back(value >> (15 - i) & 1 ? 6 : 5);
    if (i != 15) nibbles.push_back(7);
  }
  nibbles.insert(nibbles.end(), {3, 2, 0});
  return nibbles;
}

// "fe ff 05": bytes as the traces print them.
inline Bytes FromHex(std::string_view text) {
  Bytes bytes;
  for (std::string_view word : Words(text)) bytes.push_back(std::stoi(std::string(word), 0, 16));
  return bytes;
}

// The unit a description such as "plc:3:main=0x34" makes.
inline std::unique_ptr<UnitBase> Made(std::string_view description) {
  std::string error;
  const std::optional<UnitSetup> setup = ParseUnitSetup(description, error);
  EXPECT_EQ(error, "") << description;
  return MakeUnit(setup.value());
}

// The frames a unit took in, "KIND HEX; ...", as 'frames UNIT' lists them.
inline std::string Frames(const UnitBase& unit) {
  std::string text;
  for (const Frame& frame : unit.Received()) {
    text += (text.empty() ? "" : "; ") + std::string(FrameKindName(frame.Type)) + " " +
            HexBytes(frame.Bytes);
  }
  return text;
}

// A unit's state as the control line 'get UNIT FIELD [INDEX]' shows it.
inline std::string Get(UnitBase& unit, std::string_view field, const Numbers& index = {}) {
  const Field* found = FindField(KindOf(unit), field);
  return found ? found->Get(unit, index) : "no field '" + std::string(field) + "'";
}

// Checks "FIELD [INDEX] VALUE; ..." against the unit.
inline void ExpectState(UnitBase& unit, std::string_view state) {
  for (std::string_view item : SplitAt(state, ';')) {
    const std::vector<std::string_view> words = Words(item);
    if (words.empty()) continue;
    const Field* field = FindField(KindOf(unit), words[0]);
    std::string expected(words[0]), shown(words[0]);
    Numbers index;
    for (std::size_t i = 1; i < words.size(); ++i) {
      expected += " " + std::string(words[i]);
      if (field && i > field->GetLimits.size()) continue;
      index.push_back(ParseNumber(words[i]).value_or(-1));
      shown += " " + std::string(words[i]);
    }
    EXPECT_EQ(shown + " " + Get(unit, words[0], index), expected);
  }
}

}  // namespace orvo::sim
