#include "server/registrar/RegObject.h"

#include <new>

#include "server/Result.h"
#include "server/registrar/ScriptParser.h"

namespace orvo {

HRESULT CRegObject::AddReplacementEntry(const char16_t* key, const char16_t* item) {
  if (!key || !item) return E_INVALIDARG;
  try {
    Replacements.emplace_back(key, item);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

HRESULT CRegObject::ClearReplacementEntries() {
  Replacements.clear();
  Replacements.shrink_to_fit();
  return S_OK;
}

const std::u16string* CRegObject::FindReplacement(std::u16string_view name) const {
  for (const auto& [key, item] : Replacements)
    if (EqualsNoCase(key, name)) return &item;
  return nullptr;
}

HRESULT CRegObject::RunScript(std::u16string_view script, ScriptDirection direction) {
  script = script.substr(0, script.find(u'\0'));
  try {
    std::u16string expanded;
    ORVO_RETURN_IF_FAILED(ExpandScript(script, expanded));
    return ScriptParser(Store, expanded).Run(direction);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT CRegObject::RunScriptResource(ModuleResources& resources, const char16_t* moduleFile,
                                      uint16_t id, const char16_t* type,
                                      ScriptDirection direction) {
  if (!moduleFile || !type) return E_INVALIDARG;
  try {
    std::string bytes;
    LONG code = resources.ReadResource(moduleFile, type, id, bytes);
    if (code != ERROR_SUCCESS) return HResultFromFailure(code);
    std::u16string script;
    code = resources.AnsiToUtf16(bytes, script);
    if (code != ERROR_SUCCESS || script.empty()) return HResultFromFailure(code);
    return RunScript(script, direction);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace orvo
