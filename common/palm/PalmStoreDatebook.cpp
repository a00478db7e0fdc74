// The two datebook kinds behind PmStoreAdapter: the datebook of Palm Desktop 4.1 and earlier
// (kind 1, PmDateUtil) and that of 4.1.4 (kind 2, PmDateExUtil). Both are read whole into
// memory and written whole by Save; nothing reaches the file before it.
//
// Deleted occurrences: a datebook keeps them as Palm time values, the midnight that begins
// each day in the zone the datebook was written in.
//
// Blob data: a 4.1.4 record read from the store shares the store's blob data; only a
// reference made for writing owns its own.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <vector>

#include "common/calendar/CommDateMgr.h"
#include "common/misc/WinUtil.h"
#include "common/palm/PalmStoreAdapter.h"
#include "platform/win/WinTime.h"

namespace {

// *pDst becomes *pSrc but for its note, left as it was.
template <typename Record>
void CopyButNote(Record* pDst, const Record& src) {
  static_assert(std::is_trivially_copyable_v<Record>);
  constexpr size_t nNote = offsetof(Record, szNote);
  constexpr size_t nAfter = nNote + sizeof(src.szNote);
  std::memcpy(static_cast<void*>(pDst), &src, nNote);
  std::memcpy(reinterpret_cast<char*>(pDst) + nAfter, reinterpret_cast<const char*>(&src) + nAfter,
              sizeof(Record) - nAfter);
}

constexpr int kDaysInWeek = 7;
constexpr LONGLONG kSecondsPerDay = 86400;

// The days of a datebook repeat's deleted occurrences. Palm Desktop keeps each as the
// midnight that begins its day in the zone it was written in, read as a day the way an untimed
// start is: a day of the writer's calendar (vWriterDays). A value at the appointment's own time
// of day is an occurrence's start, which other writers keep instead: that is read as the
// reader's day (vReaderDays). nExactOffset: the writer's offset from UTC that the first
// midnight shows, when there is one.
struct DeletedDays {
  std::vector<SYSTEMTIME> vWriterDays;
  std::vector<SYSTEMTIME> vReaderDays;
  bool bExactOffset = false;
  LONGLONG nExactOffset = 0;
};

DeletedDays ReadDeletedOccurrences(const PmRepeat& repeat, bool bUntimed, const PmWriterZone* pZone,
                                   const SYSTEMTIME& stStart) {
  DeletedDays days;
  const bool bTimedStart = !bUntimed && (stStart.wHour | stStart.wMinute | stStart.wSecond) != 0;
  const int nCount = std::min<int>(repeat.nExceptionCount, PM_MAX_EXCEPTIONS);
  for (int i = 0; i < nCount; ++i) {
    // 0 is no date at all (and PmTime would take it for "now").
    if (repeat.nExceptions[i] == 0) continue;
    const PmTime value(repeat.nExceptions[i]);
    SYSTEMTIME st{};
    value.ToSystemTime(&st);
    const bool bAtStartTime = bTimedStart && st.wHour == stStart.wHour &&
                              st.wMinute == stStart.wMinute && st.wSecond == stStart.wSecond;
    if (bAtStartTime) {
      days.vReaderDays.push_back(st);
      continue;
    }
    value.ToUntimedDay(&st, pZone);
    days.vWriterDays.push_back(st);
    if (!days.bExactOffset) {
      days.bExactOffset = true;
      days.nExactOffset =
          static_cast<LONGLONG>(CxDaysFromCivil(st.wYear, st.wMonth, st.wDay)) * kSecondsPerDay -
          static_cast<LONGLONG>(repeat.nExceptions[i]);
    }
  }
  return days;
}

// Whether a day (a day number) can be the first occurrence of the pattern: it has the weekday
// or the day of the month the pattern names. Patterns that name neither hold on any day.
bool AnchorHolds(const RepeatPattern& pattern, LONGLONG nDay) {
  int nYear = 0, nMonth = 0, nDayOfMonth = 0;
  CxCivilFromDays(static_cast<long>(nDay), &nYear, &nMonth, &nDayOfMonth);
  const UINT nWeekdayBit = 1u << CxWeekdayOf(nYear, nMonth, nDayOfMonth);
  switch (pattern.nType) {
    case REPEAT_WEEKLY:
    case REPEAT_MONTHLY_BY_DAY:
      return pattern.nDayOfWeekMask == 0 || (pattern.nDayOfWeekMask & nWeekdayBit) != 0;
    case REPEAT_MONTHLY_BY_DATE:
      return pattern.nDayOfMonth == 0 || pattern.nDayOfMonth == static_cast<UINT>(nDayOfMonth);
    case REPEAT_YEARLY_BY_DATE:
      return pattern.nDayOfMonth == 0 || (pattern.nDayOfMonth == static_cast<UINT>(nDayOfMonth) &&
                                          pattern.nMonthOfYear == nMonth);
    default:
      return true;
  }
}

// How many days (-1, 0 or 1) the reader's date of a timed start lies after the writer's.
// A datebook names a timed start as an instant but its pattern's weekdays and month days and
// its deleted occurrences as days of the writer's calendar; read in a zone on the other side
// of midnight, those must move with the start, as Outlook moves a rule's days. The writer's
// offset comes from the record's own deleted occurrences, else from the whole calendar (then
// only believed when the pattern holds on the writer's day: the record may have been written
// where it is read).
int WriterDayShift(DWORD nStart, const SYSTEMTIME& stStart, const RepeatPattern& pattern,
                   const DeletedDays& deleted, const PmWriterZone* pZone) {
  const bool bZone = pZone != nullptr && pZone->bKnown;
  // Without either, the calendar was written in the reader's own zone.
  if (!deleted.bExactOffset && !bZone) return 0;
  const LONGLONG nReaderDay = CxDaysFromCivil(stStart.wYear, stStart.wMonth, stStart.wDay);
  const LONGLONG nWriterDay =
      PmTime(nStart).DayNumberAt(deleted.bExactOffset ? deleted.nExactOffset : pZone->nOffset);
  if (!deleted.bExactOffset && !AnchorHolds(pattern, nWriterDay)) return 0;
  return static_cast<int>(std::clamp<LONGLONG>(nReaderDay - nWriterDay, -1, 1));
}

// The pattern's weekdays and month day moved by nShift days, as Outlook moves a rule's.
void ShiftPatternDays(int nShift, RepeatPattern* pPattern) {
  switch (pPattern->nType) {
    case REPEAT_WEEKLY:
    case REPEAT_MONTHLY_BY_DAY: {
      UINT nMask = 0;
      for (int nDay = 0; nDay < kDaysInWeek; ++nDay) {
        if ((pPattern->nDayOfWeekMask & (1u << nDay)) != 0) {
          nMask |= 1u << ((nDay + nShift + kDaysInWeek) % kDaysInWeek);
        }
      }
      pPattern->nDayOfWeekMask = nMask;
      break;
    }
    case REPEAT_MONTHLY_BY_DATE:
    case REPEAT_YEARLY_BY_DATE:
      // The 31st stands for a month's last day wherever it is read.
      if (pPattern->nDayOfMonth >= 1 && pPattern->nDayOfMonth < 31) {
        pPattern->nDayOfMonth = static_cast<UINT>(
            std::clamp<int>(static_cast<int>(pPattern->nDayOfMonth) + nShift, 1, 31));
      }
      break;
    default:
      break;
  }
}

// What both datebook layouts share: the repeat block with its deleted occurrences.
class DatebookLayoutBase : public PmRecordLayout {
 public:
  bool HoldsDatebookTimes() const override { return true; }
  bool KeepsWeekdayFlags() const override { return false; }
  void ReadRepeat(const PalmRecordRef* pRef, const PalmFields& f, const PmTime* pUntimedStart,
                  const PmWriterZone* pZone, CommDate* pRecord) const override;
  void WriteRepeat(const RepeatPattern& pattern, PalmRecordRef* pRef) const override {
    PmDateInfo::RepeatToPalm(static_cast<int>(pRef->nKind), &pattern, RepeatOf(pRef));
  }
  void AddDeletedMidnights(const PalmRecordRef* pRef, const PalmFields& f,
                           std::vector<DWORD>* pMidnights) const override;

