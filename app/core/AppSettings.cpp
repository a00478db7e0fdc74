// Settings record, settings file and data folder. Integers are read as the C library's atol
// reads them (leading blanks, an optional sign, digits up to the first other character), so a
// hand-edited "abc" reads as 0 while a missing or empty value takes the default.
#include "app/core/AppSettings.h"
#define DB_MODULE "AppSettings"
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/misc/CxDebugUtil.h"
#include "common/misc/CxIniUtil.h"
#include "platform/win/WinString.h"

TAppSettings AppSettings;
CxIniUtil g_AppIni(nullptr, APP_SETTINGS_FILE);

namespace {

// Room for 31 characters, as the settings have always been read.
constexpr DWORD kIntTextSize = 32;

INT ReadSettingInt(const char* szKey, INT nDefault) {
  char szText[kIntTextSize] = {};
  if (g_AppIni.ReadString(APP_SETTINGS_SECTION, szKey, szText, sizeof(szText), "") <= 0 ||
      szText[0] == '\0') {
    return nDefault;
  }
  // Windows' 32-bit atol saturates on overflow; strtoll plus a clamp gives the same result
  // without the undefined behaviour of an overflowing atol.
  errno = 0;
  long long nValue = std::strtoll(szText, nullptr, 10);
  if (nValue > INT_MAX) return INT_MAX;
  if (nValue < INT_MIN) return INT_MIN;
  return static_cast<INT>(nValue);
}

BYTE ReadSettingBool(const char* szKey, bool bDefault) {
  return ReadSettingInt(szKey, bDefault ? 1 : 0) != 0 ? 1 : 0;
}

bool WriteSettingInt(const char* szKey, long long nValue) {
  char szText[kIntTextSize];
  snprintf(szText, sizeof(szText), "%d", static_cast<int>(nValue));
  return g_AppIni.WriteString(APP_SETTINGS_SECTION, szKey, szText);
}

bool IsStored(const char* szKey) {
  char szStored[2] = {};
  return g_AppIni.ReadString(APP_SETTINGS_SECTION, szKey, szStored, sizeof(szStored), "") > 0;
}

}  // namespace

void UseDataFolderSettings(const char* szDataFolder) {
  if (szDataFolder == nullptr || szDataFolder[0] == '\0') return;
  char szPath[MAX_PATH];
  int nLen = snprintf(szPath, sizeof(szPath), "%s" APP_SETTINGS_FILE, szDataFolder);
  // A cut path would name another file: keep the program-folder file instead.
  if (nLen < 0 || nLen >= static_cast<int>(sizeof(szPath))) return;
  g_AppIni.SetPath(szPath);
}

void LoadSettings() {
  memset(&AppSettings, 0, sizeof(AppSettings));
  AppSettings.ShowWizard = ReadSettingBool("ShowWizard", true);
  AppSettings.ShowHistory = ReadSettingBool("ShowHistory", true);
  AppSettings.SyncMode = ReadSettingInt("SyncMode", SYNC_NONE);
  AppSettings.EnableDebug = ReadSettingBool("EnableDebug", false);
  AppSettings.LogLevel = ReadSettingInt("LogLevel", 3);
  AppSettings.ShowColor = ReadSettingBool("ShowColor", true);
  AppSettings.DiffColor = static_cast<COLORREF>(ReadSettingInt("DiffColor", 0xFF0000));
  AppSettings.SameColor = static_cast<COLORREF>(ReadSettingInt("SameColor", 0));
  AppSettings.NewColor = static_cast<COLORREF>(ReadSettingInt("NewColor", 0x008000));
  AppSettings.ConfAction = ReadSettingInt("ConfAction", CONFLICT_SKIP);
  AppSettings.ActionAlways = ReadSettingBool("ActionAlways", false);
  AppSettings.PDUserID = ReadSettingInt("PDUserID", 0);
  AppSettings.UseDateFile = ReadSettingBool("UseDateFile", false);
  g_AppIni.ReadString(APP_SETTINGS_SECTION, "DateFileName", AppSettings.DateFileName,
                      sizeof(AppSettings.DateFileName), "");
  AppSettings.TrackChanges = ReadSettingBool("TrackChanges", false);
  g_AppIni.ReadString(APP_SETTINGS_SECTION, "OutlookCalendar", AppSettings.OutlookCalendar,
                      sizeof(AppSettings.OutlookCalendar), "");
}

bool SaveSettings() {
  bool bOk = true;
  bOk &= WriteSettingInt("ShowWizard", AppSettings.ShowWizard ? 1 : 0);
  bOk &= WriteSettingInt("ShowHistory", AppSettings.ShowHistory ? 1 : 0);
  bOk &= WriteSettingInt("SyncMode", AppSettings.SyncMode);
  bOk &= WriteSettingInt("ShowColor", AppSettings.ShowColor ? 1 : 0);
  bOk &= WriteSettingInt("DiffColor", static_cast<INT>(AppSettings.DiffColor));
  bOk &= WriteSettingInt("SameColor", static_cast<INT>(AppSettings.SameColor));
  bOk &= WriteSettingInt("NewColor", static_cast<INT>(AppSettings.NewColor));
  bOk &= WriteSettingInt("ConfAction", AppSettings.ConfAction);
  bOk &= WriteSettingInt("ActionAlways", AppSettings.ActionAlways ? 1 : 0);
  bOk &= WriteSettingInt("EnableDebug", AppSettings.EnableDebug ? 1 : 0);
  bOk &= WriteSettingInt("LogLevel", AppSettings.LogLevel);
  bOk &= WriteSettingInt("PDUserID", AppSettings.PDUserID);
  bOk &= WriteSettingInt("UseDateFile", AppSettings.UseDateFile ? 1 : 0);
  bOk &= g_AppIni.WriteString(APP_SETTINGS_SECTION, "DateFileName", AppSettings.DateFileName);
  // Keys later versions added are written once chosen: files of earlier versions, and other
  // programs reading them, see no key they do not know until the user sets it.
  if (AppSettings.TrackChanges || IsStored("TrackChanges")) {
    bOk &= WriteSettingInt("TrackChanges", AppSettings.TrackChanges ? 1 : 0);
  }
  if (AppSettings.OutlookCalendar[0] != '\0' || IsStored("OutlookCalendar")) {
    bOk &=
        g_AppIni.WriteString(APP_SETTINGS_SECTION, "OutlookCalendar", AppSettings.OutlookCalendar);
  }
  if (!bOk) Log(0, "Failed to write the settings file.");
  return bOk;
}
