// The main window on a demo environment (support/ui/MainWindowFixture.h): what the window
// shows and what it hands to the core.
#include "app/Main.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/Apputil.h"
#include "app/Syncdate.h"
#include "app/core/AppSettings.h"
#include "app/core/SyncHistory.h"
#include "app/core/SyncWizard.h"
#include "common/misc/WinUtil.h"
#include "common/palm/PalmDateInfo.h"
#include "platform/win/WinString.h"
#include "platform/win/WinTime.h"
#include "support/demo/DemoEnvironment.h"
#include "support/files/CalendarSabotage.h"
#include "support/ui/DialogTest.h"
#include "support/ui/MainWindowFixture.h"
#include "support/ui/UiRecorder.h"
#include "views/CxCalendarCtrl.h"
#include "views/CxDateBook.h"
#include "views/CxWinCtrlWindow.h"

namespace {

bool SameDay(const SYSTEMTIME* a, const SYSTEMTIME& b) {
  return a->wYear == b.wYear && a->wMonth == b.wMonth && a->wDay == b.wDay;
}

std::string ReadFile(const std::string& sPath) {
  std::ifstream in(sPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The "key=value" lines of the settings file's one section.
std::vector<std::string> SettingLines(const std::string& sPath) {
  std::vector<std::string> vLines;
  std::ifstream in(sPath);
  std::string sLine;
  while (std::getline(in, sLine)) {
    if (!sLine.empty() && sLine.back() == '\r') sLine.pop_back();
    if (sLine.find('=') != std::string::npos) vLines.push_back(sLine);
  }
  return vLines;
}

class MainWindowTest : public MainWindowFixture {
 protected:
  std::string StatusText() { return Find<QStatusBar>("sbMain")->currentMessage().toStdString(); }
};

// The window's texts are the program's own, accelerators included: a row per control.
TEST_F(MainWindowTest, ControlsCarryTheirDesignNamesAndCaptions) {
  Start();
  EXPECT_EQ(m_pMain->windowTitle().toStdString(), APP_TITLE);
  const std::pair<const char*, const char*> captions[] = {
      {"btnHelp", "Help"},
      {"btnExit", "Exit"},
      {"lblDateUser", "Palm User:"},
      {"lblDateMode", "Sync Mode:"},
      {"rbtnDateP2O", "Palm Desktop to Outlook"},
      {"rbtnDateO2P", "Outlook to Palm Desktop"},
      {"rbtnDateSync", "Two-way Synchronization"},
      {"btnDateStart", "Start"},
      {"btnDateOption", "Options"},
      {"btnSyncToday", "Synchronize Today"},
      {"btnSyncWeek", "Synchronize This Week"},
      {"btnSyncMonth", "Synchronize This Month"},
      {"btnSyncYear", "Synchronize This Year"},
      {"btnSyncCustom", "Synchronize ..."},
      {"lblDatePalm", "Palm Desktop Calendar"},
      {"lblDateOutlook", "Outlook Calendar"},
      {"btnHisSelectAll", "Select All"},
      {"btnHisClear", "Clear Selections"},
      {"btnHisDelete", "Delete History"},
  };
  for (const auto& [szName, szCaption] : captions) {
    QObject* pControl = m_pMain->findChild<QObject*>(QString::fromUtf8(szName));
    ASSERT_NE(pControl, nullptr) << szName;
    const QString strText = qobject_cast<QAbstractButton*>(pControl)
                                ? qobject_cast<QAbstractButton*>(pControl)->text()
                                : qobject_cast<QLabel*>(pControl)->text();
    EXPECT_EQ(strText.toStdString(), szCaption) << szName;
  }
  EXPECT_NE(Find<QComboBox>("cbDateUser"), nullptr);

  // Menus item by item, "-" for a separator.
  const std::pair<const char*, std::vector<std::string>> menus[] = {
      {"mnuFile", {"&File", "Synchronize ...", "-", "E&xit"}},
      {"mnuView", {"&View", "Calendar information", "Sync History"}},
      {"mnuTools", {"&Tools", "&Options ...", "-", "Debug Log Options ..."}},
      {"mnuHelp", {"&Help", "&Content", "DayBridge Web Site", "-", "&About DayBridge ..."}},
  };
  for (const auto& [szName, vExpected] : menus) {
    auto* pMenu = Find<QMenu>(szName);
    std::vector<std::string> vItems = {pMenu->title().toStdString()};
    for (const QAction* pAction : pMenu->actions()) {
      vItems.push_back(pAction->isSeparator() ? "-" : pAction->text().toStdString());
    }
    EXPECT_EQ(vItems, vExpected) << szName;
  }

  auto* pPages = Find<QTabWidget>("pcMain");
  ASSERT_EQ(pPages->count(), 2);
  EXPECT_EQ(pPages->tabText(0).toStdString(), "Calendar");
  EXPECT_EQ(pPages->tabText(1).toStdString(), "Synchronization History");
  auto* pList = Find<QTreeView>("lvHistory");
  const std::pair<const char*, int> columns[] = {{"Sync Start Time", 150},
                                                 {"Sync End Time", 150},
                                                 {"Description", 500},
                                                 {"Number of Records", 120}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(HeaderText(pList, i).toStdString(), columns[i].first);
    // Wider only where a text would be cut.
    EXPECT_GE(pList->columnWidth(i), columns[i].second) << columns[i].first;
  }
}

struct LayoutCase {
  const char* szName;
  int nWidth;
  int nHeight;
};

class MainLayout : public MainWindowTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(MainLayout, HalvesAndHistoryFollowTheWindowSize) {
  Start();
  m_pMain->resize(GetParam().nWidth, GetParam().nHeight);
  QCoreApplication::processEvents();
  QWidget* pPage = Find<QWidget>("tDate");
  const int W = pPage->width();
  const int H = pPage->height();
  QWidget* pArea = Find<QWidget>("pDateMain");
  EXPECT_EQ(Find<QWidget>("pDateTop")->width(), W - 30);
  EXPECT_EQ(Find<QWidget>("pDateLeft")->height(), H - 75);
  EXPECT_EQ(pArea->height(), H - 75);
  EXPECT_EQ(pArea->width(), W - 30 - Find<QWidget>("pDateLeft")->width() + 4);

  const QRect rcPalm = Find<QLabel>("lblDatePalm")->geometry();
  const QRect rcOutlook = Find<QLabel>("lblDateOutlook")->geometry();
  EXPECT_EQ(rcPalm.width(), pArea->width() / 2 - 4);
  EXPECT_EQ(rcOutlook.width(), rcPalm.width());
  EXPECT_EQ(rcOutlook.left(), rcPalm.left() + rcPalm.width() + 2);
  const std::pair<QRect, const char*> halves[] = {{rcPalm, "dbDatePalm"},
                                                  {rcOutlook, "dbDateOutlook"}};
  for (const auto& [rcTitle, szBook] : halves) {
    const QRect rcBook = Find<QWidget>(szBook)->geometry();
    EXPECT_EQ(rcBook.left(), rcTitle.left()) << szBook;
    EXPECT_EQ(rcBook.top(), rcTitle.top() + rcTitle.height()) << szBook;
    EXPECT_EQ(rcBook.width(), rcTitle.width()) << szBook;
    EXPECT_EQ(rcBook.top() + rcBook.height(), pArea->height()) << szBook;
  }

  QWidget* pHeader = Find<QWidget>("pnlHeader");
  const int nExit = Find<QPushButton>("btnExit")->x();
  EXPECT_EQ(nExit, pHeader->width() - 110);
  EXPECT_EQ(Find<QPushButton>("btnHelp")->x(), nExit - 105);

  Find<QTabWidget>("pcMain")->setCurrentIndex(1);
  QCoreApplication::processEvents();
  QWidget* pHistoryPage = Find<QWidget>("tHistory");
  QWidget* pList = Find<QWidget>("lvHistory");
  EXPECT_EQ(pList->width(), pHistoryPage->width() - 30);
  EXPECT_EQ(pList->height(), pHistoryPage->height() - 85);
  EXPECT_EQ(Find<QPushButton>("btnHisDelete")->y(), pHistoryPage->height() - 45);

  // The smallest window leaves the rule's sizes negative: nothing may break on the way.
  m_pMain->resize(MAIN_MIN_WIDTH, MAIN_MIN_HEIGHT);
  Find<QTabWidget>("pcMain")->setCurrentIndex(0);
  QCoreApplication::processEvents();
  EXPECT_EQ(m_pMain->minimumSize(), QSize(MAIN_MIN_WIDTH, MAIN_MIN_HEIGHT));
}

INSTANTIATE_TEST_SUITE_P(Sizes, MainLayout,
                         ::testing::Values(LayoutCase{"DesignSize", 1014, 673},
                                           LayoutCase{"LargeWithOddHalves", 1401, 900}),
                         [](const ::testing::TestParamInfo<LayoutCase>& row) {
                           return row.param.szName;
                         });

TEST_F(MainWindowTest, ChosenDayFillsBothDayBooksAndDaysWithRecordsAreMarked) {
  Start();
  CxCalendarCtrl* pCalendar = m_pMain->GetCalendarCtrl();
  ASSERT_NE(pCalendar, nullptr);
  // Thursday the 10th: the dentist on both sides and the weekly review; Outlook adds its
  // book club and stand-up.
  const SYSTEMTIME stThursday = LocalTime(2026, 12, 10);
  SYSTEMTIME stCell;
  ASSERT_TRUE(pCalendar->GetGridStart(&stCell));
  int nIndex = 0;
  while (!SameDay(&stCell, stThursday) && nIndex < 42) {
    AddDays(&stCell, 1);
    ++nIndex;
  }
  RECT rc;
  ASSERT_TRUE(pCalendar->GetDayRect(nIndex, &rc));
  QTest::mouseClick(pCalendar->GetWindow()->GetClient(), Qt::LeftButton, {},
                    QPoint((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2));

  EXPECT_TRUE(SameDay(pCalendar->GetDate(), stThursday));
  EXPECT_TRUE(SameDay(m_pMain->GetPalmBook()->GetDate(), stThursday));
  EXPECT_TRUE(SameDay(m_pMain->GetOutlookBook()->GetDate(), stThursday));
  EXPECT_EQ(m_pMain->GetPalmBook()->GetEntryCount(), 2);
  EXPECT_EQ(m_pMain->GetOutlookBook()->GetEntryCount(), 4);

  const SYSTEMTIME stEmptySunday = LocalTime(2026, 12, 20);
  EXPECT_TRUE(m_pMain->DayHasRecords(&stThursday));
  EXPECT_FALSE(m_pMain->DayHasRecords(&stEmptySunday));
}

TEST_F(MainWindowTest, UserSelectorReloadsThatUsersCalendar) {
  Start();
  auto* pUsers = Find<QComboBox>("cbDateUser");
  ASSERT_EQ(pUsers->count(), 3);
  EXPECT_EQ(pUsers->currentText().toStdString(), "Alice Martin");
  EXPECT_EQ(m_pMain->GetPalmBook()->GetEntryCount(), 3);  // today: run, rent, physiotherapy

  QTest::keyClick(pUsers, Qt::Key_End);
  EXPECT_EQ(AppSettings.PDUserID, 1003);
  EXPECT_EQ(m_pMain->GetCalendar().GetPalmSet()->GetCount(), 4);
  EXPECT_EQ(m_pMain->GetPalmBook()->GetEntryCount(), 1);  // Carla's yoga

  // Bruno's datebook has the earlier layout and loads by user all the same.
  QTest::keyClick(pUsers, Qt::Key_Up);
  EXPECT_EQ(AppSettings.PDUserID, 1002);
  EXPECT_EQ(m_pMain->GetCalendar().GetPalmKind(), PALM_KIND_DATEBOOK);
  EXPECT_EQ(m_pMain->GetPalmBook()->GetEntryCount(), 3);
}

TEST_F(MainWindowTest, WithAChosenFileTheUserSelectorReloadsTheSameFile) {
  const std::string sDatabase = m_Demo.Path("files/DateBook.mdb");
  StoreSettings([&](TAppSettings& settings) {
    settings.UseDateFile = 1;
    CxCopyText(settings.DateFileName, sDatabase.c_str());
  });
  Start();
  ASSERT_EQ(m_pMain->GetCalendar().GetPalmKind(), PALM_KIND_DATABASE);
  QTest::keyClick(Find<QComboBox>("cbDateUser"), Qt::Key_End);
  EXPECT_EQ(AppSettings.PDUserID, 1003);
  EXPECT_EQ(m_pMain->GetCalendar().GetPalmKind(), PALM_KIND_DATABASE);
  EXPECT_EQ(m_pMain->GetCalendar().GetPalmSet()->GetCount(), 9);
}

HistoryEntry Entry(const char* szDesc, DATE dtStart, int nRecords) {
  HistoryEntry entry = {};
  CxCopyText(entry.szDesc, szDesc);
  entry.dtStart = dtStart;
  entry.dtEnd = dtStart + 0.25;
  entry.nRecords = nRecords;
  return entry;
}

std::vector<std::string> Descriptions(const std::string& sHistoryFile) {
  const std::string sBytes = ReadFile(sHistoryFile);
  std::vector<HistoryEntry> vEntries;
  DecodeHistoryFile(reinterpret_cast<const BYTE*>(sBytes.data()), sBytes.size(), vEntries);
  std::vector<std::string> vNames;
  for (const HistoryEntry& entry : vEntries) vNames.push_back(entry.szDesc);
  return vNames;
}

ino_t FileId(const std::string& sPath) {
  struct stat st = {};
  return ::stat(sPath.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST_F(MainWindowTest, HistoryListsNewestFirstAndDeletesExactlyTheCheckedRows) {
  // 40609 is Monday 2011-03-07.
  const HistoryEntry entries[] = {Entry("First run", 40609.5, 1), Entry("Second run", 40610.5, 2),
                                  Entry("Third run", 40611.5, 3)};
  const std::string sFile = m_Demo.DataFile(HISTORY_FILE_NAME);
  std::ofstream(sFile, std::ios::binary)
      << EncodeHistoryFile({&entries[0], &entries[1], &entries[2]});
  Start();
  auto* pList = Find<QTreeView>("lvHistory");
  ASSERT_EQ(RowCount(pList), 3);
  EXPECT_EQ(CellText(pList, 0, 0), "03/09/2011 12:00:00");
  EXPECT_EQ(CellText(pList, 0, 1), "03/09/2011 18:00:00");
  EXPECT_EQ(CellText(pList, 0, 2), "Third run");
  EXPECT_EQ(CellText(pList, 0, 3), "3");
  EXPECT_EQ(CellText(pList, 2, 2), "First run");

  const ino_t nBefore = FileId(sFile);
  Click("btnHisDelete");
  EXPECT_EQ(RowCount(pList), 3);
  EXPECT_EQ(FileId(sFile), nBefore) << "nothing checked, nothing rewritten";

  Click("btnHisSelectAll");
  Click("btnHisClear");
  SetCheck(pList, 0, Qt::Checked);
  SetCheck(pList, 2, Qt::Checked);
  // Deleting asks first; "No" keeps everything.
  m_Ui.nAnswer = QMessageBox::No;
  Click("btnHisDelete");
  EXPECT_EQ(RowCount(pList), 3);
  EXPECT_EQ(FileId(sFile), nBefore);
  m_Ui.nAnswer = 0;
  Click("btnHisDelete");
  ASSERT_EQ(RowCount(pList), 1);
  EXPECT_EQ(CellText(pList, 0, 2), "Second run");
  EXPECT_EQ(CheckOf(pList, 0), Qt::Unchecked);
  EXPECT_EQ(Descriptions(sFile), std::vector<std::string>{"Second run"});
  ASSERT_EQ(m_Ui.vMessages.size(), 2u);
  EXPECT_EQ(m_Ui.vMessages[1].nIcon, QMessageBox::Question);
  EXPECT_EQ(m_Ui.vMessages[1].pOwner, m_pMain.get());
}

TEST_F(MainWindowTest, HistoryThatCannotBeSavedIsReportedAfterTheDelete) {
  const HistoryEntry entry = Entry("Only run", 40609.5, 1);
  const std::string sFile = m_Demo.DataFile(HISTORY_FILE_NAME);
  std::ofstream(sFile, std::ios::binary) << EncodeHistoryFile({&entry});
  Start();
  // A folder where the file was: the replacing rename fails.
  std::filesystem::remove(sFile);
  std::filesystem::create_directory(sFile);
  Click("btnHisSelectAll");
  Click("btnHisDelete");
  // The confirmation, then the error.
  ASSERT_EQ(m_Ui.vMessages.size(), 2u);
  EXPECT_EQ(m_Ui.vMessages[1].strText.toStdString(),
            "Failed to save the synchronization history; the deleted entries will appear again "
            "at the next start.\n\nPermission denied: " +
                sFile);
  EXPECT_EQ(m_Ui.vMessages[1].strCaption.toStdString(), "Error");
  EXPECT_EQ(m_Ui.vMessages[1].pOwner, m_pMain.get());
  EXPECT_EQ(RowCount(Find<QTreeView>("lvHistory")), 0);
}

TEST_F(MainWindowTest, ViewMenuCheckMarkFollowsTheActivePage) {
  Start();
  auto* pPages = Find<QTabWidget>("pcMain");
  auto* pCalendar = Find<QAction>("miViewCalendar");
  auto* pHistory = Find<QAction>("miViewHistory");
  EXPECT_EQ(pPages->currentWidget()->objectName(), "tDate");
  EXPECT_TRUE(pCalendar->isChecked());
  EXPECT_FALSE(pHistory->isChecked());

  pPages->setCurrentIndex(1);
  EXPECT_FALSE(pCalendar->isChecked());
  EXPECT_TRUE(pHistory->isChecked());

  pCalendar->trigger();
  EXPECT_EQ(pPages->currentWidget()->objectName(), "tDate");
  pCalendar->trigger();  // the page already shown keeps its mark
  EXPECT_TRUE(pCalendar->isChecked());
  EXPECT_FALSE(pHistory->isChecked());
}

TEST_F(MainWindowTest, PalmFileThatDoesNotLoadLeavesEveryOutlookRecordNew) {
  StoreSettings([](TAppSettings& settings) {
    settings.UseDateFile = 1;
    CxCopyText(settings.DateFileName, "/nonexistent/datebook.dat");
  });
  Start();
  // Not there at start-up: the status bar says so, no box.
  EXPECT_TRUE(m_Ui.vMessages.empty());
  EXPECT_EQ(StatusText(),
            "Palm Desktop: calendar not loaded    Outlook: 9 records (9 new, 0 changed)    "
            "Palm Desktop calendar: no such folder: /nonexistent/datebook.dat");
  EXPECT_EQ(m_pMain->GetPalmBook()->GetEntryCount(), 0);
  EXPECT_GT(m_pMain->GetOutlookBook()->GetEntryCount(), 0);
  CommDateMgr* pOutlook = m_pMain->GetCalendar().GetOutlookSet();
  ASSERT_EQ(pOutlook->GetCount(), 9);
  for (int i = 0; i < pOutlook->GetCount(); ++i) {
    EXPECT_EQ(pOutlook->GetAt(i)->nMatchState, MATCH_NEW) << pOutlook->GetAt(i)->szDescription;
  }
}

enum class LoadMoment { StartUp, UserSwitch, Options };
enum class Harm { CutInHalf, HeldByAnotherRun, Missing, NotACalendar };

struct LoadFailureCase {
  const char* szName;
  const char* szFile;  // in the demo
  Harm harm;
  LoadMoment moment;
  const char* szStatus;  // the reason as the status bar gives it
  const char* szBox;     // the error box begins so
};

void PrintTo(const LoadFailureCase& c, std::ostream* pOut) {
  *pOut << c.szName;
}

class LoadFailure : public MainWindowTest, public ::testing::WithParamInterface<LoadFailureCase> {
 protected:
  void Inflict(const std::string& sPath) {
    switch (GetParam().harm) {
      case Harm::CutInHalf:
        dbtest::CutInHalf(sPath);
        break;
      case Harm::HeldByAnotherRun:
        m_pOtherRun = std::make_unique<dbtest::HeldByAnotherRun>(sPath);
        ASSERT_TRUE(m_pOtherRun->Held());
        break;
      case Harm::Missing:
        std::filesystem::remove(sPath);
        break;
      case Harm::NotACalendar:
        std::ofstream(sPath, std::ios::binary) << "not a calendar";
        break;
    }
  }
  std::unique_ptr<dbtest::HeldByAnotherRun> m_pOtherRun;
};

// Why a calendar did not load reaches the window: in the status bar, and in a box when the
// file is there but unusable or the user has just named it.
TEST_P(LoadFailure, ReasonReachesTheStatusBarAndWhereNeededABox) {
  const LoadFailureCase& c = GetParam();
  const std::string sPath = m_Demo.Path(c.szFile);
  switch (c.moment) {
    case LoadMoment::StartUp:
      Inflict(sPath);
      Start();
      break;
    case LoadMoment::UserSwitch:
      Start();
      Inflict(sPath);
      QTest::keyClick(Find<QComboBox>("cbDateUser"), Qt::Key_Down);  // Bruno
      break;
    case LoadMoment::Options:
      Start();
      Inflict(sPath);
      m_Ui.dialogDriver = [&](QDialog* pDialog) {
        ClickIn(pDialog, "cbDateFile");
        FindIn<QLineEdit>(pDialog, "edtDateFile")->setText(QString::fromStdString(sPath));
        ClickIn(pDialog, "btnOK");
        return pDialog->result();
      };
      Click("btnDateOption");
      break;
  }
  EXPECT_NE(StatusText().find(c.szStatus), std::string::npos) << StatusText();
  EXPECT_NE(StatusText().find(sPath), std::string::npos) << StatusText();
  ASSERT_EQ(m_Ui.vMessages.size(), 1u);
  const std::string sBox = m_Ui.vMessages[0].strText.toStdString();
  EXPECT_EQ(sBox.rfind(c.szBox, 0), 0u) << sBox;
  EXPECT_NE(sBox.find(sPath), std::string::npos) << sBox;
  EXPECT_EQ(m_Ui.vMessages[0].strCaption.toStdString(), "Error");
  EXPECT_EQ(m_Ui.vMessages[0].pOwner, m_pMain.get());
  // Run alone (ctest -j), no other test has made the folder yet.
  QDir().mkpath(QStringLiteral(DB_BUILD_DIR "/screenshots"));
  EXPECT_TRUE(m_pMain->grab().save(QStringLiteral(DB_BUILD_DIR "/screenshots/daybridge-") +
                                   QString::fromUtf8(c.szName) + QStringLiteral(".png")));
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadFailure,
    ::testing::Values(
        LoadFailureCase{"DamagedDatebookAtStartUp", "palm/Alice/datebook/datebook.dat",
                        Harm::CutInHalf, LoadMoment::StartUp,
                        "Palm Desktop calendar: damaged Palm Desktop datebook (",
                        "The Palm Desktop calendar could not be loaded.\n\nDamaged Palm "
                        "Desktop datebook ("},
        LoadFailureCase{"DatebookLockedByAnotherRunAtStartUp", "palm/Alice/datebook/datebook.dat",
                        Harm::HeldByAnotherRun, LoadMoment::StartUp,
                        "Palm Desktop calendar: locked by another DayBridge run: ",
                        "The Palm Desktop calendar could not be loaded.\n\nLocked by another "
                        "DayBridge run: "},
        LoadFailureCase{"OutlookCalendarThatDoesNotReadAtStartUp", "outlook/Calendar.ics",
                        Harm::NotACalendar, LoadMoment::StartUp,
                        "Outlook: calendar not loaded    Outlook calendar: the Outlook "
                        "calendar file could not be read (",
                        "The Outlook calendar could not be loaded.\n\nThe Outlook calendar "
                        "file could not be read ("},
        LoadFailureCase{"DamagedDatebookOfTheChosenUser", "palm/Bruno/datebook/datebook.dat",
                        Harm::CutInHalf, LoadMoment::UserSwitch,
                        "Palm Desktop calendar: damaged Palm Desktop datebook (",
                        "The Palm Desktop calendar could not be loaded.\n\nDamaged"},
        LoadFailureCase{"MissingFileNamedInTheOptions", "files/typed-wrong.dat", Harm::Missing,
                        LoadMoment::Options, "Palm Desktop calendar: no such file: ",
                        "The Palm Desktop calendar could not be loaded.\n\nNo such file: "}),
    [](const ::testing::TestParamInfo<LoadFailureCase>& row) { return row.param.szName; });

std::unique_ptr<PmCalendarEx2> ThrowingCalendar() {
  throw std::runtime_error("no memory for the calendar");
}

TEST_F(MainWindowTest, CalendarInitializationThatThrowsIsReportedOverTheWindow) {
  m_pMain = std::make_unique<TfmMain>();
  const PmCalendarEx2Factory pfnRegistered = PmGetCalendarEx2Factory();
  PmSetCalendarEx2Factory(&ThrowingCalendar);
  m_pMain->RunStartup();
  PmSetCalendarEx2Factory(pfnRegistered);
  ASSERT_EQ(m_Ui.vMessages.size(), 1u);
  const TAppMessage& msg = m_Ui.vMessages[0];
  EXPECT_EQ(msg.strText.toStdString(), "Failed to initialize Calendar data.");
  EXPECT_EQ(msg.strCaption.toStdString(), "Error");
  EXPECT_EQ(msg.nIcon, QMessageBox::Critical);
  EXPECT_EQ(msg.pOwner, m_pMain.get());
}

// Notes whether the Palm calendar was loaded when the watched widget was first painted.
struct FirstPaintProbe : QObject {
  explicit FirstPaintProbe(TfmMain* pWindow) : pMain(pWindow) {}
  bool eventFilter(QObject* pWatched, QEvent* pEvent) override {
    if (pEvent->type() == QEvent::Paint && !bLoaded) bLoaded = pMain->GetCalendar().IsPalmLoaded();
    return QObject::eventFilter(pWatched, pEvent);
  }
  TfmMain* pMain;
  std::optional<bool> bLoaded;
};

TEST_F(MainWindowTest, TheWindowIsPaintedBeforeItsCalendarsAreRead) {
  m_pMain = std::make_unique<TfmMain>();
  FirstPaintProbe probe(m_pMain.get());
  Find<QWidget>("pnlHeader")->installEventFilter(&probe);
  bool bStarted = false;
  m_pMain->ShowThenStart([&bStarted] { bStarted = true; });
  ASSERT_TRUE(QTest::qWaitFor([&bStarted] { return bStarted; }));
  EXPECT_EQ(probe.bLoaded, std::optional<bool>(false));
  EXPECT_TRUE(m_pMain->GetCalendar().IsPalmLoaded());
  EXPECT_TRUE(m_pMain->GetCalendar().IsOutlookLoaded());
}

TEST_F(MainWindowTest, ShutDownWritesEverySettingWithTheDirectionChosenInTheWindow) {
  Start();
  EXPECT_TRUE(Find<QRadioButton>("rbtnDateSync")->isChecked());  // the demo stored two-way
  Click("rbtnDateO2P");
  m_pMain.reset();
  const std::vector<std::string> vLines = SettingLines(m_Demo.DataFile(APP_SETTINGS_FILE));
  EXPECT_EQ(vLines.size(), 14u);
  EXPECT_NE(std::find(vLines.begin(), vLines.end(), "SyncMode=2"), vLines.end());
}

struct SyncButtonCase {
  const char* szName;
  const char* szControl;
  int nRangeKind;
  bool bKeepsRange;
};

class SyncButtons : public MainWindowTest, public ::testing::WithParamInterface<SyncButtonCase> {};

// Each opens the sync wizard: a preset on the record page with the preset's days committed,
// the others on the range page with the range kept.
TEST_P(SyncButtons, SetTheRangePresetAndReadTheDirection) {
  Start();
  Click("rbtnDateO2P");
  AppSettings.RangeKind = 9;
  AppSettings.RangeFrom = 46000;
  AppSettings.RangeTo = 46010;
  int nPage = -1;
  m_Ui.dialogDriver = [&nPage](QDialog* pDialog) {
    nPage = static_cast<TfmSyncDate*>(pDialog)->GetPageIndex();
    return static_cast<int>(QDialog::Rejected);
  };
  if (QAction* pAction = m_pMain->findChild<QAction*>(GetParam().szControl)) {
    pAction->trigger();
  } else {
    Click(GetParam().szControl);
  }
  EXPECT_EQ(m_Ui.vDialogs, std::vector<std::string>{"fmSyncDate"});
  TAppSettings expected = AppSettings;
  if (GetParam().bKeepsRange) {
    expected.RangeFrom = 46000;
    expected.RangeTo = 46010;
  } else {
    const SYSTEMTIME stToday = LocalTime(2026, 12, 9);
    CommitPresetRange(expected, GetParam().nRangeKind, &stToday);
  }
  EXPECT_EQ(nPage, GetParam().bKeepsRange ? SYNCDATE_PAGE_RANGE : SYNCDATE_PAGE_DATA);
  EXPECT_EQ(AppSettings.RangeKind, GetParam().nRangeKind);
  EXPECT_EQ(AppSettings.RangeFrom, expected.RangeFrom);
  EXPECT_EQ(AppSettings.RangeTo, expected.RangeTo);
  EXPECT_EQ(AppSettings.SyncMode, SYNC_OUTLOOK_TO_PALM);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, SyncButtons,
    ::testing::Values(SyncButtonCase{"Today", "btnSyncToday", RANGE_TODAY, false},
                      SyncButtonCase{"ThisWeek", "btnSyncWeek", RANGE_THIS_WEEK, false},
                      SyncButtonCase{"ThisMonth", "btnSyncMonth", RANGE_THIS_MONTH, false},
                      SyncButtonCase{"ThisYear", "btnSyncYear", RANGE_THIS_YEAR, false},
                      SyncButtonCase{"Custom", "btnSyncCustom", RANGE_CUSTOM, true},
                      SyncButtonCase{"Start", "btnDateStart", RANGE_CUSTOM, true},
                      SyncButtonCase{"FileMenu", "miFileSync", RANGE_CUSTOM, true}),
    [](const ::testing::TestParamInfo<SyncButtonCase>& row) { return row.param.szName; });

TEST_F(MainWindowTest, HelpCommandsOpenTheirPagesThroughTheShell) {
  Start();
  Click("btnHelp");
  Find<QAction>("miHelpContent")->trigger();
  Find<QAction>("miHelpWeb")->trigger();
  ASSERT_EQ(m_Ui.vOpened.size(), 3u);
  EXPECT_EQ(m_Ui.vOpened[1], m_Ui.vOpened[0]);
  EXPECT_EQ(m_Ui.vOpened[2], APP_HOME_URL);
  // Help opens the manual that comes with the program, whole: every picture it shows is there.
  const QString strPage = QUrl(QString::fromStdString(m_Ui.vOpened[0])).toLocalFile();
  QFile page(strPage);
  ASSERT_TRUE(page.open(QIODevice::ReadOnly)) << m_Ui.vOpened[0];
  const QString strHtml = QString::fromUtf8(page.readAll());
  const QRegularExpression pictures(QStringLiteral("src=\"([^\"]+)\""));
  int nPictures = 0;
  for (const auto& match : pictures.globalMatch(strHtml)) {
    EXPECT_TRUE(QFileInfo(QFileInfo(strPage).dir(), match.captured(1)).isFile())
        << match.captured(1).toStdString();
    nPictures++;
  }
  EXPECT_GT(nPictures, 0);
}

class Thrower : public QObject {
 public:
  explicit Thrower(bool bStandard) : m_bStandard(bStandard) {}
  bool event(QEvent* pEvent) override {
    if (pEvent->type() != QEvent::User) return QObject::event(pEvent);
    if (m_bStandard) throw std::runtime_error("disk on fire");
    throw 42;
  }

 private:
  bool m_bStandard;
};

TEST_F(MainWindowTest, EscapedExceptionEndsTheLoopAfterTheStandardErrorBox) {
  Start();
  for (bool bStandard : {true, false}) {
    m_Ui.vMessages.clear();
    Thrower thrower(bStandard);
    QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
    EXPECT_EQ(QCoreApplication::exec(), 1);
    ASSERT_EQ(m_Ui.vMessages.size(), 1u);
    EXPECT_EQ(m_Ui.vMessages[0].strText.toStdString(), bStandard ? "disk on fire" : "");
    EXPECT_EQ(m_Ui.vMessages[0].strCaption.toStdString(), APP_TITLE);
    EXPECT_EQ(m_Ui.vMessages[0].nIcon, QMessageBox::Critical);
  }
}

// On a screen smaller than the design size the window opens within the free area; at 760x520
// the top row's controls stand side by side and whole, and the page scrolls to the rest.
TEST_F(MainWindowTest, OpensWithinTheScreenAndKeepsEveryControlReachable) {
  Start();
  const QRect rcFree = m_pMain->screen()->availableGeometry();
  EXPECT_TRUE(rcFree.contains(m_pMain->frameGeometry()))
      << rcFree.width() << "x" << rcFree.height() << " free, window "
      << m_pMain->frameGeometry().width() << "x" << m_pMain->frameGeometry().height();
  m_pMain->resize(760, 520);
  QCoreApplication::processEvents();
  int nRight = 0;
  for (const char* szName : {"lblDateUser", "cbDateUser", "lblDateMode", "rbtnDateP2O",
                             "rbtnDateO2P", "rbtnDateSync", "btnDateStart", "btnDateOption"}) {
    auto* pControl = Find<QWidget>(szName);
    EXPECT_GE(pControl->x(), nRight) << szName;
    EXPECT_GE(pControl->width(),
              std::min(pControl->minimumSizeHint().width(), pControl->maximumWidth()))
        << szName;
    nRight = pControl->x() + pControl->width();
  }
  EXPECT_LE(nRight, Find<QWidget>("pDateTop")->width());
  EXPECT_LE(Find<QWidget>("btnSyncCustom")->geometry().bottom(),
            Find<QWidget>("pDateLeft")->height());
  QDir().mkpath(QStringLiteral(DB_BUILD_DIR "/screenshots"));
  EXPECT_TRUE(
      m_pMain->grab().save(QStringLiteral(DB_BUILD_DIR "/screenshots/daybridge-760x520.png")));
}

TEST_F(MainWindowTest, SavesPicturesOfBothPages) {
  const HistoryEntry entries[] = {Entry("Palm Desktop to Outlook", 46364.4, 4),
                                  Entry("Two-way Synchronization", 46365.4, 7)};
  std::ofstream(m_Demo.DataFile(HISTORY_FILE_NAME), std::ios::binary)
      << EncodeHistoryFile({&entries[0], &entries[1]});
  Start();
  const QString strFolder = QStringLiteral(DB_BUILD_DIR "/screenshots");
  ASSERT_TRUE(m_pMain->SaveSnapshots(strFolder));
  for (const char* szFile : {"daybridge-calendar.png", "daybridge-history.png"}) {
    EXPECT_GT(QFileInfo(strFolder + QLatin1Char('/') + QLatin1String(szFile)).size(), 10000)
        << szFile;
  }
  // The day books in the colours of the match states, once the option is on.
  m_Ui.dialogDriver = [](QDialog* pDialog) {
    auto* pShow = FindIn<QCheckBox>(pDialog, "cbShowColor");
    if (!pShow->isChecked()) ClickIn(pDialog, "cbShowColor");
    ClickIn(pDialog, "btnOK");
    return pDialog->result();
  };
  Click("btnDateOption");
  EXPECT_EQ(AppSettings.ShowColor, 1);
  EXPECT_TRUE(m_pMain->grab().save(strFolder + QStringLiteral("/daybridge-calendar-colors.png")));
}

TEST_F(MainWindowTest, EveryDialogOpensFromItsPlace) {
  Start();
  EXPECT_TRUE(m_Ui.vDialogs.empty()) << "the demo has been through the first-run wizard";
  const std::pair<const char*, const char*> places[] = {{"btnDateOption", "fmOption"},
                                                        {"miToolsOptions", "fmOption"},
                                                        {"miToolsLog", "fmDebug"},
                                                        {"miHelpAbout", "fmAbout"}};
  for (const auto& [szPlace, szDialog] : places) {
    m_Ui.vDialogs.clear();
    if (auto* pAction = m_pMain->findChild<QAction*>(QString::fromUtf8(szPlace))) {
      pAction->trigger();
    } else {
      Click(szPlace);
    }
    EXPECT_EQ(m_Ui.vDialogs, std::vector<std::string>{szDialog}) << szPlace;
  }
}

TEST_F(MainWindowTest, OptionsConfirmedReloadThePalmCalendarFromTheChosenFile) {
  Start();
  ASSERT_EQ(m_pMain->GetCalendar().GetPalmKind(), PALM_KIND_DATEBOOK_EX);
  const QString strDatabase = QString::fromStdString(m_Demo.Path("files/DateBook.mdb"));
  m_Ui.dialogDriver = [&](QDialog* pDialog) {
    ClickIn(pDialog, "cbDateFile");
    FindIn<QLineEdit>(pDialog, "edtDateFile")->setText(strDatabase);
    ClickIn(pDialog, "btnOK");
    return pDialog->result();
  };
  Click("btnDateOption");
  EXPECT_EQ(m_pMain->GetCalendar().GetPalmKind(), PALM_KIND_DATABASE);
  EXPECT_EQ(m_pMain->GetCalendar().GetPalmSet()->GetCount(), 9);
}

TEST_F(MainWindowTest, StartUpShowsTheFirstRunWizardWhileItIsSet) {
  StoreSettings([](TAppSettings& settings) { settings.ShowWizard = 1; });
  QWidget* pDebugOwner = nullptr;
  m_Ui.dialogDriver = [&](QDialog* pDialog) {
    if (pDialog->objectName() == "fmDebug") {
      pDebugOwner = pDialog->parentWidget();
      return static_cast<int>(QDialog::Rejected);
    }
    ClickIn(pDialog, "btnDebug");
    FindIn<QComboBox>(pDialog, "cbUser")->setCurrentIndex(2);
    ClickIn(pDialog, "btnOK");
    return pDialog->result();
  };
  Start();
  EXPECT_EQ(m_Ui.vDialogs, (std::vector<std::string>{"fmWizard", "fmDebug"}));
  EXPECT_EQ(pDebugOwner, m_pMain.get());
  EXPECT_EQ(AppSettings.PDUserID, 1003);
  EXPECT_EQ(Find<QComboBox>("cbDateUser")->currentText().toStdString(), "Carla Rossi");
  EXPECT_EQ(m_pMain->GetCalendar().GetPalmSet()->GetCount(), 4);
}

TEST_F(MainWindowTest, QuitInTheErrorReportClosesTheReportAndThenTheWindow) {
  Start();
  bool bWindowOpenAfterReport = false;
  m_Ui.dialogDriver = [&](QDialog* pDialog) {
    pDialog->show();
    ClickIn(pDialog, "btnExit");
    EXPECT_FALSE(pDialog->isVisible());
    bWindowOpenAfterReport = m_pMain->isVisible();
    return pDialog->result();
  };
  Thrower thrower(true);
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
  EXPECT_EQ(QCoreApplication::exec(), 1);
  EXPECT_EQ(m_Ui.vDialogs, std::vector<std::string>{"fmDump"});
  EXPECT_TRUE(bWindowOpenAfterReport);
  QCoreApplication::processEvents();
  EXPECT_FALSE(m_pMain->isVisible());
}

TEST_F(MainWindowTest, SavesPicturesOfEveryDialog) {
  Start();
  m_Ui.dialogDriver = [](QDialog* pDialog) {
    const std::string sName = pDialog->objectName().toStdString();
    EXPECT_TRUE(SaveDialogPicture(pDialog, ("dialog-" + sName + ".png").c_str())) << sName;
    // One size, so no maximise button that could only stretch empty space.
    EXPECT_FALSE(pDialog->windowFlags() & Qt::WindowMaximizeButtonHint) << sName;
    EXPECT_EQ(pDialog->minimumSize(), pDialog->maximumSize()) << sName;
    if (auto* pPages = pDialog->findChild<QTabWidget*>(QStringLiteral("pcOption"))) {
      pPages->setCurrentIndex(1);
      EXPECT_TRUE(SaveDialogPicture(pDialog, "dialog-fmOption-calendar.png"));
    }
    return static_cast<int>(QDialog::Rejected);
  };
  Click("btnDateOption");
  Find<QAction>("miToolsLog")->trigger();
  Find<QAction>("miHelpAbout")->trigger();
  m_pMain->OpenFirstRunWizard();
  ShowErrorReport(m_pMain.get());
  EXPECT_EQ(m_Ui.vDialogs.size(), 5u);
}

// The program itself, as scripts/run starts it without a display.
TEST_F(MainWindowTest, ProgramTakesNoArgumentsAndClosesNormallyAfterItsPictures) {
  const std::string sShots = m_Demo.Path("shots");
  const std::string sSettings = m_Demo.DataFile(APP_SETTINGS_FILE);
  std::remove(sSettings.c_str());
  const std::string sRun = "QT_QPA_PLATFORM=offscreen " + std::string(DB_DAYBRIDGE_PATH);
  EXPECT_NE(std::system((sRun + " --user 1002 >/dev/null 2>&1").c_str()), 0);
  EXPECT_EQ(
      std::system(("DAYBRIDGE_SNAPSHOT_DIR='" + sShots + "' " + sRun + " >/dev/null").c_str()), 0);
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(sShots + "/daybridge-calendar.png")));
  EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(sShots + "/daybridge-history.png")));
  // Written at shut-down, from a first start's defaults.
  const std::vector<std::string> vLines = SettingLines(sSettings);
  EXPECT_EQ(vLines.size(), 14u);
  EXPECT_NE(std::find(vLines.begin(), vLines.end(), "SyncMode=1"), vLines.end());
}

}  // namespace
