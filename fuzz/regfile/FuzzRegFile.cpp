// Feeds arbitrary bytes to the registry stand-in as the text of its .reg file, then opens
// the keys and reads the values DayBridge reads, through every size path of RegQueryValueEx.
#include <cstddef>
#include <cstdint>

#include <string>

#include "fuzz/FuzzOutcome.h"
#include "platform/win/WinRegistry.h"

namespace {

// Appends "<value name>=<data>" to strSeen when the value reads whole.
void ReadKey(HKEY hRoot, const char* szKey, const char* szValue, std::string& strSeen) {
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
  DWORD nBigType = 0;
  if (RegQueryValueEx(hKey, szValue, nullptr, &nBigType, big, &nBig) == ERROR_SUCCESS) {
    std::string strData;
    if (nBigType == REG_SZ || nBigType == REG_EXPAND_SZ) {
      strData = dbfuzz::Printable(reinterpret_cast<const char*>(big), nBig > 0 ? nBig - 1 : 0);
    } else if (nBigType == REG_DWORD && nBig == sizeof(DWORD)) {
      strData = dbfuzz::Format(
          "dword:%u", static_cast<unsigned>(big[0] | big[1] << 8 | big[2] << 16 | big[3] << 24));
    } else {
      strData = dbfuzz::Format("type %u, %u bytes", static_cast<unsigned>(nBigType),
                               static_cast<unsigned>(nBig));
    }
    strSeen += std::string(strSeen.empty() ? "" : " ") + (*szValue ? szValue : "@") + "=" + strData;
  }
  HKEY hSub = nullptr;
  if (RegOpenKeyEx(hKey, "Core", 0, KEY_READ, &hSub) == ERROR_SUCCESS) RegCloseKey(hSub);
  RegCloseKey(hKey);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  CxRegSetText(reinterpret_cast<const char*>(pData), nSize);
  std::string strSeen;
  ReadKey(HKEY_CURRENT_USER, "Software\\U.S. Robotics\\Pilot Desktop\\Core", "DesktopPath",
          strSeen);
  ReadKey(HKEY_CURRENT_USER, "Software\\U.S. Robotics\\Pilot Desktop\\Core", "HotSyncPath",
          strSeen);
  ReadKey(HKEY_LOCAL_MACHINE, "Software\\PalmSource\\Desktop", "", strSeen);
  ReadKey(HKEY_LOCAL_MACHINE,
          "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE", "Path", strSeen);
  ReadKey(HKEY_CURRENT_USER, "K", "B", strSeen);
  CxRegSetText(nullptr, 0);
  // Any text is a registry, perhaps an empty one; the values it gave are the outcome.
  dbfuzz::ReportAccepted(strSeen);
  return 0;
}
