#pragma once
// Cutting a serial byte stream into frames. The host writes whole frames, but
// a pty or a driver may hand them over split or joined, so the units frame
// the stream themselves.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/Unit.h"

namespace orvo::sim {

class Framer {
 public:
  virtual ~Framer() = default;
  // Takes the next bytes of the stream; returns the frames they complete,
  // garbage included, in stream order.
  virtual std::vector<Frame> Push(std::span<const uint8_t> bytes) = 0;
  // The line went quiet in the middle of a frame: the bytes held back are no
  // frame after all.
  std::optional<Frame> DropPartial();

 protected:
  std::vector<uint8_t> Pending;
  // Moves the first `count` pending bytes into `frames` as one frame.
  void TakeFront(std::size_t count, Frame::Kind kind, std::vector<Frame>& frames);
};

// The console's command frame: FE FF addr L cmd arg [val]. Bytes before a
// header are garbage; resynchronising on FE FF keeps one stray byte from
// shifting every later frame.
class CommandFramer final : public Framer {
 public:
  std::vector<Frame> Push(std::span<const uint8_t> bytes) override;
};

// The short frame has no header: every three bytes are one frame. Only an
// idle line (DropPartial) can bring a shifted stream back into step.
class ShortFramer final : public Framer {
 public:
  static constexpr std::size_t Size = 3;
  std::vector<Frame> Push(std::span<const uint8_t> bytes) override;
};

}  // namespace orvo::sim
