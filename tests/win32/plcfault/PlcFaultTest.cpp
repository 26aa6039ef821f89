// CPlc and CFault through the real serial and registry backends under Wine,
// against orvo-sim: a PLC trainer at address 21 behind COM21 and a fault
// unit at address 22 behind COM22. Other areas' units may share the
// serial-port map; the hunts walk past them. check-units then reads what
// the units received.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>

#include "devices/fault/Fault.h"
#include "devices/plc/Plc.h"

namespace orvo {
namespace {

constexpr const wchar_t* SettingsKey = L"Software\\OrvoCorp\\Controls\\Cai\\OrvoTrainer\\Immediate";

// Read straight from the registry, not through the classes' own settings.
std::optional<DWORD> Remembered(const wchar_t* name) {
  DWORD value = 0, size = sizeof value;
  if (RegGetValueW(HKEY_CURRENT_USER, SettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value,
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return value;
}

void Forget(const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
    RegDeleteValueW(key, name);
    RegCloseKey(key);
  }
}

TEST(Win32PlcFault, HuntsRememberThePortsAndTheUnitsAnswer) {
  Forget(L"SorlPort");
  Forget(L"TarnPort");

  CPlc plc;
  EXPECT_EQ(plc.get_Port(), 0);
  EXPECT_EQ(Remembered(L"SorlPort"), 0u) << "the first object creates the value";
  plc.put_Address(21);
  ASSERT_EQ(plc.HuntPort(), StatusOk);
  EXPECT_EQ(plc.get_Port(), 21);
  EXPECT_EQ(Remembered(L"SorlPort"), 21u);

  CFault fault;
  fault.put_Address(22);
  ASSERT_EQ(fault.HuntPort(), StatusOk);
  EXPECT_EQ(fault.get_Port(), 22);
  EXPECT_EQ(Remembered(L"TarnPort"), 22u);

  // A new object starts from the remembered port and needs no hunt.
  CPlc again;
  again.put_Address(21);
  EXPECT_EQ(again.get_Port(), 21);
  EXPECT_EQ(again.ReadMain(), StatusOk);
  // orvo-sim's trainer starts with its main block at 0: both active-low
  // inputs on, no selector position.
  EXPECT_EQ(again.get_DC(), 1);
  EXPECT_EQ(again.get_Monitor(), 1);
  EXPECT_EQ(again.get_Selector(), 0);
  EXPECT_EQ(again.SetProcess(static_cast<int16_t>(0x8001)), StatusOk);

  EXPECT_EQ(fault.SendFaults(u"F1,F12,E12,F250"), StatusOk);
  EXPECT_EQ(fault.CheckComm(), StatusOk);
  EXPECT_EQ(fault.SendFaults(u"F1,X1"), StatusBadFaultItem);
}

}  // namespace
}  // namespace orvo
