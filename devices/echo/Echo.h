#pragma once
// CEcho: one trainer console on the bus. It finds the console (SetAddress,
// HuntPort, and the connect step every other method starts with), remembers
// the port that worked under "BrixPort_<address>", reads the console's status,
// model and channels into its fields, and sets its outputs, switches and
// faults. Every method opens the link, runs its exchanges, closes the link,
// waits where the console needs time, and returns the 16-bit status (61
// success, 60 failure, 65 a malformed last fault item). Strings arrive as
// views: the automation shell has already cut them at the first NUL and
// turned a null string into an empty one.
#include <cstdint>
#include <string>
#include <string_view>

#include "devices/common/Device.h"

namespace orvo {

struct EchoFrame;
struct EchoSwitchSet;

class CEcho final : public CDevice {
 public:
#ifdef _WIN32
  explicit CEcho(Platform& platform = SystemPlatform(), Registry& registry = SystemRegistry());
#else
  CEcho(Platform& platform, Registry& registry);
#endif
  CEcho(const CEcho&) = delete;
  CEcho& operator=(const CEcho&) = delete;

  // Properties. Writing never talks to the console: a new Port is saved
  // under the current address; a new Address takes the port remembered for
  // it, or remembers the current port under it when it has none.
  int16_t get_Model() const { return Model; }
  int16_t get_SubModel() const { return SubModel; }
  const std::u16string& get_Version() const { return Version; }
  int16_t get_Neg() const { return Neg; }
  int16_t get_Pos() const { return Pos; }
  int16_t get_AC1() const { return AC1; }
  int16_t get_DC1() const { return DC1; }
  int16_t get_AC2() const { return AC2; }
  int16_t get_DC2() const { return DC2; }
  int16_t get_SP3() const { return SP3; }
  int16_t get_AC3() const { return AC3; }
  int16_t get_DC3() const { return DC3; }
  int32_t get_Channel() const { return Channel; }

  // Finding the console.
  int16_t SetAddress(int16_t address);

  // Readings.
  int16_t CheckComm();
  int16_t CheckCommEx();
  int16_t ReadModel();
  int16_t ReadChannel(int16_t pc, int16_t channel);

  // Outputs.
  int16_t StartCai();
  int16_t EndCai();
  int16_t SetVoltages(int16_t negative, int16_t positive);
  int16_t SetAux(int16_t aux);
  int16_t SetStudentControl(std::u16string_view keyboard, std::u16string_view faults);
  int16_t SetWarning(std::u16string_view warning);
  int16_t SetBncs(int16_t input, int16_t output);
  int16_t SetSpeaker(int16_t speaker);

  // Switches and faults.
  int16_t SetSwitches(std::u16string_view switches);
  int16_t SetSwitchesEx(std::u16string_view switches);
  int16_t ChangeSwitch(std::u16string_view switchx, int16_t value);
  int16_t ChangeSwitchEx(std::u16string_view switchx, int16_t value);
  int16_t SendFaults(std::u16string_view faults);

 private:
  // The status read: the console answers it whatever its state.
  bool Probe() override;
  bool Connect();
  int16_t Send(const EchoFrame& frame, uint8_t* reply);
  int16_t ExchangeAndClose(const EchoFrame& frame, uint8_t* reply, uint32_t waitMs);
  int16_t OneFrame(const EchoFrame& frame, uint32_t waitMs);
  int16_t CheckStatus(const EchoFrame& frame, int16_t& bit5);
  int16_t ChangeControlBits(uint8_t mask, std::u16string_view first, uint8_t secondMask,
                            std::u16string_view second);
  int16_t SetSwitchesOf(const EchoSwitchSet& set, std::u16string_view switches);
  int16_t ChangeSwitchOf(const EchoSwitchSet& set, std::u16string_view switchx, int16_t value);
  int16_t WriteSwitches(const EchoSwitchSet& set, uint8_t switchByte);
  int16_t SendFaultItem(std::u16string_view item) override;

  int16_t Model = 0;
  int16_t SubModel = 0;
  std::u16string Version;
  int16_t Neg = 0;
  int16_t Pos = 0;
  int16_t AC1 = 0;
  int16_t DC1 = 0;
  int16_t AC2 = 0;
  int16_t DC2 = 0;
  int16_t SP3 = 0;
  int16_t AC3 = 0;
  int16_t DC3 = 0;
  int32_t Channel = 0;
};

}  // namespace orvo
