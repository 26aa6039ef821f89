#include "sim/bus/RegistryDump.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "protocol/HexText.h"

namespace orvo {
namespace {

struct DumpedValue {
  std::u16string Name;
  DWORD Type = REG_NONE;
  std::vector<uint8_t> Data;
};

std::string Escape(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    char buffer[12];
    if (c == u'\0') {
      out += "\\0";
    } else if (c == u'"' || c == u'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
      out += buffer;
    }
  }
  return out;
}

std::string Hex(const std::vector<uint8_t>& data) {
  return data.empty() ? std::string() : " " + HexBytes(data);
}

std::string Describe(const DumpedValue& value) {
  const bool text =
      value.Type == REG_SZ || value.Type == REG_EXPAND_SZ || value.Type == REG_MULTI_SZ;
  std::string type = value.Type == REG_SZ          ? "REG_SZ"
                     : value.Type == REG_EXPAND_SZ ? "REG_EXPAND_SZ"
                     : value.Type == REG_MULTI_SZ  ? "REG_MULTI_SZ"
                     : value.Type == REG_DWORD     ? "REG_DWORD"
                     : value.Type == REG_BINARY    ? "REG_BINARY"
                                                   : "type " + std::to_string(value.Type);
  if (text && value.Data.size() % 2 == 0) {
    std::u16string units(value.Data.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
      units[i] = static_cast<char16_t>(value.Data[2 * i] | (value.Data[2 * i + 1] << 8));
    return type + " \"" + Escape(units) + "\"";
  }
  if (value.Type == REG_DWORD && value.Data.size() == 4) {
    uint32_t number = value.Data[0] | (value.Data[1] << 8) | (value.Data[2] << 16) |
                      (uint32_t{value.Data[3]} << 24);
    return type + " " + std::to_string(number);
  }
  return type + Hex(value.Data);
}

void DumpKey(Registry& registry, RegKey key, int depth, std::string& out) {
  const std::string indent(depth * 2, ' ');
  DWORD subKeys = 0, values = 0, longestKey = 0, longestName = 0, largest = 0;
  LONG code = registry.QueryInfoKey(key, &subKeys, &longestKey, &values, &longestName, &largest);
  if (code != ERROR_SUCCESS) {
    out += indent + "!error " + std::to_string(code) + "\n";
    return;
  }
  std::vector<DumpedValue> found;
  for (DWORD i = 0;; ++i) {
    DumpedValue value;
    std::u16string name(longestName + 1, u'\0');
    DWORD nameLength = longestName + 1;
    value.Data.resize(largest);
    DWORD size = largest;
    code =
        registry.EnumValue(key, i, name.data(), &nameLength, &value.Type, value.Data.data(), &size);
    if (code != ERROR_SUCCESS) break;
    value.Name = name.substr(0, nameLength);
    value.Data.resize(size);
    found.push_back(std::move(value));
  }
  if (code != ERROR_NO_MORE_ITEMS) out += indent + "!error " + std::to_string(code) + "\n";
  std::sort(found.begin(), found.end(), [](const DumpedValue& a, const DumpedValue& b) {
    return CompareNoCase(a.Name, b.Name) < 0;
  });
  for (const DumpedValue& value : found)
    out +=
        indent + (value.Name.empty() ? "@" : Escape(value.Name)) + " = " + Describe(value) + "\n";

  std::vector<std::u16string> names;
  for (DWORD i = 0;; ++i) {
    std::u16string name(longestKey + 1, u'\0');
    DWORD nameLength = longestKey + 1;
    code = registry.EnumKeyEx(key, i, name.data(), &nameLength);
    if (code != ERROR_SUCCESS) break;
    names.push_back(name.substr(0, nameLength));
  }
  if (code != ERROR_NO_MORE_ITEMS) out += indent + "!error " + std::to_string(code) + "\n";
  std::sort(names.begin(), names.end(),
            [](const auto& a, const auto& b) { return CompareNoCase(a, b) < 0; });
  for (const std::u16string& name : names) {
    out += indent + Escape(name) + "\n";
    RegKey child = 0;
    code = registry.OpenKeyEx(key, name.c_str(), KeyReadOnly, &child);
    if (code != ERROR_SUCCESS) {
      out += indent + "  !error " + std::to_string(code) + "\n";
      continue;
    }
    DumpKey(registry, child, depth + 1, out);
    registry.CloseKey(child);
  }
}

}  // namespace

std::string DumpRegistryTree(Registry& registry, RegKey key) {
  std::string out;
  DumpKey(registry, key, 0, out);
  return out;
}

std::string DumpRegistryTree(Registry& registry, RegKey root, const char16_t* path) {
  RegKey key = 0;
  LONG code = registry.OpenKeyEx(root, path, KeyReadOnly, &key);
  if (code == ERROR_FILE_NOT_FOUND) return "!missing\n";
  if (code != ERROR_SUCCESS) return "!error " + std::to_string(code) + "\n";
  std::string out = DumpRegistryTree(registry, key);
  registry.CloseKey(key);
  return out;
}

}  // namespace orvo