 protected:
  virtual const PmRepeat* RepeatOf(const PalmRecordRef* pRef) const = 0;
  PmRepeat* RepeatOf(PalmRecordRef* pRef) const {
    return const_cast<PmRepeat*>(RepeatOf(static_cast<const PalmRecordRef*>(pRef)));
  }
};

void DatebookLayoutBase::ReadRepeat(const PalmRecordRef* pRef, const PalmFields& f,
                                    const PmTime* pUntimedStart, const PmWriterZone* pZone,
                                    CommDate* pRecord) const {
  const int nKind = static_cast<int>(pRef->nKind);
  const PmRepeat& repeat = *RepeatOf(pRef);
  PmDateInfo::RepeatFromPalm(nKind, &repeat, &pRecord->repeat, pUntimedStart, pZone);
  DeletedDays deleted = ReadDeletedOccurrences(repeat, f.nUntimed != 0, pZone, pRecord->stStart);
  if (!f.nUntimed && pRecord->repeat.nType != REPEAT_NONE) {
    const int nShift =
        WriterDayShift(*f.pnStart, pRecord->stStart, pRecord->repeat, deleted, pZone);
    if (nShift != 0) {
      ShiftPatternDays(nShift, &pRecord->repeat);
      for (SYSTEMTIME& stDay : deleted.vWriterDays) AddDays(&stDay, nShift);
    }
  }
  deleted.vWriterDays.insert(deleted.vWriterDays.end(), deleted.vReaderDays.begin(),
                             deleted.vReaderDays.end());
  SetDeletedOccurrences(pRecord, deleted.vWriterDays.data(),
                        static_cast<int>(deleted.vWriterDays.size()));
}

// Other writers' occurrence starts, at the start's own time of day, are left out.
void DatebookLayoutBase::AddDeletedMidnights(const PalmRecordRef* pRef, const PalmFields& f,
                                             std::vector<DWORD>* pMidnights) const {
  const PmRepeat& repeat = *RepeatOf(pRef);
  const int nExceptions = std::min<int>(repeat.nExceptionCount, PM_MAX_EXCEPTIONS);
  for (int i = 0; i < nExceptions; ++i) {
    const DWORD nValue = repeat.nExceptions[i];
    if (nValue == 0) continue;
    if (!f.nUntimed && (nValue - *f.pnStart) % kSecondsPerDay == 0) continue;
    pMidnights->push_back(nValue);
  }
}

class DatebookLayout : public DatebookLayoutBase {
 public:
  PalmFields FieldsOf(PalmRecordRef* pRef) const override {
    PmDateRecord& r = pRef->rec1;
    return {r.szDescription, sizeof r.szDescription,
            r.szNote,        sizeof r.szNote,
            nullptr,         0,
            r.szCategory,    sizeof r.szCategory,
            &r.nStartTime,   &r.nEndTime,
            r.bUntimed,      r.bPrivate,
            r.bAlarm,        r.nAlarmAdvance,
            r.nAlarmUnit};
  }
  void StoreFlags(PalmRecordRef* pRef, const PalmFields& f) const override {
    pRef->rec1.bUntimed = f.nUntimed;
    pRef->rec1.bPrivate = f.nPrivate;
    pRef->rec1.bAlarm = f.nAlarm;
    pRef->rec1.nAlarmAdvance = f.nAdvance;
    pRef->rec1.nAlarmUnit = f.nUnit;
  }
  LONG* CategoryIdOf(PalmRecordRef* pRef) const override { return &pRef->rec1.nCategoryId; }
  std::vector<BYTE> PackReference(const PalmRecordRef& ref) const override {
    return PackExtra(&ref, sizeof(PalmRecordRef), offsetof(PalmRecordRef, rec1.szNote),
                     sizeof(ref.rec1.szNote));
  }

