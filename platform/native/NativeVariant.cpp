// Host stand-in for VarUI4FromStr. It covers what registry scripts write:
// decimal digits with optional blanks around them and an optional sign
// (a negative number other than zero overflows, as on Windows). The runtime
// also takes thousands separators, fractions, exponents and "&H" hex; scripts
// do not use them, and here they are a type mismatch.
#include "platform/Variant.h"

namespace orvo {
namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

}  // namespace

HRESULT VarUI4FromText(std::u16string_view text, ULONG& value) {
  std::size_t i = 0, end = text.size();
  while (i < end && IsBlank(text[i])) ++i;
  while (end > i && IsBlank(text[end - 1])) --end;
  bool negative = false;
  if (i < end && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  if (i == end) return DISP_E_TYPEMISMATCH;
  uint64_t number = 0;
  bool overflow = false;
  for (; i < end; ++i) {
    if (text[i] < u'0' || text[i] > u'9') return DISP_E_TYPEMISMATCH;
    number = number * 10 + static_cast<uint64_t>(text[i] - u'0');
    if (number > 0xFFFFFFFFu) {
      overflow = true;
      number = 0xFFFFFFFFu + uint64_t{1};
    }
  }
  if (overflow || (negative && number != 0)) return DISP_E_OVERFLOW;
  value = static_cast<ULONG>(number);
  return S_OK;
}

}  // namespace orvo
