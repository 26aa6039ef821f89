#include "devices/common/ModulePlatform.h"

#include <optional>
#include <string>

#include "link/TracedPlatform.h"
#include "platform/Environment.h"
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

// The file named by ORVOTRAINER_TRACE, one line at a time.
class TraceFile final : public TraceOutput {
 public:
  explicit TraceFile(std::wstring path) : Path(std::move(path)) {}
  TraceTime Now() override {
    const LocalTime t = LocalTimeNow();
    return {t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second, t.Millisecond};
  }
  void Write(std::string_view line) override { AppendLine(Path, line); }

 private:
  std::wstring Path;
};

// Read once, when the first object is made: a lesson does not change
// between real and simulated units, or start or stop its trace, halfway
// through. What is made here lives as long as the module, like the objects
// using it.
Platform& Compose() {
  Platform* chosen = &SystemPlatform();
  static std::optional<SimulatedPlatform> simulated;
  if (const std::optional<std::string> units = EnvironmentText(L"ORVOTRAINER_SIMULATE")) {
    simulated.emplace(*chosen, *units);
    chosen = &*simulated;
  }
  static std::optional<TraceFile> file;
  static std::optional<TracedPlatform> traced;
  try {
    if (std::optional<std::wstring> path = EnvironmentValue(L"ORVOTRAINER_TRACE")) {
      file.emplace(std::move(*path));
      traced.emplace(*chosen, *file);
      chosen = &*traced;
      if (simulated) traced->Note(simulated->Announcement());
    }
  } catch (...) {
    // No memory for the path: no trace, and the lesson goes on.
  }
  return *chosen;
}

}  // namespace

Platform& ModulePlatform() {
  static Platform& chosen = Compose();
  return chosen;
}

}  // namespace orvo
