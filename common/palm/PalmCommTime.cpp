// The Palm time value (PmTime) and the guess of the zone a calendar was written in: seconds
// since 1970-01-01 UTC, broken down in the process's time zone.
#include "common/palm/PalmCommTime.h"
#define DB_MODULE "PalmComm"
#include <algorithm>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/win/WinTime.h"

// ---------------------------------------------------------------------------------------------
// PmTime

PmTime::PmTime(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond) {
  std::tm tmLocal{};
  tmLocal.tm_year = nYear - 1900;
  tmLocal.tm_mon = nMonth - 1;
  tmLocal.tm_mday = nDay;
  tmLocal.tm_hour = nHour;
  tmLocal.tm_min = nMinute;
  tmLocal.tm_sec = nSecond;
  tmLocal.tm_isdst = -1;
  m_nValue = static_cast<DWORD>(CxLocalToTime(&tmLocal));
}

PmTime::PmTime(DWORD nValue) : m_nValue(nValue) {
  if (m_nValue == 0) {
    // Now, from the platform's clock, which tests can fix.
    SYSTEMTIME stNow;
    GetLocalTime(&stNow);
    FromSystemTime(&stNow);
  }
}

namespace {

// The local broken-down time of a Palm time value (taken as unsigned: Palm dates run to 2106).
// A loaded calendar asks this several times a record: the platform's form is the one that
// does not read the zone file again each time.
bool LocalFields(DWORD nValue, std::tm* pOut) {
  return CxLocalTime(static_cast<std::time_t>(nValue), pOut);
}

}  // namespace

int PmTime::GetYear() const {
  std::tm tmLocal{};
  return LocalFields(m_nValue, &tmLocal) ? tmLocal.tm_year + 1900 : 0;
}

int PmTime::GetMonth() const {
  std::tm tmLocal{};
  return LocalFields(m_nValue, &tmLocal) ? tmLocal.tm_mon + 1 : 0;
}

int PmTime::GetDay() const {
  std::tm tmLocal{};
  return LocalFields(m_nValue, &tmLocal) ? tmLocal.tm_mday : 0;
}

bool PmTime::FromSystemTime(const SYSTEMTIME* pst) {
  if (pst == nullptr) return false;
  *this = PmTime(pst->wYear, pst->wMonth, pst->wDay, pst->wHour, pst->wMinute, pst->wSecond);
  // A Palm time counts unsigned seconds from 1970: a date outside that range would wrap into
  // another one.
  std::tm tmLocal{};
  tmLocal.tm_year = pst->wYear - 1900;
  tmLocal.tm_mon = pst->wMonth - 1;
  tmLocal.tm_mday = pst->wDay;
  tmLocal.tm_hour = pst->wHour;
  tmLocal.tm_min = pst->wMinute;
  tmLocal.tm_sec = pst->wSecond;
  tmLocal.tm_isdst = -1;
  const long long nSeconds = static_cast<long long>(CxLocalToTime(&tmLocal));
  return nSeconds >= 0 && nSeconds <= 0xFFFFFFFFLL;
}

bool PmTime::ToSystemTime(SYSTEMTIME* pst) const {
  if (pst == nullptr) return false;
  std::memset(pst, 0, sizeof(*pst));
  std::tm tmLocal{};
  if (!LocalFields(m_nValue, &tmLocal)) return false;
  pst->wYear = static_cast<WORD>(tmLocal.tm_year + 1900);
  pst->wMonth = static_cast<WORD>(tmLocal.tm_mon + 1);
  pst->wDay = static_cast<WORD>(tmLocal.tm_mday);
  pst->wHour = static_cast<WORD>(tmLocal.tm_hour);
  pst->wMinute = static_cast<WORD>(tmLocal.tm_min);
  pst->wSecond = static_cast<WORD>(tmLocal.tm_sec);
  return true;
}

