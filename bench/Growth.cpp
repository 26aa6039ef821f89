// How the cost of a list grows with its length, through the device classes
// on the in-memory bus: fault lists to all three classes and a switch list
// to the console. The bus's clock only counts the waits, so what is timed
// here is the module's own work (and the simulated units', which answer
// each frame), never a sleep.
//
//   orvo-growth [ITEMS...]    default 10 1000 100000 1000000
//
// One line a call and size: the call, items, milliseconds, nanoseconds an
// item, and the status, which must be 61 for the run to count.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

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

std::u16string Repeated(std::u16string_view item, long items) {
  std::u16string list;
  list.reserve(static_cast<std::size_t>(items) * (item.size() + 1));
  for (long i = 0; i < items; ++i) {
    if (i) list += u',';
    list += item;
  }
  return list;
}

// Fresh units and objects for every call, so that no call pays for the
// frames an earlier one left in a unit's record.
struct World {
  fake::Bus Bus;
  RegistryModel Registry;
  sim::Console Console{5};
  sim::PlcTrainer Trainer{3};
  sim::FaultUnit FaultUnit{9};
  CEcho Echo{Bus, Registry};
  CPlc Plc{Bus, Registry};
  CFault Fault{Bus, Registry};

  World() {
    Bus.AddSerialPort(1, &Console);
    Bus.AddSerialPort(2, &Trainer);
    Bus.AddSerialPort(3, &FaultUnit);
    Echo.put_Port(1);
    Echo.put_Address(5);
    Plc.put_Port(2);
    Plc.put_Address(3);
    Fault.put_Port(3);
    Fault.put_Address(9);
  }
};

struct Call {
  const char* Name;
  std::u16string_view Item;
  std::function<int16_t(World&, std::u16string_view)> Run;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
  if (sizes.empty()) sizes = {10, 1000, 100000, 1000000};
  const Call calls[] = {
      {"Echo.SetSwitches", u"DC1", [](World& w, std::u16string_view l) { return w.Echo.SetSwitches(l); }},
      {"Echo.SendFaults", u"4612", [](World& w, std::u16string_view l) { return w.Echo.SendFaults(l); }},
      {"Plc.SendFaults", u"F3", [](World& w, std::u16string_view l) { return w.Plc.SendFaults(l); }},
      {"Fault.SendFaults", u"F3", [](World& w, std::u16string_view l) { return w.Fault.SendFaults(l); }},
  };
  int failed = 0;
  for (const Call& call : calls) {
    for (long items : sizes) {
      const std::u16string list = Repeated(call.Item, items);
      World world;
      const auto start = std::chrono::steady_clock::now();
      const int16_t status = call.Run(world, list);
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
      if (status != StatusOk) ++failed;
      std::printf("%-18s %8ld items %10.3f ms %8.1f ns/item  status %d\n", call.Name, items,
                  took.count() * 1e3, items ? took.count() * 1e9 / items : 0.0, status);
    }
  }
  return failed == 0 ? 0 : 1;
}
