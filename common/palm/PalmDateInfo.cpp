// The Palm store: three-way dispatch over the calendar kinds, and the conversions between
// Palm records and common records.
//
// Monthly-by-weekday patterns: a datebook (kinds 1, 2) stores the weekday as a day index
// (0 = Sunday .. 6 = Saturday) and the week as a week index (0..3 the first to the fourth
// week, 4 the last); the database (kind 3) stores weekday flags and the week less one. The
// common pattern holds a weekday mask and the week counted from 1 (5 = last). Writing a
// datebook takes the lowest weekday of the mask, since a datebook repeat has only one.
//
// End dates: Palm Desktop marks "no end" with one value late in 2031 (PM_NO_END_DATE), and
// a Palm time value holds no date before 1970; every other end is kept both ways, and an end
// no Palm time value can hold before that mark is written as no end.
//
// Deleted occurrences: the datebooks (kinds 1, 2) keep them as Palm time values, the
// midnight that begins each day; the database (kind 3) keeps none, and its common records
// say so (RepeatPattern::bExceptionsUnknown).
#include "common/palm/PalmDateInfo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "common/misc/CxDebugUtil.h"
#include "common/misc/WinUtil.h"
#include "common/palm/PalmHotSync.h"
#include "platform/win/WinString.h"
#include "platform/win/WinSystem.h"
#include "platform/win/WinTime.h"

