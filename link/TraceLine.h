#pragma once
// The module's wire trace, one line per exchange, fields always in this
// order and separated by two blanks:
//   2026-12-08 23:41:07.123  COM3  address 5  sent fe ff 05 03 50 53 42  reply 05 00 ...
//       status 61  WriteSwitches: AC1 DC3 on
// The port is "COMn" or "HID"; a reply that never came reads "-"; "status
// 60 resent" marks a frame that went out twice. What the exchange means
// comes last, so a reader's eye finds it and a script can still split the
// line at the keywords. A line that is no exchange reads
//   2026-12-08 23:41:07.123  note  COM36 cannot be opened: Access is denied (5)
#include <cstdint>
#include <string>
#include <string_view>

#include "link/WireTrace.h"

namespace orvo {

// "HID" for port 0, "COMn" otherwise (a negative n names no port, but the
// line says what was tried).
std::string TracePortName(int32_t port);

// Each without its line end.
std::string ExchangeLine(const TraceTime& time, const ExchangeRecord& exchange);
std::string NoteLine(const TraceTime& time, std::string_view text);

}  // namespace orvo
