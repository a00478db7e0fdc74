// Process services over POSIX. The shell "open" verb is handed to xdg-open through a
// short-lived /bin/sh that puts xdg-open in the background and exits at once: the caller
// waits only for that shell (so no zombie is left), xdg-open is adopted by init, and a
// desktop that is slow to open a document never blocks the caller's thread.
#include "platform/win/WinSystem.h"

#include <dlfcn.h>
#include <link.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/win/WinString.h"

extern char** environ;

namespace {

thread_local DWORD t_dwLastError = ERROR_SUCCESS;
thread_local DWORD t_dwThreadId = 0;
std::atomic<DWORD> g_dwNextThreadId{1};

// The ShellExecute failure codes (values up to 32 mean failure).
constexpr intptr_t kSeErrFileNotFound = 2;
constexpr intptr_t kSeErrOutOfMemory = 8;
constexpr intptr_t kSeErrNoAssociation = 31;
constexpr intptr_t kSeStarted = 42;

// The exit code the launcher shell uses when xdg-open is not installed.
constexpr int kNoHandlerExit = 127;

HINSTANCE ShellResult(intptr_t nCode) {
  return reinterpret_cast<HINSTANCE>(nCode);
}

void CopyPart(char* szDst, size_t nCapacity, const char* pBegin, size_t nLength) {
  if (szDst == nullptr) return;
  if (nLength > nCapacity - 1) nLength = nCapacity - 1;
  std::memcpy(szDst, pBegin, nLength);
  szDst[nLength] = '\0';
}

}  // namespace

