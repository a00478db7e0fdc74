// Reading an event into Outlook's view of it and writing changes back as line edits.
//
// How a write works: the event's raw text is walked line by line. Properties whose value
// changed are dropped where they stand and their new lines are added just before
// END:VEVENT; a changed reminder edits the TRIGGER inside its own VALARM, so the alarm's
// other lines stay. Nothing else of the text is touched.
#include "platform/outlook/IcsEvent.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <set>

namespace {

// A COUNT beyond this many occurrences ends later than any calendar is looked at; stepping
// that far would only cost time, so such a rule reads as one without end.
constexpr int kMaxCountSteps = 20000;
constexpr double kSecond = 1.0 / 86400.0;
constexpr double kMinDate = -657434.0;
constexpr double kMaxDate = 2958465.99999;

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int* pnYear, int* pnMonth, int* pnDay) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  *pnYear = static_cast<int>(y + (m <= 2));
  *pnMonth = static_cast<int>(m);
  *pnDay = static_cast<int>(d);
}

const int64_t kEpochDays = DaysFromCivil(1899, 12, 30);

// The date part (whole local days) of an OLE date.
DATE DateOnly(DATE dt) {
  struct tm fields {};
  if (!OlDateToLocalFields(dt, &fields)) return 0;
  DATE dtDay = 0;
  OlLocalFieldsToDate(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, 0, 0, 0, &dtDay);
  return dtDay;
}

std::string ToLineBreak(std::string strText, const char* szLineBreak) {
  if (std::strcmp(szLineBreak, "\r\n") == 0) return strText;
  std::string strOut;
  strOut.reserve(strText.size());
  for (size_t i = 0; i < strText.size(); ++i) {
    if (strText[i] == '\r' && i + 1 < strText.size() && strText[i + 1] == '\n') continue;
    strOut.push_back(strText[i]);
  }
  return strOut;
}

