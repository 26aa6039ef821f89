#pragma once
// A simulated trainer unit: a model driven only by the bytes it receives.
// The same models serve the in-process fake bus (unit tests) and orvo-sim
// (ptys under Wine), so what tests assert is what hardware would see.
#include <cstdint>
#include <span>
#include <vector>

namespace orvo::sim {

// Bytes the unit sends back, `DelayMs` after the bytes that caused them
// arrived.
struct Emission {
  std::vector<uint8_t> Bytes;
  uint32_t DelayMs = 0;
};

// A frame as the unit took it off the wire.
struct Frame {
  enum class Kind { Command, Short, HidReport, Garbage } Type;
  std::vector<uint8_t> Bytes;
};

// Ways a unit can be told to misbehave, for the next `Count` exchanges
// (negative: until told otherwise).
enum class Misbehaviour {
  None,
  Silent,        // takes the frame, answers nothing
  ShortReply,    // answers with the reply cut short by one byte or more
  OtherAddress,  // answers as if it had another address
  Late,          // answers after LateMs, beyond the host's time-out
  Garbage,       // answers with bytes that are no reply
  Vanish,        // answers part of the reply, then is gone for good
};

class Unit {
 public:
  virtual ~Unit() = default;

  // Bytes written by the host to a serial line. The unit frames them itself
  // (split or joined writes are fine) and returns what it sends back.
  virtual std::vector<Emission> OnSerialBytes(std::span<const uint8_t> bytes) = 0;

  // One HID output report (17 bytes, report id first). Units that have no
  // HID link return nothing.
  virtual std::vector<Emission> OnHidReport(std::span<const uint8_t> report) = 0;

  // Every frame received so far, in order.
  virtual const std::vector<Frame>& Received() const = 0;
  virtual void ClearReceived() = 0;

  virtual void Misbehave(Misbehaviour how, int count = -1, uint32_t lateMs = 4000) = 0;

  // True once the unit has vanished: its port no longer opens.
  virtual bool Vanished() const = 0;
};

}  // namespace orvo::sim
