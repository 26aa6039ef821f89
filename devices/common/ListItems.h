#pragma once
// Lists and fault items as the host writes them: "AC1,DC3" or "4612,4705"
// for the console, "F1,E12" for the PLC trainer and the fault unit.
#include <cstdint>
#include <string_view>
#include <vector>

namespace orvo {

// Splits at each comma. Blanks belong to the items; two adjacent commas, or a
// leading one, give an empty item; one trailing comma adds no item; an empty
// (or null) list gives no item at all. The views point into `list`.
std::vector<std::u16string_view> SplitList(std::u16string_view list);

// `item` without the leading characters that are in `skipped`: the console
// skips blanks (u" "), the fault unit blanks and commas (u" ,").
std::u16string_view SkipLeading(std::u16string_view item, std::u16string_view skipped);

// The console's fault-item digit: the low 8 bits of the code unit, read as
// '0'-'9' (0 to 9) or upper-case 'A'-'F' (10 to 15); anything else is 0.
uint8_t ItemHexDigit(char16_t c);

// The PLC trainer's and the fault unit's fault-item digit: the character
// minus '0' in 8-bit arithmetic, unchecked, so a blank gives 0xF0.
inline uint8_t ItemDecimalDigit(char16_t c) { return static_cast<uint8_t>(c - u'0'); }

}  // namespace orvo
