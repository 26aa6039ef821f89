// The script language: syntax errors, value types, keywords, and what each
// script leaves below the classes root of the registry model.
#include <gtest/gtest.h>

#include <cctype>

#include "server/registrar/ScriptParser.h"
#include "tests/unit/registrar/RegistrarTesting.h"

namespace orvo::test {
namespace {

constexpr auto Reg = ScriptDirection::Register;
constexpr auto Unreg = ScriptDirection::Unregister;

struct Case {
  std::string Script;
  HRESULT Expected;
  std::string Tree;        // the classes root afterwards
  std::string Setup = "";  // registered first, when not empty
  ScriptDirection Direction = Reg;
};

// Syntax errors, and the tree they leave. A failed registration leaves
// nothing behind; the undo walk reads the same text, so it stops at the same
// error and keeps what comes before it.
const std::pair<const char*, const char*> SyntaxErrors[] = {
    {"HKXY { A }", ""},
    {"HKCR A = s 'x'", ""},
    {"HKCR", ""},
    {"HKCR { A { val V s 'x' } }", "A\n"},
    {"HKCR { A\\B }", ""},
    {"HKCR { A { '' = s 'x' } }", "A\n"},
    {"HKCR { A = s 'x }", "A\n"},
    {"HKCR { A = s 'x'", "A\n  @ = REG_SZ \"x\\0\"\n"},
    {"HKCR { Delete A { B } }", ""},
    {"HKCR { A { val V = s 'x' { B } } }", "A\n"},
    // Only the block that failed is undone.
    {"HKCR { A } HKCR { B = s 'x' { val V = q 'y' } }", "A\n"},
};

const Case Cases[] = {
    // Expansion fails before anything is written, with the expansion's result.
    {"HKCR { A = s '%" + std::string(32, 'N') + "%' }", E_FAIL, ""},

    // ForceRemove takes a key name, not a path below it.
    {"HKCR { ForceRemove A\\B }", DISP_E_EXCEPTION, "A\n  B\n", "HKCR { A { B } }"},
    // The script ends at a NUL.
    {std::string("HKCR { A } \0 HKXY", 17), S_OK, "A\n"},
    {"HKCR { A { VAL V = d 1 } }", S_OK, "A\n  V = REG_DWORD 1\n"},
    {"HKCR { 'My Key' = s '{ x }' }", S_OK, "My Key\n  @ = REG_SZ \"{ x }\\0\"\n"},
    {"HKEY_CLASSES_ROOT { A }", S_OK, "A\n"},
    {"hkcr { A }", S_OK, "A\n"},
    {"HKLM { Software { Classes { A } } }", S_OK, "A\n"},

    {"HKCR { ForceRemove Old { New } }", S_OK, "Old\n  New\n", "HKCR { Old { Sub { Deep } } }"},
    {"HKCR { Delete Old }", S_OK, "Kept\n", "HKCR { Old { Sub } Kept }"},
    {"HKCR { Delete Missing = s 'x' A }", S_OK, "A\n"},
    // A name that merely begins like a protected one goes.
    {"HKCR { Delete CLSIDs }", S_OK, "", "HKCR { CLSIDs { Foreign } }"},

    // Unregistering: NoRemove keeps a key or value, a foreign subkey keeps
    // its parent, and what is missing is fine.
    {"HKCR { A { B } }", S_OK, "", "HKCR { A = s 'x' { B } }", Unreg},
    {"HKCR { NoRemove A { NoRemove val V = s 'x' val W = s 'y' } }", S_OK,
     "A\n  V = REG_SZ \"x\\0\"\n", "HKCR { A { val V = s 'x' val W = s 'y' } }", Unreg},
    {"HKCR { A { B } }", S_OK, "A\n  C\n", "HKCR { A { B C } }", Unreg},
    {"HKCR { A { val V = s 'x' } Missing { Deeper = s 'x' { val V = s 'y' } } }", S_OK, "A\n  C\n",
     "HKCR { A { C } }", Unreg},
    // ForceRemove and Delete are plain keys here.
    {"HKCR { ForceRemove A Delete B }", S_OK, "", "HKCR { A B }", Unreg},
    // A syntax error in a missing key's block stops the walk.
    {"HKCR { Missing { val x y Victim } }", DISP_E_EXCEPTION, "Victim\n", "HKCR { Victim }", Unreg},
};

// A value written as the default value of key A, and how the dump shows it
// when it is written.
struct Value {
  const char* Text;
  HRESULT Expected;
  const char* Shown = nullptr;
};

const Value Values[] = {
    {"d 42", S_OK, "REG_DWORD 42"},
    {"D ' 7 '", S_OK, "REG_DWORD 7"},
    {"d 4294967295", S_OK, "REG_DWORD 4294967295"},
    {"d 4294967296", DISP_E_OVERFLOW},
    {"d x1", DISP_E_TYPEMISMATCH},
    {"b a1FF", S_OK, "REG_BINARY a1 ff"},
    {"b A1f", E_FAIL},
    {"B 0G", S_OK, "REG_BINARY 00"},  // a stray digit reads 0
    {"b ''", S_OK, "REG_BINARY"},
    {"m 'a\\0b'", S_OK, "REG_MULTI_SZ \"a\\0b\\0\\0\""},
    {"M 'a\\0\\0b'", S_OK, "REG_MULTI_SZ \"a\\0\\0\""},  // ends at the empty string
    {"m 'a\\b'", S_OK, "REG_MULTI_SZ \"a\\\\b\\0\\0\""},
    {"m ''", S_OK, "REG_MULTI_SZ \"\\0\""},
    {"s 'it''s'", S_OK, "REG_SZ \"it's\\0\""},
    {"s ''", S_OK, "REG_SZ \"\\0\""},
    {"s '%module%'", S_OK, "REG_SZ \"C:\\\\Program Files\\\\Orvo\\\\OrvoTrainer.dll\\0\""},
    {"q 'x'", DISP_E_EXCEPTION},
    {"sz 'x'", DISP_E_EXCEPTION},
};

void Check(const Case& c) {
  SCOPED_TRACE(c.Setup + " then " + c.Script);
  RegistryModel model;
  if (!c.Setup.empty()) {
    ASSERT_EQ(RunText(model, U(c.Setup), Reg), S_OK);
  }
  EXPECT_EQ(RunText(model, U(c.Script), c.Direction), c.Expected);
  EXPECT_EQ(Classes(model), c.Tree);
  EXPECT_EQ(model.OpenHandleCount(), 0u);
}

TEST(ScriptLanguage, EachScriptGivesItsResultAndTree) {
  for (const auto& [script, tree] : SyntaxErrors) Check({script, DISP_E_EXCEPTION, tree});
  for (const Case& c : Cases) Check(c);
  for (const Value& v : Values) {
    Check({"HKCR { A = " + std::string(v.Text) + " }", v.Expected,
           v.Shown ? "A\n  @ = " + std::string(v.Shown) + "\n" : ""});
  }
}

// The keywords and the names are read without regard to case; the block
// of a spared ForceRemove key is still written.
TEST(ScriptLanguage, ProtectedNamesSurviveForceRemoveAndDelete) {
  for (const std::string name :
       {"AppID", "CLSID", "Component Categories", "FileType", "Interface", "Hardware", "Mime",
        "SAM", "SECURITY", "SYSTEM", "Software", "TypeLib"}) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const bool force : {true, false}) {
      Check({"HKCR { " +
                 (force ? "FORCEREMOVE '" + lower + "' { Mine }" : "delete '" + lower + "'") + " }",
             S_OK, name + "\n  Foreign\n" + (force ? "  Mine\n" : ""),
             "HKCR { '" + name + "' { Foreign } }"});
    }
  }
}

