#pragma once
// A console on the fake bus, a registry model, and what they saw.
#include <functional>
#include <string>
#include <vector>

#include "devices/echo/Echo.h"
#include "tests/unit/plcfault/Testing.h"

namespace orvo::test {

using Call = std::function<int16_t(CEcho&)>;
using Sleeps = std::vector<uint32_t>;
// A method call as a table row states it: its text, and the call.
#define CALL(call) #call, [](CEcho & e) -> int16_t { return e.call; }

inline constexpr const char16_t* EchoSettingsPath =
    u"Software\\OrvoCorp\\Controls\\Cai\\OrvoTrainer\\Immediate";

struct Bench {
  fake::FakePlatform os;
  RegistryModel registry;
  sim::Console console{5};

  void Remember(const char16_t* name, DWORD type, const void* data, DWORD size) {
    RegKey key = 0;
    registry.CreateKeyEx(RegCurrentUser, EchoSettingsPath, nullptr, 0, KeyReadWrite, &key, nullptr);
    registry.SetValueEx(key, name, type, data, size);
    registry.CloseKey(key);
  }
  void Remember(const char16_t* name, uint32_t port) {
    Remember(name, REG_DWORD, &port, sizeof port);
  }
  // The settings key in one line: "BrixPort_0=0 BrixPort_5=3" for 4-byte
  // REG_DWORD values, the dump's own text for anything else.
  std::string Settings() {
    const std::string dump = DumpRegistryTree(registry, RegCurrentUser, EchoSettingsPath);
    std::string line;
    for (std::size_t at = 0, end; at < dump.size(); at = end + 1) {
      end = dump.find('\n', at);
      std::string value = dump.substr(at, end - at);
      if (const auto dword = value.find(" = REG_DWORD "); dword != std::string::npos)
        value = value.substr(0, dword) + "=" + value.substr(dword + 13);
      line += (line.empty() ? "" : " ") + value;
    }
    return line;
  }

  // Frames the console took off the wire, as hex, and forgets them. HID
  // reports are cut after the command (report id, address, L, command,
  // argument, value): the link's own tests cover the filler.
  std::vector<std::string> Frames() {
    std::vector<std::string> frames = FramesOf(console, 6);
    console.ClearReceived();
    return frames;
  }
  std::vector<uint32_t> SleepsSince(std::size_t mark) {
    const auto& all = os.Clock().Recorded();
    return {all.begin() + static_cast<long>(mark), all.end()};
  }
  std::size_t SleepMark() { return os.Clock().Recorded().size(); }
  // Where the object looked, in order: "COM3" for each open of a serial
  // port, "HID" for each HID search, "map" for each read of the port map.
  std::string Route() const {
    std::string route;
    for (const std::string& line : os.CallLog()) {
      std::string step;
      if (line.rfind("open \\\\.\\", 0) == 0) step = line.substr(9);
      if (line == "hid-set") step = "HID";
      if (line == "port-map") step = "map";
      if (!step.empty()) route += (route.empty() ? "" : " ") + step;
    }
    return route;
  }
};

// The readings as one line: "Neg Pos | AC1 DC1 AC2 DC2 SP3 AC3 DC3 |
// Model.SubModel Version | Channel".
inline std::string Readings(const CEcho& e) {
  std::string version(e.get_Version().begin(), e.get_Version().end());
  char text[96];
  std::snprintf(text, sizeof text, "%d %d | %d%d%d%d %d%d %d | %d.%d %s | %d", e.get_Neg(),
                e.get_Pos(), e.get_AC1(), e.get_DC1(), e.get_AC2(), e.get_DC2(), e.get_SP3(),
                e.get_AC3(), e.get_DC3(), e.get_Model(), e.get_SubModel(), version.c_str(),
                e.get_Channel());
  return text;
}

}  // namespace orvo::test
