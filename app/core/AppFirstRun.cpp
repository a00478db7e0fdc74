// Versions of the installed programs and the first-run wizard's choices.
#include "app/core/AppFirstRun.h"

#include <cstdio>
#include <cstring>

#include "common/outlook/OlComm.h"
#include "platform/win/WinFolder.h"
#include "platform/win/WinString.h"

namespace {

bool NotFound(char* szBuf, int nSize) {
  lstrcpyn(szBuf, FIRST_RUN_NOT_FOUND, nSize);
  return false;
}

}  // namespace

bool GetOutlookVersionText(char* szBuf, int nSize) {
  if (szBuf == nullptr || nSize <= 0) return false;
  if (!GetOutlookVersion(szBuf, nSize)) return NotFound(szBuf, nSize);
  return true;
}

bool GetPalmDesktopVersionText(char* szBuf, int nSize) {
  if (szBuf == nullptr || nSize <= 0) return false;
  char szFolder[MAX_PATH];
  if (GetPalmDesktopFolder(szFolder, sizeof(szFolder)) != PALM_OK) return NotFound(szBuf, nSize);
  const size_t nFolder = std::strlen(szFolder);
  const bool bSeparator = nFolder > 0 && szFolder[nFolder - 1] == '/';
  char szExe[MAX_PATH];
  const int nLen =
      std::snprintf(szExe, sizeof(szExe), "%s%spalm.exe", szFolder, bSeparator ? "" : "/");
  if (nLen < 0 || nLen >= static_cast<int>(sizeof(szExe))) return NotFound(szBuf, nSize);
  // A folder from Windows may hold "Palm.exe".
  char szMatched[MAX_PATH];
  if (CxMatchPathCase(szExe, szMatched, sizeof(szMatched))) lstrcpyn(szExe, szMatched, MAX_PATH);
  int nMajor = 0, nMinor = 0, nBuild = 0, nRevision = 0;
  if (!GetFileVersion(szExe, &nMajor, &nMinor, &nBuild, &nRevision)) {
    return NotFound(szBuf, nSize);
  }
  std::snprintf(szBuf, static_cast<size_t>(nSize), "%d.%d.%d.%d", nMajor, nMinor, nBuild,
                nRevision);
  return true;
}

void StoreFirstRunChoices(bool bShowWizard, const PalmUser* pUser, TAppSettings& settings) {
  settings.ShowWizard = bShowWizard ? 1 : 0;
  if (pUser != nullptr) settings.PDUserID = static_cast<INT>(pUser->nUserId);
}

bool FirstRunTracksChanges(const TAppSettings& settings) {
  return settings.TrackChanges != 0 || settings.SyncMode == SYNC_NONE;
}
