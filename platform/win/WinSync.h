// Named mutexes with the Win32 shape, the one lock that separate runs of the program share.
// A mutex is named by text; every process that opens the same name opens the same mutex.
// Ownership is per process here (the program holds its locks on one thread): a process that
// owns a mutex acquires it again at once, and owns it until it has released it as often.
// A process that ends, however it ends, gives up what it owned.
//
// Here the mutex is a lock file (flock) in a folder only the calling user can write:
// "daybridge-locks" in $XDG_RUNTIME_DIR, or else in the user's data folder ($XDG_DATA_HOME or
// ~/.local/share). Folders that are not the user's own, or that others may write, are
// refused (ERROR_ACCESS_DENIED), so a lock is shared by the runs of one user only.
#pragma once

#include "platform/win/WinFileOps.h"
#include "platform/win/WinTypes.h"

#ifndef INFINITE
#define INFINITE 0xFFFFFFFFUL
#endif
#define WAIT_OBJECT_0 0x00000000UL
#define WAIT_TIMEOUT 0x00000102UL
#define WAIT_FAILED 0xFFFFFFFFUL
#ifndef ERROR_NOT_OWNER
#define ERROR_NOT_OWNER 288L
#endif

// A handle on the mutex of the name (letters, digits, '.', '-' and '_', at most 200). With
// bInitialOwner the mutex is also acquired at once when it is free. Null on failure.
HANDLE CreateMutex(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName);
// Acquires the mutex, waiting at most dwMilliseconds: WAIT_OBJECT_0 once owned, WAIT_TIMEOUT
// when another process still holds it, WAIT_FAILED with a last error otherwise.
DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
// Gives up one acquisition made through this handle. CloseHandle gives up all of them.
BOOL ReleaseMutex(HANDLE hMutex);
