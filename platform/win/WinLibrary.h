// Libraries loaded at run time, with the Win32 names and results. A library is an ELF shared
// object loaded from exactly the path given (never searched for); symbols are looked up by
// name. Loading the same path twice gives the same module with a second reference.
#pragma once

#include "platform/win/WinTypes.h"

// The module, or null with ERROR_MOD_NOT_FOUND when the path is missing, empty or cannot be
// loaded. A Windows library (a PE file) loads DayBridge's stand-in of the same file name,
// told to serve the folder of lpLibFileName; without such a stand-in it cannot be loaded.
HMODULE LoadLibrary(LPCSTR lpLibFileName);

// The exported symbol, or null with ERROR_PROC_NOT_FOUND. Lookups by ordinal (a "name" below
// 0x10000) are not supported and fail the same way.
FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);

// Drops one reference to the module; FALSE with ERROR_INVALID_HANDLE for a null module.
BOOL FreeLibrary(HMODULE hLibModule);
