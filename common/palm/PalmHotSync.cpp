// The HotSync library table and the Palm users. Every entry point of every library is bound
// by name when its library loads, as Palm Desktop's own tools bind them; only the five user
// calls are ever made. Nothing a library reports is trusted further than the buffers it was
// given: every text is cut and terminated here before it is used.
#include "common/palm/PalmHotSync.h"
#define DB_MODULE "PalmHotSync"
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "common/misc/CxDebugUtil.h"
#include "common/misc/WinUtil.h"
#include "platform/hotsync/HotSyncApi.h"
#include "platform/win/WinFolder.h"
#include "platform/win/WinLibrary.h"
#include "platform/win/WinProfile.h"
#include "platform/win/WinRegistry.h"
#include "platform/win/WinString.h"
#include "platform/win/WinSystem.h"
#include "platform/win/WinVersion.h"

namespace {

// Longer than any folder a caller can take, so a "PDPath" that does not fit is recognised.
constexpr DWORD kPdPathRoom = 1024;

const char* const kCondMgrEntries[] = {"CmGetLibVersion",
                                       "CmConvertCreatorIDToString",
                                       "CmConvertStringToCreatorID",
                                       "CmGetConduitCount",
                                       "CmGetCreatorIDList",
                                       "CmGetConduitCreatorID",
                                       "CmGetConduitByCreator",
                                       "CmGetConduitByIndex",
                                       "CmGetDiscoveryInfoByIndex",
                                       "CmGetSystemConduitCount",
                                       "CmGetSystemCreatorIDList",
                                       "CmGetSystemConduitCreatorID",
                                       "CmGetSystemConduitByCreator",
                                       "CmGetSystemConduitByIndex",
                                       "CmGetSystemDiscoveryInfoByIndex",
                                       "CmInstallConduit",
                                       "CmInstallCreator",
                                       "CmInstallConduitByStruct",
                                       "CmInstallSystemCreator",
                                       "CmInstallSystemConduitByStruct",
                                       "CmRemoveConduitByIndex",
                                       "CmRemoveConduitByCreatorID",
                                       "CmRemoveSystemConduitByIndex",
                                       "CmRemoveSystemConduitByCreatorID",
                                       "CmSetCreatorPriority",
                                       "CmGetCreatorPriority",
                                       "CmSetCreatorName",
                                       "CmGetCreatorName",
                                       "CmSetCreatorDirectory",
                                       "CmGetCreatorDirectory",
                                       "CmSetCreatorRemote",
                                       "CmGetCreatorRemote",
                                       "CmSetCreatorUser",
                                       "CmGetCreatorUser",
                                       "CmSetCreatorTitle",
                                       "CmGetCreatorTitle",
                                       "CmSetCreatorInfo",
                                       "CmGetCreatorInfo",
                                       "CmSetCreatorFile",
                                       "CmGetCreatorFile",
                                       "CmSetSystemCreatorPriority",
                                       "CmGetSystemCreatorPriority",
                                       "CmSetSystemCreatorName",
                                       "CmGetSystemCreatorName",
                                       "CmSetSystemCreatorDirectory",
                                       "CmGetSystemCreatorDirectory",
                                       "CmSetSystemCreatorRemote",
                                       "CmGetSystemCreatorRemote",
                                       "CmSetSystemCreatorTitle",
                                       "CmGetSystemCreatorTitle",
                                       "CmSetSystemCreatorFile",
                                       "CmGetSystemCreatorFile",
                                       "CmGetCreatorType",
                                       "CmSetCreatorIntegrate",
                                       "CmGetCreatorIntegrate",
                                       "CmSetCreatorModule",
                                       "CmGetCreatorModule",
                                       "CmSetCreatorArgument",
                                       "CmGetCreatorArgument",
                                       "CmSetComPort",
                                       "CmGetComPort",
                                       "CmSetBackupConduit",
                                       "CmGetBackupConduit",
                                       "CmSetNotifierDll",
                                       "CmGetNotifierDll",
                                       "CmSetPCIdentifier",
                                       "CmGetPCIdentifier",
                                       "CmGetCorePath",
                                       "CmSetCorePath",
                                       "CmGetHotSyncExecPath",
                                       "CmSetHotSyncExecPath",
                                       "CmSetCreatorValueDword",
                                       "CmGetCreatorValueDword",
                                       "CmSetCreatorValueString",
                                       "CmGetCreatorValueString",
                                       "CmRestoreHotSyncSettings",
                                       "FmGetCurrentUserConduitFolder",
                                       "FmGetCurrentUserDisabledConduitFolder",
                                       "FmGetSystemConduitFolder",
                                       "FmGetSystemDisabledConduitFolder",
                                       "FmGetCurrentUserConduitCount",
                                       "FmGetCurrentUserConduitByIndex",
                                       "FmDisableCurrentUserConduitByIndex",
                                       "FmDisableCurrentUserConduitByPath",
                                       "FmEnableCurrentUserConduitByPath",
                                       "FmGetSystemConduitCount",
                                       "FmGetSystemConduitByIndex",
                                       "FmDisableSystemConduitByIndex",
                                       "FmDisableSystemConduitByPath",
                                       "FmEnableSystemConduitByPath"};

const char* const kUserDataEntries[] = {"UmGetLibVersion",
                                        "UmGetUserCount",
                                        "UmGetUserID",
                                        "UmGetUserName",
                                        "UmGetUserDirectory",
                                        "UmGetUserPassword",
                                        "UmIsUserInstalled",
                                        "UmIsUserProfile",
                                        "UmSetUserName",
                                        "UmSetUserDirectory",
                                        "UmSetUserInstall",
                                        "UmSetUserPermSyncPreferences",
                                        "UmSetUserTempSyncPreferences",
                                        "UmGetUserPermSyncPreferences",
                                        "UmGetUserTempSyncPreferences",
                                        "UmRemoveUserTempSyncPreferences",
                                        "UmDeleteUserPermSyncPreferences",
                                        "UmDeleteUserTempSyncPreferences",
                                        "UmAddUser",
                                        "UmDeleteUser",
                                        "UmGetRootDirectory",
                                        "UmIsInstallMaskSet",
                                        "UmClearInstallMask",
                                        "UmSetInstallMask",
                                        "UmGetString",
                                        "UmSetString",
                                        "UmGetInteger",
                                        "UmSetInteger",
                                        "UmDeleteKey",
                                        "UmGetIDFromPath",
                                        "UmGetIDFromName",
                                        "UmSlotGetExpMgrVersion",
                                        "UmSlotGetSlotCount",
                                        "UmSlotGetInfo",
                                        "UmSlotGetMediaType",
                                        "UmSlotGetDisplayName",
                                        "UmSlotGetInstallDirectory"};

const char* const kHsApiEntries[] = {
    "HsGetApiVersion", "HsGetSyncStatus",   "HsCheckApiStatus",    "HsDisplayCustomDlg",
    "HsDisplayLog",    "HsDisplayFileLink", "HsResetComm",         "HsSetCommStatus",
    "HsGetCommStatus", "HsSetAppStatus",    "HsRefreshConduitInfo"};

const char* const kInstAideEntries[] = {"PlmGetLibVesion",
                                        "PltGetUserCount",
                                        "PltGetUser",
                                        "PltInstallFile",
                                        "PltGetFileCount",
                                        "PltGetFileName",
                                        "PltGetFileInfo",
                                        "PltRemoveInstallFile",
                                        "PltGetPath",
                                        "PltSetPath",
                                        "PltGetInstallFileFilter",
                                        "PltGetFileTypesCount",
                                        "PltGetFileTypeExtension",
                                        "PltGetInstallConduitCount",
                                        "PltGetInstallConduitInfo",
                                        "PltIsInstallMaskSet",
                                        "PltResetInstallMask",
                                        "PltGetInstallCreatorInfo",
                                        "PltSetInstallRegistry",
                                        "PltGetRegistryPath",
                                        "PltGetUserDirectory",
                                        "PltIsUserProfile",
                                        "PlmGetUserNameFromID",
                                        "PlmGetUserIDFromName",
                                        "PltInstallFileToDest",
                                        "PltGetInstallFileFilterForUser",
                                        "PlmSlotGetFileCount",
                                        "PlmSlotGetFileInfo",
                                        "PlmSlotInstallFile",
                                        "PlmSlotRemoveInstallFile",
                                        "PlmSlotMoveInstallFile",
                                        "PlmMoveInstallFileToSlot",
                                        "PlmMoveInstallFileToHandheld"};

struct HotSyncLibrary {
  int nMaskBit;
  const char* szFileName;
  const char* const* pszEntries;
  int nEntries;
  HMODULE hModule;
  std::vector<FARPROC> entries;  // parallel to pszEntries
};

template <size_t N>
constexpr int CountOf(const char* const (&)[N]) {
  return static_cast<int>(N);
}

HotSyncLibrary g_Libraries[] = {
    {HOTSYNC_CONDMGR, "condmgr.dll", kCondMgrEntries, CountOf(kCondMgrEntries), nullptr, {}},
    {HOTSYNC_USERDATA, "UserData.dll", kUserDataEntries, CountOf(kUserDataEntries), nullptr, {}},
    {HOTSYNC_HSAPI, "HSAPI.DLL", kHsApiEntries, CountOf(kHsApiEntries), nullptr, {}},
    {HOTSYNC_INSTAIDE, "instaide.dll", kInstAideEntries, CountOf(kInstAideEntries), nullptr, {}},
};

HotSyncLibrary* FindLibrary(int nMaskBit) {
  for (HotSyncLibrary& lib : g_Libraries) {
    if (lib.nMaskBit == nMaskBit) return &lib;
  }
  return nullptr;
}

FARPROC Entry(const HotSyncLibrary& lib, const char* szName) {
  for (int i = 0; i < lib.nEntries && i < static_cast<int>(lib.entries.size()); ++i) {
    if (std::strcmp(lib.pszEntries[i], szName) == 0) return lib.entries[i];
  }
  return nullptr;
}

template <typename T>
T UserEntry(const char* szName) {
  return reinterpret_cast<T>(Entry(*FindLibrary(HOTSYNC_USERDATA), szName));
}

void FreeLibraryRow(HotSyncLibrary& lib) {
  if (lib.hModule) {
    FreeLibrary(lib.hModule);
    lib.hModule = nullptr;
  }
  lib.entries.assign(static_cast<size_t>(lib.nEntries), nullptr);
}

bool LoadLibraryRow(HotSyncLibrary& lib, const char* szFolder) {
  FreeLibraryRow(lib);
  char szPalmFolder[MAX_PATH];
  if (GetPalmDesktopFolder(szPalmFolder, sizeof szPalmFolder) != PALM_OK) {
    Log(2, "Palm Desktop folder not found, %s is not loaded.", lib.szFileName);
    return false;
  }
  char szPath[MAX_PATH];
  const char* szFrom = szFolder && *szFolder ? szFolder : szPalmFolder;
  const int nWritten = std::snprintf(szPath, sizeof szPath, "%s/%s", szFrom, lib.szFileName);
  if (nWritten < 0 || nWritten >= static_cast<int>(sizeof szPath)) {
    Log(0, "Library path too long: %s", szFrom);
    return false;
  }
  // The file names of a Palm Desktop folder from Windows keep whatever case it gave them.
  char szMatched[MAX_PATH];
  if (CxMatchPathCase(szPath, szMatched, sizeof szMatched)) lstrcpyn(szPath, szMatched, MAX_PATH);
  lib.hModule = LoadLibrary(szPath);
  if (!lib.hModule) {
    Log(0, "Failed to load library: %s", szPath);
    return false;
  }
  for (int i = 0; i < lib.nEntries; ++i)
    lib.entries[i] = GetProcAddress(lib.hModule, lib.pszEntries[i]);
  Log(2, "Library loaded: %s", szPath);
  return true;
}

// Reads a text value of an open key into szBuf. PALM_OK, PALM_ERR_TOO_LONG when the value
// does not fit, PALM_ERR_NOT_FOUND when it is missing, empty or not a text.
int ReadPathValue(HKEY hKey, const char* szName, char* szBuf, int nCapacity) {
  DWORD nType = REG_NONE;
  DWORD nSize = static_cast<DWORD>(nCapacity);
  const LONG nResult =
      RegQueryValueEx(hKey, szName, nullptr, &nType, reinterpret_cast<BYTE*>(szBuf), &nSize);
  if (nResult == ERROR_MORE_DATA) {
    szBuf[0] = '\0';
    return PALM_ERR_TOO_LONG;
  }
  if (nResult != ERROR_SUCCESS || (nType != REG_SZ && nType != REG_EXPAND_SZ)) {
    szBuf[0] = '\0';
    return PALM_ERR_NOT_FOUND;
  }
  szBuf[nSize < static_cast<DWORD>(nCapacity) ? nSize : nCapacity - 1] = '\0';
  return szBuf[0] ? PALM_OK : PALM_ERR_NOT_FOUND;
}

int ReadPalmDesktopKey(HKEY hKey, char* szBuf, int nCapacity) {
  const int nDesktop = ReadPathValue(hKey, "DesktopPath", szBuf, nCapacity);
  if (nDesktop != PALM_ERR_NOT_FOUND) return nDesktop;

  char szHotSync[MAX_PATH];
  const int nHotSync = ReadPathValue(hKey, "HotSyncPath", szHotSync, sizeof szHotSync);
  if (nHotSync != PALM_OK) return nHotSync;
  // _splitpath cuts a folder at _MAX_DIR, which would name another folder; refuse instead.
  const size_t nLastSep = std::string_view(szHotSync).find_last_of("/\\");
  if (nLastSep != std::string_view::npos && nLastSep + 1 >= _MAX_DIR) {
    szBuf[0] = '\0';
    return PALM_ERR_TOO_LONG;
  }
  char szDrive[_MAX_DRIVE];
  char szDir[_MAX_DIR];
  _splitpath(szHotSync, szDrive, szDir, nullptr, nullptr);
  const int nWritten = std::snprintf(szBuf, static_cast<size_t>(nCapacity), "%s%s", szDrive, szDir);
  if (nWritten < 0 || nWritten >= nCapacity) {
    szBuf[0] = '\0';
    return PALM_ERR_TOO_LONG;
  }
  return szBuf[0] ? PALM_OK : PALM_ERR_NOT_FOUND;
}

// The folder a path value of the Palm Desktop key names on this machine: the value itself
// for DayBridge's own registry, the Linux folder for a Wine prefix's registry.
int LocalPalmFolder(HKEY hKey, char* szBuf, int nCapacity) {
  char szLocal[kPdPathRoom];
  const LONG nResult = CxRegLocalPath(hKey, szBuf, szLocal, sizeof szLocal);
  if (nResult == ERROR_SUCCESS && std::strlen(szLocal) < static_cast<size_t>(nCapacity)) {
    lstrcpyn(szBuf, szLocal, nCapacity);
    return PALM_OK;
  }
  if (nResult == ERROR_PATH_NOT_FOUND) {
    char szNote[512];
    CxRegGetWineNote(szNote, sizeof szNote);
    Log(0, "Palm Desktop folder not usable: %s", szNote);
  }
  szBuf[0] = '\0';
  return nResult == ERROR_PATH_NOT_FOUND ? PALM_ERR_NOT_FOUND : PALM_ERR_TOO_LONG;
}

int FindPalmDesktopFolder(char* szBuf, int nCapacity, char* szPlace, int nPlaceCapacity) {
  if (!szBuf || nCapacity <= 0) return PALM_ERR_MISSING;
  szBuf[0] = '\0';

  char szIniPath[MAX_PATH];
  if (GetAppFolder(szIniPath, sizeof szIniPath)) {
    const size_t nFolderLength = std::strlen(szIniPath);
    if (std::snprintf(szIniPath + nFolderLength, sizeof szIniPath - nFolderLength, "tidewell.ini") <
        static_cast<int>(sizeof szIniPath - nFolderLength)) {
      // Read with room to spare: a value cut to the capacity would name another folder.
      char szPdPath[kPdPathRoom] = {};
      const DWORD nLength =
          GetPrivateProfileString("Path", "PDPath", "", szPdPath, sizeof szPdPath, szIniPath);
      if (nLength >= static_cast<DWORD>(nCapacity) || nLength >= sizeof szPdPath - 1) {
        return PALM_ERR_TOO_LONG;
      }
      if (nLength > 0) {
        lstrcpyn(szBuf, szPdPath, nCapacity);
        return PALM_OK;
      }
    }
  }

  HKEY hKey = nullptr;
  if (RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\U.S. Robotics\\Pilot Desktop\\Core", 0, KEY_READ,
                   &hKey) != ERROR_SUCCESS &&
      RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\PalmSource\\Desktop\\Core", 0, KEY_READ, &hKey) !=
          ERROR_SUCCESS) {
    char szNote[512];
    if (CxRegGetWineNote(szNote, sizeof szNote)) Log(0, "Wine prefix not read: %s", szNote);
    return PALM_ERR_NOT_FOUND;
  }
  int nResult = ReadPalmDesktopKey(hKey, szBuf, nCapacity);
  if (nResult == PALM_OK) nResult = LocalPalmFolder(hKey, szBuf, nCapacity);
  char szPrefix[MAX_PATH];
  if (nResult == PALM_OK && szPlace && nPlaceCapacity > 0 &&
      CxRegGetKeyPrefix(hKey, szPrefix, sizeof szPrefix)) {
    std::snprintf(szPlace, static_cast<size_t>(nPlaceCapacity), "Wine prefix %s", szPrefix);
  }
  RegCloseKey(hKey);
  return nResult;
}

}  // namespace

