// The record set with its matching, and the two calendar tests over recurrence stepping.
#include "common/calendar/CommDateMgr.h"

#include <cstring>
#include <new>

#include "common/misc/CxDebugUtil.h"
#include "common/misc/CxList.h"
#include "common/misc/WinUtil.h"
#include "platform/win/WinString.h"

namespace {

const int kDefaultIdentityKeys[] = {FIELD_DESCRIPTION, FIELD_START_TIME, FIELD_END_TIME,
                                    FIELD_ALL_DAY_EVENT};
const int kDefaultEqualityKeys[] = {FIELD_LOCATION};

// Every step of a recurrence moves the cursor at least one day forward (a step that does
// not is refused), so no search can take more steps than there are days in the range of
// automation dates (years 100..9999). The limit only guards against that rule being broken.
const long kMaxOccurrenceSteps = 3700000L;

void FreeRecord(void* pData) {
  CommDate* pDate = static_cast<CommDate*>(pData);
  FreeExtra(pDate);
  delete pDate;
}

bool SameField(const CommDate* pA, const CommDate* pB, int nId) {
  switch (nId) {
    case FIELD_DESCRIPTION:
      return lstrcmpi(pA->szDescription, pB->szDescription) == 0;
    case FIELD_START_TIME:
      return CompareDate(&pA->stStart, &pB->stStart) == 0;
    case FIELD_END_TIME:
      return CompareDate(&pA->stEnd, &pB->stEnd) == 0;
    case FIELD_NOTE:
      return SameNoteText(pA->szNote, pB->szNote);
    case FIELD_LOCATION:
      return lstrcmpi(pA->szLocation, pB->szLocation) == 0;
    case FIELD_IMPORTANCE:
      return pA->nImportance == pB->nImportance;
    case FIELD_ALL_DAY_EVENT:
      return pA->bAllDay == pB->bAllDay;
    case FIELD_REPEAT:
      return SameRepeat(&pA->repeat, &pB->repeat);
    default:
      // Times of day, date-time, category, privacy and alarm are not compared: a record
      // that differs only there is the same, unchanged appointment.
      return true;
  }
}

void SetKeys(int* pKeys, int* pCount, const int* pIds, int nCount, const int* pDefault,
             int nDefaultCount) {
  if (pIds == nullptr || nCount <= 0) {
    pIds = pDefault;
    nCount = nDefaultCount;
  }
  if (nCount > COMMDATE_MAX_KEYS) {
    nCount = COMMDATE_MAX_KEYS;
  }
  for (int i = 0; i < nCount; i++) {
    pKeys[i] = pIds[i];
  }
  *pCount = nCount;
}

// The cursor the calendar tests step: the record's start date with a weekday computed from
// it (the stored one is not trusted) at midnight, since only the date takes part.
SYSTEMTIME FirstCursor(const CommDate* pDate) {
  SYSTEMTIME stCursor = pDate->stStart;
  stCursor.wHour = 0;
  stCursor.wMinute = 0;
  stCursor.wSecond = 0;
  stCursor.wMilliseconds = 0;
  FixDayOfWeek(&stCursor);
  return stCursor;
}

// Steps the record's recurrence from its start until the cursor's date is at or past pFirst,
// and reports whether it is then not past pLast. A step that does not move the date forward
// ends the search, which also bounds it.
bool SteppedInto(const CommDate* pDate, const SYSTEMTIME* pFirst, const SYSTEMTIME* pLast) {
  SYSTEMTIME stCursor = FirstCursor(pDate);
  for (long nStep = 0; nStep < kMaxOccurrenceSteps; nStep++) {
    const SYSTEMTIME stBefore = stCursor;
    if (!NextOccurrence(pDate, &stCursor)) {
      return false;
    }
    if (CompareDate(&stCursor, &stBefore) <= 0) {
      return false;
    }
    if (CompareDate(&stCursor, pLast) > 0) {
      return false;
    }
    if (CompareDate(&stCursor, pFirst) >= 0) {
      return true;
    }
  }
  Log(0, "Recurrence of \"%s\" still not past the day after %ld steps", pDate->szDescription,
      kMaxOccurrenceSteps);
  return false;
}

}  // namespace

