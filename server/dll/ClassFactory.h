#pragma once
// The class object of each automation class: an IClassFactory that hands
// its instance creator the caller's arguments, cached by the class table for
// the life of the module.
#include "platform/Sync.h"
#include "server/frame/Com.h"

namespace orvo {

// An automation class's instance creator: E_POINTER, E_OUTOFMEMORY or the
// result of the new object's QueryInterface.
using InstanceCreator = HRESULT (*)(IUnknown* outer, REFIID iid, void** object);

// A class object that stays cached: the cache's own reference does not keep
// the module loaded, only a client's does (the count's second unit takes
// the module lock and giving it back releases the lock).
class CComClassFactory final : public IClassFactory {
 public:
  // The count a destroyed object is left with, so that a stray call through
  // a dangling pointer is recognisable in a debugger.
  static constexpr LONG DestroyedCount = static_cast<LONG>(0xC0000001u);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

  virtual ~CComClassFactory();

 private:
  friend HRESULT CreateClassObject(InstanceCreator creator, REFIID iid, void** object);
  CComClassFactory() = default;

  LONG Count = 0;
  CriticalSection Lock;
  InstanceCreator Creator = nullptr;
};

// A new class object serving `creator`, asked for `iid`. Nothing is left
// allocated on failure.
HRESULT CreateClassObject(InstanceCreator creator, REFIID iid, void** object);

}  // namespace orvo
