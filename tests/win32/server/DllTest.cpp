// OrvoTrainer.dll through its exports and through regsvr32: registration
// trees per machine and per user, the type library's registration, and the
// class objects.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "OrvoTrainer_h.h"
#include "platform/Registry.h"
#include "server/frame/Com.h"
#include "sim/bus/RegistryDump.h"
#include "tests/unit/registrar/ClassTrees.h"

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
  explicit Dll(const std::wstring& path) : ModuleObject(LoadLibraryW(path.c_str())) {}
  ~Dll() {
    if (ModuleObject) FreeLibrary(ModuleObject);
  }
  Dll(const Dll&) = delete;
  Dll& operator=(const Dll&) = delete;

  bool Loaded() const { return ModuleObject != nullptr; }
  template <class Function>
  Function Export(const char* name) const {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(ModuleObject, name)));
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
  HMODULE ModuleObject;
};

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
std::wstring Wide(std::string_view text) { return std::wstring(text.begin(), text.end()); }

// What a registration wrote below the classes of `root` (the machine's or
// the user's) at `path`.
std::string Dump(RegKey root, const std::string& path) {
  return DumpRegistryTree(SystemRegistry(), root, U("Software\\Classes\\" + path).c_str());
}

// The keys one class owns below a classes root.
std::vector<std::string> OwnKeys(const ModuleClass& c) {
  const std::string progId = "OrvoTrainer." + std::string(c.Name);
  return {"CLSID\\" + std::string(c.Clsid), progId, progId + ".1"};
}

// A class's keys below `root` gathered as one dump of the classes root would
// show them.
std::string WrittenTree(RegKey root, const ModuleClass& keys) {
  std::string tree;
  for (const std::string& key : OwnKeys(keys)) {
    const bool clsid = key.starts_with("CLSID");
    tree +=
        (clsid ? "CLSID\n  " + key.substr(6) : key) + "\n" + Indent(Dump(root, key), clsid ? 2 : 1);
  }
  return tree;
}

// Whether `root` holds every class's complete trees for `module`, or none of
// their keys: nothing half written, nothing left behind.
void ExpectClasses(RegKey root, bool present, const std::string& module) {
  for (const ModuleClass& keys : ModuleClasses) {
    if (present) {
      EXPECT_EQ(WrittenTree(root, keys), ClassTree(keys, module)) << keys.Name;
      continue;
    }
    for (const std::string& key : OwnKeys(keys)) EXPECT_EQ(Dump(root, key), "!missing\n") << key;
  }
}

// The module path as the registry dump writes it.
std::string DumpedPath(const std::wstring& path) {
  std::string module;
  for (wchar_t ch : path) module += ch == L'\\' ? "\\\\" : std::string(1, char(ch));
  return module;
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

// regsvr32 as a school runs it, in a process of its own; exit code 0 is S_OK.
HRESULT Regsvr32(const std::wstring& flags, const std::wstring& dll) {
  std::wstring line = L"regsvr32.exe /s " + flags + L" \"" + dll + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return HRESULT_FROM_WIN32(GetLastError());
  // Registration takes a second or two; one that has not ended in a minute
  // is stuck, and is ended here so that the test fails with a reason rather
  // than at the harness's time-out.
  DWORD code = 1;
  if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
    ADD_FAILURE() << "regsvr32 did not end within 60 s: " << Narrow(line);
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, 5000);
  }
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code == 0 ? S_OK : E_FAIL;
}

TEST(Registration, EachFormWritesItsTreesAndRemovesThemAgain) {
  enum Door { Exports, Install, Tool };
  struct Case {
    const char* Name;
    const wchar_t* Directory;
    Door Through;
    const wchar_t* Argument;  // DllInstall's command line, or regsvr32's flags
    RegKey Written, Untouched;
  } cases[] = {
      {"per machine", L"OrvoMachine", Exports, nullptr, RegLocalMachine, RegCurrentUser},
      {"per user", L"OrvoUser", Install, L"user", RegCurrentUser, RegLocalMachine},
      {"per user in other case", L"OrvoMixedCase", Install, L"uSER", RegCurrentUser,
       RegLocalMachine},
      {"longer command line", L"OrvoUsers", Install, L"users", RegLocalMachine, RegCurrentUser},
      {"regsvr32, path with a quote", L"Orvo'Quote", Tool, L"", RegLocalMachine, RegCurrentUser},
      {"regsvr32 per user", L"OrvoToolUser", Tool, L"/n /i:user", RegCurrentUser, RegLocalMachine},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::wstring path = CopyOfDll(c.Directory);
    Dll dll(path);
    ASSERT_TRUE(dll.Loaded());
    const auto run = [&](bool install) {
      switch (c.Through) {
        case Exports:
          return install ? dll.Register() : dll.Unregister();
        case Install:
          return dll.Install(install, c.Argument);
        default:
          return Regsvr32((install ? L"" : L"/u ") + std::wstring(c.Argument), path);
      }
    };
    const std::string module = DumpedPath(path);

    EXPECT_EQ(run(true), S_OK);
    ExpectClasses(c.Written, true, module);
    ExpectClasses(c.Untouched, false, module);
    EXPECT_EQ(Narrow(RegisteredTypeLibPath()), Narrow(path));

    EXPECT_EQ(run(false), S_OK);
    EXPECT_NE(Dump(c.Written, "CLSID"), "!missing\n");
    ExpectClasses(c.Written, false, module);
    EXPECT_EQ(Narrow(RegisteredTypeLibPath()), "(not registered)");
    // With the type library gone, unregistering again reports it.
    EXPECT_TRUE(FAILED(run(false)));
  }
}

