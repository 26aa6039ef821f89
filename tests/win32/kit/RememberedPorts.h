#pragma once
// The ports the device classes remember in the current user's settings, read
// and removed straight through the registry rather than through the classes'
// own settings code, which is what is under test.
#include <windows.h>

#include <cstdint>
#include <optional>

inline constexpr const wchar_t* RememberedPortsKey =
    L"Software\\OrvoCorp\\Controls\\Cai\\OrvoTrainer\\Immediate";

// The value, or nothing unless it is a 4-byte REG_DWORD: a port stored with
// another type or size would not be read back by the classes.
inline std::optional<int32_t> RememberedPort(const wchar_t* name) {
  DWORD value = 0, size = sizeof value, type = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, RememberedPortsKey, name, RRF_RT_ANY, &type, &value,
                   &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != 4)
    return std::nullopt;
  return static_cast<int32_t>(value);
}

inline void ForgetPort(const wchar_t* name) {
  RegDeleteKeyValueW(HKEY_CURRENT_USER, RememberedPortsKey, name);
}
