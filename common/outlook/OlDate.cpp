// The Outlook calendar store. Reading: every item of the calendar folder is read into an
// image (in a fixed order of property reads), the image is turned into a common record and
// the record, carrying a copy of the image, joins the set. Writing: a record is turned into
// an image and the image's properties are put on an item, then the item is saved.
//
// The reminder is read and written through "ReminderTime" for Outlook versions up to 2003
// (class 3 and below, or unknown) and "ReminderMinutesBeforeStart" from 2007 on.
#include "common/outlook/OlDate.h"
#define DB_MODULE "OlDate"
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "common/misc/CxDebugUtil.h"
#include "common/misc/WinUtil.h"
#include "platform/win/WinString.h"
#include "platform/win/WinTime.h"

namespace {

// The copy of an image a record carries: most bodies are empty or short, and the whole
// 20 KB of each would be most of what a loaded calendar takes.
std::vector<BYTE> PackImage(const OlDateItem& image) {
  return PackExtra(&image, sizeof(OlDateItem), offsetof(OlDateItem, szBody), sizeof(image.szBody));
}

// Outlook reports 4501-01-01 for "no date" (a pattern without end, a reminder not set).
constexpr DATE kOutlookNoDate = 949998.0;

bool UsesMinutesBefore() {
  return OlBaseUtil::GetVersionClass() >= 4;
}

VARIANT IntArg(LONG nValue) {
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_I4;
  arg.lVal = nValue;
  return arg;
}

// A method call that must answer an object; null otherwise, with the call's status.
IDispatch* CallForObject(CDispCmd* pCmd, LPCOLESTR szName, VARIANT* pArg, HRESULT* phr) {
  VARIANT result;
  VariantInit(&result);
  *phr = pCmd->CallMethod(szName, pArg, pArg != nullptr ? 1 : 0, &result, nullptr, 0);
  if (FAILED(*phr) || result.vt != VT_DISPATCH || result.pdispVal == nullptr) {
    VariantClear(&result);
    return nullptr;
  }
  return result.pdispVal;  // the reference passes to the caller
}

void ToSystemTime(DATE dt, SYSTEMTIME* pst) {
  SYSTEMTIME st = {};
  if (VariantTimeToSystemTime(dt, &st)) *pst = st;
}

bool IsMidnight(const SYSTEMTIME& st) {
  return st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0;
}

DATE ToDate(const SYSTEMTIME* pst) {
  DATE dt = 0;
  SystemTimeToVariantTime(pst, &dt);
  return dt;
}

// Record repeat type <-> Outlook recurrence type.
INT OutlookTypeOf(INT nRepeatType) {
  switch (nRepeatType) {
    case REPEAT_DAILY:
      return OL_RECURS_DAILY;
    case REPEAT_WEEKLY:
      return OL_RECURS_WEEKLY;
    case REPEAT_MONTHLY_BY_DAY:
      return OL_RECURS_MONTH_NTH;
    case REPEAT_MONTHLY_BY_DATE:
      return OL_RECURS_MONTHLY;
    case REPEAT_YEARLY_BY_DAY:
      return OL_RECURS_YEAR_NTH;
    case REPEAT_YEARLY_BY_DATE:
      return OL_RECURS_YEARLY;
    default:
      return OL_RECURS_DAILY;
  }
}

INT RepeatTypeOf(INT nOutlookType) {
  switch (nOutlookType) {
    case OL_RECURS_DAILY:
      return REPEAT_DAILY;
    case OL_RECURS_WEEKLY:
      return REPEAT_WEEKLY;
    case OL_RECURS_MONTH_NTH:
      return REPEAT_MONTHLY_BY_DAY;
    case OL_RECURS_MONTHLY:
      return REPEAT_MONTHLY_BY_DATE;
    case OL_RECURS_YEAR_NTH:
      return REPEAT_YEARLY_BY_DAY;
    case OL_RECURS_YEARLY:
      return REPEAT_YEARLY_BY_DATE;
    default:
      return REPEAT_NONE;
  }
}

// Outlook 2007 and later count yearly intervals in months (12 a year); older versions in
// years. The record counts years either way.
UINT YearsOf(INT nInterval) {
  if (nInterval >= 12 && nInterval % 12 == 0) return static_cast<UINT>(nInterval / 12);
  return 1;
}

// Minutes from start to end. An all-day record's end is the last day it covers, whatever
// its time of day (a Palm untimed event ends on its own day), so it spans every day from its
// start date to its end date; Outlook keeps that as whole days from the start's midnight.
INT DurationOf(const CommDate* pDate) {
  const DATE dtStart = ToDate(&pDate->stStart);
  const DATE dtEnd = ToDate(&pDate->stEnd);
  if (pDate->bAllDay) {
    const long nDays = static_cast<long>(std::floor(dtEnd + 1e-9)) -
                       static_cast<long>(std::floor(dtStart + 1e-9)) + 1;
    return static_cast<INT>(nDays < 1 ? 1440 : nDays * 1440);
  }
  double dMinutes = std::nearbyint((dtEnd - dtStart) * 1440.0);
  return dMinutes < 0 ? 0 : static_cast<INT>(dMinutes);
}

// The local day (at 00:00) of an automation date.
DATE DayOf(DATE dt) {
  SYSTEMTIME st = {};
  if (!VariantTimeToSystemTime(dt, &st)) return dt;
  st.wHour = st.wMinute = st.wSecond = st.wMilliseconds = 0;
  return ToDate(&st);
}

// Calls each with every entry of the pattern's list szList ("Count", then "Item" from 1), at
// most nMost of them, until each returns false. Nothing for a pattern without that list.
void ForEachListEntry(CDispCmd* pPattern, LPCOLESTR szList, LONG nMost,
                      const std::function<bool(CDispCmd& entry)>& each) {
  IDispatch* pListObject = nullptr;
  if (pPattern->GetObject(szList, &pListObject) != S_OK || pListObject == nullptr) return;
  CDispCmd list(pListObject);
  pListObject->Release();
  LONG nCount = 0;
  if (list.GetInt(u"Count", &nCount) != S_OK) return;
  nCount = std::min<LONG>(nCount, nMost);
  for (LONG i = 1; i <= nCount; ++i) {
    VARIANT arg = IntArg(i);
    HRESULT hr = S_OK;
    IDispatch* pEntryObject = CallForObject(&list, u"Item", &arg, &hr);
    if (pEntryObject == nullptr) continue;
    CDispCmd entry(pEntryObject);
    pEntryObject->Release();
    if (!each(entry)) return;
  }
}

// The days of the pattern's deleted occurrences, ascending, each once.
std::vector<DATE> ReadDeletedDays(CDispCmd* pPattern) {
  std::vector<DATE> vDays;
  ForEachListEntry(pPattern, u"Exceptions", OL_MAX_EXCEPTION_ITEMS, [&](CDispCmd& exception) {
    BOOL bDeleted = 0;
    DATE dtOriginal = 0;
    if (exception.GetBool(u"Deleted", &bDeleted) == S_OK && bDeleted &&
        exception.GetDate(u"OriginalDate", &dtOriginal) == S_OK) {
      vDays.push_back(DayOf(dtOriginal));
    }
    return true;
  });
  std::sort(vDays.begin(), vDays.end());
  vDays.erase(std::unique(vDays.begin(), vDays.end()), vDays.end());
  return vDays;
}

// How the occurrences of the pattern's series move on the local clock: the stand-in's
// "ClockShifts", which Outlook itself does not list. Entries out of order or of a day or more
// are no clock change and end the list.
std::vector<CommClockShift> ReadClockShifts(CDispCmd* pPattern) {
  std::vector<CommClockShift> vShifts;
  ForEachListEntry(pPattern, u"ClockShifts", OL_MAX_CLOCK_SHIFTS, [&](CDispCmd& shift) {
    CommClockShift entry{};
    LONG nMinutes = 0;
    if (shift.GetDate(u"From", &entry.dtFrom) != S_OK ||
        shift.GetInt(u"Minutes", &nMinutes) != S_OK || nMinutes <= -1440 || nMinutes >= 1440 ||
        (!vShifts.empty() && entry.dtFrom <= vShifts.back().dtFrom)) {
      return false;
    }
    entry.nMinutes = static_cast<INT>(nMinutes);
    vShifts.push_back(entry);
    return true;
  });
  return vShifts;
}

// Writes a text property unless the item's current text, brought to the ANSI code page and
// cut to what a record holds (nRecordSize), already reads as this text. The text is then the
// record's lossy copy of the item's own: characters the code page lacks became "?", or a long
// note was cut. Writing it back would replace the user's text by that copy.
void PutTextUnlessCopy(CDispCmd* pItem, LPCOLESTR szName, const char* szText, int nRecordSize) {
  std::vector<char> current(static_cast<size_t>(nRecordSize), '\0');
  if (pItem->GetString(szName, current.data(), nRecordSize) == S_OK &&
      std::strcmp(current.data(), szText) == 0) {
    return;
  }
  pItem->PutString(szName, szText);
}

// Whether the item's pattern already holds every value the image writes and no deleted
// day the image does not list.
bool SamePatternAsImage(CDispCmd* pPattern, const OlDateItem* pImage) {
  struct Field {
    LPCOLESTR szName;
    INT nWanted;
  };
  const Field fields[] = {{u"RecurrenceType", pImage->nRecurrenceType},
                          {u"Interval", pImage->nInterval},
                          {u"DayOfWeekMask", pImage->nDayOfWeekMask},
                          {u"DayOfMonth", pImage->nDayOfMonth},
                          {u"Instance", pImage->nInstance},
                          {u"MonthOfYear", pImage->nMonthOfYear}};
  for (const Field& field : fields) {
    LONG nValue = 0;
    if (pPattern->GetInt(field.szName, &nValue) != S_OK) return false;
    // A value the image leaves at 0 is not written, so the item's stands.
    if ((field.nWanted > 0 || field.szName == fields[0].szName) && nValue != field.nWanted) {
      return false;
    }
  }
  DATE dtEnd = 0;
  if (pPattern->GetDate(u"PatternEndDate", &dtEnd) != S_OK) return false;
  const bool bImageEnds =
      pImage->dtPatternEndDate > 1.0 && pImage->dtPatternEndDate < kOutlookNoDate;
  const bool bItemEnds = dtEnd > 1.0 && dtEnd < kOutlookNoDate;
  if (bImageEnds != bItemEnds ||
      (bImageEnds && std::fabs(dtEnd - pImage->dtPatternEndDate) > 1e-6)) {
    return false;
  }
  const INT nCount = std::clamp<INT>(pImage->nExceptionCount, 0, REPEAT_MAX_EXCEPTIONS);
  for (DATE dtDay : ReadDeletedDays(pPattern)) {
    if (std::find(pImage->dtExceptions, pImage->dtExceptions + nCount, dtDay) ==
        pImage->dtExceptions + nCount) {
      return false;
    }
  }
  return true;
}

// Whether a record comes from a Palm datebook of the earlier layout, which keeps no
// location. A Palm record's block starts with the kind of its calendar (1 for that layout).
bool HoldsNoLocation(const CommDate* pDate) {
  constexpr DWORD kEarlierDatebookKind = 1;
  DWORD nKind = 0;
  return pDate->nSource == SOURCE_PALM && PeekExtra(pDate, &nKind, sizeof(nKind)) &&
         nKind == kEarlierDatebookKind;
}

}  // namespace

