#pragma once
// The instance creators of the three automation classes, which the class
// objects call. Each returns E_POINTER, E_OUTOFMEMORY, CLASS_E_NOAGGREGATION
// (an outer object asking for anything but IUnknown) or the result of the new
// object's QueryInterface; on failure nothing is left allocated and no module
// lock is held.
#include "server/frame/Com.h"

namespace orvo {

HRESULT CreateEchoObject(IUnknown* outer, REFIID iid, void** object);
HRESULT CreatePlcObject(IUnknown* outer, REFIID iid, void** object);
HRESULT CreateFaultObject(IUnknown* outer, REFIID iid, void** object);

}  // namespace orvo
