#pragma once
// Where the device classes remember the port that last reached their unit:
// one REG_DWORD per device under the current user's settings key, which is
// created whenever it is missing. The port is stored sign-extended to 32 bits
// and read back as its low 16 bits. A registry that cannot be opened or
// written is ignored: the object then simply keeps its port in memory.
#include <cstdint>
#include <string_view>

#include "platform/Registry.h"

namespace orvo {

// The settings key below the current user's hive.
inline constexpr std::u16string_view SettingsRoot =
    u"Software\\OrvoCorp\\Controls\\Cai\\OrvoTrainer";
inline constexpr std::u16string_view SettingsLeaf = u"\\Immediate";

// True, with `port` set to the low 16 bits, when `valueName` holds a 4-byte
// REG_DWORD. False (and `port` untouched) when the key is unavailable, the
// value is missing, or it has another type or size.
bool LoadRememberedPort(Registry& registry, std::u16string_view valueName, int16_t& port);

// Writes `port`, sign-extended, as a REG_DWORD named `valueName`. Failures
// are silent.
void SaveRememberedPort(Registry& registry, std::u16string_view valueName, int16_t port);

// What every device class's LoadPort does: take the remembered port, or, when
// there is none usable, write the current one so that the value exists (and a
// value of the wrong type or size is replaced).
void LoadOrRememberPort(Registry& registry, std::u16string_view valueName, int16_t& port);

}  // namespace orvo
