// DayBridge's process-wide state in one list, and the platform start-up step that sets up
// the part of it the platform serves.
//
// The program runs on one thread; what it keeps for the whole process has one home each
// (module: name, then who sets it up and releases it):
//
// - settings record and file      AppSettings: AppSettings, g_AppIni; start-up, shut-down
// - synchronization history       SyncHistory: g_SyncHistory; AppLoadHistory, AppShutdown
// - Palm user list                PalmUsers: GetPalmUsers(); AppStartup, AppShutdown
// - errors the user must see      AppMessages: SetUserErrorHandler; the windows or the tool
// - debug log                     CxDebugUtil: g_DebugLog; AppStartup
// - data module (6.x connections) Datamain: dmMain; AppStartPlatform, AppStopPlatform
// - maker of 6.x calendars        PalmDateInfo: PmGetCalendarEx2Factory(); AppStartPlatform
// - HotSync libraries             PalmHotSync: LoadHotSyncLibraries; AppStartup, AppShutdown
// - datebooks given a ".bak"      PalmComm: kept by PmDBUtil's save for the whole run
// - SQL statement work areas      PalmCommEx2: reused by every statement
// - Outlook session               OlComm: shared by OlBaseUtil; first Connect, last Disconnect
// - "Outlook.Application"         OutlookServer: OutlookServerRegister; AppStartPlatform,
//                                 AppStopPlatform; its open calendar files while items use them
// - class factories and ProgIDs   ComRuntime: CoRegisterClassObject; the servers
// - identifier (GUID) source      ComRuntime: CxSeedGuids; tests that compare output whole
// - the thread's apartment        ComRuntime: CoInitialize; AppStartPlatform, AppStopPlatform
// - registry text, fixed "now"    WinRegistry: CxRegSetText, WinTime: CxSetFixedLocalTime; tests
// - open file, registry handles   WinFile, WinRegistry; their owners
// - window classes                WinWindow: CxRegisterClass; the first control made
// - control windows               CxWinCtrl: GetControlMap(); the controls
// - dialogs, message boxes, main  Apputil (app/): AppSetUiHooks; the windows and their tests
#pragma once

// The platform start-up step, once before anything automates Outlook or opens a Palm Desktop
// 6.x database: the thread joins its apartment, "Outlook.Application" is registered the way
// an installed Outlook is, the Palm store gets its maker of 6.x calendars and the data module
// with the 6.x database connections is made. Returns whether the apartment was joined.
bool AppStartPlatform();

// Undoes the step, last, after every automation object and database accessor is gone;
// bComInit is what AppStartPlatform returned.
void AppStopPlatform(bool bComInit);
