// A script host in miniature for the fault matrix and the bad-input table.
// It creates the classes by ProgID and calls their members late-bound, by
// name through IDispatch, the way VBScript and JScript do. One command a
// line on stdin, one answer a line on stdout: a driver keeps one Wine
// process for a whole run and still sees at once which call hung the host
// or took it down.
//
//   new NAME PROGID               CreateObject: CLSIDFromProgID, CoCreateInstance
//   call NAME MEMBER ARG...       x = NAME.MEMBER(ARG, ...)
//   get NAME MEMBER               x = NAME.MEMBER
//   put NAME MEMBER ARG           NAME.MEMBER = ARG
//   invoke NAME MEMBER HOW ARG... Invoke as HOW says (see Invoke below);
//                                 MEMBER may be id:N for a DISPID by number
//   release NAME | release *      drop the driver's reference(s)
//   canunload                     DllCanUnloadNow of the loaded module
//   ports                         the remembered ports, NAME=VALUE ...
//   hold N | free N               open COMn exclusively and keep it / close it
//   drain N                       discard what waits unread on COMn
//   map N | unmap N               list COMn in the serial-port map / take it out
//   quit
//
// ARG is TYPE:VALUE, see MakeArgument. Answers start with "ok" or "error";
// an unhandled exception prints "crash" and ends the process.
#include <windows.h>

#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/win32/kit/SerialPortMap.h"

