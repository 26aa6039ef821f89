#include "server/frame/ObjectRoot.h"

namespace orvo {

HRESULT FindInterface(void* object, const InterfaceMapEntry* map, REFIID iid, void** result) {
  if (!object || !map) return E_INVALIDARG;
  if (!result) return E_POINTER;
  // The first row is the identity: every IUnknown answer must be the same
  // pointer for COM's identity rule.
  if (IsEqualIID(iid, IID_IUnknown)) {
    IUnknown* identity = map->Interface(object);
    identity->AddRef();
    *result = identity;
    return S_OK;
  }
  for (const InterfaceMapEntry* entry = map; entry->Iid; ++entry) {
    if (IsEqualIID(iid, *entry->Iid)) {
      IUnknown* found = entry->Interface(object);
      found->AddRef();
      *result = found;
      return S_OK;
    }
  }
  *result = nullptr;
  return E_NOINTERFACE;
}

}  // namespace orvo
