// Private-profile files. Each call reads the whole file (they are small settings files),
// finds the section and key by case-insensitive name, and a write rebuilds the text with
// only the touched lines changed, then replaces the file through the platform's safe
// replacement, so that a crash in the middle leaves the old settings intact. A line ending in
// "\r\n" anywhere in the file makes the file CR LF; otherwise LF as read; new files get CR LF.
#include "platform/win/WinProfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win/WinFile.h"
#include "platform/win/WinReplace.h"
#include "platform/win/WinString.h"
#include "platform/win/WinSystem.h"

namespace {

// Files larger than this are not settings files; reading one as such would only waste memory.
constexpr long kMaxProfileBytes = 16L * 1024 * 1024;

struct ProfileText {
  std::vector<std::string> lines;  // without their line ends
  bool bEndsWithNewline = true;
  bool bCrLf = true;
};

const char* SkipBlanks(const char* p, const char* pEnd) {
  while (p < pEnd && (*p == ' ' || *p == '\t')) ++p;
  return p;
}

// The section name of a "[name]" line, or false for any other line.
bool SectionNameOf(const std::string& strLine, std::string* pName) {
  const char* p = SkipBlanks(strLine.data(), strLine.data() + strLine.size());
  const char* pEnd = strLine.data() + strLine.size();
  if (p == pEnd || *p != '[') return false;
  const char* pClose = static_cast<const char*>(std::memchr(p, ']', static_cast<size_t>(pEnd - p)));
  if (pClose == nullptr) pClose = pEnd;
  *pName = CxTrim(std::string(p + 1, pClose), " \t");
  return true;
}

// The key of a "key=value" line (value through pValue), or false for a line without '='.
bool KeyOf(const std::string& strLine, std::string* pKey, std::string* pValue) {
  const size_t nEquals = strLine.find('=');
  if (nEquals == std::string::npos) return false;
  *pKey = CxTrim(strLine.substr(0, nEquals), " \t");
  if (pValue != nullptr) *pValue = CxTrim(strLine.substr(nEquals + 1), " \t");
  return true;
}

bool SameName(const std::string& strName, const char* b) {
  return lstrcmpi(strName.c_str(), b) == 0;
}

bool ReadProfile(const char* szFile, ProfileText* pText) {
  std::string strContents;
  if (!CxReadWholeFile(szFile, static_cast<size_t>(kMaxProfileBytes), &strContents)) {
    const DWORD dwError = GetLastError();
    errno = dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND ? ENOENT
            : dwError == ERROR_FILE_TOO_LARGE                                  ? EFBIG
                                                                               : EACCES;
    return false;
  }

  if (strContents.compare(0, 3, "\xEF\xBB\xBF") == 0) strContents.erase(0, 3);
  pText->bCrLf =
      strContents.find("\r\n") != std::string::npos || strContents.find('\n') == std::string::npos;
  pText->bEndsWithNewline = strContents.empty() || strContents.back() == '\n';
  size_t nStart = 0;
  while (nStart < strContents.size()) {
    size_t nEnd = strContents.find('\n', nStart);
    if (nEnd == std::string::npos) nEnd = strContents.size();
    size_t nTextEnd = nEnd;
    if (nTextEnd > nStart && strContents[nTextEnd - 1] == '\r') --nTextEnd;
    pText->lines.push_back(strContents.substr(nStart, nTextEnd - nStart));
    nStart = nEnd + 1;
  }
  return true;
}

// [nBegin, nEnd) are the lines of the first section of that name after its header;
// nHeader is the header's index. False when the section is missing.
bool FindSection(const ProfileText& text, const char* szSection, size_t* pnHeader, size_t* pnEnd) {
  std::string strName;
  for (size_t i = 0; i < text.lines.size(); ++i) {
    if (!SectionNameOf(text.lines[i], &strName) || !SameName(strName, szSection)) continue;
    size_t nEnd = i + 1;
    while (nEnd < text.lines.size() && !SectionNameOf(text.lines[nEnd], &strName)) ++nEnd;
    *pnHeader = i;
    *pnEnd = nEnd;
    return true;
  }
  return false;
}

bool FindKey(const ProfileText& text, size_t nBegin, size_t nEnd, const char* szKey, size_t* pnLine,
             std::string* pValue) {
  std::string strKey;
  for (size_t i = nBegin; i < nEnd; ++i) {
    if (KeyOf(text.lines[i], &strKey, pValue) && SameName(strKey, szKey)) {
      *pnLine = i;
      return true;
    }
  }
  return false;
}

bool LookUp(const char* szSection, const char* szKey, const char* szFile, std::string* pValue) {
  if (szSection == nullptr || szKey == nullptr || szFile == nullptr) return false;
  ProfileText text;
  if (!ReadProfile(szFile, &text)) return false;
  size_t nHeader = 0, nEnd = 0, nLine = 0;
  if (!FindSection(text, szSection, &nHeader, &nEnd)) return false;
  if (!FindKey(text, nHeader + 1, nEnd, szKey, &nLine, pValue)) return false;
  if (pValue->size() >= 2 && pValue->front() == '"' && pValue->back() == '"') {
    *pValue = pValue->substr(1, pValue->size() - 2);
  }
  return true;
}

bool HasLineBreak(const char* szText) {
  return std::strpbrk(szText, "\r\n") != nullptr;
}

}  // namespace

