#pragma once
// What every automation member of the device shells does around its device
// call: refuse a null out-pointer before anything happens, turn automation
// strings into views, and hand back the status or value with S_OK.
#include <cstdint>
#include <string_view>

#include "server/frame/Com.h"

namespace orvo {

// An automation string as the device classes take it: up to its first NUL,
// a null string being the empty one. The length prefix is not trusted, so an
// early-bound caller passing a plain wide string is read correctly too.
inline std::u16string_view TextOf(BSTR text) {
  if (!text) return {};
  static_assert(sizeof(OLECHAR) == sizeof(char16_t));
  return std::u16string_view(reinterpret_cast<const char16_t*>(text));
}

// No exception may unwind into the host through a vtable: the only ones the
// device classes can throw are allocation failures of their working strings.
template <class Call>
HRESULT Guarded(Call&& call) {
  try {
    call();
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

// Runs `call` only when `out` can take its result.
template <class Out, class Call>
HRESULT ReportResult(Out* out, Call&& call) {
  if (!out) return E_POINTER;
  return Guarded([&] { *out = static_cast<Out>(call()); });
}

// A string property: a new automation string the caller owns.
inline HRESULT ReportText(BSTR* out, std::u16string_view text) {
  if (!out) return E_POINTER;
  *out = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                           static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

// A property put: nothing to report.
template <class Call>
HRESULT Perform(Call&& call) {
  return Guarded(call);
}

}  // namespace orvo
