// The automation objects' COM frame under Wine: identity, aggregation,
// safety, site, the type library hosts read, dispatch from it and the
// module lock. The objects are created through their instance creators; the type
// library is this program's own TYPELIB resource, registered at start.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OrvoTrainer_h.h"
#include "server/frame/Com.h"
#include "server/module/Module.h"
#include "server/objects/Objects.h"

namespace orvo {
namespace {

COrvoTrainerModule module;

using Creator = HRESULT (*)(IUnknown*, REFIID, void**);

// A German system's locale: the library is registered under its own, 0x0409,
// and late-bound calls must still find it.
constexpr LCID Locale = 0x0407;

struct ClassRow {
  const char* Name;
  Creator Create;
  const IID* Dual;
  const IID* OtherDual;  // another class's interface, which must be refused
};

const ClassRow Classes[] = {
    {"Echo", CreateEchoObject, &IID_IEcho, &IID_IPlc},
    {"Plc", CreatePlcObject, &IID_IPlc, &IID_IFault},
    {"Fault", CreateFaultObject, &IID_IFault, &IID_IEcho},
};

// An IUnknown that only counts, standing in for an outer object or a site.
// As an outer object it answers IUnknown itself and passes everything else
// to the aggregate's own unknown, as a real aggregator does.
class CountingUnknown : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override {
    ++Queries;
    if (IsEqualIID(iid, IID_IUnknown)) {
      *result = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    if (Inner) return Inner->QueryInterface(iid, result);
    *result = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++Count; }
  ULONG STDMETHODCALLTYPE Release() override { return --Count; }
  ULONG Count = 1;
  int Queries = 0;
  IUnknown* Inner = nullptr;
};

template <class I>
I* Query(IUnknown* object, REFIID iid) {
  void* result = nullptr;
  return SUCCEEDED(object->QueryInterface(iid, &result)) ? static_cast<I*>(result) : nullptr;
}

LONG Locks() { return module.ModuleLockCount(); }

class Objects : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { CoInitialize(nullptr); }

  // This program's own TYPELIB resource, registered (or not) for the machine.
  static void RegisterTypeLibrary(bool registered) {
    constexpr SYSKIND System = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
    UnRegisterTypeLib(LIBID_OrvoTrainerLib, 1, 6, 0x0409, System);
    if (!registered) return;
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadTypeLibEx(path, REGKIND_REGISTER, &library), S_OK);
    library->Release();
  }
};

TEST_F(Objects, QueryInterfaceIdentityAndRefusals) {
  enum Answer { Identity, OwnPointer, Refused };
  for (const ClassRow& row : Classes) {
    SCOPED_TRACE(row.Name);
    void* refused = &refused;
    EXPECT_EQ(row.Create(nullptr, IID_IClassFactory, &refused), E_NOINTERFACE);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(Locks(), 0) << "an object refused at creation is destroyed at once";
    IUnknown* object = nullptr;
    ASSERT_EQ(row.Create(nullptr, *row.Dual, reinterpret_cast<void**>(&object)), S_OK);
    EXPECT_EQ(Locks(), 1);
    const struct {
      const IID* Iid;
      Answer Expected;
    } cases[] = {{&IID_IUnknown, Identity},
                 {&IID_IDispatch, Identity},
                 {row.Dual, Identity},
                 {&IID_IObjectWithSite, OwnPointer},
                 {&IID_IObjectSafety, OwnPointer},
                 {&IID_IClassFactory, Refused},
                 {&IID_IPersist, Refused},
                 {row.OtherDual, Refused}};
    for (const auto& c : cases) {
      void* result = object;
      const HRESULT hr = object->QueryInterface(*c.Iid, &result);
      if (c.Expected == Refused) {
        EXPECT_EQ(hr, E_NOINTERFACE);
        EXPECT_EQ(result, nullptr);
        continue;
      }
      ASSERT_EQ(hr, S_OK);
      auto* found = static_cast<IUnknown*>(result);
      if (c.Expected == Identity) {
        EXPECT_EQ(found, object);
      }
      if (c.Expected == OwnPointer) {
        EXPECT_NE(found, object);
        IUnknown* back = Query<IUnknown>(found, IID_IUnknown);
        EXPECT_EQ(back, object) << "every interface leads back to the identity";
        back->Release();
      }
      found->Release();
    }
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(Locks(), 0);
  }
}