namespace {

constexpr LONGLONG kSecondsPerDay = 86400;
constexpr LONGLONG kSecondsPerHour = 3600;
// How far past an untimed start's local time its day is looked for: up to half a day (the
// nearest midnight) in zones up to UTC+1; further east only as far as midnight at UTC+13,
// so a start written west of the reader (which it reads as the afternoon of the day before)
// still finds its day, but never less than an hour, since a local midnight that daylight
// saving skips is stored as 01:00.
constexpr LONGLONG kNearestMidnightReach = 12 * kSecondsPerHour;
constexpr LONGLONG kEastmostWriterOffset = 13 * kSecondsPerHour;
constexpr LONGLONG kSmallestReach = kSecondsPerHour;
// A daylight-saving change in only one of the two zones between an untimed start and its
// end moves the end by this much or less, in whole half-hours.
constexpr LONGLONG kLargestSavingShift = kSecondsPerHour;
constexpr LONGLONG kSavingStep = kSecondsPerHour / 2;

// Whole days of a wall-clock time, counted down for times before 1970.
LONGLONG DaysOf(LONGLONG nWall) {
  return nWall >= 0 ? nWall / kSecondsPerDay : -((-nWall + kSecondsPerDay - 1) / kSecondsPerDay);
}

// Local wall-clock time of a Palm time value as seconds since 1970-01-01 00:00 (of the wall
// clock, not UTC), and the zone's offset from UTC at that moment.
bool LocalWall(DWORD nValue, LONGLONG* pnWall, LONGLONG* pnOffset) {
  std::tm tmLocal{};
  if (!LocalFields(nValue, &tmLocal)) return false;
  const long nDays = CxDaysFromCivil(tmLocal.tm_year + 1900, tmLocal.tm_mon + 1, tmLocal.tm_mday);
  *pnWall = static_cast<LONGLONG>(nDays) * kSecondsPerDay + tmLocal.tm_hour * kSecondsPerHour +
            tmLocal.tm_min * 60 + tmLocal.tm_sec;
  *pnOffset = *pnWall - static_cast<LONGLONG>(nValue);
  return true;
}

// The wall-clock time of LocalWall as a SYSTEMTIME (wDayOfWeek and wMilliseconds 0).
bool WallToSystemTime(LONGLONG nWall, SYSTEMTIME* pst) {
  std::memset(pst, 0, sizeof(*pst));
  const LONGLONG nDays = DaysOf(nWall);
  const LONGLONG nSecondOfDay = nWall - nDays * kSecondsPerDay;
  int nYear = 0, nMonth = 0, nDay = 0;
  CxCivilFromDays(static_cast<long>(nDays), &nYear, &nMonth, &nDay);
  pst->wYear = static_cast<WORD>(nYear);
  pst->wMonth = static_cast<WORD>(nMonth);
  pst->wDay = static_cast<WORD>(nDay);
  pst->wHour = static_cast<WORD>(nSecondOfDay / kSecondsPerHour);
  pst->wMinute = static_cast<WORD>(nSecondOfDay / 60 % 60);
  pst->wSecond = static_cast<WORD>(nSecondOfDay % 60);
  return true;
}

// Whether a value is a midnight of the reader's own zone: 00:00, or where daylight saving
// skips midnight, the moment the day begins instead (01:00, or 00:30).
bool IsOwnMidnight(DWORD nValue, LONGLONG nWall, LONGLONG nOffset) {
  const LONGLONG nTimeOfDay = nWall - DaysOf(nWall) * kSecondsPerDay;
  if (nTimeOfDay == 0) return true;
  if (nTimeOfDay > kSmallestReach || static_cast<LONGLONG>(nValue) < nTimeOfDay) return false;
  LONGLONG nEarlierWall = 0;
  LONGLONG nEarlierOffset = 0;
  return LocalWall(static_cast<DWORD>(nValue - nTimeOfDay), &nEarlierWall, &nEarlierOffset) &&
         nEarlierOffset != nOffset;
}

// The wall-clock midnight of the day an untimed start names (see ToUntimedDay), and the
// start's own wall-clock time. The reader's own midnight is always its own day.
bool UntimedMidnight(DWORD nStart, const PmWriterZone* pZone, LONGLONG* pnMidnight,
                     LONGLONG* pnStartWall) {
  LONGLONG nOffset = 0;
  if (!LocalWall(nStart, pnStartWall, &nOffset)) return false;
  if (pZone != nullptr && pZone->bKnown && !IsOwnMidnight(nStart, *pnStartWall, nOffset)) {
    *pnMidnight = DaysOf(static_cast<LONGLONG>(nStart) + pZone->nOffset + kNearestMidnightReach) *
                  kSecondsPerDay;
    return true;
  }
  const LONGLONG nReach =
      std::clamp(kEastmostWriterOffset - nOffset, kSmallestReach, kNearestMidnightReach);
  *pnMidnight = DaysOf(*pnStartWall + nReach) * kSecondsPerDay;
  return true;
}

// Writer offsets are looked for on a quarter-hour grid, the finest any zone uses, from just
// past UTC-11 to UTC+13 (New Zealand in summer, Tonga): one day of offsets.
constexpr LONGLONG kOffsetStep = 15 * 60;
constexpr int kOffsetSteps = static_cast<int>(kSecondsPerDay / kOffsetStep);
// A zone with daylight saving writes its midnights at two times of day an hour apart.
constexpr int kSavingSteps = static_cast<int>(kSecondsPerHour / kOffsetStep);

}  // namespace

