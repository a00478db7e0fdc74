// Reading an event into Outlook's view of it and writing changes back as line edits.
//
// How a write works: the event's raw text is walked line by line. Every property of an event
// belongs to the Outlook properties that kIcsMapping names for it; when a save changes one of
// those, the property's lines are dropped where they stand and its new lines are added just
// before END:VEVENT. A changed reminder edits the TRIGGER inside its own VALARM, so the
// alarm's other lines stay. Nothing else of the text is touched: what the object model cannot
// show (RDATE, other programs' X- properties, rule parts such as WKST) stays as it was. The
// EXDATEs are the deleted occurrences: they stay as written until the deleted days change or
// the start moves, and are then written anew, each at the start's time of day in its form.
#include "platform/outlook/IcsEvent.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <vector>

#include "platform/automation/ComRuntime.h"
#include "platform/outlook/IcsZone.h"
#include "platform/win/WinTime.h"

namespace {

// A COUNT beyond this many occurrences ends later than any calendar is looked at; stepping
// that far would only cost time, so such a rule reads as one without end.
constexpr int kMaxCountSteps = 20000;
constexpr double kSecond = 1.0 / 86400.0;
constexpr double kMinDate = -657434.0;
constexpr double kMaxDate = 2958465.99999;
constexpr double kUnixEpochDate = 25569.0;  // 1970-01-01 as an OLE date

// Ours: the pattern values an RRULE cannot carry (a daily pattern's DayOfWeekMask, say),
// valid only while the event's RRULE is still the rule in its X-RULE parameter, so that a
// rule another program changed is never overridden by values kept for an older one.
constexpr char kPatternProperty[] = "X-DAYBRIDGE-PATTERN";
constexpr char kRuleParameter[] = "X-RULE";

// The Outlook properties an iCalendar property of an event is read into and written from.
enum Owner : unsigned {
  OWN_NONE = 0,
  OWN_SUBJECT = 1u << 0,
  OWN_BODY = 1u << 1,
  OWN_LOCATION = 1u << 2,
  OWN_CATEGORIES = 1u << 3,
  OWN_TIMES = 1u << 4,    // Start, End, Duration, AllDayEvent
  OWN_PATTERN = 1u << 5,  // IsRecurring and the RecurrencePattern
  OWN_REMINDER = 1u << 6,
  OWN_SAVE = 1u << 7,        // every save that changes anything
  OWN_EXCEPTIONS = 1u << 8,  // the pattern's deleted occurrences
};

struct IcsMapping {
  const char* szProperty;
  unsigned nOwners;
  const char* szOutlook;  // what the object model shows of it
};

// The one table of what the stand-in does with an event's properties, those of other
// programs included. A property not listed is kept untouched by every save.
const IcsMapping kIcsMapping[] = {
    {"UID", OWN_NONE, "EntryID"},
    {"SUMMARY", OWN_SUBJECT, "Subject"},
    {"DESCRIPTION", OWN_BODY, "Body"},
    {"LOCATION", OWN_LOCATION, "Location"},
    {"CATEGORIES", OWN_CATEGORIES, "Categories: the values of every line, joined by \", \""},
    {"DTSTART", OWN_TIMES,
     "Start (UTC, TZID with or without VTIMEZONE, floating); VALUE=DATE: AllDayEvent. A new "
     "start keeps the event's zone (TZID or floating); UTC and dates move to the local zone"},
    {"DTEND", OWN_TIMES, "End and Duration (dates: whole days, multi-day events included)"},
    {"DURATION", OWN_TIMES, "Duration; an event that had DURATION keeps it when its time changes"},
    {"RRULE", OWN_PATTERN,
     "IsRecurring, RecurrencePattern: FREQ -> RecurrenceType (finer than daily: daily), "
     "INTERVAL -> Interval (yearly: months), BYDAY -> DayOfWeekMask and, with ordinals, "
     "Instance (the first ordinal; -1 is 5), BYSETPOS -> Instance, BYMONTHDAY -> DayOfMonth "
     "(-1, and 28..n with BYSETPOS=-1, is the month's last day up to n), BYMONTH -> "
     "MonthOfYear, UNTIL and COUNT -> PatternEndDate. While the pattern stays, the rule line "
     "stays as written (a moved start only renews UNTIL); COUNT is kept while it still ends "
     "on the end date"},
    {kPatternProperty, OWN_PATTERN, "pattern values RRULE cannot carry"},
    {"VALARM", OWN_REMINDER,
     "the first DISPLAY or AUDIO alarm: ReminderSet, ReminderMinutesBeforeStart (its TRIGGER "
     "alone is edited); other alarms kept"},
    {"CREATED", OWN_NONE, "CreationTime"},
    {"LAST-MODIFIED", OWN_SAVE, "LastModificationTime (DTSTAMP when missing)"},
    {"DTSTAMP", OWN_SAVE, "renewed by every save"},
    {"SEQUENCE", OWN_SAVE, "counted up by every save"},
    {"RDATE", OWN_NONE, "none: kept"},
    {"EXDATE", OWN_EXCEPTIONS,
     "the pattern's Exceptions (each Deleted, its OriginalDate the day at the start's time); "
     "GetOccurrence and the occurrence's Delete add one; setting RecurrenceType or "
     "ClearRecurrencePattern drops them all"},
    {"RECURRENCE-ID", OWN_NONE,
     "an event with it is a changed instance, not an item, and no exception: kept"},
};

unsigned OwnersOf(const std::string& strName) {
  for (const IcsMapping& mapping : kIcsMapping) {
    if (strName == mapping.szProperty) return mapping.nOwners;
  }
  return OWN_NONE;
}

// The forms a time takes in the file.
enum FormKind { FORM_NONE, FORM_UTC, FORM_ZONED, FORM_FLOATING, FORM_DATE };

struct TimeForm {
  FormKind kind = FORM_NONE;
  std::string strTzid;
  icaltimezone* pZone = nullptr;  // may be null for a TZID nobody defines
};

bool SameDate(DATE a, DATE b) {
  return std::fabs(a - b) < kSecond / 2;
}

// The date part (whole local days) of an OLE date.
DATE DateOnly(DATE dt) {
  struct tm fields {};
  if (!OlDateToLocalFields(dt, &fields)) return 0;
  DATE dtDay = 0;
  OlLocalFieldsToDate(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, 0, 0, 0, &dtDay);
  return dtDay;
}

bool IsUsableTime(const icaltimetype& t) {
  if (icaltime_is_null_time(t)) return true;
  if (!CxIsValidDate(t.year, t.month, t.day)) return false;
  return t.is_date || (t.hour < 24 && t.minute < 60 && t.second <= 60);
}

std::string TextUid(icalcomponent* pEvent) {
  const char* szUid = icalcomponent_get_uid(pEvent);
  return szUid != nullptr ? szUid : "";
}

void SortUnique(std::vector<DATE>* pDays) {
  std::sort(pDays->begin(), pDays->end());
  pDays->erase(std::unique(pDays->begin(), pDays->end()), pDays->end());
}

// How many days the local date of a start lies after the date it has in its own zone
// (-1, 0 or 1).
int LocalDayShift(DATE dtLocalStart, const icaltimetype& start) {
  if (start.is_date) return 0;
  DATE dtZoneDay = 0;
  if (!OlLocalFieldsToDate(start.year, start.month, start.day, 0, 0, 0, &dtZoneDay)) return 0;
  const double dShift = std::nearbyint(DateOnly(dtLocalStart) - dtZoneDay);
  return dShift < -1 ? -1 : (dShift > 1 ? 1 : static_cast<int>(dShift));
}

// Moves the days a rule names by nShift days (a rule's weekdays and month days seen from
// another zone); days the pattern took from the local start need no move.
void ShiftPatternDays(int nShift, const icalrecurrencetype& rule, OlPattern* pPattern) {
  if (nShift == 0) return;
  if (rule.by_day[0] != ICAL_RECURRENCE_ARRAY_MAX) {
    LONG nMask = 0;
    for (int nDay = 0; nDay < 7; ++nDay) {
      if ((pPattern->nDayOfWeekMask & (1L << nDay)) != 0) {
        nMask |= 1L << ((nDay + nShift + 7) % 7);
      }
    }
    pPattern->nDayOfWeekMask = nMask;
  }
  if (rule.by_month_day[0] != ICAL_RECURRENCE_ARRAY_MAX && pPattern->nDayOfMonth >= 1 &&
      pPattern->nDayOfMonth < 31) {
    pPattern->nDayOfMonth = std::clamp<LONG>(pPattern->nDayOfMonth + nShift, 1, 31);
  }
}

std::string PropertyText(icalproperty* pProp) {
  char* szText = icalproperty_as_ical_string_r(pProp);
  std::string strText = szText != nullptr ? szText : "";
  free(szText);
  icalproperty_free(pProp);
  return strText;
}

std::string RuleText(const icalrecurrencetype& rule) {
  char* szText = icalrecurrencetype_as_string_r(const_cast<icalrecurrencetype*>(&rule));
  std::string strText = szText != nullptr ? szText : "";
  free(szText);
  return strText;
}

std::string TextOf(icalcomponent* pEvent, icalproperty_kind kind) {
  icalproperty* pProp = icalcomponent_get_first_property(pEvent, kind);
  if (pProp == nullptr) return std::string();
  const char* szValue = icalvalue_get_text(icalproperty_get_value(pProp));
  return szValue != nullptr ? szValue : "";
}

std::string TimeZoneId(icalproperty* pProp) {
  icalparameter* pParam = icalproperty_get_first_parameter(pProp, ICAL_TZID_PARAMETER);
  const char* szTzid = pParam != nullptr ? icalparameter_get_tzid(pParam) : nullptr;
  return szTzid != nullptr ? szTzid : "";
}

icalproperty* PatternProperty(icalcomponent* pEvent) {
  for (icalproperty* pProp = icalcomponent_get_first_property(pEvent, ICAL_X_PROPERTY);
       pProp != nullptr; pProp = icalcomponent_get_next_property(pEvent, ICAL_X_PROPERTY)) {
    const char* szName = icalproperty_get_x_name(pProp);
    if (szName != nullptr && strcasecmp(szName, kPatternProperty) == 0) return pProp;
  }
  return nullptr;
}

// A time of the file as a local OLE date: UTC and zoned times are moments; floating times,
// dates and the times of the process's own zone are wall-clock times already, taken as they
// stand so that they cannot shift by whatever definition of the zone the file carries.
DATE LocalDateOf(OlIcsFile* pFile, icaltimetype t, const std::string& strTzid) {
  DATE dt = 0;
  if (t.is_date) {
    OlLocalFieldsToDate(t.year, t.month, t.day, 0, 0, 0, &dt);
    return dt;
  }
  if (icaltime_is_utc(t)) return OlDateFromUnix(icaltime_as_timet(t));
  if (!OlIsLocalZone(strTzid.c_str())) {
    const icaltimezone* pZone = t.zone;
    if (pZone == nullptr && !strTzid.empty()) pZone = pFile->FindZone(strTzid.c_str());
    if (pZone != nullptr) {
      return OlDateFromUnix(icaltime_as_timet_with_zone(t, const_cast<icaltimezone*>(pZone)));
    }
  }
  OlLocalFieldsToDate(t.year, t.month, t.day, t.hour, t.minute, t.second, &dt);
  return dt;
}

// The local day the series' stepping gives the occurrence that starts at t (an EXDATE or a
// RECURRENCE-ID): t's day in the series' own zone, moved as the start's day was. That is t's
// local day, except near midnight while the clock shifts of the series stand apart from its
// start's: the day then names the occurrence the other calendar steps to, not a neighbour.
DATE SeriesDayOf(OlIcsFile* pFile, const icaltimetype& t, const std::string& strTzid,
                 const icaltimetype& start, const std::string& strStartZone, int nDayShift) {
  const DATE dtLocal = LocalDateOf(pFile, t, strTzid);
  if (t.is_date || start.is_date) return DateOnly(dtLocal);
  icaltimezone* pZone = icaltimezone_get_utc_timezone();
  if (!icaltime_is_utc(start)) {
    pZone = nullptr;
    if (!strStartZone.empty() && !OlIsLocalZone(strStartZone.c_str())) {
      pZone = start.zone != nullptr ? const_cast<icaltimezone*>(start.zone)
                                    : pFile->FindZone(strStartZone.c_str());
    }
    if (pZone == nullptr) return DateOnly(dtLocal);
  }
  const icaltimetype zoned = icaltime_from_timet_with_zone(OlDateToUnix(dtLocal), 0, pZone);
  DATE dtZoneDay = 0;
  if (!OlLocalFieldsToDate(zoned.year, zoned.month, zoned.day, 0, 0, 0, &dtZoneDay)) {
    return DateOnly(dtLocal);
  }
  return dtZoneDay + nDayShift;
}

// How the occurrences of a timed series move on the local clock: none for a series at local
// or floating times, or in a zone nobody defines (its times are then read as local ones).
std::vector<OlClockShift> ClockShiftsOf(OlIcsFile* pFile, const icaltimetype& start,
                                        const std::string& strTzid, const OlEventData& data) {
  std::vector<OlClockShift> shifts;
  icaltimezone* pZone = nullptr;
  if (!icaltime_is_utc(start)) {
    if (strTzid.empty() || OlIsLocalZone(strTzid.c_str())) return shifts;
    pZone = start.zone != nullptr ? const_cast<icaltimezone*>(start.zone)
                                  : pFile->FindZone(strTzid.c_str());
    if (pZone == nullptr) return shifts;
  }
  const std::vector<OlZoneStep>& steps = pFile->ZoneSteps(pZone != nullptr ? strTzid : "", pZone);
  const std::time_t tStart = OlDateToUnix(data.dtStart);
  const std::time_t tEnd = data.pattern.bHasEnd ? OlDateToUnix(data.pattern.dtEnd + 1)
                                                : std::numeric_limits<std::time_t>::max();
  auto at = std::upper_bound(steps.begin(), steps.end(), tStart,
                             [](std::time_t t, const OlZoneStep& step) { return t < step.tFrom; });
  const long nAheadAtStart = (at == steps.begin() ? *at : *(at - 1)).nLocalAhead;
  long nLast = 0;
  for (; at != steps.end() && at->tFrom <= tEnd; ++at) {
    const long nShift = at->nLocalAhead - nAheadAtStart;
    if (nShift == nLast) continue;
    const double dSeconds = static_cast<double>(at->tFrom) +
                            static_cast<double>(at->nZoneOffset + nAheadAtStart) * 60.0;
    shifts.push_back({kUnixEpochDate + dSeconds / 86400.0, static_cast<LONG>(nShift)});
    nLast = nShift;
  }
  return shifts;
}

icaltimetype UtcTimeOf(DATE dt) {
  return icaltime_from_timet_with_zone(OlDateToUnix(dt), 0, icaltimezone_get_utc_timezone());
}

icaltimetype DateValueOf(DATE dt) {
  struct tm fields {};
  OlDateToLocalFields(dt, &fields);
  icaltimetype t = icaltime_null_date();
  t.year = fields.tm_year + 1900;
  t.month = fields.tm_mon + 1;
  t.day = fields.tm_mday;
  t.is_date = 1;
  return t;
}

icaltimetype FloatingTimeOf(DATE dt) {
  struct tm fields {};
  OlDateToLocalFields(dt, &fields);
  icaltimetype t = icaltime_null_time();
  t.year = fields.tm_year + 1900;
  t.month = fields.tm_mon + 1;
  t.day = fields.tm_mday;
  t.hour = fields.tm_hour;
  t.minute = fields.tm_min;
  t.second = fields.tm_sec;
  return t;
}

// A local time in a form; a zoned time is the wall-clock time of the zone, without the zone
// attached (the caller adds the TZID parameter).
icaltimetype TimeIn(DATE dt, const TimeForm& form) {
  switch (form.kind) {
    case FORM_DATE:
      return DateValueOf(dt);
    case FORM_FLOATING:
      return FloatingTimeOf(dt);
    case FORM_ZONED:
      if (form.pZone != nullptr && !OlIsLocalZone(form.strTzid.c_str())) {
        icaltimetype t = icaltime_from_timet_with_zone(OlDateToUnix(dt), 0, form.pZone);
        t.zone = nullptr;
        return t;
      }
      return FloatingTimeOf(dt);
    default:
      return UtcTimeOf(dt);
  }
}

icalproperty* WithZone(icalproperty* pProp, const TimeForm& form) {
  if (form.kind == FORM_ZONED) {
    icalproperty_add_parameter(pProp, icalparameter_new_tzid(form.strTzid.c_str()));
  }
  return pProp;
}

// The zone of the process: its tz database name when it has one, else UTC.
TimeForm LocalForm() {
  TimeForm form;
  form.strTzid = OlLocalZoneName();
  form.pZone = form.strTzid.empty() ? nullptr : OlBuiltinZone(form.strTzid);
  form.kind = form.pZone != nullptr ? FORM_ZONED : FORM_UTC;
  if (form.kind == FORM_UTC) form.strTzid.clear();
  return form;
}

// The form of an event's start as the file has it.
TimeForm FormOf(OlIcsFile* pFile, icalcomponent* pEvent) {
  TimeForm form;
  icalproperty* pStart =
      pEvent != nullptr ? icalcomponent_get_first_property(pEvent, ICAL_DTSTART_PROPERTY) : nullptr;
  if (pStart == nullptr) return form;
  const icaltimetype t = icalproperty_get_dtstart(pStart);
  form.strTzid = TimeZoneId(pStart);
  if (t.is_date) {
    form.kind = FORM_DATE;
  } else if (!form.strTzid.empty()) {
    form.kind = FORM_ZONED;
    form.pZone = pFile->FindZone(form.strTzid.c_str());
  } else {
    form.kind = icaltime_is_utc(t) ? FORM_UTC : FORM_FLOATING;
  }
  if (form.kind != FORM_ZONED) form.strTzid.clear();
  return form;
}

// The form new times of an event are written in: an event keeps its zone (or its floating
// times); one that was in UTC or all-day, and a new one, takes the process's zone.
TimeForm WriteFormOf(OlIcsFile* pFile, icalcomponent* pEvent, bool bAllDay) {
  if (bAllDay) {
    TimeForm form;
    form.kind = FORM_DATE;
    return form;
  }
  TimeForm form = FormOf(pFile, pEvent);
  if (form.kind == FORM_ZONED || form.kind == FORM_FLOATING) return form;
  return LocalForm();
}

bool IsReminderAlarm(icalcomponent* pAlarm) {
  icalproperty* pAction = icalcomponent_get_first_property(pAlarm, ICAL_ACTION_PROPERTY);
  if (pAction == nullptr) return true;
  icalproperty_action action = icalproperty_get_action(pAction);
  return action == ICAL_ACTION_DISPLAY || action == ICAL_ACTION_AUDIO;
}

LONG WeekdayBit(int nIcalWeekday) {  // ICAL_SUNDAY_WEEKDAY = 1 .. ICAL_SATURDAY_WEEKDAY = 7
  return nIcalWeekday >= 1 && nIcalWeekday <= 7 ? (1L << (nIcalWeekday - 1)) : 0;
}

// Occurrence ordinal of iCalendar (1..4, -1) as Outlook's instance (1..4, 5 = last).
LONG InstanceOf(int nPosition) {
  if (nPosition < 0) return 5;
  return nPosition > 5 ? 5 : nPosition;
}

int PositionOf(LONG nInstance) {
  return nInstance >= 5 ? -1 : static_cast<int>(nInstance);
}

void ReadDays(const icalrecurrencetype& rule, LONG* pnMask, int* pnPosition) {
  *pnMask = 0;
  *pnPosition = 0;
  for (int i = 0; i < ICAL_BY_DAY_SIZE && rule.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
    *pnMask |= WeekdayBit(icalrecurrencetype_day_day_of_week(rule.by_day[i]));
    if (*pnPosition == 0) *pnPosition = icalrecurrencetype_day_position(rule.by_day[i]);
  }
  if (*pnPosition == 0 && rule.by_set_pos[0] != ICAL_RECURRENCE_ARRAY_MAX) {
    *pnPosition = rule.by_set_pos[0];
  }
}

// The fewest and the most days a month has (February: 28 and 29).
int FewestDays(int nMonth) {
  return CxDaysInMonth(2001, nMonth);
}
int MostDays(int nMonth) {
  return CxDaysInMonth(2000, nMonth);
}

// Outlook's DayOfMonth of a rule: a day beyond a month's end falls on its last day. The rule
// says so with -1 (the last day) or with days from 28 on and BYSETPOS=-1 (the last of them
// the month has); nMonth is the yearly rule's month, 0 for a monthly one.
LONG DayOfMonthOf(const icalrecurrencetype& rule, int nMonth, int nStartDay) {
  if (rule.by_month_day[0] == ICAL_RECURRENCE_ARRAY_MAX) return nStartDay;
  const int nFirst = rule.by_month_day[0];
  if (nFirst < 0) return nMonth >= 1 && nMonth <= 12 ? MostDays(nMonth) : 31;
  int nDay = nFirst;
  if (rule.by_set_pos[0] == -1) {
    for (int i = 1; i < ICAL_BY_MONTHDAY_SIZE && rule.by_month_day[i] != ICAL_RECURRENCE_ARRAY_MAX;
         ++i) {
      nDay = std::max<int>(nDay, rule.by_month_day[i]);
    }
  }
  return nDay < 1 ? 1 : (nDay > 31 ? 31 : nDay);
}

// The rule's way of saying "day nDay, or the month's last day when it is shorter".
void SetDayOfMonth(icalrecurrencetype* pRule, int nDay, int nMonth) {
  int nSlot = 0;
  const bool bYearly = nMonth >= 1 && nMonth <= 12;
  if (bYearly ? nDay > FewestDays(nMonth) : nDay >= 31) {
    pRule->by_month_day[nSlot++] = -1;
  } else if (!bYearly && nDay > 28) {
    for (int nCandidate = 28; nCandidate <= nDay; ++nCandidate) {
      pRule->by_month_day[nSlot++] = static_cast<short>(nCandidate);
    }
    pRule->by_set_pos[0] = -1;
    pRule->by_set_pos[1] = ICAL_RECURRENCE_ARRAY_MAX;
  } else {
    pRule->by_month_day[nSlot++] = static_cast<short>(nDay);
  }
  pRule->by_month_day[nSlot] = ICAL_RECURRENCE_ARRAY_MAX;
}

// A monthly rule limited to one month of the year ("FREQ=MONTHLY;BYMONTH=4;BYDAY=1SU", as
// some programs write a yearly holiday) steps exactly as the yearly rule of that month.
icalrecurrencetype AsYearlyWhereMonthly(icalrecurrencetype rule) {
  if (rule.freq == ICAL_MONTHLY_RECURRENCE && rule.interval <= 1 &&
      rule.by_month[0] != ICAL_RECURRENCE_ARRAY_MAX &&
      rule.by_month[1] == ICAL_RECURRENCE_ARRAY_MAX) {
    rule.freq = ICAL_YEARLY_RECURRENCE;
  }
  return rule;
}

OlPattern PatternOf(const icalrecurrencetype& ruleAsWritten, DATE dtStart) {
  const icalrecurrencetype rule = AsYearlyWhereMonthly(ruleAsWritten);
  struct tm start {};
  OlDateToLocalFields(dtStart, &start);
  const int nInterval = rule.interval > 0 ? rule.interval : 1;
  const bool bHasDays = rule.by_day[0] != ICAL_RECURRENCE_ARRAY_MAX;
  const int nMonth =
      rule.by_month[0] != ICAL_RECURRENCE_ARRAY_MAX ? rule.by_month[0] : start.tm_mon + 1;
  LONG nMask = 0;
  int nPosition = 0;
  ReadDays(rule, &nMask, &nPosition);
  const LONG nInstance = nPosition != 0 ? InstanceOf(nPosition) : (start.tm_mday - 1) / 7 + 1;

  OlPattern pattern;
  pattern.nInterval = nInterval;
  switch (rule.freq) {
    case ICAL_WEEKLY_RECURRENCE:
      pattern.nType = OL_RECURS_WEEKLY;
      pattern.nDayOfWeekMask = nMask != 0 ? nMask : (1L << start.tm_wday);
      break;
    case ICAL_MONTHLY_RECURRENCE:
      if (bHasDays) {
        pattern.nType = OL_RECURS_MONTH_NTH;
        pattern.nDayOfWeekMask = nMask;
        pattern.nInstance = nInstance;
      } else {
        pattern.nType = OL_RECURS_MONTHLY;
        pattern.nDayOfMonth = DayOfMonthOf(rule, 0, start.tm_mday);
      }
      break;
    case ICAL_YEARLY_RECURRENCE:
      pattern.nInterval = nInterval * 12;
      pattern.nMonthOfYear = nMonth >= 1 && nMonth <= 12 ? nMonth : start.tm_mon + 1;
      if (bHasDays) {
        pattern.nType = OL_RECURS_YEAR_NTH;
        pattern.nDayOfWeekMask = nMask;
        pattern.nInstance = nInstance;
      } else {
        pattern.nType = OL_RECURS_YEARLY;
        pattern.nDayOfMonth = DayOfMonthOf(rule, pattern.nMonthOfYear, start.tm_mday);
      }
      break;
    case ICAL_DAILY_RECURRENCE:
      // "Every weekday" is a daily rule limited to weekdays; a weekly pattern of those days
      // holds it exactly, where a daily one would step every day.
      pattern.nType = nMask != 0 ? OL_RECURS_WEEKLY : OL_RECURS_DAILY;
      pattern.nDayOfWeekMask = nMask;
      break;
    default:
      // Outlook has nothing finer than a day: hourly rules read as every day.
      pattern.nType = OL_RECURS_DAILY;
      pattern.nInterval = 1;
      break;
  }
  return pattern;
}

// The pattern fields that can ride in our X- property, with the values Outlook accepts.
struct ExtraField {
  const char* szName;
  LONG OlPattern::*pField;
  LONG nMin;
  LONG nMax;
};
const ExtraField kExtraFields[] = {
    {"INTERVAL", &OlPattern::nInterval, 1, 999 * 12},
    {"DAYOFWEEKMASK", &OlPattern::nDayOfWeekMask, 0, 127},
    {"DAYOFMONTH", &OlPattern::nDayOfMonth, 0, 31},
    {"INSTANCE", &OlPattern::nInstance, 0, 5},
    {"MONTHOFYEAR", &OlPattern::nMonthOfYear, 0, 12},
};

// Applies the values of our X- property when it was written for this very rule.
void ApplyExtras(icalcomponent* pEvent, const icalrecurrencetype& rule, OlPattern* pPattern) {
  icalproperty* pProp = PatternProperty(pEvent);
  if (pProp == nullptr) return;
  const char* szRule = nullptr;
  for (icalparameter* pParam = icalproperty_get_first_parameter(pProp, ICAL_X_PARAMETER);
       pParam != nullptr; pParam = icalproperty_get_next_parameter(pProp, ICAL_X_PARAMETER)) {
    const char* szName = icalparameter_get_xname(pParam);
    if (szName != nullptr && strcasecmp(szName, kRuleParameter) == 0) {
      szRule = icalparameter_get_xvalue(pParam);
    }
  }
  if (szRule == nullptr || RuleText(icalrecurrencetype_from_string(szRule)) != RuleText(rule)) {
    return;
  }
  const char* szValues = icalproperty_get_x(pProp);
  const std::string strValues = szValues != nullptr ? szValues : "";
  size_t nPos = 0;
  while (nPos < strValues.size()) {
    size_t nEnd = strValues.find(' ', nPos);
    if (nEnd == std::string::npos) nEnd = strValues.size();
    const std::string strPair = strValues.substr(nPos, nEnd - nPos);
    nPos = nEnd + 1;
    const size_t nEqual = strPair.find('=');
    if (nEqual == std::string::npos) continue;
    const std::string strName = strPair.substr(0, nEqual);
    const std::string strNumber = strPair.substr(nEqual + 1);
    char* pEnd = nullptr;
    const long nValue = std::strtol(strNumber.c_str(), &pEnd, 10);
    if (strNumber.empty() || *pEnd != 0) continue;
    for (const ExtraField& field : kExtraFields) {
      if (strName == field.szName && nValue >= field.nMin && nValue <= field.nMax) {
        pPattern->*field.pField = static_cast<LONG>(nValue);
      }
    }
  }
}

// Our X- property for the values of a pattern that reading its rule back would not give;
// empty when the rule carries them all.
std::string ExtrasLine(const OlPattern& pattern, const icalrecurrencetype& rule, DATE dtStart) {
  const OlPattern derived = PatternOf(rule, dtStart);
  std::string strValues;
  for (const ExtraField& field : kExtraFields) {
    if (pattern.*field.pField == derived.*field.pField) continue;
    if (!strValues.empty()) strValues += ' ';
    strValues += std::string(field.szName) + "=" + std::to_string(pattern.*field.pField);
  }
  if (strValues.empty()) return std::string();
  icalproperty* pProp = icalproperty_new_x(strValues.c_str());
  icalproperty_set_x_name(pProp, kPatternProperty);
  icalparameter* pParam = icalparameter_new_x(RuleText(rule).c_str());
  icalparameter_set_xname(pParam, kRuleParameter);
  icalproperty_add_parameter(pProp, pParam);
  return PropertyText(pProp);
}

// The start of the last occurrence of a rule with COUNT, or false when it lies too far off.
bool LastOfCount(const icalrecurrencetype& rule, icaltimetype dtstart, icaltimetype* pLast) {
  if (rule.count <= 0 || rule.count > kMaxCountSteps) return false;
  icalrecur_iterator* pIterator = icalrecur_iterator_new(rule, dtstart);
  if (pIterator == nullptr) return false;
  icaltimetype last = icaltime_null_time();
  int nSeen = 0;
  for (icaltimetype t = icalrecur_iterator_next(pIterator);
       !icaltime_is_null_time(t) && nSeen < rule.count && nSeen < kMaxCountSteps;
       t = icalrecur_iterator_next(pIterator)) {
    last = t;
    ++nSeen;
  }
  icalrecur_iterator_free(pIterator);
  if (nSeen == 0) return false;
  last.zone = dtstart.zone;
  *pLast = last;
  return true;
}

// The local date on which a counted rule starting at dtStart (local) ends; 0 when unknown.
DATE CountEndDate(const icalrecurrencetype& rule, DATE dtStart) {
  icaltimetype last{};
  if (!LastOfCount(rule, FloatingTimeOf(dtStart), &last)) return 0;
  DATE dtEnd = 0;
  OlLocalFieldsToDate(last.year, last.month, last.day, 0, 0, 0, &dtEnd);
  return dtEnd;
}

void AddDays(icalrecurrencetype* pRule, LONG nMask, int nPosition) {
  int nSlot = 0;
  for (int nDay = 0; nDay < 7; ++nDay) {
    if ((nMask & (1L << nDay)) == 0) continue;
    // libical packs a BYDAY entry as position * 8 + weekday, negated for counts from the end.
    const int nCode = (nPosition < 0 ? -nPosition : nPosition) * 8 + nDay + 1;
    pRule->by_day[nSlot++] = static_cast<short>(nPosition < 0 ? -nCode : nCode);
  }
  pRule->by_day[nSlot] = ICAL_RECURRENCE_ARRAY_MAX;
}

// The rule of a pattern, as it means in iCalendar what DayBridge steps. A daily pattern is
// only FREQ=DAILY: BYDAY would make it a weekday rule. An nth pattern of one weekday uses
// BYDAY's ordinal form; one of several weekdays (Outlook's "first weekday") counts the set
// with BYSETPOS. Weeks of an interval start on Sunday, as Outlook's do.
icalrecurrencetype RuleOf(const OlPattern& pattern, DATE dtStart) {
  icalrecurrencetype rule;
  icalrecurrencetype_clear(&rule);
  struct tm start {};
  OlDateToLocalFields(dtStart, &start);
  const LONG nStartBit = 1L << start.tm_wday;
  auto AddNth = [&](LONG nMask) {
    if (nMask == 0) nMask = nStartBit;
    if ((nMask & (nMask - 1)) == 0) {
      AddDays(&rule, nMask, PositionOf(pattern.nInstance));
    } else {
      AddDays(&rule, nMask, 0);
      rule.by_set_pos[0] = static_cast<short>(PositionOf(pattern.nInstance));
      rule.by_set_pos[1] = ICAL_RECURRENCE_ARRAY_MAX;
    }
  };
  rule.interval = static_cast<short>(std::max<LONG>(1, std::min<LONG>(pattern.nInterval, 32767)));
  switch (pattern.nType) {
    case OL_RECURS_DAILY:
      rule.freq = ICAL_DAILY_RECURRENCE;
      break;
    case OL_RECURS_WEEKLY:
      rule.freq = ICAL_WEEKLY_RECURRENCE;
      AddDays(&rule, pattern.nDayOfWeekMask != 0 ? pattern.nDayOfWeekMask : nStartBit, 0);
      if (rule.interval > 1) rule.week_start = ICAL_SUNDAY_WEEKDAY;
      break;
    case OL_RECURS_MONTHLY:
      rule.freq = ICAL_MONTHLY_RECURRENCE;
      SetDayOfMonth(&rule, pattern.nDayOfMonth > 0 ? pattern.nDayOfMonth : start.tm_mday, 0);
      break;
    case OL_RECURS_MONTH_NTH:
      rule.freq = ICAL_MONTHLY_RECURRENCE;
      AddNth(pattern.nDayOfWeekMask);
      break;
    case OL_RECURS_YEARLY:
    case OL_RECURS_YEAR_NTH: {
      rule.freq = ICAL_YEARLY_RECURRENCE;
      rule.interval =
          static_cast<short>(std::max<LONG>(1, std::min<LONG>(pattern.nInterval / 12, 32767)));
      const int nMonth = pattern.nMonthOfYear > 0 ? pattern.nMonthOfYear : start.tm_mon + 1;
      rule.by_month[0] = static_cast<short>(nMonth);
      rule.by_month[1] = ICAL_RECURRENCE_ARRAY_MAX;
      if (pattern.nType == OL_RECURS_YEARLY) {
        SetDayOfMonth(&rule, pattern.nDayOfMonth > 0 ? pattern.nDayOfMonth : start.tm_mday, nMonth);
      } else {
        AddNth(pattern.nDayOfWeekMask);
      }
      break;
    }
    default:
      rule.freq = ICAL_WEEKLY_RECURRENCE;
      break;
  }
  return rule;
}

// UNTIL in the form of the start, at the end of the end date: every occurrence of that day
// counts, whichever offset a reader steps the series in (a UTC bound at the last start's own
// moment is missed by engines that step a zoned series in its first offset across a
// daylight-saving change). A zoned or UTC start takes UNTIL in UTC.
icaltimetype UntilOf(const OlPattern& pattern, const TimeForm& form) {
  if (form.kind == FORM_DATE) return DateValueOf(pattern.dtEnd);
  struct tm end {};
  OlDateToLocalFields(pattern.dtEnd, &end);
  DATE dtUntil = pattern.dtEnd;
  OlLocalFieldsToDate(end.tm_year + 1900, end.tm_mon + 1, end.tm_mday, 23, 59, 59, &dtUntil);
  return form.kind == FORM_FLOATING ? FloatingTimeOf(dtUntil) : UtcTimeOf(dtUntil);
}

// The RRULE (and our X- property, when needed) of the new pattern. An unchanged pattern
// keeps the rule as it was written, every part of it, with only its end put into the form
// of the new start; COUNT stays as long as it still ends the series on the end date.
std::string RuleLines(const OlEventData& now, bool bSamePattern, const icalrecurrencetype* pOld,
                      const TimeForm& form) {
  icalrecurrencetype rule =
      bSamePattern && pOld != nullptr ? *pOld : RuleOf(now.pattern, now.dtStart);
  rule.until = icaltime_null_time();
  rule.count = 0;
  if (now.pattern.bHasEnd) {
    if (pOld != nullptr && pOld->count > 0) {
      rule.count = pOld->count;
      if (!SameDate(CountEndDate(rule, now.dtStart), DateOnly(now.pattern.dtEnd))) rule.count = 0;
    }
    if (rule.count == 0) rule.until = UntilOf(now.pattern, form);
  }
  return PropertyText(icalproperty_new_rrule(rule)) + ExtrasLine(now.pattern, rule, now.dtStart);
}

// libical keeps a duration as an int of seconds: a longer one (past some 68 years) is
// written as the longest it holds instead of wrapping around to another length.
icaldurationtype DurationOfMinutes(long long nMinutes) {
  constexpr long long kMaxSeconds = INT_MAX;
  return icaldurationtype_from_int(
      static_cast<int>(std::clamp(nMinutes * 60, -kMaxSeconds, kMaxSeconds)));
}

// The start of the occurrence the series' stepping puts on the local day dtDay, in the form of
// the series: a zoned or UTC series steps at its own clock time in its own zone, a day on
// from its start's day there for each day on here, so the occurrence may lie on the day
// before or after in that zone (and, near midnight, on another local day than dtDay).
icaltimetype OccurrenceIn(DATE dtDay, const OlEventData& data, const TimeForm& form) {
  const icaltimetype start = TimeIn(data.dtStart, form);
  if (start.is_date) return DateValueOf(dtDay);
  icaltimetype t = FloatingTimeOf(dtDay);
  t.hour = start.hour;
  t.minute = start.minute;
  t.second = start.second;
  const bool bZoned =
      form.kind == FORM_ZONED && form.pZone != nullptr && !OlIsLocalZone(form.strTzid.c_str());
  if (form.kind != FORM_UTC && !bZoned) return t;
  icaltime_adjust(&t, -LocalDayShift(data.dtStart, start), 0, 0, 0);
  if (form.kind == FORM_UTC) t.zone = icaltimezone_get_utc_timezone();
  return t;
}

// The EXDATEs of the deleted occurrences that no kept line covers (days in covered), each
// the occurrence's start in the series' own form; changed instances are no EXDATEs.
std::string ExceptionLines(const OlEventData& data, const TimeForm& form,
                           const std::vector<DATE>& covered = {}) {
  std::string strText;
  if (!data.bRecurring) return strText;
  for (DATE dtDay : data.deleted) {
    if (std::binary_search(data.overridden.begin(), data.overridden.end(), dtDay) ||
        std::binary_search(covered.begin(), covered.end(), dtDay)) {
      continue;
    }
    strText +=
        PropertyText(WithZone(icalproperty_new_exdate(OccurrenceIn(dtDay, data, form)), form));
  }
  return strText;
}

// The local days an EXDATE line of the file names (it may list several values).
std::vector<DATE> ExdateLineDays(OlIcsFile* pFile, const std::string& strLine) {
  std::string strUnfolded;
  for (size_t i = 0; i < strLine.size(); ++i) {
    if (strLine[i] == '\r' || strLine[i] == '\n') {
      if (strLine[i] == '\n' && i + 1 < strLine.size() &&
          (strLine[i + 1] == ' ' || strLine[i + 1] == '\t')) {
        ++i;
      }
      continue;
    }
    strUnfolded.push_back(strLine[i]);
  }
  // The value starts after the first colon outside a quoted parameter value.
  size_t nColon = std::string::npos;
  bool bQuoted = false;
  for (size_t i = 0; i < strUnfolded.size(); ++i) {
    if (strUnfolded[i] == '"') bQuoted = !bQuoted;
    if (strUnfolded[i] == ':' && !bQuoted) {
      nColon = i;
      break;
    }
  }
  std::vector<DATE> days;
  if (nColon == std::string::npos) return days;
  const std::string strHead = strUnfolded.substr(0, nColon + 1);
  size_t nPos = nColon + 1;
  while (nPos <= strUnfolded.size()) {
    size_t nComma = strUnfolded.find(',', nPos);
    if (nComma == std::string::npos) nComma = strUnfolded.size();
    const std::string strOne = strHead + strUnfolded.substr(nPos, nComma - nPos);
    nPos = nComma + 1;
    icalproperty* pProp = icalproperty_new_from_string(strOne.c_str());
    if (pProp == nullptr) continue;
    if (icalproperty_isa(pProp) == ICAL_EXDATE_PROPERTY) {
      const icaltimetype t = icalproperty_get_exdate(pProp);
      if (!icaltime_is_null_time(t) && IsUsableTime(t)) {
        days.push_back(DateOnly(LocalDateOf(pFile, t, TimeZoneId(pProp))));
      }
    }
    icalproperty_free(pProp);
  }
  return days;
}

std::string AlarmText(const OlEventData& data) {
  icalcomponent* pAlarm = icalcomponent_new_valarm();
  icalcomponent_add_property(pAlarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
  icalcomponent_add_property(
      pAlarm,
      icalproperty_new_description(data.strSubject.empty() ? "Reminder" : data.strSubject.c_str()));
  icaltriggertype trigger;
  trigger.time = icaltime_null_time();
  trigger.duration = DurationOfMinutes(-static_cast<long long>(data.nReminderMinutes));
  icalcomponent_add_property(pAlarm, icalproperty_new_trigger(trigger));
  char* szText = icalcomponent_as_ical_string_r(pAlarm);
  std::string strText = szText != nullptr ? szText : "";
  free(szText);
  icalcomponent_free(pAlarm);
  return strText;
}

std::string TriggerLine(LONG nMinutes) {
  icaltriggertype trigger;
  trigger.time = icaltime_null_time();
  trigger.duration = DurationOfMinutes(-static_cast<long long>(nMinutes));
  return PropertyText(icalproperty_new_trigger(trigger));
}

std::vector<std::string> SplitCategories(const std::string& strCategories) {
  std::vector<std::string> names;
  size_t nPos = 0;
  while (nPos <= strCategories.size()) {
    size_t nComma = strCategories.find(',', nPos);
    if (nComma == std::string::npos) nComma = strCategories.size();
    std::string strName = strCategories.substr(nPos, nComma - nPos);
    size_t nFirst = strName.find_first_not_of(" \t");
    size_t nLast = strName.find_last_not_of(" \t");
    if (nFirst != std::string::npos) names.push_back(strName.substr(nFirst, nLast - nFirst + 1));
    nPos = nComma + 1;
  }
  return names;
}

std::string TextLine(icalproperty_kind kind, const std::string& strValue) {
  icalproperty* pProp = icalproperty_new(kind);
  icalproperty_set_value(pProp, icalvalue_new_text(strValue.c_str()));
  return PropertyText(pProp);
}

std::string CategoryLines(const std::string& strCategories) {
  std::string strText;
  for (const std::string& strName : SplitCategories(strCategories)) {
    strText += PropertyText(icalproperty_new_categories(strName.c_str()));
  }
  return strText;
}

// DTSTART and the end (DTEND, or DURATION for an event that kept its end that way).
std::string TimeLines(const OlEventData& data, const TimeForm& form, bool bDuration) {
  DATE dtStart = data.dtStart;
  long long nMinutes = data.nDuration;
  if (data.bAllDay) {
    dtStart = DateOnly(data.dtStart);
    nMinutes = std::max<long long>(1, (nMinutes + 1439) / 1440) * 1440;
  }
  std::string strText =
      PropertyText(WithZone(icalproperty_new_dtstart(TimeIn(dtStart, form)), form));
  if (bDuration) {
    strText += PropertyText(icalproperty_new_duration(DurationOfMinutes(nMinutes)));
  } else {
    const DATE dtEnd = dtStart + nMinutes / 1440.0;
    strText += PropertyText(WithZone(icalproperty_new_dtend(TimeIn(dtEnd, form)), form));
  }
  return strText;
}

icaltimetype UtcNow() {
  SYSTEMTIME st{};
  GetSystemTime(&st);
  icaltimetype t = icaltime_null_time();
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.zone = icaltimezone_get_utc_timezone();
  return t;
}

std::string StampLines(const icaltimetype& now) {
  return PropertyText(icalproperty_new_dtstamp(now)) +
         PropertyText(icalproperty_new_lastmodified(now));
}

// How many entries of a BY list a rule has.
int CountOf(const short* pValues, int nSize) {
  int nCount = 0;
  while (nCount < nSize && pValues[nCount] != ICAL_RECURRENCE_ARRAY_MAX) ++nCount;
  return nCount;
}

// Outlook's "n-th" ordinals: first to fourth, and last. A fifth weekday exists in some months
// only, where Outlook's fifth means the last.
bool IsOutlookOrdinal(int nPosition) {
  return (nPosition >= 1 && nPosition <= 4) || nPosition == -1;
}

// Month days as Outlook holds them: a day every month (nMonth 0) or that month has, the last
// day (-1), or the "day n or the month's last" form this program writes (28..n, BYSETPOS=-1).
bool IsExactMonthDays(const icalrecurrencetype& rule, int nMonth, int nStartDay) {
  const int nDays = CountOf(rule.by_month_day, ICAL_BY_MONTHDAY_SIZE);
  const int nFewest = nMonth >= 1 && nMonth <= 12 ? FewestDays(nMonth) : 28;
  const int nSetPositions = CountOf(rule.by_set_pos, ICAL_BY_SETPOS_SIZE);
  if (nDays == 0) return nSetPositions == 0 && nStartDay <= nFewest;
  if (nDays == 1) {
    const int nDay = rule.by_month_day[0];
    return nSetPositions == 0 && (nDay == -1 || (nDay >= 1 && nDay <= nFewest));
  }
  if (nSetPositions != 1 || rule.by_set_pos[0] != -1 || rule.by_month_day[0] != 28) return false;
  for (int i = 1; i < nDays; ++i) {
    if (rule.by_month_day[i] != rule.by_month_day[i - 1] + 1) return false;
  }
  return true;
}

// Weekdays as Outlook holds them in an "n-th" pattern: one weekday with an ordinal, or several
// plain weekdays counted with one BYSETPOS.
bool IsExactNthDays(const icalrecurrencetype& rule) {
  const int nDays = CountOf(rule.by_day, ICAL_BY_DAY_SIZE);
  const int nSetPositions = CountOf(rule.by_set_pos, ICAL_BY_SETPOS_SIZE);
  if (nDays == 1 && nSetPositions == 0) {
    return IsOutlookOrdinal(icalrecurrencetype_day_position(rule.by_day[0]));
  }
  for (int i = 0; i < nDays; ++i) {
    if (icalrecurrencetype_day_position(rule.by_day[i]) != 0) return false;
  }
  return nSetPositions == 1 && IsOutlookOrdinal(rule.by_set_pos[0]);
}

bool HasPlainDaysOnly(const icalrecurrencetype& rule) {
  for (int i = 0; i < ICAL_BY_DAY_SIZE && rule.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
    if (icalrecurrencetype_day_position(rule.by_day[i]) != 0) return false;
  }
  return true;
}

// A changed instance's RECURRENCE-ID and the form it is written in, as one text.
std::string RecurrenceIdText(icalproperty* pRecurrence) {
  std::string strText = icaltime_as_ical_string(icalproperty_get_recurrenceid(pRecurrence));
  return strText;
}

}  // namespace

bool OlPattern::operator==(const OlPattern& other) const {
  return nType == other.nType && nInterval == other.nInterval &&
         nDayOfWeekMask == other.nDayOfWeekMask && nDayOfMonth == other.nDayOfMonth &&
         nInstance == other.nInstance && nMonthOfYear == other.nMonthOfYear &&
         bHasEnd == other.bHasEnd && (!bHasEnd || SameDate(dtEnd, other.dtEnd));
}

bool OlIsValidDate(DATE dt) {
  return std::isfinite(dt) && dt >= kMinDate && dt <= kMaxDate;
}

bool OlDateToLocalFields(DATE dt, struct tm* pFields) {
  SYSTEMTIME st{};
  if (!OlIsValidDate(dt) || !VariantTimeToSystemTime(dt, &st)) return false;
  *pFields = {};
  pFields->tm_year = st.wYear - 1900;
  pFields->tm_mon = st.wMonth - 1;
  pFields->tm_mday = st.wDay;
  pFields->tm_hour = st.wHour;
  pFields->tm_min = st.wMinute;
  pFields->tm_sec = st.wSecond;
  pFields->tm_wday = st.wDayOfWeek;
  pFields->tm_isdst = -1;
  return true;
}

bool OlLocalFieldsToDate(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond,
                         DATE* pdt) {
  if (nYear < 100 || nYear > 9999 || nHour < 0 || nMinute < 0 || nSecond < 0) return false;
  // A leap second is the last second of its minute to a date that has none.
  const SYSTEMTIME st = {static_cast<WORD>(nYear),
                         static_cast<WORD>(nMonth),
                         0,
                         static_cast<WORD>(nDay),
                         static_cast<WORD>(nHour),
                         static_cast<WORD>(nMinute),
                         static_cast<WORD>(std::min(nSecond, 59)),
                         0};
  DATE dt = 0;
  if (!SystemTimeToVariantTime(&st, &dt)) return false;
  *pdt = dt;
  return true;
}

DATE OlDateFromUnix(time_t t) {
  struct tm fields {};
  if (!CxLocalTime(t, &fields)) return 0;
  DATE dt = 0;
  OlLocalFieldsToDate(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                      fields.tm_min, fields.tm_sec, &dt);
  return dt;
}

time_t OlDateToUnix(DATE dt) {
  struct tm fields {};
  if (!OlDateToLocalFields(dt, &fields)) return 0;
  return CxLocalToTime(&fields);
}

DATE OlLocalNow() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  st.wMilliseconds = 0;
  DATE dt = 0;
  SystemTimeToVariantTime(&st, &dt);
  return dt;
}

