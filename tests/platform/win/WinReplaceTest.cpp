// The safe replacement of a user's file and the lock that separate runs share: each case is
// a way a save has lost or exposed a user's file, or a way two runs have met.
#include "platform/win/WinReplace.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/win/WinFile.h"
#include "platform/win/WinSync.h"
#include "platform/win/WinSystem.h"
#include "tests/support/files/FileTestSupport.h"
#include "tests/support/files/TempFolder.h"

namespace fs = std::filesystem;

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void Put(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class ReplaceTest : public ::testing::Test {
 protected:
  ReplaceTest() {
    // The unprivileged steps must reach the file.
    ::chmod(m_Folder.c_str(), 0755);
    Put(m_Target, "old");
  }

  BOOL Replace(const std::string& text, const CX_FILE_STAMP* pExpected = nullptr) {
    return CxReplaceFileContents(m_Target.c_str(), text.data(), text.size(), pExpected, nullptr);
  }
  CX_FILE_STAMP StampOf(const std::string& path) {
    CX_FILE_STAMP stamp{};
    HANDLE h =
        CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_TRUE(CxGetFileStamp(h, &stamp));
    CloseHandle(h);
    return stamp;
  }

  dbtest::TempFolder m_Temp;
  const std::string m_Folder = m_Temp.Path();
  const std::string m_Target = m_Temp.File("calendar.dat");
};

TEST_F(ReplaceTest, ALinkStaysALinkAndItsFileKeepsModeAndOwner) {
  const std::string real = m_Folder + "/real/calendar.dat";
  fs::create_directories(m_Folder + "/real");
  Put(real, "old");
  ::chmod(real.c_str(), 0600);
  const bool bRoot = ::geteuid() == 0;
  if (bRoot) {
    ASSERT_EQ(::chown(real.c_str(), 4242, 4343), 0);
  }
  fs::remove(m_Target);
  fs::create_symlink("real/calendar.dat", m_Target);

  ASSERT_TRUE(Replace("new"));
  EXPECT_TRUE(fs::is_symlink(m_Target));
  EXPECT_EQ(Slurp(real), "new");
  struct stat st {};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  if (bRoot) {
    EXPECT_EQ(st.st_uid, 4242u);
    EXPECT_EQ(st.st_gid, 4343u);
  }
  EXPECT_TRUE(dbtest::LeftoverTemps(m_Folder + "/real").empty());
}

TEST_F(ReplaceTest, AFileChangedSinceItWasReadIsLeftAlone) {
  const CX_FILE_STAMP read = StampOf(m_Target);
  Put(m_Target, "other program");
  EXPECT_FALSE(Replace("mine", &read));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CX_FILE_CHANGED));
  EXPECT_EQ(Slurp(m_Target), "other program");
  EXPECT_TRUE(dbtest::LeftoverTemps(m_Folder).empty());
  // Unchanged, the same check lets the save through.
  const CX_FILE_STAMP now = StampOf(m_Target);
  EXPECT_TRUE(Replace("mine", &now));
}

TEST_F(ReplaceTest, AFullDiskLeavesTheFileAndNoTemporary) {
  CxSetWriteFailAfter(1);
  EXPECT_FALSE(Replace("much longer than one byte"));
  CxSetWriteFailAfter(-1);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(Slurp(m_Target), "old");
  EXPECT_TRUE(dbtest::LeftoverTemps(m_Folder).empty());
}

TEST_F(ReplaceTest, AFileTheUserMayOnlyReadIsNotReplaced) {
  ::chmod(m_Target.c_str(), 0444);
  const std::string target = m_Target;
  const int nResult = dbtest::RunUnprivileged([&target] {
    const bool bRefused = !CxReplaceFileContents(target.c_str(), "x", 1, nullptr, nullptr);
    return bRefused && GetLastError() == ERROR_ACCESS_DENIED ? 0 : 1;
  });
  EXPECT_EQ(nResult, 0);
  EXPECT_EQ(Slurp(m_Target), "old");
}

