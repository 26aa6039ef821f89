#pragma once
// An in-memory registry with Win32's semantics and error codes, so that the
// registrar and the device classes' settings can be tested without Windows.
//
// What it models: the predefined roots (the classes root is the local
// machine's Software\Classes, which is where a per-machine registration
// writes), keys and subkey paths, case-insensitive names, typed values with
// exact sizes, the default value, handles with their access masks, handles
// that outlive their key (ERROR_KEY_DELETED), and refusing to delete a key
// that still has subkeys. It does not model security, volatility or the
// 32/64-bit views (the view bits are accepted and ignored).
//
// Tests can make a chosen call fail, and cap the model's size so that
// arbitrary scripts cannot make it grow without bound.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace orvo {

class RegistryModel final : public Registry {
 public:
  enum class Operation {
    CreateKey,
    OpenKey,
    CloseKey,
    SetValue,
    QueryValue,
    DeleteValue,
    DeleteKey,
    EnumKey,
    EnumValue,
    QueryInfoKey
  };

  // Makes calls of one operation fail with `code`. Name, when not empty,
  // restricts the rule to calls naming that subkey path or value (compared
  // without regard to case). Nth counts the matching calls from 1 and fails
  // only that one; 0 fails every matching call.
  struct Failure {
    Operation Op;
    uint32_t Nth = 0;
    std::u16string Name;
    LONG Code = ERROR_ACCESS_DENIED;
  };

  // Past these the model answers ERROR_NO_SYSTEM_RESOURCES, as a full
  // registry would.
  struct Limits {
    std::size_t MaxKeys = 100000;
    std::size_t MaxDataBytes = std::size_t{64} << 20;
  };

  RegistryModel();
  ~RegistryModel() override;
  RegistryModel(const RegistryModel&) = delete;
  RegistryModel& operator=(const RegistryModel&) = delete;

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
  bool DeleteKeyExAvailable() override { return HasDeleteKeyEx; }
  LONG DeleteKeyEx(RegKey key, const char16_t* subKey, DWORD viewFlags) override;
  LONG EnumKeyEx(RegKey key, DWORD index, char16_t* name, DWORD* nameLength) override;
  LONG EnumValue(RegKey key, DWORD index, char16_t* name, DWORD* nameLength, DWORD* type,
                 void* data, DWORD* size) override;
  LONG QueryInfoKey(RegKey key, DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* values,
                    DWORD* maxValueNameLength, DWORD* maxValueSize) override;

  void InjectFailure(Failure failure);
  void ClearFailures() { Failures.clear(); }
  void SetDeleteKeyExAvailable(bool available) { HasDeleteKeyEx = available; }
  void SetLimits(Limits limits) { SizeLimits = limits; }

  // Handles opened and not yet closed: a leak check for callers.
  std::size_t OpenHandleCount() const { return OpenKeys.size(); }
  std::size_t KeyCount() const { return StoredKeys; }

 private:
  struct Value {
    std::u16string Name;
    DWORD Type;
    std::vector<uint8_t> Data;
  };
  struct NameLess {
    bool operator()(const std::u16string& a, const std::u16string& b) const {
      return CompareNoCase(a, b) < 0;
    }
  };
  struct Node {
    std::u16string Name;
    Node* Parent = nullptr;  // null for a hive, and once deleted
    bool Deleted = false;
    std::map<std::u16string, std::shared_ptr<Node>, NameLess> Subkeys;
    std::vector<Value> Values;
  };
  struct OpenHandle {
    std::shared_ptr<Node> Key;
    DWORD Access;
  };
  struct ArmedFailure {
    Failure Rule;
    uint32_t Seen = 0;
  };

  bool ShouldFail(Operation op, const char16_t* name, LONG& code);
  LONG Resolve(RegKey key, DWORD access, std::shared_ptr<Node>& node) const;
  LONG Walk(std::shared_ptr<Node> from, const char16_t* path, bool create, DWORD parentAccess,
            std::shared_ptr<Node>& node, bool& created);
  RegKey NewHandle(std::shared_ptr<Node> node, DWORD access);
  LONG RemoveKey(RegKey key, const char16_t* subKey);
  Value* FindValue(Node& node, const char16_t* name);

  std::shared_ptr<Node> MachineRoot, UserRoot, UsersRoot, PerformanceRoot, ConfigRoot, DynDataRoot,
      ClassesRoot;
  std::map<RegKey, OpenHandle> OpenKeys;
  RegKey NextHandle = 0x1000;
  std::vector<ArmedFailure> Failures;
  Limits SizeLimits;
  std::size_t StoredKeys = 0;
  std::size_t DataBytes = 0;
  bool HasDeleteKeyEx = true;
};

}  // namespace orvo
