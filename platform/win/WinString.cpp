// Bounded copies and the ANSI case-insensitive comparison. Text is Windows-1252, so case
// folding covers the accented Latin-1 letters and the few extra letters 1252 places in
// 0x80..0x9F (Š/š, Œ/œ, Ž/ž, Ÿ/ÿ).
#include "platform/win/WinString.h"

namespace {

unsigned char FoldAnsi(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + ('a' - 'A'));
  // À..Þ except the multiplication sign fold onto à..þ.
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 0x20);
  switch (c) {
    case 0x8A:
      return 0x9A;  // Š
    case 0x8C:
      return 0x9C;  // Œ
    case 0x8E:
      return 0x9E;  // Ž
    case 0x9F:
      return 0xFF;  // Ÿ
    default:
      return c;
  }
}

}  // namespace

LPSTR lstrcpyn(LPSTR szDst, LPCSTR szSrc, int nMax) {
  if (szDst == nullptr || nMax <= 0) return nullptr;
  int i = 0;
  if (szSrc != nullptr) {
    for (; i < nMax - 1 && szSrc[i] != '\0'; ++i) szDst[i] = szSrc[i];
  }
  szDst[i] = '\0';
  return szDst;
}

int lstrcmpi(LPCSTR szA, LPCSTR szB) {
  if (szA == szB) return 0;
  if (szA == nullptr) return -1;
  if (szB == nullptr) return 1;
  // Ordinal after folding: enough for the equality tests and stable sorting the program
  // needs; the locale's collation order is not reproduced.
  const auto* pA = reinterpret_cast<const unsigned char*>(szA);
  const auto* pB = reinterpret_cast<const unsigned char*>(szB);
  for (;; ++pA, ++pB) {
    const unsigned char a = FoldAnsi(*pA);
    const unsigned char b = FoldAnsi(*pB);
    if (a != b) return a < b ? -1 : 1;
    if (a == '\0') return 0;
  }
}

std::string CxTrim(std::string_view strText, std::string_view strBlanks) {
  const size_t nFirst = strText.find_first_not_of(strBlanks);
  if (nFirst == std::string_view::npos) return std::string();
  return std::string(strText.substr(nFirst, strText.find_last_not_of(strBlanks) - nFirst + 1));
}