TEST_F(ReplaceTest, StaleTemporariesGoButALiveWritersStays) {
  const std::string stale = m_Folder + "/.calendar.dat.~db0123456789abcdef";
  Put(stale, "left by a killed run");
  HANDLE hLive = CxCreateReplacement(m_Target.c_str());
  ASSERT_NE(hLive, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(Replace("new"));
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_EQ(dbtest::LeftoverTemps(m_Folder).size(), 1u);  // the live one
  CloseHandle(hLive);
  EXPECT_TRUE(dbtest::LeftoverTemps(m_Folder).empty());
}

TEST_F(ReplaceTest, NewContentsOfAPrivateFileAreNeverReadableByOthers) {
  ::chmod(m_Target.c_str(), 0640);
  HANDLE h = CxCreateReplacement(m_Target.c_str());
  const std::vector<std::string> temps = dbtest::LeftoverTemps(m_Folder);
  ASSERT_EQ(temps.size(), 1u);
  EXPECT_EQ(fs::status(m_Folder + "/" + temps[0]).permissions(), fs::perms(0600));
  ASSERT_TRUE(CxCommitReplacement(h, nullptr, nullptr));
  EXPECT_EQ(fs::status(m_Target).permissions(), fs::perms(0640));
}

TEST(NamedMutexTest, AnotherProcessWaitsAndTakesItWhenTheHolderDies) {
  const char kName[] = "DayBridge-test-mutex";
  auto takeIt = [&kName] {
    HANDLE h = CreateMutex(nullptr, FALSE, kName);
    return h != nullptr && WaitForSingleObject(h, 0) == WAIT_OBJECT_0;  // kept till exit
  };
  dbtest::HeldElsewhere other(takeIt);
  ASSERT_TRUE(other.Held());
  HANDLE hMutex = CreateMutex(nullptr, FALSE, kName);
  EXPECT_EQ(WaitForSingleObject(hMutex, 50), WAIT_TIMEOUT);
  other.Kill();
  EXPECT_EQ(WaitForSingleObject(hMutex, 0), WAIT_OBJECT_0);
  // The owner takes it again at once, through any handle.
  HANDLE hAgain = CreateMutex(nullptr, FALSE, kName);
  EXPECT_EQ(WaitForSingleObject(hAgain, 0), WAIT_OBJECT_0);
  CloseHandle(hAgain);
  EXPECT_TRUE(ReleaseMutex(hMutex));
  EXPECT_FALSE(ReleaseMutex(hMutex));
  CloseHandle(hMutex);
}

struct FullPathCase {
  const char* szName;
  const char* szPath;
  const char* szExpected;
};

class FullPathTest : public ::testing::TestWithParam<FullPathCase> {};

TEST_P(FullPathTest, SettlesTheTextAgainstTheCurrentFolder) {
  char szCwd[4096];
  ASSERT_NE(::getcwd(szCwd, sizeof(szCwd)), nullptr);
  ASSERT_EQ(::chdir("/tmp"), 0);
  char szFull[4096];
  const DWORD nLength = GetFullPathName(GetParam().szPath, sizeof(szFull), szFull, nullptr);
  ASSERT_EQ(::chdir(szCwd), 0);
  ASSERT_GT(nLength, 0u);
  EXPECT_STREQ(szFull, GetParam().szExpected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FullPathTest,
    ::testing::Values(FullPathCase{"Relative", "palm/datebook.dat", "/tmp/palm/datebook.dat"},
                      FullPathCase{"DotsSettled", "./a/../b//c.dat", "/tmp/b/c.dat"},
                      FullPathCase{"AbsoluteKept", "/x/y.dat", "/x/y.dat"},
                      FullPathCase{"AboveRootStaysAtRoot", "../../../z", "/z"}),
    [](const auto& tpi) { return std::string(tpi.param.szName); });

// Only a folder the user alone can write keeps another user from taking the lock first.
struct LockFolderCase {
  const char* szName;
  mode_t nRuntimeMode;
  mode_t nDataMode;
  const char* szExpected;  // where the lock file is while held; null: refused
};

class LockFolderTest : public ::testing::TestWithParam<LockFolderCase> {};

TEST_P(LockFolderTest, LockFilesLiveOnlyWhereTheUserAloneCanMakeThem) {
  dbtest::TempFolder temp;
  fs::create_directories(temp.File("run"));
  fs::create_directories(temp.File("data"));
  ::chmod(temp.File("run").c_str(), GetParam().nRuntimeMode);
  ::chmod(temp.File("data").c_str(), GetParam().nDataMode);
  dbtest::EnvGuard runtime("XDG_RUNTIME_DIR", temp.File("run"));
  dbtest::EnvGuard data("XDG_DATA_HOME", temp.File("data"));
  HANDLE hMutex = CreateMutex(nullptr, FALSE, "DayBridge-lock-folder-test");
  EXPECT_EQ(WaitForSingleObject(hMutex, 0) == WAIT_OBJECT_0, GetParam().szExpected != nullptr);
  EXPECT_TRUE(!GetParam().szExpected ||
              fs::exists(temp.File(GetParam().szExpected) + "/DayBridge-lock-folder-test.lock"));
  CloseHandle(hMutex);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, LockFolderTest,
    ::testing::Values(LockFolderCase{"PrivateRuntimeFolder", 0700, 0700, "run/daybridge-locks"},
                      LockFolderCase{"SharedRuntimeFolderPassedOver", 01777, 0700,
                                     "data/daybridge-locks"},
                      LockFolderCase{"DataFolderOthersMayWriteRefused", 01777, 0777, nullptr}),
    [](const auto& tpi) { return std::string(tpi.param.szName); });

}  // namespace
