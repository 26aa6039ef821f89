// The POSIX backend's own files and names: the COM numbers it gives serial
// devices, the pinned ports, and the remembered ports' settings file.
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "devices/common/Settings.h"
#include "platform/posix/SerialPorts.h"
#include "platform/posix/SettingsFile.h"
#include "platform/posix/UserFiles.h"

namespace orvo::posix {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::Pair;

// The settings key, the only one a settings file holds.
const std::u16string SettingsKey = std::u16string(SettingsRoot) + std::u16string(SettingsLeaf);

class TempDir : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvo-posix-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Dir = pattern;
  }
  void TearDown() override { fs::remove_all(Dir); }

  std::string Read(const std::string& name) const {
    std::stringstream text;
    text << std::ifstream(Dir + "/" + name).rdbuf();
    return text.str();
  }
  void Write(const std::string& name, const std::string& text) const {
    fs::create_directories(fs::path(Dir + "/" + name).parent_path());
    std::ofstream(Dir + "/" + name) << text;
  }
  // How many entries a directory has: a temporary file left by a replace
  // would show here.
  std::ptrdiff_t Entries(const std::string& name) const {
    return std::distance(fs::directory_iterator(Dir + "/" + name), fs::directory_iterator());
  }

  std::string Dir;
};

TEST(PinnedPorts, TakesWellFormedEntriesAndSkipsTheRest) {
  const struct {
    const char* text;
    PortNumbers expected;
  } rows[] = {
      {"3=/dev/ttyUSB0,7=/dev/pts/4", {{3, "/dev/ttyUSB0"}, {7, "/dev/pts/4"}}},
      {" 3 = /dev/ttyUSB0 , ,", {{3, "/dev/ttyUSB0"}}},
      // Out of range, not a number, a relative path, no '=': skipped.
      {"0=/dev/a,32768=/dev/b,x=/dev/c,+4=/dev/d,5=dev/e,6", {}},
      {"32767=/dev/top,1=/dev/one", {{1, "/dev/one"}, {32767, "/dev/top"}}},
      // A number given twice keeps its first path.
      {"2=/dev/first,2=/dev/second", {{2, "/dev/first"}}},
      {"", {}},
  };
  for (const auto& row : rows) EXPECT_EQ(PinnedPorts(row.text), row.expected) << row.text;
}

TEST(PortTableText, DropsOnlyWhatIsDamaged) {
  const auto numbers = PortTable::Parse(
      "# comment\n"
      "3 /dev/serial/by-id/usb-FTDI_A\n"
      "3 /dev/serial/by-id/usb-FTDI_B\n"   // number taken
      "4 /dev/serial/by-id/usb-FTDI_A\n"   // device already numbered
      "40000 /dev/ttyUSB9\n"               // out of range
      "\xff\xfe garbage\n"
      "5 relative/path\n"
      "7 /dev/ttyACM0\r\n"
      "9");
  EXPECT_THAT(numbers, ElementsAre(Pair("/dev/serial/by-id/usb-FTDI_A", 3), Pair("/dev/ttyACM0", 7)));
  EXPECT_EQ(PortTable::Parse(PortTable::Format(numbers)), numbers);
}