int GetPalmDesktopFolder(char* szBuf, int nCapacity) {
  return FindPalmDesktopFolder(szBuf, nCapacity, nullptr, 0);
}

bool GetPalmDesktopPlace(char* szBuf, int nCapacity) {
  if (!szBuf || nCapacity <= 0) return false;
  szBuf[0] = '\0';
  char szFolder[MAX_PATH];
  return FindPalmDesktopFolder(szFolder, sizeof szFolder, szBuf, nCapacity) == PALM_OK &&
         szBuf[0] != '\0';
}

bool LoadCondMgrLibrary(const char* szFolder) {
  return LoadLibraryRow(*FindLibrary(HOTSYNC_CONDMGR), szFolder);
}
bool LoadUserDataLibrary(const char* szFolder) {
  return LoadLibraryRow(*FindLibrary(HOTSYNC_USERDATA), szFolder);
}
bool LoadHsApiLibrary(const char* szFolder) {
  return LoadLibraryRow(*FindLibrary(HOTSYNC_HSAPI), szFolder);
}
bool LoadInstAideLibrary(const char* szFolder) {
  return LoadLibraryRow(*FindLibrary(HOTSYNC_INSTAIDE), szFolder);
}
void FreeCondMgrLibrary() {
  FreeLibraryRow(*FindLibrary(HOTSYNC_CONDMGR));
}
void FreeUserDataLibrary() {
  FreeLibraryRow(*FindLibrary(HOTSYNC_USERDATA));
}
void FreeHsApiLibrary() {
  FreeLibraryRow(*FindLibrary(HOTSYNC_HSAPI));
}
void FreeInstAideLibrary() {
  FreeLibraryRow(*FindLibrary(HOTSYNC_INSTAIDE));
}