OlDateUtil::OlDateUtil() : m_bIncludeNote(false) {
  OlDateUtil::Init();
  m_bIncludeNote = true;
}

OlDateUtil::~OlDateUtil() {
  OlDateUtil::Term();
}

bool OlDateUtil::Load() {
  OlBaseUtil::Load();
  if (!m_pFolder) {
    if (!m_Failure.IsSet()) {
      m_Failure.Set(CX_FAIL_OTHER, "Outlook or its calendar could not be opened (see the log)");
    }
    return false;
  }
  m_Failure.Clear();
  return LoadFolder(m_pFolder.get());
}

void OlDateUtil::Clear() {
  if (m_pDateMgr) m_pDateMgr->Clear();
  OlBaseUtil::Clear();
}

void OlDateUtil::Init() {
  m_pDateMgr = std::make_unique<CommDateMgr>();
  m_pFolder.reset();
  Connect();
}

void OlDateUtil::Term() {
  Clear();
  m_pDateMgr.reset();
  Disconnect();
}

bool OlDateUtil::Connect() {
  if (!OlBaseUtil::Connect()) return false;
  VARIANT arg = IntArg(OL_FOLDER_CALENDAR);
  HRESULT hr = S_OK;
  IDispatch* pFolder = m_pNameSpace != nullptr
                           ? CallForObject(m_pNameSpace, u"GetDefaultFolder", &arg, &hr)
                           : nullptr;
  if (pFolder == nullptr) {
    Log(0, "Failed to call \"GetDefaultFolder\" method. hr=0x%x", static_cast<unsigned>(hr));
    if (m_pNameSpace != nullptr && !m_pNameSpace->GetLastErrorText().empty()) {
      m_Failure.Set(CX_FAIL_OTHER, "%s", m_pNameSpace->GetLastErrorText().c_str());
    }
    Disconnect();
    return false;
  }
  m_pFolder = std::make_unique<CDispCmd>(pFolder);
  pFolder->Release();  // the wrapper holds its own reference
  Log(2, "Get Outlook Calendar root folder successfully.");
  return true;
}

