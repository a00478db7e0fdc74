// The file layer over POSIX. Each operation first asks the fault plan whether it may run;
// the plan and its counters sit behind one lock, which costs nothing next to a system call.
#include "platform/win/WinOs.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

struct FaultState {
  std::mutex lock;
  bool bPlanned = false;
  CX_OS_FAULT_PLAN plan;
  long counts[CX_OS_KIND_COUNT + 1] = {};
  bool bCrashed = false;
};

FaultState& Faults() {
  static FaultState state;
  return state;
}

// Counts the operation and says whether it may run; when not, errno says why.
bool MayRun(CX_OS_KIND nKind) {
  FaultState& state = Faults();
  std::lock_guard<std::mutex> guard(state.lock);
  const long nOfKind = ++state.counts[nKind];
  const long nAny = ++state.counts[CX_OS_ANY];
  if (state.bCrashed) {
    errno = EIO;
    return false;
  }
  if (!state.bPlanned) return true;
  const long nNumber = state.plan.nKind == CX_OS_ANY ? nAny : nOfKind;
  if ((state.plan.nKind != CX_OS_ANY && state.plan.nKind != nKind) || nNumber != state.plan.nNth) {
    return true;
  }
  if (state.plan.bCrash) {
    state.bCrashed = true;
    errno = EIO;
  } else {
    errno = state.plan.nErrno;
  }
  return false;
}

template <typename Call>
auto Retried(Call call) {
  for (;;) {
    auto nResult = call();
    if (nResult >= 0 || errno != EINTR) return nResult;
  }
}

}  // namespace

void CxOsSetFaultPlan(const CX_OS_FAULT_PLAN* pPlan) {
  FaultState& state = Faults();
  std::lock_guard<std::mutex> guard(state.lock);
  state.bPlanned = pPlan != nullptr;
  state.plan = pPlan != nullptr ? *pPlan : CX_OS_FAULT_PLAN();
  for (long& nCount : state.counts) nCount = 0;
  state.bCrashed = false;
}

long CxOsOperationCount(int nKind) {
  FaultState& state = Faults();
  std::lock_guard<std::mutex> guard(state.lock);
  return nKind >= 0 && nKind <= CX_OS_ANY ? state.counts[nKind] : 0;
}

bool CxOsFaultPlanned() {
  FaultState& state = Faults();
  std::lock_guard<std::mutex> guard(state.lock);
  return state.bPlanned;
}

bool CxOsCrashed() {
  FaultState& state = Faults();
  std::lock_guard<std::mutex> guard(state.lock);
  return state.bCrashed;
}

bool CxOsMayRun(int nKind) {
  if (nKind < 0 || nKind >= CX_OS_KIND_COUNT) return true;
  return MayRun(static_cast<CX_OS_KIND>(nKind));
}

int CxOsOpen(const char* szPath, int nFlags, mode_t nMode) {
  if (!MayRun(CX_OS_OPEN)) return -1;
  return Retried([&] { return ::open(szPath, nFlags | O_CLOEXEC, nMode); });
}

int CxOsOpenAt(int nDirFd, const char* szName, int nFlags) {
  if (!MayRun(CX_OS_OPEN)) return -1;
  return Retried([&] { return ::openat(nDirFd, szName, nFlags | O_CLOEXEC); });
}

int CxOsClose(int fd) {
  return ::close(fd);
}

ssize_t CxOsRead(int fd, void* pBuffer, size_t nSize) {
  if (!MayRun(CX_OS_READ)) return -1;
  return Retried([&] { return ::read(fd, pBuffer, nSize); });
}

ssize_t CxOsReadAt(int fd, void* pBuffer, size_t nSize, off_t nOffset) {
  if (!MayRun(CX_OS_READ)) return -1;
  return Retried([&] { return ::pread(fd, pBuffer, nSize, nOffset); });
}

