// Settings defaults, the reading rules of hand-edited values, the written file and the data
// folder.
#include "app/core/AppSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/misc/CxIniUtil.h"
#include "platform/win/WinString.h"

namespace {

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Dir = std::filesystem::temp_directory_path() /
            (std::string("daybridge-settings-") +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_Dir);
    std::filesystem::create_directories(m_Dir);
    m_Path = m_Dir / "tidewell.ini";
    m_sOldPath = g_AppIni.GetPath();
    g_AppIni.SetPath(m_Path.c_str());
  }
  void TearDown() override {
    g_AppIni.SetPath(m_sOldPath.c_str());
    std::filesystem::remove_all(m_Dir);
  }
  void WriteIni(const std::string& sBody) {
    std::ofstream out(m_Path, std::ios::binary);
    out << "[DayBridge_OL_PD]\r\n" << sBody;
  }
  std::string ReadIni() {
    std::ifstream in(m_Path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  std::filesystem::path m_Dir;
  std::filesystem::path m_Path;
  std::string m_sOldPath;
};

TEST_F(SettingsFile, FirstStartTakesDefaultsAndExitWritesEveryKeyInOrder) {
  AppSettings.RangeFrom = 40000;  // left from an earlier wizard of another process
  AppSettings.RangeKind = RANGE_THIS_WEEK;
  LoadSettings();
  EXPECT_EQ(AppSettings.ShowWizard, 1);
  EXPECT_EQ(AppSettings.ShowHistory, 1);
  EXPECT_EQ(AppSettings.EnableDebug, 0);
  EXPECT_EQ(AppSettings.LogLevel, 3);
  EXPECT_EQ(AppSettings.ShowColor, 1);
  EXPECT_EQ(AppSettings.DiffColor, 0xFF0000u);
  EXPECT_EQ(AppSettings.NewColor, 0x008000u);
  EXPECT_EQ(AppSettings.SameColor, 0u);
  EXPECT_EQ(AppSettings.ConfAction, CONFLICT_SKIP);
  EXPECT_EQ(AppSettings.SyncMode, SYNC_NONE);
  EXPECT_EQ(AppSettings.PDUserID, 0);
  EXPECT_EQ(AppSettings.RangeFrom, 0u);
  EXPECT_EQ(AppSettings.RangeKind, 0);
  EXPECT_STREQ(AppSettings.DateFileName, "");

  AppSettings.SyncMode = SYNC_PALM_TO_OUTLOOK;  // the checked direction button at exit
  AppSettings.RangeTo = 40010;
  ASSERT_TRUE(SaveSettings());
  EXPECT_EQ(ReadIni(),
            "[DayBridge_OL_PD]\r\nShowWizard=1\r\nShowHistory=1\r\nSyncMode=1\r\nShowColor=1\r\n"
            "DiffColor=16711680\r\nSameColor=0\r\nNewColor=32768\r\nConfAction=3\r\n"
            "ActionAlways=0\r\nEnableDebug=0\r\nLogLevel=3\r\nPDUserID=0\r\nUseDateFile=0\r\n"
            "DateFileName=\r\n");
}

struct ValueCase {
  const char* szName;
  const char* szLine;  // one line of the section
  INT TAppSettings::*pnField;
  BYTE TAppSettings::*pbField;
  long long nExpected;
};

class SettingValues : public SettingsFile, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(SettingValues, ReadAsTheCLibraryReadsNumbers) {
  WriteIni(std::string(GetParam().szLine) + "\r\n");
  LoadSettings();
  long long nValue = GetParam().pnField != nullptr ? AppSettings.*(GetParam().pnField)
                                                   : AppSettings.*(GetParam().pbField);
  EXPECT_EQ(nValue, GetParam().nExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SettingValues,
    ::testing::Values(
        ValueCase{"BoolLettersReadFalse", "ShowWizard=abc", nullptr, &TAppSettings::ShowWizard, 0},
        ValueCase{"BoolEmptyTakesDefault", "ShowWizard=", nullptr, &TAppSettings::ShowWizard, 1},
        ValueCase{"BoolAnyNonZeroIsTrue", "EnableDebug=-7", nullptr, &TAppSettings::EnableDebug, 1},
        ValueCase{"LogLevelSevenKept", "LogLevel=7", &TAppSettings::LogLevel, nullptr, 7},
        ValueCase{"TrailingLettersIgnored", "PDUserID=12abc", &TAppSettings::PDUserID, nullptr, 12},
        ValueCase{"SignedValue", "SyncMode=-2", &TAppSettings::SyncMode, nullptr, -2},
        ValueCase{"OverflowSaturates", "PDUserID=99999999999", &TAppSettings::PDUserID, nullptr,
                  2147483647},
        ValueCase{"EmptyIntTakesDefault", "ConfAction=", &TAppSettings::ConfAction, nullptr, 3},
        ValueCase{"LettersIntReadZero", "ConfAction=abc", &TAppSettings::ConfAction, nullptr, 0}),
    [](const ::testing::TestParamInfo<ValueCase>& tpi) { return tpi.param.szName; });

TEST_F(SettingsFile, StoredValuesRoundTripAndRangeNeverReachesTheFile) {
  LoadSettings();
  AppSettings.LogLevel = 7;
  AppSettings.PDUserID = -5;
  AppSettings.UseDateFile = 1;
  CxCopyText(AppSettings.DateFileName, "/home/a/My Palm/datebook.dat");
  AppSettings.RangeFrom = 1;
  AppSettings.RangeTo = 2;
  AppSettings.RangeKind = RANGE_THIS_YEAR;
  ASSERT_TRUE(SaveSettings());
  LoadSettings();
  EXPECT_EQ(AppSettings.LogLevel, 7);
  EXPECT_EQ(AppSettings.PDUserID, -5);
  EXPECT_EQ(AppSettings.UseDateFile, 1);
  EXPECT_STREQ(AppSettings.DateFileName, "/home/a/My Palm/datebook.dat");
  EXPECT_EQ(AppSettings.RangeFrom, 0u);
  EXPECT_EQ(AppSettings.RangeKind, 0);
  EXPECT_EQ(ReadIni().find("Range"), std::string::npos);
}

TEST(DataFolder, CreatedOnceAndFoundAgain) {
  std::filesystem::path root = std::filesystem::temp_directory_path() / "daybridge-datafolder";
  std::filesystem::remove_all(root);
  std::filesystem::create_directories(root);
  const char* szOld = getenv("DAYBRIDGE_COMMON_APPDATA");
  std::string sOld = szOld != nullptr ? szOld : "";
  setenv("DAYBRIDGE_COMMON_APPDATA", root.c_str(), 1);

  char szFolder[MAX_PATH] = "unchanged";
  EXPECT_FALSE(GetDataFolder(nullptr));
  ASSERT_TRUE(GetDataFolder(szFolder));
  EXPECT_EQ(std::string(szFolder), (root / "tidewell" / "DayBridge_OL_PD").string() + "/");
  EXPECT_TRUE(std::filesystem::is_directory(szFolder));
  ASSERT_TRUE(GetDataFolder(szFolder));  // a second start finds the folders present

  // A file where the vendor folder belongs cannot be turned into a folder.
  std::filesystem::remove_all(root / "tidewell");
  std::ofstream(root / "tidewell") << "x";
  char szKept[MAX_PATH] = "unchanged";
  EXPECT_FALSE(GetDataFolder(szKept));
  EXPECT_STREQ(szKept, "unchanged");

  if (szOld != nullptr) {
    setenv("DAYBRIDGE_COMMON_APPDATA", sOld.c_str(), 1);
  } else {
    unsetenv("DAYBRIDGE_COMMON_APPDATA");
  }
  std::filesystem::remove_all(root);
}

}  // namespace
