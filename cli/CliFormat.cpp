// Output formatting of the companion tool.
#include "cli/CliFormat.h"

#include <cstdio>
#include <cstring>

#include "common/misc/WinUtil.h"
#include "platform/win/WinText.h"

std::string FormatDateTime(const SYSTEMTIME& st) {
  char szText[48];
  snprintf(szText, sizeof(szText), "%04u-%02u-%02uT%02u:%02u:%02u", st.wYear, st.wMonth, st.wDay,
           st.wHour, st.wMinute, st.wSecond);
  return szText;
}

std::string FormatDate(const SYSTEMTIME& st) {
  char szText[24];
  snprintf(szText, sizeof(szText), "%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
  return szText;
}

CliJson JsonString(const char* szAnsi) {
  return CliJson(CxAnsiToUtf8(szAnsi != nullptr ? szAnsi : ""));
}

std::string JsonText(const CliJson& value) {
  std::string strOut;
  if (value.is_object()) {
    strOut = "{";
    for (auto it = value.begin(); it != value.end(); ++it) {
      if (it != value.begin()) strOut += ", ";
      strOut += JsonText(CliJson(it.key())) + ": " + JsonText(it.value());
    }
    return strOut + "}";
  }
  if (value.is_array()) {
    strOut = "[";
    for (size_t i = 0; i < value.size(); ++i) {
      strOut += (i == 0 ? "" : ", ") + JsonText(value[i]);
    }
    return strOut + "]";
  }
  // Text comes from Windows-1252 and is valid UTF-8; should a byte ever not be, it is
  // replaced rather than ending the tool with an exception.
  return value.dump(-1, ' ', false, CliJson::error_handler_t::replace);
}

std::string JsonLines(const CliJson& array) {
  std::string strOut = "[";
  for (size_t i = 0; i < array.size(); ++i) {
    strOut += (i == 0 ? "\n  " : ",\n  ") + JsonText(array[i]);
  }
  return strOut + (array.empty() ? "]" : "\n]");
}

const char* MatchStateName(UINT nMatchState) {
  switch (nMatchState) {
    case MATCH_SAME:
      return "same";
    case MATCH_NEW:
      return "new";
    case MATCH_CHANGED:
      return "changed";
    default:
      return "unknown";
  }
}

const char* SourceName(UINT nSource) {
  switch (nSource) {
    case SOURCE_PALM:
      return "palm";
    case SOURCE_OUTLOOK:
      return "outlook";
    default:
      return "unknown";
  }
}

const char* RepeatTypeName(INT nType) {
  static const char* const kNames[] = {
      "none", "daily", "weekly", "monthlyByDay", "monthlyByDate", "yearlyByDay", "yearlyByDate"};
  if (nType < 0 || nType > REPEAT_YEARLY_BY_DATE) return "unknown";
  return kNames[nType];
}

const char* AdvanceUnitName(UINT nUnit) {
  switch (nUnit) {
    case ADVANCE_MINUTES:
      return "minutes";
    case ADVANCE_HOURS:
      return "hours";
    case ADVANCE_DAYS:
      return "days";
    default:
      return "";
  }
}

CliJson RecordJson(const CommDate& date) {
  const RepeatPattern& rp = date.repeat;
  CliJson repeat;
  repeat["type"] = RepeatTypeName(rp.nType);
  repeat["interval"] = rp.nInterval;
  repeat["dayOfWeekMask"] = rp.nDayOfWeekMask;
  repeat["dayOfMonth"] = rp.nDayOfMonth;
  repeat["monthOfYear"] = rp.nMonthOfYear;
  repeat["instance"] = rp.nInstance;
  repeat["hasEnd"] = rp.bHasEnd != 0;
  repeat["end"] = rp.bHasEnd ? CliJson(FormatDate(rp.stPatternEnd)) : CliJson(nullptr);
  // null: the calendar keeps no deleted occurrences, so none are known.
  if (rp.bExceptionsUnknown) {
    repeat["exceptions"] = nullptr;
  } else {
    repeat["exceptions"] = CliJson::array();
    for (const SYSTEMTIME& stDay : ExceptionDays(rp)) {
      repeat["exceptions"].push_back(FormatDate(stDay));
    }
  }

  CliJson record;
  record["description"] = JsonString(date.szDescription);
  record["allDay"] = date.bAllDay != 0;
  record["start"] = FormatDateTime(date.stStart);
  record["end"] = FormatDateTime(date.stEnd);
  record["alarm"] = date.bAlarm != 0;
  record["advance"] = date.bAdvance ? static_cast<long long>(date.nAdvance) : 0LL;
  record["advanceUnit"] = date.bAdvance ? AdvanceUnitName(date.nAdvanceUnit) : "";
  record["note"] = JsonString(date.szNote);
  record["location"] = JsonString(date.szLocation);
  record["category"] = JsonString(date.szCategory);
  record["private"] = date.bPrivate != 0;
  record["repeat"] = std::move(repeat);
  record["source"] = SourceName(date.nSource);
  record["matchState"] = MatchStateName(date.nMatchState);
  return record;
}

std::string RecordLine(const CommDate& date) {
  char szTimes[32];
  if (date.bAllDay) {
    snprintf(szTimes, sizeof(szTimes), "all day    ");
  } else {
    snprintf(szTimes, sizeof(szTimes), "%02u:%02u-%02u:%02u", date.stStart.wHour,
             date.stStart.wMinute, date.stEnd.wHour, date.stEnd.wMinute);
  }
  char szLine[96];
  snprintf(szLine, sizeof(szLine), "%s %s  %-8s %-14s ", FormatDate(date.stStart).c_str(), szTimes,
           MatchStateName(date.nMatchState),
           date.repeat.nType != REPEAT_NONE ? RepeatTypeName(date.repeat.nType) : "");
  return std::string(szLine) + CxAnsiToUtf8(date.szDescription);
}

bool ParseDate(const char* szText, SYSTEMTIME* pDate) {
  if (szText == nullptr || pDate == nullptr || strlen(szText) != 10) return false;
  unsigned nYear = 0, nMonth = 0, nDay = 0;
  char chDash1 = 0, chDash2 = 0;
  if (sscanf(szText, "%4u%c%2u%c%2u", &nYear, &chDash1, &nMonth, &chDash2, &nDay) != 5 ||
      chDash1 != '-' || chDash2 != '-') {
    return false;
  }
  if (nYear < 1900 || nYear > 9999 || nMonth < 1 || nMonth > 12 || nDay < 1 ||
      static_cast<int>(nDay) > DaysInMonth(static_cast<int>(nYear), static_cast<int>(nMonth))) {
    return false;
  }
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(nYear);
  st.wMonth = static_cast<WORD>(nMonth);
  st.wDay = static_cast<WORD>(nDay);
  if (!AddDays(&st, 0)) return false;  // fills in the day of week
  *pDate = st;
  return true;
}
