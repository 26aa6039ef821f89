#pragma once
// Critical sections and interlocked counters for the module object and the
// class table. Win32 provides them in the DLL; the host build uses the
// standard library so that the same code is tested natively.
#include "platform/WinTypes.h"

#ifndef _WIN32
#include <mutex>
#endif

namespace orvo {

// A recursive lock that has to be initialised before use, because on Win32
// initialisation can fail and the module must be able to refuse to load.
class CriticalSection {
 public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  ~CriticalSection() { Delete(); }

  // S_OK, or the failure made from the system's error code. A failure whose
  // error code is 0 is still a failure (E_FAIL): the lock is unusable either
  // way.
  HRESULT Initialize();
  void Enter();
  void Leave();
  // Safe to call when not initialised, and more than once.
  void Delete();
  bool Initialized() const { return Ready; }

 private:
  bool Ready = false;
#ifdef _WIN32
  CRITICAL_SECTION Section{};
#else
  std::recursive_mutex Mutex;
#endif
};

// Holds a critical section for the life of a scope.
class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CriticalSection& section) : Section(section) { Section.Enter(); }
  ~CriticalSectionLock() { Section.Leave(); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

 private:
  CriticalSection& Section;
};

// Interlocked increment and decrement; both return the new value.
LONG AtomicIncrement(LONG& value);
LONG AtomicDecrement(LONG& value);
LONG AtomicRead(LONG& value);

}  // namespace orvo
