#include "sim/bus/RegistryModel.h"

#include <algorithm>
#include <string_view>

namespace orvo {
namespace {

// Longest key name component Windows accepts.
constexpr std::size_t MaxKeyNameLength = 255;
constexpr std::size_t MaxValueNameLength = 16383;

std::u16string_view NameOf(const char16_t* name) {
  return name ? std::u16string_view(name) : std::u16string_view();
}

}  // namespace

RegistryModel::RegistryModel() {
  auto hive = [this](std::u16string name) {
    auto node = std::make_shared<Node>();
    node->Name = std::move(name);
    ++StoredKeys;
    return node;
  };
  MachineRoot = hive(u"HKEY_LOCAL_MACHINE");
  UserRoot = hive(u"HKEY_CURRENT_USER");
  UsersRoot = hive(u"HKEY_USERS");
  PerformanceRoot = hive(u"HKEY_PERFORMANCE_DATA");
  ConfigRoot = hive(u"HKEY_CURRENT_CONFIG");
  DynDataRoot = hive(u"HKEY_DYN_DATA");
  bool created = false;
  Walk(MachineRoot, u"Software\\Classes", true, KeyReadWrite, ClassesRoot, created);
}

RegistryModel::~RegistryModel() = default;

void RegistryModel::InjectFailure(Failure failure) { Failures.push_back({std::move(failure), 0}); }

bool RegistryModel::ShouldFail(Operation op, const char16_t* name, LONG& code) {
  for (ArmedFailure& armed : Failures) {
    const Failure& rule = armed.Rule;
    if (rule.Op != op) continue;
    if (!rule.Name.empty() && !EqualsNoCase(rule.Name, NameOf(name))) continue;
    ++armed.Seen;
    if (rule.Nth == 0 || armed.Seen == rule.Nth) {
      code = rule.Code;
      return true;
    }
  }
  return false;
}

LONG RegistryModel::Resolve(RegKey key, DWORD access, std::shared_ptr<Node>& node) const {
  switch (key) {
    case RegClassesRoot:
      node = ClassesRoot;
      return ERROR_SUCCESS;
    case RegCurrentUser:
      node = UserRoot;
      return ERROR_SUCCESS;
    case RegLocalMachine:
      node = MachineRoot;
      return ERROR_SUCCESS;
    case RegUsers:
      node = UsersRoot;
      return ERROR_SUCCESS;
    case RegPerformanceData:
      node = PerformanceRoot;
      return ERROR_SUCCESS;
    case RegCurrentConfig:
      node = ConfigRoot;
      return ERROR_SUCCESS;
    case RegDynData:
      node = DynDataRoot;
      return ERROR_SUCCESS;
    default:
      break;
  }
  auto found = OpenKeys.find(key);
  if (found == OpenKeys.end()) return ERROR_INVALID_HANDLE;
  if (found->second.Key->Deleted) return ERROR_KEY_DELETED;
  if ((found->second.Access & access) != access) return ERROR_ACCESS_DENIED;
  node = found->second.Key;
  return ERROR_SUCCESS;
}

// Follows a backslash-separated path below `from`, creating what is missing
// when asked to. A leading backslash is refused; repeated and trailing ones
// are skipped.
LONG RegistryModel::Walk(std::shared_ptr<Node> from, const char16_t* path, bool create,
                         DWORD parentAccess, std::shared_ptr<Node>& node, bool& created) {
  created = false;
  std::u16string_view rest = NameOf(path);
  if (!rest.empty() && rest.front() == u'\\') return ERROR_BAD_PATHNAME;
  while (!rest.empty()) {
    std::size_t cut = rest.find(u'\\');
    std::u16string_view part = rest.substr(0, cut);
    rest = cut == std::u16string_view::npos ? std::u16string_view() : rest.substr(cut + 1);
    if (part.empty()) continue;
    if (part.size() > MaxKeyNameLength) return ERROR_INVALID_PARAMETER;
    auto found = from->Subkeys.find(std::u16string(part));
    if (found != from->Subkeys.end()) {
      from = found->second;
      continue;
    }
    if (!create) return ERROR_FILE_NOT_FOUND;
    if ((parentAccess & KEY_CREATE_SUB_KEY) == 0) return ERROR_ACCESS_DENIED;
    if (StoredKeys >= SizeLimits.MaxKeys) return ERROR_NO_SYSTEM_RESOURCES;
    auto child = std::make_shared<Node>();
    child->Name = std::u16string(part);
    child->Parent = from.get();
    from->Subkeys.emplace(child->Name, child);
    ++StoredKeys;
    from = child;
    created = true;
  }
  node = from;
  return ERROR_SUCCESS;
}

RegKey RegistryModel::NewHandle(std::shared_ptr<Node> node, DWORD access) {
  RegKey handle = NextHandle;
  NextHandle += 4;
  OpenKeys.emplace(handle, OpenHandle{std::move(node), access});
  return handle;
}

LONG RegistryModel::CreateKeyEx(RegKey parent, const char16_t* subKey, const char16_t*, DWORD,
                                DWORD access, RegKey* result, DWORD* disposition) {
  LONG code;
  if (ShouldFail(Operation::CreateKey, subKey, code)) return code;
  if (!result) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<Node> from;
  if ((code = Resolve(parent, 0, from)) != ERROR_SUCCESS) return code;
  DWORD parentAccess = KeyReadWrite;
  if (auto h = OpenKeys.find(parent); h != OpenKeys.end()) parentAccess = h->second.Access;
  std::shared_ptr<Node> node;
  bool created = false;
  if ((code = Walk(from, subKey, true, parentAccess, node, created)) != ERROR_SUCCESS) return code;
  *result = NewHandle(node, access);
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG RegistryModel::OpenKeyEx(RegKey parent, const char16_t* subKey, DWORD access, RegKey* result) {
  LONG code;
  if (ShouldFail(Operation::OpenKey, subKey, code)) return code;
  if (!result) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<Node> from, node;
  if ((code = Resolve(parent, 0, from)) != ERROR_SUCCESS) return code;
  bool created = false;
  if ((code = Walk(from, subKey, false, 0, node, created)) != ERROR_SUCCESS) return code;
  *result = NewHandle(node, access);
  return ERROR_SUCCESS;
}

LONG RegistryModel::CloseKey(RegKey key) {
  LONG code;
  if (ShouldFail(Operation::CloseKey, nullptr, code)) return code;
  if (key >= RegClassesRoot && key <= RegDynData) return ERROR_SUCCESS;
  return OpenKeys.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

RegistryModel::Value* RegistryModel::FindValue(Node& node, const char16_t* name) {
  for (Value& value : node.Values)
    if (EqualsNoCase(value.Name, NameOf(name))) return &value;
  return nullptr;
}

LONG RegistryModel::SetValueEx(RegKey key, const char16_t* name, DWORD type, const void* data,
                               DWORD size) {
  LONG code;
  if (ShouldFail(Operation::SetValue, name, code)) return code;
  std::shared_ptr<Node> node;
  if ((code = Resolve(key, KEY_SET_VALUE, node)) != ERROR_SUCCESS) return code;
  if (size && !data) return ERROR_INVALID_PARAMETER;
  if (NameOf(name).size() > MaxValueNameLength) return ERROR_INVALID_PARAMETER;
  const auto* bytes = static_cast<const uint8_t*>(data);
  Value* value = FindValue(*node, name);
  std::size_t before = value ? value->Data.size() + value->Name.size() * 2 : 0;
  std::size_t after = size + NameOf(name).size() * 2;
  if (DataBytes - before + after > SizeLimits.MaxDataBytes) return ERROR_NO_SYSTEM_RESOURCES;
  if (!value) value = &node->Values.emplace_back(Value{std::u16string(NameOf(name)), type, {}});
  value->Type = type;
  value->Data.assign(bytes, bytes + size);
  DataBytes = DataBytes - before + after;
  return ERROR_SUCCESS;
}

LONG RegistryModel::QueryValueEx(RegKey key, const char16_t* name, DWORD* type, void* data,
                                 DWORD* size) {
  LONG code;
  if (ShouldFail(Operation::QueryValue, name, code)) return code;
  std::shared_ptr<Node> node;
  if ((code = Resolve(key, KEY_QUERY_VALUE, node)) != ERROR_SUCCESS) return code;
  if (data && !size) return ERROR_INVALID_PARAMETER;
  const Value* value = FindValue(*node, name);
  if (!value) return ERROR_FILE_NOT_FOUND;
  if (type) *type = value->Type;
  if (!size) return ERROR_SUCCESS;
  DWORD needed = static_cast<DWORD>(value->Data.size());
  DWORD room = *size;
  *size = needed;
  if (!data) return ERROR_SUCCESS;
  if (room < needed) return ERROR_MORE_DATA;
  std::copy(value->Data.begin(), value->Data.end(), static_cast<uint8_t*>(data));
  return ERROR_SUCCESS;
}

LONG RegistryModel::DeleteValue(RegKey key, const char16_t* name) {
  LONG code;
  if (ShouldFail(Operation::DeleteValue, name, code)) return code;
  std::shared_ptr<Node> node;
  if ((code = Resolve(key, KEY_SET_VALUE, node)) != ERROR_SUCCESS) return code;
  Value* value = FindValue(*node, name);
  if (!value) return ERROR_FILE_NOT_FOUND;
  DataBytes -= value->Data.size() + value->Name.size() * 2;
  node->Values.erase(node->Values.begin() + (value - node->Values.data()));
  return ERROR_SUCCESS;
}

// Deleting opens the named key itself, so an empty name deletes the key the
// handle refers to, as Win32 does. Hives cannot be deleted.
LONG RegistryModel::RemoveKey(RegKey key, const char16_t* subKey) {
  LONG code;
  if (ShouldFail(Operation::DeleteKey, subKey, code)) return code;
  if (!subKey) return ERROR_INVALID_PARAMETER;
  std::shared_ptr<Node> from, node;
  if ((code = Resolve(key, 0, from)) != ERROR_SUCCESS) return code;
  bool created = false;
  if ((code = Walk(from, subKey, false, 0, node, created)) != ERROR_SUCCESS) return code;
  if (!node->Parent || !node->Subkeys.empty()) return ERROR_ACCESS_DENIED;
  for (const Value& value : node->Values) DataBytes -= value.Data.size() + value.Name.size() * 2;
  node->Values.clear();
  node->Deleted = true;
  node->Parent->Subkeys.erase(node->Name);
  node->Parent = nullptr;
  --StoredKeys;
  return ERROR_SUCCESS;
}

LONG RegistryModel::DeleteKey(RegKey key, const char16_t* subKey) { return RemoveKey(key, subKey); }

LONG RegistryModel::DeleteKeyEx(RegKey key, const char16_t* subKey, DWORD) {
  return RemoveKey(key, subKey);
}

LONG RegistryModel::EnumKeyEx(RegKey key, DWORD index, char16_t* name, DWORD* nameLength) {
  LONG code;
  if (ShouldFail(Operation::EnumKey, nullptr, code)) return code;
  std::shared_ptr<Node> node;
  if ((code = Resolve(key, KEY_ENUMERATE_SUB_KEYS, node)) != ERROR_SUCCESS) return code;
  if (!name || !nameLength) return ERROR_INVALID_PARAMETER;
  if (index >= node->Subkeys.size()) return ERROR_NO_MORE_ITEMS;
  const std::u16string& found = std::next(node->Subkeys.begin(), index)->first;
  if (found.size() + 1 > *nameLength) return ERROR_MORE_DATA;
  std::copy(found.begin(), found.end(), name);
  name[found.size()] = u'\0';
  *nameLength = static_cast<DWORD>(found.size());
  return ERROR_SUCCESS;
}

LONG RegistryModel::EnumValue(RegKey key, DWORD index, char16_t* name, DWORD* nameLength,
                              DWORD* type, void* data, DWORD* size) {
  LONG code;
  if (ShouldFail(Operation::EnumValue, nullptr, code)) return code;
  std::shared_ptr<Node> node;
  if ((code = Resolve(key, KEY_QUERY_VALUE, node)) != ERROR_SUCCESS) return code;
  if (!name || !nameLength || (data && !size)) return ERROR_INVALID_PARAMETER;
  if (index >= node->Values.size()) return ERROR_NO_MORE_ITEMS;
  const Value& value = node->Values[index];
  if (value.Name.size() + 1 > *nameLength) return ERROR_MORE_DATA;
  std::copy(value.Name.begin(), value.Name.end(), name);
  name[value.Name.size()] = u'\0';
  *nameLength = static_cast<DWORD>(value.Name.size());
  if (type) *type = value.Type;
  if (!size) return ERROR_SUCCESS;
  DWORD room = *size;
  *size = static_cast<DWORD>(value.Data.size());
  if (!data) return ERROR_SUCCESS;
  if (room < value.Data.size()) return ERROR_MORE_DATA;
  std::copy(value.Data.begin(), value.Data.end(), static_cast<uint8_t*>(data));
  return ERROR_SUCCESS;
}

LONG RegistryModel::QueryInfoKey(RegKey key, DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* values,
                                 DWORD* maxValueNameLength, DWORD* maxValueSize) {
  LONG code;
  if (ShouldFail(Operation::QueryInfoKey, nullptr, code)) return code;
  std::shared_ptr<Node> node;
  if ((code = Resolve(key, KEY_QUERY_VALUE, node)) != ERROR_SUCCESS) return code;
  std::size_t longestKey = 0, longestName = 0, largest = 0;
  for (const auto& [name, child] : node->Subkeys) longestKey = std::max(longestKey, name.size());
  for (const Value& value : node->Values) {
    longestName = std::max(longestName, value.Name.size());
    largest = std::max(largest, value.Data.size());
  }
  if (subKeys) *subKeys = static_cast<DWORD>(node->Subkeys.size());
  if (maxSubKeyLength) *maxSubKeyLength = static_cast<DWORD>(longestKey);
  if (values) *values = static_cast<DWORD>(node->Values.size());
  if (maxValueNameLength) *maxValueNameLength = static_cast<DWORD>(longestName);
  if (maxValueSize) *maxValueSize = static_cast<DWORD>(largest);
  return ERROR_SUCCESS;
}

}  // namespace orvo
