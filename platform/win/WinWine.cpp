// The Wine registry reader and the prefix's drive mapping.
//
// How the reader works: the file is read line by line, each line bounded (a longer one is
// skipped whole, never held). After the "WINE REGISTRY Version 2" header a line is a key
// header ("[Software\\Palm] 1700000000", the name written with Wine's escapes), an option
// ("#time=...", "#arch=..."), a comment (";") or a value ("name"=data, @=data) of the key
// above it. Hex data ends a line with '\' to go on at the next. Texts are UTF-16 inside Wine:
// escaped characters (\x20ac, octal, \n ...) and UTF-8 are decoded to UTF-16 first, then given
// in the ANSI code page, as the ANSI API of Windows gives them.
#include "platform/win/WinWine.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/win/WinFolder.h"
#include "platform/win/WinText.h"

namespace {

// Wine writes a line per value, and no Palm Desktop value comes near this; a longer line is a
// damaged or hostile file and is skipped rather than held in memory.
constexpr size_t kMaxLineBytes = 1024u * 1024u;
// Windows refuses key paths longer than this.
constexpr size_t kMaxKeyPathChars = 32767;
// The keys a caller keeps (Palm Desktop's) hold a few hundred bytes; far more is no
// installation's, and is refused whole.
constexpr size_t kMaxKeptBytes = 16u * 1024u * 1024u;
// What a kept key or value costs beside its text, so that a flood of tiny keys is bounded too.
constexpr size_t kEntryCost = 64;
// Entries looked at in one folder while matching a name without regard to case.
constexpr size_t kMaxFolderEntries = 100000;

const char kHeader[] = "WINE REGISTRY Version 2";

// Reads one line without its end; false at the end of the input. A line longer than
// kMaxLineBytes is consumed and reported through bTooLong with only its first bytes kept.
bool ReadLine(std::istream& in, std::string& strLine, bool& bTooLong) {
  strLine.clear();
  bTooLong = false;
  std::streambuf* pBuf = in.rdbuf();
  if (!pBuf) return false;
  bool bAny = false;
  for (;;) {
    const int c = pBuf->sbumpc();
    if (c == std::char_traits<char>::eof()) break;
    bAny = true;
    if (c == '\n') break;
    if (strLine.size() < kMaxLineBytes) {
      strLine.push_back(static_cast<char>(c));
    } else {
      bTooLong = true;
    }
  }
  if (!strLine.empty() && strLine.back() == '\r') strLine.pop_back();
  return bAny;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One UTF-8 sequence at strText[nPos]; a byte that starts none stands for itself (Latin-1).
char32_t DecodeUtf8At(const std::string& strText, size_t& nPos) {
  const unsigned char c = static_cast<unsigned char>(strText[nPos]);
  const size_t nTrail = c >= 0xC2 && c <= 0xDF   ? 1
                        : c >= 0xE0 && c <= 0xEF ? 2
                        : c >= 0xF0 && c <= 0xF4 ? 3
                                                 : 0;
  if (nTrail == 0 || nPos + nTrail >= strText.size()) {
    ++nPos;
    return c;
  }
  char32_t cp = c & (0x3F >> nTrail);
  for (size_t k = 1; k <= nTrail; ++k) {
    const unsigned char t = static_cast<unsigned char>(strText[nPos + k]);
    if ((t & 0xC0) != 0x80) {
      ++nPos;
      return c;
    }
    cp = (cp << 6) | (t & 0x3F);
  }
  nPos += nTrail + 1;
  return cp;
}

void AppendCodePoint(std::u16string& sOut, char32_t cp) {
  if (cp >= 0x10000 && cp <= 0x10FFFF) {
    cp -= 0x10000;
    sOut.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    sOut.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    sOut.push_back(static_cast<char16_t>(cp));
  }
}

// Reads Wine's escaped text from strText[nPos] up to the unescaped cEnd; nPos ends after it.
// False when cEnd never comes.
bool ReadEscaped(const std::string& strText, size_t& nPos, char cEnd, std::u16string& sOut) {
  sOut.clear();
  while (nPos < strText.size()) {
    const char c = strText[nPos];
    if (c == cEnd) {
      ++nPos;
      return true;
    }
    if (c != '\\') {
      AppendCodePoint(sOut, DecodeUtf8At(strText, nPos));
      continue;
    }
    if (++nPos >= strText.size()) return false;
    const char e = strText[nPos];
    static const char kLetters[] = "abefnrtv";
    static const char16_t kCodes[] = {7, 8, 27, 12, 10, 13, 9, 11};
    const char* pLetter = e ? std::strchr(kLetters, e) : nullptr;
    if (pLetter) {
      sOut.push_back(kCodes[pLetter - kLetters]);
      ++nPos;
    } else if (e == 'x') {
      ++nPos;
      char16_t nUnit = 0;
      int nDigits = 0;
      while (nDigits < 4 && nPos < strText.size() && HexDigit(strText[nPos]) >= 0) {
        nUnit = static_cast<char16_t>(nUnit * 16 + HexDigit(strText[nPos++]));
        ++nDigits;
      }
      sOut.push_back(nDigits ? nUnit : u'x');
    } else if (e >= '0' && e <= '7') {
      char16_t nUnit = 0;
      for (int nDigits = 0;
           nDigits < 3 && nPos < strText.size() && strText[nPos] >= '0' && strText[nPos] <= '7';
           ++nDigits) {
        nUnit = static_cast<char16_t>(nUnit * 8 + (strText[nPos++] - '0'));
      }
      sOut.push_back(nUnit);
    } else {
      AppendCodePoint(sOut, DecodeUtf8At(strText, nPos));
    }
  }
  return false;
}

std::string LowerAscii(std::string strText) {
  for (char& c : strText) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return strText;
}

// UTF-16 text (any NULs inside kept) in the ANSI code page.
std::string WideToAnsi(const std::u16string& sWide) {
  if (sWide.empty()) return std::string();
  const int nUnits = static_cast<int>(sWide.size());
  const int nNeeded =
      WideCharToMultiByte(CP_ACP, 0, sWide.data(), nUnits, nullptr, 0, nullptr, nullptr);
  if (nNeeded <= 0) return std::string();
  std::string strOut(static_cast<size_t>(nNeeded), '\0');
  WideCharToMultiByte(CP_ACP, 0, sWide.data(), nUnits, strOut.data(), nNeeded, nullptr, nullptr);
  return strOut;
}

bool IsTextType(DWORD nType) {
  return nType == 1 || nType == 2 || nType == 7;  // REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ
}

// A text of a text kind in the ANSI code page with its terminator, as the ANSI API reports it;
// of any other kind (Wine writes str(N) for any N) the UTF-16 bytes Wine keeps, untouched.
void SetText(CxWineValue& value, const std::u16string& sText) {
  value.data.clear();
  if (!IsTextType(value.nType)) {
    for (char16_t c : sText) {
      value.data.push_back(static_cast<BYTE>(c & 0xFF));
      value.data.push_back(static_cast<BYTE>(c >> 8));
    }
    value.data.push_back(0);
    value.data.push_back(0);
    return;
  }
  const std::string strAnsi = WideToAnsi(sText);
  value.data.assign(strAnsi.begin(), strAnsi.end());
  value.data.push_back(0);
}

// Comma-separated hex bytes ("00,01,ff"); false on anything else.
bool ReadHexBytes(const std::string& strData, std::vector<BYTE>& bytes) {
  bytes.clear();
  size_t nPos = 0;
  while (nPos < strData.size()) {
    if (strData[nPos] == ' ' || strData[nPos] == '\t') {
      ++nPos;
      continue;
    }
    if (nPos + 1 >= strData.size() || HexDigit(strData[nPos]) < 0 ||
        HexDigit(strData[nPos + 1]) < 0) {
      return false;
    }
    bytes.push_back(static_cast<BYTE>(HexDigit(strData[nPos]) * 16 + HexDigit(strData[nPos + 1])));
    nPos += 2;
    while (nPos < strData.size() && (strData[nPos] == ' ' || strData[nPos] == '\t')) ++nPos;
    if (nPos < strData.size()) {
      if (strData[nPos] != ',') return false;
      ++nPos;
    }
  }
  return true;
}

// "(N):" after "hex" or "str"; nPos ends after the colon. N is hexadecimal, as Wine writes it.
bool ReadTypeSuffix(const std::string& strData, size_t& nPos, DWORD& nType) {
  if (nPos >= strData.size() || strData[nPos] != '(') return false;
  ++nPos;
  nType = 0;
  int nDigits = 0;
  while (nPos < strData.size() && HexDigit(strData[nPos]) >= 0 && nDigits < 8) {
    nType = nType * 16 + static_cast<DWORD>(HexDigit(strData[nPos++]));
    ++nDigits;
  }
  if (nDigits == 0 || nPos + 1 >= strData.size() || strData[nPos] != ')' ||
      strData[nPos + 1] != ':') {
    return false;
  }
  nPos += 2;
  return true;
}

// The data after '=': false when it is no form Wine writes.
bool ParseData(const std::string& strData, CxWineValue& value) {
  size_t nPos = 0;
  std::u16string sText;
  if (!strData.empty() && strData[0] == '"') {
    nPos = 1;
    if (!ReadEscaped(strData, nPos, '"', sText) || nPos != strData.size()) return false;
    value.nType = 1;
    SetText(value, sText);
    return true;
  }
  if (strData.compare(0, 4, "str(") == 0) {
    nPos = 3;
    if (!ReadTypeSuffix(strData, nPos, value.nType) || nPos >= strData.size() ||
        strData[nPos] != '"') {
      return false;
    }
    ++nPos;
    if (!ReadEscaped(strData, nPos, '"', sText) || nPos != strData.size()) return false;
    SetText(value, sText);
    return true;
  }
  if (strData.compare(0, 6, "dword:") == 0) {
    const std::string strHex = strData.substr(6);
    if (strHex.empty() || strHex.size() > 8) return false;
    DWORD nValue = 0;
    for (char c : strHex) {
      if (HexDigit(c) < 0) return false;
      nValue = nValue * 16 + static_cast<DWORD>(HexDigit(c));
    }
    value.nType = 4;
    for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<BYTE>(nValue >> (8 * i)));
    return true;
  }
  if (strData.compare(0, 3, "hex") == 0) {
    nPos = 3;
    if (nPos < strData.size() && strData[nPos] == ':') {
      value.nType = 3;
      ++nPos;
    } else if (!ReadTypeSuffix(strData, nPos, value.nType)) {
      return false;
    }
    if (!ReadHexBytes(strData.substr(nPos), value.data)) return false;
    if (IsTextType(value.nType)) {
      std::u16string sWide;
      for (size_t i = 0; i + 1 < value.data.size(); i += 2) {
        sWide.push_back(static_cast<char16_t>(value.data[i] | (value.data[i + 1] << 8)));
      }
      // The stored terminator comes back from SetText; a text without one gains it, as the
      // ANSI API adds it.
      if (!sWide.empty() && sWide.back() == 0) sWide.pop_back();
      SetText(value, sWide);
    }
    return true;
  }
  return false;
}

// A key header's path, lower-cased, without empty components; false when it is damaged.
bool ParseKeyHeader(const std::string& strLine, std::string& strPath) {
  size_t nPos = 1;
  std::u16string sName;
  if (!ReadEscaped(strLine, nPos, ']', sName) || sName.size() > kMaxKeyPathChars) return false;
  std::string strAnsi = LowerAscii(WideToAnsi(sName));
  if (strAnsi.find('\0') != std::string::npos) return false;
  strPath.clear();
  size_t nStart = 0;
  while (nStart <= strAnsi.size()) {
    size_t nEnd = strAnsi.find('\\', nStart);
    if (nEnd == std::string::npos) nEnd = strAnsi.size();
    if (nEnd > nStart) {
      if (!strPath.empty()) strPath += '\\';
      strPath.append(strAnsi, nStart, nEnd - nStart);
    }
    nStart = nEnd + 1;
  }
  return !strPath.empty();
}

void NoteSkip(CxWineKeys& result, const std::string& strWhy) {
  if (result.nSkipped++ == 0) result.strFirstSkip = strWhy;
}

bool IsInside(const std::string& strPath, const std::string& strRoot) {
  return strPath == strRoot ||
         (strPath.size() > strRoot.size() && strPath.compare(0, strRoot.size(), strRoot) == 0 &&
          strPath[strRoot.size()] == '/');
}

// The canonical path, or empty with the errno that stopped it.
std::string RealPath(const std::string& strPath, int& nError) {
  struct FreeText {
    void operator()(char* p) const { std::free(p); }
  };
  std::unique_ptr<char, FreeText> pReal(::realpath(strPath.c_str(), nullptr));
  nError = pReal ? 0 : errno;
  return pReal ? std::string(pReal.get()) : std::string();
}

// Case folding for names as Windows compares them: ASCII and the Latin-1 letters.
std::u16string FoldName(const std::string& strUtf8) {
  std::u16string sName = CxUtf8ToUtf16(strUtf8.data(), strUtf8.size());
  for (char16_t& c : sName) {
    if ((c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) c += 32;
  }
  return sName;
}

// The entry of strFolder that strName names: itself when it exists, else the one that
// matches without regard to case (the first in name order, so the choice does not depend on
// the order the folder lists them). Empty when none.
std::string MatchEntry(const std::string& strFolder, const std::string& strName) {
  struct stat st {};
  if (::lstat((strFolder + "/" + strName).c_str(), &st) == 0) return strName;
  struct DirCloser {
    void operator()(DIR* pDir) const { ::closedir(pDir); }
  };
  std::unique_ptr<DIR, DirCloser> pDir(::opendir(strFolder.c_str()));
  if (!pDir) return std::string();
  const std::u16string sWanted = FoldName(strName);
  std::string strBest;
  size_t nSeen = 0;
  while (const dirent* pEntry = ::readdir(pDir.get())) {
    if (++nSeen > kMaxFolderEntries) break;
    const std::string strEntry = pEntry->d_name;
    if (strEntry == "." || strEntry == "..") continue;
    if (FoldName(strEntry) == sWanted && (strBest.empty() || strEntry < strBest)) {
      strBest = strEntry;
    }
  }
  return strBest;
}

std::vector<std::string> SplitComponents(const std::string& strPath) {
  std::vector<std::string> parts;
  size_t nStart = 0;
  while (nStart <= strPath.size()) {
    size_t nEnd = strPath.find_first_of("\\/", nStart);
    if (nEnd == std::string::npos) nEnd = strPath.size();
    if (nEnd > nStart) parts.push_back(strPath.substr(nStart, nEnd - nStart));
    nStart = nEnd + 1;
  }
  return parts;
}

}  // namespace

bool CxWineReadRegistry(std::istream& in, const std::function<bool(const std::string&)>& pfnKeep,
                        CxWineKeys& result, std::string& strReason) {
  result = CxWineKeys();
  strReason.clear();
  std::string strLine;
  bool bTooLong = false;
  if (!ReadLine(in, strLine, bTooLong) || bTooLong || strLine != kHeader) {
    strReason = "it is not a Wine registry file (no \"WINE REGISTRY Version 2\" header)";
    return false;
  }
  std::map<std::string, CxWineValue>* pKey = nullptr;
  size_t nKeptBytes = 0;
  while (ReadLine(in, strLine, bTooLong)) {
    if (bTooLong) {
      // A key header that is cut would leave its values to the key above it.
      if (strLine.empty() || strLine[0] == '[') pKey = nullptr;
      NoteSkip(result, "a line longer than 1 MiB");
      continue;
    }
    if (strLine.empty() || strLine[0] == ';' || strLine[0] == '#') continue;
    if (strLine[0] == '[') {
      pKey = nullptr;
      std::string strPath;
      if (!ParseKeyHeader(strLine, strPath)) {
        NoteSkip(result, "a damaged or overlong key name");
        continue;
      }
      if (!pfnKeep(strPath)) continue;
      nKeptBytes += strPath.size() + kEntryCost;
      if (nKeptBytes > kMaxKeptBytes) break;
      pKey = &result.keys[strPath];
      continue;
    }
    if (strLine[0] != '"' && strLine[0] != '@') continue;
    // Hex data goes on over lines that end with a backslash; each of them is read, kept or
    // not, so a skipped value's data is not taken for lines of its own.
    while (strLine.size() > 1 && strLine.back() == '\\' &&
           strLine.find("=hex") != std::string::npos) {
      std::string strNext;
      bool bNextTooLong = false;
      if (!ReadLine(in, strNext, bNextTooLong)) break;
      strLine.pop_back();
      const size_t nFirst = strNext.find_first_not_of(" \t");
      if (bNextTooLong || strLine.size() + strNext.size() > kMaxLineBytes) {
        bTooLong = true;
        strLine.resize(1);
      } else if (nFirst != std::string::npos) {
        strLine.append(strNext, nFirst, std::string::npos);
      }
    }
    if (!pKey) continue;
    if (bTooLong) {
      NoteSkip(result, "a value longer than 1 MiB");
      continue;
    }
    std::u16string sName;
    size_t nPos = 1;
    if (strLine[0] == '"' && !ReadEscaped(strLine, nPos, '"', sName)) {
      NoteSkip(result, "a value with a damaged name");
      continue;
    }
    CxWineValue value;
    if (nPos >= strLine.size() || strLine[nPos] != '=' ||
        !ParseData(strLine.substr(nPos + 1), value)) {
      NoteSkip(result, "a value of a kind Wine does not write");
      continue;
    }
    const std::string strName = LowerAscii(WideToAnsi(sName));
    nKeptBytes += strName.size() + value.data.size() + kEntryCost;
    if (nKeptBytes > kMaxKeptBytes) break;
    (*pKey)[strName] = std::move(value);
  }
  if (nKeptBytes > kMaxKeptBytes) {
    result = CxWineKeys();
    strReason = "the keys asked for hold more than 16 MiB";
    return false;
  }
  return true;
}

std::string CxWinePrefixFolder() {
  const char* szPrefix = std::getenv("WINEPREFIX");
  if (szPrefix && *szPrefix) return szPrefix;
  const char* szHome = std::getenv("HOME");
  if (!szHome || !*szHome) return std::string();
  return std::string(szHome) + "/.wine";
}

std::string CxWineShownFolder(const std::string& strPrefix) {
  const char* szHome = std::getenv("HOME");
  std::string strHome = szHome ? szHome : "";
  while (strHome.size() > 1 && strHome.back() == '/') strHome.pop_back();
  if (strHome.size() > 1 && IsInside(strPrefix, strHome)) {
    return std::string(1, '~').append(strPrefix, strHome.size());
  }
  return strPrefix;
}

bool CxWineLocalPath(const std::string& strPrefix, const std::string& strWinPath,
                     std::string& strLocal, std::string& strReason) {
  strLocal.clear();
  strReason.clear();
  int nError = 0;
  const std::string strRoot = RealPath(strPrefix, nError);
  if (strRoot.empty()) {
    strReason =
        "the Wine prefix " + strPrefix + " cannot be opened (" + std::strerror(nError) + ")";
    return false;
  }
  const unsigned char cDrive = strWinPath.empty() ? 0 : static_cast<unsigned char>(strWinPath[0]);
  if (strWinPath.size() < 2 || strWinPath[1] != ':' ||
      !((cDrive >= 'A' && cDrive <= 'Z') || (cDrive >= 'a' && cDrive <= 'z'))) {
    strReason = "\"" + strWinPath + "\" names no drive";
    return false;
  }
  const char cLetter = static_cast<char>(cDrive | 0x20);
  const std::string strDrive = std::string(1, static_cast<char>(cLetter - 'a' + 'A')) + ":";
  std::string strCurrent = RealPath(strRoot + "/dosdevices/" + cLetter + ":", nError);
  if (strCurrent.empty()) {
    strReason = nError == ELOOP ? "the links of drive " + strDrive + " go round in a cycle"
                                : "the Wine prefix has no drive " + strDrive;
    return false;
  }
  if (!IsInside(strCurrent, strRoot)) {
    strReason = "drive " + strDrive + " leads outside the Wine prefix";
    return false;
  }
  const std::vector<std::string> parts = SplitComponents(strWinPath.substr(2));
  bool bMissing = false;
  for (const std::string& strPart : parts) {
    if (strPart == ".") continue;
    if (strPart == "..") {
      strReason = "\"" + strWinPath + "\" climbs with \"..\"";
      return false;
    }
    const std::string strName = CxAnsiToUtf8(strPart.c_str());
    const std::string strFound = bMissing ? std::string() : MatchEntry(strCurrent, strName);
    if (strFound.empty()) {
      bMissing = true;
      strCurrent += "/" + strName;
      continue;
    }
    strCurrent += "/" + strFound;
    struct stat st {};
    if (::lstat(strCurrent.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      const std::string strTarget = RealPath(strCurrent, nError);
      if (nError == ELOOP) {
        strReason = "the links of \"" + strWinPath + "\" go round in a cycle";
        return false;
      }
      if (!strTarget.empty() && !IsInside(strTarget, strRoot)) {
        strReason = "\"" + strWinPath + "\" leads outside the Wine prefix";
        return false;
      }
    }
  }
  const char cLast = strWinPath.back();
  if ((cLast == '\\' || cLast == '/') && strCurrent.back() != '/') strCurrent += '/';
  strLocal = strCurrent;
  return true;
}

BOOL CxMatchPathCase(LPCSTR szPath, LPSTR szOut, DWORD nCapacity) {
  if (!szPath || !szOut || nCapacity == 0) return FALSE;
  const std::string strPath = szPath;
  std::string strResult = !strPath.empty() && strPath[0] == '/' ? "/" : "";
  std::string strFolder = strResult.empty() ? "." : "/";
  bool bMissing = false;
  for (const std::string& strPart : SplitComponents(strPath)) {
    std::string strName = strPart;
    if (!bMissing && strPart != "." && strPart != "..") {
      const std::string strFound = MatchEntry(strFolder, strPart);
      if (strFound.empty()) {
        bMissing = true;
      } else {
        strName = strFound;
      }
    }
    if (!strResult.empty() && strResult.back() != '/') strResult += '/';
    strResult += strName;
    strFolder = strResult;
  }
  if (!strPath.empty() && strPath.back() == '/' && !strResult.empty() && strResult.back() != '/') {
    strResult += '/';
  }
  if (strResult.size() >= nCapacity) {
    szOut[0] = '\0';
    return FALSE;
  }
  std::memcpy(szOut, strResult.c_str(), strResult.size() + 1);
  return TRUE;
}
