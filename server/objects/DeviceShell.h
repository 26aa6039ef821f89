#pragma once
// The COM bases every device shell has, in the order its early-bound callers
// and the interface map rely on: site, the dual interface with its dispatch,
// safety, the counting root and the class binding; then the device object
// and the members all three interfaces have, which only forward to it.
#include <functional>

#include "OrvoTrainer_h.h"
#include "platform/Registry.h"
#include "server/frame/Dispatch.h"
#include "server/frame/ObjectRoot.h"
#include "server/frame/SafetyAndSite.h"
#include "devices/common/ModulePlatform.h"
#include "server/objects/Shell.h"

namespace orvo {

inline constexpr DWORD DeviceSafetyOptions =
    INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

template <class T, class Dual, const IID* DualIid, const CLSID* Clsid, class DeviceClass>
class CDeviceShell : public IObjectWithSiteImpl<T>,
                     public IDispatchImpl<Dual, DualIid, &LIBID_OrvoTrainerLib, 1, 6>,
                     public IObjectSafetyImpl<T, DeviceSafetyOptions>,
                     public CComObjectRootEx<CComSingleThreadModel>,
                     public CComCoClass<T, Clsid> {
 public:
  // The dual interface comes first: it is the object's identity.
  static const InterfaceMapEntry* InterfaceMap() {
    static const InterfaceMapEntry map[] = {
        {DualIid, &InterfaceOf<T, Dual>},
        {&IID_IDispatch, &InterfaceOf<T, Dual>},
        {&IID_IObjectWithSite, &InterfaceOf<T, IObjectWithSite>},
        {&IID_IObjectSafety, &InterfaceOf<T, IObjectSafety>},
        {nullptr, nullptr}};
    return map;
  }

  HRESULT STDMETHODCALLTYPE get_Port(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_Port(); });
  }
  HRESULT STDMETHODCALLTYPE put_Port(short value) override {
    return Perform([&] { Device.put_Port(value); });
  }
  HRESULT STDMETHODCALLTYPE get_Address(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_Address(); });
  }
  HRESULT STDMETHODCALLTYPE put_Address(short value) override {
    return Perform([&] { Device.put_Address(value); });
  }
  HRESULT STDMETHODCALLTYPE SetAddress(short address, short* pStatus) override {
    return Status(pStatus, &DeviceClass::SetAddress, address);
  }
  HRESULT STDMETHODCALLTYPE HuntPort(short* pStatus) override {
    return Status(pStatus, &DeviceClass::HuntPort);
  }
  HRESULT STDMETHODCALLTYPE CheckComm(short* pStatus) override {
    return Status(pStatus, &DeviceClass::CheckComm);
  }
  HRESULT STDMETHODCALLTYPE StartCai(short* pStatus) override {
    return Status(pStatus, &DeviceClass::StartCai);
  }
  HRESULT STDMETHODCALLTYPE EndCai(short* pStatus) override {
    return Status(pStatus, &DeviceClass::EndCai);
  }
  HRESULT STDMETHODCALLTYPE SendFaults(BSTR faults, short* pStatus) override {
    return Status(pStatus, &DeviceClass::SendFaults, TextOf(faults));
  }

 protected:
  // A device method's status through `pStatus`; strings arrive already cut
  // by TextOf.
  template <class Method, class... Args>
  HRESULT Status(short* pStatus, Method method, const Args&... args) {
    return ReportResult(pStatus, [&] { return std::invoke(method, Device, args...); });
  }

  DeviceClass Device{ModulePlatform(), SystemRegistry()};
};

}  // namespace orvo
