// Process helpers: path splitting, the program's path, thread ids and last errors, and the
// shell "open" verb driven through a stand-in xdg-open placed first on PATH, and which
// standard handles are consoles.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "platform/win/WinSystem.h"

namespace {

namespace fs = std::filesystem;

struct SplitCase {
  const char* szName;
  const char* szPath;
  const char* szDir;
  const char* szFname;
  const char* szExt;
};

class SplitPathTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitPathTest, Splits) {
  const SplitCase& row = GetParam();
  char szDrive[_MAX_DRIVE] = "x";
  char szDir[_MAX_DIR];
  char szFname[_MAX_FNAME];
  char szExt[_MAX_EXT];
  _splitpath(row.szPath, szDrive, szDir, szFname, szExt);
  EXPECT_STREQ("", szDrive);
  EXPECT_STREQ(row.szDir, szDir);
  EXPECT_STREQ(row.szFname, szFname);
  EXPECT_STREQ(row.szExt, szExt);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitPathTest,
    testing::Values(SplitCase{"FullPath", "/opt/daybridge/DayBridge.exe", "/opt/daybridge/",
                              "DayBridge", ".exe"},
                    SplitCase{"LastDotOnly", "/a/datebook.dat.bak", "/a/", "datebook.dat", ".bak"},
                    SplitCase{"DotInFolderOnly", "/a.b/file", "/a.b/", "file", ""},
                    SplitCase{"NoFolder", "file.ini", "", "file", ".ini"},
                    SplitCase{"FolderOnly", "/usr/lib/", "/usr/lib/", "", ""},
                    SplitCase{"HiddenFile", "/home/u/.profile", "/home/u/", "", ".profile"},
                    SplitCase{"WindowsPathAsData", "C:\\Palm\\User\\datebook.dat",
                              "C:\\Palm\\User\\", "datebook", ".dat"},
                    SplitCase{"Empty", "", "", "", ""}),
    [](const testing::TestParamInfo<SplitCase>& rowInfo) { return rowInfo.param.szName; });

TEST(SplitPathLimitsTest, LongPartsAreCutToTheirArrays) {
  const std::string longName(400, 'n');
  const std::string path = "/" + std::string(300, 'd') + "/" + longName + ".e";
  char szDir[_MAX_DIR];
  char szFname[_MAX_FNAME];
  _splitpath(path.c_str(), nullptr, szDir, szFname, nullptr);
  EXPECT_EQ(static_cast<size_t>(_MAX_DIR - 1), std::string(szDir).size());
  EXPECT_EQ(static_cast<size_t>(_MAX_FNAME - 1), std::string(szFname).size());
}

TEST(GetModuleFileNameTest, NamesTheRunningProgram) {
  char szPath[MAX_PATH];
  const DWORD nLength = GetModuleFileName(nullptr, szPath, MAX_PATH);
  ASSERT_GT(nLength, 0u);
  EXPECT_EQ(fs::canonical("/proc/self/exe").string(), std::string(szPath));
  char szShort[5];
  SetLastError(0);
  EXPECT_EQ(5u, GetModuleFileName(nullptr, szShort, sizeof(szShort)));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
  EXPECT_EQ(std::string(szPath).substr(0, 4), std::string(szShort));
}

TEST(ThreadStateTest, IdsAndLastErrorsArePerThread) {
  const DWORD dwMain = GetCurrentThreadId();
  EXPECT_EQ(dwMain, GetCurrentThreadId());
  SetLastError(ERROR_ACCESS_DENIED);
  DWORD dwOther = 0;
  DWORD dwOtherError = 99;
  std::thread worker([&] {
    dwOther = GetCurrentThreadId();
    dwOtherError = GetLastError();
    SetLastError(ERROR_DISK_FULL);
  });
  worker.join();
  EXPECT_NE(dwMain, dwOther);
  EXPECT_LT(dwOther, 0x100000u);  // small enough for the log's five hex digits
  EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), dwOtherError);
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

