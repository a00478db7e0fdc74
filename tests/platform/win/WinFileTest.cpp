// Win32 file handles: creation dispositions, exclusive sharing within and across processes,
// positioning, and the disk-full seam the writers' tests rely on.
#include "platform/win/WinFile.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/win/WinSystem.h"
#include "support/files/TempFolder.h"

namespace {

class WinFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(m_Folder.empty()); }
  void TearDown() override { CxSetWriteFailAfter(-1); }
  void Put(const std::string& text) { std::ofstream(m_Path, std::ios::binary) << text; }
  std::string Get() const {
    std::ifstream in(m_Path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  HANDLE Open(DWORD dwAccess, DWORD dwShare, DWORD dwDisposition) const {
    return CreateFile(m_Path.c_str(), dwAccess, dwShare, nullptr, dwDisposition,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  dbtest::TempFolder m_Temp;
  const std::string m_Folder = m_Temp.Path();
  const std::string m_Path = m_Temp.File("file.bin");
};

struct DispositionCase {
  const char* szName;
  bool bExists;
  DWORD dwDisposition;
  bool bOpens;
  DWORD dwLastError;
  const char* szContentAfter;
};

class DispositionTest : public WinFileTest,
                        public ::testing::WithParamInterface<DispositionCase> {};

TEST_P(DispositionTest, OpensOrFailsAsWindowsDoes) {
  const DispositionCase& c = GetParam();
  if (c.bExists) Put("old");
  HANDLE h = Open(GENERIC_READ | GENERIC_WRITE, 0, c.dwDisposition);
  EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.bOpens);
  EXPECT_EQ(GetLastError(), c.dwLastError);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  if (c.szContentAfter != nullptr) {
    EXPECT_EQ(Get(), c.szContentAfter);
  } else {
    EXPECT_FALSE(std::filesystem::exists(m_Path));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Dispositions, DispositionTest,
    ::testing::Values(
        DispositionCase{"CreateNewOnMissing", false, CREATE_NEW, true, ERROR_SUCCESS, ""},
        DispositionCase{"CreateNewOnExisting", true, CREATE_NEW, false, ERROR_FILE_EXISTS, "old"},
        DispositionCase{"CreateAlwaysTruncates", true, CREATE_ALWAYS, true, ERROR_ALREADY_EXISTS,
                        ""},
        DispositionCase{"OpenExistingOnMissing", false, OPEN_EXISTING, false, ERROR_FILE_NOT_FOUND,
                        nullptr},
        DispositionCase{"OpenExistingKeeps", true, OPEN_EXISTING, true, ERROR_SUCCESS, "old"},
        DispositionCase{"OpenAlwaysKeeps", true, OPEN_ALWAYS, true, ERROR_ALREADY_EXISTS, "old"},
        DispositionCase{"OpenAlwaysCreates", false, OPEN_ALWAYS, true, ERROR_SUCCESS, ""},
        DispositionCase{"TruncateExisting", true, TRUNCATE_EXISTING, true, ERROR_SUCCESS, ""},
        DispositionCase{"UnknownDisposition", true, 9, false, ERROR_INVALID_PARAMETER, "old"}),
    [](const auto& tpi) { return std::string(tpi.param.szName); });

TEST_F(WinFileTest, MissingFolderAndFoldersThemselvesFail) {
  HANDLE h = CreateFile((m_Folder + "/no/such/file").c_str(), GENERIC_READ, 0, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  h = CreateFile(m_Folder.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                 nullptr);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(WinFileTest, ExclusiveHandleShutsOutEveryOtherOpen) {
  Put("keep me");
  HANDLE hFirst = Open(GENERIC_READ, 0, OPEN_EXISTING);
  ASSERT_NE(hFirst, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  // A refused CREATE_ALWAYS must not have emptied the file on its way.
  EXPECT_EQ(Open(GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(Get(), "keep me");
  ASSERT_TRUE(CloseHandle(hFirst));
  HANDLE hAgain = Open(GENERIC_READ, 0, OPEN_EXISTING);
  EXPECT_NE(hAgain, INVALID_HANDLE_VALUE);
  CloseHandle(hAgain);
}

TEST_F(WinFileTest, SharedHandlesCoexist) {
  Put("x");
  HANDLE hA = Open(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  HANDLE hB = Open(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_NE(hA, INVALID_HANDLE_VALUE);
  EXPECT_NE(hB, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  CloseHandle(hA);
  CloseHandle(hB);
}

TEST_F(WinFileTest, AFileLockedByAnotherProcessCannotBeOpened) {
  Put("palm");
  int toParent[2];
  int toChild[2];
  ASSERT_EQ(::pipe(toParent), 0);
  ASSERT_EQ(::pipe(toChild), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    HANDLE h = Open(GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    const char cReady = h != INVALID_HANDLE_VALUE ? 'y' : 'n';
    (void)!::write(toParent[1], &cReady, 1);
    char cDone;
    (void)!::read(toChild[0], &cDone, 1);
    ::_exit(0);
  }
  char cReady = 0;
  ASSERT_EQ(::read(toParent[0], &cReady, 1), 1);
  EXPECT_EQ(cReady, 'y');
  EXPECT_EQ(Open(GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  (void)!::write(toChild[1], "d", 1);
  int nStatus = 0;
  ::waitpid(pid, &nStatus, 0);
  HANDLE h = Open(GENERIC_READ, 0, OPEN_EXISTING);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]}) ::close(fd);
}

TEST_F(WinFileTest, ReadWriteSeekAndCut) {
  HANDLE h = Open(GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD nDone = 0;
  ASSERT_TRUE(WriteFile(h, "0123456789", 10, &nDone, nullptr));
  EXPECT_EQ(nDone, 10u);
  EXPECT_EQ(GetFileSize(h, nullptr), 10u);
  EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_BEGIN), 2u);
  char buf[8] = {};
  ASSERT_TRUE(ReadFile(h, buf, 3, &nDone, nullptr));
  EXPECT_EQ(std::string(buf, nDone), "234");
  EXPECT_EQ(SetFilePointer(h, -4, nullptr, FILE_END), 6u);
  ASSERT_TRUE(SetEndOfFile(h));
  EXPECT_EQ(GetFileSize(h, nullptr), 6u);
  // At the end a read succeeds with nothing, as on Windows.
  ASSERT_TRUE(ReadFile(h, buf, 3, &nDone, nullptr));
  EXPECT_EQ(nDone, 0u);
  EXPECT_EQ(SetFilePointer(h, -100, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
  ASSERT_TRUE(FlushFileBuffers(h));
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_EQ(Get(), "012345");
}

TEST_F(WinFileTest, AccessAndHandleChecks) {
  Put("abc");
  HANDLE h = Open(GENERIC_WRITE, 0, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buf[4];
  DWORD nDone = 7;
  EXPECT_FALSE(ReadFile(h, buf, 3, &nDone, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(nDone, 0u);
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(WriteFile(INVALID_HANDLE_VALUE, "x", 1, &nDone, nullptr));
  EXPECT_EQ(GetFileSize(nullptr, nullptr), INVALID_FILE_SIZE);
}

TEST_F(WinFileTest, DiskFullSeamCutsTheWriteWhereAsked) {
  HANDLE h = Open(GENERIC_WRITE, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CxSetWriteFailAfter(7);
  DWORD nDone = 0;
  EXPECT_TRUE(WriteFile(h, "abcd", 4, &nDone, nullptr));
  EXPECT_FALSE(WriteFile(h, "efghij", 6, &nDone, nullptr));
  EXPECT_EQ(nDone, 3u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_FALSE(WriteFile(h, "k", 1, &nDone, nullptr));
  CxSetWriteFailAfter(-1);
  EXPECT_TRUE(WriteFile(h, "k", 1, &nDone, nullptr));
  CloseHandle(h);
  EXPECT_EQ(Get(), "abcdefgk");
}

// A pipe or a device where a data file is expected, and a file beyond the bound: readers
// refuse them at once instead of waiting for a writer forever or reading without end.
TEST_F(WinFileTest, SpecialFilesAndFilesBeyondTheBoundAreRefusedUnread) {
  ASSERT_EQ(::mkfifo(m_Path.c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", m_Folder + "/zero");
  std::string data;
  for (const std::string& path : {m_Path, m_Folder + "/zero"}) {
    EXPECT_EQ(CreateFile(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(CxReadWholeFile(path.c_str(), 1 << 20, &data));
  }
  std::ofstream(m_Folder + "/big") << std::string(100, 'x');
  EXPECT_FALSE(CxReadWholeFile((m_Folder + "/big").c_str(), 99, &data));
  EXPECT_TRUE(CxReadWholeFile((m_Folder + "/big").c_str(), 100, &data));
}

}  // namespace
