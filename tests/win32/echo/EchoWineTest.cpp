// CEcho as the DLL will run it: the Win32 serial backend and the real
// registry, under Wine, against console12 on COM12 (and console11 on COM11,
// which answers to another address). The frames console12 received are
// checked afterwards from orvo-sim's log.
#include <windows.h>

#include <gtest/gtest.h>

#include "devices/echo/Echo.h"
#include "tests/win32/kit/RememberedPorts.h"

namespace orvo {
namespace {

TEST(Win32Echo, FindsTheConsoleAndDrivesIt) {
  ForgetPort(L"BrixPort_12");
  CEcho echo;
  EXPECT_EQ(RememberedPort(L"BrixPort_0"), echo.get_Port());

  ASSERT_EQ(echo.SetAddress(12), StatusOk);
  EXPECT_EQ(echo.get_Address(), 12);
  EXPECT_EQ(echo.get_Port(), 12);
  EXPECT_EQ(RememberedPort(L"BrixPort_12"), 12);

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