bool LoadHotSyncLibraries(int nMask) {
  for (HotSyncLibrary& lib : g_Libraries) {
    if ((nMask & lib.nMaskBit) && !LoadLibraryRow(lib, nullptr)) return false;
  }
  return true;
}

void FreeHotSyncLibraries(int nMask) {
  for (HotSyncLibrary& lib : g_Libraries) {
    if (nMask & lib.nMaskBit) FreeLibraryRow(lib);
  }
}

bool IsHotSyncLibraryLoaded(int nMaskBit) {
  const HotSyncLibrary* pLib = FindLibrary(nMaskBit);
  return pLib && pLib->hModule;
}

int GetHotSyncEntryCount(int nMaskBit) {
  const HotSyncLibrary* pLib = FindLibrary(nMaskBit);
  return pLib ? pLib->nEntries : 0;
}

FARPROC GetHotSyncEntry(int nMaskBit, const char* szName) {
  const HotSyncLibrary* pLib = FindLibrary(nMaskBit);
  return pLib && szName ? Entry(*pLib, szName) : nullptr;
}

short PmGetUserCount() {
  auto pfn = UserEntry<PFN_UmGetUserCount>("UmGetUserCount");
  return pfn ? pfn() : static_cast<short>(PALM_ERR_MISSING);
}

