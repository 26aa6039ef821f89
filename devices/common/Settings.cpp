#include "devices/common/Settings.h"

#include <cstring>
#include <string>

#include "platform/RegistryKey.h"

namespace orvo {
namespace {

std::u16string SettingsKeyPath() {
  std::u16string path(SettingsRoot);
  path += SettingsLeaf;
  return path;
}

LONG OpenSettings(CRegistryKey& key) {
  return key.CreateKey(RegCurrentUser, SettingsKeyPath().c_str(), nullptr, REG_OPTION_NON_VOLATILE,
                       KeyReadWrite);
}

}  // namespace

bool LoadRememberedPort(Registry& registry, std::u16string_view valueName, int16_t& port) {
  CRegistryKey key(registry);
  if (OpenSettings(key) != ERROR_SUCCESS) return false;
  const std::u16string name(valueName);
  DWORD type = REG_NONE;
  uint8_t data[4] = {};
  DWORD size = sizeof data;
  if (key.QueryValue(name.c_str(), &type, data, &size) != ERROR_SUCCESS) return false;
  // A shorter REG_DWORD would leave part of the number undefined; it is
  // replaced like any other malformed value.
  if (type != REG_DWORD || size != sizeof data) return false;
  uint32_t stored = 0;
  std::memcpy(&stored, data, sizeof stored);
  port = static_cast<int16_t>(static_cast<uint16_t>(stored & 0xFFFF));
  return true;
}

void SaveRememberedPort(Registry& registry, std::u16string_view valueName, int16_t port) {
  CRegistryKey key(registry);
  if (OpenSettings(key) != ERROR_SUCCESS) return;
  const std::u16string name(valueName);
  key.WriteDWORD(name.c_str(), static_cast<DWORD>(static_cast<int32_t>(port)));
}

void LoadOrRememberPort(Registry& registry, std::u16string_view valueName, int16_t& port) {
  if (!LoadRememberedPort(registry, valueName, port)) SaveRememberedPort(registry, valueName, port);
}

}  // namespace orvo
