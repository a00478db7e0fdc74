// For the platform's own modules only: how a module makes a handle of the file API out of a
// descriptor it opened itself, so that ReadFile, WriteFile and CloseHandle work on it, and
// hangs its own state on the handle. CloseHandle destroys that state first (while the
// descriptor is still open), then closes the descriptor.
#pragma once

#include <memory>

#include "platform/win/WinTypes.h"

class CxHandleExtra {
 public:
  virtual ~CxHandleExtra() = default;
};

// fd may be -1 for a handle that is not a file.
HANDLE CxAdoptDescriptor(int fd, bool bRead, bool bWrite, std::unique_ptr<CxHandleExtra> pExtra);
// -1 for an unknown handle.
int CxDescriptorOf(HANDLE hHandle);
CxHandleExtra* CxExtraOf(HANDLE hHandle);
// The Win32 code of an errno value, as the file API reports it.
DWORD CxWin32ErrorOfErrno(int nErrno);
