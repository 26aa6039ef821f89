#include "protocol/FrameMeaning.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

#include "protocol/Wire.h"

namespace orvo {
namespace {

using namespace protocol;

template <class... Args>
std::string Format(const char* format, Args... args) {
  char text[96];
  const int n = std::snprintf(text, sizeof text, format, args...);
  return n < 0 ? std::string() : std::string(text, std::min<std::size_t>(n, sizeof text - 1));
}

// One command of the console, from either link. A length-2 command carries
// no value on the serial line; the HID report carries one all the same.
struct Command {
  uint8_t Address;
  uint8_t Length;
  uint8_t Code;
  uint8_t Argument;
  uint8_t Value;
};

enum class Meaning {
  ReadStatus,
  ReadStatusEx,
  ReadModel,
  ReadChannel,
  StartCai,
  EndCai,
  NegativeSupply,
  PositiveSupply,
  SetAux,
  SetBncs,
  SetSpeaker,
  WriteControl,
  WriteSwitches,
  WriteSwitchesEx,
  AddressQuery,
  LinkProbe,
};

struct Rule {
  ConsoleCommand Sent;
  Meaning What;
};

// Where one command serves several methods (the status read before every
// write, the switch write of SetSwitches and ChangeSwitch) the command is
// named rather than a method. A length-2 command that no rule claims is a
// fault item, as the console takes it.
constexpr Rule Rules[] = {
    {console::ReadStatus, Meaning::ReadStatus},
    {console::ReadStatusEx, Meaning::ReadStatusEx},
    {console::ReadModel, Meaning::ReadModel},
    {console::ReadChannel, Meaning::ReadChannel},
    {console::StartCai, Meaning::StartCai},
    {console::EndCai, Meaning::EndCai},
    {console::NegativeSupply, Meaning::NegativeSupply},
    {console::PositiveSupply, Meaning::PositiveSupply},
    {console::SetAux, Meaning::SetAux},
    {console::SetBncs, Meaning::SetBncs},
    {console::SetSpeaker, Meaning::SetSpeaker},
    {console::WriteControl, Meaning::WriteControl},
    {console::WriteSwitches, Meaning::WriteSwitches},
    {console::WriteSwitchesEx, Meaning::WriteSwitchesEx},
    {console::AddressQuery, Meaning::AddressQuery},
    {console::LinkProbe, Meaning::LinkProbe},
};

const Rule* FindRule(const Command& c) {
  for (const Rule& rule : Rules) {
    if (rule.Sent.Code == c.Code && rule.Sent.Length == c.Length &&
        (rule.Sent.Argument == AnyArgument || rule.Sent.Argument == c.Argument))
      return &rule;
  }
  return nullptr;
}

// A supply voltage as a one-bit nibble code: 1 5 V, 2 12 V, 4 15 V, 8 24 V.
int VoltsOf(uint8_t nibble) { return SupplyVoltsOf(nibble); }

std::string SupplyText(char sign, uint8_t nibble) {
  const int volts = VoltsOf(nibble);
  return volts == 0 ? std::string("0 V") : Format("%c%d V", sign, volts);
}

// The code a voltage command carries, in the nibble the status reports it
// in; any other bit pattern is shown as the code it is.
std::string SupplyCode(char sign, uint8_t code, bool high) {
  const uint8_t nibble = high ? code >> 4 : code & 0x0F;
  const uint8_t other = high ? code & 0x0F : code >> 4;
  if (other == 0 && (nibble == 0 || VoltsOf(nibble) != 0)) return SupplyText(sign, nibble);
  return Format("code 0x%02x", code);
}

// Bits 1 to 6 of the switch byte; bit 5 is SP3 on the plain console and AC3
// on the other variant. Bits 0 and 7 belong to no switch.
std::string SwitchText(uint8_t byte, bool ex) {
  static constexpr std::array<const char*, 6> Plain{"AC1", "DC1", "AC2", "DC2", "SP3", "DC3"};
  static constexpr std::array<const char*, 6> Ex{"AC1", "DC1", "AC2", "DC2", "AC3", "DC3"};
  std::string on;
  for (std::size_t bit = 1; bit <= 6; ++bit) {
    if (byte & (1u << bit)) on += std::string(on.empty() ? "" : " ") + (ex ? Ex : Plain)[bit - 1];
  }
  std::string text = on.empty() ? "all off" : on + " on";
  if (byte & 0x81) text += Format(", bits 0x%02x", byte & 0x81);
  return text;
}

std::string ControlText(uint8_t byte) {
  const auto state = [&](uint8_t mask) { return (byte & mask) ? "on" : "off"; };
  return Format("WriteControl 0x%02x: keyboard %s, faults %s, warning %s", byte, state(0x08),
                state(0x20), state(0x40));
}

std::string AuxText(uint8_t code) {
  static constexpr std::array<int, 3> Aux{0, 3, 5};
  return code < Aux.size() ? Format("SetAux %d", Aux[code]) : Format("SetAux: code %u", code);
}

// A fault item is two hexadecimal digits of command and two decimal digits
// of argument; an argument above 99 has no such text.
std::string FaultItemText(uint8_t code, uint8_t argument) {
  if (argument <= 99) return Format("SendFaults item %02X%02u", code, argument);
  return Format("SendFaults item: command 0x%02x, argument %u", code, argument);
}

std::string CommandText(const Command& c, std::span<const uint8_t> reply) {
  const Rule* rule = FindRule(c);
  if (!rule) {
    if (c.Length == 2) return FaultItemText(c.Code, c.Argument);
    return Format("unknown command 0x%02x 0x%02x value 0x%02x", c.Code, c.Argument, c.Value);
  }
  switch (rule->What) {
    case Meaning::ReadStatus:
    case Meaning::ReadStatusEx: {
      const bool ex = rule->What == Meaning::ReadStatusEx;
      std::string text = ex ? "ReadStatusEx" : "ReadStatus";
      if (reply.size() >= console::ReadStatus.ReplyLength) {
        text += " -> " + SupplyText('-', reply[StatusSupplyByte] >> 4) + " " +
                SupplyText('+', reply[StatusSupplyByte] & 0x0F) + ", " +
                SwitchText(reply[StatusSwitchByte], ex) +
                Format(", control 0x%02x", reply[StatusControlByte]);
      }
      return text;
    }
    case Meaning::ReadModel:
      if (reply.size() < console::ReadModel.ReplyLength) return "ReadModel";
      return Format("ReadModel -> model %u, sub-model %u, version %u.%u.%u", reply[1], reply[2],
                    reply[3], reply[4], reply[5]);
    case Meaning::ReadChannel: {
      std::string text = Format("ReadChannel pc %u channel %u", c.Value >> 4, c.Value & 0x0F);
      if (reply.size() >= console::ReadChannel.ReplyLength) {
        const unsigned value = reply[1] << 8 | reply[2];
        text += Format(" -> 0x%04x (%u)", value, value);
      }
      return text;
    }
    case Meaning::StartCai:
      return "StartCai";
    case Meaning::EndCai:
      return "EndCai";
    case Meaning::NegativeSupply:
      return "SetVoltages: negative " + SupplyCode('-', c.Argument, true);
    case Meaning::PositiveSupply:
      return "SetVoltages: positive " + SupplyCode('+', c.Argument, false);
    case Meaning::SetAux:
      return AuxText(c.Value);
    case Meaning::SetBncs:
      return Format("SetBncs: input %u, output %u", c.Value >> 4, c.Value & 0x0F);
    case Meaning::SetSpeaker:
      return Format("SetSpeaker %u", c.Value);
    case Meaning::WriteControl:
      return ControlText(c.Argument);
    case Meaning::WriteSwitches:
      return "WriteSwitches: " + SwitchText(c.Value, false);
    case Meaning::WriteSwitchesEx:
      return "WriteSwitchesEx: " + SwitchText(c.Value, true);
    case Meaning::AddressQuery:
      return Format("AddressQuery %u", c.Value);
    case Meaning::LinkProbe:
      return "LinkProbe";
  }
  return "?";
}

// The command in a serial frame or a HID report, or why there is none.
std::optional<Command> ReadCommand(std::span<const uint8_t> sent, std::string& why) {
  if (sent.size() == HidReportSize) {
    if (sent[0] != 0) {
      why = Format("HID report with id 0x%02x", sent[0]);
      return std::nullopt;
    }
    Command c{sent[1], sent[2], sent[3], sent[4], sent[5]};
    if (c.Length != 2 && c.Length != 3) {
      why = Format("command with length byte %u", c.Length);
      return std::nullopt;
    }
    return c;
  }
  if (sent.size() < CommandHeaderSize + 2 || sent[0] != FrameStart[0] || sent[1] != FrameStart[1]) {
    why = Format("not a frame (%zu bytes)", sent.size());
    return std::nullopt;
  }
  const uint8_t length = sent[3];
  if ((length != 2 && length != 3) || sent.size() != CommandHeaderSize + length) {
    why = Format("command frame of %zu bytes with length byte %u", sent.size(), length);
    return std::nullopt;
  }
  return Command{sent[2], length, sent[4], sent[5], length == 3 ? sent[6] : uint8_t{0}};
}

// A reply that does not come from the unit asked is worth a word: the
// module turns it down on HID and in its probes.
std::string FromOtherUnit(uint8_t address, std::span<const uint8_t> reply) {
  if (address == 0 || reply.empty() || reply[0] == address) return {};
  return Format(" (reply from address %u)", reply[0]);
}

// The selector reads from one bit of the low nibble: 0x1 is 1 ... 0x8 is 4;
// no bit or several read as 0.
std::string MainBlockText(uint8_t data) {
  static constexpr std::array<int, 9> OneBit{0, 1, 2, 0, 3, 0, 0, 0, 4};
  const std::size_t nibble = data & 0x0F;
  return Format(": DC %d, Monitor %d, Selector %d", (data & 0x20) ? 0 : 1, (data & 0x10) ? 0 : 1,
                nibble < OneBit.size() ? OneBit[nibble] : 0);
}

std::string ExternalBlockText(uint8_t data) {
  const int code = data & 0x07;
  const int volts = code == 2 ? 12 : code == 4 ? 24 : 5;
  return Format(": Voltage %d, PC1 %d, PC2 %d", volts, (data & 0x08) ? 1 : 0,
                (data & 0x10) ? 1 : 0);
}

constexpr uint8_t MainSelect = PlcMainSelect, ExternalSelect = PlcExternalSelect;
constexpr uint8_t SelectorFirst = PlcSelectorFirst, SelectorLast = PlcSelectorLast;

}  // namespace

std::string FrameReader::Frame(std::span<const uint8_t> sent) { return Exchange(sent, {}); }

std::string FrameReader::Exchange(std::span<const uint8_t> sent, std::span<const uint8_t> reply) {
  if (sent.size() == ShortFrameSize) return ShortFrame(sent, reply) + FromOtherUnit(sent[0], reply);
  std::string why;
  const std::optional<Command> command = ReadCommand(sent, why);
  if (!command) return why;
  return CommandText(*command, reply) + FromOtherUnit(command->Address, reply);
}

std::string FrameReader::ShortFrame(std::span<const uint8_t> sent, std::span<const uint8_t> reply) {
  const uint8_t code = sent[1], argument = sent[2];
  const std::optional<uint8_t> data =
      reply.size() >= ShortFrameSize ? std::optional<uint8_t>(reply[2]) : std::nullopt;
  switch (code) {
    case ShortOn:
    case ShortOff: {
      const bool on = code == ShortOn;
      const char* state = on ? "on" : "off";
      if (Audience == FrameAudience::Fault) return Format("Fault %u %s", argument, state);
      if (Audience != FrameAudience::Plc) return Format("%s %u", on ? "On" : "Off", argument);
      if (argument == MainSelect) MainSelected = on;
      if (argument == ExternalSelect) ExternalSelected = on;
      if (argument == MainSelect || argument == ExternalSelect) {
        return Format("%s %u (%s block select)", on ? "On" : "Off", argument,
                      argument == MainSelect ? "main" : "external");
      }
      if (argument >= SelectorFirst && argument <= SelectorLast)
        return Format("%s %u (selector bit %d)", on ? "On" : "Off", argument,
                      argument - SelectorFirst);
      // Fault item n switches channel n - 1.
      return Format("Fault %u %s (channel %u)", (argument + 1) & 0xFF, state, argument);
    }
    case ShortRead: {
      std::string text = "Read";
      if (Audience == FrameAudience::Plc) {
        // With both selected the trainer reads the main block.
        text = MainSelected       ? "Read main block"
               : ExternalSelected ? "Read external block"
                                  : "Read (no block selected)";
      }
      if (!data) return text;
      text += Format(" -> 0x%02x", *data);
      if (Audience == FrameAudience::Plc && MainSelected) return text + MainBlockText(*data);
      if (Audience == FrameAudience::Plc && ExternalSelected)
        return text + ExternalBlockText(*data);
      return text;
    }
    case ShortClear:
      return "ClearFaults";
    default:
      return Format("unknown short command 0x%02x 0x%02x", code, argument);
  }
}

std::string DescribeExchange(std::span<const uint8_t> sent, std::span<const uint8_t> reply) {
  FrameReader reader;
  return reader.Exchange(sent, reply);
}

}  // namespace orvo
