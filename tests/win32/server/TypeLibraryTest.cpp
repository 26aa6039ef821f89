// The type library embedded in OrvoTrainer.dll: the attributes and the
// parameter details that hosts see and that an IDL slip would change
// silently (directions, retval, names, help strings). DISPIDs and slot order
// are checked through the objects themselves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OrvoTrainer_h.h"
#include "server/dll/Com.h"

namespace orvo::test {
namespace {

std::wstring BuiltDll() {
  std::wstring path = L"Z:";
  for (const char* c = ORVO_DLL_PATH; *c; ++c) path += *c == '/' ? L'\\' : wchar_t(*c);
  return path;
}

class TypeLibrary : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(LoadTypeLibEx(BuiltDll().c_str(), REGKIND_NONE, &lib_), S_OK); }
  void TearDown() override {
    if (lib_) lib_->Release();
  }
  ITypeLib* lib_ = nullptr;
};

TEST_F(TypeLibrary, NamesItselfAndItsClasses) {
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(lib_->GetLibAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, LIBID_OrvoTrainerLib));
  EXPECT_EQ(attributes->wMajorVerNum, 1);
  EXPECT_EQ(attributes->wMinorVerNum, 6);
  EXPECT_EQ(attributes->lcid, 0x0409u);
  EXPECT_EQ(attributes->syskind, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  lib_->ReleaseTLibAttr(attributes);

  BSTR name = nullptr, help = nullptr, helpFile = nullptr;
  ASSERT_EQ(lib_->GetDocumentation(-1, &name, &help, nullptr, &helpFile), S_OK);
  EXPECT_STREQ(name, L"OrvoTrainerLib");
  EXPECT_EQ(help, nullptr);
  EXPECT_EQ(helpFile, nullptr);
  SysFreeString(name);
  SysFreeString(help);
  SysFreeString(helpFile);

  const struct {
    const CLSID* Clsid;
    const IID* DefaultInterface;
  } classes[] = {{&CLSID_Echo, &IID_IEcho}, {&CLSID_Plc, &IID_IPlc}, {&CLSID_Fault, &IID_IFault}};
  for (const auto& c : classes) {
    ITypeInfo* info = nullptr;
    ASSERT_EQ(lib_->GetTypeInfoOfGuid(*c.Clsid, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCANCREATE);
    EXPECT_EQ(attr->cImplTypes, 1);
    info->ReleaseTypeAttr(attr);
    INT flags = 0;
    HREFTYPE ref = 0;
    ITypeInfo* implemented = nullptr;
    EXPECT_EQ(info->GetImplTypeFlags(0, &flags), S_OK);
    EXPECT_EQ(flags, IMPLTYPEFLAG_FDEFAULT);
    ASSERT_EQ(info->GetRefTypeOfImplType(0, &ref), S_OK);
    ASSERT_EQ(info->GetRefTypeInfo(ref, &implemented), S_OK);
    ASSERT_EQ(implemented->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, *c.DefaultInterface));
    implemented->ReleaseTypeAttr(attr);
    implemented->Release();
    info->Release();
  }
}

// One member of an interface's vtable view, by slot after IDispatch's.
struct Member {
  const IID* Interface;
  unsigned Slot;
  const wchar_t* Name;
  INVOKEKIND Kind;
  const wchar_t* Help;
  // As GetNames reports them. It looks members up by DISPID, so a property
  // put shows the names of its get.
  std::vector<std::wstring> ParameterNames;
  std::vector<USHORT> ParameterFlags;
  std::vector<VARTYPE> ParameterTypes;  // VT_PTR stands for an out-pointer
};

constexpr USHORT In = PARAMFLAG_FIN;
constexpr USHORT OutRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
constexpr USHORT NoFlag = PARAMFLAG_NONE;

