// Recurrence stepping as a table of rules and expected successive dates, plus the date
// helpers whose boundaries matter to callers (month ends, leap years, buffer limits).
#include "common/misc/WinUtil.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/calendar/CommDate.h"
#include "support/clock/Moments.h"

namespace {

using clockguard::LocalTime;

std::string DateString(const SYSTEMTIME& st) {
  char szText[32];
  snprintf(szText, sizeof(szText), "%04d-%02d-%02d", st.wYear, st.wMonth, st.wDay);
  return szText;
}

struct StepCase {
  const char* szName;
  INT nType;
  UINT nInterval;
  UINT nMask;
  UINT nDayOfMonth;
  UINT nInstance;
  const char* szEnd;  // pattern end "YYYY-MM-DD", or null for none
  SYSTEMTIME stStart;
  SYSTEMTIME stCursor;
  // Expected cursor dates of successive calls; "-" means the call reports no occurrence.
  std::vector<std::string> expected;
};

class NextOccurrenceTest : public ::testing::TestWithParam<StepCase> {};

TEST_P(NextOccurrenceTest, StepsThroughExpectedDates) {
  const StepCase& c = GetParam();
  CommDate record{};
  record.stStart = c.stStart;
  record.repeat.nType = c.nType;
  record.repeat.nInterval = c.nInterval;
  record.repeat.nDayOfWeekMask = c.nMask;
  record.repeat.nDayOfMonth = c.nDayOfMonth;
  record.repeat.nInstance = c.nInstance;
  if (c.szEnd != nullptr) {
    int nYear = 0, nMonth = 0, nDay = 0;
    ASSERT_EQ(3, sscanf(c.szEnd, "%d-%d-%d", &nYear, &nMonth, &nDay));
    record.repeat.bHasEnd = 1;
    record.repeat.stPatternEnd = LocalTime(nYear, nMonth, nDay);
  }
  SYSTEMTIME stCursor = c.stCursor;
  for (size_t i = 0; i < c.expected.size(); i++) {
    const bool bNext = NextOccurrence(&record, &stCursor);
    if (c.expected[i] == "-") {
      EXPECT_FALSE(bNext) << "step " << i;
      break;
    }
    ASSERT_TRUE(bNext) << "step " << i;
    EXPECT_EQ(c.expected[i], DateString(stCursor)) << "step " << i;
  }
}

const UINT kMon = DAYMASK_MONDAY;
const UINT kWed = DAYMASK_WEDNESDAY;
const UINT kThu = DAYMASK_THURSDAY;
const UINT kFri = DAYMASK_FRIDAY;
const UINT kSat = DAYMASK_SATURDAY;
const UINT kSun = DAYMASK_SUNDAY;

INSTANTIATE_TEST_SUITE_P(
    Rules, NextOccurrenceTest,
    ::testing::Values(StepCase{"DailyInterval3CrossesYear",
                               REPEAT_DAILY,
                               3,
                               0,
                               0,
                               0,
                               nullptr,
                               LocalTime(2011, 12, 1),
                               LocalTime(2011, 12, 30, 14, 30),
                               {"2012-01-02", "2012-01-05"}},
                      StepCase{"WeeklyInterval2MondayWednesday",
                               REPEAT_WEEKLY,
                               2,
                               kMon | kWed,
                               0,
                               1,
                               nullptr,
                               LocalTime(2011, 3, 7),
                               LocalTime(2011, 3, 7),
                               {"2011-03-09", "2011-03-21", "2011-03-23", "2011-04-04"}},
                      StepCase{"WeeklyFromWednesdayBackToNextMonday",
                               REPEAT_WEEKLY,
                               1,
                               kMon | kWed,
                               0,
                               1,
                               nullptr,
                               LocalTime(2011, 3, 7),
                               LocalTime(2011, 3, 9),
                               {"2011-03-14"}},
                      StepCase{"WeeklySaturdayOnlyMovesWholeWeeks",
                               REPEAT_WEEKLY,
                               1,
                               kSat,
                               0,
                               1,
                               nullptr,
                               LocalTime(2011, 3, 5),
                               LocalTime(2011, 3, 5),
                               {"2011-03-12", "2011-03-19"}},
                      StepCase{"WeeklySundayOnlyInterval2",
                               REPEAT_WEEKLY,
                               2,
                               kSun,
                               0,
                               1,
                               nullptr,
                               LocalTime(2011, 3, 6),
                               LocalTime(2011, 3, 6),
                               {"2011-03-20", "2011-04-03"}},
                      StepCase{"WeeklyEmptyMaskMovesIntervalWeeks",
                               REPEAT_WEEKLY,
                               3,
                               0,
                               0,
                               1,
                               nullptr,
                               LocalTime(2011, 3, 9),
                               LocalTime(2011, 3, 9),
                               {"2011-03-30"}},
                      StepCase{"MonthlyByDayLastFridayOfFourFridayMonth",
                               REPEAT_MONTHLY_BY_DAY,
                               1,
                               kFri,
                               0,
                               5,
                               nullptr,
                               LocalTime(2011, 1, 28),
                               LocalTime(2011, 1, 28),
                               {"2011-02-25", "2011-03-25", "2011-04-29"}},
                      StepCase{"MonthlyByDayFirstFriday",
                               REPEAT_MONTHLY_BY_DAY,
                               1,
                               kFri,
                               0,
                               1,
                               nullptr,
                               LocalTime(2011, 1, 7),
                               LocalTime(2011, 1, 7),
                               {"2011-02-04", "2011-03-04"}},
                      StepCase{"MonthlyByDaySecondFridayAcrossYear",
                               REPEAT_MONTHLY_BY_DAY,
                               1,
                               kFri,
                               0,
                               2,
                               nullptr,
                               LocalTime(2011, 12, 9),
                               LocalTime(2011, 12, 9),
                               {"2012-01-13"}},
                      StepCase{"MonthlyByDayEmptyMaskGivesFirstOfMonth",
                               REPEAT_MONTHLY_BY_DAY,
                               2,
                               0,
                               0,
                               1,
                               nullptr,
                               LocalTime(2011, 1, 15),
                               LocalTime(2011, 1, 15),
                               {"2011-03-01"}},
                      StepCase{"MonthlyByDate31ClampsToMonthEnds",
                               REPEAT_MONTHLY_BY_DATE,
                               1,
                               0,
                               31,
                               0,
                               nullptr,
                               LocalTime(2011, 1, 31),
                               LocalTime(2011, 1, 31),
                               {"2011-02-28", "2011-03-31", "2011-04-30"}},
                      StepCase{"MonthlyByDate31ReachesLeapFebruary29",
                               REPEAT_MONTHLY_BY_DATE,
                               1,
                               0,
                               31,
                               0,
                               nullptr,
                               LocalTime(2012, 1, 31),
                               LocalTime(2012, 1, 31),
                               {"2012-02-29"}},
                      StepCase{"MonthlyByDateInterval13CarriesYear",
                               REPEAT_MONTHLY_BY_DATE,
                               13,
                               0,
                               15,
                               0,
                               nullptr,
                               LocalTime(2011, 12, 15),
                               LocalTime(2011, 12, 15),
                               {"2013-01-15"}},
                      StepCase{"MonthlyByDateInterval12StaysInDecember",
                               REPEAT_MONTHLY_BY_DATE,
                               12,
                               0,
                               15,
                               0,
                               nullptr,
                               LocalTime(2011, 12, 15),
                               LocalTime(2011, 12, 15),
                               {"2012-12-15"}},
                      StepCase{"YearlyByDateFebruary29StaysOn28",
                               REPEAT_YEARLY_BY_DATE,
                               1,
                               0,
                               29,
                               0,
                               nullptr,
                               LocalTime(2012, 2, 29),
                               LocalTime(2012, 2, 29),
                               {"2013-02-28", "2014-02-28", "2015-02-28", "2016-02-28"}},
                      StepCase{"YearlyByDateInterval2",
                               REPEAT_YEARLY_BY_DATE,
                               2,
                               0,
                               4,
                               0,
                               nullptr,
                               LocalTime(2011, 7, 4),
                               LocalTime(2011, 7, 4),
                               {"2013-07-04"}},
                      StepCase{"EndDateAllowsLastDayThenStops",
                               REPEAT_WEEKLY,
                               1,
                               kThu,
                               0,
                               1,
                               "2011-03-10",
                               LocalTime(2011, 3, 3),
                               LocalTime(2011, 3, 3),
                               {"2011-03-10", "-"}},
                      StepCase{"StartAfterCursorJumpsToStart",
                               REPEAT_DAILY,
                               5,
                               0,
                               0,
                               0,
                               nullptr,
                               LocalTime(2011, 5, 10),
                               LocalTime(2011, 3, 1),
                               {"2011-05-10", "2011-05-15"}},
                      StepCase{"YearlyByWeekdayPositionStepsEveryYear",
                               REPEAT_YEARLY_BY_DAY,
                               1,
                               kFri,
                               0,
                               1,
                               nullptr,
                               LocalTime(2011, 1, 7),
                               LocalTime(2011, 1, 7),
                               {"2012-01-06", "2013-01-04"}},
                      StepCase{"NoRepeatNeverSteps",
                               REPEAT_NONE,
                               1,
                               0,
                               0,
                               0,
                               nullptr,
                               LocalTime(2011, 1, 7),
                               LocalTime(2011, 1, 7),
                               {"-"}},
                      StepCase{"UnknownTypeNeverSteps",
                               9,
                               1,
                               0,
                               0,
                               0,
                               nullptr,
                               LocalTime(2011, 1, 7),
                               LocalTime(2011, 1, 7),
                               {"-"}},
                      StepCase{"HugeDailyIntervalHasNoNext",
                               REPEAT_DAILY,
                               0xFFFFFFFFu,
                               0,
                               0,
                               0,
                               nullptr,
                               LocalTime(2011, 1, 7),
                               LocalTime(2011, 1, 7),
                               {"-"}},
                      StepCase{"HugeYearlyIntervalHasNoNext",
                               REPEAT_YEARLY_BY_DATE,
                               0xFFFFFFFFu,
                               0,
                               7,
                               0,
                               nullptr,
                               LocalTime(2011, 1, 7),
                               LocalTime(2011, 1, 7),
                               {"-"}}),
    [](const ::testing::TestParamInfo<StepCase>& row) { return row.param.szName; });

class IntervalZeroTest : public ::testing::TestWithParam<INT> {};

TEST_P(IntervalZeroTest, NeverSteps) {
  CommDate record{};
  record.stStart = LocalTime(2011, 3, 3);
  record.repeat.nType = GetParam();
  record.repeat.nDayOfWeekMask = 0x7f;
  record.repeat.nDayOfMonth = 3;
  record.repeat.nInstance = 1;
  SYSTEMTIME stCursor = record.stStart;
  EXPECT_FALSE(NextOccurrence(&record, &stCursor));
}

INSTANTIATE_TEST_SUITE_P(EveryType, IntervalZeroTest,
                         ::testing::Values(REPEAT_DAILY, REPEAT_WEEKLY, REPEAT_MONTHLY_BY_DAY,
                                           REPEAT_MONTHLY_BY_DATE, REPEAT_YEARLY_BY_DAY,
                                           REPEAT_YEARLY_BY_DATE));

TEST(NextOccurrence, StartAfterCursorTakesWeekdayFromTheDateNotTheStoredOne) {
  CommDate record{};
  record.stStart = LocalTime(2011, 5, 10);  // a Tuesday
  record.stStart.wDayOfWeek = 6;
  record.repeat.nType = REPEAT_WEEKLY;
  record.repeat.nInterval = 1;
  record.repeat.nDayOfWeekMask = DAYMASK_TUESDAY;
  SYSTEMTIME stCursor = LocalTime(2011, 3, 1);
  ASSERT_TRUE(NextOccurrence(&record, &stCursor));
  EXPECT_EQ(2, stCursor.wDayOfWeek);
  ASSERT_TRUE(NextOccurrence(&record, &stCursor));
  EXPECT_EQ("2011-05-17", DateString(stCursor));
}

TEST(NextOccurrence, DailyStepLandsAtMidnightWithWeekday) {
  CommDate record{};
  record.stStart = LocalTime(2011, 12, 1);
  record.repeat.nType = REPEAT_DAILY;
  record.repeat.nInterval = 3;
  SYSTEMTIME stCursor = LocalTime(2011, 12, 30, 14, 30);
  ASSERT_TRUE(NextOccurrence(&record, &stCursor));
  EXPECT_EQ(0, stCursor.wHour);
  EXPECT_EQ(0, stCursor.wMinute);
  EXPECT_EQ(1, stCursor.wDayOfWeek);  // 2012-01-02 was a Monday
}

TEST(NextOccurrence, MissingArgumentsGiveFalse) {
  CommDate record{};
  SYSTEMTIME stCursor = LocalTime(2011, 1, 1);
  EXPECT_FALSE(NextOccurrence(nullptr, &stCursor));
  EXPECT_FALSE(NextOccurrence(&record, nullptr));
}

struct CompareCase {
  const char* szName;
  SYSTEMTIME stA;
  SYSTEMTIME stB;
  int nDate;
  int nTime;
};

class CompareTest : public ::testing::TestWithParam<CompareCase> {};

TEST_P(CompareTest, OrdersOnlyTheirOwnFields) {
  const CompareCase& c = GetParam();
  EXPECT_EQ(c.nDate, CompareDate(&c.stA, &c.stB));
  EXPECT_EQ(c.nTime, CompareTime(&c.stA, &c.stB));
}

SYSTEMTIME WithWeekday(SYSTEMTIME st, int nWeekday) {
  st.wDayOfWeek = static_cast<WORD>(nWeekday);
  return st;
}

SYSTEMTIME WithSecond(SYSTEMTIME st, int nSecond) {
  st.wSecond = static_cast<WORD>(nSecond);
  return st;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompareTest,
    ::testing::Values(CompareCase{"SameDayDifferentTimes", LocalTime(2011, 3, 7, 23, 59),
                                  LocalTime(2011, 3, 7), 0, 1},
                      CompareCase{"WeekdayIgnored", WithWeekday(LocalTime(2011, 3, 7), 3),
                                  LocalTime(2011, 3, 7), 0, 0},
                      CompareCase{"YearDecidesFirst", LocalTime(2010, 12, 31, 1, 0),
                                  LocalTime(2011, 1, 1, 0, 0), -1, 1},
                      CompareCase{"MonthBeforeDay", LocalTime(2011, 2, 1), LocalTime(2011, 1, 31),
                                  1, 0},
                      CompareCase{"SecondsCountForTime", WithSecond(LocalTime(2011, 3, 7, 9, 0), 1),
                                  LocalTime(2011, 3, 8, 9, 0), -1, 1}),
    [](const ::testing::TestParamInfo<CompareCase>& row) { return row.param.szName; });

TEST(CompareDate, MissingSidesOrderFirstSideFirst) {
  SYSTEMTIME st = LocalTime(2011, 1, 1);
  EXPECT_EQ(-1, CompareDate(nullptr, &st));
  EXPECT_EQ(-1, CompareDate(nullptr, nullptr));
  EXPECT_EQ(1, CompareDate(&st, nullptr));
  EXPECT_EQ(-1, CompareTime(nullptr, &st));
  EXPECT_EQ(1, CompareTime(&st, nullptr));
}

TEST(CopyDate, KeepsTheDestinationsTimeOfDay) {
  SYSTEMTIME stSrc = LocalTime(2011, 3, 7, 8, 15);
  SYSTEMTIME stDst = LocalTime(1999, 1, 1, 17, 45);
  ASSERT_TRUE(CopyDate(&stSrc, &stDst));
  EXPECT_EQ("2011-03-07", DateString(stDst));
  EXPECT_EQ(1, stDst.wDayOfWeek);
  EXPECT_EQ(17, stDst.wHour);
  EXPECT_EQ(45, stDst.wMinute);
  EXPECT_FALSE(CopyDate(nullptr, &stDst));
}

struct MonthCase {
  int nYear;
  int nMonth;
  int nDays;
};

class DaysInMonthTest : public ::testing::TestWithParam<MonthCase> {};

TEST_P(DaysInMonthTest, FollowsGregorianLeapRule) {
  EXPECT_EQ(GetParam().nDays, DaysInMonth(GetParam().nYear, GetParam().nMonth));
}

INSTANTIATE_TEST_SUITE_P(Months, DaysInMonthTest,
                         ::testing::Values(MonthCase{2011, 2, 28}, MonthCase{2012, 2, 29},
                                           MonthCase{1900, 2, 28}, MonthCase{2000, 2, 29},
                                           MonthCase{2011, 4, 30}, MonthCase{2011, 12, 31},
                                           MonthCase{2011, 0, 0}, MonthCase{2011, 13, 0}));

TEST(AddDays, DropsTimeOfDayAndFillsWeekday) {
  SYSTEMTIME st = LocalTime(2011, 2, 27, 18, 45);
  st.wDayOfWeek = 5;
  ASSERT_TRUE(AddDays(&st, 2));
  EXPECT_EQ("2011-03-01", DateString(st));
  EXPECT_EQ(2, st.wDayOfWeek);
  EXPECT_EQ(0, st.wHour);
  EXPECT_EQ(0, st.wMinute);
}

TEST(AddDays, WorksAcrossTheAutomationEpoch) {
  // Dates before 1899-12-30 are negative automation dates whose fraction counts forward;
  // truncating them must still land on the right day.
  SYSTEMTIME st = LocalTime(1899, 12, 28, 18, 0);
  ASSERT_TRUE(AddDays(&st, 3));
  EXPECT_EQ("1899-12-31", DateString(st));
  st = LocalTime(1899, 12, 31, 6, 0);
  ASSERT_TRUE(AddDays(&st, -3));
  EXPECT_EQ("1899-12-28", DateString(st));
}

TEST(AddDays, InvalidDateIsLeftAlone) {
  SYSTEMTIME st = LocalTime(2011, 2, 30);
  EXPECT_FALSE(AddDays(&st, 1));
  EXPECT_EQ("2011-02-30", DateString(st));
}

TEST(SubtractMinutesInDay, StaysWithinTheDay) {
  SYSTEMTIME st = LocalTime(2011, 3, 7, 9, 10);
  SubtractMinutesInDay(&st, 15);
  EXPECT_EQ(8, st.wHour);
  EXPECT_EQ(55, st.wMinute);
  SubtractMinutesInDay(&st, 24 * 60);
  EXPECT_EQ(0, st.wHour);
  EXPECT_EQ(0, st.wMinute);
  EXPECT_EQ("2011-03-07", DateString(st));
  SubtractMinutesInDay(&st, -5000);
  EXPECT_EQ(23, st.wHour);
  EXPECT_EQ(59, st.wMinute);
}

TEST(MinutesBetween, IgnoresDates) {
  SYSTEMTIME stStart = LocalTime(2011, 3, 7, 9, 30);
  SYSTEMTIME stEnd = LocalTime(2011, 3, 9, 8, 0);
  EXPECT_EQ(-90, MinutesBetween(&stEnd, &stStart));
}

TEST(GetLongDateText, WritesWhenTheTextFitsAndLeavesTheBufferOtherwise) {
  SYSTEMTIME st = LocalTime(2011, 3, 7);
  const std::string expected = "March 7, 2011 Monday";
  char szBuf[64];
  ASSERT_TRUE(GetLongDateText(&st, szBuf, sizeof(szBuf)));
  EXPECT_EQ(expected, szBuf);

  char szExact[21];
  ASSERT_EQ(expected.size() + 1, sizeof(szExact));
  EXPECT_TRUE(GetLongDateText(&st, szExact, sizeof(szExact)));
  EXPECT_EQ(expected, szExact);

  char szShort[20];
  memset(szShort, 'x', sizeof(szShort));
  EXPECT_FALSE(GetLongDateText(&st, szShort, sizeof(szShort)));
  EXPECT_EQ('x', szShort[0]);
  EXPECT_FALSE(GetLongDateText(&st, szShort, 10));
  EXPECT_FALSE(GetLongDateText(&st, szShort, 0));
}

TEST(GetLongDateText, OutOfRangeMonthOrWeekdayIsRefused) {
  char szBuf[64] = "keep";
  SYSTEMTIME st = LocalTime(2011, 3, 7);
  st.wMonth = 13;
  EXPECT_FALSE(GetLongDateText(&st, szBuf, sizeof(szBuf)));
  st = LocalTime(2011, 3, 7);
  st.wDayOfWeek = 7;
  EXPECT_FALSE(GetLongDateText(&st, szBuf, sizeof(szBuf)));
  EXPECT_STREQ("keep", szBuf);
}

TEST(HexText, SeparatesBytesWithOneBlankAndStopsAt1024) {
  const BYTE bytes[] = {0x00, 0xab, 0x7f, 0xff};
  EXPECT_STREQ("00 ab 7f ff", HexText(bytes, sizeof(bytes)));
  EXPECT_STREQ("", HexText(bytes, 0));
  EXPECT_STREQ("", HexText(nullptr, 4));

  std::vector<BYTE> many(2000, 0x5a);
  const std::string text = HexText(many.data(), static_cast<int>(many.size()));
  EXPECT_EQ(1024u * 3 - 1, text.size());
}

TEST(GetAppFolder, IsTheFolderOfTheRunningProgram) {
  char szFolder[MAX_PATH];
  ASSERT_TRUE(GetAppFolder(szFolder));
  const std::string folder = szFolder;
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ('/', folder.back());
  char szExe[MAX_PATH] = {};
  const ssize_t nLength = readlink("/proc/self/exe", szExe, sizeof(szExe) - 1);
  ASSERT_GT(nLength, 0);
  EXPECT_EQ(0, std::string(szExe).rfind(folder, 0));
  EXPECT_FALSE(GetAppFolder(nullptr));
}

TEST(ShellOpen, RefusesAnEmptyTarget) {
  EXPECT_FALSE(ShellOpen(""));
  EXPECT_FALSE(ShellOpen(nullptr));
}

}  // namespace
