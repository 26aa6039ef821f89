#pragma once
// HID devices for the Win32 backend to find under Wine, which has none.
// They sit behind the backend's HidApi: the fake lists interfaces, and an
// open of one hands the backend the client end of a fresh overlapped
// named pipe, so the backend's own ReadFile, WriteFile, CancelIo and
// GetOverlappedResult run on a real handle. The test plays the unit on the
// pipe's server end, one UnitEnd per open, from a thread of its own.
#include <windows.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32/HidApi.h"

namespace orvo::hidtest {

using Report = std::array<uint8_t, HidReportSize>;

// One open of a device, as the unit sees it.
class UnitEnd {
 public:
  explicit UnitEnd(HANDLE pipe);
  ~UnitEnd();
  UnitEnd(const UnitEnd&) = delete;
  UnitEnd& operator=(const UnitEnd&) = delete;

  // One output report from the backend, waiting at most timeoutMs.
  bool Receive(Report& report, DWORD timeoutMs);
  // One input report to the backend; the pipe holds it until the backend
  // reads or flushes it.
  bool Send(const Report& report);
  // The unit is unplugged: transfers pending on the backend's handle fail.
  // Safe from another thread than the one playing the unit.
  void Vanish();
  // Whether the backend has closed its handle to this open.
  bool ClosedByBackend();

 private:
  std::atomic<HANDLE> Pipe;
  HANDLE Done;  // the event of this end's own transfers
  bool Transfer(bool write, uint8_t* bytes, DWORD size, DWORD timeoutMs, DWORD& moved);
};

struct FakeInterface {
  std::wstring Path;
  uint16_t VendorId;
  uint16_t ProductId;
  enum class Fault { None, OpenFails, AttributesFail } Trouble = Fault::None;
};

// The devices behind the seam. One at a time: the seam is plain function
// pointers, so they reach their state through Current().
class FakeHid {
 public:
  FakeHid();
  ~FakeHid();
  FakeHid(const FakeHid&) = delete;
  FakeHid& operator=(const FakeHid&) = delete;

  static HidApi Api();

  // Lists an interface, present; returns its number.
  int Add(FakeInterface device);
  // Unplugged interfaces are left out of a new device set and cannot be
  // opened; handles already open stay as they are.
  void SetPresent(int device, bool present);
  // Every open of every device vanishes.
  void UnplugAll();

  // The next open of `device` by the backend not yet handed to the unit,
  // waiting at most timeoutMs for it; null when none came.
  std::shared_ptr<UnitEnd> NextOpen(int device, DWORD timeoutMs);
  // Every open of `device` so far.
  std::vector<std::shared_ptr<UnitEnd>> Opens(int device);
  int OpenAttempts(int device);

  int Flushes();
  // Calls the real functions would have refused or that break their
  // contract (a wrong structure size, an unknown handle), and device sets
  // not given back, in words.
  std::vector<std::string> Misuse();

 private:
  struct Device {
    FakeInterface Interface;
    bool Present = true;
    int Attempts = 0;
    std::vector<std::shared_ptr<UnitEnd>> Opens;
    std::size_t Handed = 0;
  };
  struct Set {
    std::vector<int> Devices;
  };

  std::mutex Lock;
  std::condition_variable Opened;
  std::deque<Device> Devices;
  std::vector<std::unique_ptr<Set>> Sets;
  std::vector<std::pair<HANDLE, int>> Handles;  // the backend's ends, newest first
  int Flushed = 0;
  std::vector<std::string> Complaints;

  static FakeHid& Current();
  Set* FindSet(HDEVINFO set);
  int DeviceOf(HANDLE handle);
  void Complain(std::string what);

  static void WINAPI GetHidGuid(LPGUID guid);
  static HDEVINFO WINAPI GetClassDevs(const GUID* guid, PCWSTR enumerator, HWND parent,
                                      DWORD flags);
  static BOOL WINAPI EnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA info, const GUID* guid,
                                          DWORD index, PSP_DEVICE_INTERFACE_DATA data);
  static BOOL WINAPI GetDeviceInterfaceDetail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                              PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail, DWORD size,
                                              PDWORD required, PSP_DEVINFO_DATA info);
  static BOOL WINAPI DestroyDeviceInfoList(HDEVINFO set);
  static HANDLE WINAPI OpenDevice(LPCWSTR path, DWORD access, DWORD share,
                                  LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                  HANDLE templateFile);
  static BOOLEAN WINAPI GetAttributes(HANDLE device, PHIDD_ATTRIBUTES attributes);
  static BOOLEAN WINAPI FlushQueue(HANDLE device);
};

}  // namespace orvo::hidtest
