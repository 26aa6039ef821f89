#include "sim/pty/Control.h"

#include <cstdio>
#include <vector>

#include "sim/Console.h"
#include "sim/FaultUnit.h"
#include "sim/PlcTrainer.h"
#include "sim/pty/UnitSetup.h"
#include "sim/pty/Words.h"

namespace orvo::sim {
namespace {

using Numbers = std::vector<long>;

// A piece of unit state reachable by name. The limits give the numbers each
// command takes after the field name, and their maxima.
struct Field {
  std::string_view Name;
  std::vector<long> GetLimits;
  std::vector<long> SetLimits;  // empty: read-only
  std::function<std::string(UnitBase&, const Numbers&)> Get;
  std::function<void(UnitBase&, const Numbers&)> Set;
};

constexpr long kByte = 255;
constexpr long kWord = 65535;

std::string Hex(long value, int digits = 2) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*lx", digits, value);
  return text;
}

template <class List, class Format>
std::string Join(const List& items, Format format) {
  std::string text;
  for (const auto& item : items) text += (text.empty() ? "" : " ") + format(item);
  return text.empty() ? "none" : text;
}

std::string Decimal(long value) { return std::to_string(value); }
uint8_t Byte(long value) { return static_cast<uint8_t>(value); }

template <class U>
U& As(UnitBase& unit) {
  return static_cast<U&>(unit);
}

// A byte register shown in hex, settable when it has a setter.
template <class U>
Field Register(std::string_view name, uint8_t (U::*get)() const,
               void (U::*set)(uint8_t) = nullptr) {
  Field field{
      name, {}, {}, [get](UnitBase& u, const Numbers&) { return Hex((As<U>(u).*get)()); }, {}};
  if (set) {
    field.SetLimits = {kByte};
    field.Set = [set](UnitBase& u, const Numbers& n) { (As<U>(u).*set)(Byte(n[0])); };
  }
  return field;
}

const std::vector<Field>& CommonFields() {
  static const std::vector<Field> fields = {
      {"address",
       {},
       {kByte},
       [](UnitBase& u, const Numbers&) { return Decimal(u.Address()); },
       [](UnitBase& u, const Numbers& n) { u.SetAddress(Byte(n[0])); }},
      {"misbehaviour",
       {},
       {},
       [](UnitBase& u, const Numbers&) { return std::string(MisbehaviourName(u.Misbehaving())); },
       {}},
      {"vanished", {}, {}, [](UnitBase& u, const Numbers&) { return Decimal(u.Vanished()); }, {}},
  };
  return fields;
}

const std::vector<Field>& ConsoleFields() {
  using C = Console;
  static const std::vector<Field> fields = {
      Register<C>("switch", &C::SwitchByte, &C::SetSwitchByte),
      Register<C>("control", &C::ControlByte, &C::SetControlByte),
      Register<C>("aux", &C::Aux),
      Register<C>("bncs", &C::Bncs),
      Register<C>("speaker", &C::Speaker),
      {"neg",
       {},
       {15},
       [](UnitBase& u, const Numbers&) { return Decimal(As<C>(u).NegativeNibble()); },
       [](UnitBase& u, const Numbers& n) {
         As<C>(u).SetVoltageNibbles(Byte(n[0]), As<C>(u).PositiveNibble());
       }},
      {"pos",
       {},
       {15},
       [](UnitBase& u, const Numbers&) { return Decimal(As<C>(u).PositiveNibble()); },
       [](UnitBase& u, const Numbers& n) {
         As<C>(u).SetVoltageNibbles(As<C>(u).NegativeNibble(), Byte(n[0]));
       }},
      {"model",
       {},
       {kByte},
       [](UnitBase& u, const Numbers&) { return Decimal(As<C>(u).Model()); },
       [](UnitBase& u, const Numbers& n) { As<C>(u).SetModel(Byte(n[0]), As<C>(u).SubModel()); }},
      {"submodel",
       {},
       {kByte},
       [](UnitBase& u, const Numbers&) { return Decimal(As<C>(u).SubModel()); },
       [](UnitBase& u, const Numbers& n) { As<C>(u).SetModel(As<C>(u).Model(), Byte(n[0])); }},
      {"version",
       {},
       {kByte, kByte, kByte},
       [](UnitBase& u, const Numbers&) {
         const auto& v = As<C>(u).Version();
         return Decimal(v[0]) + "." + Decimal(v[1]) + "." + Decimal(v[2]);
       },
       [](UnitBase& u, const Numbers& n) {
         As<C>(u).SetVersion(Byte(n[0]), Byte(n[1]), Byte(n[2]));
       }},
      {"channel",
       {kByte},
       {kByte, kWord},
       [](UnitBase& u, const Numbers& n) { return Decimal(As<C>(u).Channel(Byte(n[0]))); },
       [](UnitBase& u, const Numbers& n) {
         As<C>(u).SetChannel(Byte(n[0]), static_cast<uint16_t>(n[1]));
       }},
      {"cai",
       {},
       {},
       [](UnitBase& u, const Numbers&) { return Decimal(As<C>(u).CaiStarted()); },
       {}},
      {"faults",
       {},
       {},
       [](UnitBase& u, const Numbers&) {
         return Join(As<C>(u).Faults(),
                     [](const FaultItem& f) { return Hex(f.Code) + ":" + Hex(f.Argument); });
       },
       {}},
  };
  return fields;
}

// Channels (PLC trainer) and faults (fault unit) work alike.
Field Switchable(std::string_view name) {
  return {
      name,
      {kByte},
      {kByte, 1},
      [](UnitBase& u, const Numbers& n) { return Decimal(As<ShortFrameUnit>(u).IsOn(Byte(n[0]))); },
      [](UnitBase& u, const Numbers& n) { As<ShortFrameUnit>(u).SetOn(Byte(n[0]), n[1] != 0); }};
}

Field OnList() {
  return {
      "on",
      {},
      {},
      [](UnitBase& u, const Numbers&) { return Join(As<ShortFrameUnit>(u).OnChannels(), Decimal); },
      {}};
}

const std::vector<Field>& PlcFields() {
  using P = PlcTrainer;
  static const std::vector<Field> fields = {
      Register<P>("main", &P::MainBlock, &P::SetMainBlock),
      Register<P>("external", &P::ExternalBlock, &P::SetExternalBlock),
      Register<P>("selector", &P::Selector),
      Switchable("channel"),
      OnList(),
      {"nibbles",
       {},
       {},
       [](UnitBase& u, const Numbers&) { return Join(As<P>(u).Nibbles(), Decimal); },
       {}},
      {"process",
       {},
       {},
       [](UnitBase& u, const Numbers&) {
         const std::optional<uint16_t> value = As<P>(u).LastProcessValue();
         return value ? Hex(*value, 4) : "none";
       },
       {}},
      {"processes",
       {},
       {},
       [](UnitBase& u, const Numbers&) {
         return Join(As<P>(u).ProcessValues(), [](long v) { return Hex(v, 4); });
       },
       {}},
      {"broken",
       {},
       {},
       [](UnitBase& u, const Numbers&) { return Decimal(As<P>(u).BrokenTransfers()); },
       {}},
  };
  return fields;
}

const std::vector<Field>& FaultFields() {
  static const std::vector<Field> fields = {
      Register<FaultUnit>("data", &FaultUnit::Data, &FaultUnit::SetData),
      Switchable("fault"),
      OnList(),
  };
  return fields;
}

const Field* FindField(UnitBase& unit, std::string_view name) {
  const std::vector<Field>* kind = &FaultFields();
  if (dynamic_cast<Console*>(&unit)) kind = &ConsoleFields();
  if (dynamic_cast<PlcTrainer*>(&unit)) kind = &PlcFields();
  for (const std::vector<Field>* fields : {&CommonFields(), kind}) {
    for (const Field& field : *fields) {
      if (field.Name == name) return &field;
    }
  }
  return nullptr;
}

// Reads exactly as many numbers as there are limits, each within its limit.
std::optional<Numbers> TakeNumbers(const std::vector<std::string_view>& words, std::size_t from,
                                   const std::vector<long>& limits) {
  if (words.size() - from != limits.size()) return std::nullopt;
  Numbers numbers;
  for (std::size_t i = 0; i < limits.size(); ++i) {
    const std::optional<long> n = ParseNumber(words[from + i]);
    if (!n || *n < 0 || *n > limits[i]) return std::nullopt;
    numbers.push_back(*n);
  }
  return numbers;
}

std::string GetOrSet(UnitBase& unit, const std::vector<std::string_view>& words) {
  if (words.size() < 3) return "error expected a field name";
  const Field* field = FindField(unit, words[2]);
  if (!field) return "error no field '" + std::string(words[2]) + "' on this unit";
  const bool set = words[0] == "set";
  if (set && !field->Set) return "error " + std::string(field->Name) + " is read-only";
  const std::optional<Numbers> numbers =
      TakeNumbers(words, 3, set ? field->SetLimits : field->GetLimits);
  if (!numbers) return "error wrong numbers for " + std::string(field->Name);
  if (!set) return "ok " + field->Get(unit, *numbers);
  field->Set(unit, *numbers);
  return "ok";
}

std::string SetMisbehaviour(UnitBase& unit, const std::vector<std::string_view>& words) {
  if (words.size() < 3 || words.size() > 5)
    return "error expected: misbehave UNIT HOW [COUNT [LATE_MS]]";
  const std::optional<Misbehaviour> how = ParseMisbehaviour(words[2]);
  if (!how) return "error unknown misbehaviour '" + std::string(words[2]) + "'";
  const std::optional<long> count = words.size() > 3 ? ParseNumber(words[3]) : -1;
  const std::optional<long> lateMs = words.size() > 4 ? ParseNumber(words[4]) : 4000;
  if (!count || *count < -1 || !lateMs || *lateMs < 0) return "error bad count or delay";
  unit.Misbehave(*how, static_cast<int>(*count), static_cast<uint32_t>(*lateMs));
  return "ok";
}

std::string ListFrames(const UnitBase& unit) {
  std::string text = "ok " + std::to_string(unit.Received().size());
  for (const Frame& frame : unit.Received()) {
    text += "; " + std::string(FrameKindName(frame.Type));
    if (!frame.Bytes.empty()) text += " " + HexBytes(frame.Bytes);
  }
  return text;
}

}  // namespace

std::string RunControl(std::string_view line, const UnitsByName& units) {
  const std::vector<std::string_view> words = Words(line);
  if (words.empty()) return "error empty line";
  if (words[0] == "help") return "ok misbehave set get clear frames list help";
  if (words.size() < 2) return "error expected a unit name";
  const auto found = units.find(words[1]);
  if (found == units.end()) return "error no unit '" + std::string(words[1]) + "'";
  UnitBase& unit = *found->second;
  if (words[0] == "misbehave") return SetMisbehaviour(unit, words);
  if (words[0] == "set" || words[0] == "get") return GetOrSet(unit, words);
  if (words[0] == "frames" && words.size() == 2) return ListFrames(unit);
  if (words[0] == "clear" && words.size() == 2) {
    unit.ClearReceived();
    return "ok";
  }
  return "error unknown command '" + std::string(words[0]) + "'";
}

}  // namespace orvo::sim
