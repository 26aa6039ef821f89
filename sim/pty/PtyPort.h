#pragma once
// One pseudo-terminal standing in for a serial port. We keep a slave fd open
// ourselves: otherwise the master reports EIO and hangs up whenever the
// client (a Wine process) closes the port, and poll would spin on it.
#include <termios.h>

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

  // Throws away what was written to the client and not yet read by it: the
  // replies a run before left on the line.
  void DiscardUnread();

  // Puts the line settings back to the raw state the port was opened with,
  // if a client changed them. A pty cannot keep a parity bit: Linux clears
  // PARENB but keeps PARODD, and then refuses (EINVAL) the same odd-parity
  // request from the client's next open, as a change that changes nothing.
  // Wine reports that as a failed SetCommState. Keeping the line at its own
  // settings between clients makes every client's request a real change.
  void RestoreLine();

 private:
  int Master = -1;
  int Slave = -1;
  std::string SlavePath;
  std::string LinkPath;
  speed_t OwnSpeed = 0;
  tcflag_t OwnControl = 0;
};

}  // namespace orvo::sim