TEST_F(Objects, AggregateDelegatesToItsOuterObject) {
  for (const ClassRow& row : Classes) {
    SCOPED_TRACE(row.Name);
    CountingUnknown outer;
    EXPECT_EQ(row.Create(&outer, IID_IUnknown, nullptr), E_POINTER);
    void* refused = &outer;
    EXPECT_EQ(row.Create(&outer, *row.Dual, &refused), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(refused, nullptr);
    EXPECT_EQ(Locks(), 0) << "a refused object keeps no module lock";

    IUnknown* inner = nullptr;
    ASSERT_EQ(row.Create(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
    outer.Inner = inner;
    EXPECT_EQ(Locks(), 1);
    EXPECT_EQ(outer.Count, 1u) << "creating the aggregate takes no outer reference";

    auto* dual = Query<IDispatch>(inner, *row.Dual);
    ASSERT_NE(dual, nullptr);
    EXPECT_EQ(outer.Count, 2u) << "the contained interface counts on the outer object";
    IUnknown* identity = Query<IUnknown>(dual, IID_IUnknown);
    EXPECT_EQ(identity, &outer) << "the contained object's identity is the outer object";
    identity->Release();
    const int queries = outer.Queries;
    IObjectSafety* safety = Query<IObjectSafety>(dual, IID_IObjectSafety);
    ASSERT_NE(safety, nullptr);
    EXPECT_GT(outer.Queries, queries) << "QueryInterface went through the outer object";
    // The safety check asks the outer object, which knows the whole aggregate.
    DWORD supported = 0, enabled = 0;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IUnknown, &supported, &enabled), S_OK);
    safety->Release();
    dual->Release();
    EXPECT_EQ(outer.Count, 1u);

    void* none = nullptr;
    EXPECT_EQ(inner->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    IUnknown* self = Query<IUnknown>(inner, IID_IUnknown);
    EXPECT_EQ(self, inner) << "the aggregate's own unknown answers IUnknown with itself";
    self->Release();
    EXPECT_EQ(inner->Release(), 0u);
    EXPECT_EQ(Locks(), 0);
  }
}

TEST_F(Objects, SafetyOptionsAreOneSetPerObject) {
  constexpr DWORD Unset = 0xFFFFFFFF;
  for (const ClassRow& row : Classes) {
    SCOPED_TRACE(row.Name);
    IObjectSafety* safety = nullptr;
    ASSERT_EQ(row.Create(nullptr, IID_IObjectSafety, reinterpret_cast<void**>(&safety)), S_OK);
    // Each step sets (when Mask is not Unset), then reads through another
    // interface identifier.
    const struct {
      const IID* SetIid;
      DWORD Mask, Options;
      HRESULT SetResult;
      const IID* GetIid;
      HRESULT GetResult;
      DWORD Supported, Enabled;
    } steps[] = {
        {nullptr, Unset, 0, S_OK, &IID_IDispatch, S_OK, 3, 0},
        {&IID_IDispatch, 1, 1, S_OK, row.Dual, S_OK, 3, 1},
        {&IID_IDispatch, 4, 4, E_FAIL, &IID_IObjectWithSite, S_OK, 3, 1},
        {&IID_IDispatch, 5, 5, E_FAIL, &IID_IUnknown, S_OK, 3, 1},
        {row.Dual, 3, 2, S_OK, &IID_IObjectSafety, S_OK, 3, 2},
        {&IID_IDispatch, 2, 0, S_OK, &IID_IDispatch, S_OK, 3, 0},
        {&IID_IClassFactory, 1, 1, E_NOINTERFACE, &IID_IClassFactory, E_NOINTERFACE, 0, 0},
    };
    for (const auto& s : steps) {
      if (s.Mask != Unset) {
        EXPECT_EQ(safety->SetInterfaceSafetyOptions(*s.SetIid, s.Mask, s.Options), s.SetResult);
      }
      DWORD supported = Unset, enabled = Unset;
      EXPECT_EQ(safety->GetInterfaceSafetyOptions(*s.GetIid, &supported, &enabled), s.GetResult);
      EXPECT_EQ(supported, s.Supported);
      EXPECT_EQ(enabled, s.Enabled);
    }
    DWORD value = 0;
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &value), E_POINTER);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &value, nullptr), E_POINTER);
    safety->Release();
  }
}

