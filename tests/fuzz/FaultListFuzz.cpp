// Arbitrary lists, as a lesson script passes them, through the device
// classes to simulated units: fault lists to all three classes and switch
// lists to the console. The bus, the units and the objects are made once and
// put back to the same state for every input, so that a finding replays.
//
// Input: a byte that picks the call, the port the object starts from and
// the value of ChangeSwitch; a byte for the console's switches beforehand;
// then the list as UTF-16, two bytes a character, low byte first.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "devices/common/ListItems.h"
#include "devices/echo/Echo.h"
#include "devices/fault/Fault.h"
#include "devices/plc/Plc.h"
#include "sim/Console.h"
#include "sim/FaultUnit.h"
#include "sim/PlcTrainer.h"
#include "sim/bus/Bus.h"
#include "sim/bus/RegistryModel.h"

namespace {

using namespace orvo;

// Bits 1 to 6 of the console's switch byte, for SetSwitches and
// SetSwitchesEx.
constexpr std::array<std::u16string_view, 6> PlainNames{u"AC1", u"DC1", u"AC2",
                                                        u"DC2", u"SP3", u"DC3"};
constexpr std::array<std::u16string_view, 6> ExNames{u"AC1", u"DC1", u"AC2",
                                                     u"DC2", u"AC3", u"DC3"};

struct World {
  fake::Bus Bus;
  RegistryModel Registry;
  std::optional<sim::Console> Console;
  std::optional<sim::PlcTrainer> Trainer;
  std::optional<sim::FaultUnit> FaultUnit;
  CEcho Echo{Bus, Registry};
  CPlc Plc{Bus, Registry};
  CFault Fault{Bus, Registry};

  World() {
    Reset(0);
    Bus.AddSerialPort(1, &*Console);
    Bus.AddSerialPort(2, &*Trainer);
    Bus.AddSerialPort(3, &*FaultUnit);
    Bus.SetPortMap({fake::StringValue(u"a", u"COM1"), fake::StringValue(u"b", u"COM2"),
                    fake::StringValue(u"c", u"COM3"), fake::StringValue(u"d", u"COM4")});
    Echo.put_Address(5);
    Plc.put_Address(3);
    Fault.put_Address(9);
  }

  // Fresh units in the same places; nothing left on the lines.
  void Reset(uint8_t switches) {
    Console.emplace(5);
    Console->SetSwitchByte(switches);
    Trainer.emplace(3);
    FaultUnit.emplace(9);
    for (int port = 1; port <= 3; ++port) Bus.FlushSerial(port);
  }
};

// The unit's own port, another unit's, COM4 (in the map, nothing on it) or
// the USB link, which has no unit here.
int16_t StartPort(int16_t own, uint8_t choice) {
  const std::array<int16_t, 4> ports{own, static_cast<int16_t>(own % 3 + 1), 4, 0};
  return ports[choice % 4];
}

// Items joined again give the list back, less one trailing comma; blanks
// skipped are blanks, and what is left starts with none.
void CheckListItems(std::u16string_view list) {
  const std::vector<std::u16string_view> items = SplitList(list);
  std::u16string joined;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i].find(u',') != std::u16string_view::npos) std::abort();
    if (i > 0) joined += u',';
    joined += items[i];
  }
  const std::u16string_view whole = list.ends_with(u',') ? list.substr(0, list.size() - 1) : list;
  if (joined != whole || (list.empty() && !items.empty())) std::abort();
  for (std::u16string_view item : items) {
    for (std::u16string_view skipped : {std::u16string_view(u" "), std::u16string_view(u" ,")}) {
      const std::u16string_view rest = SkipLeading(item, skipped);
      if (!item.ends_with(rest)) std::abort();
      if (!rest.empty() && skipped.find(rest[0]) != std::u16string_view::npos) std::abort();
      const std::u16string_view gone = item.substr(0, item.size() - rest.size());
      if (gone.find_first_not_of(skipped) != std::u16string_view::npos) std::abort();
    }
  }
  for (char16_t c : list) {
    if (ItemHexDigit(c) > 15) std::abort();
  }
}

uint8_t SwitchBit(const std::array<std::u16string_view, 6>& names, std::u16string_view name) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return static_cast<uint8_t>(1u << (i + 1));
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static World world;
  if (size < 2) return 0;
  const uint8_t call = data[0] % 8;
  const uint8_t portChoice = (data[0] >> 3) % 4;
  const bool on = (data[0] & 0x80) != 0;
  const uint8_t before = data[1];
  std::u16string list;
  for (std::size_t i = 2; i + 1 < size; i += 2)
    list.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  CheckListItems(list);

  world.Reset(before);
  // The console's object writes its port through to the registry: only
  // when it changes, which keeps the registry out of most runs.
  if (const int16_t port = StartPort(1, portChoice); world.Echo.get_Port() != port)
    world.Echo.put_Port(port);
  world.Plc.put_Port(StartPort(2, portChoice));
  world.Fault.put_Port(StartPort(3, portChoice));
  const std::size_t items = SplitList(list).size();

  int16_t status = StatusOk;
  std::optional<uint8_t> switches;  // what the console's switch byte must be after a success
  const uint8_t kept = before & 0x81;
  switch (call) {
    case 0:
    case 1:
      status = world.Echo.SendFaults(list);
      break;
    case 2:
    case 3: {
      const auto& names = call == 2 ? PlainNames : ExNames;
      status = call == 2 ? world.Echo.SetSwitches(list) : world.Echo.SetSwitchesEx(list);
      uint8_t named = 0;
      for (std::u16string_view item : SplitList(list)) named |= SwitchBit(names, item);
      switches = static_cast<uint8_t>(kept | named);
      break;
    }
    case 4: {
      status = world.Echo.ChangeSwitch(list, on ? -1 : 0);
      const uint8_t bit = SwitchBit(PlainNames, list);
      switches = static_cast<uint8_t>(on ? (before | bit) : (before & ~bit));
      break;
    }
    case 5:
    case 6:
      status = world.Plc.SendFaults(list);
      break;
    case 7:
      status = world.Fault.SendFaults(list);
      break;
  }

  if (status != StatusOk && status != StatusFailed && status != StatusBadFaultItem) std::abort();
  if (status == StatusBadFaultItem && (switches || items == 0)) std::abort();
  if (switches && status == StatusOk && world.Console->SwitchByte() != *switches) std::abort();
  // Every call lets go of its port, and a short-frame unit takes at most
  // one frame for each item from its own object: nothing is resent to a
  // unit that answers.
  if (world.Bus.OpenHandles() != 0) std::abort();
  if (call >= 5 && call <= 6 && world.Trainer->Received().size() > items) std::abort();
  if (call == 7 && world.FaultUnit->Received().size() > items) std::abort();
  return 0;
}
