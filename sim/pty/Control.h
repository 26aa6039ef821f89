#pragma once
// The control channel of orvo-sim: one line in, one line out. A test uses it
// to bend a unit's behaviour or to set and read its state while the host
// under test talks to it.
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "sim/UnitBase.h"

namespace orvo::sim {

using UnitsByName = std::map<std::string, UnitBase*, std::less<>>;

inline constexpr std::string_view ControlHelp =
    "  misbehave UNIT HOW [COUNT [LATE_MS]]  as misbehave=, count=, late-ms= (none ends it)\n"
    "  set UNIT FIELD VALUE...               change state\n"
    "  get UNIT FIELD [INDEX]                read state\n"
    "  clear UNIT                            forget the frames received so far, and\n"
    "                                        empty the line: replies still due or\n"
    "                                        left unread are dropped\n"
    "  frames UNIT                           N; KIND HEX; ... (frames received)\n"
    "  list                                  NAME PTY ... of every unit\n"
    "  help                                  the command names\n"
    "  Fields (* settable, also as --unit FIELD=VALUE; numbers decimal or 0x hex):\n"
    "    every unit: address*, misbehaviour, vanished\n"
    "    console: switch*, control*, neg*, pos* (voltage nibbles), model*, submodel*,\n"
    "             version* (3 numbers), channel* N [VALUE], aux, bncs, speaker, cai,\n"
    "             faults (CODE:ARG pairs of the fault items received)\n"
    "    plc: main*, external* (block bytes), channel* N [0|1], on, selector,\n"
    "         nibbles, process (last value or none), processes, broken\n"
    "    fault: data* (Read data byte), fault* N [0|1], on\n"
    "  Replies: 'ok', 'ok VALUE' or 'error WHY'.\n";

// Runs one control line against the units; returns the reply line without
// its newline. `list` is the caller's, who knows the ptys.
std::string RunControl(std::string_view line, const UnitsByName& units);

}  // namespace orvo::sim
