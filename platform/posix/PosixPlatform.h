#pragma once
// The platform on Linux and other POSIX systems: serial ports through
// termios, HID units through hidapi, and the serial-port map made from the
// port numbers (SerialPorts.h). Each call behaves as its Win32 counterpart
// does, so the link above gives the same statuses on both.
#include <functional>
#include <memory>

#include "platform/Platform.h"
#include "platform/posix/HidDevices.h"
#include "platform/posix/SerialPorts.h"

namespace orvo::posix {

// `ports` is asked for the current numbers at every map read and open.
std::unique_ptr<Platform> MakePosixPlatform(std::unique_ptr<HidDevices> hid,
                                            std::function<PortNumbers()> ports);

}  // namespace orvo::posix
