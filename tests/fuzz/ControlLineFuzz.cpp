// Arbitrary control lines, as a test's socket sends them to orvo-sim, run
// against a console, a PLC trainer and a fault unit in memory. Lines
// starting with byte 01 or 02 are not control lines but bytes for a unit
// (the next byte picks it) on its serial line or, for 02, as a HID report,
// so that the frame log has something in it.
//
// Each reply is one line that starts with "ok" or "error", and what a set
// or a misbehave says "ok" to, a get reads back.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/Console.h"
#include "sim/FaultUnit.h"
#include "sim/PlcTrainer.h"
#include "sim/UnitFields.h"
#include "sim/Words.h"
#include "sim/pty/Control.h"

namespace {

using namespace orvo::sim;

void Check(bool holds) {
  if (!holds) std::abort();
}

std::string Run(std::string_view line, const UnitsByName& units) {
  std::string reply = RunControl(line, units);
  Check(reply == "ok" || reply.starts_with("ok ") || reply.starts_with("error "));
  Check(reply.find('\n') == std::string::npos);
  return reply;
}

// A set that took its numbers, read back with all but the last of them.
void CheckReadBack(const std::vector<std::string_view>& words, const UnitsByName& units) {
  const Field* field = FindField(KindOf(*units.find(words[1])->second), words[2]);
  Check(field != nullptr);
  if (field->GetLimits.size() + 1 != field->SetLimits.size()) return;
  std::string get = "get";
  for (std::size_t i = 1; i + 1 < words.size(); ++i) get += " " + std::string(words[i]);
  const std::string reply = Run(get, units);
  Check(reply.starts_with("ok ") && ParseNumber(reply.substr(3)) == ParseNumber(words.back()));
}

// A unit told to misbehave for some exchanges, or for good, says so.
void CheckMisbehaving(const std::vector<std::string_view>& words, const UnitsByName& units) {
  const bool none = words[2] == "none" || (words.size() > 3 && ParseNumber(words[3]) == 0);
  const std::string get = "get " + std::string(words[1]) + " misbehaviour";
  Check(Run(get, units) == "ok " + std::string(none ? "none" : words[2]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // Fresh units in the same places for every input, so that a finding
  // replays on its own.
  static std::optional<Console> console;
  static std::optional<PlcTrainer> plc;
  static std::optional<FaultUnit> fault;
  console.emplace(5);
  plc.emplace(3);
  fault.emplace(9);
  static const std::array<UnitBase*, 3> byIndex{&*console, &*plc, &*fault};
  static const UnitsByName units = {{"console5", &*console}, {"plc3", &*plc}, {"fault9", &*fault}};

  const std::string_view input(reinterpret_cast<const char*>(data), size);
  for (std::string_view line : SplitAt(input, '\n')) {
    if (!line.empty() && (line[0] == '\x01' || line[0] == '\x02')) {
      if (line.size() < 2) continue;
      UnitBase& unit = *byIndex[static_cast<uint8_t>(line[1]) % byIndex.size()];
      const std::span<const uint8_t> wire(reinterpret_cast<const uint8_t*>(line.data()) + 2,
                                          line.size() - 2);
      if (line[0] == '\x01') {
        unit.OnSerialBytes(wire);
      } else {
        std::array<uint8_t, Console::HidReportSize> report{};
        std::copy_n(wire.begin(), std::min(wire.size(), report.size()), report.begin());
        unit.OnHidReport(report);
      }
      continue;
    }
    const std::string reply = Run(line, units);
    const std::vector<std::string_view> words = Words(line);
    if (reply == "ok" && words[0] == "set") CheckReadBack(words, units);
    if (reply == "ok" && words[0] == "misbehave") CheckMisbehaving(words, units);
  }
  return 0;
}
