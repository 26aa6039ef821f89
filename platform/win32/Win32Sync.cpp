// Win32 implementation of the synchronisation seam.
#include "platform/Sync.h"

namespace orvo {

HRESULT CriticalSection::Initialize() {
  if (!InitializeCriticalSectionAndSpinCount(&Section, 0)) {
    DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
  }
  Ready = true;
  return S_OK;
}

void CriticalSection::Enter() { EnterCriticalSection(&Section); }
void CriticalSection::Leave() { LeaveCriticalSection(&Section); }

void CriticalSection::Delete() {
  if (Ready) DeleteCriticalSection(&Section);
  Ready = false;
}

LONG AtomicIncrement(LONG& value) { return InterlockedIncrement(&value); }
LONG AtomicDecrement(LONG& value) { return InterlockedDecrement(&value); }
LONG AtomicRead(LONG& value) { return InterlockedCompareExchange(&value, 0, 0); }

}  // namespace orvo
