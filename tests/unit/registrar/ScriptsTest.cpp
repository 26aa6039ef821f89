// The module's own registry scripts, registered and unregistered against the
// registry model, per machine and per user.
#include <gtest/gtest.h>

#include <map>

#include "tests/unit/registrar/RegistrarTesting.h"

namespace orvo::test {
namespace {

TEST(ModuleScripts, EachClassRegistersItsTreeAndUnregistersAllButClsid) {
  for (bool perUser : {false, true}) {
    // Per user, the tree goes below the user's classes and none to the machine's.
    const std::string below = perUser ? "Software\n  Classes\n" : "";
    for (const ModuleClass& c : ModuleClasses) {
      SCOPED_TRACE(testing::Message() << c.Name << (perUser ? " per user" : ""));
      RegistryModel model;
      const auto written = [&] {
        return perUser ? DumpRegistryTree(model, RegCurrentUser) : Classes(model);
      };
      EXPECT_EQ(RunText(model, ScriptFile(c.File), ScriptDirection::Register, perUser), S_OK);
      EXPECT_EQ(written(), below + Indent(ClassTree(c), perUser ? 2 : 0));
      if (perUser) {
        EXPECT_EQ(Classes(model), "");
      }
      EXPECT_EQ(RunText(model, ScriptFile(c.File), ScriptDirection::Unregister, perUser), S_OK);
      EXPECT_EQ(written(), below + Indent("CLSID\n", perUser ? 2 : 0));
      EXPECT_EQ(model.OpenHandleCount(), 0u);
    }
  }
}

// The classes share the CLSID key with each other and with everything else
// on the machine: unregistering one class leaves the others and foreign
// classes alone, and registering again replaces a stale class key.
TEST(ModuleScripts, ClassesShareTheClsidKey) {
  RegistryModel model;
  const std::string foreign =
      "  {00000000-1111-2222-3333-444444444444}\n    @ = REG_SZ \"Other\\0\"\n";
  ASSERT_EQ(RunText(model,
                    U("HKCR { CLSID { {00000000-1111-2222-3333-444444444444} = s 'Other' " +
                      std::string(ModuleClasses[0].Clsid) + " { Stale = s 'x' } } }"),
                    ScriptDirection::Register),
            S_OK);
  for (const char* file : {"OrvoTrainer.rgs", "Echo.rgs", "Fault.rgs", "Plc.rgs"})
    EXPECT_EQ(RunText(model, ScriptFile(file), ScriptDirection::Register), S_OK) << file;
  std::string all = Classes(model);
  EXPECT_EQ(all.find("Stale"), std::string::npos) << all;
  EXPECT_NE(all.find(foreign), std::string::npos) << all;

  EXPECT_EQ(RunText(model, ScriptFile("Echo.rgs"), ScriptDirection::Unregister), S_OK);
  all = Classes(model);
  EXPECT_EQ(all.find("Echo"), std::string::npos) << all;
  EXPECT_NE(all.find("OrvoTrainer.Plc.1"), std::string::npos) << all;
  EXPECT_NE(all.find(ModuleClasses[1].Clsid), std::string::npos) << all;

  for (const char* file : {"Fault.rgs", "Plc.rgs", "OrvoTrainer.rgs"})
    EXPECT_EQ(RunText(model, ScriptFile(file), ScriptDirection::Unregister), S_OK) << file;
  EXPECT_EQ(Classes(model), "CLSID\n" + foreign);
}

// Scripts are resources in the module: read, converted from ANSI, run.
class FileResources final : public ModuleResources {
 public:
  LONG ReadResource(const char16_t* moduleFile, const char16_t* type, uint16_t id,
                    std::string& bytes) override {
    if (std::u16string_view(moduleFile) != ModulePath) return ERROR_MOD_NOT_FOUND;
    if (std::u16string_view(type) != u"REGISTRY") return ERROR_RESOURCE_TYPE_NOT_FOUND;
    const std::map<uint16_t, std::string> resources = {{101, ScriptFileBytes("OrvoTrainer.rgs")},
                                                       {106, ScriptFileBytes("Echo.rgs")},
                                                       {200, ""},
                                                       {201, "?"}};
    const auto found = resources.find(id);
    if (found == resources.end()) return ERROR_RESOURCE_NAME_NOT_FOUND;
    bytes = found->second;
    return ERROR_SUCCESS;
  }
  LONG AnsiToUtf16(std::string_view bytes, std::u16string& text) override {
    if (bytes.empty()) return ERROR_INVALID_PARAMETER;
    text = bytes == "?" ? u"" : U(bytes);  // "?": converts nothing, and says nothing
    return ERROR_SUCCESS;
  }
};

// What the registrar reads from which resource, and what it makes of it;
// only the class script writes anything.
struct Resource {
  const char16_t* File;
  const char16_t* Type;
  uint16_t Id;
  HRESULT Expected;
};

const Resource Resources[] = {
    {ModulePath, u"REGISTRY", 106, S_OK},
    {ModulePath, u"REGISTRY", 101, S_OK},
    {u"C:\\missing.dll", u"REGISTRY", 106, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)},
    {ModulePath, u"TYPELIB", 106, HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND)},
    {ModulePath, u"REGISTRY", 107, HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND)},
    {ModulePath, u"REGISTRY", 200, HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER)},
    {ModulePath, u"REGISTRY", 201, E_FAIL},
};

TEST(ModuleScripts, RunFromModuleResources) {
  for (const Resource& r : Resources) {
    SCOPED_TRACE(r.Id);
    RegistryModel model;
    FileResources resources;
    CRegObject registrar(model);
    AddModuleReplacements(registrar);
    EXPECT_EQ(
        registrar.RunScriptResource(resources, r.File, r.Id, r.Type, ScriptDirection::Register),
        r.Expected);
    EXPECT_EQ(Classes(model).empty(), r.Expected != S_OK || r.Id != 106);
  }
}

}  // namespace
}  // namespace orvo::test
