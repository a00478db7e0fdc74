// The per-file lock of the calendar stores, over the platform's named mutexes.
#include "common/misc/CxFileHold.h"

#include <cstdio>

#include "platform/win/WinFile.h"
#include "platform/win/WinReplace.h"
#include "platform/win/WinSync.h"
#include "platform/win/WinSystem.h"

namespace {

// Mutex names allow a small alphabet, so the path is named by two independent 64-bit hashes.
std::string MutexNameOf(const std::string& strPath) {
  unsigned long long nFnv = 14695981039346656037ull;
  unsigned long long nDjb = 5381;
  for (unsigned char c : strPath) {
    nFnv = (nFnv ^ c) * 1099511628211ull;
    nDjb = nDjb * 33 + c;
  }
  char szName[64];
  std::snprintf(szName, sizeof(szName), "DayBridge-calendar-%016llx%016llx", nFnv, nDjb);
  return szName;
}

}  // namespace

std::string CxResolvedPath(const char* szPath) {
  if (szPath == nullptr) return std::string();
  char szResolved[4096];
  if (CxResolveFilePath(szPath, szResolved, sizeof(szResolved)) == 0) return szPath;
  return szResolved;
}

CxFileHold::~CxFileHold() {
  Release();
}

bool CxFileHold::Acquire(const char* szPath, DWORD* pdwError) {
  const std::string strResolved = CxResolvedPath(szPath);
  if (m_hMutex != nullptr && strResolved == m_strResolved) return true;
  Release();
  HANDLE hMutex = CreateMutex(nullptr, FALSE, MutexNameOf(strResolved).c_str());
  DWORD dwError = ERROR_SUCCESS;
  if (hMutex == nullptr) {
    dwError = GetLastError();
  } else {
    const DWORD dwWait = WaitForSingleObject(hMutex, 0);
    if (dwWait != WAIT_OBJECT_0) {
      dwError = dwWait == WAIT_TIMEOUT ? ERROR_LOCK_VIOLATION : GetLastError();
      CloseHandle(hMutex);
      hMutex = nullptr;
    }
  }
  if (pdwError != nullptr) *pdwError = dwError;
  if (hMutex == nullptr) return false;
  m_hMutex = hMutex;
  m_strResolved = strResolved;
  return true;
}

void CxFileHold::Release() {
  if (m_hMutex != nullptr) CloseHandle(m_hMutex);
  m_hMutex = nullptr;
  m_strResolved.clear();
}

bool CxFileHold::Holds(const char* szPath) const {
  return m_hMutex != nullptr && CxResolvedPath(szPath) == m_strResolved;
}
