// Windows-1252 and UTF-8 to and from UTF-16. The 1252 table is the one Windows uses,
// including its treatment of the five bytes 1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D): they map to the C1 controls of the same value and back, so such bytes survive a
// round trip through wide text.
#include "platform/win/WinText.h"

#include <cstring>

#include "platform/win/WinSystem.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// 0x80..0x9F of Windows-1252; the rest of the byte range is Latin-1.
constexpr char16_t kAnsiHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

char16_t AnsiToWide(unsigned char c) {
  return c >= 0x80 && c <= 0x9F ? kAnsiHigh[c - 0x80] : static_cast<char16_t>(c);
}

// The 1252 byte of a UTF-16 unit, or -1 when 1252 has none.
int WideToAnsi(char16_t w) {
  if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) return static_cast<int>(w);
  for (int i = 0; i < 32; ++i) {
    if (kAnsiHigh[i] == w) return 0x80 + i;
  }
  return -1;
}

bool IsAnsiCodePage(UINT nCodePage) {
  // CP_ACP, CP_OEMCP, CP_THREAD_ACP and 1252 itself all mean the one ANSI page here.
  return nCodePage == CP_ACP || nCodePage == 1 || nCodePage == 3 || nCodePage == 1252;
}

bool IsHighSurrogate(char16_t w) {
  return w >= 0xD800 && w <= 0xDBFF;
}
bool IsLowSurrogate(char16_t w) {
  return w >= 0xDC00 && w <= 0xDFFF;
}

void AppendCodePoint(std::u16string& out, char32_t c) {
  if (c >= 0x10000) {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(c));
  }
}

// Malformed sequences (stray continuation bytes, overlong forms, encoded surrogates, values
// above U+10FFFF, a sequence cut short) each give one U+FFFD and decoding resumes at the next
// byte that could start a character.
std::u16string DecodeUtf8(const unsigned char* p, size_t n) {
  std::u16string out;
  out.reserve(n);
  size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    size_t nTrail = 0;
    char32_t cp = 0;
    char32_t cpMin = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      nTrail = 1, cp = c & 0x1F, cpMin = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
      nTrail = 2, cp = c & 0x0F, cpMin = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
      nTrail = 3, cp = c & 0x07, cpMin = 0x10000;
    } else {
      out.push_back(kReplacement);
      ++i;
      continue;
    }
    size_t nRead = 1;
    while (nRead <= nTrail && i + nRead < n && (p[i + nRead] & 0xC0) == 0x80) {
      cp = (cp << 6) | (p[i + nRead] & 0x3F);
      ++nRead;
    }
    if (nRead <= nTrail || cp < cpMin || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(kReplacement);
    } else {
      AppendCodePoint(out, cp);
    }
    i += nRead;
  }
  return out;
}

