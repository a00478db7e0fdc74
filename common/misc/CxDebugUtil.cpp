// The debug log. Each line is written by opening the file, appending and closing, so a crash
// never loses what was logged before it. Before a line is appended to a file that has grown
// past CX_LOG_ROTATE_SIZE, the file is copied aside to "<log>.old.log" and emptied.
#include "common/misc/CxDebugUtil.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/misc/CxFile.h"
#include "platform/win/WinFileOps.h"
#include "platform/win/WinString.h"
#include "platform/win/WinSystem.h"
#include "platform/win/WinTime.h"

constinit CxDebugUtil g_DebugLog;

namespace {

constexpr int kMaxModuleChars = 255;

thread_local std::vector<std::string>* t_pHeldLines = nullptr;
constexpr int kMaxLevel = 3;

// The module part of a source path: after the last separator of either kind, since the
// names may come from Windows builds as well as ours.
void ModuleOf(const char* szSource, char (&szModule)[kMaxModuleChars + 1]) {
  if (szSource == nullptr) {
    CxCopyText(szModule, "<null>");
    return;
  }
  const char* pName = szSource;
  for (const char* p = szSource; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') pName = p + 1;
  }
  CxCopyText(szModule, pName);
}

// -1 for a missing file, as the size test of the rotation expects.
long long SizeOf(const char* szPath) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesEx(szPath, GetFileExInfoStandard, &data)) return -1;
  return static_cast<long long>(static_cast<ULONGLONG>(data.nFileSizeHigh) << 32 |
                                data.nFileSizeLow);
}

}  // namespace

CxDebugUtil::~CxDebugUtil() = default;

void CxDebugUtil::Write(int nMsgLevel, const char* szSource, int nLine, const char* szFormat, ...) {
  va_list args;
  va_start(args, szFormat);
  WriteV(nMsgLevel, szSource, nLine, szFormat, args);
  va_end(args);
}

void CxDebugUtil::WriteV(int nMsgLevel, const char* szSource, int nLine, const char* szFormat,
                         va_list args) {
  if (nMsgLevel != 0 && (bEnabled == 0 || nMsgLevel > nLevel)) return;

  std::vector<char> message(CX_LOG_MESSAGE_SIZE);
  if (szFormat != nullptr) std::vsnprintf(message.data(), message.size(), szFormat, args);

  char szModule[kMaxModuleChars + 1];
  ModuleOf(szSource, szModule);
  SYSTEMTIME stNow;
  GetLocalTime(&stNow);

  const char* szMarker = nMsgLevel == 0 ? "!!!" : "   ";
  const int nLineLength = std::snprintf(
      nullptr, 0, "[%04d/%02d/%02d %02d:%02d:%02d][%-20s(%-4d)][%05x][%s] - %s", stNow.wYear,
      stNow.wMonth, stNow.wDay, stNow.wHour, stNow.wMinute, stNow.wSecond, szModule, nLine,
      static_cast<unsigned>(GetCurrentThreadId()), szMarker, message.data());
  if (nLineLength < 0) return;
  std::vector<char> line(static_cast<size_t>(nLineLength) + 1);
  std::snprintf(line.data(), line.size(),
                "[%04d/%02d/%02d %02d:%02d:%02d][%-20s(%-4d)][%05x][%s] - %s", stNow.wYear,
                stNow.wMonth, stNow.wDay, stNow.wHour, stNow.wMinute, stNow.wSecond, szModule,
                nLine, static_cast<unsigned>(GetCurrentThreadId()), szMarker, message.data());

  if (t_pHeldLines != nullptr) {
    t_pHeldLines->emplace_back(line.data());
    return;
  }
  Append(line.data());
}

void CxDebugUtil::HoldLines(std::vector<std::string>* pHeld) {
  t_pHeldLines = pHeld;
}

void CxDebugUtil::WriteHeld(const std::vector<std::string>& vLines) {
  for (const std::string& strLine : vLines) Append(strLine.c_str());
}

void CxDebugUtil::Append(const char* szLine) {
  // Lines of two threads never interleave with each other or with a rotation.
  std::lock_guard<std::mutex> guard(m_Lock);
  char szPath[MAX_PATH * 2];
  std::snprintf(szPath, sizeof(szPath), "%s%s", szFolder, szFileName);

  const char* szMode = "ab";
  if (SizeOf(szPath) > CX_LOG_ROTATE_SIZE) {
    char szOldPath[MAX_PATH * 2 + 16];
    std::snprintf(szOldPath, sizeof(szOldPath), "%s.old.log", szPath);
    // Emptying the log without its copy would lose it, so a failed copy drops the line and
    // leaves the log as it is.
    if (!CopyFile(szPath, szOldPath, FALSE)) return;
    szMode = "wb";
  }
  CxFile file;
  if (!file.Open(szPath, szMode)) return;
  file.WriteLine(szLine);
  file.Close();
}

void CxDebugUtil::SetFolder(const char* szNewFolder) {
  std::lock_guard<std::mutex> guard(m_Lock);
  CxCopyText(szFolder, szNewFolder);
}

void CxDebugUtil::SetLevel(int nNewLevel) {
  nLevel = nNewLevel < 0 ? 0 : (nNewLevel > kMaxLevel ? kMaxLevel : nNewLevel);
}

void CxDebugUtil::Enable(bool bEnable) {
  bEnabled = bEnable ? 1 : 0;
}

void CxAssertFailed(const char* szCondition, const char* szModule, int nLine) {
  g_DebugLog.Write(0, szModule, nLine, "Assertion failed: %s",
                   szCondition != nullptr ? szCondition : "");
#ifndef NDEBUG
  std::abort();
#endif
}
