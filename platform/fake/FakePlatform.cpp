#include "platform/fake/FakePlatform.h"

#include <algorithm>

#include "platform/WinTypes.h"
#include "protocol/HexText.h"
#include "protocol/Wire.h"

namespace orvo::fake {
namespace {

std::string Narrow(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

}  // namespace

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

PortMapValue DwordValue(std::u16string name, uint32_t number) {
  return {std::move(name),
          REG_DWORD,
          {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
           static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)}};
}

void FakePlatform::AddSerialPort(int port, sim::Unit* unit) { Lines[port].Unit = unit; }

void FakePlatform::RemoveSerialPort(int port) { Lines.erase(port); }

void FakePlatform::AddHidInterface(int index, FakeHidDevice device) {
  Hid[index] = HidSlot{std::move(device), {}};
}

Handle FakePlatform::NewHandle(bool isHid, int key) {
  const Handle h = NextHandle++;
  Handles[h] = OpenHandle{isHid, key};
  return h;
}

FakePlatform::OpenHandle* FakePlatform::Find(Handle handle, bool wantHid) {
  auto it = Handles.find(handle);
  if (it == Handles.end() || it->second.IsHid != wantHid) return nullptr;
  return &it->second;
}

std::string FakePlatform::NameOf(const OpenHandle& h) const {
  return (h.IsHid ? "HID" : "COM") + std::to_string(h.Key);
}

Handle FakePlatform::OpenSerialPort(std::u16string_view deviceName) {
  Calls.push_back("open " + Narrow(deviceName));
  const auto port = protocol::SerialPortOfDevice(deviceName);
  if (!port) return InvalidHandle;
  auto it = Lines.find(*port);
  if (it == Lines.end() || it->second.Open) return InvalidHandle;
  if (it->second.Unit != nullptr && it->second.Unit->Vanished()) return InvalidHandle;
  it->second.Open = true;
  return NewHandle(false, *port);
}

bool FakePlatform::ConfigureSerialPort(Handle port, const SerialSettings& settings) {
  OpenHandle* h = Find(port, false);
  Calls.push_back("configure " + (h ? NameOf(*h) : std::string("?")));
  if (h == nullptr || ConfigureFails) return false;
  Lines[h->Key].Settings = AppliedSettings{std::u16string(settings.Definition), settings.InQueue,
                                           settings.OutQueue, settings.Timeouts};
  return true;
}

std::optional<AppliedSettings> FakePlatform::SettingsOf(int port) const {
  auto it = Lines.find(port);
  if (it == Lines.end()) return {};
  return it->second.Settings;
}

void FakePlatform::ClearCommErrors(Handle port) {
  OpenHandle* h = Find(port, false);
  Calls.push_back("clear " + (h ? NameOf(*h) : std::string("?")));
}

void FakePlatform::Queue(SerialLine& line, const std::vector<sim::Emission>& out) {
  for (const auto& e : out)
    for (uint8_t b : e.Bytes) line.Pending.emplace_back(Time.NowMs() + e.DelayMs, b);
  std::stable_sort(line.Pending.begin(), line.Pending.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
}

bool FakePlatform::WriteSerial(Handle port, std::span<const uint8_t> bytes) {
  OpenHandle* h = Find(port, false);
  Calls.push_back("write " + (h ? NameOf(*h) : std::string("?")) + " " + HexBytes(bytes));
  if (h == nullptr) return false;
  SerialLine& line = Lines[h->Key];
  if (line.Unit != nullptr && !line.Unit->Vanished()) Queue(line, line.Unit->OnSerialBytes(bytes));
  return true;
}

std::size_t FakePlatform::ReadSerial(Handle port, std::span<uint8_t> bytes) {
  OpenHandle* h = Find(port, false);
  if (h == nullptr) {
    Calls.push_back("read ? " + std::to_string(bytes.size()) + " -> 0");
    return 0;
  }
  SerialLine& line = Lines[h->Key];
  const SerialTimeouts t = line.Settings ? line.Settings->Timeouts : SerialTimeouts{};
  const uint64_t start = Time.NowMs();
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
    Time.AdvanceTo(last);
  } else if (got > 0 && t.ReadInterval != 0) {
    Time.AdvanceTo(std::min(deadline, last + t.ReadInterval));
  } else {
    Time.AdvanceTo(deadline);
  }
  Calls.push_back("read " + NameOf(*h) + " " + std::to_string(bytes.size()) + " -> " +
                  std::to_string(got));
  return got;
}

DeviceSet FakePlatform::OpenHidDeviceSet() {
  Calls.push_back("hid-set");
  if (DeviceSetFails) return InvalidDeviceSet;
  ++SetsOpen;
  return 1;
}

bool FakePlatform::HidInterfacePath(DeviceSet set, int index, std::u16string& path) {
  Calls.push_back("hid-path " + std::to_string(index));
  auto it = Hid.find(index);
  if (set == InvalidDeviceSet || it == Hid.end()) return false;
  path = it->second.Device.Path;
  return true;
}

void FakePlatform::CloseHidDeviceSet(DeviceSet set) {
  Calls.push_back("hid-set-close");
  if (set != InvalidDeviceSet) --SetsOpen;
}

Handle FakePlatform::OpenHidDevice(std::u16string_view path) {
  Calls.push_back("hid-open " + Narrow(path));
  for (auto& [index, slot] : Hid) {
    if (slot.Device.Path != path) continue;
    if (slot.Device.OpenFails) return InvalidHandle;
    if (slot.Device.Unit != nullptr && slot.Device.Unit->Vanished()) return InvalidHandle;
    return NewHandle(true, index);
  }
  return InvalidHandle;
}

bool FakePlatform::GetHidAttributes(Handle device, HidAttributes& attributes) {
  OpenHandle* h = Find(device, true);
  if (h == nullptr) return false;
  const FakeHidDevice& d = Hid[h->Key].Device;
  attributes = HidAttributes{d.VendorId, d.ProductId};
  return true;
}

// Only reports that have arrived are dropped; one still on its way comes in
// later, as it would on the wire.
void FakePlatform::FlushHidInput(Handle device) {
  OpenHandle* h = Find(device, true);
  std::size_t dropped = 0;
  if (h != nullptr) {
    auto& reports = Hid[h->Key].Reports;
    while (!reports.empty() && reports.front().AtMs <= Time.NowMs()) {
      reports.pop_front();
      ++dropped;
    }
  }
  Calls.push_back("hid-flush " + (h ? NameOf(*h) : std::string("?")) + " -> " +
                  std::to_string(dropped));
}

bool FakePlatform::WriteHidReport(Handle device, std::span<const uint8_t, HidReportSize> report) {
  OpenHandle* h = Find(device, true);
  Calls.push_back("hid-write " + (h ? NameOf(*h) : std::string("?")) + " " + HexBytes(report));
  if (h == nullptr) return false;
  HidSlot& slot = Hid[h->Key];
  if (slot.Device.Unit == nullptr || slot.Device.Unit->Vanished()) return true;
  for (auto& e : slot.Device.Unit->OnHidReport(report)) {
    // Input reports queue in the order they arrive, which a late one changes.
    Arrival arrival{Time.NowMs() + e.DelayMs, std::move(e.Bytes)};
    auto at = std::upper_bound(slot.Reports.begin(), slot.Reports.end(), arrival.AtMs,
                               [](uint64_t t, const Arrival& a) { return t < a.AtMs; });
    slot.Reports.insert(at, std::move(arrival));
  }
  return true;
}

std::size_t FakePlatform::ReadHidReport(Handle device, std::span<uint8_t, HidReportSize> report,
                                        uint32_t timeoutMs) {
  OpenHandle* h = Find(device, true);
  std::size_t got = 0;
  if (h != nullptr) {
    HidSlot& slot = Hid[h->Key];
    if (!slot.Reports.empty() && slot.Reports.front().AtMs <= Time.NowMs() + timeoutMs) {
      Time.AdvanceTo(slot.Reports.front().AtMs);
      const auto& bytes = slot.Reports.front().Bytes;
      got = std::min(bytes.size(), report.size());
      std::copy_n(bytes.begin(), got, report.begin());
      slot.Reports.pop_front();
    } else {
      Time.Advance(timeoutMs);
    }
  }
  Calls.push_back("hid-read " + (h ? NameOf(*h) : std::string("?")) + " -> " + std::to_string(got));
  return got;
}

void FakePlatform::CloseHandle(Handle handle) {
  auto it = Handles.find(handle);
  if (it == Handles.end()) {
    Calls.push_back("close ?");
    return;
  }
  Calls.push_back("close " + NameOf(it->second));
  if (!it->second.IsHid) {
    auto line = Lines.find(it->second.Key);
    if (line != Lines.end()) line->second.Open = false;
  }
  Handles.erase(it);
}

bool FakePlatform::ReadSerialPortMap(std::vector<PortMapValue>& values, std::size_t limit) {
  Calls.push_back("port-map");
  if (!PortMap) return false;
  values.assign(PortMap->begin(), PortMap->begin() + std::min(limit, PortMap->size()));
  return true;
}

void FakePlatform::Sleep(uint32_t ms) {
  Calls.push_back("sleep " + std::to_string(ms));
  Time.Sleep(ms);
}

}  // namespace orvo::fake
