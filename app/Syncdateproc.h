// The wizard's last page: the synchronization run itself, its log and its progress. Entering
// the page writes the opening lines and arms a one-shot timer; the run starts on its tick,
// about a second later, and goes to its end inside that tick (app/core/SyncRun decides and
// writes; the page shows, pauses and asks).
//
// After each record the page pauses so the user can follow the log. The pause lets painting
// and other non-input events through, so the progress and the log are seen moving, but holds
// back the user's clicks and keys until the run is over; the frame meanwhile refuses to close.
#pragma once

#include <QWidget>

#include "app/core/AppSettings.h"
#include "app/core/SyncRun.h"

class AppCalendar;
class QPlainTextEdit;
class QProgressBar;
class QTimer;
class SyncHistoryMgr;
class TfmSyncDate;

#define SYNCDATEPROC_START_DELAY_MS 1000
#define SYNCDATEPROC_PAUSE_MS 100

class TfmSyncDateProc : public QWidget {
  Q_OBJECT

 public:
  TfmSyncDateProc(TfmSyncDate* pFrame, AppCalendar& calendar, TAppSettings& settings,
                  SyncHistoryMgr& history, QWidget* pParent);
  ~TfmSyncDateProc() override;

  // Describes the page, resets progress and log, writes the opening lines and arms the timer.
  void Start();
  // The wizard closes before the run began: the run no longer comes.
  void CancelStart();
  // Appends one log call's text; a text ending in CR LF leaves an empty line after it.
  void LogLine(const char* szLine);

  // The pause after each record, in milliseconds (tests shorten it).
  void SetPauseMs(int nPauseMs) { m_nPauseMs = nPauseMs; }
  bool IsRunning() const { return m_bRunning; }
  bool HasRun() const { return m_bRan; }
  // False once a run could not save the Palm calendar or the history.
  bool SavedAll() const { return m_bSavedAll; }

 private:
  SyncRunCallbacks MakeCallbacks();
  void OnStartTimer();
  void Pause();
  bool AskConflict(const CommDate* pPalm, const CommDate* pOutlook, ConflictAnswer* pAnswer);

  TfmSyncDate* m_pFrame;
  AppCalendar& m_Calendar;
  TAppSettings& m_Settings;
  SyncHistoryMgr& m_History;
  int m_nPauseMs = SYNCDATEPROC_PAUSE_MS;
  bool m_bRunning = false;
  bool m_bRan = false;
  bool m_bSavedAll = true;
  QPlainTextEdit* m_pLog = nullptr;
  QProgressBar* m_pProgress = nullptr;
  QTimer* m_pStartTimer = nullptr;
};