bool PmTime::ToUntimedDay(SYSTEMTIME* pst, const PmWriterZone* pZone) const {
  if (pst == nullptr) return false;
  LONGLONG nMidnight = 0;
  LONGLONG nWall = 0;
  if (!UntimedMidnight(m_nValue, pZone, &nMidnight, &nWall)) {
    std::memset(pst, 0, sizeof(*pst));
    return false;
  }
  return WallToSystemTime(nMidnight, pst);
}

bool PmTime::ToUntimedDate(const PmTime& start, SYSTEMTIME* pst, const PmWriterZone* pZone) const {
  if (pst == nullptr) return false;
  std::memset(pst, 0, sizeof(*pst));
  LONGLONG nMidnight = 0;
  LONGLONG nStartWall = 0;
  LONGLONG nWall = 0;
  LONGLONG nOffset = 0;
  if (!UntimedMidnight(start.m_nValue, pZone, &nMidnight, &nStartWall) ||
      !LocalWall(m_nValue, &nWall, &nOffset)) {
    return false;
  }
  const LONGLONG nShift = nMidnight - nStartWall;
  nWall += nShift;
  if (nShift != 0) {
    // Written at midnight, but one of the two zones changed to or from daylight saving
    // between the start and this date: it lands half an hour or an hour before midnight.
    const LONGLONG nToMidnight = (DaysOf(nWall) + 1) * kSecondsPerDay - nWall;
    if (nToMidnight <= kLargestSavingShift && nToMidnight % kSavingStep == 0) nWall += nToMidnight;
  }
  return WallToSystemTime(nWall, pst);
}

LONGLONG PmTime::DayNumberAt(LONGLONG nOffset) const {
  return DaysOf(static_cast<LONGLONG>(m_nValue) + nOffset);
}

PmWriterZone PmGuessWriterZone(const std::vector<DWORD>& vMidnights) {
  PmWriterZone zone;
  int nOwn = 0;
  std::vector<int> vSteps(kOffsetSteps, 0);
  for (DWORD nValue : vMidnights) {
    LONGLONG nWall = 0;
    LONGLONG nOffset = 0;
    if (!LocalWall(nValue, &nWall, &nOffset)) continue;
    if (IsOwnMidnight(nValue, nWall, nOffset)) ++nOwn;
    // The writer's offset is what takes the value to a midnight.
    const LONGLONG nToMidnight =
        (kSecondsPerDay - static_cast<LONGLONG>(nValue) % kSecondsPerDay) % kSecondsPerDay;
    ++vSteps[static_cast<size_t>(nToMidnight / kOffsetStep)];
  }
  // A pair of steps an hour apart counts together; the offset is the one of the pair more
  // values show.
  int nBest = 0;
  int nBestStep = 0;
  for (int nStep = 0; nStep < kOffsetSteps; ++nStep) {
    const int nSummerStep = (nStep + kSavingSteps) % kOffsetSteps;
    const int nWinter = vSteps[static_cast<size_t>(nStep)];
    const int nSummer = vSteps[static_cast<size_t>(nSummerStep)];
    if (nWinter + nSummer > nBest) {
      nBest = nWinter + nSummer;
      nBestStep = nWinter >= nSummer ? nStep : nSummerStep;
    }
  }
  if (nBest == 0 || nOwn >= nBest) return zone;
  LONGLONG nOffset = nBestStep * kOffsetStep;
  if (nOffset > kEastmostWriterOffset) nOffset -= kSecondsPerDay;
  zone.bKnown = true;
  zone.nOffset = nOffset;
  return zone;
}