std::string EncodeUtf8(const char16_t* p, size_t n) {
  std::string strUtf8;
  strUtf8.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    char32_t cp = p[i];
    if (IsHighSurrogate(p[i]) && i + 1 < n && IsLowSurrogate(p[i + 1])) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (p[i + 1] - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(p[i]) || IsLowSurrogate(p[i])) {
      cp = kReplacement;
    }
    if (cp < 0x80) {
      strUtf8.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      strUtf8.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      strUtf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      strUtf8.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      strUtf8.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      strUtf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      strUtf8.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      strUtf8.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      strUtf8.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      strUtf8.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return strUtf8;
}

std::string EncodeAnsi(const char16_t* p, size_t n, char cDefault, bool* pUsedDefault) {
  std::string strAnsi;
  strAnsi.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    // A character outside the basic plane is one character, so it becomes one default.
    if (IsHighSurrogate(p[i]) && i + 1 < n && IsLowSurrogate(p[i + 1])) ++i;
    const int nByte = IsHighSurrogate(p[i]) || IsLowSurrogate(p[i]) ? -1 : WideToAnsi(p[i]);
    if (nByte < 0) {
      strAnsi.push_back(cDefault);
      *pUsedDefault = true;
    } else {
      strAnsi.push_back(static_cast<char>(nByte));
    }
  }
  return strAnsi;
}

}  // namespace

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar) {
  const bool bUtf8 = CodePage == CP_UTF8;
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (cchWideChar > 0 && lpWideCharStr == nullptr) || (!bUtf8 && !IsAnsiCodePage(CodePage))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const size_t nIn =
      cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  const auto* pIn = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
  std::u16string wide;
  if (bUtf8) {
    wide = DecodeUtf8(pIn, nIn);
  } else {
    wide.resize(nIn);
    for (size_t i = 0; i < nIn; ++i) wide[i] = AnsiToWide(pIn[i]);
  }
  if (wide.size() > 0x7FFFFFFF) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const int nNeeded = static_cast<int>(wide.size());
  if (cchWideChar == 0) return nNeeded;
  if (nNeeded > cchWideChar) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpWideCharStr, wide.data(), wide.size() * sizeof(char16_t));
  return nNeeded;
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        BOOL* lpUsedDefaultChar) {
  const bool bUtf8 = CodePage == CP_UTF8;
  if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && lpMultiByteStr == nullptr) || (!bUtf8 && !IsAnsiCodePage(CodePage))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t nIn = 0;
  if (cchWideChar == -1) {
    while (lpWideCharStr[nIn] != 0) ++nIn;
    ++nIn;
  } else {
    nIn = static_cast<size_t>(cchWideChar);
  }
  bool bUsedDefault = false;
  const char cDefault = lpDefaultChar != nullptr ? lpDefaultChar[0] : '?';
  const std::string strNarrow = bUtf8 ? EncodeUtf8(lpWideCharStr, nIn)
                                      : EncodeAnsi(lpWideCharStr, nIn, cDefault, &bUsedDefault);
  if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = bUsedDefault ? TRUE : FALSE;
  if (strNarrow.size() > 0x7FFFFFFF) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const int nNeeded = static_cast<int>(strNarrow.size());
  if (cbMultiByte == 0) return nNeeded;
  if (nNeeded > cbMultiByte) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpMultiByteStr, strNarrow.data(), strNarrow.size());
  return nNeeded;
}

std::u16string CxAnsiToUtf16(const char* szAnsi) {
  std::u16string out;
  if (szAnsi == nullptr) return out;
  for (const auto* p = reinterpret_cast<const unsigned char*>(szAnsi); *p != 0; ++p) {
    out.push_back(AnsiToWide(*p));
  }
  return out;
}

std::string CxUtf16ToAnsi(const char16_t* szWide) {
  if (szWide == nullptr) return std::string();
  size_t n = 0;
  while (szWide[n] != 0) ++n;
  bool bUsedDefault = false;
  return EncodeAnsi(szWide, n, '?', &bUsedDefault);
}

std::string CxAnsiToUtf8(const char* szAnsi) {
  const std::u16string wide = CxAnsiToUtf16(szAnsi);
  return EncodeUtf8(wide.data(), wide.size());
}

std::string CxUtf8ToAnsi(const char* szUtf8) {
  if (szUtf8 == nullptr) return std::string();
  const std::u16string wide =
      DecodeUtf8(reinterpret_cast<const unsigned char*>(szUtf8), std::strlen(szUtf8));
  bool bUsedDefault = false;
  return EncodeAnsi(wide.data(), wide.size(), '?', &bUsedDefault);
}

std::u16string CxUtf8ToUtf16(const char* pUtf8, size_t nBytes) {
  if (pUtf8 == nullptr) return std::u16string();
  return DecodeUtf8(reinterpret_cast<const unsigned char*>(pUtf8), nBytes);
}

std::string CxUtf16ToUtf8(const char16_t* pWide, size_t nChars) {
  if (pWide == nullptr) return std::string();
  return EncodeUtf8(pWide, nChars);
}
