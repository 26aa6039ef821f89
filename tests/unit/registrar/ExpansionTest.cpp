// Expansion of a script before it is parsed: replacements and the per-user
// move of HKCR blocks.
#include <gtest/gtest.h>

#include "tests/unit/registrar/RegistrarTesting.h"

namespace orvo::test {
namespace {

const std::string Open = "HKCU\r\n{\tSoftware\r\n\t{\r\n\t\tClasses";
const std::string Close = "\r\n\t}\r\n}\r\n";

struct Case {
  const char* Name;
  bool PerUser;
  std::string Script;
  HRESULT Expected;
  std::string Text;
};

const Case Cases[] = {
    {"percent pair", false, "100%% %%x%%", S_OK, "100% %x%"},
    {"replacement any case", false, "a%module%b", S_OK, "aC:\\Dir\\x.dll" "b"},
    {"first of duplicates wins", false, "%dup%", S_OK, "first"},
    {"replacement not scanned again", false, "%Self%", S_OK, "%Module%"},
    {"unknown name", false, "%Nope%", DISP_E_EXCEPTION, ""},
    {"no closing percent", false, "50% off", DISP_E_EXCEPTION, ""},
    {"name of 31 characters", false, "%" + std::string(31, 'x') + "%", DISP_E_EXCEPTION, ""},
    {"name of 32 characters", false, "%" + std::string(32, 'x') + "%", E_FAIL, ""},
    {"empty script", true, "", S_OK, ""},
    {"per machine keeps HKCR", false, "HKCR { A }", S_OK, "HKCR { A }"},

    {"app script", true, "HKCR\r\n{\r\n}\r\n", S_OK, Open + "\r\n{\r\n" + Close + "}\r\n"},
    {"longer root name stays", true, "HKCRX { A }", S_OK, "HKCRX { A }"},
    {"nested braces close once", true, "HKCR { A { B { } } }", S_OK,
     Open + " { A { B { } } " + Close + "}"},
    {"braces in quotes", true, "HKCR { A = s '}{' }", S_OK, Open + " { A = s '}{' " + Close + "}"},
    {"escaped quote stays quoted", true, "HKCR { A = s 'it''s }' }", S_OK,
     Open + " { A = s 'it''s }' " + Close + "}"},
    {"HKCR inside a block stays", true, "HKLM { HKCR }", S_OK, "HKLM { HKCR }"},
    {"each HKCR block moves", true, "HKCR { } HKLM { } HKCR { }", S_OK,
     Open + " { " + Close + "} HKLM { } " + Open + " { " + Close + "}"},
    {"replacement inside a moved block", true, "HKCR { A = s '%Module%' }", S_OK,
     Open + " { A = s 'C:\\Dir\\x.dll' " + Close + "}"},
};

TEST(ScriptExpansion, EachScriptExpandsToItsText) {
  for (const Case& c : Cases) {
    SCOPED_TRACE(c.Name);
    RegistryModel model;
    CRegObject registrar(model, c.PerUser);
    ASSERT_EQ(registrar.AddReplacementEntry(u"Module", u"C:\\Dir\\x.dll"), S_OK);
    ASSERT_EQ(registrar.AddReplacementEntry(u"DUP", u"first"), S_OK);
    ASSERT_EQ(registrar.AddReplacementEntry(u"Dup", u"second"), S_OK);
    ASSERT_EQ(registrar.AddReplacementEntry(u"Self", u"%Module%"), S_OK);
    std::u16string expanded;
    EXPECT_EQ(registrar.ExpandScript(U(c.Script), expanded), c.Expected);
    if (c.Expected == S_OK) {
      EXPECT_EQ(expanded, U(c.Text));
    }
  }
}

TEST(ScriptExpansion, ReplacementMapRefusesNullsAndClears) {
  RegistryModel model;
  CRegObject registrar(model);
  EXPECT_EQ(registrar.AddReplacementEntry(nullptr, u"x"), E_INVALIDARG);
  EXPECT_EQ(registrar.AddReplacementEntry(u"x", nullptr), E_INVALIDARG);
  EXPECT_EQ(registrar.FindReplacement(u"x"), nullptr);
  ASSERT_EQ(registrar.AddReplacementEntry(u"x", u"1"), S_OK);
  std::u16string expanded;
  EXPECT_EQ(registrar.ExpandScript(u"%X%", expanded), S_OK);
  EXPECT_EQ(expanded, u"1");
  EXPECT_EQ(registrar.ClearReplacementEntries(), S_OK);
  EXPECT_EQ(registrar.ExpandScript(u"%X%", expanded), DISP_E_EXCEPTION);
}

// What the moved blocks write: the classes root of the current user, except
// for the root names that the move does not touch. The move is judged on the
// substituted text, so replacements around or in place of the root name
// cannot steer a block into the machine's classes.
TEST(ScriptExpansion, PerUserScriptsWriteWhereTheirRootNameSays) {
  struct Write {
    const char* Script;
    std::string Machine;
    std::string User;
  } writes[] = {
      {"HKCR { A = s 'x' }", "", "Software\n  Classes\n    A\n      @ = REG_SZ \"x\\0\"\n"},
      {"HKEY_CLASSES_ROOT { A = s 'x' }", "A\n  @ = REG_SZ \"x\\0\"\n", ""},
      {"hkcr { A = s 'x' }", "A\n  @ = REG_SZ \"x\\0\"\n", ""},
      {"HKCR { A { B { } } }", "", "Software\n  Classes\n    A\n      B\n"},
      {"%E%HKCR { A = s 'x' }", "", "Software\n  Classes\n    A\n      @ = REG_SZ \"x\\0\"\n"},
      {"HKCR%E% { A = s 'x' }", "", "Software\n  Classes\n    A\n      @ = REG_SZ \"x\\0\"\n"},
      {"%Root% { A }", "", "Software\n  Classes\n    A\n"},
      {"%E%hkcr { A }", "A\n", ""},
  };
  for (const Write& w : writes) {
    SCOPED_TRACE(w.Script);
    RegistryModel model;
    CRegObject registrar(model, true);
    AddModuleReplacements(registrar);
    ASSERT_EQ(registrar.AddReplacementEntry(u"E", u""), S_OK);
    ASSERT_EQ(registrar.AddReplacementEntry(u"Root", u"HKCR"), S_OK);
    EXPECT_EQ(registrar.RunScript(U(w.Script), ScriptDirection::Register), S_OK);
    EXPECT_EQ(Classes(model), w.Machine);
    EXPECT_EQ(DumpRegistryTree(model, RegCurrentUser), w.User);
  }
}

}  // namespace
}  // namespace orvo::test
