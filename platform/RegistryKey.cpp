#include "platform/RegistryKey.h"

#include <string>

namespace orvo {
namespace {

// Longest key name the registry hands out, plus its terminator.
constexpr DWORD KeyNameBuffer = 256;

}  // namespace

void CRegistryKey::Hold(RegKey key, DWORD access) {
  CloseKey();
  Key = key;
  ViewFlags = access & KeyViewFlags;
  Owned = true;
}

LONG CRegistryKey::CreateKey(RegKey parent, const char16_t* name, const char16_t* className,
                             DWORD options, DWORD access, DWORD* disposition) {
  RegKey key = 0;
  LONG code = Store.CreateKeyEx(parent, name, className, options, access, &key, disposition);
  if (code == ERROR_SUCCESS) Hold(key, access);
  return code;
}

LONG CRegistryKey::OpenKey(RegKey parent, const char16_t* name, DWORD access) {
  RegKey key = 0;
  LONG code = Store.OpenKeyEx(parent, name, access, &key);
  if (code == ERROR_SUCCESS) Hold(key, access);
  return code;
}

LONG CRegistryKey::CloseKey() {
  LONG code = ERROR_SUCCESS;
  if (Key && Owned) code = Store.CloseKey(Key);
  Key = 0;
  ViewFlags = 0;
  Owned = false;
  return code;
}

void CRegistryKey::Attach(RegKey key, DWORD viewFlags) {
  CloseKey();
  Key = key;
  ViewFlags = viewFlags & KeyViewFlags;
}

RegKey CRegistryKey::Detach() {
  RegKey key = Key;
  Key = 0;
  ViewFlags = 0;
  Owned = false;
  return key;
}

LONG CRegistryKey::DeleteChildKey(const char16_t* name) {
  if (Store.DeleteKeyExAvailable()) return Store.DeleteKeyEx(Key, name, ViewFlags);
  return Store.DeleteKey(Key, name);
}

// Depth-first: a key can only go once its subkeys have. The recursion is as
// deep as the registry, which Windows limits to 512 levels.
LONG CRegistryKey::DeleteKeyTree(const char16_t* name) {
  CRegistryKey child(Store);
  LONG code = child.OpenKey(Key, name, KeyReadWrite | ViewFlags);
  if (code != ERROR_SUCCESS) return code;
  std::u16string childName(KeyNameBuffer, u'\0');
  for (;;) {
    DWORD length = static_cast<DWORD>(childName.size());
    code = Store.EnumKeyEx(child.Key, 0, childName.data(), &length);
    if (code == ERROR_MORE_DATA) {
      // Windows keeps names to 255 characters, Wine does not.
      DWORD longest = 0;
      code = Store.QueryInfoKey(child.Key, nullptr, &longest, nullptr, nullptr, nullptr);
      if (code != ERROR_SUCCESS) return code;
      if (longest + 1 <= childName.size()) return ERROR_MORE_DATA;
      childName.assign(longest + 1, u'\0');
      continue;
    }
    if (code == ERROR_NO_MORE_ITEMS) break;
    if (code != ERROR_SUCCESS) return code;
    if ((code = child.DeleteKeyTree(childName.c_str())) != ERROR_SUCCESS) return code;
  }
  child.CloseKey();
  return DeleteChildKey(name);
}

bool CRegistryKey::HasChildren() {
  DWORD subKeys = 0;
  return Store.QueryInfoKey(Key, &subKeys, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
         subKeys > 0;
}

LONG CRegistryKey::WriteValue(const char16_t* name, DWORD type, const void* data, DWORD size) {
  return Store.SetValueEx(Key, name, type, data, size);
}

LONG CRegistryKey::WriteDWORD(const char16_t* name, DWORD value) {
  return WriteValue(name, REG_DWORD, &value, sizeof value);
}

LONG CRegistryKey::QueryValue(const char16_t* name, DWORD* type, void* data, DWORD* size) {
  return Store.QueryValueEx(Key, name, type, data, size);
}

}  // namespace orvo
