#include "sim/Framing.h"

namespace orvo::sim {
namespace {

constexpr uint8_t Header0 = 0xFE;
constexpr uint8_t Header1 = 0xFF;
constexpr std::size_t HeaderAndLength = 4;

// Index of the next FE FF at or after `from`. A lone FE at the very end may
// be the first half of a header still in flight, so it counts as one.
std::size_t FindHeader(const std::vector<uint8_t>& bytes, std::size_t from) {
  for (std::size_t i = from; i < bytes.size(); ++i) {
    if (bytes[i] == Header0 && (i + 1 == bytes.size() || bytes[i + 1] == Header1)) return i;
  }
  return bytes.size();
}

}  // namespace

std::optional<Frame> Framer::DropPartial() {
  if (Pending.empty()) return std::nullopt;
  Frame garbage{Frame::Kind::Garbage, std::move(Pending)};
  Pending.clear();
  return garbage;
}

void Framer::TakeFront(std::size_t count, Frame::Kind kind, std::vector<Frame>& frames) {
  const auto end = Pending.begin() + static_cast<std::ptrdiff_t>(count);
  frames.push_back(Frame{kind, std::vector<uint8_t>(Pending.begin(), end)});
  Pending.erase(Pending.begin(), end);
}

std::vector<Frame> CommandFramer::Push(std::span<const uint8_t> bytes) {
  Pending.insert(Pending.end(), bytes.begin(), bytes.end());
  std::vector<Frame> frames;
  while (!Pending.empty()) {
    const std::size_t header = FindHeader(Pending, 0);
    if (header != 0) {
      TakeFront(header, Frame::Kind::Garbage, frames);
      continue;
    }
    if (Pending.size() < HeaderAndLength) break;
    const uint8_t length = Pending[3];
    if (length != 2 && length != 3) {
      // A header with an undefined length byte is no frame; look for the
      // next header after this one.
      TakeFront(FindHeader(Pending, 2), Frame::Kind::Garbage, frames);
      continue;
    }
    if (Pending.size() < HeaderAndLength + length) break;
    TakeFront(HeaderAndLength + length, Frame::Kind::Command, frames);
  }
  return frames;
}

std::vector<Frame> ShortFramer::Push(std::span<const uint8_t> bytes) {
  Pending.insert(Pending.end(), bytes.begin(), bytes.end());
  std::vector<Frame> frames;
  while (Pending.size() >= Size) TakeFront(Size, Frame::Kind::Short, frames);
  return frames;
}

}  // namespace orvo::sim