 protected:
  const PmRepeat* RepeatOf(const PalmRecordRef* pRef) const override { return &pRef->rec1.repeat; }
};

class DatebookExLayout : public DatebookLayoutBase {
 public:
  PalmFields FieldsOf(PalmRecordRef* pRef) const override {
    PmDateExRecord& r = pRef->rec2;
    return {r.szSummary,   sizeof r.szSummary,  r.szNote,     sizeof r.szNote,
            r.szLocation,  sizeof r.szLocation, r.szCategory, sizeof r.szCategory,
            &r.nStartTime, &r.nEndTime,         r.bUntimed,   r.bPrivate,
            r.bAlarm,      r.nAlarmAdvance,     r.nAlarmUnit};
  }
  void StoreFlags(PalmRecordRef* pRef, const PalmFields& f) const override {
    pRef->rec2.bUntimed = f.nUntimed;
    pRef->rec2.bPrivate = f.nPrivate;
    pRef->rec2.bAlarm = f.nAlarm;
    pRef->rec2.nAlarmAdvance = f.nAdvance;
    pRef->rec2.nAlarmUnit = f.nUnit;
  }
  LONG* CategoryIdOf(PalmRecordRef* pRef) const override { return &pRef->rec2.nCategoryId; }
  std::vector<BYTE> PackReference(const PalmRecordRef& ref) const override {
    return PackExtra(&ref, sizeof(PalmRecordRef), offsetof(PalmRecordRef, rec2.szNote),
                     sizeof(ref.rec2.szNote));
  }
  void DropBlobs(PalmRecordRef* pRef) const override {
    for (PmBlob& blob : pRef->rec2.blobs) blob.pData = nullptr;
  }
  void FreeBlobs(PalmRecordRef* pRef) const override { PmDateExRecordFree(&pRef->rec2); }

