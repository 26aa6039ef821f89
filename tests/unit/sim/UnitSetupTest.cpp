#include <gmock/gmock.h>

#include "sim/UnitSetup.h"
#include "sim/Words.h"

namespace orvo::sim {
namespace {

struct SetupCase {
  const char* Text;
  const char* Error;  // empty: parses
  UnitKind Kind = UnitKind::Console;
  uint8_t Address = 0;
  const char* Name = "";
  const char* Link = "";
  Misbehaviour How = Misbehaviour::None;
  int Count = -1;
  uint32_t LateMs = 4000;
  std::optional<int> Port = std::nullopt;
  // "FIELD VALUE; ..." as the control line 'get UNIT FIELD' reads the made unit.
  const char* State = "";
};

const SetupCase Setups[] = {
    {"console:address=5", "", UnitKind::Console, 5, "console5"},
    {"plc:address=0x03:name=trainer:link=/tmp/com3", "", UnitKind::Plc, 3, "trainer", "/tmp/com3"},
    {"fault:address=9:misbehave=late:count=2:late-ms=300", "", UnitKind::Fault, 9, "fault9", "",
     Misbehaviour::Late, 2, 300},
    {"console:5:port=3:model=3:submodel=1:version=1.2.13:switch=0x42:control=0x81:neg=4:pos=9:"
     "channel=3/0x02A7:channel=4.100",
     "", UnitKind::Console, 5, "console5", "", Misbehaviour::None, -1, 4000, 3,
     "model 3; submodel 1; version 1.2.13; switch 0x42; control 0x81; neg 4; pos 9; "
     "channel 3 679; channel 4 100"},
    {"console:7:port=0", "", UnitKind::Console, 7, "console7", "", Misbehaviour::None, -1, 4000, 0},
    {"plc:3:main=0x12:external=0x0C:channel=22/1:address=4", "", UnitKind::Plc, 4, "plc4", "",
     Misbehaviour::None, -1, 4000, std::nullopt, "main 0x12; external 0x0c; channel 22 1"},
    {"fault:9:data=0x5a:fault=7/1", "", UnitKind::Fault, 9, "fault9", "", Misbehaviour::None, -1,
     4000, std::nullopt, "data 0x5a; fault 7 1; on 7"},
    {"printer:address=1", "unknown unit kind 'printer'"},
    {"console", "address=N is required"},
    {"console:address=256", "address must be 0..255"},
    {"console:300", "address must be 0..255"},
    {"console:address", "expected key=value, got 'address'"},
    {"console:5:7", "expected key=value, got '7'"},
    {"console:address=5:colour=red", "unknown key 'colour'"},
    {"console:address=5:misbehave=odd", "unknown misbehaviour 'odd'"},
    {"console:address=5:count=x", "count must be -1 or a number of exchanges"},
    {"console:5:model=256", "model takes a number 0..255"},
    {"console:5:version=1.2",
     "version takes 3 numbers 0..255 0..255 0..255, separated by '.' or '/'"},
    {"console:5:aux=1", "aux cannot be set"},
    {"console:5:main=1", "unknown key 'main'"},
    {"plc:3:port=0", "only the console has a USB link"},
    {"fault:9:port=40000", "port must be 0..32767"},
};

TEST(UnitSetup, ParsesTheUnitArgumentAndMakesTheUnitItDescribes) {
  for (const SetupCase& c : Setups) {
    SCOPED_TRACE(c.Text);
    std::string error;
    const std::optional<UnitSetup> setup = ParseUnitSetup(c.Text, error);
    EXPECT_EQ(error, c.Error);
    ASSERT_EQ(setup.has_value(), error.empty());
    if (!setup) continue;
    EXPECT_EQ(setup->Kind, c.Kind);
    EXPECT_EQ(setup->Address, c.Address);
    EXPECT_EQ(setup->Name, c.Name);
    EXPECT_EQ(setup->Link, c.Link);
    EXPECT_EQ(setup->How, c.How);
    EXPECT_EQ(setup->Count, c.Count);
    EXPECT_EQ(setup->LateMs, c.LateMs);
    EXPECT_EQ(setup->Port, c.Port);

    const std::unique_ptr<UnitBase> unit = MakeUnit(*setup);
    EXPECT_EQ(unit->Address(), c.Address);
    EXPECT_EQ(unit->Misbehaving(), c.How);
    std::string state;
    for (std::string_view item : SplitAt(c.State, ';')) {
      if (item.empty()) continue;
      const std::vector<std::string_view> words = Words(item);
      const Field* field = FindField(c.Kind, words[0]);
      ASSERT_NE(field, nullptr) << words[0];
      Numbers index;
      for (std::size_t i = 1; i + 1 < words.size(); ++i) index.push_back(*ParseNumber(words[i]));
      EXPECT_EQ(field->Get(*unit, index), words.back()) << item;
    }
  }
}

struct ListCase {
  const char* Text;
  const char* Error;
  const char* Names = "";  // every unit's name, blank-separated
};

const ListCase Lists[] = {
    {"console:5,plc:3,fault:4", "", "console5 plc3 fault4"},
    {" console:5:port=3 , fault:9 ", "", "console5 fault9"},
    {"plc:3", "", "plc3"},
    {"console:5,,fault:4", "unit 2 is empty"},
    {"console:5,", "unit 2 is empty"},
    {"console:5,plc:x", "unit 2 'plc:x': expected key=value, got 'x'"},
    {"console:5,plc:3:main=0x1ff", "unit 2 'plc:3:main=0x1ff': main takes a number 0..255"},
    {"lamp:1", "unit 1 'lamp:1': unknown unit kind 'lamp'"},
};

TEST(UnitSetup, ListsNameTheUnitThatIsWrong) {
  for (const ListCase& c : Lists) {
    SCOPED_TRACE(c.Text);
    std::string error;
    const auto setups = ParseUnitList(c.Text, error);
    EXPECT_EQ(error, c.Error);
    ASSERT_EQ(setups.has_value(), error.empty());
    if (!setups) continue;
    std::string names;
    for (const UnitSetup& setup : *setups) names += (names.empty() ? "" : " ") + setup.Name;
    EXPECT_EQ(names, c.Names);
  }
}

}  // namespace
}  // namespace orvo::sim
