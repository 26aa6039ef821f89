// The Win32 backend's HID half under Wine, against fake HID devices behind
// its HidApi (see FakeHid.h): the search through CComm, the bounds on a
// report's transfer, the flush of stale input and a unit pulled out in the
// middle of an exchange. Each case plays its units from threads; a unit
// holds still for at most Patience, and a watchdog pulls every plug once a
// case has run for Deadline, so a backend that waits for good is seen to be
// late rather than hanging the program.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/Comm.h"
#include "tests/win32/hid/FakeHid.h"

namespace orvo {
namespace {

using hidtest::FakeHid;
using hidtest::FakeInterface;
using hidtest::Report;
using hidtest::UnitEnd;
using protocol::ConsoleProductId;
namespace console = protocol::console;

constexpr DWORD Patience = 4000;
constexpr DWORD Deadline = 6000;
// How far past its bound a transfer may end: room for a loaded machine, and
// well short of Patience, so a backend that waits until the unit gives up
// is still caught.
constexpr long long Slack = 500;
// What CComm adds to every exchange: the pause between report and reply,
// and the bound on the reply.
constexpr long long ReplyPause = 300;
constexpr long long ReadBound = 1000;

class Stopwatch {
 public:
  Stopwatch() { QueryPerformanceCounter(&Start); }
  long long Ms() const {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return (now.QuadPart - Start.QuadPart) * 1000 / frequency.QuadPart;
  }

 private:
  LARGE_INTEGER Start;
};

FakeInterface Interface(uint16_t vendor, uint16_t product, int instance,
                        FakeInterface::Fault trouble = FakeInterface::Fault::None) {
  wchar_t path[128];
  swprintf(path, 128,
           L"\\\\?\\hid#vid_%04x&pid_%04x#7&%x&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}",
           vendor, product, instance);
  return {path, vendor, product, trouble};
}

FakeInterface AConsole(int instance = 1) {
  return Interface(OrvoVendorId, ConsoleProductId, instance);
}
constexpr int TheConsole = 0;  // a bench's one interface, unless the case lists its own

// A console's input report answering `command`: the address it answers for
// (for the address query, the one asked after), then the command and
// argument it answers, so a test can tell whose reply the backend took.
Report AnswerTo(const Report& command) {
  Report reply{};
  reply[1] = command[3] == 'A' ? command[5] : command[1];
  reply[2] = command[3];
  reply[3] = command[4];
  return reply;
}

// Waits for the backend's next open of `device` and answers its link probe
// (or address query).
std::shared_ptr<UnitEnd> AnswerTheSearch(FakeHid& fake, int device, Report* heard = nullptr) {
  auto end = fake.NextOpen(device, Patience);
  Report probe{};
  if (end == nullptr || !end->Receive(probe, Patience)) return end;
  if (heard != nullptr) *heard = probe;
  end->Send(AnswerTo(probe));
  return end;
}

// Unplugs every unit once a case has run for Deadline: a backend stuck on a
// transfer is freed, and the case fails on its timings instead of hanging.
// One stuck still a Deadline later waits on nothing a unit can end, and the
// program ends with a word to say so rather than at CTest's time-out.
class Watchdog {
 public:
  Watchdog(FakeHid& fake, const char* name)
      : Stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)), Guard([this, &fake, name] {
          if (WaitForSingleObject(Stop, Deadline) != WAIT_TIMEOUT) return;
          fake.UnplugAll();
          if (WaitForSingleObject(Stop, Deadline) != WAIT_TIMEOUT) return;
          std::fprintf(stderr, "%s: still hanging %lu ms after its units were unplugged\n", name,
                       Deadline);
          std::fflush(stderr);
          ExitProcess(3);
        }) {}
  ~Watchdog() {
    SetEvent(Stop);
    Guard.join();
    CloseHandle(Stop);
  }

 private:
  HANDLE Stop;
  std::jthread Guard;
};

