// Range presets, record page rows and the commit into the selection lists.
#include "app/core/SyncWizard.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/core/SyncTrack.h"
#include "common/misc/CxDateTime.h"
#include "common/misc/WinUtil.h"
#include "platform/win/WinTime.h"

namespace {

// Whole day number of a date (the automation date truncated toward zero); 0 when the date
// cannot be converted.
DWORD DayNumberOf(const SYSTEMTIME* pDate) {
  SYSTEMTIME stDay = *pDate;
  stDay.wHour = stDay.wMinute = stDay.wSecond = stDay.wMilliseconds = 0;
  DATE dtDay = 0;
  if (!SystemTimeToVariantTime(&stDay, &dtDay) || dtDay < 0) return 0;
  return static_cast<DWORD>(std::trunc(dtDay));
}

bool DateOfDayNumber(DWORD nDay, SYSTEMTIME* pDate) {
  return VariantTimeToSystemTime(static_cast<DATE>(nDay), pDate) != FALSE;
}

bool IsAllData(const TAppSettings& settings) {
  return settings.RangeKind == 0 && settings.RangeFrom == 0 && settings.RangeTo == 0;
}

}  // namespace

void GetToday(SYSTEMTIME* pToday) {
  SYSTEMTIME stNow;
  GetLocalTime(&stNow);
  stNow.wHour = stNow.wMinute = stNow.wSecond = stNow.wMilliseconds = 0;
  // AddDays by 0 recomputes the day of week from the date.
  AddDays(&stNow, 0);
  *pToday = stNow;
}

bool GetPresetRange(int nRangeKind, const SYSTEMTIME* pToday, SYSTEMTIME* pFrom, SYSTEMTIME* pTo) {
  if (pToday == nullptr || pFrom == nullptr || pTo == nullptr) return false;
  SYSTEMTIME stToday = *pToday;
  if (!AddDays(&stToday, 0)) return false;  // midnight, true day of week
  SYSTEMTIME stFrom = stToday;
  SYSTEMTIME stTo = stToday;
  int nWeekday = stToday.wDayOfWeek + 1;  // 1 = Sunday .. 7 = Saturday
  int nDaysInMonth = DaysInMonth(stToday.wYear, stToday.wMonth);
  switch (nRangeKind) {
    case RANGE_TODAY:
      break;
    case RANGE_THIS_WEEK:
      AddDays(&stFrom, -(nWeekday - 1));
      AddDays(&stTo, 7 - nWeekday);
      break;
    case RANGE_THIS_MONTH:
      AddDays(&stFrom, -(stToday.wDay - 1));
      AddDays(&stTo, nDaysInMonth - stToday.wDay);
      break;
    case RANGE_THIS_YEAR:
      stFrom.wMonth = 1;
      stFrom.wDay = 1;
      stTo.wMonth = 12;
      stTo.wDay = 31;
      AddDays(&stFrom, 0);
      AddDays(&stTo, 0);
      break;
    default:
      return false;
  }
  *pFrom = stFrom;
  *pTo = stTo;
  return true;
}

void CommitRange(TAppSettings& settings, bool bAllData, const SYSTEMTIME* pFrom,
                 const SYSTEMTIME* pTo) {
  if (bAllData || pFrom == nullptr || pTo == nullptr) {
    settings.RangeFrom = 0;
    settings.RangeTo = 0;
    settings.RangeKind = 0;
    return;
  }
  DWORD nFrom = DayNumberOf(pFrom);
  DWORD nTo = DayNumberOf(pTo);
  settings.RangeFrom = nFrom < nTo ? nFrom : nTo;
  settings.RangeTo = nFrom < nTo ? nTo : nFrom;
}

bool GetCommittedRange(const TAppSettings& settings, SYSTEMTIME* pFrom, SYSTEMTIME* pTo) {
  if (pFrom == nullptr || pTo == nullptr) return false;
  if (settings.RangeFrom == 0 && settings.RangeTo == 0) return false;
  SYSTEMTIME stFrom;
  SYSTEMTIME stTo;
  if (!DateOfDayNumber(settings.RangeFrom, &stFrom) || !DateOfDayNumber(settings.RangeTo, &stTo)) {
    return false;
  }
  *pFrom = stFrom;
  *pTo = stTo;
  return true;
}

void CommitPresetRange(TAppSettings& settings, int nRangeKind, const SYSTEMTIME* pToday) {
  settings.RangeKind = nRangeKind;
  settings.RangeFrom = 0;
  settings.RangeTo = 0;
  SYSTEMTIME stFrom;
  SYSTEMTIME stTo;
  if (GetPresetRange(nRangeKind, pToday, &stFrom, &stTo)) {
    CommitRange(settings, false, &stFrom, &stTo);
  } else {
    CommitRange(settings, true, nullptr, nullptr);
  }
}

