// The registry seam over the Win32 registry functions.
#include "platform/Registry.h"

namespace orvo {
namespace {

HKEY H(RegKey key) { return reinterpret_cast<HKEY>(key); }
const wchar_t* W(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
wchar_t* W(char16_t* text) { return reinterpret_cast<wchar_t*>(text); }

using DeleteKeyExFunction = LONG(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);

// RegDeleteKeyExW is missing before Vista, so it is looked up by name, once
// for the life of the process.
DeleteKeyExFunction DeleteKeyExEntry() {
  static const DeleteKeyExFunction entry = [] {
    HMODULE advapi = GetModuleHandleW(L"Advapi32.dll");
    return advapi ? reinterpret_cast<DeleteKeyExFunction>(
                        reinterpret_cast<void*>(GetProcAddress(advapi, "RegDeleteKeyExW")))
                  : nullptr;
  }();
  return entry;
}

class Win32Registry final : public Registry {
 public:
  LONG CreateKeyEx(RegKey parent, const char16_t* subKey, const char16_t* className,
                   DWORD options, DWORD access, RegKey* result, DWORD* disposition) override {
    HKEY key = nullptr;
    LONG code = RegCreateKeyExW(H(parent), W(subKey), 0, const_cast<wchar_t*>(W(className)),
                                options, access, nullptr, &key, disposition);
    if (code == ERROR_SUCCESS) *result = reinterpret_cast<RegKey>(key);
    return code;
  }

  LONG OpenKeyEx(RegKey parent, const char16_t* subKey, DWORD access, RegKey* result) override {
    HKEY key = nullptr;
    LONG code = RegOpenKeyExW(H(parent), W(subKey), 0, access, &key);
    if (code == ERROR_SUCCESS) *result = reinterpret_cast<RegKey>(key);
    return code;
  }

  LONG CloseKey(RegKey key) override { return RegCloseKey(H(key)); }

  LONG SetValueEx(RegKey key, const char16_t* name, DWORD type, const void* data,
                  DWORD size) override {
    return RegSetValueExW(H(key), W(name), 0, type, static_cast<const BYTE*>(data), size);
  }

  LONG QueryValueEx(RegKey key, const char16_t* name, DWORD* type, void* data,
                    DWORD* size) override {
    return RegQueryValueExW(H(key), W(name), nullptr, type, static_cast<BYTE*>(data), size);
  }

  LONG DeleteValue(RegKey key, const char16_t* name) override {
    return RegDeleteValueW(H(key), W(name));
  }

  LONG DeleteKey(RegKey key, const char16_t* subKey) override {
    return RegDeleteKeyW(H(key), W(subKey));
  }

  bool DeleteKeyExAvailable() override { return DeleteKeyExEntry() != nullptr; }

  LONG DeleteKeyEx(RegKey key, const char16_t* subKey, DWORD viewFlags) override {
    DeleteKeyExFunction entry = DeleteKeyExEntry();
    return entry ? entry(H(key), W(subKey), viewFlags, 0) : ERROR_CALL_NOT_IMPLEMENTED;
  }

  LONG EnumKeyEx(RegKey key, DWORD index, char16_t* name, DWORD* nameLength) override {
    return RegEnumKeyExW(H(key), index, W(name), nameLength, nullptr, nullptr, nullptr, nullptr);
  }

  LONG EnumValue(RegKey key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* type,
                 void* data, DWORD* size) override {
    return RegEnumValueW(H(key), index, W(name), nameLength, nullptr, type,
                         static_cast<BYTE*>(data), size);
  }

  LONG QueryInfoKey(RegKey key, DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* values,
                    DWORD* maxValueNameLength, DWORD* maxValueSize) override {
    return RegQueryInfoKeyW(H(key), nullptr, nullptr, nullptr, subKeys, maxSubKeyLength, nullptr,
                            values, maxValueNameLength, maxValueSize, nullptr, nullptr);
  }
};

}  // namespace

Registry& SystemRegistry() {
  static Win32Registry registry;
  return registry;
}

}  // namespace orvo
