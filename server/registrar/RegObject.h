#pragma once
// The registrar: a replacement map of %name% substitutions, and the
// interpreter that runs a registry script against it to register or
// unregister. One registrar serves one script run.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Registry.h"
#include "platform/Resources.h"
#include "platform/WinTypes.h"

namespace orvo {

// What the module object sees of a registrar when it adds its common
// replacements. The first three slots keep the COM layout of the interface;
// the registrar is owned by whoever made it and is not reference counted.
class IRegistrarBase {
 public:
  virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;
  virtual HRESULT AddReplacementEntry(const char16_t* key, const char16_t* item) = 0;
  virtual HRESULT ClearReplacementEntries() = 0;

 protected:
  ~IRegistrarBase() = default;
};

enum class ScriptDirection { Register, Unregister };

class CRegObject final : public IRegistrarBase {
 public:
  // perUser moves everything a script writes below the classes root into the
  // current user's Software\Classes.
  explicit CRegObject(Registry& registry, bool perUser = false)
      : Store(registry), PerUser(perUser) {}
  virtual ~CRegObject() = default;
  CRegObject(const CRegObject&) = delete;
  CRegObject& operator=(const CRegObject&) = delete;

  HRESULT QueryInterface(const IID&, void** object) override {
    if (object) *object = nullptr;
    return E_NOTIMPL;
  }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 0; }
  // Appends the pair; duplicates are kept and the first one wins on lookup.
  HRESULT AddReplacementEntry(const char16_t* key, const char16_t* item) override;
  HRESULT ClearReplacementEntries() override;

  // The text of the first replacement named `name` (without regard to case),
  // or null.
  const std::u16string* FindReplacement(std::u16string_view name) const;

  // Substitutes %name% and "%%" and, per user, moves top-level HKCR blocks.
  HRESULT ExpandScript(std::u16string_view script, std::u16string& expanded) const;

  // Runs a script. The text ends at its first null character, if any. A
  // failed registration is undone by unregistering the same root block, and
  // the first failure is returned.
  HRESULT RunScript(std::u16string_view script, ScriptDirection direction);

  // Loads script `id` of resource `type` from a module file, converts it
  // from the thread's ANSI code page and runs it.
  HRESULT RunScriptResource(ModuleResources& resources, const char16_t* moduleFile, uint16_t id,
                            const char16_t* type, ScriptDirection direction);

 private:
  Registry& Store;
  bool PerUser;
  std::vector<std::pair<std::u16string, std::u16string>> Replacements;
};

}  // namespace orvo