TEST_F(Objects, SiteIsHeldWithOneReferenceUntilDropped) {
  for (const ClassRow& row : Classes) {
    SCOPED_TRACE(row.Name);
    IObjectWithSite* withSite = nullptr;
    ASSERT_EQ(row.Create(nullptr, IID_IObjectWithSite, reinterpret_cast<void**>(&withSite)), S_OK);
    CountingUnknown site, other;
    void* result = &site;
    EXPECT_EQ(withSite->GetSite(IID_IUnknown, &result), E_FAIL);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(withSite->GetSite(IID_IUnknown, nullptr), E_POINTER);

    EXPECT_EQ(withSite->SetSite(&site), S_OK);
    EXPECT_EQ(withSite->SetSite(&site), S_OK);
    EXPECT_EQ(site.Count, 2u) << "setting the same site again takes no second reference";
    EXPECT_EQ(withSite->GetSite(IID_IUnknown, &result), S_OK);
    EXPECT_EQ(result, &site);
    site.Release();
    EXPECT_EQ(withSite->GetSite(IID_IDispatch, &result), E_NOINTERFACE);

    EXPECT_EQ(withSite->SetSite(&other), S_OK);
    EXPECT_EQ(site.Count, 1u) << "a replaced site is released";
    EXPECT_EQ(withSite->SetSite(nullptr), S_OK);
    EXPECT_EQ(other.Count, 1u) << "a null site drops the stored one";
    EXPECT_EQ(withSite->SetSite(&site), S_OK);
    withSite->Release();
    EXPECT_EQ(site.Count, 1u) << "the dying object releases its site";
    EXPECT_EQ(Locks(), 0);
  }
}

// One member of a dual interface as the type library must record it, in
// slot order. Params: one letter per parameter, 'i' in, 'n' no flag,
// 'r' out and retval. Names, where given: the parameter names GetNames
// reports, which for a property put are those of its get.
struct MemberRow {
  const wchar_t* Name;
  DISPID Id;
  INVOKEKIND Kind;
  const char* Params;
  std::vector<std::wstring> Names = {};
};
constexpr INVOKEKIND Get = INVOKE_PROPERTYGET, Put = INVOKE_PROPERTYPUT, Call = INVOKE_FUNC;