// The fake with the case's interfaces, the platform over it, and the case's
// watchdog over both. Its end fails the case on whatever the real SetupAPI
// and hid.dll would have refused, and on device sets not given back.
struct Bench {
  explicit Bench(const char* name, const std::vector<FakeInterface>& interfaces = {AConsole()})
      : Watch(Fake, name) {
    for (const FakeInterface& i : interfaces) Fake.Add(i);
  }
  ~Bench() {
    for (const std::string& misuse : Fake.Misuse()) ADD_FAILURE() << misuse;
  }

  // Plays the console from a thread: it answers the search, then `play`
  // takes over, unless the backend never opened it. Keep the thread in a
  // variable declared after the bench, so that it ends first.
  std::jthread Play(std::function<void(UnitEnd&)> play) {
    return std::jthread([this, play = std::move(play)] {
      if (const std::shared_ptr<UnitEnd> end = AnswerTheSearch(Fake, TheConsole)) play(*end);
    });
  }

  FakeHid Fake;
  const std::unique_ptr<Platform> Os = MakeWin32Platform(FakeHid::Api());
  const Watchdog Watch;
};

// The address query as FindHidUnit sends it: to address 0, asking after `address`.
int16_t QueryAddress(CComm& comm, uint8_t address, std::array<uint8_t, 2>& reply) {
  const auto& query = console::AddressQuery;
  return comm.Transact(0, query.Length, query.Code, static_cast<uint8_t>(query.Argument), address,
                       query.ReplyLength, reply.data());
}

// The search walks the HID interfaces: ones it cannot open or read are
// skipped, other vendors' are closed again, and the first Orvo unit that
// answers becomes the link.
TEST(HidBackend, SearchFindsTheOrvoUnitAmongOthers) {
  using enum FakeInterface::Fault;
  const FakeInterface mouse = Interface(0x046D, 0xC077, 1);
  const FakeInterface lookalike = Interface(0x1234, ConsoleProductId, 2);  // Orvo's product id only
  const FakeInterface otherProduct = Interface(OrvoVendorId, 0x0009, 3);
  const FakeInterface locked = Interface(OrvoVendorId, ConsoleProductId, 4, OpenFails);
  const FakeInterface mute = Interface(OrvoVendorId, ConsoleProductId, 5, AttributesFail);
  const FakeInterface console = AConsole(6);
  struct Case {
    const char* Name;
    std::vector<FakeInterface> Interfaces;
    int Console;    // the interface that should become the link, or -1
    bool ByVendor;  // FindHidUnit's address query instead of the port-0 open
  };
  const Case cases[] = {
      {"console after others", {mouse, lookalike, otherProduct, locked, mute, console}, 5, false},
      {"no Orvo unit", {mouse, lookalike, locked, mute}, -1, false},
      {"by vendor id", {mouse, locked, lookalike, console}, 3, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Bench hid(c.Name, c.Interfaces);
    Report heard{};
    std::shared_ptr<UnitEnd> link;
    std::jthread unit;
    if (c.Console >= 0)
      unit = std::jthread([&] { link = AnswerTheSearch(hid.Fake, c.Console, &heard); });

    CComm comm(*hid.Os);
    const Stopwatch clock;
    const bool found = c.ByVendor ? comm.FindHidUnit(OrvoVendorId, 5) : comm.Open(0, 5);
    const long long elapsed = clock.Ms();
    const LinkMode mode = comm.CurrentMode();
    comm.Close();
    if (unit.joinable()) unit.join();

    EXPECT_EQ(found, c.Console >= 0);
    if (c.Console < 0) {
      EXPECT_LT(elapsed, ReplyPause) << "nothing to probe, so nothing to wait for";
    } else {
      EXPECT_EQ(mode, LinkMode::Hid());
      ASSERT_NE(link, nullptr);
      const Report expected = c.ByVendor ? Report{0, 0, 3, 'A', 0xFF, 5}
                                         : Report{0, 5, 2, 'K', 'L', console::LinkProbeValue};
      EXPECT_EQ(heard, expected);
    }
    // Every interface before the console was tried, none after it.
    const int last = c.Console >= 0 ? c.Console : static_cast<int>(c.Interfaces.size()) - 1;
    for (int i = 0; i < static_cast<int>(c.Interfaces.size()); ++i) {
      EXPECT_EQ(hid.Fake.OpenAttempts(i), i <= last ? 1 : 0) << "interface " << i;
      for (const auto& end : hid.Fake.Opens(i))
        EXPECT_TRUE(end->ClosedByBackend()) << "interface " << i << " left open";
    }
  }
}

// A transfer the unit leaves hanging ends at its bound, and is cancelled:
// the next one on the handle works, and the one given up on neither lands
// in its buffer afterwards nor reaches the unit late.
TEST(HidBackend, TransfersEndAtTheirBoundAndAreCancelled) {
  struct Case {
    const char* Name;
    bool Write;
    DWORD Bound;
  };
  const Case cases[] = {
      {"read, unit has nothing to say", false, 1000},
      {"read with a shorter bound", false, 250},
      {"write, unit takes no report", true, 1000},  // WriteHidReport's own bound
  };
  const std::wstring path = AConsole().Path;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Bench hid(c.Name);
    const auto& os = hid.Os;
    const Handle h = os->OpenHidDevice(reinterpret_cast<const char16_t*>(path.c_str()));
    ASSERT_NE(h, InvalidHandle);
    const auto end = hid.Fake.NextOpen(TheConsole, 0);
    ASSERT_NE(end, nullptr);
    const HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const Report answer{0, 5, 'R', 'I', 0x51};
    Report taken{};
    std::jthread unit([&] {
      WaitForSingleObject(go, Patience);
      if (c.Write)
        end->Receive(taken, Patience);
      else
        end->Send(answer);
    });

    Report first;
    first.fill(0xA5);
    const Stopwatch clock;
    const std::size_t moved = c.Write ? (os->WriteHidReport(h, first) ? HidReportSize : 0)
                                      : os->ReadHidReport(h, first, c.Bound);
    const long long elapsed = clock.Ms();
    SetEvent(go);
    std::printf("%s: gave up after %lld ms (bound %lu)\n", c.Name, elapsed, c.Bound);
    EXPECT_EQ(moved, 0u);
    EXPECT_GE(elapsed, c.Bound - 20);
    EXPECT_LT(elapsed, c.Bound + Slack);

    if (c.Write) {
      const Report second{0, 5, 2, 'X', 'I'};
      EXPECT_TRUE(os->WriteHidReport(h, second));
      unit.join();
      EXPECT_EQ(taken, second) << "the unit got the report given up on";
    } else {
      Report second{};
      EXPECT_EQ(os->ReadHidReport(h, second, 1000), HidReportSize);
      unit.join();
      EXPECT_EQ(second, answer);
      Report untouched;
      untouched.fill(0xA5);
      EXPECT_EQ(first, untouched) << "a read given up on completed into its buffer later";
    }
    os->CloseHandle(h);
    CloseHandle(go);
  }
}

