#pragma once
// Reference counting, interface maps and the three forms an automation object
// takes: stand-alone, aggregate, and the object contained in an aggregate.
#include <cstdint>
#include <new>

#include "server/frame/Com.h"
#include "server/module/Module.h"

namespace orvo {

// The count a dying object carries, so that a stray AddRef/Release from its
// own destructor can never bring it back to zero and delete it twice.
inline constexpr LONG DestroyedCount = static_cast<LONG>(0xC0000001u);

// Counting for objects used only on their apartment's thread.
struct CComSingleThreadModel {
  static LONG Increment(LONG* value) { return ++*value; }
  static LONG Decrement(LONG* value) { return --*value; }
};

// Counting for objects shared between threads (the class objects).
struct CComMultiThreadModel {
  static LONG Increment(LONG* value) { return InterlockedIncrement(value); }
  static LONG Decrement(LONG* value) { return InterlockedDecrement(value); }
};

// The module lock of the process's module object. A frame without a module
// object (nothing but tests) simply has nothing to count.
inline void AddModuleLock() {
  if (CAtlModule* module = CAtlModule::Current()) module->AddModuleLock();
}
inline void ReleaseModuleLock() {
  if (CAtlModule* module = CAtlModule::Current()) module->ReleaseModuleLock();
}

// One row of an interface map: the identifier and how to reach the matching
// base sub-object from the object's base address. A map ends with a row whose
// identifier is null.
struct InterfaceMapEntry {
  const IID* Iid;
  IUnknown* (*Interface)(void* object);
};

// The interface of base I within class T, for a map row.
template <class T, class I>
IUnknown* InterfaceOf(void* object) {
  return static_cast<I*>(static_cast<T*>(object));
}

// The core of QueryInterface: IUnknown is the map's first row, everything
// else the first row with the identifier; anything missing is refused.
HRESULT FindInterface(void* object, const InterfaceMapEntry* map, REFIID iid, void** result);

// The word at the root of every object: its own reference count while it
// stands alone, the outer object's IUnknown while it is contained in an
// aggregate.
template <class ThreadModel>
class CComObjectRootEx {
 public:
  CComObjectRootEx() : Count(0) {}

  // Construction and release hooks for the device class; nothing to do by
  // default.
  HRESULT FinalConstruct() { return S_OK; }
  void FinalRelease() {}

  LONG InternalAddRef() { return ThreadModel::Increment(&Count); }
  LONG InternalRelease() { return ThreadModel::Decrement(&Count); }
  // Raised around FinalConstruct so that a hook handing out and dropping a
  // reference to itself cannot destroy the object being built.
  void InternalFinalConstructAddRef() { InternalAddRef(); }
  void InternalFinalConstructRelease() { InternalRelease(); }

  void SetOuter(IUnknown* outer) { Outer = outer; }
  ULONG OuterAddRef() { return Outer->AddRef(); }
  ULONG OuterRelease() { return Outer->Release(); }
  HRESULT OuterQueryInterface(REFIID iid, void** result) {
    return Outer->QueryInterface(iid, result);
  }

 protected:
  union {
    LONG Count;
    IUnknown* Outer;
  };
};

// Binds a device shell to its class identifier and gives it its creation
// function, the instance creator the class object calls.
template <class T, const CLSID* Clsid>
class CComCoClass {
 public:
  static const CLSID& GetObjectCLSID() { return *Clsid; }
  static HRESULT CreateObject(IUnknown* outer, REFIID iid, void** result);
};

// A stand-alone object: counts its own references and answers IUnknown from
// the map.
template <class T>
class CComObject : public T {
 public:
  // The instance holds one module lock for its whole life; taken only once
  // the device object has been constructed, so a failed construction
  // leaves none behind.
  CComObject() { AddModuleLock(); }
  virtual ~CComObject() {
    this->Count = DestroyedCount;
    this->FinalRelease();
    ReleaseModuleLock();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override {
    if (!result) return E_POINTER;
    return FindInterface(static_cast<T*>(this), T::InterfaceMap(), iid, result);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return this->InternalAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG count = this->InternalRelease();
    if (count == 0) {
      // The module must stay loaded while the destructor runs, even when
      // this object held the last lock.
      AddModuleLock();
      delete this;
      ReleaseModuleLock();
    }
    return static_cast<ULONG>(count);
  }
};

// The device object inside an aggregate: every IUnknown call on any of its
// interfaces goes to the outer object.
template <class T>
class CComContainedObject : public T {
 public:
  explicit CComContainedObject(IUnknown* outer) { this->SetOuter(outer); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override {
    return this->OuterQueryInterface(iid, result);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return this->OuterAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return this->OuterRelease(); }
};

// An aggregate's own, non-delegating IUnknown, which the outer object keeps;
// it owns the contained device object.
template <class T>
class CComAggObject : public IUnknown, public CComObjectRootEx<CComSingleThreadModel> {
 public:
  explicit CComAggObject(IUnknown* outer) : Contained(outer) { AddModuleLock(); }
  virtual ~CComAggObject() {
    Count = DestroyedCount;
    FinalRelease();
    ReleaseModuleLock();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override {
    if (!result) return E_POINTER;
    *result = nullptr;
    if (IsEqualIID(iid, IID_IUnknown)) {
      *result = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return FindInterface(static_cast<T*>(&Contained), T::InterfaceMap(), iid, result);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InternalAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG count = InternalRelease();
    if (count == 0) {
      AddModuleLock();
      delete this;
      ReleaseModuleLock();
    }
    return static_cast<ULONG>(count);
  }

  HRESULT FinalConstruct() { return Contained.FinalConstruct(); }
  void FinalRelease() { Contained.FinalRelease(); }

 private:
  CComContainedObject<T> Contained;
};

// Builds one instance of Object (the stand-alone or aggregate form), runs the
// construction hook and asks it for `iid`. The device constructor may throw
// (allocation of its strings or link); that, like a failed allocation, is
// E_OUTOFMEMORY with nothing left behind.
template <class Object, class... Arguments>
HRESULT CreateAndQuery(REFIID iid, void** result, Arguments... arguments) {
  Object* object = nullptr;
  try {
    object = new (std::nothrow) Object(arguments...);
  } catch (...) {
    object = nullptr;
  }
  if (!object) return E_OUTOFMEMORY;
  object->InternalFinalConstructAddRef();
  HRESULT hr = object->FinalConstruct();
  object->InternalFinalConstructRelease();
  if (hr == S_OK) hr = object->QueryInterface(iid, result);
  // Still at count 0: nobody else can hold it.
  if (hr != S_OK) delete object;
  return hr;
}

template <class T, const CLSID* Clsid>
HRESULT CComCoClass<T, Clsid>::CreateObject(IUnknown* outer, REFIID iid, void** result) {
  if (!result) return E_POINTER;
  *result = nullptr;
  if (outer) {
    // The class object refuses this already; the check is repeated because
    // handing out a delegating interface of an aggregate whose own count is
    // 0 would leak it and let the outer object's count run it.
    if (!IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return CreateAndQuery<CComAggObject<T>>(iid, result, outer);
  }
  return CreateAndQuery<CComObject<T>>(iid, result);
}

}  // namespace orvo