// Registration gone wrong, as schools meet it, through regsvr32: a DLL path
// that does not exist, a scope unregistered twice, and a per-user and a
// per-machine registration side by side with one of them removed. Each
// step's outcome is checked, and afterwards each scope holds our complete
// trees or none of them: nothing left behind, nothing of the other lost.
// Type libraries are left out here: Wine registers a per-user type library
// for the whole machine, so the scopes share one there.
TEST(Registration, FaultsLeaveEachScopeWholeOrEmpty) {
  enum Scope { Machine, User };
  struct Step {
    Scope Where;
    bool Install;
    bool Succeeds;
  };
  struct Case {
    const char* Name;
    const wchar_t* Directory;  // null: a path where no DLL is
    std::vector<Step> Steps;
    bool MachineAfter, UserAfter;  // our trees present afterwards
  } cases[] = {
      {"no DLL at the path", nullptr, {{Machine, true, false}, {User, true, false}}, false, false},
      {"per user, per machine, per user removed",
       L"OrvoBothUserGoes",
       {{User, true, true}, {Machine, true, true}, {User, false, true}},
       true,
       false},
      {"per user, per machine, per machine removed",
       L"OrvoBothMachineGoes",
       {{User, true, true}, {Machine, true, true}, {Machine, false, true}},
       false,
       true},
      {"per machine removed twice beside a per-user one",
       L"OrvoTwice",
       {{Machine, true, true}, {User, true, true}, {Machine, false, true}, {Machine, false, false}},
       false,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::wstring path =
        c.Directory ? CopyOfDll(c.Directory) : L"Z:\\no\\such\\place\\OrvoTrainer.dll";
    for (const Step& step : c.Steps) {
      const std::wstring flags =
          std::wstring(step.Install ? L"" : L"/u ") + (step.Where == User ? L"/n /i:user" : L"");
      EXPECT_EQ(SUCCEEDED(Regsvr32(flags, path)), step.Succeeds) << Narrow(flags);
    }
    ExpectClasses(RegLocalMachine, c.MachineAfter, DumpedPath(path));
    ExpectClasses(RegCurrentUser, c.UserAfter, DumpedPath(path));
    // Whatever is left goes, so that the next row starts clean.
    for (const wchar_t* flags : {L"/u /n /i:user", L"/u"}) Regsvr32(flags, path);
  }
}

// One cached class object per class; the module held while a client holds
// a class object, an object or a LockServer; the refusals of lookup and
// creation.
TEST(ClassObjects, AreCachedAndHoldTheModuleOnlyWhileAClientDoes) {
  CoInitialize(nullptr);
  Dll dll(BuiltDll());
  ASSERT_TRUE(dll.Loaded());
  EXPECT_EQ(dll.CanUnloadNow(), S_OK) << "nothing is held right after loading";
  for (const ModuleClass& keys : ModuleClasses) {
    SCOPED_TRACE(keys.Name);
    CLSID clsid{};  // as the class's script registers it
    ASSERT_EQ(CLSIDFromString(Wide(keys.Clsid).c_str(), &clsid), S_OK);
    IClassFactory* first = nullptr;
    ASSERT_EQ(dll.GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&first)), S_OK);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE) << "a client holds the class object";
    // An interface the class object lacks leaves it cached all the same.
    void* dispatch = &first;
    EXPECT_EQ(dll.GetClassObject(clsid, IID_IDispatch, &dispatch), E_NOINTERFACE);
    EXPECT_EQ(dispatch, nullptr);
    for (const IID* iid : {&IID_IClassFactory, &IID_IUnknown}) {
      void* again = nullptr;
      ASSERT_EQ(dll.GetClassObject(clsid, *iid, &again), S_OK);
      EXPECT_EQ(again, first) << "one class object per class";
      EXPECT_EQ(static_cast<IUnknown*>(again)->Release(), 2u) << "ours and the cache's";
    }

    // The refusals every creation goes through before an object is built.
    void* object = &first;
    IUnknown* outer = reinterpret_cast<IUnknown*>(first);
    EXPECT_EQ(first->CreateInstance(outer, IID_IDispatch, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(first->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);

    ASSERT_EQ(first->CreateInstance(nullptr, IID_IDispatch, &object), S_OK);
    EXPECT_EQ(first->Release(), 1u);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE) << "the object holds the module";
    ASSERT_EQ(dll.GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&first)), S_OK);
    EXPECT_EQ(first->LockServer(TRUE), S_OK);
    EXPECT_EQ(first->Release(), 1u);
    EXPECT_EQ(static_cast<IUnknown*>(object)->Release(), 0u);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE) << "LockServer holds the module";
    ASSERT_EQ(dll.GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&first)), S_OK);
    EXPECT_EQ(first->LockServer(FALSE), S_OK);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE) << "a client holds the class object";
    EXPECT_EQ(first->Release(), 1u);
    EXPECT_EQ(dll.CanUnloadNow(), S_OK) << "after the last release and LockServer(FALSE)";
  }

  for (const GUID* notAClass : {&GUID_NULL, &IID_IEcho, &LIBID_OrvoTrainerLib}) {
    void* object = &dll;
    EXPECT_EQ(dll.GetClassObject(*notAClass, IID_IClassFactory, &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
  }
  EXPECT_EQ(dll.GetClassObject(CLSID_Echo, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(dll.CanUnloadNow(), S_OK) << "a refused lookup holds nothing";
}

}  // namespace
}  // namespace orvo::test
