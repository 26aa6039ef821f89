#pragma once
// A unit that answers from a script: the n-th frame it receives gets the
// n-th reply (or silence). Enough to pin down the link's own behaviour
// without depending on what a trainer model would answer.
#include <optional>
#include <vector>

#include "sim/Unit.h"

namespace orvo::test {

class ScriptedUnit : public sim::Unit {
 public:
  std::vector<std::optional<std::vector<uint8_t>>> Replies;  // one per received write or report
  uint32_t DelayMs = 0;
  bool Gone = false;  // as a unit that was unplugged: its port no longer opens

  std::vector<sim::Emission> OnSerialBytes(std::span<const uint8_t> bytes) override {
    Log.push_back({sim::Frame::Kind::Command, {bytes.begin(), bytes.end()}});
    return Next();
  }
  std::vector<sim::Emission> OnHidReport(std::span<const uint8_t> report) override {
    Log.push_back({sim::Frame::Kind::HidReport, {report.begin(), report.end()}});
    return Next();
  }
  const std::vector<sim::Frame>& Received() const override { return Log; }
  void ClearReceived() override { Log.clear(); }
  void Misbehave(sim::Misbehaviour, int, uint32_t) override {}
  bool Vanished() const override { return Gone; }

 private:
  std::vector<sim::Emission> Next() {
    if (Used >= Replies.size() || !Replies[Used]) {
      ++Used;
      return {};
    }
    return {sim::Emission{*Replies[Used++], DelayMs}};
  }
  std::vector<sim::Frame> Log;
  std::size_t Used = 0;
};

// A full 17-byte HID input report from the unit at `address`.
inline std::vector<uint8_t> HidReply(uint8_t address, std::vector<uint8_t> data = {}) {
  std::vector<uint8_t> report(17, 0);
  report[1] = address;
  for (std::size_t i = 0; i < data.size() && i + 2 < report.size(); ++i) report[i + 2] = data[i];
  return report;
}

}  // namespace orvo::test
