#include "sim/pty/TraceLog.h"

#include <ctime>

#include "sim/UnitSetup.h"
#include "sim/Words.h"

namespace orvo::sim {

TraceLog::TraceLog(std::FILE* file) : File(file), Start(std::chrono::steady_clock::now()) {}

void TraceLog::Line(std::string_view unit, std::string_view text) {
  if (!File) return;
  using namespace std::chrono;
  const auto sinceStart = duration_cast<milliseconds>(steady_clock::now() - Start).count();
  const auto wall = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(wall);
  const auto millis = duration_cast<milliseconds>(wall.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char clock[32];
  std::strftime(clock, sizeof clock, "%Y-%m-%dT%H:%M:%S", &utc);
  std::fprintf(File, "%lld %s.%03lldZ %.*s %.*s\n", static_cast<long long>(sinceStart), clock,
               static_cast<long long>(millis), static_cast<int>(unit.size()), unit.data(),
               static_cast<int>(text.size()), text.data());
  std::fflush(File);
}

void TraceLog::Received(std::string_view unit, const Frame& frame) {
  Line(unit, "rx " + std::string(FrameKindName(frame.Type)) + " " + HexBytes(frame.Bytes));
}

void TraceLog::Sent(std::string_view unit, std::span<const uint8_t> bytes) {
  Line(unit, "tx " + HexBytes(bytes));
}

}  // namespace orvo::sim
