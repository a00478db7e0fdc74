// File operations: results and last-error codes callers branch on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/win/WinFileOps.h"
#include "platform/win/WinSystem.h"

namespace {

namespace fs = std::filesystem;

class FileOpsTest : public testing::Test {
 protected:
  void SetUp() override {
    m_dir =
        fs::temp_directory_path() / ("winfileops-" + std::to_string(getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::string PathOf(const char* szName) const { return (m_dir / szName).string(); }
  void Make(const char* szName, const std::string& contents) const {
    std::ofstream out(PathOf(szName), std::ios::binary);
    out << contents;
  }
  std::string Contents(const char* szName) const {
    std::ifstream in(PathOf(szName), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  size_t EntryCount() const {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(m_dir), fs::directory_iterator()));
  }

  fs::path m_dir;
};

TEST_F(FileOpsTest, CopyFileHonoursFailIfExists) {
  Make("a", std::string("binary\0data\r\n", 13));
  Make("b", "old");
  SetLastError(0);
  EXPECT_FALSE(CopyFile(PathOf("a").c_str(), PathOf("b").c_str(), TRUE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
  EXPECT_EQ("old", Contents("b"));

  EXPECT_TRUE(CopyFile(PathOf("a").c_str(), PathOf("b").c_str(), FALSE));
  EXPECT_EQ(Contents("a"), Contents("b"));
  EXPECT_TRUE(CopyFile(PathOf("a").c_str(), PathOf("c").c_str(), TRUE));
  EXPECT_EQ(Contents("a"), Contents("c"));
  EXPECT_EQ(3u, EntryCount());  // no temporary file left behind
}

TEST_F(FileOpsTest, CopyFileOfLargeFileIsComplete) {
  std::string big(300 * 1024 + 7, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 31);
  Make("big", big);
  ASSERT_TRUE(CopyFile(PathOf("big").c_str(), PathOf("copy").c_str(), FALSE));
  EXPECT_EQ(big, Contents("copy"));
}

TEST_F(FileOpsTest, CopyFileOfMissingSource) {
  SetLastError(0);
  EXPECT_FALSE(CopyFile(PathOf("missing").c_str(), PathOf("b").c_str(), FALSE));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_EQ(0u, EntryCount());
}

TEST_F(FileOpsTest, MoveFileExReplacesOnlyWhenAsked) {
  Make("new", "new");
  Make("old", "old");
  SetLastError(0);
  EXPECT_FALSE(MoveFileEx(PathOf("new").c_str(), PathOf("old").c_str(), 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_EQ("old", Contents("old"));
  EXPECT_EQ("new", Contents("new"));

  EXPECT_TRUE(MoveFileEx(PathOf("new").c_str(), PathOf("old").c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ("new", Contents("old"));
  EXPECT_FALSE(fs::exists(PathOf("new")));

  EXPECT_TRUE(MoveFile(PathOf("old").c_str(), PathOf("renamed").c_str()));
  EXPECT_EQ("new", Contents("renamed"));
}

TEST_F(FileOpsTest, MoveFileExReportsMissingPaths) {
  SetLastError(0);
  EXPECT_FALSE(MoveFileEx(PathOf("missing").c_str(), PathOf("x").c_str(), 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  Make("a", "a");
  EXPECT_FALSE(
      MoveFileEx(PathOf("a").c_str(), PathOf("nodir/x").c_str(), MOVEFILE_REPLACE_EXISTING));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());
}

TEST_F(FileOpsTest, DeleteFile) {
  Make("a", "a");
  EXPECT_TRUE(DeleteFile(PathOf("a").c_str()));
  EXPECT_FALSE(fs::exists(PathOf("a")));
  SetLastError(0);
  EXPECT_FALSE(DeleteFile(PathOf("a").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_FALSE(DeleteFile(m_dir.string().c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
  EXPECT_TRUE(fs::is_directory(m_dir));
}

TEST_F(FileOpsTest, AttributesAndSize) {
  Make("a", "12345");
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), GetFileAttributes(PathOf("a").c_str()));
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY),
            GetFileAttributes(m_dir.string().c_str()));
  SetLastError(0);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributes(PathOf("missing").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributes(PathOf("nodir/missing").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());

  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesEx(PathOf("a").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(0u, data.nFileSizeHigh);
  EXPECT_EQ(5u, data.nFileSizeLow);
  EXPECT_NE(0u, data.ftLastWriteTime.dwHighDateTime);
  EXPECT_FALSE(GetFileAttributesEx(PathOf("missing").c_str(), GetFileExInfoStandard, &data));
}

TEST_F(FileOpsTest, SizeAboveFourGigabytesKeepsItsHighPart) {
  // A sparse file: no disk space is used.
  std::ofstream(PathOf("sparse")).close();
  fs::resize_file(PathOf("sparse"), (5ull << 30) + 3);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesEx(PathOf("sparse").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(1u, data.nFileSizeHigh);
  EXPECT_EQ((1u << 30) + 3, data.nFileSizeLow);
}

TEST_F(FileOpsTest, CreateDirectory) {
  EXPECT_TRUE(CreateDirectory(PathOf("sub").c_str(), nullptr));
  EXPECT_TRUE(fs::is_directory(PathOf("sub")));
  SetLastError(0);
  EXPECT_FALSE(CreateDirectory(PathOf("sub").c_str(), nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  Make("file", "x");
  EXPECT_FALSE(CreateDirectory(PathOf("file").c_str(), nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
  EXPECT_FALSE(CreateDirectory(PathOf("a/b").c_str(), nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_PATH_NOT_FOUND), GetLastError());

  Make("sub/inner", "x");
  EXPECT_FALSE(RemoveDirectory(PathOf("sub").c_str()));
  EXPECT_EQ(static_cast<DWORD>(ERROR_DIR_NOT_EMPTY), GetLastError());
  ASSERT_TRUE(DeleteFile(PathOf("sub/inner").c_str()));
  EXPECT_TRUE(RemoveDirectory(PathOf("sub").c_str()));
}

}  // namespace