bool CxOsWriteAll(int fd, const void* pData, size_t nSize, size_t* pnDone) {
  if (pnDone != nullptr) *pnDone = 0;
  if (!MayRun(CX_OS_WRITE)) return false;
  const auto* pBytes = static_cast<const char*>(pData);
  size_t nDone = 0;
  while (nDone < nSize) {
    const ssize_t nPut = ::write(fd, pBytes + nDone, nSize - nDone);
    if (nPut < 0 && errno == EINTR) continue;
    if (nPut <= 0) {
      if (nPut == 0) errno = ENOSPC;
      if (pnDone != nullptr) *pnDone = nDone;
      return false;
    }
    nDone += static_cast<size_t>(nPut);
  }
  if (pnDone != nullptr) *pnDone = nDone;
  return true;
}

bool CxOsTruncate(int fd, off_t nLength) {
  if (!MayRun(CX_OS_TRUNCATE)) return false;
  return Retried([&] { return ::ftruncate(fd, nLength); }) == 0;
}

bool CxOsSync(int fd, bool bDataOnly) {
  if (!MayRun(CX_OS_SYNC)) return false;
  return (bDataOnly ? ::fdatasync(fd) : ::fsync(fd)) == 0;
}

bool CxOsSyncFolderOf(const std::string& strPath) {
  if (!MayRun(CX_OS_SYNC_FOLDER)) return false;
  const int fd = ::open(CxOsFolderOf(strPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;
  const bool bSynced = ::fsync(fd) == 0;
  ::close(fd);
  return bSynced;
}

bool CxOsRename(const char* szFrom, const char* szTo, bool bNoReplace) {
  if (!MayRun(CX_OS_RENAME)) return false;
  if (!bNoReplace) return ::rename(szFrom, szTo) == 0;
  if (::renameat2(AT_FDCWD, szFrom, AT_FDCWD, szTo, RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
  struct stat st {};
  if (::lstat(szFrom, &st) == 0 && !S_ISDIR(st.st_mode)) {
    if (::link(szFrom, szTo) == 0) return ::unlink(szFrom) == 0;
    if (errno == EEXIST) return false;
  }
  if (::lstat(szTo, &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::rename(szFrom, szTo) == 0;
}

bool CxOsRemove(const char* szPath) {
  if (!MayRun(CX_OS_REMOVE)) return false;
  return ::unlink(szPath) == 0;
}

bool CxOsRemoveAt(int nDirFd, const char* szName) {
  if (!MayRun(CX_OS_REMOVE)) return false;
  return ::unlinkat(nDirFd, szName, 0) == 0;
}

bool CxOsLock(int fd, int nOperation) {
  if (!MayRun(CX_OS_LOCK)) return false;
  return Retried([&] { return ::flock(fd, nOperation); }) == 0;
}

bool CxOsSetMode(int fd, mode_t nMode) {
  if (!MayRun(CX_OS_MODE)) return false;
  return ::fchmod(fd, nMode) == 0;
}

bool CxOsSetOwner(int fd, uid_t nUid, gid_t nGid) {
  if (!MayRun(CX_OS_MODE)) return false;
  return ::fchown(fd, nUid, nGid) == 0;
}

std::string CxOsFolderOf(const std::string& strPath) {
  const size_t nSlash = strPath.find_last_of('/');
  if (nSlash == std::string::npos) return ".";
  if (nSlash == 0) return "/";
  return strPath.substr(0, nSlash);
}

std::string CxOsNameOf(const std::string& strPath) {
  const size_t nSlash = strPath.find_last_of('/');
  return nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
}

std::string CxOsHex(const unsigned char* pBytes, size_t nCount) {
  static const char kDigits[] = "0123456789abcdef";
  std::string strOut;
  strOut.reserve(nCount * 2);
  for (size_t i = 0; i < nCount; ++i) {
    strOut.push_back(kDigits[pBytes[i] >> 4]);
    strOut.push_back(kDigits[pBytes[i] & 0x0F]);
  }
  return strOut;
}

std::string CxOsRandomHex(size_t nBytes) {
  std::vector<unsigned char> bytes(nBytes);
  size_t nGot = 0;
  while (nGot < nBytes) {
    const ssize_t n = ::getrandom(bytes.data() + nGot, nBytes - nGot, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    nGot += static_cast<size_t>(n);
  }
  return CxOsHex(bytes.data(), bytes.size());
}
