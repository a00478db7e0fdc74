// The synchronization run: walks the Palm selection list and then the Outlook selection list,
// decides for each record from its match state, its source and the conflict action whether
// and which way it travels, writes it through the target stores, and records the run in the
// history. The run page (and the companion tool) drive it and receive its log lines, progress
// and conflict questions through callbacks; nothing here draws or blocks on a window.
//
// Records belong to the two record sets; the selection lists only point into them. The run
// reads nSource, nMatchState, szDescription and pPeer and writes nMatchState of a counterpart
// whose conflict was resolved, so that it is passed over when its own turn comes.
//
// Only records actually written count as synchronized. A selected record that is not written
// because of the conflict rule or answer is "skipped": it gets its own lines in the log and its
// own count in the summary and the history. The one exception is the losing half of a pair
// whose other half is selected too: that row carries the pair, so it is passed over silently.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/core/AppSettings.h"
#include "app/core/SyncHistory.h"
#include "app/core/SyncTrack.h"
#include "common/calendar/CommDate.h"
#include "common/misc/CxList.h"

#define SYNC_LOG_RULE_WIDTH 80

// Where the run writes: the two stores (or a stand-in that only reports).
class ISyncTarget {
 public:
  virtual ~ISyncTarget() = default;
  // True when the record was added or changed in that store.
  virtual bool WriteToOutlook(CommDate* pDate) = 0;
  virtual bool WriteToPalm(CommDate* pDate) = 0;
  // Completes the write-back of the Palm calendar; once per run.
  virtual bool SavePalm() = 0;
  // Why the last Palm save failed, for the user; empty when there is nothing to say.
  virtual std::string DescribePalmFailure() const { return std::string(); }
  // Why a store the run is to write cannot be written (the file or its folder read-only),
  // naming the file; empty when both may be written. Asked once, before anything is written.
  virtual std::string CheckWritable(bool bOutlook, bool bPalm) { return std::string(); }
  // True when that store already holds this very appointment, unchanged: a write then has
  // nothing to do (twin records of one calendar meet their first twin's copy this way).
  virtual bool HoldsSame(const CommDate* pDate, bool bInOutlook) { return false; }

  // The remembering sync's writes, which name their target instead of searching for it: a
  // new record on the other side; pFrom's contents over the record pTarget; the deletion of
  // pTarget. False when nothing was written.
  virtual bool TrackAdd(CommDate* pDate, bool bToOutlook) { return false; }
  virtual bool TrackUpdate(CommDate* pFrom, CommDate* pTarget, bool bInOutlook) { return false; }
  virtual bool TrackDelete(CommDate* pTarget, bool bInOutlook) { return false; }
  // Remembers the pairs after a run whose calendars were saved; the plan carries the run's
  // outcomes. False when they could not be remembered (the next run then adopts pairs).
  virtual bool TrackRemember(TrackPlan& plan) { return false; }
};

// How one transfer ended.
enum TransferOutcome { TRANSFER_DONE, TRANSFER_FAILED, TRANSFER_ALREADY_THERE };

// The answer to a conflict question. nChoice: CONFLICT_PALM_WINS, CONFLICT_OUTLOOK_WINS or
// CONFLICT_SKIP (the question opens on "do nothing").
struct ConflictAnswer {
  INT nChoice;
  bool bThisSync;
  bool bAllFuture;
};

struct SyncRunCallbacks {
  // One log line; a text ending in "\r\n" leaves an empty line after it.
  std::function<void(const char* szLine)> log;
  // Progress 0..100 after every record.
  std::function<void(int nPercent)> progress;
  // Called after every record (the run page lets its window repaint and take a Cancel there).
  std::function<void()> pause;
  // Asked after every record: true stops the run there. What was written stays written, the
  // Palm calendar is saved and the history records it, as at a normal end.
  std::function<bool()> stop;
  // The wizard's description line.
  std::function<void(const char* szText)> describe;
  // Shows the Palm and the Outlook record of a changed pair; true for OK with *pAnswer
  // filled, false for Cancel. Without it a conflict that needs asking is skipped.
  std::function<bool(const CommDate* pPalm, const CommDate* pOutlook, ConflictAnswer* pAnswer)> ask;
  // After every transfer, with the record written and which way it went.
  std::function<void(const CommDate* pDate, bool bToOutlook, TransferOutcome nOutcome)> transferred;
  // After every skipped record, with the reason as the log gives it ("conflicts are set to ...").
  std::function<void(const CommDate* pDate, const char* szReason)> skipped;
};

class SyncRun {
 public:
  SyncRun(ISyncTarget& target, TAppSettings& settings, SyncHistoryMgr& history,
          SyncRunCallbacks callbacks);
  virtual ~SyncRun();

  // What the run page does when it is entered: description, progress 0, the opening lines.
  void Start();

  // Runs the whole synchronization over the two selection lists (either may be null).
  void Run(CxList* pPalmSel, CxList* pOutlookSel);

