#include "sim/Console.h"

#include <algorithm>

namespace orvo::sim {
namespace {

constexpr int AnyArgument = -1;
constexpr std::size_t HidCommandEnd = 6;  // report id, addr, L, cmd, arg, val

}  // namespace

// The console's command set, with the length each command is sent with.
// A length-2 command that no rule claims is a fault item. This is the
// console's own copy, kept apart from protocol/ on purpose: the unit stands
// for the hardware, so a wrong command in the module's table gets no answer
// here and a test fails, instead of both sides agreeing on the mistake.
struct Console::Rule {
  uint8_t Code;
  int Argument;
  uint8_t Length;
  Reply (Console::*Handle)(const Command&);
};

const Console::Rule Console::Rules[] = {
    {'R', 'I', 2, &Console::ReadStatus},
    {'X', 'I', 2, &Console::ReadStatus},
    {'X', 'M', 2, &Console::ReadModel},
    {'X', 'C', 3, &Console::ReadChannel},
    {'I', 'S', 2, &Console::SetCai<true>},
    {'I', 'E', 2, &Console::SetCai<false>},
    {'-', AnyArgument, 2, &Console::SetNegative},
    {'+', AnyArgument, 2, &Console::SetPositive},
    {'X', '+', 3, &Console::StoreValue<&Console::AuxCode>},
    {'X', 'B', 3, &Console::StoreValue<&Console::BncRouting>},
    {'X', 'S', 3, &Console::StoreValue<&Console::SpeakerLevel>},
    {'F', AnyArgument, 2, &Console::WriteControl},
    {'P', 'S', 3, &Console::WriteSwitches},
    {'X', 'P', 3, &Console::WriteSwitches},
    {'A', 0xFF, 3, &Console::AnswerAddressQuery},
    {'K', 'L', 2, &Console::AnswerLinkProbe},
};

Console::Console(uint8_t address) : UnitBase(address, std::make_unique<CommandFramer>()) {}

void Console::SetVoltageNibbles(uint8_t negative, uint8_t positive) {
  Negative = negative & 0x0F;
  Positive = positive & 0x0F;
}

void Console::SetModel(uint8_t model, uint8_t subModel) {
  ModelNumber = model;
  SubModelNumber = subModel;
}

std::vector<uint8_t> Console::Status() const {
  std::vector<uint8_t> reply(StatusSize, 0);
  reply[0] = Address();
  reply[1] = static_cast<uint8_t>(Negative << 4 | Positive);
  reply[2] = Switches;
  reply[13] = Control;
  return reply;
}

Reply Console::AnswerSerial(std::span<const uint8_t> frame) {
  // FE FF addr L cmd arg [val]; the framer only passes lengths 2 and 3.
  Command command{frame[2], frame[3], frame[4], frame[5], 0};
  if (command.Length == 3) command.Value = frame[6];
  return Execute(command);
}

Reply Console::AnswerHid(std::span<const uint8_t> report) {
  if (report.size() < HidCommandEnd) return std::nullopt;
  Reply reply = Execute(Command{report[1], report[2], report[3], report[4], report[5]});
  if (!reply) return reply;
  std::vector<uint8_t> input(HidReportSize, 0);
  std::copy_n(reply->begin(), std::min(reply->size(), HidReportSize - 1), input.begin() + 1);
  return input;
}

Reply Console::Execute(const Command& command) {
  if (!Accepts(command.Address)) return std::nullopt;
  for (const Rule& rule : Rules) {
    if (rule.Code == command.Code && rule.Length == command.Length &&
        (rule.Argument == AnyArgument || rule.Argument == command.Argument)) {
      return (this->*rule.Handle)(command);
    }
  }
  if (command.Length != 2) return std::nullopt;
  FaultItems.push_back(FaultItem{command.Code, command.Argument});
  return Status();
}

Reply Console::ReadStatus(const Command&) { return Status(); }

Reply Console::ReadModel(const Command&) {
  return std::vector<uint8_t>{Address(),         ModelNumber,       SubModelNumber,
                              VersionNumbers[0], VersionNumbers[1], VersionNumbers[2]};
}

Reply Console::ReadChannel(const Command& command) {
  const uint16_t value = Channels[command.Value];
  return std::vector<uint8_t>{Address(), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value)};
}

// The voltage code travels in the argument, in the nibble the status reply
// reports it in.
Reply Console::SetNegative(const Command& command) {
  Negative = command.Argument >> 4;
  return Status();
}

Reply Console::SetPositive(const Command& command) {
  Positive = command.Argument & 0x0F;
  return Status();
}

// The new control byte travels in the argument of a length-2 frame. A fault
// item with command byte 'F' lands here too, as it would on the console.
Reply Console::WriteControl(const Command& command) {
  Control = command.Argument;
  return Status();
}

Reply Console::WriteSwitches(const Command& command) {
  Switches = command.Value;
  return Status();
}

// Several consoles may hear the query on address 0; only the one asked for
// answers, the others keep the line free.
Reply Console::AnswerAddressQuery(const Command& command) {
  if (command.Value != Address()) return std::nullopt;
  return Acknowledge();
}

Reply Console::AnswerLinkProbe(const Command&) { return Acknowledge(); }

Reply Console::Acknowledge() const { return std::vector<uint8_t>{Address(), 0}; }

}  // namespace orvo::sim
