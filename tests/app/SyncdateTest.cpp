// The sync wizard from the main window, on the demo environment of Wednesday 2026-12-09 (two-way
// direction, conflicts asked about): the pages, the rows, the run with its log and progress,
// the conflict alert, and what reaches both calendar files.
#include "app/Syncdate.h"

#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/Confalert.h"
#include "app/Datedetail.h"
#include "app/SyncRowModel.h"
#include "app/Syncdatedata.h"
#include "app/Syncdateproc.h"
#include "app/core/AppCalendar.h"
#include "app/core/SyncHistory.h"
#include "app/core/SyncWizard.h"
#include "common/palm/PalmDateInfo.h"
#include "platform/outlook/OutlookServer.h"
#include "support/files/CalendarSabotage.h"
#include "support/python/PythonReader.h"
#include "support/ui/MainWindowFixture.h"
#include "views/CxPaintUtil.h"

namespace {

// A row of the record page: its subject and the store its record comes from.
struct RowKey {
  const char* szSubject;  // UTF-8
  UINT nSource;
};

const RowKey kPalmLunch = {"Lunch with Zoë", SOURCE_PALM};
const RowKey kOutlookLunch = {"Lunch with Zoë", SOURCE_OUTLOOK};
const RowKey kPalmReview = {"Project review", SOURCE_PALM};
const RowKey kPalmRent = {"Pay rent", SOURCE_PALM};
const RowKey kOutlookCall = {"Call Jürgen", SOURCE_OUTLOOK};
const RowKey kPalmPhysio = {"Physiotherapy", SOURCE_PALM};

DWORD DayNumber(int nYear, int nMonth, int nDay) {
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(nYear);
  st.wMonth = static_cast<WORD>(nMonth);
  st.wDay = static_cast<WORD>(nDay);
  DATE dt = 0;
  SystemTimeToVariantTime(&st, &dt);
  return static_cast<DWORD>(dt);
}

bool IsRow(const QTreeView* pList, int nRow, const RowKey& key) {
  const auto* pRows = dynamic_cast<const TSyncRowModel*>(pList->model());
  const CommDate* pDate = pRows != nullptr ? pRows->RecordAt(nRow) : nullptr;
  return CellText(pList, nRow, 0) == key.szSubject && pDate != nullptr &&
         pDate->nSource == key.nSource;
}

std::vector<std::string> LogLines(const TfmSyncDate* pWizard) {
  std::vector<std::string> vLines;
  const QString strLog = FindIn<QPlainTextEdit>(pWizard, "memLog")->toPlainText();
  for (const QString& strLine : strLog.split(QLatin1Char('\n'))) {
    vLines.push_back(strLine.toStdString());
  }
  return vLines;
}

std::string Desc(const TfmSyncDate* pWizard) {
  return FindIn<QLabel>(pWizard, "lblDesc")->text().toStdString();
}

void SaveShot(QWidget* pWidget, const char* szFile) {
  const QString strFolder = QStringLiteral(DB_BUILD_DIR "/screenshots");
  QDir().mkpath(strFolder);
  EXPECT_TRUE(pWidget->grab().save(strFolder + QLatin1Char('/') + QLatin1String(szFile), "PNG"))
      << szFile;
}

const CommDate* FindRecord(CommDateMgr* pSet, const char* szUtf8Subject) {
  for (int i = 0; i < pSet->GetCount(); ++i) {
    if (cxpaint::AnsiText(pSet->GetAt(i)->szDescription) == QString::fromUtf8(szUtf8Subject)) {
      return pSet->GetAt(i);
    }
  }
  return nullptr;
}

class SyncWizardTest : public MainWindowFixture {
 protected:
  // The next wizard is shown and handed to fnDrive, whose result closes it.
  void OnWizard(std::function<int(TfmSyncDate*)> fnDrive) {
    m_Ui.drivers["fmSyncDate"] = [fnDrive](QDialog* pDialog) {
      pDialog->show();
      EXPECT_TRUE(QTest::qWaitForWindowExposed(pDialog));
      const int nResult = fnDrive(static_cast<TfmSyncDate*>(pDialog));
      pDialog->hide();
      return nResult;
    };
  }

  // Leaves checked exactly the rows given.
  static void CheckOnly(TfmSyncDate* pWizard, std::vector<RowKey> vKeys) {
    ClickIn(pWizard, "btnClearAll");
    auto* pList = FindIn<QTreeView>(pWizard, "lvDate");
    for (const RowKey& key : vKeys) {
      int nFound = 0;
      for (int i = 0; i < RowCount(pList); ++i) {
        if (!IsRow(pList, i, key)) continue;
        SetCheck(pList, i, Qt::Checked);
        ++nFound;
      }
      EXPECT_EQ(nFound, 1) << key.szSubject;
    }
  }

