// The options dialog: what it opens with, what OK hands back to the settings, the file box and
// its browse button, the colour swatches.
#include "app/Option.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QRadioButton>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "app/Apputil.h"
#include "platform/win/WinString.h"
#include "support/files/CalendarSabotage.h"
#include "support/ui/DialogTest.h"

namespace {

// Every field, so that a comparison shows which one moved.
std::string Fields(const TAppSettings& s) {
  std::ostringstream out;
  out << "ShowWizard=" << int{s.ShowWizard} << " ShowHistory=" << int{s.ShowHistory}
      << " EnableDebug=" << int{s.EnableDebug} << " LogLevel=" << s.LogLevel
      << " ShowColor=" << int{s.ShowColor} << " DiffColor=" << s.DiffColor
      << " NewColor=" << s.NewColor << " SameColor=" << s.SameColor
      << " ConfAction=" << s.ConfAction << " ActionAlways=" << int{s.ActionAlways}
      << " SyncMode=" << s.SyncMode << " RangeFrom=" << s.RangeFrom << " RangeTo=" << s.RangeTo
      << " RangeKind=" << s.RangeKind << " PDUserID=" << s.PDUserID
      << " UseDateFile=" << int{s.UseDateFile} << " DateFileName=" << s.DateFileName
      << " OutlookCalendar=" << s.OutlookCalendar;
  return out.str();
}

class OptionTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    // Every field away from its default.
    AppSettings = {.ShowWizard = 0,
                   .ShowHistory = 1,
                   .EnableDebug = 1,
                   .LogLevel = 1,
                   .ShowColor = 0,
                   .DiffColor = 0x123456,
                   .NewColor = 0x00ABCD,
                   .SameColor = 0x0F0F0F,
                   .ConfAction = 0,
                   .ActionAlways = 0,
                   .SyncMode = 2,
                   .RangeFrom = 46000,
                   .RangeTo = 46010,
                   .RangeKind = 3,
                   .PDUserID = 1002,
                   .UseDateFile = 1,
                   .DateFileName = {}};
    CxCopyText(AppSettings.DateFileName, m_Demo.Path("files/DateBook.mdb").c_str());
  }
};

struct ConflictCase {
  const char* szName;
  INT nStored;
  const char* szChecked;
  INT nConfAfter;
  BYTE nAlwaysAfter;
};

class OptionConflict : public OptionTest, public ::testing::WithParamInterface<ConflictCase> {};

TEST_P(OptionConflict, OkWithoutChangesKeepsEveryValueButTheActionFlag) {
  AppSettings.ConfAction = GetParam().nStored;
  AppSettings.ActionAlways = GetParam().nAlwaysAfter ? 0 : 1;
  TAppSettings expected = AppSettings;
  expected.ConfAction = GetParam().nConfAfter;
  expected.ActionAlways = GetParam().nAlwaysAfter;
  TfmOption dlg;
  dlg.Load(AppSettings);
  EXPECT_TRUE(FindIn<QRadioButton>(&dlg, GetParam().szChecked)->isChecked());
  ClickIn(&dlg, "btnOK");
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(Fields(AppSettings), Fields(expected));
}

INSTANTIATE_TEST_SUITE_P(
    Stored, OptionConflict,
    ::testing::Values(ConflictCase{"RemindMe", CONFLICT_ASK, "rbtnRemind", CONFLICT_ASK, 0},
                      ConflictCase{"PalmWins", CONFLICT_PALM_WINS, "rbtnP2O", 1, 1},
                      ConflictCase{"OutlookWins", CONFLICT_OUTLOOK_WINS, "rbtnO2P", 2, 1},
                      ConflictCase{"DoNothing", CONFLICT_SKIP, "rbtnNothing", 3, 1},
                      ConflictCase{"UnknownOpensAsDoNothing", 5, "rbtnNothing", 3, 1}),
    [](const ::testing::TestParamInfo<ConflictCase>& row) { return row.param.szName; });

