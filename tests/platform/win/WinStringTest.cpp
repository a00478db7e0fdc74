// The bounded copy at its limits and the ANSI case folding of lstrcmpi.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win/WinString.h"

namespace {

TEST(LstrcpynTest, CutsAndAlwaysTerminates) {
  char szBuf[6];
  std::memset(szBuf, 'x', sizeof(szBuf));
  EXPECT_EQ(szBuf, lstrcpyn(szBuf, "abcdefgh", 4));
  EXPECT_STREQ("abc", szBuf);
  EXPECT_EQ('x', szBuf[4]);  // nothing written past the limit

  EXPECT_STREQ("", lstrcpyn(szBuf, "abc", 1));
  EXPECT_STREQ("", lstrcpyn(szBuf, nullptr, 6));
  EXPECT_EQ(nullptr, lstrcpyn(szBuf, "abc", 0));
  EXPECT_EQ(nullptr, lstrcpyn(szBuf, "abc", -3));
  EXPECT_EQ(nullptr, lstrcpyn(nullptr, "abc", 6));
}

TEST(CxCopyTextTest, TakesTheCapacityFromTheArray) {
  struct {
    char szName[4];
    char cGuard;
  } record;
  record.cGuard = 'G';
  CxCopyText(record.szName, "Palm Desktop");
  EXPECT_STREQ("Pal", record.szName);
  EXPECT_EQ('G', record.cGuard);
}

struct CompareCase {
  const char* szName;
  const char* szA;
  const char* szB;
  int nSign;
};

class LstrcmpiTest : public testing::TestWithParam<CompareCase> {};

TEST_P(LstrcmpiTest, ComparesWithoutCase) {
  const CompareCase& row = GetParam();
  const int nResult = lstrcmpi(row.szA, row.szB);
  EXPECT_EQ(row.nSign, (nResult > 0) - (nResult < 0));
  const int nReverse = lstrcmpi(row.szB, row.szA);
  EXPECT_EQ(-row.nSign, (nReverse > 0) - (nReverse < 0));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LstrcmpiTest,
    testing::Values(CompareCase{"AsciiCase", "DayBridge_OL_PD", "daybridge_ol_pd", 0},
                    CompareCase{"AccentedLatin1", "\xC9t\xC9", "\xE9t\xE9", 0},  // ÉTÉ été
                    CompareCase{"SCaron", "\x8A", "\x9A", 0},
                    CompareCase{"OELigature", "\x8C", "\x9C", 0},
                    CompareCase{"ZCaron", "\x8E", "\x9E", 0},
                    CompareCase{"YDiaeresis", "\x9F", "\xFF", 0},
                    CompareCase{"MultiplyIsNotDivide", "\xD7", "\xF7", -1},
                    CompareCase{"AccentMatters", "e", "\xE9", -1},
                    CompareCase{"PrefixSortsFirst", "Path", "PathX", -1},
                    CompareCase{"NullSortsFirst", nullptr, "", -1},
                    CompareCase{"BothNull", nullptr, nullptr, 0}),
    [](const testing::TestParamInfo<CompareCase>& rowInfo) { return rowInfo.param.szName; });

}  // namespace
