// Date helpers, calendar rules and recurrence stepping over SYSTEMTIME records, plus the
// small system helpers. Whole-day arithmetic goes through OLE Automation dates, as the rest
// of the program does; only the weekday of a known-good date is computed here directly.
#include "common/misc/WinUtil.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/calendar/CommDate.h"
#include "common/misc/CxDebugUtil.h"
#include "platform/win/WinString.h"
#include "platform/win/WinSystem.h"
#include "platform/win/WinTime.h"

namespace {

const char* const kMonthNames[12] = {"January",   "February", "March",    "April",
                                     "May",       "June",     "July",     "August",
                                     "September", "October",  "November", "December"};
const char* const kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                  "Thursday", "Friday", "Saturday"};

// The last year an automation date can hold; stepping past it has no next occurrence.
const int64_t kLastAutomationYear = 9999;

const int kDaysPerWeek = 7;
const int kMonthsPerYear = 12;
const int kMinutesPerDay = 24 * 60;

const int kHexTextMaxBytes = 1024;

int Sign(int nValue) {
  return nValue < 0 ? -1 : (nValue > 0 ? 1 : 0);
}

// Gregorian weekday (0 = Sunday) of a date whose month is 1..12.
int WeekdayOf(int nYear, int nMonth, int nDay) {
  return CxWeekdayOf(nYear, nMonth, nDay);
}

// Month moved on by nMonths, carrying whole years. False when the year leaves what an
// automation date can hold.
bool AddMonths(int nYear, int nMonth, int64_t nMonths, int* pYear, int* pMonth) {
  const int64_t nShifted = static_cast<int64_t>(nMonth) + nMonths;
  const int64_t nYearOut = nYear + (nShifted - 1) / kMonthsPerYear;
  if (nShifted < 1 || nYearOut > kLastAutomationYear) {
    return false;
  }
  *pYear = static_cast<int>(nYearOut);
  *pMonth = static_cast<int>((nShifted - 1) % kMonthsPerYear + 1);
  return true;
}

int LowestWeekday(UINT nMask) {
  for (int nDay = 0; nDay < kDaysPerWeek; nDay++) {
    if (nMask & (1u << nDay)) {
      return nDay;
    }
  }
  return -1;
}

bool StepWeekly(const RepeatPattern& pattern, SYSTEMTIME* pCursor) {
  if (pCursor->wDayOfWeek >= kDaysPerWeek) {
    FixDayOfWeek(pCursor);
  }
  const int nWeekday = pCursor->wDayOfWeek;
  for (int nDay = nWeekday + 1; nDay < kDaysPerWeek; nDay++) {
    if (pattern.nDayOfWeekMask & (1u << nDay)) {
      return AddDays(pCursor, nDay - nWeekday);
    }
  }
  // No later day this week: the first selected day of the week n weeks on. Saturday is not
  // searched here, so a Saturday-only pattern moves from its Saturday by whole weeks.
  int nBack = 0;
  for (int nDay = 0; nDay < kDaysPerWeek - 1; nDay++) {
    if (pattern.nDayOfWeekMask & (1u << nDay)) {
      nBack = nDay - nWeekday;
      break;
    }
  }
  const int64_t nDays = static_cast<int64_t>(kDaysPerWeek) * pattern.nInterval + nBack;
  if (nDays > INT32_MAX) {
    return false;
  }
  return AddDays(pCursor, static_cast<int>(nDays));
}

bool StepMonthlyByDay(const RepeatPattern& pattern, SYSTEMTIME* pCursor) {
  int nYear = 0;
  int nMonth = 0;
  if (!AddMonths(pCursor->wYear, pCursor->wMonth, pattern.nInterval, &nYear, &nMonth)) {
    return false;
  }
  SYSTEMTIME stFirst{};
  stFirst.wYear = static_cast<WORD>(nYear);
  stFirst.wMonth = static_cast<WORD>(nMonth);
  stFirst.wDay = 1;
  FixDayOfWeek(&stFirst);
  const int nWeekday = LowestWeekday(pattern.nDayOfWeekMask);
  if (nWeekday < 0) {
    *pCursor = stFirst;
    return true;
  }
  int64_t nOffset = nWeekday - stFirst.wDayOfWeek;
  if (nOffset < 0) {
    nOffset += kDaysPerWeek;
  }
  nOffset += (static_cast<int64_t>(pattern.nInstance) - 1) * kDaysPerWeek;
  // Instance 5 ("last") overshoots months with only four such weekdays by one week.
  if (nOffset >= DaysInMonth(nYear, nMonth)) {
    nOffset -= kDaysPerWeek;
  }
  if (nOffset > INT32_MAX) {
    return false;
  }
  *pCursor = stFirst;
  return AddDays(pCursor, static_cast<int>(nOffset));
}