TEST_F(OptionTest, FileBoxEnablesThePathAndUncheckingItKeepsTheOldName) {
  const std::string sOld = AppSettings.DateFileName;
  {
    TfmOption dlg;
    dlg.Load(AppSettings);
    EXPECT_TRUE(FindIn<QLineEdit>(&dlg, "edtDateFile")->isEnabled());
    ClickIn(&dlg, "cbDateFile");
    EXPECT_FALSE(FindIn<QLineEdit>(&dlg, "edtDateFile")->isEnabled());
    EXPECT_FALSE(FindIn<QWidget>(&dlg, "btnDateBrowse")->isEnabled());
    FindIn<QLineEdit>(&dlg, "edtDateFile")->setText(QStringLiteral("/elsewhere/datebook.dat"));
    ClickIn(&dlg, "btnOK");
  }
  EXPECT_EQ(AppSettings.UseDateFile, 0);
  EXPECT_EQ(std::string(AppSettings.DateFileName), sOld);

  TfmOption dlg;
  dlg.Load(AppSettings);
  auto* pPath = FindIn<QLineEdit>(&dlg, "edtDateFile");
  EXPECT_EQ(pPath->text().toStdString(), sOld);
  EXPECT_FALSE(pPath->isEnabled());
  ClickIn(&dlg, "cbDateFile");
  EXPECT_TRUE(FindIn<QWidget>(&dlg, "btnDateBrowse")->isEnabled());
  pPath->clear();
  QTest::keyClicks(pPath, QStringLiteral("/typed/by hand.dat"));
  ClickIn(&dlg, "btnOK");
  EXPECT_EQ(AppSettings.UseDateFile, 1);
  EXPECT_STREQ(AppSettings.DateFileName, "/typed/by hand.dat");
}

// What is typed as the Outlook calendar reaches the settings without any login in it.
struct OutlookCalendarCase {
  const char* szName;
  const char* szTyped;
  const char* szStored;
};

class OptionOutlookCalendar : public OptionTest,
                              public ::testing::WithParamInterface<OutlookCalendarCase> {};

TEST_P(OptionOutlookCalendar, TypedCalendarIsStoredWithoutALogin) {
  TfmOption dlg;
  dlg.Load(AppSettings);
  auto* pField = FindIn<QLineEdit>(&dlg, "edtOutlookCalendar");
  QTest::keyClicks(pField, QString::fromUtf8(GetParam().szTyped));
  ClickIn(&dlg, "btnOK");
  EXPECT_STREQ(AppSettings.OutlookCalendar, GetParam().szStored);
}

INSTANTIATE_TEST_SUITE_P(
    Typed, OptionOutlookCalendar,
    ::testing::Values(
        OutlookCalendarCase{"FileAsTyped", "/home/anna/cal@home.ics", "/home/anna/cal@home.ics"},
        OutlookCalendarCase{"AddressLoginDropped", "HTTPS://anna:pa@ss@dav.example.org:8443/c/@x/",
                            "HTTPS://dav.example.org:8443/c/@x/"},
        OutlookCalendarCase{"AddressWithoutLoginAsTyped", "http://127.0.0.1:5232/anna/cal/",
                            "http://127.0.0.1:5232/anna/cal/"}),
    [](const ::testing::TestParamInfo<OutlookCalendarCase>& row) { return row.param.szName; });

TEST_F(OptionTest, PathFieldTakesNoMoreThanTheSettingsKeep) {
  TfmOption dlg;
  dlg.Load(AppSettings);
  auto* pPath = FindIn<QLineEdit>(&dlg, "edtDateFile");
  pPath->clear();
  QTest::keyClicks(pPath, QString(300, QLatin1Char('x')));
  EXPECT_EQ(pPath->text().size(), 255);
}

struct BrowseCase {
  const char* szName;
  const char* szFile;  // in the demo; empty for a file that no loader accepts
  bool bLongPath;      // the file copied to a path longer than 255 bytes
  bool bHeld;          // another DayBridge run has it loaded
  bool bChosen;        // the file dialog confirmed
  bool bTaken;
  const char* szReason;  // how the reason under the refusal begins
};

class OptionBrowse : public OptionTest, public ::testing::WithParamInterface<BrowseCase> {};

