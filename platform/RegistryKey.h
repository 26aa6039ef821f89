#pragma once
// The registry key handle: owns at most one open key and closes it when it
// goes. The registrar's walks use it, and so do the device classes for their
// remembered ports. Every operation returns the system error code (0 on
// success).
#include <cstdint>

#include "platform/Registry.h"

namespace orvo {

class CRegistryKey {
 public:
  explicit CRegistryKey(Registry& registry) : Store(registry) {}
  ~CRegistryKey() { CloseKey(); }
  CRegistryKey(const CRegistryKey&) = delete;
  CRegistryKey& operator=(const CRegistryKey&) = delete;

  // On success the key held before is closed and the new one held; on
  // failure the old one stays.
  LONG CreateKey(RegKey parent, const char16_t* name, const char16_t* className = nullptr,
                 DWORD options = REG_OPTION_NON_VOLATILE, DWORD access = KeyReadWrite,
                 DWORD* disposition = nullptr);
  LONG OpenKey(RegKey parent, const char16_t* name, DWORD access = KeyReadWrite);
  LONG CloseKey();

  // Holds a key someone else owns (a predefined root, or a parent's key)
  // without closing it; Detach gives it back.
  void Attach(RegKey key, DWORD viewFlags = 0);
  RegKey Detach();

  // Deletes a subkey that has no subkeys of its own.
  LONG DeleteChildKey(const char16_t* name);
  // Deletes a subkey with everything below it.
  LONG DeleteKeyTree(const char16_t* name);
  // True when the key's information can be read and it has a subkey.
  bool HasChildren();

  LONG WriteValue(const char16_t* name, DWORD type, const void* data, DWORD size);
  LONG WriteDWORD(const char16_t* name, DWORD value);
  // RegQueryValueExW on the held key: the type and at most *size bytes.
  LONG QueryValue(const char16_t* name, DWORD* type, void* data, DWORD* size);

  RegKey Handle() const { return Key; }
  Registry& Backend() const { return Store; }

 private:
  void Hold(RegKey key, DWORD access);

  Registry& Store;
  RegKey Key = 0;
  DWORD ViewFlags = 0;
  bool Owned = false;
};

}  // namespace orvo
