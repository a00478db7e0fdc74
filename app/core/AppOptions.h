// What the options dialog edits, apart from the window that shows it: the values it opens
// with, what OK makes of them, and the check of a calendar file the user picks. Colours are
// COLORREFs (0x00BBGGRR); the file name is the path's bytes as the file system takes them.
#pragma once

#include "app/core/AppSettings.h"
#include "common/misc/CxFailure.h"

struct TOptionValues {
  bool bShowWizard;
  bool bShowColor;
  bool bTrackChanges;
  COLORREF crSame;
  COLORREF crDiff;
  COLORREF crNew;
  // Always one of the four CONFLICT_ choices: a stored value that names none shows as
  // "do nothing", which is what the sync run does with it.
  int nConfAction;
  bool bUseDateFile;
  char szDateFile[sizeof(TAppSettings::DateFileName)];
  char szOutlookCalendar[sizeof(TAppSettings::OutlookCalendar)];
};

TOptionValues LoadOptionValues(const TAppSettings& settings);

// OK: every value goes back into the settings. ActionAlways is set for any stored choice but
// "remind me". The file name is taken only while the file box is checked, so unchecking the
// box keeps the old name for the next time it is checked. A user name or password typed into a
// calendar address is dropped: the login comes from the netrc file and never reaches the
// settings file.
void StoreOptionValues(const TOptionValues& values, TAppSettings& settings);

// Which Palm calendar the file holds: PALM_KIND_DATEBOOK, PALM_KIND_DATEBOOK_EX,
// PALM_KIND_DATABASE, PALM_KIND_FAILED for a file no loader accepts, PALM_KIND_NONE for no
// path. For PALM_KIND_FAILED, *pReason (when given) says why the file was refused.
int CheckPalmCalendarFile(const char* szPath, CxFailure* pReason = nullptr);
