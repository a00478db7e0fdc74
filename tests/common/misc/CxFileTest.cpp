// CxFile: the exact byte layout of values and counted strings, and the refusal of stored
// lengths that do not fit the file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/misc/CxFile.h"

namespace {

namespace fs = std::filesystem;

class CxFileTest : public testing::Test {
 protected:
  void SetUp() override {
    m_dir =
        fs::temp_directory_path() / ("cxfile-" + std::to_string(getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    m_path = (m_dir / "data.bin").string();
  }
  void TearDown() override { fs::remove_all(m_dir); }

  void WriteBytes(const std::string& bytes) const {
    std::ofstream out(m_path, std::ios::binary);
    out << bytes;
  }
  std::string ReadBytes() const {
    std::ifstream in(m_path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  fs::path m_dir;
  std::string m_path;
};

TEST_F(CxFileTest, WritesLittleEndianValuesAndCountedStrings) {
  CxFile file;
  ASSERT_TRUE(file.Open(m_path.c_str(), "wb"));
  EXPECT_TRUE(file.Write32(static_cast<DWORD>(0x44420200)));
  EXPECT_TRUE(file.WriteString("Palm"));
  EXPECT_TRUE(file.WriteString(""));
  EXPECT_TRUE(file.WriteString(nullptr));
  EXPECT_TRUE(file.Write64(static_cast<ULONGLONG>(0x0102030405060708ull)));
  EXPECT_TRUE(file.Write64(1.5));
  EXPECT_TRUE(file.WriteLine("line"));
  EXPECT_TRUE(file.WriteLine(nullptr));
  ASSERT_TRUE(file.Close());

  const std::string expected = std::string("\x00\x02\x42\x44", 4) +
                               std::string("\x04\x00\x00\x00Palm", 8) + std::string(8, '\0') +
                               std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8) +
                               std::string("\x00\x00\x00\x00\x00\x00\xF8\x3F", 8) + "line\r\n\r\n";
  EXPECT_EQ(expected, ReadBytes());

  ASSERT_TRUE(file.Open(m_path.c_str(), "rb"));
  DWORD nVersion = 0;
  EXPECT_TRUE(file.Read32(&nVersion));
  EXPECT_EQ(0x44420200u, nVersion);
  char szText[16];
  int nLength = -1;
  EXPECT_TRUE(file.ReadString(szText, sizeof(szText), &nLength));
  EXPECT_STREQ("Palm", szText);
  EXPECT_EQ(4, nLength);
  EXPECT_TRUE(file.ReadString(szText, sizeof(szText), &nLength));
  EXPECT_STREQ("", szText);
  EXPECT_EQ(0, nLength);
  EXPECT_TRUE(file.ReadString(szText, sizeof(szText)));
  ULONGLONG nBig = 0;
  EXPECT_TRUE(file.Read64(&nBig));
  EXPECT_EQ(0x0102030405060708ull, nBig);
  DATE dtValue = 0;
  EXPECT_TRUE(file.Read64(&dtValue));
  EXPECT_EQ(1.5, dtValue);
}

TEST_F(CxFileTest, LongStringIsCutAfterAllItsBytesAreConsumed) {
  WriteBytes(
      std::string("\x0A\x00\x00\x00"
                  "abcdefghij"
                  "\x2A\x00\x00\x00",
                  18));
  CxFile file;
  ASSERT_TRUE(file.Open(m_path.c_str(), "rb"));
  char szText[4];
  int nLength = 0;
  ASSERT_TRUE(file.ReadString(szText, sizeof(szText), &nLength));
  EXPECT_STREQ("abc", szText);
  EXPECT_EQ(10, nLength);
  LONG nNext = 0;
  ASSERT_TRUE(file.Read32(&nNext));
  EXPECT_EQ(42, nNext);
}

struct BrokenString {
  const char* szName;
  std::string bytes;
};

class BrokenStringTest : public CxFileTest, public testing::WithParamInterface<BrokenString> {};

TEST_P(BrokenStringTest, FailsWithAnEmptyBuffer) {
  WriteBytes(GetParam().bytes);
  CxFile file;
  ASSERT_TRUE(file.Open(m_path.c_str(), "rb"));
  char szText[8] = "garbage";
  int nLength = 99;
  EXPECT_FALSE(file.ReadString(szText, sizeof(szText), &nLength));
  EXPECT_STREQ("", szText);
  EXPECT_EQ(0, nLength);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, BrokenStringTest,
    testing::Values(BrokenString{"NegativeLength", std::string("\xFF\xFF\xFF\xFF"
                                                               "abcd",
                                                               8)},
                    BrokenString{"MostNegativeLength", std::string("\x00\x00\x00\x80", 4)},
                    BrokenString{"LengthOnePastEnd", std::string("\x05\x00\x00\x00"
                                                                 "abcd",
                                                                 8)},
                    BrokenString{"HugeLength", std::string("\xFF\xFF\xFF\x7F"
                                                           "abcd",
                                                           8)},
                    BrokenString{"LengthFieldCutShort", std::string("\x05\x00", 2)},
                    BrokenString{"EmptyFile", std::string()}),
    [](const testing::TestParamInfo<BrokenString>& rowInfo) { return rowInfo.param.szName; });

TEST_F(CxFileTest, NothingWorksWithoutAStream) {
  CxFile file;
  char szText[4];
  DWORD nValue = 0;
  DATE dtValue = 0;
  EXPECT_FALSE(file.ReadString(szText, sizeof(szText)));
  EXPECT_FALSE(file.Read32(&nValue));
  EXPECT_FALSE(file.Read64(&dtValue));
  EXPECT_FALSE(file.WriteString("x"));
  EXPECT_FALSE(file.Write32(nValue));
  EXPECT_FALSE(file.WriteLine("x"));
  EXPECT_TRUE(file.Close());
  EXPECT_FALSE(file.Open("", "rb"));
  EXPECT_FALSE(file.Open(m_path.c_str(), ""));
  EXPECT_FALSE(file.Open((m_dir / "missing").c_str(), "rb"));

  WriteBytes("abcd");
  ASSERT_TRUE(file.Open(m_path.c_str(), "rb"));
  EXPECT_FALSE(file.ReadString(nullptr, 4));
  EXPECT_FALSE(file.ReadString(szText, 0));
  EXPECT_FALSE(file.Read32(static_cast<DWORD*>(nullptr)));
}

TEST_F(CxFileTest, WriteFailureIsReported) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  CxFile file;
  ASSERT_TRUE(file.Open("/dev/full", "wb"));
  file.WriteLine("lost");
  EXPECT_FALSE(file.Flush());
}

TEST_F(CxFileTest, GetFileSize) {
  EXPECT_EQ(-1, CxFile::GetFileSize(nullptr));
  EXPECT_EQ(-1, CxFile::GetFileSize(""));
  EXPECT_EQ(-1, CxFile::GetFileSize((m_dir / "missing").c_str()));
  EXPECT_EQ(-1, CxFile::GetFileSize(m_dir.c_str()));
  WriteBytes("12345");
  EXPECT_EQ(5, CxFile::GetFileSize(m_path.c_str()));
}

TEST_F(CxFileTest, GetFileSizeAboveTwoGigabytesDoesNotWrap) {
  WriteBytes("");
  // Sparse files: no disk space is used. 4 GiB + 5 would read as 5 if the size wrapped.
  for (const uintmax_t nSize : {(2ull << 30), (3ull << 30) + 1, (4ull << 30) + 5}) {
    fs::resize_file(m_path, nSize);
    EXPECT_EQ(0x7FFFFFFF, CxFile::GetFileSize(m_path.c_str())) << nSize;
  }
  fs::resize_file(m_path, (2ull << 30) - 1);
  EXPECT_EQ(0x7FFFFFFF, CxFile::GetFileSize(m_path.c_str()));
  fs::resize_file(m_path, (2ull << 30) - 2);
  EXPECT_EQ(0x7FFFFFFE, CxFile::GetFileSize(m_path.c_str()));
}

}  // namespace
