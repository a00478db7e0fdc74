// LoadLibrary over dlopen. A path without a separator is made relative to the current folder,
// because dlopen would otherwise search the system's library folders, which LoadLibrary of a
// path never does here. Symbols are bound at load (RTLD_NOW) so that a library with unresolved
// references fails to load instead of failing later at a call.
#include "platform/win/WinLibrary.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/win/WinSystem.h"

HMODULE LoadLibrary(LPCSTR lpLibFileName) {
  if (!lpLibFileName || !*lpLibFileName) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  std::string strPath = lpLibFileName;
  if (strPath.find('/') == std::string::npos) strPath = "./" + strPath;
  void* pModule = dlopen(strPath.c_str(), RTLD_NOW | RTLD_LOCAL);
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
