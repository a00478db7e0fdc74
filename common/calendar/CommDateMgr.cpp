// The record set with its matching, and the two calendar tests over recurrence stepping.
#include "common/calendar/CommDateMgr.h"
#define DB_MODULE "CommDateMgr"
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <new>
#include <unordered_map>

#include "common/misc/CxDebugUtil.h"
#include "common/misc/CxList.h"
#include "common/misc/WinUtil.h"
#include "platform/win/WinString.h"
#include "platform/win/WinTime.h"

namespace {

const int kDefaultIdentityKeys[] = {FIELD_DESCRIPTION, FIELD_START_TIME, FIELD_END_TIME,
                                    FIELD_ALL_DAY_EVENT};
const int kDefaultEqualityKeys[] = {FIELD_LOCATION};

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

// The byte lstrcmpi takes each byte for: the lowest byte it compares equal to. Read off
// lstrcmpi itself, so that texts it calls equal can never hash apart.
const std::array<unsigned char, 256>& FoldTable() {
  static const std::array<unsigned char, 256> table = [] {
    std::array<unsigned char, 256> fold{};
    char szByte[2] = {};
    char szLower[2] = {};
    for (int nByte = 1; nByte < 256; nByte++) {
      fold[nByte] = static_cast<unsigned char>(nByte);
      szByte[0] = static_cast<char>(nByte);
      for (int nOther = 1; nOther < nByte; nOther++) {
        szLower[0] = static_cast<char>(nOther);
        if (lstrcmpi(szByte, szLower) == 0) {
          fold[nByte] = static_cast<unsigned char>(nOther);
          break;
        }
      }
    }
    return fold;
  }();
  return table;
}

// A hash of the fields that SameField compares, made so that fields it calls equal hash alike:
// texts folded as lstrcmpi folds them (notes without their line breaks), dates by day only.
class KeyHasher {
 public:
  void Add(uint32_t nValue) {
    for (int i = 0; i < 4; i++) {
      AddByte(static_cast<unsigned char>(nValue >> (8 * i)));
    }
  }
  void AddDate(const SYSTEMTIME& st) {
    Add(static_cast<uint32_t>(st.wYear) << 16 | st.wMonth << 8 | st.wDay);
  }
  // Bounded by the array, which equal texts of any length still agree on.
  template <size_t N>
  void AddText(const char (&szText)[N], bool bSkipLineBreaks) {
    AddText(szText, N, bSkipLineBreaks);
  }
  template <size_t N>
  void AddText(const CxText<N>& text, bool bSkipLineBreaks) {
    AddText(text.c_str(), N, bSkipLineBreaks);
  }
  void AddText(const char* szText, size_t nMax, bool bSkipLineBreaks) {
    const std::array<unsigned char, 256>& fold = FoldTable();
    for (size_t i = 0; i < nMax && szText[i] != '\0'; i++) {
      if (bSkipLineBreaks && (szText[i] == '\r' || szText[i] == '\n')) {
        continue;
      }
      AddByte(fold[static_cast<unsigned char>(szText[i])]);
    }
    AddByte(0);
  }
  uint64_t Value() const {
    // FNV leaves the high bits poorly mixed; a finishing mix spreads dates a day apart.
    uint64_t nHash = m_nHash;
    nHash ^= nHash >> 33;
    nHash *= 0xff51afd7ed558ccdULL;
    nHash ^= nHash >> 33;
    return nHash;
  }

 private:
  void AddByte(unsigned char cByte) {
    m_nHash ^= cByte;
    m_nHash *= 0x100000001b3ULL;
  }

  uint64_t m_nHash = 0xcbf29ce484222325ULL;
};

uint64_t KeyHash(const CommDate* pDate, const int* pIds, int nCount) {
  KeyHasher hasher;
  for (int i = 0; i < nCount; i++) {
    switch (pIds[i]) {
      case FIELD_DESCRIPTION:
        hasher.AddText(pDate->szDescription, false);
        break;
      case FIELD_START_TIME:
        hasher.AddDate(pDate->stStart);
        break;
      case FIELD_END_TIME:
        hasher.AddDate(pDate->stEnd);
        break;
      case FIELD_NOTE:
        hasher.AddText(pDate->szNote, true);
        break;
      case FIELD_LOCATION:
        hasher.AddText(pDate->szLocation, false);
        break;
      case FIELD_IMPORTANCE:
        hasher.Add(static_cast<uint32_t>(pDate->nImportance));
        break;
      case FIELD_ALL_DAY_EVENT:
        hasher.Add(static_cast<uint32_t>(pDate->bAllDay));
        break;
      case FIELD_REPEAT:
        hasher.Add(static_cast<uint32_t>(pDate->repeat.nType));
        hasher.Add(pDate->repeat.nInterval);
        hasher.Add(pDate->repeat.nDayOfWeekMask);
        hasher.Add(pDate->repeat.nDayOfMonth);
        hasher.Add(static_cast<uint32_t>(pDate->repeat.nMonthOfYear));
        hasher.Add(pDate->repeat.nInstance);
        break;
      default:
        // Fields SameField lets pass take no part.
        break;
    }
  }
  return hasher.Value();
}

}  // namespace

