// The HotSync manager libraries of Palm Desktop and the Palm users they list: finding the
// Palm Desktop folder, loading the libraries, the user wrappers, a user's data folder and
// the installed Palm Desktop version.
//
// The library table is process-wide and used from the one GUI thread. A library row is either
// unloaded with every entry point null, or loaded with each entry point bound or null; a
// missing library or entry point makes the wrapper that needs it return -100, never a crash.
// Folders are written with '/' and, where a folder is reported, end with it.
#pragma once

#include "platform/win/WinTypes.h"

// Load mask bits, in load order.
#define HOTSYNC_CONDMGR 0x01
#define HOTSYNC_USERDATA 0x02
#define HOTSYNC_HSAPI 0x04
#define HOTSYNC_INSTAIDE 0x08
#define HOTSYNC_ALL 0x0F

// Results of GetPalmDesktopFolder and of the wrappers.
#define PALM_OK 0
#define PALM_ERR_MISSING (-100)  // no buffer, or the library function is not bound
#define PALM_ERR_NOT_FOUND (-101)
#define PALM_ERR_TOO_LONG (-102)

#define PALM_VERSION_NOT_FOUND 0xFFFFFFFFu

// One HotSync user as the user library reports it.
struct PalmUser {
  DWORD nUserId;  // key by which a user is chosen and stored in the settings
  char szUserName[64];
  char szUserDir[256];  // relative to the Palm Desktop root directory
};

// Writes the Palm Desktop folder into szBuf: "PDPath" of section "Path" in the program
// folder's "tidewell.ini" when set (even for a folder that does not exist), else
// "DesktopPath" of the current user's or, without that key, the local machine's Palm Desktop
// key, else the folder of its "HotSyncPath" (ending with '/'). PALM_OK, PALM_ERR_MISSING for
// no buffer or a capacity of 0, PALM_ERR_NOT_FOUND, PALM_ERR_TOO_LONG when the folder does
// not fit (szBuf is then empty).
// A path from the registry of a Wine prefix is the Linux folder it names there.
int GetPalmDesktopFolder(char* szBuf, int nCapacity);

// Where the Palm Desktop folder was found, when that is worth telling: "Wine prefix ~/.wine"
// for a folder named by a Wine prefix's registry. False (and empty) for the places the
// program has always looked (the program folder's "tidewell.ini", DayBridge's registry
// file) and when no folder is found.
bool GetPalmDesktopPlace(char* szBuf, int nCapacity);

// Loads the libraries of the mask in the order condmgr, UserData, HSAPI, instaide; the first
// that fails ends the call with false, leaving those before it loaded. A loaded library is
// freed and loaded again.
bool LoadHotSyncLibraries(int nMask);
void FreeHotSyncLibraries(int nMask);

// One library each, from szFolder when given and not empty, else from the Palm Desktop folder
// (which must be found either way).
bool LoadCondMgrLibrary(const char* szFolder = nullptr);
bool LoadUserDataLibrary(const char* szFolder = nullptr);
bool LoadHsApiLibrary(const char* szFolder = nullptr);
bool LoadInstAideLibrary(const char* szFolder = nullptr);
void FreeCondMgrLibrary();
void FreeUserDataLibrary();
void FreeHsApiLibrary();
void FreeInstAideLibrary();

// The table as it stands, for diagnostics and tests: whether the library of one mask bit is
// loaded, how many entry points it binds (bound or not), and one entry point by name (null
// when unbound or not in its table).
bool IsHotSyncLibraryLoaded(int nMaskBit);
int GetHotSyncEntryCount(int nMaskBit);
FARPROC GetHotSyncEntry(int nMaskBit, const char* szName);

// The user library's calls; each returns PALM_ERR_MISSING without calling anything when its
// entry point is not bound. Lengths are in characters and count the terminator.
short PmGetUserCount();
LONG PmGetUserID(WORD nIndex, DWORD* pnUserId);
LONG PmGetUserName(DWORD nUserId, char* szName, SHORT* pnLength);
LONG PmGetUserDirectory(DWORD nUserId, char* szDir, SHORT* pnLength);
// Non-zero when szDir holds the root directory.
LONG PmGetRootDirectory(char* szDir, SHORT* pnLength);

// Fills one user list entry for the index (id, then name and directory by the id). A name
// longer than the entry holds is cut; a directory that does not fit stays empty. False when
// the id cannot be read.
bool GetPalmUser(WORD nIndex, PalmUser* pUser);

// Writes the data folder of the Palm user (root directory, user directory, '/') into szBuf.
// False when the root directory or the user's directory cannot be obtained (also when the
// user library is not loaded) or the folder does not fit.
bool GetUserDataFolder(DWORD nUserId, char* szBuf, short nCapacity);

// The installed Palm Desktop version from the file version of "palm.exe" in the Palm Desktop
// folder: major * 10000 + minor * 100 + build (4.1.4.0 gives 40104), or
// PALM_VERSION_NOT_FOUND.
DWORD GetPalmDesktopVersion();
