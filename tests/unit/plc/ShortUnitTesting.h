#pragma once
// What the PLC trainer and fault unit tests share: the frames a unit took
// off the wire, a unit that starts misbehaving at a chosen frame, and the
// remembered ports in the registry model.
#include <cstdint>
#include <string>
#include <vector>

#include "devices/common/Settings.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/RegistryDump.h"
#include "platform/fake/RegistryModel.h"
#include "sim/HexText.h"
#include "sim/Unit.h"

namespace orvo::test {

// The frames `unit` received, as "03 f0 16".
inline std::vector<std::string> FramesOf(const sim::Unit& unit) {
  std::vector<std::string> frames;
  for (const sim::Frame& f : unit.Received()) frames.push_back(sim::HexBytes(f.Bytes));
  return frames;
}

// Platform calls whose trace line starts with one of `prefixes`, in order.
inline std::vector<std::string> CallsOf(const fake::FakePlatform& os,
                                        std::initializer_list<std::string_view> prefixes) {
  std::vector<std::string> calls;
  for (const std::string& line : os.Trace()) {
    for (std::string_view p : prefixes) {
      if (line.starts_with(p)) {
        calls.push_back(line);
        break;
      }
    }
  }
  return calls;
}

// Stands between the bus and a unit, and makes the unit misbehave from its
// `At`th frame on (counting from 0, resends included).
class MisbehavingFrom final : public sim::Unit {
 public:
  explicit MisbehavingFrom(sim::Unit& unit) : Inner(unit) {}

  void Arm(std::size_t at, sim::Misbehaviour how, int count) {
    At = at;
    How = how;
    Count = count;
    Armed = true;
  }

  std::vector<sim::Emission> OnSerialBytes(std::span<const uint8_t> bytes) override {
    if (Armed && Inner.Received().size() == At) {
      Inner.Misbehave(How, Count);
      Armed = false;
    }
    return Inner.OnSerialBytes(bytes);
  }
  std::vector<sim::Emission> OnHidReport(std::span<const uint8_t> report) override {
    return Inner.OnHidReport(report);
  }
  const std::vector<sim::Frame>& Received() const override { return Inner.Received(); }
  void ClearReceived() override { Inner.ClearReceived(); }
  void Misbehave(sim::Misbehaviour how, int count, uint32_t lateMs) override {
    Inner.Misbehave(how, count, lateMs);
  }
  bool Vanished() const override { return Inner.Vanished(); }

 private:
  sim::Unit& Inner;
  std::size_t At = 0;
  sim::Misbehaviour How = sim::Misbehaviour::None;
  int Count = 0;
  bool Armed = false;
};

inline std::u16string SettingsPath() {
  return std::u16string(SettingsRoot) + std::u16string(SettingsLeaf);
}

// The settings key as text: "SorlPort = REG_DWORD 7\n", or "!missing\n".
inline std::string StoredSettings(Registry& registry) {
  return DumpRegistryTree(registry, RegCurrentUser, SettingsPath().c_str());
}

inline void StorePort(Registry& registry, const char16_t* name, uint32_t port) {
  RegKey key = 0;
  registry.CreateKeyEx(RegCurrentUser, SettingsPath().c_str(), nullptr, 0, KeyReadWrite, &key,
                       nullptr);
  registry.SetValueEx(key, name, REG_DWORD, &port, sizeof port);
  registry.CloseKey(key);
}

}  // namespace orvo::test