bool StepMonthlyByDate(const RepeatPattern& pattern, SYSTEMTIME* pCursor) {
  int nYear = 0;
  int nMonth = 0;
  if (!AddMonths(pCursor->wYear, pCursor->wMonth, pattern.nInterval, &nYear, &nMonth)) {
    return false;
  }
  UINT nDay = pattern.nDayOfMonth;
  const UINT nLastDay = static_cast<UINT>(DaysInMonth(nYear, nMonth));
  if (nDay > nLastDay) {
    nDay = nLastDay;
  }
  pCursor->wYear = static_cast<WORD>(nYear);
  pCursor->wMonth = static_cast<WORD>(nMonth);
  pCursor->wDay = static_cast<WORD>(nDay);
  FixDayOfWeek(pCursor);
  return true;
}

bool StepYearlyByDate(const RepeatPattern& pattern, SYSTEMTIME* pCursor) {
  const int64_t nYear = static_cast<int64_t>(pCursor->wYear) + pattern.nInterval;
  if (nYear > kLastAutomationYear) {
    return false;
  }
  pCursor->wYear = static_cast<WORD>(nYear);
  // Once moved to February 28 the cursor stays there, also in leap years.
  if (pCursor->wMonth == 2 && pCursor->wDay == 29 && !IsLeapYear(pCursor->wYear)) {
    pCursor->wDay = 28;
  }
  return true;
}

}  // namespace

int CompareDate(const SYSTEMTIME* pA, const SYSTEMTIME* pB) {
  if (pA == nullptr) {
    return -1;
  }
  if (pB == nullptr) {
    return 1;
  }
  if (pA->wYear != pB->wYear) {
    return Sign(pA->wYear - pB->wYear);
  }
  if (pA->wMonth != pB->wMonth) {
    return Sign(pA->wMonth - pB->wMonth);
  }
  return Sign(pA->wDay - pB->wDay);
}

int CompareTime(const SYSTEMTIME* pA, const SYSTEMTIME* pB) {
  if (pA == nullptr) {
    return -1;
  }
  if (pB == nullptr) {
    return 1;
  }
  if (pA->wHour != pB->wHour) {
    return Sign(pA->wHour - pB->wHour);
  }
  if (pA->wMinute != pB->wMinute) {
    return Sign(pA->wMinute - pB->wMinute);
  }
  return Sign(pA->wSecond - pB->wSecond);
}

void FixDayOfWeek(SYSTEMTIME* pDate) {
  if (pDate != nullptr && pDate->wMonth >= 1 && pDate->wMonth <= kMonthsPerYear) {
    pDate->wDayOfWeek = static_cast<WORD>(WeekdayOf(pDate->wYear, pDate->wMonth, pDate->wDay));
  }
}

bool CopyDate(const SYSTEMTIME* pSrc, SYSTEMTIME* pDst) {
  if (pSrc == nullptr || pDst == nullptr) {
    return false;
  }
  pDst->wYear = pSrc->wYear;
  pDst->wMonth = pSrc->wMonth;
  pDst->wDay = pSrc->wDay;
  pDst->wDayOfWeek = pSrc->wDayOfWeek;
  return true;
}

bool GetLongDateText(const SYSTEMTIME* pDate, char* szBuf, int nSize) {
  if (pDate == nullptr || szBuf == nullptr || nSize <= 0) {
    return false;
  }
  if (!(pDate->wMonth >= 1 && pDate->wMonth <= 12)) {
    CxAssertFailed("pDate->wMonth>=1&&pDate->wMonth<=12", DB_MODULE, __LINE__);
    return false;
  }
  if (pDate->wDayOfWeek > 6) {
    CxAssertFailed("pDate->wDayOfWeek>=0&&pDate->wDayOfWeek<=6", DB_MODULE, __LINE__);
    return false;
  }
  char szText[64];
  const int nLength =
      snprintf(szText, sizeof(szText), "%s %d, %d %s", kMonthNames[pDate->wMonth - 1], pDate->wDay,
               pDate->wYear, kDayNames[pDate->wDayOfWeek]);
  if (nLength < 0 || nLength + 1 > nSize) {
    return false;
  }
  lstrcpyn(szBuf, szText, nSize);
  return true;
}

bool IsLeapYear(int nYear) {
  return CxIsLeapYear(nYear);
}

int DaysInMonth(int nYear, int nMonth) {
  return CxDaysInMonth(nYear, nMonth);
}

bool AddDays(SYSTEMTIME* pDate, int nDays) {
  if (pDate == nullptr) {
    return false;
  }
  DATE dDate = 0.0;
  if (!SystemTimeToVariantTime(pDate, &dDate)) {
    return false;
  }
  // Truncating toward zero also suits dates before 1899-12-30, whose fraction counts
  // forward from midnight of the (negative) whole day.
  dDate = std::trunc(dDate) + nDays;
  SYSTEMTIME stResult{};
  if (!VariantTimeToSystemTime(dDate, &stResult)) {
    return false;
  }
  *pDate = stResult;
  return true;
}

