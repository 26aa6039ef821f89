// The wire trace on Windows. ORVOTRAINER_TRACE names a file; every exchange
// appends one line to it. Without the variable nothing is written anywhere.
#include <windows.h>

#include <optional>
#include <string>

#include "link/TraceLine.h"
#include "link/WireTrace.h"

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

// The file the variable names; nothing when it is unset or empty.
std::optional<std::wstring> TracePath() {
  const DWORD size = GetEnvironmentVariableW(L"ORVOTRAINER_TRACE", nullptr, 0);
  if (size <= 1) return std::nullopt;
  std::wstring path(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(L"ORVOTRAINER_TRACE", path.data(), size);
  if (length == 0 || length >= size) return std::nullopt;
  path.resize(length);
  return path;
}

}  // namespace

// Read once, at the first exchange: a lesson's trace does not move halfway
// through. The sink lives as long as the module, like the objects recording
// into it.
WireTrace* FileTraceFromEnvironment() {
  static std::optional<FileTrace> trace;
  static const bool looked = [] {
    try {
      if (std::optional<std::wstring> path = TracePath()) trace.emplace(std::move(*path));
    } catch (...) {
      // No memory for the path: no trace, and the lesson goes on.
    }
    return true;
  }();
  static_cast<void>(looked);
  return trace ? &*trace : nullptr;
}

}  // namespace orvo
