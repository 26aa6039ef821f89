#pragma once
// The registry as the registrar, the registry key handle and the device
// classes' remembered ports see it. Every operation is the Win32 call of the
// same name, with the same arguments and the same system error codes; Win32
// provides the real one and sim/bus an in-memory model for tests.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/WinTypes.h"

namespace orvo {

// An open key, or one of the predefined roots. Zero is never a valid key.
using RegKey = std::uintptr_t;

// The predefined roots are 32-bit values that Windows sign-extends into a
// handle, so the same numbers work on 32- and 64-bit builds.
constexpr RegKey PredefinedKey(uint32_t value) {
  return static_cast<RegKey>(static_cast<std::intptr_t>(static_cast<int32_t>(value)));
}
inline constexpr RegKey RegClassesRoot = PredefinedKey(0x80000000u);
inline constexpr RegKey RegCurrentUser = PredefinedKey(0x80000001u);
inline constexpr RegKey RegLocalMachine = PredefinedKey(0x80000002u);
inline constexpr RegKey RegUsers = PredefinedKey(0x80000003u);
inline constexpr RegKey RegPerformanceData = PredefinedKey(0x80000004u);
inline constexpr RegKey RegCurrentConfig = PredefinedKey(0x80000005u);
inline constexpr RegKey RegDynData = PredefinedKey(0x80000006u);

// Access masks the module uses.
inline constexpr DWORD KeyReadWrite = 0x2001F;
inline constexpr DWORD KeyReadOnly = 0x20019;
inline constexpr DWORD KeyWriteOnly = 0x20006;
// The 32/64-bit view bits of an access mask.
inline constexpr DWORD KeyViewFlags = 0x300;

// Key and value names compare without regard to case. Only ASCII letters are
// folded: every name the module writes or reads is ASCII, and a wider table
// would buy nothing but a difference from one Windows version to the next.
constexpr char16_t FoldCase(char16_t c) {
  return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c;
}
inline int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    char16_t x = FoldCase(a[i]), y = FoldCase(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}
inline bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && CompareNoCase(a, b) == 0;
}

// Names are null-terminated; a null value name means the key's default
// value, and a null or empty subkey name means the key itself.
class Registry {
 public:
  virtual ~Registry() = default;

  virtual LONG CreateKeyEx(RegKey parent, const char16_t* subKey, const char16_t* className,
                           DWORD options, DWORD access, RegKey* result, DWORD* disposition) = 0;
  virtual LONG OpenKeyEx(RegKey parent, const char16_t* subKey, DWORD access, RegKey* result) = 0;
  virtual LONG CloseKey(RegKey key) = 0;

  virtual LONG SetValueEx(RegKey key, const char16_t* name, DWORD type, const void* data,
                          DWORD size) = 0;
  // data may be null to ask for the type and size only; a buffer that is too
  // small gives ERROR_MORE_DATA with the size needed.
  virtual LONG QueryValueEx(RegKey key, const char16_t* name, DWORD* type, void* data,
                            DWORD* size) = 0;
  virtual LONG DeleteValue(RegKey key, const char16_t* name) = 0;

  // A key that has subkeys cannot be deleted.
  virtual LONG DeleteKey(RegKey key, const char16_t* subKey) = 0;
  // RegDeleteKeyExW exists only on newer systems; callers ask first.
  virtual bool DeleteKeyExAvailable() = 0;
  virtual LONG DeleteKeyEx(RegKey key, const char16_t* subKey, DWORD viewFlags) = 0;

  // nameLength is in characters: the buffer's on entry, the name's without
  // its terminator on success.
  virtual LONG EnumKeyEx(RegKey key, DWORD index, char16_t* name, DWORD* nameLength) = 0;
  virtual LONG EnumValue(RegKey key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* type,
                         void* data, DWORD* size) = 0;
  // Any of the outputs may be null.
  virtual LONG QueryInfoKey(RegKey key, DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* values,
                            DWORD* maxValueNameLength, DWORD* maxValueSize) = 0;
};

#ifdef _WIN32
// The Win32 registry, for the DLL. The host build has no default; tests hand
// a registry model to whatever needs one.
Registry& SystemRegistry();
#endif

}  // namespace orvo
