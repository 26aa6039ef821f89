#pragma once
// Registry behaviour the module relies on, as a table of call sequences with
// the system codes each call returns. The host test runs it against the
// registry model; the Windows test runs the same table against the real
// registry under Wine, so the model cannot drift from what Win32 does.
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace orvo::test {

struct RegistryCase {
  const char* Name;
  // Runs the calls below `base` (an empty key of its own) and returns the
  // code of each.
  std::vector<LONG> (*Calls)(Registry& registry, RegKey base);
  std::vector<LONG> Expected;
  // Where Wine differs from Windows, what Wine returns.
  std::vector<LONG> WineExpected = {};
};

namespace semantics {

inline LONG Create(Registry& r, RegKey parent, const char16_t* name, RegKey* key = nullptr,
                   DWORD* disposition = nullptr, DWORD access = KeyReadWrite) {
  RegKey held = 0;
  LONG code = r.CreateKeyEx(parent, name, nullptr, REG_OPTION_NON_VOLATILE, access, &held,
                            disposition);
  if (code == ERROR_SUCCESS && key) *key = held;
  else if (code == ERROR_SUCCESS) r.CloseKey(held);
  return code;
}

inline LONG Open(Registry& r, RegKey parent, const char16_t* name, DWORD access,
                 RegKey* key = nullptr) {
  RegKey held = 0;
  LONG code = r.OpenKeyEx(parent, name, access, &held);
  if (code == ERROR_SUCCESS && key) *key = held;
  else if (code == ERROR_SUCCESS) r.CloseKey(held);
  return code;
}

inline LONG SetString(Registry& r, RegKey key, const char16_t* name, std::u16string_view text) {
  std::u16string copy(text);
  return r.SetValueEx(key, name, REG_SZ, copy.c_str(), static_cast<DWORD>((copy.size() + 1) * 2));
}

// A braced list is evaluated in order, so a size or type listed after a call
// is the one that call left.
inline const RegistryCase Cases[] = {
    {"paths are created and found without regard to case",
     [](Registry& r, RegKey base) -> std::vector<LONG> {
       DWORD first = 0, second = 0;
       return {Create(r, base, u"A\\B\\C", nullptr, &first), LONG(first),
               Create(r, base, u"a\\b\\c", nullptr, &second), LONG(second),
               Open(r, base, u"A\\b", KeyReadOnly), Open(r, base, u"Missing", KeyReadOnly),
               Open(r, base, u"A\\Missing\\C", KeyReadOnly), Create(r, base, u"T\\")};
     },
     {0, REG_CREATED_NEW_KEY, 0, REG_OPENED_EXISTING_KEY, 0, ERROR_FILE_NOT_FOUND,
      ERROR_FILE_NOT_FOUND, 0}},
    {"a key with subkeys cannot be deleted",
     [](Registry& r, RegKey base) -> std::vector<LONG> {
       return {Create(r, base, u"P\\C"), r.DeleteKey(base, u"P"), r.DeleteKey(base, u"p\\c"),
               r.DeleteKey(base, u"P"), r.DeleteKey(base, u"P")};
     },
     {0, ERROR_ACCESS_DENIED, 0, 0, ERROR_FILE_NOT_FOUND}},
    {"a handle outlives its deleted key",
     [](Registry& r, RegKey base) -> std::vector<LONG> {
       RegKey key = 0;
       DWORD subKeys = 0;
       return {Create(r, base, u"D", &key), r.DeleteKey(base, u"D"), SetString(r, key, u"v", u"x"),
               r.QueryInfoKey(key, &subKeys, nullptr, nullptr, nullptr, nullptr),
               Create(r, key, u"Child"), r.CloseKey(key)};
     },
     {0, 0, ERROR_KEY_DELETED, ERROR_KEY_DELETED, ERROR_KEY_DELETED, 0}},
    {"handles keep their access",
     [](Registry& r, RegKey base) -> std::vector<LONG> {
       RegKey reader = 0, writer = 0;
       char16_t name[16];
       DWORD length = 16, type = 0;
       std::vector<LONG> codes{Create(r, base, u"R\\Sub"), Open(r, base, u"R", KeyReadOnly, &reader),
                               Open(r, base, u"R", KeyWriteOnly, &writer),
                               SetString(r, reader, nullptr, u"x"),
                               SetString(r, writer, nullptr, u"x"),
                               r.EnumKeyEx(writer, 0, name, &length),
                               r.QueryValueEx(writer, nullptr, &type, nullptr, nullptr),
                               r.QueryValueEx(reader, nullptr, &type, nullptr, nullptr),
                               Create(r, reader, u"Sub"), Create(r, reader, u"New"),
                               Create(r, writer, u"New")};
       r.CloseKey(reader);
       r.CloseKey(writer);
       return codes;
     },
     {0, 0, 0, ERROR_ACCESS_DENIED, 0, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, 0, 0,
      ERROR_ACCESS_DENIED, 0},
     // Windows wants KEY_CREATE_SUB_KEY on the parent handle to create a
     // key; Wine does not check it.
     {0, 0, 0, ERROR_ACCESS_DENIED, 0, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, 0, 0, 0, 0}},
    {"values are typed, sized and named without regard to case",
     [](Registry& r, RegKey base) -> std::vector<LONG> {
       DWORD number = 42, type = 0, size = 2, got = 0;
       std::vector<LONG> codes{SetString(r, base, nullptr, u"default"),
                               r.SetValueEx(base, u"Name", REG_DWORD, &number, 4),
                               r.QueryValueEx(base, u"NAME", &type, nullptr, &size), LONG(type),
                               LONG(size)};
       size = 2;
       codes.insert(codes.end(), {r.QueryValueEx(base, u"name", &type, &got, &size), LONG(size)});
       size = 4;
       codes.insert(codes.end(), {r.QueryValueEx(base, u"name", &type, &got, &size), LONG(got),
                                  r.QueryValueEx(base, u"Missing", &type, nullptr, nullptr),
                                  r.DeleteValue(base, u"nAME"), r.DeleteValue(base, u"Name"),
                                  r.QueryValueEx(base, u"", &type, nullptr, nullptr)});
       return codes;
     },
     {0, 0, 0, REG_DWORD, 4, ERROR_MORE_DATA, 4, 0, 42, ERROR_FILE_NOT_FOUND, 0,
      ERROR_FILE_NOT_FOUND, 0}},
    {"enumeration ends and asks for room",
     [](Registry& r, RegKey base) -> std::vector<LONG> {
       char16_t name[16];
       DWORD length = 3;
       std::vector<LONG> codes{r.EnumKeyEx(base, 0, name, &length), Create(r, base, u"Long")};
       length = 3;
       codes.push_back(r.EnumKeyEx(base, 0, name, &length));
       length = 16;
       codes.insert(codes.end(), {r.EnumKeyEx(base, 0, name, &length), LONG(length)});
       length = 16;
       DWORD subKeys = 0, longest = 0;
       codes.insert(codes.end(),
                    {r.EnumKeyEx(base, 1, name, &length),
                     r.QueryInfoKey(base, &subKeys, &longest, nullptr, nullptr, nullptr),
                     LONG(subKeys), LONG(longest)});
       return codes;
     },
     {ERROR_NO_MORE_ITEMS, 0, ERROR_MORE_DATA, 0, 4, ERROR_NO_MORE_ITEMS, 0, 1, 4}},
    {"an empty or null subkey opens the key itself",
     [](Registry& r, RegKey base) -> std::vector<LONG> {
       RegKey again = 0;
       return {Open(r, base, u"", KeyReadWrite, &again), r.CloseKey(again),
               Open(r, base, nullptr, KeyWriteOnly, &again), r.CloseKey(again),
               SetString(r, base, u"still", u"open")};
     },
     {0, 0, 0, 0, 0}},
    {"malformed paths",
     [](Registry& r, RegKey base) -> std::vector<LONG> {
       const std::u16string longName(256, u'n'), longestName(255, u'n');
       return {Create(r, base, longName.c_str()), Create(r, base, longestName.c_str()),
               Open(r, base, longName.c_str(), KeyReadOnly), Create(r, base, u"\\Lead"),
               Create(r, base, u"X\\\\Y"), Open(r, base, u"X\\", KeyReadOnly)};
     },
     {ERROR_INVALID_PARAMETER, 0, ERROR_INVALID_PARAMETER, ERROR_BAD_PATHNAME, 0, 0},
     // Windows limits a key name to 255 characters; Wine does not.
     {0, 0, 0, ERROR_BAD_PATHNAME, 0, 0}},
};

}  // namespace semantics
}  // namespace orvo::test
