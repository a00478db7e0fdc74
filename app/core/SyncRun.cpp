// The synchronization run. Every log text here is shown to the user on the run page and
// printed by the companion tool, so the texts stay exactly as users have always seen them.
#include "app/core/SyncRun.h"
#define DB_MODULE "SyncRun"
#include <cstdio>
#include <cstring>
#include <string>

#include "common/misc/CxDebugUtil.h"
#include "platform/win/WinString.h"
#include "platform/win/WinTime.h"

namespace {

const char kTransferP2O[] = "Synchronizing Calendar record from Palm Desktop to Outlook:";
const char kTransferO2P[] = "Synchronizing Calendar record from Outlook to Palm Desktop:";
const char kSucceeded[] = "Synchronization succeeded.\r\n";
const char kFailed[] = "Synchronization failed.\r\n";
const char kAlreadyInOutlook[] = "Not written: already in Outlook.\r\n";
const char kAlreadyInPalm[] = "Not written: already in Palm Desktop.\r\n";
const char kDeleteInOutlook[] = "Deleting Calendar record from Outlook:";
const char kDeleteInPalm[] = "Deleting Calendar record from Palm Desktop:";

}  // namespace

const char* SyncRunDescription(int nSyncMode) {
  switch (nSyncMode) {
    case SYNC_PALM_TO_OUTLOOK:
      return "Transfer Palm Desktop Calendar information to Outlook.";
    case SYNC_OUTLOOK_TO_PALM:
      return "Transfer Outlook Calendar information to Palm Desktop.";
    default:
      return "Perform two-way Calendar synchronization between Palm Desktop and Outlook.";
  }
}

void ConflictFieldsThatDiffer(const CommDate* pPalm, const CommDate* pOutlook,
                              std::vector<int>& vFieldIds) {
  vFieldIds.clear();
  if (pPalm == nullptr || pOutlook == nullptr) return;
  // Room for the longest display text (a note); the texts are compared, not shown.
  constexpr int kTextChars = static_cast<int>(COMM_NOTE_SIZE);
  std::vector<char> vPalmText(kTextChars + 1);
  std::vector<char> vOutlookText(kTextChars + 1);
  for (int nId = 1; nId <= FIELD_COUNT; ++nId) {
    if (nId == FIELD_START_DATE_TIME) continue;
    if (nId == FIELD_END_DATE_TIME && pPalm->stEnd.wYear == pOutlook->stEnd.wYear &&
        pPalm->stEnd.wMonth == pOutlook->stEnd.wMonth &&
        pPalm->stEnd.wDay == pOutlook->stEnd.wDay) {
      continue;
    }
    CommField field = {};
    field.nId = nId;
    if (!GetFieldText(pPalm, &field, vPalmText.data(), kTextChars + 1) ||
        !GetFieldText(pOutlook, &field, vOutlookText.data(), kTextChars + 1)) {
      continue;
    }
    // Notes travel through stores that rewrite line ends and case: those are no difference.
    const bool bSame = nId == FIELD_NOTE ? SameNoteText(vPalmText.data(), vOutlookText.data())
                                         : strcmp(vPalmText.data(), vOutlookText.data()) == 0;
    if (!bSame) vFieldIds.push_back(nId);
  }
}

DATE CurrentAutomationDate() {
  SYSTEMTIME stNow;
  GetLocalTime(&stNow);
  DATE dtNow = 0;
  if (!SystemTimeToVariantTime(&stNow, &dtNow)) return 0;
  return dtNow;
}

SyncRun::SyncRun(ISyncTarget& target, TAppSettings& settings, SyncHistoryMgr& history,
                 SyncRunCallbacks callbacks)
    : m_Target(target), m_Settings(settings), m_History(history), m_Callbacks(callbacks) {
  m_szHistoryPath[0] = '\0';
}

SyncRun::~SyncRun() = default;

void SyncRun::SetHistoryPath(const char* szPath) {
  CxCopyText(m_szHistoryPath, szPath);
}

void SyncRun::FormatSubjectLine(const CommDate* pDate, char* szBuf, size_t nSize) {
  if (szBuf == nullptr || nSize == 0) return;
  const char* szDesc =
      (pDate != nullptr && pDate->szDescription[0] != '\0') ? pDate->szDescription : "<empty>";
  snprintf(szBuf, nSize, "%s%s: %s", "\t", "Subject", szDesc);
}

