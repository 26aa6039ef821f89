// CEcho as the DLL will run it: the Win32 serial backend and the real
// registry, under Wine, against console12 on COM12 (and console11 on COM11,
// which answers to another address). The frames console12 received are
// checked afterwards from orvo-sim's log.
#include <windows.h>

#include <gtest/gtest.h>

#include "devices/echo/Echo.h"

namespace orvo {
namespace {

constexpr const wchar_t* SettingsKey = L"Software\\OrvoCorp\\Controls\\Cai\\OrvoTrainer\\Immediate";

// The remembered port under `name` in HKCU, or -1000 when it is not a
// 4-byte REG_DWORD.
long Remembered(const wchar_t* name) {
  DWORD value = 0, size = sizeof value, type = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, SettingsKey, name, RRF_RT_ANY, &type, &value, &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != 4)
    return -1000;
  return static_cast<long>(static_cast<int32_t>(value));
}

TEST(Win32Echo, FindsTheConsoleAndDrivesIt) {
  RegDeleteKeyValueW(HKEY_CURRENT_USER, SettingsKey, L"BrixPort_12");
  CEcho echo;
  EXPECT_EQ(Remembered(L"BrixPort_0"), echo.get_Port());

  ASSERT_EQ(echo.SetAddress(12), StatusOk);
  EXPECT_EQ(echo.get_Address(), 12);
  EXPECT_EQ(echo.get_Port(), 12);
  EXPECT_EQ(Remembered(L"BrixPort_12"), 12);

  EXPECT_EQ(echo.CheckComm(), StatusOk);
  EXPECT_EQ(echo.get_Neg(), 15);
  EXPECT_EQ(echo.get_Pos(), 24);
  EXPECT_EQ(echo.get_AC1() + echo.get_DC1() + echo.get_SP3() + echo.get_DC3(), 0);

  EXPECT_EQ(echo.SetSwitches(u"AC1,DC3"), StatusOk);
  EXPECT_EQ(echo.SendFaults(u"4612,4705"), StatusOk);
  EXPECT_EQ(echo.ReadModel(), StatusOk);
  EXPECT_EQ(echo.get_Model(), 3);
  EXPECT_EQ(echo.get_SubModel(), 7);
  EXPECT_EQ(echo.get_Version(), u"1.2.13");

  // A second object for the same address starts from the remembered port.
  CEcho again;
  again.put_Address(12);
  EXPECT_EQ(again.get_Port(), 12);
}

}  // namespace
}  // namespace orvo