void OlDateUtil::Disconnect() {
  m_pFolder.reset();
  OlBaseUtil::Disconnect();
}

bool OlDateUtil::LoadFolder(CDispCmd* pFolder) {
  if (pFolder == nullptr || !m_pDateMgr) return false;
  char szFolderName[32] = {0};
  char szStoreID[1024] = {0};
  HRESULT hr = pFolder->GetString(u"Name", szFolderName, sizeof(szFolderName));
  if (FAILED(hr)) {
    Log(0, "Failed to get the name of the folder. hr=0x%x", static_cast<unsigned>(hr));
  } else {
    Log(2, "Got the name of the Calendar folder: %s", szFolderName);
  }
  hr = pFolder->GetString(u"StoreID", szStoreID, sizeof(szStoreID));
  if (FAILED(hr)) {
    Log(0, "Failed to get the StoreID of the Calendar folder. hr=0x%x", static_cast<unsigned>(hr));
  } else {
    Log(2, "Got the StoreID of the Calendar folder: %s", szStoreID);
  }

  IDispatch* pItemsObject = nullptr;
  hr = pFolder->GetObject(u"Items", &pItemsObject);
  if (hr != S_OK || pItemsObject == nullptr) {
    Log(0, "Failed to get Calendar Items property.");
    return false;
  }
  CDispCmd items(pItemsObject);
  pItemsObject->Release();

  auto pImage = std::make_unique<OlDateItem>();
  auto pDate = std::make_unique<CommDate>();
  IDispatch* pItem = CallForObject(&items, u"GetFirst", nullptr, &hr);
  while (pItem != nullptr) {
    std::memset(pImage.get(), 0, sizeof(OlDateItem));
    CxCopyText(pImage->szFolderName, szFolderName);
    CxCopyText(pImage->szStoreID, szStoreID);
    if (ReadItem(pItem, pImage.get())) {
      *pDate = CommDate{};
      ItemToRecord(pImage.get(), pDate.get());
      pDate->clockShifts = std::move(m_vClockShifts);
      pImage->pItem = nullptr;
      // The set gives its record a copy of the block, so the packed image is lent here
      // rather than copied twice; it is taken back right after.
      std::vector<BYTE> block = PackImage(*pImage);
      pDate->pExtra = block.data();
      pDate->nExtraSize = static_cast<UINT>(block.size());
      pDate->nSource = SOURCE_OUTLOOK;
      m_pDateMgr->AddCopy(pDate.get());
      pDate->pExtra = nullptr;
      pDate->nExtraSize = 0;
    }
    pItem->Release();
    pItem = CallForObject(&items, u"GetNext", nullptr, &hr);
  }
  return true;
}

