// The registry, read only, with the Win32 names, handles and result codes. The hives come
// from one text file in the "Windows Registry Editor Version 5.00" (or "REGEDIT4") format:
// $DAYBRIDGE_REGISTRY when set, else $XDG_CONFIG_HOME/daybridge/registry.reg (or
// ~/.config/daybridge/registry.reg). A missing file is an empty registry. The file is read
// again whenever a root key is opened, so a handle sees the file as it was when opened.
//
// Key and value names compare without regard to case; every key above a key that the file
// names exists too, as on Windows. Texts are ANSI (Windows-1252); a UTF-16 file (what regedit
// writes) and UTF-8 text are converted.
#pragma once

#include <cstddef>

#include "platform/win/WinTypes.h"

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000003u)))

#define KEY_QUERY_VALUE 0x0001
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_READ 0x20019
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7
#define REG_QWORD 11

#ifndef ERROR_BAD_PATHNAME
#define ERROR_BAD_PATHNAME 161L
#endif

// Opens lpSubKey below hKey (a root or an open key; a null or empty sub-key opens hKey
// itself again). ERROR_FILE_NOT_FOUND when the key does not exist, ERROR_INVALID_HANDLE for
// a handle that is neither a root nor open, ERROR_INVALID_PARAMETER without phkResult. Writing
// access is not refused here but nothing can be written.
LONG RegOpenKeyEx(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, DWORD samDesired, PHKEY phkResult);

// Reads a value of an open key (a null or empty name reads the default value "@").
// *lpcbData holds the buffer size in bytes on entry and the value's size on return (texts
// count their terminator). Without lpData only the size is reported. A buffer too small gives
// ERROR_MORE_DATA with the needed size and the buffer untouched; a missing value
// ERROR_FILE_NOT_FOUND.
LONG RegQueryValueEx(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                     LPBYTE lpData, LPDWORD lpcbData);

// Closes a handle from RegOpenKeyEx. Closing a root is allowed and does nothing.
LONG RegCloseKey(HKEY hKey);

// Where DayBridge's own file names no Palm Desktop, Palm Desktop's keys come from the Wine
// prefix ($WINEPREFIX, else ~/.wine): HKEY_CURRENT_USER from its user.reg, HKEY_LOCAL_MACHINE
// from its system.reg, read only. These tell such keys apart and make their paths local.

// The folder of the Wine prefix hKey was read from, as a person reads it ("~/.wine"); FALSE
// (and empty) for a key of DayBridge's own file, or when the folder does not fit.
BOOL CxRegGetKeyPrefix(HKEY hKey, LPSTR szPrefix, DWORD nCapacity);

// The local path of a path read from a value of hKey: as it stands for DayBridge's own file;
// through the prefix's drive links, without regard to case, for a key of a Wine prefix.
// ERROR_PATH_NOT_FOUND when the prefix does not lead to it safely (CxRegGetWineNote says
// why), ERROR_INSUFFICIENT_BUFFER when it does not fit.
LONG CxRegLocalPath(HKEY hKey, LPCSTR szRegPath, LPSTR szLocal, DWORD nCapacity);

// Why the Wine prefix's registry or a path in it was last refused or partly skipped; FALSE
// (and empty) when nothing was.
BOOL CxRegGetWineNote(LPSTR szNote, DWORD nCapacity);

// Tests and the fuzz target read the registry from this text instead of the file while it is
// set (the text is copied; no Wine prefix is read meanwhile). Pass null to return to the file.
void CxRegSetText(const char* pText, size_t nSize);
