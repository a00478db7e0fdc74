// The debug log: the exact line, which levels are written, the module name taken from the
// source path, and the rotation boundary at 10 MiB.
#include <gtest/gtest.h>
#include <unistd.h>
#define DB_MODULE "CxDebugUtilTest"
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "common/misc/CxDebugUtil.h"
#include "platform/win/WinSystem.h"
#include "platform/win/WinTime.h"

namespace {

namespace fs = std::filesystem;

class DebugLogTest : public testing::Test {
 protected:
  void SetUp() override {
    m_dir =
        fs::temp_directory_path() / ("cxdebugutil-" + std::to_string(getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    m_folder = m_dir.string() + "/";
    m_log = m_folder + "appdebug.log";
    g_DebugLog.SetFolder(m_folder.c_str());
    SYSTEMTIME stNow{};
    stNow.wYear = 2011;
    stNow.wMonth = 3;
    stNow.wDay = 7;
    stNow.wHour = 14;
    stNow.wMinute = 5;
    stNow.wSecond = 9;
    CxSetFixedLocalTime(&stNow);
  }
  void TearDown() override {
    CxSetFixedLocalTime(nullptr);
    g_DebugLog.SetFolder("./");
    g_DebugLog.Enable(false);
    g_DebugLog.SetLevel(0);
    fs::remove_all(m_dir);
  }

  static std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // The line the log must write for this module, line, marker and text.
  static std::string Line(const char* szModule, int nLine, const char* szMarker,
                          const std::string& text) {
    char szHead[512];
    std::snprintf(szHead, sizeof(szHead), "[2011/03/07 14:05:09][%-20s(%-4d)][%05x][%s] - ",
                  szModule, nLine, static_cast<unsigned>(GetCurrentThreadId()), szMarker);
    return szHead + text + "\r\n";
  }

  fs::path m_dir;
  std::string m_folder;
  std::string m_log;
};

TEST_F(DebugLogTest, WritesTheExactLine) {
  g_DebugLog.Enable(true);
  g_DebugLog.SetLevel(3);
  g_DebugLog.Write(2, "OlComm", 282, "Outlook automation %s.", "started");
  g_DebugLog.Write(0, "PalmComm", 12345, "%d records", 7);
  EXPECT_EQ(Line("OlComm", 282, "   ", "Outlook automation started.") +
                Line("PalmComm", 12345, "!!!", "7 records"),
            ReadAll(m_log));
  // The shape the log readers know, spelled out once.
  const std::string first = ReadAll(m_log).substr(0, 50);
  EXPECT_EQ("[2011/03/07 14:05:09][OlComm              (282 )][", first);
}

TEST_F(DebugLogTest, LogMacroPassesTheCallersModuleAndLine) {
  const int nLine = __LINE__ + 1;
  Log(0, "Assertion failed: %s", "m_pCatMgr!=NULL");
  EXPECT_EQ(Line("CxDebugUtilTest", nLine, "!!!", "Assertion failed: m_pCatMgr!=NULL"),
            ReadAll(m_log));
}

TEST_F(DebugLogTest, LinesHeldOnAThreadReachTheFileOnlyWhenWritten) {
  g_DebugLog.Enable(true);
  g_DebugLog.SetLevel(3);
  std::vector<std::string> vHeld;
  std::thread([&vHeld] {
    g_DebugLog.HoldLines(&vHeld);
    g_DebugLog.Write(0, "PalmDateEx", 2, "palm");
    g_DebugLog.HoldLines(nullptr);
  }).join();
  g_DebugLog.Write(2, "OlComm", 3, "connected");
  EXPECT_EQ(Line("OlComm", 3, "   ", "connected"), ReadAll(m_log));
  g_DebugLog.WriteHeld(vHeld);
  EXPECT_TRUE(ReadAll(m_log).ends_with("[!!!] - palm\r\n")) << ReadAll(m_log);
}

struct LevelCase {
  const char* szName;
  bool bEnabled;
  int nConfigured;
  int nMessage;
  const char* szMarker;  // null: nothing written
};

class DebugLogLevelTest : public DebugLogTest, public testing::WithParamInterface<LevelCase> {};

TEST_P(DebugLogLevelTest, WritesOnlyWhatTheLevelAllows) {
  const LevelCase& row = GetParam();
  g_DebugLog.Enable(row.bEnabled);
  g_DebugLog.SetLevel(row.nConfigured);
  g_DebugLog.Write(row.nMessage, "Mod", 1, "text");
  EXPECT_EQ(row.szMarker == nullptr ? std::string() : Line("Mod", 1, row.szMarker, "text"),
            ReadAll(m_log));
}

INSTANTIATE_TEST_SUITE_P(Cases, DebugLogLevelTest,
                         testing::Values(LevelCase{"DisabledDropsProgress", false, 3, 2, nullptr},
                                         LevelCase{"DisabledStillWritesErrors", false, 3, 0, "!!!"},
                                         LevelCase{"HighLevelDropsProgress", true, 1, 2, nullptr},
                                         LevelCase{"LowLevelWritesProgress", true, 3, 2, "   "},
                                         LevelCase{"EqualLevelIsWritten", true, 1, 1, "   "},
                                         LevelCase{"CriticalDropsLevelOne", true, 0, 1, nullptr},
                                         LevelCase{"SevenIsClampedToThree", true, 7, 5, nullptr}),
                         [](const testing::TestParamInfo<LevelCase>& rowInfo) {
                           return rowInfo.param.szName;
                         });

TEST(DebugLogSetLevelTest, ClampsIntoZeroToThree) {
  CxDebugUtil log;
  log.SetLevel(7);
  EXPECT_EQ(3, log.GetLevel());
  log.SetLevel(-2);
  EXPECT_EQ(0, log.GetLevel());
}

struct ModuleCase {
  const char* szName;
  const char* szSource;
  std::string module;
};

class DebugLogModuleTest : public DebugLogTest, public testing::WithParamInterface<ModuleCase> {};

TEST_P(DebugLogModuleTest, TakesTheNameAfterTheLastSeparator) {
  g_DebugLog.Write(0, GetParam().szSource, 7, "m");
  EXPECT_EQ(Line(GetParam().module.c_str(), 7, "!!!", "m"), ReadAll(m_log));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DebugLogModuleTest,
    testing::Values(ModuleCase{"Backslashes", "C:\\src\\common\\PalmDate.cpp", "PalmDate.cpp"},
                    ModuleCase{"Slashes", "/work/common/misc/CxList.cpp", "CxList.cpp"},
                    ModuleCase{"Mixed", "a\\b/c\\WinUtil", "WinUtil"},
                    ModuleCase{"NoSeparatorIsWhole", "CxDateTime", "CxDateTime"},
                    ModuleCase{"Missing", nullptr, "<null>"},
                    ModuleCase{"WiderThanTheColumnIsKept", "ModuleNameWiderThanTwenty",
                               "ModuleNameWiderThanTwenty"}),
    [](const testing::TestParamInfo<ModuleCase>& rowInfo) { return rowInfo.param.szName; });

TEST_F(DebugLogTest, LongModuleIsCutTo255Characters) {
  const std::string source(300, 'm');
  g_DebugLog.Write(0, source.c_str(), 1, "m");
  EXPECT_EQ(Line(std::string(255, 'm').c_str(), 1, "!!!", "m"), ReadAll(m_log));
}

TEST_F(DebugLogTest, MessageIsCutTo40959Characters) {
  const std::string text(50000, 'x');
  g_DebugLog.Write(0, "Mod", 1, "%s", text.c_str());
  EXPECT_EQ(Line("Mod", 1, "!!!", std::string(CX_LOG_MESSAGE_SIZE - 1, 'x')), ReadAll(m_log));
}

TEST_F(DebugLogTest, RotatesOnlyAboveTenMebibytes) {
  const std::string full(CX_LOG_ROTATE_SIZE, 'a');
  {
    std::ofstream out(m_log, std::ios::binary);
    out << full;
  }
  g_DebugLog.Write(0, "Mod", 1, "appended");
  const std::string grown = full + Line("Mod", 1, "!!!", "appended");
  EXPECT_EQ(grown, ReadAll(m_log));
  EXPECT_FALSE(fs::exists(m_log + ".old.log"));

  g_DebugLog.Write(0, "Mod", 2, "fresh");
  EXPECT_EQ(Line("Mod", 2, "!!!", "fresh"), ReadAll(m_log));
  EXPECT_EQ(grown, ReadAll(m_log + ".old.log"));
}

TEST_F(DebugLogTest, RotationReplacesAnEarlierCopy) {
  {
    std::ofstream(m_log + ".old.log", std::ios::binary) << "earlier";
    std::ofstream(m_log, std::ios::binary) << std::string(CX_LOG_ROTATE_SIZE + 1, 'b');
  }
  g_DebugLog.Write(0, "Mod", 1, "x");
  EXPECT_EQ(static_cast<uintmax_t>(CX_LOG_ROTATE_SIZE + 1), fs::file_size(m_log + ".old.log"));
  EXPECT_EQ(Line("Mod", 1, "!!!", "x"), ReadAll(m_log));
}

TEST_F(DebugLogTest, UnwritableFolderDropsTheLineQuietly) {
  const std::string missing = m_folder + "no/such/folder/";
  g_DebugLog.SetFolder(missing.c_str());
  g_DebugLog.Write(0, "Mod", 1, "lost");
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(DebugLogTest, AssertionFailureIsLogged) {
#ifdef NDEBUG
  CxAssertFailed("szBuf!=NULL", "CxDateTime", 88);
  EXPECT_EQ(Line("CxDateTime", 88, "!!!", "Assertion failed: szBuf!=NULL"), ReadAll(m_log));
#else
  EXPECT_DEATH(CxAssertFailed("szBuf!=NULL", "CxDateTime", 88), "");
#endif
}

}  // namespace
