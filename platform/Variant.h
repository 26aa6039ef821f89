#pragma once
// Text to number conversion as the automation runtime does it
// (VarUI4FromStr with locale 0 and no flags), used for the registry scripts'
// DWORD values.
#include <string_view>

#include "platform/WinTypes.h"

namespace orvo {

// S_OK with the number, DISP_E_OVERFLOW when it does not fit 32 bits
// unsigned, DISP_E_TYPEMISMATCH when the text is not a number.
HRESULT VarUI4FromText(std::u16string_view text, ULONG& value);

}  // namespace orvo
