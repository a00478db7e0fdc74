// ANSI <-> wide text. The system ANSI code page is Windows-1252; wide text is UTF-16. The
// functions follow MultiByteToWideChar / WideCharToMultiByte: with a length of -1 the
// source is NUL-terminated and the terminator is converted and counted; with a destination
// size of 0 the needed size is returned; a destination too small gives 0
// (ERROR_INSUFFICIENT_BUFFER). Characters that Windows-1252 cannot hold become '?'.
#pragma once

#include <string>

#include "platform/win/WinTypes.h"

#define CP_ACP 0
#define CP_UTF8 65001

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar);

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        BOOL* lpUsedDefaultChar);

// Convenience forms for the platform's own code and for the views' boundary (UTF-8 is what
// Qt and libical take).
std::u16string CxAnsiToUtf16(const char* szAnsi);
std::string CxUtf16ToAnsi(const char16_t* szWide);
std::string CxAnsiToUtf8(const char* szAnsi);
std::string CxUtf8ToAnsi(const char* szUtf8);

// UTF-8 <-> UTF-16 of counted text (embedded NULs kept). Malformed sequences and lone
// surrogates become U+FFFD, so the result is always well-formed.
std::u16string CxUtf8ToUtf16(const char* pUtf8, size_t nBytes);
std::string CxUtf16ToUtf8(const char16_t* pWide, size_t nChars);
