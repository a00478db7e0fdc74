// Handle-based files with the Win32 shape: CreateFile / ReadFile / WriteFile and friends over
// POSIX descriptors. Sharing follows Windows: a handle opened with share mode 0 holds the file
// exclusively, so any further open of it (from this process or another) fails with
// ERROR_SHARING_VIOLATION until the handle is closed. Exclusive handles take an flock write
// lock, shared ones a read lock. Positions and sizes are 64-bit split into two 32-bit halves
// as in Win32. Failures set the thread's last error (GetLastError of WinSystem.h).
#pragma once

#include <cstddef>
#include <string>

#include "platform/win/WinFileOps.h"
#include "platform/win/WinTypes.h"

#ifndef GENERIC_READ
#define GENERIC_READ 0x80000000UL
#endif
#ifndef GENERIC_WRITE
#define GENERIC_WRITE 0x40000000UL
#endif
#ifndef FILE_SHARE_READ
#define FILE_SHARE_READ 0x00000001UL
#endif
#ifndef FILE_SHARE_WRITE
#define FILE_SHARE_WRITE 0x00000002UL
#endif
#ifndef FILE_SHARE_DELETE
#define FILE_SHARE_DELETE 0x00000004UL
#endif

#ifndef CREATE_NEW
#define CREATE_NEW 1
#endif
#ifndef CREATE_ALWAYS
#define CREATE_ALWAYS 2
#endif
#ifndef OPEN_EXISTING
#define OPEN_EXISTING 3
#endif
#ifndef OPEN_ALWAYS
#define OPEN_ALWAYS 4
#endif
#ifndef TRUNCATE_EXISTING
#define TRUNCATE_EXISTING 5
#endif

#ifndef FILE_BEGIN
#define FILE_BEGIN 0
#endif
#ifndef FILE_CURRENT
#define FILE_CURRENT 1
#endif
#ifndef FILE_END
#define FILE_END 2
#endif

#ifndef INVALID_FILE_SIZE
#define INVALID_FILE_SIZE 0xFFFFFFFFUL
#endif
#ifndef INVALID_SET_FILE_POINTER
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFUL
#endif

#ifndef ERROR_FILE_EXISTS
#define ERROR_FILE_EXISTS 80L
#endif
#ifndef ERROR_NEGATIVE_SEEK
#define ERROR_NEGATIVE_SEEK 131L
#endif
#ifndef ERROR_WRITE_FAULT
#define ERROR_WRITE_FAULT 29L
#endif
#ifndef ERROR_FILE_TOO_LARGE
#define ERROR_FILE_TOO_LARGE 223L
#endif
#ifndef ERROR_READ_FAULT
#define ERROR_READ_FAULT 30L
#endif

typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;
typedef LONG* PLONG;

// Opens or creates szFileName. Only a plain file is opened: a folder, a pipe or a device at
// the name fails with ERROR_ACCESS_DENIED. dwDesiredAccess is GENERIC_READ and/or GENERIC_WRITE;
// dwShareMode 0 asks for exclusive use. Security, flags other than the attribute and the
// template are accepted and ignored. CREATE_ALWAYS and OPEN_ALWAYS on an existing file
// succeed with the last error ERROR_ALREADY_EXISTS. Returns INVALID_HANDLE_VALUE on failure
// (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_FILE_EXISTS, ERROR_ACCESS_DENIED,
// ERROR_SHARING_VIOLATION, ERROR_INVALID_PARAMETER).
HANDLE CreateFile(LPCSTR szFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                  LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                  DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);

// Reads up to nNumberOfBytesToRead bytes. At the end of the file it succeeds with 0 bytes
// read, as Windows does for synchronous handles. lpOverlapped must be null.
BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);

// Writes the bytes; a short write (the disk full) fails with ERROR_DISK_FULL and reports the
// bytes that did reach the file.
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);

// Moves the file pointer; returns the low 32 bits of the new position (the high ones into
// *lpDistanceToMoveHigh when given), or INVALID_SET_FILE_POINTER with a last error.
DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                     DWORD dwMoveMethod);

// The low 32 bits of the size (the high ones into *lpFileSizeHigh when given), or
// INVALID_FILE_SIZE with a last error.
DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);

BOOL FlushFileBuffers(HANDLE hFile);

// Cuts (or extends) the file at the current file pointer.
BOOL SetEndOfFile(HANDLE hFile);

// Closes a handle of this API; ERROR_INVALID_HANDLE for anything else.
BOOL CloseHandle(HANDLE hObject);

// The whole contents of the plain file, refused (ERROR_FILE_TOO_LARGE) when it holds more
// than nMaxBytes, before anything is read into memory.
BOOL CxReadWholeFile(LPCSTR szFileName, size_t nMaxBytes, std::string* pstrData);

// Test seam: while set, the process's WriteFile calls together accept only nBytes more bytes;
// the write that reaches the limit writes what still fits and fails with ERROR_DISK_FULL, as
// does every later one. A negative value removes the limit. This is how tests make "the disk
// full" happen at any byte of a writer's output.
void CxSetWriteFailAfter(long long nBytes);
