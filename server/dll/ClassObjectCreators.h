#pragma once
// The instance creators the class table hands to the class objects, and the
// class identifiers from the type library.
#include "OrvoTrainer_h.h"

#include "server/objects/Objects.h"