LONG PmGetUserID(WORD nIndex, DWORD* pnUserId) {
  auto pfn = UserEntry<PFN_UmGetUserID>("UmGetUserID");
  return pfn ? pfn(nIndex, pnUserId) : PALM_ERR_MISSING;
}

LONG PmGetUserName(DWORD nUserId, char* szName, SHORT* pnLength) {
  auto pfn = UserEntry<PFN_UmGetUserName>("UmGetUserName");
  return pfn ? pfn(nUserId, szName, pnLength) : PALM_ERR_MISSING;
}

LONG PmGetUserDirectory(DWORD nUserId, char* szDir, SHORT* pnLength) {
  auto pfn = UserEntry<PFN_UmGetUserDirectory>("UmGetUserDirectory");
  return pfn ? pfn(nUserId, szDir, pnLength) : PALM_ERR_MISSING;
}

LONG PmGetRootDirectory(char* szDir, SHORT* pnLength) {
  auto pfn = UserEntry<PFN_UmGetRootDirectory>("UmGetRootDirectory");
  return pfn ? pfn(szDir, pnLength) : PALM_ERR_MISSING;
}

bool GetPalmUser(WORD nIndex, PalmUser* pUser) {
  if (!pUser) return false;
  std::memset(pUser, 0, sizeof *pUser);
  DWORD nUserId = 0;
  if (PmGetUserID(nIndex, &nUserId) != UM_OK) return false;
  pUser->nUserId = nUserId;
  // The name is only shown, so a long one is cut rather than refused by the library.
  char szName[MAX_PATH] = {};
  SHORT nLength = sizeof szName;
  PmGetUserName(nUserId, szName, &nLength);
  szName[sizeof szName - 1] = '\0';
  CxCopyText(pUser->szUserName, szName);
  nLength = sizeof pUser->szUserDir;
  PmGetUserDirectory(nUserId, pUser->szUserDir, &nLength);
  // A library that ignores the length must still leave a terminated text behind.
  pUser->szUserDir[sizeof pUser->szUserDir - 1] = '\0';
  return true;
}

