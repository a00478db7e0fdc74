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

#include "platform/win/WinSystem.h"

namespace {

constexpr size_t kCopyChunk = 64 * 1024;
// Seconds from 1601-01-01 (the FILETIME base) to 1970-01-01.
constexpr uint64_t kFileTimeUnixOffset = 11644473600ull;

std::string ParentOf(const char* szPath) {
  std::string strPath(szPath);
  const size_t nSlash = strPath.find_last_of('/');
  if (nSlash == std::string::npos) return ".";
  if (nSlash == 0) return "/";
  return strPath.substr(0, nSlash);
}

bool IsDirectory(const std::string& strPath) {
  struct stat st {};
  return stat(strPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Windows tells a missing file in an existing folder (FILE_NOT_FOUND) from a missing
// folder (PATH_NOT_FOUND); callers that create folders on demand rely on the difference.
DWORD Win32ErrorOf(int nErrno, const char* szPath) {
  switch (nErrno) {
    case ENOENT:
      return szPath != nullptr && IsDirectory(ParentOf(szPath)) ? ERROR_FILE_NOT_FOUND
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

bool WriteAll(int fd, const char* pData, size_t nLength) {
  while (nLength > 0) {
    const ssize_t nWritten = write(fd, pData, nLength);
    if (nWritten < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    pData += nWritten;
    nLength -= static_cast<size_t>(nWritten);
  }
  return true;
}

void SyncFolderOf(const char* szPath) {
  const int fd = open(ParentOf(szPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

// Renames without replacing: an existing target gives EEXIST. File systems without
// RENAME_NOREPLACE fall back to a hard link, and failing that to a test before the rename.
int RenameNoReplace(const char* szFrom, const char* szTo) {
  if (renameat2(AT_FDCWD, szFrom, AT_FDCWD, szTo, RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
  struct stat st {};
  if (lstat(szFrom, &st) == 0 && !S_ISDIR(st.st_mode)) {
    if (link(szFrom, szTo) == 0) return unlink(szFrom);
    if (errno == EEXIST) return -1;
  }
  if (lstat(szTo, &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  return rename(szFrom, szTo);
}

uint64_t FileTimeOf(const struct timespec& ts) {
  return (static_cast<uint64_t>(ts.tv_sec) + kFileTimeUnixOffset) * 10000000ull +
         static_cast<uint64_t>(ts.tv_nsec) / 100u;
}

void SetFileTime(FILETIME* pft, const struct timespec& ts) {
  const uint64_t nValue = FileTimeOf(ts);
  pft->dwLowDateTime = static_cast<DWORD>(nValue);
  pft->dwHighDateTime = static_cast<DWORD>(nValue >> 32);
}

DWORD AttributesOf(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  return (st.st_mode & S_IWUSR) == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

}  // namespace

BOOL CopyFile(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
  if (IsEmptyPath(lpExistingFileName) || IsEmptyPath(lpNewFileName)) {
    return Fail(ERROR_PATH_NOT_FOUND);
  }
  const int fdIn = open(lpExistingFileName, O_RDONLY | O_CLOEXEC);
  if (fdIn < 0) return FailErrno(lpExistingFileName);
  struct stat stIn {};
  if (fstat(fdIn, &stIn) != 0 || S_ISDIR(stIn.st_mode)) {
    close(fdIn);
    return Fail(ERROR_ACCESS_DENIED);
  }
  struct stat stOut {};
  if (bFailIfExists && lstat(lpNewFileName, &stOut) == 0) {
    close(fdIn);
    return Fail(ERROR_FILE_EXISTS);
  }

  std::string strTempPath = std::string(lpNewFileName) + ".XXXXXX";
  const int fdOut = mkostemp(strTempPath.data(), O_CLOEXEC);
  if (fdOut < 0) {
    const DWORD dwError = Win32ErrorOf(errno, lpNewFileName);
    close(fdIn);
    return Fail(dwError);
  }
  bool bOk = true;
  std::string strChunk(kCopyChunk, '\0');
  for (;;) {
    const ssize_t nRead = read(fdIn, strChunk.data(), strChunk.size());
    if (nRead < 0 && errno == EINTR) continue;
    if (nRead <= 0) {
      bOk = nRead == 0;
      break;
    }
    if (!WriteAll(fdOut, strChunk.data(), static_cast<size_t>(nRead))) {
      bOk = false;
      break;
    }
  }
  DWORD dwError = bOk ? ERROR_SUCCESS : Win32ErrorOf(errno, lpNewFileName);
  close(fdIn);
  if (bOk && (fchmod(fdOut, stIn.st_mode & 07777) != 0 || fsync(fdOut) != 0)) {
    bOk = false;
    dwError = Win32ErrorOf(errno, lpNewFileName);
  }
  if (close(fdOut) != 0 && bOk) {
    bOk = false;
    dwError = Win32ErrorOf(errno, lpNewFileName);
  }
  if (bOk) {
    const int nResult = bFailIfExists ? RenameNoReplace(strTempPath.c_str(), lpNewFileName)
                                      : rename(strTempPath.c_str(), lpNewFileName);
    if (nResult != 0) {
      bOk = false;
      dwError = errno == EEXIST ? ERROR_FILE_EXISTS : Win32ErrorOf(errno, lpNewFileName);
    }
  }
  if (!bOk) {
    unlink(strTempPath.c_str());
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
  const int nResult = bReplace ? rename(lpExistingFileName, lpNewFileName)
                               : RenameNoReplace(lpExistingFileName, lpNewFileName);
  if (nResult != 0) {
    if (errno != EXDEV || (dwFlags & MOVEFILE_COPY_ALLOWED) == 0 || S_ISDIR(stSource.st_mode)) {
      // The source was there a moment ago, so a missing path is the target's folder.
      return FailErrno(lpNewFileName);
    }
    if (!CopyFile(lpExistingFileName, lpNewFileName, bReplace ? FALSE : TRUE)) return FALSE;
    if (unlink(lpExistingFileName) != 0) return FailErrno(lpExistingFileName);
  }
  if ((dwFlags & MOVEFILE_WRITE_THROUGH) != 0) SyncFolderOf(lpNewFileName);
  return TRUE;
}

BOOL MoveFile(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
  return MoveFileEx(lpExistingFileName, lpNewFileName, 0);
}

BOOL DeleteFile(LPCSTR lpFileName) {
  if (IsEmptyPath(lpFileName)) return Fail(ERROR_PATH_NOT_FOUND);
  struct stat st {};
  if (lstat(lpFileName, &st) == 0 && S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  if (unlink(lpFileName) != 0) return FailErrno(lpFileName);
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
  SetFileTime(&pData->ftCreationTime, st.st_ctim);
  SetFileTime(&pData->ftLastAccessTime, st.st_atim);
  SetFileTime(&pData->ftLastWriteTime, st.st_mtim);
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
