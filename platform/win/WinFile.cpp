// Win32 file handles over POSIX descriptors. A handle is a heap object known to a registry of
// live handles, so a stale or foreign handle fails with ERROR_INVALID_HANDLE instead of
// touching memory. Sharing uses flock: it conflicts between separate opens of the same file
// even inside one process, which is what Windows share modes do.
#include "platform/win/WinFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>

#include "platform/win/WinHandle.h"
#include "platform/win/WinOs.h"
#include "platform/win/WinSystem.h"

namespace {

struct FileHandle {
  int fd;  // -1 for a handle that is not a file (a mutex)
  bool bRead;
  bool bWrite;
  std::unique_ptr<CxHandleExtra> pExtra;
};

std::mutex g_HandleLock;
std::unordered_set<FileHandle*>& LiveHandles() {
  static std::unordered_set<FileHandle*> handles;
  return handles;
}

// Bytes WriteFile may still write before it reports the disk full; negative = no limit.
std::atomic<long long> g_nWriteBudget{-1};

FileHandle* Lookup(HANDLE hFile) {
  if (hFile == nullptr || hFile == INVALID_HANDLE_VALUE) return nullptr;
  std::lock_guard<std::mutex> guard(g_HandleLock);
  auto* pHandle = static_cast<FileHandle*>(hFile);
  return LiveHandles().count(pHandle) ? pHandle : nullptr;
}

DWORD ErrorFromErrno(int nErr) {
  switch (nErr) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case ELOOP:
      return ERROR_PATH_NOT_FOUND;
    case EWOULDBLOCK:
      return ERROR_SHARING_VIOLATION;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    default:
      return ERROR_INVALID_PARAMETER;
  }
}

