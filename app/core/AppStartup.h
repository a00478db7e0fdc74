// Start-up and shut-down of the process without its windows, in the order the program has
// always followed: the platform step (AppProcess.h), data folder and settings file,
// settings, debug log, Palm Desktop folder,
// HotSync libraries, Palm users; then (by the caller) calendar initialization and the
// history. Shut-down writes the settings (unless the caller only reads them), frees the
// calendar state, the users and the libraries.
#pragma once

#include "app/core/AppCalendar.h"
#include "platform/win/WinTypes.h"

struct AppEnvironment {
  bool bDataFolder;             // the data folder could be obtained
  char szDataFolder[MAX_PATH];  // with its trailing separator
  int nPalmFolderResult;        // 0 found; the lookup's error code otherwise
  char szPalmFolder[MAX_PATH];  // the Palm Desktop folder when found
  char szPalmPlace[MAX_PATH];   // where it was found when worth telling ("Wine prefix ~/.wine")
  char szPalmNote[512];         // why a Wine prefix's Palm Desktop was refused, when one was
  bool bPalmUsers;              // the user count could be read
  bool bComInit;                // the thread joined its apartment
};

// Steps up to and including the Palm user list. Messages the user must see go through the
// installed user error handler.
void AppStartup(AppEnvironment& env);

// Loads the history file of the data folder into the process's history manager.
bool AppLoadHistory(const AppEnvironment& env);

// bSaveSettings false leaves the settings file as it was (the companion tool only reads it).
void AppShutdown(AppCalendar* pCalendar, bool bSaveSettings);

// Undoes the platform step of start-up (AppStopPlatform); last, after every automation
// object is gone.
void AppLeaveApartment(AppEnvironment& env);
