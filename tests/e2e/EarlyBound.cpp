// An early-bound client: the classes created by CLSID from the registry and
// driven through the dual interfaces' slots, with the declarations widl
// generates from the module's IDL. It reports like the script lessons do.
#include <cstdio>

#include "OrvoTrainer_h.h"

namespace {

int failures = 0;

void Check(const char* what, long actual, long expected) {
  if (actual == expected) {
    std::printf("ok   %s = %ld\n", what, actual);
  } else {
    std::printf("FAIL %s = %ld, expected %ld\n", what, actual, expected);
    ++failures;
  }
}

template <class I>
I* Create(REFCLSID clsid, REFIID iid) {
  I* object = nullptr;
  const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                                      reinterpret_cast<void**>(&object));
  Check("CoCreateInstance", hr, S_OK);
  return object;
}

// A status method: S_OK from the slot, the status through the out-pointer.
template <class Call>
long Status(Call&& call) {
  short status = -1;
  if (call(&status) != S_OK) return -2;
  return status;
}

template <class I>
long Get(I* object, HRESULT (STDMETHODCALLTYPE I::*getter)(short*)) {
  short value = -1;
  return (object->*getter)(&value) == S_OK ? value : -2;
}

}  // namespace

int main() {
  CoInitialize(nullptr);
  BSTR switches = SysAllocString(L"AC2,DC3");
  BSTR dc3 = SysAllocString(L"DC3");
  BSTR faults = SysAllocString(L"F4,E12");

  IEcho* echo = Create<IEcho>(CLSID_Echo, IID_IEcho);
  if (echo) {
    Check("Echo SetAddress(31)", Status([&](short* s) { return echo->SetAddress(31, s); }), 61);
    Check("Echo Port", Get(echo, &IEcho::get_Port), 31);
    Check("Echo CheckComm", Status([&](short* s) { return echo->CheckComm(s); }), 61);
    Check("Echo Neg", Get(echo, &IEcho::get_Neg), 12);
    Check("Echo Pos", Get(echo, &IEcho::get_Pos), 15);
    Check("Echo SetSwitches", Status([&](short* s) { return echo->SetSwitches(switches, s); }), 61);
    Check("Echo ChangeSwitch(DC3, 0)",
          Status([&](short* s) { return echo->ChangeSwitch(dc3, 0, s); }), 61);
    Check("Echo ReadChannel(1, 2)", Status([&](short* s) { return echo->ReadChannel(1, 2, s); }),
          61);
    long channel = -1;
    Check("Echo get_Channel", echo->get_Channel(&channel), S_OK);
    Check("Echo Channel", channel, 0xBEEF);
    BSTR version = nullptr;
    Check("Echo ReadModel", Status([&](short* s) { return echo->ReadModel(s); }), 61);
    Check("Echo get_Version", echo->get_Version(&version), S_OK);
    Check("Echo Version is 3.0.255", version && lstrcmpW(version, L"3.0.255") == 0, 1);
    SysFreeString(version);
    Check("Echo get_Port(null)", echo->get_Port(nullptr), E_POINTER);
    echo->Release();
  }

  IPlc* plc = Create<IPlc>(CLSID_Plc, IID_IPlc);
  if (plc) {
    plc->put_Port(32);
    plc->put_Address(32);
    Check("Plc ReadExternal", Status([&](short* s) { return plc->ReadExternal(s); }), 61);
    Check("Plc Voltage", Get(plc, &IPlc::get_Voltage), 24);
    Check("Plc PC2", Get(plc, &IPlc::get_PC2), 1);
    Check("Plc SetSelector(6)", Status([&](short* s) { return plc->SetSelector(6, s); }), 61);
    Check("Plc SendFaults", Status([&](short* s) { return plc->SendFaults(faults, s); }), 61);
    plc->Release();
  }

  IFault* fault = Create<IFault>(CLSID_Fault, IID_IFault);
  if (fault) {
    fault->put_Port(33);
    fault->put_Address(33);
    Check("Fault CheckComm", Status([&](short* s) { return fault->CheckComm(s); }), 61);
    Check("Fault SendFaults", Status([&](short* s) { return fault->SendFaults(faults, s); }), 61);
    Check("Fault SendFaults(null)", Status([&](short* s) { return fault->SendFaults(nullptr, s); }),
          61);
    fault->Release();
  }

  SysFreeString(switches);
  SysFreeString(dc3);
  SysFreeString(faults);
  CoUninitialize();
  if (failures) return 1;
  std::printf("lesson passed\n");
  return 0;
}
