#pragma once
// What the module reads from its surroundings and appends to: the process
// environment, where its opt-in switches (the wire trace, the simulation
// mode) come from, the local time and a text file, which the trace uses.
#include <optional>
#include <string>
#include <string_view>

namespace orvo {

// An environment variable's value; nothing when it is unset or empty.
std::optional<std::wstring> EnvironmentValue(const wchar_t* name);

// Appends one line and the system's line end (CRLF on Windows, LF on
// POSIX) to the file, creating it if need be; nothing happens when the file
// cannot be opened.
void AppendLine(const std::wstring& path, std::string_view line);

struct LocalTime {
  int Year, Month, Day, Hour, Minute, Second, Millisecond;
};
LocalTime LocalTimeNow();

}  // namespace orvo