void SyncRun::FormatSummaryLine(int nSynchronized, int nSkipped, char* szBuf, size_t nSize) {
  if (szBuf == nullptr || nSize == 0) return;
  int nLen = snprintf(szBuf, nSize, "%d record(s) %s synchronized", nSynchronized,
                      nSynchronized > 1 ? "were" : "was");
  if (nSkipped > 0 && nLen > 0 && static_cast<size_t>(nLen) < nSize) {
    snprintf(szBuf + nLen, nSize - static_cast<size_t>(nLen), ", %d skipped", nSkipped);
  }
}

void SyncRun::FormatHistoryDescription(int nSyncMode, int nSkipped, char* szBuf, size_t nSize) {
  if (szBuf == nullptr || nSize == 0) return;
  if (nSkipped > 0) {
    snprintf(szBuf, nSize, "%s %d record(s) skipped.", SyncRunDescription(nSyncMode), nSkipped);
  } else {
    snprintf(szBuf, nSize, "%s", SyncRunDescription(nSyncMode));
  }
}

void SyncRun::LogLine(const char* szLine) {
  if (m_Callbacks.log) m_Callbacks.log(szLine);
}

void SyncRun::LogSubject(const CommDate* pDate) {
  char szLine[300];
  FormatSubjectLine(pDate, szLine, sizeof(szLine));
  LogLine(szLine);
}

void SyncRun::LogKeptClockTime(const CommDate* pDate) {
  // Palm Desktop keeps no zone: a series of another zone repeats there at its start's local
  // clock time, which its occurrences leave for part of the year.
  char szLine[200];
  snprintf(szLine, sizeof(szLine),
           "Note: it repeats in another time zone; Palm Desktop keeps it at %02u:%02u local time, "
           "so part of the year its occurrences stand apart from Outlook's.\r\n",
           pDate->stStart.wHour, pDate->stStart.wMinute);
  LogLine(szLine);
}

void SyncRun::Start() {
  if (m_Callbacks.describe) m_Callbacks.describe("Calendar synchronizing in progress...");
  if (m_Callbacks.progress) m_Callbacks.progress(0);
  LogLine("Start synchronizing Calendar records ...");
  LogLine(std::string(SYNC_LOG_RULE_WIDTH, '=').c_str());
  LogLine("\r\n");
}

bool SyncRun::Transfer(CommDate* pDate, bool bToOutlook) {
  return TransferWith(pDate, bToOutlook, [&]() {
    return bToOutlook ? m_Target.WriteToOutlook(pDate) : m_Target.WriteToPalm(pDate);
  });
}

bool SyncRun::TransferWith(CommDate* pDate, bool bToOutlook, const std::function<bool()>& write) {
  LogLine(bToOutlook ? kTransferP2O : kTransferO2P);
  LogSubject(pDate);
  const bool bOk = write();
  TransferOutcome nOutcome = bOk ? TRANSFER_DONE : TRANSFER_FAILED;
  // A store refuses to write what it already holds; that is no failure, and the user is
  // told why the record did not travel.
  if (!bOk && m_Target.HoldsSame(pDate, bToOutlook)) nOutcome = TRANSFER_ALREADY_THERE;
  switch (nOutcome) {
    case TRANSFER_DONE:
      LogLine(kSucceeded);
      if (!bToOutlook) {
        ++m_nPalmWritten;
        if (!pDate->clockShifts.empty()) LogKeptClockTime(pDate);
      }
      break;
    case TRANSFER_FAILED:
      LogLine(kFailed);
      ++m_nFailed;
      break;
    case TRANSFER_ALREADY_THERE:
      LogLine(bToOutlook ? kAlreadyInOutlook : kAlreadyInPalm);
      ++m_nAlreadyThere;
      break;
  }
  if (m_Callbacks.transferred) m_Callbacks.transferred(pDate, bToOutlook, nOutcome);
  return bOk;
}

bool SyncRun::TransferP2O(CommDate* pDate) {
  return Transfer(pDate, true);
}

bool SyncRun::TransferO2P(CommDate* pDate) {
  return Transfer(pDate, false);
}

SyncRun::RecordResult SyncRun::Skip(const CommDate* pDate, const char* szReason) {
  // The header names the way the record would have gone, so the lines read like a transfer's.
  LogLine(pDate->nSource == SOURCE_PALM ? kTransferP2O : kTransferO2P);
  LogSubject(pDate);
  char szLine[160];
  snprintf(szLine, sizeof(szLine), "Skipped: %s.\r\n", szReason);
  LogLine(szLine);
  ++m_nSkipped;
  if (m_Callbacks.skipped) m_Callbacks.skipped(pDate, szReason);
  return RECORD_SKIPPED;
}

