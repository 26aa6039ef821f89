// The benchmark's client: the three classes created by class id and timed
// through their vtables, the way a compiled lesson calls them, and the same
// members late-bound, the way script hosts call them. tools/bench drives it,
// one command a line on stdin, one answer a line on stdout, so that the
// driver can read the units' side of each row between rows.
//
//   setup echo|plc|fault ADDRESS  find the unit as a lesson would
//   row NAME CALLS                call member NAME CALLS times, time each
//   rows                          the row names, one line
//   bind CALLS                    a property get and a method call four ways
//   growth ITEMS                  SetSwitches with a list of ITEMS names
//   map N | unmap N               list COMn in the serial-port map, or not:
//                                 the ports a hunt walks
//   quit
//
// Times are read with QueryPerformanceCounter around each call and printed
// in microseconds. A row's answer also counts the calls that did not end
// with S_OK and the expected status, so that a benchmark of calls that fail
// cannot pass for one of calls that work.
#include <windows.h>

#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "OrvoTrainer_h.h"
#include "tests/win32/kit/SerialPortMap.h"

namespace {

IEcho* Console = nullptr;
IPlc* Trainer = nullptr;
IFault* Unit = nullptr;

void Answer(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

double TicksPerMicrosecond() {
  static const double perUs = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1e6;
  }();
  return perUs;
}

long long Ticks() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

// A string argument made once, so that its allocation is not timed.
class Text {
 public:
  explicit Text(const wchar_t* text) : Value(SysAllocString(text)) {}
  explicit Text(const std::wstring& text)
      : Value(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Text() { SysFreeString(Value); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  operator BSTR() const { return Value; }

 private:
  BSTR Value;
};

Text SwitchList(L"AC1,DC3");
Text SwitchListEx(L"AC1,AC3");
Text OneSwitch(L"DC2");
Text OneSwitchEx(L"AC3");
Text ConsoleFaults(L"4612,4705");
Text KeepControl(L"true");
Text TakeFaults(L"false");
Text WarningOff(L"false");
Text PlcFaults(L"F3,E12");
Text UnitFaults(L"F3,F7");

// Opens COMn, sets the line up, sends `frame` and reads `replyLength` bytes,
// the way the module does it: the same calls with the same settings.
bool RawExchange(int port, const BYTE* frame, DWORD length, DWORD replyLength, DWORD delayMs) {
  const std::wstring name = L"\\\\.\\COM" + std::to_wstring(port);
  HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  GetCommState(h, &dcb);
  COMMTIMEOUTS timeouts{100, 100, 100, 100, 100};
  bool ok = BuildCommDCBW(L"baud=9600 parity=O data=8 stop=1", &dcb) && SetCommState(h, &dcb) &&
            SetupComm(h, 1024, 1024) && SetCommTimeouts(h, &timeouts);
  DWORD errors = 0, done = 0;
  COMSTAT status{};
  ClearCommError(h, &errors, &status);
  ok = ok && WriteFile(h, frame, length, &done, nullptr) && done == length;
  if (delayMs) Sleep(delayMs);
  BYTE reply[16];
  ok = ok && ReadFile(h, reply, replyLength, &done, nullptr) && done == replyLength;
  CloseHandle(h);
  return ok;
}

// One member, called the way its row says: true when the call gave S_OK and,
// for a method, the status the unit's answer should give (61).
struct Row {
  const char* Name;
  std::function<bool()> Call;
};

template <class Method>
bool Status(Method method) {
  short status = 0;
  return SUCCEEDED(method(&status)) && status == 61;
}

std::vector<Row> MakeRows() {
  // Each get frees what it returns, as a client must.
  auto version = [](auto* object) {
    BSTR v = nullptr;
    const HRESULT hr = object->get_Version(&v);
    SysFreeString(v);
    return SUCCEEDED(hr);
  };
  return {
      {"Echo.Port.get", [] { short v = 0; return SUCCEEDED(Console->get_Port(&v)); }},
      {"Echo.Port.put", [] { short p = 0; return SUCCEEDED(Console->get_Port(&p)) && SUCCEEDED(Console->put_Port(p)); }},
      {"Echo.Address.get", [] { short v = 0; return SUCCEEDED(Console->get_Address(&v)); }},
      {"Echo.Address.put", [] { short a = 0; return SUCCEEDED(Console->get_Address(&a)) && SUCCEEDED(Console->put_Address(a)); }},
      {"Echo.Model.get", [] { short v = 0; return SUCCEEDED(Console->get_Model(&v)); }},
      {"Echo.SubModel.get", [] { short v = 0; return SUCCEEDED(Console->get_SubModel(&v)); }},
      {"Echo.Version.get", [version] { return version(Console); }},
      {"Echo.Neg.get", [] { short v = 0; return SUCCEEDED(Console->get_Neg(&v)); }},
      {"Echo.Pos.get", [] { short v = 0; return SUCCEEDED(Console->get_Pos(&v)); }},
      {"Echo.AC1.get", [] { short v = 0; return SUCCEEDED(Console->get_AC1(&v)); }},
      {"Echo.DC1.get", [] { short v = 0; return SUCCEEDED(Console->get_DC1(&v)); }},
      {"Echo.AC2.get", [] { short v = 0; return SUCCEEDED(Console->get_AC2(&v)); }},
      {"Echo.DC2.get", [] { short v = 0; return SUCCEEDED(Console->get_DC2(&v)); }},
      {"Echo.SP3.get", [] { short v = 0; return SUCCEEDED(Console->get_SP3(&v)); }},
      {"Echo.AC3.get", [] { short v = 0; return SUCCEEDED(Console->get_AC3(&v)); }},
      {"Echo.DC3.get", [] { short v = 0; return SUCCEEDED(Console->get_DC3(&v)); }},
      {"Echo.Channel.get", [] { long v = 0; return SUCCEEDED(Console->get_Channel(&v)); }},
      {"Echo.SetAddress", [] { short a = 0; Console->get_Address(&a); return Status([&](short* r) { return Console->SetAddress(a, r); }); }},
      {"Echo.HuntPort", [] { return Status([](short* r) { return Console->HuntPort(r); }); }},
      {"Echo.CheckComm", [] { return Status([](short* r) { return Console->CheckComm(r); }); }},
      {"Echo.CheckCommEx", [] { return Status([](short* r) { return Console->CheckCommEx(r); }); }},
      {"Echo.ReadModel", [] { return Status([](short* r) { return Console->ReadModel(r); }); }},
      {"Echo.ReadChannel", [] { return Status([](short* r) { return Console->ReadChannel(1, 2, r); }); }},
      {"Echo.StartCai", [] { return Status([](short* r) { return Console->StartCai(r); }); }},
      {"Echo.EndCai", [] { return Status([](short* r) { return Console->EndCai(r); }); }},
      {"Echo.SetVoltages", [] { return Status([](short* r) { return Console->SetVoltages(-12, 15, r); }); }},
      {"Echo.SetSwitches", [] { return Status([](short* r) { return Console->SetSwitches(SwitchList, r); }); }},
      {"Echo.SetSwitchesEx", [] { return Status([](short* r) { return Console->SetSwitchesEx(SwitchListEx, r); }); }},
      {"Echo.ChangeSwitch", [] { return Status([](short* r) { return Console->ChangeSwitch(OneSwitch, 1, r); }); }},
      {"Echo.ChangeSwitchEx", [] { return Status([](short* r) { return Console->ChangeSwitchEx(OneSwitchEx, 0, r); }); }},
      {"Echo.SendFaults", [] { return Status([](short* r) { return Console->SendFaults(ConsoleFaults, r); }); }},
      {"Echo.SetStudentControl", [] { return Status([](short* r) { return Console->SetStudentControl(KeepControl, TakeFaults, r); }); }},
      {"Echo.SetWarning", [] { return Status([](short* r) { return Console->SetWarning(WarningOff, r); }); }},
      {"Echo.SetAux", [] { return Status([](short* r) { return Console->SetAux(3, r); }); }},
      {"Echo.SetBncs", [] { return Status([](short* r) { return Console->SetBncs(2, 3, r); }); }},
      {"Echo.SetSpeaker", [] { return Status([](short* r) { return Console->SetSpeaker(44, r); }); }},

      {"Plc.Port.get", [] { short v = 0; return SUCCEEDED(Trainer->get_Port(&v)); }},
      {"Plc.Port.put", [] { short p = 0; return SUCCEEDED(Trainer->get_Port(&p)) && SUCCEEDED(Trainer->put_Port(p)); }},
      {"Plc.Address.get", [] { short v = 0; return SUCCEEDED(Trainer->get_Address(&v)); }},
      {"Plc.Address.put", [] { short a = 0; return SUCCEEDED(Trainer->get_Address(&a)) && SUCCEEDED(Trainer->put_Address(a)); }},
      {"Plc.DC.get", [] { short v = 0; return SUCCEEDED(Trainer->get_DC(&v)); }},
      {"Plc.Monitor.get", [] { short v = 0; return SUCCEEDED(Trainer->get_Monitor(&v)); }},
      {"Plc.Selector.get", [] { short v = 0; return SUCCEEDED(Trainer->get_Selector(&v)); }},
      {"Plc.Voltage.get", [] { short v = 0; return SUCCEEDED(Trainer->get_Voltage(&v)); }},
      {"Plc.PC1.get", [] { short v = 0; return SUCCEEDED(Trainer->get_PC1(&v)); }},
      {"Plc.PC2.get", [] { short v = 0; return SUCCEEDED(Trainer->get_PC2(&v)); }},
      {"Plc.SetAddress", [] { return Status([](short* r) { return Trainer->SetAddress(3, r); }); }},
      {"Plc.HuntPort", [] { return Status([](short* r) { return Trainer->HuntPort(r); }); }},
      {"Plc.CheckComm", [] { return Status([](short* r) { return Trainer->CheckComm(r); }); }},
      {"Plc.StartCai", [] { return Status([](short* r) { return Trainer->StartCai(r); }); }},
      {"Plc.EndCai", [] { return Status([](short* r) { return Trainer->EndCai(r); }); }},
      {"Plc.ReadMain", [] { return Status([](short* r) { return Trainer->ReadMain(r); }); }},
      {"Plc.ReadExternal", [] { return Status([](short* r) { return Trainer->ReadExternal(r); }); }},
      {"Plc.SetProcess", [] { return Status([](short* r) { return Trainer->SetProcess(1234, r); }); }},
      {"Plc.ClearFaults", [] { return Status([](short* r) { return Trainer->ClearFaults(r); }); }},
      {"Plc.SendFaults", [] { return Status([](short* r) { return Trainer->SendFaults(PlcFaults, r); }); }},
      {"Plc.SetSelector", [] { return Status([](short* r) { return Trainer->SetSelector(5, r); }); }},

      {"Fault.Port.get", [] { short v = 0; return SUCCEEDED(Unit->get_Port(&v)); }},
      {"Fault.Port.put", [] { short p = 0; return SUCCEEDED(Unit->get_Port(&p)) && SUCCEEDED(Unit->put_Port(p)); }},
      {"Fault.Address.get", [] { short v = 0; return SUCCEEDED(Unit->get_Address(&v)); }},
      {"Fault.Address.put", [] { short a = 0; return SUCCEEDED(Unit->get_Address(&a)) && SUCCEEDED(Unit->put_Address(a)); }},
      {"Fault.HuntPort", [] { return Status([](short* r) { return Unit->HuntPort(r); }); }},
      {"Fault.CheckComm", [] { return Status([](short* r) { return Unit->CheckComm(r); }); }},
      {"Fault.SetAddress", [] { return Status([](short* r) { return Unit->SetAddress(9, r); }); }},
      {"Fault.StartCai", [] { return Status([](short* r) { return Unit->StartCai(r); }); }},
      {"Fault.EndCai", [] { return Status([](short* r) { return Unit->EndCai(r); }); }},
      {"Fault.ClearFaults", [] { return Status([](short* r) { return Unit->ClearFaults(r); }); }},
      {"Fault.SendFaults", [] { return Status([](short* r) { return Unit->SendFaults(UnitFaults, r); }); }},

      // The platform's own cost of the waits every member above takes: what
      // the module asks for is a plain Sleep, and whatever it overshoots by
      // belongs to the system, not to the module.
      {"Sleep.50", [] { Sleep(50); return true; }},
      {"Sleep.100", [] { Sleep(100); return true; }},
      {"Sleep.2000", [] { Sleep(2000); return true; }},
      // One exchange made here with the same system calls the module makes,
      // without the module: Echo.HuntPort and Plc.ClearFaults make exactly
      // this one exchange each, so the difference is the module's own cost.
      {"Raw.StatusRead", [] {
         static const BYTE frame[] = {0xFE, 0xFF, 0x05, 0x02, 0x52, 0x49};
         return RawExchange(3, frame, sizeof frame, 14, 0);
       }},
      {"Raw.ShortFrame", [] {
         static const BYTE frame[] = {0x03, 0xC0, 0x00};
         return RawExchange(2, frame, sizeof frame, 3, 50);
       }},
  };
}

void RunRow(const std::vector<Row>& rows, const std::string& name, int calls) {
  const auto row = std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return name == r.Name; });
  if (row == rows.end()) return Answer("error no row " + name);
  std::string times;
  int failed = 0;
  char text[32];
  for (int i = 0; i < calls; ++i) {
    const long long start = Ticks();
    const bool ok = row->Call();
    const long long end = Ticks();
    if (!ok) ++failed;
    std::snprintf(text, sizeof text, "%s%.2f", i ? "," : "", (end - start) / TicksPerMicrosecond());
    times += text;
  }
  Answer("ok " + name + " failed=" + std::to_string(failed) + " us=" + times);
}

// Finds each unit as the example lesson does: the console by SetAddress,
// the others by Address and HuntPort.
void Setup(const std::string& which, short address) {
  short status = 0, port = 0;
  HRESULT hr = E_INVALIDARG;
  if (which == "echo") {
    hr = Console->SetAddress(address, &status);
    if (SUCCEEDED(hr)) hr = Console->get_Port(&port);
  } else if (which == "plc") {
    hr = Trainer->put_Address(address);
    if (SUCCEEDED(hr)) hr = Trainer->HuntPort(&status);
    if (SUCCEEDED(hr)) hr = Trainer->get_Port(&port);
  } else if (which == "fault") {
    hr = Unit->put_Address(address);
    if (SUCCEEDED(hr)) hr = Unit->HuntPort(&status);
    if (SUCCEEDED(hr)) hr = Unit->get_Port(&port);
  }
  char text[96];
  std::snprintf(text, sizeof text, "%s %s status=%d port=%d hr=0x%08lX",
                SUCCEEDED(hr) && status == 61 ? "ok" : "error", which.c_str(), status, port,
                static_cast<unsigned long>(hr));
  Answer(text);
}

// The median of `batches` batches of `calls` calls each, in nanoseconds a
// call: a batch's mean hides the clock's resolution, the median the
// batches that the system interrupted.
double MedianNs(int calls, const std::function<bool()>& call, bool& ok) {
  constexpr int Batches = 9;
  std::vector<double> perCall;
  for (int b = 0; b < Batches; ++b) {
    const long long start = Ticks();
    for (int i = 0; i < calls; ++i) ok = call() && ok;
    perCall.push_back((Ticks() - start) * 1000.0 / TicksPerMicrosecond() / calls);
  }
  std::nth_element(perCall.begin(), perCall.begin() + Batches / 2, perCall.end());
  return perCall[Batches / 2];
}

bool InvokeById(IDispatch* object, DISPID id, WORD flags, DISPPARAMS* params) {
  VARIANT result;
  VariantInit(&result);
  const HRESULT hr =
      object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, params, &result, nullptr, nullptr);
  VariantClear(&result);
  return SUCCEEDED(hr);
}