bool OlDateUtil::ReadItem(IDispatch* pItem, OlDateItem* pImage) {
  if (pItem == nullptr || pImage == nullptr) return false;
  CDispCmd item(pItem);
  BOOL bFlag = 0;
  LONG nValue = 0;
  pImage->pItem = pItem;
  m_vClockShifts.clear();
  item.GetString(u"EntryID", pImage->szEntryID, sizeof(pImage->szEntryID));
  if (item.GetBool(u"AllDayEvent", &bFlag) == S_OK) pImage->bAllDayEvent = bFlag ? 1 : 0;
  if (item.GetInt(u"Duration", &nValue) == S_OK) pImage->nDuration = nValue;
  item.GetDate(u"End", &pImage->dtEnd);
  item.GetDate(u"Start", &pImage->dtStart);
  if (item.GetBool(u"ReminderSet", &bFlag) == S_OK) pImage->bReminderSet = bFlag ? 1 : 0;
  if (UsesMinutesBefore()) {
    if (item.GetInt(u"ReminderMinutesBeforeStart", &nValue) == S_OK) {
      pImage->nReminderMinutesBeforeStart = nValue;
    }
  } else {
    item.GetDate(u"ReminderTime", &pImage->dtReminderTime);
  }
  item.GetString(u"Subject", pImage->szSubject, sizeof(pImage->szSubject));
  if (m_bIncludeNote) item.GetString(u"Body", pImage->szBody, sizeof(pImage->szBody));
  item.GetString(u"Location", pImage->szLocation, sizeof(pImage->szLocation));
  item.GetString(u"Categories", pImage->szCategories, sizeof(pImage->szCategories));
  if (item.GetBool(u"IsRecurring", &bFlag) == S_OK) pImage->bIsRecurring = bFlag ? 1 : 0;
  pImage->nRecurrenceType = OL_RECURRENCE_NONE;
  if (pImage->bIsRecurring) {
    HRESULT hr = S_OK;
    IDispatch* pPatternObject = CallForObject(&item, u"GetRecurrencePattern", nullptr, &hr);
    if (pPatternObject != nullptr) {
      CDispCmd pattern(pPatternObject);
      pPatternObject->Release();
      struct {
        LPCOLESTR szName;
        INT* pnField;
      } const fields[] = {
          {u"RecurrenceType", &pImage->nRecurrenceType},
          {u"Interval", &pImage->nInterval},
          {u"DayOfWeekMask", &pImage->nDayOfWeekMask},
          {u"DayOfMonth", &pImage->nDayOfMonth},
          {u"Instance", &pImage->nInstance},
          {u"MonthOfYear", &pImage->nMonthOfYear},
      };
      for (const auto& field : fields) {
        if (pattern.GetInt(field.szName, &nValue) == S_OK) *field.pnField = nValue;
      }
      pattern.GetDate(u"PatternEndDate", &pImage->dtPatternEndDate);
      const std::vector<DATE> vDeleted = ReadDeletedDays(&pattern);
      const size_t nKept = std::min<size_t>(vDeleted.size(), REPEAT_MAX_EXCEPTIONS);
      std::copy(vDeleted.end() - static_cast<std::ptrdiff_t>(nKept), vDeleted.end(),
                pImage->dtExceptions);
      pImage->nExceptionCount = static_cast<INT>(nKept);
      if (!pImage->bAllDayEvent) m_vClockShifts = ReadClockShifts(&pattern);
    }
  }
  item.GetDate(u"CreationTime", &pImage->dtCreationTime);
  item.GetDate(u"LastModificationTime", &pImage->dtLastModificationTime);
  return true;
}

