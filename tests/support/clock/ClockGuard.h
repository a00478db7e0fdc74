// Time for tests: the process's zone set for one test, and "now" fixed through the
// platform's clock, both put back when the guard ends.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/win/WinTime.h"
#include "support/clock/Moments.h"

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

// "Now" in the local time of the zone in force.
class FixedNow {
 public:
  explicit FixedNow(const SYSTEMTIME& stNow) { CxSetFixedLocalTime(&stNow); }
  ~FixedNow() { CxSetFixedLocalTime(nullptr); }
  FixedNow(const FixedNow&) = delete;
  FixedNow& operator=(const FixedNow&) = delete;
};

}  // namespace clockguard
