// The automation shell of the trainer console.
#include "devices/echo/Echo.h"
#include "server/objects/DeviceShell.h"
#include "server/objects/Objects.h"

namespace orvo {
namespace {

class CEchoObject : public CDeviceShell<CEchoObject, IEcho, &IID_IEcho, &CLSID_Echo, CEcho> {
 public:
  HRESULT STDMETHODCALLTYPE get_Version(BSTR* pVal) override {
    return ReportText(pVal, Device.get_Version());
  }
  HRESULT STDMETHODCALLTYPE get_Channel(long* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_Channel(); });
  }
  HRESULT STDMETHODCALLTYPE get_Model(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_Model(); });
  }
  HRESULT STDMETHODCALLTYPE get_SubModel(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_SubModel(); });
  }
  HRESULT STDMETHODCALLTYPE get_Neg(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_Neg(); });
  }
  HRESULT STDMETHODCALLTYPE get_Pos(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_Pos(); });
  }
  HRESULT STDMETHODCALLTYPE get_AC1(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_AC1(); });
  }
  HRESULT STDMETHODCALLTYPE get_DC1(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_DC1(); });
  }
  HRESULT STDMETHODCALLTYPE get_AC2(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_AC2(); });
  }
  HRESULT STDMETHODCALLTYPE get_DC2(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_DC2(); });
  }
  HRESULT STDMETHODCALLTYPE get_SP3(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_SP3(); });
  }
  HRESULT STDMETHODCALLTYPE get_AC3(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_AC3(); });
  }
  HRESULT STDMETHODCALLTYPE get_DC3(short* pVal) override {
    return ReportResult(pVal, [&] { return Device.get_DC3(); });
  }
  HRESULT STDMETHODCALLTYPE CheckCommEx(short* pStatus) override {
    return Status(pStatus, &CEcho::CheckCommEx);
  }
  HRESULT STDMETHODCALLTYPE ReadModel(short* pStatus) override {
    return Status(pStatus, &CEcho::ReadModel);
  }
  HRESULT STDMETHODCALLTYPE SetVoltages(short negative, short positive, short* pStatus) override {
    return Status(pStatus, &CEcho::SetVoltages, negative, positive);
  }
  HRESULT STDMETHODCALLTYPE SetSwitches(BSTR switches, short* pStatus) override {
    return Status(pStatus, &CEcho::SetSwitches, TextOf(switches));
  }
  HRESULT STDMETHODCALLTYPE SetSwitchesEx(BSTR switches, short* pStatus) override {
    return Status(pStatus, &CEcho::SetSwitchesEx, TextOf(switches));
  }
  HRESULT STDMETHODCALLTYPE ChangeSwitch(BSTR switchx, short value, short* pStatus) override {
    return Status(pStatus, &CEcho::ChangeSwitch, TextOf(switchx), value);
  }
  HRESULT STDMETHODCALLTYPE ChangeSwitchEx(BSTR switchx, short value, short* pStatus) override {
    return Status(pStatus, &CEcho::ChangeSwitchEx, TextOf(switchx), value);
  }
  HRESULT STDMETHODCALLTYPE SetStudentControl(BSTR keyboard, BSTR faults, short* pStatus) override {
    return Status(pStatus, &CEcho::SetStudentControl, TextOf(keyboard), TextOf(faults));
  }
  HRESULT STDMETHODCALLTYPE SetWarning(BSTR warning, short* pStatus) override {
    return Status(pStatus, &CEcho::SetWarning, TextOf(warning));
  }
  HRESULT STDMETHODCALLTYPE SetAux(short aux, short* pStatus) override {
    return Status(pStatus, &CEcho::SetAux, aux);
  }
  HRESULT STDMETHODCALLTYPE SetBncs(short input, short output, short* pStatus) override {
    return Status(pStatus, &CEcho::SetBncs, input, output);
  }
  HRESULT STDMETHODCALLTYPE SetSpeaker(short speaker, short* pStatus) override {
    return Status(pStatus, &CEcho::SetSpeaker, speaker);
  }
  HRESULT STDMETHODCALLTYPE ReadChannel(short pc, short channel, short* pStatus) override {
    return Status(pStatus, &CEcho::ReadChannel, pc, channel);
  }
};

}  // namespace

HRESULT CreateEchoObject(IUnknown* outer, REFIID iid, void** object) {
  return CEchoObject::CreateObject(outer, iid, object);
}

}  // namespace orvo
