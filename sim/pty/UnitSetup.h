#pragma once
// The --unit argument of orvo-sim: KIND[:key=value]..., for instance
// console:address=5:link=/tmp/prefix/dosdevices/com5:misbehave=silent:count=1
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "sim/UnitBase.h"

namespace orvo::sim {

enum class UnitKind { Console, Plc, Fault };

struct UnitSetup {
  UnitKind Kind = UnitKind::Console;
  uint8_t Address = 0;
  std::string Name;  // defaults to kind and address, e.g. console5
  std::string Link;  // symlink to the pty; empty: none
  Misbehaviour How = Misbehaviour::None;
  int Count = -1;
  uint32_t LateMs = 4000;
};

inline constexpr std::string_view kUnitSetupHelp =
    "  KIND is console, plc or fault; keys:\n"
    "    address=N      bus address, 0..255 (required)\n"
    "    name=NAME      name in the log and on the control channel (default KIND+address)\n"
    "    link=PATH      make PATH a symlink to the pty (removed again on exit)\n"
    "    misbehave=HOW  none, silent, short, other-address, late, garbage, vanish\n"
    "    count=N        misbehave for the next N exchanges only (default: for good)\n"
    "    late-ms=N      delay of late replies (default 4000)\n";

// Empty error on success.
std::optional<UnitSetup> ParseUnitSetup(std::string_view text, std::string& error);
std::unique_ptr<UnitBase> MakeUnit(const UnitSetup& setup);

std::optional<Misbehaviour> ParseMisbehaviour(std::string_view name);
std::string_view MisbehaviourName(Misbehaviour how);
std::string_view FrameKindName(Frame::Kind kind);

}  // namespace orvo::sim
