// HID units through hidapi and the kernel's hidraw driver.
#include <hidapi/hidapi.h>

#include "platform/posix/HidDevices.h"

namespace orvo::posix {
namespace {

class HidapiDevices final : public HidDevices {
 public:
  bool Enumerate(std::vector<std::string>& paths) override {
    if (hid_init() != 0) return false;
    hid_device_info* devices = hid_enumerate(0, 0);
    for (const hid_device_info* d = devices; d; d = d->next)
      if (d->path) paths.emplace_back(d->path);
    hid_free_enumeration(devices);
    return true;
  }

  void* Open(const std::string& path) override { return hid_open_path(path.c_str()); }

  bool Ids(void* device, uint16_t& vendorId, uint16_t& productId) override {
    const hid_device_info* info = hid_get_device_info(static_cast<hid_device*>(device));
    if (!info) return false;
    vendorId = info->vendor_id;
    productId = info->product_id;
    return true;
  }

  int Read(void* device, uint8_t* data, std::size_t size, int timeoutMs) override {
    return hid_read_timeout(static_cast<hid_device*>(device), data, size, timeoutMs);
  }

  int Write(void* device, const uint8_t* report, std::size_t size) override {
    return hid_write(static_cast<hid_device*>(device), report, size);
  }

  void Close(void* device) override { hid_close(static_cast<hid_device*>(device)); }
};

}  // namespace

std::unique_ptr<HidDevices> MakeHidapiDevices() { return std::make_unique<HidapiDevices>(); }

}  // namespace orvo::posix
