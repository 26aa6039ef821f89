// orvo-registry-rows: what the DLL's registry scripts write, per machine and
// per user, as the installer's rows are made from it.
//
//   orvo-registry-rows SCRIPT.rgs...
//
// Runs our registrar over the registry model, script by script in the order
// given, once per machine and once per user, with the module's path written
// as <OrvoTrainer.dll> for the installer to fill in. Prints
//
//   [machine]
//   (the tree below HKLM\Software\Classes, as RegistryDump writes it)
//   [user]
//   (the tree below HKCU\Software\Classes)
//
// The installer is built from the same scripts and the same interpreter
// that regsvr32 runs, so its rows cannot drift from what self-registration
// writes. The type library is not a script (the DLL registers it through
// OLEAUT32), so its keys are added by tools/package.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "server/module/Module.h"
#include "server/registrar/RegObject.h"
#include "sim/bus/RegistryDump.h"
#include "sim/bus/RegistryModel.h"

namespace {

constexpr const char16_t* ModulePlaceholder = u"<OrvoTrainer.dll>";

// The DLL converts its scripts from the ANSI code page. Ours are plain
// ASCII, where every code page agrees; anything else could register
// differently from one machine to the next, so it is refused.
bool ReadScript(const char* file, std::u16string& text) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "orvo-registry-rows: cannot read %s\n", file);
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  text.clear();
  for (unsigned char c : bytes) {
    if (c >= 0x80) {
      std::fprintf(stderr, "orvo-registry-rows: %s is not plain ASCII\n", file);
      return false;
    }
    text += static_cast<char16_t>(c);
  }
  return true;
}

bool RunAll(orvo::RegistryModel& model, bool perUser, const std::vector<std::u16string>& scripts,
            const std::vector<const char*>& names) {
  orvo::COrvoTrainerModule module;
  for (std::size_t i = 0; i < scripts.size(); ++i) {
    orvo::CRegObject registrar(model, perUser);
    HRESULT result = module.AddCommonReplacements(registrar);
    if (SUCCEEDED(result)) result = registrar.AddReplacementEntry(u"Module", ModulePlaceholder);
    if (SUCCEEDED(result)) result = registrar.AddReplacementEntry(u"Module_Raw", ModulePlaceholder);
    if (SUCCEEDED(result)) result = registrar.RunScript(scripts[i], orvo::ScriptDirection::Register);
    if (FAILED(result)) {
      std::fprintf(stderr, "orvo-registry-rows: %s failed %s with 0x%08lX\n", names[i],
                   perUser ? "per user" : "per machine", static_cast<unsigned long>(result));
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: orvo-registry-rows SCRIPT.rgs...\n");
    return 2;
  }
  std::vector<std::u16string> scripts;
  std::vector<const char*> names(argv + 1, argv + argc);
  for (const char* name : names) {
    scripts.emplace_back();
    if (!ReadScript(name, scripts.back())) return 1;
  }
  orvo::RegistryModel machine, user;
  if (!RunAll(machine, false, scripts, names) || !RunAll(user, true, scripts, names)) return 1;
  std::cout << "[machine]\n"
            << orvo::DumpRegistryTree(machine, orvo::RegLocalMachine, u"Software\\Classes")
            << "[user]\n"
            << orvo::DumpRegistryTree(user, orvo::RegCurrentUser, u"Software\\Classes");
  return 0;
}