bool SyncRun::IsSelected(const CommDate* pDate) const {
  if (pDate == nullptr) return false;
  CxList* pList = pDate->nSource == SOURCE_PALM ? m_pPalmSel : m_pOutlookSel;
  return pList != nullptr && pList->Find(pDate) != nullptr;
}

SyncRun::RecordResult SyncRun::AskAndResolve(CommDate* pDate) {
  CommDate* pPeer = pDate->pPeer;
  // Without both records of the pair (or without a way to ask) there is nothing to show.
  if (pPeer == nullptr) return Skip(pDate, "its counterpart in the other calendar is missing");
  if (!m_Callbacks.ask) return Skip(pDate, "conflicts cannot be asked about here");
  bool bFromPalm = pDate->nSource == SOURCE_PALM;
  CommDate* pPalm = bFromPalm ? pDate : pPeer;
  CommDate* pOutlook = bFromPalm ? pPeer : pDate;

  ConflictAnswer answer = {CONFLICT_SKIP, false, false};
  if (!m_Callbacks.ask(pPalm, pOutlook, &answer)) {
    // Cancel stops asking, for this run and the runs after it, until the setting is changed.
    m_Settings.ConfAction = CONFLICT_SKIP;
    return Skip(pDate, "the conflict alert was cancelled");
  }
  if (answer.bThisSync || answer.bAllFuture) {
    if (answer.nChoice >= CONFLICT_PALM_WINS && answer.nChoice <= CONFLICT_SKIP) {
      m_Settings.ConfAction = answer.nChoice;
    }
  }
  bool bTransferred = false;
  switch (answer.nChoice) {
    case CONFLICT_PALM_WINS:
      bTransferred = TransferP2O(pPalm);
      break;
    case CONFLICT_OUTLOOK_WINS:
      bTransferred = TransferO2P(pOutlook);
      break;
    default:
      return Skip(pDate, "\"Do Nothing\" was chosen for this conflict");
  }
  if (!bTransferred) return RECORD_NOT_WRITTEN;
  // Both records of the pair now hold the same appointment. Marking only the record on the
  // losing side would leave the other one changed when the conflict was raised from the Palm
  // side and Outlook won: its own turn would then ask again, or write it back a second time.
  pPalm->nMatchState = MATCH_SAME;
  pOutlook->nMatchState = MATCH_SAME;
  return RECORD_WRITTEN;
}

SyncRun::RecordResult SyncRun::HandleChanged(CommDate* pDate) {
  const bool bFromPalm = pDate->nSource == SOURCE_PALM;
  switch (m_Settings.ConfAction) {
    case CONFLICT_ASK:
      return AskAndResolve(pDate);
    case CONFLICT_PALM_WINS:
    case CONFLICT_OUTLOOK_WINS: {
      const bool bPalmWins = m_Settings.ConfAction == CONFLICT_PALM_WINS;
      if (bPalmWins == bFromPalm) {
        return Transfer(pDate, bFromPalm) ? RECORD_WRITTEN : RECORD_NOT_WRITTEN;
      }
      // The losing half of a pair whose winning half is selected: that row does the work.
      if (IsSelected(pDate->pPeer)) return RECORD_PASSED_OVER;
      return Skip(pDate, bPalmWins ? "the Palm Desktop version wins conflicts"
                                   : "the Outlook version wins conflicts");
    }
    case CONFLICT_SKIP:
      return Skip(pDate, "conflicts are set to \"Do Nothing\"");
    default:
      return Skip(pDate, "the conflict action is not known");
  }
}

SyncRun::RecordResult SyncRun::HandleRecord(CommDate* pDate) {
  if (pDate == nullptr) return RECORD_PASSED_OVER;
  bool bFromPalm = pDate->nSource == SOURCE_PALM;
  bool bFromOutlook = pDate->nSource == SOURCE_OUTLOOK;
  if (!bFromPalm && !bFromOutlook) return RECORD_PASSED_OVER;
  if (m_pPlan != nullptr) {
    TrackRow* pRow = m_pPlan->RowOf(pDate);
    return pRow != nullptr ? HandleTracked(*pRow, pDate) : RECORD_PASSED_OVER;
  }

  if (pDate->nMatchState == MATCH_NEW) {
    return Transfer(pDate, bFromPalm) ? RECORD_WRITTEN : RECORD_NOT_WRITTEN;
  }
  // A record already the same as its counterpart (its pair was resolved earlier in this run)
  // has nothing left to do.
  if (pDate->nMatchState != MATCH_CHANGED) return RECORD_PASSED_OVER;
  return HandleChanged(pDate);
}

