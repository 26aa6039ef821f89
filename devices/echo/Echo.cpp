#include "devices/echo/Echo.h"

#include <array>

#include "devices/common/ListItems.h"
#include "protocol/Wire.h"

namespace orvo {

// One command of the console: length byte, command, argument, value, and the
// number of reply bytes read back. Where a method supplies the argument or
// the value, the table holds 0.
struct EchoFrame {
  uint8_t Length;
  uint8_t Command;
  uint8_t Argument;
  uint8_t Value;
  uint8_t ReplyLength;

  // A command whose argument byte carries data starts with 0 there.
  static constexpr EchoFrame Of(const protocol::ConsoleCommand& c, uint8_t value = 0) {
    return {c.Length, c.Code,
            static_cast<uint8_t>(c.Argument == protocol::AnyArgument ? 0 : c.Argument), value,
            c.ReplyLength};
  }

  constexpr EchoFrame WithCommand(uint8_t command) const {
    return {Length, command, Argument, Value, ReplyLength};
  }
  constexpr EchoFrame WithArgument(uint8_t argument) const {
    return {Length, Command, argument, Value, ReplyLength};
  }
  constexpr EchoFrame WithValue(uint8_t value) const {
    return {Length, Command, Argument, value, ReplyLength};
  }
};

// The switches of one console variant: how they are read and written, and
// the names of bits 1 to 6 of the switch byte.
struct EchoSwitchSet {
  EchoFrame Read;
  EchoFrame Write;
  std::array<std::u16string_view, 6> Names;
};

namespace {

namespace cmd = protocol::console;
// Where a method supplies the argument or the value, the frame holds 0. A
// length-2 command sends no value on the serial line, but the HID report
// carries it, so the control read's 0x78 is part of the frame.
constexpr EchoFrame StatusRead = EchoFrame::Of(cmd::ReadStatus);
constexpr EchoFrame StatusReadEx = EchoFrame::Of(cmd::ReadStatusEx);
constexpr EchoFrame ModelRead = EchoFrame::Of(cmd::ReadModel);
constexpr EchoFrame ChannelRead = EchoFrame::Of(cmd::ReadChannel);    // value: pc, channel
constexpr EchoFrame AddressQuery = EchoFrame::Of(cmd::AddressQuery);  // value: the address sought
constexpr EchoFrame CaiStart = EchoFrame::Of(cmd::StartCai);
constexpr EchoFrame CaiEnd = EchoFrame::Of(cmd::EndCai);
constexpr EchoFrame NegativeSupply = EchoFrame::Of(cmd::NegativeSupply);  // argument: code
constexpr EchoFrame PositiveSupply = EchoFrame::Of(cmd::PositiveSupply);  // argument: code
constexpr EchoFrame AuxOutput = EchoFrame::Of(cmd::SetAux);               // value: aux code
constexpr EchoFrame BncRouting = EchoFrame::Of(cmd::SetBncs);             // value: input, output
constexpr EchoFrame SpeakerLevel = EchoFrame::Of(cmd::SetSpeaker);        // value: the level
constexpr EchoFrame ControlRead = EchoFrame::Of(cmd::ReadStatus, 0x78);
constexpr EchoFrame ControlWrite = EchoFrame::Of(cmd::WriteControl, 0x78);  // argument: control
constexpr EchoFrame SwitchWrite = EchoFrame::Of(cmd::WriteSwitches);        // value: switch byte
constexpr EchoFrame SwitchWriteEx = EchoFrame::Of(cmd::WriteSwitchesEx);    // value: switch byte
// command, argument: the item
constexpr EchoFrame FaultItem{2, 0, 0, 0x00, cmd::FaultItemReplyLength};

constexpr EchoSwitchSet PlainSwitches{
    StatusRead, SwitchWrite, {u"AC1", u"DC1", u"AC2", u"DC2", u"SP3", u"DC3"}};
constexpr EchoSwitchSet ExSwitches{
    StatusReadEx, SwitchWriteEx, {u"AC1", u"DC1", u"AC2", u"DC2", u"AC3", u"DC3"}};

constexpr std::size_t StatusSize = cmd::ReadStatus.ReplyLength;
constexpr std::size_t VoltageByte = protocol::StatusSupplyByte;
constexpr std::size_t SwitchByte = protocol::StatusSwitchByte;
constexpr std::size_t ControlByte = protocol::StatusControlByte;
// Bits 0 and 7 of the switch byte belong to no switch and are written back
// as read.
constexpr uint8_t UnnamedSwitchBits = 0x81;
constexpr uint8_t KeyboardBit = 0x08, FaultsBit = 0x20, WarningBit = 0x40;

int16_t VoltsOf(uint8_t nibble) { return static_cast<int16_t>(protocol::SupplyVoltsOf(nibble)); }

uint8_t NegativeCode(int16_t volts) {
  switch (volts) {
    case -5:
      return 0x10;
    case -12:
      return 0x20;
    case -15:
      return 0x40;
    case -24:
      return 0x80;
    default:
      return 0x00;
  }
}

uint8_t PositiveCode(int16_t volts) {
  switch (volts) {
    case 5:
      return 0x01;
    case 12:
      return 0x02;
    case 15:
      return 0x04;
    case 24:
      return 0x08;
    default:
      return 0x00;
  }
}

uint8_t AuxCode(int16_t aux) {
  switch (aux) {
    case 3:
      return 1;
    case 5:
      return 2;
    default:
      return 0;
  }
}

// A string argument turns its bit off only when it is exactly "false".
bool IsFalse(std::u16string_view text) { return text == u"false"; }

// Bit mask of the switch named `name` in `set`, 0 when it names none.
uint8_t SwitchMask(const EchoSwitchSet& set, std::u16string_view name) {
  for (std::size_t i = 0; i < set.Names.size(); ++i)
    if (name == set.Names[i]) return static_cast<uint8_t>(1u << (i + 1));
  return 0;
}

std::u16string Decimal(unsigned number) {
  std::u16string text;
  for (char c : std::to_string(number)) text.push_back(static_cast<char16_t>(c));
  return text;
}

// Waits after the link is closed, in milliseconds.
constexpr uint32_t CaiStartPause = 2000;
constexpr uint32_t OutputPause = 50;
constexpr uint32_t SwitchPause = 100;
constexpr uint32_t FaultsPause = 100;
constexpr uint32_t NotFoundPause = 50;
constexpr uint32_t NoPause = 0;

}  // namespace

// The console answers at once: no reply delay.
CEcho::CEcho(Platform& platform, Registry& registry)
    : CDevice(platform, registry, {u"BrixPort_", true}, 0) {}

int16_t CEcho::Send(const EchoFrame& f, uint8_t* reply) {
  return Link.Transact(Address, f.Length, f.Command, f.Argument, f.Value, f.ReplyLength, reply);
}

bool CEcho::Probe() {
  std::array<uint8_t, StatusSize> reply{};
  return Send(StatusRead, reply.data()) == StatusOk;
}

// Every method but SetAddress and HuntPort starts here. Without an address
// the port is opened as it stands: nothing is hunted and nothing saved.
bool CEcho::Connect() {
  if (Address != 0) return ConnectOrHunt(true) == StatusOk;
  return Link.Open(Port, 0);
}

int16_t CEcho::SetAddress(int16_t address) {
  Port = 0;
  if (Link.FindHidUnit(OrvoVendorId, address)) {
    Address = address;
    Port = 0;
    SavePort();
    return StatusOk;
  }
  PortList ports{};
  const int count = ListPorts(ports);
  const EchoFrame query = AddressQuery.WithValue(static_cast<uint8_t>(address));
  for (int i = 0; i < count; ++i) {
    if (!Link.Open(ports[i], 0)) continue;
    std::array<uint8_t, 2> reply{};
    int16_t status = StatusFailed;
    {
      LinkGuard open(Link);
      status = Link.Transact(0, query.Length, query.Command, query.Argument, query.Value,
                             query.ReplyLength, reply.data());
    }
    if (status == StatusOk && reply[0] == address) {
      Address = address;
      Port = ports[i];
      SavePort();
      return StatusOk;
    }
  }
  Os.Sleep(NotFoundPause);
  return StatusFailed;
}

// The last exchange of a method: send, close the link, then wait. Callers
// hand in a zeroed reply and decode it whatever the status, so that a
// reading that received nothing reads as zeros rather than as whatever was
// there before.
int16_t CEcho::ExchangeAndClose(const EchoFrame& frame, uint8_t* reply, uint32_t waitMs) {
  const int16_t status = Send(frame, reply);
  Link.Close();
  if (waitMs != NoPause) Os.Sleep(waitMs);
  return status;
}

int16_t CEcho::CheckStatus(const EchoFrame& frame, int16_t& bit5) {
  if (!Connect()) return StatusFailed;
  LinkGuard open(Link);
  std::array<uint8_t, StatusSize> reply{};
  const int16_t status = ExchangeAndClose(frame, reply.data(), NoPause);
  Neg = VoltsOf(reply[VoltageByte] >> 4);
  Pos = VoltsOf(reply[VoltageByte] & 0x0F);
  const uint8_t s = reply[SwitchByte];
  AC1 = (s >> 1) & 1;
  DC1 = (s >> 2) & 1;
  AC2 = (s >> 3) & 1;
  DC2 = (s >> 4) & 1;
  bit5 = (s >> 5) & 1;
  DC3 = (s >> 6) & 1;
  return status;
}

int16_t CEcho::CheckComm() { return CheckStatus(StatusRead, SP3); }

int16_t CEcho::CheckCommEx() { return CheckStatus(StatusReadEx, AC3); }

// Model reply: address, model, sub-model, then the three version numbers.
int16_t CEcho::ReadModel() {
  if (!Connect()) return StatusFailed;
  LinkGuard open(Link);
  std::array<uint8_t, 6> reply{};
  const int16_t status = ExchangeAndClose(ModelRead, reply.data(), NoPause);
  Model = reply[1];
  SubModel = reply[2];
  Version = Decimal(reply[3]) + u'.' + Decimal(reply[4]) + u'.' + Decimal(reply[5]);
  return status;
}

// Channel reply: address, then the value high byte first.
int16_t CEcho::ReadChannel(int16_t pc, int16_t channel) {
  if (!Connect()) return StatusFailed;
  LinkGuard open(Link);
  std::array<uint8_t, 3> reply{};
  const auto selector = static_cast<uint8_t>(pc * 16 + channel);
  const int16_t status =
      ExchangeAndClose(ChannelRead.WithValue(selector), reply.data(), OutputPause);
  Channel = reply[1] * 256 + reply[2];
  return status;
}

int16_t CEcho::OneFrame(const EchoFrame& frame, uint32_t waitMs) {
  if (!Connect()) return StatusFailed;
  LinkGuard open(Link);
  std::array<uint8_t, StatusSize> reply{};
  return ExchangeAndClose(frame, reply.data(), waitMs);
}

int16_t CEcho::StartCai() { return OneFrame(CaiStart, CaiStartPause); }

int16_t CEcho::EndCai() { return OneFrame(CaiEnd, NoPause); }

// Only the second frame's outcome is reported.
int16_t CEcho::SetVoltages(int16_t negative, int16_t positive) {
  if (!Connect()) return StatusFailed;
  LinkGuard open(Link);
  std::array<uint8_t, StatusSize> reply{};
  Send(NegativeSupply.WithArgument(NegativeCode(negative)), reply.data());
  return ExchangeAndClose(PositiveSupply.WithArgument(PositiveCode(positive)), reply.data(),
                          NoPause);
}

int16_t CEcho::SetAux(int16_t aux) { return OneFrame(AuxOutput.WithValue(AuxCode(aux)), NoPause); }

int16_t CEcho::SetBncs(int16_t input, int16_t output) {
  return OneFrame(BncRouting.WithValue(static_cast<uint8_t>(input * 16 + output)), OutputPause);
}

int16_t CEcho::SetSpeaker(int16_t speaker) {
  return OneFrame(SpeakerLevel.WithValue(static_cast<uint8_t>(speaker)), OutputPause);
}

// Read-modify-write of the control byte. When the read fails nothing is
// written: a guessed byte would overwrite the console's other bits.
int16_t CEcho::ChangeControlBits(uint8_t mask, std::u16string_view first, uint8_t secondMask,
                                 std::u16string_view second) {
  if (!Connect()) return StatusFailed;
  LinkGuard open(Link);
  std::array<uint8_t, StatusSize> reply{};
  if (Send(ControlRead, reply.data()) != StatusOk) {
    Link.Close();
    return StatusFailed;
  }
  uint8_t control = reply[ControlByte];
  control = IsFalse(first) ? (control & ~mask) : (control | mask);
  if (secondMask != 0) control = IsFalse(second) ? (control & ~secondMask) : (control | secondMask);
  return ExchangeAndClose(ControlWrite.WithArgument(control), reply.data(), OutputPause);
}

int16_t CEcho::SetStudentControl(std::u16string_view keyboard, std::u16string_view faults) {
  return ChangeControlBits(KeyboardBit, keyboard, FaultsBit, faults);
}

int16_t CEcho::SetWarning(std::u16string_view warning) {
  return ChangeControlBits(WarningBit, warning, 0, {});
}

// The switch write waits only when the console took it.
int16_t CEcho::WriteSwitches(const EchoSwitchSet& set, uint8_t switchByte) {
  std::array<uint8_t, StatusSize> reply{};
  const int16_t status = Send(set.Write.WithValue(switchByte), reply.data());
  Link.Close();
  if (status == StatusOk) Os.Sleep(SwitchPause);
  return status;
}

// A named switch goes on, every other one off. The read's outcome is not
// looked at: a failed read leaves the zeroed reply, so bits 0 and 7 go out as
// 0 rather than as stale memory.
int16_t CEcho::SetSwitchesOf(const EchoSwitchSet& set, std::u16string_view switches) {
  if (!Connect()) return StatusFailed;
  LinkGuard open(Link);
  uint8_t mask = 0;
  for (std::u16string_view item : SplitList(switches)) mask |= SwitchMask(set, item);
  std::array<uint8_t, StatusSize> reply{};
  Send(set.Read, reply.data());
  return WriteSwitches(set, static_cast<uint8_t>(mask | (reply[SwitchByte] & UnnamedSwitchBits)));
}

// Any non-zero value turns the switch on (a script's True is -1); no other
// bit of the byte is touched. An unknown name writes the byte back as read.
int16_t CEcho::ChangeSwitchOf(const EchoSwitchSet& set, std::u16string_view switchx,
                              int16_t value) {
  if (!Connect()) return StatusFailed;
  LinkGuard open(Link);
  std::array<uint8_t, StatusSize> reply{};
  Send(set.Read, reply.data());
  uint8_t s = reply[SwitchByte];
  if (const uint8_t mask = SwitchMask(set, switchx); mask != 0)
    s = value != 0 ? (s | mask) : (s & ~mask);
  return WriteSwitches(set, s);
}

int16_t CEcho::SetSwitches(std::u16string_view switches) {
  return SetSwitchesOf(PlainSwitches, switches);
}

int16_t CEcho::SetSwitchesEx(std::u16string_view switches) {
  return SetSwitchesOf(ExSwitches, switches);
}

int16_t CEcho::ChangeSwitch(std::u16string_view switchx, int16_t value) {
  return ChangeSwitchOf(PlainSwitches, switchx, value);
}

int16_t CEcho::ChangeSwitchEx(std::u16string_view switchx, int16_t value) {
  return ChangeSwitchOf(ExSwitches, switchx, value);
}

// The status is that of the last item; an empty list reports success.
int16_t CEcho::SendFaults(std::u16string_view faults) {
  if (!Connect()) return StatusFailed;
  LinkGuard open(Link);
  const int16_t status = SendEachItem(faults);
  Link.Close();
  Os.Sleep(FaultsPause);
  return status;
}

// A fault item is four characters after its leading blanks: two hexadecimal
// digits for the command, two decimal digits for the argument.
int16_t CEcho::SendFaultItem(std::u16string_view item) {
  item = SkipLeading(item, u" ");
  if (item.size() != 4) return StatusBadFaultItem;
  const auto command = static_cast<uint8_t>(16 * ItemHexDigit(item[0]) + ItemHexDigit(item[1]));
  const auto argument = static_cast<uint8_t>(10 * ItemHexDigit(item[2]) + ItemHexDigit(item[3]));
  std::array<uint8_t, StatusSize> reply{};
  return Send(FaultItem.WithArgument(argument).WithCommand(command), reply.data());
}

}  // namespace orvo
