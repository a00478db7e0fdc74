// CxIniUtil: path building, the default section, and how typed reads treat stored text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/misc/CxIniUtil.h"

namespace {

namespace fs = std::filesystem;

class CxIniUtilTest : public testing::Test {
 protected:
  void SetUp() override {
    m_dir =
        fs::temp_directory_path() / ("cxiniutil-" + std::to_string(getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    m_folder = m_dir.string() + "/";
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::string FileText(const char* szName) const {
    std::ifstream in(m_dir / szName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  fs::path m_dir;
  std::string m_folder;
};

TEST_F(CxIniUtilTest, EmptySectionMeansTheDefaultSection) {
  CxIniUtil ini(m_folder.c_str(), "tidewell.ini");
  EXPECT_EQ(m_folder + "tidewell.ini", ini.GetPath());
  ini.SetDefaultSection("DayBridge_OL_PD");
  ASSERT_TRUE(ini.WriteInt("", "SyncMode", 3));
  ASSERT_TRUE(ini.WriteBool(nullptr, "ShowWizard", false));
  ASSERT_TRUE(ini.WriteString("Path", "PDPath", nullptr));
  EXPECT_EQ("[DayBridge_OL_PD]\r\nSyncMode=3\r\nShowWizard=0\r\n[Path]\r\nPDPath=\r\n",
            FileText("tidewell.ini"));
  EXPECT_EQ(3, ini.ReadInt(nullptr, "syncmode", 1));
  EXPECT_FALSE(ini.ReadBool("", "ShowWizard", true));
  char szBuf[8] = "x";
  EXPECT_EQ(0, ini.ReadString("Path", "PDPath", szBuf, sizeof(szBuf), "dflt"));
  EXPECT_STREQ("", szBuf);
}

TEST_F(CxIniUtilTest, RefusesEmptyKeysAndBuffers) {
  CxIniUtil ini(m_folder.c_str(), "a.ini");
  EXPECT_FALSE(ini.WriteString("S", "", "v"));
  EXPECT_FALSE(ini.WriteString("S", nullptr, "v"));
  EXPECT_FALSE(fs::exists(m_dir / "a.ini"));
  char szBuf[8] = "keep";
  EXPECT_EQ(0, ini.ReadString("S", "", szBuf, sizeof(szBuf), "d"));
  EXPECT_EQ(0, ini.ReadString("S", "K", szBuf, 0, "d"));
  EXPECT_EQ(0, ini.ReadString("S", "K", nullptr, 8, "d"));
  EXPECT_STREQ("keep", szBuf);
  EXPECT_EQ(1, ini.ReadString("S", "K", szBuf, sizeof(szBuf), "d"));
  EXPECT_STREQ("d", szBuf);
}

struct IntCase {
  const char* szName;
  const char* szStored;  // null: key missing
  int nDefault;
  int nExpected;
};

class CxIniUtilIntTest : public CxIniUtilTest, public testing::WithParamInterface<IntCase> {};

TEST_P(CxIniUtilIntTest, ReadsLeadingDigits) {
  CxIniUtil ini(m_folder.c_str(), "t.ini");
  if (GetParam().szStored != nullptr) {
    ASSERT_TRUE(ini.WriteString("S", "K", GetParam().szStored));
  }
  EXPECT_EQ(GetParam().nExpected, ini.ReadInt("S", "K", GetParam().nDefault));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CxIniUtilIntTest,
    testing::Values(IntCase{"Number", "42", 7, 42}, IntCase{"TrailingText", "12abc", 7, 12},
                    IntCase{"NoDigitsIsZero", "abc", 7, 0}, IntCase{"Negative", "-15", 7, -15},
                    IntCase{"EmptyIsDefault", "", 7, 7}, IntCase{"MissingIsDefault", nullptr, 7, 7},
                    IntCase{"TooLargeSaturates", "99999999999", 7, INT_MAX},
                    IntCase{"TooSmallSaturates", "-99999999999", 7, INT_MIN}),
    [](const testing::TestParamInfo<IntCase>& rowInfo) { return rowInfo.param.szName; });

TEST_F(CxIniUtilTest, WithoutAFolderUsesTheProgramsFolder) {
  CxIniUtil ini(nullptr, "tidewell.ini");
  const fs::path program = fs::canonical("/proc/self/exe");
  EXPECT_EQ(program.parent_path().string() + "/tidewell.ini", ini.GetPath());
}

TEST_F(CxIniUtilTest, PathTooLongIsRefusedRatherThanCut) {
  const std::string longFolder = m_folder + std::string(MAX_PATH, 'd') + "/";
  CxIniUtil ini(longFolder.c_str(), "tidewell.ini");
  EXPECT_STREQ("", ini.GetPath());
  EXPECT_FALSE(ini.WriteInt("S", "K", 1));

  CxIniUtil kept(m_folder.c_str(), "a.ini");
  kept.SetPath((longFolder + "b.ini").c_str());
  kept.SetPath("");
  EXPECT_EQ(m_folder + "a.ini", kept.GetPath());
}

}  // namespace