OlPattern OlDefaultPattern(LONG nType, DATE dtStart) {
  struct tm start {};
  OlDateToLocalFields(dtStart, &start);
  OlPattern pattern;
  pattern.nType = nType;
  pattern.nInterval = nType == OL_RECURS_YEARLY || nType == OL_RECURS_YEAR_NTH ? 12 : 1;
  if (nType == OL_RECURS_WEEKLY || nType == OL_RECURS_MONTH_NTH || nType == OL_RECURS_YEAR_NTH) {
    pattern.nDayOfWeekMask = 1L << start.tm_wday;
  }
  if (nType == OL_RECURS_MONTHLY || nType == OL_RECURS_YEARLY) pattern.nDayOfMonth = start.tm_mday;
  if (nType == OL_RECURS_MONTH_NTH || nType == OL_RECURS_YEAR_NTH) {
    pattern.nInstance = (start.tm_mday - 1) / 7 + 1;
  }
  if (nType == OL_RECURS_YEARLY || nType == OL_RECURS_YEAR_NTH) {
    pattern.nMonthOfYear = start.tm_mon + 1;
  }
  return pattern;
}

std::string OlIdentityOf(icalcomponent* pEvent) {
  if (pEvent == nullptr) return std::string();
  const char* szUid = icalcomponent_get_uid(pEvent);
  std::string strIdentity = szUid != nullptr ? szUid : "";
  icalproperty* pRecurrence = icalcomponent_get_first_property(pEvent, ICAL_RECURRENCEID_PROPERTY);
  if (pRecurrence != nullptr) strIdentity.append(1, '?').append(RecurrenceIdText(pRecurrence));
  return strIdentity;
}

