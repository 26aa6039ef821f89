#include "server/dll/ClassTable.h"

#include <atomic>

#include "server/module/Module.h"

namespace orvo {

ClassTableRecord::ClassTableRecord(HINSTANCE typeLibInstance, ClassTableEntry* first,
                                   ClassTableEntry* last)
    : TypeLibInstance(typeLibInstance), First(first), Last(last) {
  if (FAILED(Lock.Initialize())) {
    SetModuleInitializationFailed(true);
    return;
  }
  SizeMarker = sizeof(*this);
}

ClassTableRecord::~ClassTableRecord() {
  if (SizeMarker == 0) return;
  for (ClassTableEntry& entry : *this) {
    if (!entry.Cache || !*entry.Cache) continue;
    static_cast<IUnknown*>(DecodePointer(*entry.Cache))->Release();
    *entry.Cache = nullptr;
  }
  Lock.Delete();
  SizeMarker = 0;
}

void ClassTableRecord::CallObjectMain(bool starting) {
  for (ClassTableEntry& entry : *this) {
    if (entry.ObjectMain) entry.ObjectMain(starting);
  }
}

HRESULT ClassTableRecord::GetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (SizeMarker == 0) return E_UNEXPECTED;

  ClassTableEntry* found = nullptr;
  for (ClassTableEntry& entry : *this) {
    if (entry.GetClassObject && IsEqualCLSID(*entry.Clsid, clsid)) {
      found = &entry;
      break;
    }
  }
  if (!found) return CLASS_E_CLASSNOTAVAILABLE;

  HRESULT result = S_OK;
  // Read outside the lock by any thread, so read and written atomically: a
  // torn pointer would be called through. Checked again under the lock: two
  // threads asking at once must end up with the same class object, and the
  // loser must not leak its own.
  std::atomic_ref<void*> cache(*found->Cache);
  if (!cache.load(std::memory_order_acquire)) {
    CriticalSectionLock lock(Lock);
    if (!cache.load(std::memory_order_relaxed)) {
      IUnknown* created = nullptr;
      result = found->GetClassObject(found->CreateInstance, IID_IUnknown,
                                     reinterpret_cast<void**>(&created));
      if (SUCCEEDED(result)) cache.store(EncodePointer(created), std::memory_order_release);
    }
  }
  if (void* encoded = cache.load(std::memory_order_acquire)) {
    result = static_cast<IUnknown*>(DecodePointer(encoded))->QueryInterface(iid, object);
  }
  if (!*object && result == S_OK) result = CLASS_E_CLASSNOTAVAILABLE;
  return result;
}

}  // namespace orvo
