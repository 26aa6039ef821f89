#pragma once
// The units' state by name: one table serves orvo-sim's control lines
// ("set console5 model 3") and the options of a unit description
// ("console:5:model=3"), so the two can never mean different things.
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/UnitBase.h"

namespace orvo::sim {

enum class UnitKind { Console, Plc, Fault };

using Numbers = std::vector<long>;

// A piece of unit state. The limits give the numbers a get or a set takes
// after the field's name, each from 0 up to its limit.
struct Field {
  std::string_view Name;
  std::vector<long> GetLimits;
  std::vector<long> SetLimits;  // empty: read-only
  std::function<std::string(UnitBase&, const Numbers&)> Get;
  std::function<void(UnitBase&, const Numbers&)> Set;
};

UnitKind KindOf(const UnitBase& unit);
// The fields every unit has, then those of its kind; null when there is none.
const Field* FindField(UnitKind kind, std::string_view name);

// Exactly as many numbers as there are limits, each within its limit.
std::optional<Numbers> TakeNumbers(std::span<const std::string_view> words,
                                   const std::vector<long>& limits);
// What TakeNumbers wants, for error texts: "a number 0..255",
// "3 numbers 0..255 0..255 0..255".
std::string DescribeLimits(const std::vector<long>& limits);

}  // namespace orvo::sim
