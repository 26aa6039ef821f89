// The built DLL's class objects and module lock, reached the way the
// component runtime reaches them: LoadLibrary, then DllGetClassObject and
// DllCanUnloadNow. ORVO_DLL names the DLL (a path on the build machine).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "OrvoTrainer_h.h"
#include "server/frame/Com.h"

namespace {

using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();

class ClassObjects : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitialize(nullptr);
    const char* path = std::getenv("ORVO_DLL");
    ASSERT_NE(path, nullptr) << "ORVO_DLL is not set";
    // Wine shows the build machine's root as drive Z:.
    std::wstring windowsPath = L"Z:";
    for (const char* c = path; *c; ++c) windowsPath += *c == '/' ? L'\\' : wchar_t(*c);
    module_ = LoadLibraryW(windowsPath.c_str());
    ASSERT_NE(module_, nullptr) << "cannot load " << path;
    getClassObject_ = Export<GetClassObject>("DllGetClassObject");
    canUnloadNow_ = Export<CanUnloadNow>("DllCanUnloadNow");
    ASSERT_NE(getClassObject_, nullptr);
    ASSERT_NE(canUnloadNow_, nullptr);
  }

  template <class Function>
  static Function Export(const char* name) {
    // Through void*: the export's real type is only known to us.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

  static IClassFactory* Factory(REFCLSID clsid) {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(getClassObject_(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    return factory;
  }

  static inline HMODULE module_ = nullptr;
  static inline GetClassObject getClassObject_ = nullptr;
  static inline CanUnloadNow canUnloadNow_ = nullptr;
};

struct ClassRow {
  const char* Name;
  const CLSID* Clsid;
  const IID* Dual;
};
const ClassRow kClasses[] = {
    {"Echo", &CLSID_Echo, &IID_IEcho},
    {"Plc", &CLSID_Plc, &IID_IPlc},
    {"Fault", &CLSID_Fault, &IID_IFault},
};

TEST_F(ClassObjects, ModuleLockFollowsObjectsClassObjectsAndLockServer) {
  EXPECT_EQ(canUnloadNow_(), S_OK) << "nothing is held right after loading";
  for (const ClassRow& row : kClasses) {
    SCOPED_TRACE(row.Name);
    IClassFactory* factory = Factory(*row.Clsid);
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "a client holds the class object";
    IClassFactory* again = Factory(*row.Clsid);
    EXPECT_EQ(again, factory) << "one class object per class";
    again->Release();

    IUnknown* object = nullptr;
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), *row.Dual,
                                      reinterpret_cast<void**>(&object)),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    ASSERT_EQ(factory->CreateInstance(nullptr, *row.Dual, reinterpret_cast<void**>(&object)), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory->Release();
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "the object and LockServer still hold the module";
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(canUnloadNow_(), S_FALSE) << "LockServer still holds the module";
    factory = Factory(*row.Clsid);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory->Release();
    EXPECT_EQ(canUnloadNow_(), S_OK) << "after the last release and LockServer(FALSE)";
  }
}

TEST_F(ClassObjects, LookupRefusals) {
  void* result = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject_(GUID_NULL, IID_IClassFactory, &result), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(getClassObject_(CLSID_Echo, IID_IClassFactory, nullptr), E_POINTER);
  result = reinterpret_cast<void*>(1);
  EXPECT_EQ(getClassObject_(CLSID_Plc, IID_IDispatch, &result), E_NOINTERFACE);
  EXPECT_EQ(result, nullptr);
  // The refusal left the class object cached: the same one comes back.
  IClassFactory* first = Factory(CLSID_Plc);
  IClassFactory* second = Factory(CLSID_Plc);
  EXPECT_EQ(first, second);
  first->Release();
  second->Release();
  EXPECT_EQ(canUnloadNow_(), S_OK);
}

}  // namespace
