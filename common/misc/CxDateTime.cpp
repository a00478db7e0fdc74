// The two representations of a moment kept in step. A failed conversion leaves the other
// representation as it was and bValid false; the texts still show stTime.
#include "common/misc/CxDateTime.h"
#define DB_MODULE "CxDateTime"
#include <cstdio>

#include "common/misc/CxDebugUtil.h"
#include "platform/win/WinTime.h"

namespace {

// Years outside this window show as an empty date text; they come from unset or damaged
// dates rather than from appointments anyone keeps.
const int kFirstShownYear = 1931;
const int kLastShownYear = 2030;

bool CheckBuffer(const char* szBuf, int nLine) {
  if (szBuf == nullptr) {
    CxAssertFailed("szBuf!=NULL", DB_MODULE, nLine);
    return false;
  }
  return true;
}

void FormatDate(const SYSTEMTIME& stTime, char* szBuf, int nSize) {
  if (stTime.wYear < kFirstShownYear || stTime.wYear > kLastShownYear) {
    szBuf[0] = '\0';
    return;
  }
  snprintf(szBuf, static_cast<size_t>(nSize), "%02d/%02d/%04d", stTime.wMonth, stTime.wDay,
           stTime.wYear);
}

void FormatTime(const SYSTEMTIME& stTime, char* szBuf, int nSize) {
  snprintf(szBuf, static_cast<size_t>(nSize), "%02d:%02d:%02d", stTime.wHour, stTime.wMinute,
           stTime.wSecond);
}

}  // namespace

CxDateTime::CxDateTime() : dVariant(0.0), stTime{}, bValid(0) {
  SYSTEMTIME stNow{};
  GetLocalTime(&stNow);
  SetTime(&stNow);
}

CxDateTime::~CxDateTime() = default;

void CxDateTime::SetTime(const SYSTEMTIME* pTime) {
  if (pTime == nullptr) {
    bValid = 0;
    return;
  }
  stTime = *pTime;
  DATE dConverted = 0.0;
  bValid = SystemTimeToVariantTime(&stTime, &dConverted) ? 1 : 0;
  if (bValid) {
    dVariant = dConverted;
  }
}

void CxDateTime::SetVariant(DATE dNew) {
  dVariant = dNew;
  SYSTEMTIME stConverted{};
  bValid = VariantTimeToSystemTime(dNew, &stConverted) ? 1 : 0;
  if (bValid) {
    stTime = stConverted;
  }
}

void CxDateTime::GetDateText(char* szBuf, int nSize) const {
  if (!CheckBuffer(szBuf, __LINE__) || nSize < 1) {
    return;
  }
  FormatDate(stTime, szBuf, nSize);
}

void CxDateTime::GetTimeText(char* szBuf, int nSize) const {
  if (!CheckBuffer(szBuf, __LINE__) || nSize < 1) {
    return;
  }
  FormatTime(stTime, szBuf, nSize);
}

void CxDateTime::GetDateTimeText(char* szBuf, int nSize) const {
  if (!CheckBuffer(szBuf, __LINE__) || nSize < 1) {
    return;
  }
  char szDate[CX_DATE_TEXT_SIZE];
  char szTime[CX_TIME_TEXT_SIZE];
  FormatDate(stTime, szDate, sizeof(szDate));
  FormatTime(stTime, szTime, sizeof(szTime));
  snprintf(szBuf, static_cast<size_t>(nSize), "%s %s", szDate, szTime);
}
