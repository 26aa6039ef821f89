#include "server/frame/Dispatch.h"

#include <new>

#include "server/module/Module.h"

namespace orvo {
namespace {

UINT NameLength(const OLECHAR* name) {
  UINT length = 0;
  if (name)
    while (name[length]) ++length;
  return length;
}

// The number of parameters the member `id` of this `kind` takes, or -1 when
// the interface has no such member.
int ParameterCount(ITypeInfo* typeInfo, DISPID id, INVOKEKIND kind) {
  TYPEATTR* attributes = nullptr;
  if (FAILED(typeInfo->GetTypeAttr(&attributes))) return -1;
  const int functions = attributes->cFuncs;
  typeInfo->ReleaseTypeAttr(attributes);
  for (int i = 0; i < functions; ++i) {
    FUNCDESC* function = nullptr;
    if (FAILED(typeInfo->GetFuncDesc(i, &function))) continue;
    const bool found = function->memid == id && function->invkind == kind;
    const int count = function->cParams;
    typeInfo->ReleaseFuncDesc(function);
    if (found) return count;
  }
  return -1;
}

// Releases an interface pointer held by a scope.
template <class I>
struct Releaser {
  I* Pointer = nullptr;
  ~Releaser() {
    if (Pointer) Pointer->Release();
  }
};

}  // namespace

int FindCachedName(const NameCacheEntry* entries, int count, const OLECHAR* name) {
  if (!entries) return -1;
  const UINT length = NameLength(name);
  for (int i = count - 1; i >= 0; --i) {
    const NameCacheEntry& entry = entries[i];
    // An entry left unread would otherwise answer the empty name with
    // DISPID -1 and S_OK.
    if (!entry.Name || entry.Length != length) continue;
    UINT k = 0;
    while (k < length && entry.Name[k] == name[k]) ++k;
    if (k == length) return i;
  }
  return -1;
}

HRESULT CComTypeInfoHolder::EnsureTypeInfo(LCID locale) {
  if (TypeInfo.load(std::memory_order_acquire) && Names.load(std::memory_order_acquire))
    return S_OK;
  CAtlModule* module = CAtlModule::Current();
  if (!module) return E_UNEXPECTED;
  module->EnterStaticDataLock();
  HRESULT hr = E_FAIL;
  if (TypeInfo.load(std::memory_order_relaxed)) {
    hr = S_OK;
  } else {
    Releaser<ITypeLib> library;
    hr = LoadRegTypeLib(*LibraryGuid, MajorVersion, MinorVersion, locale, &library.Pointer);
    if (hr == TYPE_E_LIBNOTREGISTERED && locale != TypeLibraryLocale)
      hr = LoadRegTypeLib(*LibraryGuid, MajorVersion, MinorVersion, TypeLibraryLocale,
                          &library.Pointer);
    if (SUCCEEDED(hr)) {
      ITypeInfo* typeInfo = nullptr;
      hr = library.Pointer->GetTypeInfoOfGuid(*InterfaceGuid, &typeInfo);
      if (SUCCEEDED(hr)) {
        // Keep the richer ITypeInfo2 object when the library hands out a
        // separate one; its ITypeInfo view is what callers get.
        ITypeInfo2* typeInfo2 = nullptr;
        if (SUCCEEDED(
                typeInfo->QueryInterface(IID_ITypeInfo2, reinterpret_cast<void**>(&typeInfo2)))) {
          if (static_cast<IUnknown*>(typeInfo2) != static_cast<IUnknown*>(typeInfo)) {
            ITypeInfo* view = nullptr;
            if (SUCCEEDED(
                    typeInfo2->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(&view)))) {
              typeInfo->Release();
              typeInfo = view;
            }
          }
          typeInfo2->Release();
        }
        TypeInfo.store(typeInfo, std::memory_order_release);
        module->AddTerminationEntry(&CComTypeInfoHolder::ReleaseTypeInfo,
                                    reinterpret_cast<std::uintptr_t>(this));
      }
    }
  }
  if (ITypeInfo* typeInfo = TypeInfo.load(std::memory_order_relaxed);
      typeInfo && !Names.load(std::memory_order_relaxed))
    hr = BuildNameCache(typeInfo);
  module->LeaveStaticDataLock();
  return hr;
}