// clang-format off
const std::vector<MemberRow> EchoMembers = {
    {L"Port", 13, Get, "r"}, {L"Port", 13, Put, "i"}, {L"Address", 1, Get, "r"},
    {L"Address", 1, Put, "i", {L"pVal"}}, {L"Model", 37, Get, "r"}, {L"SubModel", 39, Get, "r"},
    {L"Version", 38, Get, "r", {L"pVal"}}, {L"Neg", 14, Get, "r"}, {L"Pos", 15, Get, "r"},
    {L"AC1", 16, Get, "r"}, {L"DC1", 17, Get, "r"}, {L"AC2", 18, Get, "r"}, {L"DC2", 19, Get, "r"},
    {L"SP3", 20, Get, "r"}, {L"AC3", 34, Get, "r"}, {L"DC3", 21, Get, "r"}, {L"Channel", 28, Get, "r"},
    {L"SetAddress", 8, Call, "ir"}, {L"HuntPort", 2, Call, "r"}, {L"CheckComm", 22, Call, "r"},
    {L"CheckCommEx", 35, Call, "r"}, {L"ReadModel", 36, Call, "r"}, {L"StartCai", 5, Call, "r"},
    {L"EndCai", 9, Call, "r"}, {L"SetVoltages", 10, Call, "iir"}, {L"SetSwitches", 11, Call, "ir"},
    {L"SetSwitchesEx", 32, Call, "ir"},
    {L"ChangeSwitch", 12, Call, "iir", {L"switchx", L"value", L"pStatus"}},
    {L"ChangeSwitchEx", 33, Call, "iir"}, {L"SendFaults", 7, Call, "ir"},
    {L"SetStudentControl", 23, Call, "iir"}, {L"SetWarning", 24, Call, "ir"}, {L"SetAux", 31, Call, "ir"},
    {L"SetBncs", 25, Call, "nnr", {L"input", L"output", L"pStatus"}},
    {L"SetSpeaker", 26, Call, "ir"}, {L"ReadChannel", 27, Call, "iir"},
};
const std::vector<MemberRow> PlcMembers = {
    {L"Port", 1, Get, "r"}, {L"Port", 1, Put, "i"}, {L"Address", 2, Get, "r"}, {L"Address", 2, Put, "i"},
    {L"DC", 3, Get, "r"}, {L"Monitor", 4, Get, "r"}, {L"Selector", 5, Get, "r"}, {L"Voltage", 6, Get, "r"},
    {L"PC1", 7, Get, "r"}, {L"PC2", 8, Get, "r"}, {L"SetAddress", 9, Call, "nr"},
    {L"HuntPort", 10, Call, "r"}, {L"CheckComm", 11, Call, "r"}, {L"StartCai", 12, Call, "r"},
    {L"EndCai", 13, Call, "r"}, {L"ReadMain", 14, Call, "r"}, {L"ReadExternal", 15, Call, "r"},
    {L"SetProcess", 16, Call, "nr"}, {L"ClearFaults", 17, Call, "r"},
    {L"SendFaults", 18, Call, "nr", {L"faults", L"pStatus"}}, {L"SetSelector", 19, Call, "ir"},
};
const std::vector<MemberRow> FaultMembers = {
    {L"Port", 1, Get, "r"}, {L"Port", 1, Put, "i"}, {L"Address", 2, Get, "r"}, {L"Address", 2, Put, "i"},
    {L"HuntPort", 3, Call, "r"}, {L"CheckComm", 4, Call, "r"},
    {L"SetAddress", 5, Call, "nr", {L"Address", L"pStatus"}}, {L"StartCai", 6, Call, "r"},
    {L"EndCai", 7, Call, "r"}, {L"ClearFaults", 8, Call, "r"},
    {L"SendFaults", 9, Call, "ir", {L"__MIDL__IFault0000", L"pStatus"}},
};
// clang-format on

USHORT FlagsOf(char letter) {
  if (letter == 'i') return PARAMFLAG_FIN;
  return letter == 'r' ? PARAMFLAG_FOUT | PARAMFLAG_FRETVAL : PARAMFLAG_NONE;
}

