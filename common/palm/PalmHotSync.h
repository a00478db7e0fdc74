// The HotSync manager libraries of Palm Desktop and the Palm users they list: finding the
// Palm Desktop folder, loading the libraries, the user wrappers, a user's data folder and
// the installed Palm Desktop version.
#pragma once

#include "platform/win/WinTypes.h"

// Writes the data folder of the Palm user (root directory, user directory, separator) into
// szBuf. False when the root directory cannot be obtained.
bool GetUserDataFolder(DWORD nUserId, char* szBuf, short nCapacity);
