#pragma once
// The process environment, read in one place: the module's opt-in switches
// (the wire trace, the simulation mode) come from it.
#include <optional>
#include <string>

namespace orvo {

// An environment variable's value; nothing when it is unset or empty.
std::optional<std::wstring> EnvironmentValue(const wchar_t* name);

}  // namespace orvo
