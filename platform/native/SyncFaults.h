#pragma once
// Test control for the host synchronisation seam.
#include "platform/WinTypes.h"

namespace orvo {

// The next CriticalSection::Initialize reports failure, as Win32 would with
// this last error (0 included).
void FailNextCriticalSectionInit(DWORD lastError);

}  // namespace orvo
