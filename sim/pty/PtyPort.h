#pragma once
// One pseudo-terminal standing in for a serial port. We keep a slave fd open
// ourselves: otherwise the master reports EIO and hangs up whenever the
// client (a Wine process) closes the port, and poll would spin on it.
#include <string>

namespace orvo::sim {

class PtyPort {
 public:
  PtyPort() = default;
  PtyPort(PtyPort&& other) noexcept;
  PtyPort& operator=(PtyPort&& other) noexcept;
  ~PtyPort();

  // Opens a raw pty and, when `link` is not empty, makes `link` a symlink to
  // its slave (replacing an old symlink there). Empty error on success.
  static PtyPort Open(const std::string& link, std::string& error);

  bool IsOpen() const { return Master >= 0; }
  int MasterFd() const { return Master; }
  const std::string& Path() const { return SlavePath; }
  const std::string& Link() const { return LinkPath; }

  // The port disappears: both ends closed, the link removed.
  void Close();

 private:
  int Master = -1;
  int Slave = -1;
  std::string SlavePath;
  std::string LinkPath;
};

}  // namespace orvo::sim
