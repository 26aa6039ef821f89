#pragma once
// orvo-sim's trace: one line per frame received, reply sent and event, e.g.
//   1532 2025-06-01T10:00:01.532Z console5 rx command fe ff 05 02 52 49
//   1532 2025-06-01T10:00:01.532Z console5 tx 05 48 81 00 00 00 00 00 00 00 00 00 00 29
// The first column is milliseconds since start, the second the wall clock
// (UTC). Lines are flushed at once so a test can read them while it runs.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "sim/Unit.h"

namespace orvo::sim {

class TraceLog {
 public:
  // A null file (no --log) writes nothing.
  explicit TraceLog(std::FILE* file);
  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  void Line(std::string_view unit, std::string_view text);
  void Received(std::string_view unit, const Frame& frame);
  void Sent(std::string_view unit, std::span<const uint8_t> bytes);

 private:
  std::FILE* File;
  std::chrono::steady_clock::time_point Start;
};

}  // namespace orvo::sim
