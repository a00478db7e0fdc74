// What the log options and error report dialogs do with the debug log, apart from their
// windows: the three levels the user chooses from, switching the running log, and where the
// log lives (the data folder, with its trailing separator, and the file in it).
#pragma once

#include "app/core/AppSettings.h"

#define LOG_LEVEL_ENTRY_COUNT 3
#define MSG_NO_DEBUG_LOG "Debug log file doesn't exist"

struct TLogLevelEntry {
  const char* szText;
  int nLevel;
};

// In the order the level list shows them: 0, 1 and 3. The program logs its progress at level
// 2, so only the last entry lets progress through.
extern const TLogLevelEntry g_LogLevelEntries[LOG_LEVEL_ENTRY_COUNT];

// The entry a stored level selects: 0 the first, 1 the second, any other the third.
int LogLevelEntryOf(int nStoredLevel);

// OK: the choices go into the settings and, at once, into the running log.
void ApplyLogOptions(bool bEnable, int nEntry, TAppSettings& settings);

// The data folder and "<folder>appdebug.log", both MAX_PATH characters. False, both empty,
// when the data folder cannot be had.
bool GetLogLocation(char* szFolder, char* szFile);

bool LogFileExists(const char* szFile);
