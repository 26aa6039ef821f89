// The automation shell of the fault unit.
#include "devices/fault/Fault.h"
#include "server/objects/DeviceShell.h"
#include "server/objects/Objects.h"

namespace orvo {
namespace {

class CFaultObject : public CDeviceShell<CFaultObject, IFault, &IID_IFault, &CLSID_Fault, CFault> {
 public:
  HRESULT STDMETHODCALLTYPE ClearFaults(short* pStatus) override {
    return Status(pStatus, &CFault::ClearFaults);
  }
};

}  // namespace

HRESULT CreateFaultObject(IUnknown* outer, REFIID iid, void** object) {
  return CFaultObject::CreateObject(outer, iid, object);
}

}  // namespace orvo
