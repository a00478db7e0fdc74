// Safe replacement of a user's file over POSIX. How a replacement works:
//  1. the target is resolved: links are followed one by one (at most kMaxLinkHops) to the
//     file they name, and that file's folder is made absolute;
//  2. temporaries of ours in that folder whose writer is gone (none holds their lock) are
//     removed;
//  3. a temporary file is created there with O_EXCL and O_NOFOLLOW under a random name, and
//     locked (flock) for as long as it is being written, which is how step 2 of another
//     run tells it from a stale one;
//  4. on commit it is flushed, given the target's mode, owner and group, the target is
//     compared with the expected stamp, and the temporary file is renamed over the target;
//     the folder is flushed so the rename survives a power cut.
#include "platform/win/WinReplace.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/win/WinFile.h"
#include "platform/win/WinHandle.h"
#include "platform/win/WinOs.h"
#include "platform/win/WinSystem.h"

namespace {

// A chain of links longer than this is a loop (the system's own limit is 40).
constexpr int kMaxLinkHops = 40;
// Names tried before giving up on creating a temporary file.
constexpr int kMaxTempAttempts = 16;
// Temporary files are ".<target name>.~db<16 hex digits>".
const char kTempMarker[] = ".~db";
constexpr size_t kTempRandomDigits = 16;
// Stamps hash the file in chunks of this size.
constexpr size_t kHashChunk = 64 * 1024;

struct ReplacementState : public CxHandleExtra {
  std::string strTemp;
  std::string strTarget;
  std::string strModel;  // the file whose mode, owner and group the new one takes
  bool bDone = false;
  ~ReplacementState() override {
    if (!bDone) CxOsRemove(strTemp.c_str());
  }
};

BOOL Fail(DWORD dwError) {
  SetLastError(dwError);
  return FALSE;
}

// The name joined to its folder. Built by appending: GCC's -Wrestrict misfires on a literal
// added to a string in optimized builds.
std::string JoinPath(const std::string& strFolder, const std::string& strName) {
  std::string strPath = strFolder;
  if (strPath.empty() || strPath.back() != '/') strPath.push_back('/');
  strPath.append(strName);
  return strPath;
}

// The path with its folder made absolute (links in the folder followed, not the name's own).
// An errno value on failure, 0 on success.
int AbsoluteFolder(const std::string& strPath, std::string* pstrOut) {
  char szFolder[PATH_MAX];
  if (::realpath(CxOsFolderOf(strPath).c_str(), szFolder) == nullptr) return errno;
  const std::string strName = CxOsNameOf(strPath);
  if (strName.empty() || strName == "." || strName == "..") return EISDIR;
  *pstrOut = JoinPath(szFolder, strName);
  return 0;
}

// Follows links to the file the path names and makes its folder absolute. An errno value
// on failure, 0 on success.
int Resolve(const char* szPath, std::string* pstrOut) {
  std::string strPath(szPath);
  for (int nHop = 0;; ++nHop) {
    struct stat st {};
    if (::lstat(strPath.c_str(), &st) != 0) {
      if (errno != ENOENT) return errno;
      break;  // a file yet to be made, or a link naming one
    }
    if (!S_ISLNK(st.st_mode)) break;
    if (nHop >= kMaxLinkHops) return ELOOP;
    std::vector<char> link(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    const ssize_t nLen = ::readlink(strPath.c_str(), link.data(), link.size());
    if (nLen < 0) return errno;
    if (static_cast<size_t>(nLen) >= link.size()) return ENAMETOOLONG;
    std::string strLink(link.data(), static_cast<size_t>(nLen));
    strPath = strLink[0] == '/' ? strLink : JoinPath(CxOsFolderOf(strPath), strLink);
  }
  return AbsoluteFolder(strPath, pstrOut);
}

// The absolute path of the name itself, whatever is at it: only the folder is resolved.
int ResolveName(const char* szPath, std::string* pstrOut) {
  return AbsoluteFolder(szPath, pstrOut);
}

// Mixes the file's bytes into four independent 64-bit lanes, eight bytes a step, so hashing
// runs at the speed of reading the page cache; the lanes and the length are folded at the end.
class ContentHash {
 public:
  void Add(const unsigned char* pBytes, size_t nCount) {
    m_nLength += nCount;
    while (nCount > 0) {
      const size_t nTake =
          nCount < sizeof(m_Pending) - m_nPending ? nCount : sizeof(m_Pending) - m_nPending;
      std::memcpy(m_Pending + m_nPending, pBytes, nTake);
      m_nPending += nTake;
      pBytes += nTake;
      nCount -= nTake;
      if (m_nPending == sizeof(m_Pending)) MixPending();
    }
  }
  unsigned long long Finish() {
    if (m_nPending > 0) {
      std::memset(m_Pending + m_nPending, 0, sizeof(m_Pending) - m_nPending);
      MixPending();
    }
    unsigned long long nHash = m_nLength * kPrime;
    for (unsigned long long nLane : m_Lanes) nHash = Mix(nHash, nLane);
    return nHash;
  }

 private:
  static constexpr unsigned long long kPrime = 0x9E3779B97F4A7C15ull;
  static unsigned long long Mix(unsigned long long nLane, unsigned long long nWord) {
    nLane ^= nWord;
    nLane = (nLane << 31) | (nLane >> 33);
    return nLane * kPrime;
  }
  void MixPending() {
    for (size_t i = 0; i < 4; ++i) {
      unsigned long long nWord = 0;
      std::memcpy(&nWord, m_Pending + 8 * i, sizeof(nWord));
      m_Lanes[i] = Mix(m_Lanes[i], nWord);
    }
    m_nPending = 0;
  }

  unsigned long long m_Lanes[4] = {1, 2, 3, 4};
  unsigned char m_Pending[32] = {};
  size_t m_nPending = 0;
  unsigned long long m_nLength = 0;
};

bool StampDescriptor(int fd, CX_FILE_STAMP* pStamp) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  ContentHash hash;
  std::vector<unsigned char> chunk(kHashChunk);
  off_t nOffset = 0;
  for (;;) {
    const ssize_t nGot = CxOsReadAt(fd, chunk.data(), chunk.size(), nOffset);
    if (nGot < 0) return false;
    if (nGot == 0) break;
    hash.Add(chunk.data(), static_cast<size_t>(nGot));
    nOffset += nGot;
  }
  pStamp->nSize = static_cast<ULONGLONG>(nOffset);
  pStamp->ftLastWrite = CxFileTimeOf(st.st_mtim);
  pStamp->nContentHash = hash.Finish();
  return true;
}

bool IsOurTemp(const std::string& strEntry, const std::string& strPrefix) {
  if (strEntry.size() != strPrefix.size() + kTempRandomDigits) return false;
  if (strEntry.compare(0, strPrefix.size(), strPrefix) != 0) return false;
  for (size_t i = strPrefix.size(); i < strEntry.size(); ++i) {
    if (std::strchr("0123456789abcdef", strEntry[i]) == nullptr) return false;
  }
  return true;
}

// Removes the temporaries of this target that no live writer holds. Whatever cannot be
// removed is left for a later run: cleaning up never fails a save.
void RemoveStaleTemps(const std::string& strFolder, const std::string& strPrefix) {
  std::unique_ptr<DIR, int (*)(DIR*)> pDir(::opendir(strFolder.c_str()), ::closedir);
  if (!pDir) return;
  const int nDirFd = ::dirfd(pDir.get());
  while (const dirent* pEntry = ::readdir(pDir.get())) {
    const std::string strEntry(pEntry->d_name);
    if (!IsOurTemp(strEntry, strPrefix)) continue;
    const int fd = CxOsOpenAt(nDirFd, strEntry.c_str(), O_RDONLY | O_NOFOLLOW);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        CxOsLock(fd, LOCK_EX | LOCK_NB)) {
      CxOsRemoveAt(nDirFd, strEntry.c_str());
    }
    CxOsClose(fd);
  }
}

}  // namespace

