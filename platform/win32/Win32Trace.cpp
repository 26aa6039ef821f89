// The wire trace on Windows. ORVOTRAINER_TRACE names a file; every exchange
// appends one line to it. Without the variable nothing is written anywhere.
#include <windows.h>

#include <optional>
#include <string>

#include "link/TraceLine.h"
#include "link/WireTrace.h"
#include "platform/win32/Environment.h"

namespace orvo {
namespace {

class FileTrace final : public WireTrace {
 public:
  explicit FileTrace(std::wstring path) : Path(std::move(path)) {}

  // A trace must never cost a lesson anything: whatever goes wrong here
  // stays here.
  void Record(const ExchangeRecord& exchange) override {
    try {
      Append(ExchangeLine(Now(), exchange));
    } catch (...) {
    }
  }
  void Note(std::string_view text) override {
    try {
      Append(NoteLine(Now(), text));
    } catch (...) {
    }
  }

 private:
  static TraceTime Now() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
  }

  // Opened, appended to in one write and closed for every line: what was
  // written survives a crash or a killed host, and two processes tracing
  // into one file interleave whole lines. A file that cannot be opened (no
  // such folder, read-only, a folder) just gets no line.
  void Append(std::string line) const {
    line += "\r\n";
    const HANDLE file =
        CreateFileW(Path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
  }

  std::wstring Path;
};

}  // namespace

std::optional<std::wstring> EnvironmentValue(const wchar_t* name) {
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size <= 1) return std::nullopt;
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  if (length == 0 || length >= size) return std::nullopt;
  value.resize(length);
  return value;
}

// Read once, at the first exchange: a lesson's trace does not move halfway
// through. The sink lives as long as the module, like the objects recording
// into it.
WireTrace* FileTraceFromEnvironment() {
  static std::optional<FileTrace> trace;
  static const bool looked = [] {
    try {
      if (std::optional<std::wstring> path = EnvironmentValue(L"ORVOTRAINER_TRACE"))
        trace.emplace(std::move(*path));
    } catch (...) {
      // No memory for the path: no trace, and the lesson goes on.
    }
    return true;
  }();
  static_cast<void>(looked);
  return trace ? &*trace : nullptr;
}

}  // namespace orvo
