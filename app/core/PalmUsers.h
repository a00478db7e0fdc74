// The Palm user list of the process: one PalmUser per HotSync user, in the order the user
// library enumerates them, built once at start-up and freed at exit. The user selector and the
// first-run wizard hold pointers to its entries.
#pragma once

#include "app/core/AppSettings.h"
#include "common/misc/CxList.h"

// The list (entries are PalmUser records owned by it).
CxList& GetPalmUsers();

// Frees any previous list and asks the user library for the users. False, after telling the
// user "Can not find any Palm users in your desktop environment.", when the users cannot be
// listed (no library, no entry point, or a negative count); a count of 0 is an empty list.
bool LoadPalmUsers();

void FreePalmUsers();

// The user the selector shows for the settings: the entry whose id is PDUserID. A PDUserID of
// 0 takes the first user's id; an id no user has keeps its value while the first user is
// shown. Returns the entry's index, or -1 for an empty list.
int ChoosePalmUser(TAppSettings& settings, CxList& users);

// The same choice without changing the settings (the first-run wizard only shows it): the
// entry whose id is nUserId, the first user's id standing in for 0; the first entry when no
// id matches, -1 for an empty list.
int FindPalmUserIndex(INT nUserId, CxList& users);
