// Holds a calendar file against other DayBridge runs: from the load of a calendar until it
// is loaded again or freed, no other run can load it, so no run ever saves over changes it
// did not load. The lock is the named mutex of the file's resolved path (links followed), so
// every way of naming the file meets the same lock; other programs are not held back.
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

class CxFileHold {
 public:
  CxFileHold() = default;
  ~CxFileHold();
  CxFileHold(const CxFileHold&) = delete;
  CxFileHold& operator=(const CxFileHold&) = delete;

  // Takes the lock of the file szPath names (giving up any other one held). False with the
  // Win32 error in *pdwError: ERROR_LOCK_VIOLATION when another run holds it.
  bool Acquire(const char* szPath, DWORD* pdwError);
  void Release();
  // True when the lock held is that of the file szPath names.
  bool Holds(const char* szPath) const;

 private:
  HANDLE m_hMutex = nullptr;
  std::string m_strResolved;
};

// The resolved path (links followed) of szPath, or the path itself when it cannot be
// resolved.
std::string CxResolvedPath(const char* szPath);
