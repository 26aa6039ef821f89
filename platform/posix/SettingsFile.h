#pragma once
// The remembered ports on a system without a registry: one small text file
// per user, holding the same value names the Windows module keeps under its
// settings key ("BrixPort_12=5"). The device classes reach it through the
// registry interface, as one key that holds 32-bit numbers and nothing else.
//
// The file is read afresh for every query and replaced whole for every
// write, under a lock, so two lessons share it as they share the registry.
// A damaged file (a line that is not NAME=NUMBER, an absurd size) reads as
// nothing remembered; the next write replaces it.
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Registry.h"

namespace orvo::posix {

class SettingsFile final : public Registry {
 public:
  // `path` is the file; `keyPath` the one key below the current user's hive
  // that it stands for. An empty path keeps nothing: every query finds
  // nothing and every write fails.
  SettingsFile(std::string path, std::u16string keyPath);

  LONG CreateKeyEx(RegKey parent, const char16_t* subKey, const char16_t* className, DWORD options,
                   DWORD access, RegKey* result, DWORD* disposition) override;
  LONG OpenKeyEx(RegKey parent, const char16_t* subKey, DWORD access, RegKey* result) override;
  LONG CloseKey(RegKey key) override;
  LONG SetValueEx(RegKey key, const char16_t* name, DWORD type, const void* data,
                  DWORD size) override;
  LONG QueryValueEx(RegKey key, const char16_t* name, DWORD* type, void* data,
                    DWORD* size) override;
  LONG DeleteValue(RegKey key, const char16_t* name) override;
  LONG DeleteKey(RegKey key, const char16_t* subKey) override;
  bool DeleteKeyExAvailable() override { return false; }
  LONG DeleteKeyEx(RegKey key, const char16_t* subKey, DWORD viewFlags) override;
  LONG EnumKeyEx(RegKey key, DWORD index, char16_t* name, DWORD* nameLength) override;
  LONG EnumValue(RegKey key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* type,
                 void* data, DWORD* size) override;
  LONG QueryInfoKey(RegKey key, DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* values,
                    DWORD* maxValueNameLength, DWORD* maxValueSize) override;

  // Names are looked up without regard to case, as registry value names
  // are, and keep the spelling they were first written with.
  struct NoCase {
    bool operator()(std::string_view a, std::string_view b) const;
  };
  // The values as the file has them; nothing when it is damaged.
  using Values = std::map<std::string, int32_t, NoCase>;
  static std::optional<Values> Parse(std::string_view text);
  static std::string Format(const Values& values);

 private:
  static constexpr RegKey SettingsKey = 1;
  // Every name the module writes is ASCII: letters, digits and '_', at
  // most 64 of them.
  static std::optional<std::string> ValueName(const char16_t* name);
  Values Load() const;
  LONG Open(RegKey parent, const char16_t* subKey, RegKey* result) const;

  const std::string Path;
  const std::u16string KeyPath;
};

}  // namespace orvo::posix
