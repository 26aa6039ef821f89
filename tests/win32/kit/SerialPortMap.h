#pragma once
// The serial-port map that hunts walk, written from inside Wine: a client
// that lists and unlists ports itself needs no extra Wine process for each
// change. The value names are those tools/wine-prefix gives (SimN); Wine
// lists a key's values sorted by name, which is the order a hunt walks them.
#include <windows.h>

#include <string>

// ERROR_SUCCESS, or the registry's status. Unlisting a port that is not
// listed succeeds.
inline LONG ListInSerialPortMap(int port, bool listed) {
  HKEY key;
  const LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0,
                                    KEY_SET_VALUE, &key);
  if (opened != ERROR_SUCCESS) return opened;
  const std::wstring name = L"Sim" + std::to_wstring(port);
  LONG status;
  if (listed) {
    const std::wstring value = L"COM" + std::to_wstring(port);
    status =
        RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  } else {
    status = RegDeleteValueW(key, name.c_str());
    if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
  }
  RegCloseKey(key);
  return status;
}
