#pragma once
// The system's component and automation declarations the frame builds on.
// The build defines WIN32_LEAN_AND_MEAN, which leaves these out of
// <windows.h>, so they are named here once.
#include <windows.h>

#include <oaidl.h>
#include <objbase.h>
#include <objsafe.h>
#include <ocidl.h>
#include <oleauto.h>
