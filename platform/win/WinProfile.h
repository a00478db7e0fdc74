// Private-profile (INI) files with the Windows semantics the program relies on: section and
// key names compare without regard to case, blanks around names and values are trimmed, a
// value in matching double quotes loses them on reading, the file and the section are made
// on the first write, and every other line of the file is kept as it was. A missing file
// reads as empty. Writes replace the file atomically.
#pragma once

#include "platform/win/WinTypes.h"

// Copies the value (or lpDefault when the key or file is missing; an empty text when
// lpDefault is null) into lpReturnedString, cut to nSize - 1 characters, and returns the
// number of characters copied. A null section or key (the enumeration forms) is not
// supported and yields the default.
DWORD GetPrivateProfileString(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                              LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName);

// Reads the key as a decimal integer (leading digits, optional sign; 0 when none); nDefault
// when the key is missing.
UINT GetPrivateProfileInt(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName);

// Sets the key's value, adding the key (and the section) when missing. A null lpString
// deletes the key; a null lpKeyName deletes the whole section. Returns FALSE when the file
// cannot be written, or cannot be read (it is then left alone rather than replaced). Names
// with a line break fail with ERROR_INVALID_PARAMETER and a value keeps only its first
// line, so no call can plant other keys or sections. Of duplicate keys only the first is
// read, replaced or deleted, as on Windows.
BOOL WritePrivateProfileString(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                               LPCSTR lpFileName);
