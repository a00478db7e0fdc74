// Dates and times for tests, built by value.
#pragma once

#include "platform/win/WinTime.h"

namespace clockguard {

// A date-time with its day of week, as the program's records carry it. A date that names no
// real day (31 February, month 13) keeps a day of week of 0, so tests of rejected dates can
// build one too.
inline SYSTEMTIME LocalTime(int nYear, int nMonth, int nDay, int nHour = 0, int nMinute = 0,
                            int nSecond = 0) {
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(nYear);
  st.wMonth = static_cast<WORD>(nMonth);
  st.wDay = static_cast<WORD>(nDay);
  st.wHour = static_cast<WORD>(nHour);
  st.wMinute = static_cast<WORD>(nMinute);
  st.wSecond = static_cast<WORD>(nSecond);
  if (CxIsValidDate(nYear, nMonth, nDay)) {
    st.wDayOfWeek = static_cast<WORD>(CxWeekdayOf(nYear, nMonth, nDay));
  }
  return st;
}

}  // namespace clockguard