// The identity-key index: records filed by the hash of their identity keys, each hash with
// the positions of its records in set order, so a search meets candidates in the order the
// scan of the whole set would.
struct CommDateMgr::KeyIndex {
  std::unordered_map<uint64_t, std::vector<int>> positions;
  std::vector<uint64_t> vFiledUnder;  // by position
};

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
  m_vRecords.clear();
  m_pIndex.reset();
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
  *pCopy = *pDate;
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
  m_vRecords.push_back(pCopy);
  if (m_pIndex) {
    // The new position is the highest, so appending keeps every list of positions ascending.
    const uint64_t nHash = KeyHash(pCopy, m_nIdentityKeys, m_nIdentityCount);
    m_pIndex->vFiledUnder.push_back(nHash);
    m_pIndex->positions[nHash].push_back(static_cast<int>(m_vRecords.size()) - 1);
  }
  return pCopy;
}

bool CommDateMgr::Update(const CommDate* pDate, int nPos) {
  if (pDate == nullptr || nPos < 0 || static_cast<size_t>(nPos) >= m_vRecords.size()) {
    return false;
  }
  CommDate* pStored = m_vRecords[static_cast<size_t>(nPos)];
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
  Refile(nPos);
  return true;
}

bool CommDateMgr::Remove(int nPos) {
  if (nPos < 0 || static_cast<size_t>(nPos) >= m_vRecords.size() || !m_pList) {
    return false;
  }
  CommDate* pGone = m_vRecords[static_cast<size_t>(nPos)];
  m_vRecords.erase(m_vRecords.begin() + nPos);
  m_pList->Remove(pGone, true);
  // Every later position moves; the next search files the records again.
  m_pIndex.reset();
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
  return static_cast<int>(m_vRecords.size());
}

void CommDateMgr::BuildIndex() {
  auto pIndex = std::make_unique<KeyIndex>();
  pIndex->positions.reserve(m_vRecords.size());
  pIndex->vFiledUnder.reserve(m_vRecords.size());
  for (size_t nPos = 0; nPos < m_vRecords.size(); nPos++) {
    const uint64_t nHash = KeyHash(m_vRecords[nPos], m_nIdentityKeys, m_nIdentityCount);
    pIndex->vFiledUnder.push_back(nHash);
    pIndex->positions[nHash].push_back(static_cast<int>(nPos));
  }
  m_pIndex = std::move(pIndex);
}

// Moves the record at nPos to the list of its current key, in position order.
void CommDateMgr::Refile(int nPos) {
  if (!m_pIndex) {
    return;
  }
  uint64_t& nFiled = m_pIndex->vFiledUnder[static_cast<size_t>(nPos)];
  const uint64_t nHash =
      KeyHash(m_vRecords[static_cast<size_t>(nPos)], m_nIdentityKeys, m_nIdentityCount);
  if (nHash == nFiled) {
    return;
  }
  auto itOld = m_pIndex->positions.find(nFiled);
  if (itOld != m_pIndex->positions.end()) {
    std::vector<int>& vOld = itOld->second;
    vOld.erase(std::remove(vOld.begin(), vOld.end(), nPos), vOld.end());
    if (vOld.empty()) {
      m_pIndex->positions.erase(itOld);
    }
  }
  std::vector<int>& vNew = m_pIndex->positions[nHash];
  vNew.insert(std::lower_bound(vNew.begin(), vNew.end(), nPos), nPos);
  nFiled = nHash;
}

void CommDateMgr::RefileAll() {
  if (!m_pIndex) {
    BuildIndex();
    return;
  }
  for (size_t nPos = 0; nPos < m_vRecords.size(); nPos++) {
    Refile(static_cast<int>(nPos));
  }
}

