// The automation shell of the fault unit.
#include "devices/fault/Fault.h"
#include "platform/Registry.h"
#include "server/objects/DeviceShell.h"
#include "server/objects/ModulePlatform.h"
#include "server/objects/Objects.h"

namespace orvo {
namespace {

class CFaultObject : public CDeviceShell<CFaultObject, IFault, &IID_IFault, &CLSID_Fault> {
 public:
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
  HRESULT STDMETHODCALLTYPE HuntPort(short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.HuntPort(); });
  }
  HRESULT STDMETHODCALLTYPE CheckComm(short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.CheckComm(); });
  }
  HRESULT STDMETHODCALLTYPE SetAddress(short address, short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.SetAddress(address); });
  }
  HRESULT STDMETHODCALLTYPE StartCai(short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.StartCai(); });
  }
  HRESULT STDMETHODCALLTYPE EndCai(short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.EndCai(); });
  }
  HRESULT STDMETHODCALLTYPE ClearFaults(short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.ClearFaults(); });
  }
  HRESULT STDMETHODCALLTYPE SendFaults(BSTR faults, short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.SendFaults(TextOf(faults)); });
  }

 private:
  CFault Device{ModulePlatform(), SystemRegistry()};
};

}  // namespace

HRESULT CreateFaultObject(IUnknown* outer, REFIID iid, void** object) {
  return CFaultObject::CreateObject(outer, iid, object);
}

}  // namespace orvo
