// The synchronization wizard's frame: a fixed-size dialog with a white band that names the step,
// the three pages on top of each other (which dates, which records, the run) and the buttons
// that move between them. The frame creates, owns and destroys its pages; a wizard serves one
// synchronization and is made anew for the next.
//
// The pages change AppSettings as they are left forward (the range, the conflict action), so
// those stay changed after a Cancel; the run page changes the stores. Whoever opened the wizard
// asks HasRun afterwards: once the run has run, the stores hold what it wrote, whichever button
// closed the wizard.
#pragma once

#include <QDialog>

#include "app/core/AppSettings.h"

class AppCalendar;
class QCloseEvent;
class QLabel;
class QPushButton;
class QStackedWidget;
class TfmSyncDateData;
class TfmSyncDateProc;
class TfmSyncDateRange;

#define SYNCDATE_PAGE_RANGE 0
#define SYNCDATE_PAGE_DATA 1
#define SYNCDATE_PAGE_PROC 2

class TfmSyncDate : public QDialog {
  Q_OBJECT

 public:
  // Creates the three pages, fills the range page from the settings and shows it.
  TfmSyncDate(AppCalendar& calendar, TAppSettings& settings, QWidget* pParent);
  ~TfmSyncDate() override;

  // "Next >" / "Finish": commits the page shown and moves on; on the record page a failed
  // commit stays there; on the run page it closes the wizard with OK.
  void Next();
  // "< Prev": one page back, neither refilled nor described anew.
  void Prev();
  // Buttons and the visible page for the current page index.
  void ShowPage();
  // The line under the title; bAlert shows it in red, for what went wrong.
  void SetDescription(const char* szText, bool bAlert = false);

  int GetPageIndex() const { return m_nPage; }
  // The run has started: the stores may hold what it wrote.
  bool HasRun() const;
  // False when a run could not save everything it transferred.
  bool SavedAll() const;
  // While the run goes, the wizard keeps its page buttons off and does not close: Cancel, Escape
  // and the close box ask the run to stop after the record being written.
  void SetRunning(bool bRunning);

  TfmSyncDateRange* GetRangePage() const { return m_pRange; }
  TfmSyncDateData* GetDataPage() const { return m_pData; }
  TfmSyncDateProc* GetProcPage() const { return m_pProc; }

  // Cancel, Escape and the window's close box all end here.
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* pEvent) override;

 private:
  int m_nPage = SYNCDATE_PAGE_RANGE;
  bool m_bRunning = false;
  QLabel* m_pDesc = nullptr;
  QStackedWidget* m_pStack = nullptr;
  QPushButton* m_pPrev = nullptr;
  QPushButton* m_pNext = nullptr;
  QPushButton* m_pCancel = nullptr;
  // Children of m_pStack: Qt frees them with the frame.
  TfmSyncDateRange* m_pRange = nullptr;
  TfmSyncDateData* m_pData = nullptr;
  TfmSyncDateProc* m_pProc = nullptr;
};
