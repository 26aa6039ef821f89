// The DLL's module-wide records, in the order the loader must build them,
// and its exported entry points.
#include "server/dll/DllModule.h"
#include "server/Result.h"

#include <cwchar>
#include <string_view>

#include "platform/Registry.h"
#include "server/dll/ClassObjectCreators.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace orvo {
namespace {

// The module's instance handles and the resource lock. A lock that cannot
// be initialised makes the DLL refuse to load.
class CAtlBaseModule {
 public:
  CAtlBaseModule()
      : ModuleHandle(reinterpret_cast<HINSTANCE>(&__ImageBase)), ResourceHandle(ModuleHandle) {
    if (FAILED(ResourceLock.Initialize())) {
      if (IsDebuggerPresent()) {
        OutputDebugStringW(L"ERROR : Unable to initialize critical section in CAtlBaseModule\n");
      }
      SetModuleInitializationFailed(true);
    }
  }
  ~CAtlBaseModule() { ResourceLock.Delete(); }
  CAtlBaseModule(const CAtlBaseModule&) = delete;
  CAtlBaseModule& operator=(const CAtlBaseModule&) = delete;

  HINSTANCE ModuleInstance() const { return ModuleHandle; }
  HINSTANCE ResourceInstance() const { return ResourceHandle; }

 private:
  HINSTANCE ModuleHandle;
  HINSTANCE ResourceHandle;
  CriticalSection ResourceLock;
};

// Empty start/stop hook: the device classes do all their work in their
// constructors.
void NoObjectMain(bool) {}

void* echoClassObject = nullptr;
void* faultClassObject = nullptr;
void* plcClassObject = nullptr;

// Registration, unregistration, lookup and start/stop all walk this order.
ClassTableEntry classEntries[] = {
    {&CLSID_Echo, [](bool doRegister) { return ApplyRegistryScript(106, doRegister); },
     &CreateClassObject, &CreateEchoObject, &echoClassObject, &NoObjectMain},
    {&CLSID_Fault, [](bool doRegister) { return ApplyRegistryScript(108, doRegister); },
     &CreateClassObject, &CreateFaultObject, &faultClassObject, &NoObjectMain},
    {&CLSID_Plc, [](bool doRegister) { return ApplyRegistryScript(107, doRegister); },
     &CreateClassObject, &CreatePlcObject, &plcClassObject, &NoObjectMain},
};

ClassTableRecord& Table();

// The module object, with the classes' start hooks run once it is live and
// their stop hooks run before it terminates.
class ModuleRecord {
 public:
  ModuleRecord() { Table().CallObjectMain(true); }
  ~ModuleRecord() {
    Table().CallObjectMain(false);
    ModuleObject.Terminate();
  }
  COrvoTrainerModule& Module() { return ModuleObject; }

 private:
  COrvoTrainerModule ModuleObject;
};

// Built in this order when the DLL loads and destroyed in reverse: the class
// objects are released only after the module object has terminated.
CAtlBaseModule baseModule;
ClassTableRecord classTable(baseModule.ModuleInstance(), std::begin(classEntries),
                            std::end(classEntries));
ModuleRecord moduleRecord;

ClassTableRecord& Table() { return classTable; }

bool perUserRegistration = false;

// Registration runs in the system default locale, whatever the caller's
// thread uses, and gives the caller's back afterwards.
class SystemLocaleScope {
 public:
  SystemLocaleScope() : Saved(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
  ~SystemLocaleScope() { SetThreadLocale(Saved); }
  SystemLocaleScope(const SystemLocaleScope&) = delete;
  SystemLocaleScope& operator=(const SystemLocaleScope&) = delete;

 private:
  LCID Saved;
};

HRESULT RegisterServer() {
  SystemLocaleScope locale;
  HRESULT result = RegisterAppScript();
  if (SUCCEEDED(result)) result = RegisterClasses();
  return result;
}

HRESULT UnregisterServer() {
  SystemLocaleScope locale;
  HRESULT result = UnregisterClasses();
  if (SUCCEEDED(result)) result = UnregisterAppScript();
  return result;
}

}  // namespace

HINSTANCE ModuleInstance() { return baseModule.ModuleInstance(); }
COrvoTrainerModule& ModuleObject() { return moduleRecord.Module(); }
ClassTableRecord& ClassTable() { return classTable; }
bool PerUserRegistration() { return perUserRegistration; }
void SetPerUserRegistration() { perUserRegistration = true; }

}  // namespace orvo

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH && orvo::ModuleInitializationFailed()) return FALSE;
  return TRUE;
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  return orvo::NoThrow([&] { return orvo::ClassTable().GetClassObject(clsid, iid, object); });
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return orvo::NoThrow([] { return orvo::ModuleObject().DllCanUnloadNow(); });
}

HRESULT STDAPICALLTYPE DllRegisterServer() { return orvo::NoThrow(orvo::RegisterServer); }

HRESULT STDAPICALLTYPE DllUnregisterServer() { return orvo::NoThrow(orvo::UnregisterServer); }

// regsvr32 /i:user (with /n) registers for the current user only; any other
// command line, longer ones that start with "user" included, registers for
// the machine.
HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR commandLine) {
  if (commandLine &&
      orvo::EqualsNoCase(std::u16string_view(reinterpret_cast<const char16_t*>(commandLine),
                                             std::wcslen(commandLine)),
                         u"user")) {
    orvo::SetPerUserRegistration();
  }
  if (!install) return orvo::NoThrow(orvo::UnregisterServer);
  const HRESULT result = orvo::NoThrow(orvo::RegisterServer);
  // Leave nothing half-registered behind.
  if (FAILED(result)) orvo::NoThrow(orvo::UnregisterServer);
  return result;
}

}  // extern "C"
