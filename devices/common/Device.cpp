#include "devices/common/Device.h"

#include "devices/common/ListItems.h"
#include "devices/common/Settings.h"

namespace orvo {

CDevice::CDevice(Platform& platform, Registry& registry, PortMemory memory, uint32_t replyDelayMs)
    : Link(platform), Os(platform), Settings(registry), Memory(memory) {
  LoadPort();
  Link.SetReplyDelay(replyDelayMs);
}

void CDevice::put_Port(int16_t port) {
  Port = port;
  if (Memory.PerAddress) SavePort();
}

void CDevice::put_Address(int16_t address) {
  Address = address;
  if (Memory.PerAddress) LoadPort();
}

std::u16string CDevice::PortValueName() const {
  std::u16string name(Memory.Name);
  if (Memory.PerAddress)
    for (char c : std::to_string(Address)) name.push_back(static_cast<char16_t>(c));
  return name;
}

void CDevice::LoadPort() { LoadOrRememberPort(Settings, PortValueName(), Port); }

void CDevice::SavePort() { SaveRememberedPort(Settings, PortValueName(), Port); }

bool CDevice::TryPort(int16_t port, bool keepOpen) {
  if (!Link.Open(port, Address)) return false;
  LinkGuard open(Link);
  const bool found = Probe();
  if (found && keepOpen) open.Keep();
  return found;
}

// The remembered port is not rewritten when the unit is still there. With
// `keepOpen` the link stays open only once the port is saved.
int16_t CDevice::ConnectOrHunt(bool keepOpen) {
  if (TryPort(Port, keepOpen)) return StatusOk;
  PortList ports{};
  const int count = ListPorts(ports);
  for (int i = 0; i < count; ++i) {
    if (TryPort(ports[i], keepOpen)) {
      LinkGuard open(Link);
      Port = ports[i];
      SavePort();
      if (keepOpen) open.Keep();
      return StatusOk;
    }
  }
  Port = 0;
  SavePort();
  return StatusFailed;
}

int16_t CDevice::SendEachItem(std::u16string_view list) {
  int16_t status = StatusOk;
  for (std::u16string_view item : SplitList(list)) status = SendFaultItem(item);
  return status;
}

}  // namespace orvo