// Exchanges through CComm with a unit that answers late or never. A reply
// that comes after its exchange gave up waits in the input queue and is
// flushed before the next report goes, not taken for the next reply.
TEST(HidBackend, LateRepliesAreFlushedNotTakenForTheNext) {
  constexpr DWORD Never = INFINITE;
  struct Case {
    const char* Name;
    DWORD ReplyAfter;  // ms from the unit's taking the report
    int16_t Status;
    long long AtLeast, AtMost;
  };
  constexpr long long GaveUp = ReplyPause + ReadBound;
  const Case cases[] = {
      {"silent", Never, StatusFailed, GaveUp, GaveUp + Slack},
      {"after the bound", 1700, StatusFailed, GaveUp, GaveUp + Slack},
      {"slow, within the bound", 800, StatusOk, 800, 800 + Slack},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Bench hid(c.Name);
    const HANDLE replied = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::jthread unit = hid.Play([&](UnitEnd& end) {
      Report command{};
      if (!end.Receive(command, Patience)) return;
      if (c.ReplyAfter != Never) {
        Sleep(c.ReplyAfter);
        end.Send(AnswerTo(command));
        SetEvent(replied);
      }
      // A backend still waiting on the first exchange is freed here.
      if (!end.Receive(command, Patience)) return end.Vanish();
      end.Send(AnswerTo(command));
    });

    CComm comm(*hid.Os);
    ASSERT_TRUE(comm.Open(0, 5));
    std::array<uint8_t, 14> reply{};
    const Stopwatch clock;
    EXPECT_EQ(comm.Transact(5, 2, 'R', 'I', 0, 14, reply.data()), c.Status);
    const long long elapsed = clock.Ms();
    std::printf("%s: exchange ended after %lld ms\n", c.Name, elapsed);
    EXPECT_GE(elapsed, c.AtLeast);
    EXPECT_LT(elapsed, c.AtMost);
    if (c.Status == StatusOk) {
      EXPECT_EQ(reply[1], 'R');
    }
    if (c.ReplyAfter != Never) {
      ASSERT_EQ(WaitForSingleObject(replied, Patience), WAIT_OBJECT_0);
    }

    reply = {};
    EXPECT_EQ(comm.Transact(5, 2, 'X', 'I', 0, 14, reply.data()), StatusOk);
    EXPECT_EQ(reply[1], 'X') << "took the reply to an earlier report";
    EXPECT_EQ(hid.Fake.Flushes(), 3) << "one flush before each report: probe and two exchanges";
    comm.Close();
    unit.join();
    CloseHandle(replied);
  }
}

