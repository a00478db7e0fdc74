// Whole-file operations with the Win32 names, results and error codes: copy, move (an atomic
// rename when replacing), delete, attributes and size, directory creation. Failures return
// FALSE (or INVALID_FILE_ATTRIBUTES) and set the Win32 error through SetLastError.
#pragma once

#include <time.h>

#include "platform/win/WinTypes.h"

#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_NORMAL 0x00000080

#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_COPY_ALLOWED 0x00000002
#define MOVEFILE_WRITE_THROUGH 0x00000008

#ifndef ERROR_FILE_EXISTS
#define ERROR_FILE_EXISTS 80L
#endif
#ifndef ERROR_NOT_SAME_DEVICE
#define ERROR_NOT_SAME_DEVICE 17L
#endif
#ifndef ERROR_DIR_NOT_EMPTY
#define ERROR_DIR_NOT_EMPTY 145L
#endif

typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME, *LPFILETIME;

typedef enum _GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard } GET_FILEEX_INFO_LEVELS;

typedef struct _WIN32_FILE_ATTRIBUTE_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;  // the status-change time here: POSIX keeps no creation time
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
} WIN32_FILE_ATTRIBUTE_DATA, *LPWIN32_FILE_ATTRIBUTE_DATA;

// A POSIX time as a FILETIME.
FILETIME CxFileTimeOf(const struct timespec& ts);

// Copies the file's contents (and permission bits). The copy is written beside the target
// and renamed over it, so the target is never seen half-written. With bFailIfExists an
// existing target fails with ERROR_FILE_EXISTS and is left alone.
BOOL CopyFile(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists);

// Renames the file or directory. Without MOVEFILE_REPLACE_EXISTING an existing target fails
// with ERROR_ALREADY_EXISTS; with it the target is replaced in one atomic step. Across file
// systems the move fails with ERROR_NOT_SAME_DEVICE unless MOVEFILE_COPY_ALLOWED is given
// (files only). MOVEFILE_WRITE_THROUGH flushes the result to disk before returning.
BOOL MoveFileEx(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags);
BOOL MoveFile(LPCSTR lpExistingFileName, LPCSTR lpNewFileName);

// Deletes a file; a directory fails with ERROR_ACCESS_DENIED as on Windows.
BOOL DeleteFile(LPCSTR lpFileName);

// FILE_ATTRIBUTE_DIRECTORY for a folder; FILE_ATTRIBUTE_READONLY for a file its owner may
// not write; FILE_ATTRIBUTE_NORMAL for any other file. INVALID_FILE_ATTRIBUTES (with
// ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND) when there is nothing at the path.
DWORD GetFileAttributes(LPCSTR lpFileName);

// The attributes with the size and the times (FILETIME: 100 ns units since 1601-01-01 UTC).
BOOL GetFileAttributesEx(LPCSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId,
                         LPVOID lpFileInformation);

// Creates one folder (its parent must exist). An existing file or folder at the path fails
// with ERROR_ALREADY_EXISTS; a missing parent with ERROR_PATH_NOT_FOUND. The security
// attributes are ignored.
BOOL CreateDirectory(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);

// Removes an empty folder; ERROR_DIR_NOT_EMPTY otherwise.
BOOL RemoveDirectory(LPCSTR lpPathName);
