#pragma once
// Helpers shared by the registrar tests.
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "server/registrar/RegObject.h"
#include "sim/bus/RegistryDump.h"
#include "sim/bus/RegistryModel.h"
#include "tests/unit/registrar/ClassTrees.h"

namespace orvo::test {

// The bytes of a registry script as shipped in the module's resources.
inline std::string ScriptFileBytes(const std::string& name) {
  std::ifstream file(std::string(ORVO_RESOURCE_DIR) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline std::u16string ScriptFile(const std::string& name) { return U(ScriptFileBytes(name)); }

inline constexpr const char16_t* ModulePath = u"C:\\Program Files\\Orvo\\OrvoTrainer.dll";
inline constexpr const char16_t* ApplicationId = u"{3E6D9B50-7C81-4FA2-B4E9-0D2F5C86A17B}";

// A registrar with the replacements the module adds for every script.
inline void AddModuleReplacements(CRegObject& registrar) {
  registrar.AddReplacementEntry(u"APPID", ApplicationId);
  registrar.AddReplacementEntry(u"Module", ModulePath);
  registrar.AddReplacementEntry(u"Module_Raw", ModulePath);
}

inline HRESULT RunText(RegistryModel& model, std::u16string_view script, ScriptDirection direction,
                       bool perUser = false) {
  CRegObject registrar(model, perUser);
  AddModuleReplacements(registrar);
  return registrar.RunScript(script, direction);
}

inline std::string Classes(RegistryModel& model) { return DumpRegistryTree(model, RegClassesRoot); }

}  // namespace orvo::test
