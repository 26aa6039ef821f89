#include "server/objects/ModulePlatform.h"

#include <optional>
#include <string>

#include "platform/win32/Environment.h"
#include "sim/inprocess/SimulatedPlatform.h"

namespace orvo {
namespace {

// The variable's text; nothing when it is unset or empty. Only ASCII means
// anything in a unit description, so anything else becomes '?', which the
// parser then reports.
std::optional<std::string> EnvironmentText(const wchar_t* name) {
  const std::optional<std::wstring> value = EnvironmentValue(name);
  if (!value) return std::nullopt;
  std::string text;
  for (wchar_t c : *value) text.push_back(c < 0x80 ? char(c) : '?');
  return text;
}

// Read once, when the first object is made: a lesson does not change
// between real and simulated units halfway through.
Platform& Chosen(Platform& system) {
  const std::optional<std::string> units = EnvironmentText(L"ORVOTRAINER_SIMULATE");
  if (!units) return system;
  static SimulatedPlatform simulated(system, *units);
  return simulated;
}

}  // namespace

Platform& ModulePlatform() {
  static Platform& chosen = Chosen(SystemPlatform());
  return chosen;
}

}  // namespace orvo
