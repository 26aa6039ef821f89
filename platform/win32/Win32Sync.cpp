// Win32 implementation of the synchronisation seam.
#include "platform/Sync.h"

namespace orvo {

HRESULT CriticalSection::Initialize() {
  if (!InitializeCriticalSectionAndSpinCount(&section_, 0)) {
    DWORD error = GetLastError();
    return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
  }
  initialized_ = true;
  return S_OK;
}

void CriticalSection::Enter() { EnterCriticalSection(&section_); }
void CriticalSection::Leave() { LeaveCriticalSection(&section_); }

void CriticalSection::Delete() {
  if (initialized_) DeleteCriticalSection(&section_);
  initialized_ = false;
}

LONG AtomicIncrement(LONG& value) { return InterlockedIncrement(&value); }
LONG AtomicDecrement(LONG& value) { return InterlockedDecrement(&value); }
LONG AtomicRead(LONG& value) { return InterlockedCompareExchange(&value, 0, 0); }

}  // namespace orvo