  // A real double click on the row: press and release, then the double click itself.
  static void DoubleClickRow(TfmSyncDate* pWizard, const RowKey& key) {
    auto* pList = FindIn<QTreeView>(pWizard, "lvDate");
    for (int i = 0; i < RowCount(pList); ++i) {
      if (!IsRow(pList, i, key)) continue;
      const QPoint ptRow = pList->visualRect(Cell(pList, i)).center();
      QTest::mouseClick(pList->viewport(), Qt::LeftButton, {}, ptRow);
      QTest::mouseDClick(pList->viewport(), Qt::LeftButton, {}, ptRow);
      return;
    }
    ADD_FAILURE() << "no row " << key.szSubject;
  }

  // "Next >" on the record page, then the run to its end without the start delay. False when
  // the run did not start or end.
  static bool RunToEnd(TfmSyncDate* pWizard) {
    ClickIn(pWizard, "btnNext");
    if (pWizard->GetPageIndex() != SYNCDATE_PAGE_PROC) return false;
    // A second click would close the wizard with its run still to come.
    EXPECT_FALSE(FindIn<QPushButton>(pWizard, "btnNext")->isEnabled());
    FindIn<QTimer>(pWizard, "tmStart")->setInterval(0);
    return QTest::qWaitFor(
        [pWizard] { return pWizard->HasRun() && !pWizard->GetProcPage()->IsRunning(); }, 20000);
  }

  static int Finish(TfmSyncDate* pWizard) {
    auto* pNext = FindIn<QPushButton>(pWizard, "btnNext");
    EXPECT_EQ(pNext->text().toStdString(), "Finish");
    EXPECT_TRUE(pNext->isEnabled());
    QTest::mouseClick(pNext, Qt::LeftButton);
    return pWizard->result();
  }

