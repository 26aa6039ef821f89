// orvo-sim's control lines, run in process against units of their own; then
// the program on real ptys, talked to as the module's serial link (under
// Wine) and a test harness would.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include <cstring>
#include <sstream>

#include "sim/pty/Control.h"
#include "tests/unit/sim/SimProcess.h"
#include "tests/unit/sim/SimTestSupport.h"

namespace orvo::sim {
namespace {

// Lines and their replies, run in order against the same units, so a set
// is seen by the gets after it.
const std::pair<const char*, const char*> Script[] = {
    {"set console5 switch 0x42", "ok"},
    {"get console5 switch", "ok 0x42"},
    {"set console5 pos 9", "ok"},
    {"set console5 neg 4", "ok"},
    {"get console5 neg", "ok 4"},
    {"get console5 pos", "ok 9"},
    {"set console5 channel 18 300", "ok"},
    {"get console5 channel 18", "ok 300"},
    {"get console5 channel 19", "ok 0"},
    {"set console5 switch 256", "error wrong numbers for switch"},
    {"set console5 switch", "error wrong numbers for switch"},
    {"set console5 aux 1", "error aux is read-only"},
    {"get console5 faults", "ok none"},
    {"get console5 main", "error no field 'main' on this unit"},
    {"set plc3 address 4", "ok"},
    {"get plc3 address", "ok 4"},
    {"set plc3 main 0x34", "ok"},
    {"get plc3 main", "ok 0x34"},
    {"get plc3 process", "ok none"},
    {"set plc3 channel 24 1", "ok"},
    {"get plc3 selector", "ok 0x01"},
    {"set fault9 fault 7 1", "ok"},
    {"set fault9 fault 200 1", "ok"},
    {"get fault9 on", "ok 7 200"},
    {"set fault9 fault 7 0", "ok"},
    {"get fault9 on", "ok 200"},
    {"set fault9 data 0x5a", "ok"},
    {"misbehave console5 silent", "ok"},
    {"get console5 misbehaviour", "ok silent"},
    {"misbehave console5 sideways", "error unknown misbehaviour 'sideways'"},
    {"misbehave plc3 late 1 300", "ok"},
    // The bounds of --unit's count= and late-ms=: beyond them a number would
    // wrap into another count (4294967296 into 0, behaving) or delay.
    {"misbehave fault9 late 1000000 3600000", "ok"},
    {"get fault9 misbehaviour", "ok late"},
    {"misbehave fault9 silent 4294967296", "error bad count or delay"},
    {"misbehave fault9 silent 1000001", "error bad count or delay"},
    {"misbehave fault9 late 1 4294967297", "error bad count or delay"},
    {"misbehave fault9 late 1 3600001", "error bad count or delay"},
    {"get fault9 misbehaviour", "ok late"},
    {"misbehave fault9 none", "ok"},
    {"frames fault9", "ok 0"},
    {"clear fault9", "ok"},
    {"get nobody switch", "error no unit 'nobody'"},
    {"", "error empty line"},
    {"bogus console5", "error unknown command 'bogus'"},
};

TEST(Control, LinesSetAndReadUnitState) {
  const std::unique_ptr<UnitBase> console = Made("console:5"), plc = Made("plc:3"),
                                  fault = Made("fault:9");
  const UnitsByName units = {
      {"console5", console.get()}, {"plc3", plc.get()}, {"fault9", fault.get()}};
  for (const auto& [line, reply] : Script) EXPECT_EQ(RunControl(line, units), reply) << line;

  // What the lines set is what the units answer with.
  // Silent until told otherwise.
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(console->OnSerialBytes(Cmd2(5, 'R', 'I')).empty());
  EXPECT_EQ(RunControl("misbehave console5 none", units), "ok");
  const std::vector<Emission> status = console->OnSerialBytes(Cmd2(5, 'R', 'I'));
  ASSERT_EQ(status.size(), 1u);
  EXPECT_EQ(status[0].Bytes[1], 0x49);
  EXPECT_EQ(status[0].Bytes[2], 0x42);
  const std::vector<Emission> read = fault->OnSerialBytes(Bytes{9, 0xB0, 0});
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(HexBytes(read[0].Bytes), "09 00 5a");
  EXPECT_EQ(RunControl("frames fault9", units), "ok 1; short 09 b0 00");
  EXPECT_TRUE(plc->OnSerialBytes(Bytes{3, 0xF0, 5}).empty());
  const std::vector<Emission> late = plc->OnSerialBytes(Bytes{4, 0xF0, 5});
  ASSERT_EQ(late.size(), 1u);
  EXPECT_EQ(late[0].DelayMs, 300u);
}

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

class OrvoSim : public testing::Test {
 protected:
  void SetUp() override {
    std::string options =
        "--unit console:5:link=" + Dir + "/com5 --unit plc:3:link=" + Dir + "/com3";
    for (const std::string option : {"log", "trace", "json", "control"}) {
      options += " --" + option + " " + Dir + "/" + option;
    }
    ASSERT_TRUE(Sim.Start(options)) << "orvo-sim did not come up";
  }

