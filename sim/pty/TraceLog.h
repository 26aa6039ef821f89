#pragma once
// orvo-sim's traces of every frame received, reply sent and event, in up to
// three forms at once:
//  - the log (--log), which the test scripts read:
//      1532 2025-06-01T10:00:01.532Z console5 rx command fe ff 05 02 52 49
//      1532 2025-06-01T10:00:01.532Z console5 tx 05 48 81 00 00 00 00 00 00 00 00 00 00 29
//    milliseconds since start, the wall clock (UTC), unit, then the event;
//  - the readable trace (--trace), local time and what each frame means:
//      10:00:01.532  console5   rx  ReadStatus  [fe ff 05 02 52 49]
//  - JSON Lines (--json), one object per frame, reply or event:
//      {"ms":1532,"time":"2025-06-01T10:00:01.532Z","unit":"console5","dir":"rx",
//       "kind":"command","hex":"fe ff 05 02 52 49","meaning":"ReadStatus"}
//    "dir" is rx, tx (with "kind":"reply") or event (with "text").
// Every line is flushed at once so that a test can read it while it runs.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "sim/Unit.h"

namespace orvo::sim {

struct TraceFiles {
  std::FILE* Log = nullptr;
  std::FILE* Readable = nullptr;
  std::FILE* Json = nullptr;
};

class TraceLog {
 public:
  // Null files write nothing.
  explicit TraceLog(std::FILE* log) : TraceLog(TraceFiles{log}) {}
  explicit TraceLog(TraceFiles files);
  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // Starts the readable trace late, e.g. on stdout once the NAME PTY lines
  // are out.
  void SetReadable(std::FILE* file) { Files.Readable = file; }

  void Line(std::string_view unit, std::string_view text);
  void Received(std::string_view unit, const Frame& frame, std::string_view meaning);
  void Sent(std::string_view unit, std::span<const uint8_t> bytes, std::string_view meaning);

 private:
  struct Stamp {
    long long Ms;       // since start
    std::string Utc;    // 2025-06-01T10:00:01.532Z
    std::string Local;  // 10:00:01.532
  };
  Stamp Now() const;
  void Write(std::string_view unit, std::string_view direction, std::string_view kind,
             std::string_view hex, std::string_view meaning);

  TraceFiles Files;
  std::chrono::steady_clock::time_point Start;
};

// A JSON string literal, quotes included. Bytes outside printable ASCII are
// escaped, so a line stays valid JSON whatever a control line carried.
std::string JsonString(std::string_view text);

}  // namespace orvo::sim
