#pragma once
// The SetupAPI and HID class-driver calls through which the Win32 backend
// finds and opens HID units. Wine has no HID unit, so without this the
// backend's HID half would first run in a classroom: a test puts devices of
// its own behind these calls, while the transfers on the handle it opens
// stay the system's (ReadFile, WriteFile, CancelIo, GetOverlappedResult).
#include <windows.h>

#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include <memory>

#include "platform/Platform.h"

namespace orvo {

struct HidApi {
  decltype(&::HidD_GetHidGuid) GetHidGuid;
  decltype(&::SetupDiGetClassDevsW) GetClassDevs;
  decltype(&::SetupDiEnumDeviceInterfaces) EnumDeviceInterfaces;
  decltype(&::SetupDiGetDeviceInterfaceDetailW) GetDeviceInterfaceDetail;
  decltype(&::SetupDiDestroyDeviceInfoList) DestroyDeviceInfoList;
  decltype(&::CreateFileW) OpenDevice;  // for HID interface paths only
  decltype(&::HidD_GetAttributes) GetAttributes;
  decltype(&::HidD_FlushQueue) FlushQueue;
};

// The system's own functions: what SystemPlatform() calls.
HidApi SystemHidApi();

// The Win32 platform with its HID lookups going to `hid`; serial ports, the
// registry and every transfer remain the system's.
std::unique_ptr<Platform> MakeWin32Platform(const HidApi& hid);

}  // namespace orvo