TEST_F(Objects, DispatchFollowsTheRegisteredTypeLibrary) {
  // Without a registered library late-bound calls fail with the load's own
  // result, and nothing is cached: they succeed once it is registered.
  RegisterTypeLibrary(false);
  for (const ClassRow& row : Classes) {
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(row.Create(nullptr, IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
    LPOLESTR name = const_cast<LPOLESTR>(L"Port");
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, Locale, &id), TYPE_E_LIBNOTREGISTERED);
    ITypeInfo* typeInfo = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(dispatch->GetTypeInfo(0, Locale, &typeInfo), TYPE_E_LIBNOTREGISTERED);
    EXPECT_EQ(typeInfo, nullptr);
    dispatch->Release();
  }
  RegisterTypeLibrary(true);

  const std::vector<MemberRow>* members[] = {&EchoMembers, &PlcMembers, &FaultMembers};
  for (int c = 0; c < 3; ++c) {
    const ClassRow& row = Classes[c];
    SCOPED_TRACE(row.Name);
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(row.Create(nullptr, IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
    ITypeInfo* typeInfo = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(dispatch->GetTypeInfo(1, Locale, &typeInfo), DISP_E_BADINDEX);
    EXPECT_EQ(dispatch->GetTypeInfo(0, Locale, nullptr), E_POINTER);
    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(dispatch->GetTypeInfoCount(nullptr), E_POINTER);
    ASSERT_EQ(dispatch->GetTypeInfo(0, Locale, &typeInfo), S_OK);

    ITypeLib* library = nullptr;
    UINT index = 0;
    ASSERT_EQ(typeInfo->GetContainingTypeLib(&library, &index), S_OK);
    TLIBATTR* libraryAttributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&libraryAttributes), S_OK);
    EXPECT_EQ(libraryAttributes->guid, LIBID_OrvoTrainerLib);
    EXPECT_EQ(libraryAttributes->wMajorVerNum * 100 + libraryAttributes->wMinorVerNum, 106);
    EXPECT_EQ(libraryAttributes->lcid, 0x0409u);
    EXPECT_EQ(libraryAttributes->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
    library->ReleaseTLibAttr(libraryAttributes);
    library->Release();
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(typeInfo->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, *row.Dual);
    EXPECT_EQ(attributes->typekind, TKIND_DISPATCH) << "the dual interface's dispatch view";
    typeInfo->ReleaseTypeAttr(attributes);
    // The vtable view holds the slots early-bound callers use.
    HREFTYPE vtableRef = 0;
    ITypeInfo* vtable = nullptr;
    ASSERT_EQ(typeInfo->GetRefTypeOfImplType(-1, &vtableRef), S_OK);
    ASSERT_EQ(typeInfo->GetRefTypeInfo(vtableRef, &vtable), S_OK);
    ASSERT_EQ(vtable->GetTypeAttr(&attributes), S_OK);
    constexpr WORD Flags =
        TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FDISPATCHABLE;
    EXPECT_EQ(attributes->wTypeFlags & Flags, Flags);
    ASSERT_EQ(attributes->cFuncs, members[c]->size());
    vtable->ReleaseTypeAttr(attributes);

    for (UINT i = 0; i < members[c]->size(); ++i) {
      const MemberRow& member = (*members[c])[i];
      SCOPED_TRACE(testing::Message() << "slot " << 7 + i);
      FUNCDESC* function = nullptr;
      ASSERT_EQ(vtable->GetFuncDesc(i, &function), S_OK);
      EXPECT_EQ(function->memid, member.Id);
      EXPECT_EQ(function->invkind, member.Kind);
      EXPECT_EQ(function->oVft, static_cast<SHORT>((7 + i) * sizeof(void*)));
      const std::string params = member.Params;
      ASSERT_EQ(function->cParams, static_cast<SHORT>(params.size()));
      for (size_t p = 0; p < params.size(); ++p)
        EXPECT_EQ(function->lprgelemdescParam[p].paramdesc.wParamFlags, FlagsOf(params[p]))
            << "parameter " << p;
      vtable->ReleaseFuncDesc(function);
      // What hosts show: the help string, and the parameter names.
      BSTR names[8] = {}, help = nullptr;
      UINT count = 0;
      ASSERT_EQ(vtable->GetNames(member.Id, names, 8, &count), S_OK);
      ASSERT_EQ(vtable->GetDocumentation(member.Id, nullptr, &help, nullptr, nullptr), S_OK);
      EXPECT_STREQ(names[0], member.Name);
      if (!member.Names.empty()) {
        EXPECT_EQ(std::vector<std::wstring>(names + 1, names + count), member.Names);
      }
      EXPECT_EQ(std::wstring(help),
                (member.Kind == Call ? L"method " : L"property ") + std::wstring(member.Name));
      for (UINT n = 0; n < count; ++n) SysFreeString(names[n]);
      SysFreeString(help);

      // The name reaches the same DISPID through the object.
      LPOLESTR name = const_cast<LPOLESTR>(member.Name);
      DISPID id = -2;
      EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, Locale, &id), S_OK);
      EXPECT_EQ(id, member.Id);
    }
    vtable->Release();

    // Names the fast path does not answer go to the type information.
    const std::vector<std::vector<const wchar_t*>> lookups = {
        {L"PORT"}, {L"port"}, {L"SetAddress", L"Address"}, {L"NoSuchMember"}, {L""}};
    for (const auto& names : lookups) {
      std::vector<LPOLESTR> asked;
      for (const wchar_t* n : names) asked.push_back(const_cast<LPOLESTR>(n));
      std::vector<DISPID> viaObject(names.size(), -2), viaTypeInfo(names.size(), -2);
      const UINT n = static_cast<UINT>(asked.size());
      EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, asked.data(), n, Locale, viaObject.data()),
                typeInfo->GetIDsOfNames(asked.data(), n, viaTypeInfo.data()));
      EXPECT_EQ(viaObject, viaTypeInfo);
    }
    typeInfo->Release();
    dispatch->Release();
  }
  EXPECT_EQ(Locks(), 0);
}