void SubtractMinutesInDay(SYSTEMTIME* pTime, int nMinutes) {
  if (pTime == nullptr) {
    return;
  }
  int64_t nMinuteOfDay = static_cast<int64_t>(pTime->wHour) * 60 + pTime->wMinute - nMinutes;
  if (nMinuteOfDay < 0) {
    nMinuteOfDay = 0;
  }
  // A negative amount must not push the time past the end of the day it belongs to.
  if (nMinuteOfDay >= kMinutesPerDay) {
    nMinuteOfDay = kMinutesPerDay - 1;
  }
  pTime->wHour = static_cast<WORD>(nMinuteOfDay / 60);
  pTime->wMinute = static_cast<WORD>(nMinuteOfDay % 60);
}

int MinutesBetween(const SYSTEMTIME* pEnd, const SYSTEMTIME* pStart) {
  if (pEnd == nullptr || pStart == nullptr) {
    return 0;
  }
  return (pEnd->wHour * 60 + pEnd->wMinute) - (pStart->wHour * 60 + pStart->wMinute);
}

// How stepping works: the cursor is the date of the last occurrence found. A record that has
// not started yet first jumps to its start; otherwise the pattern moves the cursor on by its
// interval (days, weeks with a scan of the weekday bits, months with the day clamped to the
// month, years), and the pattern's end date finally decides whether the new date still
// counts. Only the cursor's date carries meaning.
bool NextOccurrence(const CommDate* pDate, SYSTEMTIME* pCursor) {
  if (pDate == nullptr || pCursor == nullptr) {
    return false;
  }
  if (CompareDate(&pDate->stStart, pCursor) > 0) {
    CopyDate(&pDate->stStart, pCursor);
    // The stored weekday of a start is not trusted; weekly steps read the cursor's.
    FixDayOfWeek(pCursor);
    return true;
  }
  const RepeatPattern& pattern = pDate->repeat;
  if (pattern.nInterval == 0) {
    return false;
  }
  bool bStepped = false;
  switch (pattern.nType) {
    case REPEAT_DAILY:
      bStepped = pattern.nInterval <= static_cast<UINT>(INT32_MAX) &&
                 AddDays(pCursor, static_cast<int>(pattern.nInterval));
      break;
    case REPEAT_WEEKLY:
      bStepped = StepWeekly(pattern, pCursor);
      break;
    case REPEAT_MONTHLY_BY_DAY:
      bStepped = StepMonthlyByDay(pattern, pCursor);
      break;
    case REPEAT_MONTHLY_BY_DATE:
      bStepped = StepMonthlyByDate(pattern, pCursor);
      break;
    case REPEAT_YEARLY_BY_DATE:
      bStepped = StepYearlyByDate(pattern, pCursor);
      break;
    default:
      // None, yearly by weekday position and unknown types never step: such a record occurs
      // on its start date only.
      bStepped = false;
      break;
  }
  if (!bStepped) {
    return false;
  }
  if (pattern.bHasEnd && CompareDate(&pattern.stPatternEnd, pCursor) < 0) {
    return false;
  }
  return true;
}

bool GetAppFolder(char* szBuf, int nSize) {
  if (szBuf == nullptr || nSize <= 0) {
    return false;
  }
  szBuf[0] = '\0';
  char szPath[MAX_PATH];
  if (GetModuleFileName(nullptr, szPath, sizeof(szPath)) == 0) {
    Log(0, "The program's own path is not known");
    return false;
  }
  char szDrive[_MAX_DRIVE];
  char szDir[_MAX_DIR];
  char szName[_MAX_FNAME];
  char szExt[_MAX_EXT];
  _splitpath(szPath, szDrive, szDir, szName, szExt);
  snprintf(szBuf, static_cast<size_t>(nSize), "%s%s", szDrive, szDir);
  return true;
}

bool ShellOpen(const char* szTarget) {
  if (szTarget == nullptr || szTarget[0] == '\0') {
    return false;
  }
  ShellExecute(nullptr, "open", szTarget, nullptr, nullptr, SW_SHOWNORMAL);
  return true;
}

const char* HexText(const void* pBytes, int nCount) {
  // Two digits and a blank per byte; the last blank's place holds the terminator.
  static char szText[kHexTextMaxBytes * 3 + 1];
  szText[0] = '\0';
  if (pBytes == nullptr || nCount <= 0) {
    return szText;
  }
  if (nCount > kHexTextMaxBytes) {
    nCount = kHexTextMaxBytes;
  }
  const BYTE* pByte = static_cast<const BYTE*>(pBytes);
  size_t nUsed = 0;
  for (int i = 0; i < nCount; i++) {
    const int nWritten =
        snprintf(szText + nUsed, sizeof(szText) - nUsed, i == 0 ? "%02x" : " %02x", pByte[i]);
    if (nWritten < 0) {
      break;
    }
    nUsed += static_cast<size_t>(nWritten);
  }
  return szText;
}