bool GetUserDataFolder(DWORD nUserId, char* szBuf, short nCapacity) {
  if (!szBuf || nCapacity <= 0) return false;
  szBuf[0] = '\0';
  char szRoot[MAX_PATH] = {};
  // The root buffer holds MAX_PATH whatever the caller's capacity is.
  SHORT nLength = nCapacity < MAX_PATH ? nCapacity : static_cast<SHORT>(MAX_PATH);
  const LONG nRootResult = PmGetRootDirectory(szRoot, &nLength);
  if (nRootResult == 0 || nRootResult == PALM_ERR_MISSING) return false;
  szRoot[sizeof szRoot - 1] = '\0';

  // The library may have shrunk the length to the root's own; the directory buffer is full
  // size regardless, or a user whose folder name is longer than the root path would be lost.
  char szDir[MAX_PATH] = {};
  nLength = MAX_PATH;
  PmGetUserDirectory(nUserId, szDir, &nLength);
  szDir[sizeof szDir - 1] = '\0';
  if (!szDir[0]) {
    // Without a user directory the folder would be the root itself, another user's data.
    Log(0, "No data folder for Palm user: %u", nUserId);
    return false;
  }
  const int nWritten = std::snprintf(szBuf, static_cast<size_t>(nCapacity), "%s%s/", szRoot, szDir);
  if (nWritten < 0 || nWritten >= nCapacity) {
    szBuf[0] = '\0';
    return false;
  }
  return true;
}

