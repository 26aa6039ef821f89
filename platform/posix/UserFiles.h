#pragma once
// The small per-user files the POSIX backend keeps (the port table and the
// remembered ports): where they live, how they are read, and how they are
// replaced. A lesson may be killed at any moment and two lessons may run at
// once, so a file is only ever replaced whole (written beside it, then
// renamed over it) and every read-modify-write holds a lock.
#include <optional>
#include <string>
#include <string_view>

namespace orvo::posix {

// $XDG_CONFIG_HOME/orvotrainer, or ~/.config/orvotrainer; empty when
// neither the variable nor HOME gives an absolute directory.
std::string ConfigDirectory();

// The whole file, or nothing when it is missing, unreadable or larger than
// `limit` bytes (no file of ours grows that large; such a file is damaged).
std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit);

// Writes `text` to a new file beside `path`, flushes it to disk and renames
// it over `path`, creating the directory when needed. False, with `path`
// untouched, when any step fails.
bool ReplaceFile(const std::string& path, std::string_view text);

// An exclusive lock on `path`.lock, held while it lives; for the read,
// change and replace of one file by two processes at once. A lock that
// cannot be had (no directory, a read-only home) is not held, and the
// caller goes on without it: the rename still keeps the file whole.
class FileLock {
 public:
  explicit FileLock(const std::string& path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int Descriptor = -1;
};

}  // namespace orvo::posix
