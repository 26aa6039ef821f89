// The automation shell of the PLC trainer.
#include "devices/plc/Plc.h"
#include "platform/Registry.h"
#include "server/objects/DeviceShell.h"
#include "server/objects/ModulePlatform.h"
#include "server/objects/Objects.h"

namespace orvo {
namespace {

class CPlcObject : public CDeviceShell<CPlcObject, IPlc, &IID_IPlc, &CLSID_Plc> {
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
  HRESULT STDMETHODCALLTYPE SetAddress(short address, short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.SetAddress(address); });
  }
  HRESULT STDMETHODCALLTYPE HuntPort(short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.HuntPort(); });
  }
  HRESULT STDMETHODCALLTYPE CheckComm(short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.CheckComm(); });
  }
  HRESULT STDMETHODCALLTYPE StartCai(short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.StartCai(); });
  }
  HRESULT STDMETHODCALLTYPE EndCai(short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.EndCai(); });
  }
  HRESULT STDMETHODCALLTYPE ReadMain(short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.ReadMain(); });
  }
  HRESULT STDMETHODCALLTYPE ReadExternal(short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.ReadExternal(); });
  }
  HRESULT STDMETHODCALLTYPE SetProcess(short process, short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.SetProcess(process); });
  }
  HRESULT STDMETHODCALLTYPE ClearFaults(short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.ClearFaults(); });
  }
  HRESULT STDMETHODCALLTYPE SendFaults(BSTR faults, short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.SendFaults(TextOf(faults)); });
  }
  HRESULT STDMETHODCALLTYPE SetSelector(short selector, short* pStatus) override {
    return ReportResult(pStatus, [&] { return Device.SetSelector(selector); });
  }

 private:
  CPlc Device{ModulePlatform(), SystemRegistry()};
};

}  // namespace

HRESULT CreatePlcObject(IUnknown* outer, REFIID iid, void** object) {
  return CPlcObject::CreateObject(outer, iid, object);
}

}  // namespace orvo
