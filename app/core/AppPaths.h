// The places on disk the program uses besides the Palm Desktop folder: the data folder, which
// holds the settings file, the history and the debug log. Folders carry their trailing
// separator.
#pragma once

// Builds "<common application data>/tidewell/DayBridge_OL_PD/", creating the two sub-folders
// when missing, into szBuf (MAX_PATH characters). False, szBuf untouched, when no buffer is
// given, the special folder is unknown or a sub-folder cannot be created.
bool GetDataFolder(char* szBuf);

// The user manual's first page, "file://<path>", into szBuf (nSize bytes): the one installed
// beside the program (<bin>/../share/doc/daybridge/manual/index.html), which the build tree
// also holds so a program run from there finds it. False when there is none.
bool GetManualAddress(char* szBuf, int nSize);
