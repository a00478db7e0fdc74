// LoadLibrary over dlopen. A path without a separator is made relative to the current folder,
// because dlopen would otherwise search the system's library folders, which LoadLibrary of a
// path never does here. Symbols are bound at load (RTLD_NOW) so that a library with unresolved
// references fails to load instead of failing later at a call.
//
// A Windows library (a Palm Desktop folder inside a Wine prefix holds the real HotSync DLLs)
// cannot run here. Where DayBridge builds a stand-in of that file name, the stand-in is loaded
// in its place and, when it exports DbStandInServe, told the folder it stands in for, so it
// serves that folder as if it had been loaded from it.
#include "platform/win/WinLibrary.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/win/WinFolder.h"
#include "platform/win/WinSystem.h"

namespace {

typedef void (*PFN_DbStandInServe)(const char* szFolder);

bool IsWindowsImage(const std::string& strPath) {
  std::ifstream in(strPath, std::ios::binary);
  char magic[2] = {};
  return in.read(magic, sizeof magic) && magic[0] == 'M' && magic[1] == 'Z';
}

// Where the stand-ins are: $DAYBRIDGE_STANDIN_LIBRARIES, else where an installation puts them
// beside the program, else where this build made them.
std::string StandInFolder() {
  const char* szFolder = std::getenv("DAYBRIDGE_STANDIN_LIBRARIES");
  if (szFolder && *szFolder) return szFolder;
#ifdef DB_STANDIN_INSTALL_DIR
  char szProgram[MAX_PATH];
  const DWORD nLength = GetModuleFileName(nullptr, szProgram, sizeof szProgram);
  if (nLength > 0 && nLength < sizeof szProgram) {
    std::string strFolder = szProgram;
    strFolder.erase(strFolder.rfind('/') + 1);
    strFolder += DB_STANDIN_INSTALL_DIR;
    std::ifstream probe(strFolder + "/UserData.dll");
    if (probe) return strFolder;
  }
#endif
#ifdef DB_STANDIN_BUILD_DIR
  return DB_STANDIN_BUILD_DIR;
#else
  return std::string();
#endif
}

void* LoadStandIn(const std::string& strWindowsPath) {
  const std::string strFolder = StandInFolder();
  if (strFolder.empty()) return nullptr;
  const size_t nSep = strWindowsPath.rfind('/');
  const std::string strName = strWindowsPath.substr(nSep + 1);
  char szStandIn[MAX_PATH];
  if (!CxMatchPathCase((strFolder + "/" + strName).c_str(), szStandIn, sizeof szStandIn)) {
    return nullptr;
  }
  void* pModule = dlopen(szStandIn, RTLD_NOW | RTLD_LOCAL);
  if (!pModule) return nullptr;
  auto pfnServe = reinterpret_cast<PFN_DbStandInServe>(dlsym(pModule, "DbStandInServe"));
  if (pfnServe) pfnServe(strWindowsPath.substr(0, nSep + 1).c_str());
  return pModule;
}

}  // namespace

HMODULE LoadLibrary(LPCSTR lpLibFileName) {
  if (!lpLibFileName || !*lpLibFileName) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  std::string strPath = lpLibFileName;
  if (strPath.find('/') == std::string::npos) strPath = "./" + strPath;
  void* pModule = IsWindowsImage(strPath) ? LoadStandIn(strPath)
                                          : dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!pModule) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return pModule;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  if (!hModule || reinterpret_cast<uintptr_t>(lpProcName) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* pSymbol = dlsym(hModule, lpProcName);
  if (!pSymbol) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return pSymbol;
}

BOOL FreeLibrary(HMODULE hLibModule) {
  if (!hLibModule) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return dlclose(hLibModule) == 0 ? TRUE : FALSE;
}
