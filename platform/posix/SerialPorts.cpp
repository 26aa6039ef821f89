#include "platform/posix/SerialPorts.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <set>

#include "platform/posix/UserFiles.h"

namespace orvo::posix {
namespace {

// Thousands of lines are more devices than any PC has seen.
constexpr std::size_t TableLimit = 256 * 1024;

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// A port number: 1 to HighestPort, decimal digits only.
std::optional<int> PortNumber(std::string_view text) {
  int number = 0;
  const auto [last, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || text.front() == '+' || error != std::errc() ||
      last != text.data() + text.size() || number < 1 || number > HighestPort)
    return std::nullopt;
  return number;
}

std::vector<std::string> Entries(const std::string& directory) {
  std::vector<std::string> names;
  DIR* listing = opendir(directory.c_str());
  if (!listing) return names;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(listing);
  std::sort(names.begin(), names.end());
  return names;
}

bool Exists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0;
}

std::string FirstLine(const std::string& path) {
  const std::optional<std::string> text = ReadSmallFile(path, 4096);
  if (!text) return {};
  return std::string(Trimmed(std::string_view(*text).substr(0, text->find('\n'))));
}

// k+1 for "ttyS<k>", else 0.
int PreferredNumber(std::string_view name) {
  if (name.substr(0, 4) != "ttyS" || name.size() == 4) return 0;
  const std::string_view digits = name.substr(4);
  int k = 0;
  const auto [last, error] = std::from_chars(digits.data(), digits.data() + digits.size(), k);
  if (error != std::errc() || last != digits.data() + digits.size() || k < 0 || k >= HighestPort)
    return 0;
  return k + 1;
}

}  // namespace

PortNumbers PinnedPorts(std::string_view text) {
  PortNumbers pinned;
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view entry = Trimmed(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos) continue;
    const std::optional<int> number = PortNumber(Trimmed(entry.substr(0, equals)));
    const std::string_view path = Trimmed(entry.substr(equals + 1));
    if (!number || path.empty() || path.front() != '/') continue;
    pinned.emplace(*number, std::string(path));
  }
  return pinned;
}

std::vector<SerialDevice> PresentSerialDevices(const std::string& dev, const std::string& sys) {
  std::vector<SerialDevice> present;
  std::set<std::string> covered;  // ttys reached through a by-id link
  const std::string byId = dev + "/serial/by-id";
  for (const std::string& name : Entries(byId)) {
    const std::string link = byId + "/" + name;
    char target[4096];
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0 || !Exists(link)) continue;
    const std::string_view to(target, static_cast<std::size_t>(length));
    covered.insert(std::string(to.substr(to.rfind('/') + 1)));
    present.push_back({link, 0});
  }
  const std::string ttys = sys + "/class/tty";
  for (const std::string& name : Entries(ttys)) {
    if (covered.count(name) || !Exists(ttys + "/" + name + "/device")) continue;
    const int preferred = PreferredNumber(name);
    if (preferred != 0 && FirstLine(ttys + "/" + name + "/type") == "0") continue;
    if (!Exists(dev + "/" + name)) continue;
    present.push_back({dev + "/" + name, preferred});
  }
  return present;
}

PortTable::PortTable(std::string path) : Path(std::move(path)) {}

std::map<std::string, int> PortTable::Parse(std::string_view text) {
  std::map<std::string, int> numbers;
  std::set<int> used;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = Trimmed(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos) continue;
    const std::optional<int> number = PortNumber(line.substr(0, space));
    const std::string key(Trimmed(line.substr(space + 1)));
    if (!number || key.empty() || key.front() != '/' || used.count(*number) || numbers.count(key))
      continue;
    used.insert(*number);
    numbers.emplace(key, *number);
  }
  return numbers;
}

std::string PortTable::Format(const std::map<std::string, int>& numbers) {
  std::string text =
      "# OrvoTrainer's COM numbers: NUMBER DEVICE, one device a line. A device\n"
      "# keeps its number once given; edit a number here to change it.\n";
  std::vector<std::pair<int, std::string>> lines;
  for (const auto& [key, number] : numbers) lines.emplace_back(number, key);
  std::sort(lines.begin(), lines.end());
  for (const auto& [number, key] : lines) text += std::to_string(number) + " " + key + "\n";
  return text;
}

PortNumbers PortTable::Number(const std::vector<SerialDevice>& present) {
  // Held from the read to the save: two lessons starting together must not
  // give one number to two devices.
  std::optional<FileLock> lock;
  std::map<std::string, int> numbers;
  if (!Path.empty()) {
    lock.emplace(Path);
    if (const std::optional<std::string> text = ReadSmallFile(Path, TableLimit))
      numbers = Parse(*text);
  }
  std::set<int> used;
  for (const auto& [key, number] : numbers) used.insert(number);

  // Devices with a number they prefer go first, so that a ttyS port is not
  // beaten to its own number by an adapter seen in the same scan.
  std::vector<const SerialDevice*> newcomers;
  for (const SerialDevice& device : present)
    if (!numbers.count(device.Key)) newcomers.push_back(&device);
  std::stable_sort(newcomers.begin(), newcomers.end(), [](const auto* a, const auto* b) {
    return (a->Preferred != 0) > (b->Preferred != 0);
  });
  bool changed = false;
  for (const SerialDevice* device : newcomers) {
    int number = device->Preferred;
    if (number == 0 || used.count(number)) {
      number = 1;
      while (number <= HighestPort && used.count(number)) ++number;
      if (number > HighestPort) continue;
    }
    used.insert(number);
    numbers.emplace(device->Key, number);
    changed = true;
  }
  if (changed && !Path.empty()) ReplaceFile(Path, Format(numbers));

  PortNumbers ports;
  for (const SerialDevice& device : present) {
    const auto found = numbers.find(device.Key);
    if (found != numbers.end()) ports.emplace(found->second, device.Key);
  }
  return ports;
}

PortNumbers SystemSerialPorts() {
  // Empty counts as unset, as it does for the module's other variables.
  if (const char* pinned = std::getenv("ORVOTRAINER_PORTS"); pinned && pinned[0])
    return PinnedPorts(pinned);
  const std::string directory = ConfigDirectory();
  PortTable table(directory.empty() ? std::string() : directory + "/ports");
  return table.Number(PresentSerialDevices("/dev", "/sys"));
}

}  // namespace orvo::posix
