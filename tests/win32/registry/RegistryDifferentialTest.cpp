// The registry model against the real registry: the same calls give the same
// codes, and the same scripts leave the same trees; and script resources are
// read through the real backend. Everything happens below
// HKCU\Software\OrvoTrainerTest, which is removed before and after.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/RegistryKey.h"
#include "platform/Resources.h"
#include "sim/bus/RegistryDump.h"
#include "sim/bus/RegistryModel.h"
#include "server/registrar/RegObject.h"
#include "tests/unit/registrar/RegistrySemantics.h"

namespace orvo::test {
namespace {

constexpr const char16_t* TestRoot = u"Software\\OrvoTrainerTest";

void RemoveTestRoot() {
  CRegistryKey software(SystemRegistry());
  ASSERT_EQ(software.OpenKey(RegCurrentUser, u"Software"), ERROR_SUCCESS);
  LONG code = software.DeleteKeyTree(u"OrvoTrainerTest");
  ASSERT_TRUE(code == ERROR_SUCCESS || code == ERROR_FILE_NOT_FOUND) << code;
}

class RegistryDifferential : public ::testing::Test {
 protected:
  void SetUp() override { RemoveTestRoot(); }
  void TearDown() override { RemoveTestRoot(); }
};

TEST_F(RegistryDifferential, CallsReturnTheSameCodes) {
  int index = 0;
  for (const RegistryCase& c : semantics::Cases) {
    SCOPED_TRACE(c.Name);
    const std::u16string path = std::u16string(TestRoot) + u"\\Case" +
                                std::u16string(1, static_cast<char16_t>(u'A' + index++));
    RegistryModel model;
    Registry& real = SystemRegistry();
    RegKey realBase = 0, modelBase = 0;
    ASSERT_EQ(semantics::Create(real, RegCurrentUser, path.c_str(), &realBase), ERROR_SUCCESS);
    ASSERT_EQ(semantics::Create(model, RegCurrentUser, path.c_str(), &modelBase), ERROR_SUCCESS);
    EXPECT_EQ(c.Calls(real, realBase), c.WineExpected.empty() ? c.Expected : c.WineExpected);
    EXPECT_EQ(c.Calls(model, modelBase), c.Expected);
    if (c.WineExpected.empty()) {
      EXPECT_EQ(DumpRegistryTree(real, realBase), DumpRegistryTree(model, modelBase));
    }
    real.CloseKey(realBase);
    model.CloseKey(modelBase);
  }
  EXPECT_TRUE(SystemRegistry().DeleteKeyExAvailable());
}

// A script's HKCR block moved below the test root, so that nothing global
// is touched. (The module's own scripts meet the real registry in the DLL's
// test, and the model in the registrar's, with the same expected trees.)
std::u16string BelowTestRoot(std::u16string_view script) {
  EXPECT_EQ(script.substr(0, 4), u"HKCR");
  return u"HKCU { NoRemove Software { NoRemove OrvoTrainerTest { NoRemove Scripts" +
         std::u16string(script.substr(4)) + u" } } }";
}

HRESULT RunBoth(const std::u16string& script, ScriptDirection direction, RegistryModel& model) {
  CRegObject real(SystemRegistry()), modelled(model);
  for (CRegObject* registrar : {&real, &modelled})
    registrar->AddReplacementEntry(u"Module", u"C:\\Program Files\\Orvo\\It''s.dll");
  HRESULT hr = real.RunScript(script, direction);
  EXPECT_EQ(modelled.RunScript(script, direction), hr);
  return hr;
}

TEST_F(RegistryDifferential, ScriptsLeaveTheSameTrees) {
  struct Script {
    const char* Name;
    const char16_t* Text;
    HRESULT Expected;
    const char* Shows;  // in the registered tree, so that two empty trees do not pass
  } scripts[] = {
      {"value types",
       u"HKCR { V = s 'x' { val D = d 42 val B = b 0a1F val M = m 'a\\0b' val Q = s 'it''s' } }",
       S_OK, "M = REG_MULTI_SZ \"a\\0b\\0\\0\""},
      {"ForceRemove and Delete",
       u"HKCR { T { A { B } C } ForceRemove T { N } D { E } Delete D NoRemove K { val V = s '' } }",
       S_OK, "  T\n    N\n"},
      {"undone registration", u"HKCR { A = s 'x' { B = d 7 { C } } D = b 123 }", E_FAIL,
       "Scripts\n"},
  };
  for (const Script& s : scripts) {
    SCOPED_TRACE(s.Name);
    RegistryModel model;
    const std::u16string text = BelowTestRoot(s.Text);
    for (ScriptDirection direction : {ScriptDirection::Register, ScriptDirection::Unregister}) {
      EXPECT_EQ(RunBoth(text, direction, model),
                direction == ScriptDirection::Register ? s.Expected : S_OK);
      const std::string real = DumpRegistryTree(SystemRegistry(), RegCurrentUser, TestRoot);
      EXPECT_EQ(real, DumpRegistryTree(model, RegCurrentUser, TestRoot));
      if (direction == ScriptDirection::Register) {
        EXPECT_NE(real.find(s.Shows), std::string::npos) << real;
      }
    }
    EXPECT_EQ(model.OpenHandleCount(), 0u);
    RemoveTestRoot();
  }
}

TEST_F(RegistryDifferential, MissingScriptResourcesReportTheSystemError) {
  RegistryModel model;
  CRegObject registrar(model);
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::u16string file(reinterpret_cast<const char16_t*>(path), length);
  // Windows says the module is not found, Wine that the file is not.
  const HRESULT missing = registrar.RunScriptResource(SystemResources(), u"Z:\\no\\such.dll", 106,
                                                      u"REGISTRY", ScriptDirection::Register);
  EXPECT_TRUE(missing == HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) ||
              missing == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
      << std::hex << missing;
  EXPECT_EQ(registrar.RunScriptResource(SystemResources(), file.c_str(), 999, u"REGISTRY",
                                        ScriptDirection::Register),
            HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(registrar.RunScriptResource(SystemResources(), file.c_str(), 101, u"REGISTRY",
                                        ScriptDirection::Register),
            S_OK);
}

}  // namespace
}  // namespace orvo::test
