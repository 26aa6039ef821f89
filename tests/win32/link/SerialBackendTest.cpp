// The real Win32 backend under Wine, against simulated units on ptys:
// COM5 a console at address 5, COM6 a console that never answers, COM7 a
// PLC trainer at address 3. Other areas' units may share the serial-port map.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "link/Comm.h"
#include "link/TracedPlatform.h"
#include "devices/common/ModulePlatform.h"
#include "sim/UnitBase.h"

namespace orvo {
namespace {

using Clock = std::chrono::steady_clock;

struct Lines final : TraceOutput {
  std::vector<std::string> Written;
  TraceTime Now() override { return {}; }
  void Write(std::string_view line) override { Written.emplace_back(line); }
};

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(Win32Serial, PortMapFromWineRegistry) {
  CComm link;
  std::array<int16_t, 17> ports{};
  const int n = link.ListSerialPorts(16, ports);
  std::vector<int16_t> listed(ports.begin(), ports.begin() + n);
  ASSERT_GE(n, 1);
  EXPECT_EQ(listed[0], 0) << "the HID link comes first";
  // Other areas' units share the prefix and add their own COM numbers.
  std::sort(listed.begin() + 1, listed.end());
  const std::array<int16_t, 3> ours{5, 6, 7};
  EXPECT_TRUE(std::includes(listed.begin() + 1, listed.end(), ours.begin(), ours.end()));
  EXPECT_EQ(std::adjacent_find(listed.begin() + 1, listed.end()), listed.end());
}

// Without ORVOTRAINER_SIMULATE the module has the units' code linked in but
// runs none of it: the console that answers is orvo-sim's, behind COM5.
TEST(Win32Serial, ModulePlatformReachesTheAnsweringConsole) {
  CComm link(ModulePlatform());
  ASSERT_TRUE(link.Open(5, 5));
  std::array<uint8_t, 14> reply{};
  const auto start = Clock::now();
  EXPECT_EQ(link.Transact(5, 2, 'R', 'I', 0, 14, reply.data()), StatusOk);
  EXPECT_LT(MsSince(start), 1000);
  EXPECT_EQ(reply[0], 5) << "a status reply starts with the unit's address";
  // Address query, the way a console is found when its port is unknown.
  std::array<uint8_t, 2> who{};
  EXPECT_EQ(link.Transact(0, 3, 'A', 0xFF, 5, 2, who.data()), StatusOk);
  EXPECT_EQ(who[0], 5);
  link.Close();
  EXPECT_EQ(sim::UnitBase::Made(), 0);
}

TEST(Win32Serial, SilentConsoleCostsTwoTimeoutsAndAPause) {
  CComm link;
  ASSERT_TRUE(link.Open(6, 6));
  std::array<uint8_t, 14> reply{};
  const auto start = Clock::now();
  EXPECT_EQ(link.Transact(6, 2, 'R', 'I', 0, 14, reply.data()), StatusFailed);
  const long long elapsed = MsSince(start);
  std::printf("silent console: status read gave up after %lld ms\n", elapsed);
  // 1500 ms per read time-out, 500 ms pause, a reopen: about 3.5 s.
  EXPECT_GE(elapsed, 3000);
  EXPECT_LE(elapsed, 7000);
  link.Close();
}

TEST(Win32Serial, ShortFrameToPlcTrainer) {
  CComm link;
  link.SetReplyDelay(50);
  ASSERT_TRUE(link.Open(7, 3));
  std::array<uint8_t, 3> reply{};
  EXPECT_EQ(link.TransactShort(3, 0xF0, 22, reply.data()), StatusOk);
  EXPECT_EQ(reply[0], 3);
  EXPECT_EQ(link.TransactShort(3, 0xE0, 22, reply.data()), StatusOk);
  link.Close();
}

TEST(Win32Serial, PortIsExclusiveAndMissingPortsFail) {
  CComm first, second;
  ASSERT_TRUE(first.Open(5, 5));
  EXPECT_FALSE(second.Open(5, 5));
  // An exchange, as every device method makes: orvo-sim then puts the pty's
  // line settings back at once, which a port that only opened and closed
  // gets only some milliseconds later.
  std::array<uint8_t, 14> reply{};
  EXPECT_EQ(first.Transact(5, 2, 'R', 'I', 0, 14, reply.data()), StatusOk);
  first.Close();
  EXPECT_TRUE(second.Open(5, 5));
  // The trace gives the system's own reason for a port another link holds
  // and for one this prefix lacks. Windows refuses the held port at the
  // open; Wine opens it and then refuses its line settings.
  Lines wire;
  TracedPlatform traced(SystemPlatform(), wire);
  CComm watched(traced);
  EXPECT_FALSE(watched.Open(5, 5));
  EXPECT_FALSE(watched.Open(9, 0));
  second.Close();
  EXPECT_FALSE(first.Open(9, 0)) << "no COM9 in this prefix";
  EXPECT_FALSE(first.Open(-3, 0));
  first.Close();
  ASSERT_EQ(wire.Written.size(), 2u);
  for (const auto& [line, port] : {std::pair{wire.Written[0], "COM5"}, {wire.Written[1], "COM9"}})
    EXPECT_TRUE(std::regex_search(line, std::regex(std::string("note  ") + port +
                                                   " (cannot be opened|refused the line settings): "
                                                   "[^ ].* \\([1-9][0-9]*\\)$")))
        << line;
}

TEST(Win32Hid, NoDeviceUnderWine) {
  CComm link;
  const auto start = Clock::now();
  EXPECT_FALSE(link.Open(0, 0));
  EXPECT_FALSE(link.FindHidUnit(OrvoVendorId, 5));
  EXPECT_LT(MsSince(start), 2000) << "no candidate, so no probe and no wait";
  std::array<uint8_t, 3> reply{};
  EXPECT_EQ(link.TransactShort(3, 0xB0, 0, reply.data()), StatusFailed);
  link.Close();
}

}  // namespace
}  // namespace orvo
