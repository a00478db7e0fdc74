// Automation dates and the clock. Day numbers are counted in the proleptic Gregorian
// calendar, as OLE Automation counts them, from 1899-12-30 (day 0, a Saturday). A negative
// automation date keeps its time of day as a positive fraction: the whole part picks the
// day, the fraction runs forward from that day's midnight, so the value is day - fraction.
#include "platform/win/WinTime.h"

#include <cmath>
#include <ctime>
#include <mutex>

namespace {

// Automation range: 0100-01-01 .. 9999-12-31, the only dates Windows converts.
constexpr double kMinVariantDay = -657434.0;
constexpr double kMaxVariantDay = 2958465.0;
// Day 0 of the automation calendar counted from 1970-01-01.
constexpr long kVariantEpochFromUnix = -25569;
constexpr long kSecondsPerDay = 86400;

void FromTm(const struct tm& tmValue, WORD wMilliseconds, SYSTEMTIME* pst) {
  pst->wYear = static_cast<WORD>(tmValue.tm_year + 1900);
  pst->wMonth = static_cast<WORD>(tmValue.tm_mon + 1);
  pst->wDayOfWeek = static_cast<WORD>(tmValue.tm_wday);
  pst->wDay = static_cast<WORD>(tmValue.tm_mday);
  pst->wHour = static_cast<WORD>(tmValue.tm_hour);
  pst->wMinute = static_cast<WORD>(tmValue.tm_min);
  pst->wSecond = static_cast<WORD>(tmValue.tm_sec);
  pst->wMilliseconds = wMilliseconds;
}

std::mutex g_FixedLock;
bool g_bFixed = false;
SYSTEMTIME g_stFixed;

bool ReadFixed(SYSTEMTIME* pst) {
  std::lock_guard<std::mutex> guard(g_FixedLock);
  if (g_bFixed) *pst = g_stFixed;
  return g_bFixed;
}

}  // namespace

bool CxIsLeapYear(int nYear) {
  return (nYear % 4 == 0 && nYear % 100 != 0) || nYear % 400 == 0;
}

int CxDaysInMonth(int nYear, int nMonth) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (nMonth < 1 || nMonth > 12) return 0;
  return nMonth == 2 && CxIsLeapYear(nYear) ? 29 : kDays[nMonth - 1];
}

bool CxIsValidDate(int nYear, int nMonth, int nDay) {
  return nDay >= 1 && nDay <= CxDaysInMonth(nYear, nMonth);
}

// The well-known era-based formula: years are shifted to start in March so that the leap
// day is the last day of the shifted year.
long CxDaysFromCivil(int nYear, int nMonth, int nDay) {
  nYear -= nMonth <= 2 ? 1 : 0;
  const long nEra = (nYear >= 0 ? nYear : nYear - 399) / 400;
  const long nYearOfEra = nYear - nEra * 400;
  const long nDayOfYear = (153 * (nMonth + (nMonth > 2 ? -3 : 9)) + 2) / 5 + nDay - 1;
  const long nDayOfEra = nYearOfEra * 365 + nYearOfEra / 4 - nYearOfEra / 100 + nDayOfYear;
  return nEra * 146097 + nDayOfEra - 719468;
}

void CxCivilFromDays(long nDays, int* pnYear, int* pnMonth, int* pnDay) {
  nDays += 719468;
  const long nEra = (nDays >= 0 ? nDays : nDays - 146096) / 146097;
  const long nDayOfEra = nDays - nEra * 146097;
  const long nYearOfEra =
      (nDayOfEra - nDayOfEra / 1460 + nDayOfEra / 36524 - nDayOfEra / 146096) / 365;
  const long nDayOfYear = nDayOfEra - (365 * nYearOfEra + nYearOfEra / 4 - nYearOfEra / 100);
  const long nMonthIndex = (5 * nDayOfYear + 2) / 153;
  *pnDay = static_cast<int>(nDayOfYear - (153 * nMonthIndex + 2) / 5 + 1);
  *pnMonth = static_cast<int>(nMonthIndex < 10 ? nMonthIndex + 3 : nMonthIndex - 9);
  *pnYear = static_cast<int>(nYearOfEra + nEra * 400 + (*pnMonth <= 2 ? 1 : 0));
}

int CxWeekdayOf(int nYear, int nMonth, int nDay) {
  const long nWeekday = (CxDaysFromCivil(nYear, nMonth, nDay) + 4) % 7;  // 1970-01-01: Thursday
  return static_cast<int>(nWeekday < 0 ? nWeekday + 7 : nWeekday);
}