class ShellOpenTest : public testing::Test {
 protected:
  void SetUp() override {
    m_dir =
        fs::temp_directory_path() / ("winsystem-" + std::to_string(getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir / "bin");
    const char* szPath = std::getenv("PATH");
    m_savedPath = szPath != nullptr ? szPath : "";
    setenv("PATH", (m_dir / "bin").c_str(), 1);
  }
  void TearDown() override {
    setenv("PATH", m_savedPath.c_str(), 1);
    fs::remove_all(m_dir);
  }

  // A stand-in xdg-open that waits (boundedly) for the test's "go" file before it records
  // its argument, so it can only succeed when the caller did not wait for it.
  void InstallHandler() {
    const fs::path script = m_dir / "bin" / "xdg-open";
    std::ofstream out(script);
    out << "#!/bin/sh\n"
        << "d='" << m_dir.string() << "'\n"
        << "i=0\n"
        << "while [ ! -e \"$d/go\" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done\n"
        << "if [ -e \"$d/go\" ]; then printf '%s' \"$1\" > \"$d/out.tmp\"; "
        << "else printf timeout > \"$d/out.tmp\"; fi\n"
        << "mv \"$d/out.tmp\" \"$d/out\"\n";
    out.close();
    fs::permissions(script, fs::perms::owner_all);
    // The handler needs the ordinary tools; the stand-in still comes first.
    setenv("PATH", ((m_dir / "bin").string() + ":" + m_savedPath).c_str(), 1);
  }

  std::string AwaitOutput() {
    const fs::path out = m_dir / "out";
    for (int nTries = 0; nTries < 400 && !fs::exists(out); ++nTries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::ifstream in(out);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  fs::path m_dir;
  std::string m_savedPath;
};

TEST_F(ShellOpenTest, StartsTheHandlerWithoutWaitingOrLeavingAZombie) {
  InstallHandler();
  const std::string target = "it's a \"file\" $(touch pwned) `touch pwned`.pdf";
  const HINSTANCE hResult =
      ShellExecute(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  EXPECT_GT(reinterpret_cast<intptr_t>(hResult), 32);
  std::ofstream(m_dir / "go").close();
  EXPECT_EQ(target, AwaitOutput());
  EXPECT_FALSE(fs::exists("pwned"));
  EXPECT_FALSE(fs::exists(m_dir / "pwned"));
  errno = 0;
  EXPECT_EQ(-1, waitpid(-1, nullptr, WNOHANG));
  EXPECT_EQ(ECHILD, errno);
}

TEST_F(ShellOpenTest, MissingHandlerFailsQuietly) {
  const HINSTANCE hResult =
      ShellExecute(nullptr, "open", "https://example.invalid/", nullptr, nullptr, SW_SHOWNORMAL);
  EXPECT_LE(reinterpret_cast<intptr_t>(hResult), 32);
  EXPECT_EQ(-1, waitpid(-1, nullptr, WNOHANG));
}

TEST_F(ShellOpenTest, RefusesEmptyTargetsAndOtherVerbs) {
  InstallHandler();
  EXPECT_LE(reinterpret_cast<intptr_t>(
                ShellExecute(nullptr, "open", "", nullptr, nullptr, SW_SHOWNORMAL)),
            32);
  EXPECT_LE(reinterpret_cast<intptr_t>(
                ShellExecute(nullptr, "print", "x.txt", nullptr, nullptr, SW_SHOWNORMAL)),
            32);
  EXPECT_FALSE(fs::exists(m_dir / "out"));
}

TEST(CurrentDirectoryTest, SwitchesToAFolderAndRefusesAMissingOne) {
  char szBefore[4096];
  ASSERT_GT(GetCurrentDirectory(sizeof(szBefore), szBefore), 0u);
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("daybridge-cwd-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);

  ASSERT_TRUE(SetCurrentDirectory(folder.c_str()));
  char szNow[4096];
  const DWORD nLength = GetCurrentDirectory(sizeof(szNow), szNow);
  EXPECT_EQ(std::string(szNow), std::filesystem::canonical(folder).string());
  // Too small a buffer reports the size needed, terminator included.
  char szTiny[2];
  EXPECT_EQ(GetCurrentDirectory(sizeof(szTiny), szTiny), nLength + 1);

  SetLastError(0);
  EXPECT_FALSE(SetCurrentDirectory((folder / "missing").c_str()));
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_TRUE(SetCurrentDirectory(szBefore));
  std::filesystem::remove_all(folder);
}

// Standard error as a pipe and as a pseudo-terminal, in turn: only the terminal is a console.
TEST(ConsoleModeTest, OnlyATerminalIsAConsole) {
  const int nSavedErr = dup(STDERR_FILENO);
  ASSERT_GE(nSavedErr, 0);
  DWORD nMode = 7;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  dup2(fds[1], STDERR_FILENO);
  const BOOL bPipe = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &nMode);
  const int nMaster = posix_openpt(O_RDWR | O_NOCTTY);
  BOOL bTerminal = FALSE;
  if (nMaster >= 0 && grantpt(nMaster) == 0 && unlockpt(nMaster) == 0) {
    const int nSlave = open(ptsname(nMaster), O_RDWR | O_NOCTTY);
    if (nSlave >= 0) {
      dup2(nSlave, STDERR_FILENO);
      bTerminal = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &nMode);
      close(nSlave);
    }
  }
  dup2(nSavedErr, STDERR_FILENO);
  for (int fd : {nSavedErr, fds[0], fds[1], nMaster}) {
    if (fd >= 0) close(fd);
  }
  EXPECT_FALSE(bPipe);
  EXPECT_TRUE(bTerminal);
  EXPECT_EQ(nMode, 0u);
  EXPECT_FALSE(GetConsoleMode(GetStdHandle(12345), &nMode));
}

}  // namespace
