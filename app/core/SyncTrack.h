// The remembering sync: which record of the Palm calendar is which of the Outlook calendar,
// and what each looked like when the pair was last made equal, kept between runs. Each side
// is compared against its own remembered print: a change on one side travels, a deletion on
// one side is proposed on the other, and only a change on both sides is a conflict.
//
// Keys: a Palm record's is its record id ("id:<n>"), or, for a record Palm Desktop has not
// numbered yet, its place in the file ("at:<n>"), which the program never reorders; an Outlook
// item's is its EntryID. A key that disappears while an unclaimed record of that side still
// has the remembered print is taken to be that record renumbered, not a deletion.
//
// Prints hold only what both calendars can keep, cut and normalised as the other side would
// keep it, so that a field one side cannot hold never makes a pair look changed.
//
// The decision (TrackDecide) and the plan (BuildTrackPlan) are pure: they read records and
// remembered rows and touch no store.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "common/calendar/CommDate.h"
#include "platform/jet/StateDb.h"

// How one side of a pair stands against the remembered state.
enum TrackSide {
  TRACK_SIDE_UNCHANGED,  // remembered, print as remembered
  TRACK_SIDE_CHANGED,    // remembered, print differs
  TRACK_SIDE_GONE,       // remembered, no longer in the calendar
  TRACK_SIDE_NEW,        // not remembered, in the calendar
  TRACK_SIDE_ABSENT,     // not remembered, not in the calendar
};

enum TrackAction {
  TRACK_NOTHING,
  TRACK_ADD_TO_OUTLOOK,
  TRACK_ADD_TO_PALM,
  TRACK_UPDATE_OUTLOOK,
  TRACK_UPDATE_PALM,
  TRACK_DELETE_FROM_OUTLOOK,
  TRACK_DELETE_FROM_PALM,
  // Both sides changed, differently; or one side gone and the other changed (then keeping
  // the changed record is what happens unless the conflict action says the gone side wins).
  TRACK_CONFLICT,
  // Gone from both sides: the pair is forgotten.
  TRACK_FORGET,
};

enum TrackOutcome { TRACK_OUTCOME_NONE, TRACK_OUTCOME_DONE, TRACK_OUTCOME_FAILED };

// What becomes of a pair whose sides stand as given. bSameNow: both sides are present and
// their prints agree. Actions the direction does not allow become TRACK_NOTHING, except a
// conflict, which the conflict action settles as it always has.
TrackAction TrackDecide(int nPalm, int nOutlook, bool bSameNow, int nSyncMode);

// The print of a record: a short hash of every field both calendars hold. nPalmKind decides
// which fields the Palm calendar holds (the earlier datebook has no location, the database
// keeps no deleted occurrences).
std::string TrackPrint(const CommDate* pDate, int nPalmKind);
// The matching identity of a record without state: description without regard to case,
// start and end day, all-day flag.
std::string TrackIdentity(const CommDate* pDate);

// One record as the tracker sees it.
struct TrackRecord {
  CommDate* pDate;
  std::string strKey;
  std::string strPrint;
};

struct TrackRow {
  TrackAction nAction = TRACK_NOTHING;
  int nPalmSide = TRACK_SIDE_ABSENT;
  int nOutlookSide = TRACK_SIDE_ABSENT;
  CommDate* pPalm = nullptr;  // null when gone
  CommDate* pOutlook = nullptr;
  std::string strPalmKey;
  std::string strOutlookKey;
  int nState = -1;  // the remembered row, -1 for none
  bool bChecked = true;
  const char* szReason = nullptr;  // why the row comes unchecked
  TrackOutcome nOutcome = TRACK_OUTCOME_NONE;
};

// Deletions are held back when a run would delete more than this share of the remembered
// pairs, and more than this many: a calendar emptied by mistake must not empty the other.
inline constexpr int TRACK_MASS_DELETE_PERCENT = 10;
inline constexpr int TRACK_MASS_DELETE_MIN = 5;
#define TRACK_MASS_DELETE_REASON \
  "held back: this run would delete more than a tenth of the synchronized appointments"

struct TrackPlan {
  std::vector<StateDbRow> vState;
  std::vector<TrackRow> vRows;
  int nDeletes = 0;
  bool bMassDelete = false;
  // The row a record belongs to; null for none.
  TrackRow* RowOf(const CommDate* pDate);
  std::unordered_map<const CommDate*, size_t> rowIndex;
};

// Pairs the records of both sides with the remembered rows, then by identity, and decides
// every pair. Sets nMatchState and pPeer of every record to agree with its row (same, new,
// changed), so views show what the run will do.
void BuildTrackPlan(const std::vector<TrackRecord>& vPalm, const std::vector<TrackRecord>& vOutlook,
                    std::vector<StateDbRow> vState, int nSyncMode, bool bAllowMassDelete,
                    TrackPlan& plan);

// The rows to remember after a run, from the plan with its outcomes and the records as the
// saved calendars now hold them: pairs made equal take their new prints, pairs left alone
// keep their old ones, carried deletions and forgotten pairs are dropped, and a record added
// to the other side is paired with the copy it left there.
void BuildTrackState(const TrackPlan& plan, const std::vector<TrackRecord>& vPalm,
                     const std::vector<TrackRecord>& vOutlook, std::vector<StateDbRow>& vOut);

// The record page's "Sync Type" text of a row; null for a row that does nothing.
const char* TrackSyncType(const TrackRow& row);
// The record that stands for the row on the record page and in the selection lists.
CommDate* TrackRowRecord(const TrackRow& row, int nSyncMode);
