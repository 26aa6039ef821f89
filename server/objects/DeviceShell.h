#pragma once
// The COM bases every device shell has, in the order its early-bound callers
// and the interface map rely on: site, the dual interface with its dispatch,
// safety, the counting root and the class binding.
#include "OrvoTrainer_h.h"
#include "server/frame/Dispatch.h"
#include "server/frame/ObjectRoot.h"
#include "server/frame/SafetyAndSite.h"
#include "server/objects/Shell.h"

namespace orvo {

inline constexpr DWORD DeviceSafetyOptions =
    INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

template <class T, class Dual, const IID* DualIid, const CLSID* Clsid>
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
};

}  // namespace orvo
