#pragma once
// The instance creators the class table hands to the class objects, and the
// class identifiers from the type library.
#include "OrvoTrainer_h.h"

#if __has_include("server/objects/Objects.h")
#include "server/objects/Objects.h"
#else
#include "server/dll/ObjectsStandIn.h"
#endif
