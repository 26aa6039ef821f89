#include <gmock/gmock.h>

#include "sim/FaultUnit.h"
#include "sim/PlcTrainer.h"
#include "tests/unit/sim/SimTestSupport.h"

namespace orvo::sim {
namespace {

using testing::ElementsAreArray;

constexpr uint8_t Plc = 3;
constexpr uint8_t Fault = 9;

Bytes On(uint8_t address, uint8_t channel) { return {address, 0xF0, channel}; }
Bytes Off(uint8_t address, uint8_t channel) { return {address, 0xE0, channel}; }
Bytes Read(uint8_t address) { return {address, 0xB0, 0}; }
Bytes Clear(uint8_t address) { return {address, 0xC0, 0}; }

// Frames sent in order; the reply to the last one and the channels on after.
struct Case {
  const char* Name;
  std::vector<Bytes> Frames;
  Bytes LastReply;  // empty: silent
  std::vector<uint8_t> OnAfter;
};

void Feed(ShortFrameUnit& unit, const Case& c) {
  SCOPED_TRACE(c.Name);
  std::vector<Emission> out;
  for (const Bytes& frame : c.Frames) out = unit.OnSerialBytes(frame);
  if (c.LastReply.empty()) {
    EXPECT_TRUE(out.empty());
  } else {
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(Hex(out[0].Bytes), Hex(c.LastReply));
  }
  EXPECT_THAT(unit.OnChannels(), ElementsAreArray(c.OnAfter));
}

const Case PlcCases[] = {
    {"on", {On(Plc, 5)}, {Plc, 0, 0}, {5}},
    {"off", {On(Plc, 5), On(Plc, 255), Off(Plc, 5)}, {Plc, 0, 0}, {255}},
    {"read main block", {On(Plc, 22), Read(Plc)}, {Plc, 0, 0x34}, {22}},
    {"read external block", {On(Plc, 23), Read(Plc)}, {Plc, 0, 0x1A}, {23}},
    {"main wins over external", {On(Plc, 23), On(Plc, 22), Read(Plc)}, {Plc, 0, 0x34}, {22, 23}},
    {"nothing selected", {Read(Plc)}, {Plc, 0, PlcTrainer::NothingSelected}, {}},
    {"clear keeps selects and selector",
     {On(Plc, 0), On(Plc, 21), On(Plc, 22), On(Plc, 27), On(Plc, 28), On(Plc, 200), Clear(Plc)},
     {Plc, 0, 0},
     {22, 27}},
    {"broadcast address", {On(0, 5)}, {Plc, 0, 0}, {5}},
    {"other unit's frame", {On(4, 5)}, {}, {}},
    {"unknown command", {{Plc, 0xA0, 5}}, {}, {}},
};

const Case FaultCases[] = {
    {"fault in", {On(Fault, 7)}, {Fault, 0, 0}, {7}},
    {"fault out", {On(Fault, 7), On(Fault, 200), Off(Fault, 7)}, {Fault, 0, 0}, {200}},
    {"clear takes all out",
     {On(Fault, 0), On(Fault, 22), On(Fault, 255), Clear(Fault)},
     {Fault, 0, 0},
     {}},
    {"read", {Read(Fault)}, {Fault, 0, 0x5A}, {}},
    {"broadcast address", {On(0, 3)}, {Fault, 0, 0}, {3}},
    {"other unit's frame", {On(8, 3)}, {}, {}},
    {"unknown command", {{Fault, 0x10, 3}}, {}, {}},
};

TEST(ShortFrameUnits, AnswerShortFrames) {
  for (const Case& c : PlcCases) {
    PlcTrainer plc(Plc);
    plc.SetMainBlock(0x34);
    plc.SetExternalBlock(0x1A);
    Feed(plc, c);
  }
  for (const Case& c : FaultCases) {
    FaultUnit unit(Fault);
    unit.SetData(0x5A);
    Feed(unit, c);
  }
}

// The frames the host sends to write one nibble: channels 24..27 in order.
void AppendNibble(Bytes& stream, uint8_t nibble) {
  for (uint8_t k = 0; k < 4; ++k) {
    const Bytes frame = (nibble >> k & 1) ? On(Plc, 24 + k) : Off(Plc, 24 + k);
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
}

// The nibbles of a process-value transfer, as the host clocks it.
std::vector<uint8_t> Transfer(uint16_t value) {
  std::vector<uint8_t> nibbles = {1, 3, 7};
  for (int i = 0; i < 16; ++i) {
    nibbles.push_back(value >> (15 - i) & 1 ? 6 : 5);
    if (i != 15) nibbles.push_back(7);
  }
  nibbles.insert(nibbles.end(), {3, 2, 0});
  return nibbles;
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<uint8_t> Without(std::vector<uint8_t> nibbles, std::size_t at) {
  nibbles.erase(nibbles.begin() + static_cast<std::ptrdiff_t>(at));
  return nibbles;
}

struct ProcessCase {
  const char* Name;
  std::vector<uint8_t> Nibbles;
  std::vector<uint16_t> Values;
  int Broken;
};

const ProcessCase ProcessCases[] = {
    {"bits 15 and 0", Transfer(0x8001), {0x8001}, 0},
    {"all zero", Transfer(0x0000), {0x0000}, 0},
    {"all one", Transfer(0xFFFF), {0xFFFF}, 0},
    {"two transfers", Join({Transfer(0x1234), Transfer(0xBEEF)}), {0x1234, 0xBEEF}, 0},
    {"selector writes around a transfer",
     Join({{1, 2, 4, 1, 8}, Transfer(0x00F0), {5}}),
     {0x00F0},
     0},
    {"missing separator, then a good transfer",
     Join({Without(Transfer(0x1111), 4), Transfer(0x2222)}),
     {0x2222},
     1},
    {"wrong end pattern", Join({Without(Transfer(0x1111), 35)}), {}, 1},
    {"start only", {1, 3, 7}, {}, 0},
};

TEST(PlcTrainer, DecodesTheClockedProcessValue) {
  for (const ProcessCase& c : ProcessCases) {
    SCOPED_TRACE(c.Name);
    PlcTrainer plc(Plc);
    Bytes stream;
    for (uint8_t nibble : c.Nibbles) AppendNibble(stream, nibble);
    EXPECT_EQ(plc.OnSerialBytes(stream).size(), stream.size() / 3);
    EXPECT_THAT(plc.Nibbles(), ElementsAreArray(c.Nibbles));
    EXPECT_THAT(plc.ProcessValues(), ElementsAreArray(c.Values));
    EXPECT_EQ(plc.BrokenTransfers(), c.Broken);
    // The selector is the raw last nibble, its bits on channels 24..27.
    EXPECT_EQ(plc.Selector(), c.Nibbles.back());
    std::vector<uint8_t> on;
    for (uint8_t k = 0; k < 4; ++k) {
      if (c.Nibbles.back() >> k & 1) on.push_back(24 + k);
    }
    EXPECT_THAT(plc.OnChannels(), ElementsAreArray(on));
    if (!c.Values.empty()) {
      EXPECT_EQ(plc.LastProcessValue(), c.Values.back());
    }
  }
}

}  // namespace
}  // namespace orvo::sim
