// Start-up and shut-down sequences.
#include "app/core/AppStartup.h"

#include "platform/win/WinSystem.h"

#include <cstring>
#include <memory>

#include "app/core/AppSettings.h"
#include "app/core/PalmUsers.h"
#include "app/core/SyncHistory.h"
#include "common/misc/CxDebugUtil.h"
#include "common/palm/Datamain.h"
#include "common/palm/PalmDateInfoEx2.h"
#include "common/palm/PalmHotSync.h"
#include "platform/automation/ComRuntime.h"
#include "platform/outlook/OutlookServer.h"

namespace {

// The data module with the Palm Desktop 6.x database connections, from start-up to shut-down.
std::unique_ptr<TdmMain>& DataModule() {
  static std::unique_ptr<TdmMain> s_pModule;
  return s_pModule;
}

}  // namespace

void AppStartup(AppEnvironment& env) {
  memset(&env, 0, sizeof(env));
  // The program's thread joins its single-threaded apartment before anything automates
  // Outlook; the in-process Outlook server is made known the way an installed Outlook is.
  env.bComInit = SUCCEEDED(CoInitialize(nullptr));
  OutlookServerRegister();
  if (!DataModule()) DataModule() = std::make_unique<TdmMain>();
  dmMain = DataModule().get();
  // The Palm store reaches the 6.x database through the calendar registered here.
  PmRegisterCalendarEx2();
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
  } else if (!SetCurrentDirectory(env.szPalmFolder)) {
    // A folder that names nothing on disk (PDPath wins even then) leaves the directory as is.
    Log(2, "Failed to make the Palm Desktop folder current: %s", env.szPalmFolder);
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
  dmMain = nullptr;
  DataModule().reset();
}

void AppLeaveApartment(AppEnvironment& env) {
  OutlookServerRevoke();
  if (env.bComInit) CoUninitialize();
  env.bComInit = false;
}
