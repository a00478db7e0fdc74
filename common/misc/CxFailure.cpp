// Failure reasons of the stores.
#include "common/misc/CxFailure.h"

#include <cstdarg>
#include <cstdio>

#include "platform/win/WinReplace.h"

void CxFailure::Clear() {
  nCode = CX_FAIL_NONE;
  szText[0] = '\0';
}

void CxFailure::Set(int nFailCode, const char* szFormat, ...) {
  nCode = nFailCode;
  va_list args;
  va_start(args, szFormat);
  std::vsnprintf(szText, sizeof(szText), szFormat, args);
  va_end(args);
}

void CxFailure::SetFileError(DWORD dwError, const char* szPath) {
  Set(CxFailureCodeOf(dwError), "%s: %s", CxFileErrorText(dwError),
      szPath != nullptr ? szPath : "");
}

int CxFailureCodeOf(DWORD dwError) {
  switch (dwError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return CX_FAIL_NOT_FOUND;
    case ERROR_ACCESS_DENIED:
      return CX_FAIL_ACCESS_DENIED;
    case ERROR_DISK_FULL:
      return CX_FAIL_DISK_FULL;
    case ERROR_LOCK_VIOLATION:
      return CX_FAIL_LOCKED;
    case ERROR_CX_FILE_CHANGED:
      return CX_FAIL_CHANGED;
    case ERROR_SHARING_VIOLATION:
      return CX_FAIL_IN_USE;
    default:
      return CX_FAIL_OTHER;
  }
}