  // Every test ends the way a harness does: SIGTERM, a clean exit, and no
  // links left behind.
  void TearDown() override {
    for (int fd : Fds) close(fd);
    const int status = Sim.Stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(Exists(Dir + "/com5"));
    EXPECT_FALSE(Exists(Dir + "/control"));
  }

  // Opens a port the way the serial link does: raw, 9600 baud, odd parity,
  // no controlling tty.
  int OpenPort(const std::string& name) {
    const int fd = open((Dir + "/" + name).c_str(), O_RDWR | O_NOCTTY);
    termios settings{};
    EXPECT_EQ(tcgetattr(fd, &settings), 0);
    cfmakeraw(&settings);
    cfsetspeed(&settings, B9600);
    settings.c_cflag |= PARENB | PARODD;
    EXPECT_EQ(tcsetattr(fd, TCSANOW, &settings), 0) << name << ": " << std::strerror(errno);
    Fds.push_back(fd);
    return fd;
  }

  // Reads until `want` bytes came, the line goes quiet for `quietMs`, or it fails.
  static Bytes ReadReply(int fd, std::size_t want, int quietMs) {
    Bytes got;
    pollfd p{fd, POLLIN, 0};
    while (got.size() < want && poll(&p, 1, quietMs) == 1) {
      uint8_t buffer[64];
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }

  static void Write(int fd, const Bytes& bytes) {
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // A control line as a harness sends it: through orvo-sim --send, which
  // prints the reply and succeeds when it is "ok".
  std::string Control(const std::string& line) {
    const std::string command = "'" ORVO_SIM_PATH "' --send " + Dir + "/control '" + line + "'";
    FILE* send = popen(command.c_str(), "r");
    char reply[256] = "";
    if (!std::fgets(reply, sizeof reply, send)) reply[0] = 0;
    const int status = pclose(send);
    const std::string text(reply, std::strcspn(reply, "\n"));
    EXPECT_EQ(status == 0, text.starts_with("ok")) << line << " -> " << text;
    return text;
  }

  std::string Log(const char* name = "/log") const {
    std::stringstream text;
    text << std::ifstream(Dir + name).rdbuf();
    return text.str();
  }

  SimProcess Sim;
  const std::string& Dir = Sim.Dir;
  std::vector<int> Fds;
};

const Bytes StatusRead = Cmd2(5, 'R', 'I');
const std::string Status42 = "05 00 42 00 00 00 00 00 00 00 00 00 00 00";

// One run of the program checks, in turn, what a harness relies on.
TEST_F(OrvoSim, ServesUnitsOnPtysUnderTheControlChannelAndTracesThem) {
  ASSERT_EQ(Control("set console5 switch 0x42"), "ok");
  // A serial client sets odd parity on every open. Linux keeps only PARODD
  // of it on a pty and then refuses the same request from the next open
  // (Wine's SetCommState fails), unless orvo-sim puts the line back in
  // between.
  for (int open = 0; open < 3; ++open) {
    SCOPED_TRACE(open);
    if (open > 0) {
      close(Fds.back());
      Fds.pop_back();
      std::this_thread::sleep_for(10ms);
    }
    Write(OpenPort("com5"), StatusRead);
    EXPECT_EQ(HexBytes(ReadReply(Fds.back(), 14, 1000)), Status42);
  }
  const int console = Fds.back();
  // The reply may reach us before its trace line is written.
  EXPECT_TRUE(WaitFor([&] { return Log().find("console5 tx") != std::string::npos; }, 1000ms));
  const std::string ts =
      "[0-9]+ [0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}Z ";
  EXPECT_THAT(Log(), testing::ContainsRegex(ts + "console5 rx command fe ff 05 02 52 49\n"));
  EXPECT_THAT(Log(), testing::ContainsRegex(ts + "console5 tx " + Status42 + "\n"));
  // The same exchange, decoded, in the readable trace and as JSON Lines; a
  // control line that carries a quote and a control byte stays valid JSON.
  Control("bogus \"q\"\x01");
  EXPECT_TRUE(WaitFor([&] { return Log("/json").find("bogus") != std::string::npos; }, 1000ms));
  EXPECT_THAT(Log("/trace"),
              testing::ContainsRegex("[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}  console5   rx  "
                                     "ReadStatus  \\[fe ff 05 02 52 49\\]\n"));
  EXPECT_THAT(Log("/trace"),
              testing::HasSubstr("  console5   tx  ReadStatus -> 0 V 0 V, AC1 DC3 on, control 0x00"
                                 "  [" +
                                 Status42 + "]\n"));
  const std::string json = Log("/json");
  for (const char* object :
       {R"("unit":"console5","dir":"rx","kind":"command","hex":"fe ff 05 02 52 49",)"
        R"("meaning":"ReadStatus"})",
        R"("unit":"console5","dir":"tx","kind":"reply",)"
        R"("hex":"05 00 42 00 00 00 00 00 00 00 00 00 00 00",)"
        R"("meaning":"ReadStatus -> 0 V 0 V, AC1 DC3 on, control 0x00"})",
        R"("unit":"control","dir":"event","text":"bogus \"q\"\u0001 -> )"}) {
    EXPECT_THAT(json, testing::HasSubstr(object));
  }

  // Silenced for one exchange, the unit answers the resend.
  ASSERT_EQ(Control("clear console5"), "ok");
  ASSERT_EQ(Control("misbehave console5 silent 1"), "ok");
  Write(console, StatusRead);
  EXPECT_TRUE(ReadReply(console, 14, 300).empty());
  Write(console, StatusRead);
  EXPECT_EQ(ReadReply(console, 14, 1000).size(), 14u);
  const std::string read = "; command fe ff 05 02 52 49";
  EXPECT_EQ(Control("frames console5"), "ok 2" + read + read);

  // A late reply does not hold up the other units.
  const int plc = OpenPort("com3");
  ASSERT_EQ(Control("misbehave console5 late 1 400"), "ok");
  const auto start = Clock::now();
  Write(console, StatusRead);
  Write(plc, Bytes{3, 0xF0, 22});
  EXPECT_EQ(HexBytes(ReadReply(plc, 3, 1000)), "03 00 00");
  EXPECT_LT(Clock::now() - start, 300ms);
  EXPECT_EQ(ReadReply(console, 14, 1000).size(), 14u);
  EXPECT_GE(Clock::now() - start, 400ms);

  // Clearing a unit empties its line: neither a reply left unread nor one
  // still due reaches the next client.
  Write(plc, Bytes{3, 0xF0, 22});
  ASSERT_EQ(Control("misbehave console5 late 1 400"), "ok");
  Write(console, StatusRead);
  std::this_thread::sleep_for(100ms);
  ASSERT_EQ(Control("clear plc3"), "ok");
  ASSERT_EQ(Control("clear console5"), "ok");
  EXPECT_TRUE(ReadReply(plc, 3, 300).empty());
  EXPECT_TRUE(ReadReply(console, 14, 600).empty());

  // A vanishing unit closes its pty and removes its link.
  ASSERT_EQ(Control("misbehave plc3 vanish"), "ok");
  Write(plc, Bytes{3, 0xB0, 0});
  EXPECT_EQ(HexBytes(ReadReply(plc, 3, 300)), "03");
  EXPECT_TRUE(WaitFor([&] { return !Exists(Dir + "/com3"); }, 1000ms));
  EXPECT_EQ(Control("get plc3 vanished"), "ok 1");
}

}  // namespace
}  // namespace orvo::sim