TEST_F(TempDir, DevicesKeepTheirNumbersAndNewOnesTakeTheLowestFree) {
  const std::string table = Dir + "/config/ports";
  const SerialDevice uart0{"/dev/ttyS0", 1}, uart3{"/dev/ttyS3", 4};
  const SerialDevice ftdi{"/dev/serial/by-id/usb-FTDI_A", 0}, acm{"/dev/ttyACM0", 0};
  // In one scan a ttyS port gets its own number even when listed last.
  EXPECT_THAT(PortTable(table).Number({ftdi, uart0, uart3}),
              ElementsAre(Pair(1, uart0.Key), Pair(2, ftdi.Key), Pair(4, uart3.Key)));
  // Unplugged, the adapter keeps its number; a newcomer does not take it.
  EXPECT_THAT(PortTable(table).Number({uart0, acm}), ElementsAre(Pair(1, uart0.Key), Pair(3, acm.Key)));
  EXPECT_THAT(PortTable(table).Number({acm, ftdi}), ElementsAre(Pair(2, ftdi.Key), Pair(3, acm.Key)));
  // A ttyS port whose number someone else has gets the lowest free one.
  const SerialDevice uart1{"/dev/ttyS1", 2};
  EXPECT_THAT(PortTable(table).Number({uart1}), ElementsAre(Pair(5, uart1.Key)));
  EXPECT_THAT(PortTable::Parse(Read("config/ports")),
              ElementsAre(Pair(ftdi.Key, 2), Pair(acm.Key, 3), Pair(uart0.Key, 1),
                          Pair(uart1.Key, 5), Pair(uart3.Key, 4)));
  // A number edited by hand is the device's from then on.
  Write("config/ports", "9 /dev/serial/by-id/usb-FTDI_A\n");
  EXPECT_THAT(PortTable(table).Number({ftdi}), ElementsAre(Pair(9, ftdi.Key)));
  // Nothing but the table and its lock is left in the directory.
  EXPECT_TRUE(fs::exists(Dir + "/config/ports.lock"));
  EXPECT_EQ(Entries("config"), 2);
}

TEST_F(TempDir, ADamagedTableIsRenumberedAndWrittenClean) {
  Write("ports", std::string("\0\0\xff garbage\n2 /dev/ttyUSB0 \n", 28));
  const SerialDevice usb0{"/dev/ttyUSB0", 0}, usb1{"/dev/ttyUSB1", 0};
  EXPECT_THAT(PortTable(Dir + "/ports").Number({usb1, usb0}),
              ElementsAre(Pair(1, usb1.Key), Pair(2, usb0.Key)));
  EXPECT_EQ(Read("ports").find("garbage"), std::string::npos);
  // Without a place for the table the numbers still come, for this scan.
  EXPECT_THAT(PortTable("").Number({usb0}), ElementsAre(Pair(1, usb0.Key)));
}

TEST_F(TempDir, PresentDevicesAreLinksFirstThenTtysWithADeviceBehindThem) {
  // /sys/class/tty as the kernel shows it, /dev with the nodes.
  auto tty = [&](const std::string& name, const char* type) {
    fs::create_directories(Dir + "/sys/class/tty/" + name + "/device");
    if (type) Write("sys/class/tty/" + name + "/type", type);
    Write("dev/" + name, "");
  };
  tty("ttyS0", "4\n");     // a UART is there
  tty("ttyS1", "0\n");     // the kernel's placeholder
  tty("ttyUSB0", nullptr);  // reached through its by-id link
  tty("ttyACM0", nullptr);
  fs::create_directories(Dir + "/sys/class/tty/tty1");  // a console: no device
  Write("dev/tty1", "");
  fs::create_directories(Dir + "/sys/class/tty/ttyUSB7/device");  // no node in /dev
  fs::create_directories(Dir + "/dev/serial/by-id");
  fs::create_symlink("../../ttyUSB0", Dir + "/dev/serial/by-id/usb-FTDI_A");
  fs::create_symlink("../../ttyUSB5", Dir + "/dev/serial/by-id/usb-gone");  // dangling

  const auto present = PresentSerialDevices(Dir + "/dev", Dir + "/sys");
  std::vector<std::pair<std::string, int>> found;
  for (const SerialDevice& d : present) found.emplace_back(d.Key.substr(Dir.size()), d.Preferred);
  EXPECT_THAT(found, ElementsAre(Pair("/dev/serial/by-id/usb-FTDI_A", 0), Pair("/dev/ttyACM0", 0),
                                 Pair("/dev/ttyS0", 1)));
}