bool OlDateUtil::ItemToRecord(const OlDateItem* pImage, CommDate* pDate) {
  if (pImage == nullptr || pDate == nullptr) return false;
  CxCopyText(pDate->szDescription, pImage->szSubject);
  CxCopyText(pDate->szNote, pImage->szBody);
  CxCopyText(pDate->szCategory, pImage->szCategories);
  CxCopyText(pDate->szLocation, pImage->szLocation);
  ToSystemTime(pImage->dtStart, &pDate->stStart);
  ToSystemTime(pImage->dtEnd, &pDate->stEnd);
  // Outlook ends an all-day item at midnight after its last day. The record names that last
  // day instead, as Palm Desktop does, or the two sides would never match and a one-day
  // event would show on two days.
  if (pImage->bAllDayEvent && IsMidnight(pDate->stEnd) &&
      CompareDate(&pDate->stEnd, &pDate->stStart) > 0) {
    AddDays(&pDate->stEnd, -1);
  }
  pDate->bAlarm = pImage->bReminderSet ? 1 : 0;

  long nMinutes = 0;
  if (!UsesMinutesBefore()) {
    if (pImage->dtReminderTime > 0) {
      // Whole minutes, after rounding to the second so that float noise in the two dates
      // cannot take a minute off.
      double dSeconds = std::nearbyint((pImage->dtStart - pImage->dtReminderTime) * 86400.0);
      nMinutes = static_cast<long>(std::trunc(dSeconds / 60.0));
    }
  } else if (pImage->bReminderSet) {
    nMinutes = pImage->nReminderMinutesBeforeStart;
  }
  // The largest unit that holds the reminder exactly: 90 minutes stay 90 minutes and 36
  // hours stay 36 hours, where rounding to hours or days would move the reminder. A
  // reminder at the start is one too (0 minutes), not none.
  if (nMinutes > 0 || (pImage->bReminderSet && nMinutes == 0)) {
    pDate->bAdvance = 1;
    if (nMinutes % 1440 == 0 && nMinutes > 0) {
      pDate->nAdvanceUnit = ADVANCE_DAYS;
      pDate->nAdvance = static_cast<INT>(nMinutes / 1440);
    } else if (nMinutes % 60 == 0 && nMinutes > 0) {
      pDate->nAdvanceUnit = ADVANCE_HOURS;
      pDate->nAdvance = static_cast<INT>(nMinutes / 60);
    } else {
      pDate->nAdvanceUnit = ADVANCE_MINUTES;
      pDate->nAdvance = static_cast<INT>(nMinutes);
    }
  }
  pDate->bAllDay = pImage->bAllDayEvent ? 1 : 0;

  RepeatPattern& repeat = pDate->repeat;
  repeat.nType = RepeatTypeOf(pImage->nRecurrenceType);
  switch (repeat.nType) {
    case REPEAT_DAILY:
    case REPEAT_WEEKLY:
      repeat.nInterval = static_cast<UINT>(pImage->nInterval);
      repeat.nDayOfWeekMask = static_cast<UINT>(pImage->nDayOfWeekMask);
      break;
    case REPEAT_MONTHLY_BY_DAY:
      repeat.nInterval = static_cast<UINT>(pImage->nInterval);
      repeat.nInstance = static_cast<UINT>(pImage->nInstance);
      repeat.nDayOfWeekMask = static_cast<UINT>(pImage->nDayOfWeekMask);
      break;
    case REPEAT_MONTHLY_BY_DATE:
      repeat.nInterval = static_cast<UINT>(pImage->nInterval);
      repeat.nDayOfMonth = static_cast<UINT>(pImage->nDayOfMonth);
      break;
    case REPEAT_YEARLY_BY_DAY:
      repeat.nInterval = YearsOf(pImage->nInterval);
      repeat.nInstance = static_cast<UINT>(pImage->nInstance);
      repeat.nMonthOfYear = pImage->nMonthOfYear;
      repeat.nDayOfWeekMask = static_cast<UINT>(pImage->nDayOfWeekMask);
      break;
    case REPEAT_YEARLY_BY_DATE:
      repeat.nDayOfMonth = static_cast<UINT>(pImage->nDayOfMonth);
      repeat.nMonthOfYear = pImage->nMonthOfYear;
      repeat.nInterval = YearsOf(pImage->nInterval);
      break;
    default:
      break;
  }
  // 4501-01-01 is how Outlook says "no end".
  if (repeat.nType != REPEAT_NONE && pImage->dtPatternEndDate > 1.0 &&
      pImage->dtPatternEndDate < kOutlookNoDate) {
    repeat.bHasEnd = 1;
    ToSystemTime(pImage->dtPatternEndDate, &repeat.stPatternEnd);
  } else {
    repeat.bHasEnd = 0;
  }
  std::vector<SYSTEMTIME> vDeleted;
  const INT nDeleted = std::clamp<INT>(pImage->nExceptionCount, 0, REPEAT_MAX_EXCEPTIONS);
  for (INT i = 0; i < nDeleted; ++i) {
    SYSTEMTIME stDay = {};
    if (VariantTimeToSystemTime(pImage->dtExceptions[i], &stDay)) vDeleted.push_back(stDay);
  }
  SetDeletedOccurrences(pDate, vDeleted.data(), static_cast<int>(vDeleted.size()));
  pDate->nSource = SOURCE_OUTLOOK;
  return true;
}

