// Host implementation of the synchronisation seam. A std::recursive_mutex
// cannot fail to initialise, so tests can make the next initialisation fail
// on purpose, with a chosen system error code, to drive the module's
// load-failure path.
#include <atomic>

#include "platform/Sync.h"
#include "platform/native/SyncFaults.h"

namespace orvo {
namespace {

struct PendingFailure {
  bool Armed = false;
  DWORD LastError = 0;
};
PendingFailure pendingFailure;
std::mutex pendingFailureLock;

}  // namespace

void FailNextCriticalSectionInit(DWORD lastError) {
  std::lock_guard guard(pendingFailureLock);
  pendingFailure = {true, lastError};
}

HRESULT CriticalSection::Initialize() {
  {
    std::lock_guard guard(pendingFailureLock);
    if (pendingFailure.Armed) {
      pendingFailure.Armed = false;
      return pendingFailure.LastError ? HRESULT_FROM_WIN32(pendingFailure.LastError) : E_FAIL;
    }
  }
  Ready = true;
  return S_OK;
}

void CriticalSection::Enter() { Mutex.lock(); }
void CriticalSection::Leave() { Mutex.unlock(); }
void CriticalSection::Delete() { Ready = false; }

LONG AtomicIncrement(LONG& value) { return std::atomic_ref<LONG>(value).fetch_add(1) + 1; }
LONG AtomicDecrement(LONG& value) { return std::atomic_ref<LONG>(value).fetch_sub(1) - 1; }
LONG AtomicRead(LONG& value) { return std::atomic_ref<LONG>(value).load(); }

}  // namespace orvo