bool SyncRun::TransferTracked(TrackRow& row, bool bToOutlook) {
  CommDate* pFrom = bToOutlook ? row.pPalm : row.pOutlook;
  CommDate* pTarget = bToOutlook ? row.pOutlook : row.pPalm;
  if (pFrom == nullptr) return false;
  const bool bOk = TransferWith(pFrom, bToOutlook, [&]() {
    return pTarget == nullptr ? m_Target.TrackAdd(pFrom, bToOutlook)
                              : m_Target.TrackUpdate(pFrom, pTarget, bToOutlook);
  });
  row.nOutcome = bOk ? TRACK_OUTCOME_DONE : TRACK_OUTCOME_FAILED;
  return bOk;
}

SyncRun::RecordResult SyncRun::ResolveTracked(TrackRow& row, CommDate* pDate) {
  if (row.pPalm == nullptr || row.pOutlook == nullptr) {
    // Deleted on one side, changed on the other: the changed record stays and goes back,
    // unless the conflict rule says the side that deleted it wins.
    const bool bPalmGone = row.pPalm == nullptr;
    if (m_Settings.ConfAction == (bPalmGone ? CONFLICT_PALM_WINS : CONFLICT_OUTLOOK_WINS)) {
      m_vDeletions.push_back(&row);
      return RECORD_PASSED_OVER;
    }
    return TransferTracked(row, !bPalmGone) ? RECORD_WRITTEN : RECORD_NOT_WRITTEN;
  }
  int nChoice = m_Settings.ConfAction;
  if (nChoice == CONFLICT_ASK) {
    if (!m_Callbacks.ask) return Skip(pDate, "conflicts cannot be asked about here");
    ConflictAnswer answer = {CONFLICT_SKIP, false, false};
    if (!m_Callbacks.ask(row.pPalm, row.pOutlook, &answer)) {
      m_Settings.ConfAction = CONFLICT_SKIP;
      return Skip(pDate, "the conflict alert was cancelled");
    }
    if ((answer.bThisSync || answer.bAllFuture) && answer.nChoice >= CONFLICT_PALM_WINS &&
        answer.nChoice <= CONFLICT_SKIP) {
      m_Settings.ConfAction = answer.nChoice;
    }
    if (answer.nChoice == CONFLICT_SKIP) {
      return Skip(pDate, "\"Do Nothing\" was chosen for this conflict");
    }
    nChoice = answer.nChoice;
  }
  switch (nChoice) {
    case CONFLICT_PALM_WINS:
    case CONFLICT_OUTLOOK_WINS:
      return TransferTracked(row, nChoice == CONFLICT_PALM_WINS) ? RECORD_WRITTEN
                                                                 : RECORD_NOT_WRITTEN;
    case CONFLICT_SKIP:
      return Skip(pDate, "conflicts are set to \"Do Nothing\"");
    default:
      return Skip(pDate, "the conflict action is not known");
  }
}

SyncRun::RecordResult SyncRun::HandleTracked(TrackRow& row, CommDate* pDate) {
  // A pair is done once, whichever of its records comes first.
  if (row.nOutcome != TRACK_OUTCOME_NONE) return RECORD_PASSED_OVER;
  switch (row.nAction) {
    case TRACK_ADD_TO_OUTLOOK:
    case TRACK_UPDATE_OUTLOOK:
      return TransferTracked(row, true) ? RECORD_WRITTEN : RECORD_NOT_WRITTEN;
    case TRACK_ADD_TO_PALM:
    case TRACK_UPDATE_PALM:
      return TransferTracked(row, false) ? RECORD_WRITTEN : RECORD_NOT_WRITTEN;
    case TRACK_DELETE_FROM_OUTLOOK:
    case TRACK_DELETE_FROM_PALM:
      // Deletions come after every other write: a deletion moves the records after it.
      m_vDeletions.push_back(&row);
      return RECORD_PASSED_OVER;
    case TRACK_CONFLICT:
      return ResolveTracked(row, pDate);
    default:
      return RECORD_PASSED_OVER;
  }
}

