// The common calendar record both stores convert every appointment into, its repeat pattern,
// and the table of field ids the user interface shows and matching compares.
//
// Records are structs of fixed text arrays and two parts held off the record (the note and the
// deleted occurrences, which most records leave empty); they are copied with `=` and cleared
// with `= {}`, never with memset or memcpy. Every text is NUL-terminated ANSI and writers cut
// it to its array (the note to COMM_NOTE_SIZE - 1 characters). Date-times are local. The one
// pointer a record owns is pExtra, the store-side block it came with: allocated with
// std::malloc (or by SetExtraCopy) and released with FreeExtra; a copy made with `=` shares
// it, so copies that outlive their source go through CommDateMgr::AddCopy. pPeer only refers
// into the other record set.
//
// A repeat carries the dates of its deleted occurrences: local dates at 00:00:00, ascending,
// each once (SetDeletedOccurrences in CommDateMgr.h keeps them so).
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "common/misc/CxText.h"
#include "platform/win/WinTypes.h"

// RepeatPattern::nType
inline constexpr INT REPEAT_NONE = 0;
inline constexpr INT REPEAT_DAILY = 1;
inline constexpr INT REPEAT_WEEKLY = 2;
inline constexpr INT REPEAT_MONTHLY_BY_DAY = 3;   // a weekday of the n-th week of the month
inline constexpr INT REPEAT_MONTHLY_BY_DATE = 4;  // a day number of the month
inline constexpr INT REPEAT_YEARLY_BY_DAY = 5;    // a weekday of the n-th week of a month
inline constexpr INT REPEAT_YEARLY_BY_DATE = 6;   // a day of a given month

// CommDate::nAdvanceUnit
inline constexpr UINT ADVANCE_MINUTES = 1;
inline constexpr UINT ADVANCE_HOURS = 2;
inline constexpr UINT ADVANCE_DAYS = 3;

// CommDate::nSource
inline constexpr UINT SOURCE_PALM = 1;
inline constexpr UINT SOURCE_OUTLOOK = 3;

// CommDate::nMatchState
inline constexpr UINT MATCH_SAME = 0;
inline constexpr UINT MATCH_NEW = 1;
inline constexpr UINT MATCH_CHANGED = 2;

// Field ids.
inline constexpr INT FIELD_DESCRIPTION = 1;
inline constexpr INT FIELD_START_TIME = 2;
inline constexpr INT FIELD_END_TIME = 3;
inline constexpr INT FIELD_START_DATE_TIME = 4;
inline constexpr INT FIELD_END_DATE_TIME = 5;
inline constexpr INT FIELD_DATE = 6;
inline constexpr INT FIELD_NOTE = 7;
inline constexpr INT FIELD_PRIVATE = 8;
inline constexpr INT FIELD_LOCATION = 9;
inline constexpr INT FIELD_IMPORTANCE = 10;
inline constexpr INT FIELD_CATEGORY = 11;
inline constexpr INT FIELD_ALARM = 12;
inline constexpr INT FIELD_ALL_DAY_EVENT = 13;
inline constexpr INT FIELD_REPEAT = 14;
inline constexpr INT FIELD_COUNT = 14;

// Weekday bits of nDayOfWeekMask (Outlook's values): bit 0 Sunday .. bit 6 Saturday.
#define DAYMASK_SUNDAY 0x01
#define DAYMASK_MONDAY 0x02
#define DAYMASK_TUESDAY 0x04
#define DAYMASK_WEDNESDAY 0x08
#define DAYMASK_THURSDAY 0x10
#define DAYMASK_FRIDAY 0x20
#define DAYMASK_SATURDAY 0x40

// The most deleted occurrences a repeat keeps: as many as a datebook record can hold.
inline constexpr UINT REPEAT_MAX_EXCEPTIONS = 256;
// A record's note: up to 8191 characters and the terminator.
inline constexpr UINT COMM_NOTE_SIZE = 8192;

struct RepeatPattern {
  INT nType;
  BYTE bHasEnd;               // the pattern ends at stPatternEnd
  SYSTEMTIME stPatternStart;  // stays zero from the stores; shown when set
  SYSTEMTIME stPatternEnd;    // last date the pattern may occur on (date part only)
  UINT nInterval;             // every n days, weeks, months or years; 0 never steps
  UINT nDayOfWeekMask;        // types 2, 3, 5
  UINT nDayOfMonth;           // 1..31, types 4, 6
  INT nMonthOfYear;           // 1..12, types 5, 6
  UINT nInstance;             // week of the month 1..5 (5 = last), types 3, 5
  // The store keeps no deleted occurrences (the 6.x database), so the list below says
  // nothing about them: it is empty, and neither compared nor written over another's.
  BYTE bExceptionsUnknown;
  // The deleted occurrences are the first nExceptionCount dates of stExceptions, ascending;
  // stExceptions holds at least that many (ExceptionDays reads them, SetExceptionDays sets
  // both), and at most REPEAT_MAX_EXCEPTIONS count.
  UINT nExceptionCount;
  std::vector<SYSTEMTIME> stExceptions;
};