bool SameByKeys(const CommDate* pA, const CommDate* pB, const int* pIds, int nCount) {
  if (pA == nullptr || pB == nullptr || pIds == nullptr || nCount <= 0) {
    return false;
  }
  for (int i = 0; i < nCount; i++) {
    if (!SameField(pA, pB, pIds[i])) {
      return false;
    }
  }
  return true;
}

CommDateMgr::CommDateMgr()
    : m_pList(new CxList),
      m_nIdentityKeys{},
      m_nIdentityCount(0),
      m_nEqualityKeys{},
      m_nEqualityCount(0) {
  m_pList->SetFreeFunc(FreeRecord);
  SetIdentityKeys(nullptr, 0);
  SetEqualityKeys(nullptr, 0);
}

CommDateMgr::~CommDateMgr() {
  Clear();
}

void CommDateMgr::Clear() {
  if (m_pList) {
    m_pList->RemoveAll(true);
  }
}

CommDate* CommDateMgr::AddCopy(const CommDate* pDate) {
  if (pDate == nullptr || !m_pList) {
    return nullptr;
  }
  CommDate* pCopy = new (std::nothrow) CommDate;
  if (pCopy == nullptr) {
    Log(0, "No memory for a calendar record");
    return nullptr;
  }
  std::memcpy(pCopy, pDate, sizeof(CommDate));
  // The copy must never share the caller's block: each record frees its own.
  pCopy->pExtra = nullptr;
  pCopy->nExtraSize = 0;
  if (pDate->pExtra != nullptr && pDate->nExtraSize != 0) {
    SetExtraCopy(pCopy, pDate->pExtra, pDate->nExtraSize);
  }
  if (!m_pList->Add(pCopy)) {
    FreeRecord(pCopy);
    return nullptr;
  }
  return pCopy;
}

bool CommDateMgr::Update(const CommDate* pDate, int nPos) {
  if (pDate == nullptr || nPos < 0 || !m_pList) {
    return false;
  }
  CommDate* pStored = static_cast<CommDate*>(m_pList->GetAt(static_cast<UINT>(nPos)));
  if (pStored == nullptr) {
    return false;
  }
  CopyIfText(pStored->szDescription, pDate->szDescription);
  CopyIfText(pStored->szLocation, pDate->szLocation);
  CopyIfText(pStored->szNote, pDate->szNote);
  CopyIfText(pStored->szCategory, pDate->szCategory);
  pStored->bAlarm = pDate->bAlarm;
  pStored->bAllDay = pDate->bAllDay;
  pStored->nImportance = pDate->nImportance;
  pStored->bPrivate = pDate->bPrivate;
  pStored->repeat = pDate->repeat;
  pStored->stStart = pDate->stStart;
  pStored->stEnd = pDate->stEnd;
  return true;
}

CommDate* CommDateMgr::GetFirst() {
  return m_pList ? static_cast<CommDate*>(m_pList->GetFirst()) : nullptr;
}

CommDate* CommDateMgr::GetNext() {
  return m_pList ? static_cast<CommDate*>(m_pList->GetNext()) : nullptr;
}

CommDate* CommDateMgr::GetAt(int nPos) {
  if (!m_pList || nPos < 0) {
    return nullptr;
  }
  return static_cast<CommDate*>(m_pList->GetAt(static_cast<UINT>(nPos)));
}

int CommDateMgr::GetCount() const {
  return m_pList ? static_cast<int>(m_pList->GetCount()) : 0;
}