std::string PropertyText(icalproperty* pProp) {
  char* szText = icalproperty_as_ical_string_r(pProp);
  std::string strText = szText != nullptr ? szText : "";
  free(szText);
  icalproperty_free(pProp);
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

// A time of the file as a local OLE date: UTC and zoned times are moments; floating times
// and dates are already local.
DATE LocalDateOf(OlIcsFile* pFile, icaltimetype t, const std::string& strTzid) {
  DATE dt = 0;
  if (t.is_date) {
    OlLocalFieldsToDate(t.year, t.month, t.day, 0, 0, 0, &dt);
    return dt;
  }
  if (icaltime_is_utc(t)) return OlDateFromUnix(icaltime_as_timet(t));
  const icaltimezone* pZone = t.zone;
  if (pZone == nullptr && !strTzid.empty()) pZone = pFile->FindZone(strTzid.c_str());
  if (pZone != nullptr) {
    return OlDateFromUnix(icaltime_as_timet_with_zone(t, const_cast<icaltimezone*>(pZone)));
  }
  OlLocalFieldsToDate(t.year, t.month, t.day, t.hour, t.minute, t.second, &dt);
  return dt;
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

OlPattern PatternOf(const icalrecurrencetype& rule, DATE dtStart) {
  struct tm start {};
  OlDateToLocalFields(dtStart, &start);
  const int nInterval = rule.interval > 0 ? rule.interval : 1;
  const bool bHasDays = rule.by_day[0] != ICAL_RECURRENCE_ARRAY_MAX;
  const int nMonthDay =
      rule.by_month_day[0] != ICAL_RECURRENCE_ARRAY_MAX ? rule.by_month_day[0] : start.tm_mday;
  const int nMonth =
      rule.by_month[0] != ICAL_RECURRENCE_ARRAY_MAX ? rule.by_month[0] : start.tm_mon + 1;
  LONG nMask = 0;
  int nPosition = 0;
  ReadDays(rule, &nMask, &nPosition);
  // Outlook's day 31 falls on the last day of shorter months, which is what -1 asks for.
  const LONG nDayOfMonth = nMonthDay < 0 || nMonthDay > 31 ? 31 : (nMonthDay == 0 ? 1 : nMonthDay);
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
        pattern.nDayOfMonth = nDayOfMonth;
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
        pattern.nDayOfMonth = nDayOfMonth;
      }
      break;
    case ICAL_DAILY_RECURRENCE:
      pattern.nType = OL_RECURS_DAILY;
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

// The date of the last occurrence of a rule with COUNT, or false when it lies too far off.
bool CountEnd(OlIcsFile* pFile, const icalrecurrencetype& rule, icaltimetype dtstart,
              const std::string& strTzid, DATE* pdtEnd) {
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
  *pdtEnd = DateOnly(LocalDateOf(pFile, last, strTzid));
  return true;
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

// The rule of a pattern. An nth pattern of one weekday uses BYDAY's ordinal form; one of
// several weekdays (Outlook's "first weekday") counts the set with BYSETPOS.
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
      if (pattern.nDayOfWeekMask != 0) AddDays(&rule, pattern.nDayOfWeekMask, 0);
      break;
    case OL_RECURS_WEEKLY:
      rule.freq = ICAL_WEEKLY_RECURRENCE;
      AddDays(&rule, pattern.nDayOfWeekMask != 0 ? pattern.nDayOfWeekMask : nStartBit, 0);
      break;
    case OL_RECURS_MONTHLY:
      rule.freq = ICAL_MONTHLY_RECURRENCE;
      rule.by_month_day[0] =
          static_cast<short>(pattern.nDayOfMonth > 0 ? pattern.nDayOfMonth : start.tm_mday);
      rule.by_month_day[1] = ICAL_RECURRENCE_ARRAY_MAX;
      break;
    case OL_RECURS_MONTH_NTH:
      rule.freq = ICAL_MONTHLY_RECURRENCE;
      AddNth(pattern.nDayOfWeekMask);
      break;
    case OL_RECURS_YEARLY:
    case OL_RECURS_YEAR_NTH:
      rule.freq = ICAL_YEARLY_RECURRENCE;
      rule.interval =
          static_cast<short>(std::max<LONG>(1, std::min<LONG>(pattern.nInterval / 12, 32767)));
      rule.by_month[0] =
          static_cast<short>(pattern.nMonthOfYear > 0 ? pattern.nMonthOfYear : start.tm_mon + 1);
      rule.by_month[1] = ICAL_RECURRENCE_ARRAY_MAX;
      if (pattern.nType == OL_RECURS_YEARLY) {
        rule.by_month_day[0] =
            static_cast<short>(pattern.nDayOfMonth > 0 ? pattern.nDayOfMonth : start.tm_mday);
        rule.by_month_day[1] = ICAL_RECURRENCE_ARRAY_MAX;
      } else {
        AddNth(pattern.nDayOfWeekMask);
      }
      break;
    default:
      rule.freq = ICAL_WEEKLY_RECURRENCE;
      break;
  }
  return rule;
}

enum StartForm { FORM_UTC, FORM_DATE, FORM_FLOATING };

StartForm FormOf(icalcomponent* pEvent) {
  icalproperty* pStart = icalcomponent_get_first_property(pEvent, ICAL_DTSTART_PROPERTY);
  if (pStart == nullptr) return FORM_UTC;
  icaltimetype t = icalproperty_get_dtstart(pStart);
  if (t.is_date) return FORM_DATE;
  if (icaltime_is_utc(t) || t.zone != nullptr || !TimeZoneId(pStart).empty()) return FORM_UTC;
  return FORM_FLOATING;
}

std::string RuleLine(const OlPattern& pattern, DATE dtStart, StartForm form,
                     const icalrecurrencetype* pOld) {
  icalrecurrencetype rule = RuleOf(pattern, dtStart);
  if (pOld != nullptr) rule.week_start = pOld->week_start;
  if (pattern.bHasEnd) {
    // The last occurrence starts on the end date at the start's time of day.
    DATE dtUntil = DateOnly(pattern.dtEnd) + (dtStart - DateOnly(dtStart));
    rule.until = form == FORM_DATE       ? DateValueOf(dtUntil)
                 : form == FORM_FLOATING ? FloatingTimeOf(dtUntil)
                                         : UtcTimeOf(dtUntil);
  }
  return PropertyText(icalproperty_new_rrule(rule));
}

std::string AlarmText(const OlEventData& data) {
  icalcomponent* pAlarm = icalcomponent_new_valarm();
  icalcomponent_add_property(pAlarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
  icalcomponent_add_property(
      pAlarm,
      icalproperty_new_description(data.strSubject.empty() ? "Reminder" : data.strSubject.c_str()));
  icaltriggertype trigger;
  trigger.time = icaltime_null_time();
  trigger.duration = icaldurationtype_from_int(-60 * data.nReminderMinutes);
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
  trigger.duration = icaldurationtype_from_int(-60 * nMinutes);
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

std::string TimeLines(const OlEventData& data) {
  std::string strText;
  if (data.bAllDay) {
    LONG nDays = std::max<LONG>(1, (data.nDuration + 1439) / 1440);
    DATE dtDay = DateOnly(data.dtStart);
    strText += PropertyText(icalproperty_new_dtstart(DateValueOf(dtDay)));
    strText += PropertyText(icalproperty_new_dtend(DateValueOf(dtDay + nDays)));
  } else {
    strText += PropertyText(icalproperty_new_dtstart(UtcTimeOf(data.dtStart)));
    strText +=
        PropertyText(icalproperty_new_dtend(UtcTimeOf(data.dtStart + data.nDuration / 1440.0)));
  }
  return strText;
}

std::string StampLines(time_t tNow) {
  icaltimetype now = icaltime_from_timet_with_zone(tNow, 0, icaltimezone_get_utc_timezone());
  return PropertyText(icalproperty_new_dtstamp(now)) +
         PropertyText(icalproperty_new_lastmodified(now));
}

bool SameDate(DATE a, DATE b) {
  return std::fabs(a - b) < kSecond / 2;
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
  if (!OlIsValidDate(dt)) return false;
  int64_t nDays = static_cast<int64_t>(dt);  // toward zero: the fraction counts forward
  int64_t nSeconds = std::llround(std::fabs(dt - static_cast<double>(nDays)) * 86400.0);
  if (nSeconds >= 86400) {
    nSeconds -= 86400;
    nDays += 1;
  }
  int nYear = 0, nMonth = 0, nDay = 0;
  CivilFromDays(nDays + kEpochDays, &nYear, &nMonth, &nDay);
  *pFields = {};
  pFields->tm_year = nYear - 1900;
  pFields->tm_mon = nMonth - 1;
  pFields->tm_mday = nDay;
  pFields->tm_hour = static_cast<int>(nSeconds / 3600);
  pFields->tm_min = static_cast<int>(nSeconds / 60 % 60);
  pFields->tm_sec = static_cast<int>(nSeconds % 60);
  int64_t nWeekday = (nDays + kEpochDays + 4) % 7;  // 1970-01-01 was a Thursday
  pFields->tm_wday = static_cast<int>(nWeekday < 0 ? nWeekday + 7 : nWeekday);
  pFields->tm_isdst = -1;
  return true;
}

bool OlLocalFieldsToDate(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond,
                         DATE* pdt) {
  if (nMonth < 1 || nMonth > 12 || nDay < 1 || nDay > 31) return false;
  const int64_t nDays =
      DaysFromCivil(nYear, static_cast<unsigned>(nMonth), static_cast<unsigned>(nDay)) - kEpochDays;
  const double dFraction = (nHour * 3600.0 + nMinute * 60.0 + nSecond) / 86400.0;
  const DATE dt = nDays >= 0 ? nDays + dFraction : nDays - dFraction;
  if (!OlIsValidDate(dt)) return false;
  *pdt = dt;
  return true;
}

DATE OlDateFromUnix(time_t t) {
  struct tm fields {};
  if (localtime_r(&t, &fields) == nullptr) return 0;
  DATE dt = 0;
  OlLocalFieldsToDate(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                      fields.tm_min, fields.tm_sec, &dt);
  return dt;
}

time_t OlDateToUnix(DATE dt) {
  struct tm fields {};
  if (!OlDateToLocalFields(dt, &fields)) return 0;
  return mktime(&fields);
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

  const char* szUid = icalcomponent_get_uid(pEvent);
  pData->strEntryID = szUid != nullptr ? szUid : "";
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
  if (pRule != nullptr) {
    const icalrecurrencetype rule = icalproperty_get_rrule(pRule);
    if (rule.freq != ICAL_NO_RECURRENCE) {
      pData->bRecurring = true;
      pData->pattern = PatternOf(rule, pData->dtStart);
      if (!icaltime_is_null_time(rule.until)) {
        pData->pattern.bHasEnd = true;
        pData->pattern.dtEnd = DateOnly(LocalDateOf(pFile, rule.until, strStartZone));
      } else if (rule.count > 0) {
        DATE dtEnd = 0;
        if (CountEnd(pFile, rule, start, strStartZone, &dtEnd)) {
          pData->pattern.bHasEnd = true;
          pData->pattern.dtEnd = dtEnd;
        }
      }
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

std::string OlRewriteEvent(OlIcsFile* pFile, size_t nItem, const OlEventData& base,
                           const OlEventData& now) {
  const std::string& strRaw = pFile->GetItemText(nItem);
  icalcomponent* pEvent = pFile->GetItem(nItem);
  std::set<std::string> dropped;
  std::string strAdded;

  auto ReplaceText = [&](const char* szName, icalproperty_kind kind, const std::string& strOld,
                         const std::string& strNew) {
    if (strOld == strNew) return;
    dropped.insert(szName);
    if (!strNew.empty()) strAdded += TextLine(kind, strNew);
  };
  ReplaceText("SUMMARY", ICAL_SUMMARY_PROPERTY, base.strSubject, now.strSubject);
  ReplaceText("DESCRIPTION", ICAL_DESCRIPTION_PROPERTY, base.strBody, now.strBody);
  ReplaceText("LOCATION", ICAL_LOCATION_PROPERTY, base.strLocation, now.strLocation);
  if (base.strCategories != now.strCategories) {
    dropped.insert("CATEGORIES");
    for (const std::string& strName : SplitCategories(now.strCategories)) {
      strAdded += PropertyText(icalproperty_new_categories(strName.c_str()));
    }
  }

  const bool bTimeChanged = !SameDate(base.dtStart, now.dtStart) ||
                            base.nDuration != now.nDuration || base.bAllDay != now.bAllDay;
  if (bTimeChanged) {
    dropped.insert({"DTSTART", "DTEND", "DURATION"});
    strAdded += TimeLines(now);
  }
  const StartForm form = bTimeChanged ? (now.bAllDay ? FORM_DATE : FORM_UTC) : FormOf(pEvent);
  // A rule's UNTIL must take the form of DTSTART, so a moved start rewrites a bounded rule.
  const bool bRuleChanged = base.bRecurring != now.bRecurring ||
                            (now.bRecurring && !(base.pattern == now.pattern)) ||
                            (now.bRecurring && bTimeChanged && now.pattern.bHasEnd);
  if (bRuleChanged) {
    icalproperty* pOldRule = icalcomponent_get_first_property(pEvent, ICAL_RRULE_PROPERTY);
    icalrecurrencetype oldRule;
    if (pOldRule != nullptr) oldRule = icalproperty_get_rrule(pOldRule);
    dropped.insert("RRULE");
    if (now.bRecurring) {
      strAdded +=
          RuleLine(now.pattern, now.dtStart, form, pOldRule != nullptr ? &oldRule : nullptr);
    }
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

  const bool bAnyChange = !dropped.empty() || !strAdded.empty() || bReminderChanged;
  if (!bAnyChange) return strRaw;
  dropped.insert({"DTSTAMP", "LAST-MODIFIED"});
  strAdded += StampLines(time(nullptr));

  std::vector<OlIcsLine> lines = OlSplitIcsLines(strRaw);
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
        strOut += ToLineBreak(strAdded, pFile->GetLineBreak());
      } else if (nDepth == 2 && nAlarm >= 0 && bRetriggerThis) {
        strOut += ToLineBreak(TriggerLine(now.nReminderMinutes), pFile->GetLineBreak());
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
    if (nDepth == 1 && dropped.count(line.strName) != 0) continue;
    if (nDepth == 2 && bRetriggerThis && line.strName == "TRIGGER") continue;
    strOut += strLine;
  }
  return strOut;
}

std::string OlNewEvent(const char* szLineBreak, OlEventData* pData) {
  std::random_device device;
  char szUid[64];
  std::snprintf(szUid, sizeof(szUid), "%08x-%04x-%04x-%04x-%04x%08x@daybridge", device(),
                device() & 0xffff, (device() & 0x0fff) | 0x4000, (device() & 0x3fff) | 0x8000,
                device() & 0xffff, device());
  const time_t tNow = time(nullptr);
  pData->strEntryID = szUid;
  pData->dtCreated = OlDateFromUnix(tNow);
  pData->dtModified = pData->dtCreated;

  std::string strText = "BEGIN:VEVENT\r\n";
  strText += PropertyText(icalproperty_new_uid(szUid));
  icaltimetype now = icaltime_from_timet_with_zone(tNow, 0, icaltimezone_get_utc_timezone());
  strText += PropertyText(icalproperty_new_created(now));
  strText += StampLines(tNow);
  if (!pData->strSubject.empty()) strText += TextLine(ICAL_SUMMARY_PROPERTY, pData->strSubject);
  if (!pData->strBody.empty()) strText += TextLine(ICAL_DESCRIPTION_PROPERTY, pData->strBody);
  if (!pData->strLocation.empty()) strText += TextLine(ICAL_LOCATION_PROPERTY, pData->strLocation);
  for (const std::string& strName : SplitCategories(pData->strCategories)) {
    strText += PropertyText(icalproperty_new_categories(strName.c_str()));
  }
  strText += TimeLines(*pData);
  if (pData->bRecurring) {
    strText +=
        RuleLine(pData->pattern, pData->dtStart, pData->bAllDay ? FORM_DATE : FORM_UTC, nullptr);
  }
  if (pData->bReminderSet) strText += AlarmText(*pData);
  strText += "END:VEVENT\r\n";
  return ToLineBreak(strText, szLineBreak);
}
