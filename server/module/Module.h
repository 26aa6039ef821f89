#pragma once
// The module object: counts what keeps the DLL loaded, guards one-time loads
// of shared data, and runs clean-up calls when the DLL unloads.
#include <cstdint>

#include "platform/Sync.h"
#include "platform/WinTypes.h"
#include "server/registrar/RegObject.h"

namespace orvo {

// A clean-up call registered for module termination.
using TerminationFunction = void (*)(std::uintptr_t argument);

struct TerminationEntry {
  TerminationFunction Function;
  std::uintptr_t Argument;
  TerminationEntry* Next;  // the next older entry
};

// Set when a lock of the frame cannot be initialised; the DLL then refuses
// to load. Start-up code sets it, and nothing clears it outside tests.
bool ModuleInitializationFailed();
void SetModuleInitializationFailed(bool failed);

struct _ATL_MODULE70 {
  // The record's size once the static-data lock is initialised; 0 before
  // that, after a failed initialisation and after termination.
  uint32_t SizeMarker = 0;
  LONG ModuleLock = 0;
  TerminationEntry* TerminationList = nullptr;  // newest first
  CriticalSection StaticDataLock;
};

class CAtlModule : public _ATL_MODULE70 {
 public:
  CAtlModule();
  virtual ~CAtlModule();
  CAtlModule(const CAtlModule&) = delete;
  CAtlModule& operator=(const CAtlModule&) = delete;

  virtual LONG AddModuleLock() { return AtomicIncrement(ModuleLock); }
  virtual LONG ReleaseModuleLock() { return AtomicDecrement(ModuleLock); }
  virtual LONG ModuleLockCount() { return AtomicRead(ModuleLock); }
  // The replacements every registry script of the module may use.
  virtual HRESULT AddCommonReplacements(IRegistrarBase& registrar) = 0;

  // Appends a clean-up call. A live module only: before start-up, after a
  // failed one and after termination the call is dropped, as it is when the
  // entry cannot be allocated.
  void AddTerminationEntry(TerminationFunction function, std::uintptr_t argument);
  // The same on the process's current module; dropped when there is none.
  static void AddTerminationEntryToCurrent(TerminationFunction function, std::uintptr_t argument);
  void EnterStaticDataLock() { StaticDataLock.Enter(); }
  void LeaveStaticDataLock() { StaticDataLock.Leave(); }

  // Runs the termination list, newest entry first, and deletes the lock.
  // Only the first call after a successful start-up does anything.
  void Terminate();

  const GUID& LibraryId() const { return LibraryGuid; }

  // The module object of the process, or null.
  static CAtlModule* Current();

 protected:
  GUID LibraryGuid{};
};

template <class T>
class CAtlModuleT : public CAtlModule {
 public:
  CAtlModuleT() { LibraryGuid = T::LibraryIdentifier; }

  HRESULT AddCommonReplacements(IRegistrarBase& registrar) override {
    return registrar.AddReplacementEntry(u"APPID", T::ApplicationIdentifier);
  }
};

template <class T>
class CAtlDllModuleT : public CAtlModuleT<T> {
 public:
  // The DLL may be unloaded only when nothing holds the module lock.
  HRESULT DllCanUnloadNow() { return this->ModuleLockCount() == 0 ? S_OK : S_FALSE; }
};

class COrvoTrainerModule : public CAtlDllModuleT<COrvoTrainerModule> {
 public:
  // LIBID_OrvoTrainerLib.
  static constexpr GUID LibraryIdentifier{
      0x4B1E9C27, 0x7A3D, 0x4F60, {0x9E, 0x15, 0x2C, 0x8D, 0x5A, 0x06, 0xB3, 0xF1}};
  static constexpr const char16_t* ApplicationIdentifier =
      u"{3E6D9B50-7C81-4FA2-B4E9-0D2F5C86A17B}";
};

}  // namespace orvo
