#pragma once
// TEMPORARY: stands in for the automation objects until they are merged, so
// that the DLL links and its registration can be tested. Remove together
// with ObjectsStandIn.cpp when server/objects/ is present.
#include "server/dll/Com.h"

namespace orvo {

HRESULT CreateEchoObject(IUnknown* outer, REFIID iid, void** object);
HRESULT CreatePlcObject(IUnknown* outer, REFIID iid, void** object);
HRESULT CreateFaultObject(IUnknown* outer, REFIID iid, void** object);

}  // namespace orvo
