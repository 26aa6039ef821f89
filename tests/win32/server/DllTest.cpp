// OrvoTrainer.dll through its exports, as a host and regsvr32 use it:
// registration trees per machine and per user, the class objects, and the
// type library it carries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

struct ClassKeys {
  const char* Name;
  const char* Clsid;
  const CLSID* Id;
  const IID* Dual;
  const char* Version;
};

const ClassKeys Classes[] = {
    {"Echo", "{9E3C51A4-6D27-4B8E-A1F0-5B7C2E94D613}", &CLSID_Echo, &IID_IEcho, "1.0"},
    {"Fault", "{7C2A4E91-3B58-4D16-9A7E-F41D6B2C08A5}", &CLSID_Fault, &IID_IFault, "1.6"},
    {"Plc", "{1F6B8D32-C4A9-47E5-8B3D-E07A19C5F248}", &CLSID_Plc, &IID_IPlc, "1.6"},
};

// The three trees one class leaves below a classes root: path, then tree.
// clang-format off
const char* const TreeTemplates[][2] = {
    {"CLSID\\$CLSID",
     "@ = REG_SZ \"$NAME Class\\0\"\n"
     "InprocServer32\n"
     "  @ = REG_SZ \"$MODULE\\0\"\n"
     "  ThreadingModel = REG_SZ \"Apartment\\0\"\n"
     "ProgID\n"
     "  @ = REG_SZ \"OrvoTrainer.$NAME.1\\0\"\n"
     "Programmable\n"
     "TypeLib\n"
     "  @ = REG_SZ \"{4B1E9C27-7A3D-4F60-9E15-2C8D5A06B3F1}\\0\"\n"
     "Version\n"
     "  @ = REG_SZ \"$VERSION\\0\"\n"
     "VersionIndependentProgID\n"
     "  @ = REG_SZ \"OrvoTrainer.$NAME\\0\"\n"},
    {"OrvoTrainer.$NAME",
     "@ = REG_SZ \"$NAME Class\\0\"\n"
     "CurVer\n"
     "  @ = REG_SZ \"OrvoTrainer.$NAME.1\\0\"\n"},
    {"OrvoTrainer.$NAME.1",
     "@ = REG_SZ \"$NAME Class\\0\"\n"
     "CLSID\n"
     "  @ = REG_SZ \"$CLSID\\0\"\n"},
};
// clang-format on

std::string Fill(std::string text, const ClassKeys& c, const std::wstring& module) {
  // The dump writes a backslash in a string twice.
  std::string dumpedModule;
  for (wchar_t ch : module) dumpedModule += ch == L'\\' ? "\\\\" : std::string(1, char(ch));
  const std::pair<std::string, std::string> fields[] = {
      {"$NAME", c.Name}, {"$CLSID", c.Clsid}, {"$VERSION", c.Version}, {"$MODULE", dumpedModule}};
  for (const auto& [from, to] : fields) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
      text.replace(at, from.size(), to);
  }
  return text;
}

std::u16string U(const std::string& text) { return std::u16string(text.begin(), text.end()); }

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
      for (const auto& [pathTemplate, treeTemplate] : TreeTemplates) {
        const std::string key = Fill(pathTemplate, keys, path);
        SCOPED_TRACE(key);
        EXPECT_EQ(Dump(*c.Written, U(key)), Fill(treeTemplate, keys, path));
        EXPECT_EQ(Dump(*c.Untouched, U(key)), "!missing\n");
      }
    }
    EXPECT_EQ(Narrow(RegisteredTypeLibPath()), Narrow(path));

    EXPECT_EQ(c.CommandLine ? dll.Install(FALSE, c.CommandLine) : dll.Unregister(), S_OK);
    EXPECT_NE(Dump(*c.Written, u"CLSID"), "!missing\n");
    for (const ClassKeys& keys : Classes) {
      for (const auto& [pathTemplate, treeTemplate] : TreeTemplates) {
        EXPECT_EQ(Dump(*c.Written, U(Fill(pathTemplate, keys, path))), "!missing\n");
      }
    }
    EXPECT_EQ(Narrow(RegisteredTypeLibPath()), "(not registered)");
    // With the type library gone, unregistering again reports it.
    EXPECT_TRUE(FAILED(c.CommandLine ? dll.Install(FALSE, c.CommandLine) : dll.Unregister()));
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
  for (const ClassKeys& keys : Classes) {
    SCOPED_TRACE(keys.Name);
    IClassFactory* first = nullptr;
    ASSERT_EQ(dll.GetClassObject(*keys.Id, IID_IClassFactory, reinterpret_cast<void**>(&first)),
              S_OK);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE) << "a client holds the class object";
    // An interface the class object lacks leaves it cached all the same.
    void* dispatch = &first;
    EXPECT_EQ(dll.GetClassObject(*keys.Id, IID_IDispatch, &dispatch), E_NOINTERFACE);
    EXPECT_EQ(dispatch, nullptr);
    for (const IID* iid : {&IID_IClassFactory, &IID_IUnknown}) {
      void* again = nullptr;
      ASSERT_EQ(dll.GetClassObject(*keys.Id, *iid, &again), S_OK);
      EXPECT_EQ(again, first) << "one class object per class";
      EXPECT_EQ(static_cast<IUnknown*>(again)->Release(), 2u) << "ours and the cache's";
    }

    // The refusals every creation goes through before an object is built.
    void* object = &first;
    IUnknown* outer = reinterpret_cast<IUnknown*>(first);
    EXPECT_EQ(first->CreateInstance(outer, *keys.Dual, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(first->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);

    ASSERT_EQ(first->CreateInstance(nullptr, *keys.Dual, &object), S_OK);
    EXPECT_EQ(first->Release(), 1u);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE) << "the object holds the module";
    ASSERT_EQ(dll.GetClassObject(*keys.Id, IID_IClassFactory, reinterpret_cast<void**>(&first)),
              S_OK);
    EXPECT_EQ(first->LockServer(TRUE), S_OK);
    EXPECT_EQ(first->Release(), 1u);
    EXPECT_EQ(static_cast<IUnknown*>(object)->Release(), 0u);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE) << "LockServer holds the module";
    ASSERT_EQ(dll.GetClassObject(*keys.Id, IID_IClassFactory, reinterpret_cast<void**>(&first)),
              S_OK);
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

