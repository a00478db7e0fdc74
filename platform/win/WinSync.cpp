// Named mutexes over lock files. How a lock is taken: the lock file is opened (created when
// missing) and flock'ed; when the file at the path is no longer the one locked (its last
// owner removed it while giving it up), the lock is taken again on the new one. Giving up
// the last acquisition removes the file while still holding it, so lock files do not pile
// up and nobody can lock a file that is no longer at the path.
#include "platform/win/WinSync.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/win/WinFile.h"
#include "platform/win/WinHandle.h"
#include "platform/win/WinSystem.h"

namespace {

constexpr size_t kMaxNameLength = 200;
// How often a wait looks at a held lock again.
constexpr DWORD kPollMilliseconds = 20;

// The mutexes this process owns: name -> lock file descriptor and acquisitions.
struct Owned {
  int fd = -1;
  int nCount = 0;
};
std::mutex g_OwnedLock;
std::map<std::string, Owned>& OwnedMutexes() {
  static std::map<std::string, Owned> owned;
  return owned;
}

bool ValidName(const char* szName) {
  if (szName == nullptr || szName[0] == '\0') return false;
  size_t nLen = 0;
  for (const char* p = szName; *p != '\0'; ++p, ++nLen) {
    const char c = *p;
    const bool bOk = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '.' || c == '-' || c == '_';
    if (!bOk || nLen >= kMaxNameLength) return false;
  }
  return szName[0] != '.';
}

// Whether the folder is the user's own and nobody else may add, remove or rename entries in
// it: a lock file that another user can make or remove first is no lock.
bool PrivateFolder(const std::string& strFolder) {
  struct stat st {};
  return ::lstat(strFolder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & 0022) == 0;
}

// Makes the folder and those missing on the way to it, each only for the user.
void MakeFolders(const std::string& strFolder) {
  for (size_t nSlash = strFolder.find('/', 1);; nSlash = strFolder.find('/', nSlash + 1)) {
    ::mkdir(strFolder.substr(0, nSlash).c_str(), 0700);
    if (nSlash == std::string::npos) break;
  }
}

// The user's lock folder, made when missing; empty when it is not safe to use. The runtime
// folder the session gives the user comes first; else a folder in the user's own data folder.
// A shared folder such as /tmp is never used: any user could take the name first.
std::string LockFolder() {
  // Runs without a session (from cron) find the session's folder where the system makes it,
  // so that they meet the same locks.
  const char* szRuntime = std::getenv("XDG_RUNTIME_DIR");
  const std::string strRuntime = szRuntime != nullptr && szRuntime[0] == '/'
                                     ? std::string(szRuntime)
                                     : "/run/user/" + std::to_string(::geteuid());
  std::string strParent;
  if (PrivateFolder(strRuntime)) {
    strParent = strRuntime;
  } else {
    const char* szDataHome = std::getenv("XDG_DATA_HOME");
    const char* szHome = std::getenv("HOME");
    if (szDataHome != nullptr && szDataHome[0] == '/') {
      strParent = szDataHome;
    } else if (szHome != nullptr && szHome[0] == '/') {
      strParent = std::string(szHome) + "/.local/share";
    } else {
      return std::string();
    }
    MakeFolders(strParent);
    if (!PrivateFolder(strParent)) return std::string();
  }
  const std::string strFolder = strParent + "/daybridge-locks";
  ::mkdir(strFolder.c_str(), 0700);
  struct stat st {};
  if (!PrivateFolder(strFolder) || ::lstat(strFolder.c_str(), &st) != 0 ||
      (st.st_mode & 0077) != 0) {
    return std::string();
  }
  return strFolder;
}

// One try at the lock file; the descriptor holding it, -1 when another process holds it
// (errno EWOULDBLOCK) or on failure.
int TryLockFile(const std::string& strPath) {
  for (;;) {
    const int fd = ::open(strPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int nErr = errno;
      ::close(fd);
      errno = nErr;
      return -1;
    }
    struct stat stHeld {};
    struct stat stNow {};
    if (::fstat(fd, &stHeld) == 0 && ::stat(strPath.c_str(), &stNow) == 0 &&
        stHeld.st_dev == stNow.st_dev && stHeld.st_ino == stNow.st_ino) {
      return fd;
    }
    ::close(fd);  // removed by its last owner meanwhile: lock the new one
  }
}

class MutexState : public CxHandleExtra {
 public:
  explicit MutexState(std::string strName) : m_strName(std::move(strName)) {}
  ~MutexState() override {
    while (m_nCount > 0) Release();
  }

  DWORD Acquire(DWORD dwMilliseconds) {
    const std::string strFolder = LockFolder();
    if (strFolder.empty()) {
      SetLastError(ERROR_ACCESS_DENIED);
      return WAIT_FAILED;
    }
    const std::string strPath = strFolder + "/" + m_strName + ".lock";
    DWORD nWaited = 0;
    for (;;) {
      {
        std::lock_guard<std::mutex> guard(g_OwnedLock);
        Owned& owned = OwnedMutexes()[m_strName];
        if (owned.nCount == 0) owned.fd = TryLockFile(strPath);
        const int nErr = errno;
        if (owned.fd >= 0) {
          ++owned.nCount;
          ++m_nCount;
          return WAIT_OBJECT_0;
        }
        OwnedMutexes().erase(m_strName);
        if (nErr != EWOULDBLOCK) {
          SetLastError(CxWin32ErrorOfErrno(nErr));
          return WAIT_FAILED;
        }
      }
      if (dwMilliseconds != INFINITE && nWaited >= dwMilliseconds) return WAIT_TIMEOUT;
      Sleep(kPollMilliseconds);
      nWaited += kPollMilliseconds;
    }
  }

  bool Release() {
    if (m_nCount == 0) return false;
    std::lock_guard<std::mutex> guard(g_OwnedLock);
    auto it = OwnedMutexes().find(m_strName);
    --m_nCount;
    if (it == OwnedMutexes().end()) return true;
    if (--it->second.nCount == 0) {
      const std::string strFolder = LockFolder();
      if (!strFolder.empty()) ::unlink((strFolder + "/" + m_strName + ".lock").c_str());
      ::close(it->second.fd);
      OwnedMutexes().erase(it);
    }
    return true;
  }

 private:
  std::string m_strName;
  int m_nCount = 0;
};

}  // namespace

HANDLE CreateMutex(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName) {
  if (!ValidName(lpName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HANDLE hMutex = CxAdoptDescriptor(-1, false, false, std::make_unique<MutexState>(lpName));
  if (bInitialOwner) WaitForSingleObject(hMutex, 0);
  SetLastError(ERROR_SUCCESS);
  return hMutex;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  auto* pState = dynamic_cast<MutexState*>(CxExtraOf(hHandle));
  if (pState == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return pState->Acquire(dwMilliseconds);
}

BOOL ReleaseMutex(HANDLE hMutex) {
  auto* pState = dynamic_cast<MutexState*>(CxExtraOf(hMutex));
  if (pState == nullptr || !pState->Release()) {
    SetLastError(pState == nullptr ? ERROR_INVALID_HANDLE : ERROR_NOT_OWNER);
    return FALSE;
  }
  return TRUE;
}
