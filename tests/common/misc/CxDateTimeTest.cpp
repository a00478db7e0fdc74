// The date-time texts at their limits: the shown year window, and buffers too small for the
// text (always terminated, never overrun).
#include "common/misc/CxDateTime.h"
#include "support/clock/Moments.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using clockguard::LocalTime;

struct TextCase {
  const char* szName;
  int nYear;
  const char* szDate;
  const char* szDateTime;
};

class DateTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(DateTextTest, ShowsOnlyYearsOfTheWindow) {
  const TextCase& c = GetParam();
  const SYSTEMTIME st = LocalTime(c.nYear, 3, 7, 9, 5, 0);
  CxDateTime dateTime;
  dateTime.SetTime(&st);
  char szDate[CX_DATE_TEXT_SIZE];
  char szDateTime[CX_DATETIME_TEXT_SIZE];
  dateTime.GetDateText(szDate);
  dateTime.GetDateTimeText(szDateTime);
  EXPECT_STREQ(c.szDate, szDate);
  EXPECT_STREQ(c.szDateTime, szDateTime);
}

INSTANTIATE_TEST_SUITE_P(
    Years, DateTextTest,
    ::testing::Values(TextCase{"Year1930IsEmpty", 1930, "", " 09:05:00"},
                      TextCase{"Year1931IsShown", 1931, "03/07/1931", "03/07/1931 09:05:00"},
                      TextCase{"Year2030IsShown", 2030, "03/07/2030", "03/07/2030 09:05:00"},
                      TextCase{"Year2031IsEmpty", 2031, "", " 09:05:00"}),
    [](const ::testing::TestParamInfo<TextCase>& row) { return row.param.szName; });

TEST(CxDateTime, SmallBuffersAreCutAndTerminated) {
  const SYSTEMTIME st = LocalTime(2011, 3, 7, 23, 59, 58);
  CxDateTime dateTime;
  dateTime.SetTime(&st);
  char szBuf[8];
  memset(szBuf, 'x', sizeof(szBuf));
  dateTime.GetDateTimeText(szBuf, 6);
  EXPECT_STREQ("03/07", szBuf);
  EXPECT_EQ('x', szBuf[6]);
  dateTime.GetTimeText(szBuf, 1);
  EXPECT_STREQ("", szBuf);
}

TEST(CxDateTime, InvalidTimeIsMarkedButStillShown) {
  const SYSTEMTIME st = LocalTime(2011, 2, 30, 10, 0, 0);
  CxDateTime dateTime;
  dateTime.SetTime(&st);
  EXPECT_FALSE(dateTime.bValid);
  char szDate[CX_DATE_TEXT_SIZE];
  dateTime.GetDateText(szDate);
  EXPECT_STREQ("02/30/2011", szDate);
}

TEST(CxDateTime, BothRepresentationsStayInStep) {
  CxDateTime dateTime;
  dateTime.SetVariant(40609.75);  // 2011-03-07 18:00
  ASSERT_TRUE(dateTime.bValid);
  EXPECT_EQ(2011, dateTime.stTime.wYear);
  EXPECT_EQ(7, dateTime.stTime.wDay);
  EXPECT_EQ(1, dateTime.stTime.wDayOfWeek);
  EXPECT_EQ(18, dateTime.stTime.wHour);

  const SYSTEMTIME st = LocalTime(2011, 3, 8, 6, 0, 0);
  dateTime.SetTime(&st);
  ASSERT_TRUE(dateTime.bValid);
  EXPECT_DOUBLE_EQ(40610.25, dateTime.dVariant);
}

}  // namespace
