#pragma once
// The two container interfaces every device object answers: the safety
// options a browser or script host negotiates, and the site it is placed in.
#include "server/frame/Com.h"

namespace orvo {

// Hands back the object's site. The site reference is owned: taken when set,
// dropped when replaced, cleared or when the object dies.
template <class T>
class IObjectWithSiteImpl : public IObjectWithSite {
 public:
  IObjectWithSiteImpl() = default;
  IObjectWithSiteImpl(const IObjectWithSiteImpl&) = delete;
  IObjectWithSiteImpl& operator=(const IObjectWithSiteImpl&) = delete;
  ~IObjectWithSiteImpl() {
    if (Site) Site->Release();
  }

  HRESULT STDMETHODCALLTYPE SetSite(IUnknown* site) override {
    if (site == Site) return S_OK;
    if (site) site->AddRef();
    IUnknown* old = Site;
    Site = site;
    // Released last: the old site's release may call back into us.
    if (old) old->Release();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetSite(REFIID iid, void** result) override {
    if (!result) return E_POINTER;
    if (!Site) {
      *result = nullptr;
      return E_FAIL;
    }
    return Site->QueryInterface(iid, result);
  }

 protected:
  IUnknown* Site = nullptr;
};

// Safety options: one set per object, whichever interface is named, out of
// the options in Supported.
template <class T, DWORD Supported>
class IObjectSafetyImpl : public IObjectSafety {
 public:
  HRESULT STDMETHODCALLTYPE GetInterfaceSafetyOptions(REFIID iid, DWORD* supported,
                                                      DWORD* enabled) override {
    if (!supported || !enabled) return E_POINTER;
    // Through the object's own QueryInterface: in an aggregate the outer
    // object decides which interfaces exist.
    IUnknown* unknown = nullptr;
    const HRESULT hr = QueryInterface(iid, reinterpret_cast<void**>(&unknown));
    if (FAILED(hr)) {
      *supported = 0;
      *enabled = 0;
      return hr;
    }
    unknown->Release();
    *supported = Supported;
    *enabled = EnabledOptions;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetInterfaceSafetyOptions(REFIID iid, DWORD mask,
                                                      DWORD options) override {
    IUnknown* unknown = nullptr;
    if (FAILED(QueryInterface(iid, reinterpret_cast<void**>(&unknown)))) return E_NOINTERFACE;
    unknown->Release();
    if (mask & ~Supported) return E_FAIL;
    if (!PermitsSafetyOptions()) return E_ACCESSDENIED;
    EnabledOptions = (EnabledOptions & ~mask) | (mask & options);
    return S_OK;
  }

  // A class that must not be marked safe overrides this; ours all may be.
  virtual bool PermitsSafetyOptions() { return true; }

 protected:
  DWORD EnabledOptions = 0;
};

}  // namespace orvo