bool OlRuleIsExact(icalcomponent* pEvent) {
  icalproperty* pRule = icalcomponent_get_first_property(pEvent, ICAL_RRULE_PROPERTY);
  if (pRule == nullptr) return true;
  if (icalcomponent_get_next_property(pEvent, ICAL_RRULE_PROPERTY) != nullptr) return false;
  const icalrecurrencetype rule = AsYearlyWhereMonthly(icalproperty_get_rrule(pRule));
  if (rule.freq == ICAL_NO_RECURRENCE) return true;
  if (rule.freq == ICAL_SECONDLY_RECURRENCE || rule.freq == ICAL_MINUTELY_RECURRENCE ||
      rule.freq == ICAL_HOURLY_RECURRENCE) {
    return false;
  }
  if (CountOf(rule.by_second, ICAL_BY_SECOND_SIZE) + CountOf(rule.by_minute, ICAL_BY_MINUTE_SIZE) +
          CountOf(rule.by_hour, ICAL_BY_HOUR_SIZE) +
          CountOf(rule.by_year_day, ICAL_BY_YEARDAY_SIZE) +
          CountOf(rule.by_week_no, ICAL_BY_WEEKNO_SIZE) >
      0) {
    return false;
  }
  const icaltimetype start = icalcomponent_get_dtstart(pEvent);
  const int nStartDay = start.day;
  const int nDays = CountOf(rule.by_day, ICAL_BY_DAY_SIZE);
  const int nMonthDays = CountOf(rule.by_month_day, ICAL_BY_MONTHDAY_SIZE);
  const int nMonths = CountOf(rule.by_month, ICAL_BY_MONTH_SIZE);
  const int nSetPositions = CountOf(rule.by_set_pos, ICAL_BY_SETPOS_SIZE);
  switch (rule.freq) {
    case ICAL_DAILY_RECURRENCE:
      return nMonths == 0 && nMonthDays == 0 && nSetPositions == 0 && HasPlainDaysOnly(rule) &&
             (nDays == 0 || rule.interval <= 1);
    case ICAL_WEEKLY_RECURRENCE:
      return nMonths == 0 && nMonthDays == 0 && nSetPositions == 0 && HasPlainDaysOnly(rule);
    case ICAL_MONTHLY_RECURRENCE:
      if (nMonths != 0) return false;
      if (nDays > 0) return nMonthDays == 0 && IsExactNthDays(rule);
      return IsExactMonthDays(rule, 0, nStartDay);
    case ICAL_YEARLY_RECURRENCE: {
      if (nMonths > 1) return false;
      const int nMonth = nMonths == 1 ? rule.by_month[0] : start.month;
      if (nDays > 0) return nMonths == 1 && nMonthDays == 0 && IsExactNthDays(rule);
      return IsExactMonthDays(rule, nMonth, nStartDay);
    }
    default:
      return false;
  }
}

