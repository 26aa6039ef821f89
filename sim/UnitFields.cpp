#include "sim/UnitFields.h"

#include <cstdio>

#include "sim/Console.h"
#include "sim/FaultUnit.h"
#include "sim/PlcTrainer.h"
#include "sim/UnitSetup.h"
#include "sim/Words.h"

namespace orvo::sim {
namespace {

constexpr long ByteLimit = 255;
constexpr long Word = 65535;

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
    field.SetLimits = {ByteLimit};
    field.Set = [set](UnitBase& u, const Numbers& n) { (As<U>(u).*set)(Byte(n[0])); };
  }
  return field;
}

const std::vector<Field>& CommonFields() {
  static const std::vector<Field> fields = {
      {"address",
       {},
       {ByteLimit},
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
       {ByteLimit},
       [](UnitBase& u, const Numbers&) { return Decimal(As<C>(u).Model()); },
       [](UnitBase& u, const Numbers& n) { As<C>(u).SetModel(Byte(n[0]), As<C>(u).SubModel()); }},
      {"submodel",
       {},
       {ByteLimit},
       [](UnitBase& u, const Numbers&) { return Decimal(As<C>(u).SubModel()); },
       [](UnitBase& u, const Numbers& n) { As<C>(u).SetModel(As<C>(u).Model(), Byte(n[0])); }},
      {"version",
       {},
       {ByteLimit, ByteLimit, ByteLimit},
       [](UnitBase& u, const Numbers&) {
         const auto& v = As<C>(u).Version();
         return Decimal(v[0]) + "." + Decimal(v[1]) + "." + Decimal(v[2]);
       },
       [](UnitBase& u, const Numbers& n) {
         As<C>(u).SetVersion(Byte(n[0]), Byte(n[1]), Byte(n[2]));
       }},
      {"channel",
       {ByteLimit},
       {ByteLimit, Word},
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
      {ByteLimit},
      {ByteLimit, 1},
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

}  // namespace

UnitKind KindOf(const UnitBase& unit) {
  if (dynamic_cast<const Console*>(&unit)) return UnitKind::Console;
  if (dynamic_cast<const PlcTrainer*>(&unit)) return UnitKind::Plc;
  return UnitKind::Fault;
}

const Field* FindField(UnitKind kind, std::string_view name) {
  const std::vector<Field>* own = &FaultFields();
  if (kind == UnitKind::Console) own = &ConsoleFields();
  if (kind == UnitKind::Plc) own = &PlcFields();
  for (const std::vector<Field>* fields : {&CommonFields(), own}) {
    for (const Field& field : *fields) {
      if (field.Name == name) return &field;
    }
  }
  return nullptr;
}

std::optional<Numbers> TakeNumbers(std::span<const std::string_view> words,
                                   const std::vector<long>& limits) {
  if (words.size() != limits.size()) return std::nullopt;
  Numbers numbers;
  for (std::size_t i = 0; i < limits.size(); ++i) {
    const std::optional<long> n = ParseNumber(words[i]);
    if (!n || *n < 0 || *n > limits[i]) return std::nullopt;
    numbers.push_back(*n);
  }
  return numbers;
}

std::string DescribeLimits(const std::vector<long>& limits) {
  std::string text = limits.size() == 1 ? "a number" : std::to_string(limits.size()) + " numbers";
  for (long limit : limits) text += " 0.." + std::to_string(limit);
  return text;
}

}  // namespace orvo::sim
