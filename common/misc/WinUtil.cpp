// Date helpers, calendar rules and recurrence stepping over SYSTEMTIME records, plus the
// small system helpers. Whole-day arithmetic goes through OLE Automation dates, as the rest
// of the program does; only the weekday of a known-good date is computed here directly.
#include "common/misc/WinUtil.h"
#define DB_MODULE "WinUtil"
#include <algorithm>
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

// The lowest weekday from nFrom on whose bit is set; -1 when none is.
int WeekdayFrom(UINT nMask, int nFrom) {
  for (int nDay = nFrom; nDay < kDaysPerWeek; nDay++) {
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

// Days from the 1st of the month to the pattern's weekday of the pattern's week; instance 5
// ("last") overshoots months with only four such weekdays by one week and is taken back.
// False when the mask names no weekday.
bool InstanceOffset(const RepeatPattern& pattern, int nYear, int nMonth, int nFirstWeekday,
                    int64_t* pnOffset) {
  const int nWeekday = WeekdayFrom(pattern.nDayOfWeekMask, 0);
  if (nWeekday < 0) {
    return false;
  }
  int64_t nOffset = nWeekday - nFirstWeekday;
  if (nOffset < 0) {
    nOffset += kDaysPerWeek;
  }
  nOffset += (static_cast<int64_t>(pattern.nInstance) - 1) * kDaysPerWeek;
  if (nOffset >= DaysInMonth(nYear, nMonth)) {
    nOffset -= kDaysPerWeek;
  }
  *pnOffset = nOffset;
  return true;
}

// Moves the cursor to the pattern's weekday of the pattern's week in that month (its 1st
// when the mask names no weekday).
bool MoveToInstance(const RepeatPattern& pattern, int nYear, int nMonth, SYSTEMTIME* pCursor) {
  SYSTEMTIME stFirst{};
  stFirst.wYear = static_cast<WORD>(nYear);
  stFirst.wMonth = static_cast<WORD>(nMonth);
  stFirst.wDay = 1;
  FixDayOfWeek(&stFirst);
  int64_t nOffset = 0;
  *pCursor = stFirst;
  if (!InstanceOffset(pattern, nYear, nMonth, stFirst.wDayOfWeek, &nOffset)) {
    return true;
  }
  if (nOffset > INT32_MAX) {
    return false;
  }
  return AddDays(pCursor, static_cast<int>(nOffset));
}

bool StepMonthlyByDay(const RepeatPattern& pattern, SYSTEMTIME* pCursor) {
  int nYear = 0;
  int nMonth = 0;
  if (!AddMonths(pCursor->wYear, pCursor->wMonth, pattern.nInterval, &nYear, &nMonth)) {
    return false;
  }
  return MoveToInstance(pattern, nYear, nMonth, pCursor);
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

// The n-th weekday of the pattern's month, nInterval years on ("second Sunday of May").
bool StepYearlyByDay(const RepeatPattern& pattern, SYSTEMTIME* pCursor) {
  const int64_t nYear = static_cast<int64_t>(pCursor->wYear) + pattern.nInterval;
  if (nYear > kLastAutomationYear) {
    return false;
  }
  const int nMonth = pattern.nMonthOfYear >= 1 && pattern.nMonthOfYear <= kMonthsPerYear
                         ? pattern.nMonthOfYear
                         : pCursor->wMonth;
  return MoveToInstance(pattern, static_cast<int>(nYear), nMonth, pCursor);
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
    case REPEAT_YEARLY_BY_DAY:
      // Mother's Day and Thanksgiving come every year, not only in their first.
      bStepped = StepYearlyByDay(pattern, pCursor);
      break;
    default:
      // None and unknown types never step: such a record occurs on its start date only.
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

namespace {

// The cursor a search along a recurrence starts from: the record's start date with a weekday
// computed from it (the stored one is not trusted) at midnight, since only the date counts.
SYSTEMTIME FirstCursor(const CommDate* pDate) {
  SYSTEMTIME stCursor = pDate->stStart;
  stCursor.wHour = 0;
  stCursor.wMinute = 0;
  stCursor.wSecond = 0;
  stCursor.wMilliseconds = 0;
  FixDayOfWeek(&stCursor);
  return stCursor;
}

int64_t MonthNumber(int64_t nYear, int64_t nMonth) {
  return nYear * kMonthsPerYear + nMonth - 1;
}

int64_t CeilDiv(int64_t nValue, int64_t nDivisor) {
  return (nValue + nDivisor - 1) / nDivisor;
}

// The first real calendar day at or after the day in CompareDate's order: a day 0, a day past
// the month's end, a month 0 or past December move on to the next real day.
void FirstRealDayFrom(const SYSTEMTIME& stDay, int* pYear, int* pMonth, int* pDay) {
  int nYear = stDay.wYear;
  int nMonth = stDay.wMonth;
  int nDay = stDay.wDay;
  if (nMonth == 0) {
    nMonth = 1;
    nDay = 1;
  } else if (nMonth > kMonthsPerYear) {
    nYear++;
    nMonth = 1;
    nDay = 1;
  } else if (nDay == 0) {
    nDay = 1;
  } else if (nDay > DaysInMonth(nYear, nMonth)) {
    nDay = 1;
    if (++nMonth > kMonthsPerYear) {
      nYear++;
      nMonth = 1;
    }
  }
  *pYear = nYear;
  *pMonth = nMonth;
  *pDay = nDay;
}

// Automation day numbers: whole days since 1899-12-30, the steps AddDays counts in.
bool DayNumberOf(const SYSTEMTIME& stDate, int64_t* pnDay) {
  SYSTEMTIME stMidnight = stDate;
  stMidnight.wHour = 0;
  stMidnight.wMinute = 0;
  stMidnight.wSecond = 0;
  DATE dDate = 0.0;
  if (!SystemTimeToVariantTime(&stMidnight, &dDate)) {
    return false;
  }
  *pnDay = static_cast<int64_t>(dDate);
  return true;
}

// The day number of the first real day at or after stDay; false past the automation range,
// which no step of days reaches.
bool RealDayNumberFrom(const SYSTEMTIME& stDay, int64_t* pnDay) {
  int nYear = 0;
  int nMonth = 0;
  int nDay = 0;
  FirstRealDayFrom(stDay, &nYear, &nMonth, &nDay);
  if (nYear > kLastAutomationYear) {
    return false;
  }
  SYSTEMTIME stReal{};
  stReal.wYear = static_cast<WORD>(nYear);
  stReal.wMonth = static_cast<WORD>(nMonth);
  stReal.wDay = static_cast<WORD>(nDay);
  return DayNumberOf(stReal, pnDay);
}

bool DateOfDayNumber(int64_t nDay, SYSTEMTIME* pDate) {
  SYSTEMTIME stDate{};
  if (!VariantTimeToSystemTime(static_cast<DATE>(nDay), &stDate)) {
    return false;
  }
  *pDate = stDate;
  return true;
}

// A jump lands in the period that holds the asked day or, when the occurrence there lies
// before the day, in the one after.
const int kPeriodsToTry = 2;

// The jumps below move a cursor that stepping has reached (and that lies before stDay) to
// the first date on or after stDay that further steps reach. Each needs only the cursor and
// the pattern, because a step depends on nothing else; they leave the pattern's end to the
// caller.

bool JumpDaily(const RepeatPattern& pattern, const SYSTEMTIME& stDay, SYSTEMTIME* pCursor) {
  int64_t nFrom = 0;
  int64_t nTo = 0;
  if (!DayNumberOf(*pCursor, &nFrom) || !RealDayNumberFrom(stDay, &nTo)) {
    return false;
  }
  const int64_t nInterval = pattern.nInterval;
  return DateOfDayNumber(nFrom + CeilDiv(nTo - nFrom, nInterval) * nInterval, pCursor);
}

// Weekly: the rest of the cursor's own week holds the selected days after the cursor's; from
// then on, every n-th week holds all selected days (the step back to the week's first
// selected day reaches all of them), or with no day selected the cursor's own weekday.
bool JumpWeekly(const RepeatPattern& pattern, const SYSTEMTIME& stDay, SYSTEMTIME* pCursor) {
  int64_t nFrom = 0;
  int64_t nTo = 0;
  if (!DayNumberOf(*pCursor, &nFrom) || !RealDayNumberFrom(stDay, &nTo)) {
    return false;
  }
  const int nCursorWeekday = pCursor->wDayOfWeek;
  const UINT nMask = pattern.nDayOfWeekMask & ((1u << kDaysPerWeek) - 1);
  const UINT nPeriodMask = nMask != 0 ? nMask : 1u << nCursorWeekday;
  const int64_t nInterval = pattern.nInterval;
  const int64_t nWeekStart = nFrom - nCursorWeekday;
  const int64_t nWeeks = (nTo - nWeekStart) / kDaysPerWeek;
  const int nDayOfWeek = static_cast<int>((nTo - nWeekStart) % kDaysPerWeek);
  // The cursor's own week is period 0, where only days after the cursor's come (the asked
  // day lies after it). A week that n divides is a period week, whose days from the asked
  // one on can still come; otherwise the next period's first day is the one.
  int64_t nPeriod = CeilDiv(nWeeks, nInterval);
  const int nFirstDay = nPeriod * nInterval == nWeeks ? nDayOfWeek : 0;
  int nDay = WeekdayFrom(nPeriodMask, nFirstDay);
  if (nDay < 0) {
    nPeriod++;
    nDay = WeekdayFrom(nPeriodMask, 0);
  }
  return DateOfDayNumber(nWeekStart + kDaysPerWeek * nInterval * nPeriod + nDay, pCursor);
}

// The date a monthly-by-weekday step lands on in the month with the given number.
bool MonthlyByDayDate(const RepeatPattern& pattern, int64_t nMonthNumber, SYSTEMTIME* pDate) {
  const int64_t nYear = nMonthNumber / kMonthsPerYear;
  if (nYear > kLastAutomationYear) {
    return false;
  }
  const int nMonth = static_cast<int>(nMonthNumber % kMonthsPerYear) + 1;
  const int nFirstWeekday = WeekdayOf(static_cast<int>(nYear), nMonth, 1);
  // A mask without a weekday keeps the 1st.
  int64_t nOffset = 0;
  InstanceOffset(pattern, static_cast<int>(nYear), nMonth, nFirstWeekday, &nOffset);
  SYSTEMTIME stDate{};
  stDate.wYear = static_cast<WORD>(nYear);
  stDate.wMonth = static_cast<WORD>(nMonth);
  stDate.wDay = static_cast<WORD>(1 + nOffset);
  stDate.wDayOfWeek = static_cast<WORD>((nFirstWeekday + nOffset) % kDaysPerWeek);
  *pDate = stDate;
  return true;
}

// Monthly by weekday: every n-th month from the cursor's holds one occurrence, as long as the
// week of the month keeps the date inside its month (instances 1 to 5, or no weekday: the
// 1st). Other instances land in neighbouring months and are stepped instead.
bool CanJumpMonthlyByDay(const RepeatPattern& pattern) {
  return WeekdayFrom(pattern.nDayOfWeekMask, 0) < 0 ||
         (pattern.nInstance >= 1 && pattern.nInstance <= 5);
}

bool JumpMonthlyByDay(const RepeatPattern& pattern, const SYSTEMTIME& stDay, SYSTEMTIME* pCursor) {
  // The dates are real ones, so the first real day from stDay stands for it.
  int nYear = 0;
  int nMonth = 0;
  int nDay = 0;
  FirstRealDayFrom(stDay, &nYear, &nMonth, &nDay);
  const int64_t nFrom = MonthNumber(pCursor->wYear, pCursor->wMonth);
  const int64_t nTo = MonthNumber(nYear, nMonth);
  const int64_t nInterval = pattern.nInterval;
  int64_t nMonthNumber = nFrom + std::max<int64_t>(1, CeilDiv(nTo - nFrom, nInterval)) * nInterval;
  SYSTEMTIME stDate{};
  if (!MonthlyByDayDate(pattern, nMonthNumber, &stDate)) {
    return false;
  }
  if (nMonthNumber == nTo && stDate.wDay < nDay) {
    nMonthNumber += nInterval;
    if (!MonthlyByDayDate(pattern, nMonthNumber, &stDate)) {
      return false;
    }
  }
  *pCursor = stDate;
  return true;
}

// Monthly by date: every n-th month from the cursor's, at the pattern's day cut to the
// month. The day may be 0, which no real day stands for, so stDay is compared as it is.
bool JumpMonthlyByDate(const RepeatPattern& pattern, const SYSTEMTIME& stDay, SYSTEMTIME* pCursor) {
  // The first month whose dates can reach stDay, and whether its dates need comparing by day.
  int64_t nTo = 0;
  bool bCompareDay = false;
  if (stDay.wMonth == 0) {
    nTo = MonthNumber(stDay.wYear, 1);
  } else if (stDay.wMonth > kMonthsPerYear) {
    nTo = MonthNumber(stDay.wYear + 1, 1);
  } else {
    nTo = MonthNumber(stDay.wYear, stDay.wMonth);
    bCompareDay = true;
  }
  const int64_t nFrom = MonthNumber(pCursor->wYear, pCursor->wMonth);
  const int64_t nInterval = pattern.nInterval;
  int64_t nMonthNumber = nFrom + std::max<int64_t>(1, CeilDiv(nTo - nFrom, nInterval)) * nInterval;
  for (int nTry = 0; nTry < kPeriodsToTry; nTry++) {
    const int64_t nYear = nMonthNumber / kMonthsPerYear;
    if (nYear > kLastAutomationYear) {
      return false;
    }
    const int nMonth = static_cast<int>(nMonthNumber % kMonthsPerYear) + 1;
    const UINT nDay = std::min(pattern.nDayOfMonth,
                               static_cast<UINT>(DaysInMonth(static_cast<int>(nYear), nMonth)));
    if (bCompareDay && nMonthNumber == nTo && nDay < stDay.wDay) {
      nMonthNumber += nInterval;
      continue;
    }
    pCursor->wYear = static_cast<WORD>(nYear);
    pCursor->wMonth = static_cast<WORD>(nMonth);
    pCursor->wDay = static_cast<WORD>(nDay);
    FixDayOfWeek(pCursor);
    return true;
  }
  return false;
}

// Whether a February 29 stepped on from the leap year nYear by nInterval years nPeriods
// times is still the 29th: every year it passed must be a leap year too.
bool StaysOnLeapDay(int64_t nYear, int64_t nInterval, int64_t nPeriods) {
  if (nInterval % 4 != 0) {
    return false;
  }
  // Every year passed is then divisible by 4; only the centuries that 400 does not divide
  // among them are common years. The loop is bounded by the years an automation date holds.
  const int64_t nLastYear = nYear + nInterval * nPeriods;
  for (int64_t nCentury = (nYear / 100 + 1) * 100; nCentury <= nLastYear; nCentury += 100) {
    if (nCentury % 400 != 0 && (nCentury - nYear) % nInterval == 0) {
      return false;
    }
  }
  return true;
}

// Yearly by date: every n-th year from the cursor's, month and day kept as stepping keeps
// them (whatever they are), a February 29 turning into the 28th for good in a common year.
bool JumpYearlyByDate(const RepeatPattern& pattern, const SYSTEMTIME& stDay, SYSTEMTIME* pCursor) {
  const int64_t nFrom = pCursor->wYear;
  const int64_t nInterval = pattern.nInterval;
  const bool bLeapDay = pCursor->wMonth == 2 && pCursor->wDay == 29;
  int64_t nPeriods = std::max<int64_t>(1, CeilDiv(stDay.wYear - nFrom, nInterval));
  for (int nTry = 0; nTry < kPeriodsToTry; nTry++) {
    const int64_t nYear = nFrom + nPeriods * nInterval;
    if (nYear > kLastAutomationYear) {
      return false;
    }
    SYSTEMTIME stDate = *pCursor;
    stDate.wYear = static_cast<WORD>(nYear);
    if (bLeapDay && !StaysOnLeapDay(nFrom, nInterval, nPeriods)) {
      stDate.wDay = 28;
    }
    if (CompareDate(&stDate, &stDay) < 0) {
      nPeriods++;
      continue;
    }
    *pCursor = stDate;
    return true;
  }
  return false;
}

// Patterns that do not fall into whole periods are stepped, under the same limit.
bool StepOnTo(const CommDate* pDate, const SYSTEMTIME& stDay, SYSTEMTIME* pCursor) {
  // The first step was taken before.
  for (long nStep = 1; nStep < MAX_OCCURRENCE_STEPS; nStep++) {
    const SYSTEMTIME stBefore = *pCursor;
    if (!NextOccurrence(pDate, pCursor) || CompareDate(pCursor, &stBefore) <= 0) {
      return false;
    }
    if (CompareDate(pCursor, &stDay) >= 0) {
      return true;
    }
  }
  Log(0, "Recurrence of \"%s\" still not past the day after %ld steps", pDate->szDescription,
      MAX_OCCURRENCE_STEPS);
  return false;
}

}  // namespace

// How the search works: the first step is NextOccurrence's own, which settles whatever the
// record's start holds (a day past the month's end, a month out of range, a date no step of
// days can leave) exactly as stepping does. From the date it reaches, every pattern that
// steps at all lays its occurrences out in periods of its interval (days, weeks, months,
// years), so the period that holds the asked day is counted out instead of stepped to. None
// of these jumps stands for as many steps as MAX_OCCURRENCE_STEPS: each step moves a day or
// more, and no pattern leaves the years 0..9999.
bool OccurrenceOnOrAfter(const CommDate* pDate, const SYSTEMTIME* pDay, SYSTEMTIME* pFound) {
  if (pDate == nullptr || pDay == nullptr || pFound == nullptr) {
    return false;
  }
  const RepeatPattern& pattern = pDate->repeat;
  // No step goes past the pattern's end.
  if (pattern.bHasEnd && CompareDate(&pattern.stPatternEnd, pDay) < 0) {
    return false;
  }
  const SYSTEMTIME stStart = FirstCursor(pDate);
  SYSTEMTIME stCursor = stStart;
  if (!NextOccurrence(pDate, &stCursor) || CompareDate(&stCursor, &stStart) <= 0) {
    return false;
  }
  if (CompareDate(&stCursor, pDay) < 0) {
    bool bFound = false;
    switch (pattern.nType) {
      case REPEAT_DAILY:
        bFound = JumpDaily(pattern, *pDay, &stCursor);
        break;
      case REPEAT_WEEKLY:
        bFound = JumpWeekly(pattern, *pDay, &stCursor);
        break;
      case REPEAT_MONTHLY_BY_DAY:
        bFound = CanJumpMonthlyByDay(pattern) ? JumpMonthlyByDay(pattern, *pDay, &stCursor)
                                              : StepOnTo(pDate, *pDay, &stCursor);
        break;
      case REPEAT_MONTHLY_BY_DATE:
        bFound = JumpMonthlyByDate(pattern, *pDay, &stCursor);
        break;
      case REPEAT_YEARLY_BY_DATE:
        bFound = JumpYearlyByDate(pattern, *pDay, &stCursor);
        break;
      default:
        bFound = StepOnTo(pDate, *pDay, &stCursor);
        break;
    }
    if (!bFound || (pattern.bHasEnd && CompareDate(&pattern.stPatternEnd, &stCursor) < 0)) {
      return false;
    }
  }
  *pFound = stCursor;
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

std::string HexString(const void* pBytes, size_t nCount) {
  static const char kDigits[] = "0123456789abcdef";
  std::string strOut;
  if (pBytes == nullptr) return strOut;
  const BYTE* pByte = static_cast<const BYTE*>(pBytes);
  strOut.reserve(nCount * 3);
  for (size_t i = 0; i < nCount; ++i) {
    if (i > 0) strOut.push_back(' ');
    strOut.push_back(kDigits[pByte[i] >> 4]);
    strOut.push_back(kDigits[pByte[i] & 0x0F]);
  }
  return strOut;
}

const char* HexText(const void* pBytes, int nCount) {
  // Two digits and a blank per byte; the last blank's place holds the terminator.
  static char szText[kHexTextMaxBytes * 3 + 1];
  szText[0] = '\0';
  if (pBytes == nullptr || nCount <= 0) {
    return szText;
  }
  const std::string strText =
      HexString(pBytes, static_cast<size_t>(nCount < kHexTextMaxBytes ? nCount : kHexTextMaxBytes));
  std::memcpy(szText, strText.c_str(), strText.size() + 1);
  return szText;
}