  // The history file to append to; null (the default) means the data folder's.
  void SetHistoryPath(const char* szPath);
  // A rehearsal writes no history entry and does not save the Palm calendar.
  void SetRecordRun(bool bRecord) { m_bRecordRun = bRecord; }
  // Runs the remembering sync of this plan: each selected record does what its row says,
  // deletions last, and the pairs are remembered once the calendars are saved. Null (the
  // default) runs the matching sync.
  void SetTrackPlan(TrackPlan* pPlan) { m_pPlan = pPlan; }
  // Records deleted from either calendar (the remembering sync only); counted as
  // synchronized too.
  int GetDeleted() const { return m_nDeleted; }

  int GetTotal() const { return m_nTotal; }
  int GetProcessed() const { return m_nProcessed; }
  int GetSynchronized() const { return m_nSynchronized; }
  // Transfers that were tried and failed (the "Synchronization failed." lines).
  int GetFailed() const { return m_nFailed; }
  // Records not written because the other side already held the same appointment; neither
  // synchronized nor failed.
  int GetAlreadyThere() const { return m_nAlreadyThere; }
  // Selected records left unwritten by the conflict rule or answer.
  int GetSkipped() const { return m_nSkipped; }
  // False when the history or the Palm calendar could not be saved.
  bool GetSaveOk() const { return m_bSaveOk; }
  // Why the run wrote nothing because a calendar cannot be written; empty otherwise.
  const std::string& GetRefusal() const { return m_strRefusal; }
  // True when the stop callback ended the run before its last record.
  bool GetStopped() const { return m_bStopped; }
  // The wizard's description line for the run's end: whether it failed, partly failed, was
  // stopped or completed; *pbAlert is set when the line tells of something that went wrong.
  std::string DescribeOutcome(bool* pbAlert) const;
  // Transfers to Palm Desktop that were written into the store but never reached its file,
  // because the Palm save failed.
  int GetUnsavedPalm() const { return m_nUnsavedPalm; }

  // "\tSubject: <description>", "<empty>" standing in for a missing or empty description.
  static void FormatSubjectLine(const CommDate* pDate, char* szBuf, size_t nSize);
  // "N record(s) were synchronized", followed by ", M skipped" when records were skipped.
  static void FormatSummaryLine(int nSynchronized, int nSkipped, char* szBuf, size_t nSize);
  // The history description: the direction's text, followed by the skipped count if any.
  static void FormatHistoryDescription(int nSyncMode, int nSkipped, char* szBuf, size_t nSize);

 private:
  // What became of one selected record.
  enum RecordResult { RECORD_WRITTEN, RECORD_NOT_WRITTEN, RECORD_SKIPPED, RECORD_PASSED_OVER };

  RecordResult HandleRecord(CommDate* pDate);
  RecordResult HandleTracked(TrackRow& row, CommDate* pDate);
  RecordResult ResolveTracked(TrackRow& row, CommDate* pDate);
  bool TransferTracked(TrackRow& row, bool bToOutlook);
  RecordResult DeleteTracked(TrackRow& row);
  void RunDeletions();
  RecordResult HandleChanged(CommDate* pDate);
  RecordResult Skip(const CommDate* pDate, const char* szReason);
  bool IsSelected(const CommDate* pDate) const;
  void SaveAndRecord(HistoryEntry& entry);
  RecordResult AskAndResolve(CommDate* pDate);
  bool TransferP2O(CommDate* pDate);
  bool TransferO2P(CommDate* pDate);
  bool Transfer(CommDate* pDate, bool bToOutlook);
  bool TransferWith(CommDate* pDate, bool bToOutlook, const std::function<bool()>& write);
  void LogLine(const char* szLine);
  void LogSubject(const CommDate* pDate);
  // Tells that the Palm holds a series of another zone at one local clock time.
  void LogKeptClockTime(const CommDate* pDate);

  ISyncTarget& m_Target;
  TAppSettings& m_Settings;
  SyncHistoryMgr& m_History;
  SyncRunCallbacks m_Callbacks;
  char m_szHistoryPath[MAX_PATH];
  bool m_bRecordRun = true;
  int m_nTotal = 0;
  int m_nProcessed = 0;
  int m_nSynchronized = 0;
  int m_nFailed = 0;
  int m_nAlreadyThere = 0;
  int m_nSkipped = 0;
  int m_nPalmWritten = 0;
  CxList* m_pPalmSel = nullptr;
  CxList* m_pOutlookSel = nullptr;
  int m_nUnsavedPalm = 0;
  bool m_bSaveOk = true;
  bool m_bStopped = false;
  bool m_bPalmUnsaved = false;
  TrackPlan* m_pPlan = nullptr;
  std::vector<TrackRow*> m_vDeletions;
  int m_nDeleted = 0;
  std::string m_strRefusal;
};

// The fields whose display texts differ between the two versions of a changed pair, in field
// order, so a conflict can be judged on what actually differs. The combined start (date and
// start time) is never listed: the date and the start time are. The combined end is listed
// only when the end falls on a different day, which the end time alone does not show.
void ConflictFieldsThatDiffer(const CommDate* pPalm, const CommDate* pOutlook,
                              std::vector<int>& vFieldIds);

// The history description of a run in the given direction.
const char* SyncRunDescription(int nSyncMode);

// The current local time as an automation date.
DATE CurrentAutomationDate();
