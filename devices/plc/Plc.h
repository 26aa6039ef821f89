#pragma once
// CPlc: the PLC trainer. It reads the trainer's main and external input
// blocks, drives its selector nibble (channels 24..27), clocks a 16-bit
// process value through that nibble, and switches fault channels. Every unit
// operation opens the link to the remembered port, exchanges short frames and
// closes it again; none of them hunts by itself.
#include <cstdint>
#include <string_view>

#include "devices/common/ShortFrameDevice.h"

namespace orvo {

class CPlc : public CShortFrameDevice {
 public:
#ifdef _WIN32
  CPlc() : CPlc(SystemPlatform(), SystemRegistry()) {}
#endif
  CPlc(Platform& platform, Registry& registry);
  CPlc(const CPlc&) = delete;
  CPlc& operator=(const CPlc&) = delete;

  // Properties. Writing Port only changes this object; the remembered port
  // is rewritten by a hunt alone.
  int16_t get_DC() const { return DC; }
  int16_t get_Monitor() const { return Monitor; }
  int16_t get_Selector() const { return Selector; }
  int16_t get_Voltage() const { return Voltage; }
  int16_t get_PC1() const { return PC1; }
  int16_t get_PC2() const { return PC2; }

  int16_t CheckComm();
  int16_t ReadMain();
  int16_t ReadExternal();
  int16_t SetProcess(int16_t process);
  int16_t ClearFaults() override;
  int16_t SetSelector(int16_t selector);

 private:
  // The caller holds the link open for these.
  bool Probe() override;
  int16_t ReadBlock(uint8_t selectChannel, void (CPlc::*decode)(uint8_t));
  int16_t ReadMainBlock();
  int16_t ReadExternalBlock();
  void DecodeMainBlock(uint8_t data);
  void DecodeExternalBlock(uint8_t data);
  int16_t WriteNibble(uint8_t value);
  int16_t SendFaultItem(std::u16string_view item) override;

  // Readings, 0 until a block read fills them.
  int16_t DC = 0;
  int16_t Monitor = 0;
  int16_t Selector = 0;
  int16_t Voltage = 0;
  int16_t PC1 = 0;
  int16_t PC2 = 0;
};

}  // namespace orvo
