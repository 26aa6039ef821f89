// Running out of memory in the middle of a call. Every allocation a device
// method makes is failed in turn (the one at which std::bad_alloc is thrown
// moves on by one each round), and after each failure the link must be
// closed: no port or HID device set is left open, and the next call, with
// memory back, succeeds. Allocations inside the simulated platform are not
// failed: they stand for the system's own calls, which report failure
// rather than throw.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "devices/echo/Echo.h"
#include "devices/fault/Fault.h"
#include "devices/plc/Plc.h"
#include "server/Result.h"
#include "sim/Console.h"
#include "sim/FaultUnit.h"
#include "sim/PlcTrainer.h"
#include "sim/bus/FakePlatform.h"
#include "sim/bus/RegistryModel.h"
#include "tests/unit/kit/DeviceTestKit.h"

namespace {

// Counts down the allocations of this thread; the one at zero throws.
thread_local long AllocationsLeft = -1;
thread_local int Sheltered = 0;

void* Allocate(std::size_t size) {
  if (Sheltered == 0 && AllocationsLeft >= 0 && AllocationsLeft-- == 0) throw std::bad_alloc();
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

struct Shelter {
  Shelter() { ++Sheltered; }
  ~Shelter() { --Sheltered; }
};

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's own operator new still serves allocations made before
// ours takes over, and ours frees with free(): a pairing it would report as
// a mismatch although both ends use malloc's heap.
extern "C" const char* __asan_default_options() { return "alloc_dealloc_mismatch=0"; }
#endif

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace orvo {
namespace {

// Forwards to the fake bus with allocation failures held off.
class ShelteredPlatform final : public Platform {
 public:
  explicit ShelteredPlatform(Platform& inner) : Inner(inner) {}
#define FORWARD(ret, name, params, args) \
  ret name params override {             \
    Shelter sheltered;                   \
    return Inner.name args;              \
  }
  FORWARD(Handle, OpenSerialPort, (std::u16string_view n), (n))
  FORWARD(bool, ConfigureSerialPort, (Handle p, const SerialSettings& s), (p, s))
  FORWARD(void, ClearCommErrors, (Handle p), (p))
  FORWARD(bool, WriteSerial, (Handle p, std::span<const uint8_t> b), (p, b))
  FORWARD(std::size_t, ReadSerial, (Handle p, std::span<uint8_t> b), (p, b))
  FORWARD(DeviceSet, OpenHidDeviceSet, (), ())
  FORWARD(bool, HidInterfacePath, (DeviceSet s, int i, std::u16string& p), (s, i, p))
  FORWARD(void, CloseHidDeviceSet, (DeviceSet s), (s))
  FORWARD(Handle, OpenHidDevice, (std::u16string_view p), (p))
  FORWARD(bool, GetHidAttributes, (Handle d, HidAttributes& a), (d, a))
  FORWARD(void, FlushHidInput, (Handle d), (d))
  FORWARD(bool, WriteHidReport, (Handle d, std::span<const uint8_t, HidReportSize> r), (d, r))
  FORWARD(std::size_t, ReadHidReport, (Handle d, std::span<uint8_t, HidReportSize> r, uint32_t t),
          (d, r, t))
  FORWARD(void, CloseHandle, (Handle h), (h))
  FORWARD(bool, ReadSerialPortMap, (std::vector<PortMapValue> & v, std::size_t l), (v, l))
  FORWARD(void, Sleep, (uint32_t ms), (ms))
  FORWARD(SystemError, LastError, (), ())
#undef FORWARD

 private:
  Platform& Inner;
};

// Units on the bus: a console (address 5) over HID and on COM3, a PLC
// trainer (3) on COM4 and a fault unit (9) on COM6; COM2 is silent, and the
// map lists every port, so that hunts walk past ports that do not answer.
// The device objects outlive a failed call, as they do in the module, where
// the automation object holds them; a link closed only by the device's
// destructor would still be open for the next call.
struct Classroom {
  fake::FakePlatform Bus;
  ShelteredPlatform Os{Bus};
  RegistryModel Registry;
  sim::Console Console{5};
  sim::Console HidConsole{5};
  sim::PlcTrainer Trainer{3};
  sim::FaultUnit Faults{9};
  CEcho Echo{Os, Registry};
  CPlc Plc{Os, Registry};
  CFault Fault{Os, Registry};

  Classroom() {
    Bus.AddHidInterface(
        0, {u"hid#orvo", protocol::OrvoVendorId, protocol::ConsoleProductId, &HidConsole});
    Bus.AddSerialPort(2);
    Bus.AddSerialPort(3, &Console);
    Bus.AddSerialPort(4, &Trainer);
    Bus.AddSerialPort(6, &Faults);
    Bus.SetPortMap(test::ComMap({2, 3, 4, 6}));
  }
};

struct Case {
  const char* Name;
  int16_t Address;
  int16_t Port;
  int16_t (*Call)(Classroom&);
};

const Case Cases[] = {
    {"console SetSwitches over a hunt", 5, 2,
     [](Classroom& r) { return r.Echo.SetSwitches(u"AC1,DC2,SP3,DC3"); }},
    {"console SendFaults", 5, 3, [](Classroom& r) { return r.Echo.SendFaults(u"0102, 0304,0506"); }},
    {"console SetAddress", 0, 0, [](Classroom& r) { return r.Echo.SetAddress(5); }},
    {"console over HID", 5, 0, [](Classroom& r) { return r.Echo.SendFaults(u"0102,0304"); }},
    {"PLC trainer HuntPort", 3, 2, [](Classroom& r) { return r.Plc.HuntPort(); }},
    {"PLC trainer SendFaults", 3, 4, [](Classroom& r) { return r.Plc.SendFaults(u"F1,E2,F12"); }},
    {"fault unit SendFaults", 9, 6, [](Classroom& r) { return r.Fault.SendFaults(u"F1,E2,C00"); }},
    {"fault unit HuntPort", 9, 0, [](Classroom& r) { return r.Fault.HuntPort(); }},
};

TEST(OutOfMemory, NoPortOrDeviceSetOutlivesAFailedCall) {
  for (const Case& c : Cases) {
    Classroom room;
    long failures = 0;
    for (long at = 0;; ++at) {
      for (CDevice* d : std::initializer_list<CDevice*>{&room.Echo, &room.Plc, &room.Fault})
        d->put_Address(c.Address), d->put_Port(c.Port);
      bool threw = false;
      AllocationsLeft = at;
      try {
        c.Call(room);
      } catch (const std::bad_alloc&) {
        threw = true;
      }
      AllocationsLeft = -1;
      EXPECT_EQ(room.Bus.OpenHandles(), 0) << c.Name << ", allocation " << at;
      EXPECT_EQ(room.Bus.HidSetsOpen(), 0) << c.Name << ", allocation " << at;
      if (!threw) break;
      ++failures;
    }
    EXPECT_GT(failures, 0) << c.Name << ": the call allocates nothing, so nothing was tried";
    EXPECT_EQ(c.Call(room), StatusOk) << c.Name << ": the call after the failures";
  }
}

// What an entry point of the module does with an exception: the caller is
// not C++, so it gets an HRESULT.
TEST(OutOfMemory, EntryPointsReportInsteadOfThrowing) {
  AllocationsLeft = 0;
  const HRESULT result = NoThrow([] {
    std::u16string path(300, u'\'');
    return path.empty() ? E_FAIL : S_OK;
  });
  AllocationsLeft = -1;
  EXPECT_EQ(result, E_OUTOFMEMORY);
  EXPECT_EQ(NoThrow([]() -> HRESULT { throw 42; }), E_UNEXPECTED);
  EXPECT_EQ(NoThrow([] { return S_FALSE; }), S_FALSE);
}

}  // namespace
}  // namespace orvo
