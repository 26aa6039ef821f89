#pragma once
// The trainer console: speaks the command frame on a serial line
// (FE FF addr L cmd arg [val]) and in 17-byte HID reports
// ([00, addr, L, cmd, arg, val, 11 filler]). Replies start with the
// console's own address; over HID they follow the report id.
#include <array>

#include "sim/UnitBase.h"

namespace orvo::sim {

// One command as the console decodes it from either link. On the serial
// line a length-2 command carries no value; it reads as 0.
struct Command {
  uint8_t Address = 0;
  uint8_t Length = 0;
  uint8_t Code = 0;
  uint8_t Argument = 0;
  uint8_t Value = 0;
};

// A command the console does not know itself, kept as a fault item.
struct FaultItem {
  uint8_t Code = 0;
  uint8_t Argument = 0;
  bool operator==(const FaultItem&) const = default;
};

class Console final : public UnitBase {
 public:
  static constexpr std::size_t StatusSize = 14;
  static constexpr std::size_t HidReportSize = 17;

  explicit Console(uint8_t address);

  // Supply voltages as the status reply reports them: one nibble each, the
  // same code a voltage command carries.
  uint8_t NegativeNibble() const { return Negative; }
  uint8_t PositiveNibble() const { return Positive; }
  void SetVoltageNibbles(uint8_t negative, uint8_t positive);

  uint8_t SwitchByte() const { return Switches; }
  void SetSwitchByte(uint8_t value) { Switches = value; }
  uint8_t ControlByte() const { return Control; }
  void SetControlByte(uint8_t value) { Control = value; }

  uint8_t Model() const { return ModelNumber; }
  uint8_t SubModel() const { return SubModelNumber; }
  void SetModel(uint8_t model, uint8_t subModel);
  const std::array<uint8_t, 3>& Version() const { return VersionNumbers; }
  void SetVersion(uint8_t first, uint8_t second, uint8_t third) {
    VersionNumbers = {first, second, third};
  }

  // Meter channels, indexed by the value byte of 'X' 'C'.
  uint16_t Channel(uint8_t index) const { return Channels[index]; }
  void SetChannel(uint8_t index, uint16_t value) { Channels[index] = value; }

  // Last values of the output commands, and the Cai state.
  uint8_t Aux() const { return AuxCode; }
  uint8_t Bncs() const { return BncRouting; }
  uint8_t Speaker() const { return SpeakerLevel; }
  bool CaiStarted() const { return Cai; }
  const std::vector<FaultItem>& Faults() const { return FaultItems; }
  void ClearFaults() { FaultItems.clear(); }
  void ForgetHistory() override {
    UnitBase::ForgetHistory();
    FaultItems.clear();
  }

  // The 14-byte status reply as it stands now.
  std::vector<uint8_t> Status() const;

 private:
  struct Rule;
  static const Rule Rules[];

  Reply AnswerSerial(std::span<const uint8_t> frame) override;
  bool HasHidLink() const override { return true; }
  Reply AnswerHid(std::span<const uint8_t> report) override;
  Reply Execute(const Command& command);

  Reply ReadStatus(const Command&);
  Reply ReadModel(const Command&);
  Reply ReadChannel(const Command&);
  template <bool Started>
  Reply SetCai(const Command&) {
    Cai = Started;
    return Acknowledge();
  }
  Reply SetNegative(const Command&);
  Reply SetPositive(const Command&);
  // The output commands that only keep their value byte.
  template <uint8_t Console::*Field>
  Reply StoreValue(const Command& command) {
    this->*Field = command.Value;
    return Acknowledge();
  }
  Reply WriteControl(const Command&);
  Reply WriteSwitches(const Command&);
  Reply AnswerAddressQuery(const Command&);
  Reply AnswerLinkProbe(const Command&);
  Reply Acknowledge() const;

  uint8_t Negative = 0;
  uint8_t Positive = 0;
  uint8_t Switches = 0;
  uint8_t Control = 0;
  uint8_t ModelNumber = 0;
  uint8_t SubModelNumber = 0;
  std::array<uint8_t, 3> VersionNumbers{};
  std::array<uint16_t, 256> Channels{};
  uint8_t AuxCode = 0;
  uint8_t BncRouting = 0;
  uint8_t SpeakerLevel = 0;
  bool Cai = false;
  std::vector<FaultItem> FaultItems;
};

}  // namespace orvo::sim