SyncRun::RecordResult SyncRun::DeleteTracked(TrackRow& row) {
  // The record left on one side is the one to delete.
  const bool bInOutlook = row.pPalm == nullptr;
  CommDate*& pTarget = bInOutlook ? row.pOutlook : row.pPalm;
  if (pTarget == nullptr) return RECORD_PASSED_OVER;
  LogLine(bInOutlook ? kDeleteInOutlook : kDeleteInPalm);
  LogSubject(pTarget);
  if (!m_Target.TrackDelete(pTarget, bInOutlook)) {
    LogLine(kFailed);
    ++m_nFailed;
    row.nOutcome = TRACK_OUTCOME_FAILED;
    return RECORD_NOT_WRITTEN;
  }
  // The store has freed the record.
  pTarget = nullptr;
  LogLine(kSucceeded);
  if (!bInOutlook) ++m_nPalmWritten;
  ++m_nDeleted;
  row.nOutcome = TRACK_OUTCOME_DONE;
  return RECORD_WRITTEN;
}

void SyncRun::RunDeletions() {
  for (TrackRow* pRow : m_vDeletions) {
    if (DeleteTracked(*pRow) == RECORD_WRITTEN) ++m_nSynchronized;
  }
  m_vDeletions.clear();
}

void SyncRun::SaveAndRecord(HistoryEntry& entry) {
  // The Palm calendar is saved first, so the history counts only the transfers that reached
  // their file: Outlook items are written one by one, Palm records only by this save.
  const bool bPalmSaved = m_Target.SavePalm();
  if (!bPalmSaved) {
    m_bPalmUnsaved = true;
    m_bSaveOk = false;
    m_nUnsavedPalm = m_nPalmWritten;
    Log(0, "Failed to save the Palm Desktop Calendar.");
  }
  const int nReached = m_nSynchronized - m_nUnsavedPalm;
  if (nReached > 0) {
    entry.dtEnd = CurrentAutomationDate();
    entry.nRecords = nReached;
    m_History.Add(&entry);
    if (!m_History.Save(m_szHistoryPath[0] != '\0' ? m_szHistoryPath : nullptr)) {
      m_bSaveOk = false;
      Log(0, "Failed to save the synchronization history.");
      const std::string strLine = std::string("The synchronization history could not be saved (") +
                                  m_History.GetLastFailure().szText + ").";
      LogLine(strLine.c_str());
    }
    if (!m_History.GetNotice().empty()) LogLine(m_History.GetNotice().c_str());
  }
  if (bPalmSaved) return;
  std::string strReason = m_Target.DescribePalmFailure();
  if (strReason.empty()) strReason = "the Palm Desktop calendar could not be written";
  // The run's lines stay as they were; this last line says plainly what they now mean.
  char szLine[CX_FAILURE_TEXT_SIZE + 128];
  if (m_nUnsavedPalm == 0) {
    snprintf(szLine, sizeof(szLine), "The Palm Desktop calendar could not be saved (%s).",
             strReason.c_str());
  } else {
    snprintf(szLine, sizeof(szLine), "%d %s to Palm Desktop %s not saved (%s).", m_nUnsavedPalm,
             m_nUnsavedPalm == 1 ? "transfer" : "transfers", m_nUnsavedPalm == 1 ? "was" : "were",
             strReason.c_str());
  }
  LogLine(szLine);
}