 protected:
  const PmRepeat* RepeatOf(const PalmRecordRef* pRef) const override { return &pRef->rec2.repeat; }
};

class DatebookAdapter : public PmStoreAdapter {
 public:
  explicit DatebookAdapter(PmDateUtil* pStore) : m_pDate(pStore) {}

  int GetKind() const override { return PALM_KIND_DATEBOOK; }
  bool LoadByUser(DWORD nUserId) override { return m_pDate->LoadByUser(nUserId); }
  bool LoadFile(const char* szPath) override { return m_pDate->LoadFile(szPath); }
  const CxFailure& GetLastFailure() const override { return m_pDate->GetLastFailure(); }

  int GetStoreCount() const override {
    return m_pDate->GetDataMgr() ? m_pDate->GetDataMgr()->GetCount() : 0;
  }
  bool ReadStoreRecord(int nStorePos, PalmRecordRef* pRef, DWORD* pnStatus) const override {
    const PmDateRecord* pStore = m_pDate->GetDataMgr()->GetAt(nStorePos);
    if (!pStore) return false;
    *pnStatus = pStore->nStatus;
    pRef->rec1 = *pStore;
    return true;
  }
  bool ReadStoreRecordButNote(int nStorePos, PalmRecordRef* pRef, DWORD* pnStatus) const override {
    const PmDateRecord* pStore = m_pDate->GetDataMgr()->GetAt(nStorePos);
    if (!pStore) return false;
    *pnStatus = pStore->nStatus;
    CopyButNote(&pRef->rec1, *pStore);
    return true;
  }
  bool ResolveCategory(const char* szName, LONG* pnId) override {
    return m_pDate->GetCategoryId(szName, pnId, true);
  }

  bool AddStoreRecord(PalmRecordRef* pRef, int nStorePos) override {
    PmDateRecord& rec = pRef->rec1;
    rec.nStatus |= PM_STATUS_ADDED;
    rec.nPlacement = PM_PLACEMENT_NEW;
    return m_pDate->GetDataMgr()->Add(&rec);
  }
  bool UpdateStoreRecord(int nStorePos, PalmRecordRef* pScratch) override {
    PmDateRecord* pStore = m_pDate->GetDataMgr()->GetAt(nStorePos);
    if (!pStore) return false;
    pScratch->rec1.nStatus |= PM_STATUS_CHANGED;
    *pStore = pScratch->rec1;
    return true;
  }
  bool MarkDeleted(int nStorePos) override {
    PmDateRecord* pStore = m_pDate->GetDataMgr()->GetAt(nStorePos);
    if (!pStore) return false;
    pStore->nStatus |= PM_STATUS_DELETED;
    return true;
  }
  long long GetRecordId(int nStorePos) const override {
    const PmDateRecord* pStore = m_pDate->GetDataMgr()->GetAt(nStorePos);
    return pStore ? pStore->nRecordId : 0;
  }

  std::string GetSavePath() const override { return m_pDate->GetLoadedPath(); }
  bool Save() override { return m_pDate->Save(); }

 private:
  PmDateUtil* m_pDate;
};

class DatebookExAdapter : public PmStoreAdapter {
 public:
  explicit DatebookExAdapter(PmDateExUtil* pStore) : m_pDateEx(pStore) {}

