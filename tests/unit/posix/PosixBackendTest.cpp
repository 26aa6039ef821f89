// The POSIX platform under the shared link and device classes: simulated
// units that misbehave, served by orvo-sim on real ptys, so that termios's
// time-outs are the ones measured; and HID units through a stand-in for
// hidapi.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include <deque>
#include <future>
#include <sstream>

#include "devices/plc/Plc.h"
#include "link/Comm.h"
#include "platform/posix/PosixPlatform.h"
#include "sim/bus/RegistryModel.h"
#include "tests/unit/sim/SimProcess.h"

namespace orvo::posix {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A HID library with the devices a test gives it. Each answers a report as
// an Orvo unit would, with its address (the one sought, for the address
// query) and 0x42, queued as its next input report.
struct FakeHidDevice {
  std::string Path;
  uint16_t Vendor = 0, Product = 0;
  std::deque<std::vector<uint8_t>> Input{};
  std::vector<std::vector<uint8_t>> Written{};
  bool Gone = false;
  int Opens = 0, Closes = 0;
};

class FakeHid final : public HidDevices {
 public:
  explicit FakeHid(std::vector<FakeHidDevice>& devices) : Devices(devices) {}
  bool Enumerate(std::vector<std::string>& paths) override {
    for (const auto& d : Devices) paths.push_back(d.Path);
    return true;
  }
  void* Open(const std::string& path) override {
    for (auto& d : Devices)
      if (d.Path == path && !d.Gone) return ++d.Opens, &d;
    return nullptr;
  }
  bool Ids(void* device, uint16_t& vendor, uint16_t& product) override {
    vendor = Of(device).Vendor;
    product = Of(device).Product;
    return true;
  }
  int Read(void* device, uint8_t* data, std::size_t size, int timeoutMs) override {
    FakeHidDevice& d = Of(device);
    Timeouts.push_back(timeoutMs);
    if (d.Gone) return -1;
    if (d.Input.empty()) return 0;
    const std::size_t n = std::min(size, d.Input.front().size());
    std::copy_n(d.Input.front().begin(), n, data);
    d.Input.pop_front();
    return static_cast<int>(n);
  }
  int Write(void* device, const uint8_t* report, std::size_t size) override {
    FakeHidDevice& d = Of(device);
    if (d.Gone) return -1;
    d.Written.emplace_back(report, report + size);
    std::vector<uint8_t> answer(HidReportSize - 1, 0);
    answer[0] = report[3] == 'A' ? report[5] : report[1];
    answer[1] = 0x42;
    d.Input.push_back(answer);
    return static_cast<int>(size);
  }
  void Close(void* device) override { ++Of(device).Closes; }

  std::vector<int> Timeouts;

