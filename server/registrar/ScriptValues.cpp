#include "server/registrar/ScriptValues.h"

#include <new>
#include <string>

#include "platform/Registry.h"
#include "platform/Variant.h"

namespace orvo {
namespace {

void AppendUnits(std::vector<uint8_t>& bytes, std::u16string_view units) {
  for (char16_t unit : units) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
}

// "\0" separates the strings; any other backslash is an ordinary character.
// The registry value ends at the first empty string, so text after "\0\0"
// is dropped, as Win32 readers of REG_MULTI_SZ would drop it anyway.
void MultiString(std::u16string_view text, std::vector<uint8_t>& bytes) {
  std::u16string units;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\\' && i + 1 < text.size() && text[i + 1] == u'0') {
      units += u'\0';
      ++i;
    } else {
      units += text[i];
    }
  }
  units.append(2, u'\0');
  std::size_t used = 0;
  for (;;) {
    std::size_t end = units.find(u'\0', used);
    bool empty = end == used;
    used = end + 1;
    if (empty) break;
  }
  AppendUnits(bytes, std::u16string_view(units).substr(0, used));
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return 0;  // scripts have always read a stray character as 0
}

HRESULT Binary(std::u16string_view text, std::vector<uint8_t>& bytes) {
  if (text.size() % 2 != 0) return E_FAIL;
  bytes.assign(text.size() / 2, 0);
  for (std::size_t i = 0; i < text.size(); ++i)
    bytes[i / 2] |= static_cast<uint8_t>(HexDigit(text[i]) << (i % 2 == 0 ? 4 : 0));
  return S_OK;
}

}  // namespace

bool ParseScriptValueType(std::u16string_view token, ScriptValueType& type) {
  if (token.size() != 1) return false;
  switch (FoldCase(token[0])) {
    case u'S': type = ScriptValueType::String; return true;
    case u'M': type = ScriptValueType::MultiString; return true;
    case u'D': type = ScriptValueType::Number; return true;
    case u'B': type = ScriptValueType::Binary; return true;
    default: return false;
  }
}

HRESULT ScriptValueFromText(ScriptValueType type, std::u16string_view text,
                            ScriptValueData& value) {
  try {
    value.Bytes.clear();
    switch (type) {
      case ScriptValueType::String:
        value.Type = REG_SZ;
        AppendUnits(value.Bytes, text);
        AppendUnits(value.Bytes, std::u16string_view(u"", 1));
        return S_OK;
      case ScriptValueType::MultiString:
        value.Type = REG_MULTI_SZ;
        MultiString(text, value.Bytes);
        return S_OK;
      case ScriptValueType::Number: {
        value.Type = REG_DWORD;
        ULONG number = 0;
        HRESULT hr = VarUI4FromText(text, number);
        if (FAILED(hr)) return hr;
        for (int shift = 0; shift < 32; shift += 8)
          value.Bytes.push_back(static_cast<uint8_t>(number >> shift));
        return S_OK;
      }
      case ScriptValueType::Binary:
        value.Type = REG_BINARY;
        return Binary(text, value.Bytes);
    }
  } catch (const std::bad_alloc&) {
    // Binary data has always reported a failed allocation as E_FAIL.
    return type == ScriptValueType::Binary ? E_FAIL : E_OUTOFMEMORY;
  }
  return DISP_E_EXCEPTION;
}

}  // namespace orvo
