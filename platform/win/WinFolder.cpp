// Special folders from the environment, the way the freedesktop conventions place per-user
// data, since this program's "all users" data lives with the one user who runs it here.
#include "platform/win/WinFolder.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/win/WinFileOps.h"
#include "platform/win/WinSystem.h"

namespace {

std::string CommonAppDataFolder() {
  const char* szFolder = std::getenv("DAYBRIDGE_COMMON_APPDATA");
  std::string strFolder;
  if (szFolder && *szFolder) {
    strFolder = szFolder;
  } else if ((szFolder = std::getenv("XDG_DATA_HOME")) && *szFolder) {
    strFolder = szFolder;
  } else {
    const char* szHome = std::getenv("HOME");
    strFolder = std::string(szHome ? szHome : "") + "/.local/share";
  }
  while (strFolder.size() > 1 && strFolder.back() == '/') strFolder.pop_back();
  return strFolder;
}

bool IsFolder(const std::string& strPath) {
  const DWORD nAttributes = GetFileAttributes(strPath.c_str());
  return nAttributes != INVALID_FILE_ATTRIBUTES && (nAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates every missing folder of the path, outermost first.
bool CreateFolders(const std::string& strPath) {
  size_t nPos = strPath.find('/', 1);
  while (true) {
    const std::string strPart = nPos == std::string::npos ? strPath : strPath.substr(0, nPos);
    if (!strPart.empty() && !IsFolder(strPart) && !CreateDirectory(strPart.c_str(), nullptr) &&
        !IsFolder(strPart)) {
      return false;
    }
    if (nPos == std::string::npos) return true;
    nPos = strPath.find('/', nPos + 1);
  }
}

}  // namespace

HRESULT SHGetFolderPath(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags, LPSTR pszPath) {
  if (!pszPath || (csidl & ~CSIDL_FLAG_MASK) != CSIDL_COMMON_APPDATA) return E_INVALIDARG;
  pszPath[0] = '\0';
  const std::string strFolder = CommonAppDataFolder();
  if (strFolder.size() >= MAX_PATH) return E_FAIL;
  if (!IsFolder(strFolder)) {
    if (!(csidl & CSIDL_FLAG_CREATE)) {
      std::snprintf(pszPath, MAX_PATH, "%s", strFolder.c_str());
      return S_FALSE;
    }
    if (!CreateFolders(strFolder)) return E_FAIL;
  }
  std::snprintf(pszPath, MAX_PATH, "%s", strFolder.c_str());
  return S_OK;
}
