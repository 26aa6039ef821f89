#pragma once
// The PLC trainer: 256 output channels switched by On/Off, two input blocks
// read through channels 22 and 23, and the selector nibble on channels
// 24..27, through which the host also clocks a 16-bit process value.
#include "sim/ProcessDecoder.h"
#include "sim/ShortFrameUnit.h"

namespace orvo::sim {

class PlcTrainer final : public ShortFrameUnit {
 public:
  static constexpr uint8_t MainSelect = 22;
  static constexpr uint8_t ExternalSelect = 23;
  static constexpr uint8_t SelectorFirst = 24;
  static constexpr uint8_t SelectorLast = 27;
  // What a Read returns with neither block selected: the inputs float high.
  static constexpr uint8_t NothingSelected = 0xFF;

  explicit PlcTrainer(uint8_t address);

  uint8_t MainBlock() const { return Main; }
  void SetMainBlock(uint8_t value) { Main = value; }
  uint8_t ExternalBlock() const { return External; }
  void SetExternalBlock(uint8_t value) { External = value; }

  // The selector nibble as channels 24..27 stand now (bit k = channel 24 + k).
  uint8_t Selector() const;
  // Every nibble the host completed, i.e. each write to channel 27.
  const std::vector<uint8_t>& Nibbles() const { return NibbleLog; }
  std::optional<uint16_t> LastProcessValue() const;
  const std::vector<uint16_t>& ProcessValues() const { return ProcessLog; }
  int BrokenTransfers() const { return Decoder.Broken(); }
  void ForgetHistory() override {
    UnitBase::ForgetHistory();
    NibbleLog.clear();
    ProcessLog.clear();
  }

 private:
  std::optional<uint8_t> Execute(uint8_t command, uint8_t argument) override;
  void Switch(uint8_t channel, bool on);
  uint8_t ReadSelectedBlock() const;

  uint8_t Main = 0;
  uint8_t External = 0;
  std::vector<uint8_t> NibbleLog;
  std::vector<uint16_t> ProcessLog;
  ProcessDecoder Decoder;
};

}  // namespace orvo::sim
