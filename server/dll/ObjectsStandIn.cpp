// TEMPORARY: see ObjectsStandIn.h. Every creator refuses with E_NOTIMPL.
#include "server/dll/ObjectsStandIn.h"

namespace orvo {
namespace {

HRESULT NotYetAvailable(void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  return E_NOTIMPL;
}

}  // namespace

HRESULT CreateEchoObject(IUnknown*, REFIID, void** object) { return NotYetAvailable(object); }
HRESULT CreatePlcObject(IUnknown*, REFIID, void** object) { return NotYetAvailable(object); }
HRESULT CreateFaultObject(IUnknown*, REFIID, void** object) { return NotYetAvailable(object); }

}  // namespace orvo