bool OlDateUtil::RecordToItem(const CommDate* pDate, OlDateItem* pImage) {
  if (pDate == nullptr || pImage == nullptr) return false;
  CxCopyText(pImage->szSubject, pDate->szDescription);
  CxCopyText(pImage->szBody, pDate->szNote);
  CxCopyText(pImage->szCategories, pDate->szCategory);
  CxCopyText(pImage->szLocation, pDate->szLocation);
  pImage->dtStart = ToDate(&pDate->stStart);
  pImage->dtEnd = ToDate(&pDate->stEnd);
  pImage->bAllDayEvent = pDate->bAllDay != 0 ? 1 : 0;
  pImage->bReminderSet = pDate->bAlarm != 0 ? 1 : 0;

  if (pDate->bAlarm && pDate->bAdvance) {
    INT nMinutes = 15;
    switch (pDate->nAdvanceUnit) {
      case ADVANCE_MINUTES:
        nMinutes = pDate->nAdvance;
        break;
      case ADVANCE_HOURS:
        nMinutes = pDate->nAdvance * 60;
        break;
      case ADVANCE_DAYS:
        nMinutes = pDate->nAdvance * 1440;
        break;
      default:
        break;
    }
    pImage->nReminderMinutesBeforeStart = nMinutes;
    if (!UsesMinutesBefore()) {
      // The reminder moment itself, across midnight and whole days alike: stepping the
      // clock within the start's day turned 23 hours into the start and dropped the time of
      // day from a day count.
      pImage->dtReminderTime = ToDate(&pDate->stStart) - nMinutes / 1440.0;
    }
  }

  // The span counts whole date-times: a record that ends on a later day keeps its length.
  pImage->nDuration = DurationOf(pDate);

  const RepeatPattern& repeat = pDate->repeat;
  if (repeat.nType == REPEAT_NONE) {
    pImage->nRecurrenceType = OL_RECURRENCE_NONE;
  } else {
    pImage->nRecurrenceType = OutlookTypeOf(repeat.nType);
    switch (repeat.nType) {
      case REPEAT_DAILY:
      case REPEAT_WEEKLY:
        pImage->nInterval = static_cast<INT>(repeat.nInterval);
        pImage->nDayOfWeekMask = static_cast<INT>(repeat.nDayOfWeekMask);
        break;
      case REPEAT_MONTHLY_BY_DAY:
        pImage->nInterval = static_cast<INT>(repeat.nInterval);
        pImage->nInstance = static_cast<INT>(repeat.nInstance);
        pImage->nDayOfWeekMask = static_cast<INT>(repeat.nDayOfWeekMask);
        break;
      case REPEAT_MONTHLY_BY_DATE:
        pImage->nInterval = static_cast<INT>(repeat.nInterval);
        pImage->nDayOfMonth = static_cast<INT>(repeat.nDayOfMonth);
        break;
      case REPEAT_YEARLY_BY_DAY:
        pImage->nInterval = static_cast<INT>(repeat.nInterval);
        pImage->nInstance = static_cast<INT>(repeat.nInstance);
        pImage->nMonthOfYear = repeat.nMonthOfYear;
        pImage->nDayOfWeekMask = static_cast<INT>(repeat.nDayOfWeekMask);
        break;
      case REPEAT_YEARLY_BY_DATE:
        pImage->nDayOfMonth = static_cast<INT>(repeat.nDayOfMonth);
        pImage->nMonthOfYear = repeat.nMonthOfYear;
        break;
      default:
        break;
    }
    if (repeat.bHasEnd) {
      SYSTEMTIME stEnd = repeat.stPatternEnd;
      stEnd.wHour = stEnd.wMinute = stEnd.wSecond = stEnd.wMilliseconds = 0;
      pImage->dtPatternEndDate = ToDate(&stEnd);
    }
    pImage->nExceptionCount = 0;
    for (SYSTEMTIME stDay : ExceptionDays(repeat)) {
      stDay.wHour = stDay.wMinute = stDay.wSecond = stDay.wMilliseconds = 0;
      DATE dtDay = 0;
      if (SystemTimeToVariantTime(&stDay, &dtDay))
        pImage->dtExceptions[pImage->nExceptionCount++] = dtDay;
    }
  }
  return true;
}

bool OlDateUtil::WriteItem(IDispatch* pItem, OlDateItem* pImage) {
  if (pItem == nullptr || pImage == nullptr) return false;
  CDispCmd item(pItem);
  item.PutBool(u"AllDayEvent", pImage->bAllDayEvent);
  item.PutInt(u"Duration", pImage->nDuration);
  item.PutDate(u"Start", pImage->dtStart);
  item.PutBool(u"ReminderSet", pImage->bReminderSet);
  if (UsesMinutesBefore()) {
    item.PutInt(u"ReminderMinutesBeforeStart", pImage->nReminderMinutesBeforeStart);
  } else {
    item.PutDate(u"ReminderTime", pImage->dtReminderTime);
  }
  PutTextUnlessCopy(&item, u"Subject", pImage->szSubject, sizeof(CommDate::szDescription));
  if (m_bIncludeNote) PutTextUnlessCopy(&item, u"Body", pImage->szBody, COMM_NOTE_SIZE);
  PutTextUnlessCopy(&item, u"Location", pImage->szLocation, sizeof(CommDate::szLocation));
  PutTextUnlessCopy(&item, u"Categories", pImage->szCategories, sizeof(CommDate::szCategory));

  HRESULT hr = S_OK;
  if (pImage->nRecurrenceType >= 0) {
    IDispatch* pPatternObject = CallForObject(&item, u"GetRecurrencePattern", nullptr, &hr);
    if (pPatternObject != nullptr) {
      CDispCmd pattern(pPatternObject);
      pPatternObject->Release();
      // Writing a pattern starts it afresh and drops its deleted occurrences, so an item
      // whose pattern already is the image's, with no deleted day the image lacks, keeps its
      // own: the deleted days as the calendar wrote them, in its own zone and form.
      if (!SamePatternAsImage(&pattern, pImage)) {
        pattern.PutInt(u"RecurrenceType", pImage->nRecurrenceType);
        if (pImage->nInterval > 0) pattern.PutInt(u"Interval", pImage->nInterval);
        if (pImage->nDayOfWeekMask > 0) pattern.PutInt(u"DayOfWeekMask", pImage->nDayOfWeekMask);
        if (pImage->nDayOfMonth > 0) pattern.PutInt(u"DayOfMonth", pImage->nDayOfMonth);
        if (pImage->nInstance > 0) pattern.PutInt(u"Instance", pImage->nInstance);
        if (pImage->nMonthOfYear > 0) pattern.PutInt(u"MonthOfYear", pImage->nMonthOfYear);
        if (pImage->dtPatternEndDate > 1.0) {
          pattern.PutDate(u"PatternEndDate", pImage->dtPatternEndDate);
        }
      }
    }
  } else {
    // A record without repeat makes a recurring item single again.
    BOOL bRecurring = 0;
    if (item.GetBool(u"IsRecurring", &bRecurring) == S_OK && bRecurring) {
      item.CallMethod(u"ClearRecurrencePattern", nullptr, 0, nullptr, nullptr, 0);
    }
  }
  hr = item.CallMethod(u"Save", nullptr, 0, nullptr, nullptr, 0);
  if (FAILED(hr)) {
    Log(0, "Failed to call \"Save\" method. hr=0x%x", static_cast<unsigned>(hr));
    if (item.GetLastErrorText().empty()) {
      m_Failure.Set(CX_FAIL_OTHER, "Outlook did not save the item (hr=0x%08x)",
                    static_cast<unsigned>(hr));
    } else {
      m_Failure.Set(CX_FAIL_OTHER, "%s", item.GetLastErrorText().c_str());
    }
    return false;
  }
  if (pImage->nRecurrenceType >= 0 && pImage->nExceptionCount > 0) {
    return DeleteOccurrences(&item, pImage);
  }
  return true;
}

