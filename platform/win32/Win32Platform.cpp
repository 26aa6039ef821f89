// The platform on Windows: serial ports through the communications API, HID
// units through SetupAPI and the HID class driver (by way of HidApi, so that
// tests can put devices of their own there), the serial-port map from the
// registry.
#include <cctype>
#include <iterator>
#include <string>
#include <vector>

#include "platform/win32/HidApi.h"

namespace orvo {

namespace {

HANDLE H(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle FromH(HANDLE h) { return reinterpret_cast<Handle>(h); }
const wchar_t* W(std::u16string_view s) { return reinterpret_cast<const wchar_t*>(s.data()); }

// Waits for an overlapped transfer at most `timeoutMs`; an unfinished one is
// cancelled and reaped before the buffer it points into goes away.
DWORD FinishOverlapped(HANDLE device, OVERLAPPED& ov, BOOL started, DWORD timeoutMs) {
  DWORD done = 0;
  if (!started && GetLastError() != ERROR_IO_PENDING) return 0;
  if (WaitForSingleObject(ov.hEvent, timeoutMs) != WAIT_OBJECT_0) {
    CancelIo(device);
    GetOverlappedResult(device, &ov, &done, TRUE);
    return 0;
  }
  return GetOverlappedResult(device, &ov, &done, FALSE) ? done : 0;
}

class Win32Platform final : public Platform {
 public:
  explicit Win32Platform(const HidApi& hid) : Hid(hid) {}

  Handle OpenSerialPort(std::u16string_view deviceName) override {
    const std::u16string name(deviceName);
    HANDLE h =
        CreateFileW(W(name), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    return h == INVALID_HANDLE_VALUE ? InvalidHandle : FromH(h);
  }

  bool ConfigureSerialPort(Handle port, const SerialSettings& s) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(H(port), &dcb);  // whatever it reports, the definition below decides
    const std::u16string definition(s.Definition);
    if (!BuildCommDCBW(W(definition), &dcb)) return false;
    if (!SetCommState(H(port), &dcb)) return false;
    if (!SetupComm(H(port), s.InQueue, s.OutQueue)) return false;
    COMMTIMEOUTS t{s.Timeouts.ReadInterval, s.Timeouts.ReadTotalMultiplier,
                   s.Timeouts.ReadTotalConstant, s.Timeouts.WriteTotalMultiplier,
                   s.Timeouts.WriteTotalConstant};
    return SetCommTimeouts(H(port), &t) != FALSE;
  }

  void ClearCommErrors(Handle port) override {
    DWORD errors = 0;
    COMSTAT status{};
    ClearCommError(H(port), &errors, &status);
  }

  bool WriteSerial(Handle port, std::span<const uint8_t> bytes) override {
    DWORD written = 0;
    return WriteFile(H(port), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
  }

  std::size_t ReadSerial(Handle port, std::span<uint8_t> bytes) override {
    DWORD read = 0;
    if (!ReadFile(H(port), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
      return 0;
    return read;
  }

  DeviceSet OpenHidDeviceSet() override {
    GUID hid;
    Hid.GetHidGuid(&hid);
    HDEVINFO set = Hid.GetClassDevs(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    return set == INVALID_HANDLE_VALUE ? InvalidDeviceSet : reinterpret_cast<DeviceSet>(set);
  }

  bool HidInterfacePath(DeviceSet set, int index, std::u16string& path) override {
    GUID hid;
    Hid.GetHidGuid(&hid);
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    HDEVINFO info = reinterpret_cast<HDEVINFO>(set);
    if (!Hid.EnumDeviceInterfaces(info, nullptr, &hid, static_cast<DWORD>(index), &data))
      return false;
    // A fixed detail buffer, as large as any HID interface path we expect.
    alignas(SP_DEVICE_INTERFACE_DETAIL_DATA_W) unsigned char buffer[1048] = {};
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!Hid.GetDeviceInterfaceDetail(info, &data, detail, sizeof buffer, nullptr, nullptr))
      return false;
    const std::size_t room =
        (sizeof buffer - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / 2;
    std::size_t n = 0;
    while (n < room && detail->DevicePath[n] != 0) ++n;
    path.assign(reinterpret_cast<const char16_t*>(detail->DevicePath), n);
    return true;
  }

  void CloseHidDeviceSet(DeviceSet set) override {
    Hid.DestroyDeviceInfoList(reinterpret_cast<HDEVINFO>(set));
  }

  Handle OpenHidDevice(std::u16string_view path) override {
    const std::u16string name(path);
    // Overlapped so that a unit that never answers cannot hold the caller.
    HANDLE h =
        Hid.OpenDevice(W(name), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    return h == INVALID_HANDLE_VALUE ? InvalidHandle : FromH(h);
  }

  bool GetHidAttributes(Handle device, HidAttributes& attributes) override {
    HIDD_ATTRIBUTES a{};
    a.Size = sizeof a;
    if (!Hid.GetAttributes(H(device), &a)) return false;
    attributes = HidAttributes{a.VendorID, a.ProductID};
    return true;
  }

  void FlushHidInput(Handle device) override { Hid.FlushQueue(H(device)); }

  bool WriteHidReport(Handle device, std::span<const uint8_t, HidReportSize> report) override {
    return Overlapped(device, const_cast<uint8_t*>(report.data()), true, WriteBound) ==
           HidReportSize;
  }

  std::size_t ReadHidReport(Handle device, std::span<uint8_t, HidReportSize> report,
                            uint32_t timeoutMs) override {
    return Overlapped(device, report.data(), false, timeoutMs);
  }

  void CloseHandle(Handle handle) override { ::CloseHandle(H(handle)); }

  bool ReadSerialPortMap(std::vector<PortMapValue>& values, std::size_t limit) override {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
      return false;
    DWORD count = 0, longestName = 0, longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
      count = 0;
    std::vector<wchar_t> name(longestName + 1);
    std::vector<uint8_t> data(longestData + 2);
    for (DWORD i = 0; i < count && i < limit; ++i) {
      DWORD nameLength = static_cast<DWORD>(name.size());
      DWORD dataLength = static_cast<DWORD>(data.size());
      DWORD type = REG_NONE;
      PortMapValue value;
      if (RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, data.data(),
                        &dataLength) == ERROR_SUCCESS) {
        value.Name.assign(reinterpret_cast<const char16_t*>(name.data()), nameLength);
        value.Type = type;
        value.Data.assign(data.begin(), data.begin() + dataLength);
      }
      values.push_back(std::move(value));
    }
    RegCloseKey(key);
    return true;
  }

  void Sleep(uint32_t ms) override { ::Sleep(ms); }

  // Read before anything else can overwrite the thread's error; the text is
  // the system's, in its own language, without the closing full stop.
  SystemError LastError() override {
    SystemError error{GetLastError(), {}};
    if (error.Code == 0) return error;
    wchar_t text[256];
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       error.Code, 0, text, static_cast<DWORD>(std::size(text)), nullptr);
    char narrow[512];
    const int bytes = length == 0 ? 0
                                  : WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length),
                                                        narrow, sizeof narrow, nullptr, nullptr);
    error.Text.assign(narrow, bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
    while (!error.Text.empty() && (std::isspace(static_cast<unsigned char>(error.Text.back())) ||
                                   error.Text.back() == '.'))
      error.Text.pop_back();
    return error;
  }

 private:
  static constexpr DWORD WriteBound = 1000;

  const HidApi Hid;

  static std::size_t Overlapped(Handle device, uint8_t* buffer, bool write, DWORD timeoutMs) {
    OVERLAPPED ov{};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (ov.hEvent == nullptr) return 0;
    DWORD done = 0;
    const BOOL started = write ? WriteFile(H(device), buffer, HidReportSize, &done, &ov)
                               : ReadFile(H(device), buffer, HidReportSize, &done, &ov);
    const DWORD result = FinishOverlapped(H(device), ov, started, timeoutMs);
    ::CloseHandle(ov.hEvent);
    return result;
  }
};

}  // namespace

HidApi SystemHidApi() {
  return {HidD_GetHidGuid,
          SetupDiGetClassDevsW,
          SetupDiEnumDeviceInterfaces,
          SetupDiGetDeviceInterfaceDetailW,
          SetupDiDestroyDeviceInfoList,
          CreateFileW,
          HidD_GetAttributes,
          HidD_FlushQueue};
}

std::unique_ptr<Platform> MakeWin32Platform(const HidApi& hid) {
  return std::make_unique<Win32Platform>(hid);
}

Platform& SystemPlatform() {
  static Win32Platform platform(SystemHidApi());
  return platform;
}

}  // namespace orvo
