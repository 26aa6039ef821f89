// The registry model against the behaviour the module relies on (the same
// table runs against Wine's registry), and the registry key handle on it.
#include <gtest/gtest.h>

#include "platform/RegistryKey.h"
#include "tests/unit/registrar/RegistrarTesting.h"
#include "tests/unit/registrar/RegistrySemantics.h"

namespace orvo::test {
namespace {

TEST(RegistryModel, BehavesAsWin32Does) {
  for (const RegistryCase& c : semantics::Cases) {
    SCOPED_TRACE(c.Name);
    RegistryModel model;
    RegKey base = 0;
    ASSERT_EQ(semantics::Create(model, RegCurrentUser, u"Software\\OrvoTrainerTest\\Case", &base), 0);
    EXPECT_EQ(c.Calls(model, base), c.Expected);
    EXPECT_EQ(model.CloseKey(base), 0);
    EXPECT_EQ(model.OpenHandleCount(), 0u);
  }
}

TEST(RegistryModel, SizeIsCapped) {
  RegistryModel model;
  model.SetLimits({.MaxKeys = 10, .MaxDataBytes = 64});
  const std::size_t hives = model.KeyCount();
  std::u16string path;
  LONG code = ERROR_SUCCESS;
  for (int i = 0; code == ERROR_SUCCESS && i < 20; ++i) {
    path += u"K\\";
    code = semantics::Create(model, RegCurrentUser, path.c_str());
  }
  EXPECT_EQ(code, ERROR_NO_SYSTEM_RESOURCES);
  EXPECT_EQ(model.KeyCount(), 10u);
  EXPECT_GT(model.KeyCount(), hives);
  const uint8_t bytes[64] = {};
  EXPECT_EQ(model.SetValueEx(RegCurrentUser, u"", REG_BINARY, bytes, 64), ERROR_SUCCESS);
  EXPECT_EQ(model.SetValueEx(RegCurrentUser, u"x", REG_BINARY, bytes, 1), ERROR_NO_SYSTEM_RESOURCES);
  EXPECT_EQ(model.DeleteValue(RegCurrentUser, u""), ERROR_SUCCESS);
  EXPECT_EQ(model.SetValueEx(RegCurrentUser, u"x", REG_BINARY, bytes, 1), ERROR_SUCCESS);
}

TEST(RegistryKey, DeletesTreesAndKeepsItsKeyOnFailure) {
  for (bool deleteKeyEx : {true, false}) {
    SCOPED_TRACE(deleteKeyEx);
    RegistryModel model;
    model.SetDeleteKeyExAvailable(deleteKeyEx);
    ASSERT_EQ(RunText(model, u"HKCR { T { A { B = s 'x' { C } } D { val V = d 1 } } Other }",
                      ScriptDirection::Register),
              S_OK);
    CRegistryKey key(model);
    ASSERT_EQ(key.OpenKey(RegClassesRoot, u"T"), ERROR_SUCCESS);
    const RegKey held = key.Handle();
    EXPECT_EQ(key.OpenKey(RegClassesRoot, u"Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key.Handle(), held);
    EXPECT_EQ(key.DeleteChildKey(u"A"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(key.DeleteKeyTree(u"Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(key.HasChildren());
    EXPECT_EQ(key.DeleteKeyTree(u"a"), ERROR_SUCCESS);
    EXPECT_EQ(key.DeleteKeyTree(u"D"), ERROR_SUCCESS);
    EXPECT_FALSE(key.HasChildren());
    EXPECT_EQ(key.WriteDWORD(u"Port", 0xFFFFFFFD), ERROR_SUCCESS);
    DWORD type = 0, value = 0, size = sizeof value;
    EXPECT_EQ(key.QueryValue(u"port", &type, &value, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD{REG_DWORD});
    EXPECT_EQ(value, 0xFFFFFFFDu);
    EXPECT_EQ(key.CloseKey(), ERROR_SUCCESS);
    EXPECT_EQ(Classes(model), "Other\nT\n  Port = REG_DWORD 4294967293\n");
    EXPECT_EQ(model.OpenHandleCount(), 0u);
  }
}

}  // namespace
}  // namespace orvo::test
