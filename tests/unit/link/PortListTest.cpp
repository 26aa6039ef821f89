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
  // clang-format off
  const std::pair<const char16_t*, int16_t> strings[] = {  // 0: skipped
      {u"COM1", 1}, {u"COM12", 12}, {u"COM123", 123},
      {u"COM1234", 1234},  // not cut to three digits
      {u"COM300", 300},    // not reduced modulo 256
      {u"COM32767", 32767}, {u"COM00007", 7}, {u"COM32768", 0}, {u"COM123456", 0}, {u"COM", 0},
      {u"com3", 0}, {u"COM12x", 0}, {u"COM0", 0}, {u"COM-1", 0}, {u"LPT1", 0}, {u"", 0},
  };
  // clang-format on
  for (const auto& [text, port] : strings) {
    const std::u16string_view shown = text;
    EXPECT_EQ(PortFromMapValue(StringValue(u"v", text)), port)
        << std::string(shown.begin(), shown.end());
  }
  PortMapValue oddBytes = StringValue(u"Odd", u"COM5");
  oddBytes.Data.resize(7);  // cut inside the digit: "COM" and half a character
  PortMapValue unterminated = StringValue(u"Raw", u"COM6");
  unterminated.Data.resize(unterminated.Data.size() - 2);
  PortMapValue expand = StringValue(u"Exp", u"COM8");
  expand.Type = REG_EXPAND_SZ;
  EXPECT_EQ(PortFromMapValue(DwordValue(u"Q", 3)), 0);
  EXPECT_EQ(PortFromMapValue(PortMapValue{u"Unreadable", REG_NONE, {}}), 0);
  EXPECT_EQ(PortFromMapValue(oddBytes), 0);
  EXPECT_EQ(PortFromMapValue(unterminated), 6);
  EXPECT_EQ(PortFromMapValue(expand), 0);
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
      // clang-format off
      {"16 values examined, COM16 beyond them", Numbered(20), 16, 17,
       {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}},
      {"3 values examined", Numbered(20), 3, 17, {0, 1, 2}},
      {"3 values examined of more handed back", Numbered(20), 3, 17, {0, 1, 2}, true},
      {"list shorter than the map", std::vector<PortMapValue>(10, StringValue(u"v", u"COM4")), 16,
       4, {0, 4, 4, 4}},
      // clang-format on
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
