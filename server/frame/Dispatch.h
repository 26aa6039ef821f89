#pragma once
// Late-bound calls: IDispatch answered from the registered type library, one
// holder of type information per dual interface, shared by every instance.
#include <atomic>
#include <cstdint>

#include "server/frame/Com.h"

namespace orvo {

// The locale the module's type library is built and registered with. A
// caller's own locale (a German script host passes 0x0407, Wine's passes 0)
// finds no registration of its own, so the load falls back to this one
// instead of failing every late-bound call.
inline constexpr LCID TypeLibraryLocale = 0x0409;

// One member name of the interface, for the GetIDsOfNames fast path.
struct NameCacheEntry {
  BSTR Name;
  UINT Length;
  DISPID Id;
};

// Index of the entry whose name equals `name` exactly (case and length),
// searched from the last entry down; -1 when none does. A null name is the
// empty name. Entries whose name could not be read never match.
int FindCachedName(const NameCacheEntry* entries, int count, const OLECHAR* name);

class CComTypeInfoHolder {
 public:
  constexpr CComTypeInfoHolder(const GUID* iid, const GUID* libid, WORD major, WORD minor)
      : InterfaceGuid(iid), LibraryGuid(libid), MajorVersion(major), MinorVersion(minor) {}

  // Loads the interface's type information from the registered library once
  // per module life, under the module's static-data lock, and builds the name
  // cache.
  HRESULT EnsureTypeInfo(LCID locale);

  HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** result);
  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, LCID locale, DISPID* ids);
  HRESULT Invoke(IDispatch* self, DISPID id, LCID locale, WORD flags, DISPPARAMS* parameters,
                 VARIANT* result, EXCEPINFO* exception, UINT* argumentError);

  // Run from the module's termination list.
  static void ReleaseTypeInfo(std::uintptr_t holder);

 private:
  HRESULT BuildNameCache(ITypeInfo* typeInfo);
  // The type information and name cache, or the failure that kept them out.
  HRESULT Loaded(LCID locale);
  void Clear();

  const GUID* InterfaceGuid;
  const GUID* LibraryGuid;
  WORD MajorVersion;
  WORD MinorVersion;
  // Read without the lock by the fast check; written only under it.
  std::atomic<ITypeInfo*> TypeInfo{nullptr};
  std::atomic<NameCacheEntry*> Names{nullptr};
  int NameCount = 0;
};

// IDispatch for dual interface Interface, driven by its type information.
template <class Interface, const IID* Iid, const GUID* Libid, WORD Major = 1, WORD Minor = 0>
class IDispatchImpl : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** result) override {
    return Holder.GetTypeInfo(index, locale, result);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override {
    return Holder.GetIDsOfNames(names, count, locale, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID locale, WORD flags,
                                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override {
    return Holder.Invoke(this, id, locale, flags, parameters, result, exception, argumentError);
  }

 private:
  static inline CComTypeInfoHolder Holder{Iid, Libid, Major, Minor};
};

}  // namespace orvo
