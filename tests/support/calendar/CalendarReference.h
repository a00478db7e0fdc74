// The record set's matching and calendar tests as they were first written: a scan of the
// whole set for every search, and a search along a recurrence that steps NextOccurrence one
// occurrence at a time from the record's start, passing over deleted occurrences by looking
// each one up in the list. The indexed matching and the jumping calendar tests must give the
// very same answers; these are what they are compared with.
#pragma once

#include <vector>

#include "common/calendar/CommDateMgr.h"
#include "common/misc/WinUtil.h"

namespace calref {

// FindMatch by scanning every record of the set in order, with the set's key lists given
// (the set does not show them). Moves the set's cursor.
inline int ScanFindMatch(CommDateMgr& set, const CommDate* pDate, const std::vector<int>& identity,
                         const std::vector<int>& equality, CommDate** ppPeer, int* pnPos) {
  int nPos = 0;
  int nRemembered = -1;
  int nResult = FIND_NONE;
  CommDate* pPeer = nullptr;
  for (CommDate* pStored = set.GetFirst(); pStored != nullptr; pStored = set.GetNext()) {
    if (pStored == pDate) {
      pPeer = pStored;
      nResult = FIND_SAME;
      nRemembered = nPos;
      break;
    }
    if (SameByKeys(pDate, pStored, identity.data(), static_cast<int>(identity.size()))) {
      pPeer = pStored;
      if (SameByKeys(pDate, pStored, equality.data(), static_cast<int>(equality.size())) &&
          SameExceptions(&pDate->repeat, &pStored->repeat)) {
        nResult = FIND_SAME;
        nRemembered = nPos;
        break;
      }
      nResult = FIND_CHANGED;
      nRemembered = nPos;
    }
    nPos++;
  }
  *ppPeer = pPeer;
  *pnPos = nRemembered >= 0 ? nRemembered : nPos;
  return nResult;
}

// The stepped calendar tests of one record, for days (or first days of ranges) asked in
// ascending order: each answer carries the search on from where the last one stopped, which
// is what a fresh search from the start would have reached by then.
class SteppedOccurrences {
 public:
  explicit SteppedOccurrences(const CommDate& date) : m_Date(date), m_stCursor(date.stStart) {
    m_stCursor.wHour = 0;
    m_stCursor.wMinute = 0;
    m_stCursor.wSecond = 0;
    m_stCursor.wMilliseconds = 0;
    FixDayOfWeek(&m_stCursor);
  }

  bool OnDay(const SYSTEMTIME& stDay) {
    if ((CompareDate(&m_Date.stStart, &stDay) == 0 || CompareDate(&m_Date.stEnd, &stDay) == 0) &&
        !Deleted(m_Date.stStart)) {
      return true;
    }
    return m_Date.repeat.nType != REPEAT_NONE && Reaches(stDay, stDay);
  }

  bool InRange(const SYSTEMTIME& stFirst, const SYSTEMTIME& stLast) {
    if (CompareDate(&m_Date.stStart, &stFirst) >= 0 && CompareDate(&m_Date.stStart, &stLast) <= 0 &&
        !Deleted(m_Date.stStart)) {
      return true;
    }
    return m_Date.repeat.nType != REPEAT_NONE && Reaches(stFirst, stLast);
  }

  // The dates stepping reaches, in order, up to and including the first one after stLast.
  std::vector<SYSTEMTIME> Until(const SYSTEMTIME& stLast) {
    std::vector<SYSTEMTIME> vDates;
    while (Step()) {
      vDates.push_back(m_stCursor);
      if (CompareDate(&m_stCursor, &stLast) > 0) break;
    }
    return vDates;
  }

 private:
  // Whether a date stepping reaches on or after stFirst, not deleted, lies on or before stLast.
  bool Reaches(const SYSTEMTIME& stFirst, const SYSTEMTIME& stLast) {
    while (m_bAlive && (m_nSteps == 0 || CompareDate(&m_stCursor, &stFirst) < 0 ||
                        (Deleted(m_stCursor) && CompareDate(&m_stCursor, &stLast) <= 0))) {
      Step();
    }
    return m_bAlive && CompareDate(&m_stCursor, &stLast) <= 0 && !Deleted(m_stCursor);
  }

  // Only a repeating record has occurrences to delete.
  bool Deleted(const SYSTEMTIME& stDay) const {
    const RepeatPattern& p = m_Date.repeat;
    if (p.nType == REPEAT_NONE) return false;
    for (const SYSTEMTIME& stDeleted : ExceptionDays(p)) {
      if (CompareDate(&stDeleted, &stDay) == 0) return true;
    }
    return false;
  }

  bool Step() {
    const SYSTEMTIME stBefore = m_stCursor;
    if (!m_bAlive || m_nSteps >= MAX_OCCURRENCE_STEPS || !NextOccurrence(&m_Date, &m_stCursor) ||
        CompareDate(&m_stCursor, &stBefore) <= 0) {
      m_bAlive = false;
    }
    m_nSteps++;
    return m_bAlive;
  }

  CommDate m_Date;
  SYSTEMTIME m_stCursor;
  long m_nSteps = 0;
  bool m_bAlive = true;
};

}  // namespace calref
