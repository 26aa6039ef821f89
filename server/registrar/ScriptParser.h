#pragma once
// Reads an expanded registry script and walks its root blocks, registering
// or unregistering what they name.
#include <string>
#include <string_view>

#include "platform/Registry.h"
#include "platform/RegistryKey.h"
#include "server/registrar/RegObject.h"

namespace orvo {

// Token buffers hold 4096 characters with their terminator, so a token has
// at most 4094.
inline constexpr std::size_t MaxTokenLength = 4094;
// Windows stops at 512 levels of keys; a script nested deeper could not be
// registered, and refusing it keeps the walks' recursion bounded.
inline constexpr int MaxBlockDepth = 512;

// The registry root named by a root block ("HKCR", "HKEY_CLASSES_ROOT", ...,
// any case); false if the name is not one of them.
bool FindRootKey(std::u16string_view name, RegKey& root);

// Keys that "ForceRemove" and "Delete" never delete.
bool IsProtectedKeyName(std::u16string_view name);

class ScriptParser {
 public:
  ScriptParser(Registry& registry, std::u16string_view text) : Store(registry), Text(text) {}

  // Walks every root block in order. A failed registration of a block is
  // undone by unregistering that block; the first failure is returned.
  HRESULT Run(ScriptDirection direction);

 private:
  HRESULT ReadToken();
  void SkipWhiteSpace();
  bool TokenIs(std::u16string_view keyword) const { return EqualsNoCase(TokenText, keyword); }
  bool TokenBegins(char16_t c) const { return !TokenText.empty() && TokenText.front() == c; }
  HRESULT SkipValueAssignment();
  HRESULT WriteScriptValue(CRegistryKey& key, const char16_t* name);
  HRESULT ParseKeyBlock(CRegistryKey& parent, ScriptDirection direction, bool recovering,
                        int depth);
  HRESULT RegisterValue(CRegistryKey& parent);
  HRESULT RegisterKey(CRegistryKey& parent, CRegistryKey& key, int depth);
  HRESULT UnregisterKey(CRegistryKey& parent, CRegistryKey& key, bool mayDelete, bool recovering,
                        int depth);
  HRESULT UnregisterValue(CRegistryKey& parent, bool mayDelete, bool recovering);

  Registry& Store;
  std::u16string_view Text;
  std::size_t Position = 0;
  std::u16string TokenText;
};

}  // namespace orvo