namespace {

constexpr DWORD kHiddenStatus = PM_STATUS_DELETED | PM_STATUS_ARCHIVED;
// The years a repeat end can be written in: a Palm time value starts in 1970, and the no-end
// mark lies in the last days of 2031.
constexpr int kFirstEndYear = 1970;
constexpr int kLastEndYear = 2031;
static_assert(PM_MAX_EXCEPTIONS <= REPEAT_MAX_EXCEPTIONS,
              "a common record keeps every deleted occurrence a datebook holds");
constexpr int kWeeksInPattern = 5;  // first .. fourth and the last
constexpr int kDaysInWeek = 7;
constexpr LONGLONG kSecondsPerDay = 86400;

PmCalendarEx2Factory g_pfnCalendarEx2Factory = nullptr;

std::unique_ptr<PmCalendarEx2> MakeCalendarEx2() {
  return g_pfnCalendarEx2Factory ? g_pfnCalendarEx2Factory() : nullptr;
}

// The copy of a reference a record carries, packed over the note of its kind: a note field
// is most of a Palm record and most notes are empty.
std::vector<BYTE> PackReference(const PalmRecordRef& ref) {
  UINT nNoteOffset = offsetof(PalmRecordRef, rec2.szNote);
  UINT nNoteSize = sizeof(ref.rec2.szNote);
  if (ref.nKind == PALM_KIND_DATEBOOK) {
    nNoteOffset = offsetof(PalmRecordRef, rec1.szNote);
    nNoteSize = sizeof(ref.rec1.szNote);
  } else if (ref.nKind == PALM_KIND_DATABASE) {
    nNoteOffset = offsetof(PalmRecordRef, rec3.szNote);
    nNoteSize = sizeof(ref.rec3.szNote);
  }
  return PackExtra(&ref, sizeof(PalmRecordRef), nNoteOffset, nNoteSize);
}

// A zeroed reference of the kind, or null when it cannot be allocated.
PalmRecordRef* NewRef(int nKind) {
  PalmRecordRef* pRef = new (std::nothrow) PalmRecordRef;
  if (!pRef) return nullptr;
  std::memset(static_cast<void*>(pRef), 0, sizeof *pRef);
  pRef->nKind = static_cast<DWORD>(nKind);
  return pRef;
}

bool IsHidden(DWORD nStatus) {
  return (nStatus & kHiddenStatus) != 0;
}

// The lower-case extension of the path's file name, at most 259 characters.
std::string LowerExtension(const char* szPath) {
  char szExt[_MAX_EXT] = {};
  _splitpath(szPath, nullptr, nullptr, nullptr, szExt);
  std::string strExt(szExt);
  if (strExt.size() > MAX_PATH - 1) strExt.resize(MAX_PATH - 1);
  for (char& c : strExt) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return strExt;
}

UINT AdvanceUnitFromPalm(LONG nUnit) {
  switch (nUnit) {
    case 1:
      return ADVANCE_HOURS;
    case 2:
      return ADVANCE_DAYS;
    default:
      return ADVANCE_MINUTES;
  }
}

LONG AdvanceUnitToPalm(UINT nUnit) {
  switch (nUnit) {
    case ADVANCE_HOURS:
      return 1;
    case ADVANCE_DAYS:
      return 2;
    default:
      return 0;
  }
}

// The fields every kind has, pointing into the kind's own record.
struct PalmFields {
  char* szSummary;
  int nSummarySize;
  char* szNote;
  int nNoteSize;
  char* szLocation;  // null for kind 1
  int nLocationSize;
  char* szCategory;
  int nCategorySize;
  DWORD* pnStart;
  DWORD* pnEnd;
  LONG nUntimed;
  LONG nPrivate;
  LONG nAlarm;
  LONG nAdvance;
  LONG nUnit;
};

PalmFields FieldsOf(PalmRecordRef* pRef) {
  PalmFields f{};
  switch (pRef->nKind) {
    case PALM_KIND_DATEBOOK: {
      PmDateRecord& r = pRef->rec1;
      f = {r.szDescription, sizeof r.szDescription,
           r.szNote,        sizeof r.szNote,
           nullptr,         0,
           r.szCategory,    sizeof r.szCategory,
           &r.nStartTime,   &r.nEndTime,
           r.bUntimed,      r.bPrivate,
           r.bAlarm,        r.nAlarmAdvance,
           r.nAlarmUnit};
      break;
    }
    case PALM_KIND_DATEBOOK_EX: {
      PmDateExRecord& r = pRef->rec2;
      f = {r.szSummary,   sizeof r.szSummary,  r.szNote,     sizeof r.szNote,
           r.szLocation,  sizeof r.szLocation, r.szCategory, sizeof r.szCategory,
           &r.nStartTime, &r.nEndTime,         r.bUntimed,   r.bPrivate,
           r.bAlarm,      r.nAlarmAdvance,     r.nAlarmUnit};
      break;
    }
    default: {
      PmDateEx2Record& r = pRef->rec3;
      static_assert(sizeof r.nStartTime == sizeof(DWORD), "times are 32-bit in every kind");
      f = {r.szSummary,
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
      break;
    }
  }
  return f;
}

// Moves the fields PalmFields carries by value back into the record.
void StoreFlags(PalmRecordRef* pRef, const PalmFields& f) {
  switch (pRef->nKind) {
    case PALM_KIND_DATEBOOK:
      pRef->rec1.bUntimed = f.nUntimed;
      pRef->rec1.bPrivate = f.nPrivate;
      pRef->rec1.bAlarm = f.nAlarm;
      pRef->rec1.nAlarmAdvance = f.nAdvance;
      pRef->rec1.nAlarmUnit = f.nUnit;
      break;
    case PALM_KIND_DATEBOOK_EX:
      pRef->rec2.bUntimed = f.nUntimed;
      pRef->rec2.bPrivate = f.nPrivate;
      pRef->rec2.bAlarm = f.nAlarm;
      pRef->rec2.nAlarmAdvance = f.nAdvance;
      pRef->rec2.nAlarmUnit = f.nUnit;
      break;
    default:
      pRef->rec3.bUntimed = static_cast<BYTE>(f.nUntimed);
      pRef->rec3.bPrivate = static_cast<BYTE>(f.nPrivate);
      pRef->rec3.bAlarm = static_cast<BYTE>(f.nAlarm);
      pRef->rec3.nAlarmAdvance = f.nAdvance;
      pRef->rec3.nAlarmUnit = f.nUnit;
      break;
  }
}

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

// The record as the database keeps it: without deleted occurrences, and saying so.
std::unique_ptr<CommDate> AsDatabaseKeepsIt(const CommDate& record) {
  auto pCopy = std::make_unique<CommDate>(record);
  pCopy->repeat.bExceptionsUnknown = 1;
  pCopy->repeat.nExceptionCount = 0;
  return pCopy;
}

LONG ClampWeekIndex(LONG nWeekIndex) {
  if (nWeekIndex < 0) return 0;
  return nWeekIndex >= kWeeksInPattern ? kWeeksInPattern - 1 : nWeekIndex;
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

}  // namespace

void PmSetCalendarEx2Factory(PmCalendarEx2Factory pfnFactory) {
  g_pfnCalendarEx2Factory = pfnFactory;
}

PmCalendarEx2Factory PmGetCalendarEx2Factory() {
  return g_pfnCalendarEx2Factory;
}

void PmDateInfo::RefDeleter::operator()(PalmRecordRef* pRef) const {
  if (!pRef) return;
  if (pRef->nKind == PALM_KIND_DATEBOOK_EX) PmDateExRecordFree(&pRef->rec2);
  delete pRef;
}

PmDateInfo::PmDateInfo()
    : m_nInstalledKind(PALM_KIND_DATABASE),
      m_nLoadedKind(PALM_KIND_NONE),
      m_pRecordSet(std::make_unique<CommDateMgr>()),
      m_pDate(std::make_unique<PmDateUtil>()),
      m_pDateEx(std::make_unique<PmDateExUtil>()),
      m_pDateEx2(MakeCalendarEx2()) {
  const DWORD nVersion = GetPalmDesktopVersion();
  if (nVersion >= 60000) {
    m_nInstalledKind = PALM_KIND_DATABASE;
  } else if (nVersion < 40102) {
    m_nInstalledKind = PALM_KIND_DATEBOOK;
  } else {
    m_nInstalledKind = PALM_KIND_DATEBOOK_EX;
  }
  Log(2, "Palm Desktop Version: %d", static_cast<int>(nVersion));
}

PmDateInfo::~PmDateInfo() {
  ClearAll();
}

bool PmDateInfo::GetReference(int nPos, PalmRecordRef* pRef) const {
  if (pRef == nullptr || nPos < 0 || nPos >= static_cast<int>(m_StorePos.size())) return false;
  std::memset(static_cast<void*>(pRef), 0, sizeof *pRef);
  pRef->nKind = static_cast<DWORD>(m_nLoadedKind);
  DWORD nStatus = 0;
  return ReadStoreRecord(m_StorePos[static_cast<size_t>(nPos)], pRef, &nStatus);
}

void PmDateInfo::TakeFailure(const CxFailure& failure) {
  m_Failure = failure;
  if (!m_Failure.IsSet()) m_Failure.Set(CX_FAIL_OTHER, "the Palm Desktop calendar did not load");
}

void PmDateInfo::ClearAll() {
  m_nLoadedKind = PALM_KIND_NONE;
  m_Failure.Clear();
  // A store that loads nothing more holds its file no longer.
  if (m_pDate) m_pDate->ReleaseHold();
  if (m_pDateEx) m_pDateEx->ReleaseHold();
  if (m_pDateEx2) m_pDateEx2->ReleaseHold();
  if (m_pDate && m_pDate->GetDataMgr()) m_pDate->GetDataMgr()->Clear();
  if (m_pDateEx && m_pDateEx->GetDataMgr()) m_pDateEx->GetDataMgr()->Clear();
  if (m_pDateEx2 && m_pDateEx2->GetRecords()) m_pDateEx2->GetRecords()->RemoveAll();
  m_StorePos.clear();
  if (m_pRecordSet) m_pRecordSet->Clear();
}

bool PmDateInfo::LoadByUser(DWORD nUserId) {
  ClearAll();
  Log(2, "Load Palm Desktop Calendar by user: %d", static_cast<int>(nUserId));
  bool bLoaded = false;
  const CxFailure* pFailure = nullptr;
  int nKind = m_nInstalledKind;
  switch (m_nInstalledKind) {
    case PALM_KIND_DATEBOOK:
      bLoaded = m_pDate->LoadByUser(nUserId);
      pFailure = &m_pDate->GetLastFailure();
      break;
    case PALM_KIND_DATEBOOK_EX:
      bLoaded = m_pDateEx->LoadByUser(nUserId);
      pFailure = &m_pDateEx->GetLastFailure();
      // Upgrading Palm Desktop to 4.1.4 leaves a user's datebook in the earlier layout until
      // the next HotSync rewrites it; it loads as the same file chosen by path would.
      if (!bLoaded) {
        Log(2,
            "Unable to load this file with Palm Desktop 4.1.4 file loader, try earlier loader "
            "version.");
        bLoaded = m_pDate->LoadByUser(nUserId);
        nKind = PALM_KIND_DATEBOOK;
        if (pFailure->nCode == CX_FAIL_NOT_CALENDAR) pFailure = &m_pDate->GetLastFailure();
      }
      break;
    default:
      bLoaded = m_pDateEx2 && m_pDateEx2->LoadByUserId(nUserId);
      if (m_pDateEx2) pFailure = &m_pDateEx2->GetLastFailure();
      break;
  }
  if (!bLoaded) {
    Log(0, "Failed to open Palm Desktop Calendar database by User: %d", static_cast<int>(nUserId));
    if (pFailure != nullptr && pFailure->IsSet()) {
      TakeFailure(*pFailure);
    } else {
      m_Failure.Set(CX_FAIL_NOT_FOUND, "no Palm Desktop calendar was found for the user %u",
                    static_cast<unsigned>(nUserId));
    }
    return false;
  }
  m_nLoadedKind = nKind;
  BuildRecordSet();
  return true;
}

bool PmDateInfo::LoadFile(const char* szPath) {
  ClearAll();
  const std::string strExt = LowerExtension(szPath ? szPath : "");
  if (strExt == ".mdb") {
    Log(2, ".mdb file, try Palm Desktop 6.x database loader.");
    if (m_pDateEx2 && m_pDateEx2->LoadFile(szPath)) {
      m_nLoadedKind = PALM_KIND_DATABASE;
    } else if (m_pDateEx2) {
      TakeFailure(m_pDateEx2->GetLastFailure());
    }
  } else if (strExt == ".dat") {
    Log(2, ".dat file, try Palm Desktop 4.1.4 database loader.");
    if (m_pDateEx->LoadFile(szPath)) {
      m_nLoadedKind = PALM_KIND_DATEBOOK_EX;
    } else {
      Log(2,
          "Unable to load this file with Palm Desktop 4.1.4 file loader, try earlier loader "
          "version.");
      if (m_pDate->LoadFile(szPath)) {
        m_nLoadedKind = PALM_KIND_DATEBOOK;
      } else {
        // A file that is a 4.1.4 datebook (or cannot be read at all) fails for the 4.1.4
        // loader's reason; any other for the earlier loader's.
        const CxFailure& failure414 = m_pDateEx->GetLastFailure();
        TakeFailure(failure414.nCode == CX_FAIL_NOT_CALENDAR ? m_pDate->GetLastFailure()
                                                             : failure414);
      }
    }
  } else {
    m_Failure.Set(CX_FAIL_NOT_CALENDAR,
                  "not a Palm Desktop calendar (the name ends neither in .dat nor in .mdb): %s",
                  szPath ? szPath : "");
  }
  if (m_nLoadedKind == PALM_KIND_NONE) {
    Log(0, "Failed to load Palm Desktop Calendar data file: %s", szPath ? szPath : "");
    m_nLoadedKind = PALM_KIND_FAILED;
    if (!m_Failure.IsSet()) TakeFailure(m_Failure);
    return false;
  }
  BuildRecordSet();
  return true;
}

int PmDateInfo::CheckFileKind(const char* szPath) {
  if (!szPath || !*szPath) return PALM_KIND_NONE;
  Log(2, "Check Palm Desktop Calendar file version, file: %s", szPath);
  const std::string strExt = LowerExtension(szPath);
  if (strExt == ".mdb") {
    std::unique_ptr<PmCalendarEx2> pCalendar = MakeCalendarEx2();
    if (pCalendar && pCalendar->LoadFile(szPath)) {
      Log(2, "Check Palm Desktop Calendar file type: (%s) - Palm Desktop 6.x", szPath);
      return PALM_KIND_DATABASE;
    }
  } else if (strExt == ".dat") {
    if (PmDateExUtil(szPath).IsLoaded()) {
      Log(2, "Check Palm Desktop Calendar file type: (%s) - Palm Desktop 4.1.x", szPath);
      return PALM_KIND_DATEBOOK_EX;
    }
    if (PmDateUtil(szPath).IsLoaded()) {
      Log(2, "Check Palm Desktop Calendar file type: (%s) - Palm Desktop 4.1 or earlier", szPath);
      return PALM_KIND_DATEBOOK;
    }
  }
  Log(0, "Failed to check Palm Desktop Calendar file type: (%s)", szPath);
  return PALM_KIND_FAILED;
}

int PmDateInfo::GetStoreCount() const {
  switch (m_nLoadedKind) {
    case PALM_KIND_DATEBOOK:
      return m_pDate->GetDataMgr() ? m_pDate->GetDataMgr()->GetCount() : 0;
    case PALM_KIND_DATEBOOK_EX:
      return m_pDateEx->GetDataMgr() ? m_pDateEx->GetDataMgr()->GetCount() : 0;
    case PALM_KIND_DATABASE:
      return m_pDateEx2 && m_pDateEx2->GetRecords() ? m_pDateEx2->GetRecords()->GetCount() : 0;
    default:
      return 0;
  }
}

bool PmDateInfo::ReadStoreRecord(int nStorePos, PalmRecordRef* pRef, DWORD* pnStatus) const {
  if (m_nLoadedKind == PALM_KIND_DATEBOOK) {
    const PmDateRecord* pStore = m_pDate->GetDataMgr()->GetAt(nStorePos);
    if (!pStore) return false;
    *pnStatus = pStore->nStatus;
    pRef->rec1 = *pStore;
  } else if (m_nLoadedKind == PALM_KIND_DATEBOOK_EX) {
    const PmDateExRecord* pStore = m_pDateEx->GetDataMgr()->GetAt(nStorePos);
    if (!pStore) return false;
    *pnStatus = pStore->nStatus;
    pRef->rec2 = *pStore;
  } else if (m_nLoadedKind == PALM_KIND_DATABASE && m_pDateEx2 && m_pDateEx2->GetRecords()) {
    const PmDateEx2Record* pStore = m_pDateEx2->GetRecords()->GetAt(nStorePos);
    if (!pStore) return false;
    *pnStatus = static_cast<DWORD>(pStore->nStatus);
    pRef->rec3 = *pStore;
  } else {
    return false;
  }
  return true;
}

// The values a datebook writes as midnights: untimed starts and deleted occurrences (other
// writers' occurrence starts, at the start's own time of day, left out).
PmWriterZone PmDateInfo::GuessWriterZone(PalmRecordRef* pScratch) const {
  std::vector<DWORD> vMidnights;
  const int nCount = GetStoreCount();
  for (int nPos = 0; nPos < nCount; ++nPos) {
    DWORD nStatus = 0;
    if (!ReadStoreRecord(nPos, pScratch, &nStatus) || IsHidden(nStatus)) continue;
    const PalmFields f = FieldsOf(pScratch);
    if (f.nUntimed) vMidnights.push_back(*f.pnStart);
    if (m_nLoadedKind == PALM_KIND_DATABASE) continue;
    const PmRepeat& repeat =
        m_nLoadedKind == PALM_KIND_DATEBOOK ? pScratch->rec1.repeat : pScratch->rec2.repeat;
    const int nExceptions = std::min<int>(repeat.nExceptionCount, PM_MAX_EXCEPTIONS);
    for (int i = 0; i < nExceptions; ++i) {
      const DWORD nValue = repeat.nExceptions[i];
      if (nValue == 0) continue;
      if (!f.nUntimed && (nValue - *f.pnStart) % kSecondsPerDay == 0) continue;
      vMidnights.push_back(nValue);
    }
  }
  return PmGuessWriterZone(vMidnights);
}

bool PmDateInfo::BuildRecordSet() {
  // The scratch copy only borrows the store's blob data, so it is deleted without freeing it.
  std::unique_ptr<PalmRecordRef> pScratch(NewRef(m_nLoadedKind));
  std::unique_ptr<CommDate> pRecord(new (std::nothrow) CommDate);
  if (!pScratch || !pRecord) return false;
  const PmWriterZone zone = GuessWriterZone(pScratch.get());
  const int nCount = GetStoreCount();
  m_StorePos.reserve(static_cast<size_t>(nCount));
  for (int nPos = 0; nPos < nCount; ++nPos) {
    DWORD nStatus = 0;
    if (!ReadStoreRecord(nPos, pScratch.get(), &nStatus) || IsHidden(nStatus)) continue;
    *pRecord = CommDate{};
    PalmToRecord(pScratch.get(), pRecord.get(), &zone);
    // The attached copy carries no blob data: the store owns that.
    if (m_nLoadedKind == PALM_KIND_DATEBOOK_EX) {
      for (PmBlob& blob : pScratch->rec2.blobs) blob.pData = nullptr;
    }
    std::vector<BYTE> block = PackReference(*pScratch);
    pRecord->pExtra = block.data();
    pRecord->nExtraSize = static_cast<UINT>(block.size());
    const CommDate* pAdded = m_pRecordSet->AddCopy(pRecord.get());
    pRecord->pExtra = nullptr;
    pRecord->nExtraSize = 0;
    if (!pAdded) {
      Log(0, "Out of memory while listing Palm Desktop Calendar records.");
      return false;
    }
    m_StorePos.push_back(nPos);
  }
  return true;
}

void PmDateInfo::PalmToRecord(const PalmRecordRef* pRef, CommDate* pRecord,
                              const PmWriterZone* pZone) {
  if (!pRef || !pRecord) return;
  PalmFields f = FieldsOf(const_cast<PalmRecordRef*>(pRef));
  if (f.szSummary[0]) CxCopyText(pRecord->szDescription, f.szSummary);
  if (f.szNote[0]) CxCopyText(pRecord->szNote, f.szNote);
  if (f.szLocation && f.szLocation[0]) CxCopyText(pRecord->szLocation, f.szLocation);
  pRecord->bAllDay = f.nUntimed ? 1 : 0;
  const PmTime start(*f.pnStart);
  if (f.nUntimed) {
    start.ToUntimedDay(&pRecord->stStart, pZone);
    PmTime(*f.pnEnd).ToUntimedDate(start, &pRecord->stEnd, pZone);
  } else {
    start.ToSystemTime(&pRecord->stStart);
    PmTime(*f.pnEnd).ToSystemTime(&pRecord->stEnd);
    // An appointment that runs past midnight is kept with an end before its start: its end
    // time on the start's day. Read in a zone where the start falls on the next day, the
    // end instant still lies on the day before; it is a time of the start's day all the same,
    // or the record would no longer match the one it was synced with.
    if (*f.pnEnd < *f.pnStart) {
      pRecord->stEnd.wYear = pRecord->stStart.wYear;
      pRecord->stEnd.wMonth = pRecord->stStart.wMonth;
      pRecord->stEnd.wDay = pRecord->stStart.wDay;
    }
  }
  if (f.nAlarm) {
    pRecord->bAlarm = 1;
    pRecord->bAdvance = 1;
    pRecord->nAdvance = f.nAdvance;
    pRecord->nAdvanceUnit = AdvanceUnitFromPalm(f.nUnit);
  } else {
    pRecord->bAlarm = 0;
    pRecord->bAdvance = 0;
  }
  const int nKind = static_cast<int>(pRef->nKind);
  // A datebook keeps the repeat end as an instant like the start; the database keeps it as
  // a date, read back as local midnight, so there it needs no moving.
  const PmTime* pUntimedStart = f.nUntimed ? &start : nullptr;
  if (nKind == PALM_KIND_DATEBOOK || nKind == PALM_KIND_DATEBOOK_EX) {
    const PmRepeat& repeat = nKind == PALM_KIND_DATEBOOK ? pRef->rec1.repeat : pRef->rec2.repeat;
    RepeatFromPalm(nKind, &repeat, &pRecord->repeat, pUntimedStart, pZone);
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
  } else {
    const PmRepeat repeat = RepeatOfEx2(pRef->rec3);
    RepeatFromPalm(nKind, &repeat, &pRecord->repeat);
    pRecord->repeat.bExceptionsUnknown = 1;
    pRecord->repeat.nExceptionCount = 0;
  }
  pRecord->nSource = SOURCE_PALM;
}

bool PmDateInfo::RecordToPalm(const CommDate* pRecord, PalmRecordRef* pRef) {
  if (!pRecord || !pRef) return false;
  PalmFields f = FieldsOf(pRef);
  CopyIfText(f.szSummary, f.nSummarySize, pRecord->szDescription);
  CopyIfText(f.szNote, f.nNoteSize, pRecord->szNote);
  if (f.szLocation) CopyIfText(f.szLocation, f.nLocationSize, pRecord->szLocation);
  CopyIfText(f.szCategory, f.nCategorySize, pRecord->szCategory);
  // Outlook separates several categories with commas; a Palm record has one.
  if (char* pComma = std::strchr(f.szCategory, ',')) *pComma = '\0';

  PmTime time;
  const bool bStartHeld = time.FromSystemTime(&pRecord->stStart);
  *f.pnStart = time.GetValue();
  const bool bEndHeld = time.FromSystemTime(&pRecord->stEnd);
  *f.pnEnd = time.GetValue();
  // A datebook's times run from 1970 to 2106; the database keeps dates of its own kind.
  const int nKind = static_cast<int>(pRef->nKind);
  if ((nKind == PALM_KIND_DATEBOOK || nKind == PALM_KIND_DATEBOOK_EX) &&
      (!bStartHeld || !bEndHeld)) {
    m_Failure.Set(CX_FAIL_OTHER,
                  "%04u-%02u-%02u is outside the dates a datebook holds (1970 to 2106)",
                  static_cast<unsigned>(pRecord->stStart.wYear),
                  static_cast<unsigned>(pRecord->stStart.wMonth),
                  static_cast<unsigned>(pRecord->stStart.wDay));
    return false;
  }

  f.nPrivate = pRecord->bPrivate ? 1 : 0;
  f.nUntimed = pRecord->bAllDay ? 1 : 0;
  if (pRecord->bAlarm && pRecord->bAdvance) {
    f.nAlarm = 1;
    f.nAdvance = pRecord->nAdvance;
    f.nUnit = AdvanceUnitToPalm(pRecord->nAdvanceUnit);
  } else {
    f.nAlarm = 0;
    f.nAdvance = 0;
    f.nUnit = 0;
  }
  StoreFlags(pRef, f);

  if (nKind == PALM_KIND_DATEBOOK) {
    RepeatToPalm(nKind, &pRecord->repeat, &pRef->rec1.repeat);
  } else if (nKind == PALM_KIND_DATEBOOK_EX) {
    RepeatToPalm(nKind, &pRecord->repeat, &pRef->rec2.repeat);
  } else {
    PmRepeat repeat = RepeatOfEx2(pRef->rec3);
    RepeatToPalm(nKind, &pRecord->repeat, &repeat);
    StoreRepeatEx2(repeat, &pRef->rec3);
  }

  LONG* pnCategoryId = nKind == PALM_KIND_DATEBOOK      ? &pRef->rec1.nCategoryId
                       : nKind == PALM_KIND_DATEBOOK_EX ? &pRef->rec2.nCategoryId
                                                        : &pRef->rec3.nCategory;
  bool bResolved = false;
  if (nKind == PALM_KIND_DATEBOOK) {
    bResolved = m_pDate->GetCategoryId(f.szCategory, pnCategoryId, true);
  } else if (nKind == PALM_KIND_DATEBOOK_EX) {
    bResolved = m_pDateEx->GetCategoryId(f.szCategory, pnCategoryId, true);
  } else if (m_pDateEx2) {
    bResolved = m_pDateEx2->ResolveCategory(f.szCategory, pnCategoryId, true);
  }
  if (!bResolved) {
    // A full category list cannot take the name; the record goes to "Unfiled" rather than
    // to whatever id the failed lookup left behind.
    Log(0, "Failed to resolve Palm Desktop category: %s", f.szCategory);
    *pnCategoryId = 0;
  }
  return true;
}

void PmDateInfo::RepeatToPalm(int nKind, const RepeatPattern* ptn, PmRepeat* pRec) {
  if (!(ptn && pRec)) {
    CxAssertFailed("ptn&&pRec", DB_MODULE, __LINE__);
    return;
  }
  pRec->nEndDate = PM_NO_END_DATE;
  const int nEndYear = ptn->stPatternEnd.wYear;
  if (ptn->bHasEnd && nEndYear >= kFirstEndYear && nEndYear <= kLastEndYear) {
    PmTime end;
    end.FromSystemTime(&ptn->stPatternEnd);
    // Before 1970 in a zone east of UTC the value wraps past the no-end mark; 0 reads as no
    // date at all.
    if (end.GetValue() != 0 && end.GetValue() < PM_NO_END_DATE) pRec->nEndDate = end.GetValue();
  }
  switch (ptn->nType) {
    case REPEAT_NONE:
    case REPEAT_YEARLY_BY_DAY:
      pRec->nBrand = PM_REPEAT_NONE;
      break;
    case REPEAT_DAILY:
      pRec->nBrand = PM_REPEAT_DAILY;
      pRec->nInterval = static_cast<LONG>(ptn->nInterval);
      pRec->nDayIndex = static_cast<LONG>(ptn->nDayOfWeekMask);
      break;
    case REPEAT_WEEKLY:
      pRec->nBrand = PM_REPEAT_WEEKLY;
      pRec->nInterval = static_cast<LONG>(ptn->nInterval);
      pRec->nDayIndex = 1;
      pRec->bDaysMask = static_cast<BYTE>(ptn->nDayOfWeekMask & 0xFF);
      break;
    case REPEAT_MONTHLY_BY_DAY: {
      pRec->nBrand = PM_REPEAT_MONTHLY_BY_DAY;
      pRec->nInterval = static_cast<LONG>(ptn->nInterval);
      const LONG nWeekIndex = ClampWeekIndex(static_cast<LONG>(ptn->nInstance) - 1);
      if (nKind == PALM_KIND_DATABASE) {
        pRec->bDaysMask = static_cast<BYTE>(ptn->nDayOfWeekMask & 0x7F);
        pRec->nWeekIndex = nWeekIndex;
      } else {
        LONG nDay = 0;
        while (nDay < kDaysInWeek && !(ptn->nDayOfWeekMask & (1u << nDay))) ++nDay;
        pRec->nDayIndex = nDay < kDaysInWeek ? nDay : 0;
        pRec->nWeekIndex = nWeekIndex;
      }
      break;
    }
    case REPEAT_MONTHLY_BY_DATE:
      pRec->nBrand = PM_REPEAT_MONTHLY_BY_DATE;
      pRec->nInterval = static_cast<LONG>(ptn->nInterval);
      pRec->nDayNumber = static_cast<LONG>(ptn->nDayOfMonth);
      break;
    case REPEAT_YEARLY_BY_DATE:
      pRec->nBrand = PM_REPEAT_YEARLY_BY_DATE;
      pRec->nInterval = static_cast<LONG>(ptn->nInterval);
      pRec->nDayNumber = static_cast<LONG>(ptn->nDayOfMonth);
      pRec->nMonthIndex = ptn->nMonthOfYear - 1;
      break;
    default:
      break;
  }
  // A record whose store keeps no deleted occurrences leaves the datebook's as they are.
  if (ptn->bExceptionsUnknown) return;
  const UINT nCount =
      pRec->nBrand == PM_REPEAT_NONE ? 0 : std::min<UINT>(ptn->nExceptionCount, PM_MAX_EXCEPTIONS);
  for (UINT i = 0; i < nCount; ++i) {
    const SYSTEMTIME& stDay = ptn->stExceptions[i];
    pRec->nExceptions[i] = PmTime(stDay.wYear, stDay.wMonth, stDay.wDay, 0, 0, 0).GetValue();
  }
  pRec->nExceptionCount = static_cast<WORD>(nCount);
}

void PmDateInfo::RepeatFromPalm(int nKind, const PmRepeat* pRec, RepeatPattern* ptn,
                                const PmTime* pUntimedStart, const PmWriterZone* pZone) {
  if (!(pRec && ptn)) {
    CxAssertFailed("pRec&&ptn", DB_MODULE, __LINE__);
    return;
  }
  // A negative interval from a file would wrap to billions; 0 never steps.
  const UINT nInterval = pRec->nInterval > 0 ? static_cast<UINT>(pRec->nInterval) : 0;
  switch (pRec->nBrand) {
    case PM_REPEAT_NONE:
    case PM_REPEAT_YEARLY_BY_DAY:
      ptn->nType = REPEAT_NONE;
      break;
    case PM_REPEAT_DAILY:
      ptn->nType = REPEAT_DAILY;
      ptn->nInterval = nInterval;
      ptn->nDayOfWeekMask = static_cast<UINT>(pRec->nDayIndex);
      break;
    case PM_REPEAT_WEEKLY:
      ptn->nType = REPEAT_WEEKLY;
      ptn->nInterval = nInterval;
      ptn->nDayOfWeekMask = pRec->bDaysMask;
      ptn->nInstance = 1;
      break;
    case PM_REPEAT_MONTHLY_BY_DAY:
      ptn->nType = REPEAT_MONTHLY_BY_DAY;
      ptn->nInterval = nInterval;
      ptn->nInstance = static_cast<UINT>(ClampWeekIndex(pRec->nWeekIndex) + 1);
      if (nKind == PALM_KIND_DATABASE) {
        ptn->nDayOfWeekMask = pRec->bDaysMask & 0x7Fu;
      } else {
        // A day index outside the week names no weekday; it must not shift a bit out.
        ptn->nDayOfWeekMask =
            pRec->nDayIndex >= 0 && pRec->nDayIndex < kDaysInWeek ? 1u << pRec->nDayIndex : 0;
      }
      break;
    case PM_REPEAT_MONTHLY_BY_DATE:
      ptn->nType = REPEAT_MONTHLY_BY_DATE;
      ptn->nInterval = nInterval;
      ptn->nDayOfMonth = static_cast<UINT>(pRec->nDayNumber);
      break;
    case PM_REPEAT_YEARLY_BY_DATE:
      ptn->nType = REPEAT_YEARLY_BY_DATE;
      ptn->nInterval = nInterval;
      ptn->nDayOfMonth = static_cast<UINT>(pRec->nDayNumber);
      ptn->nMonthOfYear = pRec->nMonthIndex + 1;
      break;
    default:
      break;
  }
  // 0 is no date at all, not an end in 1970 (and PmTime would take it for "now").
  if (pRec->nEndDate == 0) {
    ptn->stPatternEnd = SYSTEMTIME{};
  } else if (pUntimedStart != nullptr) {
    PmTime(pRec->nEndDate).ToUntimedDate(*pUntimedStart, &ptn->stPatternEnd, pZone);
  } else {
    PmTime(pRec->nEndDate).ToSystemTime(&ptn->stPatternEnd);
  }
  ptn->bHasEnd = pRec->nEndDate != PM_NO_END_DATE && pRec->nEndDate != 0 ? 1 : 0;
}

bool PmDateInfo::SyncRecord(const CommDate* pRecord) {
  if (!pRecord || !m_pRecordSet) return false;
  int nPos = -1;
  switch (m_pRecordSet->FindMatch(pRecord, nullptr, &nPos)) {
    case FIND_NONE:
      return AddRecord(pRecord);
    case FIND_CHANGED:
      return UpdateRecord(pRecord, nPos);
    default:
      return false;
  }
}

bool PmDateInfo::AddRecord(const CommDate* pRecord) {
  if (!pRecord || m_nLoadedKind < PALM_KIND_DATEBOOK || m_nLoadedKind > PALM_KIND_DATABASE ||
      (m_nLoadedKind == PALM_KIND_DATABASE && !m_pDateEx2)) {
    return false;
  }
  std::unique_ptr<PalmRecordRef, RefDeleter> pRef(NewRef(m_nLoadedKind));
  if (!pRef || !RecordToPalm(pRecord, pRef.get())) return false;

  // The store gets the record first: once it is there, it is saved with the calendar, so
  // the reference and the record set must follow or the positions would no longer agree.
  const int nStorePos = GetStoreCount();
  bool bStored = false;
  if (m_nLoadedKind == PALM_KIND_DATEBOOK) {
    PmDateRecord& rec = pRef->rec1;
    rec.nStatus |= PM_STATUS_ADDED;
    rec.nPlacement = PM_PLACEMENT_NEW;
    bStored = m_pDate->GetDataMgr()->Add(&rec);
  } else if (m_nLoadedKind == PALM_KIND_DATEBOOK_EX) {
    PmDateExRecord& rec = pRef->rec2;
    rec.nStatus |= PM_STATUS_ADDED;
    rec.nSequence = static_cast<DWORD>(nStorePos) + PM_DATEEX_SEQUENCE_BASE;
    rec.nFieldBase = static_cast<DWORD>(nStorePos) * PM_DATEEX_FIELDS;
    rec.nPlacement = PM_PLACEMENT_NEW;
    bStored = m_pDateEx->GetDataMgr()->Add(&rec);
  } else {
    PmDateEx2Record& rec = pRef->rec3;
    rec.nStatus |= PM_STATUS_ADDED;
    rec.nPlacement = static_cast<LONG>(PM_PLACEMENT_NEW);
    bStored = m_pDateEx2->GetRecords()->Add(&rec);
  }
  if (!bStored) {
    Log(0, "Failed to add a record to the Palm Desktop Calendar.");
    return false;
  }
  m_StorePos.push_back(nStorePos);
  std::unique_ptr<CommDate> pKept;
  if (m_nLoadedKind == PALM_KIND_DATABASE) {
    pKept = AsDatabaseKeepsIt(*pRecord);
    pRecord = pKept.get();
  }
  if (!m_pRecordSet->AddCopy(pRecord)) {
    Log(0, "Failed to add a record to the Palm Desktop Calendar.");
    return false;
  }
  if (m_nLoadedKind == PALM_KIND_DATABASE) {
    PmDateEx2Record* pStore = m_pDateEx2->GetRecords()->GetAt(nStorePos);
    if (!pStore || !m_pDateEx2->SaveRecord(pStore)) {
      Log(0, "Failed to write a new record to the Palm Desktop database.");
      return false;
    }
  }
  return true;
}

bool PmDateInfo::UpdateRecord(const CommDate* pRecord, int nPos) {
  if (!pRecord || nPos < 0 || m_nLoadedKind < PALM_KIND_DATEBOOK ||
      m_nLoadedKind > PALM_KIND_DATABASE || nPos >= static_cast<int>(m_StorePos.size())) {
    return false;
  }
  const int nStorePos = m_StorePos[static_cast<size_t>(nPos)];
  // The conversion writes over the store's own record, so that every field it does not set
  // stays as loaded. The scratch copy shares the store's blob data (the conversion never
  // changes blobs), so it is deleted without freeing it.
  std::unique_ptr<PalmRecordRef> pScratch(NewRef(m_nLoadedKind));
  DWORD nStatus = 0;
  if (!pScratch || !ReadStoreRecord(nStorePos, pScratch.get(), &nStatus) ||
      !RecordToPalm(pRecord, pScratch.get())) {
    return false;
  }
  m_pRecordSet->Update(
      m_nLoadedKind == PALM_KIND_DATABASE ? AsDatabaseKeepsIt(*pRecord).get() : pRecord, nPos);

  if (m_nLoadedKind == PALM_KIND_DATEBOOK) {
    PmDateRecord* pStore = m_pDate->GetDataMgr()->GetAt(nStorePos);
    if (!pStore) return false;
    pScratch->rec1.nStatus |= PM_STATUS_CHANGED;
    *pStore = pScratch->rec1;
  } else if (m_nLoadedKind == PALM_KIND_DATEBOOK_EX) {
    PmDateExRecord* pStore = m_pDateEx->GetDataMgr()->GetAt(nStorePos);
    if (!pStore) return false;
    pScratch->rec2.nStatus |= PM_STATUS_CHANGED;
    // The store record keeps its own blob data.
    PmBlob blobs[PM_DATEEX_BLOBS];
    std::memcpy(blobs, pStore->blobs, sizeof blobs);
    *pStore = pScratch->rec2;
    std::memcpy(pStore->blobs, blobs, sizeof blobs);
  } else {
    PmDateEx2Record* pStore = m_pDateEx2 ? m_pDateEx2->GetRecords()->GetAt(nStorePos) : nullptr;
    if (!pStore) return false;
    pScratch->rec3.nStatus |= PM_STATUS_CHANGED;
    CopyKeepingRow(pStore, pScratch->rec3);
    if (!m_pDateEx2->SaveRecord(pStore)) {
      Log(0, "Failed to write a changed record to the Palm Desktop database.");
      return false;
    }
  }
  return true;
}

bool PmDateInfo::DeleteRecord(int nPos) {
  if (nPos < 0 || nPos >= static_cast<int>(m_StorePos.size()) || !m_pRecordSet) return false;
  const int nStorePos = m_StorePos[static_cast<size_t>(nPos)];
  if (m_nLoadedKind == PALM_KIND_DATEBOOK) {
    PmDateRecord* pStore = m_pDate->GetDataMgr()->GetAt(nStorePos);
    if (!pStore) return false;
    pStore->nStatus |= PM_STATUS_DELETED;
  } else if (m_nLoadedKind == PALM_KIND_DATEBOOK_EX) {
    PmDateExRecord* pStore = m_pDateEx->GetDataMgr()->GetAt(nStorePos);
    if (!pStore) return false;
    pStore->nStatus |= PM_STATUS_DELETED;
  } else if (m_nLoadedKind == PALM_KIND_DATABASE && m_pDateEx2) {
    PmDateEx2Record* pStore = m_pDateEx2->GetRecords()->GetAt(nStorePos);
    if (!pStore) return false;
    const LONG nOldStatus = pStore->nStatus;
    pStore->nStatus |= PM_STATUS_DELETED;
    if (!m_pDateEx2->SaveRecord(pStore)) {
      pStore->nStatus = nOldStatus;
      Log(0, "Failed to mark a record deleted in the Palm Desktop database.");
      return false;
    }
  } else {
    return false;
  }
  // Hidden records have no reference and no place in the set, as after a load.
  m_StorePos.erase(m_StorePos.begin() + nPos);
  m_pRecordSet->Remove(nPos);
  return true;
}

std::string PmDateInfo::GetRecordKey(int nPos) const {
  if (nPos < 0 || nPos >= static_cast<int>(m_StorePos.size())) return std::string();
  const int nStorePos = m_StorePos[static_cast<size_t>(nPos)];
  long long nId = 0;
  if (m_nLoadedKind == PALM_KIND_DATEBOOK) {
    if (const PmDateRecord* pStore = m_pDate->GetDataMgr()->GetAt(nStorePos)) nId = pStore->nRecordId;
  } else if (m_nLoadedKind == PALM_KIND_DATEBOOK_EX) {
    if (const PmDateExRecord* pStore = m_pDateEx->GetDataMgr()->GetAt(nStorePos)) nId = pStore->nRecordId;
  } else if (m_nLoadedKind == PALM_KIND_DATABASE && m_pDateEx2 && m_pDateEx2->GetRecords()) {
    if (const PmDateEx2Record* pStore = m_pDateEx2->GetRecords()->GetAt(nStorePos)) nId = pStore->nRecordId;
  }
  char szKey[32];
  if (nId != 0) {
    snprintf(szKey, sizeof(szKey), "id:%lld", nId);
  } else {
    snprintf(szKey, sizeof(szKey), "at:%d", nStorePos);
  }
  return szKey;
}

std::string PmDateInfo::GetSavePath() const {
  switch (m_nLoadedKind) {
    case PALM_KIND_DATEBOOK_EX:
      return m_pDateEx->GetLoadedPath();
    case PALM_KIND_DATEBOOK:
      return m_pDate->GetLoadedPath();
    default:
      return std::string();
  }
}

bool PmDateInfo::Save() {
  m_Failure.Clear();
  bool bSaved = false;
  switch (m_nLoadedKind) {
    case PALM_KIND_DATABASE:
      bSaved = m_pDateEx2 && m_pDateEx2->Commit();
      if (!bSaved && m_pDateEx2) TakeFailure(m_pDateEx2->GetLastFailure());
      return bSaved;
    case PALM_KIND_DATEBOOK_EX:
      bSaved = m_pDateEx->Save();
      if (!bSaved) TakeFailure(m_pDateEx->GetLastFailure());
      return bSaved;
    case PALM_KIND_DATEBOOK:
      bSaved = m_pDate->Save();
      if (!bSaved) TakeFailure(m_pDate->GetLastFailure());
      return bSaved;
    default:
      Log(0, "Unknown Palm Desktop version.");
      m_Failure.Set(CX_FAIL_OTHER, "no Palm Desktop calendar is loaded");
      return false;
  }
}
