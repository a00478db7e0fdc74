// The program's main window: the Palm Desktop and the Outlook calendar side by side for the
// day chosen in a month calendar, the Palm user and the sync direction, the buttons that
// start a synchronization, and the history of past runs. Its creation runs the start-up
// steps that need the window (settings, log, Palm Desktop folder, users, the calendar
// controls); RunStartup then runs the first-run wizard, calendar initialization and the
// history; its destruction runs shut-down (direction read back, every setting written, the
// stores and libraries freed).
//
// The window holds no sync logic: the calendar state is AppCalendar, the settings the
// process-wide AppSettings, the history g_SyncHistory (app/core). Controls carry their
// design names as objectName; tests and accessibility tools find them by it.
//
// Where the windows of later work plug in. The main window reaches every other window
// through one small member each, declared together below under "Other windows". Each is
// called from every button and menu item that opens that window, with the main window's
// own follow-up already in place around it:
//   RunSyncWizard     Start, the five "Synchronize ..." buttons and File > "Synchronize ...",
//                     after the direction was read into SyncMode and the range preset set.
//                     It creates the sync wizard owned by this window, advances it once when
//                     RangeKind is not 0, runs it through AppExecModal and returns true when
//                     the wizard closed with Finish or when the sync run has run, whether the
//                     wizard then closed with Finish or with Cancel: the stores hold what the
//                     run wrote, and the caller's MatchAndShow must follow before the next
//                     sync, or records already transferred would still show as new or changed
//                     and be offered again. False for a wizard cancelled before its run.
//   OpenOptions       the "Options" button and Tools > "&Options ...": returns true for OK;
//                     the caller then reloads the Palm calendar and runs MatchAndShow.
//   OpenLogOptions    Tools > "Debug Log Options ...".
//   OpenAbout         Help > "&About DayBridge ...".
//   OpenFirstRunWizard  start-up, when ShowWizard is set, before calendar initialization.
// The error report after an escaped exception is ShowErrorReport (app/Apputil.h). A dialog
// is created on the stack of its member (owned by this window), run with AppExecModal and
// destroyed on return; it changes AppSettings only when closed with OK. The calendar state it
// needs comes from GetCalendar() and GetEnvironment().
#pragma once

#include <QMainWindow>
#include <functional>

#include "app/core/AppCalendar.h"
#include "app/core/AppMessages.h"
#include "app/core/AppStartup.h"
#include "platform/win/WinTypes.h"

class CxCalendarCtrl;
class CxDateBook;
class QAction;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeView;
class THistoryModel;
class QWidget;

#define MAIN_CLIENT_WIDTH 1014
#define MAIN_CLIENT_HEIGHT 673
#define MAIN_MIN_WIDTH 270
#define MAIN_MIN_HEIGHT 50

class TfmMain : public QMainWindow {
  Q_OBJECT

 public:
  explicit TfmMain(QWidget* pParent = nullptr);
  ~TfmMain() override;

  // The start-up steps after the window's creation: the first-run wizard when ShowWizard is
  // set, calendar initialization ("Failed to initialize Calendar data." on failure), the
  // history file and its list.
  void RunStartup();
  // Shows the window and runs RunStartup once its first frame is painted, then whenStarted:
  // the user sees the window at once instead of after the calendars are read. An exception
  // from the start-up is reported and ends the message loop with 1, as it ended the program
  // when the start-up ran before the loop.
  void ShowThenStart(std::function<void()> whenStarted);

  // Rebuilds cbDateUser from the Palm user list and selects the user of PDUserID (the first
  // user when PDUserID names none; PDUserID 0 becomes the first user's id).
  void FillUserSelector();
  // The Palm calendar of the settings' file or user; a failed load leaves the set empty and
  // its reason in the status bar (see ReportLoadFailures for when a box says it too).
  void LoadPalmCalendar();
  void LoadOutlookCalendar();
  // Matches both record sets both ways, then redraws the month calendar and shows its day.
  void MatchAndShow();
  // Fills both day books with the records of the day. False only without a date.
  bool ShowDay(const SYSTEMTIME* pDate);
  bool DayHasRecords(const SYSTEMTIME* pDate);
  // Direction buttons -> SyncMode (false when none is checked, SyncMode unchanged) and
  // SyncMode -> buttons (false for a value that names no direction).
  bool ReadDirection();
  bool WriteDirection();
  // Sets the range preset as the pressed button does (RANGE_CUSTOM keeps RangeFrom and
  // RangeTo) and starts a sync.
  void StartSyncWithRange(int nRangeKind);
  void StartSync();
  void FillHistoryList();
  // Removes the entries of the checked rows, saves the history once and rebuilds the list;
  // with no checked row nothing changes.
  void DeleteHistory();
  // Saves a picture of each page of the window into the folder; false when one could not be
  // written.
  bool SaveSnapshots(const QString& strFolder);

