// OrvoTrainer.dll through its exports, as a host and regsvr32 use it:
// registration trees per machine and per user, and the class objects.
#include <gtest/gtest.h>

#include <string>

#include "OrvoTrainer_h.h"
#include "platform/Registry.h"
#include "platform/fake/RegistryDump.h"
#include "server/dll/Com.h"

namespace orvo::test {
namespace {

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using NoArgumentFunction = HRESULT(STDAPICALLTYPE*)();
using InstallFunction = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);

// The DLL under test, as Windows names it.
std::wstring BuiltDll() {
  std::wstring path = L"Z:";
  for (const char* c = ORVO_DLL_PATH; *c; ++c) path += *c == '/' ? L'\\' : wchar_t(*c);
  return path;
}

// The DLL loaded from `path`, with its exports.
class Dll {
 public:
  explicit Dll(const std::wstring& path) : module_(LoadLibraryW(path.c_str())) {}
  ~Dll() {
    if (module_) FreeLibrary(module_);
  }
  Dll(const Dll&) = delete;
  Dll& operator=(const Dll&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  template <class Function>
  Function Export(const char* name) const {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) const {
    return Export<GetClassObjectFunction>("DllGetClassObject")(clsid, iid, object);
  }
  HRESULT CanUnloadNow() const { return Export<NoArgumentFunction>("DllCanUnloadNow")(); }
  HRESULT Register() const { return Export<NoArgumentFunction>("DllRegisterServer")(); }
  HRESULT Unregister() const { return Export<NoArgumentFunction>("DllUnregisterServer")(); }
  HRESULT Install(BOOL install, const wchar_t* commandLine) const {
    return Export<InstallFunction>("DllInstall")(install, commandLine);
  }

 private:
  HMODULE module_;
};

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// As the registry dump writes a string: backslashes doubled.
std::string Dumped(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c == L'\\') out += '\\';
    out += static_cast<char>(c);
  }
  return out;
}

struct ClassKeys {
  const char* Name;
  const char16_t* Clsid;
  const CLSID* Id;
  const char* Version;
};

const ClassKeys Classes[] = {
    {"Echo", u"{9E3C51A4-6D27-4B8E-A1F0-5B7C2E94D613}", &CLSID_Echo, "1.0"},
    {"Fault", u"{7C2A4E91-3B58-4D16-9A7E-F41D6B2C08A5}", &CLSID_Fault, "1.6"},
    {"Plc", u"{1F6B8D32-C4A9-47E5-8B3D-E07A19C5F248}", &CLSID_Plc, "1.6"},
};

std::u16string U(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// The three trees one class leaves below a classes root, keyed by path.
struct ExpectedTree {
  std::u16string Path;
  std::string Tree;
};

std::vector<ExpectedTree> ExpectedTrees(const ClassKeys& c, const std::wstring& module) {
  const std::string name = c.Name, clsid(c.Clsid, c.Clsid + 38);
  const std::string description = "  @ = REG_SZ \"" + name + " Class\\0\"\n";
  return {
      {U("CLSID\\" + clsid), "@ = REG_SZ \"" + name +
                                 " Class\\0\"\n"
                                 "InprocServer32\n"
                                 "  @ = REG_SZ \"" +
                                 Dumped(module) +
                                 "\\0\"\n"
                                 "  ThreadingModel = REG_SZ \"Apartment\\0\"\n"
                                 "ProgID\n"
                                 "  @ = REG_SZ \"OrvoTrainer." +
                                 name +
                                 ".1\\0\"\n"
                                 "Programmable\n"
                                 "TypeLib\n"
                                 "  @ = REG_SZ \"{4B1E9C27-7A3D-4F60-9E15-2C8D5A06B3F1}\\0\"\n"
                                 "Version\n"
                                 "  @ = REG_SZ \"" +
                                 std::string(c.Version) +
                                 "\\0\"\n"
                                 "VersionIndependentProgID\n"
                                 "  @ = REG_SZ \"OrvoTrainer." +
                                 name + "\\0\"\n"},
      {U("OrvoTrainer." + name), "@ = REG_SZ \"" + name +
                                     " Class\\0\"\n"
                                     "CurVer\n"
                                     "  @ = REG_SZ \"OrvoTrainer." +
                                     name + ".1\\0\"\n"},
      {U("OrvoTrainer." + name + ".1"), "@ = REG_SZ \"" + name +
                                            " Class\\0\"\n"
                                            "CLSID\n"
                                            "  @ = REG_SZ \"" +
                                            clsid + "\\0\"\n"},
  };
}

// Where a registration lands: the machine's classes or the user's.
struct ClassesRoot {
  RegKey Root;
  std::u16string Prefix;
};
const ClassesRoot MachineClasses{RegLocalMachine, u"Software\\Classes\\"};
const ClassesRoot UserClasses{RegCurrentUser, u"Software\\Classes\\"};

std::string Dump(const ClassesRoot& at, const std::u16string& path) {
  return DumpRegistryTree(SystemRegistry(), at.Root, (at.Prefix + path).c_str());
}

// The file the registered type library 1.6 points to, or the failure.
std::wstring RegisteredTypeLibPath() {
  BSTR path = nullptr;
  const HRESULT result = QueryPathOfRegTypeLib(LIBID_OrvoTrainerLib, 1, 6, 0x409, &path);
  std::wstring text = SUCCEEDED(result) ? std::wstring(path) : L"(not registered)";
  SysFreeString(path);
  return text;
}

// A copy of the DLL in a directory of its own: each copy is a module of its
// own, so a per-user switch made in one row cannot leak into the next.
std::wstring CopyOfDll(const std::wstring& directory) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring dir = std::wstring(temp) + directory;
  CreateDirectoryW(dir.c_str(), nullptr);
  const std::wstring path = dir + L"\\OrvoTrainer.dll";
  EXPECT_TRUE(CopyFileW(BuiltDll().c_str(), path.c_str(), FALSE)) << GetLastError();
  return path;
}

