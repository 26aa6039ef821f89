// The serial-port list: which map values become ports, and how many values
// are looked at.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "link/Comm.h"
#include "platform/WinTypes.h"
#include "platform/fake/FakePlatform.h"

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

TEST(PortList, HidFirstThenPortsInMapOrder) {
  fake::FakePlatform os;
  os.SetPortMap({StringValue(u"\\Device\\Serial2", u"COM9"), DwordValue(u"x", 4),
                 StringValue(u"\\Device\\Serial0", u"COM1"), StringValue(u"y", u"COM12x"),
                 StringValue(u"\\Device\\Serial1", u"COM300")});
  CComm link(os);
  std::array<int16_t, 17> ports{};
  ASSERT_EQ(link.ListSerialPorts(16, ports), 4);
  EXPECT_EQ((std::vector<int16_t>(ports.begin(), ports.begin() + 4)),
            (std::vector<int16_t>{0, 9, 1, 300}));
}

TEST(PortList, OnlyTheFirstValuesAreExamined) {
  fake::FakePlatform os;
  std::vector<PortMapValue> map;
  map.push_back(DwordValue(u"broken", 1));  // uses up budget without giving a port
  for (int i = 1; i <= 19; ++i) {
    std::u16string name = u"COM";
    for (char digit : std::to_string(i)) name.push_back(static_cast<char16_t>(digit));
    map.push_back(StringValue(u"v", name));
  }
  os.SetPortMap(map);
  CComm link(os);
  std::array<int16_t, 17> ports{};
  EXPECT_EQ(link.ListSerialPorts(16, ports), 16) << "16 values examined, 15 of them ports";
  EXPECT_EQ(ports[15], 15);
  EXPECT_EQ(ports[16], 0) << "COM16 lies beyond the values examined";
  std::array<int16_t, 17> few{};
  EXPECT_EQ(link.ListSerialPorts(3, few), 3);
  EXPECT_EQ(few[3], 0) << "nothing stored past the examined values";
}

TEST(PortList, NeverWritesPastTheList) {
  fake::FakePlatform os;
  std::vector<PortMapValue> map(10, StringValue(u"v", u"COM4"));
  os.SetPortMap(map);
  CComm link(os);
  std::array<int16_t, 6> storage{-7, -7, -7, -7, -7, -7};
  EXPECT_EQ(link.ListSerialPorts(16, std::span<int16_t>(storage).first(4)), 4);
  EXPECT_EQ(storage[4], -7);
}

TEST(PortList, MissingOrEmptyMapGivesHidOnly) {
  for (bool present : {false, true}) {
    fake::FakePlatform os;
    if (present)
      os.SetPortMap({});
    else
      os.RemovePortMap();
    CComm link(os);
    std::array<int16_t, 17> ports;
    ports.fill(-1);
    EXPECT_EQ(link.ListSerialPorts(16, ports), 1);
    EXPECT_EQ(ports[0], 0);
    EXPECT_EQ(ports[1], -1);
  }
}

}  // namespace
}  // namespace orvo
