// What a Linux user's hands reach: ORVOTRAINER_PORTS, the port table and the
// remembered-ports file, all typed or edited by people. Each parser must
// take any bytes, keep its promises about what it returns, and read back
// what it writes.
//
// Input: a selector byte, then the text.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>

#include "platform/posix/SerialPorts.h"
#include "platform/posix/SettingsFile.h"

namespace {

using orvo::posix::HighestPort;

void PinnedPorts(std::string_view text) {
  for (const auto& [number, path] : orvo::posix::PinnedPorts(text))
    if (number < 1 || number > HighestPort || path.empty() || path.front() != '/' ||
        path.find(',') != std::string::npos)
      std::abort();
}

// One number a device and one device a number, written and read back whole.
void PortTable(std::string_view text) {
  const auto numbers = orvo::posix::PortTable::Parse(text);
  std::set<int> used;
  for (const auto& [key, number] : numbers)
    if (number < 1 || number > HighestPort || key.empty() || key.front() != '/' ||
        key.find('\n') != std::string::npos || !used.insert(number).second)
      std::abort();
  if (orvo::posix::PortTable::Parse(orvo::posix::PortTable::Format(numbers)) != numbers)
    std::abort();
}

void Settings(std::string_view text) {
  const auto values = orvo::posix::SettingsFile::Parse(text);
  if (!values) return;
  const auto again = orvo::posix::SettingsFile::Parse(orvo::posix::SettingsFile::Format(*values));
  if (!again || *again != *values) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 3) {
    case 0: PinnedPorts(text); break;
    case 1: PortTable(text); break;
    default: Settings(text); break;
  }
  return 0;
}
