#pragma once
// What the trainer units understand, in one place: the frames and their
// lengths, the console's commands, the short-frame opcodes, the ids a unit
// on the USB link reports and the name a COM port is opened by. The link,
// the device classes and the trace read the wire through these, so a
// command changed here changes for all of them at once.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace orvo::protocol {

// Serial command frame: FE FF addr L cmd arg [value]. L counts the bytes
// after it, so a length-2 command carries no value on the serial line.
inline constexpr uint8_t FrameStart[2] = {0xFE, 0xFF};
inline constexpr std::size_t CommandHeaderSize = 4;  // FE FF addr L
inline constexpr std::size_t CommandFrameMaxSize = CommandHeaderSize + 3;

// HID output report: [0, addr, L, cmd, arg, value, 11 zero bytes]. The
// input report answering it carries the reply after its report id.
inline constexpr std::size_t HidReportSize = 17;

// Short frame: [addr, opcode, argument] out, [addr, 0, data] back, for the
// PLC trainer and the fault unit.
inline constexpr std::size_t ShortFrameSize = 3;
enum ShortOpcode : uint8_t {
  ShortRead = 0xB0,
  ShortClear = 0xC0,
  ShortOff = 0xE0,
  ShortOn = 0xF0,
};

// The PLC trainer's channels with a fixed use; every other one is a fault
// channel.
inline constexpr uint8_t PlcMainSelect = 22;      // on while the main block is read
inline constexpr uint8_t PlcExternalSelect = 23;  // on while the external block is read
inline constexpr uint8_t PlcSelectorFirst = 24;   // bit k of the selector nibble is 24 + k
inline constexpr uint8_t PlcSelectorLast = 27;

// What a console on the USB link reports itself as.
inline constexpr uint16_t OrvoVendorId = 0x3A71;
inline constexpr uint16_t ConsoleProductId = 2;
constexpr bool IsOrvoProduct(uint16_t product) {
  return product == 2 || product == 3 || product == 4 || product == 0xFFFF;
}

// One console command as it is sent: the command and argument bytes, the
// length byte it goes with, and how many reply bytes the module reads back.
// AnyArgument marks a command whose argument byte carries data.
inline constexpr int AnyArgument = -1;
struct ConsoleCommand {
  uint8_t Code;
  int Argument;
  uint8_t Length;
  uint8_t ReplyLength;
};

namespace console {
// clang-format off
//                                           cmd   argument     L  reply
inline constexpr ConsoleCommand ReadStatus{      'R', 'I',         2, 14};
inline constexpr ConsoleCommand ReadStatusEx{    'X', 'I',         2, 14};
inline constexpr ConsoleCommand ReadModel{       'X', 'M',         2, 6};
inline constexpr ConsoleCommand ReadChannel{     'X', 'C',         3, 3};   // value: pc, channel
inline constexpr ConsoleCommand StartCai{        'I', 'S',         2, 2};
inline constexpr ConsoleCommand EndCai{          'I', 'E',         2, 2};
inline constexpr ConsoleCommand NegativeSupply{  '-', AnyArgument, 2, 14};  // argument: voltage code
inline constexpr ConsoleCommand PositiveSupply{  '+', AnyArgument, 2, 14};  // argument: voltage code
inline constexpr ConsoleCommand SetAux{          'X', '+',         3, 2};   // value: aux code
inline constexpr ConsoleCommand SetBncs{         'X', 'B',         3, 2};   // value: input, output
inline constexpr ConsoleCommand SetSpeaker{      'X', 'S',         3, 2};   // value: the level
inline constexpr ConsoleCommand WriteControl{    'F', AnyArgument, 2, 14};  // argument: control byte
inline constexpr ConsoleCommand WriteSwitches{   'P', 'S',         3, 14};  // value: switch byte
inline constexpr ConsoleCommand WriteSwitchesEx{ 'X', 'P',         3, 14};  // value: switch byte
inline constexpr ConsoleCommand AddressQuery{    'A', 0xFF,        3, 2};   // value: the address sought
inline constexpr ConsoleCommand LinkProbe{       'K', 'L',         2, 2};
// clang-format on
// The probe's value byte: the HID report carries one even at length 2.
inline constexpr uint8_t LinkProbeValue = 'x';
// Any other length-2 command is a fault item: two hexadecimal digits of
// command and two decimal digits of argument, answered with a status.
inline constexpr uint8_t FaultItemReplyLength = 14;
}  // namespace console

// The statuses the module reports: an exchange that got its whole reply,
// and one that did not.
inline constexpr int16_t StatusOk = 61;
inline constexpr int16_t StatusFailed = 60;

// How many reply bytes the module reads for a command: the console's
// answer to it, a status for a fault item, and all a HID input report
// carries for anything else.
constexpr std::size_t ConsoleReplyLength(uint8_t length, uint8_t code, uint8_t argument) {
  using namespace console;
  for (const ConsoleCommand& c :
       {ReadStatus, ReadStatusEx, ReadModel, ReadChannel, StartCai, EndCai, NegativeSupply,
        PositiveSupply, SetAux, SetBncs, SetSpeaker, WriteControl, WriteSwitches, WriteSwitchesEx,
        AddressQuery, LinkProbe}) {
    if (c.Code == code && c.Length == length &&
        (c.Argument == AnyArgument || c.Argument == argument))
      return c.ReplyLength;
  }
  return length == 2 ? FaultItemReplyLength : HidReportSize - 1;
}

// Status reply: byte 1 the supply codes (negative in the high nibble), byte
// 2 the switch byte, byte 13 the control byte.
inline constexpr std::size_t StatusSupplyByte = 1, StatusSwitchByte = 2, StatusControlByte = 13;
// Volts for each one-bit supply code; combinations, and codes past the
// table, mean no supply.
inline constexpr int SupplyVolts[9] = {0, 5, 12, 0, 15, 0, 0, 0, 24};
constexpr int SupplyVoltsOf(uint8_t nibble) { return nibble < 9 ? SupplyVolts[nibble] : 0; }

// COMn is opened as \\.\COMn, which also reaches ports above COM9.
inline constexpr std::u16string_view SerialDevicePrefix = u"\\\\.\\COM";
inline std::u16string SerialDeviceName(int32_t port) {
  std::u16string name(SerialDevicePrefix);
  for (char c : std::to_string(port)) name.push_back(static_cast<char16_t>(c));
  return name;
}
// The port a device name opens, or nothing when it names no COM port.
inline std::optional<int32_t> SerialPortOfDevice(std::u16string_view name) {
  if (name.substr(0, SerialDevicePrefix.size()) != SerialDevicePrefix ||
      name.size() == SerialDevicePrefix.size())
    return std::nullopt;
  int32_t port = 0;
  for (char16_t c : name.substr(SerialDevicePrefix.size())) {
    if (c < u'0' || c > u'9' || port > 100000) return std::nullopt;
    port = port * 10 + (c - u'0');
  }
  return port;
}

}  // namespace orvo::protocol
