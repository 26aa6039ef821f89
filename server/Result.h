#pragma once
// HRESULT plumbing shared by the automation server frame.
#include <new>

#include "platform/WinTypes.h"

// Returns the HRESULT of `expression` from the enclosing function when it is
// a failure.
#define ORVO_RETURN_IF_FAILED(expression)      \
  do {                                         \
    const HRESULT OrvoResult = (expression);   \
    if (FAILED(OrvoResult)) return OrvoResult; \
  } while (false)

namespace orvo {

// A system error code as an HRESULT; ERROR_SUCCESS is S_OK.
inline HRESULT HResultFromCode(LONG code) { return HRESULT_FROM_WIN32(code); }

// The HRESULT of a step that is known to have failed. Some system calls
// fail without setting an error code; that must not read as success.
inline HRESULT HResultFromFailure(LONG code) {
  return code == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(code);
}

// Runs an entry point's work so that no exception crosses into the caller,
// who is not C++ and could not catch it. Our code throws only
// std::bad_alloc; anything else would be a defect, reported as E_UNEXPECTED
// rather than as a crash of the host.
template <class Work>
HRESULT NoThrow(Work&& work) noexcept {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace orvo
