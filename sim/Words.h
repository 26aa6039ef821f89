#pragma once
// Small text helpers for command lines and control lines.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/HexText.h"

namespace orvo::sim {

// Splits at every `separator`; empty pieces are kept, so "a::b" has three.
std::vector<std::string_view> SplitAt(std::string_view text, char separator);
// Splits at runs of blanks; no empty pieces.
std::vector<std::string_view> Words(std::string_view text);
// Decimal, or hexadecimal with 0x; the whole text must be the number.
std::optional<long> ParseNumber(std::string_view text);

}  // namespace orvo::sim
