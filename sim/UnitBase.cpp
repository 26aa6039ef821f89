#include "sim/UnitBase.h"

#include <atomic>

namespace orvo::sim {
namespace {

// The HID input report carries the answering address after the report id.
constexpr std::size_t HidAddressAt = 1;

// Bytes that follow no reply layout, with an address byte that cannot be
// mistaken for the unit's own.
std::vector<uint8_t> GarbageLike(std::size_t size, std::size_t addressAt, uint8_t own) {
  std::vector<uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(0xA5 + 0x3B * i);
  if (addressAt < size && bytes[addressAt] == own) bytes[addressAt] ^= 0xFF;
  return bytes;
}

std::atomic<int> UnitsMade{0};

}  // namespace

UnitBase::UnitBase(uint8_t address, std::unique_ptr<Framer> framer)
    : OwnAddress(address), Framing(std::move(framer)) {
  ++UnitsMade;
}

int UnitBase::Made() { return UnitsMade.load(); }

std::vector<Emission> UnitBase::OnSerialBytes(std::span<const uint8_t> bytes) {
  std::vector<Emission> out;
  if (Gone) return out;
  for (Frame& frame : Framing->Push(bytes)) {
    // Once gone, the rest of the stream never reached the unit.
    if (Gone) break;
    Log.push_back(std::move(frame));
    if (Log.back().Type == Frame::Kind::Garbage) continue;
    if (Reply reply = AnswerSerial(Log.back().Bytes)) {
      for (Emission& e : Emit(std::move(*reply), 0)) out.push_back(std::move(e));
    }
  }
  return out;
}

std::vector<Emission> UnitBase::OnHidReport(std::span<const uint8_t> report) {
  // A unit without a HID link is not on the HID bus and sees nothing.
  if (Gone || !HasHidLink()) return {};
  Log.push_back(Frame{Frame::Kind::HidReport, {report.begin(), report.end()}});
  if (Reply reply = AnswerHid(report)) return Emit(std::move(*reply), HidAddressAt);
  return {};
}

void UnitBase::Misbehave(Misbehaviour how, int count, uint32_t lateMs) {
  How = count == 0 ? Misbehaviour::None : how;
  Remaining = count;
  LateMs = lateMs;
}

void UnitBase::DropPartialFrame() {
  if (Gone) return;
  if (std::optional<Frame> garbage = Framing->DropPartial()) Log.push_back(std::move(*garbage));
}

void UnitBase::UseUpOneExchange() {
  if (Remaining > 0 && --Remaining == 0) How = Misbehaviour::None;
}

std::vector<Emission> UnitBase::Emit(std::vector<uint8_t> reply, std::size_t addressAt) {
  const Misbehaviour how = How;
  UseUpOneExchange();
  Emission emission{std::move(reply), 0};
  std::vector<uint8_t>& bytes = emission.Bytes;
  switch (how) {
    case Misbehaviour::None:
      break;
    case Misbehaviour::Silent:
      return {};
    case Misbehaviour::ShortReply:
      if (bytes.size() <= 1) return {};
      bytes.pop_back();
      break;
    case Misbehaviour::OtherAddress:
      // Never 0: a host asking address 0 takes any unit's reply.
      if (addressAt < bytes.size()) bytes[addressAt] = OwnAddress == 255 ? 254 : OwnAddress + 1;
      break;
    case Misbehaviour::Late:
      emission.DelayMs = LateMs;
      break;
    case Misbehaviour::Garbage:
      bytes = GarbageLike(bytes.size(), addressAt, OwnAddress);
      break;
    case Misbehaviour::Vanish:
      bytes.resize(bytes.size() > 1 ? bytes.size() / 2 : bytes.size());
      Gone = true;
      break;
  }
  return {std::move(emission)};
}

}  // namespace orvo::sim
