#include "platform/posix/PosixPlatform.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/WinTypes.h"

namespace orvo::posix {
namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

// Like the thread's last error on Windows: what the last failing call on
// this thread said, for the trace.
thread_local int LastErrno = 0;

Handle Failed(int error) {
  LastErrno = error;
  return InvalidHandle;
}

std::string Narrow(std::u16string_view text) {
  std::string narrow;
  for (char16_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return narrow;
}

// A mode string as Windows's BuildCommDCB takes it ("baud=9600 parity=O
// data=8 stop=1"), applied to a raw termios. False for anything it does not
// know.
bool ApplyDefinition(std::string_view definition, termios& tio) {
  static const std::map<std::string_view, speed_t> speeds = {
      {"1200", B1200},   {"2400", B2400},   {"4800", B4800},   {"9600", B9600},
      {"19200", B19200}, {"38400", B38400}, {"57600", B57600}, {"115200", B115200}};
  while (!definition.empty()) {
    const std::size_t space = definition.find(' ');
    const std::string_view item = definition.substr(0, space);
    definition = space == std::string_view::npos ? std::string_view() : definition.substr(space + 1);
    if (item.empty()) continue;
    const std::size_t equals = item.find('=');
    if (equals == std::string_view::npos) return false;
    const std::string_view key = item.substr(0, equals), value = item.substr(equals + 1);
    if (key == "baud") {
      const auto speed = speeds.find(value);
      if (speed == speeds.end()) return false;
      cfsetispeed(&tio, speed->second);
      cfsetospeed(&tio, speed->second);
    } else if (key == "parity") {
      tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
      if (value == "O" || value == "o") tio.c_cflag |= PARENB | PARODD;
      else if (value == "E" || value == "e") tio.c_cflag |= PARENB;
      else if (value == "M" || value == "m") tio.c_cflag |= PARENB | PARODD | CMSPAR;
      else if (value == "S" || value == "s") tio.c_cflag |= PARENB | CMSPAR;
      else if (value != "N" && value != "n") return false;
    } else if (key == "data") {
      static const std::map<std::string_view, tcflag_t> sizes = {
          {"5", CS5}, {"6", CS6}, {"7", CS7}, {"8", CS8}};
      const auto size = sizes.find(value);
      if (size == sizes.end()) return false;
      tio.c_cflag = (tio.c_cflag & ~CSIZE) | size->second;
    } else if (key == "stop") {
      if (value == "1") tio.c_cflag &= ~CSTOPB;
      else if (value == "2") tio.c_cflag |= CSTOPB;
      else return false;
    } else {
      return false;
    }
  }
  return true;
}

// A Unix 98 pseudo-terminal's subsidiary side (/dev/pts/N).
bool PseudoTerminal(int fd) {
  struct stat status;
  return fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) && major(status.st_rdev) >= 136 &&
         major(status.st_rdev) <= 143;
}

// Waits for `events` on fd until `deadline`; false on time-out, a hang-up
// or an error.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<Milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd watched{fd, events, 0};
    const int ready = poll(&watched, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    return ready > 0 && (watched.revents & events);
  }
}

class PosixPlatform final : public Platform {
 public:
  PosixPlatform(std::unique_ptr<HidDevices> hid, std::function<PortNumbers()> ports)
      : Hid(std::move(hid)), Ports(std::move(ports)) {}

  // Exclusive, as on Windows: a port another program (or another object)
  // holds does not open. The lock is advisory, so TIOCEXCL is asked too,
  // which also keeps out programs that take no locks.
  Handle OpenSerialPort(std::u16string_view deviceName) override {
    const std::optional<int32_t> port = protocol::SerialPortOfDevice(deviceName);
    if (!port) return Failed(ENOENT);
    const PortNumbers numbers = Ports();
    const auto found = numbers.find(*port);
    if (found == numbers.end()) return Failed(ENOENT);
    const int fd = open(found->second.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Failed(errno);
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno == EWOULDBLOCK ? EBUSY : errno;
      close(fd);
      return Failed(error);
    }
    ioctl(fd, TIOCEXCL);
    std::lock_guard hold(Guard);
    Serial[fd] = SerialTimeouts{};
    return fd;
  }