DWORD GetPalmDesktopVersion() {
  char szFolder[MAX_PATH];
  if (GetPalmDesktopFolder(szFolder, sizeof szFolder) != PALM_OK) return PALM_VERSION_NOT_FOUND;
  char szExe[MAX_PATH];
  const int nWritten = std::snprintf(szExe, sizeof szExe, "%s/palm.exe", szFolder);
  if (nWritten < 0 || nWritten >= static_cast<int>(sizeof szExe)) return PALM_VERSION_NOT_FOUND;
  char szMatched[MAX_PATH];
  if (CxMatchPathCase(szExe, szMatched, sizeof szMatched)) lstrcpyn(szExe, szMatched, MAX_PATH);
  DWORD nHandle = 0;
  const DWORD nSize = GetFileVersionInfoSize(szExe, &nHandle);
  if (nSize == 0) return PALM_VERSION_NOT_FOUND;
  std::vector<BYTE> block(nSize);
  VS_FIXEDFILEINFO* pInfo = nullptr;
  UINT nInfoSize = 0;
  if (!GetFileVersionInfo(szExe, nHandle, nSize, block.data()) ||
      !VerQueryValue(block.data(), "\\", reinterpret_cast<void**>(&pInfo), &nInfoSize) ||
      nInfoSize < sizeof(VS_FIXEDFILEINFO)) {
    return PALM_VERSION_NOT_FOUND;
  }
  const DWORD nMajor = HIWORD(pInfo->dwFileVersionMS);
  const DWORD nMinor = LOWORD(pInfo->dwFileVersionMS);
  const DWORD nBuild = HIWORD(pInfo->dwFileVersionLS);
  return nMajor * 10000 + nMinor * 100 + nBuild;
}
