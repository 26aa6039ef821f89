// The automation shell of the PLC trainer.
#include "devices/plc/Plc.h"
#include "server/objects/DeviceShell.h"
#include "server/objects/Objects.h"

namespace orvo {
namespace {

class CPlcObject : public CDeviceShell<CPlcObject, IPlc, &IID_IPlc, &CLSID_Plc, CPlc> {
 public:
  HRESULT STDMETHODCALLTYPE get_DC(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_DC(); });
  }
  HRESULT STDMETHODCALLTYPE get_Monitor(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_Monitor(); });
  }
  HRESULT STDMETHODCALLTYPE get_Selector(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_Selector(); });
  }
  HRESULT STDMETHODCALLTYPE get_Voltage(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_Voltage(); });
  }
  HRESULT STDMETHODCALLTYPE get_PC1(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_PC1(); });
  }
  HRESULT STDMETHODCALLTYPE get_PC2(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_PC2(); });
  }
  HRESULT STDMETHODCALLTYPE ReadMain(short* pStatus) override {
    return Status(pStatus, &CPlc::ReadMain);
  }
  HRESULT STDMETHODCALLTYPE ReadExternal(short* pStatus) override {
    return Status(pStatus, &CPlc::ReadExternal);
  }
  HRESULT STDMETHODCALLTYPE SetProcess(short process, short* pStatus) override {
    return Status(pStatus, &CPlc::SetProcess, process);
  }
  HRESULT STDMETHODCALLTYPE ClearFaults(short* pStatus) override {
    return Status(pStatus, &CPlc::ClearFaults);
  }
  HRESULT STDMETHODCALLTYPE SetSelector(short selector, short* pStatus) override {
    return Status(pStatus, &CPlc::SetSelector, selector);
  }
};

}  // namespace

HRESULT CreatePlcObject(IUnknown* outer, REFIID iid, void** object) {
  return CPlcObject::CreateObject(outer, iid, object);
}

}  // namespace orvo
