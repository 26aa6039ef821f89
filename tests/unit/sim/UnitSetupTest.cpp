#include <gmock/gmock.h>

#include "tests/unit/sim/SimTestSupport.h"

namespace orvo::sim {
namespace {

// A description, and what it makes: "error: WHY", or the unit's kind,
// address and name, then each setting that is not the default.
struct Case {
  const char* Text;
  const char* Made;
  const char* State = "";  // "FIELD [INDEX] VALUE; ..." of the unit made
};

const Case Cases[] = {
    {"console:address=5", "console 5 console5"},
    {"plc:address=0x03:name=trainer:link=/tmp/com3", "plc 3 trainer link=/tmp/com3"},
    {"fault:address=9:misbehave=late:count=2:late-ms=300",
     "fault 9 fault9 late count=2 late-ms=300"},
    {"console:5:port=3:model=3:submodel=1:version=1.2.13:switch=0x42:control=0x81:neg=4:pos=9:"
     "channel=3/0x02A7:channel=4.100",
     "console 5 console5 port=3",
     "model 3; submodel 1; version 1.2.13; switch 0x42; control 0x81; neg 4; pos 9; "
     "channel 3 679; channel 4 100"},
    {"console:7:port=0", "console 7 console7 port=0"},
    {"plc:3:main=0x12:external=0x0C:channel=22/1:address=4", "plc 4 plc4",
     "main 0x12; external 0x0c; channel 22 1"},
    {"fault:9:data=0x5a:fault=7/1", "fault 9 fault9", "data 0x5a; fault 7 1; on 7"},
    {"printer:address=1", "error: unknown unit kind 'printer'"},
    {"console", "error: address=N is required"},
    {"console:address=256", "error: address must be 0..255"},
    {"console:300", "error: address must be 0..255"},
    {"console:address", "error: expected key=value, got 'address'"},
    {"console:5:7", "error: expected key=value, got '7'"},
    {"console:address=5:colour=red", "error: unknown key 'colour'"},
    {"console:address=5:misbehave=odd", "error: unknown misbehaviour 'odd'"},
    {"console:address=5:count=x", "error: count must be -1 or a number of exchanges"},
    {"console:5:model=256", "error: model takes a number 0..255"},
    {"console:5:version=1.2",
     "error: version takes 3 numbers 0..255 0..255 0..255, separated by '.' or '/'"},
    {"console:5:aux=1", "error: aux cannot be set"},
    {"console:5:main=1", "error: unknown key 'main'"},
    {"plc:3:port=0", "error: only the console has a USB link"},
    {"fault:9:port=40000", "error: port must be 0..32767"},
};

TEST(UnitSetup, ParsesTheUnitArgumentAndMakesTheUnitItDescribes) {
  for (const Case& c : Cases) {
    SCOPED_TRACE(c.Text);
    std::string error;
    const std::optional<UnitSetup> setup = ParseUnitSetup(c.Text, error);
    ASSERT_EQ(setup.has_value(), error.empty()) << error;
    if (!setup) {
      EXPECT_EQ("error: " + error, c.Made);
      continue;
    }
    const std::unique_ptr<UnitBase> unit = MakeUnit(*setup);
    const char* kinds[] = {"console", "plc", "fault"};
    std::string made =
        kinds[static_cast<int>(KindOf(*unit))] + (" " + Get(*unit, "address")) + " " + setup->Name;
    EXPECT_EQ(setup->Kind, KindOf(*unit));
    if (!setup->Link.empty()) made += " link=" + setup->Link;
    if (setup->Port) made += " port=" + std::to_string(*setup->Port);
    if (setup->How != Misbehaviour::None) made += " " + Get(*unit, "misbehaviour");
    if (setup->Count != -1) made += " count=" + std::to_string(setup->Count);
    if (setup->LateMs != 4000) made += " late-ms=" + std::to_string(setup->LateMs);
    EXPECT_EQ(made, c.Made);
    ExpectState(*unit, c.State);
  }
}

// Every unit's name, or what is wrong.
const std::pair<const char*, const char*> Lists[] = {
    {"console:5,plc:3,fault:4", "console5 plc3 fault4"},
    {" console:5:port=3 , fault:9 ", "console5 fault9"},
    {"plc:3", "plc3"},
    {"console:5,,fault:4", "error: unit 2 is empty"},
    {"console:5,", "error: unit 2 is empty"},
    {",", "error: unit 1 is empty"},
    {"console:5,plc:x", "error: unit 2 'plc:x': expected key=value, got 'x'"},
    {"console:5,plc:3:main=0x1ff", "error: unit 2 'plc:3:main=0x1ff': main takes a number 0..255"},
    {"lamp:1", "error: unit 1 'lamp:1': unknown unit kind 'lamp'"},
    {"console:5;plc:3", "error: unit 1 'console:5;plc:3': expected key=value, got '5;plc'"},
};

TEST(UnitSetup, ListsNameTheUnitThatIsWrong) {
  for (const auto& [text, expected] : Lists) {
    SCOPED_TRACE(text);
    std::string error;
    const auto setups = ParseUnitList(text, error);
    ASSERT_EQ(setups.has_value(), error.empty()) << error;
    std::string names = setups ? "" : "error: " + error;
    for (const UnitSetup& setup : setups.value_or(std::vector<UnitSetup>{})) {
      names += (names.empty() ? "" : " ") + setup.Name;
    }
    EXPECT_EQ(names, expected);
  }
}

}  // namespace
}  // namespace orvo::sim