// The occurrences the image lists as deleted that the saved item still has: each is fetched
// at its day and the item's time of day, as Outlook wants it, and deleted.
bool OlDateUtil::DeleteOccurrences(CDispCmd* pItem, const OlDateItem* pImage) {
  HRESULT hr = S_OK;
  IDispatch* pPatternObject = CallForObject(pItem, u"GetRecurrencePattern", nullptr, &hr);
  if (pPatternObject == nullptr) {
    Log(0, "Failed to call \"GetRecurrencePattern\" method. hr=0x%x", static_cast<unsigned>(hr));
    m_Failure.Set(CX_FAIL_OTHER, "Outlook gave no recurrence pattern (hr=0x%08x)",
                  static_cast<unsigned>(hr));
    return false;
  }
  CDispCmd pattern(pPatternObject);
  pPatternObject->Release();
  const std::vector<DATE> vAlready = ReadDeletedDays(&pattern);
  const DATE dtTimeOfDay = pImage->dtStart - DayOf(pImage->dtStart);
  bool bAllDeleted = true;
  const INT nCount = std::clamp<INT>(pImage->nExceptionCount, 0, REPEAT_MAX_EXCEPTIONS);
  for (INT i = 0; i < nCount; ++i) {
    const DATE dtDay = pImage->dtExceptions[i];
    if (std::binary_search(vAlready.begin(), vAlready.end(), dtDay)) continue;
    SYSTEMTIME stDay = {};
    VariantTimeToSystemTime(dtDay, &stDay);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_DATE;
    arg.date = dtDay + dtTimeOfDay;
    IDispatch* pOccurrence = CallForObject(&pattern, u"GetOccurrence", &arg, &hr);
    if (pOccurrence != nullptr) {
      CDispCmd occurrence(pOccurrence);
      pOccurrence->Release();
      hr = occurrence.CallMethod(u"Delete", nullptr, 0, nullptr, nullptr, 0);
      if (SUCCEEDED(hr)) continue;
    }
    Log(0, "Failed to delete the occurrence of %04d-%02d-%02d. hr=0x%x", stDay.wYear, stDay.wMonth,
        stDay.wDay, static_cast<unsigned>(hr));
    m_Failure.Set(CX_FAIL_OTHER, "Outlook did not delete the occurrence of %04d-%02d-%02d",
                  stDay.wYear, stDay.wMonth, stDay.wDay);
    bAllDeleted = false;
  }
  return bAllDeleted;
}

bool OlDateUtil::AddItem(CommDate* pDate) {
  if (pDate == nullptr || !m_pFolder) return false;
  IDispatch* pItemsObject = nullptr;
  HRESULT hr = m_pFolder->GetObject(u"Items", &pItemsObject);
  if (hr != S_OK || pItemsObject == nullptr) {
    Log(0, "Failed to get the \"Items\" property of the Calendar folder. hr=0x%x",
        static_cast<unsigned>(hr));
    return false;
  }
  CDispCmd items(pItemsObject);
  pItemsObject->Release();
  VARIANT arg = IntArg(OL_APPOINTMENT_ITEM);
  IDispatch* pItem = CallForObject(&items, u"Add", &arg, &hr);
  if (pItem == nullptr) {
    Log(0, "Failed to call \"Add\" method. hr=0x%x", static_cast<unsigned>(hr));
    return false;
  }
  auto pImage = std::make_unique<OlDateItem>();
  std::memset(pImage.get(), 0, sizeof(OlDateItem));
  RecordToItem(pDate, pImage.get());
  bool bWritten = WriteItem(pItem, pImage.get());
  pItem->Release();
  if (!bWritten) return false;
  pImage->pItem = nullptr;
  const std::vector<BYTE> block = PackImage(*pImage);
  SetExtraCopy(pDate, block.data(), static_cast<UINT>(block.size()));
  pDate->nSource = SOURCE_OUTLOOK;
  return true;
}

IDispatch* OlDateUtil::ItemAt(int nPos) {
  IDispatch* pItemsObject = nullptr;
  HRESULT hr = m_pFolder->GetObject(u"Items", &pItemsObject);
  if (hr != S_OK || pItemsObject == nullptr) {
    Log(0, "Failed to get the \"Items\" property of the Calendar folder.");
    return nullptr;
  }
  CDispCmd items(pItemsObject);
  pItemsObject->Release();
  VARIANT arg = IntArg(nPos + 1);
  IDispatch* pItem = CallForObject(&items, u"Item", &arg, &hr);
  if (pItem == nullptr) {
    Log(0, "Failed to get the Calendar event item by index: %d. hr=0x%x", nPos,
        static_cast<unsigned>(hr));
  }
  return pItem;
}

