// The automation runtime's own conversion, for the DLL.
#include "platform/Variant.h"

#include <oleauto.h>

#include <string>

namespace orvo {

HRESULT VarUI4FromText(std::u16string_view text, ULONG& value) {
  std::wstring copy(text.begin(), text.end());
  ULONG number = 0;
  HRESULT hr = VarUI4FromStr(copy.data(), 0, 0, &number);
  if (SUCCEEDED(hr)) value = number;
  return hr;
}

}  // namespace orvo