namespace {

constexpr wchar_t RememberedPortsKey[] =
    L"Software\\OrvoCorp\\Controls\\Cai\\OrvoTrainer\\Immediate";

std::map<std::string, IDispatch*> Objects;
std::map<int, HANDLE> HeldPorts;

void Answer(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", value);
  return text;
}

std::wstring Wide(const std::string& text) {
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// Printable ASCII as it is, everything else as %XX (or %uXXXX), so that an
// answer stays on one line and shows an embedded NUL.
std::string Escaped(const wchar_t* text, std::size_t length) {
  std::string out;
  for (std::size_t i = 0; i < length; ++i) {
    const wchar_t c = text[i];
    char buffer[8];
    if (c > 0x20 && c < 0x7F && c != L'%') {
      out += static_cast<char>(c);
    } else if (c < 0x100) {
      std::snprintf(buffer, sizeof buffer, "%%%02X", static_cast<unsigned>(c));
      out += buffer;
    } else {
      std::snprintf(buffer, sizeof buffer, "%%u%04X", static_cast<unsigned>(c));
      out += buffer;
    }
  }
  return out;
}

// %XX decoding, so that a command line can carry blanks, commas and NULs.
std::wstring Unescaped(const std::string& text) {
  std::wstring wide;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      wide += static_cast<wchar_t>(std::strtol(text.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      wide += static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    }
  }
  return wide;
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// Arguments keep what a by-reference variant points to alive until the
// call is over.
struct Arguments {
  std::vector<VARIANT> Values;  // in script order
  std::deque<VARIANT> Referenced;
  std::string Error;

  ~Arguments() {
    for (VARIANT& v : Values) VariantClear(&v);
    for (VARIANT& v : Referenced) VariantClear(&v);
  }
};

SAFEARRAY* ArrayOf(VARTYPE type) {
  SAFEARRAY* array = SafeArrayCreateVector(type, 0, 3);
  for (LONG i = 0; i < 3; ++i) {
    if (type == VT_BSTR) {
      BSTR item = SysAllocString(L"AC1");
      SafeArrayPutElement(array, &i, item);
      SysFreeString(item);
    } else {
      short item = static_cast<short>(i + 1);
      SafeArrayPutElement(array, &i, &item);
    }
  }
  return array;
}

// TYPE:VALUE as a script host would pass it:
//   i2 i4 ui2 i8 r8 date cy bool err  numbers (err: an SCODE, as VT_ERROR)
//   s:TEXT      a string, %XX escapes decoded (so %00 is an embedded NUL)
//   big:N:C     a string of N characters C
//   nullbstr    a string whose pointer is null
//   null empty  VT_NULL, VT_EMPTY
//   missing     an argument left out (VT_ERROR, DISP_E_PARAMNOTFOUND)
//   obj:NAME    an object of this client as VT_DISPATCH
//   arr:i2 arr:s  a SAFEARRAY of three shorts or three strings
//   ref:TYPE:VALUE  the same by reference (VT_BYREF)
bool MakeArgument(const std::string& written, VARIANT& out, Arguments& arguments) {
  VariantInit(&out);
  const std::size_t colon = written.find(':');
  const std::string type = written.substr(0, colon);
  const std::string value = colon == std::string::npos ? "" : written.substr(colon + 1);
  const char* number = value.c_str();
  if (type == "ref") {
    arguments.Referenced.emplace_back();
    VARIANT& target = arguments.Referenced.back();
    if (!MakeArgument(value, target, arguments)) return false;
    out.vt = static_cast<VARTYPE>(target.vt | VT_BYREF);
    out.byref = &target.iVal;  // every member of the union starts here
    return true;
  }
  if (type == "i2") {
    out.vt = VT_I2;
    out.iVal = static_cast<SHORT>(std::strtol(number, nullptr, 0));
  } else if (type == "i4") {
    out.vt = VT_I4;
    out.lVal = static_cast<LONG>(std::strtoll(number, nullptr, 0));
  } else if (type == "ui2") {
    out.vt = VT_UI2;
    out.uiVal = static_cast<USHORT>(std::strtoul(number, nullptr, 0));
  } else if (type == "i8") {
    out.vt = VT_I8;
    out.llVal = std::strtoll(number, nullptr, 0);
  } else if (type == "r8") {
    out.vt = VT_R8;
    out.dblVal = std::strtod(number, nullptr);
  } else if (type == "date") {
    out.vt = VT_DATE;
    out.date = std::strtod(number, nullptr);
  } else if (type == "cy") {
    out.vt = VT_CY;
    VarCyFromR8(std::strtod(number, nullptr), &out.cyVal);
  } else if (type == "bool") {
    out.vt = VT_BOOL;
    out.boolVal = std::strtol(number, nullptr, 0) ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (type == "err") {
    out.vt = VT_ERROR;
    out.scode = static_cast<SCODE>(std::strtoul(number, nullptr, 0));
  } else if (type == "missing") {
    out.vt = VT_ERROR;
    out.scode = DISP_E_PARAMNOTFOUND;
  } else if (type == "null") {
    out.vt = VT_NULL;
  } else if (type == "empty") {
    out.vt = VT_EMPTY;
  } else if (type == "s") {
    const std::wstring text = Unescaped(value);
    out.vt = VT_BSTR;
    out.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  } else if (type == "big") {
    const std::size_t second = value.find(':');
    const std::size_t count = std::strtoul(value.substr(0, second).c_str(), nullptr, 0);
    const wchar_t fill =
        second == std::string::npos ? L'A' : static_cast<wchar_t>(value[second + 1]);
    out.vt = VT_BSTR;
    out.bstrVal = SysAllocStringLen(nullptr, static_cast<UINT>(count));
    if (!out.bstrVal) {
      arguments.Error = "cannot allocate " + value;
      return false;
    }
    std::fill(out.bstrVal, out.bstrVal + count, fill);
  } else if (type == "nullbstr") {
    out.vt = VT_BSTR;
    out.bstrVal = nullptr;
  } else if (type == "obj") {
    const auto found = Objects.find(value);
    if (found == Objects.end()) {
      arguments.Error = "no object " + value;
      return false;
    }
    out.vt = VT_DISPATCH;
    out.pdispVal = found->second;
    out.pdispVal->AddRef();
  } else if (type == "arr") {
    const VARTYPE element = value == "s" ? VT_BSTR : VT_I2;
    out.vt = static_cast<VARTYPE>(VT_ARRAY | element);
    out.parray = ArrayOf(element);
  } else {
    arguments.Error = "unknown argument type " + type;
    return false;
  }
  return true;
}

std::string Described(const VARIANT& result) {
  const std::string text = "vt=" + std::to_string(result.vt);
  if (result.vt == VT_I2) return text + " value=" + std::to_string(result.iVal);
  if (result.vt == VT_I4) return text + " value=" + std::to_string(result.lVal);
  if (result.vt != VT_BSTR) return text;
  const UINT length = SysStringLen(result.bstrVal);
  return text + " len=" + std::to_string(length) +
         " value=" + Escaped(result.bstrVal, std::min<UINT>(length, 80));
}

long long Ms() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return now.QuadPart * 1000 / frequency.QuadPart;
}

// HOW is one of
//   method    DISPATCH_METHOD | DISPATCH_PROPERTYGET with a result, as a
//             script's x = o.M(a) does
//   get       DISPATCH_PROPERTYGET
//   put       DISPATCH_PROPERTYPUT with the named argument DISPID_PROPERTYPUT
//   put-unnamed  DISPATCH_PROPERTYPUT without it
//   statement DISPATCH_METHOD without a result variant, as o.M a does
//   no-params DISPATCH_METHOD with no DISPPARAMS at all
//   named     DISPATCH_METHOD with the arguments named by DISPIDs 1, 2, ...
void Invoke(const std::vector<std::string>& words, std::size_t first) {
  // words: verb NAME MEMBER HOW ARG...
  const auto found = Objects.find(words[1]);
  if (found == Objects.end()) return Answer("error no object " + words[1]);
  IDispatch* object = found->second;
  DISPID id = DISPID_UNKNOWN;
  const std::string& member = words[2];
  if (member.rfind("id:", 0) == 0) {
    id = static_cast<DISPID>(std::strtol(member.c_str() + 3, nullptr, 0));
  } else {
    std::wstring name = Wide(member);
    LPOLESTR names[] = {name.data()};
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return Answer("ok hr=" + Hex(hr) + " names");
  }
  const std::string& how = words[3];
  Arguments arguments;
  for (std::size_t i = first; i < words.size(); ++i) {
    arguments.Values.emplace_back();
    if (!MakeArgument(words[i], arguments.Values.back(), arguments))
      return Answer("error " + arguments.Error);
  }
  // Invoke takes the arguments last to first.
  std::vector<VARIANT> reversed(arguments.Values.rbegin(), arguments.Values.rend());
  DISPPARAMS parameters{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  DISPID putId = DISPID_PROPERTYPUT;
  std::vector<DISPID> namedIds;
  WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  bool wantResult = true;
  DISPPARAMS* passed = &parameters;
  if (how == "get") {
    flags = DISPATCH_PROPERTYGET;
  } else if (how == "put" || how == "put-unnamed") {
    flags = DISPATCH_PROPERTYPUT;
    wantResult = false;
    if (how == "put") {
      parameters.rgdispidNamedArgs = &putId;
      parameters.cNamedArgs = 1;
    }
  } else if (how == "statement") {
    flags = DISPATCH_METHOD;
    wantResult = false;
  } else if (how == "no-params") {
    flags = DISPATCH_METHOD;
    passed = nullptr;
  } else if (how == "named") {
    flags = DISPATCH_METHOD;
    for (std::size_t i = 0; i < reversed.size(); ++i)
      namedIds.push_back(static_cast<DISPID>(reversed.size() - i));
    parameters.rgdispidNamedArgs = namedIds.data();
    parameters.cNamedArgs = static_cast<UINT>(namedIds.size());
  } else if (how != "method") {
    return Answer("error unknown way to invoke: " + how);
  }
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO exception{};
  UINT argumentError = 0xFFFFFFFF;
  const long long start = Ms();
  const HRESULT hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, passed,
                                    wantResult ? &result : nullptr, &exception, &argumentError);
  const long long elapsed = Ms() - start;
  std::string text =
      "ok hr=" + Hex(hr) + " " + Described(result) + " ms=" + std::to_string(elapsed);
  if (argumentError != 0xFFFFFFFF) text += " argerr=" + std::to_string(argumentError);
  if (hr == DISP_E_EXCEPTION) text += " scode=" + Hex(exception.scode);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  VariantClear(&result);
  Answer(text);
}

void New(const std::vector<std::string>& words) {
  if (words.size() != 3) return Answer("error usage: new NAME PROGID");
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(Wide(words[2]).c_str(), &clsid);
  if (FAILED(hr)) return Answer("error progid hr=" + Hex(hr));
  IDispatch* object = nullptr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                        reinterpret_cast<void**>(&object));
  if (FAILED(hr)) return Answer("error create hr=" + Hex(hr));
  if (IDispatch* old = Objects[words[1]]) old->Release();
  Objects[words[1]] = object;
  Answer("ok");
}

void Release(const std::vector<std::string>& words) {
  if (words.size() != 2) return Answer("error usage: release NAME|*");
  for (auto it = Objects.begin(); it != Objects.end();) {
    if (words[1] == "*" || it->first == words[1]) {
      it->second->Release();
      it = Objects.erase(it);
    } else {
      ++it;
    }
  }
  Answer("ok");
}

// Asked of the module itself, as COM's CoFreeUnusedLibraries would ask it.
void CanUnload() {
  HMODULE module = GetModuleHandleW(L"OrvoTrainer.dll");
  if (!module) return Answer("error OrvoTrainer.dll is not loaded");
  using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
  const auto canUnload = reinterpret_cast<CanUnloadNow>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  if (!canUnload) return Answer("error no DllCanUnloadNow");
  Answer("ok hr=" + Hex(canUnload()));
}

// Every value of the remembered-ports key, sorted by name: a DWORD as its
// number, anything else as ?TYPE.
void Ports() {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, RememberedPortsKey, 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS)
    return Answer("ok");
  std::map<std::string, std::string> values;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256, type = 0, data = 0, size = sizeof data;
    const LONG status = RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                                      reinterpret_cast<BYTE*>(&data), &size);
    if (status == ERROR_NO_MORE_ITEMS) break;
    const std::string shown = Escaped(name, nameLength);
    if (status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof data) {
      values[shown] = std::to_string(static_cast<long>(static_cast<LONG>(data)));
    } else {
      values[shown] = "?" + std::to_string(type);
    }
  }
  RegCloseKey(key);
  std::string text = "ok";
  for (const auto& [name, value] : values) text += " " + name + "=" + value;
  Answer(text);
}

