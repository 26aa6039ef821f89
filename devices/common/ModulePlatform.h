#pragma once
// The platform the module's objects run on.
#include "platform/Platform.h"

namespace orvo {

// The system's platform, or simulated units in its place when
// ORVOTRAINER_SIMULATE asks for them, seen through the wire trace when
// ORVOTRAINER_TRACE names a file.
Platform& ModulePlatform();

}  // namespace orvo