  AppCalendar& GetCalendar() { return m_Calendar; }
  const AppEnvironment& GetEnvironment() const { return m_Env; }
  CxCalendarCtrl* GetCalendarCtrl() const { return m_pCalendar; }
  CxDateBook* GetPalmBook() const { return m_pPalmBook; }
  CxDateBook* GetOutlookBook() const { return m_pOutlookBook; }

  // Other windows (see the top of this file).
  bool RunSyncWizard();
  bool OpenOptions();
  void OpenLogOptions();
  void OpenAbout();
  void OpenFirstRunWizard();

  void OpenHelp();
  void OpenHomePage();

 protected:
  bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

 private:
  QWidget* AddPage(const char* szName, const char* szCaption);
  void CreateHeader();
  void CreateMenus();
  void CreateDatePage();
  void CreateHistoryPage();
  void CreateCalendarControls();
  void LayoutHeader();
  // Opens at the design size, or smaller to fit the screen's free area, centered in it.
  void PlaceOnScreen();
  void LayoutDatePage();
  void LayoutHistoryPage();
  void ShowCurrentDay();
  void OnUserSelected(int nIndex);
  void OnOptions();
  void OnPageChanged(int nIndex);
  void SetAllHistoryChecks(bool bChecked);
  void ShowCalendarStatus();
  // After a load: an error box with the reason of each calendar that did not load, where the
  // user has something to act on. A calendar that is simply not there yet (a Palm user who
  // never synchronized) shows in the status bar only, unless bNamedByUser: the user has just
  // named that file. bWithOutlook: Outlook was loaded too.
  void ReportLoadFailures(bool bWithOutlook, bool bNamedByUser);

  static int IsMarkedProc(const SYSTEMTIME* pDate, void* pUserData);
  static void DateChangedProc(const SYSTEMTIME* pDate, void* pUserData);

  AppEnvironment m_Env;
  AppCalendar m_Calendar;
  UserErrorHandler m_PreviousErrorHandler;
  std::function<void()> m_WhenStarted;
  bool m_bStartAfterPaint = false;

  QWidget* m_pHeader = nullptr;
  QPushButton* m_pBtnHelp = nullptr;
  QPushButton* m_pBtnExit = nullptr;
  QTabWidget* m_pPages = nullptr;
  QWidget* m_pDatePage = nullptr;
  QWidget* m_pDateContent = nullptr;  // the page's controls, inside its scroll area
  QWidget* m_pHistoryPage = nullptr;
  QAction* m_pViewCalendar = nullptr;
  QAction* m_pViewHistory = nullptr;

  QWidget* m_pDateTop = nullptr;
  QWidget* m_pDateLeft = nullptr;
  QWidget* m_pDateMain = nullptr;
  QComboBox* m_pUser = nullptr;
  QRadioButton* m_pP2O = nullptr;
  QRadioButton* m_pO2P = nullptr;
  QRadioButton* m_pTwoWay = nullptr;
  QLabel* m_pPalmTitle = nullptr;
  QLabel* m_pOutlookTitle = nullptr;
  // The controls belong to their windows, which are children of the page (see CxWinCtrl).
  CxCalendarCtrl* m_pCalendar = nullptr;
  CxDateBook* m_pPalmBook = nullptr;
  CxDateBook* m_pOutlookBook = nullptr;

  THistoryModel* m_pHistoryRows = nullptr;
  QTreeView* m_pHistory = nullptr;
  QPushButton* m_pHisButtons[3] = {};
};