bool OlRuleKeepsLocalDays(OlIcsFile* pFile, icalcomponent* pEvent) {
  icalproperty* pRule = icalcomponent_get_first_property(pEvent, ICAL_RRULE_PROPERTY);
  icalproperty* pStart = icalcomponent_get_first_property(pEvent, ICAL_DTSTART_PROPERTY);
  if (pRule == nullptr || pStart == nullptr) return true;
  const icalrecurrencetype rule = icalproperty_get_rrule(pRule);
  if (rule.freq != ICAL_MONTHLY_RECURRENCE && rule.freq != ICAL_YEARLY_RECURRENCE) return true;
  bool bCountsWeekdays = false;
  for (int i = 0; i < ICAL_BY_DAY_SIZE && rule.by_day[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
    bCountsWeekdays = bCountsWeekdays || icalrecurrencetype_day_position(rule.by_day[i]) != 0;
  }
  if (!bCountsWeekdays) return true;
  const icaltimetype start = icalproperty_get_dtstart(pStart);
  return LocalDayShift(LocalDateOf(pFile, start, TimeZoneId(pStart)), start) == 0;
}

bool OlReadEvent(OlIcsFile* pFile, icalcomponent* pEvent, OlEventData* pData) {
  *pData = OlEventData();
  icalproperty* pStart = icalcomponent_get_first_property(pEvent, ICAL_DTSTART_PROPERTY);
  if (pStart == nullptr) return false;
  const icaltimetype start = icalproperty_get_dtstart(pStart);
  if (icaltime_is_null_time(start)) return false;
  const std::string strStartZone = TimeZoneId(pStart);
  pData->dtStart = LocalDateOf(pFile, start, strStartZone);
  pData->bAllDay = start.is_date != 0;

  icalproperty* pEnd = icalcomponent_get_first_property(pEvent, ICAL_DTEND_PROPERTY);
  icalproperty* pDuration = icalcomponent_get_first_property(pEvent, ICAL_DURATION_PROPERTY);
  // An end no calendar has (a 31st of February) is ignored as if it were missing.
  if (pEnd != nullptr && !IsUsableTime(icalproperty_get_dtend(pEnd))) pEnd = nullptr;
  double dMinutes = pData->bAllDay ? 1440 : 0;
  if (pEnd != nullptr) {
    DATE dtEnd = LocalDateOf(pFile, icalproperty_get_dtend(pEnd), TimeZoneId(pEnd));
    dMinutes = (dtEnd - pData->dtStart) * 1440.0;
  } else if (pDuration != nullptr) {
    dMinutes = icaldurationtype_as_int(icalproperty_get_duration(pDuration)) / 60.0;
  }
  dMinutes = std::nearbyint(dMinutes);
  pData->nDuration = dMinutes < 0 ? 0 : (dMinutes > 1e9 ? 1000000000 : static_cast<LONG>(dMinutes));
  if (pData->bAllDay && pData->nDuration < 1440) pData->nDuration = 1440;

  pData->strEntryID = OlIdentityOf(pEvent);
  pData->strSubject = TextOf(pEvent, ICAL_SUMMARY_PROPERTY);
  pData->strBody = TextOf(pEvent, ICAL_DESCRIPTION_PROPERTY);
  pData->strLocation = TextOf(pEvent, ICAL_LOCATION_PROPERTY);
  for (icalproperty* pProp = icalcomponent_get_first_property(pEvent, ICAL_CATEGORIES_PROPERTY);
       pProp != nullptr;
       pProp = icalcomponent_get_next_property(pEvent, ICAL_CATEGORIES_PROPERTY)) {
    const char* szName = icalproperty_get_categories(pProp);
    if (szName == nullptr || *szName == 0) continue;
    if (!pData->strCategories.empty()) pData->strCategories += ", ";
    pData->strCategories += szName;
  }

  for (icalcomponent* pAlarm = icalcomponent_get_first_component(pEvent, ICAL_VALARM_COMPONENT);
       pAlarm != nullptr;
       pAlarm = icalcomponent_get_next_component(pEvent, ICAL_VALARM_COMPONENT)) {
    if (!IsReminderAlarm(pAlarm)) continue;
    icalproperty* pTrigger = icalcomponent_get_first_property(pAlarm, ICAL_TRIGGER_PROPERTY);
    if (pTrigger == nullptr) continue;
    icaltriggertype trigger = icalproperty_get_trigger(pTrigger);
    double dBefore = 0;
    if (!icaltime_is_null_time(trigger.time)) {
      dBefore = (pData->dtStart - LocalDateOf(pFile, trigger.time, TimeZoneId(pTrigger))) * 1440;
    } else {
      double dSeconds = icaldurationtype_as_int(trigger.duration);
      icalparameter* pRelated = icalproperty_get_first_parameter(pTrigger, ICAL_RELATED_PARAMETER);
      if (pRelated != nullptr && icalparameter_get_related(pRelated) == ICAL_RELATED_END) {
        dSeconds += pData->nDuration * 60.0;
      }
      dBefore = -dSeconds / 60.0;
    }
    dBefore = std::nearbyint(dBefore);
    pData->bReminderSet = true;
    pData->nReminderMinutes =
        dBefore < 0 ? 0 : (dBefore > 1e9 ? 1000000000 : static_cast<LONG>(dBefore));
    break;
  }

  icalproperty* pRule = icalcomponent_get_first_property(pEvent, ICAL_RRULE_PROPERTY);
  // A changed instance is an appointment of its own, whatever its series says.
  const bool bInstance =
      icalcomponent_get_first_property(pEvent, ICAL_RECURRENCEID_PROPERTY) != nullptr;
  if (pRule != nullptr && !bInstance) {
    icalrecurrencetype rule = icalproperty_get_rrule(pRule);
    // An end no calendar has ends nothing: the rule is read as one without end.
    if (!IsUsableTime(rule.until)) rule.until = icaltime_null_time();
    if (rule.freq != ICAL_NO_RECURRENCE) {
      pData->bRecurring = true;
      // The rule names the weekdays of the series' own zone; when its start falls on
      // another local day, so does every occurrence.
      const int nDayShift = LocalDayShift(pData->dtStart, start);
      pData->pattern = PatternOf(rule, pData->dtStart);
      ApplyExtras(pEvent, rule, &pData->pattern);
      ShiftPatternDays(nDayShift, rule, &pData->pattern);
      icaltimetype last{};
      if (!icaltime_is_null_time(rule.until)) {
        // UNTIL is an instant: the last day is the one of the last start not after it.
        pData->pattern.bHasEnd = true;
        const DATE dtUntil = LocalDateOf(pFile, rule.until, strStartZone);
        DATE dtLastDay = DateOnly(dtUntil);
        const DATE dtTimeOfDay = pData->dtStart - DateOnly(pData->dtStart);
        if (!rule.until.is_date && dtLastDay + dtTimeOfDay > dtUntil + kSecond / 2) dtLastDay -= 1;
        pData->pattern.dtEnd = DateOnly(dtLastDay + 0.5);
      } else if (LastOfCount(rule, start, &last)) {
        pData->pattern.bHasEnd = true;
        pData->pattern.dtEnd = DateOnly(LocalDateOf(pFile, last, strStartZone));
      }
      for (icalproperty* pExdate = icalcomponent_get_first_property(pEvent, ICAL_EXDATE_PROPERTY);
           pExdate != nullptr;
           pExdate = icalcomponent_get_next_property(pEvent, ICAL_EXDATE_PROPERTY)) {
        const icaltimetype t = icalproperty_get_exdate(pExdate);
        if (icaltime_is_null_time(t)) continue;
        pData->deleted.push_back(
            SeriesDayOf(pFile, t, TimeZoneId(pExdate), start, strStartZone, nDayShift));
      }
      for (icalproperty* pRecurrence : pFile->GetOverrides(TextUid(pEvent))) {
        const icaltimetype t = icalproperty_get_recurrenceid(pRecurrence);
        // A RECURRENCE-ID names an occurrence by its start, so a time cannot name an
        // occurrence of a series of dates, nor a date one of times (Google's holiday files
        // give their all-day series instances at UTC midnight: those stand beside the series,
        // in every zone alike).
        if (icaltime_is_null_time(t) || (t.is_date != 0) != (start.is_date != 0)) continue;
        // Only an instance the series has takes a day from it (Google's holiday files keep
        // instances of days before their series starts).
        const DATE dtDay =
            SeriesDayOf(pFile, t, TimeZoneId(pRecurrence), start, strStartZone, nDayShift);
        if (OlHasOccurrenceOn(*pData, dtDay)) pData->overridden.push_back(dtDay);
      }
      SortUnique(&pData->overridden);
      pData->deleted.insert(pData->deleted.end(), pData->overridden.begin(),
                            pData->overridden.end());
      SortUnique(&pData->deleted);
      if (!pData->bAllDay) pData->shifts = ClockShiftsOf(pFile, start, strStartZone, *pData);
    }
  }

  icalproperty* pCreated = icalcomponent_get_first_property(pEvent, ICAL_CREATED_PROPERTY);
  icalproperty* pModified = icalcomponent_get_first_property(pEvent, ICAL_LASTMODIFIED_PROPERTY);
  icalproperty* pStamp = icalcomponent_get_first_property(pEvent, ICAL_DTSTAMP_PROPERTY);
  if (pModified == nullptr) pModified = pStamp;
  if (pCreated == nullptr) pCreated = pModified;
  if (pCreated != nullptr) {
    pData->dtCreated =
        LocalDateOf(pFile, icalvalue_get_datetime(icalproperty_get_value(pCreated)), "");
  }
  if (pModified != nullptr) {
    pData->dtModified =
        LocalDateOf(pFile, icalvalue_get_datetime(icalproperty_get_value(pModified)), "");
  }
  return true;
}

namespace {
std::string RewriteText(OlIcsFile* pFile, const std::string& strRaw, icalcomponent* pEvent,
                        const OlEventData& base, const OlEventData& now, std::string* pstrTzid);
}  // namespace

std::string OlRewriteEvent(OlIcsFile* pFile, size_t nItem, const OlEventData& base,
                           const OlEventData& now, std::string* pstrTzid) {
  return RewriteText(pFile, pFile->GetItemText(nItem), pFile->GetItem(nItem), base, now, pstrTzid);
}

namespace {

std::string RewriteText(OlIcsFile* pFile, const std::string& strRaw, icalcomponent* pEvent,
                        const OlEventData& base, const OlEventData& now, std::string* pstrTzid) {
  pstrTzid->clear();
  unsigned nChanged = OWN_NONE;
  std::string strAdded;

  auto ReplaceText = [&](Owner owner, icalproperty_kind kind, const std::string& strOld,
                         const std::string& strNew) {
    if (strOld == strNew) return;
    nChanged |= owner;
    if (!strNew.empty()) strAdded += TextLine(kind, strNew);
  };
  ReplaceText(OWN_SUBJECT, ICAL_SUMMARY_PROPERTY, base.strSubject, now.strSubject);
  ReplaceText(OWN_BODY, ICAL_DESCRIPTION_PROPERTY, base.strBody, now.strBody);
  ReplaceText(OWN_LOCATION, ICAL_LOCATION_PROPERTY, base.strLocation, now.strLocation);
  if (base.strCategories != now.strCategories) {
    nChanged |= OWN_CATEGORIES;
    strAdded += CategoryLines(now.strCategories);
  }

  const bool bTimeChanged = !SameDate(base.dtStart, now.dtStart) ||
                            base.nDuration != now.nDuration || base.bAllDay != now.bAllDay;
  const TimeForm form =
      bTimeChanged ? WriteFormOf(pFile, pEvent, now.bAllDay) : FormOf(pFile, pEvent);
  if (bTimeChanged) {
    nChanged |= OWN_TIMES;
    const bool bDuration =
        icalcomponent_get_first_property(pEvent, ICAL_DURATION_PROPERTY) != nullptr &&
        icalcomponent_get_first_property(pEvent, ICAL_DTEND_PROPERTY) == nullptr;
    strAdded += TimeLines(now, form, bDuration);
    if (form.kind == FORM_ZONED) *pstrTzid = form.strTzid;
  }

  icalproperty* pOldRule = icalcomponent_get_first_property(pEvent, ICAL_RRULE_PROPERTY);
  icalrecurrencetype oldRule;
  icalrecurrencetype_clear(&oldRule);
  if (pOldRule != nullptr) oldRule = icalproperty_get_rrule(pOldRule);
  const bool bSamePattern = base.bRecurring && now.bRecurring && base.pattern == now.pattern;
  bool bRuleChanged = base.bRecurring != now.bRecurring || (now.bRecurring && !bSamePattern);
  if (!bRuleChanged && now.bRecurring && bTimeChanged && pOldRule != nullptr) {
    // A moved start leaves the rule's end behind: UNTIL must take the start's form, and a
    // COUNT may now run past the end date.
    bRuleChanged = !icaltime_is_null_time(oldRule.until) ||
                   (oldRule.count > 0 && now.pattern.bHasEnd &&
                    !SameDate(CountEndDate(oldRule, now.dtStart), DateOnly(now.pattern.dtEnd)));
  }
  if (bRuleChanged) {
    nChanged |= OWN_PATTERN;
    if (now.bRecurring) {
      strAdded += RuleLines(now, bSamePattern, pOldRule != nullptr ? &oldRule : nullptr, form);
    }
  }
  // A moved start moves every occurrence, so the EXDATEs must follow it. Otherwise the
  // EXDATE lines of days still deleted stay as written, in whatever zone and form, and only
  // the newly deleted days are added.
  std::vector<size_t> keptExdates;  // where kept EXDATE lines begin in the raw text
  std::vector<OlIcsLine> lines = OlSplitIcsLines(strRaw);
  if (base.deleted != now.deleted || (bTimeChanged && !now.deleted.empty())) {
    nChanged |= OWN_EXCEPTIONS;
    std::vector<DATE> covered;
    if (!bTimeChanged) {
      int nLineDepth = 0;
      for (const OlIcsLine& line : lines) {
        if (line.strName == "BEGIN") ++nLineDepth;
        if (line.strName == "END") --nLineDepth;
        if (nLineDepth != 1 || line.strName != "EXDATE") continue;
        const std::vector<DATE> days =
            ExdateLineDays(pFile, strRaw.substr(line.nBegin, line.nEnd - line.nBegin));
        const bool bStill = !days.empty() && std::all_of(days.begin(), days.end(), [&](DATE dt) {
          return std::binary_search(now.deleted.begin(), now.deleted.end(), dt);
        });
        if (!bStill) continue;
        keptExdates.push_back(line.nBegin);
        covered.insert(covered.end(), days.begin(), days.end());
      }
      SortUnique(&covered);
    }
    strAdded += ExceptionLines(now, form, covered);
  }

  // Which VALARM blocks (by their order in the event) are reminders, and what happens to them.
  std::vector<bool> reminders;
  for (icalcomponent* pAlarm = icalcomponent_get_first_component(pEvent, ICAL_VALARM_COMPONENT);
       pAlarm != nullptr;
       pAlarm = icalcomponent_get_next_component(pEvent, ICAL_VALARM_COMPONENT)) {
    bool bUsable = IsReminderAlarm(pAlarm) &&
                   icalcomponent_get_first_property(pAlarm, ICAL_TRIGGER_PROPERTY) != nullptr;
    reminders.push_back(bUsable);
  }
  const bool bReminderChanged = base.bReminderSet != now.bReminderSet ||
                                (now.bReminderSet && base.nReminderMinutes != now.nReminderMinutes);
  const bool bDropReminders = bReminderChanged && !now.bReminderSet;
  const bool bRetrigger = bReminderChanged && now.bReminderSet && base.bReminderSet;
  if (bReminderChanged && now.bReminderSet && !base.bReminderSet) strAdded += AlarmText(now);
  if (bReminderChanged) nChanged |= OWN_REMINDER;

  if (nChanged == OWN_NONE && strAdded.empty()) return strRaw;
  nChanged |= OWN_SAVE;
  strAdded += StampLines(UtcNow());
  const int nSequence = icalcomponent_get_first_property(pEvent, ICAL_SEQUENCE_PROPERTY) != nullptr
                            ? icalcomponent_get_sequence(pEvent)
                            : -1;
  strAdded += PropertyText(icalproperty_new_sequence(nSequence < 0 ? 1 : nSequence + 1));

  std::string strOut;
  int nDepth = 0;
  int nAlarm = -1;  // index of the VALARM being walked, -1 outside
  int nAlarmCount = 0;
  bool bSkipBlock = false;  // inside a reminder that is being removed
  bool bFirstReminderSeen = false;
  bool bRetriggerThis = false;
  for (const OlIcsLine& line : lines) {
    const std::string strLine = strRaw.substr(line.nBegin, line.nEnd - line.nBegin);
    if (line.strName == "BEGIN") {
      ++nDepth;
      if (nDepth == 2 && line.strValue == "VALARM") {
        nAlarm = nAlarmCount++;
        const bool bReminder = nAlarm < static_cast<int>(reminders.size()) && reminders[nAlarm];
        bSkipBlock = bDropReminders && bReminder;
        bRetriggerThis = bRetrigger && bReminder && !bFirstReminderSeen;
        if (bReminder) bFirstReminderSeen = true;
      }
      if (!bSkipBlock) strOut += strLine;
      continue;
    }
    if (line.strName == "END") {
      if (nDepth == 1) {
        strOut += OlToLineBreak(strAdded, pFile->GetLineBreak());
      } else if (nDepth == 2 && nAlarm >= 0 && bRetriggerThis) {
        strOut += OlToLineBreak(TriggerLine(now.nReminderMinutes), pFile->GetLineBreak());
      }
      if (!bSkipBlock) strOut += strLine;
      if (nDepth == 2 && nAlarm >= 0) {
        nAlarm = -1;
        bSkipBlock = false;
        bRetriggerThis = false;
      }
      --nDepth;
      continue;
    }
    if (bSkipBlock) continue;
    if (nDepth == 1 && (OwnersOf(line.strName) & nChanged) != 0 &&
        std::find(keptExdates.begin(), keptExdates.end(), line.nBegin) == keptExdates.end()) {
      continue;
    }
    if (nDepth == 2 && bRetriggerThis && line.strName == "TRIGGER") continue;
    strOut += strLine;
  }
  return strOut;
}

}  // namespace

std::string OlNewEvent(const char* szLineBreak, OlEventData* pData, std::string* pstrTzid) {
  GUID guid{};
  CoCreateGuid(&guid);
  char szUid[64];
  std::snprintf(szUid, sizeof(szUid), "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x@daybridge",
                static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  const icaltimetype now = UtcNow();
  pData->strEntryID = szUid;
  pData->dtCreated = OlLocalNow();
  pData->dtModified = pData->dtCreated;

  const TimeForm form = WriteFormOf(nullptr, nullptr, pData->bAllDay);
  *pstrTzid = form.kind == FORM_ZONED ? form.strTzid : std::string();
  std::string strText = "BEGIN:VEVENT\r\n";
  strText += PropertyText(icalproperty_new_uid(szUid));
  strText += PropertyText(icalproperty_new_created(now));
  strText += StampLines(now);
  strText += PropertyText(icalproperty_new_sequence(0));
  if (!pData->strSubject.empty()) strText += TextLine(ICAL_SUMMARY_PROPERTY, pData->strSubject);
  if (!pData->strBody.empty()) strText += TextLine(ICAL_DESCRIPTION_PROPERTY, pData->strBody);
  if (!pData->strLocation.empty()) strText += TextLine(ICAL_LOCATION_PROPERTY, pData->strLocation);
  strText += CategoryLines(pData->strCategories);
  strText += TimeLines(*pData, form, false);
  if (pData->bRecurring) {
    strText += RuleLines(*pData, false, nullptr, form);
    strText += ExceptionLines(*pData, form);
  }
  if (pData->bReminderSet) strText += AlarmText(*pData);
  strText += "END:VEVENT\r\n";
  return OlToLineBreak(strText, szLineBreak);
}

DATE OlDayOf(DATE dt) {
  return DateOnly(dt);
}

bool OlHasOccurrenceOn(const OlEventData& data, DATE dtDay) {
  if (!data.bRecurring) return false;
  const DATE dtWanted = DateOnly(dtDay);
  if (dtWanted < DateOnly(data.dtStart) ||
      (data.pattern.bHasEnd && dtWanted > DateOnly(data.pattern.dtEnd)) ||
      std::binary_search(data.deleted.begin(), data.deleted.end(), dtWanted)) {
    return false;
  }
  // Stepped in local wall-clock time, where the days asked are.
  const icalrecurrencetype rule = RuleOf(data.pattern, data.dtStart);
  icalrecur_iterator* pIterator = icalrecur_iterator_new(rule, FloatingTimeOf(data.dtStart));
  if (pIterator == nullptr) return false;
  bool bFound = false;
  const icaltimetype wanted = DateValueOf(dtWanted);
  icaltimetype from = FloatingTimeOf(dtWanted);
  from.hour = from.minute = from.second = 0;
  if (icalrecur_iterator_set_start(pIterator, from)) {
    const icaltimetype next = icalrecur_iterator_next(pIterator);
    bFound = !icaltime_is_null_time(next) && next.year == wanted.year &&
             next.month == wanted.month && next.day == wanted.day;
  }
  icalrecur_iterator_free(pIterator);
  return bFound;
}

namespace {

// The RDATE values of an event in file order, each with its property (for the TZID).
std::vector<std::pair<icalproperty*, icaldatetimeperiodtype>> ExtraDates(icalcomponent* pEvent) {
  std::vector<std::pair<icalproperty*, icaldatetimeperiodtype>> dates;
  for (icalproperty* pProp = icalcomponent_get_first_property(pEvent, ICAL_RDATE_PROPERTY);
       pProp != nullptr; pProp = icalcomponent_get_next_property(pEvent, ICAL_RDATE_PROPERTY)) {
    dates.emplace_back(pProp, icalproperty_get_rdate(pProp));
  }
  return dates;
}

icaltimetype StartOfExtra(const icaldatetimeperiodtype& value) {
  return icaltime_is_null_time(value.time) ? value.period.start : value.time;
}

}  // namespace

std::vector<std::string> OlExtraDateIdentities(icalcomponent* pEvent) {
  std::vector<std::string> identities;
  const std::string strUid = TextUid(pEvent);
  icalproperty* pStart = icalcomponent_get_first_property(pEvent, ICAL_DTSTART_PROPERTY);
  const std::string strStart =
      pStart != nullptr ? icaltime_as_ical_string(icalproperty_get_dtstart(pStart)) : "";
  std::vector<std::string> removed;
  for (icalproperty* pProp = icalcomponent_get_first_property(pEvent, ICAL_EXDATE_PROPERTY);
       pProp != nullptr; pProp = icalcomponent_get_next_property(pEvent, ICAL_EXDATE_PROPERTY)) {
    removed.push_back(icaltime_as_ical_string(icalproperty_get_exdate(pProp)));
  }
  for (const auto& [pProp, value] : ExtraDates(pEvent)) {
    const icaltimetype t = StartOfExtra(value);
    const std::string strWhen = icaltime_is_null_time(t) ? "" : icaltime_as_ical_string(t);
    const bool bAdds = !strWhen.empty() && IsUsableTime(t) && strWhen != strStart &&
                       std::find(removed.begin(), removed.end(), strWhen) == removed.end();
    identities.push_back(bAdds ? strUid + "?" + strWhen : std::string());
  }
  return identities;
}

bool OlReadItem(OlIcsFile* pFile, size_t nItem, OlEventData* pData) {
  icalcomponent* pEvent = pFile->GetItem(nItem);
  if (pEvent == nullptr || !OlReadEvent(pFile, pEvent, pData)) return false;
  const int nExtra = pFile->GetItemExtra(nItem);
  if (nExtra < 0) return true;
  const auto dates = ExtraDates(pEvent);
  if (static_cast<size_t>(nExtra) >= dates.size()) return false;
  const auto& [pProp, value] = dates[static_cast<size_t>(nExtra)];
  const icaltimetype start = StartOfExtra(value);
  const std::string strTzid = TimeZoneId(pProp);
  pData->dtStart = LocalDateOf(pFile, start, strTzid);
  pData->bAllDay = start.is_date != 0;
  if (!icaltime_is_null_time(value.period.start) && !icaltime_is_null_time(value.period.end)) {
    const DATE dtEnd = LocalDateOf(pFile, value.period.end, strTzid);
    pData->nDuration =
        static_cast<LONG>(std::max(0.0, std::nearbyint((dtEnd - pData->dtStart) * 1440)));
  }
  if (pData->bAllDay && pData->nDuration < 1440) pData->nDuration = 1440;
  pData->strEntryID = pFile->GetItemIdentity(nItem);
  pData->bRecurring = false;
  pData->pattern = OlPattern();
  pData->deleted.clear();
  pData->overridden.clear();
  return true;
}

std::string OlExtraDateInstance(OlIcsFile* pFile, size_t nItem, const OlEventData& base,
                                const OlEventData& now, std::string* pstrTzid) {
  pstrTzid->clear();
  icalcomponent* pEvent = pFile->GetItem(nItem);
  const int nExtra = pFile->GetItemExtra(nItem);
  const auto dates = ExtraDates(pEvent);
  if (pEvent == nullptr || nExtra < 0 || static_cast<size_t>(nExtra) >= dates.size()) {
    return std::string();
  }
  const auto& [pExtraProp, value] = dates[static_cast<size_t>(nExtra)];
  // The event's lines less its repetition and times, with a RECURRENCE-ID in the extra
  // date's own form and the date's times: the instance as it stands before the change.
  icalproperty* pRecurrence = icalproperty_new_recurrenceid(StartOfExtra(value));
  const std::string strTzid = TimeZoneId(pExtraProp);
  if (!strTzid.empty())
    icalproperty_add_parameter(pRecurrence, icalparameter_new_tzid(strTzid.c_str()));
  std::string strAdded = PropertyText(pRecurrence);
  const TimeForm form = FormOf(pFile, pEvent);
  strAdded += TimeLines(base, base.bAllDay ? TimeForm{FORM_DATE, "", nullptr} : form, false);
  const std::string& strRaw = pFile->GetItemText(nItem);
  std::string strBase;
  int nDepth = 0;
  for (const OlIcsLine& line : OlSplitIcsLines(strRaw)) {
    const std::string strLine = strRaw.substr(line.nBegin, line.nEnd - line.nBegin);
    if (line.strName == "BEGIN") ++nDepth;
    if (line.strName == "END" && nDepth == 1) {
      strBase += OlToLineBreak(strAdded, pFile->GetLineBreak());
    }
    if (line.strName == "END") --nDepth;
    static const char* const kSeriesOnly[] = {"RRULE",         "RDATE",         "EXDATE",
                                              "DTSTART",       "DTEND",         "DURATION",
                                              "RECURRENCE-ID", kPatternProperty};
    if (nDepth == 1 && std::any_of(std::begin(kSeriesOnly), std::end(kSeriesOnly),
                                   [&](const char* szName) { return line.strName == szName; })) {
      continue;
    }
    strBase += strLine;
  }
  icalcomponent* pInstance = icalparser_parse_string(strBase.c_str());
  if (pInstance == nullptr) return std::string();
  std::string strText = RewriteText(pFile, strBase, pInstance, base, now, pstrTzid);
  icalcomponent_free(pInstance);
  if (pstrTzid->empty() && form.kind == FORM_ZONED && !base.bAllDay) *pstrTzid = form.strTzid;
  return strText;
}
