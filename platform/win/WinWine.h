// A Wine prefix as the registry and file stand-ins see it: its registry files (system.reg for
// HKEY_LOCAL_MACHINE, user.reg for HKEY_CURRENT_USER), read only and never written, and its
// drive letters (dosdevices/<letter>: links), through which a Windows path names a Linux file.
//
// Everything read from a prefix is outside input: a file that is not a Wine registry is
// refused with a reason, a line or key longer than any Wine writes is skipped (its values
// with it), and a drive link that goes round in a cycle or leads outside the prefix is never
// followed.
#pragma once

#include <cstddef>
#include <functional>
#include <istream>
#include <map>
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

// A value as the ANSI registry API reports it: texts in the ANSI code page with their
// terminator, dwords as four little-endian bytes, other data as stored.
struct CxWineValue {
  DWORD nType = 0;
  std::vector<BYTE> data;
};

// The keys kept from one registry file: lower-case key path (components joined by '\',
// relative to the file's root) -> lower-case value name ("" for the default value) -> value.
struct CxWineKeys {
  std::map<std::string, std::map<std::string, CxWineValue>> keys;
  size_t nSkipped = 0;       // lines, keys or values skipped as damaged or oversized
  std::string strFirstSkip;  // why the first of them was skipped
};

// Reads the text of a Wine registry file ("WINE REGISTRY Version 2"), keeping the keys for
// which pfnKeep (given the lower-case path) says so. False, with strReason, when the text is
// no Wine registry or keeps more data than any Palm Desktop installation writes; what was
// kept up to then is dropped.
bool CxWineReadRegistry(std::istream& in, const std::function<bool(const std::string&)>& pfnKeep,
                        CxWineKeys& result, std::string& strReason);

// The prefix in use: $WINEPREFIX when set and not empty, else ~/.wine; empty when neither
// can be named. The prefix need not exist.
std::string CxWinePrefixFolder();

// The prefix as a person reads it: the home folder written "~" ("~/.wine").
std::string CxWineShownFolder(const std::string& strPrefix);

// Maps a Windows path ("C:\Program Files\Palm\") to the Linux path of the prefix's file:
// the drive through dosdevices/<letter>:, then each component matched without regard to
// case, as Windows matches it. Components that do not exist are kept as written; a trailing
// separator is kept. False, with strReason, for a path without a drive letter, a drive the
// prefix lacks, a link cycle, a link or ".." that leads outside the prefix.
bool CxWineLocalPath(const std::string& strPrefix, const std::string& strWinPath,
                     std::string& strLocal, std::string& strReason);