TEST_P(OptionBrowse, ChosenFileIsCheckedBeforeTheFieldTakesIt) {
  const BrowseCase& c = GetParam();
  std::filesystem::path file = m_Demo.Path(c.szFile[0] ? c.szFile : "files/notes.dat");
  if (c.szFile[0] == '\0') std::ofstream(file) << "neither datebook layout";
  if (c.bLongPath) {
    const std::filesystem::path deep = m_Demo.Path(std::string(240, 'd'));
    std::filesystem::create_directories(deep);
    std::filesystem::copy_file(file, deep / "datebook.dat");
    file = deep / "datebook.dat";
  }
  std::unique_ptr<dbtest::HeldByAnotherRun> pOtherRun;
  if (c.bHeld) pOtherRun = std::make_unique<dbtest::HeldByAnotherRun>(file.string());
  TfmOption dlg;
  dlg.Load(AppSettings);
  auto* pPath = FindIn<QLineEdit>(&dlg, "edtDateFile");
  const QString strBefore = pPath->text();
  m_Ui.dialogDriver = [&](QDialog* pDialog) {
    auto* pOpen = qobject_cast<QFileDialog*>(pDialog);
    EXPECT_NE(pOpen, nullptr);
    if (pOpen == nullptr) return static_cast<int>(QDialog::Rejected);
    EXPECT_EQ(pOpen->windowTitle().toStdString(), "Open Palm Desktop Calendar data file");
    EXPECT_EQ(pOpen->nameFilters(),
              QStringList({QStringLiteral("Palm Desktop 4.x Database File(*.dat)"),
                           QStringLiteral("Palm Desktop 6.x Database File(*.mdb)"),
                           QStringLiteral("All Files(*.*)")}));
    pOpen->selectFile(QString::fromStdString(file.string()));
    return static_cast<int>(c.bChosen ? QDialog::Accepted : QDialog::Rejected);
  };
  ClickIn(&dlg, "btnDateBrowse");
  EXPECT_EQ(pPath->text(), c.bTaken ? QString::fromStdString(file.string()) : strBefore);
  const bool bRefused = c.bChosen && !c.bTaken;
  ASSERT_EQ(m_Ui.vMessages.size(), bRefused ? 1u : 0u);
  if (bRefused) {
    // The message users know first, then why.
    const std::string sText = m_Ui.vMessages[0].strText.toStdString();
    EXPECT_EQ(sText.rfind(std::string("Invalid Palm Desktop calendar database file, please try "
                                      "another one.\n\n") +
                              c.szReason,
                          0),
              0u)
        << sText;
    EXPECT_EQ(m_Ui.vMessages[0].strCaption.toStdString(), "Error");
    EXPECT_EQ(m_Ui.vMessages[0].nIcon, QMessageBox::Critical);
    EXPECT_EQ(m_Ui.vMessages[0].pOwner, &dlg);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, OptionBrowse,
    ::testing::Values(BrowseCase{"EarlierDatebookIsTaken", "files/datebook-earlier.dat", false,
                                 false, true, true, nullptr},
                      BrowseCase{"DatThatNoLoaderAcceptsIsRefused", "", false, false, true, false,
                                 "Not a Palm Desktop datebook ("},
                      BrowseCase{"PathLongerThanTheSettingsKeepIsRefused",
                                 "palm/Alice/datebook/datebook.dat", true, false, true, false,
                                 "Its path is longer than the 255 bytes"},
                      BrowseCase{"DatebookOfAnotherRunIsRefusedAsLocked",
                                 "palm/Alice/datebook/datebook.dat", false, true, true, false,
                                 "Locked by another DayBridge run: "},
                      BrowseCase{"CancelledChangesNothing", "files/DateBook.mdb", false, false,
                                 false, false, nullptr}),
    [](const ::testing::TestParamInfo<BrowseCase>& row) { return row.param.szName; });

TEST_F(OptionTest, SwatchColourReachesTheSettingsOnlyOnOk) {
  m_Ui.dialogDriver = [](QDialog* pDialog) {
    auto* pChooser = qobject_cast<QColorDialog*>(pDialog);
    EXPECT_NE(pChooser, nullptr);
    if (pChooser == nullptr) return static_cast<int>(QDialog::Rejected);
    EXPECT_EQ(pChooser->objectName(), "RecColorDialog");
    EXPECT_EQ(pChooser->currentColor(), QColor(0x56, 0x34, 0x12)) << "preset to the swatch";
    pChooser->setCurrentColor(Qt::red);
    return static_cast<int>(QDialog::Accepted);
  };
  const std::string sBefore = Fields(AppSettings);
  {
    TfmOption dlg;
    dlg.Load(AppSettings);
    ClickIn(&dlg, "pnlDiffColor");
    EXPECT_EQ(FindIn<QWidget>(&dlg, "pnlDiffColor")->palette().color(QPalette::Window),
              QColor(Qt::red));
    ClickIn(&dlg, "btnCancel");
  }
  EXPECT_EQ(Fields(AppSettings), sBefore);
  {
    TfmOption dlg;
    dlg.Load(AppSettings);
    ClickIn(&dlg, "pnlDiffColor");
    ClickIn(&dlg, "btnOK");
  }
  EXPECT_EQ(AppSettings.DiffColor, 0x0000FFu);
  EXPECT_EQ(m_Ui.vDialogs, (std::vector<std::string>{"RecColorDialog", "RecColorDialog"}));
}

}  // namespace