 private:
  static FakeHidDevice& Of(void* device) { return *static_cast<FakeHidDevice*>(device); }
  std::vector<FakeHidDevice>& Devices;
};

// A platform whose serial ports are `ports` and which has no HID devices.
std::unique_ptr<Platform> SerialOnly(std::function<PortNumbers()> ports) {
  static std::vector<FakeHidDevice> none;
  return MakePosixPlatform(std::make_unique<FakeHid>(none), std::move(ports));
}

TEST(PosixHid, FindsTheUnitByVendorAndFlushesStaleInputBeforeEachCommand) {
  std::vector<FakeHidDevice> devices = {
      {"/dev/hidraw0", 0x046D, 0xC31C},  // a keyboard
      {"/dev/hidraw1", protocol::OrvoVendorId, protocol::ConsoleProductId}};
  auto hid = std::make_unique<FakeHid>(devices);
  FakeHid& seen = *hid;
  auto os = MakePosixPlatform(std::move(hid), [] { return PortNumbers{}; });
  CComm link(*os);

  ASSERT_TRUE(link.FindHidUnit(protocol::OrvoVendorId, 5));
  EXPECT_EQ(devices[0].Written.size(), 0u) << "only the Orvo vendor's device is asked";
  EXPECT_EQ(devices[0].Opens, devices[0].Closes);
  // An answer that came too late for an earlier exchange waits in the queue.
  ASSERT_TRUE(link.Open(0, 5));
  devices[1].Input.push_front(std::vector<uint8_t>(16, 0x99));
  uint8_t reply[2] = {};
  EXPECT_EQ(link.Transact(5, 2, 'R', 'I', 0, 2, reply), StatusOk);
  EXPECT_EQ(reply[0], 5);
  EXPECT_EQ(reply[1], 0x42);
  const std::vector<uint8_t>& sent = devices[1].Written.back();
  EXPECT_EQ(sent.size(), HidReportSize);
  EXPECT_EQ(sent[0], 0) << "report id first";
  EXPECT_EQ(sent[3], 'R');
  // The flush reads without waiting; the reply read waits at most 1000 ms.
  EXPECT_EQ(seen.Timeouts.front(), 0);
  EXPECT_EQ(seen.Timeouts.back(), 1000);

  // Unplugged mid-lesson: the exchange fails and the handle is let go.
  devices[1].Gone = true;
  EXPECT_EQ(link.Transact(5, 2, 'R', 'I', 0, 2, reply), StatusFailed);
  link.Close();
  EXPECT_EQ(devices[1].Opens, devices[1].Closes);
}

TEST(PosixHid, NoDeviceThroughHidapiIsAQuickFailure) {
  if (access("/dev/hidraw0", F_OK) == 0) GTEST_SKIP() << "this machine has HID devices";
  std::vector<std::string> paths;
  EXPECT_TRUE(MakeHidapiDevices()->Enumerate(paths));
  EXPECT_TRUE(paths.empty());
  auto os = MakePosixPlatform(MakeHidapiDevices(), [] { return PortNumbers{}; });
  CComm link(*os);
  const auto start = Clock::now();
  EXPECT_FALSE(link.Open(0, 5));
  EXPECT_LT(SecondsSince(start), 0.5);
}

// The bounds are the link's time-outs: a short frame nobody answers costs
// two reads of 50 + 100 + 3 x 100 ms and a 500 ms pause (1.4 s), a console
// command frame two reads of 100 + 14 x 100 ms and the pause (3.5 s). A
// silent unit must take the whole of it: a read that gave up early would
// lose replies from slow adapters.
TEST(PosixSerial, MisbehavingUnitsGiveTheirStatusWithinTheTimeOuts) {
  const struct Row {
    const char* unit;
    bool console;           // a console command frame, else a PLC block read
    int16_t first, second;  // the status of two calls in a row
    double floor, bound;    // seconds, of the first call
    double secondBound;
  } rows[] = {
      {"plc:3", false, 61, 61, 0, 0.5, 0.5},
      {"plc:3:misbehave=silent", false, 60, 60, 1.35, 2.2, 2.2},
      // A reply that stops short ends its read once the line is quiet for
      // 100 ms, as on Windows, rather than at the read's whole time-out.
      {"plc:3:misbehave=short", false, 60, 60, 0, 2.2, 2.2},
      {"plc:3:misbehave=other-address", false, 60, 60, 0, 0.5, 0.5},
      {"plc:3:misbehave=garbage", false, 60, 60, 0, 2.2, 2.2},
      // Silent for one frame and its resend, then back: the next call works.
      {"plc:3:misbehave=silent:count=2", false, 60, 61, 1.35, 2.2, 0.5},
      // Gone mid-exchange: its port goes with it, and the next call fails
      // at once.
      {"plc:3:misbehave=vanish", false, 60, 60, 0, 2.2, 0.3},
      {"console:5", true, 61, 61, 0, 0.5, 0.5},
      {"console:5:misbehave=silent", true, 60, 60, 3.45, 4.5, 4.5},
  };
  sim::SimProcess sim;
  std::string units = "--trace /dev/null";
  for (std::size_t i = 0; i < std::size(rows); ++i)
    units += " --unit " + std::string(rows[i].unit) + ":name=row" + std::to_string(i);
  ASSERT_TRUE(sim.Start(units));
  ASSERT_EQ(sim.Ptys.size(), std::size(rows));

  // Every row at once, each with a platform that knows its one port as
  // COM7: the rows take as long as the slowest rather than their sum.
  auto run = [&](std::size_t i) {
    const Row& row = rows[i];
    auto os = SerialOnly([pty = sim.Ptys[i]] { return PortNumbers{{7, pty}}; });
    RegistryModel registry;
    CPlc plc(*os, registry);
    plc.put_Port(7);
    plc.put_Address(3);
    CComm link(*os);
    auto call = [&] {
      if (!row.console) return plc.ReadMain();
      if (!link.Open(7, 5)) return StatusFailed;
      uint8_t reply[14];
      const int16_t status = link.Transact(5, 2, 'R', 'I', 0, sizeof reply, reply);
      link.Close();
      return status;
    };
    const auto start = Clock::now();
    const int16_t first = call();
    const double seconds = SecondsSince(start);
    if (std::string(row.unit).find("vanish") != std::string::npos) std::this_thread::sleep_for(400ms);
    const auto again = Clock::now();
    const int16_t second = call();
    const double secondSeconds = SecondsSince(again);
    std::ostringstream out;
    out << row.unit << ": " << first << " in " << seconds << " s, then " << second << " in "
        << secondSeconds << " s";
    const bool ok = first == row.first && second == row.second && seconds >= row.floor &&
                    seconds <= row.bound && secondSeconds <= row.secondBound;
    return std::make_pair(ok, out.str());
  };
  std::vector<std::future<std::pair<bool, std::string>>> results;
  for (std::size_t i = 0; i < std::size(rows); ++i)
    results.push_back(std::async(std::launch::async, run, i));
  for (auto& result : results) {
    const auto [ok, what] = result.get();
    // Every row's times, passed or not: the figures show how close to its
    // bound each call runs on this machine.
    std::printf("  %s\n", what.c_str());
    EXPECT_TRUE(ok) << what;
  }
}

// A port another program holds, and a port whose device is gone, fail at
// once and leave the port as it was.
TEST(PosixSerial, AHeldOrMissingPortFailsAtOnce) {
  sim::SimProcess sim;
  ASSERT_TRUE(sim.Start("--trace /dev/null --unit plc:3"));
  const int holder = open(sim.Ptys[0].c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  auto os = SerialOnly([&] {
    return PortNumbers{{2, sim.Ptys[0]}, {4, "/dev/orvo-no-such-device"}};
  });
  RegistryModel registry;
  CPlc plc(*os, registry);
  plc.put_Address(3);
  for (int16_t port : {2, 4, 9}) {
    plc.put_Port(port);
    const auto start = Clock::now();
    EXPECT_EQ(plc.ReadMain(), StatusFailed) << "COM" << port;
    EXPECT_LT(SecondsSince(start), 0.2) << "COM" << port;
    EXPECT_NE(os->LastError().Code, 0u) << "the trace says why";
  }
  close(holder);
  plc.put_Port(2);
  EXPECT_EQ(plc.ReadMain(), StatusOk) << "free again";
  // The map lists every numbered port, as "COMn" values.
  std::vector<PortMapValue> map;
  ASSERT_TRUE(os->ReadSerialPortMap(map, 16));
  ASSERT_EQ(map.size(), 2u);
  EXPECT_EQ(PortFromMapValue(map[0]), 2);
  EXPECT_EQ(PortFromMapValue(map[1]), 4);
}

}  // namespace
}  // namespace orvo::posix