std::wstring ComName(int port) { return L"COM" + std::to_wstring(port); }

HANDLE OpenPort(int port) {
  const std::wstring device = L"\\\\.\\" + ComName(port);
  return CreateFileW(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                     nullptr);
}

// Held the way another program holds a port: opened with no sharing. The
// answer says whether the system then refuses a second open ("exclusive"),
// as Windows does, or lets it through ("shared"), as Wine does for devices.
void Hold(int port) {
  HANDLE handle = OpenPort(port);
  if (handle == INVALID_HANDLE_VALUE) return Answer("error gle=" + std::to_string(GetLastError()));
  HeldPorts[port] = handle;
  HANDLE second = OpenPort(port);
  if (second == INVALID_HANDLE_VALUE) return Answer("ok exclusive");
  CloseHandle(second);
  Answer("ok shared");
}

void Free(int port) {
  const auto found = HeldPorts.find(port);
  if (found == HeldPorts.end()) return Answer("error COM" + std::to_string(port) + " is not held");
  CloseHandle(found->second);
  HeldPorts.erase(found);
  Answer("ok");
}

// Throws away what a unit sent that nobody read. Windows does this when a
// port opens; a pty keeps it, so a late reply would otherwise be read as the
// answer to a frame of the next row.
void Drain(int port) {
  HANDLE handle = OpenPort(port);
  if (handle == INVALID_HANDLE_VALUE) return Answer("error gle=" + std::to_string(GetLastError()));
  const BOOL purged = PurgeComm(handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
  CloseHandle(handle);
  Answer(purged ? "ok" : "error purge gle=" + std::to_string(GetLastError()));
}

void Map(int port, bool listed) {
  const LONG status = ListInSerialPortMap(port, listed);
  Answer(status == ERROR_SUCCESS ? "ok" : "error status=" + std::to_string(status));
}

// A crash inside a call must read as a crash, not as a host that went
// quiet: the driver tells the two apart by this line.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
  char text[96];
  std::snprintf(text, sizeof text, "crash code=0x%08lX at %p",
                static_cast<unsigned long>(record->ExceptionCode), record->ExceptionAddress);
  Answer(text);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}

