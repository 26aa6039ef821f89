#pragma once
// A unit description, as orvo-sim's --unit argument and the module's
// simulation mode take it: KIND:N or KIND:address=N, then :key=value
// options, for instance
//   console:5:model=3:version=1.2.13:switch=0x42
//   console:address=5:link=/tmp/prefix/dosdevices/com5:misbehave=silent:count=1
// Several descriptions make a list, separated by commas.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/UnitBase.h"
#include "sim/UnitFields.h"

namespace orvo::sim {

// Bounds of a misbehaviour, shared by --unit and the control line's
// misbehave so that both take the same numbers. Both fit the unit's int
// count and 32-bit delay, which larger numbers would wrap around.
inline constexpr long MaxMisbehaviourCount = 1000000;
inline constexpr long MaxLateMs = 3600000;

struct UnitSetup {
  UnitKind Kind = UnitKind::Console;
  uint8_t Address = 0;
  std::string Name;         // defaults to kind and address, e.g. console5
  std::string Link;         // symlink to the pty; empty: none
  std::optional<int> Port;  // COM number in the module's simulation mode; 0: the USB link
  Misbehaviour How = Misbehaviour::None;
  int Count = -1;
  uint32_t LateMs = 4000;
  // Initial state, field by field, in the order given.
  std::vector<std::pair<std::string, Numbers>> State;
};

inline constexpr std::string_view UnitSetupHelp =
    "  KIND is console, plc or fault; KIND:N is short for KIND:address=N. Keys:\n"
    "    address=N      bus address, 0..255 (required)\n"
    "    name=NAME      name in the log and on the control channel (default KIND+address)\n"
    "    link=PATH      make PATH a symlink to the pty (removed again on exit)\n"
    "    port=N         COM number in the module's simulation mode, 0 the USB link\n"
    "                   (console only); orvo-sim itself ignores it\n"
    "    misbehave=HOW  none, silent, short, other-address, late, garbage, vanish\n"
    "    count=N        misbehave for the next N exchanges only (default: for good)\n"
    "    late-ms=N      delay of late replies (default 4000)\n"
    "    FIELD=VALUE    state to start from, as the control line 'set UNIT FIELD VALUE'\n"
    "                   sets it; several numbers are separated by '.' or '/':\n"
    "                   console: switch, control, neg, pos, model, submodel,\n"
    "                            version=A.B.C, channel=N/VALUE\n"
    "                   plc: main, external (block bytes), channel=N/0|1\n"
    "                   fault: data (Read data byte), fault=N/0|1\n"
    "                   Keys may repeat: channel=3/0x2a7:channel=4/100\n";

// Empty error on success; otherwise what is wrong.
std::optional<UnitSetup> ParseUnitSetup(std::string_view text, std::string& error);
// Descriptions separated by commas; blanks around each are ignored. The
// error names the unit it is about: "unit 2 'plc:300': address must be 0..255".
std::optional<std::vector<UnitSetup>> ParseUnitList(std::string_view text, std::string& error);
std::unique_ptr<UnitBase> MakeUnit(const UnitSetup& setup);

std::optional<Misbehaviour> ParseMisbehaviour(std::string_view name);
std::string_view MisbehaviourName(Misbehaviour how);
std::string_view FrameKindName(Frame::Kind kind);

}  // namespace orvo::sim
