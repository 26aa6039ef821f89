#pragma once
// An opt-in record of what went over the wire, one entry per exchange, so
// that a teacher can send it with a support question. The module keeps no
// trace unless one is asked for; the platform hands out the one in force.
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

class WireTrace {
 public:
  virtual ~WireTrace() = default;
  virtual void Record(const ExchangeRecord& exchange) = 0;
  // A line that is no exchange: a set-up problem worth knowing about.
  virtual void Note(std::string_view text) = 0;
};

}  // namespace orvo
