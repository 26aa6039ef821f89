#include "server/registrar/ScriptParser.h"

#include <array>

#include "server/Result.h"
#include "server/registrar/ScriptValues.h"

namespace orvo {
namespace {

struct RootKeyName {
  std::u16string_view Name;
  RegKey Root;
};

constexpr std::array<RootKeyName, 14> RootKeys{{
    {u"HKCR", RegClassesRoot},
    {u"HKCU", RegCurrentUser},
    {u"HKLM", RegLocalMachine},
    {u"HKU", RegUsers},
    {u"HKPD", RegPerformanceData},
    {u"HKDD", RegDynData},
    {u"HKCC", RegCurrentConfig},
    {u"HKEY_CLASSES_ROOT", RegClassesRoot},
    {u"HKEY_CURRENT_USER", RegCurrentUser},
    {u"HKEY_LOCAL_MACHINE", RegLocalMachine},
    {u"HKEY_USERS", RegUsers},
    {u"HKEY_PERFORMANCE_DATA", RegPerformanceData},
    {u"HKEY_DYN_DATA", RegDynData},
    {u"HKEY_CURRENT_CONFIG", RegCurrentConfig},
}};

constexpr std::array<std::u16string_view, 12> ProtectedKeyNames{
    u"AppID",    u"CLSID",     u"Component Categories",
    u"FileType", u"Interface", u"Hardware",
    u"Mime",     u"SAM",       u"SECURITY",
    u"SYSTEM",   u"Software",  u"TypeLib"};

bool IsWhiteSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// A key name names one key below its parent: no path, and not the parent
// itself (an empty name would make the walks delete or empty the parent).
bool IsKeyName(std::u16string_view name) {
  return !name.empty() && name.find(u'\\') == std::u16string_view::npos;
}

}  // namespace

bool FindRootKey(std::u16string_view name, RegKey& root) {
  for (const RootKeyName& entry : RootKeys) {
    if (EqualsNoCase(entry.Name, name)) {
      root = entry.Root;
      return true;
    }
  }
  return false;
}

bool IsProtectedKeyName(std::u16string_view name) {
  for (std::u16string_view entry : ProtectedKeyNames)
    if (EqualsNoCase(entry, name)) return true;
  return false;
}

void ScriptParser::SkipWhiteSpace() {
  while (Position < Text.size() && IsWhiteSpace(Text[Position])) ++Position;
}

// "{", "}" and "=" are tokens only when white space surrounds them; a quoted
// token may hold anything, with "''" standing for one quote.
HRESULT ScriptParser::ReadToken() {
  SkipWhiteSpace();
  TokenText.clear();
  if (Position >= Text.size()) return DISP_E_EXCEPTION;
  if (Text[Position] == u'\'') {
    for (++Position;; ++Position) {
      if (Position >= Text.size()) return DISP_E_EXCEPTION;
      if (Text[Position] == u'\'') {
        if (Position + 1 >= Text.size() || Text[Position + 1] != u'\'') break;
        ++Position;
      }
      if (TokenText.size() == MaxTokenLength) return DISP_E_EXCEPTION;
      TokenText += Text[Position];
    }
    ++Position;
    return S_OK;
  }
  for (; Position < Text.size() && !IsWhiteSpace(Text[Position]); ++Position) {
    if (TokenText.size() == MaxTokenLength) return DISP_E_EXCEPTION;
    TokenText += Text[Position];
  }
  return S_OK;
}

HRESULT ScriptParser::SkipValueAssignment() {
  if (!TokenBegins(u'=')) return S_OK;
  ORVO_RETURN_IF_FAILED(ReadToken());  // type
  ORVO_RETURN_IF_FAILED(ReadToken());  // value
  return ReadToken();
}

HRESULT ScriptParser::WriteScriptValue(CRegistryKey& key, const char16_t* name) {
  ORVO_RETURN_IF_FAILED(ReadToken());
  ScriptValueType type;
  if (!ParseScriptValueType(TokenText, type)) return DISP_E_EXCEPTION;
  ORVO_RETURN_IF_FAILED(ReadToken());
  ScriptValueData value;
  ORVO_RETURN_IF_FAILED(ScriptValueFromText(type, TokenText, value));
  LONG code =
      key.WriteValue(name, value.Type, value.Bytes.data(), static_cast<DWORD>(value.Bytes.size()));
  if (code != ERROR_SUCCESS) return HResultFromCode(code);
  return ReadToken();
}

HRESULT ScriptParser::Run(ScriptDirection direction) {
  SkipWhiteSpace();
  while (Position < Text.size()) {
    ORVO_RETURN_IF_FAILED(ReadToken());
    RegKey root;
    if (!FindRootKey(TokenText, root)) return DISP_E_EXCEPTION;
    ORVO_RETURN_IF_FAILED(ReadToken());
    if (!TokenBegins(u'{')) return DISP_E_EXCEPTION;
    CRegistryKey rootKey(Store);
    rootKey.Attach(root);
    const std::size_t blockStart = Position;
    HRESULT hr = ParseKeyBlock(rootKey, direction, false, 1);
    if (FAILED(hr)) {
      if (direction == ScriptDirection::Register) {
        // Take back what this block wrote; the registration's failure is the
        // one worth reporting.
        Position = blockStart;
        ParseKeyBlock(rootKey, ScriptDirection::Unregister, false, 1);
      }
      return hr;
    }
    SkipWhiteSpace();
  }
  return S_OK;
}

// Reads the entries of one block, up to the token that begins with "}",
// which is left current. `key` holds the entry being processed and lives for
// the whole block.
HRESULT ScriptParser::ParseKeyBlock(CRegistryKey& parent, ScriptDirection direction,
                                    bool recovering, int depth) {
  if (depth > MaxBlockDepth) return DISP_E_EXCEPTION;
  const bool registering = direction == ScriptDirection::Register;
  CRegistryKey key(Store);
  ORVO_RETURN_IF_FAILED(ReadToken());
  while (!TokenBegins(u'}')) {
    bool mayDelete = true;
    const bool isDelete = TokenIs(u"Delete");
    if (isDelete || TokenIs(u"ForceRemove")) {
      ORVO_RETURN_IF_FAILED(ReadToken());
      if (registering) {
        if (!IsKeyName(TokenText)) return DISP_E_EXCEPTION;
        if (!IsProtectedKeyName(TokenText)) parent.DeleteKeyTree(TokenText.c_str());
        if (isDelete) {
          ORVO_RETURN_IF_FAILED(ReadToken());
          ORVO_RETURN_IF_FAILED(SkipValueAssignment());
          // A deleted key has nothing to hold a block in.
          if (TokenText == u"{") return DISP_E_EXCEPTION;
          continue;
        }
      }
    }
    if (TokenIs(u"NoRemove")) {
      mayDelete = false;
      ORVO_RETURN_IF_FAILED(ReadToken());
    }
    if (TokenIs(u"val")) {
      ORVO_RETURN_IF_FAILED(registering ? RegisterValue(parent)
                                        : UnregisterValue(parent, mayDelete, recovering));
      // A value has no subkeys: a block here would be read against the wrong key.
      if (TokenText == u"{") return DISP_E_EXCEPTION;
      continue;
    }
    if (!IsKeyName(TokenText)) return DISP_E_EXCEPTION;
    ORVO_RETURN_IF_FAILED(registering ? RegisterKey(parent, key, depth)
                                      : UnregisterKey(parent, key, mayDelete, recovering, depth));
  }
  return S_OK;
}

// Entry "val name = type text": a value of the parent key.
HRESULT ScriptParser::RegisterValue(CRegistryKey& parent) {
  ORVO_RETURN_IF_FAILED(ReadToken());
  std::u16string name = TokenText;
  ORVO_RETURN_IF_FAILED(ReadToken());
  if (!TokenBegins(u'=')) return DISP_E_EXCEPTION;
  return WriteScriptValue(parent, name.c_str());
}

HRESULT ScriptParser::UnregisterValue(CRegistryKey& parent, bool mayDelete, bool recovering) {
  ORVO_RETURN_IF_FAILED(ReadToken());
  std::u16string name = TokenText;
  ORVO_RETURN_IF_FAILED(ReadToken());
  if (!TokenBegins(u'=')) return DISP_E_EXCEPTION;
  if (!recovering && mayDelete) {
    CRegistryKey writable(Store);
    LONG code = writable.OpenKey(parent.Handle(), nullptr, KeyWriteOnly);
    if (code != ERROR_SUCCESS) return HResultFromCode(code);
    code = Store.DeleteValue(writable.Handle(), name.c_str());
    if (code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND) return HResultFromCode(code);
  }
  return SkipValueAssignment();
}

// Opens the key, or creates it when it is missing, and writes its default
// value and its block.
HRESULT ScriptParser::RegisterKey(CRegistryKey& parent, CRegistryKey& key, int depth) {
  if (key.OpenKey(parent.Handle(), TokenText.c_str(), KeyReadWrite) != ERROR_SUCCESS &&
      key.OpenKey(parent.Handle(), TokenText.c_str(), KeyReadOnly) != ERROR_SUCCESS) {
    LONG code = key.CreateKey(parent.Handle(), TokenText.c_str());
    if (code != ERROR_SUCCESS) return HResultFromCode(code);
  }
  ORVO_RETURN_IF_FAILED(ReadToken());
  if (TokenBegins(u'=')) ORVO_RETURN_IF_FAILED(WriteScriptValue(key, nullptr));
  if (TokenText != u"{") return S_OK;
  ORVO_RETURN_IF_FAILED(ParseKeyBlock(key, ScriptDirection::Register, false, depth + 1));
  return ReadToken();
}

// Removes a key once its block has been walked, unless it is marked
// NoRemove or still has subkeys. A key that cannot be opened puts its block
// into recovering: read through, touching nothing.
HRESULT ScriptParser::UnregisterKey(CRegistryKey& parent, CRegistryKey& key, bool mayDelete,
                                    bool recovering, int depth) {
  const LONG opened = recovering ? ERROR_FILE_NOT_FOUND
                                 : key.OpenKey(parent.Handle(), TokenText.c_str(), KeyReadOnly);
  const bool entryRecovering = recovering || opened != ERROR_SUCCESS;
  const std::u16string name = TokenText;
  ORVO_RETURN_IF_FAILED(ReadToken());
  ORVO_RETURN_IF_FAILED(SkipValueAssignment());
  if (TokenText == u"{") {
    // Even a recovering block stops the walk when it fails: what follows a
    // syntax error would otherwise be read as entries of this block and
    // remove keys that the script never named there.
    ORVO_RETURN_IF_FAILED(
        ParseKeyBlock(key, ScriptDirection::Unregister, entryRecovering, depth + 1));
    ORVO_RETURN_IF_FAILED(ReadToken());
  }
  if (opened == ERROR_FILE_NOT_FOUND) return S_OK;
  if (opened != ERROR_SUCCESS) return HResultFromCode(opened);
  const bool hasChildren = key.HasChildren();
  LONG code = key.CloseKey();
  if (code != ERROR_SUCCESS) return HResultFromCode(code);
  if (mayDelete && !hasChildren) {
    code = parent.DeleteChildKey(name.c_str());
    if (code != ERROR_SUCCESS) return HResultFromCode(code);
  }
  return S_OK;
}

}  // namespace orvo
