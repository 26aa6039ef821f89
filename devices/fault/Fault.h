#pragma once
// CFault: the fault-insertion unit. It switches numbered faults in (On) and
// out (Off), clears them all, and answers a Read that tells whether it is
// there. Every unit operation opens the link to the remembered port and
// closes it again; only HuntPort looks elsewhere.
#include <cstdint>
#include <string_view>

#include "link/Comm.h"
#include "platform/Platform.h"
#include "platform/Registry.h"

namespace orvo {

class CFault {
 public:
#ifdef _WIN32
  CFault() : CFault(SystemPlatform(), SystemRegistry()) {}
#endif
  CFault(Platform& platform, Registry& registry);
  virtual ~CFault() = default;
  CFault(const CFault&) = delete;
  CFault& operator=(const CFault&) = delete;

  // Writing Port only changes this object; the remembered port is rewritten
  // by a hunt alone.
  int16_t get_Port() const { return Port; }
  void put_Port(int16_t value) { Port = value; }
  int16_t get_Address() const { return Address; }
  void put_Address(int16_t value) { Address = value; }

  int16_t HuntPort();
  int16_t CheckComm();
  // The unit is addressed through the Address property; this reports
  // success and changes nothing.
  int16_t SetAddress(int16_t address);
  int16_t StartCai();
  int16_t EndCai();
  // Virtual so that StartCai and EndCai reach whatever the object's own
  // ClearFaults is, as a call through the interface would.
  virtual int16_t ClearFaults();
  int16_t SendFaults(std::u16string_view faults);

 private:
  void LoadPort();
  void SavePort();

  // The caller holds the link open for these.
  bool Present();
  int16_t SendFaultItem(std::u16string_view item);

  int16_t Port = 0;
  int16_t Address = 0;
  CComm link;
  Platform& Os;
  Registry& Settings;
};

}  // namespace orvo