DWORD GetPrivateProfileString(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault,
                              LPSTR lpReturnedString, DWORD nSize, LPCSTR lpFileName) {
  if (lpReturnedString == nullptr || nSize == 0) return 0;
  std::string strValue;
  if (!LookUp(lpAppName, lpKeyName, lpFileName, &strValue)) {
    // Windows drops trailing blanks of the default as it does of stored values.
    strValue = lpDefault != nullptr ? lpDefault : "";
    while (!strValue.empty() && (strValue.back() == ' ' || strValue.back() == '\t'))
      strValue.pop_back();
  }
  const int nCapacity = nSize > static_cast<DWORD>(INT_MAX) ? INT_MAX : static_cast<int>(nSize);
  lstrcpyn(lpReturnedString, strValue.c_str(), nCapacity);
  return static_cast<DWORD>(std::strlen(lpReturnedString));
}

UINT GetPrivateProfileInt(LPCSTR lpAppName, LPCSTR lpKeyName, INT nDefault, LPCSTR lpFileName) {
  std::string strValue;
  if (!LookUp(lpAppName, lpKeyName, lpFileName, &strValue) || strValue.empty()) {
    return static_cast<UINT>(nDefault);
  }
  const char* p = strValue.c_str();
  bool bNegative = false;
  if (*p == '-' || *p == '+') bNegative = *p++ == '-';
  long long nValue = 0;
  // Digits beyond 32 bits wrap as Windows' own parser does; the cap only keeps the
  // arithmetic defined.
  for (; *p >= '0' && *p <= '9'; ++p) nValue = (nValue * 10 + (*p - '0')) & 0xFFFFFFFFll;
  return static_cast<UINT>(bNegative ? -nValue : nValue);
}

BOOL WritePrivateProfileString(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString,
                               LPCSTR lpFileName) {
  if (lpFileName == nullptr || lpFileName[0] == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The all-null form asks Windows to flush its cache; there is none here.
  if (lpAppName == nullptr) return lpKeyName == nullptr && lpString == nullptr ? TRUE : FALSE;
  // A line break in a name would split the line and plant other keys or sections.
  if (HasLineBreak(lpAppName) || (lpKeyName != nullptr && HasLineBreak(lpKeyName))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }

  std::string strPath(lpFileName);
  char szResolved[PATH_MAX];
  // Replace the file a link points to, not the link.
  if (realpath(lpFileName, szResolved) != nullptr) strPath = szResolved;

  ProfileText text;
  const bool bExists = ReadProfile(strPath.c_str(), &text);
  // Only a missing file may be started afresh; one that cannot be read must not be replaced
  // by a file holding just this key.
  if (!bExists && errno != ENOENT) {
    SetLastError(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
    return FALSE;
  }
  size_t nHeader = 0, nEnd = 0, nLine = 0;
  const bool bSection = bExists && FindSection(text, lpAppName, &nHeader, &nEnd);
  std::string strOldValue;
  const bool bKey = bSection && lpKeyName != nullptr &&
                    FindKey(text, nHeader + 1, nEnd, lpKeyName, &nLine, &strOldValue);

  if (lpKeyName == nullptr) {
    if (!bSection) return TRUE;
    text.lines.erase(text.lines.begin() + static_cast<long>(nHeader),
                     text.lines.begin() + static_cast<long>(nEnd));
  } else if (lpString == nullptr) {
    if (!bKey) return TRUE;
    text.lines.erase(text.lines.begin() + static_cast<long>(nLine));
  } else {
    // A value keeps only its first line: the rest would be read back as other keys.
    std::string strValue(lpString);
    strValue = strValue.substr(0, strValue.find_first_of("\r\n"));
    if (bKey) {
      std::string strKey;
      KeyOf(text.lines[nLine], &strKey, nullptr);
      text.lines[nLine] = strKey + "=" + strValue;
    } else if (bSection) {
      // After the section's last non-blank line, so blank lines stay between sections.
      size_t nInsert = nEnd;
      while (nInsert > nHeader + 1 && CxTrim(text.lines[nInsert - 1], " \t").empty()) --nInsert;
      text.lines.insert(text.lines.begin() + static_cast<long>(nInsert),
                        CxTrim(lpKeyName, " \t") + "=" + strValue);
    } else {
      text.lines.push_back("[" + CxTrim(lpAppName, " \t") + "]");
      text.lines.push_back(CxTrim(lpKeyName, " \t") + "=" + strValue);
      text.bEndsWithNewline = true;
    }
  }

  const char* szEol = text.bCrLf ? "\r\n" : "\n";
  std::string strContents;
  for (size_t i = 0; i < text.lines.size(); ++i) {
    strContents += text.lines[i];
    if (i + 1 < text.lines.size() || text.bEndsWithNewline) strContents += szEol;
  }
  if (!CxReplaceFileContents(strPath.c_str(), strContents.data(), strContents.size(), nullptr,
                             nullptr)) {
    return FALSE;
  }
  return TRUE;
}
