// Arbitrary ORVOTRAINER_SIMULATE values: the unit list parsed, each unit
// made, and the module's simulated platform built from the same text. The
// variable is whatever a user typed, so it must never crash the module, and
// what it sets up must hang together: each description becomes one unit of
// its kind at its address, and no two units share a COM port.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "link/Comm.h"
#include "sim/UnitSetup.h"
#include "sim/Words.h"
#include "sim/bus/Bus.h"
#include "sim/inprocess/SimulatedPlatform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace orvo;
  static fake::Bus system;  // the simulated platform only sleeps through it
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  std::string error;
  const auto setups = sim::ParseUnitList(text, error);
  bool clash = false;
  std::size_t serial = 0;
  if (setups) {
    if (setups->size() != sim::SplitAt(text, ',').size()) std::abort();
    std::set<int> asked;
    for (const sim::UnitSetup& setup : *setups) {
      if (setup.Name.empty() || (setup.Port && (*setup.Port < 0 || *setup.Port > 32767)))
        std::abort();
      if (setup.Port == 0 && setup.Kind != sim::UnitKind::Console) std::abort();
      if (setup.Port != 0) ++serial;
      if (setup.Port > 0) clash |= !asked.insert(*setup.Port).second;
      // Misbehaving for no exchanges at all is behaving.
      const auto how = setup.Count == 0 ? sim::Misbehaviour::None : setup.How;
      const auto unit = sim::MakeUnit(setup);
      if (unit->Address() != setup.Address || sim::KindOf(*unit) != setup.Kind ||
          unit->Misbehaving() != how)
        std::abort();
    }
  } else if (error.empty()) {
    std::abort();
  }

  // Whatever the module would run on: every serial unit in the port map,
  // each on a port of its own, or nothing at all and the reason why.
  SimulatedPlatform simulated(system, text);
  if (simulated.Problem().empty() != (setups && !clash)) std::abort();
  std::vector<int16_t> ports(256);
  const int count = CComm(simulated).ListSerialPorts(255, ports);
  const std::size_t listed = simulated.Problem().empty() ? std::min<std::size_t>(serial, 255) : 0;
  if (count != static_cast<int>(listed) + 1) std::abort();
  const std::set<int16_t> distinct(ports.begin() + 1, ports.begin() + count);
  if (distinct.size() != listed || distinct.count(0) != 0) std::abort();
  return 0;
}
