#include "sim/pty/PtyPort.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace orvo::sim {
namespace {

std::string Failed(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

PtyPort::PtyPort(PtyPort&& other) noexcept { *this = std::move(other); }

PtyPort& PtyPort::operator=(PtyPort&& other) noexcept {
  if (this != &other) {
    Close();
    Master = std::exchange(other.Master, -1);
    Slave = std::exchange(other.Slave, -1);
    SlavePath = std::move(other.SlavePath);
    LinkPath = std::move(other.LinkPath);
    other.LinkPath.clear();
  }
  return *this;
}

PtyPort::~PtyPort() { Close(); }

PtyPort PtyPort::Open(const std::string& link, std::string& error) {
  PtyPort port;
  port.Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (port.Master < 0) {
    error = Failed("posix_openpt");
    return port;
  }
  char name[128];
  if (grantpt(port.Master) != 0 || unlockpt(port.Master) != 0 ||
      ptsname_r(port.Master, name, sizeof name) != 0) {
    error = Failed("pty setup");
    port.Close();
    return port;
  }
  port.SlavePath = name;
  port.Slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios settings{};
  if (port.Slave < 0 || tcgetattr(port.Slave, &settings) != 0) {
    error = Failed(name);
    port.Close();
    return port;
  }
  // Bytes must pass untouched: no echo, no line editing, no CR/LF mapping.
  cfmakeraw(&settings);
  if (tcsetattr(port.Slave, TCSANOW, &settings) != 0 ||
      fcntl(port.Master, F_SETFL, fcntl(port.Master, F_GETFL) | O_NONBLOCK) != 0) {
    error = Failed("raw mode");
    port.Close();
    return port;
  }
  port.OwnSpeed = cfgetospeed(&settings);
  port.OwnControl = settings.c_cflag;
  if (!link.empty()) {
    struct stat old {};
    if (lstat(link.c_str(), &old) == 0 && S_ISLNK(old.st_mode)) unlink(link.c_str());
    if (symlink(name, link.c_str()) != 0) {
      error = Failed(link.c_str());
      port.Close();
      return port;
    }
    port.LinkPath = link;
  }
  error.clear();
  return port;
}

void PtyPort::RestoreLine() {
  termios settings{};
  if (Slave < 0 || tcgetattr(Slave, &settings) != 0) return;
  if (settings.c_cflag == OwnControl && cfgetospeed(&settings) == OwnSpeed) return;
  settings.c_cflag = OwnControl;
  cfsetspeed(&settings, OwnSpeed);
  tcsetattr(Slave, TCSANOW, &settings);
}

void PtyPort::Close() {
  if (!LinkPath.empty()) unlink(LinkPath.c_str());
  LinkPath.clear();
  if (Slave >= 0) close(Slave);
  if (Master >= 0) close(Master);
  Slave = Master = -1;
}

void PtyPort::DiscardUnread() {
  if (Slave >= 0) tcflush(Slave, TCIFLUSH);
}

}  // namespace orvo::sim
