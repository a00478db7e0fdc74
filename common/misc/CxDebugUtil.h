// The program-wide debug log. Every module reports through the Log macro, which passes the
// caller's module name (DB_MODULE, below) and line. Level 0 is an error and is always
// written; other levels only when the log is enabled and the level is not above the
// configured one. One CR LF line per message, appended to <folder><file name>; the file is
// opened and closed for every line and moved aside to "<file>.old.log" once it has grown past
// 10 MiB.
#pragma once

#include <cstdarg>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

// Every source file that logs or asserts states its module name itself, once, before the
// includes that follow its own header:
//   #define DB_MODULE "PalmComm"
// There is no default: a file that logs without it does not compile ("DB_MODULE was not
// declared"), so no line is ever written under a name nobody chose.

#define CX_LOG_ROTATE_SIZE 10485760L
#define CX_LOG_MESSAGE_SIZE 40960

class CxDebugUtil {
 public:
  // Constant-initialized, so modules that log from their own static constructors find the
  // log ready whatever the order in which the program's objects are built.
  constexpr CxDebugUtil() = default;
  ~CxDebugUtil();

  // Formats and writes one line; see the file comment for when a line is written.
  void Write(int nLevel, const char* szSource, int nLine, const char* szFormat, ...)
      __attribute__((format(printf, 5, 6)));
  void WriteV(int nLevel, const char* szSource, int nLine, const char* szFormat, va_list args);

  // While a list is given, the calling thread's lines go into it (formatted, in order) instead
  // of the file; null writes to the file again. Work split over two threads then logs as it
  // did when one ran after the other: each holds its lines and they are written in the old
  // order once both are done.
  void HoldLines(std::vector<std::string>* pHeld);
  void WriteHeld(const std::vector<std::string>& vLines);

  void SetFolder(const char* szFolder);
  void SetLevel(int nLevel);
  void Enable(bool bEnable);

  const char* GetFolder() const { return szFolder; }
  const char* GetFileName() const { return szFileName; }
  int GetLevel() const { return nLevel; }
  bool IsEnabled() const { return bEnabled != 0; }

 private:
  void Append(const char* szLine);

  char szFileName[MAX_PATH] = "appdebug.log";
  char szFolder[MAX_PATH] = "./";
  int nLevel = 0;
  BYTE bEnabled = 0;
  std::mutex m_Lock;  // the log's one critical section, for the object's whole life
};

extern CxDebugUtil g_DebugLog;

#define Log(nLevel, ...) g_DebugLog.Write((nLevel), DB_MODULE, __LINE__, __VA_ARGS__)

// A condition only a programming error can break. A failure is logged at level 0 as
// "Assertion failed: <condition>" with the module and line; debug builds then abort.
// The caller still handles the condition after the assertion (release builds go on).
void CxAssertFailed(const char* szCondition, const char* szModule, int nLine);
#define CX_ASSERT(expr) ((expr) ? static_cast<void>(0) : CxAssertFailed(#expr, DB_MODULE, __LINE__))
