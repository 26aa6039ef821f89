// The link against the trainer models on the fake bus: the frames a unit
// takes off the wire and what the link makes of units that misbehave.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "link/Comm.h"
#include "sim/bus/FakePlatform.h"
#include "sim/Console.h"
#include "sim/PlcTrainer.h"

namespace orvo {
namespace {

using Bytes = std::vector<uint8_t>;
using sim::Misbehaviour;

struct ConsoleOnCom3 : ::testing::Test {
  fake::FakePlatform Os;
  sim::Console Unit{5};
  CComm Link{Os};
  std::array<uint8_t, 14> Reply{};

  void SetUp() override {
    Unit.SetVoltageNibbles(0x2, 0x4);
    Unit.SetSwitchByte(0x42);
    Unit.SetControlByte(0xA9);
    Os.AddSerialPort(3, &Unit);
    ASSERT_TRUE(Link.Open(3, 5));
  }
  int16_t StatusRead() { return Link.Transact(5, 2, 'R', 'I', 0, 14, Reply.data()); }
};

// The plain exchange first, then what the link makes of a misbehaving console.
TEST_F(ConsoleOnCom3, StatusReadWithAWellAndABadlyBehavedConsole) {
  struct Case {
    Misbehaviour How;
    int Count;
    int16_t Status;
    std::size_t FramesReceived;  // the resend shows as a second frame
  };
  const Case cases[] = {
      {Misbehaviour::None, -1, StatusOk, 1},
      {Misbehaviour::Silent, 1, StatusOk, 2},  // the resend is answered
      {Misbehaviour::Silent, -1, StatusFailed, 2},
      {Misbehaviour::ShortReply, 1, StatusOk, 2},
      {Misbehaviour::ShortReply, -1, StatusFailed, 2},
      {Misbehaviour::OtherAddress, -1, StatusOk, 1},  // serial replies are not address-checked
      {Misbehaviour::Garbage, -1, StatusOk, 1},       // nor is their content
  };
  for (const auto& c : cases) {
    Unit.ClearReceived();
    Unit.Misbehave(c.How, c.Count);
    EXPECT_EQ(StatusRead(), c.Status) << static_cast<int>(c.How) << " x" << c.Count;
    ASSERT_EQ(Unit.Received().size(), c.FramesReceived) << static_cast<int>(c.How);
    EXPECT_EQ(Unit.Received()[0].Bytes, (Bytes{0xFE, 0xFF, 5, 2, 'R', 'I'}));
    if (c.How == Misbehaviour::None) {
      EXPECT_EQ(Bytes(Reply.begin(), Reply.end()), Unit.Status());
    }
    Unit.Misbehave(Misbehaviour::None);
    Os.FlushSerial(3);  // as a harness flushes a pty between cases
  }
}

TEST_F(ConsoleOnCom3, LateReplyIsReadByTheNextExchange) {
  Unit.Misbehave(Misbehaviour::Late, 1, 4000);
  EXPECT_EQ(StatusRead(), StatusOk) << "the resend gets a prompt answer";
  // The late answer to the first frame is still queued: the link never
  // discards input, so the next exchange reads the stale status first.
  Os.Clock().AdvanceTo(5000);
  std::array<uint8_t, 6> model{};
  EXPECT_EQ(Link.Transact(5, 2, 'X', 'M', 0, 6, model.data()), StatusOk);
  const Bytes status = Unit.Status();
  EXPECT_EQ(Bytes(model.begin(), model.end()), Bytes(status.begin(), status.begin() + 6));
}

TEST_F(ConsoleOnCom3, VanishingConsoleFailsTheReopen) {
  Unit.Misbehave(Misbehaviour::Vanish);
  EXPECT_EQ(StatusRead(), StatusFailed);
  EXPECT_TRUE(Unit.Vanished());
  EXPECT_EQ(Os.OpenHandles(), 0) << "the reopen of a vanished port fails and holds nothing";
  Link.Close();
  EXPECT_FALSE(Link.Open(3, 5));
}

TEST(ConsoleOnHid, ProbeAddressQueryAndExchange) {
  fake::FakePlatform os;
  sim::Console unit{5};
  unit.SetSwitchByte(0x81);
  os.AddHidInterface(4, fake::FakeHidDevice{u"hid#4", OrvoVendorId, 3, &unit, false});
  CComm link(os);
  EXPECT_TRUE(link.FindHidUnit(OrvoVendorId, 5));
  EXPECT_FALSE(link.FindHidUnit(OrvoVendorId, 6));

  const uint64_t start = os.Clock().NowMs();
  EXPECT_FALSE(link.Open(0, 7)) << "the console ignores a probe for another address";
  EXPECT_EQ(os.Clock().NowMs() - start, 300u + 1000u + 50u);
  link.Close();

  ASSERT_TRUE(link.Open(0, 5));
  std::array<uint8_t, 14> reply{};
  EXPECT_EQ(link.Transact(5, 2, 'R', 'I', 0, 14, reply.data()), StatusOk);
  EXPECT_EQ(Bytes(reply.begin(), reply.end()), unit.Status());
  link.Close();
  EXPECT_EQ(os.OpenHandles(), 0);
}

TEST(PlcOnSerial, ShortFramesSwitchChannels) {
  fake::FakePlatform os;
  sim::PlcTrainer unit{3};
  unit.SetMainBlock(0x34);
  os.AddSerialPort(2, &unit);
  CComm link(os);
  link.SetReplyDelay(50);
  ASSERT_TRUE(link.Open(2, 3));
  std::array<uint8_t, 3> reply{};
  EXPECT_EQ(link.TransactShort(3, 0xF0, 22, reply.data()), StatusOk);
  EXPECT_TRUE(unit.IsOn(22));
  EXPECT_EQ(link.TransactShort(3, 0xB0, 0, reply.data()), StatusOk);
  EXPECT_EQ(reply[0], 3);
  EXPECT_EQ(reply[2], 0x34);
  EXPECT_EQ(link.TransactShort(9, 0xE0, 22, reply.data()), StatusFailed) << "not its address";
  EXPECT_TRUE(unit.IsOn(22));
}

}  // namespace
}  // namespace orvo
