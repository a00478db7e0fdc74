// The Palm time value: seconds since 1970-01-01 UTC, always converted through the C library's
// local-time functions, so every broken-down field here is in the process's time zone.
#pragma once

#include <vector>

#include "platform/win/WinTypes.h"

// The zone a calendar's dates were written in, as seconds east of UTC. A datebook keeps every
// date (an untimed start, a deleted occurrence) as the midnight that began it where it was
// written, so the time of day most of those values share in UTC names the writer's offset.
// Unknown when most of them are the reader's own midnights, or when there are none: the
// reader's zone is then taken as the writer's.
struct PmWriterZone {
  bool bKnown = false;
  LONGLONG nOffset = 0;
};

// Palm time value.
class PmTime {
 public:
  // Local calendar fields; the library decides whether daylight saving applies.
  PmTime(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond);
  // The raw value; 0 means the current time.
  explicit PmTime(DWORD nValue = 0);

  DWORD GetValue() const { return m_nValue; }
  void SetValue(DWORD nValue) { m_nValue = nValue; }

  int GetYear() const;
  int GetMonth() const;
  int GetDay() const;

  // Local wYear..wSecond; wDayOfWeek and wMilliseconds are ignored.
  bool FromSystemTime(const SYSTEMTIME* pst);
  // Clears *pst, then fills year..second; wDayOfWeek and wMilliseconds stay 0.
  bool ToSystemTime(SYSTEMTIME* pst) const;

  // An untimed appointment is stored as the local midnight of its day in the zone it was
  // written in, so under another zone the same value is some other hour, often of another
  // day. ToUntimedDay gives the day (at 00:00:00) the value names as a start: the day whose
  // local midnight lies nearest it, so a value written up to twelve hours east or west keeps
  // its day; east of UTC+1 the day is looked for less far ahead (down to an hour), so values
  // written in the Americas keep their day there too. ToUntimedDate reads another date
  // of the same appointment (its end, a repeat end) moved by as much as its start was, so
  // the appointment keeps its length; read in the zone it was written in, a midnight start
  // leaves the other date exactly as ToSystemTime gives it.
  // With the zone a calendar was written in (PmGuessWriterZone), a value that is not the
  // reader's own midnight names the day whose midnight in that zone lies nearest it, however
  // far east or west of the reader that zone is.
  bool ToUntimedDay(SYSTEMTIME* pst, const PmWriterZone* pZone = nullptr) const;
  bool ToUntimedDate(const PmTime& start, SYSTEMTIME* pst,
                     const PmWriterZone* pZone = nullptr) const;
  // The day number (days since 1970-01-01) of this value's date in a zone nOffset seconds
  // east of UTC.
  LONGLONG DayNumberAt(LONGLONG nOffset) const;

 private:
  DWORD m_nValue;
};

PmWriterZone PmGuessWriterZone(const std::vector<DWORD>& vMidnights);
