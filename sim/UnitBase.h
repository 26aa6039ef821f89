#pragma once
// What every simulated unit shares: its bus address, the log of frames it
// took off the wire, serial framing, and the misbehaviour switch that bends
// its replies.
#include <memory>
#include <optional>

#include "sim/Framing.h"
#include "sim/Unit.h"

namespace orvo::sim {

using Reply = std::optional<std::vector<uint8_t>>;

class UnitBase : public Unit {
 public:
  UnitBase(uint8_t address, std::unique_ptr<Framer> framer);

  // How many units this process has made, so that a test can show that a
  // module which simulates nothing never made one.
  static int Made();

  uint8_t Address() const { return OwnAddress; }
  void SetAddress(uint8_t address) { OwnAddress = address; }

  std::vector<Emission> OnSerialBytes(std::span<const uint8_t> bytes) override;
  std::vector<Emission> OnHidReport(std::span<const uint8_t> report) override;

  const std::vector<Frame>& Received() const override { return Log; }
  void ClearReceived() override { Log.clear(); }
  // Drops every record kept only for someone to read back later (the frame
  // log and a kind's own histories), so a unit that runs for hours without
  // anyone reading stays small. The unit's state stays.
  virtual void ForgetHistory() { Log.clear(); }

  // An exchange is a frame the unit answers; frames it ignores (other
  // addresses, unknown commands) do not use up `count`. Misbehaviour::None
  // puts the unit back to normal.
  void Misbehave(Misbehaviour how, int count = -1, uint32_t lateMs = 4000) override;
  Misbehaviour Misbehaving() const { return How; }
  bool Vanished() const override { return Gone; }

  // The line went quiet mid-frame: the held-back bytes are logged as garbage.
  void DropPartialFrame();

 protected:
  // A frame is for this unit when it carries its address or the broadcast 0.
  bool Accepts(uint8_t address) const { return address == OwnAddress || address == 0; }

  // The reply to one serial frame, byte 0 being the answering address;
  // nothing when the unit stays silent.
  virtual Reply AnswerSerial(std::span<const uint8_t> frame) = 0;
  // Units with a HID link override both: the input report answering one
  // output report, byte 1 being the answering address.
  virtual bool HasHidLink() const { return false; }
  virtual Reply AnswerHid(std::span<const uint8_t> /*report*/) { return std::nullopt; }

 private:
  // Applies the misbehaviour in force to a reply whose answering address
  // sits at `addressAt`.
  std::vector<Emission> Emit(std::vector<uint8_t> reply, std::size_t addressAt);
  void UseUpOneExchange();

  uint8_t OwnAddress;
  std::unique_ptr<Framer> Framing;
  std::vector<Frame> Log;
  Misbehaviour How = Misbehaviour::None;
  int Remaining = 0;
  uint32_t LateMs = 0;
  bool Gone = false;
};

}  // namespace orvo::sim
