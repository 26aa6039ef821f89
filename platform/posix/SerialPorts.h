#pragma once
// COM numbers for the serial devices of a POSIX system. A lesson names its
// port by number and the module remembers numbers, so each device must keep
// its number from one day to the next, as Windows keeps a device's COM
// number:
//  - a device is known by its /dev/serial/by-id name (the adapter's make and
//    serial number, which survive replugging), or by its path where it has
//    none;
//  - /dev/ttyS<k> is COM k+1 unless that number is taken;
//  - any other device gets the lowest number free the first time it is seen,
//    and the per-user port table keeps it, for absent devices too;
//  - ORVOTRAINER_PORTS ("3=/dev/ttyUSB0,7=/dev/pts/4") pins numbers, and
//    while it is set its ports are the whole list, so that a lesson or a
//    test names exactly the ports to hunt.
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvo::posix {

// Numbers run from 1 to the largest a 16-bit Port can hold.
inline constexpr int HighestPort = 32767;

// Port number -> the path that opens it.
using PortNumbers = std::map<int, std::string>;

// The pinned ports of an ORVOTRAINER_PORTS value. Entries that are not
// NUMBER=ABSOLUTE-PATH, or whose number is out of range or already given,
// are skipped.
PortNumbers PinnedPorts(std::string_view text);

// A serial device present now: its key (the by-id name or the path, which
// also opens it), and the number it would like (k+1 for ttyS<k>, else 0).
struct SerialDevice {
  std::string Key;
  int Preferred = 0;
};

// The serial devices present under `dev` (/dev) according to `sys` (/sys):
// the by-id links, then every tty with a device behind it that no link
// covers. A ttyS<k> counts only when a UART was found there, since the
// kernel makes ttyS0 to ttyS3 whether or not one is fitted.
std::vector<SerialDevice> PresentSerialDevices(const std::string& dev, const std::string& sys);

// The per-user port table: one "NUMBER KEY" line for each device ever seen.
class PortTable {
 public:
  // An empty path keeps the numbers for this call only.
  explicit PortTable(std::string path);

  // The numbers of the present devices, giving new ones theirs and saving
  // the table when it gained any.
  PortNumbers Number(const std::vector<SerialDevice>& present);

  // Key -> number. Lines that do not parse, numbers out of range and
  // repeated numbers or keys are dropped, so a damaged table loses only
  // what is damaged; the next save writes it clean.
  static std::map<std::string, int> Parse(std::string_view text);
  static std::string Format(const std::map<std::string, int>& numbers);

 private:
  std::string Path;
};

// What the platform asks for each hunt and each open: the pinned ports when
// ORVOTRAINER_PORTS is set, else the present devices numbered through the
// table in the user's configuration directory.
PortNumbers SystemSerialPorts();

}  // namespace orvo::posix