  static int Cancel(TfmSyncDate* pWizard) {
    ClickIn(pWizard, "btnCancel");
    return pWizard->result();
  }
};

// The texts the user reads are the program's own, a row per control.
TEST(SyncWizardTexts, CaptionsAreExact) {
  AppCalendar calendar;
  TAppSettings settings = {};
  TfmSyncDate wizard(calendar, settings, nullptr);
  wizard.Next();
  TfmConfAlert alert(nullptr);
  TfmDateDetail detail(nullptr);
  const std::pair<const QObject*, std::vector<std::string>> windows[] = {
      {&wizard,
       {"fmSyncDate=DayBridge for Outlook and Palm Desktop",
        "lblTitle=Synchronize Calendar Step by Step:", "btnPrev=< Prev", "btnCancel=Cancel",
        "rbtnAll=All Calendar Data", "rbtnSpec=Special Date Range",
        "cbRange=Custom|Today|This Week|This Month|This Year", "lblTilde=~",
        "lvDate=Subject|Date|Start Time|End Time|Sync Type|Calendar", "btnSelectAll=Select All",
        "btnClearAll=Clear All", "lblAction=Action on Conflict Records:",
        "cbAction=Remind Me|Palm Desktop to Outlook|Outlook to Palm Desktop|Do Nothing"}},
      {&alert,
       {"fmConfAlert=Conflict Alert", "lblAlert=" CONFALERT_TEXT,
        "lvDate=Software|Description|Date|Start Time|End Time",
        "rbtnP2O=Palm Desktop overwrites Microsoft Outlook", "rbtnNothing=Do Nothing",
        "rbtnO2P=Microsoft Outlook overwrites Palm Desktop",
        "cbThis=Apply this rule to this synchronization",
        "cbAll=Apply this rule to all future synchronizations", "btnOK=OK", "btnCancel=Cancel"}},
      {&detail,
       {"fmDateDetail=Calendar detail information", "pcDetail=General|Recurrence|Notes",
        "pcRecur=Daily|Weekly|Monthly|Yearly", "cbAlarm=Alarm", "cbPrivate=Private",
        "cbAllday=All day event", "cbMonday=Monday", "cbSunday=Sunday", "rbtnDate=Date",
        "rbtnDay=Day", "gbRecurRange= Recurrence Range ", "rbtnNoEnd=No end date",
        "rbtnEndBy=End by", "btnClose=&Close"}},
  };
  for (const auto& [pWindow, vExpected] : windows) {
    for (const std::string& sExpected : vExpected) {
      const std::string sName = sExpected.substr(0, sExpected.find('='));
      const QObject* pControl = pWindow->objectName().toStdString() == sName
                                    ? pWindow
                                    : FindIn<QObject>(pWindow, sName.c_str());
      if (pControl != nullptr) {
        EXPECT_EQ(ControlText(pControl), sExpected);
      }
    }
  }
  EXPECT_EQ(FindIn<QProgressBar>(&wizard, "pbProgress")->format().toStdString(), "%p%");
}

TEST_F(SyncWizardTest, ThisWeekOnWednesdayTransfersTheCheckedRecordsBothWays) {
  Start();
  std::vector<int> vProgress;
  OnWizard([&](TfmSyncDate* pWizard) {
    // Opened on the record page, with Sunday to Saturday committed.
    EXPECT_EQ(pWizard->GetPageIndex(), SYNCDATE_PAGE_DATA);
    EXPECT_EQ(AppSettings.RangeKind, RANGE_THIS_WEEK);
    EXPECT_EQ(AppSettings.RangeFrom, DayNumber(2026, 12, 6));
    EXPECT_EQ(AppSettings.RangeTo, DayNumber(2026, 12, 12));
    EXPECT_EQ(Desc(pWizard), "Please select the Calendar event records you want to synchronize.");
    auto* pList = FindIn<QTreeView>(pWizard, "lvDate");
    std::vector<std::string> vRows;
    for (int i = 0; i < RowCount(pList); ++i) {
      const QColor color = Cell(pList, i, 4).data(Qt::ForegroundRole).value<QBrush>().color();
      vRows.push_back(CellText(pList, i, 0) + " | " + CellText(pList, i, 1) + " | " +
                      CellText(pList, i, 4) + " | " + CellText(pList, i, 5) + " | " +
                      color.name().toStdString() +
                      (CheckOf(pList, i) == Qt::Checked ? "" : " | unchecked"));
    }
    const std::vector<std::string> vExpected = {
        "Lunch with Zoë | 12/11/2026 | Have Conflicts | Palm Desktop | #0000ff",
        "Project review | 12/08/2026 | Have Conflicts | Palm Desktop | #0000ff",
        "Pay rent | 12/09/2026 | Palm Desktop to Outlook | Palm Desktop | #008000",
        "Physiotherapy | 12/09/2026 | Palm Desktop to Outlook | Palm Desktop | #008000",
        "Morning run | 12/09/2026 | Palm Desktop to Outlook | Palm Desktop | #008000",
        "Team lunch | 12/11/2026 | Palm Desktop to Outlook | Palm Desktop | #008000",
        "Lunch with Zoë | 12/11/2026 | Have Conflicts | Outlook | #0000ff",
        "Project review | 12/08/2026 | Have Conflicts | Outlook | #0000ff",
        "Book club | 12/10/2026 | Outlook to Palm Desktop | Outlook | #008000",
        "Company anniversary | 12/07/2026 | Outlook to Palm Desktop | Outlook | #008000",
        "Call Jürgen | 12/09/2026 | Outlook to Palm Desktop | Outlook | #008000",
        "Stand-up | 12/07/2026 | Outlook to Palm Desktop | Outlook | #008000",
    };
    EXPECT_EQ(vRows, vExpected);
    // An all-day record has no time of day to show.
    EXPECT_EQ(CellText(pList, 9, 2), "All day");

    CheckOnly(pWizard, {kPalmLunch, kPalmRent, kOutlookCall});
    FindIn<QComboBox>(pWizard, "cbAction")->setCurrentIndex(CONFLICT_PALM_WINS);
    QObject::connect(FindIn<QProgressBar>(pWizard, "pbProgress"), &QProgressBar::valueChanged,
                     [&](int nValue) { vProgress.push_back(nValue); });
    EXPECT_TRUE(RunToEnd(pWizard));
    const std::vector<std::string> vLog = {
        "Start synchronizing Calendar records ...",
        std::string(80, '='),
        "",
        "",
        "Synchronizing Calendar record from Palm Desktop to Outlook:",
        "\tSubject: Lunch with Zoë",
        "Synchronization succeeded.",
        "",
        "Synchronizing Calendar record from Palm Desktop to Outlook:",
        "\tSubject: Pay rent",
        "Synchronization succeeded.",
        "",
        "Synchronizing Calendar record from Outlook to Palm Desktop:",
        "\tSubject: Call Jürgen",
        "Synchronization succeeded.",
        "",
        "Synchronizing Calendar records finished:",
        "3 record(s) were synchronized",
    };
    EXPECT_EQ(LogLines(pWizard), vLog);
    EXPECT_EQ(Desc(pWizard), "Calendar synchronization completed.");
    EXPECT_EQ(FindIn<QProgressBar>(pWizard, "pbProgress")->text().toStdString(), "100%");
    return Finish(pWizard);
  });
  Click("btnSyncWeek");
  EXPECT_EQ(vProgress, (std::vector<int>{33, 66, 100}));
  EXPECT_EQ(AppSettings.ConfAction, CONFLICT_PALM_WINS);

  // Finish re-matched: what travelled is the same on both sides now.
  CommDateMgr* pPalm = m_pMain->GetCalendar().GetPalmSet();
  CommDateMgr* pOutlook = m_pMain->GetCalendar().GetOutlookSet();
  for (auto [pSet, szSubject] : {std::pair{pPalm, "Pay rent"}, std::pair{pPalm, "Lunch with Zoë"},
                                 std::pair{pOutlook, "Call Jürgen"}}) {
    const CommDate* pDate = FindRecord(pSet, szSubject);
    ASSERT_NE(pDate, nullptr) << szSubject;
    EXPECT_EQ(pDate->nMatchState, MATCH_SAME) << szSubject;
  }
  auto* pHistory = Find<QTreeView>("lvHistory");
  ASSERT_EQ(RowCount(pHistory), 1);
  EXPECT_EQ(CellText(pHistory, 0, 3), "3");

  // The files, read back by others: the iCalendar file by python3-icalendar (once the stand-in
  // has written the saves it holds into it)...
  OutlookServerFold();
  const std::string sEvents = RunPythonOn(
      "import sys, icalendar\n"
      "cal = icalendar.Calendar.from_ical(open(sys.argv[1], 'rb').read())\n"
      "for ev in cal.walk('VEVENT'):\n"
      "    if ev.get('SUMMARY') in ('Pay rent', 'Lunch with Zoë'):\n"
      "        print('%s|%s' % (ev.get('SUMMARY'), ev.get('LOCATION', '')))\n",
      m_Demo.Path("outlook/Calendar.ics"));
  if (sEvents != "SKIP") {
    EXPECT_EQ(sEvents, "Lunch with Zoë|Café de Flore\nPay rent|\n");
  }
  // ... and the datebook by a store of its own.
  PmDateInfo datebook;
  ASSERT_TRUE(datebook.LoadFile(m_Demo.Path("palm/Alice/datebook/datebook.dat").c_str()));
  EXPECT_NE(FindRecord(datebook.GetRecordSet(), "Call Jürgen"), nullptr);
  EXPECT_EQ(datebook.GetRecordSet()->GetCount(), 10);
}

TEST_F(SyncWizardTest, RangePageKeepsThePresetRangeOfTheLastRunAndSwapsReversedDates) {
  Start();
  OnWizard([](TfmSyncDate* pWizard) {
    EXPECT_EQ(pWizard->GetPageIndex(), SYNCDATE_PAGE_RANGE);
    EXPECT_TRUE(FindIn<QRadioButton>(pWizard, "rbtnAll")->isChecked());
    EXPECT_FALSE(FindIn<QComboBox>(pWizard, "cbRange")->isEnabled());
    EXPECT_EQ(Desc(pWizard), "Please choose the range of dates to synchronize your Calendars.");
    return Cancel(pWizard);
  });
  Click("btnSyncCustom");

  OnWizard([](TfmSyncDate* pWizard) { return Cancel(pWizard); });
  Click("btnSyncWeek");

  OnWizard([](TfmSyncDate* pWizard) {
    EXPECT_EQ(pWizard->GetPageIndex(), SYNCDATE_PAGE_RANGE);
    EXPECT_EQ(AppSettings.RangeKind, RANGE_CUSTOM);
    EXPECT_TRUE(FindIn<QRadioButton>(pWizard, "rbtnSpec")->isChecked());
    EXPECT_EQ(FindIn<QComboBox>(pWizard, "cbRange")->currentText().toStdString(), "Custom");
    auto* pFrom = FindIn<QDateEdit>(pWizard, "dtpFrom");
    auto* pTo = FindIn<QDateEdit>(pWizard, "dtpTo");
    EXPECT_EQ(pFrom->date(), QDate(2026, 12, 6));
    EXPECT_EQ(pTo->date(), QDate(2026, 12, 12));
    // Written as every list of the program writes a date, whatever the desktop's locale.
    EXPECT_EQ(pFrom->text().toStdString(), "12/06/2026");

    pFrom->setDate(QDate(2026, 12, 20));
    pTo->setDate(QDate(2026, 12, 3));
    ClickIn(pWizard, "btnNext");
    EXPECT_EQ(AppSettings.RangeFrom, DayNumber(2026, 12, 3));
    EXPECT_EQ(AppSettings.RangeTo, DayNumber(2026, 12, 20));
    auto* pList = FindIn<QTreeView>(pWizard, "lvDate");
    const int nRows = RowCount(pList);
    EXPECT_GT(nRows, 0);
    ClickIn(pWizard, "btnClearAll");
    ClickIn(pWizard, "btnPrev");
    EXPECT_EQ(pWizard->GetPageIndex(), SYNCDATE_PAGE_RANGE);
    EXPECT_EQ(Desc(pWizard), "Please select the Calendar event records you want to synchronize.");
    ClickIn(pWizard, "btnNext");
    EXPECT_EQ(RowCount(pList), nRows);
    EXPECT_EQ(CheckOf(pList, nRows - 1), Qt::Checked);
    return Cancel(pWizard);
  });
  Click("btnDateStart");
  EXPECT_EQ(m_Ui.vDialogs.size(), 3u);
}

TEST_F(SyncWizardTest, NothingCheckedIsAnErrorThatKeepsTheRecordPageAndStoresTheAction) {
  Start();
  OnWizard([this](TfmSyncDate* pWizard) {
    ClickIn(pWizard, "btnClearAll");
    FindIn<QComboBox>(pWizard, "cbAction")->setCurrentIndex(CONFLICT_SKIP);
    ClickIn(pWizard, "btnNext");
    EXPECT_EQ(pWizard->GetPageIndex(), SYNCDATE_PAGE_DATA);
    EXPECT_EQ(AppSettings.ConfAction, CONFLICT_SKIP);
    EXPECT_EQ(m_Ui.vMessages.size(), 1u);
    if (!m_Ui.vMessages.empty()) {
      const TAppMessage& msg = m_Ui.vMessages[0];
      EXPECT_EQ(msg.strText.toStdString(), SYNC_NOTHING_SELECTED);
      EXPECT_EQ(msg.strCaption.toStdString(), "Error");
      EXPECT_EQ(msg.nIcon, QMessageBox::Critical);
      EXPECT_EQ(msg.pOwner, pWizard->GetDataPage());
    }
    return Cancel(pWizard);
  });
  Click("btnSyncWeek");
  EXPECT_FALSE(m_pMain->GetCalendar().GetPalmSelection()->GetCount() > 0);
}

// The run does not freeze the window: the progress is painted as it moves, and a Cancel (or a
// close) in the middle of it stops it after the record being written; the wizard stays open to
// show how far it got, the history counts what was written, and the main window is re-matched.
TEST_F(SyncWizardTest, RunPaintsAsItGoesAndCancelStopsItAfterTheCurrentRecord) {
  Start();
  int nPaintsDuringRun = 0;
  bool bStillOpen = false;
  OnWizard([&](TfmSyncDate* pWizard) {
    CheckOnly(pWizard, {kPalmRent, kPalmPhysio, kOutlookCall});
    auto* pProgress = FindIn<QProgressBar>(pWizard, "pbProgress");
    struct PaintCounter : QObject {
      TfmSyncDate* pWizard;
      int* pCount;
      PaintCounter(TfmSyncDate* p, int* n) : pWizard(p), pCount(n) {}
      bool eventFilter(QObject*, QEvent* pEvent) override {
        if (pEvent->type() == QEvent::Paint && pWizard->GetProcPage()->IsRunning()) ++*pCount;
        return false;
      }
    } counter(pWizard, &nPaintsDuringRun);
    pProgress->installEventFilter(&counter);
    QObject::connect(pProgress, &QProgressBar::valueChanged, [pWizard](int nValue) {
      if (nValue != 33) return;
      EXPECT_TRUE(FindIn<QPushButton>(pWizard, "btnCancel")->isEnabled());
      ClickIn(pWizard, "btnCancel");
      QCoreApplication::postEvent(pWizard, new QCloseEvent);
    });
    EXPECT_TRUE(RunToEnd(pWizard));
    pProgress->removeEventFilter(&counter);
    bStillOpen = pWizard->isVisible();
    const std::vector<std::string> vLog = LogLines(pWizard);
    EXPECT_NE(std::find(vLog.begin(), vLog.end(),
                        "Synchronization stopped by the user after 1 of 3 record(s)."),
              vLog.end());
    EXPECT_EQ(vLog.back(), "1 record(s) was synchronized");
    EXPECT_EQ(Desc(pWizard), "Calendar synchronization stopped.");
    return Finish(pWizard);
  });
  Click("btnSyncWeek");
  EXPECT_TRUE(bStillOpen);
  EXPECT_GT(nPaintsDuringRun, 0);
  const CommDate* pRent = FindRecord(m_pMain->GetCalendar().GetPalmSet(), "Pay rent");
  const CommDate* pPhysio = FindRecord(m_pMain->GetCalendar().GetPalmSet(), "Physiotherapy");
  ASSERT_NE(pRent, nullptr);
  ASSERT_NE(pPhysio, nullptr);
  EXPECT_EQ(pRent->nMatchState, MATCH_SAME);
  EXPECT_EQ(pPhysio->nMatchState, MATCH_NEW);
  auto* pHistory = Find<QTreeView>("lvHistory");
  ASSERT_EQ(RowCount(pHistory), 1);
  EXPECT_EQ(CellText(pHistory, 0, 3), "1");
}

// Space ticks and unticks the current row from any of its cells.
TEST_F(SyncWizardTest, SpaceTicksTheRowFromAnyColumn) {
  Start();
  OnWizard([](TfmSyncDate* pWizard) {
    auto* pList = FindIn<QTreeView>(pWizard, "lvDate");
    pList->setFocus();
    pList->setCurrentIndex(Cell(pList, 2, 3));
    QTest::keyClick(pList, Qt::Key_Space);
    EXPECT_EQ(CheckOf(pList, 2), Qt::Unchecked);
    QTest::keyClick(pList, Qt::Key_Space);
    EXPECT_EQ(CheckOf(pList, 2), Qt::Checked);
    return Cancel(pWizard);
  });
  Click("btnSyncWeek");
}

// A range with nothing to synchronize says so, naming the range, and offers no "Next >".
TEST_F(SyncWizardTest, EmptyRangeSaysThereIsNothingToSynchronize) {
  Start();
  OnWizard([](TfmSyncDate* pWizard) {
    ClickIn(pWizard, "rbtnSpec");
    FindIn<QDateEdit>(pWizard, "dtpFrom")->setDate(QDate(1999, 1, 1));
    FindIn<QDateEdit>(pWizard, "dtpTo")->setDate(QDate(1999, 1, 2));
    ClickIn(pWizard, "btnNext");
    EXPECT_EQ(pWizard->GetPageIndex(), SYNCDATE_PAGE_DATA);
    EXPECT_EQ(Desc(pWizard), "There is nothing to synchronize from 01/01/1999 to 01/02/1999.");
    EXPECT_FALSE(FindIn<QPushButton>(pWizard, "btnNext")->isEnabled());
    SaveShot(pWizard, "syncwizard-records-empty.png");
    return Cancel(pWizard);
  });
  Click("btnDateStart");
}

struct ConflictCase {
  const char* szName;
  std::vector<RowKey> vChecked;
  const char* szChoice;  // the choice clicked before OK; "" for OK untouched, null for Cancel
  const char* szFlag;    // a check box clicked too, or null
  std::vector<std::string> vTransfers;  // the transfer headers logged, in order
  const char* szSummary;
  int nConfActionAfter;
};

void PrintTo(const ConflictCase& c, std::ostream* pOut) {
  *pOut << c.szName;
}

class ConflictAlert : public SyncWizardTest, public ::testing::WithParamInterface<ConflictCase> {};

TEST_P(ConflictAlert, AnswerDecidesTheTransferTheCountAndTheStoredAction) {
  const ConflictCase& c = GetParam();
  Start();
  int nAsked = 0;
  m_Ui.drivers["fmConfAlert"] = [&](QDialog* pDialog) {
    ++nAsked;
    EXPECT_EQ(FindIn<QLabel>(pDialog, "lblAlert")->text().toStdString(), CONFALERT_TEXT);
    EXPECT_TRUE(FindIn<QRadioButton>(pDialog, "rbtnNothing")->isChecked());
    auto* pList = FindIn<QTreeView>(pDialog, "lvDate");
    EXPECT_EQ(RowCount(pList), 2);
    if (RowCount(pList) == 2) {
      EXPECT_EQ(CellText(pList, 0, 0), "Palm Desktop");
      EXPECT_EQ(CellText(pList, 1, 0), "Microsoft Outlook");
      EXPECT_EQ(CellText(pList, 1, 1), "Lunch with Zoë");
      // The two versions differ only in their location: it gets a column, highlighted.
      EXPECT_EQ(pList->model()->columnCount(), 6);
      EXPECT_EQ(HeaderText(pList, 5).toStdString(), "Location");
      EXPECT_EQ(CellText(pList, 1, 5), "Café Crème");
      EXPECT_TRUE(Cell(pList, 0, 5).data(Qt::FontRole).value<QFont>().bold());
      EXPECT_FALSE(Cell(pList, 0, 1).data(Qt::FontRole).value<QFont>().bold());
    }
    if (c.szChoice == nullptr) {
      ClickIn(pDialog, "btnCancel");
      return static_cast<int>(QDialog::Rejected);
    }
    if (c.szChoice[0] != '\0') ClickIn(pDialog, c.szChoice);
    if (c.szFlag != nullptr) ClickIn(pDialog, c.szFlag);
    ClickIn(pDialog, "btnOK");
    return pDialog->result();
  };
  std::vector<std::string> vTransfers;
  std::string sSummary;
  OnWizard([&](TfmSyncDate* pWizard) {
    CheckOnly(pWizard, c.vChecked);
    EXPECT_TRUE(RunToEnd(pWizard));
    for (const std::string& sLine : LogLines(pWizard)) {
      if (sLine.rfind("Synchronizing Calendar record from", 0) == 0) vTransfers.push_back(sLine);
    }
    sSummary = LogLines(pWizard).back();
    return Finish(pWizard);
  });
  Click("btnSyncWeek");
  EXPECT_EQ(nAsked, 1);
  EXPECT_EQ(vTransfers, c.vTransfers);
  EXPECT_EQ(sSummary, c.szSummary);
  EXPECT_EQ(AppSettings.ConfAction, c.nConfActionAfter);
}

const char kP2O[] = "Synchronizing Calendar record from Palm Desktop to Outlook:";
const char kO2P[] = "Synchronizing Calendar record from Outlook to Palm Desktop:";

INSTANTIATE_TEST_SUITE_P(
    Answers, ConflictAlert,
    ::testing::Values(ConflictCase{"OkUntouchedDoesNothing",
                                   {kPalmLunch},
                                   "",
                                   nullptr,
                                   {kP2O},
                                   "0 record(s) was synchronized, 1 skipped",
                                   CONFLICT_ASK},
                      ConflictCase{"PalmOverwritesOnceAndTheCounterpartIsSkipped",
                                   {kPalmLunch, kOutlookLunch},
                                   "rbtnP2O",
                                   nullptr,
                                   {kP2O},
                                   "1 record(s) was synchronized",
                                   CONFLICT_ASK},
                      // Cancel leaves the record unwritten on either side: a skip, never a
                      // synchronized record.
                      ConflictCase{"CancelOnAPalmRecordIsSkipped",
                                   {kPalmLunch},
                                   nullptr,
                                   nullptr,
                                   {kP2O},
                                   "0 record(s) was synchronized, 1 skipped",
                                   CONFLICT_SKIP},
                      ConflictCase{"CancelOnAnOutlookRecordIsSkipped",
                                   {kOutlookLunch},
                                   nullptr,
                                   nullptr,
                                   {kO2P},
                                   "0 record(s) was synchronized, 1 skipped",
                                   CONFLICT_SKIP},
                      ConflictCase{"AllFutureStopsAskingAndIsStored",
                                   {kPalmLunch, kPalmReview},
                                   "rbtnP2O",
                                   "cbAll",
                                   {kP2O, kP2O},
                                   "2 record(s) were synchronized",
                                   CONFLICT_PALM_WINS}),
    [](const ::testing::TestParamInfo<ConflictCase>& row) { return row.param.szName; });

struct RunFailureCase {
  const char* szName;
  const char* szFile;      // in the demo, harmed after the calendars were loaded
  bool bFolderInstead;     // replaced by a folder, else written to by another program
  RowKey transfer;         // the one record checked
  const char* szLastLine;  // the log's last line begins so
  bool bNotAllSaved;       // a transfer to Palm Desktop never reached its file
  const char* szDesc;      // the description above the pages, in red
};

void PrintTo(const RunFailureCase& c, std::ostream* pOut) {
  *pOut << c.szName;
}

class RunFailure : public SyncWizardTest, public ::testing::WithParamInterface<RunFailureCase> {};

// What did not reach its file is said at the end of the log with its reason, and a failed
// transfer or save shows above the pages too, in red.
TEST_P(RunFailure, ReasonEndsTheLogAndAFailedSaveShowsInTheDescription) {
  const RunFailureCase& c = GetParam();
  Start();
  const std::string sFile = std::string(c.szFile) == HISTORY_FILE_NAME
                                ? m_Demo.DataFile(HISTORY_FILE_NAME)
                                : m_Demo.Path(c.szFile);
  if (c.bFolderInstead) {
    std::filesystem::remove(sFile);
    std::filesystem::create_directory(sFile);
  } else {
    dbtest::AppendElsewhere(sFile);
  }
  std::string sLast;
  std::string sDesc;
  QColor crDesc;
  OnWizard([&](TfmSyncDate* pWizard) {
    CheckOnly(pWizard, {c.transfer});
    EXPECT_TRUE(RunToEnd(pWizard));
    sLast = LogLines(pWizard).back();
    sDesc = Desc(pWizard);
    crDesc = FindIn<QLabel>(pWizard, "lblDesc")->palette().color(QPalette::WindowText);
    SaveShot(pWizard, (std::string("syncwizard-run-") + c.szName + ".png").c_str());
    return Finish(pWizard);
  });
  Click("btnSyncWeek");
  EXPECT_EQ(sLast.rfind(c.szLastLine, 0), 0u) << sLast;
  EXPECT_NE(sLast.find(sFile), std::string::npos) << sLast;
  // The main window shows what the Palm file holds, not a transfer that never reached it.
  const bool bInPalmFile = c.transfer.nSource == SOURCE_PALM || !c.bNotAllSaved;
  EXPECT_EQ(FindRecord(m_pMain->GetCalendar().GetPalmSet(), c.transfer.szSubject) != nullptr,
            bInPalmFile);
  EXPECT_EQ(sDesc, c.szDesc);
  EXPECT_NE(crDesc, QColor(Qt::black));
}

const char kNotAllSaved[] =
    "Calendar synchronization completed, but not everything was saved: see the end of the log.";

INSTANTIATE_TEST_SUITE_P(
    Files, RunFailure,
    ::testing::Values(
        RunFailureCase{"PalmSaveRefused", "palm/Alice/datebook/datebook.dat", false, kOutlookCall,
                       "1 transfer to Palm Desktop was not saved (changed by another program "
                       "since it was read: ",
                       true, kNotAllSaved},
        RunFailureCase{"HistorySaveRefused", HISTORY_FILE_NAME, true, kPalmRent,
                       "The synchronization history could not be saved (", true, kNotAllSaved},
        RunFailureCase{"OutlookWriteRefused", "outlook/Calendar.ics", false, kPalmRent,
                       "Writing to Outlook failed (the Outlook calendar file was changed by "
                       "another program since it was read: ",
                       false,
                       "Calendar synchronization failed: 1 record(s) could not be written. See "
                       "the log."}),
    [](const ::testing::TestParamInfo<RunFailureCase>& row) { return row.param.szName; });

// Pictures of every page of the wizard, the alert and the details dialog, as a user sees them.
TEST_F(SyncWizardTest, SavesPicturesOfTheWizardTheAlertAndTheDetails) {
  Start();
  m_Ui.drivers["fmDateDetail"] = [](QDialog* pDialog) {
    pDialog->show();
    const QString strDesc = FindIn<QLineEdit>(pDialog, "edtDesc")->text();
    if (strDesc == QStringLiteral("Project review")) {
      FindIn<QTabWidget>(pDialog, "pcDetail")->setCurrentIndex(1);
      SaveShot(pDialog, "record-details-recurrence.png");
    } else {
      SaveShot(pDialog, "record-details.png");
      FindIn<QTabWidget>(pDialog, "pcDetail")->setCurrentIndex(0);
      SaveShot(pDialog, "record-details-general.png");
    }
    ClickIn(pDialog, "btnClose");
    return pDialog->result();
  };
  m_Ui.drivers["fmConfAlert"] = [](QDialog* pDialog) {
    pDialog->show();
    SaveShot(pDialog, "conflict-alert.png");
    ClickIn(pDialog, "rbtnP2O");
    ClickIn(pDialog, "btnOK");
    return pDialog->result();
  };
  OnWizard([this](TfmSyncDate* pWizard) {
    ClickIn(pWizard, "rbtnSpec");
    FindIn<QComboBox>(pWizard, "cbRange")->setCurrentIndex(RANGE_THIS_MONTH);
    SaveShot(pWizard, "syncwizard-range.png");
    ClickIn(pWizard, "btnNext");
    SaveShot(pWizard, "syncwizard-records.png");
    DoubleClickRow(pWizard, {"Conférence annuelle à Genève", SOURCE_PALM});
    DoubleClickRow(pWizard, kPalmReview);
    EXPECT_EQ(m_Ui.vDialogs.size(), 3u);
    CheckOnly(pWizard, {kPalmLunch, kPalmRent, kOutlookCall});
    EXPECT_TRUE(RunToEnd(pWizard));
    SaveShot(pWizard, "syncwizard-run.png");
    return Finish(pWizard);
  });
  Click("btnDateStart");
  EXPECT_EQ(m_Ui.vDialogs, (std::vector<std::string>{"fmSyncDate", "fmDateDetail", "fmDateDetail",
                                                     "fmConfAlert"}));
}

}  // namespace
