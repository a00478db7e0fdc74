// The log options dialog and the log location both log dialogs show: the level entries, what
// OK does to the running log, and the "..." buttons.
#include "app/Debugger.h"
#define DB_MODULE "DebuggerTest"
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <fstream>
#include <iterator>
#include <string>

#include "support/ui/DialogTest.h"

namespace {

struct LevelCase {
  const char* szName;
  INT nStored;
  const char* szShown;
  INT nWritten;
};

class DebugLevels : public DialogTest, public ::testing::WithParamInterface<LevelCase> {};

TEST_P(DebugLevels, StoredLevelSelectsItsEntryAndOkWritesTheEntrysLevel) {
  AppSettings.LogLevel = GetParam().nStored;
  TfmDebug dlg;
  EXPECT_EQ(FindIn<QComboBox>(&dlg, "cbxLevel")->currentText().toStdString(), GetParam().szShown);
  ClickIn(&dlg, "btnOK");
  EXPECT_EQ(AppSettings.LogLevel, GetParam().nWritten);
  EXPECT_EQ(g_DebugLog.GetLevel(), GetParam().nWritten);
}

INSTANTIATE_TEST_SUITE_P(
    Stored, DebugLevels,
    ::testing::Values(LevelCase{"Critical", 0, "Critical - Only log critical error information.",
                                0},
                      LevelCase{"High", 1, "High - Log high level debug information.", 1},
                      LevelCase{"TwoOpensOnLow", 2, "Low - Log very detail debug information.", 3}),
    [](const ::testing::TestParamInfo<LevelCase>& row) { return row.param.szName; });

class DebugLog : public DialogTest {
 protected:
  std::string LogText() const {
    std::ifstream in(m_Demo.DataFile("appdebug.log"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
};

TEST_F(DebugLog, UncheckingStopsProgressAtOnceWhileErrorsStillReachTheLog) {
  g_DebugLog.SetFolder(m_Demo.DataFile("").c_str());
  AppSettings.EnableDebug = 1;
  AppSettings.LogLevel = 3;
  g_DebugLog.Enable(true);
  g_DebugLog.SetLevel(3);
  Log(2, "progress before");
  TfmDebug dlg;
  ClickIn(&dlg, "cbEnable");
  ClickIn(&dlg, "btnOK");
  EXPECT_EQ(AppSettings.EnableDebug, 0);
  Log(2, "progress after");
  Log(0, "error after");
  const std::string sLog = LogText();
  EXPECT_NE(sLog.find("progress before"), std::string::npos);
  EXPECT_EQ(sLog.find("progress after"), std::string::npos);
  EXPECT_NE(sLog.find("[!!!] - error after"), std::string::npos);
}

TEST_F(DebugLog, FileButtonOpensTheLogOnlyOnceItExists) {
  const std::string sFolder = m_Demo.DataFile("");
  const std::string sFile = m_Demo.DataFile("appdebug.log");
  std::remove(sFile.c_str());
  TfmDebug dlg;
  EXPECT_EQ(FindIn<QLineEdit>(&dlg, "edtFolder")->text().toStdString(), sFolder);
  EXPECT_EQ(FindIn<QLineEdit>(&dlg, "edtFile")->text().toStdString(), sFile);
  ClickIn(&dlg, "btnFile");
  ASSERT_EQ(m_Ui.vMessages.size(), 1u);
  EXPECT_EQ(m_Ui.vMessages[0].strText.toStdString(), "Debug log file doesn't exist");
  EXPECT_EQ(m_Ui.vMessages[0].strCaption.toStdString(), "Error");
  EXPECT_EQ(m_Ui.vMessages[0].nIcon, QMessageBox::Information);
  EXPECT_TRUE(m_Ui.vOpened.empty());

  std::ofstream(sFile) << "a line\r\n";
  ClickIn(&dlg, "btnFile");
  ClickIn(&dlg, "btnFolder");
  EXPECT_EQ(m_Ui.vOpened, (std::vector<std::string>{sFile, sFolder}));
  EXPECT_EQ(m_Ui.vMessages.size(), 1u);
}

TEST_F(DebugLog, WithoutADataFolderTheLocationStaysEmptyAndClosed) {
  // A file where the common application data folder should be.
  const std::string sBlocked = m_Demo.Path("blocked");
  std::ofstream(sBlocked) << "not a folder";
  setenv("DAYBRIDGE_COMMON_APPDATA", sBlocked.c_str(), 1);
  TfmDebug dlg;
  for (const char* szField : {"edtFolder", "edtFile"}) {
    EXPECT_TRUE(FindIn<QLineEdit>(&dlg, szField)->text().isEmpty()) << szField;
  }
  for (const char* szButton : {"btnFolder", "btnFile"}) {
    EXPECT_FALSE(FindIn<QWidget>(&dlg, szButton)->isEnabled()) << szButton;
  }
}

}  // namespace
