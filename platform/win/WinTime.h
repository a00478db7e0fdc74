// Local time and the OLE Automation date conversions, with the behaviour of the Windows
// functions of the same names. An automation date is a double counting days since
// 1899-12-30 00:00; its fraction is the time of day. Before 1899-12-30 the whole part is
// negative and the fraction still counts forward from midnight (-1.25 is 1899-12-29 06:00),
// as Windows reads negative dates.
#pragma once

#include <ctime>

#include "platform/win/WinTypes.h"

// The calendar arithmetic of every layer (proleptic Gregorian, as automation dates count):
// one home, so that no two parts of the program can disagree about a date.
bool CxIsLeapYear(int nYear);
// 0 for a month outside 1..12.
int CxDaysInMonth(int nYear, int nMonth);
// Whether year, month and day name a real day (31 February does not).
bool CxIsValidDate(int nYear, int nMonth, int nDay);
// Days since 1970-01-01 of a valid date, and back.
long CxDaysFromCivil(int nYear, int nMonth, int nDay);
void CxCivilFromDays(long nDays, int* pnYear, int* pnMonth, int* pnDay);
// 0 = Sunday .. 6 = Saturday, of a date whose month is 1..12.
int CxWeekdayOf(int nYear, int nMonth, int nDay);

// Fails (returns FALSE, *pvtime untouched) for a month outside 1..12, a day of 0 or beyond
// the month, an hour above 23, a minute or second above 59, or a year outside 100..9999.
// wDayOfWeek and wMilliseconds are ignored.
INT SystemTimeToVariantTime(const SYSTEMTIME* pst, DATE* pvtime);

// Always yields a valid date-time with its day of week for dates within the automation
// range (0100-01-01 .. 9999-12-31); fails outside it, including a moment so close to the
// end of 9999 that it would round into year 10000. The time of day is rounded to the nearest
// second as Windows rounds it (23:59:59.5 becomes 00:00:00 of the next day); milliseconds
// are 0.
INT VariantTimeToSystemTime(DATE vtime, SYSTEMTIME* pst);

// The current local date and time of the process's time zone.
void GetLocalTime(SYSTEMTIME* pst);

// The current date and time in UTC.
void GetSystemTime(SYSTEMTIME* pst);

// The local broken-down time of a moment, as the C library's localtime gives it, without
// its cost: localtime looks at the zone file on the disk again on every call. False for a
// moment the library cannot convert.
bool CxLocalTime(std::time_t tValue, std::tm* pOut);

// The moment of a local broken-down time, as mktime gives it (tm_isdst -1 lets the zone
// decide); -1 for a time the library cannot convert. With CxLocalTime, the one place the
// program turns between moments and the local clock.
std::time_t CxLocalToTime(std::tm* pFields);

// Tests fix "now" here: while set, GetLocalTime and GetSystemTime report this moment
// (local time) instead of the clock. Pass null to return to the clock.
void CxSetFixedLocalTime(const SYSTEMTIME* pst);