TEST(ScriptLanguage, TokenLengthAndNestingAreBounded) {
  for (const std::size_t size : {MaxTokenLength, MaxTokenLength + 1}) {
    const bool fits = size == MaxTokenLength;
    const std::string text(size, 'x');
    for (const std::string& token : {text, "'" + text + "'"}) {
      Check({"HKCR { A = s " + token + " }", fits ? S_OK : DISP_E_EXCEPTION,
             fits ? "A\n  @ = REG_SZ \"" + text + "\\0\"\n" : "A\n"});
    }
  }
  for (const int depth : {MaxBlockDepth - 1, MaxBlockDepth}) {
    SCOPED_TRACE(testing::Message() << "keys nested " << depth << " deep");
    const bool fits = depth < MaxBlockDepth;
    std::string script = "HKCR {";
    for (int i = 0; i < depth; ++i) script += " K {";
    for (int i = 0; i <= depth; ++i) script += " }";
    RegistryModel model;
    EXPECT_EQ(RunText(model, U(script), Reg), fits ? S_OK : DISP_E_EXCEPTION);
    EXPECT_EQ(RunText(model, U(script), Unreg), fits ? S_OK : DISP_E_EXCEPTION);
    if (fits) {
      EXPECT_EQ(Classes(model), "");
    }
    EXPECT_EQ(model.OpenHandleCount(), 0u);
  }
}

}  // namespace
}  // namespace orvo::test
