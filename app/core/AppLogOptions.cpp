// Debug log levels and location for the log dialogs.
#include "app/core/AppLogOptions.h"

#include <cstdio>

#include "common/misc/CxDebugUtil.h"
#include "platform/win/WinFileOps.h"

const TLogLevelEntry g_LogLevelEntries[LOG_LEVEL_ENTRY_COUNT] = {
    {"Critical - Only log critical error information.", 0},
    {"High - Log high level debug information.", 1},
    {"Low - Log very detail debug information.", 3},
};

int LogLevelEntryOf(int nStoredLevel) {
  if (nStoredLevel == 0) return 0;
  if (nStoredLevel == 1) return 1;
  return 2;
}

void ApplyLogOptions(bool bEnable, int nEntry, TAppSettings& settings) {
  if (nEntry < 0 || nEntry >= LOG_LEVEL_ENTRY_COUNT) nEntry = LOG_LEVEL_ENTRY_COUNT - 1;
  settings.EnableDebug = bEnable ? 1 : 0;
  settings.LogLevel = g_LogLevelEntries[nEntry].nLevel;
  g_DebugLog.Enable(bEnable);
  g_DebugLog.SetLevel(settings.LogLevel);
}

bool GetLogLocation(char* szFolder, char* szFile) {
  szFolder[0] = '\0';
  szFile[0] = '\0';
  char szData[MAX_PATH];
  if (!GetDataFolder(szData)) return false;
  const int nLen = snprintf(szFile, MAX_PATH, "%s%s", szData, g_DebugLog.GetFileName());
  if (nLen < 0 || nLen >= MAX_PATH) {
    // A cut name would point the user at another file.
    szFile[0] = '\0';
    return false;
  }
  snprintf(szFolder, MAX_PATH, "%s", szData);
  return true;
}

bool LogFileExists(const char* szFile) {
  if (szFile == nullptr || szFile[0] == '\0') return false;
  const DWORD nAttr = GetFileAttributes(szFile);
  return nAttr != INVALID_FILE_ATTRIBUTES && (nAttr & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
