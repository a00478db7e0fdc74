// Bounded text copies. Every write of text into a fixed array in the program goes through
// lstrcpyn (Windows semantics: copies at most n - 1 characters and always terminates), or
// CxCopyText, which takes the array's capacity from its type.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/win/WinTypes.h"

// Copies at most nMax - 1 characters of szSrc and terminates; a null source copies an empty
// text. Returns szDst, or null when szDst is null or nMax is not positive.
LPSTR lstrcpyn(LPSTR szDst, LPCSTR szSrc, int nMax);

// lstrcpyn into a fixed array, its capacity taken from the array type.
template <size_t N>
inline LPSTR CxCopyText(char (&szDst)[N], LPCSTR szSrc) {
  return lstrcpyn(szDst, szSrc, static_cast<int>(N));
}

// Case-insensitive comparison of ANSI (Windows-1252) texts, as lstrcmpi compares them:
// letters of both cases, accented ones included, compare equal. Null sorts first.
int lstrcmpi(LPCSTR szA, LPCSTR szB);

// The text without the given characters at either end. Each reader of an outside format
// names its own blanks: an ini line keeps a trailing CR that a calendar line drops.
inline constexpr std::string_view kCxBlanks = " \t\r\n";
std::string CxTrim(std::string_view strText, std::string_view strBlanks = kCxBlanks);