  int GetKind() const override { return PALM_KIND_DATEBOOK_EX; }
  // Upgrading Palm Desktop to 4.1.4 leaves a user's datebook in the earlier layout until the
  // next HotSync rewrites it.
  int GetEarlierKind() const override { return PALM_KIND_DATEBOOK; }
  bool LoadByUser(DWORD nUserId) override { return m_pDateEx->LoadByUser(nUserId); }
  bool LoadFile(const char* szPath) override { return m_pDateEx->LoadFile(szPath); }
  const CxFailure& GetLastFailure() const override { return m_pDateEx->GetLastFailure(); }

  int GetStoreCount() const override {
    return m_pDateEx->GetDataMgr() ? m_pDateEx->GetDataMgr()->GetCount() : 0;
  }
  bool ReadStoreRecord(int nStorePos, PalmRecordRef* pRef, DWORD* pnStatus) const override {
    const PmDateExRecord* pStore = m_pDateEx->GetDataMgr()->GetAt(nStorePos);
    if (!pStore) return false;
    *pnStatus = pStore->nStatus;
    pRef->rec2 = *pStore;
    return true;
  }
  bool ReadStoreRecordButNote(int nStorePos, PalmRecordRef* pRef, DWORD* pnStatus) const override {
    const PmDateExRecord* pStore = m_pDateEx->GetDataMgr()->GetAt(nStorePos);
    if (!pStore) return false;
    *pnStatus = pStore->nStatus;
    CopyButNote(&pRef->rec2, *pStore);
    return true;
  }
  bool ResolveCategory(const char* szName, LONG* pnId) override {
    return m_pDateEx->GetCategoryId(szName, pnId, true);
  }

  bool AddStoreRecord(PalmRecordRef* pRef, int nStorePos) override {
    PmDateExRecord& rec = pRef->rec2;
    rec.nStatus |= PM_STATUS_ADDED;
    rec.nSequence = static_cast<DWORD>(nStorePos) + PM_DATEEX_SEQUENCE_BASE;
    rec.nFieldBase = static_cast<DWORD>(nStorePos) * PM_DATEEX_FIELDS;
    rec.nPlacement = PM_PLACEMENT_NEW;
    return m_pDateEx->GetDataMgr()->Add(&rec);
  }
  bool UpdateStoreRecord(int nStorePos, PalmRecordRef* pScratch) override {
    PmDateExRecord* pStore = m_pDateEx->GetDataMgr()->GetAt(nStorePos);
    if (!pStore) return false;
    pScratch->rec2.nStatus |= PM_STATUS_CHANGED;
    // The store record keeps its own blob data.
    PmBlob blobs[PM_DATEEX_BLOBS];
    std::memcpy(blobs, pStore->blobs, sizeof blobs);
    *pStore = pScratch->rec2;
    std::memcpy(pStore->blobs, blobs, sizeof blobs);
    return true;
  }
  bool MarkDeleted(int nStorePos) override {
    PmDateExRecord* pStore = m_pDateEx->GetDataMgr()->GetAt(nStorePos);
    if (!pStore) return false;
    pStore->nStatus |= PM_STATUS_DELETED;
    return true;
  }
  long long GetRecordId(int nStorePos) const override {
    const PmDateExRecord* pStore = m_pDateEx->GetDataMgr()->GetAt(nStorePos);
    return pStore ? pStore->nRecordId : 0;
  }

  std::string GetSavePath() const override { return m_pDateEx->GetLoadedPath(); }
  bool Save() override { return m_pDateEx->Save(); }

 private:
  PmDateExUtil* m_pDateEx;
};

}  // namespace

const PmRecordLayout& PmDatebookRecordLayout() {
  static const DatebookLayout kLayout;
  return kLayout;
}

const PmRecordLayout& PmDatebookExRecordLayout() {
  static const DatebookExLayout kLayout;
  return kLayout;
}

std::unique_ptr<PmStoreAdapter> PmMakeDatebookAdapter(PmDateUtil* pStore) {
  return std::make_unique<DatebookAdapter>(pStore);
}

std::unique_ptr<PmStoreAdapter> PmMakeDatebookExAdapter(PmDateExUtil* pStore) {
  return std::make_unique<DatebookExAdapter>(pStore);
}