TEST(Registration, EachFormWritesItsTreesAndRemovesThemAgain) {
  struct Case {
    const char* Name;
    const wchar_t* Directory;
    const wchar_t* CommandLine;  // null: DllRegisterServer and DllUnregisterServer
    const ClassesRoot* Written;
    const ClassesRoot* Untouched;
  } cases[] = {
      {"per machine", L"OrvoMachine", nullptr, &MachineClasses, &UserClasses},
      {"per user", L"OrvoUser", L"user", &UserClasses, &MachineClasses},
      {"per user in other case", L"OrvoMixedCase", L"uSER", &UserClasses, &MachineClasses},
      {"longer command line", L"OrvoUsers", L"users", &MachineClasses, &UserClasses},
      {"path with a quote", L"Orvo'Quote", nullptr, &MachineClasses, &UserClasses},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::wstring path = CopyOfDll(c.Directory);
    Dll dll(path);
    ASSERT_TRUE(dll.Loaded());
    EXPECT_EQ(c.CommandLine ? dll.Install(TRUE, c.CommandLine) : dll.Register(), S_OK);
    for (const ClassKeys& keys : Classes) {
      for (const ExpectedTree& expected : ExpectedTrees(keys, path)) {
        SCOPED_TRACE(Narrow(std::wstring(expected.Path.begin(), expected.Path.end())));
        EXPECT_EQ(Dump(*c.Written, expected.Path), expected.Tree);
        EXPECT_EQ(Dump(*c.Untouched, expected.Path), "!missing\n");
      }
    }
    EXPECT_EQ(Narrow(RegisteredTypeLibPath()), Narrow(path));

    EXPECT_EQ(c.CommandLine ? dll.Install(FALSE, c.CommandLine) : dll.Unregister(), S_OK);
    EXPECT_NE(Dump(*c.Written, u"CLSID"), "!missing\n");
    for (const ClassKeys& keys : Classes) {
      for (const ExpectedTree& expected : ExpectedTrees(keys, path)) {
        EXPECT_EQ(Dump(*c.Written, expected.Path), "!missing\n");
      }
    }
    EXPECT_EQ(Narrow(RegisteredTypeLibPath()), "(not registered)");
  }
}

TEST(Registration, UnregisteringWhatIsNotRegisteredFails) {
  Dll dll(CopyOfDll(L"OrvoNeverRegistered"));
  ASSERT_TRUE(dll.Loaded());
  EXPECT_TRUE(FAILED(dll.Unregister()));
}

TEST(ClassObjects, AreCachedAndHoldTheModuleOnlyWhileAClientDoes) {
  Dll dll(BuiltDll());
  ASSERT_TRUE(dll.Loaded());
  EXPECT_EQ(dll.CanUnloadNow(), S_OK);
  for (const ClassKeys& keys : Classes) {
    SCOPED_TRACE(keys.Name);
    IClassFactory* first = nullptr;
    IClassFactory* second = nullptr;
    ASSERT_EQ(dll.GetClassObject(*keys.Id, IID_IClassFactory, reinterpret_cast<void**>(&first)),
              S_OK);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);
    // An interface the class object lacks leaves it cached all the same.
    void* dispatch = &first;
    EXPECT_EQ(dll.GetClassObject(*keys.Id, IID_IDispatch, &dispatch), E_NOINTERFACE);
    EXPECT_EQ(dispatch, nullptr);
    ASSERT_EQ(dll.GetClassObject(*keys.Id, IID_IUnknown, reinterpret_cast<void**>(&second)), S_OK);
    EXPECT_EQ(first, second);
    EXPECT_EQ(second->Release(), 2u);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);

    // The refusals every creation goes through before an object is built.
    void* object = &first;
    IUnknown* outer = reinterpret_cast<IUnknown*>(first);
    EXPECT_EQ(first->CreateInstance(outer, IID_IDispatch, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(first->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);

    EXPECT_EQ(first->LockServer(TRUE), S_OK);
    EXPECT_EQ(first->Release(), 1u);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);
    ASSERT_EQ(dll.GetClassObject(*keys.Id, IID_IClassFactory, reinterpret_cast<void**>(&first)),
              S_OK);
    EXPECT_EQ(first->LockServer(FALSE), S_OK);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);
    EXPECT_EQ(first->Release(), 1u);
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);
  }
}

TEST(ClassObjects, RefuseWhatTheModuleDoesNotServe) {
  Dll dll(BuiltDll());
  ASSERT_TRUE(dll.Loaded());
  struct Case {
    const char* Name;
    const CLSID* Clsid;
    bool NullOutput;
    HRESULT Expected;
  } cases[] = {
      {"null class", &GUID_NULL, false, CLASS_E_CLASSNOTAVAILABLE},
      {"an interface, not a class", &IID_IEcho, false, CLASS_E_CLASSNOTAVAILABLE},
      {"the library", &LIBID_OrvoTrainerLib, false, CLASS_E_CLASSNOTAVAILABLE},
      {"null output", &CLSID_Echo, true, E_POINTER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    void* object = &dll;
    EXPECT_EQ(dll.GetClassObject(*c.Clsid, IID_IClassFactory, c.NullOutput ? nullptr : &object),
              c.Expected);
    if (!c.NullOutput) {
      EXPECT_EQ(object, nullptr);
    }
  }
  EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace orvo::test
