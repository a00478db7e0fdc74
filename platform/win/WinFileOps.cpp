// Whole-file operations over POSIX, translating errno into the Win32 codes callers test.
// Replacing a file is always a rename of a finished file, never a rewrite in place.
#include "platform/win/WinFileOps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/win/WinOs.h"
#include "platform/win/WinSystem.h"

namespace {

constexpr size_t kCopyChunk = 64 * 1024;
// A copy is written under "<target>.<random hex>"; names tried before giving up.
constexpr int kMaxTempAttempts = 16;
constexpr size_t kTempRandomBytes = 8;
// Seconds from 1601-01-01 (the FILETIME base) to 1970-01-01.
constexpr uint64_t kFileTimeUnixOffset = 11644473600ull;

bool IsDirectory(const std::string& strPath) {
  struct stat st {};
  return stat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Windows tells a missing file in an existing folder (FILE_NOT_FOUND) from a missing
// folder (PATH_NOT_FOUND); callers that create folders on demand rely on the difference.
DWORD Win32ErrorOf(int nErrno, const char* szPath) {
  switch (nErrno) {
    case ENOENT:
      return szPath != nullptr && IsDirectory(CxOsFolderOf(szPath)) ? ERROR_FILE_NOT_FOUND
                                                                    : ERROR_PATH_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return ERROR_PATH_NOT_FOUND;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case EXDEV:
      return ERROR_NOT_SAME_DEVICE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
    case ETXTBSY:
      return ERROR_SHARING_VIOLATION;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    default:
      return ERROR_ACCESS_DENIED;
  }
}

BOOL Fail(DWORD dwError) {
  SetLastError(dwError);
  return FALSE;
}

BOOL FailErrno(const char* szPath) {
  return Fail(Win32ErrorOf(errno, szPath));
}

bool IsEmptyPath(const char* szPath) {
  return szPath == nullptr || szPath[0] == '\0';
}

DWORD AttributesOf(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  return (st.st_mode & S_IWUSR) == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace

FILETIME CxFileTimeOf(const struct timespec& ts) {
  const uint64_t nValue = (static_cast<uint64_t>(ts.tv_sec) + kFileTimeUnixOffset) * 10000000ull +
                          static_cast<uint64_t>(ts.tv_nsec) / 100u;
  return FILETIME{static_cast<DWORD>(nValue), static_cast<DWORD>(nValue >> 32)};
}

BOOL CopyFile(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
  if (IsEmptyPath(lpExistingFileName) || IsEmptyPath(lpNewFileName)) {
    return Fail(ERROR_PATH_NOT_FOUND);
  }
  const int fdIn = CxOsOpen(lpExistingFileName, O_RDONLY);
  if (fdIn < 0) return FailErrno(lpExistingFileName);
  struct stat stIn {};
  if (fstat(fdIn, &stIn) != 0 || S_ISDIR(stIn.st_mode)) {
    CxOsClose(fdIn);
    return Fail(ERROR_ACCESS_DENIED);
  }
  struct stat stOut {};
  if (bFailIfExists && lstat(lpNewFileName, &stOut) == 0) {
    CxOsClose(fdIn);
    return Fail(ERROR_FILE_EXISTS);
  }

  std::string strTempPath;
  int fdOut = -1;
  for (int nAttempt = 0; nAttempt < kMaxTempAttempts && fdOut < 0; ++nAttempt) {
    strTempPath = std::string(lpNewFileName) + "." + CxOsRandomHex(kTempRandomBytes);
    fdOut = CxOsOpen(strTempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (fdOut < 0 && errno != EEXIST) break;
  }
  if (fdOut < 0) {
    const DWORD dwError = Win32ErrorOf(errno, lpNewFileName);
    CxOsClose(fdIn);
    return Fail(dwError);
  }
  bool bOk = true;
  std::string strChunk(kCopyChunk, '\0');
  for (;;) {
    const ssize_t nRead = CxOsRead(fdIn, strChunk.data(), strChunk.size());
    if (nRead <= 0) {
      bOk = nRead == 0;
      break;
    }
    if (!CxOsWriteAll(fdOut, strChunk.data(), static_cast<size_t>(nRead))) {
      bOk = false;
      break;
    }
  }
  DWORD dwError = bOk ? ERROR_SUCCESS : Win32ErrorOf(errno, lpNewFileName);
  CxOsClose(fdIn);
  if (bOk && (!CxOsSetMode(fdOut, stIn.st_mode & 07777) || !CxOsSync(fdOut))) {
    bOk = false;
    dwError = Win32ErrorOf(errno, lpNewFileName);
  }
  if (CxOsClose(fdOut) != 0 && bOk) {
    bOk = false;
    dwError = Win32ErrorOf(errno, lpNewFileName);
  }
  if (bOk) {
    if (!CxOsRename(strTempPath.c_str(), lpNewFileName, bFailIfExists)) {
      bOk = false;
      dwError = errno == EEXIST ? ERROR_FILE_EXISTS : Win32ErrorOf(errno, lpNewFileName);
    }
  }
  if (!bOk) {
    CxOsRemove(strTempPath.c_str());
    return Fail(dwError);
  }
  return TRUE;
}

BOOL MoveFileEx(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
  if (IsEmptyPath(lpExistingFileName) || IsEmptyPath(lpNewFileName)) {
    return Fail(ERROR_PATH_NOT_FOUND);
  }
  struct stat stSource {};
  if (lstat(lpExistingFileName, &stSource) != 0) return FailErrno(lpExistingFileName);
  const bool bReplace = (dwFlags & MOVEFILE_REPLACE_EXISTING) != 0;
  if (!CxOsRename(lpExistingFileName, lpNewFileName, !bReplace)) {
    if (errno != EXDEV || (dwFlags & MOVEFILE_COPY_ALLOWED) == 0 || S_ISDIR(stSource.st_mode)) {
      // The source was there a moment ago, so a missing path is the target's folder.
      return FailErrno(lpNewFileName);
    }
    if (!CopyFile(lpExistingFileName, lpNewFileName, bReplace ? FALSE : TRUE)) return FALSE;
    if (!CxOsRemove(lpExistingFileName)) return FailErrno(lpExistingFileName);
  }
  // The move is done whatever the flush says: reporting it failed would mislead the caller.
  if ((dwFlags & MOVEFILE_WRITE_THROUGH) != 0) CxOsSyncFolderOf(lpNewFileName);
  return TRUE;
}

BOOL MoveFile(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
  return MoveFileEx(lpExistingFileName, lpNewFileName, 0);
}

BOOL DeleteFile(LPCSTR lpFileName) {
  if (IsEmptyPath(lpFileName)) return Fail(ERROR_PATH_NOT_FOUND);
  struct stat st {};
  if (lstat(lpFileName, &st) == 0 && S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  if (!CxOsRemove(lpFileName)) return FailErrno(lpFileName);
  return TRUE;
}

DWORD GetFileAttributes(LPCSTR lpFileName) {
  if (IsEmptyPath(lpFileName)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  struct stat st {};
  if (stat(lpFileName, &st) != 0) {
    SetLastError(Win32ErrorOf(errno, lpFileName));
    return INVALID_FILE_ATTRIBUTES;
  }
  return AttributesOf(st);
}

BOOL GetFileAttributesEx(LPCSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId,
                         LPVOID lpFileInformation) {
  if (lpFileInformation == nullptr || fInfoLevelId != GetFileExInfoStandard) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  if (IsEmptyPath(lpFileName)) return Fail(ERROR_PATH_NOT_FOUND);
  struct stat st {};
  if (stat(lpFileName, &st) != 0) return FailErrno(lpFileName);
  auto* pData = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(lpFileInformation);
  pData->dwFileAttributes = AttributesOf(st);
  pData->ftCreationTime = CxFileTimeOf(st.st_ctim);
  pData->ftLastAccessTime = CxFileTimeOf(st.st_atim);
  pData->ftLastWriteTime = CxFileTimeOf(st.st_mtim);
  const uint64_t nSize = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
  pData->nFileSizeHigh = static_cast<DWORD>(nSize >> 32);
  pData->nFileSizeLow = static_cast<DWORD>(nSize);
  return TRUE;
}

BOOL CreateDirectory(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
  if (IsEmptyPath(lpPathName)) return Fail(ERROR_PATH_NOT_FOUND);
  if (mkdir(lpPathName, 0777) != 0) {
    return Fail(errno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorOf(errno, lpPathName));
  }
  return TRUE;
}

BOOL RemoveDirectory(LPCSTR lpPathName) {
  if (IsEmptyPath(lpPathName)) return Fail(ERROR_PATH_NOT_FOUND);
  if (rmdir(lpPathName) != 0) {
    return Fail(errno == EEXIST ? ERROR_DIR_NOT_EMPTY : Win32ErrorOf(errno, lpPathName));
  }
  return TRUE;
}
