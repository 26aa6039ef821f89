#pragma once
// A registry subtree as canonical text, for tests to compare: one line per
// value and per key, indented by depth, values before subkeys, both sorted
// without regard to case. It reads through the Registry interface, so a tree
// in the model and the same tree in the Win32 registry dump alike.
//
//   OrvoTrainer.Echo
//     @ = REG_SZ "Echo Class\0"
//     CurVer
//       @ = REG_SZ "OrvoTrainer.Echo.1\0"
//
// "@" is the default value. Strings show every UTF-16 unit, terminators
// included, so a wrong size shows up; DWORDs of 4 bytes are decimal and
// everything else is hexadecimal bytes.
#include <string>

#include "platform/Registry.h"

namespace orvo {

// The subkeys and values below `key` (not the key's own name). A subtree
// that cannot be read shows as a line "!error N".
std::string DumpRegistryTree(Registry& registry, RegKey key);

// The same for a path below a root; a missing path gives "!missing".
std::string DumpRegistryTree(Registry& registry, RegKey root, const char16_t* path);

}  // namespace orvo
