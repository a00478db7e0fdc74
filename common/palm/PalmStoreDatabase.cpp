// The Palm Desktop 6.x database (kind 3) behind PmStoreAdapter, through PmCalendarEx2. Every
// added, changed or deleted record is written to the database at once; Save only commits.
//
// The database keeps its repeat fields apart, not as a datebook's repeat block: they are
// carried in a PmRepeat with the 6.x fields in its places (day index = nRepeatDayMask, days
// mask = bRepeatDays, week index = nRepeatWeek ...). It keeps no deleted occurrences, and its
// common records say so (RepeatPattern::bExceptionsUnknown).

// This is the Palm store's own code, split out by kind: its log lines name the store.
#define DB_MODULE "PalmDateInfo"

#include <cstddef>
#include <vector>

#include "common/misc/CxDebugUtil.h"
#include "common/misc/WinUtil.h"
#include "common/palm/PalmStoreAdapter.h"
#include "platform/win/WinString.h"

namespace {

// The 6.x repeat fields in their datebook places, and back.
PmRepeat RepeatOfEx2(const PmDateEx2Record& r) {
  PmRepeat repeat{};
  repeat.nBrand = r.nRepeatType;
  repeat.nInterval = r.nRepeatInterval;
  repeat.nEndDate = static_cast<DWORD>(r.nRepeatEnd);
  repeat.nDayIndex = static_cast<LONG>(r.nRepeatDayMask);
  repeat.bDaysMask = r.bRepeatDays;
  repeat.nWeekIndex = r.nRepeatWeek;
  repeat.nMonthIndex = r.nRepeatMonth;
  repeat.nDayNumber = r.nRepeatDay;
  return repeat;
}

void StoreRepeatEx2(const PmRepeat& repeat, PmDateEx2Record* pRec) {
  pRec->nRepeatType = repeat.nBrand;
  pRec->nRepeatInterval = repeat.nInterval;
  pRec->nRepeatEnd = static_cast<LONG>(repeat.nEndDate);
  pRec->nRepeatDayMask = static_cast<DWORD>(repeat.nDayIndex);
  pRec->bRepeatDays = repeat.bDaysMask;
  pRec->nRepeatWeek = repeat.nWeekIndex;
  pRec->nRepeatMonth = repeat.nMonthIndex;
  pRec->nRepeatDay = repeat.nDayNumber;
}

// The record as the database keeps it: without deleted occurrences, and saying so.
std::unique_ptr<CommDate> AsDatabaseKeepsIt(const CommDate& record) {
  auto pCopy = std::make_unique<CommDate>(record);
  pCopy->repeat.bExceptionsUnknown = 1;
  pCopy->repeat.nExceptionCount = 0;
  return pCopy;
}

// The 6.x record keeps where its row is; a copy from a reference must not move it.
void CopyKeepingRow(PmDateEx2Record* pStore, const PmDateEx2Record& source) {
  PmDateEx2Record row = *pStore;
  *pStore = source;
  pStore->bStored = row.bStored;
  pStore->nStoredRecordId = row.nStoredRecordId;
  CxCopyText(pStore->szStoredStartTime, row.szStoredStartTime);
  CxCopyText(pStore->szStoredEndTime, row.szStoredEndTime);
  CxCopyText(pStore->szStoredSummary, row.szStoredSummary);
}

class DatabaseLayout : public PmRecordLayout {
 public:
  PalmFields FieldsOf(PalmRecordRef* pRef) const override {
    PmDateEx2Record& r = pRef->rec3;
    static_assert(sizeof r.nStartTime == sizeof(DWORD), "times are 32-bit in every kind");
    return {r.szSummary,
            sizeof r.szSummary,
            r.szNote,
            sizeof r.szNote,
            r.szLocation,
            sizeof r.szLocation,
            r.szCategoryName,
            sizeof r.szCategoryName,
            reinterpret_cast<DWORD*>(&r.nStartTime),
            reinterpret_cast<DWORD*>(&r.nEndTime),
            r.bUntimed,
            r.bPrivate,
            r.bAlarm,
            r.nAlarmAdvance,
            r.nAlarmUnit};
  }
  void StoreFlags(PalmRecordRef* pRef, const PalmFields& f) const override {
    pRef->rec3.bUntimed = static_cast<BYTE>(f.nUntimed);
    pRef->rec3.bPrivate = static_cast<BYTE>(f.nPrivate);
    pRef->rec3.bAlarm = static_cast<BYTE>(f.nAlarm);
    pRef->rec3.nAlarmAdvance = f.nAdvance;
    pRef->rec3.nAlarmUnit = f.nUnit;
  }
  LONG* CategoryIdOf(PalmRecordRef* pRef) const override { return &pRef->rec3.nCategory; }
  bool HoldsDatebookTimes() const override { return false; }
  bool KeepsWeekdayFlags() const override { return true; }

  // The repeat end is a date, read back as local midnight, so it needs no moving for an
  // untimed start.
  void ReadRepeat(const PalmRecordRef* pRef, const PalmFields& f, const PmTime* pUntimedStart,
                  const PmWriterZone* pZone, CommDate* pRecord) const override {
    const int nKind = static_cast<int>(pRef->nKind);
    const PmRepeat repeat = RepeatOfEx2(pRef->rec3);
    PmDateInfo::RepeatFromPalm(nKind, &repeat, &pRecord->repeat);
    pRecord->repeat.bExceptionsUnknown = 1;
    pRecord->repeat.nExceptionCount = 0;
  }
  void WriteRepeat(const RepeatPattern& pattern, PalmRecordRef* pRef) const override {
    const int nKind = static_cast<int>(pRef->nKind);
    PmRepeat repeat = RepeatOfEx2(pRef->rec3);
    PmDateInfo::RepeatToPalm(nKind, &pattern, &repeat);
    StoreRepeatEx2(repeat, &pRef->rec3);
  }
  void AddDeletedMidnights(const PalmRecordRef* pRef, const PalmFields& f,
                           std::vector<DWORD>* pMidnights) const override {}

