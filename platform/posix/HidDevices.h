#pragma once
// The few calls the POSIX backend makes of the HID library (hidapi, through
// the kernel's hidraw driver), behind an interface so that tests can put
// devices of their own there.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvo::posix {

class HidDevices {
 public:
  virtual ~HidDevices() = default;
  // The paths of the HID interfaces present; false when the library cannot
  // look (no hidraw, say). None present is an empty list, not a failure.
  virtual bool Enumerate(std::vector<std::string>& paths) = 0;
  // An opaque device, or null.
  virtual void* Open(const std::string& path) = 0;
  virtual bool Ids(void* device, uint16_t& vendorId, uint16_t& productId) = 0;
  // One input report's data (without a report id), waiting at most
  // timeoutMs; 0 means nothing came, a negative count a failure.
  virtual int Read(void* device, uint8_t* data, std::size_t size, int timeoutMs) = 0;
  // One output report, report id first; the bytes written or -1.
  virtual int Write(void* device, const uint8_t* report, std::size_t size) = 0;
  virtual void Close(void* device) = 0;
};

// hidapi's hidraw backend.
std::unique_ptr<HidDevices> MakeHidapiDevices();

}  // namespace orvo::posix
