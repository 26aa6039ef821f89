#include "link/TraceLine.h"

#include <cstdio>

#include "protocol/FrameMeaning.h"
#include "protocol/HexText.h"

namespace orvo {
namespace {

std::string HexOrNone(std::span<const uint8_t> bytes) {
  return bytes.empty() ? std::string("-") : HexBytes(bytes);
}

std::string Stamp(const TraceTime& t) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.Year, t.Month, t.Day,
                t.Hour, t.Minute, t.Second, t.Millisecond);
  return text;
}

}  // namespace

std::string TracePortName(int32_t port) {
  return port == 0 ? std::string("HID") : "COM" + std::to_string(port);
}

std::string ExchangeLine(const TraceTime& time, const ExchangeRecord& exchange) {
  std::string line = Stamp(time) + "  " + TracePortName(exchange.Port) + "  address " +
                     std::to_string(exchange.Address) + "  sent " + HexOrNone(exchange.Sent) +
                     "  reply " + HexOrNone(exchange.Reply) + "  status " +
                     std::to_string(exchange.Status);
  if (exchange.Resent) line += " resent";
  return line + "  " + DescribeExchange(exchange.Sent, exchange.Reply);
}

std::string NoteLine(const TraceTime& time, std::string_view text) {
  return Stamp(time) + "  note  " + std::string(text);
}

}  // namespace orvo
