#pragma once
// The fault-insertion unit: faults 0..255 switched in by On and out by Off,
// all out by Clear; Read answers a data byte the tests can set.
#include "sim/ShortFrameUnit.h"

namespace orvo::sim {

class FaultUnit final : public ShortFrameUnit {
 public:
  explicit FaultUnit(uint8_t address);

  uint8_t Data() const { return ReadData; }
  void SetData(uint8_t value) { ReadData = value; }

 private:
  std::optional<uint8_t> Execute(uint8_t command, uint8_t argument) override;

  uint8_t ReadData = 0;
};

}  // namespace orvo::sim
