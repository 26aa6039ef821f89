// The module's surroundings on POSIX: environment variables and the trace
// file. Bytes pass through the wide strings one to one, so that a path in
// any encoding names the same file when it comes back out.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>

#include "platform/Environment.h"

namespace orvo {

std::optional<std::wstring> EnvironmentValue(const wchar_t* name) {
  std::string narrow;
  for (const wchar_t* c = name; *c; ++c) narrow.push_back(static_cast<char>(*c));
  const char* value = std::getenv(narrow.c_str());
  if (!value || !value[0]) return std::nullopt;
  std::wstring wide;
  for (const char* c = value; *c; ++c) wide.push_back(static_cast<unsigned char>(*c));
  return wide;
}

// One write of the whole line to a file opened for appending: lines from two
// processes never interleave, and each survives a crash.
void AppendLine(const std::wstring& path, std::string_view line) {
  std::string name;
  for (wchar_t c : path) name.push_back(static_cast<char>(c));
  const int fd = open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  std::string text(line);
  text += '\n';
  [[maybe_unused]] const ssize_t written = write(fd, text.data(), text.size());
  close(fd);
}

LocalTime LocalTimeNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millisecond =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm t{};
  localtime_r(&seconds, &t);
  return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
          t.tm_min,         t.tm_sec,     static_cast<int>(millisecond)};
}

}  // namespace orvo