// An unchanged match ends the search at once; a changed one is remembered and the search
// goes on, so an unchanged match later in the set wins and the last changed one is reported.
int CommDateMgr::FindMatch(const CommDate* pDate, CommDate** ppPeer, int* pnPos) {
  if (pDate == nullptr) {
    return FIND_ERROR;
  }
  int nPos = 0;
  int nRemembered = -1;
  int nResult = FIND_NONE;
  CommDate* pPeer = nullptr;
  for (CommDate* pStored = GetFirst(); pStored != nullptr; pStored = GetNext()) {
    if (pStored == pDate) {
      pPeer = pStored;
      nResult = FIND_SAME;
      nRemembered = nPos;
      break;
    }
    if (SameByKeys(pDate, pStored, m_nIdentityKeys, m_nIdentityCount)) {
      pPeer = pStored;
      if (SameByKeys(pDate, pStored, m_nEqualityKeys, m_nEqualityCount)) {
        nResult = FIND_SAME;
        nRemembered = nPos;
        break;
      }
      nResult = FIND_CHANGED;
      nRemembered = nPos;
    }
    nPos++;
  }
  if (ppPeer != nullptr) {
    *ppPeer = pPeer;
  }
  if (pnPos != nullptr) {
    *pnPos = nRemembered >= 0 ? nRemembered : nPos;
  }
  return nResult;
}

bool CommDateMgr::MarkAll(CommDateMgr* pOther) {
  if (pOther == nullptr) {
    return false;
  }
  // Walked by position rather than by GetNext: when a set is matched against itself, the
  // search moves the very cursor the walk would rely on.
  const int nCount = GetCount();
  for (int nPos = 0; nPos < nCount; nPos++) {
    CommDate* pDate = GetAt(nPos);
    if (pDate == nullptr) {
      break;
    }
    CommDate* pPeer = nullptr;
    const int nResult = pOther->FindMatch(pDate, &pPeer, nullptr);
    if (nResult == FIND_NONE) {
      pDate->nMatchState = MATCH_NEW;
    } else if (nResult == FIND_CHANGED) {
      pDate->nMatchState = MATCH_CHANGED;
    } else {
      pDate->nMatchState = MATCH_SAME;
    }
    pDate->pPeer = pPeer;
  }
  return true;
}

void CommDateMgr::SetIdentityKeys(const int* pIds, int nCount) {
  SetKeys(m_nIdentityKeys, &m_nIdentityCount, pIds, nCount, kDefaultIdentityKeys,
          static_cast<int>(sizeof(kDefaultIdentityKeys) / sizeof(kDefaultIdentityKeys[0])));
}

void CommDateMgr::SetEqualityKeys(const int* pIds, int nCount) {
  SetKeys(m_nEqualityKeys, &m_nEqualityCount, pIds, nCount, kDefaultEqualityKeys,
          static_cast<int>(sizeof(kDefaultEqualityKeys) / sizeof(kDefaultEqualityKeys[0])));
}

bool OccursOnDay(const CommDate* pDate, const SYSTEMTIME* pDay) {
  if (pDate == nullptr || pDay == nullptr) {
    return false;
  }
  // A record spanning several days counts on its first and last day only.
  if (CompareDate(&pDate->stStart, pDay) == 0 || CompareDate(&pDate->stEnd, pDay) == 0) {
    return true;
  }
  if (pDate->repeat.nType == REPEAT_NONE) {
    return false;
  }
  return SteppedInto(pDate, pDay, pDay);
}

bool OccursInRange(const CommDate* pDate, const SYSTEMTIME* pFirst, const SYSTEMTIME* pLast) {
  if (pDate == nullptr || pFirst == nullptr || pLast == nullptr) {
    return false;
  }
  if (CompareDate(&pDate->stStart, pFirst) >= 0 && CompareDate(&pDate->stStart, pLast) <= 0) {
    return true;
  }
  if (pDate->repeat.nType == REPEAT_NONE) {
    return false;
  }
  return SteppedInto(pDate, pFirst, pLast);
}