// An unchanged match ends the search at once; a changed one is remembered and the search
// goes on, so an unchanged match later in the set wins and the last changed one is reported.
// Only records filed under the searched record's key can agree with it on the identity keys,
// so only they are compared, in set order.
int CommDateMgr::FindMatch(const CommDate* pDate, CommDate** ppPeer, int* pnPos) {
  if (pDate == nullptr) {
    return FIND_ERROR;
  }
  if (!m_pIndex) {
    BuildIndex();
  }
  int nRemembered = -1;
  int nResult = FIND_NONE;
  CommDate* pPeer = nullptr;
  auto itFound = m_pIndex->positions.find(KeyHash(pDate, m_nIdentityKeys, m_nIdentityCount));
  if (itFound != m_pIndex->positions.end()) {
    for (int nPos : itFound->second) {
      CommDate* pStored = m_vRecords[static_cast<size_t>(nPos)];
      if (pStored == pDate) {
        pPeer = pStored;
        nResult = FIND_SAME;
        nRemembered = nPos;
        break;
      }
      if (SameByKeys(pDate, pStored, m_nIdentityKeys, m_nIdentityCount)) {
        pPeer = pStored;
        if (SameByKeys(pDate, pStored, m_nEqualityKeys, m_nEqualityCount) &&
            SameExceptions(&pDate->repeat, &pStored->repeat)) {
          nResult = FIND_SAME;
          nRemembered = nPos;
          break;
        }
        nResult = FIND_CHANGED;
        nRemembered = nPos;
      }
    }
  }
  if (ppPeer != nullptr) {
    *ppPeer = pPeer;
  }
  if (pnPos != nullptr) {
    *pnPos = nRemembered >= 0 ? nRemembered : GetCount();
  }
  return nResult;
}