  std::vector<BYTE> PackReference(const PalmRecordRef& ref) const override {
    return PackExtra(&ref, sizeof(PalmRecordRef), offsetof(PalmRecordRef, rec3.szNote),
                     sizeof(ref.rec3.szNote));
  }
};

class DatabaseAdapter : public PmStoreAdapter {
 public:
  explicit DatabaseAdapter(PmCalendarEx2* pCalendar) : m_pDateEx2(pCalendar) {}

  int GetKind() const override { return PALM_KIND_DATABASE; }
  bool LoadByUser(DWORD nUserId) override {
    return m_pDateEx2 && m_pDateEx2->LoadByUserId(nUserId);
  }
  bool LoadFile(const char* szPath) override { return m_pDateEx2 && m_pDateEx2->LoadFile(szPath); }
  const CxFailure& GetLastFailure() const override {
    static const CxFailure kNone;
    return m_pDateEx2 ? m_pDateEx2->GetLastFailure() : kNone;
  }

  int GetStoreCount() const override {
    return m_pDateEx2 && m_pDateEx2->GetRecords() ? m_pDateEx2->GetRecords()->GetCount() : 0;
  }
  bool ReadStoreRecord(int nStorePos, PalmRecordRef* pRef, DWORD* pnStatus) const override {
    if (!m_pDateEx2 || !m_pDateEx2->GetRecords()) return false;
    const PmDateEx2Record* pStore = m_pDateEx2->GetRecords()->GetAt(nStorePos);
    if (!pStore) return false;
    *pnStatus = static_cast<DWORD>(pStore->nStatus);
    pRef->rec3 = *pStore;
    return true;
  }
  bool ResolveCategory(const char* szName, LONG* pnId) override {
    return m_pDateEx2 && m_pDateEx2->ResolveCategory(szName, pnId, true);
  }

  bool AddStoreRecord(PalmRecordRef* pRef, int nStorePos) override {
    if (!m_pDateEx2) return false;
    PmDateEx2Record& rec = pRef->rec3;
    rec.nStatus |= PM_STATUS_ADDED;
    rec.nPlacement = static_cast<LONG>(PM_PLACEMENT_NEW);
    return m_pDateEx2->GetRecords()->Add(&rec);
  }
  std::unique_ptr<CommDate> AsStoreKeepsIt(const CommDate& record) const override {
    return AsDatabaseKeepsIt(record);
  }
  bool WriteNewRecord(int nStorePos) override {
    PmDateEx2Record* pStore = m_pDateEx2 ? m_pDateEx2->GetRecords()->GetAt(nStorePos) : nullptr;
    if (!pStore || !m_pDateEx2->SaveRecord(pStore)) {
      Log(0, "Failed to write a new record to the Palm Desktop database.");
      return false;
    }
    return true;
  }
  bool UpdateStoreRecord(int nStorePos, PalmRecordRef* pScratch) override {
    PmDateEx2Record* pStore = m_pDateEx2 ? m_pDateEx2->GetRecords()->GetAt(nStorePos) : nullptr;
    if (!pStore) return false;
    pScratch->rec3.nStatus |= PM_STATUS_CHANGED;
    CopyKeepingRow(pStore, pScratch->rec3);
    if (!m_pDateEx2->SaveRecord(pStore)) {
      Log(0, "Failed to write a changed record to the Palm Desktop database.");
      return false;
    }
    return true;
  }
  bool MarkDeleted(int nStorePos) override {
    PmDateEx2Record* pStore = m_pDateEx2 ? m_pDateEx2->GetRecords()->GetAt(nStorePos) : nullptr;
    if (!pStore) return false;
    const LONG nOldStatus = pStore->nStatus;
    pStore->nStatus |= PM_STATUS_DELETED;
    if (!m_pDateEx2->SaveRecord(pStore)) {
      pStore->nStatus = nOldStatus;
      Log(0, "Failed to mark a record deleted in the Palm Desktop database.");
      return false;
    }
    return true;
  }
  long long GetRecordId(int nStorePos) const override {
    if (!m_pDateEx2 || !m_pDateEx2->GetRecords()) return 0;
    const PmDateEx2Record* pStore = m_pDateEx2->GetRecords()->GetAt(nStorePos);
    return pStore ? pStore->nRecordId : 0;
  }

  bool Save() override { return m_pDateEx2 && m_pDateEx2->Commit(); }
  std::string GetSavePath() const override {
    return m_pDateEx2 ? m_pDateEx2->GetLoadedPath() : std::string();
  }

 private:
  PmCalendarEx2* m_pDateEx2;
};

}  // namespace

const PmRecordLayout& PmDatabaseRecordLayout() {
  static const DatabaseLayout kLayout;
  return kLayout;
}

std::unique_ptr<PmStoreAdapter> PmMakeDatabaseAdapter(PmCalendarEx2* pCalendar) {
  return std::make_unique<DatabaseAdapter>(pCalendar);
}
