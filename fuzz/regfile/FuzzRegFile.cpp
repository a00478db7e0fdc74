// Feeds arbitrary bytes to the registry stand-in as the text of its .reg file, then opens
// the keys and reads the values DayBridge reads, through every size path of RegQueryValueEx.
#include <cstddef>
#include <cstdint>

#include "platform/win/WinRegistry.h"

namespace {

void ReadKey(HKEY hRoot, const char* szKey, const char* szValue) {
  HKEY hKey = nullptr;
  if (RegOpenKeyEx(hRoot, szKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return;
  DWORD nSize = 0;
  DWORD nType = 0;
  RegQueryValueEx(hKey, szValue, nullptr, &nType, nullptr, &nSize);
  BYTE small[4];
  DWORD nSmall = sizeof small;
  RegQueryValueEx(hKey, szValue, nullptr, nullptr, small, &nSmall);
  BYTE big[1024];
  DWORD nBig = sizeof big;
  RegQueryValueEx(hKey, szValue, nullptr, nullptr, big, &nBig);
  HKEY hSub = nullptr;
  if (RegOpenKeyEx(hKey, "Core", 0, KEY_READ, &hSub) == ERROR_SUCCESS) RegCloseKey(hSub);
  RegCloseKey(hKey);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  CxRegSetText(reinterpret_cast<const char*>(pData), nSize);
  ReadKey(HKEY_CURRENT_USER, "Software\\U.S. Robotics\\Pilot Desktop\\Core", "DesktopPath");
  ReadKey(HKEY_CURRENT_USER, "Software\\U.S. Robotics\\Pilot Desktop\\Core", "HotSyncPath");
  ReadKey(HKEY_LOCAL_MACHINE, "Software\\PalmSource\\Desktop", "");
  ReadKey(HKEY_LOCAL_MACHINE,
          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE", "Path");
  ReadKey(HKEY_CURRENT_USER, "K", "B");
  CxRegSetText(nullptr, 0);
  return 0;
}
