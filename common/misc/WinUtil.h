// Date helpers over SYSTEMTIME records, the calendar rules, recurrence stepping, and a few
// system helpers (the program's folder, the shell's "open", hex text). Record date-times are
// local; the date helpers compare only the fields they name, never the stored day of week.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win/WinTypes.h"

struct CommDate;

// -1, 0 or 1 by year, month, day (CompareDate) or by hour, minute, second (CompareTime).
// A missing a gives -1; a missing b with a present gives 1.
int CompareDate(const SYSTEMTIME* pA, const SYSTEMTIME* pB);
int CompareTime(const SYSTEMTIME* pA, const SYSTEMTIME* pB);

// Sets wDayOfWeek from the date (Gregorian calendar); a month outside 1..12 leaves it.
void FixDayOfWeek(SYSTEMTIME* pDate);

// Copies year, month, day and day of week; the destination keeps its time of day.
bool CopyDate(const SYSTEMTIME* pSrc, SYSTEMTIME* pDst);

// "March 7, 2011 Monday". False (buffer untouched) for a missing argument, a size of 0, a
// month or weekday out of range, or when the text would not fit with its terminator.
bool GetLongDateText(const SYSTEMTIME* pDate, char* szBuf, int nSize);

bool IsLeapYear(int nYear);
// Days of the month; 0 for a month outside 1..12.
int DaysInMonth(int nYear, int nMonth);

// Drops the time of day, adds nDays and fills in the day of week; the result is at 00:00:00.
// False (date untouched) when the date cannot be converted or the result leaves the
// automation date range.
bool AddDays(SYSTEMTIME* pDate, int nDays);
// Moves the time of day nMinutes earlier within the same day, stopping at 00:00.
void SubtractMinutesInDay(SYSTEMTIME* pTime, int nMinutes);
// Minutes from the start's time of day to the end's; the dates do not take part.
int MinutesBetween(const SYSTEMTIME* pEnd, const SYSTEMTIME* pStart);

// Moves pCursor to the next date on which the repeating record occurs and reports whether
// there is one. A record that starts after the cursor's date moves the cursor to its start.
// Weekly stepping reads the cursor's day of week, so the cursor must carry a correct one.
bool NextOccurrence(const CommDate* pDate, SYSTEMTIME* pCursor);

// The most steps a search along a recurrence may stand for. Every step moves at least a day
// on and the dates a step can reach span fewer days, so only a broken step rule reaches it.
inline constexpr long MAX_OCCURRENCE_STEPS = 3700000L;

// The first date on or after pDay that stepping the record's recurrence with NextOccurrence
// reaches from the record's start date (the start itself does not count), found without
// stepping through the occurrences before it. False when the stepping stops first: no
// further occurrence, a step that does not move the date forward, or MAX_OCCURRENCE_STEPS.
bool OccurrenceOnOrAfter(const CommDate* pDate, const SYSTEMTIME* pDay, SYSTEMTIME* pFound);

// Drive and folder of the program's own file, with the trailing separator.
bool GetAppFolder(char* szBuf, int nSize = MAX_PATH);
// Opens a file, folder or link with the shell's "open" verb; false only for an empty
// target (whether the shell managed is not known here).
bool ShellOpen(const char* szTarget);
// The bytes as "%02x" separated by blanks, at most 1024 of them, in one static buffer that
// the next call overwrites; empty for no bytes.
const char* HexText(const void* pBytes, int nCount);
// The same text of all the bytes, however many.
std::string HexString(const void* pBytes, size_t nCount);
