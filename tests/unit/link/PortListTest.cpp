// The serial-port list: which map values become ports, and how many values
// are looked at.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "link/Comm.h"
#include "platform/WinTypes.h"
#include "sim/bus/FakePlatform.h"

namespace orvo {
namespace {

using fake::DwordValue;
using fake::StringValue;

TEST(PortList, MapValuesToPorts) {
  struct Case {
    PortMapValue Value;
    int16_t Port;  // 0: skipped
  };
  PortMapValue oddBytes = StringValue(u"Odd", u"COM5");
  oddBytes.Data.resize(7);  // cut inside the digit: "COM" and half a character
  PortMapValue unterminated = StringValue(u"Raw", u"COM6");
  unterminated.Data.resize(unterminated.Data.size() - 2);
  PortMapValue expand = StringValue(u"Exp", u"COM8");
  expand.Type = REG_EXPAND_SZ;
  const Case cases[] = {
      {StringValue(u"A", u"COM1"), 1},
      {StringValue(u"B", u"COM12"), 12},
      {StringValue(u"C", u"COM123"), 123},
      {StringValue(u"D", u"COM1234"), 1234},  // not cut to three digits
      {StringValue(u"E", u"COM300"), 300},    // not reduced modulo 256
      {StringValue(u"F", u"COM32767"), 32767},
      {StringValue(u"G", u"COM00007"), 7},
      {StringValue(u"H", u"COM32768"), 0},
      {StringValue(u"I", u"COM123456"), 0},
      {StringValue(u"J", u"COM"), 0},
      {StringValue(u"K", u"com3"), 0},
      {StringValue(u"L", u"COM12x"), 0},
      {StringValue(u"M", u"COM0"), 0},
      {StringValue(u"N", u"COM-1"), 0},
      {StringValue(u"O", u"LPT1"), 0},
      {StringValue(u"P", u""), 0},
      {DwordValue(u"Q", 3), 0},
      {PortMapValue{u"Unreadable", REG_NONE, {}}, 0},
      {oddBytes, 0},
      {unterminated, 6},
      {expand, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(PortFromMapValue(c.Value), c.Port) << c.Value.Data.size();
}

std::vector<PortMapValue> Numbered(std::size_t count) {
  std::vector<PortMapValue> map = {DwordValue(u"broken", 1)};  // examined, gives no port
  for (std::size_t i = 1; i < count; ++i) {
    std::u16string name = u"COM";
    for (char digit : std::to_string(i)) name.push_back(static_cast<char16_t>(digit));
    map.push_back(StringValue(u"v", name));
  }
  return map;
}

// The HID entry first, then the ports in map order; only the first `Maximum`
// values are examined and nothing is written past the count or the list.
TEST(PortList, HidFirstThenTheExaminedValuesInMapOrder) {
  constexpr int16_t Untouched = -7;
  struct Case {
    const char* Name;
    std::optional<std::vector<PortMapValue>> Map;  // nullopt: no map at all
    uint8_t Maximum;
    std::size_t Room;
    std::vector<int16_t> Listed;
    bool PlatformIgnoresLimit = false;
  };
  const Case cases[] = {
      {"map order, odd values skipped",
       std::vector{StringValue(u"\\Device\\Serial2", u"COM9"), DwordValue(u"x", 4),
                   StringValue(u"\\Device\\Serial0", u"COM1"), StringValue(u"y", u"COM12x"),
                   StringValue(u"\\Device\\Serial1", u"COM300")},
       16,
       17,
       {0, 9, 1, 300}},
      {"16 values examined, COM16 beyond them",
       Numbered(20),
       16,
       17,
       {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
      {"3 values examined", Numbered(20), 3, 17, {0, 1, 2}},
      {"3 values examined of more handed back", Numbered(20), 3, 17, {0, 1, 2}, true},
      {"list shorter than the map",
       std::vector<PortMapValue>(10, StringValue(u"v", u"COM4")),
       16,
       4,
       {0, 4, 4, 4}},
      {"empty map", std::vector<PortMapValue>{}, 16, 17, {0}},
      {"missing map", std::nullopt, 16, 17, {0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    fake::FakePlatform os;
    os.PortMapIgnoresLimit = c.PlatformIgnoresLimit;
    if (c.Map) {
      os.SetPortMap(*c.Map);
    } else {
      os.RemovePortMap();
    }
    CComm link(os);
    std::vector<int16_t> storage(c.Room + 1, Untouched);
    EXPECT_EQ(link.ListSerialPorts(c.Maximum, std::span<int16_t>(storage).first(c.Room)),
              static_cast<int>(c.Listed.size()));
    std::vector<int16_t> expected = c.Listed;
    expected.resize(storage.size(), Untouched);
    EXPECT_EQ(storage, expected);
  }
}

}  // namespace
}  // namespace orvo
