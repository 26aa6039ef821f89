// The lesson of lesson.vbs from C++, early-bound: the objects are created by
// class id and called through their interfaces' vtables, with the
// declarations generated from the module's interface description
// (OrvoTrainer_h.h and OrvoTrainer_i.c, made by widl or MIDL from
// OrvoTrainer.idl). Every method returns S_OK and hands the unit's answer
// back through its last argument: 61 answered, 60 no answer, 65 a malformed
// fault item.
//
// Build it for the same bitness as the OrvoTrainer.dll that is registered:
// a 32-bit program finds only the 32-bit registration.
#include <windows.h>

#include <cstdio>

#include "OrvoTrainer_h.h"

namespace {

int problems = 0;

const char* Said(short status) {
  switch (status) {
    case 61:
      return "ok";
    case 60:
      return "no answer";
    case 65:
      return "malformed fault item";
    default:
      return "unexpected status";
  }
}

// Makes one call, prints it with the unit's answer, remembers whether it
// worked and returns the status (0 when the call itself failed). A failed
// call (not S_OK) counts as a problem too: the object or the module is not
// what we expect. The call is a lambda so that the status is read only after
// the call has filled it in.
template <class Call>
short Step(const char* what, Call call) {
  short status = 0;
  const HRESULT hr = call(&status);
  if (FAILED(hr)) {
    std::printf("%-44serror 0x%08lX\n", what, static_cast<unsigned long>(hr));
    ++problems;
    return 0;
  }
  std::printf("%-44s%s\n", what, Said(status));
  if (status != 61) ++problems;
  return status;
}

// A hunt that found nothing leaves Port at 0, which is also the USB link's
// number: only a hunt that succeeded says where the unit is.
void SayWhere(short status, short port, bool usbPossible) {
  if (status != 61) {
    std::puts("    not found");
  } else if (port == 0 && usbPossible) {
    std::puts("    found on USB");
  } else {
    std::printf("    found on COM%d\n", port);
  }
}

// A BSTR for the duration of one call.
class Text {
 public:
  explicit Text(const wchar_t* text) : Value(SysAllocString(text)) {}
  ~Text() { SysFreeString(Value); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  operator BSTR() const { return Value; }

 private:
  BSTR Value;
};

template <class I>
I* Create(REFCLSID clsid, REFIID iid, const char* name) {
  I* object = nullptr;
  const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                                      reinterpret_cast<void**>(&object));
  if (FAILED(hr)) {
    std::printf("cannot create %s (0x%08lX): is OrvoTrainer.dll registered?\n", name,
                static_cast<unsigned long>(hr));
    ++problems;
    return nullptr;
  }
  return object;
}

void ConsoleSteps(IEcho* console) {
  short port = 0, neg = 0, pos = 0, model = 0, subModel = 0;
  short ac1 = 0, dc3 = 0;
  long channel = 0;
  std::puts("The trainer console");
  const short found =
      Step("  find the console at address 5", [&](short* s) { return console->SetAddress(5, s); });
  console->get_Port(&port);
  SayWhere(found, port, true);
  Step("  supplies -12 V and +15 V", [&](short* s) { return console->SetVoltages(-12, 15, s); });
  Text switches(L"AC1,DC3");
  Step("  switches AC1 and DC3 on", [&](short* s) { return console->SetSwitches(switches, s); });
  Step("  read the status back", [&](short* s) { return console->CheckComm(s); });
  console->get_Neg(&neg);
  console->get_Pos(&pos);
  console->get_AC1(&ac1);
  console->get_DC3(&dc3);
  std::printf("    supplies: -%d V and +%d V, AC1 %s, DC3 %s\n", neg, pos, ac1 ? "on" : "off",
              dc3 ? "on" : "off");
  Step("  read the model", [&](short* s) { return console->ReadModel(s); });
  BSTR version = nullptr;
  console->get_Model(&model);
  console->get_SubModel(&subModel);
  console->get_Version(&version);
  std::printf("    model %d.%d, version %ls\n", model, subModel, version ? version : L"?");
  SysFreeString(version);
  Step("  read meter channel 3", [&](short* s) { return console->ReadChannel(0, 3, s); });
  console->get_Channel(&channel);
  std::printf("    channel 3 reads %ld\n", channel);
  Text yes(L"true"), no(L"false");
  Step("  keyboard for the student, faults not",
       [&](short* s) { return console->SetStudentControl(yes, no, s); });
  Step("  warning light on", [&](short* s) { return console->SetWarning(yes, s); });
}

void FaultSteps(IFault* faults) {
  short port = 0;
  std::puts("The fault unit");
  faults->put_Address(9);
  const short found =
      Step("  hunt for the fault unit", [&](short* s) { return faults->HuntPort(s); });
  faults->get_Port(&port);
  SayWhere(found, port, false);
  Text insert(L"F3,F7"), remove(L"E7");
  Step("  insert faults 3 and 7", [&](short* s) { return faults->SendFaults(insert, s); });
  Step("  take fault 7 out again", [&](short* s) { return faults->SendFaults(remove, s); });
}

void PlcSteps(IPlc* plc) {
  short port = 0, voltage = 0;
  std::puts("The PLC trainer");
  plc->put_Address(3);
  const short found =
      Step("  hunt for the PLC trainer", [&](short* s) { return plc->HuntPort(s); });
  plc->get_Port(&port);
  SayWhere(found, port, false);
  Step("  read the main block", [&](short* s) { return plc->ReadMain(s); });
  Step("  read the external block", [&](short* s) { return plc->ReadExternal(s); });
  plc->get_Voltage(&voltage);
  std::printf("    supply %d V\n", voltage);
  Step("  clock in the process value 1234", [&](short* s) { return plc->SetProcess(1234, s); });
  // The transfer leaves the selector lines low, so the selector comes after it.
  Step("  selector lines to 0101", [&](short* s) { return plc->SetSelector(5, s); });
}

}  // namespace

int main() {
  if (FAILED(CoInitialize(nullptr))) return 2;
  if (IEcho* console = Create<IEcho>(CLSID_Echo, IID_IEcho, "Echo")) {
    ConsoleSteps(console);
    console->Release();
  }
  if (IFault* faults = Create<IFault>(CLSID_Fault, IID_IFault, "Fault")) {
    FaultSteps(faults);
    faults->Release();
  }
  if (IPlc* plc = Create<IPlc>(CLSID_Plc, IID_IPlc, "Plc")) {
    PlcSteps(plc);
    plc->Release();
  }
  CoUninitialize();
  if (problems != 0) {
    std::printf("lesson failed: %d step(s) went wrong\n", problems);
    return 1;
  }
  std::puts("lesson passed");
  return 0;
}