DWORD GetModuleFileName(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  if (lpFilename == nullptr || nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::string strPath;
  if (hModule == nullptr) {
    char szLink[PATH_MAX];
    const ssize_t nLength = readlink("/proc/self/exe", szLink, sizeof(szLink) - 1);
    if (nLength <= 0) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      lpFilename[0] = '\0';
      return 0;
    }
    strPath.assign(szLink, static_cast<size_t>(nLength));
  } else {
    // A handle of LoadLibrary is a dlopen handle; its link map names the loaded file.
    struct link_map* pMap = nullptr;
    if (dlinfo(hModule, RTLD_DI_LINKMAP, &pMap) != 0 || pMap == nullptr ||
        pMap->l_name == nullptr || pMap->l_name[0] == '\0') {
      SetLastError(ERROR_MOD_NOT_FOUND);
      lpFilename[0] = '\0';
      return 0;
    }
    strPath = pMap->l_name;
  }
  // As on Windows since Vista: a path that does not fit is cut and terminated, the result is
  // the buffer size and the error is ERROR_INSUFFICIENT_BUFFER.
  if (strPath.size() >= nSize) {
    lstrcpyn(lpFilename, strPath.c_str(), static_cast<int>(nSize));
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  lstrcpyn(lpFilename, strPath.c_str(), static_cast<int>(nSize));
  return static_cast<DWORD>(strPath.size());
}

void _splitpath(const char* szPath, char* szDrive, char* szDir, char* szFname, char* szExt) {
  if (szDrive != nullptr) szDrive[0] = '\0';
  if (szPath == nullptr) szPath = "";
  // Backslashes count as separators too, as the C runtime counts both: Windows paths kept
  // as data in the program's files still split.
  const char* pNameStart = szPath;
  for (const char* p = szPath; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') pNameStart = p + 1;
  }
  const char* pEnd = pNameStart + std::strlen(pNameStart);
  const char* pDot = nullptr;
  for (const char* p = pNameStart; p < pEnd; ++p) {
    if (*p == '.') pDot = p;
  }
  if (pDot == nullptr) pDot = pEnd;
  CopyPart(szDir, _MAX_DIR, szPath, static_cast<size_t>(pNameStart - szPath));
  CopyPart(szFname, _MAX_FNAME, pNameStart, static_cast<size_t>(pDot - pNameStart));
  CopyPart(szExt, _MAX_EXT, pDot, static_cast<size_t>(pEnd - pDot));
}

HINSTANCE ShellExecute(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                       LPCSTR lpDirectory, INT nShowCmd) {
  if (lpFile == nullptr || lpFile[0] == '\0') return ShellResult(kSeErrFileNotFound);
  if (lpOperation != nullptr && lpOperation[0] != '\0' && std::strcmp(lpOperation, "open") != 0) {
    return ShellResult(kSeErrNoAssociation);
  }
  // The target travels as a positional argument, never inside the script text, so no
  // character of it is interpreted by the shell.
  static const char kScript[] =
      "command -v xdg-open >/dev/null 2>&1 || exit 127\n"
      "xdg-open \"$1\" </dev/null >/dev/null 2>&1 &\n"
      "exit 0\n";
  char szShell[] = "/bin/sh";
  char szDashC[] = "-c";
  std::string strScript(kScript);
  std::string strArgZero("daybridge-open");
  std::string strTarget(lpFile);
  char* argv[] = {szShell, szDashC, strScript.data(), strArgZero.data(), strTarget.data(), nullptr};

  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) {
    return ShellResult(kSeErrOutOfMemory);
  }
  int nStatus = 0;
  while (waitpid(pid, &nStatus, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(nStatus) && WEXITSTATUS(nStatus) == kNoHandlerExit) {
    return ShellResult(kSeErrNoAssociation);
  }
  return ShellResult(kSeStarted);
}

DWORD GetCurrentThreadId() {
  if (t_dwThreadId == 0) t_dwThreadId = g_dwNextThreadId.fetch_add(1);
  return t_dwThreadId;
}

DWORD GetLastError() {
  return t_dwLastError;
}

void SetLastError(DWORD dwErrCode) {
  t_dwLastError = dwErrCode;
}

void Sleep(DWORD dwMilliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD GetTickCount() {
  struct timespec ts {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t nMs =
      static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<DWORD>(nMs);
}

BOOL SetCurrentDirectory(LPCSTR lpPathName) {
  if (lpPathName == nullptr || lpPathName[0] == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (chdir(lpPathName) != 0) {
    SetLastError(errno == ENOTDIR  ? ERROR_PATH_NOT_FOUND
                 : errno == EACCES ? ERROR_ACCESS_DENIED
                                   : ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  return TRUE;
}

DWORD GetCurrentDirectory(DWORD nBufferLength, LPSTR lpBuffer) {
  char szCwd[4096];
  if (getcwd(szCwd, sizeof(szCwd)) == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  const DWORD nLength = static_cast<DWORD>(std::strlen(szCwd));
  if (lpBuffer == nullptr || nBufferLength <= nLength) return nLength + 1;
  std::memcpy(lpBuffer, szCwd, nLength + 1);
  return nLength;
}

DWORD GetFullPathName(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart) {
  if (lpFilePart != nullptr) *lpFilePart = nullptr;
  if (lpFileName == nullptr || lpFileName[0] == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string strFull;
  if (lpFileName[0] == '/') {
    strFull = lpFileName;
  } else {
    char szCwd[4096];
    if (getcwd(szCwd, sizeof(szCwd)) == nullptr) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    strFull = std::string(szCwd) + (szCwd[1] != '\0' ? "/" : "") + lpFileName;
  }
  // "." and ".." are settled in the text, as Windows does, without asking the file system.
  std::vector<std::string> parts;
  size_t nStart = 1;
  while (nStart <= strFull.size()) {
    size_t nSlash = strFull.find('/', nStart);
    if (nSlash == std::string::npos) nSlash = strFull.size();
    const std::string strPart = strFull.substr(nStart, nSlash - nStart);
    if (strPart == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!strPart.empty() && strPart != ".") {
      parts.push_back(strPart);
    }
    nStart = nSlash + 1;
  }
  std::string strOut;
  for (const std::string& strPart : parts) strOut.append(1, '/').append(strPart);
  if (strOut.empty()) strOut.push_back('/');
  const DWORD nLength = static_cast<DWORD>(strOut.size());
  if (lpBuffer == nullptr || nBufferLength <= nLength) return nLength + 1;
  std::memcpy(lpBuffer, strOut.c_str(), nLength + 1);
  if (lpFilePart != nullptr && !parts.empty()) {
    *lpFilePart = lpBuffer + nLength - parts.back().size();
  }
  return nLength;
}

namespace {

// Standard handles are the descriptor plus one, so that standard input is no null handle.
int DescriptorOf(HANDLE hHandle) {
  const intptr_t nValue = reinterpret_cast<intptr_t>(hHandle);
  return nValue >= 1 && nValue <= 3 ? static_cast<int>(nValue - 1) : -1;
}

}  // namespace

HANDLE GetStdHandle(DWORD nStdHandle) {
  switch (nStdHandle) {
    case STD_INPUT_HANDLE:
      return reinterpret_cast<HANDLE>(static_cast<intptr_t>(STDIN_FILENO + 1));
    case STD_OUTPUT_HANDLE:
      return reinterpret_cast<HANDLE>(static_cast<intptr_t>(STDOUT_FILENO + 1));
    case STD_ERROR_HANDLE:
      return reinterpret_cast<HANDLE>(static_cast<intptr_t>(STDERR_FILENO + 1));
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
}

BOOL GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode) {
  const int nFd = DescriptorOf(hConsoleHandle);
  if (nFd < 0 || lpMode == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (isatty(nFd) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *lpMode = 0;
  return TRUE;
}