  // A pseudo-terminal (a simulated unit, a serial-over-network bridge)
  // carries bytes, not bits on a line, so it has no parity to keep: Linux
  // drops PARENB from it and then refuses the same request the next time.
  // There the parity is left out; a real port gets all of it.
  bool ConfigureSerialPort(Handle port, const SerialSettings& settings) override {
    const int fd = static_cast<int>(port);
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return (LastErrno = errno, false);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~CRTSCTS;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (!ApplyDefinition(Narrow(settings.Definition), tio)) return (LastErrno = EINVAL, false);
    if (PseudoTerminal(fd)) tio.c_cflag &= ~(PARENB | PARODD | CMSPAR);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) return (LastErrno = errno, false);
    std::lock_guard hold(Guard);
    Serial[fd] = settings.Timeouts;
    return true;
  }

  // termios keeps no error state to clear.
  void ClearCommErrors(Handle) override {}

  // Bounded as Windows bounds it: WriteTotalMultiplier for each byte plus
  // WriteTotalConstant.
  bool WriteSerial(Handle port, std::span<const uint8_t> bytes) override {
    const int fd = static_cast<int>(port);
    const SerialTimeouts t = TimeoutsOf(port);
    const auto deadline =
        Clock::now() + Milliseconds(t.WriteTotalMultiplier * bytes.size() + t.WriteTotalConstant);
    while (!bytes.empty()) {
      const ssize_t n = write(fd, bytes.data(), bytes.size());
      if (n > 0) {
        bytes = bytes.subspan(static_cast<std::size_t>(n));
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n == 0 || errno != EAGAIN || !WaitFor(fd, POLLOUT, deadline)) {
        LastErrno = n < 0 ? errno : EIO;
        return false;
      }
    }
    return true;
  }

  // Windows's read time-outs: the whole read ends ReadTotalMultiplier per
  // byte plus ReadTotalConstant after it starts, and once bytes flow, a gap
  // longer than ReadInterval ends it early. What arrived is returned.
  std::size_t ReadSerial(Handle port, std::span<uint8_t> bytes) override {
    const int fd = static_cast<int>(port);
    const SerialTimeouts t = TimeoutsOf(port);
    const auto deadline =
        Clock::now() + Milliseconds(t.ReadTotalMultiplier * bytes.size() + t.ReadTotalConstant);
    std::size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
      if (n > 0) {
        got += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      // With VMIN and VTIME at 0 a terminal says "nothing yet" with 0 rather
      // than EAGAIN. An error (EIO: an unplugged adapter, a closed pty)
      // means nothing more will come; so does the hang-up the wait sees.
      if (n < 0 && errno != EAGAIN) break;
      auto until = deadline;
      if (got != 0 && t.ReadInterval != 0)
        until = std::min(deadline, Clock::now() + Milliseconds(t.ReadInterval));
      if (!WaitFor(fd, POLLIN, until)) break;
    }
    return got;
  }

  DeviceSet OpenHidDeviceSet() override {
    auto paths = std::make_unique<std::vector<std::string>>();
    if (!Hid->Enumerate(*paths)) return InvalidDeviceSet;
    return reinterpret_cast<DeviceSet>(paths.release());
  }

  bool HidInterfacePath(DeviceSet set, int index, std::u16string& path) override {
    const auto& paths = *reinterpret_cast<const std::vector<std::string>*>(set);
    if (index < 0 || static_cast<std::size_t>(index) >= paths.size()) return false;
    path.clear();
    for (unsigned char c : paths[static_cast<std::size_t>(index)]) path.push_back(c);
    return true;
  }

  void CloseHidDeviceSet(DeviceSet set) override {
    delete reinterpret_cast<std::vector<std::string>*>(set);
  }

  Handle OpenHidDevice(std::u16string_view path) override {
    std::string narrow;
    for (char16_t c : path) narrow.push_back(static_cast<char>(c));
    void* device = Hid->Open(narrow);
    if (!device) return Failed(ENODEV);
    const Handle handle = reinterpret_cast<Handle>(device);
    std::lock_guard hold(Guard);
    HidOpen.insert(handle);
    return handle;
  }

  bool GetHidAttributes(Handle device, HidAttributes& attributes) override {
    return Hid->Ids(Device(device), attributes.VendorId, attributes.ProductId);
  }

  // Reports already queued are read off without waiting; a bound keeps a
  // device that never stops sending from holding the caller.
  void FlushHidInput(Handle device) override {
    uint8_t stale[HidReportSize];
    for (int i = 0; i < 64 && Hid->Read(Device(device), stale, sizeof stale, 0) > 0; ++i) {
    }
  }

  // hidraw writes the report (id first, as Windows takes it) in one go; the
  // kernel's own USB time-out bounds it.
  bool WriteHidReport(Handle device, std::span<const uint8_t, HidReportSize> report) override {
    return Hid->Write(Device(device), report.data(), report.size()) ==
           static_cast<int>(HidReportSize);
  }

  // Windows hands a report over with its id in front (0 for a device that
  // numbers none); hidraw gives the data alone, so the id is put back.
  std::size_t ReadHidReport(Handle device, std::span<uint8_t, HidReportSize> report,
                            uint32_t timeoutMs) override {
    report[0] = 0;
    const int n = Hid->Read(Device(device), report.data() + 1, report.size() - 1,
                            static_cast<int>(std::min<uint32_t>(timeoutMs, 60000)));
    return n > 0 ? static_cast<std::size_t>(n) + 1 : 0;
  }

  void CloseHandle(Handle handle) override {
    {
      std::lock_guard hold(Guard);
      if (HidOpen.erase(handle)) {
        Hid->Close(reinterpret_cast<void*>(handle));
        return;
      }
      Serial.erase(handle);
    }
    close(static_cast<int>(handle));
  }

  // Every port known now, by number, as "COMn" values named after the
  // device, the way Windows's map names its drivers' devices.
  bool ReadSerialPortMap(std::vector<PortMapValue>& values, std::size_t limit) override {
    for (const auto& [number, path] : Ports()) {
      if (values.size() >= limit) break;
      PortMapValue value;
      for (unsigned char c : path) value.Name.push_back(c);
      value.Type = REG_SZ;
      for (char c : "COM" + std::to_string(number)) {
        value.Data.push_back(static_cast<uint8_t>(c));
        value.Data.push_back(0);
      }
      value.Data.insert(value.Data.end(), {0, 0});
      values.push_back(std::move(value));
    }
    return true;
  }

  void Sleep(uint32_t ms) override { std::this_thread::sleep_for(Milliseconds(ms)); }

  SystemError LastError() override {
    if (LastErrno == 0) return {};
    return {static_cast<uint32_t>(LastErrno), std::strerror(LastErrno)};
  }

 private:
  SerialTimeouts TimeoutsOf(Handle port) {
    std::lock_guard hold(Guard);
    const auto found = Serial.find(port);
    return found == Serial.end() ? SerialTimeouts{} : found->second;
  }

  static void* Device(Handle handle) { return reinterpret_cast<void*>(handle); }

  const std::unique_ptr<HidDevices> Hid;
  const std::function<PortNumbers()> Ports;
  // Objects on several threads share the platform.
  std::mutex Guard;
  std::map<Handle, SerialTimeouts> Serial;
  std::set<Handle> HidOpen;
};

}  // namespace

std::unique_ptr<Platform> MakePosixPlatform(std::unique_ptr<HidDevices> hid,
                                            std::function<PortNumbers()> ports) {
  return std::make_unique<PosixPlatform>(std::move(hid), std::move(ports));
}

}  // namespace orvo::posix

namespace orvo {

Platform& SystemPlatform() {
  static const std::unique_ptr<Platform> platform =
      posix::MakePosixPlatform(posix::MakeHidapiDevices(), posix::SystemSerialPorts);
  return *platform;
}

}  // namespace orvo