bool ParentFolderExists(const char* szPath) {
  std::string strFolder(szPath);
  const size_t nSlash = strFolder.find_last_of('/');
  if (nSlash == std::string::npos) return true;  // the current folder
  strFolder.resize(nSlash == 0 ? 1 : nSlash);
  struct stat st {};
  return ::stat(strFolder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

HANDLE Fail(DWORD dwError) {
  SetLastError(dwError);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

HANDLE CreateFile(LPCSTR szFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                  LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                  DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
  if (szFileName == nullptr || szFileName[0] == '\0') return Fail(ERROR_PATH_NOT_FOUND);
  const bool bRead = (dwDesiredAccess & GENERIC_READ) != 0;
  const bool bWrite = (dwDesiredAccess & GENERIC_WRITE) != 0;
  int nFlags = O_CLOEXEC;
  if (bRead && bWrite) {
    nFlags |= O_RDWR;
  } else if (bWrite) {
    nFlags |= O_WRONLY;
  } else {
    nFlags |= O_RDONLY;
  }
  // Truncation waits until the lock is held: a file that someone else holds must come out
  // of a refused open exactly as it was.
  bool bTruncate = false;
  switch (dwCreationDisposition) {
    case CREATE_NEW:
      nFlags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      nFlags |= O_CREAT;
      bTruncate = true;
      break;
    case OPEN_EXISTING:
      break;
    case OPEN_ALWAYS:
      nFlags |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      if (!bWrite) return Fail(ERROR_INVALID_PARAMETER);
      bTruncate = true;
      break;
    default:
      return Fail(ERROR_INVALID_PARAMETER);
  }
  if (bTruncate && !bWrite) {
    // POSIX cannot truncate through a read-only descriptor; Windows allows CREATE_ALWAYS with
    // read access, so such an open gets write rights at the descriptor level only.
    nFlags = (nFlags & ~O_ACCMODE) | O_RDWR;
  }

  struct stat st {};
  const bool bExisted = ::stat(szFileName, &st) == 0;
  if (bExisted && S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);

  // A pipe or a device at a file's name would hang the open or never end; opening without
  // waiting lets it be seen and refused.
  const int fd = CxOsOpen(szFileName, nFlags | O_NONBLOCK, 0666);
  if (fd < 0) {
    const int nErr = errno;
    // Windows tells a missing folder on the way from a missing file.
    if (nErr == ENOENT && !ParentFolderExists(szFileName)) return Fail(ERROR_PATH_NOT_FOUND);
    return Fail(nErr == ENXIO ? ERROR_ACCESS_DENIED : ErrorFromErrno(nErr));
  }
  struct stat stOpen {};
  if (::fstat(fd, &stOpen) != 0 || !S_ISREG(stOpen.st_mode) ||
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    CxOsClose(fd);
    return Fail(ERROR_ACCESS_DENIED);
  }

  if (!CxOsLock(fd, (dwShareMode == 0 ? LOCK_EX : LOCK_SH) | LOCK_NB)) {
    const int nErr = errno;
    CxOsClose(fd);
    return Fail(nErr == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : ErrorFromErrno(nErr));
  }
  if (bTruncate && !CxOsTruncate(fd, 0)) {
    const int nErr = errno;
    CxOsClose(fd);
    return Fail(ErrorFromErrno(nErr));
  }

  HANDLE hFile = CxAdoptDescriptor(fd, bRead, bWrite, nullptr);
  const bool bReportExisting =
      bExisted && (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS);
  SetLastError(bReportExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return hFile;
}

HANDLE CxAdoptDescriptor(int fd, bool bRead, bool bWrite, std::unique_ptr<CxHandleExtra> pExtra) {
  auto* pHandle = new FileHandle{fd, bRead, bWrite, std::move(pExtra)};
  std::lock_guard<std::mutex> guard(g_HandleLock);
  LiveHandles().insert(pHandle);
  return pHandle;
}

DWORD CxWin32ErrorOfErrno(int nErrno) {
  return ErrorFromErrno(nErrno);
}

int CxDescriptorOf(HANDLE hHandle) {
  FileHandle* pHandle = Lookup(hHandle);
  return pHandle != nullptr ? pHandle->fd : -1;
}

CxHandleExtra* CxExtraOf(HANDLE hHandle) {
  FileHandle* pHandle = Lookup(hHandle);
  return pHandle != nullptr ? pHandle->pExtra.get() : nullptr;
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
  FileHandle* pHandle = Lookup(hFile);
  if (pHandle == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!pHandle->bRead || lpOverlapped != nullptr ||
      (lpBuffer == nullptr && nNumberOfBytesToRead > 0)) {
    SetLastError(pHandle->bRead ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD nDone = 0;
  auto* pBytes = static_cast<BYTE*>(lpBuffer);
  while (nDone < nNumberOfBytesToRead) {
    const ssize_t nGot = CxOsRead(pHandle->fd, pBytes + nDone, nNumberOfBytesToRead - nDone);
    if (nGot < 0) {
      if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = nDone;
      SetLastError(ERROR_READ_FAULT);
      return FALSE;
    }
    if (nGot == 0) break;
    nDone += static_cast<DWORD>(nGot);
  }
  if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = nDone;
  return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
  FileHandle* pHandle = Lookup(hFile);
  if (pHandle == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!pHandle->bWrite || lpOverlapped != nullptr ||
      (lpBuffer == nullptr && nNumberOfBytesToWrite > 0)) {
    SetLastError(pHandle->bWrite ? ERROR_INVALID_PARAMETER : ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD nAllowed = nNumberOfBytesToWrite;
  bool bDiskFull = false;
  long long nBudget = g_nWriteBudget.load();
  while (nBudget >= 0) {
    const long long nTake =
        nBudget < static_cast<long long>(nAllowed) ? nBudget : static_cast<long long>(nAllowed);
    if (g_nWriteBudget.compare_exchange_weak(nBudget, nBudget - nTake)) {
      bDiskFull = nTake < static_cast<long long>(nAllowed);
      nAllowed = static_cast<DWORD>(nTake);
      break;
    }
  }
  size_t nDone = 0;
  const bool bWritten = CxOsWriteAll(pHandle->fd, lpBuffer, nAllowed, &nDone);
  if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = static_cast<DWORD>(nDone);
  if (!bWritten) {
    SetLastError(ErrorFromErrno(errno) == ERROR_DISK_FULL ? ERROR_DISK_FULL : ERROR_WRITE_FAULT);
    return FALSE;
  }
  if (bDiskFull) {
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  return TRUE;
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                     DWORD dwMoveMethod) {
  FileHandle* pHandle = Lookup(hFile);
  if (pHandle == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  // Without a high part the distance is a signed 32-bit value; with one, the two halves form
  // a signed 64-bit distance.
  long long nDistance = lDistanceToMove;
  if (lpDistanceToMoveHigh != nullptr) {
    nDistance = static_cast<long long>(
        (static_cast<unsigned long long>(static_cast<ULONG>(*lpDistanceToMoveHigh)) << 32) |
        static_cast<ULONG>(lDistanceToMove));
  }
  int nWhence;
  switch (dwMoveMethod) {
    case FILE_BEGIN:
      nWhence = SEEK_SET;
      break;
    case FILE_CURRENT:
      nWhence = SEEK_CUR;
      break;
    case FILE_END:
      nWhence = SEEK_END;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_SET_FILE_POINTER;
  }
  const off_t nNew = ::lseek(pHandle->fd, static_cast<off_t>(nDistance), nWhence);
  if (nNew < 0) {
    SetLastError(errno == EINVAL ? ERROR_NEGATIVE_SEEK : ErrorFromErrno(errno));
    return INVALID_SET_FILE_POINTER;
  }
  const auto nPos = static_cast<unsigned long long>(nNew);
  if (lpDistanceToMoveHigh != nullptr) *lpDistanceToMoveHigh = static_cast<LONG>(nPos >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(nPos & 0xFFFFFFFFULL);
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  FileHandle* pHandle = Lookup(hFile);
  if (pHandle == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  struct stat st {};
  if (::fstat(pHandle->fd, &st) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_FILE_SIZE;
  }
  const auto nSize = static_cast<unsigned long long>(st.st_size);
  if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = static_cast<DWORD>(nSize >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(nSize & 0xFFFFFFFFULL);
}

BOOL FlushFileBuffers(HANDLE hFile) {
  FileHandle* pHandle = Lookup(hFile);
  if (pHandle == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!pHandle->bWrite) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!CxOsSync(pHandle->fd)) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL SetEndOfFile(HANDLE hFile) {
  FileHandle* pHandle = Lookup(hFile);
  if (pHandle == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!pHandle->bWrite) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const off_t nPos = ::lseek(pHandle->fd, 0, SEEK_CUR);
  if (nPos < 0 || !CxOsTruncate(pHandle->fd, nPos)) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL CloseHandle(HANDLE hObject) {
  FileHandle* pHandle = nullptr;
  {
    std::lock_guard<std::mutex> guard(g_HandleLock);
    auto* pCandidate = static_cast<FileHandle*>(hObject);
    if (hObject != nullptr && hObject != INVALID_HANDLE_VALUE && LiveHandles().erase(pCandidate)) {
      pHandle = pCandidate;
    }
  }
  if (pHandle == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // What the handle carries besides its descriptor goes first: it may still need the
  // descriptor (a replacement removes its temporary file, a mutex its lock file).
  pHandle->pExtra.reset();
  // Closing the descriptor drops its flock lock as well.
  const int nResult = pHandle->fd >= 0 ? CxOsClose(pHandle->fd) : 0;
  delete pHandle;
  if (nResult != 0 && errno != EINTR) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL CxReadWholeFile(LPCSTR szFileName, size_t nMaxBytes, std::string* pstrData) {
  pstrData->clear();
  HANDLE hFile = CreateFile(szFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return FALSE;
  DWORD nHigh = 0;
  const DWORD nLow = GetFileSize(hFile, &nHigh);
  const unsigned long long nSize = (static_cast<unsigned long long>(nHigh) << 32) | nLow;
  // ReadFile counts in 32 bits, and one byte more is asked for than the size.
  if ((nLow == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) || nSize > nMaxBytes ||
      nSize >= 0xFFFFFFFFull) {
    CloseHandle(hFile);
    SetLastError(ERROR_FILE_TOO_LARGE);
    return FALSE;
  }
  // One byte more than allowed tells a file that grew meanwhile.
  pstrData->resize(static_cast<size_t>(nSize) + 1);
  DWORD nGot = 0;
  const BOOL bRead =
      ReadFile(hFile, pstrData->data(), static_cast<DWORD>(pstrData->size()), &nGot, nullptr);
  const DWORD dwError = GetLastError();
  CloseHandle(hFile);
  if (!bRead || nGot > nMaxBytes) {
    pstrData->clear();
    SetLastError(bRead ? ERROR_FILE_TOO_LARGE : dwError);
    return FALSE;
  }
  pstrData->resize(nGot);
  return TRUE;
}

void CxSetWriteFailAfter(long long nBytes) {
  g_nWriteBudget.store(nBytes < 0 ? -1 : nBytes);
}
