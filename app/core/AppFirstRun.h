// What the first-run wizard reports and stores, apart from its window: the installed Outlook
// and Palm Desktop versions as the user reads them, and the choices it keeps on OK.
#pragma once

#include "app/core/AppSettings.h"
#include "common/palm/PalmHotSync.h"

#define FIRST_RUN_NOT_FOUND "Not Found."
#define FIRST_RUN_VERSION_SIZE 32

// "%d.%d.%d.%d" of OUTLOOK.EXE in the folder that the App Paths entry names, or "Not Found."
// (false) when the entry, its "Path" value, the file or its version resource is missing.
bool GetOutlookVersionText(char* szBuf, int nSize);

// The same for "palm.exe" in the Palm Desktop folder.
bool GetPalmDesktopVersionText(char* szBuf, int nSize);

// OK: the wizard's check box becomes ShowWizard; the chosen user (when there is one) becomes
// PDUserID.
void StoreFirstRunChoices(bool bShowWizard, const PalmUser* pUser, TAppSettings& settings);

#define TRACK_CHANGES_CAPTION \
  "Remember synchronized appointments (moves, edits and deletions travel)"
// Whether the wizard shows remembering ticked: on for a new setup (no direction stored yet),
// else as the settings have it, so an existing setup keeps matching by contents.
bool FirstRunTracksChanges(const TAppSettings& settings);
