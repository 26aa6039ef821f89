#pragma once
// The system's component and automation declarations the module's entry
// points build on. WIN32_LEAN_AND_MEAN leaves them out of <windows.h>.
#include <windows.h>

#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>
