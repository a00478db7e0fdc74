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
  std::string sFolder;
  if (szFolder && *szFolder) {
    sFolder = szFolder;
  } else if ((szFolder = std::getenv("XDG_DATA_HOME")) && *szFolder) {
    sFolder = szFolder;
  } else {
    const char* szHome = std::getenv("HOME");
    sFolder = std::string(szHome ? szHome : "") + "/.local/share";
  }
  while (sFolder.size() > 1 && sFolder.back() == '/') sFolder.pop_back();
  return sFolder;
}

bool IsFolder(const std::string& sPath) {
  const DWORD nAttributes = GetFileAttributes(sPath.c_str());
  return nAttributes != INVALID_FILE_ATTRIBUTES && (nAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates every missing folder of the path, outermost first.
bool CreateFolders(const std::string& sPath) {
  size_t nPos = sPath.find('/', 1);
  while (true) {
    const std::string sPart = nPos == std::string::npos ? sPath : sPath.substr(0, nPos);
    if (!sPart.empty() && !IsFolder(sPart) && !CreateDirectory(sPart.c_str(), nullptr) &&
        !IsFolder(sPart)) {
      return false;
    }
    if (nPos == std::string::npos) return true;
    nPos = sPath.find('/', nPos + 1);
  }
}

}  // namespace

HRESULT SHGetFolderPath(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags, LPSTR pszPath) {
  if (!pszPath || (csidl & ~CSIDL_FLAG_MASK) != CSIDL_COMMON_APPDATA) return E_INVALIDARG;
  pszPath[0] = '\0';
  const std::string sFolder = CommonAppDataFolder();
  if (sFolder.size() >= MAX_PATH) return E_FAIL;
  if (!IsFolder(sFolder)) {
    if (!(csidl & CSIDL_FLAG_CREATE)) {
      std::snprintf(pszPath, MAX_PATH, "%s", sFolder.c_str());
      return S_FALSE;
    }
    if (!CreateFolders(sFolder)) return E_FAIL;
  }
  std::snprintf(pszPath, MAX_PATH, "%s", sFolder.c_str());
  return S_OK;
}
