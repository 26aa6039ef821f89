#pragma once
// An opt-in record of what went over the wire, one line per exchange, so
// that a teacher can send it with a support question. The module keeps no
// trace unless one is asked for; then a TracedPlatform sits between the link
// and the system and writes what passes through it.
#include <cstdint>
#include <span>
#include <string_view>

namespace orvo {

struct ExchangeRecord {
  int32_t Port;                    // 0: the HID link, n: COMn
  int32_t Address;                 // the unit address the frame carried
  std::span<const uint8_t> Sent;   // the frame as written (serial) or the output report (HID)
  std::span<const uint8_t> Reply;  // the reply bytes the caller decodes
  int16_t Status;                  // 61 or 60, as the caller sees it
  bool Resent;                     // the frame went out twice
};

// The wall clock where the trace is written, to the millisecond.
struct TraceTime {
  int Year, Month, Day, Hour, Minute, Second, Millisecond;
};

// Where the trace's lines go: a file on Windows, a list in tests.
class TraceOutput {
 public:
  virtual ~TraceOutput() = default;
  virtual TraceTime Now() = 0;
  // One whole line, without its line end.
  virtual void Write(std::string_view line) = 0;
};

}  // namespace orvo
