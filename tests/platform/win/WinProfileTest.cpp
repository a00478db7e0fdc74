// Private-profile reads and writes against exact file contents.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/win/WinProfile.h"
#include "platform/win/WinSystem.h"

namespace {

namespace fs = std::filesystem;

class ProfileFileTest : public testing::Test {
 protected:
  void SetUp() override {
    m_dir =
        fs::temp_directory_path() / ("winprofile-" + std::to_string(getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    m_path = (m_dir / "tidewell.ini").string();
  }
  void TearDown() override { fs::remove_all(m_dir); }

  void WriteFile(const std::string& contents) {
    std::ofstream out(m_path, std::ios::binary);
    out << contents;
  }
  std::string ReadFile() const {
    std::ifstream in(m_path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::string Get(const char* szSection, const char* szKey, const char* szDefault = "dflt",
                  DWORD nSize = 64) {
    char szBuf[64] = "untouched";
    const DWORD nCopied =
        GetPrivateProfileString(szSection, szKey, szDefault, szBuf, nSize, m_path.c_str());
    EXPECT_EQ(std::string(szBuf).size(), nCopied);
    return szBuf;
  }

  fs::path m_dir;
  std::string m_path;
};

struct ReadCase {
  const char* szName;
  const char* szFile;
  const char* szSection;
  const char* szKey;
  const char* szExpected;
};

class ProfileReadTest : public ProfileFileTest, public testing::WithParamInterface<ReadCase> {};

TEST_P(ProfileReadTest, Reads) {
  WriteFile(GetParam().szFile);
  EXPECT_EQ(GetParam().szExpected, Get(GetParam().szSection, GetParam().szKey));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileReadTest,
    testing::Values(
        ReadCase{"SectionAndKeyIgnoreCase", "[DayBridge_OL_PD]\r\nSyncMode=3\r\n",
                 "daybridge_ol_pd", "SYNCMODE", "3"},
        ReadCase{"BlanksAroundNamesAndValueTrimmed", "  [ Path ]  \n\t PDPath =  C:\\Palm  \n",
                 "Path", "PDPath", "C:\\Palm"},
        ReadCase{"MatchingQuotesRemoved", "[S]\nK=\" spaced \"\n", "S", "K", " spaced "},
        ReadCase{"LoneQuoteKept", "[S]\nK=\"open\n", "S", "K", "\"open"},
        ReadCase{"LfOnlyFile", "[A]\nX=1\n[B]\nX=2\n", "B", "X", "2"},
        ReadCase{"FirstDuplicateKeyWins", "[S]\nK=first\nK=second\n", "S", "K", "first"},
        ReadCase{"KeyOfAnotherSectionIsMissing", "[A]\nK=1\n[B]\nL=2\n", "B", "K", "dflt"},
        ReadCase{"KeyBeforeAnySectionIsMissing", "K=1\n[S]\n", "S", "K", "dflt"},
        ReadCase{"EmptyValue", "[S]\nK=\n", "S", "K", ""},
        ReadCase{"ValueMayHoldEquals", "[S]\nK=a=b\n", "S", "K", "a=b"},
        ReadCase{"LastLineWithoutNewline", "[S]\r\nK=end", "S", "K", "end"},
        ReadCase{"AccentedSectionName", "[\xC9t\xE9]\nK=1\n", "\xE9T\xC9", "K", "1"},
        ReadCase{"NullKeyGivesDefault", "[S]\nK=1\n", "S", nullptr, "dflt"}),
    [](const testing::TestParamInfo<ReadCase>& rowInfo) { return rowInfo.param.szName; });

TEST_F(ProfileFileTest, MissingFileAndDefaults) {
  EXPECT_EQ("dflt", Get("S", "K"));
  EXPECT_EQ("", Get("S", "K", nullptr));
  EXPECT_EQ("trail", Get("S", "K", "trail   "));
}

TEST_F(ProfileFileTest, ValueIsCutToTheBuffer) {
  WriteFile("[S]\nK=abcdefgh\n");
  EXPECT_EQ("abc", Get("S", "K", "", 4));
  char szBuf[4] = "xyz";
  EXPECT_EQ(0u, GetPrivateProfileString("S", "K", "", szBuf, 0, m_path.c_str()));
  EXPECT_STREQ("xyz", szBuf);
}

struct IntCase {
  const char* szName;
  const char* szFile;
  int nExpected;
};

class ProfileIntTest : public ProfileFileTest, public testing::WithParamInterface<IntCase> {};

TEST_P(ProfileIntTest, ReadsLeadingDigits) {
  WriteFile(GetParam().szFile);
  EXPECT_EQ(GetParam().nExpected,
            static_cast<int>(GetPrivateProfileInt("S", "K", 77, m_path.c_str())));
}

INSTANTIATE_TEST_SUITE_P(Cases, ProfileIntTest,
                         testing::Values(IntCase{"Plain", "[S]\nK=42\n", 42},
                                         IntCase{"TrailingText", "[S]\nK=12abc\n", 12},
                                         IntCase{"Negative", "[S]\nK=-5\n", -5},
                                         IntCase{"NoDigits", "[S]\nK=abc\n", 0},
                                         IntCase{"EmptyIsDefault", "[S]\nK=\n", 77},
                                         IntCase{"MissingIsDefault", "[S]\nJ=1\n", 77}),
                         [](const testing::TestParamInfo<IntCase>& rowInfo) {
                           return rowInfo.param.szName;
                         });

struct WriteCase {
  const char* szName;
  const char* szBefore;  // null: no file
  const char* szSection;
  const char* szKey;
  const char* szValue;
  const char* szAfter;
};

class ProfileWriteTest : public ProfileFileTest, public testing::WithParamInterface<WriteCase> {};

TEST_P(ProfileWriteTest, ChangesOnlyWhatItMust) {
  const WriteCase& row = GetParam();
  if (row.szBefore != nullptr) WriteFile(row.szBefore);
  ASSERT_TRUE(WritePrivateProfileString(row.szSection, row.szKey, row.szValue, m_path.c_str()));
  EXPECT_EQ(row.szAfter, ReadFile());
  // Nothing but the settings file is left in the folder.
  EXPECT_EQ(1, std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileWriteTest,
    testing::Values(WriteCase{"NewFileIsCrLf", nullptr, "S", "K", "v", "[S]\r\nK=v\r\n"},
                    WriteCase{"ReplaceKeepsCommentsAndOtherKeys",
                              "; kept\r\n[S]\r\nK=old\r\nOther=1\r\n", "S", "K", "new",
                              "; kept\r\n[S]\r\nK=new\r\nOther=1\r\n"},
                    WriteCase{"ReplaceKeepsTheStoredKeySpelling", "[S]\nKey = old\n", "s", "KEY",
                              "x", "[S]\nKey=x\n"},
                    WriteCase{"NewKeyGoesAfterTheSectionsLastKey", "[S]\nA=1\n\n[T]\nB=2\n", "S",
                              "C", "3", "[S]\nA=1\nC=3\n\n[T]\nB=2\n"},
                    WriteCase{"NewSectionAppended", "[S]\r\nA=1\r\n", "T", "B", "2",
                              "[S]\r\nA=1\r\n[T]\r\nB=2\r\n"},
                    WriteCase{"NewSectionAfterUnterminatedLine", "[S]\r\nA=1", "T", "B", "2",
                              "[S]\r\nA=1\r\n[T]\r\nB=2\r\n"},
                    WriteCase{"NullValueDeletesKey", "[S]\r\nA=1\r\nB=2\r\n", "S", "A", nullptr,
                              "[S]\r\nB=2\r\n"},
                    WriteCase{"NullKeyDeletesSection", "[S]\r\nA=1\r\n[T]\r\nB=2\r\n", "S", nullptr,
                              nullptr, "[T]\r\nB=2\r\n"},
                    WriteCase{"DeletingMissingKeyChangesNothing", "[S]\nA=1\n", "S", "Z", nullptr,
                              "[S]\nA=1\n"},
                    WriteCase{"LineBreakCannotPlantKeys", "[S]\r\n", "S", "K", "x\r\n[Evil]\r\nK=1",
                              "[S]\r\nK=x\r\n"}),
    [](const testing::TestParamInfo<WriteCase>& rowInfo) { return rowInfo.param.szName; });

TEST_F(ProfileFileTest, WrittenValuesReadBack) {
  ASSERT_TRUE(WritePrivateProfileString("DayBridge_OL_PD", "LogLevel", "3", m_path.c_str()));
  ASSERT_TRUE(WritePrivateProfileString("daybridge_ol_pd", "Name", "Caf\xE9", m_path.c_str()));
  EXPECT_EQ("3", Get("DAYBRIDGE_OL_PD", "loglevel"));
  EXPECT_EQ("Caf\xE9", Get("DayBridge_OL_PD", "NAME"));
  EXPECT_EQ("[DayBridge_OL_PD]\r\nLogLevel=3\r\nName=Caf\xE9\r\n", ReadFile());
}

TEST_F(ProfileFileTest, KeepsTheFilesMode) {
  WriteFile("[S]\nA=1\n");
  ASSERT_EQ(0, chmod(m_path.c_str(), 0640));
  ASSERT_TRUE(WritePrivateProfileString("S", "A", "2", m_path.c_str()));
  struct stat st {};
  ASSERT_EQ(0, stat(m_path.c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 0777);
}

TEST_F(ProfileFileTest, FailuresAreReported) {
  const std::string missingFolder = (m_dir / "no-such-folder" / "x.ini").string();
  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileString("S", "K", "v", missingFolder.c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
  // A path that cannot be read as a file is never replaced.
  EXPECT_FALSE(WritePrivateProfileString("S", "K", "v", m_dir.string().c_str()));
  EXPECT_TRUE(fs::is_directory(m_dir));
  EXPECT_FALSE(WritePrivateProfileString("S\nX", "K", "v", m_path.c_str()));
  EXPECT_FALSE(fs::exists(m_path));
}

}  // namespace