void SyncRun::Run(CxList* pPalmSel, CxList* pOutlookSel) {
  m_nProcessed = 0;
  m_nSynchronized = 0;
  m_nFailed = 0;
  m_nAlreadyThere = 0;
  m_nSkipped = 0;
  m_nPalmWritten = 0;
  m_pPalmSel = pPalmSel;
  m_pOutlookSel = pOutlookSel;
  m_bStopped = false;
  m_nUnsavedPalm = 0;
  m_bSaveOk = true;
  m_bPalmUnsaved = false;
  m_nDeleted = 0;
  m_vDeletions.clear();
  m_strRefusal.clear();
  m_nTotal = static_cast<int>((pPalmSel != nullptr ? pPalmSel->GetCount() : 0) +
                              (pOutlookSel != nullptr ? pOutlookSel->GetCount() : 0));
  // A calendar that cannot be written would fail every transfer into it one by one, or take
  // them into a journal that is never folded; the run is refused whole instead, before
  // anything is written, counted or recorded, as a save that failed.
  if (m_nTotal > 0 && m_bRecordRun) {
    m_strRefusal = m_Target.CheckWritable(m_Settings.SyncMode != SYNC_OUTLOOK_TO_PALM,
                                          m_Settings.SyncMode != SYNC_PALM_TO_OUTLOOK);
  }
  if (!m_strRefusal.empty()) {
    m_bSaveOk = false;
    Log(0, "Synchronization not started: %s", m_strRefusal.c_str());
    LogLine(("Synchronization not started: " + m_strRefusal + ".").c_str());
  } else if (m_nTotal > 0) {
    HistoryEntry entry;
    memset(&entry, 0, sizeof(entry));
    entry.dtStart = CurrentAutomationDate();

    CxList* lists[] = {pPalmSel, pOutlookSel};
    for (CxList* pList : lists) {
      if (pList == nullptr || m_bStopped) continue;
      // The handling writes into the stores, never into the selection lists, so positions
      // stay valid; walking by index keeps the list's cursor out of the way.
      UINT nCount = pList->GetCount();
      for (UINT nIndex = 0; nIndex < nCount && !m_bStopped; ++nIndex) {
        CommDate* pDate = static_cast<CommDate*>(pList->GetAt(nIndex));
        if (HandleRecord(pDate) == RECORD_WRITTEN) ++m_nSynchronized;
        ++m_nProcessed;
        if (m_Callbacks.progress) {
          m_Callbacks.progress(static_cast<int>(static_cast<double>(m_nProcessed) /
                                                static_cast<double>(m_nTotal) * 100.0));
        }
        if (m_Callbacks.pause) m_Callbacks.pause();
        // Between two records nothing is half-written: the run can end here like at its end.
        if (m_nProcessed < m_nTotal && m_Callbacks.stop && m_Callbacks.stop()) m_bStopped = true;
      }
    }

    // A stopped run leaves its deletions for the next run, which proposes them again.
    if (!m_bStopped) RunDeletions();
    m_vDeletions.clear();
    if (m_bStopped) {
      char szStopped[128];
      snprintf(szStopped, sizeof(szStopped),
               "Synchronization stopped by the user after %d of %d record(s).\r\n", m_nProcessed,
               m_nTotal);
      LogLine(szStopped);
    }
    LogLine("Synchronizing Calendar records finished:");
    char szSummary[96];
    FormatSummaryLine(m_nSynchronized, m_nSkipped, szSummary, sizeof(szSummary));
    LogLine(szSummary);
    FormatHistoryDescription(m_Settings.SyncMode, m_nSkipped, entry.szDesc, sizeof(entry.szDesc));
    if (m_nDeleted > 0) {
      const size_t nLen = strlen(entry.szDesc);
      snprintf(entry.szDesc + nLen, sizeof(entry.szDesc) - nLen, " %d record(s) deleted.",
               m_nDeleted);
    }

    if (m_nSynchronized > 0 && m_bRecordRun) SaveAndRecord(entry);
    if (m_Callbacks.progress && !m_bStopped) m_Callbacks.progress(100);
  }
  // A calendar that could not be saved would be remembered as it never became.
  if (m_pPlan != nullptr && m_bRecordRun && !m_bPalmUnsaved && !m_Target.TrackRemember(*m_pPlan)) {
    LogLine(
        "The synchronized appointments could not be remembered; the next run pairs them again.");
  }
  m_pPalmSel = nullptr;
  m_pOutlookSel = nullptr;
  if (m_Callbacks.describe) {
    bool bAlert = false;
    m_Callbacks.describe(DescribeOutcome(&bAlert).c_str());
  }
}

std::string SyncRun::DescribeOutcome(bool* pbAlert) const {
  const bool bAlert = m_nFailed > 0 || !m_bSaveOk;
  if (pbAlert != nullptr) *pbAlert = bAlert;
  if (!m_strRefusal.empty()) {
    return "Calendar synchronization failed: " + m_strRefusal + ".";
  }
  char szText[200];
  if (m_nFailed > 0 && m_nSynchronized == 0 && !m_bStopped) {
    snprintf(szText, sizeof(szText),
             "Calendar synchronization failed: %d record(s) could not be written. See the log.",
             m_nFailed);
  } else if (m_nFailed > 0) {
    snprintf(szText, sizeof(szText),
             "Calendar synchronization %s, but %d record(s) could not be written. See the log.",
             m_bStopped ? "stopped" : "completed", m_nFailed);
  } else if (!m_bSaveOk) {
    snprintf(szText, sizeof(szText), "%s",
             "Calendar synchronization completed, but not everything was saved: see the end of "
             "the log.");
  } else if (m_bStopped) {
    snprintf(szText, sizeof(szText), "%s", "Calendar synchronization stopped.");
  } else {
    snprintf(szText, sizeof(szText), "%s", "Calendar synchronization completed.");
  }
  return szText;
}
