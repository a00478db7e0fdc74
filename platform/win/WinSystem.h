// Process and shell services: the program's own path, the calling thread's id, the last
// error, and the shell's "open" verb.
#pragma once

#include "platform/win/WinTypes.h"

#define SW_SHOWNORMAL 1
#define SW_SHOW 5

// With a null module: the full path of the running program (/proc/self/exe); with a handle
// of LoadLibrary: the path of that library. Returns the number of characters copied, 0 on
// failure. A path that does not fit is cut to nSize - 1 and terminated, and the result is
// nSize with ERROR_INSUFFICIENT_BUFFER, as on Windows since Vista.
DWORD GetModuleFileName(HMODULE hModule, LPSTR lpFilename, DWORD nSize);

// Splits a path into drive (always empty here), folder with its trailing separator, base
// name and extension, each cut to its capacity (the standard sizes of the C runtime).
#define _MAX_DRIVE 3
#define _MAX_DIR 256
#define _MAX_FNAME 256
#define _MAX_EXT 256
void _splitpath(const char* szPath, char* szDrive, char* szDir, char* szFname, char* szExt);

// Opens the target (file, folder or link) with the desktop's handler (xdg-open) for the verb
// "open" (a null or empty verb means "open") without waiting for it. Returns a value above 32
// when the handler was started, as ShellExecute does; the handler's own result is not
// awaited. 2 (file not found) for an empty target, 31 (no association) for another verb or
// when xdg-open is not installed. Parameters and directory are not used.
HINSTANCE ShellExecute(HWND hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters,
                       LPCSTR lpDirectory, INT nShowCmd);

// The standard handles. GetConsoleMode is TRUE (mode 0) only for a handle that is a terminal,
// which is how a program tells an interactive console from a file or a pipe.
#define STD_INPUT_HANDLE (static_cast<DWORD>(-10))
#define STD_OUTPUT_HANDLE (static_cast<DWORD>(-11))
#define STD_ERROR_HANDLE (static_cast<DWORD>(-12))
HANDLE GetStdHandle(DWORD nStdHandle);
BOOL GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode);

// A small number that identifies the calling thread, stable for the thread's life.
DWORD GetCurrentThreadId();

DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

// Sleeps the calling thread.
void Sleep(DWORD dwMilliseconds);

// Milliseconds since an arbitrary start, wrapping at 2^32.
DWORD GetTickCount();

// The process's current directory. SetCurrentDirectory fails (FALSE, with the last error)
// for a missing folder. GetCurrentDirectory copies the folder (without trailing separator)
// and returns its length, or the size needed including the terminator when nBufferLength is
// too small, as Windows does; 0 on failure.
BOOL SetCurrentDirectory(LPCSTR lpPathName);
DWORD GetCurrentDirectory(DWORD nBufferLength, LPSTR lpBuffer);
// The absolute form of a path, taken against the current directory, with "." and ".."
// settled; links are not followed. Results as GetCurrentDirectory; *lpFilePart (when given)
// points at the last component in lpBuffer.
DWORD GetFullPathName(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer, LPSTR* lpFilePart);
