#include "platform/posix/UserFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace orvo::posix {
namespace {

bool MakeDirectories(const std::string& directory) {
  for (std::size_t slash = directory.find('/', 1);; slash = directory.find('/', slash + 1)) {
    const std::string part = directory.substr(0, slash);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

std::string ConfigDirectory() {
  // The XDG rules: a relative XDG_CONFIG_HOME is to be ignored.
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/')
    return std::string(config) + "/orvotrainer";
  if (const char* home = std::getenv("HOME"); home && home[0] == '/')
    return std::string(home) + "/.config/orvotrainer";
  return {};
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || text.size() + static_cast<std::size_t>(n) > limit) {
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return text;
}

bool ReplaceFile(const std::string& path, std::string_view text) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return false;
  if (!MakeDirectories(path.substr(0, slash))) return false;
  const std::string temporary = path + ".new." + std::to_string(getpid());
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  // Flushed before the rename: otherwise a power cut could leave the new
  // name pointing at a file whose bytes never reached the disk.
  const bool written = WriteAll(fd, text) && fsync(fd) == 0;
  if (close(fd) != 0 || !written || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

FileLock::FileLock(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0 || !MakeDirectories(path.substr(0, slash))) return;
  Descriptor = open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (Descriptor < 0) return;
  while (flock(Descriptor, LOCK_EX) != 0) {
    if (errno != EINTR) {
      close(Descriptor);
      Descriptor = -1;
      return;
    }
  }
}

FileLock::~FileLock() {
  if (Descriptor >= 0) close(Descriptor);
}

}  // namespace orvo::posix
