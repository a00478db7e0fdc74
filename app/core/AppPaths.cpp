// The data folder below the common application data folder.
#include "app/core/AppPaths.h"
#define DB_MODULE "AppPaths"
#include <cstdio>
#include <cstring>

#include "common/misc/CxDebugUtil.h"
#include "platform/win/WinFileOps.h"
#include "platform/win/WinFolder.h"
#include "platform/win/WinString.h"
#include "platform/win/WinSystem.h"

namespace {

bool FolderExists(const char* szPath) {
  DWORD nAttr = GetFileAttributes(szPath);
  return nAttr != INVALID_FILE_ATTRIBUTES && (nAttr & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Creates the folder unless it is there already (a second start finds it present).
bool EnsureFolder(const char* szPath) {
  if (FolderExists(szPath)) return true;
  if (CreateDirectory(szPath, nullptr)) return true;
  // Another process may have made it between the two calls.
  return FolderExists(szPath);
}

// Appends a separator unless the text already ends with one.
void AppendSeparator(char* szPath, size_t nCapacity) {
  size_t nLen = strlen(szPath);
  if (nLen > 0 && szPath[nLen - 1] == '/') return;
  if (nLen + 1 < nCapacity) {
    szPath[nLen] = '/';
    szPath[nLen + 1] = '\0';
  }
}

}  // namespace

bool GetDataFolder(char* szBuf) {
  if (szBuf == nullptr) return false;
  char szCommon[MAX_PATH] = {};
  if (FAILED(SHGetFolderPath(nullptr, CSIDL_COMMON_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0,
                             szCommon)) ||
      szCommon[0] == '\0') {
    Log(0, "Failed to get the common application data folder.");
    return false;
  }
  AppendSeparator(szCommon, sizeof(szCommon));
  if (!EnsureFolder(szCommon)) {
    Log(0, "Failed to create folder: %s", szCommon);
    return false;
  }
  char szVendor[MAX_PATH];
  int nLen = snprintf(szVendor, sizeof(szVendor), "%stidewell/", szCommon);
  if (nLen < 0 || nLen >= static_cast<int>(sizeof(szVendor))) return false;
  if (!EnsureFolder(szVendor)) {
    Log(0, "Failed to create folder: %s", szVendor);
    return false;
  }
  char szData[MAX_PATH];
  nLen = snprintf(szData, sizeof(szData), "%sDayBridge_OL_PD/", szVendor);
  if (nLen < 0 || nLen >= static_cast<int>(sizeof(szData))) return false;
  if (!EnsureFolder(szData)) {
    Log(0, "Failed to create folder: %s", szData);
    return false;
  }
  lstrcpyn(szBuf, szData, MAX_PATH);
  return true;
}

bool GetManualAddress(char* szBuf, int nSize) {
  if (szBuf == nullptr || nSize < 1) return false;
  char szProgram[MAX_PATH] = {};
  const DWORD nLen = GetModuleFileName(nullptr, szProgram, sizeof(szProgram));
  if (nLen == 0 || nLen >= sizeof(szProgram)) return false;
  char* pSlash = strrchr(szProgram, '/');
  if (pSlash == nullptr) return false;
  *pSlash = '\0';
  // Installed, the program sits in <prefix>/bin; in the build tree the window program sits
  // one folder below the top and the test programs two.
  for (const char* szUp : {"..", "../.."}) {
    char szPage[MAX_PATH];
    const int nPage = snprintf(szPage, sizeof(szPage),
                               "%s/%s/share/doc/daybridge/manual/index.html", szProgram, szUp);
    if (nPage < 0 || nPage >= static_cast<int>(sizeof(szPage))) return false;
    const DWORD nAttr = GetFileAttributes(szPage);
    if (nAttr == INVALID_FILE_ATTRIBUTES || (nAttr & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    const int nAddress = snprintf(szBuf, static_cast<size_t>(nSize), "file://%s", szPage);
    return nAddress > 0 && nAddress < nSize;
  }
  return false;
}
