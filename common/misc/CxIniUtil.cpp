// Settings-file wrapper over the private-profile functions.
#include "common/misc/CxIniUtil.h"
#define DB_MODULE "CxIniUtil"
#include <climits>
#include <cstdio>
#include <cstring>

#include "common/misc/CxDebugUtil.h"
#include "common/misc/WinUtil.h"
#include "platform/win/WinProfile.h"
#include "platform/win/WinString.h"

namespace {

// Room for any 32-bit value with its sign, as the settings store them.
constexpr int kIntTextSize = 32;

bool IsEmpty(const char* szText) {
  return szText == nullptr || szText[0] == '\0';
}

}  // namespace

CxIniUtil::CxIniUtil(const char* szFolder, const char* szFileName) {
  char szAppFolder[MAX_PATH] = "";
  if (szFolder == nullptr) {
    if (!GetAppFolder(szAppFolder, static_cast<int>(sizeof(szAppFolder)))) {
      Log(0, "Cannot find the program folder for the settings file");
    }
    szFolder = szAppFolder;
  }
  char szPath[MAX_PATH * 2];
  const int nLength =
      std::snprintf(szPath, sizeof(szPath), "%s%s", szFolder, szFileName ? szFileName : "");
  if (nLength < 0 || nLength >= MAX_PATH) {
    Log(0, "Settings file path too long: %s%s", szFolder, szFileName ? szFileName : "");
    return;
  }
  CxCopyText(m_szPath, szPath);
}

void CxIniUtil::SetPath(const char* szPath) {
  if (IsEmpty(szPath)) return;
  if (std::strlen(szPath) >= sizeof(m_szPath)) {
    Log(0, "Settings file path too long: %s", szPath);
    return;
  }
  CxCopyText(m_szPath, szPath);
}

void CxIniUtil::SetDefaultSection(const char* szSection) {
  CxCopyText(m_szSection, szSection);
}

const char* CxIniUtil::SectionOr(const char* szSection) const {
  return IsEmpty(szSection) ? m_szSection : szSection;
}

int CxIniUtil::ReadString(const char* szSection, const char* szKey, char* szBuf, int nSize,
                          const char* szDefault) {
  if (IsEmpty(szKey) || szBuf == nullptr || nSize <= 0) return 0;
  return static_cast<int>(GetPrivateProfileString(SectionOr(szSection), szKey, szDefault, szBuf,
                                                  static_cast<DWORD>(nSize), m_szPath));
}

int CxIniUtil::ReadInt(const char* szSection, const char* szKey, int nDefault) {
  char szValue[kIntTextSize];
  if (ReadString(szSection, szKey, szValue, kIntTextSize, "") <= 0) return nDefault;
  const char* p = szValue;
  bool bNegative = false;
  if (*p == '-' || *p == '+') bNegative = *p++ == '-';
  long long nValue = 0;
  // Saturate rather than overflow: a hand-edited file may hold any number of digits.
  for (; *p >= '0' && *p <= '9' && nValue <= INT_MAX; ++p) nValue = nValue * 10 + (*p - '0');
  if (bNegative) nValue = -nValue;
  if (nValue > INT_MAX) return INT_MAX;
  if (nValue < INT_MIN) return INT_MIN;
  return static_cast<int>(nValue);
}

bool CxIniUtil::ReadBool(const char* szSection, const char* szKey, bool bDefault) {
  return ReadInt(szSection, szKey, bDefault ? 1 : 0) != 0;
}

bool CxIniUtil::WriteString(const char* szSection, const char* szKey, const char* szText) {
  if (IsEmpty(szKey)) return false;
  if (!WritePrivateProfileString(SectionOr(szSection), szKey, szText ? szText : "", m_szPath)) {
    Log(0, "Cannot write key %s to %s", szKey, m_szPath);
    return false;
  }
  return true;
}

bool CxIniUtil::WriteInt(const char* szSection, const char* szKey, int nValue) {
  char szValue[kIntTextSize];
  std::snprintf(szValue, sizeof(szValue), "%d", nValue);
  return WriteString(szSection, szKey, szValue);
}

bool CxIniUtil::WriteBool(const char* szSection, const char* szKey, bool bValue) {
  return WriteString(szSection, szKey, bValue ? "1" : "0");
}
