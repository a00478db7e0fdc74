// An appointment as the Outlook object model sees it, read from and written into one VEVENT.
// Dates are OLE Automation dates in the process's local time (what Outlook's VT_DATE
// properties hold). The file keeps a timed appointment in a time zone, as Outlook anchors it,
// so that its occurrences keep their wall-clock time in every program: the zone the event
// already had, else the process's own (IcsZone.h), UTC only where no zone can be named;
// floating times stay floating and all-day events are dates. Texts are UTF-8 here and UTF-16
// at the automation boundary. "Now" comes from the platform's clock (GetLocalTime,
// GetSystemTime) and new UIDs from CoCreateGuid, so tests can fix both.
#pragma once

#include <libical/ical.h>

#include <string>
#include <vector>

#include "platform/outlook/IcsFile.h"
#include "platform/win/WinTypes.h"

// Outlook's recurrence types.
#define OL_RECURS_DAILY 0
#define OL_RECURS_WEEKLY 1
#define OL_RECURS_MONTHLY 2
#define OL_RECURS_MONTH_NTH 3
#define OL_RECURS_YEARLY 5
#define OL_RECURS_YEAR_NTH 6

// What Outlook reports for "no date": 4501-01-01.
#define OL_DATE_NONE 949998.0

struct OlPattern {
  LONG nType = OL_RECURS_WEEKLY;
  LONG nInterval = 1;  // days, weeks or months; yearly patterns count months (12 a year)
  LONG nDayOfWeekMask = 0;
  LONG nDayOfMonth = 0;
  LONG nInstance = 0;  // 1..4, 5 = last
  LONG nMonthOfYear = 0;
  bool bHasEnd = false;
  DATE dtEnd = 0;  // local date of the last occurrence, at 00:00

  bool operator==(const OlPattern& other) const;
};

// A series kept in UTC or in another zone than the local one steps at one clock time of its
// own zone, so its occurrences move on the local clock whenever either zone's clock changes.
// From dtFrom on, on the clock the series steps by (local at its start, its own zone's clock
// moved by the distance the two had then), an occurrence starts nMinutes later locally.
struct OlClockShift {
  DATE dtFrom;
  LONG nMinutes;
};

struct OlEventData {
  std::string strEntryID;
  std::string strSubject;
  std::string strBody;
  std::string strLocation;
  std::string strCategories;  // "A, B", as Outlook lists them
  DATE dtStart = 0;           // local; whole days for all-day events
  LONG nDuration = 30;        // minutes
  bool bAllDay = false;
  bool bReminderSet = false;
  LONG nReminderMinutes = 15;
  bool bRecurring = false;
  OlPattern pattern;
  // The local days (at 00:00) of the deleted occurrences of a recurring event, ascending:
  // its EXDATEs. Outlook shows them as the pattern's exceptions whose "Deleted" is set.
  std::vector<DATE> deleted;
  // The local days of the series' changed instances (RECURRENCE-ID), which are items of
  // their own: listed in deleted too, so that the series skips them, and never written as
  // EXDATEs.
  std::vector<DATE> overridden;
  // Of a timed series in UTC or another zone, ascending; empty when its occurrences keep the
  // local clock time of its start.
  std::vector<OlClockShift> shifts;
  DATE dtCreated = 0;
  DATE dtModified = 0;
};

// OLE date <-> moments and local calendar fields.
bool OlDateToLocalFields(DATE dt, struct tm* pFields);
bool OlLocalFieldsToDate(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond,
                         DATE* pdt);
DATE OlDateFromUnix(time_t t);  // local time of the moment
time_t OlDateToUnix(DATE dt);   // the moment of a local time
bool OlIsValidDate(DATE dt);
// The current local time, whole seconds.
DATE OlLocalNow();

// The pattern Outlook gives a recurrence that starts at dtStart (local) for a type.
OlPattern OlDefaultPattern(LONG nType, DATE dtStart);

// Whether the recurring event has an occurrence on the local day of dtDay that is not deleted:
// its pattern stepped from its start, as the rule a save writes for it would step.
bool OlHasOccurrenceOn(const OlEventData& data, DATE dtDay);

// The local day (at 00:00) of an OLE date.
DATE OlDayOf(DATE dt);

// Which item an event is: its UID, and for a changed instance its RECURRENCE-ID after a
// "?" ("uid?20110314T090000"). This is the item's EntryID.
std::string OlIdentityOf(icalcomponent* pEvent);

// False for an event whose repetition Outlook's patterns cannot hold exactly: several
// RRULEs, a rule finer than a day, days a month lacks, BYSETPOS beyond the "n-th of these
// weekdays" form, a weekday together with a month day, and the like.
bool OlRuleIsExact(icalcomponent* pEvent);
// False for a series whose start falls on another local day than in its own zone while its
// rule counts weekdays within the month: the day before the second Thursday there is not the
// second Wednesday here, and no pattern holds it. The file's zones must all be read.
bool OlRuleKeepsLocalDays(OlIcsFile* pFile, icalcomponent* pEvent);

// The EntryIDs of an event's extra dates (RDATE), one per value in file order; empty for a
// value that adds no occurrence (its start, or a date an EXDATE removes).
std::vector<std::string> OlExtraDateIdentities(icalcomponent* pEvent);

// Reads item nItem of the file: an event, or one extra date of an event as an appointment
// of its own (the event's texts and length at that date). False when it has no usable start.
bool OlReadItem(OlIcsFile* pFile, size_t nItem, OlEventData* pData);

// The changed instance (RECURRENCE-ID) that stands for extra date item nItem with the changes
// from base to now, as a whole VEVENT block to append. *pstrTzid as for OlRewriteEvent.
std::string OlExtraDateInstance(OlIcsFile* pFile, size_t nItem, const OlEventData& base,
                                const OlEventData& now, std::string* pstrTzid);

// Reads one event of the file. False only when the event has no usable start.
bool OlReadEvent(OlIcsFile* pFile, icalcomponent* pEvent, OlEventData* pData);

// The event's text with the changes from base to now applied: the properties that changed
// are replaced, everything else is kept as it stands. Sets LAST-MODIFIED and DTSTAMP and
// counts SEQUENCE up. *pstrTzid receives the TZID the new times are written in (empty for
// none), whose VTIMEZONE the calendar must hold.
std::string OlRewriteEvent(OlIcsFile* pFile, size_t nItem, const OlEventData& base,
                           const OlEventData& now, std::string* pstrTzid);
// The text of a new event; fills in its UID (the EntryID) and creation time. *pstrTzid as
// above.
std::string OlNewEvent(const char* szLineBreak, OlEventData* pData, std::string* pstrTzid);
