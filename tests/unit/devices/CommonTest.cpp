// The pieces the device classes share: the remembered port in the registry,
// the list splitter and the fault-item digits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/common/ListItems.h"
#include "devices/common/Settings.h"
#include "sim/bus/RegistryDump.h"
#include "sim/bus/RegistryModel.h"

namespace orvo::test {
namespace {

constexpr const char16_t* SettingsPath =
    u"Software\\OrvoCorp\\Controls\\Cai\\OrvoTrainer\\Immediate";

std::string Settings(RegistryModel& model) {
  return DumpRegistryTree(model, RegCurrentUser, SettingsPath);
}

void Store(RegistryModel& model, DWORD type, std::vector<uint8_t> bytes) {
  RegKey key = 0;
  ASSERT_EQ(
      model.CreateKeyEx(RegCurrentUser, SettingsPath, nullptr, 0, KeyReadWrite, &key, nullptr),
      ERROR_SUCCESS);
  ASSERT_EQ(model.SetValueEx(key, u"TarnPort", type, bytes.data(), DWORD(bytes.size())),
            ERROR_SUCCESS);
  model.CloseKey(key);
}

// The console's tests cover names, strings, negative ports and a refusing
// registry; these are the size rules.
TEST(RememberedPort, OnlyAFourByteDwordIsTaken) {
  struct Case {
    const char* Name;
    DWORD Type;  // REG_NONE: no value stored
    std::vector<uint8_t> Stored;
    int16_t PortAfter;  // the object's port was 7 before the load
    std::string SettingsAfter;
  } cases[] = {
      {"missing", REG_NONE, {}, 7, "TarnPort = REG_DWORD 7\n"},
      {"high bits set", REG_DWORD, {5, 0, 0x34, 0x12}, 5, "TarnPort = REG_DWORD 305397765\n"},
      {"short dword", REG_DWORD, {3, 0}, 7, "TarnPort = REG_DWORD 7\n"},
      {"long binary", REG_BINARY, {3, 0, 0, 0, 0, 0, 0, 0}, 7, "TarnPort = REG_DWORD 7\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    RegistryModel model;
    if (c.Type != REG_NONE) Store(model, c.Type, c.Stored);
    int16_t port = 7;
    LoadOrRememberPort(model, u"TarnPort", port);
    EXPECT_EQ(port, c.PortAfter);
    EXPECT_EQ(Settings(model), c.SettingsAfter);
    EXPECT_EQ(model.OpenHandleCount(), 0u);
  }
}

TEST(ListItems, SplitsAtEachCommaOnly) {
  struct Case {
    std::u16string_view List;
    std::vector<std::u16string_view> Items;
  } cases[] = {
      {{}, {}},
      {u"AC1, DC1,", {u"AC1", u" DC1"}},
      {u",F1,,F2", {u"", u"F1", u"", u"F2"}},
      {u",", {u""}},
      {u"F1, ", {u"F1", u" "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.List.begin(), c.List.end()));
    EXPECT_EQ(SplitList(c.List), c.Items);
  }
}

TEST(ListItems, FaultItemPieces) {
  EXPECT_EQ(SkipLeading(u"  4612 ", u" "), u"4612 ");
  EXPECT_EQ(SkipLeading(u" , F3", u" "), u", F3");
  EXPECT_EQ(SkipLeading(u" , F3", u" ,"), u"F3");
  EXPECT_EQ(SkipLeading(u" ,", u" ,"), u"");
  struct Digit {
    char16_t C;
    uint8_t Hex, Decimal;
  } digits[] = {{u'0', 0, 0},     {u'9', 9, 9},          {u'A', 10, 0x11},
                {u'F', 15, 0x16}, {u'a', 0, 0x31},       {u'G', 0, 0x17},
                {u' ', 0, 0xF0},  {u'\u0141', 10, 0x11}, {u'\u0130', 0, 0x00}};
  for (const Digit& d : digits) {
    SCOPED_TRACE(int(d.C));
    EXPECT_EQ(ItemHexDigit(d.C), d.Hex);
    EXPECT_EQ(ItemDecimalDigit(d.C), d.Decimal);
  }
}

}  // namespace
}  // namespace orvo::test
