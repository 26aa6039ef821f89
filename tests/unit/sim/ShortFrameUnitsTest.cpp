#include <gmock/gmock.h>

#include "sim/PlcTrainer.h"
#include "tests/unit/sim/SimTestSupport.h"

namespace orvo::sim {
namespace {

using testing::ElementsAreArray;

constexpr uint8_t Own = 3;

Bytes On(uint8_t channel) { return {Own, 0xF0, channel}; }
Bytes Off(uint8_t channel) { return {Own, 0xE0, channel}; }
const Bytes Read = {Own, 0xB0, 0};
const Bytes Clear = {Own, 0xC0, 0};

constexpr const char* Plc = "plc:3:main=0x34:external=0x1a";
constexpr const char* Fault = "fault:3:data=0x5a";

// Frames sent in order; the data byte answering the last one, and the
// channels on after.
struct Case {
  const char* Unit;
  std::vector<Bytes> Frames;
  uint8_t Data;
  const char* On;
};

const Case Cases[] = {
    {Plc, {On(5)}, 0, "5"},
    {Plc, {On(5), On(255), Off(5)}, 0, "255"},
    {Plc, {On(22), Read}, 0x34, "22"},
    {Plc, {On(23), Read}, 0x1A, "23"},
    {Plc, {On(23), On(22), Read}, 0x34, "22 23"},  // the main block wins
    {Plc, {Read}, 0xFF, "none"},                   // with no block selected the inputs float high
    // Clear keeps the block selects and the selector.
    {Plc, {On(0), On(21), On(22), On(27), On(28), On(200), Clear}, 0, "22 27"},
    {Fault, {On(7)}, 0, "7"},
    {Fault, {On(7), On(200), Off(7)}, 0, "200"},
    {Fault, {On(0), On(22), On(255), Clear}, 0, "none"},
    {Fault, {Read}, 0x5A, "none"},
};

TEST(ShortFrameUnits, SwitchChannelsAndReadData) {
  for (const Case& c : Cases) {
    SCOPED_TRACE(testing::Message() << c.Unit << ", case " << &c - Cases);
    const std::unique_ptr<UnitBase> unit = Made(c.Unit);
    std::vector<Emission> out;
    for (const Bytes& frame : c.Frames) out = unit->OnSerialBytes(frame);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(HexBytes(out[0].Bytes), HexBytes(Bytes{Own, 0, c.Data}));
    EXPECT_EQ(Get(*unit, "on"), c.On);
  }
}

// The frames the host sends to write one nibble: channels 24..27 in order.
void AppendNibble(Bytes& stream, uint8_t nibble) {
  for (uint8_t k = 0; k < 4; ++k) {
    const Bytes frame = (nibble >> k & 1) ? On(24 + k) : Off(24 + k);
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
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
     Join({{1, 2, 4, 8, 1}, Transfer(0x00F0), {5}}),
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
    PlcTrainer plc(Own);
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
    // The nibbles and values are history, which a long-running unit forgets.
    plc.ForgetHistory();
    ExpectState(plc, "nibbles none; processes none");
    EXPECT_EQ(plc.Selector(), c.Nibbles.back());
    EXPECT_EQ(Frames(plc), "");
  }
}

}  // namespace
}  // namespace orvo::sim