INT SystemTimeToVariantTime(const SYSTEMTIME* pst, DATE* pvtime) {
  if (pst == nullptr || pvtime == nullptr) return FALSE;
  if (pst->wYear < 100 || pst->wYear > 9999) return FALSE;
  if (!CxIsValidDate(pst->wYear, pst->wMonth, pst->wDay)) return FALSE;
  if (pst->wHour > 23 || pst->wMinute > 59 || pst->wSecond > 59) return FALSE;

  const long nDay = CxDaysFromCivil(pst->wYear, pst->wMonth, pst->wDay) - kVariantEpochFromUnix;
  const double dFraction =
      static_cast<double>(pst->wHour * 3600L + pst->wMinute * 60L + pst->wSecond) /
      static_cast<double>(kSecondsPerDay);
  *pvtime =
      nDay >= 0 ? static_cast<double>(nDay) + dFraction : static_cast<double>(nDay) - dFraction;
  return TRUE;
}

INT VariantTimeToSystemTime(DATE vtime, SYSTEMTIME* pst) {
  if (pst == nullptr || std::isnan(vtime)) return FALSE;
  if (vtime <= kMinVariantDay - 1.0 || vtime >= kMaxVariantDay + 1.0) return FALSE;

  const double dWhole = std::trunc(vtime);
  long nDay = static_cast<long>(dWhole);
  // The time of day is rounded to the nearest second as a whole, so a moment half a second
  // before midnight moves to the next day.
  long nSeconds = static_cast<long>(
      std::floor(std::fabs(vtime - dWhole) * static_cast<double>(kSecondsPerDay) + 0.5));
  if (nSeconds >= kSecondsPerDay) {
    nSeconds -= kSecondsPerDay;
    ++nDay;
  }
  if (nDay > static_cast<long>(kMaxVariantDay)) return FALSE;

  int nYear = 0, nMonth = 0, nDayOfMonth = 0;
  CxCivilFromDays(nDay + kVariantEpochFromUnix, &nYear, &nMonth, &nDayOfMonth);
  pst->wYear = static_cast<WORD>(nYear);
  pst->wMonth = static_cast<WORD>(nMonth);
  pst->wDay = static_cast<WORD>(nDayOfMonth);
  // Day 0 was a Saturday.
  pst->wDayOfWeek = static_cast<WORD>(((nDay % 7) + 7 + 6) % 7);
  pst->wHour = static_cast<WORD>(nSeconds / 3600);
  pst->wMinute = static_cast<WORD>(nSeconds / 60 % 60);
  pst->wSecond = static_cast<WORD>(nSeconds % 60);
  pst->wMilliseconds = 0;
  return TRUE;
}

void GetLocalTime(SYSTEMTIME* pst) {
  if (pst == nullptr || ReadFixed(pst)) return;
  struct timespec tsNow {};
  clock_gettime(CLOCK_REALTIME, &tsNow);
  struct tm tmLocal {};
  CxLocalTime(tsNow.tv_sec, &tmLocal);
  FromTm(tmLocal, static_cast<WORD>(tsNow.tv_nsec / 1000000), pst);
}

void GetSystemTime(SYSTEMTIME* pst) {
  if (pst == nullptr) return;
  SYSTEMTIME stFixed;
  struct timespec tsNow {};
  if (ReadFixed(&stFixed)) {
    struct tm tmLocal {};
    tmLocal.tm_year = stFixed.wYear - 1900;
    tmLocal.tm_mon = stFixed.wMonth - 1;
    tmLocal.tm_mday = stFixed.wDay;
    tmLocal.tm_hour = stFixed.wHour;
    tmLocal.tm_min = stFixed.wMinute;
    tmLocal.tm_sec = stFixed.wSecond;
    tmLocal.tm_isdst = -1;
    tsNow.tv_sec = CxLocalToTime(&tmLocal);
    tsNow.tv_nsec = static_cast<long>(stFixed.wMilliseconds) * 1000000;
  } else {
    clock_gettime(CLOCK_REALTIME, &tsNow);
  }
  struct tm tmUtc {};
  gmtime_r(&tsNow.tv_sec, &tmUtc);
  FromTm(tmUtc, static_cast<WORD>(tsNow.tv_nsec / 1000000), pst);
}

void CxSetFixedLocalTime(const SYSTEMTIME* pst) {
  std::lock_guard<std::mutex> guard(g_FixedLock);
  g_bFixed = pst != nullptr;
  if (pst == nullptr) return;
  g_stFixed = *pst;
  // A test that gives only the date still gets a consistent day of week.
  if (pst->wMonth >= 1 && pst->wMonth <= 12 && pst->wDay >= 1 && pst->wDay <= 31) {
    g_stFixed.wDayOfWeek = static_cast<WORD>(CxWeekdayOf(pst->wYear, pst->wMonth, pst->wDay));
  }
}

bool CxLocalTime(std::time_t tValue, std::tm* pOut) {
  return pOut != nullptr && localtime_r(&tValue, pOut) != nullptr;
}

std::time_t CxLocalToTime(std::tm* pFields) {
  return pFields != nullptr ? mktime(pFields) : -1;
}