void BuildSyncRows(CommDateMgr* pPalmSet, CommDateMgr* pOutlookSet, const TAppSettings& settings,
                   std::vector<SyncRow>& vRows, TrackPlan* pPlan) {
  vRows.clear();
  bool bFilter = !IsAllData(settings);
  SYSTEMTIME stFirst = {};
  SYSTEMTIME stLast = {};
  if (bFilter && (!DateOfDayNumber(settings.RangeFrom, &stFirst) ||
                  !DateOfDayNumber(settings.RangeTo, &stLast))) {
    return;
  }
  struct Side {
    CommDateMgr* pSet;
    bool bShown;
    const char* szOwnDirection;
    int nOwnMode;
  };
  const Side sides[] = {
      {pPalmSet, settings.SyncMode == SYNC_PALM_TO_OUTLOOK || settings.SyncMode == SYNC_TWO_WAY,
       SYNC_TYPE_P2O, SYNC_PALM_TO_OUTLOOK},
      {pOutlookSet, settings.SyncMode == SYNC_OUTLOOK_TO_PALM || settings.SyncMode == SYNC_TWO_WAY,
       SYNC_TYPE_O2P, SYNC_OUTLOOK_TO_PALM},
  };
  if (pPlan != nullptr) {
    // A deletion shows the record that is left; a pair is listed once, by the record that
    // travels (or, for a conflict, by its Palm record).
    for (CommDateMgr* pSet : {pPalmSet, pOutlookSet}) {
      if (pSet == nullptr) continue;
      for (CommDate* pDate = pSet->GetFirst(); pDate != nullptr; pDate = pSet->GetNext()) {
        const TrackRow* pRow = pPlan->RowOf(pDate);
        if (pRow == nullptr || TrackRowRecord(*pRow, settings.SyncMode) != pDate) continue;
        const char* szType = TrackSyncType(*pRow);
        if (szType == nullptr) continue;
        if (bFilter && !OccursInRange(pDate, &stFirst, &stLast)) continue;
        vRows.push_back({pDate, szType, pRow->bChecked, pRow->szReason});
      }
    }
    return;
  }
  for (const Side& side : sides) {
    if (side.pSet == nullptr || !side.bShown) continue;
    for (CommDate* pDate = side.pSet->GetFirst(); pDate != nullptr; pDate = side.pSet->GetNext()) {
      if (pDate->nMatchState != MATCH_NEW && pDate->nMatchState != MATCH_CHANGED) continue;
      if (bFilter && !OccursInRange(pDate, &stFirst, &stLast)) continue;
      bool bOneWay = pDate->nMatchState == MATCH_NEW || settings.SyncMode == side.nOwnMode;
      vRows.push_back({pDate, bOneWay ? side.szOwnDirection : SYNC_TYPE_CONFLICT, true});
    }
  }
}

const char* SyncCalendarName(const CommDate* pDate) {
  if (pDate == nullptr) return "";
  if (pDate->nSource == SOURCE_PALM) return SYNC_CALENDAR_PALM;
  if (pDate->nSource == SOURCE_OUTLOOK) return SYNC_CALENDAR_OUTLOOK;
  return "";
}

void DescribeEmptyRange(const TAppSettings& settings, char* szBuf, size_t nSize) {
  if (szBuf == nullptr || nSize == 0) return;
  SYSTEMTIME stFrom;
  SYSTEMTIME stTo;
  if (!GetCommittedRange(settings, &stFrom, &stTo)) {
    snprintf(szBuf, nSize, "%s", "There is nothing to synchronize in either calendar.");
    return;
  }
  CxDateTime from;
  CxDateTime to;
  from.SetTime(&stFrom);
  to.SetTime(&stTo);
  char szFrom[CX_DATETIME_TEXT_SIZE];
  char szTo[CX_DATETIME_TEXT_SIZE];
  from.GetDateText(szFrom);
  to.GetDateText(szTo);
  snprintf(szBuf, nSize, "There is nothing to synchronize from %s to %s.", szFrom, szTo);
}

int ActionIndexFor(int nConfAction) {
  return (nConfAction >= CONFLICT_ASK && nConfAction <= CONFLICT_SKIP) ? nConfAction : CONFLICT_ASK;
}

CommitResult CommitSyncRows(TAppSettings& settings, int nConfAction,
                            const std::vector<SyncRow>& vRows, CxList* pPalmSel,
                            CxList* pOutlookSel) {
  settings.ConfAction = nConfAction;
  if (pPalmSel == nullptr || pOutlookSel == nullptr) return COMMIT_NO_LISTS;
  pPalmSel->RemoveAll(false);
  pOutlookSel->RemoveAll(false);
  for (const SyncRow& row : vRows) {
    if (!row.bChecked || row.pDate == nullptr) continue;
    if (row.pDate->nSource == SOURCE_PALM) {
      pPalmSel->Add(row.pDate);
    } else if (row.pDate->nSource == SOURCE_OUTLOOK) {
      pOutlookSel->Add(row.pDate);
    }
  }
  if (pPalmSel->GetCount() == 0 && pOutlookSel->GetCount() == 0) return COMMIT_NOTHING;
  return COMMIT_OK;
}
