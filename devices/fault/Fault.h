#pragma once
// CFault: the fault-insertion unit. It switches numbered faults in (On) and
// out (Off), clears them all, and answers a Read that tells whether it is
// there. Every unit operation opens the link to the remembered port and
// closes it again; only HuntPort looks elsewhere.
#include <cstdint>
#include <string_view>

#include "devices/common/ShortFrameDevice.h"

namespace orvo {

class CFault : public CShortFrameDevice {
 public:
#ifdef _WIN32
  CFault() : CFault(SystemPlatform(), SystemRegistry()) {}
#endif
  CFault(Platform& platform, Registry& registry);
  CFault(const CFault&) = delete;
  CFault& operator=(const CFault&) = delete;

  // Writing Port only changes this object; the remembered port is rewritten
  // by a hunt alone.
  int16_t CheckComm();
  int16_t ClearFaults() override;

 private:
  // The caller holds the link open for these.
  bool Probe() override;
  bool Present();
  int16_t SendFaultItem(std::u16string_view item) override;
};

}  // namespace orvo