bool OlDateUtil::DeleteItem(int nPos) {
  if (!m_pDateMgr || !m_pFolder || nPos < 0 || nPos >= m_pDateMgr->GetCount()) return false;
  IDispatch* pItem = ItemAt(nPos);
  if (pItem == nullptr) return false;
  CDispCmd item(pItem);
  pItem->Release();
  const HRESULT hr = item.CallMethod(u"Delete", nullptr, 0, nullptr, nullptr, 0);
  if (FAILED(hr)) {
    Log(0, "Failed to delete the Calendar event item %d. hr=0x%x", nPos, static_cast<unsigned>(hr));
    m_Failure.Set(CX_FAIL_OTHER, "Outlook did not delete the appointment");
    return false;
  }
  // The folder's items after it moved down by one; the set follows.
  m_pDateMgr->Remove(nPos);
  return true;
}

bool OlDateUtil::UpdateItem(CommDate* pDate, int nPos) {
  if (pDate == nullptr || nPos < 0 || !m_pFolder) return false;
  IDispatch* pItem = ItemAt(nPos);
  if (pItem == nullptr) return false;
  auto pImage = std::make_unique<OlDateItem>();
  std::memset(pImage.get(), 0, sizeof(OlDateItem));
  RecordToItem(pDate, pImage.get());
  bool bWritten = WriteItem(pItem, pImage.get());
  pItem->Release();
  return bWritten;
}

bool OlDateUtil::SyncRecord(CommDate* pDate) {
  if (pDate == nullptr || !m_pDateMgr || !m_pFolder) return false;
  CommDate* pPeer = nullptr;
  int nPos = 0;
  int nFound = m_pDateMgr->FindMatch(pDate, &pPeer, &nPos);
  if (nFound == FIND_ERROR || nFound == FIND_SAME) return false;
  if (nFound == FIND_CHANGED) return UpdateAt(pDate, pPeer, nPos);
  return AddNew(pDate);
}

bool OlDateUtil::UpdateAt(CommDate* pDate, CommDate* pPeer, int nPos) {
  if (pDate == nullptr || !m_pDateMgr || !m_pFolder) return false;
  // The stored record takes the new contents but stays the Outlook record it was: its
  // source, match state, counterpart and item image describe the item, not what it says.
  // Taking the incoming record's would make it pass for a Palm record in a later run.
  if (pPeer != nullptr && pPeer != pDate) {
    const UINT nSource = pPeer->nSource;
    const UINT nMatchState = pPeer->nMatchState;
    CommDate* pCounterpart = pPeer->pPeer;
    void* pExtra = pPeer->pExtra;
    const UINT nExtraSize = pPeer->nExtraSize;
    // A record whose store keeps no deleted occurrences leaves the item's as they are, as
    // far as the new pattern still has those days.
    std::vector<SYSTEMTIME> vKept;
    if (pDate->repeat.bExceptionsUnknown) {
      const std::span<const SYSTEMTIME> kept = ExceptionDays(pPeer->repeat);
      vKept.assign(kept.begin(), kept.end());
    }
    char szItemLocation[sizeof(pPeer->szLocation)];
    CxCopyText(szItemLocation, pPeer->szLocation);
    // The item stays in its own zone: while its start and pattern stay, so do the clock
    // shifts of its occurrences (a new start or pattern has its own, known at the next load).
    const bool bSameSeries = CompareDate(&pPeer->stStart, &pDate->stStart) == 0 &&
                             CompareTime(&pPeer->stStart, &pDate->stStart) == 0 &&
                             SameRepeat(&pPeer->repeat, &pDate->repeat);
    std::vector<CommClockShift> vShifts = std::move(pPeer->clockShifts);
    *pPeer = *pDate;
    if (bSameSeries) pPeer->clockShifts = std::move(vShifts);
    // An empty text now clears the item's, except a location from a datebook of the
    // earlier layout, which has no location to clear: its record's is unknown, not empty.
    if (HoldsNoLocation(pDate)) CxCopyText(pPeer->szLocation, szItemLocation);
    pPeer->nSource = nSource;
    pPeer->nMatchState = nMatchState;
    pPeer->pPeer = pCounterpart;
    pPeer->pExtra = pExtra;
    pPeer->nExtraSize = nExtraSize;
    if (pDate->repeat.bExceptionsUnknown) {
      pPeer->repeat.bExceptionsUnknown = 0;
      SetDeletedOccurrences(pPeer, vKept.data(), static_cast<int>(vKept.size()));
      return UpdateItem(pPeer, nPos);
    }
  }
  return UpdateItem(pDate, nPos);
}

bool OlDateUtil::AddNew(CommDate* pDate) {
  if (pDate == nullptr || !m_pDateMgr || !m_pFolder) return false;
  // The copy must not share the incoming record's block, which AddItem replaces.
  auto pCopy = std::make_unique<CommDate>(*pDate);
  pCopy->pExtra = nullptr;
  pCopy->nExtraSize = 0;
  if (!AddItem(pCopy.get())) {
    FreeExtra(pCopy.get());
    return false;
  }
  // The item is Outlook's now, which keeps deleted occurrences (it has none yet).
  pCopy->repeat.bExceptionsUnknown = 0;
  m_pDateMgr->AddCopy(pCopy.get());
  FreeExtra(pCopy.get());
  return true;
}
