#include "link/Comm.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "platform/WinTypes.h"
#include "protocol/Wire.h"

namespace orvo {
namespace {

constexpr std::u16string_view LineSettings = u"baud=9600 parity=O data=8 stop=1";
constexpr SerialSettings PortSettings{LineSettings, 1024, 1024, {100, 100, 100, 100, 100}};

// Pauses of the link, in milliseconds.
constexpr uint32_t ResendPause = 500;
constexpr uint32_t HidReplyPause = 300;
constexpr uint32_t HidCandidatePause = 50;
// A HID unit that takes a command and never answers must not hold the
// caller's thread for good.
constexpr uint32_t HidReadBound = 1000;

constexpr int HidSearchIndices = 50;
constexpr int HidPresenceIndices = 20;

using namespace protocol;

// Closes a HID device set on every way out of a search, a throwing exchange
// too: the set holds system resources that nothing else would free.
class DeviceSetScope {
 public:
  DeviceSetScope(Platform& os, DeviceSet set) : Os(os), Set(set) {}
  ~DeviceSetScope() { Os.CloseHidDeviceSet(Set); }
  DeviceSetScope(const DeviceSetScope&) = delete;
  DeviceSetScope& operator=(const DeviceSetScope&) = delete;

 private:
  Platform& Os;
  DeviceSet Set;
};

}  // namespace

CComm::CComm(Platform& platform)
    : SerialHandle(InvalidHandle),
      HidHandle(InvalidHandle),
      SearchIndex(0),
      ReplyDelay(0),
      Os(platform) {}

CComm::~CComm() { Close(); }

void CComm::CloseHandleOf(Handle& handle) {
  if (handle != InvalidHandle) Os.CloseHandle(handle);
  handle = InvalidHandle;
}

bool CComm::OpenSerial(int32_t port) {
  SerialHandle = Os.OpenSerialPort(SerialDeviceName(port));
  if (SerialHandle == InvalidHandle) return false;
  if (!Os.ConfigureSerialPort(SerialHandle, PortSettings)) {
    CloseHandleOf(SerialHandle);
    return false;
  }
  Mode = LinkMode::Serial(port);
  return true;
}

bool CComm::Open(int32_t port, int32_t address) {
  Mode = port == 0 ? LinkMode::Hid() : LinkMode::Serial(port);
  if (port != 0) return OpenSerial(port);
  return HidSearch(address);
}

// Opens the HID interface at SearchIndex into HidHandle and reads its ids. A
// candidate that fails any step is skipped; the search goes on.
bool CComm::OpenHidCandidate(DeviceSet set, HidAttributes& attributes) {
  std::u16string path;
  if (!Os.HidInterfacePath(set, SearchIndex, path)) return false;
  HidHandle = Os.OpenHidDevice(path);
  if (HidHandle == InvalidHandle) return false;
  if (Os.GetHidAttributes(HidHandle, attributes)) return true;
  CloseHandleOf(HidHandle);
  return false;
}

bool CComm::HidSearch(int32_t address) {
  HidHandle = InvalidHandle;
  const DeviceSet set = Os.OpenHidDeviceSet();
  if (set == InvalidDeviceSet) {
    Os.Note("HID no unit found");
    return false;
  }
  {
    DeviceSetScope scope(Os, set);
    if (FindOrvoCandidate(set, address)) return true;
  }
  Os.Note("HID no unit found");
  return false;
}

// With the set open: the first Orvo unit that answers the link probe, left
// open as the link.
bool CComm::FindOrvoCandidate(DeviceSet set, int32_t address) {
  for (SearchIndex = 0; SearchIndex < HidSearchIndices; ++SearchIndex) {
    HidAttributes attributes{};
    if (!OpenHidCandidate(set, attributes)) continue;
    if (attributes.VendorId != OrvoVendorId || !IsOrvoProduct(attributes.ProductId)) {
      CloseHandleOf(HidHandle);
      continue;
    }
    std::array<uint8_t, 2> reply{};
    const int16_t status = Transact(address, console::LinkProbe.Length, console::LinkProbe.Code,
                                    console::LinkProbe.Argument, console::LinkProbeValue,
                                    console::LinkProbe.ReplyLength, reply.data());
    Os.Sleep(HidCandidatePause);
    if (status == StatusOk) {
      Mode = LinkMode::Hid();
      return true;
    }
    CloseHandleOf(HidHandle);
  }
  return false;
}

bool CComm::FindHidUnit(uint16_t vendorId, int32_t address) {
  const DeviceSet set = Os.OpenHidDeviceSet();
  if (set == InvalidDeviceSet) return false;
  DeviceSetScope scope(Os, set);
  for (SearchIndex = 0; SearchIndex < HidPresenceIndices; ++SearchIndex) {
    HidAttributes attributes{};
    if (!OpenHidCandidate(set, attributes)) continue;
    if (attributes.VendorId != vendorId) {
      CloseHandleOf(HidHandle);
      continue;
    }
    Mode = LinkMode::Hid();
    std::array<uint8_t, 2> reply{};
    const int16_t status = Transact(0, console::AddressQuery.Length, console::AddressQuery.Code,
                                    console::AddressQuery.Argument, static_cast<uint8_t>(address),
                                    console::AddressQuery.ReplyLength, reply.data());
    Os.Sleep(HidCandidatePause);
    CloseHandleOf(HidHandle);
    if (status == StatusOk && reply[0] == address) return true;
  }
  return false;
}

int16_t PortFromMapValue(const PortMapValue& value) {
  if (value.Type != REG_SZ) return 0;
  std::u16string text;
  for (std::size_t i = 0; i + 1 < value.Data.size(); i += 2) {
    const char16_t c = static_cast<char16_t>(value.Data[i] | (value.Data[i + 1] << 8));
    if (c == 0) break;
    text.push_back(c);
  }
  if (text.size() < 4 || text.size() > 8 || text.compare(0, 3, u"COM") != 0) return 0;
  int32_t port = 0;
  for (std::size_t i = 3; i < text.size(); ++i) {
    if (text[i] < u'0' || text[i] > u'9') return 0;
    port = port * 10 + (text[i] - u'0');
  }
  return port >= 1 && port <= 32767 ? static_cast<int16_t>(port) : 0;
}

int CComm::ListSerialPorts(uint8_t maximum, std::span<int16_t> ports) {
  if (ports.empty()) return 0;
  ports[0] = 0;
  std::size_t count = 1;
  std::vector<PortMapValue> values;
  if (!Os.ReadSerialPortMap(values, maximum)) return 1;
  const std::size_t examined = std::min<std::size_t>(values.size(), maximum);
  for (std::size_t i = 0; i < examined && count < ports.size(); ++i) {
    const int16_t port = PortFromMapValue(values[i]);
    if (port != 0) ports[count++] = port;
  }
  return static_cast<int>(count);
}

int16_t CComm::TransactSerial(std::span<const uint8_t> out, bool clearErrors,
                              uint32_t delayBeforeRead, uint8_t replyLength, uint8_t* reply) {
  const std::span<uint8_t> in(reply, replyLength);
  if (clearErrors) Os.ClearCommErrors(SerialHandle);
  Os.WriteSerial(SerialHandle, out);
  if (delayBeforeRead != 0) Os.Sleep(delayBeforeRead);
  std::size_t got = Os.ReadSerial(SerialHandle, in);
  const bool resent = got != replyLength;
  if (resent) {
    // One recovery: a unit that missed the frame, or an adapter that was
    // unplugged and plugged in again, gets a fresh handle and a second try.
    Os.Sleep(ResendPause);
    CloseHandleOf(SerialHandle);
    OpenSerial(Mode.Port);
    Os.WriteSerial(SerialHandle, out);
    if (delayBeforeRead != 0) Os.Sleep(delayBeforeRead);
    got = Os.ReadSerial(SerialHandle, in);
  }
  return got == replyLength ? StatusOk : StatusFailed;
}

int16_t CComm::TransactHid(int32_t address, uint8_t length, uint8_t command, uint8_t argument,
                           uint8_t value, uint8_t replyLength, uint8_t* reply) {
  std::array<uint8_t, HidReportSize> report{};
  report[1] = static_cast<uint8_t>(address);
  report[2] = length;
  report[3] = command;
  report[4] = argument;
  report[5] = value;
  // A reply that came after an earlier exchange gave up on it must not be
  // taken for this one's.
  Os.FlushHidInput(HidHandle);
  Os.WriteHidReport(HidHandle, report);
  Os.Sleep(HidReplyPause);

  std::array<uint8_t, HidReportSize> input{};
  const bool whole = Os.ReadHidReport(HidHandle, input, HidReadBound) >= HidReportSize;
  const int16_t status = whole && (address == 0 || input[1] == static_cast<uint8_t>(address))
                             ? StatusOk
                             : StatusFailed;
  // An input report carries at most 16 reply bytes after its report id.
  const std::size_t copied = std::min<std::size_t>(replyLength, HidReportSize - 1);
  if (status == StatusOk && copied != 0) std::memcpy(reply, input.data() + 1, copied);
  return status;
}

int16_t CComm::Transact(int32_t address, uint8_t length, uint8_t command, uint8_t argument,
                        uint8_t value, uint8_t replyLength, uint8_t* reply) {
  if (Mode.Via == LinkMode::Kind::Hid)
    return TransactHid(address, length, command, argument, value, replyLength, reply);
  // L counts the bytes after it: command and argument, and the value when L is 3.
  const std::array<uint8_t, CommandFrameMaxSize> frame{
      FrameStart[0], FrameStart[1], static_cast<uint8_t>(address), length, command,
      argument,      value};
  const std::size_t frameLength = std::min(CommandHeaderSize + length, frame.size());
  return TransactSerial(std::span(frame).first(frameLength), true, 0, replyLength, reply);
}

int16_t CComm::TransactShort(int32_t address, uint8_t command, uint8_t argument, uint8_t* reply) {
  if (Mode.Via == LinkMode::Kind::Hid) {
    Os.Note("HID cannot carry a short frame; nothing sent");
    return StatusFailed;
  }
  const std::array<uint8_t, ShortFrameSize> frame{static_cast<uint8_t>(address), command, argument};
  return TransactSerial(frame, true, ReplyDelay, 3, reply);
}

void CComm::Close() {
  if (Mode.Via == LinkMode::Kind::Hid) {
    CloseHandleOf(HidHandle);
  } else if (Mode.Via == LinkMode::Kind::Serial) {
    CloseHandleOf(SerialHandle);
  }
  Mode = LinkMode::Closed();
}

void CComm::SetReplyDelay(uint32_t ms) { ReplyDelay = ms; }

}  // namespace orvo
