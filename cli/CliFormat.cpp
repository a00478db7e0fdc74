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
  std::string strUtf8 = CxAnsiToUtf8(szAnsi != nullptr ? szAnsi : "");
  std::string strOut = "\"";
  for (unsigned char ch : strUtf8) {
    switch (ch) {
      case '"':
        strOut += "\\\"";
        break;
      case '\\':
        strOut += "\\\\";
        break;
      case '\n':
        strOut += "\\n";
        break;
      case '\r':
        strOut += "\\r";
        break;
      case '\t':
        strOut += "\\t";
        break;
      default:
        if (ch < 0x20) {
          char szEscape[8];
          snprintf(szEscape, sizeof(szEscape), "\\u%04x", ch);
          strOut += szEscape;
        } else {
          strOut += static_cast<char>(ch);
        }
    }
  }
  strOut += "\"";
  return strOut;
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
  std::string strJson = "{";
  strJson += "\"description\": " + JsonString(date.szDescription);
  strJson += ", \"allDay\": " + std::string(date.bAllDay ? "true" : "false");
  strJson += ", \"start\": \"" + FormatDateTime(date.stStart) + "\"";
  strJson += ", \"end\": \"" + FormatDateTime(date.stEnd) + "\"";
  strJson += ", \"alarm\": " + std::string(date.bAlarm ? "true" : "false");
  strJson += ", \"advance\": " + std::to_string(date.bAdvance ? date.nAdvance : 0);
  strJson +=
      ", \"advanceUnit\": " + JsonString(date.bAdvance ? AdvanceUnitName(date.nAdvanceUnit) : "");
  strJson += ", \"note\": " + JsonString(date.szNote);
  strJson += ", \"location\": " + JsonString(date.szLocation);
  strJson += ", \"category\": " + JsonString(date.szCategory);
  strJson += ", \"private\": " + std::string(date.bPrivate ? "true" : "false");
  strJson += ", \"repeat\": {\"type\": " + JsonString(RepeatTypeName(rp.nType));
  strJson += ", \"interval\": " + std::to_string(rp.nInterval);
  strJson += ", \"dayOfWeekMask\": " + std::to_string(rp.nDayOfWeekMask);
  strJson += ", \"dayOfMonth\": " + std::to_string(rp.nDayOfMonth);
  strJson += ", \"monthOfYear\": " + std::to_string(rp.nMonthOfYear);
  strJson += ", \"instance\": " + std::to_string(rp.nInstance);
  strJson += ", \"hasEnd\": " + std::string(rp.bHasEnd ? "true" : "false");
  strJson += ", \"end\": " +
             (rp.bHasEnd ? "\"" + FormatDate(rp.stPatternEnd) + "\"" : std::string("null"));
  // null: the calendar keeps no deleted occurrences, so none are known.
  strJson += ", \"exceptions\": ";
  if (rp.bExceptionsUnknown) {
    strJson += "null";
  } else {
    strJson += "[";
    for (UINT i = 0; i < rp.nExceptionCount && i < REPEAT_MAX_EXCEPTIONS; i++) {
      strJson += (i == 0 ? "\"" : ", \"") + FormatDate(rp.stExceptions[i]) + "\"";
    }
    strJson += "]";
  }
  strJson += "}";
  strJson += ", \"source\": " + JsonString(SourceName(date.nSource));
  strJson += ", \"matchState\": " + JsonString(MatchStateName(date.nMatchState));
  strJson += "}";
  return strJson;
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