bool CommDateMgr::MarkAll(CommDateMgr* pOther) {
  if (pOther == nullptr) {
    return false;
  }
  // Records may have been changed in place since the last search (the sync run writes
  // into them); filing them afresh costs one pass, as the matching itself does.
  pOther->RefileAll();
  // By position rather than by GetNext: the search must leave this set's cursor alone when
  // a set is matched against itself.
  for (CommDate* pDate : m_vRecords) {
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
  m_pIndex.reset();
}

void CommDateMgr::SetEqualityKeys(const int* pIds, int nCount) {
  SetKeys(m_nEqualityKeys, &m_nEqualityCount, pIds, nCount, kDefaultEqualityKeys,
          static_cast<int>(sizeof(kDefaultEqualityKeys) / sizeof(kDefaultEqualityKeys[0])));
}

namespace {

// A repeating record is looked for at most this many days back from a day it might cover.
constexpr int kMaxRepeatSpanDays = 62;

// Whole days from the start's date to the last day the record covers: 0 for a record within
// one day. A timed record that ends exactly at midnight does not cover the day that begins.
// The day number (automation date, whole days) of a date; -1 for a date that is none.
long DayNumberOf(const SYSTEMTIME* pDay) {
  SYSTEMTIME stDate = {};
  stDate.wYear = pDay->wYear;
  stDate.wMonth = pDay->wMonth;
  stDate.wDay = pDay->wDay;
  DATE dt = 0;
  if (!SystemTimeToVariantTime(&stDate, &dt) || dt < 0) return -1;
  return static_cast<long>(dt);
}

int SpanDays(const CommDate* pDate) {
  const long nStart = DayNumberOf(&pDate->stStart);
  const long nEnd = DayNumberOf(&pDate->stEnd);
  if (nStart < 0 || nEnd <= nStart) return 0;
  int nDays = static_cast<int>(nEnd - nStart);
  const bool bEndsAtMidnight =
      pDate->stEnd.wHour == 0 && pDate->stEnd.wMinute == 0 && pDate->stEnd.wSecond == 0;
  if (nDays > 0 && !pDate->bAllDay && bEndsAtMidnight) --nDays;
  return nDays;
}

// Whether the record's own stepping (at its start's clock time) has an occurrence on the day.
bool IsBaseOccurrence(const CommDate* pDate, const SYSTEMTIME* pDay) {
  const RepeatPattern& repeat = pDate->repeat;
  if (CompareDate(&pDate->stStart, pDay) == 0) {
    return repeat.nType == REPEAT_NONE || !IsDeletedOccurrence(&repeat, &pDate->stStart);
  }
  if (repeat.nType == REPEAT_NONE) return false;
  SYSTEMTIME stFound{};
  return OccurrenceOnOrAfter(pDate, pDay, &stFound) && CompareDate(&stFound, pDay) == 0 &&
         !IsDeletedOccurrence(&repeat, &stFound);
}

// The local start of the occurrence the record's own stepping puts on stBaseDay: that day at
// the start's time of day, moved by the clock shift in force then.
SYSTEMTIME ShiftedStart(const CommDate* pDate, const SYSTEMTIME& stBaseDay) {
  SYSTEMTIME stStart = pDate->stStart;
  CopyDate(&stBaseDay, &stStart);
  const std::vector<CommClockShift>& shifts = pDate->clockShifts;
  DATE dtStart = 0;
  if (shifts.empty() || !SystemTimeToVariantTime(&stStart, &dtStart)) return stStart;
  // Half a second of slack: the two clocks meet on whole minutes, automation dates do not.
  constexpr double kSlack = 0.5 / 86400.0;
  auto after =
      std::upper_bound(shifts.begin(), shifts.end(), dtStart + kSlack,
                       [](DATE dt, const CommClockShift& shift) { return dt < shift.dtFrom; });
  if (after == shifts.begin() || (after - 1)->nMinutes == 0) return stStart;
  SYSTEMTIME stShifted{};
  if (!VariantTimeToSystemTime(dtStart + (after - 1)->nMinutes / 1440.0, &stShifted)) {
    return stStart;
  }
  stShifted.wMilliseconds = 0;
  FixDayOfWeek(&stShifted);
  return stShifted;
}

// Whether an occurrence of the record begins on the day, and its local start there. A clock
// shift moves an occurrence by less than a day, so over midnight it comes from the day
// before or after.
bool IsOccurrenceStart(const CommDate* pDate, const SYSTEMTIME* pDay,
                       SYSTEMTIME* pStart = nullptr) {
  if (pDate->clockShifts.empty() || pDate->repeat.nType == REPEAT_NONE) {
    if (!IsBaseOccurrence(pDate, pDay)) return false;
    if (pStart != nullptr) {
      *pStart = pDate->stStart;
      CopyDate(pDay, pStart);
      FixDayOfWeek(pStart);
    }
    return true;
  }
  for (int nOffset : {0, -1, 1}) {
    SYSTEMTIME stBase = *pDay;
    if (nOffset != 0 && !AddDays(&stBase, nOffset)) continue;
    if (!IsBaseOccurrence(pDate, &stBase)) continue;
    const SYSTEMTIME stStart = ShiftedStart(pDate, stBase);
    if (CompareDate(&stStart, pDay) != 0) continue;
    if (pStart != nullptr) *pStart = stStart;
    return true;
  }
  return false;
}

// OccursInRange for a series with clock shifts: the base occurrences from the day before the
// range to the day after it are the ones a shift can bring into it.
bool ShiftedOccursInRange(const CommDate* pDate, const SYSTEMTIME* pFirst,
                          const SYSTEMTIME* pLast) {
  const RepeatPattern& repeat = pDate->repeat;
  SYSTEMTIME stFrom = *pFirst;
  SYSTEMTIME stTo = *pLast;
  if (!AddDays(&stFrom, -1) || !AddDays(&stTo, 1)) return false;
  // Past a deleted occurrence, or the one day before the range, the next one is one step on.
  const UINT nRounds = std::min(repeat.nExceptionCount, REPEAT_MAX_EXCEPTIONS) + 4;
  for (UINT nRound = 0; nRound < nRounds; nRound++) {
    SYSTEMTIME stFound = pDate->stStart;
    if (CompareDate(&stFound, &stFrom) < 0 && !OccurrenceOnOrAfter(pDate, &stFrom, &stFound)) {
      return false;
    }
    if (CompareDate(&stFound, &stTo) > 0) return false;
    if (!IsDeletedOccurrence(&repeat, &stFound)) {
      const SYSTEMTIME stStart = ShiftedStart(pDate, stFound);
      if (CompareDate(&stStart, pFirst) >= 0 && CompareDate(&stStart, pLast) <= 0) return true;
    }
    stFrom = stFound;
    if (!AddDays(&stFrom, 1)) return false;
  }
  return false;
}

}  // namespace

int CoveredDayOffset(const CommDate* pDate, const SYSTEMTIME* pDay) {
  if (pDate == nullptr || pDay == nullptr) {
    return -1;
  }
  int nSpan = SpanDays(pDate);
  if (pDate->repeat.nType == REPEAT_NONE) {
    const long nStart = DayNumberOf(&pDate->stStart);
    const long nDay = DayNumberOf(pDay);
    if (nStart < 0) return CompareDate(&pDate->stStart, pDay) == 0 ? 0 : -1;
    if (nDay < nStart || nDay > nStart + nSpan) return -1;
    return static_cast<int>(nDay - nStart);
  }
  nSpan = std::min(nSpan, kMaxRepeatSpanDays);
  SYSTEMTIME stCandidate = *pDay;
  for (int nOffset = 0; nOffset <= nSpan; ++nOffset) {
    if (IsOccurrenceStart(pDate, &stCandidate)) return nOffset;
    if (!AddDays(&stCandidate, -1)) break;
  }
  return -1;
}

int CoveredSpanDays(const CommDate* pDate) {
  return pDate != nullptr ? SpanDays(pDate) : 0;
}

bool OccursOnDay(const CommDate* pDate, const SYSTEMTIME* pDay) {
  return CoveredDayOffset(pDate, pDay) >= 0;
}

bool OccurrenceStartOn(const CommDate* pDate, const SYSTEMTIME* pDay, SYSTEMTIME* pStart) {
  if (pDate == nullptr || pDay == nullptr || pStart == nullptr) return false;
  return IsOccurrenceStart(pDate, pDay, pStart);
}

bool OccursInRange(const CommDate* pDate, const SYSTEMTIME* pFirst, const SYSTEMTIME* pLast) {
  if (pDate == nullptr || pFirst == nullptr || pLast == nullptr) {
    return false;
  }
  const RepeatPattern& repeat = pDate->repeat;
  if (!pDate->clockShifts.empty() && repeat.nType != REPEAT_NONE) {
    return ShiftedOccursInRange(pDate, pFirst, pLast);
  }
  if (CompareDate(&pDate->stStart, pFirst) >= 0 && CompareDate(&pDate->stStart, pLast) <= 0 &&
      (repeat.nType == REPEAT_NONE || !IsDeletedOccurrence(&repeat, &pDate->stStart))) {
    return true;
  }
  if (repeat.nType == REPEAT_NONE) {
    return false;
  }
  // Past a deleted occurrence the next one is a single step on, so the search ends within
  // one more round than the repeat has deleted occurrences.
  SYSTEMTIME stFound{};
  if (!OccurrenceOnOrAfter(pDate, pFirst, &stFound)) {
    return false;
  }
  const UINT nRounds = std::min(repeat.nExceptionCount, REPEAT_MAX_EXCEPTIONS) + 1;
  for (UINT nRound = 0; nRound < nRounds; nRound++) {
    if (CompareDate(&stFound, pLast) > 0) {
      return false;
    }
    if (!IsDeletedOccurrence(&repeat, &stFound)) {
      return true;
    }
    const SYSTEMTIME stBefore = stFound;
    if (!NextOccurrence(pDate, &stFound) || CompareDate(&stFound, &stBefore) <= 0) {
      return false;
    }
  }
  return false;
}

int SetDeletedOccurrences(CommDate* pDate, const SYSTEMTIME* pDays, int nCount) {
  if (pDate == nullptr) {
    return 0;
  }
  RepeatPattern& repeat = pDate->repeat;
  SetExceptionDays(&repeat, nullptr, 0);
  if (repeat.nType == REPEAT_NONE || pDays == nullptr || nCount <= 0) {
    return 0;
  }
  std::vector<SYSTEMTIME> vDays;
  vDays.reserve(static_cast<size_t>(nCount));
  for (int i = 0; i < nCount; i++) {
    SYSTEMTIME stDay{};
    stDay.wYear = pDays[i].wYear;
    stDay.wMonth = pDays[i].wMonth;
    stDay.wDay = pDays[i].wDay;
    FixDayOfWeek(&stDay);
    SYSTEMTIME stFound{};
    const bool bOccurs =
        CompareDate(&stDay, &pDate->stStart) == 0 ||
        (OccurrenceOnOrAfter(pDate, &stDay, &stFound) && CompareDate(&stFound, &stDay) == 0);
    if (bOccurs) {
      vDays.push_back(stDay);
    }
  }
  const auto Earlier = [](const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return CompareDate(&a, &b) < 0;
  };
  const auto SameDay = [](const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return CompareDate(&a, &b) == 0;
  };
  std::sort(vDays.begin(), vDays.end(), Earlier);
  vDays.erase(std::unique(vDays.begin(), vDays.end(), SameDay), vDays.end());
  const size_t nKept = std::min<size_t>(vDays.size(), REPEAT_MAX_EXCEPTIONS);
  SetExceptionDays(&repeat, vDays.data() + (vDays.size() - nKept), nKept);
  return static_cast<int>(nKept);
}
