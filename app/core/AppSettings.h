// The process-wide settings record, its settings file and the program's places on disk.
//
// The record is zero-filled and loaded once at start-up, read and changed in place by the
// windows (and the sync run), and written back only at exit. The range fields belong to the
// record but never reach the file: every process starts with the whole calendar as its range.
// Paths use the platform separator; folders carry their trailing separator.
#pragma once

#include "app/core/AppPaths.h"
#include "platform/win/WinTypes.h"

class CxIniUtil;

// Sync direction (SyncMode); 0 means none stored yet.
#define SYNC_NONE 0
#define SYNC_PALM_TO_OUTLOOK 1
#define SYNC_OUTLOOK_TO_PALM 2
#define SYNC_TWO_WAY 3

// What to do with a record that both calendars hold with different contents (ConfAction).
#define CONFLICT_ASK 0
#define CONFLICT_PALM_WINS 1
#define CONFLICT_OUTLOOK_WINS 2
#define CONFLICT_SKIP 3

// Range presets (RangeKind). RangeKind, RangeFrom and RangeTo all 0 mean all calendar data.
#define RANGE_CUSTOM 0
#define RANGE_TODAY 1
#define RANGE_THIS_WEEK 2
#define RANGE_THIS_MONTH 3
#define RANGE_THIS_YEAR 4

#define APP_SETTINGS_SECTION "DayBridge_OL_PD"
#define APP_SETTINGS_FILE "tidewell.ini"
#define APP_TITLE "DayBridge for Outlook and Palm Desktop"

struct TAppSettings {
  BYTE ShowWizard;
  BYTE ShowHistory;
  BYTE EnableDebug;
  INT LogLevel;
  BYTE ShowColor;
  COLORREF DiffColor;
  COLORREF NewColor;
  COLORREF SameColor;
  INT ConfAction;
  BYTE ActionAlways;
  INT SyncMode;
  DWORD RangeFrom;  // whole automation-date day numbers
  DWORD RangeTo;
  INT RangeKind;
  INT PDUserID;
  BYTE UseDateFile;
  char DateFileName[256];
  // Remember synchronized pairs between runs (moves, edits and deletions travel); 0 when the
  // file does not say, so an existing setup keeps matching by contents.
  BYTE TrackChanges;
  // The Outlook calendar chosen in the options: a calendar file or the http(s) address of a
  // calendar collection; empty for the default ($DAYBRIDGE_OUTLOOK_CALENDAR, else the file in
  // the common application data folder). Never holds a login (see StoreOptionValues).
  char OutlookCalendar[512];
};

extern TAppSettings AppSettings;

// The settings file wrapper. It starts on "tidewell.ini" in the program folder; start-up moves
// it into the data folder with UseDataFolderSettings once that folder is known.
extern CxIniUtil g_AppIni;

// Points the settings file wrapper at "<szDataFolder>tidewell.ini".
void UseDataFolderSettings(const char* szDataFolder);

// Zero-fills AppSettings and reads every key (defaults for missing or empty values).
void LoadSettings();

// Writes every stored key, in the file's fixed order, also when it holds its default. False
// when any key could not be written.
bool SaveSettings();
