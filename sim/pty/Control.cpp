#include "sim/pty/Control.h"

#include <span>
#include <vector>

#include "sim/UnitFields.h"
#include "sim/UnitSetup.h"
#include "sim/Words.h"

namespace orvo::sim {
namespace {

std::string GetOrSet(UnitBase& unit, const std::vector<std::string_view>& words) {
  if (words.size() < 3) return "error expected a field name";
  const Field* field = FindField(KindOf(unit), words[2]);
  if (!field) return "error no field '" + std::string(words[2]) + "' on this unit";
  const bool set = words[0] == "set";
  if (set && !field->Set) return "error " + std::string(field->Name) + " is read-only";
  const std::optional<Numbers> numbers =
      TakeNumbers(std::span(words).subspan(3), set ? field->SetLimits : field->GetLimits);
  if (!numbers) return "error wrong numbers for " + std::string(field->Name);
  if (!set) return "ok " + field->Get(unit, *numbers);
  field->Set(unit, *numbers);
  return "ok";
}

std::string SetMisbehaviour(UnitBase& unit, const std::vector<std::string_view>& words) {
  if (words.size() < 3 || words.size() > 5)
    return "error expected: misbehave UNIT HOW [COUNT [LATE_MS]]";
  const std::optional<Misbehaviour> how = ParseMisbehaviour(words[2]);
  if (!how) return "error unknown misbehaviour '" + std::string(words[2]) + "'";
  const std::optional<long> count = words.size() > 3 ? ParseNumber(words[3]) : -1;
  const std::optional<long> lateMs = words.size() > 4 ? ParseNumber(words[4]) : 4000;
  if (!count || *count < -1 || *count > MaxMisbehaviourCount || !lateMs || *lateMs < 0 ||
      *lateMs > MaxLateMs)
    return "error bad count or delay";
  unit.Misbehave(*how, static_cast<int>(*count), static_cast<uint32_t>(*lateMs));
  return "ok";
}

std::string ListFrames(const UnitBase& unit) {
  std::string text = "ok " + std::to_string(unit.Received().size());
  for (const Frame& frame : unit.Received()) {
    text += "; " + std::string(FrameKindName(frame.Type));
    if (!frame.Bytes.empty()) text += " " + HexBytes(frame.Bytes);
  }
  return text;
}

}  // namespace

std::string RunControl(std::string_view line, const UnitsByName& units) {
  const std::vector<std::string_view> words = Words(line);
  if (words.empty()) return "error empty line";
  if (words[0] == "help") return "ok misbehave set get clear frames list help";
  if (words.size() < 2) return "error expected a unit name";
  const auto found = units.find(words[1]);
  if (found == units.end()) return "error no unit '" + std::string(words[1]) + "'";
  UnitBase& unit = *found->second;
  if (words[0] == "misbehave") return SetMisbehaviour(unit, words);
  if (words[0] == "set" || words[0] == "get") return GetOrSet(unit, words);
  if (words[0] == "frames" && words.size() == 2) return ListFrames(unit);
  if (words[0] == "clear" && words.size() == 2) {
    unit.ClearReceived();
    return "ok";
  }
  return "error unknown command '" + std::string(words[0]) + "'";
}

}  // namespace orvo::sim