HRESULT CComTypeInfoHolder::BuildNameCache(ITypeInfo* typeInfo) {
  TYPEATTR* attributes = nullptr;
  // Without attributes the fast path stays off; a later call tries again.
  if (FAILED(typeInfo->GetTypeAttr(&attributes))) return S_OK;
  const int count = attributes->cFuncs;
  NameCacheEntry* entries = nullptr;
  if (count != 0) {
    entries = new (std::nothrow) NameCacheEntry[count];
    if (!entries) {
      typeInfo->ReleaseTypeAttr(attributes);
      return E_OUTOFMEMORY;
    }
    for (int i = 0; i < count; ++i) entries[i] = {nullptr, 0, DISPID_UNKNOWN};
  }
  for (int i = 0; i < count; ++i) {
    FUNCDESC* function = nullptr;
    if (FAILED(typeInfo->GetFuncDesc(i, &function))) continue;
    BSTR name = nullptr;
    if (SUCCEEDED(typeInfo->GetDocumentation(function->memid, &name, nullptr, nullptr, nullptr))) {
      entries[i] = {name, SysStringLen(name), function->memid};
    }
    typeInfo->ReleaseFuncDesc(function);
  }
  NameCount = count;
  Names.store(entries, std::memory_order_release);
  typeInfo->ReleaseTypeAttr(attributes);
  return S_OK;
}

HRESULT CComTypeInfoHolder::Loaded(LCID locale) {
  if (TypeInfo.load(std::memory_order_acquire) && Names.load(std::memory_order_acquire))
    return S_OK;
  const HRESULT hr = EnsureTypeInfo(locale);
  if (TypeInfo.load(std::memory_order_acquire)) return S_OK;
  // A failure is what the caller sees; a "success" without type information
  // must not read as one.
  return FAILED(hr) ? hr : E_FAIL;
}

HRESULT CComTypeInfoHolder::GetTypeInfo(UINT index, LCID locale, ITypeInfo** result) {
  if (index != 0) return DISP_E_BADINDEX;
  if (!result) return E_POINTER;
  HRESULT hr = S_OK;
  if (!TypeInfo.load(std::memory_order_acquire)) hr = EnsureTypeInfo(locale);
  ITypeInfo* typeInfo = TypeInfo.load(std::memory_order_acquire);
  *result = typeInfo;
  if (!typeInfo) return FAILED(hr) ? hr : E_FAIL;
  typeInfo->AddRef();
  return S_OK;
}

HRESULT CComTypeInfoHolder::GetIDsOfNames(LPOLESTR* names, UINT count, LCID locale, DISPID* ids) {
  const HRESULT hr = Loaded(locale);
  if (FAILED(hr)) return hr;
  NameCacheEntry* entries = Names.load(std::memory_order_acquire);
  if (entries && count == 1 && names && ids) {
    const int hit = FindCachedName(entries, NameCount, names[0]);
    if (hit >= 0) {
      ids[0] = entries[hit].Id;
      return S_OK;
    }
  }
  return TypeInfo.load(std::memory_order_acquire)->GetIDsOfNames(names, count, ids);
}

HRESULT CComTypeInfoHolder::Invoke(IDispatch* self, DISPID id, LCID locale, WORD flags,
                                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) {
  const HRESULT hr = Loaded(locale);
  if (FAILED(hr)) return hr;
  ITypeInfo* typeInfo = TypeInfo.load(std::memory_order_acquire);
  // A put takes its value and nothing else. Wine's type-library dispatch
  // drops whatever comes beyond it, so a script's o.Port(7) = 41 (an index
  // Port does not have) would set Port and report success where Windows
  // refuses the call; it is refused here on both.
  if (parameters && (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))) {
    const int taken = ParameterCount(
        typeInfo, id, flags & DISPATCH_PROPERTYPUT ? INVOKE_PROPERTYPUT : INVOKE_PROPERTYPUTREF);
    if (taken >= 0 && parameters->cArgs > static_cast<UINT>(taken)) return DISP_E_BADPARAMCOUNT;
  }
  return typeInfo->Invoke(self, id, flags, parameters, result, exception, argumentError);
}

void CComTypeInfoHolder::Clear() {
  if (ITypeInfo* typeInfo = TypeInfo.exchange(nullptr)) typeInfo->Release();
  if (NameCacheEntry* entries = Names.exchange(nullptr)) {
    for (int i = 0; i < NameCount; ++i) SysFreeString(entries[i].Name);
    delete[] entries;
  }
  NameCount = 0;
}

void CComTypeInfoHolder::ReleaseTypeInfo(std::uintptr_t holder) {
  reinterpret_cast<CComTypeInfoHolder*>(holder)->Clear();
}

}  // namespace orvo