// The deleted occurrences of a repeat.
inline std::span<const SYSTEMTIME> ExceptionDays(const RepeatPattern& repeat) {
  size_t nCount = repeat.nExceptionCount < REPEAT_MAX_EXCEPTIONS ? repeat.nExceptionCount
                                                                 : REPEAT_MAX_EXCEPTIONS;
  if (nCount > repeat.stExceptions.size()) nCount = repeat.stExceptions.size();
  return {repeat.stExceptions.data(), nCount};
}
// Makes the nCount dates at pDays the repeat's deleted occurrences as they are (the caller
// keeps them ascending), cut to REPEAT_MAX_EXCEPTIONS.
void SetExceptionDays(RepeatPattern* pRepeat, const SYSTEMTIME* pDays, size_t nCount);

// A series another calendar keeps in UTC or in another zone steps at one clock time of that
// zone, so its occurrences move on the local clock when either zone's clock changes. From
// dtFrom on (an automation date on the clock the record's own stepping gives, its start's
// local time of day), an occurrence starts nMinutes later than that.
struct CommClockShift {
  DATE dtFrom;
  INT nMinutes;
};

struct CommDate {
  char szDescription[256];
  BOOL bAllDay;
  SYSTEMTIME stStart;
  SYSTEMTIME stEnd;
  BOOL bAlarm;
  CxText<COMM_NOTE_SIZE> szNote;
  char szLocation[256];
  RepeatPattern repeat;
  BOOL bPrivate;
  char szCategory[64];
  INT nImportance;
  BOOL bAdvance;  // nAdvance / nAdvanceUnit are valid
  INT nAdvance;
  UINT nAdvanceUnit;  // ADVANCE_*
  UINT nSource;       // SOURCE_*
  UINT nMatchState;   // MATCH_*, set by CommDateMgr::MarkAll
  void* pExtra;       // owned store-side block, null when none
  UINT nExtraSize;    // size of pExtra in bytes, 0 when none
  CommDate* pPeer;    // counterpart in the other set, not owned
  // How a series of another zone moves on the local clock, ascending; empty for most. Only
  // showing occurrences reads it: the other side keeps the start's clock time, and matching
  // compares the start.
  std::vector<CommClockShift> clockShifts;
};

struct CommField {
  INT nId;
  char szName[32];
  INT nTextSize;  // display text size the field needs
  DWORD dwReserved;
};

// Copies the table row of nId into *pField. False (pField untouched) for an unknown id or a
// missing descriptor.
bool GetFieldDesc(int nId, CommField* pField);

// Writes the display text of pField->nId into szBuf (always terminated, cut to nSize - 1).
// An unknown id gives an empty text and true; false only for a missing argument or nSize < 1.
bool GetFieldText(const CommDate* pDate, const CommField* pField, char* szBuf, int nSize);

// Copies szSrc into szDst (cut to nDstSize - 1) only when both are given and szSrc is not
// empty, so an update never empties a text.
void CopyIfText(char* szDst, int nDstSize, const char* szSrc);
template <size_t N>
inline void CopyIfText(char (&szDst)[N], const char* szSrc) {
  CopyIfText(szDst, static_cast<int>(N), szSrc);
}
template <size_t N>
inline void CopyIfText(CxText<N>& text, const char* szSrc) {
  if (szSrc != nullptr && szSrc[0] != '\0') text.Assign(szSrc);
}

// Equal once every CR and LF is removed from both, letters compared without regard to case.
bool SameNoteText(const char* szA, const char* szB);

// Type, interval, weekday mask, day of month, month and instance equal; the end, the pattern
// start and the deleted occurrences do not take part: they change a series, not which series
// it is. False when either is missing.
bool SameRepeat(const RepeatPattern* pA, const RepeatPattern* pB);

// The two repeats have the same deleted occurrences, or one of them cannot tell (its store
// keeps none). False when either is missing.
bool SameExceptions(const RepeatPattern* pA, const RepeatPattern* pB);
// Whether the date of pDay is one of the repeat's deleted occurrences.
bool IsDeletedOccurrence(const RepeatPattern* pRepeat, const SYSTEMTIME* pDay);

// Whether the repeat has a last date a person set: an end in 2100 or later is how the stores
// say "no end".
bool RepeatHasRealEnd(const RepeatPattern* pRepeat);

// Frees pDate->pExtra and clears pExtra / nExtraSize.
void FreeExtra(CommDate* pDate);
// Replaces pDate->pExtra with a private copy of nSize bytes of pData (none when pData is null
// or nSize is 0). False, with no block attached, when the copy cannot be allocated.
bool SetExtraCopy(CommDate* pDate, const void* pData, UINT nSize);

// A store-side block sized to what it holds: the nSize bytes at pData, except that the text
// field of nTextCapacity bytes at nTextOffset is kept only up to its NUL (an Outlook item
// image is mostly its 20 KB note, which most appointments leave empty) and every other run of
// zero bytes takes two or three bytes (identifiers and lists of dates are mostly empty too).
// UnpackExtra gives the nSize bytes back, the text field zero after its text; it fails (pOut
// untouched) for a block that is not a packed block of nSize bytes. A field without NUL is
// kept whole.
std::vector<BYTE> PackExtra(const void* pData, UINT nSize, UINT nTextOffset, UINT nTextCapacity);
bool UnpackExtra(const void* pBlock, UINT nBlockSize, void* pOut, UINT nSize);
// The first nBytes of a record's block, packed or not, as its store wrote them; false when
// the block is shorter or missing.
bool PeekExtra(const CommDate* pDate, void* pOut, UINT nBytes);
