// Time for tests: the process's zone set for one test, and "now" fixed through the
// platform's clock, both put back when the guard ends.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/win/WinTime.h"

namespace clockguard {

class ZoneGuard {
 public:
  explicit ZoneGuard(const char* szZone) {
    const char* szOld = std::getenv("TZ");
    m_bHadZone = szOld != nullptr;
    if (m_bHadZone) m_strOld = szOld;
    setenv("TZ", szZone, 1);
    tzset();
  }
  ~ZoneGuard() {
    if (m_bHadZone) {
      setenv("TZ", m_strOld.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ZoneGuard(const ZoneGuard&) = delete;
  ZoneGuard& operator=(const ZoneGuard&) = delete;

 private:
  bool m_bHadZone = false;
  std::string m_strOld;
};

// A date-time with its day of week, as the program's records carry it.
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

// "Now" in the local time of the zone in force.
class FixedNow {
 public:
  explicit FixedNow(const SYSTEMTIME& stNow) { CxSetFixedLocalTime(&stNow); }
  ~FixedNow() { CxSetFixedLocalTime(nullptr); }
  FixedNow(const FixedNow&) = delete;
  FixedNow& operator=(const FixedNow&) = delete;
};

}  // namespace clockguard