TEST_F(TypeLibrary, RecordsEachInterfacesParametersAsHostsExpect) {
  const Member members[] = {
      {&IID_IEcho,
       0,
       L"Port",
       INVOKE_PROPERTYGET,
       L"property Port",
       {L"pVal"},
       {OutRetval},
       {VT_PTR}},
      {&IID_IEcho,
       3,
       L"Address",
       INVOKE_PROPERTYPUT,
       L"property Address",
       {L"pVal"},
       {In},
       {VT_I2}},
      {&IID_IEcho,
       6,
       L"Version",
       INVOKE_PROPERTYGET,
       L"property Version",
       {L"pVal"},
       {OutRetval},
       {VT_PTR}},
      {&IID_IEcho,
       16,
       L"Channel",
       INVOKE_PROPERTYGET,
       L"property Channel",
       {L"pVal"},
       {OutRetval},
       {VT_PTR}},
      {&IID_IEcho,
       27,
       L"ChangeSwitch",
       INVOKE_FUNC,
       L"method ChangeSwitch",
       {L"switchx", L"value", L"pStatus"},
       {In, In, OutRetval},
       {VT_BSTR, VT_I2, VT_PTR}},
      {&IID_IEcho,
       33,
       L"SetBncs",
       INVOKE_FUNC,
       L"method SetBncs",
       {L"input", L"output", L"pStatus"},
       {NoFlag, NoFlag, OutRetval},
       {VT_I2, VT_I2, VT_PTR}},
      {&IID_IEcho,
       35,
       L"ReadChannel",
       INVOKE_FUNC,
       L"method ReadChannel",
       {L"pc", L"Channel", L"pStatus"},
       {In, In, OutRetval},
       {VT_I2, VT_I2, VT_PTR}},
      {&IID_IPlc,
       10,
       L"SetAddress",
       INVOKE_FUNC,
       L"method SetAddress",
       {L"Address", L"pStatus"},
       {NoFlag, OutRetval},
       {VT_I2, VT_PTR}},
      {&IID_IPlc,
       17,
       L"SetProcess",
       INVOKE_FUNC,
       L"method SetProcess",
       {L"process", L"pStatus"},
       {NoFlag, OutRetval},
       {VT_I2, VT_PTR}},
      {&IID_IPlc,
       19,
       L"SendFaults",
       INVOKE_FUNC,
       L"method SendFaults",
       {L"faults", L"pStatus"},
       {NoFlag, OutRetval},
       {VT_BSTR, VT_PTR}},
      {&IID_IPlc,
       20,
       L"SetSelector",
       INVOKE_FUNC,
       L"method SetSelector",
       {L"Selector", L"pStatus"},
       {In, OutRetval},
       {VT_I2, VT_PTR}},
      {&IID_IFault,
       6,
       L"SetAddress",
       INVOKE_FUNC,
       L"method SetAddress",
       {L"Address", L"pStatus"},
       {NoFlag, OutRetval},
       {VT_I2, VT_PTR}},
      {&IID_IFault,
       10,
       L"SendFaults",
       INVOKE_FUNC,
       L"method SendFaults",
       {L"__MIDL__IFault0000", L"pStatus"},
       {In, OutRetval},
       {VT_BSTR, VT_PTR}},
  };
  for (const Member& m : members) {
    SCOPED_TRACE(testing::Message()
                 << std::string(m.Name, m.Name + wcslen(m.Name)) << " slot " << m.Slot);
    ITypeInfo* dispatchView = nullptr;
    ASSERT_EQ(lib_->GetTypeInfoOfGuid(*m.Interface, &dispatchView), S_OK);
    // The vtable view lists the interface's own members from slot 0.
    HREFTYPE ref = 0;
    ITypeInfo* info = nullptr;
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
    EXPECT_EQ(desc->invkind, m.Kind);
    EXPECT_EQ(desc->elemdescFunc.tdesc.vt, VT_HRESULT);
    ASSERT_EQ(static_cast<size_t>(desc->cParams), m.ParameterFlags.size());
    for (size_t i = 0; i < m.ParameterFlags.size(); ++i) {
      EXPECT_EQ(desc->lprgelemdescParam[i].paramdesc.wParamFlags, m.ParameterFlags[i]) << i;
      EXPECT_EQ(desc->lprgelemdescParam[i].tdesc.vt, m.ParameterTypes[i]) << i;
    }
    BSTR names[8] = {};
    UINT count = 0;
    ASSERT_EQ(info->GetNames(desc->memid, names, 8, &count), S_OK);
    ASSERT_GE(count, 1u);
    EXPECT_STREQ(names[0], m.Name);
    std::vector<std::wstring> parameters;
    for (UINT i = 1; i < count; ++i) parameters.emplace_back(names[i]);
    for (UINT i = 0; i < count; ++i) SysFreeString(names[i]);
    EXPECT_EQ(parameters, m.ParameterNames);
    BSTR help = nullptr;
    ASSERT_EQ(info->GetDocumentation(desc->memid, nullptr, &help, nullptr, nullptr), S_OK);
    EXPECT_STREQ(help, m.Help);
    SysFreeString(help);
    info->ReleaseFuncDesc(desc);
    info->Release();
  }
}

}  // namespace
}  // namespace orvo::test
