#include "tests/win32/hid/FakeHid.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>

namespace orvo::hidtest {
namespace {

// The HID interface class, as hid.dll gives it.
constexpr GUID HidClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// What SetupAPI takes as the detail structure's cbSize: the packed size on
// 32-bit Windows, the padded one on 64-bit. A backend that sizes it any
// other way gets ERROR_INVALID_USER_BUFFER from the real one too.
#ifdef _WIN64
constexpr DWORD DetailSize = 8;
#else
constexpr DWORD DetailSize = 6;
#endif

FakeHid* Instance = nullptr;

std::string Narrow(std::wstring_view text) { return {text.begin(), text.end()}; }

}  // namespace

UnitEnd::UnitEnd(HANDLE pipe) : Pipe(pipe), Done(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

UnitEnd::~UnitEnd() {
  Vanish();
  CloseHandle(Done);
}

bool UnitEnd::Transfer(bool write, uint8_t* bytes, DWORD size, DWORD timeoutMs, DWORD& moved) {
  const HANDLE pipe = Pipe;
  if (pipe == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED ov{};
  ov.hEvent = Done;
  moved = 0;
  const BOOL started =
      write ? WriteFile(pipe, bytes, size, &moved, &ov) : ReadFile(pipe, bytes, size, &moved, &ov);
  if (!started && GetLastError() != ERROR_IO_PENDING) return false;
  // A Vanish from another thread closes the pipe, which ends the transfer.
  if (WaitForSingleObject(Done, timeoutMs) != WAIT_OBJECT_0) CancelIo(pipe);
  return GetOverlappedResult(pipe, &ov, &moved, TRUE) != FALSE;
}

bool UnitEnd::Receive(Report& report, DWORD timeoutMs) {
  DWORD got = 0;
  return Transfer(false, report.data(), report.size(), timeoutMs, got) && got == report.size();
}

bool UnitEnd::Send(const Report& report) {
  Report copy = report;
  DWORD sent = 0;
  return Transfer(true, copy.data(), copy.size(), 2000, sent) && sent == copy.size();
}

void UnitEnd::Vanish() {
  const HANDLE pipe = Pipe.exchange(INVALID_HANDLE_VALUE);
  if (pipe != INVALID_HANDLE_VALUE) CloseHandle(pipe);
}

bool UnitEnd::ClosedByBackend() {
  const HANDLE pipe = Pipe;
  if (pipe == INVALID_HANDLE_VALUE) return false;
  DWORD waiting = 0;
  return !PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) &&
         GetLastError() == ERROR_BROKEN_PIPE;
}

FakeHid::FakeHid() { Instance = this; }
FakeHid::~FakeHid() { Instance = nullptr; }

FakeHid& FakeHid::Current() { return *Instance; }

HidApi FakeHid::Api() {
  return {GetHidGuid,
          GetClassDevs,
          EnumDeviceInterfaces,
          GetDeviceInterfaceDetail,
          DestroyDeviceInfoList,
          OpenDevice,
          GetAttributes,
          FlushQueue};
}

int FakeHid::Add(FakeInterface device) {
  std::lock_guard hold(Lock);
  Devices.emplace_back().Interface = std::move(device);
  return static_cast<int>(Devices.size()) - 1;
}

void FakeHid::SetPresent(int device, bool present) {
  std::lock_guard hold(Lock);
  Devices.at(device).Present = present;
}

void FakeHid::UnplugAll() {
  std::vector<std::shared_ptr<UnitEnd>> ends;
  {
    std::lock_guard hold(Lock);
    for (const Device& d : Devices) ends.insert(ends.end(), d.Opens.begin(), d.Opens.end());
  }
  for (const auto& end : ends) end->Vanish();
}

std::shared_ptr<UnitEnd> FakeHid::NextOpen(int device, DWORD timeoutMs) {
  std::unique_lock hold(Lock);
  Device& d = Devices.at(device);
  if (!Opened.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                       [&] { return d.Handed < d.Opens.size(); }))
    return nullptr;
  return d.Opens[d.Handed++];
}

std::vector<std::shared_ptr<UnitEnd>> FakeHid::Opens(int device) {
  std::lock_guard hold(Lock);
  return Devices.at(device).Opens;
}

int FakeHid::OpenAttempts(int device) {
  std::lock_guard hold(Lock);
  return Devices.at(device).Attempts;
}

int FakeHid::Flushes() {
  std::lock_guard hold(Lock);
  return Flushed;
}

std::vector<std::string> FakeHid::Misuse() {
  std::lock_guard hold(Lock);
  std::vector<std::string> misuse = Complaints;
  if (!Sets.empty()) misuse.push_back(std::to_string(Sets.size()) + " device set(s) left open");
  return misuse;
}

void FakeHid::Complain(std::string what) { Complaints.push_back(std::move(what)); }

FakeHid::Set* FakeHid::FindSet(HDEVINFO set) {
  for (const auto& s : Sets)
    if (s.get() == set) return s.get();
  Complain("a device set this fake never handed out");
  return nullptr;
}

int FakeHid::DeviceOf(HANDLE handle) {
  for (const auto& [h, device] : Handles)
    if (h == handle) return device;
  Complain("a handle no open of a fake device gave");
  return -1;
}

void WINAPI FakeHid::GetHidGuid(LPGUID guid) { *guid = HidClass; }

HDEVINFO WINAPI FakeHid::GetClassDevs(const GUID* guid, PCWSTR enumerator, HWND, DWORD flags) {
  FakeHid& fake = Current();
  std::lock_guard hold(fake.Lock);
  if (guid == nullptr || !IsEqualGUID(*guid, HidClass) || enumerator != nullptr)
    fake.Complain("device set asked for something other than the HID interface class");
  auto set = std::make_unique<Set>();
  // Without DIGCF_DEVICEINTERFACE the GUID names a setup class, which has
  // no interfaces to enumerate; without DIGCF_PRESENT unplugged ones come too.
  if (flags & DIGCF_DEVICEINTERFACE)
    for (std::size_t i = 0; i < fake.Devices.size(); ++i)
      if (fake.Devices[i].Present || !(flags & DIGCF_PRESENT))
        set->Devices.push_back(static_cast<int>(i));
  fake.Sets.push_back(std::move(set));
  return fake.Sets.back().get();
}

BOOL WINAPI FakeHid::EnumDeviceInterfaces(HDEVINFO handle, PSP_DEVINFO_DATA info, const GUID* guid,
                                          DWORD index, PSP_DEVICE_INTERFACE_DATA data) {
  FakeHid& fake = Current();
  std::lock_guard hold(fake.Lock);
  Set* set = fake.FindSet(handle);
  if (set == nullptr || info != nullptr || guid == nullptr || !IsEqualGUID(*guid, HidClass)) {
    fake.Complain("interfaces enumerated with the wrong set, device or class");
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
    fake.Complain("SP_DEVICE_INTERFACE_DATA without its size");
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (index >= set->Devices.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  data->InterfaceClassGuid = HidClass;
  data->Flags = SPINT_ACTIVE;
  data->Reserved = static_cast<ULONG_PTR>(set->Devices[index]) + 1;
  return TRUE;
}

BOOL WINAPI FakeHid::GetDeviceInterfaceDetail(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA data,
                                              PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                              PDWORD required, PSP_DEVINFO_DATA) {
  FakeHid& fake = Current();
  std::lock_guard hold(fake.Lock);
  Set* set = fake.FindSet(handle);
  const int device = data == nullptr ? -1 : static_cast<int>(data->Reserved) - 1;
  if (set == nullptr ||
      std::find(set->Devices.begin(), set->Devices.end(), device) == set->Devices.end()) {
    fake.Complain("details asked of an interface the set did not enumerate");
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::wstring& path = fake.Devices[device].Interface.Path;
  const DWORD needed = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                          (path.size() + 1) * sizeof(WCHAR));
  if (required != nullptr) *required = needed;
  if (detail != nullptr && detail->cbSize != DetailSize) {
    fake.Complain("detail cbSize " + std::to_string(detail->cbSize) + ", SetupAPI takes " +
                  std::to_string(DetailSize));
    SetLastError(ERROR_INVALID_USER_BUFFER);
    return FALSE;
  }
  if (detail == nullptr || size < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::copy(path.begin(), path.end(), detail->DevicePath);
  detail->DevicePath[path.size()] = L'\0';
  return TRUE;
}

BOOL WINAPI FakeHid::DestroyDeviceInfoList(HDEVINFO handle) {
  FakeHid& fake = Current();
  std::lock_guard hold(fake.Lock);
  const auto it = std::find_if(fake.Sets.begin(), fake.Sets.end(),
                               [&](const auto& s) { return s.get() == handle; });
  if (it == fake.Sets.end()) {
    fake.Complain("a device set destroyed twice or never made");
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  fake.Sets.erase(it);
  return TRUE;
}

// A fresh pipe for every open, so an interface opens as often as a search
// asks and each open's unit end sees only its own reports. The backend's
// access, sharing and flags go to the pipe unchanged: an open without
// FILE_FLAG_OVERLAPPED gets a handle whose transfers block, as it would
// from the HID class driver.
HANDLE WINAPI FakeHid::OpenDevice(LPCWSTR path, DWORD access, DWORD share,
                                  LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                  HANDLE templateFile) {
  static std::atomic<int> Serial{0};
  FakeHid& fake = Current();
  std::lock_guard hold(fake.Lock);
  const auto it = std::find_if(fake.Devices.begin(), fake.Devices.end(),
                               [&](const Device& d) { return d.Interface.Path == path; });
  if (it == fake.Devices.end()) {
    fake.Complain("open of a path no interface has: " + Narrow(path));
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  ++it->Attempts;
  if (!it->Present) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  if (it->Interface.Trouble == FakeInterface::Fault::OpenFails) {
    SetLastError(ERROR_ACCESS_DENIED);  // as for a keyboard the system holds
    return INVALID_HANDLE_VALUE;
  }
  const std::wstring name = L"\\\\.\\pipe\\orvo-hid-" + std::to_wstring(GetCurrentProcessId()) +
                            L"-" + std::to_wstring(++Serial);
  // Nothing buffered towards the unit: a report the unit does not take
  // keeps the backend's write waiting, as a stalled endpoint does.
  const HANDLE server = CreateNamedPipeW(
      name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 4096, 0, 0, nullptr);
  if (server == INVALID_HANDLE_VALUE) {
    fake.Complain("the test's pipe could not be made");
    return INVALID_HANDLE_VALUE;
  }
  const HANDLE client =
      CreateFileW(name.c_str(), access, share, security, disposition, flags, templateFile);
  DWORD mode = PIPE_READMODE_MESSAGE;
  if (client == INVALID_HANDLE_VALUE || !SetNamedPipeHandleState(client, &mode, nullptr, nullptr)) {
    fake.Complain("the backend's end of the test's pipe could not be opened with access " +
                  std::to_string(access) + " and flags " + std::to_string(flags));
    if (client != INVALID_HANDLE_VALUE) CloseHandle(client);
    CloseHandle(server);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  it->Opens.push_back(std::make_shared<UnitEnd>(server));
  fake.Handles.insert(fake.Handles.begin(), {client, static_cast<int>(it - fake.Devices.begin())});
  fake.Opened.notify_all();
  return client;
}

BOOLEAN WINAPI FakeHid::GetAttributes(HANDLE handle, PHIDD_ATTRIBUTES attributes) {
  FakeHid& fake = Current();
  std::lock_guard hold(fake.Lock);
  const int device = fake.DeviceOf(handle);
  if (device < 0 ||
      fake.Devices[device].Interface.Trouble == FakeInterface::Fault::AttributesFail) {
    SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  attributes->Size = sizeof *attributes;
  attributes->VendorID = fake.Devices[device].Interface.VendorId;
  attributes->ProductID = fake.Devices[device].Interface.ProductId;
  attributes->VersionNumber = 0x0100;
  return TRUE;
}

// Drops the input reports waiting on the backend's end, as the class
// driver empties its ring buffer.
BOOLEAN WINAPI FakeHid::FlushQueue(HANDLE handle) {
  FakeHid& fake = Current();
  {
    std::lock_guard hold(fake.Lock);
    if (fake.DeviceOf(handle) < 0) return FALSE;
    ++fake.Flushed;
  }
  OVERLAPPED ov{};
  ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD waiting = 0;
  while (PeekNamedPipe(handle, nullptr, 0, nullptr, &waiting, nullptr) && waiting != 0) {
    std::vector<uint8_t> stale(waiting);
    DWORD got = 0;
    if (!ReadFile(handle, stale.data(), waiting, &got, &ov) && GetLastError() != ERROR_IO_PENDING &&
        GetLastError() != ERROR_MORE_DATA)
      break;
    GetOverlappedResult(handle, &ov, &got, TRUE);
  }
  CloseHandle(ov.hEvent);
  return TRUE;
}

}  // namespace orvo::hidtest
