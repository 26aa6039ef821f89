#include "server/dll/ClassFactory.h"

#include <new>

#include "server/module/Module.h"

namespace orvo {
namespace {

void AddModuleLock() {
  if (CAtlModule* module = CAtlModule::Current()) module->AddModuleLock();
}
void ReleaseModuleLock() {
  if (CAtlModule* module = CAtlModule::Current()) module->ReleaseModuleLock();
}

}  // namespace

HRESULT CComClassFactory::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CComClassFactory::AddRef() {
  const LONG count = AtomicIncrement(Count);
  if (count == 2) AddModuleLock();
  return static_cast<ULONG>(count);
}

ULONG CComClassFactory::Release() {
  const LONG count = AtomicDecrement(Count);
  if (count == 0) {
    delete this;
  } else if (count == 1) {
    ReleaseModuleLock();
  }
  return static_cast<ULONG>(count);
}

HRESULT CComClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  // An aggregate must be able to hand out its own identity, so the outer
  // object can only ever ask for IUnknown.
  if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  return Creator(outer, iid, object);
}

HRESULT CComClassFactory::LockServer(BOOL lock) {
  if (lock) {
    AddModuleLock();
  } else {
    ReleaseModuleLock();
  }
  return S_OK;
}

CComClassFactory::~CComClassFactory() {
  Count = DestroyedCount;
  Lock.Delete();
}

HRESULT CreateClassObject(InstanceCreator creator, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  auto* factory = new (std::nothrow) CComClassFactory();
  if (!factory) return E_OUTOFMEMORY;
  if (const HRESULT result = factory->Lock.Initialize(); FAILED(result)) {
    delete factory;
    return result;
  }
  factory->Creator = creator;
  const HRESULT result = factory->QueryInterface(iid, object);
  if (FAILED(result)) delete factory;
  return result;
}

}  // namespace orvo