// What hosts read from the embedded type library and what an IDL slip would
// change silently: attributes, type flags, parameter names, help strings.
// DISPIDs, kinds, slots and parameter directions are checked against the
// same library in the objects' own test.
struct Member {
  const IID* Interface;
  unsigned Slot;  // in the vtable view, after IDispatch's
  const wchar_t* Name;
  INVOKEKIND Kind;  // a function's help text says "method", a property's "property"
  // As GetNames reports them: it looks members up by DISPID, so a property
  // put shows the names of its get.
  std::vector<std::wstring> ParameterNames;
};

TEST(TypeLibrary, RecordsTheLibraryNamesAndHelpStrings) {
  ITypeLib* lib = nullptr;
  ASSERT_EQ(LoadTypeLibEx(BuiltDll().c_str(), REGKIND_NONE, &lib), S_OK);
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(lib->GetLibAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_OrvoTrainerLib));
  EXPECT_EQ(attributes->wMajorVerNum * 100 + attributes->wMinorVerNum, 106);
  EXPECT_EQ(attributes->lcid, 0x0409u);
  EXPECT_EQ(attributes->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  lib->ReleaseTLibAttr(attributes);

  const Member members[] = {
      {&IID_IEcho, 6, L"Version", INVOKE_PROPERTYGET, {L"pVal"}},
      {&IID_IEcho, 3, L"Address", INVOKE_PROPERTYPUT, {L"pVal"}},
      {&IID_IEcho, 27, L"ChangeSwitch", INVOKE_FUNC, {L"switchx", L"value", L"pStatus"}},
      {&IID_IEcho, 33, L"SetBncs", INVOKE_FUNC, {L"input", L"output", L"pStatus"}},
      {&IID_IPlc, 19, L"SendFaults", INVOKE_FUNC, {L"faults", L"pStatus"}},
      {&IID_IFault, 6, L"SetAddress", INVOKE_FUNC, {L"Address", L"pStatus"}},
      {&IID_IFault, 10, L"SendFaults", INVOKE_FUNC, {L"__MIDL__IFault0000", L"pStatus"}},
  };
  for (const Member& m : members) {
    SCOPED_TRACE(Narrow(m.Name));
    ITypeInfo* dispatchView = nullptr;
    ITypeInfo* info = nullptr;
    HREFTYPE ref = 0;
    ASSERT_EQ(lib->GetTypeInfoOfGuid(*m.Interface, &dispatchView), S_OK);
    ASSERT_EQ(dispatchView->GetRefTypeOfImplType(-1, &ref), S_OK);
    ASSERT_EQ(dispatchView->GetRefTypeInfo(ref, &info), S_OK);
    dispatchView->Release();
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    constexpr WORD Flags =
        TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
    EXPECT_EQ(attr->wTypeFlags & Flags, Flags);
    info->ReleaseTypeAttr(attr);

    FUNCDESC* desc = nullptr;
    ASSERT_EQ(info->GetFuncDesc(m.Slot, &desc), S_OK);
    BSTR names[8] = {}, help = nullptr;
    UINT count = 0;
    ASSERT_EQ(info->GetNames(desc->memid, names, 8, &count), S_OK);
    std::vector<std::wstring> parameters(names + 1, names + count);
    EXPECT_STREQ(names[0], m.Name);
    EXPECT_EQ(parameters, m.ParameterNames);
    ASSERT_EQ(info->GetDocumentation(desc->memid, nullptr, &help, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::wstring(help),
              (m.Kind == INVOKE_FUNC ? L"method " : L"property ") + std::wstring(m.Name));
    for (UINT i = 0; i < count; ++i) SysFreeString(names[i]);
    SysFreeString(help);
    info->ReleaseFuncDesc(desc);
    info->Release();
  }
  lib->Release();
}

}  // namespace
}  // namespace orvo::test