bool InvokeByName(IDispatch* object, const wchar_t* name, WORD flags, DISPPARAMS* params) {
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return false;
  return InvokeById(object, id, flags, params);
}

// Plc's Port get and SetAddress: neither talks to the unit, so what is
// timed is the binding and the member, not a port.
void Bind(int calls) {
  IDispatch* object = Trainer;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT address;
  VariantInit(&address);
  address.vt = VT_I2;
  address.iVal = 3;
  DISPPARAMS one{&address, nullptr, 1, 0};
  DISPID port = DISPID_UNKNOWN, setAddress = DISPID_UNKNOWN;
  LPOLESTR portName[] = {const_cast<LPOLESTR>(L"Port")};
  LPOLESTR setAddressName[] = {const_cast<LPOLESTR>(L"SetAddress")};
  bool ok = SUCCEEDED(object->GetIDsOfNames(IID_NULL, portName, 1, LOCALE_USER_DEFAULT, &port)) &&
            SUCCEEDED(object->GetIDsOfNames(IID_NULL, setAddressName, 1, LOCALE_USER_DEFAULT,
                                            &setAddress));
  short value = 0;
  const struct {
    const char* Name;
    std::function<bool()> Call;
  } ways[] = {
      {"get.vtable", [&] { return SUCCEEDED(Trainer->get_Port(&value)); }},
      {"get.dispid", [&] { return InvokeById(object, port, DISPATCH_PROPERTYGET, &none); }},
      {"get.byname", [&] { return InvokeByName(object, L"Port", DISPATCH_PROPERTYGET, &none); }},
      {"call.vtable", [&] { return SUCCEEDED(Trainer->SetAddress(3, &value)) && value == 61; }},
      {"call.dispid", [&] { return InvokeById(object, setAddress, DISPATCH_METHOD, &one); }},
      {"call.byname", [&] { return InvokeByName(object, L"SetAddress", DISPATCH_METHOD, &one); }},
  };
  std::string line = "ok bind";
  char text[48];
  for (const auto& way : ways) {
    std::snprintf(text, sizeof text, " %s=%.1f", way.Name, MedianNs(calls, way.Call, ok));
    line += text;
  }
  Answer(ok ? line : "error bind: a call failed");
}

