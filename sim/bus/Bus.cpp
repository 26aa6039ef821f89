#include "sim/bus/Bus.h"

#include <algorithm>

#include "platform/WinTypes.h"
#include "protocol/Wire.h"

namespace orvo::fake {

namespace {

// Per thread, as the system keeps it; the texts are the ones Windows gives.
thread_local SystemError LastFailure;

template <typename Result>
Result Failed(Result result, uint32_t code, const char* text) {
  LastFailure = SystemError{code, text};
  return result;
}

constexpr uint32_t FileNotFound = 2, AccessDenied = 5, InvalidHandleError = 6;
constexpr const char* FileNotFoundText = "The system cannot find the file specified";
constexpr const char* AccessDeniedText = "Access is denied";
constexpr const char* InvalidHandleText = "The handle is invalid";

}  // namespace

SystemError Bus::LastError() { return LastFailure; }

void Bus::SetLastError(uint32_t code, const char* text) { LastFailure = SystemError{code, text}; }

PortMapValue StringValue(std::u16string name, std::u16string_view text) {
  PortMapValue value{std::move(name), REG_SZ, {}};
  for (char16_t c : text) {
    value.Data.push_back(static_cast<uint8_t>(c & 0xFF));
    value.Data.push_back(static_cast<uint8_t>(c >> 8));
  }
  value.Data.push_back(0);
  value.Data.push_back(0);
  return value;
}

void Bus::AddSerialPort(int port, sim::Unit* unit) { Lines[port].Unit = unit; }

void Bus::RemoveSerialPort(int port) { Lines.erase(port); }

void Bus::AddHidInterface(int index, FakeHidDevice device) {
  Hid[index] = HidSlot{std::move(device), {}};
}

Handle Bus::NewHandle(bool isHid, int key) {
  const Handle h = NextHandle++;
  Handles[h] = OpenHandle{isHid, key};
  return h;
}

Bus::OpenHandle* Bus::Find(Handle handle, bool wantHid) {
  auto it = Handles.find(handle);
  if (it == Handles.end() || it->second.IsHid != wantHid) return nullptr;
  return &it->second;
}

Handle Bus::OpenSerialPort(std::u16string_view deviceName) {
  const auto port = protocol::SerialPortOfDevice(deviceName);
  if (!port) return Failed(InvalidHandle, FileNotFound, FileNotFoundText);
  auto it = Lines.find(*port);
  // A port held by another program is refused, as Windows refuses it.
  if (it == Lines.end()) return Failed(InvalidHandle, FileNotFound, FileNotFoundText);
  if (it->second.Open) return Failed(InvalidHandle, AccessDenied, AccessDeniedText);
  if (it->second.Unit != nullptr && it->second.Unit->Vanished())
    return Failed(InvalidHandle, FileNotFound, FileNotFoundText);
  it->second.Open = true;
  return NewHandle(false, *port);
}

bool Bus::ConfigureSerialPort(Handle port, const SerialSettings& settings) {
  OpenHandle* h = Find(port, false);
  if (h == nullptr) return Failed(false, InvalidHandleError, InvalidHandleText);
  Lines[h->Key].Settings = AppliedSettings{std::u16string(settings.Definition), settings.InQueue,
                                           settings.OutQueue, settings.Timeouts};
  return true;
}

void Bus::Queue(SerialLine& line, const std::vector<sim::Emission>& out) {
  for (const auto& e : out)
    for (uint8_t b : e.Bytes) line.Pending.emplace_back(Clock.NowMs() + e.DelayMs, b);
  std::stable_sort(line.Pending.begin(), line.Pending.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
}

bool Bus::WriteSerial(Handle port, std::span<const uint8_t> bytes) {
  OpenHandle* h = Find(port, false);
  if (h == nullptr) return false;
  SerialLine& line = Lines[h->Key];
  if (line.Unit != nullptr && !line.Unit->Vanished()) Queue(line, line.Unit->OnSerialBytes(bytes));
  return true;
}

std::size_t Bus::ReadSerial(Handle port, std::span<uint8_t> bytes) {
  OpenHandle* h = Find(port, false);
  if (h == nullptr) return 0;
  SerialLine& line = Lines[h->Key];
  const SerialTimeouts t = line.Settings ? line.Settings->Timeouts : SerialTimeouts{};
  const uint64_t start = Clock.NowMs();
  const uint64_t deadline =
      start + t.ReadTotalConstant + uint64_t{t.ReadTotalMultiplier} * bytes.size();
  std::size_t got = 0;
  uint64_t last = start;
  while (got < bytes.size() && !line.Pending.empty()) {
    const uint64_t at = std::max(line.Pending.front().first, start);
    if (at > deadline) break;
    if (got > 0 && t.ReadInterval != 0 && at - last > t.ReadInterval) break;
    bytes[got++] = line.Pending.front().second;
    last = at;
    line.Pending.pop_front();
  }
  if (got == bytes.size()) {
    Clock.AdvanceTo(last);
  } else if (got > 0 && t.ReadInterval != 0) {
    Clock.AdvanceTo(std::min(deadline, last + t.ReadInterval));
  } else {
    Clock.AdvanceTo(deadline);
  }
  return got;
}

bool Bus::HidInterfacePath(DeviceSet set, int index, std::u16string& path) {
  auto it = Hid.find(index);
  if (set == InvalidDeviceSet || it == Hid.end()) return false;
  path = it->second.Device.Path;
  return true;
}

Handle Bus::OpenHidDevice(std::u16string_view path) {
  for (auto& [index, slot] : Hid) {
    if (slot.Device.Path != path) continue;
    if (slot.Device.OpenFails) return InvalidHandle;
    if (slot.Device.Unit != nullptr && slot.Device.Unit->Vanished()) return InvalidHandle;
    return NewHandle(true, index);
  }
  return InvalidHandle;
}

bool Bus::GetHidAttributes(Handle device, HidAttributes& attributes) {
  OpenHandle* h = Find(device, true);
  if (h == nullptr) return false;
  const FakeHidDevice& d = Hid[h->Key].Device;
  attributes = HidAttributes{d.VendorId, d.ProductId};
  return true;
}

// Only reports that have arrived are dropped; one still on its way comes in
// later, as it would on the wire.
std::size_t Bus::DropArrivedReports(Handle device) {
  OpenHandle* h = Find(device, true);
  std::size_t dropped = 0;
  if (h != nullptr) {
    auto& reports = Hid[h->Key].Reports;
    while (!reports.empty() && reports.front().AtMs <= Clock.NowMs()) {
      reports.pop_front();
      ++dropped;
    }
  }
  return dropped;
}

bool Bus::WriteHidReport(Handle device, std::span<const uint8_t, HidReportSize> report) {
  OpenHandle* h = Find(device, true);
  if (h == nullptr) return false;
  HidSlot& slot = Hid[h->Key];
  if (slot.Device.Unit == nullptr || slot.Device.Unit->Vanished()) return true;
  for (auto& e : slot.Device.Unit->OnHidReport(report)) {
    // Input reports queue in the order they arrive, which a late one changes.
    Arrival arrival{Clock.NowMs() + e.DelayMs, std::move(e.Bytes)};
    auto at = std::upper_bound(slot.Reports.begin(), slot.Reports.end(), arrival.AtMs,
                               [](uint64_t t, const Arrival& a) { return t < a.AtMs; });
    slot.Reports.insert(at, std::move(arrival));
  }
  return true;
}

std::size_t Bus::ReadHidReport(Handle device, std::span<uint8_t, HidReportSize> report,
                               uint32_t timeoutMs) {
  OpenHandle* h = Find(device, true);
  std::size_t got = 0;
  if (h != nullptr) {
    HidSlot& slot = Hid[h->Key];
    if (!slot.Reports.empty() && slot.Reports.front().AtMs <= Clock.NowMs() + timeoutMs) {
      Clock.AdvanceTo(slot.Reports.front().AtMs);
      const auto& bytes = slot.Reports.front().Bytes;
      got = std::min(bytes.size(), report.size());
      std::copy_n(bytes.begin(), got, report.begin());
      slot.Reports.pop_front();
    } else {
      Clock.Advance(timeoutMs);
    }
  }
  return got;
}

void Bus::CloseHandle(Handle handle) {
  auto it = Handles.find(handle);
  if (it == Handles.end()) return;
  if (!it->second.IsHid) {
    auto line = Lines.find(it->second.Key);
    if (line != Lines.end()) line->second.Open = false;
  }
  Handles.erase(it);
}

bool Bus::ReadSerialPortMap(std::vector<PortMapValue>& values, std::size_t limit) {
  if (!PortMap) return false;
  values.assign(PortMap->begin(), PortMap->begin() + std::min(limit, PortMap->size()));
  return true;
}

}  // namespace orvo::fake
