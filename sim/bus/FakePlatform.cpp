#include "sim/bus/FakePlatform.h"

#include "platform/WinTypes.h"
#include "protocol/HexText.h"

namespace orvo::fake {
namespace {

std::string Narrow(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

}  // namespace

PortMapValue DwordValue(std::u16string name, uint32_t number) {
  return {std::move(name),
          REG_DWORD,
          {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
           static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)}};
}

Handle FakePlatform::OpenSerialPort(std::u16string_view deviceName) {
  Calls.push_back("open " + Narrow(deviceName));
  return Bus::OpenSerialPort(deviceName);
}

bool FakePlatform::ConfigureSerialPort(Handle port, const SerialSettings& settings) {
  Calls.push_back("configure " + NameOf(port));
  if (ConfigureFails) {
    SetLastError(31, "A device attached to the system is not functioning");
    return false;
  }
  return Bus::ConfigureSerialPort(port, settings);
}

void FakePlatform::ClearCommErrors(Handle port) { Calls.push_back("clear " + NameOf(port)); }

bool FakePlatform::WriteSerial(Handle port, std::span<const uint8_t> bytes) {
  Calls.push_back("write " + NameOf(port) + " " + HexBytes(bytes));
  return Bus::WriteSerial(port, bytes);
}

std::size_t FakePlatform::ReadSerial(Handle port, std::span<uint8_t> bytes) {
  const std::string name = NameOf(port);
  const std::size_t got = Bus::ReadSerial(port, bytes);
  Calls.push_back("read " + name + " " + std::to_string(bytes.size()) + " -> " +
                  std::to_string(got));
  return got;
}

DeviceSet FakePlatform::OpenHidDeviceSet() {
  Calls.push_back("hid-set");
  if (DeviceSetFails) return InvalidDeviceSet;
  ++SetsOpen;
  return Bus::OpenHidDeviceSet();
}

bool FakePlatform::HidInterfacePath(DeviceSet set, int index, std::u16string& path) {
  Calls.push_back("hid-path " + std::to_string(index));
  return Bus::HidInterfacePath(set, index, path);
}

void FakePlatform::CloseHidDeviceSet(DeviceSet set) {
  Calls.push_back("hid-set-close");
  if (set != InvalidDeviceSet) --SetsOpen;
}

Handle FakePlatform::OpenHidDevice(std::u16string_view path) {
  Calls.push_back("hid-open " + Narrow(path));
  return Bus::OpenHidDevice(path);
}

void FakePlatform::FlushHidInput(Handle device) {
  const std::size_t dropped = DropArrivedReports(device);
  Calls.push_back("hid-flush " + NameOf(device) + " -> " + std::to_string(dropped));
}

bool FakePlatform::WriteHidReport(Handle device, std::span<const uint8_t, HidReportSize> report) {
  Calls.push_back("hid-write " + NameOf(device) + " " + HexBytes(report));
  return Bus::WriteHidReport(device, report);
}

std::size_t FakePlatform::ReadHidReport(Handle device, std::span<uint8_t, HidReportSize> report,
                                        uint32_t timeoutMs) {
  const std::size_t got = Bus::ReadHidReport(device, report, timeoutMs);
  Calls.push_back("hid-read " + NameOf(device) + " -> " + std::to_string(got));
  return got;
}

void FakePlatform::CloseHandle(Handle handle) {
  Calls.push_back("close " + NameOf(handle));
  Bus::CloseHandle(handle);
}

bool FakePlatform::ReadSerialPortMap(std::vector<PortMapValue>& values, std::size_t limit) {
  Calls.push_back("port-map");
  return Bus::ReadSerialPortMap(values, PortMapIgnoresLimit ? SIZE_MAX : limit);
}

void FakePlatform::Sleep(uint32_t ms) {
  Calls.push_back("sleep " + std::to_string(ms));
  Recorder.Sleep(ms);
}

}  // namespace orvo::fake
