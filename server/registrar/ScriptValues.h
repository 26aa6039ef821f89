#pragma once
// The data of a registry script's value entry, by value type: the bytes that
// RegSetValueExW is given.
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/WinTypes.h"

namespace orvo {

// The value types a script can name, by their letter.
enum class ScriptValueType : char16_t { String = u'S', MultiString = u'M', Number = u'D', Binary = u'B' };

// The type named by a type token (one letter, any case); false if none.
bool ParseScriptValueType(std::u16string_view token, ScriptValueType& type);

struct ScriptValueData {
  DWORD Type = REG_NONE;
  std::vector<uint8_t> Bytes;
};

// Converts the value text. Failures: the conversion's HRESULT for numbers,
// E_FAIL for binary text with an odd number of digits, E_OUTOFMEMORY.
HRESULT ScriptValueFromText(ScriptValueType type, std::u16string_view text, ScriptValueData& value);

}  // namespace orvo
