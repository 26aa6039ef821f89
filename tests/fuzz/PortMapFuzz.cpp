// Arbitrary serial-port maps through the port list. The map is whatever
// drivers and users left in the registry, so no value may crash the list or
// make it write past the room it was given.
//
// Input: the number of values to examine, the room of the list (0 to 19,
// or 20 for a system without a map), then values, each a type byte, a length
// byte and that many data bytes.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "link/Comm.h"
#include "platform/WinTypes.h"
#include "sim/bus/Bus.h"

namespace {

constexpr std::size_t MaxRoom = 19;
constexpr int16_t Guard = -7;
constexpr uint32_t Types[] = {REG_SZ, REG_SZ, REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD};

std::u16string ComName(int16_t port) {
  std::u16string text = u"COM";
  for (char c : std::to_string(port)) text.push_back(static_cast<char16_t>(c));
  return text;
}

// A port a value gives is one the module can open under its name again.
int16_t CheckedPort(const orvo::PortMapValue& value) {
  const int16_t port = orvo::PortFromMapValue(value);
  if (port < 0) std::abort();
  if (port != 0 && orvo::PortFromMapValue(orvo::fake::StringValue(u"", ComName(port))) != port)
    std::abort();
  return port;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static orvo::fake::Bus bus;
  if (size < 2) return 0;
  const uint8_t maximum = data[0];
  const bool noMap = data[1] % (MaxRoom + 2) > MaxRoom;
  const std::size_t room = noMap ? MaxRoom : data[1] % (MaxRoom + 2);
  std::span<const uint8_t> rest(data + 2, size - 2);
  std::vector<orvo::PortMapValue> map;
  while (rest.size() >= 2) {
    const std::size_t length = std::min<std::size_t>(rest[1], rest.size() - 2);
    map.push_back({u"Serial",
                   Types[rest[0] % std::size(Types)],
                   {rest.begin() + 2, rest.begin() + 2 + static_cast<long>(length)}});
    rest = rest.subspan(2 + length);
  }

  // The HID entry, then the ports of the examined values in map order, as
  // many as there is room for.
  std::vector<int16_t> expected;
  if (room > 0) expected.push_back(0);
  for (std::size_t i = 0; !noMap && i < map.size() && i < maximum; ++i) {
    const int16_t port = CheckedPort(map[i]);
    if (port != 0 && expected.size() < room) expected.push_back(port);
  }
  if (noMap) {
    bus.RemovePortMap();
  } else {
    bus.SetPortMap(map);
  }

  std::vector<int16_t> ports(MaxRoom + 1, Guard);
  orvo::CComm link(bus);
  const int count = link.ListSerialPorts(maximum, std::span(ports).first(room));
  if (count != static_cast<int>(expected.size())) std::abort();
  for (std::size_t i = 0; i < ports.size(); ++i) {
    if (ports[i] != (i < expected.size() ? expected[i] : Guard)) std::abort();
  }
  for (const orvo::PortMapValue& value : map) CheckedPort(value);
  return 0;
}
