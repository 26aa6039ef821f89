// What the module reads from its surroundings and appends to: environment
// variables (the opt-in switches) and a text file (the wire trace).
#include <windows.h>

#include "platform/Environment.h"

namespace orvo {

std::optional<std::wstring> EnvironmentValue(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size <= 1) return std::nullopt;
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  if (length == 0 || length >= size) return std::nullopt;
  value.resize(length);
  return value;
}

// Opened, appended to in one write and closed for every line: what was
// written survives a crash or a killed host, and two processes writing
// into one file interleave whole lines. A file that cannot be opened (no
// such folder, read-only, a folder) just gets no line.
void AppendLine(const std::wstring& path, std::string_view line) {
  std::string text(line);
  text += "\r\n";
  const HANDLE file =
      CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

LocalTime LocalTimeNow() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

}  // namespace orvo
