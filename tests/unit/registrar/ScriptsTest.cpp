// The module's own registry scripts, registered and unregistered against the
// registry model, per machine and per user.
#include <gtest/gtest.h>

#include "tests/unit/registrar/RegistrarTesting.h"

namespace orvo::test {
namespace {

struct ClassScript {
  const char* File;
  const char* Name;
  const char* Clsid;
  const char* Version;
};

const ClassScript ClassScripts[] = {
    {"Echo.rgs", "Echo", "{9E3C51A4-6D27-4B8E-A1F0-5B7C2E94D613}", "1.0"},
    {"Fault.rgs", "Fault", "{7C2A4E91-3B58-4D16-9A7E-F41D6B2C08A5}", "1.6"},
    {"Plc.rgs", "Plc", "{1F6B8D32-C4A9-47E5-8B3D-E07A19C5F248}", "1.6"},
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// The tree one class leaves below the classes root, indented by `depth`.
std::string ExpectedClassTree(const ClassScript& c, int depth) {
  std::string tree =
      "CLSID\n"
      "  $CLSID\n"
      "    @ = REG_SZ \"$NAME Class\\0\"\n"
      "    InprocServer32\n"
      "      @ = REG_SZ \"C:\\\\Program Files\\\\Orvo\\\\OrvoTrainer.dll\\0\"\n"
      "      ThreadingModel = REG_SZ \"Apartment\\0\"\n"
      "    ProgID\n"
      "      @ = REG_SZ \"OrvoTrainer.$NAME.1\\0\"\n"
      "    Programmable\n"
      "    TypeLib\n"
      "      @ = REG_SZ \"{4B1E9C27-7A3D-4F60-9E15-2C8D5A06B3F1}\\0\"\n"
      "    Version\n"
      "      @ = REG_SZ \"$VERSION\\0\"\n"
      "    VersionIndependentProgID\n"
      "      @ = REG_SZ \"OrvoTrainer.$NAME\\0\"\n"
      "OrvoTrainer.$NAME\n"
      "  @ = REG_SZ \"$NAME Class\\0\"\n"
      "  CurVer\n"
      "    @ = REG_SZ \"OrvoTrainer.$NAME.1\\0\"\n"
      "OrvoTrainer.$NAME.1\n"
      "  @ = REG_SZ \"$NAME Class\\0\"\n"
      "  CLSID\n"
      "    @ = REG_SZ \"$CLSID\\0\"\n";
  tree = Replace(Replace(Replace(tree, "$CLSID", c.Clsid), "$NAME", c.Name), "$VERSION", c.Version);
  std::string indented;
  for (std::size_t start = 0; start < tree.size();) {
    std::size_t end = tree.find('\n', start) + 1;
    indented += std::string(depth * 2, ' ') + tree.substr(start, end - start);
    start = end;
  }
  return indented;
}

TEST(ModuleScripts, EachClassRegistersItsTreeAndUnregistersAllButClsid) {
  for (const ClassScript& c : ClassScripts) {
    SCOPED_TRACE(c.Name);
    RegistryModel model;
    EXPECT_EQ(RunText(model, ScriptFile(c.File), ScriptDirection::Register), S_OK);
    EXPECT_EQ(Classes(model), ExpectedClassTree(c, 0));
    EXPECT_EQ(RunText(model, ScriptFile(c.File), ScriptDirection::Unregister), S_OK);
    EXPECT_EQ(Classes(model), "CLSID\n");
    EXPECT_EQ(model.OpenHandleCount(), 0u);
  }
}

TEST(ModuleScripts, PerUserRegistrationWritesBelowTheUsersClasses) {
  for (const ClassScript& c : ClassScripts) {
    SCOPED_TRACE(c.Name);
    RegistryModel model;
    EXPECT_EQ(RunText(model, ScriptFile(c.File), ScriptDirection::Register, true), S_OK);
    EXPECT_EQ(Classes(model), "");
    EXPECT_EQ(DumpRegistryTree(model, RegCurrentUser),
              "Software\n  Classes\n" + ExpectedClassTree(c, 2));
    EXPECT_EQ(RunText(model, ScriptFile(c.File), ScriptDirection::Unregister, true), S_OK);
    EXPECT_EQ(DumpRegistryTree(model, RegCurrentUser), "Software\n  Classes\n    CLSID\n");
    EXPECT_EQ(model.OpenHandleCount(), 0u);
  }
}

// The classes share the CLSID key with each other and with everything else
// on the machine: unregistering one class leaves the others and foreign
// classes alone, and registering again replaces a stale class key.
TEST(ModuleScripts, ClassesShareTheClsidKey) {
  RegistryModel model;
  ASSERT_EQ(RunText(model, u"HKCR { CLSID { {00000000-1111-2222-3333-444444444444} = s 'Other' } }",
                ScriptDirection::Register),
            S_OK);
  const std::string foreign = "  {00000000-1111-2222-3333-444444444444}\n    @ = REG_SZ \"Other\\0\"\n";
  ASSERT_EQ(RunText(model, U("HKCR { CLSID { " + std::string(ClassScripts[0].Clsid) +
                         " { Stale = s 'x' } } }"),
                ScriptDirection::Register),
            S_OK);
  EXPECT_EQ(RunText(model, ScriptFile("OrvoTrainer.rgs"), ScriptDirection::Register), S_OK);
  for (const ClassScript& c : ClassScripts)
    EXPECT_EQ(RunText(model, ScriptFile(c.File), ScriptDirection::Register), S_OK);
  std::string all = Classes(model);
  EXPECT_EQ(all.find("Stale"), std::string::npos) << all;
  EXPECT_NE(all.find(foreign), std::string::npos) << all;

  EXPECT_EQ(RunText(model, ScriptFile("Echo.rgs"), ScriptDirection::Unregister), S_OK);
  all = Classes(model);
  EXPECT_EQ(all.find("Echo"), std::string::npos) << all;
  EXPECT_NE(all.find("OrvoTrainer.Plc.1"), std::string::npos) << all;
  EXPECT_NE(all.find(ClassScripts[1].Clsid), std::string::npos) << all;

  EXPECT_EQ(RunText(model, ScriptFile("Fault.rgs"), ScriptDirection::Unregister), S_OK);
  EXPECT_EQ(RunText(model, ScriptFile("Plc.rgs"), ScriptDirection::Unregister), S_OK);
  EXPECT_EQ(RunText(model, ScriptFile("OrvoTrainer.rgs"), ScriptDirection::Unregister), S_OK);
  EXPECT_EQ(Classes(model), "CLSID\n" + foreign);
}

// Scripts are resources in the module: read, converted from ANSI, run.
class FileResources final : public ModuleResources {
 public:
  LONG ReadResource(const char16_t* moduleFile, const char16_t* type, uint16_t id,
                    std::string& bytes) override {
    if (std::u16string_view(moduleFile) != ModulePath) return ERROR_MOD_NOT_FOUND;
    if (std::u16string_view(type) != u"REGISTRY") return ERROR_RESOURCE_TYPE_NOT_FOUND;
    switch (id) {
      case 101: bytes = ScriptFileBytes("OrvoTrainer.rgs"); return ERROR_SUCCESS;
      case 106: bytes = ScriptFileBytes("Echo.rgs"); return ERROR_SUCCESS;
      case 200: bytes.clear(); return ERROR_SUCCESS;
      case 201: bytes = "?"; return ERROR_SUCCESS;
      default: return ERROR_RESOURCE_NAME_NOT_FOUND;
    }
  }
  LONG AnsiToUtf16(std::string_view bytes, std::u16string& text) override {
    if (bytes.empty()) return ERROR_INVALID_PARAMETER;
    text = bytes == "?" ? u"" : U(bytes);  // "?": converts nothing, and says nothing
    return ERROR_SUCCESS;
  }
};

TEST(ModuleScripts, RunFromModuleResources) {
  struct Case {
    const char16_t* File;
    const char16_t* Type;
    uint16_t Id;
    HRESULT Expected;
    bool Writes;
  } cases[] = {
      {ModulePath, u"REGISTRY", 106, S_OK, true},
      {ModulePath, u"REGISTRY", 101, S_OK, false},
      {u"C:\\missing.dll", u"REGISTRY", 106, HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), false},
      {ModulePath, u"TYPELIB", 106, HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND), false},
      {ModulePath, u"REGISTRY", 107, HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND), false},
      {ModulePath, u"REGISTRY", 200, HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER), false},
      {ModulePath, u"REGISTRY", 201, E_FAIL, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Id);
    RegistryModel model;
    FileResources resources;
    CRegObject registrar(model);
    AddModuleReplacements(registrar);
    EXPECT_EQ(registrar.RunScriptResource(resources, c.File, c.Id, c.Type, ScriptDirection::Register),
              c.Expected);
    EXPECT_EQ(Classes(model).empty(), !c.Writes);
  }
}

}  // namespace
}  // namespace orvo::test
