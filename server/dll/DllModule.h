#pragma once
// The module-wide records of the DLL and the registration steps that the
// exported entry points are made of.
#include "server/dll/ClassTable.h"
#include "server/frame/Com.h"
#include "server/module/Module.h"

namespace orvo {

HINSTANCE ModuleInstance();
COrvoTrainerModule& ModuleObject();
ClassTableRecord& ClassTable();

// Set by DllInstall with the command line "user" and never cleared: later
// registration calls in the same process then also work per user.
bool PerUserRegistration();
void SetPerUserRegistration();

// An extra %name% replacement for a script run; a list ends at a null name.
struct ScriptReplacement {
  const char16_t* Name;
  const char16_t* Text;
};

// Runs REGISTRY script `id` of this module with the module's replacements
// (APPID, Module and Module_Raw) after the extra ones.
HRESULT ApplyRegistryScript(UINT id, bool doRegister, const ScriptReplacement* extra = nullptr);
HRESULT RegisterAppScript();
HRESULT UnregisterAppScript();

// Every class's scripts, then the type library.
HRESULT RegisterClasses();
HRESULT UnregisterClasses();

// The type library of `instance`: from the module file itself, else from
// the ".tlb" beside it. `path` receives the file it came from.
HRESULT LoadModuleTypeLib(HINSTANCE instance, BSTR* path, ITypeLib** typeLib);
HRESULT RegisterModuleTypeLib();
HRESULT UnregisterModuleTypeLib();

}  // namespace orvo