// The remembered ports through the same calls the device classes make.
TEST_F(TempDir, RememberedPortsRoundTripThroughTheSettingsFile) {
  SettingsFile settings(Dir + "/cfg/settings", SettingsKey);
  int16_t port = 99;
  EXPECT_FALSE(LoadRememberedPort(settings, u"BrixPort_5", port));
  SaveRememberedPort(settings, u"BrixPort_5", 7);
  SaveRememberedPort(settings, u"SorlPort", -2);
  SaveRememberedPort(settings, u"brixport_5", 8);  // the same value, as in the registry
  EXPECT_TRUE(LoadRememberedPort(settings, u"BRIXPORT_5", port));
  EXPECT_EQ(port, 8);
  EXPECT_TRUE(LoadRememberedPort(settings, u"SorlPort", port));
  EXPECT_EQ(port, -2);
  EXPECT_EQ(Read("cfg/settings"),
            "# OrvoTrainer: the port that last reached each unit.\nBrixPort_5=8\nSorlPort=-2\n");
  EXPECT_EQ(Entries(""), 1);
  EXPECT_EQ(Entries("cfg"), 2) << "settings and its lock, no temporary file";

  // Only the settings key is there, and only numbers fit in it.
  RegKey key = 0;
  EXPECT_EQ(settings.OpenKeyEx(RegCurrentUser, u"Software\\Other", KeyReadWrite, &key),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(settings.OpenKeyEx(RegLocalMachine, SettingsKey.c_str(), KeyReadWrite, &key),
            ERROR_ACCESS_DENIED);
  ASSERT_EQ(settings.OpenKeyEx(RegCurrentUser, SettingsKey.c_str(), KeyReadWrite, &key), ERROR_SUCCESS);
  EXPECT_EQ(settings.SetValueEx(key, u"Name", REG_SZ, u"x", 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(settings.SetValueEx(key, u"Bad=Name", REG_DWORD, &port, 4), ERROR_INVALID_PARAMETER);
  DWORD type = 0, value = 0, size = 2;
  EXPECT_EQ(settings.QueryValueEx(key, u"SorlPort", &type, &value, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
}

TEST_F(TempDir, ADamagedSettingsFileRemembersNothingUntilRewritten) {
  SettingsFile settings(Dir + "/settings", SettingsKey);
  for (const std::string& damaged : {std::string("BrixPort_5=7\nSorlPort=seven\n"),
                                    std::string("BrixPort_5=7\n\0\0\0", 16),
                                    std::string("BrixPort_5=99999999999\n"),
                                    std::string(70 * 1024, '#')}) {
    Write("settings", damaged);
    int16_t port = 3;
    EXPECT_FALSE(LoadRememberedPort(settings, u"BrixPort_5", port));
    LoadOrRememberPort(settings, u"BrixPort_5", port);
    EXPECT_EQ(Read("settings"), "# OrvoTrainer: the port that last reached each unit.\nBrixPort_5=3\n");
  }
  // Nowhere to write: the object keeps its port in memory, nothing fails.
  SettingsFile nowhere("", SettingsKey);
  int16_t port = 4;
  LoadOrRememberPort(nowhere, u"BrixPort_5", port);
  EXPECT_EQ(port, 4);
  SettingsFile unwritable("/proc/orvo/settings", SettingsKey);
  SaveRememberedPort(unwritable, u"BrixPort_5", 4);
  EXPECT_FALSE(LoadRememberedPort(unwritable, u"BrixPort_5", port));
}

TEST(ConfigDirectory, FollowsXdgThenHome) {
  const struct {
    const char* xdg;
    const char* home;
    const char* expected;
  } rows[] = {{"/x/cfg", "/home/u", "/x/cfg/orvotrainer"},
              {"relative", "/home/u", "/home/u/.config/orvotrainer"},
              {nullptr, "/home/u", "/home/u/.config/orvotrainer"},
              {nullptr, nullptr, ""}};
  for (const auto& row : rows) {
    row.xdg ? setenv("XDG_CONFIG_HOME", row.xdg, 1) : unsetenv("XDG_CONFIG_HOME");
    row.home ? setenv("HOME", row.home, 1) : unsetenv("HOME");
    EXPECT_EQ(ConfigDirectory(), row.expected) << (row.xdg ? row.xdg : "-");
  }
}

}  // namespace
}  // namespace orvo::posix
