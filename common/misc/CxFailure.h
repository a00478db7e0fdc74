// Why the last load or save of a store failed, in words a user can act on. A store keeps one
// CxFailure, sets it where it detects the failure and clears it when an operation starts;
// the windows and the companion tool show its text as it is.
#pragma once

#include "platform/win/WinTypes.h"

#define CX_FAIL_NONE 0
#define CX_FAIL_NOT_FOUND 1      // no such file or folder
#define CX_FAIL_NOT_CALENDAR 2   // not a file of the kind (the text says which check failed)
#define CX_FAIL_DAMAGED 3        // of the kind, but it does not read whole
#define CX_FAIL_ACCESS_DENIED 4  // the user may not read (or write) it
#define CX_FAIL_DISK_FULL 5
#define CX_FAIL_LOCKED 6   // another DayBridge run holds it
#define CX_FAIL_CHANGED 7  // another program changed it after it was loaded
#define CX_FAIL_IN_USE 8   // another program holds it open
#define CX_FAIL_OTHER 9

#define CX_FAILURE_TEXT_SIZE 640

struct CxFailure {
  int nCode = CX_FAIL_NONE;
  char szText[CX_FAILURE_TEXT_SIZE] = "";

  void Clear();
  bool IsSet() const { return nCode != CX_FAIL_NONE; }
  // printf-style text.
  void Set(int nFailCode, const char* szFormat, ...) __attribute__((format(printf, 3, 4)));
  // A file operation's Win32 error: "<reason>: <path>".
  void SetFileError(DWORD dwError, const char* szPath);
};

// The failure kind of a Win32 error of a file operation.
int CxFailureCodeOf(DWORD dwError);
