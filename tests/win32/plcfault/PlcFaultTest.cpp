// CPlc and CFault through the real serial and registry backends under Wine,
// against orvo-sim: a PLC trainer at address 21 behind COM21 and a fault
// unit at address 22 behind COM22. Other areas' units may share the
// serial-port map; the hunts walk past them. check-units then reads what
// the units received.
#include <windows.h>

#include <gtest/gtest.h>

#include "devices/fault/Fault.h"
#include "devices/plc/Plc.h"
#include "tests/win32/kit/RememberedPorts.h"

namespace orvo {
namespace {

TEST(Win32PlcFault, HuntsRememberThePortsAndTheUnitsAnswer) {
  ForgetPort(L"SorlPort");
  ForgetPort(L"TarnPort");

  CPlc plc;
  EXPECT_EQ(plc.get_Port(), 0);
  EXPECT_EQ(RememberedPort(L"SorlPort"), 0) << "the first object creates the value";
  plc.put_Address(21);
  ASSERT_EQ(plc.HuntPort(), StatusOk);
  EXPECT_EQ(plc.get_Port(), 21);
  EXPECT_EQ(RememberedPort(L"SorlPort"), 21);

  CFault fault;
  fault.put_Address(22);
  ASSERT_EQ(fault.HuntPort(), StatusOk);
  EXPECT_EQ(fault.get_Port(), 22);
  EXPECT_EQ(RememberedPort(L"TarnPort"), 22);

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
