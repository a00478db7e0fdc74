// Start-up and shut-down sequences.
#include "app/core/AppStartup.h"
#define DB_MODULE "AppStartup"
#include "platform/win/WinSystem.h"

#include <cstring>

#include "app/core/AppProcess.h"
#include "app/core/AppSettings.h"
#include "app/core/PalmUsers.h"
#include "app/core/SyncHistory.h"
#include "common/misc/CxDebugUtil.h"
#include "common/palm/PalmHotSync.h"
#include "platform/win/WinRegistry.h"

void AppStartup(AppEnvironment& env) {
  memset(&env, 0, sizeof(env));
  env.bComInit = AppStartPlatform();
  env.bDataFolder = GetDataFolder(env.szDataFolder);
  if (env.bDataFolder) UseDataFolderSettings(env.szDataFolder);
  LoadSettings();

  // Without a data folder the log keeps writing to "./".
  if (env.bDataFolder) g_DebugLog.SetFolder(env.szDataFolder);
  g_DebugLog.Enable(AppSettings.EnableDebug != 0);
  g_DebugLog.SetLevel(AppSettings.LogLevel);

  env.nPalmFolderResult = GetPalmDesktopFolder(env.szPalmFolder, sizeof(env.szPalmFolder));
  if (env.nPalmFolderResult != 0) {
    env.szPalmFolder[0] = '\0';
    CxRegGetWineNote(env.szPalmNote, sizeof(env.szPalmNote));
  } else {
    GetPalmDesktopPlace(env.szPalmPlace, sizeof(env.szPalmPlace));
    if (!SetCurrentDirectory(env.szPalmFolder)) {
      // A folder that names nothing on disk (PDPath wins even then) leaves the directory as is.
      Log(2, "Failed to make the Palm Desktop folder current: %s", env.szPalmFolder);
    }
  }
  // The libraries report their own failures; a missing one shows up as no users below.
  LoadHotSyncLibraries(HOTSYNC_ALL);
  env.bPalmUsers = LoadPalmUsers();
}

bool AppLoadHistory(const AppEnvironment& env) {
  // Without a data folder the history is neither read nor written.
  if (!env.bDataFolder) return false;
  return g_SyncHistory.Load(nullptr);
}

void AppShutdown(AppCalendar* pCalendar, bool bSaveSettings) {
  if (bSaveSettings) SaveSettings();
  if (pCalendar != nullptr) pCalendar->Free();
  FreePalmUsers();
  FreeHotSyncLibraries(HOTSYNC_ALL);
  g_SyncHistory.Clear();
}

void AppLeaveApartment(AppEnvironment& env) {
  AppStopPlatform(env.bComInit);
  env.bComInit = false;
}
