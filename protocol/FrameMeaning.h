#pragma once
// What a frame on the wire means, in the console's and the units' own
// words: "ReadStatus", "WriteSwitches: AC1 DC3 on", "ReadChannel pc 0
// channel 3 -> 0x02a7 (679)", "Fault 12 on". Traces print it next to the
// bytes so that a teacher, or whoever answers a support question, can read
// an exchange without the command tables at hand.
//
// The frame is told apart by its size: 6 or 7 bytes are a serial command
// frame (FE FF addr L cmd arg [value]), 17 bytes a HID output report, 3
// bytes a short frame. Anything else, or bytes that break the layout, reads
// as what it is; nothing here trusts a byte it has not checked.
#include <cstdint>
#include <span>
#include <string>

namespace orvo {

// Which unit a short frame is for. The frame itself does not say, so the
// module describes short frames as Any; orvo-sim knows its units.
enum class FrameAudience { Any, Console, Plc, Fault };

// Reads the frames of one unit, or one port, in order. Stateful only where
// an earlier frame changes what a later one means: the PLC trainer's Read
// returns the block that channel 22 or 23 selected.
class FrameReader {
 public:
  explicit FrameReader(FrameAudience audience = FrameAudience::Any) : Audience(audience) {}

  // The frame alone, as the unit receives it.
  std::string Frame(std::span<const uint8_t> sent);
  // The frame and the reply bytes it got (an empty reply: none came).
  std::string Exchange(std::span<const uint8_t> sent, std::span<const uint8_t> reply);

 private:
  std::string ShortFrame(std::span<const uint8_t> sent, std::span<const uint8_t> reply);

  FrameAudience Audience;
  bool MainSelected = false;
  bool ExternalSelected = false;
};

// One exchange, read on its own: what the module's trace prints.
std::string DescribeExchange(std::span<const uint8_t> sent, std::span<const uint8_t> reply);

}  // namespace orvo
