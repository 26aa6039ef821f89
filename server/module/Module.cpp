#include "server/module/Module.h"

#include <new>

namespace orvo {
namespace {

// Both are constant-initialised, so they are valid before any static
// constructor of the DLL runs.
bool initializationFailed = false;
CAtlModule* currentModule = nullptr;

}  // namespace

bool ModuleInitializationFailed() { return initializationFailed; }
void SetModuleInitializationFailed(bool failed) { initializationFailed = failed; }

CAtlModule* CAtlModule::Current() { return currentModule; }

CAtlModule::CAtlModule() {
  currentModule = this;
  if (FAILED(StaticDataLock.Initialize())) {
    SetModuleInitializationFailed(true);
    return;
  }
  SizeMarker = sizeof(_ATL_MODULE70);
}

CAtlModule::~CAtlModule() {
  Terminate();
  if (currentModule == this) currentModule = nullptr;
}

void CAtlModule::AddTerminationEntry(TerminationFunction function, std::uintptr_t argument) {
  // Without a live module there is no lock to take and no termination to run
  // the entry.
  if (SizeMarker == 0) return;
  auto* entry = new (std::nothrow) TerminationEntry{function, argument, nullptr};
  if (!entry) return;
  CriticalSectionLock lock(StaticDataLock);
  entry->Next = TerminationList;
  TerminationList = entry;
}

void CAtlModule::AddTerminationEntryToCurrent(TerminationFunction function,
                                              std::uintptr_t argument) {
  if (currentModule) currentModule->AddTerminationEntry(function, argument);
}

void CAtlModule::Terminate() {
  if (SizeMarker == 0) return;
  while (TerminationEntry* entry = TerminationList) {
    TerminationList = entry->Next;
    entry->Function(entry->Argument);
    delete entry;
  }
  StaticDataLock.Delete();
  SizeMarker = 0;
}

}  // namespace orvo
