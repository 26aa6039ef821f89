// Arbitrary bytes read as a stream of exchanges with one unit. The first
// byte picks the kind of unit; after it, each exchange is a length byte for
// the frame, the frame, a length byte for the reply and the reply. Traces
// show whatever reached a port, so no input may read past its bytes or
// come back without text.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "protocol/FrameMeaning.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  orvo::FrameReader reader(static_cast<orvo::FrameAudience>(data[0] % 4));
  std::span<const uint8_t> rest(data + 1, size - 1);
  const auto take = [&rest]() {
    if (rest.empty()) return rest;
    const std::size_t n = std::min<std::size_t>(rest[0] % 24, rest.size() - 1);
    const std::span<const uint8_t> piece = rest.subspan(1, n);
    rest = rest.subspan(1 + n);
    return piece;
  };
  while (!rest.empty()) {
    const std::span<const uint8_t> sent = take();
    const std::span<const uint8_t> reply = take();
    if (reader.Frame(sent).empty() || reader.Exchange(sent, reply).empty()) std::abort();
  }
  return 0;
}
