#include "sim/UnitSetup.h"

#include <array>
#include <utility>

#include "sim/Console.h"
#include "sim/FaultUnit.h"
#include "sim/PlcTrainer.h"
#include "sim/Words.h"

namespace orvo::sim {
namespace {

constexpr std::array<std::pair<std::string_view, UnitKind>, 3> Kinds{{
    {"console", UnitKind::Console},
    {"plc", UnitKind::Plc},
    {"fault", UnitKind::Fault},
}};

constexpr std::array<std::pair<std::string_view, Misbehaviour>, 7> Misbehaviours{{
    {"none", Misbehaviour::None},
    {"silent", Misbehaviour::Silent},
    {"short", Misbehaviour::ShortReply},
    {"other-address", Misbehaviour::OtherAddress},
    {"late", Misbehaviour::Late},
    {"garbage", Misbehaviour::Garbage},
    {"vanish", Misbehaviour::Vanish},
}};

std::optional<long> InRange(std::string_view text, long low, long high) {
  const std::optional<long> value = ParseNumber(text);
  if (!value || *value < low || *value > high) return std::nullopt;
  return value;
}

// Highest COM number the module's port lists can hold.
constexpr long HighestPort = 32767;

// A field of the unit's state: VALUE is one number, or several separated by
// '.' or '/', as the control line takes them after the field's name.
std::string ApplyField(UnitSetup& setup, std::string_view key, std::string_view value) {
  const Field* field = FindField(setup.Kind, key);
  if (field == nullptr) return "unknown key '" + std::string(key) + "'";
  if (!field->Set) return std::string(key) + " cannot be set";
  std::string numbers(value);
  for (char& c : numbers) c = c == '/' ? '.' : c;
  const std::vector<std::string_view> words = SplitAt(numbers, '.');
  const std::optional<Numbers> parsed = TakeNumbers(words, field->SetLimits);
  if (!parsed) {
    return std::string(key) + " takes " + DescribeLimits(field->SetLimits) +
           (field->SetLimits.size() > 1 ? ", separated by '.' or '/'" : "");
  }
  setup.State.emplace_back(key, *parsed);
  return {};
}

// Applies one key=value to the setup; returns what is wrong, if anything.
std::string ApplyKey(UnitSetup& setup, std::string_view key, std::string_view value,
                     bool& hasAddress) {
  if (key == "address") {
    const std::optional<long> address = InRange(value, 0, 255);
    if (!address) return "address must be 0..255";
    setup.Address = static_cast<uint8_t>(*address);
    hasAddress = true;
  } else if (key == "name") {
    if (value.empty()) return "empty name";
    setup.Name = value;
  } else if (key == "link") {
    setup.Link = value;
  } else if (key == "port") {
    const std::optional<long> port = InRange(value, 0, HighestPort);
    if (!port) return "port must be 0..32767";
    if (*port == 0 && setup.Kind != UnitKind::Console) return "only the console has a USB link";
    setup.Port = static_cast<int>(*port);
  } else if (key == "misbehave") {
    const std::optional<Misbehaviour> how = ParseMisbehaviour(value);
    if (!how) return "unknown misbehaviour '" + std::string(value) + "'";
    setup.How = *how;
  } else if (key == "count") {
    const std::optional<long> count = InRange(value, -1, MaxMisbehaviourCount);
    if (!count) return "count must be -1 or a number of exchanges";
    setup.Count = static_cast<int>(*count);
  } else if (key == "late-ms") {
    const std::optional<long> ms = InRange(value, 0, MaxLateMs);
    if (!ms) return "late-ms must be 0..3600000";
    setup.LateMs = static_cast<uint32_t>(*ms);
  } else {
    return ApplyField(setup, key, value);
  }
  return {};
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<Misbehaviour> ParseMisbehaviour(std::string_view name) {
  for (const auto& [text, how] : Misbehaviours) {
    if (text == name) return how;
  }
  return std::nullopt;
}

std::string_view MisbehaviourName(Misbehaviour how) {
  for (const auto& [text, value] : Misbehaviours) {
    if (value == how) return text;
  }
  return "?";
}

std::string_view FrameKindName(Frame::Kind kind) {
  switch (kind) {
    case Frame::Kind::Command:
      return "command";
    case Frame::Kind::Short:
      return "short";
    case Frame::Kind::HidReport:
      return "hid";
    case Frame::Kind::Garbage:
      return "garbage";
  }
  return "?";
}

std::optional<UnitSetup> ParseUnitSetup(std::string_view text, std::string& error) {
  const std::vector<std::string_view> parts = SplitAt(text, ':');
  UnitSetup setup;
  bool known = false;
  for (const auto& [name, kind] : Kinds) {
    if (name == parts[0]) {
      setup.Kind = kind;
      known = true;
    }
  }
  if (!known) {
    error = "unknown unit kind '" + std::string(parts[0]) + "'";
    return std::nullopt;
  }
  bool hasAddress = false;
  for (std::size_t i = 1; i < parts.size(); ++i) {
    std::string_view key = "address";
    std::string_view value = parts[i];
    const std::size_t equals = parts[i].find('=');
    if (equals != std::string_view::npos) {
      key = parts[i].substr(0, equals);
      value = parts[i].substr(equals + 1);
    } else if (i != 1 || !ParseNumber(parts[i])) {
      // Only the part right after the kind may be a bare address.
      error = "expected key=value, got '" + std::string(parts[i]) + "'";
      return std::nullopt;
    }
    error = ApplyKey(setup, key, value, hasAddress);
    if (!error.empty()) return std::nullopt;
  }
  if (!hasAddress) {
    error = "address=N is required";
    return std::nullopt;
  }
  if (setup.Name.empty()) setup.Name = std::string(parts[0]) + std::to_string(setup.Address);
  return setup;
}

std::unique_ptr<UnitBase> MakeUnit(const UnitSetup& setup) {
  std::unique_ptr<UnitBase> unit;
  switch (setup.Kind) {
    case UnitKind::Console:
      unit = std::make_unique<Console>(setup.Address);
      break;
    case UnitKind::Plc:
      unit = std::make_unique<PlcTrainer>(setup.Address);
      break;
    case UnitKind::Fault:
      unit = std::make_unique<FaultUnit>(setup.Address);
      break;
  }
  if (setup.How != Misbehaviour::None) unit->Misbehave(setup.How, setup.Count, setup.LateMs);
  // The parser took only fields that exist and can be set, with their numbers.
  for (const auto& [name, numbers] : setup.State) FindField(setup.Kind, name)->Set(*unit, numbers);
  return unit;
}

std::optional<std::vector<UnitSetup>> ParseUnitList(std::string_view text, std::string& error) {
  std::vector<UnitSetup> setups;
  const std::vector<std::string_view> items = SplitAt(text, ',');
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::string_view item = Trimmed(items[i]);
    const std::string which = "unit " + std::to_string(i + 1);
    if (item.empty()) {
      error = which + " is empty";
      return std::nullopt;
    }
    std::optional<UnitSetup> setup = ParseUnitSetup(item, error);
    if (!setup) {
      error = which + " '" + std::string(item) + "': " + error;
      return std::nullopt;
    }
    setups.push_back(std::move(*setup));
  }
  return setups;
}

}  // namespace orvo::sim
