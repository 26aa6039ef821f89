#pragma once
// CDevice: what the console, the PLC trainer and the fault unit have in
// common. Each owns a link, answers to a Port and an Address, remembers the
// port that last reached its unit, and hunts for the unit when it is not on
// that port. A class supplies its probe (with the link open to a candidate
// port: does our unit answer there?), its reply delay and how it keeps its
// remembered port.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/Comm.h"
#include "platform/Platform.h"
#include "platform/Registry.h"

namespace orvo {

// How a class keeps its remembered port.
struct PortMemory {
  // The registry value, or with PerAddress its prefix: the console keeps one
  // value per unit address ("BrixPort_12"), the others a single value.
  std::u16string_view Name;
  // Also means the properties write through: a new Port is saved under the
  // current address, and a new Address takes the port remembered for it.
  // Without it the properties only change the object and a hunt alone
  // rewrites the value.
  bool PerAddress;
};

class CDevice {
 public:
  CDevice(const CDevice&) = delete;
  CDevice& operator=(const CDevice&) = delete;

  int16_t get_Port() const { return Port; }
  void put_Port(int16_t port);
  int16_t get_Address() const { return Address; }
  void put_Address(int16_t address);

  // The remembered port, then every port of the list; the link is closed
  // afterwards.
  int16_t HuntPort() { return ConnectOrHunt(false); }

 protected:
  CDevice(Platform& platform, Registry& registry, PortMemory memory, uint32_t replyDelayMs);
  virtual ~CDevice() = default;

  // Called with the link open to a candidate port; true when our unit
  // answers there. The hunt closes the link afterwards unless it keeps it.
  virtual bool Probe() = 0;

  // Checks the remembered port, then tries every port of the list, HID
  // first, and remembers the one whose probe succeeds, or 0 when none does.
  // With `keepOpen` the link stays open to the port found.
  int16_t ConnectOrHunt(bool keepOpen);

  // The port list examines at most this many values of the serial-port map
  // (values that are no serial port use it up too); entry 0 is HID. The
  // three classes share one budget.
  static constexpr uint8_t PortListBudget = 16;
  using PortList = std::array<int16_t, PortListBudget + 1>;
  int ListPorts(PortList& ports) { return Link.ListSerialPorts(PortListBudget, ports); }

  void LoadPort();
  void SavePort();

  // Opens the link to Port at Address, runs `exchanges` (which gives the
  // status) and closes the link again; 60 when the port does not open.
  template <class Exchanges>
  int16_t OnPort(Exchanges&& exchanges) {
    if (!Link.Open(Port, Address)) return StatusFailed;
    LinkGuard open(Link);
    return exchanges();
  }

  // Closes the link when the scope ends, whichever way it ends, unless
  // kept. A call that fails half way (an allocation while the port is open,
  // say) must not hold the port against the next call or another program.
  // Closing is idempotent, so a method may still close earlier itself.
  class LinkGuard {
   public:
    explicit LinkGuard(CComm& link) : Guarded(&link) {}
    ~LinkGuard() {
      if (Guarded) Guarded->Close();
    }
    LinkGuard(const LinkGuard&) = delete;
    LinkGuard& operator=(const LinkGuard&) = delete;
    void Keep() { Guarded = nullptr; }

   private:
    CComm* Guarded;
  };

  // With the link open: every item of a fault list in turn, each sent even
  // when one before it failed. The status is the last item's, success for an
  // empty list.
  int16_t SendEachItem(std::u16string_view list);
  virtual int16_t SendFaultItem(std::u16string_view item) = 0;

  int16_t Port = 0;
  int16_t Address = 0;
  CComm Link;
  Platform& Os;

 private:
  std::u16string PortValueName() const;
  bool TryPort(int16_t port, bool keepOpen);

  Registry& Settings;
  const PortMemory Memory;
};

}  // namespace orvo