// A put takes its value and nothing else: o.Address(1) = 9, an index the
// property does not have, is refused and leaves the value alone. Wine's
// type-library dispatch alone would drop the index and report success.
TEST_F(Objects, PutWithMoreThanItsValueIsRefused) {
  RegisterTypeLibrary(true);
  for (const ClassRow& row : Classes) {
    SCOPED_TRACE(row.Name);
    IDispatch* dispatch = nullptr;
    ASSERT_EQ(row.Create(nullptr, IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
    LPOLESTR name = const_cast<LPOLESTR>(L"Address");
    DISPID id = 0;
    ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, Locale, &id), S_OK);
    const struct {
      UINT Count;  // the value (named DISPID_PROPERTYPUT) first, then indexes
      HRESULT Expected;
      short Address;  // afterwards
    } cases[] = {{1, S_OK, 7}, {2, DISP_E_BADPARAMCOUNT, 7}, {3, DISP_E_BADPARAMCOUNT, 7}};
    for (const auto& c : cases) {
      SCOPED_TRACE(c.Count);
      VARIANT arguments[3];
      for (UINT i = 0; i < 3; ++i) {
        VariantInit(&arguments[i]);
        arguments[i].vt = VT_I2;
        arguments[i].iVal = static_cast<short>(i == 0 && c.Count == 1 ? 7 : 9 - i);
      }
      DISPID put = DISPID_PROPERTYPUT;
      DISPPARAMS parameters{arguments, &put, c.Count, 1};
      EXPECT_EQ(dispatch->Invoke(id, IID_NULL, Locale, DISPATCH_PROPERTYPUT, &parameters, nullptr,
                                 nullptr, nullptr),
                c.Expected);
      DISPPARAMS none{nullptr, nullptr, 0, 0};
      VARIANT value;
      VariantInit(&value);
      ASSERT_EQ(dispatch->Invoke(id, IID_NULL, Locale, DISPATCH_PROPERTYGET, &none, &value, nullptr,
                                 nullptr),
                S_OK);
      EXPECT_EQ(value.vt, VT_I2);
      EXPECT_EQ(value.iVal, c.Address);
    }
    dispatch->Release();
  }
  EXPECT_EQ(Locks(), 0);
}

// A null out-pointer is refused before the device is asked anything; with
// no unit anywhere a call that did reach the device would take seconds.
TEST_F(Objects, NullOutPointersAreRefusedAtOnce) {
  IEcho* echo = nullptr;
  ASSERT_EQ(CreateEchoObject(nullptr, IID_IEcho, reinterpret_cast<void**>(&echo)), S_OK);
  IPlc* plc = nullptr;
  ASSERT_EQ(CreatePlcObject(nullptr, IID_IPlc, reinterpret_cast<void**>(&plc)), S_OK);
  IFault* fault = nullptr;
  ASSERT_EQ(CreateFaultObject(nullptr, IID_IFault, reinterpret_cast<void**>(&fault)), S_OK);
  BSTR list = SysAllocString(L"AC1");
  const DWORD start = GetTickCount();
  const HRESULT results[] = {echo->get_Port(nullptr),          echo->get_Version(nullptr),
                             echo->get_Channel(nullptr),       echo->HuntPort(nullptr),
                             echo->SetAddress(3, nullptr),     echo->SetSwitches(list, nullptr),
                             echo->ReadChannel(1, 2, nullptr), plc->get_PC2(nullptr),
                             plc->ReadMain(nullptr),           plc->SendFaults(list, nullptr),
                             fault->get_Address(nullptr),      fault->CheckComm(nullptr),
                             fault->SendFaults(list, nullptr)};
  for (HRESULT hr : results) EXPECT_EQ(hr, E_POINTER);
  EXPECT_LT(GetTickCount() - start, 500u);

  BSTR version = nullptr;
  EXPECT_EQ(echo->get_Version(&version), S_OK);
  ASSERT_NE(version, nullptr) << "an empty version is an empty string, not a null one";
  EXPECT_EQ(SysStringLen(version), 0u);
  SysFreeString(version);
  SysFreeString(list);
  echo->Release();
  plc->Release();
  fault->Release();
  EXPECT_EQ(Locks(), 0);
}

}  // namespace
}  // namespace orvo
