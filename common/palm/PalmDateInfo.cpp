// The Palm store: a calendar loaded through the adapter of its kind (PalmStoreAdapter.h), chosen
// once at load, and the conversions between Palm records and common records.
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
#define DB_MODULE "PalmDateInfo"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "common/misc/CxDebugUtil.h"
#include "common/misc/WinUtil.h"
#include "common/palm/PalmHotSync.h"
#include "common/palm/PalmStoreAdapter.h"
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

PmCalendarEx2Factory g_pfnCalendarEx2Factory = nullptr;

std::unique_ptr<PmCalendarEx2> MakeCalendarEx2() {
  return g_pfnCalendarEx2Factory ? g_pfnCalendarEx2Factory() : nullptr;
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

LONG ClampWeekIndex(LONG nWeekIndex) {
  if (nWeekIndex < 0) return 0;
  return nWeekIndex >= kWeeksInPattern ? kWeeksInPattern - 1 : nWeekIndex;
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
  PmRecordLayout::OfKind(static_cast<int>(pRef->nKind)).FreeBlobs(pRef);
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

// The one place that ties a kind to the store object that holds it. Any kind but the two
// datebooks goes to the database, whose layout a reference of no kind is read in too.
std::unique_ptr<PmStoreAdapter> PmDateInfo::MakeAdapter(int nKind) const {
  switch (nKind) {
    case PALM_KIND_DATEBOOK:
      return PmMakeDatebookAdapter(m_pDate.get());
    case PALM_KIND_DATEBOOK_EX:
      return PmMakeDatebookExAdapter(m_pDateEx.get());
    default:
      return PmMakeDatabaseAdapter(m_pDateEx2.get());
  }
}

bool PmDateInfo::LoadThrough(int nKind, const std::function<bool(PmStoreAdapter&)>& load,
                             CxFailure* pFailure) {
  std::unique_ptr<PmStoreAdapter> pAdapter = MakeAdapter(nKind);
  bool bLoaded = load(*pAdapter);
  *pFailure = pAdapter->GetLastFailure();
  const int nEarlierKind = pAdapter->GetEarlierKind();
  if (!bLoaded && nEarlierKind != PALM_KIND_NONE) {
    Log(2,
        "Unable to load this file with Palm Desktop 4.1.4 file loader, try earlier loader "
        "version.");
    pAdapter = MakeAdapter(nEarlierKind);
    bLoaded = load(*pAdapter);
    // A file that is a 4.1.4 datebook (or cannot be read at all) fails for the 4.1.4
    // loader's reason; any other for the earlier loader's.
    if (pFailure->nCode == CX_FAIL_NOT_CALENDAR) *pFailure = pAdapter->GetLastFailure();
  }
  if (!bLoaded) return false;
  m_pAdapter = std::move(pAdapter);
  m_nLoadedKind = m_pAdapter->GetKind();
  return true;
}

void PmDateInfo::ClearAll() {
  m_nLoadedKind = PALM_KIND_NONE;
  m_pAdapter.reset();
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
  CxFailure failure;
  // A user's datebook not yet rewritten since Palm Desktop was upgraded to 4.1.4 loads as the
  // same file chosen by path would.
  const bool bLoaded = LoadThrough(
      m_nInstalledKind, [nUserId](PmStoreAdapter& adapter) { return adapter.LoadByUser(nUserId); },
      &failure);
  if (!bLoaded) {
    Log(0, "Failed to open Palm Desktop Calendar database by User: %d", static_cast<int>(nUserId));
    if (failure.IsSet()) {
      TakeFailure(failure);
    } else {
      m_Failure.Set(CX_FAIL_NOT_FOUND, "no Palm Desktop calendar was found for the user %u",
                    static_cast<unsigned>(nUserId));
    }
    return false;
  }
  BuildRecordSet();
  return true;
}

bool PmDateInfo::LoadFile(const char* szPath) {
  ClearAll();
  const std::string strExt = LowerExtension(szPath ? szPath : "");
  int nKind = PALM_KIND_NONE;
  if (strExt == ".mdb") {
    Log(2, ".mdb file, try Palm Desktop 6.x database loader.");
    nKind = PALM_KIND_DATABASE;
  } else if (strExt == ".dat") {
    Log(2, ".dat file, try Palm Desktop 4.1.4 database loader.");
    nKind = PALM_KIND_DATEBOOK_EX;
  } else {
    m_Failure.Set(CX_FAIL_NOT_CALENDAR,
                  "not a Palm Desktop calendar (the name ends neither in .dat nor in .mdb): %s",
                  szPath ? szPath : "");
  }
  CxFailure failure;
  if (nKind != PALM_KIND_NONE &&
      !LoadThrough(
          nKind, [szPath](PmStoreAdapter& adapter) { return adapter.LoadFile(szPath); },
          &failure)) {
    TakeFailure(failure);
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
  return m_pAdapter ? m_pAdapter->GetStoreCount() : 0;
}

bool PmDateInfo::ReadStoreRecord(int nStorePos, PalmRecordRef* pRef, DWORD* pnStatus) const {
  return m_pAdapter && m_pAdapter->ReadStoreRecord(nStorePos, pRef, pnStatus);
}

// The values a datebook writes as midnights: untimed starts and deleted occurrences (other
// writers' occurrence starts, at the start's own time of day, left out).
PmWriterZone PmDateInfo::GuessWriterZone(PalmRecordRef* pScratch) const {
  std::vector<DWORD> vMidnights;
  const PmRecordLayout& layout = PmRecordLayout::OfKind(static_cast<int>(pScratch->nKind));
  const int nCount = GetStoreCount();
  for (int nPos = 0; nPos < nCount; ++nPos) {
    DWORD nStatus = 0;
    if (!m_pAdapter->ReadStoreRecordButNote(nPos, pScratch, &nStatus) || IsHidden(nStatus)) {
      continue;
    }
    const PalmFields f = layout.FieldsOf(pScratch);
    if (f.nUntimed) vMidnights.push_back(*f.pnStart);
    layout.AddDeletedMidnights(pScratch, f, &vMidnights);
  }
  return PmGuessWriterZone(vMidnights);
}

bool PmDateInfo::BuildRecordSet() {
  // The scratch copy only borrows the store's blob data, so it is deleted without freeing it.
  std::unique_ptr<PalmRecordRef> pScratch(NewRef(m_nLoadedKind));
  std::unique_ptr<CommDate> pRecord(new (std::nothrow) CommDate);
  if (!pScratch || !pRecord) return false;
  const PmWriterZone zone = GuessWriterZone(pScratch.get());
  const PmRecordLayout& layout = PmRecordLayout::OfKind(static_cast<int>(pScratch->nKind));
  const int nCount = GetStoreCount();
  m_StorePos.reserve(static_cast<size_t>(nCount));
  for (int nPos = 0; nPos < nCount; ++nPos) {
    DWORD nStatus = 0;
    if (!ReadStoreRecord(nPos, pScratch.get(), &nStatus) || IsHidden(nStatus)) continue;
    *pRecord = CommDate{};
    PalmToRecord(pScratch.get(), pRecord.get(), &zone);
    // The attached copy carries no blob data: the store owns that.
    layout.DropBlobs(pScratch.get());
    std::vector<BYTE> block = layout.PackReference(*pScratch);
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
  const PmRecordLayout& layout = PmRecordLayout::OfKind(static_cast<int>(pRef->nKind));
  PalmFields f = layout.FieldsOf(const_cast<PalmRecordRef*>(pRef));
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
    // Palm Desktop keeps an appointment that runs past midnight with its end time on the
    // start's day, before the start. Its end is that time of day on the start's day when that
    // is later (read in a zone where the start falls on the next day, the end instant lies on
    // the day before), else on the next day: the instant it ends, so that Outlook gets its
    // length and both sides show the same appointment.
    if (*f.pnEnd < *f.pnStart) {
      pRecord->stEnd.wYear = pRecord->stStart.wYear;
      pRecord->stEnd.wMonth = pRecord->stStart.wMonth;
      pRecord->stEnd.wDay = pRecord->stStart.wDay;
      if (CompareTime(&pRecord->stEnd, &pRecord->stStart) < 0) AddDays(&pRecord->stEnd, 1);
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
  // A datebook keeps the repeat end as an instant like the start; the database keeps it as
  // a date, read back as local midnight, so there it needs no moving.
  const PmTime* pUntimedStart = f.nUntimed ? &start : nullptr;
  layout.ReadRepeat(pRef, f, pUntimedStart, pZone, pRecord);
  pRecord->nSource = SOURCE_PALM;
}

bool PmDateInfo::RecordToPalm(const CommDate* pRecord, PalmRecordRef* pRef) {
  if (!pRecord || !pRef) return false;
  const PmRecordLayout& layout = PmRecordLayout::OfKind(static_cast<int>(pRef->nKind));
  PalmFields f = layout.FieldsOf(pRef);
  CopyIfText(f.szSummary, f.nSummarySize, pRecord->szDescription);
  // A note or location cleared on the other side is cleared here too, or the pair would
  // differ, and be carried again, on every run.
  lstrcpyn(f.szNote, pRecord->szNote, f.nNoteSize);
  if (f.szLocation) lstrcpyn(f.szLocation, pRecord->szLocation, f.nLocationSize);
  CopyIfText(f.szCategory, f.nCategorySize, pRecord->szCategory);
  // Outlook separates several categories with commas; a Palm record has one.
  if (char* pComma = std::strchr(f.szCategory, ',')) *pComma = '\0';

  PmTime time;
  const bool bStartHeld = time.FromSystemTime(&pRecord->stStart);
  *f.pnStart = time.GetValue();
  const bool bEndHeld = time.FromSystemTime(&pRecord->stEnd);
  *f.pnEnd = time.GetValue();
  if (layout.HoldsDatebookTimes() && (!bStartHeld || !bEndHeld)) {
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
  layout.StoreFlags(pRef, f);

  layout.WriteRepeat(pRecord->repeat, pRef);

  // The category list is the store's; a record of another kind than the one loaded (a
  // conversion on its own) is named in that kind's store.
  LONG* pnCategoryId = layout.CategoryIdOf(pRef);
  std::unique_ptr<PmStoreAdapter> pOther;
  PmStoreAdapter* pAdapter = m_pAdapter.get();
  if (!pAdapter || pAdapter->GetKind() != static_cast<int>(pRef->nKind)) {
    pOther = MakeAdapter(static_cast<int>(pRef->nKind));
    pAdapter = pOther.get();
  }
  const bool bResolved = pAdapter->ResolveCategory(f.szCategory, pnCategoryId);
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
      if (PmRecordLayout::OfKind(nKind).KeepsWeekdayFlags()) {
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
      if (PmRecordLayout::OfKind(nKind).KeepsWeekdayFlags()) {
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
  if (!pRecord || !m_pAdapter) return false;
  std::unique_ptr<PalmRecordRef, RefDeleter> pRef(NewRef(m_nLoadedKind));
  if (!pRef || !RecordToPalm(pRecord, pRef.get())) return false;

  // The store gets the record first: once it is there, it is saved with the calendar, so
  // the reference and the record set must follow or the positions would no longer agree.
  const int nStorePos = GetStoreCount();
  const bool bStored = m_pAdapter->AddStoreRecord(pRef.get(), nStorePos);
  if (!bStored) {
    Log(0, "Failed to add a record to the Palm Desktop Calendar.");
    return false;
  }
  m_StorePos.push_back(nStorePos);
  std::unique_ptr<CommDate> pKept = m_pAdapter->AsStoreKeepsIt(*pRecord);
  if (pKept) pRecord = pKept.get();
  if (!m_pRecordSet->AddCopy(pRecord)) {
    Log(0, "Failed to add a record to the Palm Desktop Calendar.");
    return false;
  }
  return m_pAdapter->WriteNewRecord(nStorePos);
}

bool PmDateInfo::UpdateRecord(const CommDate* pRecord, int nPos) {
  if (!pRecord || nPos < 0 || !m_pAdapter || nPos >= static_cast<int>(m_StorePos.size())) {
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
  const std::unique_ptr<CommDate> pKept = m_pAdapter->AsStoreKeepsIt(*pRecord);
  const CommDate* pWritten = pKept ? pKept.get() : pRecord;
  m_pRecordSet->Update(pWritten, nPos);
  // The set's update keeps a text it is given empty; the store has just cleared it.
  if (CommDate* pShown = m_pRecordSet->GetAt(nPos)) {
    CxCopyText(pShown->szNote, pWritten->szNote);
    if (PmRecordLayout::OfKind(m_nLoadedKind).FieldsOf(pScratch.get()).szLocation != nullptr) {
      CxCopyText(pShown->szLocation, pWritten->szLocation);
    }
  }
  return m_pAdapter->UpdateStoreRecord(nStorePos, pScratch.get());
}

bool PmDateInfo::DeleteRecord(int nPos) {
  if (nPos < 0 || nPos >= static_cast<int>(m_StorePos.size()) || !m_pRecordSet) return false;
  const int nStorePos = m_StorePos[static_cast<size_t>(nPos)];
  if (!m_pAdapter || !m_pAdapter->MarkDeleted(nStorePos)) return false;
  // Hidden records have no reference and no place in the set, as after a load.
  m_StorePos.erase(m_StorePos.begin() + nPos);
  m_pRecordSet->Remove(nPos);
  return true;
}

std::string PmDateInfo::GetRecordKey(int nPos) const {
  if (nPos < 0 || nPos >= static_cast<int>(m_StorePos.size())) return std::string();
  const int nStorePos = m_StorePos[static_cast<size_t>(nPos)];
  const long long nId = m_pAdapter ? m_pAdapter->GetRecordId(nStorePos) : 0;
  char szKey[32];
  if (nId != 0) {
    snprintf(szKey, sizeof(szKey), "id:%lld", nId);
  } else {
    snprintf(szKey, sizeof(szKey), "at:%d", nStorePos);
  }
  return szKey;
}

std::string PmDateInfo::GetSavePath() const {
  return m_pAdapter ? m_pAdapter->GetSavePath() : std::string();
}

bool PmDateInfo::Save() {
  m_Failure.Clear();
  if (!m_pAdapter) {
    Log(0, "Unknown Palm Desktop version.");
    m_Failure.Set(CX_FAIL_OTHER, "no Palm Desktop calendar is loaded");
    return false;
  }
  const bool bSaved = m_pAdapter->Save();
  if (!bSaved) TakeFailure(m_pAdapter->GetLastFailure());
  return bSaved;
}
