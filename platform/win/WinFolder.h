// The shell's special folders. Only the folder for common application data exists here:
// $DAYBRIDGE_COMMON_APPDATA when set, else $XDG_DATA_HOME, else ~/.local/share, written
// without a trailing separator as Windows writes it.
#pragma once

#include "platform/win/WinTypes.h"

#define CSIDL_COMMON_APPDATA 0x0023
#define CSIDL_FLAG_CREATE 0x8000
#define CSIDL_FLAG_MASK 0xFF00

#define SHGFP_TYPE_CURRENT 0
#define SHGFP_TYPE_DEFAULT 1

// Writes the folder into pszPath (MAX_PATH characters). S_OK when the folder exists (with
// CSIDL_FLAG_CREATE it and its missing parents are created first); S_FALSE, with the path
// written, when it does not; E_INVALIDARG for another folder id or a missing buffer; E_FAIL
// when the path does not fit or the folder cannot be created (pszPath is then empty).
HRESULT SHGetFolderPath(HWND hwnd, int csidl, HANDLE hToken, DWORD dwFlags, LPSTR pszPath);

// (Defined with the Wine prefix's drive mapping, which matches names the same way.)
// The path of an existing file or folder that szPath names when its components are compared
// without regard to case (the datebook folder of a user copied from Windows may be
// "Datebook"). Components found as written stay as they are; from the first component that
// matches nothing the rest is kept as written. FALSE when the result does not fit.
BOOL CxMatchPathCase(LPCSTR szPath, LPSTR szOut, DWORD nCapacity);
