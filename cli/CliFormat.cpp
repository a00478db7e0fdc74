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

std::string JsonString(const char* szAnsi) {
  std::string sUtf8 = CxAnsiToUtf8(szAnsi != nullptr ? szAnsi : "");
  std::string sOut = "\"";
  for (unsigned char ch : sUtf8) {
    switch (ch) {
      case '"':
        sOut += "\\\"";
        break;
      case '\\':
        sOut += "\\\\";
        break;
      case '\n':
        sOut += "\\n";
        break;
      case '\r':
        sOut += "\\r";
        break;
      case '\t':
        sOut += "\\t";
        break;
      default:
        if (ch < 0x20) {
          char szEscape[8];
          snprintf(szEscape, sizeof(szEscape), "\\u%04x", ch);
          sOut += szEscape;
        } else {
          sOut += static_cast<char>(ch);
        }
    }
  }
  sOut += "\"";
  return sOut;
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

std::string RecordJson(const CommDate& date) {
  const RepeatPattern& rp = date.repeat;
  std::string s = "{";
  s += "\"description\": " + JsonString(date.szDescription);
  s += ", \"allDay\": " + std::string(date.bAllDay ? "true" : "false");
  s += ", \"start\": \"" + FormatDateTime(date.stStart) + "\"";
  s += ", \"end\": \"" + FormatDateTime(date.stEnd) + "\"";
  s += ", \"alarm\": " + std::string(date.bAlarm ? "true" : "false");
  s += ", \"advance\": " + std::to_string(date.bAdvance ? date.nAdvance : 0);
  s += ", \"advanceUnit\": " + JsonString(date.bAdvance ? AdvanceUnitName(date.nAdvanceUnit) : "");
  s += ", \"note\": " + JsonString(date.szNote);
  s += ", \"location\": " + JsonString(date.szLocation);
  s += ", \"category\": " + JsonString(date.szCategory);
  s += ", \"private\": " + std::string(date.bPrivate ? "true" : "false");
  s += ", \"repeat\": {\"type\": " + JsonString(RepeatTypeName(rp.nType));
  s += ", \"interval\": " + std::to_string(rp.nInterval);
  s += ", \"dayOfWeekMask\": " + std::to_string(rp.nDayOfWeekMask);
  s += ", \"dayOfMonth\": " + std::to_string(rp.nDayOfMonth);
  s += ", \"monthOfYear\": " + std::to_string(rp.nMonthOfYear);
  s += ", \"instance\": " + std::to_string(rp.nInstance);
  s += ", \"hasEnd\": " + std::string(rp.bHasEnd ? "true" : "false");
  s += ", \"end\": " +
       (rp.bHasEnd ? "\"" + FormatDate(rp.stPatternEnd) + "\"" : std::string("null"));
  // null: the calendar keeps no deleted occurrences, so none are known.
  s += ", \"exceptions\": ";
  if (rp.bExceptionsUnknown) {
    s += "null";
  } else {
    s += "[";
    for (UINT i = 0; i < rp.nExceptionCount && i < REPEAT_MAX_EXCEPTIONS; i++) {
      s += (i == 0 ? "\"" : ", \"") + FormatDate(rp.stExceptions[i]) + "\"";
    }
    s += "]";
  }
  s += "}";
  s += ", \"source\": " + JsonString(SourceName(date.nSource));
  s += ", \"matchState\": " + JsonString(MatchStateName(date.nMatchState));
  s += "}";
  return s;
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
