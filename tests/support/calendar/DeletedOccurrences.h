// Helpers for tests of deleted occurrences: a record of a set as a caller outside the set
// holds it, and a repeat's deleted occurrences as "YYYY-MM-DD" texts to compare whole.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "common/calendar/CommDateMgr.h"

namespace deltest {

// A copy without the set's block, which the set alone frees.
inline CommDate DetachedCopy(const CommDate& date) {
  CommDate copy = date;
  copy.pExtra = nullptr;
  copy.nExtraSize = 0;
  return copy;
}

inline std::vector<std::string> DeletedDays(const CommDate& date) {
  std::vector<std::string> days;
  for (const SYSTEMTIME& st : ExceptionDays(date.repeat)) {
    char szText[32];
    std::snprintf(szText, sizeof(szText), "%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
    days.push_back(szText);
  }
  return days;
}

inline void SetDeletedDays(CommDate* pDate, std::vector<SYSTEMTIME> days) {
  SetDeletedOccurrences(pDate, days.data(), static_cast<int>(days.size()));
}

}  // namespace deltest
