// The script language: syntax errors, value types, keywords, and what each
// script leaves below the classes root of the registry model.
#include <gtest/gtest.h>

#include "server/registrar/ScriptParser.h"
#include "tests/unit/registrar/RegistrarTesting.h"

namespace orvo::test {
namespace {

constexpr auto Reg = ScriptDirection::Register;
constexpr auto Unreg = ScriptDirection::Unregister;

struct Case {
  const char* Name;
  std::string Setup;  // registered first, when not empty
  std::string Script;
  ScriptDirection Direction;
  HRESULT Expected;
  std::string Tree;  // the classes root afterwards
};

const Case Cases[] = {
    // Syntax errors. A failed registration leaves nothing behind.
    {"unknown root", "", "HKXY { A }", Reg, DISP_E_EXCEPTION, ""},
    {"root without brace", "", "HKCR A = s 'x'", Reg, DISP_E_EXCEPTION, ""},
    {"root without block", "", "HKCR", Reg, DISP_E_EXCEPTION, ""},
    // The undo walk reads the same text, so it stops at the same error and
    // keeps what comes before it.
    {"value without equals", "", "HKCR { A { val V s 'x' } }", Reg, DISP_E_EXCEPTION, "A\n"},
    {"unknown value type", "", "HKCR { A = q 'x' }", Reg, DISP_E_EXCEPTION, ""},
    {"type is one letter", "", "HKCR { A = sz 'x' }", Reg, DISP_E_EXCEPTION, ""},
    {"backslash in key name", "", "HKCR { A\\B }", Reg, DISP_E_EXCEPTION, ""},
    {"backslash after ForceRemove", "", "HKCR { ForceRemove A\\B }", Reg, DISP_E_EXCEPTION, ""},
    {"empty key name", "", "HKCR { A { '' = s 'x' } }", Reg, DISP_E_EXCEPTION, "A\n"},
    {"unterminated quote", "", "HKCR { A = s 'x }", Reg, DISP_E_EXCEPTION, "A\n"},
    {"end of text in block", "", "HKCR { A = s 'x'", Reg, DISP_E_EXCEPTION,
     "A\n  @ = REG_SZ \"x\\0\"\n"},
    // Expansion fails before anything is written, with the expansion's result.
    {"replacement name of 32", "", "HKCR { A = s '%" + std::string(32, 'N') + "%' }", Reg, E_FAIL, ""},
    {"block after Delete", "", "HKCR { Delete A { B } }", Reg, DISP_E_EXCEPTION, ""},
    {"block after val", "", "HKCR { A { val V = s 'x' { B } } }", Reg, DISP_E_EXCEPTION, "A\n"},
    {"second block undone alone", "", "HKCR { A } HKCR { B = s 'x' { val V = q 'y' } }", Reg,
     DISP_E_EXCEPTION, "A\n"},

    // Value types and their conversions.
    {"dword", "", "HKCR { A = d 42 }", Reg, S_OK, "A\n  @ = REG_DWORD 42\n"},
    {"dword with blanks", "", "HKCR { A = D ' 7 ' }", Reg, S_OK, "A\n  @ = REG_DWORD 7\n"},
    {"dword maximum", "", "HKCR { A = d 4294967295 }", Reg, S_OK, "A\n  @ = REG_DWORD 4294967295\n"},
    {"dword overflow", "", "HKCR { A = d 4294967296 }", Reg, DISP_E_OVERFLOW, ""},
    {"dword not a number", "", "HKCR { A = d x1 }", Reg, DISP_E_TYPEMISMATCH, ""},
    {"binary", "", "HKCR { A = b a1FF }", Reg, S_OK, "A\n  @ = REG_BINARY a1 ff\n"},
    {"binary odd digits", "", "HKCR { A = b A1f }", Reg, E_FAIL, ""},
    {"binary stray digit reads 0", "", "HKCR { A = B 0G }", Reg, S_OK, "A\n  @ = REG_BINARY 00\n"},
    {"binary empty", "", "HKCR { A = b '' }", Reg, S_OK, "A\n  @ = REG_BINARY\n"},
    {"multi string", "", "HKCR { A = m 'a\\0b' }", Reg, S_OK, "A\n  @ = REG_MULTI_SZ \"a\\0b\\0\\0\"\n"},
    {"multi string ends at empty", "", "HKCR { A = M 'a\\0\\0b' }", Reg, S_OK,
     "A\n  @ = REG_MULTI_SZ \"a\\0\\0\"\n"},
    {"multi string other backslash", "", "HKCR { A = m 'a\\b' }", Reg, S_OK,
     "A\n  @ = REG_MULTI_SZ \"a\\\\b\\0\\0\"\n"},
    {"multi string empty", "", "HKCR { A = m '' }", Reg, S_OK, "A\n  @ = REG_MULTI_SZ \"\\0\"\n"},
    {"string with doubled quote", "", "HKCR { A = s 'it''s' }", Reg, S_OK, "A\n  @ = REG_SZ \"it's\\0\"\n"},
    {"string empty", "", "HKCR { A = s '' }", Reg, S_OK, "A\n  @ = REG_SZ \"\\0\"\n"},
    {"named value", "", "HKCR { A { VAL V = d 1 } }", Reg, S_OK, "A\n  V = REG_DWORD 1\n"},
    {"quoted key name", "", "HKCR { 'My Key' = s '{ x }' }", Reg, S_OK,
     "My Key\n  @ = REG_SZ \"{ x }\\0\"\n"},
    {"replacement in quotes", "", "HKCR { A = s '%module%' }", Reg, S_OK,
     "A\n  @ = REG_SZ \"C:\\\\Program Files\\\\Orvo\\\\OrvoTrainer.dll\\0\"\n"},

    // Root names.
    {"long root name", "", "HKEY_CLASSES_ROOT { A }", Reg, S_OK, "A\n"},
    {"root name in lower case", "", "hkcr { A }", Reg, S_OK, "A\n"},
    {"classes root is the machine's", "", "HKLM { Software { Classes { A } } }", Reg, S_OK, "A\n"},

    // ForceRemove and Delete, and the names they never delete.
    {"ForceRemove replaces a tree", "HKCR { Old { Sub { Deep } } }", "HKCR { ForceRemove Old { New } }",
     Reg, S_OK, "Old\n  New\n"},
    {"ForceRemove spares CLSID", "HKCR { CLSID { Foreign } }", "HKCR { FORCEREMOVE CLSID { Mine } }",
     Reg, S_OK, "CLSID\n  Foreign\n  Mine\n"},
    {"Delete removes a tree", "HKCR { Old { Sub } Kept }", "HKCR { Delete Old }", Reg, S_OK, "Kept\n"},
    {"Delete spares CLSID", "HKCR { CLSID { Foreign } }", "HKCR { delete clsid }", Reg, S_OK,
     "CLSID\n  Foreign\n"},
    {"Delete skips an assignment", "", "HKCR { Delete Missing = s 'x' A }", Reg, S_OK, "A\n"},

    // Unregistering.
    {"unregister removes the tree", "HKCR { A = s 'x' { B } }", "HKCR { A { B } }", Unreg, S_OK, ""},
    {"NoRemove keeps key and value", "HKCR { A { val V = s 'x' val W = s 'y' } }",
     "HKCR { NoRemove A { NoRemove val V = s 'x' val W = s 'y' } }", Unreg, S_OK,
     "A\n  V = REG_SZ \"x\\0\"\n"},
    {"foreign subkey keeps its parent", "HKCR { A { B C } }", "HKCR { A { B } }", Unreg, S_OK,
     "A\n  C\n"},
    {"missing keys and values are fine", "HKCR { A { C } }",
     "HKCR { A { val V = s 'x' } Missing { Deeper = s 'x' { val V = s 'y' } } }", Unreg, S_OK,
     "A\n  C\n"},
    {"ForceRemove and Delete are plain keys", "HKCR { A B }", "HKCR { ForceRemove A Delete B }",
     Unreg, S_OK, ""},
    {"syntax error in a missing key's block stops the walk", "HKCR { Victim }",
     "HKCR { Missing { val x y Victim } }", Unreg, DISP_E_EXCEPTION, "Victim\n"},
};

TEST(ScriptLanguage, EachScriptGivesItsResultAndTree) {
  for (const Case& c : Cases) {
    SCOPED_TRACE(c.Name);
    RegistryModel model;
    if (!c.Setup.empty()) {
      ASSERT_EQ(RunText(model, U(c.Setup), Reg), S_OK);
    }
    EXPECT_EQ(RunText(model, U(c.Script), c.Direction), c.Expected);
    EXPECT_EQ(Classes(model), c.Tree);
    EXPECT_EQ(model.OpenHandleCount(), 0u);
  }
}

TEST(ScriptLanguage, ProtectedNamesSurviveForceRemoveAndDelete) {
  const char* names[] = {"AppID",     "CLSID",    "Component Categories", "FileType",
                         "Interface", "Hardware", "Mime",                 "SAM",
                         "SECURITY",  "SYSTEM",   "Software",             "TypeLib"};
  for (const char* name : names) {
    for (const char* keyword : {"ForceRemove", "Delete"}) {
      SCOPED_TRACE(std::string(keyword) + " " + name);
      RegistryModel model;
      const std::string key = "'" + std::string(name) + "'";
      ASSERT_EQ(RunText(model, U("HKCR { " + key + " { Foreign } }"), Reg), S_OK);
      EXPECT_EQ(RunText(model, U("HKCR { " + std::string(keyword) + " " + key + " }"), Reg), S_OK);
      EXPECT_EQ(Classes(model), std::string(name) + "\n  Foreign\n");
    }
  }
  RegistryModel model;  // a name that merely begins like a protected one goes
  ASSERT_EQ(RunText(model, U("HKCR { CLSIDs { Foreign } }"), Reg), S_OK);
  EXPECT_EQ(RunText(model, U("HKCR { Delete CLSIDs }"), Reg), S_OK);
  EXPECT_EQ(Classes(model), "");
}

TEST(ScriptLanguage, TokenLengthAndNestingAreBounded) {
  struct Limit {
    std::size_t Size;
    HRESULT Expected;
  };
  for (Limit limit : {Limit{MaxTokenLength, S_OK}, Limit{MaxTokenLength + 1, DISP_E_EXCEPTION}}) {
    for (const char* quote : {"'", ""}) {
      SCOPED_TRACE(testing::Message() << "token of " << limit.Size << " quoted " << *quote);
      RegistryModel model;
      const std::string text(limit.Size, 'x');
      EXPECT_EQ(RunText(model, U("HKCR { A = s " + (quote + text + quote) + " }"), Reg), limit.Expected);
      EXPECT_EQ(Classes(model), limit.Expected == S_OK ? "A\n  @ = REG_SZ \"" + text + "\\0\"\n" : "A\n");
    }
  }
  for (Limit limit : {Limit{MaxBlockDepth - 1, S_OK}, Limit{MaxBlockDepth, DISP_E_EXCEPTION}}) {
    SCOPED_TRACE(testing::Message() << "keys nested " << limit.Size << " deep");
    std::string script = "HKCR {";
    for (std::size_t i = 0; i < limit.Size; ++i) script += " K {";
    for (std::size_t i = 0; i <= limit.Size; ++i) script += " }";
    RegistryModel model;
    EXPECT_EQ(RunText(model, U(script), Reg), limit.Expected);
    EXPECT_EQ(RunText(model, U(script), Unreg), limit.Expected);
    if (limit.Expected == S_OK) {
      EXPECT_EQ(Classes(model), "");
    }
    EXPECT_EQ(model.OpenHandleCount(), 0u);
  }
}

}  // namespace
}  // namespace orvo::test