// A unit unplugged during an exchange: the exchange fails as soon as the
// pipe breaks, and so at once does the next on the dead handle. The search
// then passes over the missing unit and finds it again once it is back.
// The exchanges are address queries, sent to address 0 as FindHidUnit
// sends them: with no address to echo, their status rests on the read
// alone, so a broken read taken for a report shows.
TEST(HidBackend, UnitThatVanishesMidExchange) {
  struct Case {
    const char* Name;
    bool TakesTheReport;
    DWORD VanishAfter;  // ms from taking the report, or from the exchange's start
    long long AtMost;
  };
  const Case cases[] = {
      {"while the reply is awaited", true, 600, 600 + Slack},
      {"while the report is being written", false, 500, 500 + ReplyPause + Slack},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Bench hid(c.Name);
    const HANDLE starting = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::jthread unit = hid.Play([&](UnitEnd& end) {
      Report command{};
      if (c.TakesTheReport ? !end.Receive(command, Patience)
                           : WaitForSingleObject(starting, Patience) != WAIT_OBJECT_0)
        return;
      Sleep(c.VanishAfter);
      end.Vanish();
    });

    CComm comm(*hid.Os);
    ASSERT_TRUE(comm.Open(0, 5));
    std::array<uint8_t, 2> reply{};
    SetEvent(starting);
    Stopwatch clock;
    EXPECT_EQ(QueryAddress(comm, 5, reply), StatusFailed);
    long long elapsed = clock.Ms();
    std::printf("%s: exchange ended after %lld ms\n", c.Name, elapsed);
    EXPECT_LT(elapsed, c.AtMost);
    unit.join();

    clock = Stopwatch();
    EXPECT_EQ(QueryAddress(comm, 5, reply), StatusFailed);
    elapsed = clock.Ms();
    EXPECT_LT(elapsed, ReplyPause + Slack) << "a dead handle fails at once";
    comm.Close();

    hid.Fake.SetPresent(TheConsole, false);
    const int attempts = hid.Fake.OpenAttempts(TheConsole);
    clock = Stopwatch();
    EXPECT_FALSE(comm.Open(0, 5));
    EXPECT_LT(clock.Ms(), ReplyPause) << "an unplugged unit is not listed, so not probed";
    EXPECT_EQ(hid.Fake.OpenAttempts(TheConsole), attempts)
        << "an unplugged unit is not even opened";
    comm.Close();

    hid.Fake.SetPresent(TheConsole, true);
    unit = hid.Play([](UnitEnd& end) {
      Report command{};
      if (end.Receive(command, Patience)) end.Send(AnswerTo(command));
    });
    EXPECT_TRUE(comm.Open(0, 5)) << "plugged in again";
    EXPECT_EQ(QueryAddress(comm, 5, reply), StatusOk);
    EXPECT_EQ(reply[0], 5);
    comm.Close();
    unit.join();
    EXPECT_TRUE(hid.Fake.Opens(TheConsole).back()->ClosedByBackend());
    CloseHandle(starting);
  }
}

}  // namespace
}  // namespace orvo
