// What the synchronization wizard decides without drawing anything: the date range of a preset,
// the committed range, the rows of the record page (which records of which store, in which
// order, with their "Sync Type" text) and the commit of the checked rows into the two
// selection lists.
//
// Ranges are whole days of the automation date scale (days since 1899-12-30), both ends
// included; "today" is the local date at midnight.
#pragma once

#include <vector>

#include "app/core/AppSettings.h"
#include "common/calendar/CommDate.h"
#include "common/calendar/CommDateMgr.h"
#include "common/misc/CxList.h"

struct TrackPlan;

#define SYNC_TYPE_P2O "Palm Desktop to Outlook"
#define SYNC_TYPE_O2P "Outlook to Palm Desktop"
#define SYNC_TYPE_CONFLICT "Have Conflicts"
#define SYNC_TYPE_UPDATE_OUTLOOK "Update Outlook"
#define SYNC_TYPE_UPDATE_PALM "Update Palm Desktop"
#define SYNC_TYPE_DELETE_OUTLOOK "Delete from Outlook"
#define SYNC_TYPE_DELETE_PALM "Delete from Palm Desktop"
#define SYNC_CALENDAR_PALM "Palm Desktop"
#define SYNC_CALENDAR_OUTLOOK "Outlook"
#define SYNC_NOTHING_SELECTED \
  "No Palm Desktop or Outlook Calendar event is selected, synchronization can not proceed."

// The dates of a preset (RANGE_TODAY .. RANGE_THIS_YEAR) around pToday. False, dates
// untouched, for RANGE_CUSTOM or any other value.
bool GetPresetRange(int nRangeKind, const SYSTEMTIME* pToday, SYSTEMTIME* pFrom, SYSTEMTIME* pTo);

// Today's local date at midnight, with its day of week.
void GetToday(SYSTEMTIME* pToday);

// Commits the range page: all data clears the three range fields; otherwise RangeFrom and
// RangeTo take the whole day numbers of the two dates, the smaller first (reversed dates are
// swapped), and RangeKind keeps its value.
void CommitRange(TAppSettings& settings, bool bAllData, const SYSTEMTIME* pFrom,
                 const SYSTEMTIME* pTo);

// The committed range as dates (RangeFrom, RangeTo); false, dates untouched, while both are 0 or
// when a day number is not a date.
bool GetCommittedRange(const TAppSettings& settings, SYSTEMTIME* pFrom, SYSTEMTIME* pTo);

// Sets the range fields for a preset of the main window's buttons and commits its dates, as
// pressing the button and advancing the wizard once does.
void CommitPresetRange(TAppSettings& settings, int nRangeKind, const SYSTEMTIME* pToday);

struct SyncRow {
  CommDate* pDate;  // points into a record set
  const char* szSyncType;
  bool bChecked;
  // Why a row comes unchecked; null when it comes checked.
  const char* szReason = nullptr;
};

// The record page's rows for the settings' direction and range: new or changed Palm records
// (directions 1 and 3), then new or changed Outlook records (directions 2 and 3), each in set
// order, filtered by OccursInRange unless the range means all data. Every row is checked.
// With a plan of the remembering sync, the rows are the plan's instead (Palm records first,
// then Outlook records, each in set order), with its own "Sync Type" texts; deletions held
// back by the mass-deletion guard come unchecked with their reason.
void BuildSyncRows(CommDateMgr* pPalmSet, CommDateMgr* pOutlookSet, const TAppSettings& settings,
                   std::vector<SyncRow>& vRows, TrackPlan* pPlan = nullptr);

// The calendar a row's record comes from: in two-way mode a changed pair is listed twice, and
// only this tells the two rows apart. Empty for a record of neither store.
const char* SyncCalendarName(const CommDate* pDate);

// What the record page says when the range holds nothing to synchronize, naming the range:
// "There is nothing to synchronize from 12/06/2026 to 12/12/2026.", or, for all data, "There
// is nothing to synchronize in either calendar."
void DescribeEmptyRange(const TAppSettings& settings, char* szBuf, size_t nSize);

// The action list's selection for a stored conflict action (anything outside 0..3 selects
// "Remind Me").
int ActionIndexFor(int nConfAction);

enum CommitResult {
  COMMIT_OK = 0,
  COMMIT_NO_LISTS = 1,  // calendar initialization had failed: no message
  COMMIT_NOTHING = 2,   // nothing checked: SYNC_NOTHING_SELECTED
};

// Commits the record page: ConfAction takes nConfAction (also when the commit then fails),
// both lists are emptied and filled with the checked rows' records by their source.
CommitResult CommitSyncRows(TAppSettings& settings, int nConfAction,
                            const std::vector<SyncRow>& vRows, CxList* pPalmSel,
                            CxList* pOutlookSel);