// SetSwitches with `items` names: what the list costs is the time above the
// two exchanges and the wait that any list costs.
void Growth(int items) {
  std::wstring list;
  list.reserve(static_cast<std::size_t>(items) * 4);
  for (int i = 0; i < items; ++i) list += i ? L",DC1" : L"DC1";
  Text text(list);
  short status = 0;
  const long long start = Ticks();
  const HRESULT hr = Console->SetSwitches(text, &status);
  const double us = (Ticks() - start) / TicksPerMicrosecond();
  char line[96];
  std::snprintf(line, sizeof line, "%s growth items=%d us=%.1f status=%d",
                SUCCEEDED(hr) && status == 61 ? "ok" : "error", items, us, status);
  Answer(line);
}

void Map(int port, bool listed) {
  const LONG status = ListInSerialPortMap(port, listed);
  Answer(status == ERROR_SUCCESS ? "ok" : "error map status " + std::to_string(status));
}

template <class Interface>
Interface* Create(REFCLSID clsid, REFIID iid) {
  Interface* object = nullptr;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                              reinterpret_cast<void**>(&object))))
    return nullptr;
  return object;
}

}  // namespace

int main() {
  if (FAILED(CoInitialize(nullptr))) return Answer("error CoInitialize"), 1;
  Console = Create<IEcho>(CLSID_Echo, IID_IEcho);
  Trainer = Create<IPlc>(CLSID_Plc, IID_IPlc);
  Unit = Create<IFault>(CLSID_Fault, IID_IFault);
  if (!Console || !Trainer || !Unit) return Answer("error the classes are not registered"), 1;
  const std::vector<Row> rows = MakeRows();
  Answer("ok ready");

  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, stdin)) {
    char word[64] = {}, name[64] = {};
    int number = 0;
    const int n = std::sscanf(buffer, "%63s %63s %d", word, name, &number);
    const std::string command = n >= 1 ? word : "";
    if (command == "quit") break;
    if (command == "rows") {
      std::string line = "ok";
      for (const Row& row : rows) line += std::string(" ") + row.Name;
      Answer(line);
    } else if (command == "row" && n == 3 && number > 0) {
      RunRow(rows, name, number);
    } else if (command == "setup" && n == 3) {
      Setup(name, static_cast<short>(number));
    } else if (command == "bind" && n >= 2) {
      Bind(std::max(1, std::atoi(name)));
    } else if ((command == "map" || command == "unmap") && n >= 2) {
      Map(std::atoi(name), command == "map");
    } else if (command == "growth" && n >= 2) {
      Growth(std::max(0, std::atoi(name)));
    } else {
      Answer(std::string("error unknown command: ") + buffer);
    }
  }
  Console->Release();
  Trainer->Release();
  Unit->Release();
  CoUninitialize();
  return 0;
}