BOOL CxGetFileStamp(HANDLE hFile, CX_FILE_STAMP* pStamp) {
  if (pStamp == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const int fd = CxDescriptorOf(hFile);
  if (fd < 0) return Fail(ERROR_INVALID_HANDLE);
  if (!StampDescriptor(fd, pStamp)) return Fail(CxWin32ErrorOfErrno(errno));
  return TRUE;
}

BOOL CxSameFileStamp(const CX_FILE_STAMP* pA, const CX_FILE_STAMP* pB) {
  if (pA == nullptr || pB == nullptr) return FALSE;
  return pA->nSize == pB->nSize && pA->ftLastWrite.dwLowDateTime == pB->ftLastWrite.dwLowDateTime &&
         pA->ftLastWrite.dwHighDateTime == pB->ftLastWrite.dwHighDateTime &&
         pA->nContentHash == pB->nContentHash;
}

ULONGLONG CxHashContents(LPCVOID pData, size_t nSize) {
  ContentHash hash;
  if (nSize > 0) hash.Add(static_cast<const unsigned char*>(pData), nSize);
  return hash.Finish();
}

DWORD CxResolveFilePath(LPCSTR szPath, LPSTR szResolved, DWORD nSize) {
  if (szPath == nullptr || szPath[0] == '\0' || szResolved == nullptr || nSize == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string strResolved;
  const int nErr = Resolve(szPath, &strResolved);
  if (nErr != 0) {
    SetLastError(nErr == EISDIR ? ERROR_ACCESS_DENIED : CxWin32ErrorOfErrno(nErr));
    return 0;
  }
  if (strResolved.size() >= nSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(szResolved, strResolved.c_str(), strResolved.size() + 1);
  return static_cast<DWORD>(strResolved.size());
}

namespace {

// With strModel empty the target is followed through its links and keeps its own mode;
// otherwise whatever is at the name is replaced and the new file takes strModel's mode.
HANDLE CreateReplacementFor(LPCSTR szTarget, const std::string& strModel) {
  if (szTarget == nullptr || szTarget[0] == '\0') {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::string strTarget;
  int nErr = strModel.empty() ? Resolve(szTarget, &strTarget) : ResolveName(szTarget, &strTarget);
  if (nErr != 0) {
    SetLastError(nErr == EISDIR   ? ERROR_ACCESS_DENIED
                 : nErr == ENOENT ? ERROR_PATH_NOT_FOUND
                                  : CxWin32ErrorOfErrno(nErr));
    return INVALID_HANDLE_VALUE;
  }
  struct stat st {};
  if (strModel.empty() && ::stat(strTarget.c_str(), &st) == 0) {
    // Renaming over a file the user may not write would replace it all the same; Windows
    // refuses to, and so does this.
    if (S_ISDIR(st.st_mode) || ::faccessat(AT_FDCWD, strTarget.c_str(), W_OK, AT_EACCESS) != 0) {
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
  }
  if (!strModel.empty() && ::lstat(strTarget.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  // The new contents are the protected file's: until they get its mode at the commit, nobody
  // else may read them. A file with nothing to copy the mode from gets the usual one.
  struct stat stModel {};
  const bool bModel =
      ::stat(strModel.empty() ? strTarget.c_str() : strModel.c_str(), &stModel) == 0;
  const mode_t nCreateMode = bModel ? 0600 : 0666;
  const std::string strFolder = CxOsFolderOf(strTarget);
  std::string strPrefix(1, '.');
  strPrefix.append(CxOsNameOf(strTarget)).append(kTempMarker);
  RemoveStaleTemps(strFolder, strPrefix);

  int fd = -1;
  std::string strTemp;
  for (int nAttempt = 0; nAttempt < kMaxTempAttempts && fd < 0; ++nAttempt) {
    strTemp = JoinPath(strFolder, strPrefix + CxOsRandomHex(kTempRandomDigits / 2));
    fd = CxOsOpen(strTemp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, nCreateMode);
    nErr = errno;
    if (fd < 0 && nErr != EEXIST && nErr != EINTR) break;
  }
  if (fd < 0) {
    SetLastError(CxWin32ErrorOfErrno(nErr));
    return INVALID_HANDLE_VALUE;
  }
  // Without the lock (a file system that has none) a concurrent save may take the file for
  // a stale one; the write itself does not need it.
  CxOsLock(fd, LOCK_EX | LOCK_NB);
  auto pState = std::make_unique<ReplacementState>();
  pState->strTemp = strTemp;
  pState->strTarget = strTarget;
  pState->strModel = strModel.empty() ? strTarget : strModel;
  SetLastError(ERROR_SUCCESS);
  return CxAdoptDescriptor(fd, true, true, std::move(pState));
}

BOOL WriteAndCommit(HANDLE hFile, LPCVOID pData, size_t nSize, const CX_FILE_STAMP* pExpected,
                    CX_FILE_STAMP* pWritten) {
  if (hFile == INVALID_HANDLE_VALUE) return FALSE;
  const auto* pBytes = static_cast<const BYTE*>(pData);
  size_t nDone = 0;
  while (nDone < nSize) {
    const DWORD nChunk =
        static_cast<DWORD>(nSize - nDone > 0x40000000u ? 0x40000000u : nSize - nDone);
    DWORD nWritten = 0;
    if (!WriteFile(hFile, pBytes + nDone, nChunk, &nWritten, nullptr) || nWritten != nChunk) {
      const DWORD dwError = GetLastError();
      CloseHandle(hFile);
      return Fail(dwError != ERROR_SUCCESS ? dwError : ERROR_DISK_FULL);
    }
    nDone += nWritten;
  }
  return CxCommitReplacement(hFile, pExpected, pWritten);
}

}  // namespace

HANDLE CxCreateReplacement(LPCSTR szTarget) {
  return CreateReplacementFor(szTarget, std::string());
}

BOOL CxCommitReplacement(HANDLE hReplacement, const CX_FILE_STAMP* pExpected,
                         CX_FILE_STAMP* pWritten) {
  auto* pState = dynamic_cast<ReplacementState*>(CxExtraOf(hReplacement));
  const int fd = CxDescriptorOf(hReplacement);
  if (pState == nullptr || fd < 0) return Fail(ERROR_INVALID_HANDLE);
  DWORD dwError = ERROR_SUCCESS;
  if (!CxOsSync(fd)) dwError = CxWin32ErrorOfErrno(errno);

  struct stat stTarget {};
  const bool bExists = ::stat(pState->strModel.c_str(), &stTarget) == 0;
  if (dwError == ERROR_SUCCESS && bExists) {
    if (!CxOsSetMode(fd, stTarget.st_mode & 07777)) dwError = CxWin32ErrorOfErrno(errno);
    // Only a privileged writer may give a file away; the group alone is allowed where the
    // writer belongs to it. Neither failure stops the save.
    if (!CxOsSetOwner(fd, stTarget.st_uid, stTarget.st_gid)) {
      CxOsSetOwner(fd, static_cast<uid_t>(-1), stTarget.st_gid);
    }
  }
  if (dwError == ERROR_SUCCESS && pExpected != nullptr) {
    CX_FILE_STAMP now{};
    const int fdTarget = CxOsOpen(pState->strTarget.c_str(), O_RDONLY);
    const bool bStamped = fdTarget >= 0 && StampDescriptor(fdTarget, &now);
    if (fdTarget >= 0) CxOsClose(fdTarget);
    if (!bStamped || !CxSameFileStamp(&now, pExpected)) dwError = ERROR_CX_FILE_CHANGED;
  }
  if (dwError == ERROR_SUCCESS && pWritten != nullptr && !StampDescriptor(fd, pWritten)) {
    dwError = CxWin32ErrorOfErrno(errno);
  }
  if (dwError == ERROR_SUCCESS) {
    if (CxOsRename(pState->strTemp.c_str(), pState->strTarget.c_str())) {
      pState->bDone = true;
      // The new contents are in place: a folder that cannot be flushed does not undo that.
      CxOsSyncFolderOf(pState->strTarget);
    } else {
      dwError = CxWin32ErrorOfErrno(errno);
    }
  }
  CloseHandle(hReplacement);
  SetLastError(dwError);
  return dwError == ERROR_SUCCESS ? TRUE : FALSE;
}

BOOL CxReplaceFileContents(LPCSTR szTarget, LPCVOID pData, size_t nSize,
                           const CX_FILE_STAMP* pExpected, CX_FILE_STAMP* pWritten) {
  if (pData == nullptr && nSize > 0) return Fail(ERROR_INVALID_PARAMETER);
  return WriteAndCommit(CxCreateReplacement(szTarget), pData, nSize, pExpected, pWritten);
}

BOOL CxReplaceFileContentsAs(LPCSTR szTarget, LPCSTR szProtected, LPCVOID pData, size_t nSize) {
  if ((pData == nullptr && nSize > 0) || szProtected == nullptr || szProtected[0] == '\0') {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  return WriteAndCommit(CreateReplacementFor(szTarget, szProtected), pData, nSize, nullptr,
                        nullptr);
}

namespace {

// 0 when the file or folder may be written, else the Win32 reason.
DWORD WriteRefusalOf(const std::string& strPath, bool bFolder) {
  struct stat st {};
  if (::stat(strPath.c_str(), &st) != 0) return CxWin32ErrorOfErrno(errno);
  if (bFolder != S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
  if ((st.st_mode & S_IWUSR) == 0) return ERROR_WRITE_PROTECT;
  // A folder takes new names only where it may also be searched.
  const int nWant = bFolder ? (W_OK | X_OK) : W_OK;
  if (::faccessat(AT_FDCWD, strPath.c_str(), nWant, AT_EACCESS) != 0) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

}  // namespace

BOOL CxCanReplaceFile(LPCSTR szTarget, std::string* pstrRefused) {
  if (szTarget == nullptr || szTarget[0] == '\0') return Fail(ERROR_PATH_NOT_FOUND);
  std::string strResolved;
  const int nErr = Resolve(szTarget, &strResolved);
  if (nErr != 0) {
    if (pstrRefused != nullptr) *pstrRefused = szTarget;
    return Fail(CxWin32ErrorOfErrno(nErr));
  }
  struct stat st {};
  std::vector<std::pair<std::string, bool>> vChecks;
  // A file yet to be made has only its folder to ask.
  if (::stat(strResolved.c_str(), &st) == 0) vChecks.emplace_back(strResolved, false);
  vChecks.emplace_back(CxOsFolderOf(strResolved), true);
  const std::string strNamedFolder = CxOsFolderOf(szTarget);
  std::string strNamedReal;
  char szReal[PATH_MAX];
  if (::realpath(strNamedFolder.c_str(), szReal) != nullptr) strNamedReal = szReal;
  if (strNamedReal != CxOsFolderOf(strResolved)) vChecks.emplace_back(strNamedFolder, true);
  for (const auto& check : vChecks) {
    const DWORD dwError = WriteRefusalOf(check.first, check.second);
    if (dwError == ERROR_SUCCESS) continue;
    if (pstrRefused != nullptr) *pstrRefused = check.first;
    return Fail(dwError);
  }
  return TRUE;
}

LPCSTR CxFileErrorText(DWORD dwError) {
  switch (dwError) {
    case ERROR_WRITE_PROTECT:
      return "read-only";
    case ERROR_FILE_NOT_FOUND:
      return "no such file";
    case ERROR_PATH_NOT_FOUND:
      return "no such folder";
    case ERROR_ACCESS_DENIED:
      return "permission denied";
    case ERROR_DISK_FULL:
      return "no space left on the device";
    case ERROR_SHARING_VIOLATION:
      return "in use by another program";
    case ERROR_LOCK_VIOLATION:
      return "locked by another DayBridge run";
    case ERROR_CX_FILE_CHANGED:
      return "changed by another program since it was read";
    case ERROR_NOT_ENOUGH_MEMORY:
      return "out of memory";
    default:
      return "the system could not read or write it";
  }
}
