#include "platform/posix/SettingsFile.h"

#include <charconv>
#include <cstring>

#include "platform/posix/UserFiles.h"

namespace orvo::posix {
namespace {

// Far more than the few dozen lines a classroom's units could give.
constexpr std::size_t FileLimit = 64 * 1024;

bool NameCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

char Fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool SettingsFile::NoCase::operator()(std::string_view a, std::string_view b) const {
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return Fold(a[i]) < Fold(b[i]);
  return a.size() < b.size();
}

SettingsFile::SettingsFile(std::string path, std::u16string keyPath)
    : Path(std::move(path)), KeyPath(std::move(keyPath)) {}

std::optional<SettingsFile::Values> SettingsFile::Parse(std::string_view text) {
  Values values;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t equals = line.find('=');
    if (equals == 0 || equals == std::string_view::npos || equals > 64) return std::nullopt;
    const std::string_view name = line.substr(0, equals);
    for (char c : name)
      if (!NameCharacter(c)) return std::nullopt;
    const std::string_view number = line.substr(equals + 1);
    int32_t value = 0;
    const auto [last, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || last != number.data() + number.size()) return std::nullopt;
    values[std::string(name)] = value;
  }
  return values;
}

std::string SettingsFile::Format(const Values& values) {
  std::string text = "# OrvoTrainer: the port that last reached each unit.\n";
  for (const auto& [name, value] : values) text += name + "=" + std::to_string(value) + "\n";
  return text;
}

SettingsFile::Values SettingsFile::Load() const {
  if (Path.empty()) return {};
  const std::optional<std::string> text = ReadSmallFile(Path, FileLimit);
  if (!text) return {};
  return Parse(*text).value_or(Values{});
}

std::optional<std::string> SettingsFile::ValueName(const char16_t* name) {
  if (!name || !name[0]) return std::nullopt;
  std::string ascii;
  for (const char16_t* c = name; *c; ++c) {
    if (*c > 0x7F || !NameCharacter(static_cast<char>(*c)) || ascii.size() == 64)
      return std::nullopt;
    ascii.push_back(static_cast<char>(*c));
  }
  return ascii;
}

LONG SettingsFile::Open(RegKey parent, const char16_t* subKey, RegKey* result) const {
  if (!result) return ERROR_INVALID_PARAMETER;
  if (parent != RegCurrentUser || !subKey || !EqualsNoCase(subKey, KeyPath))
    return ERROR_ACCESS_DENIED;
  *result = SettingsKey;
  return ERROR_SUCCESS;
}

LONG SettingsFile::CreateKeyEx(RegKey parent, const char16_t* subKey, const char16_t*, DWORD, DWORD,
                               RegKey* result, DWORD* disposition) {
  const LONG status = Open(parent, subKey, result);
  if (status == ERROR_SUCCESS && disposition) *disposition = REG_OPENED_EXISTING_KEY;
  return status;
}

LONG SettingsFile::OpenKeyEx(RegKey parent, const char16_t* subKey, DWORD, RegKey* result) {
  return Open(parent, subKey, result);
}

LONG SettingsFile::CloseKey(RegKey key) {
  return key == SettingsKey ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG SettingsFile::SetValueEx(RegKey key, const char16_t* name, DWORD type, const void* data,
                              DWORD size) {
  if (key != SettingsKey) return ERROR_INVALID_HANDLE;
  const std::optional<std::string> valueName = ValueName(name);
  if (!valueName || type != REG_DWORD || size != sizeof(int32_t) || !data)
    return ERROR_INVALID_PARAMETER;
  if (Path.empty()) return ERROR_ACCESS_DENIED;
  int32_t value = 0;
  std::memcpy(&value, data, sizeof value);
  FileLock lock(Path);
  Values values = Load();
  values[*valueName] = value;
  return ReplaceFile(Path, Format(values)) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

LONG SettingsFile::QueryValueEx(RegKey key, const char16_t* name, DWORD* type, void* data,
                                DWORD* size) {
  if (key != SettingsKey) return ERROR_INVALID_HANDLE;
  const std::optional<std::string> valueName = ValueName(name);
  if (!valueName) return ERROR_FILE_NOT_FOUND;
  const Values values = Load();
  const auto found = values.find(*valueName);
  if (found == values.end()) return ERROR_FILE_NOT_FOUND;
  if (type) *type = REG_DWORD;
  if (!size) return data ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
  const DWORD room = *size;
  *size = sizeof(int32_t);
  if (!data) return ERROR_SUCCESS;
  if (room < sizeof(int32_t)) return ERROR_MORE_DATA;
  std::memcpy(data, &found->second, sizeof(int32_t));
  return ERROR_SUCCESS;
}

// The module never enumerates, deletes or lists its settings.
LONG SettingsFile::DeleteValue(RegKey, const char16_t*) { return ERROR_ACCESS_DENIED; }
LONG SettingsFile::DeleteKey(RegKey, const char16_t*) { return ERROR_ACCESS_DENIED; }
LONG SettingsFile::DeleteKeyEx(RegKey, const char16_t*, DWORD) { return ERROR_ACCESS_DENIED; }
LONG SettingsFile::EnumKeyEx(RegKey, DWORD, char16_t*, DWORD*) { return ERROR_NO_MORE_ITEMS; }
LONG SettingsFile::EnumValue(RegKey, DWORD, char16_t*, DWORD*, DWORD*, void*, DWORD*) {
  return ERROR_NO_MORE_ITEMS;
}
LONG SettingsFile::QueryInfoKey(RegKey, DWORD*, DWORD*, DWORD*, DWORD*, DWORD*) {
  return ERROR_ACCESS_DENIED;
}

}  // namespace orvo::posix
