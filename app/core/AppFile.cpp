// Atomic replacement of a whole file through the Win32-shaped file API.
#include "app/core/AppFile.h"

#include <cstdio>

#include "common/misc/CxDebugUtil.h"
#include "platform/win/WinFile.h"
#include "platform/win/WinSystem.h"

bool WriteFileReplacing(const char* szPath, const void* pData, size_t nSize) {
  if (szPath == nullptr || szPath[0] == '\0' || (pData == nullptr && nSize > 0)) return false;
  char szTemp[MAX_PATH + 8];
  int nLen = snprintf(szTemp, sizeof(szTemp), "%s.tmp", szPath);
  if (nLen < 0 || nLen >= static_cast<int>(sizeof(szTemp))) return false;

  HANDLE hFile =
      CreateFile(szTemp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) {
    Log(0, "Failed to create file: %s (error %u)", szTemp, static_cast<unsigned>(GetLastError()));
    return false;
  }
  bool bOk = true;
  const char* pBytes = static_cast<const char*>(pData);
  size_t nDone = 0;
  while (bOk && nDone < nSize) {
    DWORD nChunk = static_cast<DWORD>(nSize - nDone > 0x40000000u ? 0x40000000u : nSize - nDone);
    DWORD nWritten = 0;
    bOk = WriteFile(hFile, pBytes + nDone, nChunk, &nWritten, nullptr) && nWritten == nChunk;
    nDone += nWritten;
  }
  bOk = bOk && FlushFileBuffers(hFile);
  bOk = CloseHandle(hFile) && bOk;
  if (bOk) bOk = RenameReplacing(szTemp, szPath);
  if (!bOk) {
    Log(0, "Failed to write file: %s (error %u)", szPath, static_cast<unsigned>(GetLastError()));
    DeleteQuietly(szTemp);
  }
  return bOk;
}
