// The wizard's last page: the synchronization run itself, its log and its progress. Entering
// the page writes the opening lines and arms a one-shot timer; the run starts on its tick,
// about a second later, and goes to its end inside that tick (app/core/SyncRun decides and
// writes; the page shows, keeps the window alive and asks).
//
// A run does not wait between records. After each record the page lets the window repaint
// (at most every few hundredths of a second, so a calendar of thousands of records is not
// held up by painting) and take a Cancel, which stops the run after that record.
#pragma once

#include <QElapsedTimer>
#include <QStringList>
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
#define SYNCDATEPROC_REPAINT_MS 40

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

  // Cancel while the run goes: it stops after the record being written.
  void RequestStop() { m_bStopRequested = true; }
  bool IsRunning() const { return m_bRunning; }
  bool HasRun() const { return m_bRan; }
  // False once a run could not save the Palm calendar or the history.
  bool SavedAll() const { return m_bSavedAll; }

 private:
  SyncRunCallbacks MakeCallbacks();
  void OnStartTimer();
  void KeepResponsive();
  // Shows the log lines not shown yet.
  void FlushLog();
  bool AskConflict(const CommDate* pPalm, const CommDate* pOutlook, ConflictAnswer* pAnswer);

  TfmSyncDate* m_pFrame;
  AppCalendar& m_Calendar;
  TAppSettings& m_Settings;
  SyncHistoryMgr& m_History;
  bool m_bRunning = false;
  bool m_bStopRequested = false;
  QElapsedTimer m_Repaint;
  QStringList m_PendingLines;
  bool m_bRan = false;
  bool m_bSavedAll = true;
  QPlainTextEdit* m_pLog = nullptr;
  QProgressBar* m_pProgress = nullptr;
  QTimer* m_pStartTimer = nullptr;
};