bool Run(const std::string& line) {
  const std::vector<std::string> words = Words(line);
  if (words.empty()) return true;
  const std::string& verb = words[0];
  if (verb == "quit") return false;
  if (verb == "new") {
    New(words);
  } else if (verb == "call" && words.size() >= 3) {
    std::vector<std::string> full{words[0], words[1], words[2], "method"};
    full.insert(full.end(), words.begin() + 3, words.end());
    Invoke(full, 4);
  } else if (verb == "get" && words.size() == 3) {
    Invoke({words[0], words[1], words[2], "get"}, 4);
  } else if (verb == "put" && words.size() == 4) {
    Invoke({words[0], words[1], words[2], "put", words[3]}, 4);
  } else if (verb == "invoke" && words.size() >= 4) {
    Invoke(words, 4);
  } else if (verb == "release") {
    Release(words);
  } else if (verb == "canunload") {
    CanUnload();
  } else if (verb == "ports") {
    Ports();
  } else if ((verb == "hold" || verb == "free" || verb == "drain" || verb == "map" ||
              verb == "unmap") &&
             words.size() == 2) {
    const int port = std::atoi(words[1].c_str());
    if (verb == "hold") Hold(port);
    if (verb == "free") Free(port);
    if (verb == "drain") Drain(port);
    if (verb == "map" || verb == "unmap") Map(port, verb == "map");
  } else {
    Answer("error unknown command: " + line);
  }
  return true;
}

}  // namespace

int main() {
  SetUnhandledExceptionFilter(ReportCrash);
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  const HRESULT hr = CoInitialize(nullptr);
  if (FAILED(hr)) {
    Answer("error CoInitialize hr=" + Hex(hr));
    return 1;
  }
  Answer("ok ready");
  for (std::string line; std::getline(std::cin, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!Run(line)) break;
  }
  for (auto& [name, object] : Objects) object->Release();
  Objects.clear();
  for (auto& [port, handle] : HeldPorts) CloseHandle(handle);
  CoUninitialize();
  return 0;
}
