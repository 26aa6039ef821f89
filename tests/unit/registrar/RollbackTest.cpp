// Registry failures part-way through a walk: a registration is undone by the
// unregistration walk over the same block, and the first failure is the one
// reported.
#include <gtest/gtest.h>

#include "tests/unit/registrar/RegistrarTesting.h"

namespace orvo::test {
namespace {

using Op = RegistryModel::Operation;
using Failure = RegistryModel::Failure;

constexpr auto Reg = ScriptDirection::Register;
constexpr auto Unreg = ScriptDirection::Unregister;

// "*" stands for the Echo class script. Failures fail with access denied
// unless they say otherwise.
struct Case {
  const char* Name;
  std::string Setup;  // registered before the failures are armed
  std::vector<Failure> Failures;
  ScriptDirection Direction;
  std::vector<std::string> Tree;  // scripts that build the expected tree
};

const std::string Clsid = "{9E3C51A4-6D27-4B8E-A1F0-5B7C2E94D613}";

const Case Cases[] = {
    {"value write fails", "", {{Op::SetValue, 1, u"ThreadingModel"}}, Reg, {"HKCR { CLSID }"}},
    {"key creation fails", "", {{Op::CreateKey, 1, u"TypeLib", ERROR_NO_SYSTEM_RESOURCES}}, Reg,
     {"HKCR { CLSID }"}},
    {"third value write fails", "", {{Op::SetValue, 3, u""}}, Reg, {}},
    // Keys that were there before go too, unless they have subkeys of their
    // own; values written into a key that stays, stay.
    {"undo removes what was there",
     "HKCR { OrvoTrainer.Echo = s 'Old' OrvoTrainer.Echo.1 { Keep } }",
     {{Op::SetValue, 1, u"ThreadingModel"}}, Reg,
     {"HKCR { CLSID OrvoTrainer.Echo.1 = s 'Echo Class' { Keep } }"}},
    // A failing undo stops where it fails and does not hide the failure.
    {"undo fails as well", "",
     {{Op::SetValue, 11, u""},  // Version's default value
      {Op::DeleteKey, 0, u"Version", ERROR_INVALID_PARAMETER}},
     Reg, {"HKCR { CLSID { " + Clsid + " = s 'Echo Class' { Version } } }"}},
    // An existing key that cannot be opened for writing is opened read-only,
    // and writing its value then fails.
    {"read-only key", "HKCR { OrvoTrainer.Echo.1 }", {{Op::OpenKey, 1, u"OrvoTrainer.Echo.1"}}, Reg,
     {}},
    {"unregistration stops at a failing delete", "*", {{Op::DeleteKey, 1, u"CurVer"}}, Unreg,
     {"*", "HKCR { Delete OrvoTrainer.Echo.1 }"}},
    {"unregistration stops at a value that cannot go", "*",
     {{Op::DeleteValue, 1, u"ThreadingModel"}}, Unreg,
     {"*", "HKCR { Delete OrvoTrainer.Echo.1 Delete OrvoTrainer.Echo CLSID { " + Clsid +
               " { Delete ProgID Delete VersionIndependentProgID Delete Programmable } } }"}},
    {"unregistration stops at a key it cannot read", "*", {{Op::OpenKey, 1, u"OrvoTrainer.Echo.1"}},
     Unreg, {"*"}},
};

void Build(RegistryModel& model, const std::string& script) {
  std::u16string text = script == "*" ? ScriptFile("Echo.rgs") : U(script);
  ASSERT_EQ(RunText(model, text, ScriptDirection::Register), S_OK) << script;
}

TEST(ScriptRollback, FailureHalfwayIsUndoneAndReported) {
  for (const Case& c : Cases) {
    SCOPED_TRACE(c.Name);
    RegistryModel model, expected;
    if (!c.Setup.empty()) Build(model, c.Setup);
    for (const std::string& script : c.Tree) Build(expected, script);
    for (const Failure& failure : c.Failures) model.InjectFailure(failure);
    EXPECT_EQ(RunText(model, ScriptFile("Echo.rgs"), c.Direction),
              HRESULT_FROM_WIN32(c.Failures.front().Code));
    EXPECT_EQ(Classes(model), Classes(expected));
    EXPECT_EQ(model.OpenHandleCount(), 0u);
  }
}

}  // namespace
}  // namespace orvo::test
