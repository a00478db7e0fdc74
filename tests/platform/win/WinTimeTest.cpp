// Automation dates against values Windows produces, both directions, and the clock hook.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "platform/win/WinTime.h"
#include "support/clock/ClockGuard.h"

namespace {

using clockguard::LocalTime;

struct KnownDate {
  const char* szName;
  SYSTEMTIME st;
  int nDayOfWeek;
  DATE dtValue;
};

class KnownDateTest : public testing::TestWithParam<KnownDate> {};

TEST_P(KnownDateTest, ConvertsBothWays) {
  const KnownDate& row = GetParam();
  DATE dt = 12345.0;
  ASSERT_TRUE(SystemTimeToVariantTime(&row.st, &dt));
  EXPECT_DOUBLE_EQ(row.dtValue, dt);

  SYSTEMTIME st{};
  ASSERT_TRUE(VariantTimeToSystemTime(row.dtValue, &st));
  EXPECT_EQ(row.st.wYear, st.wYear);
  EXPECT_EQ(row.st.wMonth, st.wMonth);
  EXPECT_EQ(row.st.wDay, st.wDay);
  EXPECT_EQ(row.st.wHour, st.wHour);
  EXPECT_EQ(row.st.wMinute, st.wMinute);
  EXPECT_EQ(row.st.wSecond, st.wSecond);
  EXPECT_EQ(0, st.wMilliseconds);
  EXPECT_EQ(row.nDayOfWeek, st.wDayOfWeek);
}

INSTANTIATE_TEST_SUITE_P(
    WindowsValues, KnownDateTest,
    testing::Values(KnownDate{"Epoch", LocalTime(1899, 12, 30), 6, 0.0},
                    KnownDate{"Noon1899", LocalTime(1899, 12, 30, 12), 6, 0.5},
                    KnownDate{"FirstOf1900", LocalTime(1900, 1, 1), 1, 2.0},
                    KnownDate{"NoLeapDayIn1900", LocalTime(1900, 3, 1), 4, 61.0},
                    KnownDate{"LeapDay2000", LocalTime(2000, 2, 29), 2, 36585.0},
                    KnownDate{"March2011", LocalTime(2011, 3, 7), 1, 40609.0},
                    KnownDate{"March2011Afternoon", LocalTime(2011, 3, 7, 18), 1, 40609.75},
                    KnownDate{"DayBeforeEpochMorning", LocalTime(1899, 12, 29, 6), 5, -1.25},
                    KnownDate{"DayBeforeEpochMidnight", LocalTime(1899, 12, 29), 5, -1.0},
                    KnownDate{"Year1800Noon", LocalTime(1800, 1, 1, 12), 3, -36522.5},
                    KnownDate{"FirstAutomationDay", LocalTime(100, 1, 1), 5, -657434.0},
                    KnownDate{"LastAutomationDay", LocalTime(9999, 12, 31), 5, 2958465.0}),
    [](const testing::TestParamInfo<KnownDate>& rowInfo) { return rowInfo.param.szName; });

struct RejectedTime {
  const char* szName;
  SYSTEMTIME st;
};

class RejectedTimeTest : public testing::TestWithParam<RejectedTime> {};

TEST_P(RejectedTimeTest, FailsAndLeavesTheTargetAlone) {
  DATE dt = 777.0;
  EXPECT_FALSE(SystemTimeToVariantTime(&GetParam().st, &dt));
  EXPECT_EQ(777.0, dt);
}

INSTANTIATE_TEST_SUITE_P(
    InvalidFields, RejectedTimeTest,
    testing::Values(RejectedTime{"MonthZero", LocalTime(2011, 0, 1)},
                    RejectedTime{"Month13", LocalTime(2011, 13, 1)},
                    RejectedTime{"DayZero", LocalTime(2011, 3, 0)},
                    RejectedTime{"April31", LocalTime(2011, 4, 31)},
                    RejectedTime{"February29InCommonYear", LocalTime(2011, 2, 29)},
                    RejectedTime{"February29In1900", LocalTime(1900, 2, 29)},
                    RejectedTime{"Hour24", LocalTime(2011, 3, 7, 24)},
                    RejectedTime{"Minute60", LocalTime(2011, 3, 7, 0, 60)},
                    RejectedTime{"Second60", LocalTime(2011, 3, 7, 0, 0, 60)},
                    RejectedTime{"Year99", LocalTime(99, 12, 31)},
                    RejectedTime{"Year10000", LocalTime(10000, 1, 1)}),
    [](const testing::TestParamInfo<RejectedTime>& rowInfo) { return rowInfo.param.szName; });

TEST(SystemTimeToVariantTimeTest, IgnoresDayOfWeekAndMilliseconds) {
  SYSTEMTIME st = LocalTime(2011, 3, 7, 14, 5, 9);
  st.wMilliseconds = 999;
  st.wDayOfWeek = 4;  // wrong on purpose
  DATE dt = 0;
  ASSERT_TRUE(SystemTimeToVariantTime(&st, &dt));
  EXPECT_DOUBLE_EQ(40609.0 + (14 * 3600 + 5 * 60 + 9) / 86400.0, dt);
}

struct RoundedTime {
  const char* szName;
  DATE dtValue;
  SYSTEMTIME stExpected;
};

class RoundedTimeTest : public testing::TestWithParam<RoundedTime> {};

TEST_P(RoundedTimeTest, RoundsToTheNearestSecond) {
  SYSTEMTIME st{};
  ASSERT_TRUE(VariantTimeToSystemTime(GetParam().dtValue, &st));
  const SYSTEMTIME& e = GetParam().stExpected;
  EXPECT_EQ(e.wYear, st.wYear);
  EXPECT_EQ(e.wMonth, st.wMonth);
  EXPECT_EQ(e.wDay, st.wDay);
  EXPECT_EQ(e.wHour, st.wHour);
  EXPECT_EQ(e.wMinute, st.wMinute);
  EXPECT_EQ(e.wSecond, st.wSecond);
}

constexpr double kSecond = 1.0 / 86400.0;

INSTANTIATE_TEST_SUITE_P(
    Fractions, RoundedTimeTest,
    testing::Values(RoundedTime{"HalfSecondBeforeMidnightIsNextDay", 40609.0 + 86399.5 * kSecond,
                                LocalTime(2011, 3, 8)},
                    RoundedTime{"JustUnderHalfSecondStays", 40609.0 + 86399.4 * kSecond,
                                LocalTime(2011, 3, 7, 23, 59, 59)},
                    RoundedTime{"HalfSecondRoundsUp", 40609.0 + 10.5 * kSecond,
                                LocalTime(2011, 3, 7, 0, 0, 11)},
                    RoundedTime{"YearEndRollsIntoNewYear", 45657.0 + 86399.6 * kSecond,
                                LocalTime(2025, 1, 1)},
                    RoundedTime{"NegativeHalfIsNoonOfEpochDay", -0.5, LocalTime(1899, 12, 30, 12)},
                    RoundedTime{"NegativeFractionRollsForward", -1.0 - 86399.7 * kSecond,
                                LocalTime(1899, 12, 30)},
                    RoundedTime{"ThirdOfADay", 40609.0 + 1.0 / 3.0, LocalTime(2011, 3, 7, 8)}),
    [](const testing::TestParamInfo<RoundedTime>& rowInfo) { return rowInfo.param.szName; });

TEST(VariantTimeToSystemTimeTest, FailsOutsideTheAutomationRange) {
  SYSTEMTIME st{};
  EXPECT_FALSE(VariantTimeToSystemTime(2958466.0, &st));
  EXPECT_FALSE(VariantTimeToSystemTime(-657435.0, &st));
  EXPECT_FALSE(VariantTimeToSystemTime(std::nan(""), &st));
  EXPECT_FALSE(VariantTimeToSystemTime(1e300, &st));
  // The last second of 9999 must not round into a year the type cannot hold.
  EXPECT_FALSE(VariantTimeToSystemTime(2958465.0 + 86399.9 * kSecond, &st));
}

TEST(VariantTimeToSystemTimeTest, EveryDayOfFourHundredYearsRoundTrips) {
  // One full Gregorian cycle covers every leap-year rule.
  for (int nDay = -36522; nDay < -36522 + 146097; ++nDay) {
    SYSTEMTIME st{};
    ASSERT_TRUE(VariantTimeToSystemTime(nDay, &st)) << nDay;
    DATE dt = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &dt)) << nDay;
    ASSERT_EQ(static_cast<double>(nDay), dt);
    ASSERT_EQ(((nDay % 7) + 7 + 6) % 7, st.wDayOfWeek) << nDay;
  }
}

class ClockTest : public testing::Test {
 protected:
  void TearDown() override { CxSetFixedLocalTime(nullptr); }

  clockguard::ZoneGuard m_Zone{"America/New_York"};
};

TEST_F(ClockTest, FixedLocalTimeDrivesBothClocks) {
  SYSTEMTIME stFixed = LocalTime(2011, 3, 7, 14, 5, 9);
  stFixed.wMilliseconds = 250;
  stFixed.wDayOfWeek = 4;  // wrong on purpose: the clock works it out
  CxSetFixedLocalTime(&stFixed);
  SYSTEMTIME stLocal{};
  GetLocalTime(&stLocal);
  EXPECT_EQ(14, stLocal.wHour);
  EXPECT_EQ(1, stLocal.wDayOfWeek);  // filled in from the date
  SYSTEMTIME stUtc{};
  GetSystemTime(&stUtc);
  EXPECT_EQ(19, stUtc.wHour);  // EST is five hours behind
  EXPECT_EQ(7, stUtc.wDay);
  EXPECT_EQ(250, stUtc.wMilliseconds);
}

TEST_F(ClockTest, LocalTimeFollowsTheZone) {
  SYSTEMTIME stLocal{};
  SYSTEMTIME stUtc{};
  GetLocalTime(&stLocal);
  GetSystemTime(&stUtc);
  DATE dtLocal = 0, dtUtc = 0;
  ASSERT_TRUE(SystemTimeToVariantTime(&stLocal, &dtLocal));
  ASSERT_TRUE(SystemTimeToVariantTime(&stUtc, &dtUtc));
  const double dHours = std::round((dtUtc - dtLocal) * 24.0);
  EXPECT_TRUE(dHours == 4.0 || dHours == 5.0) << dHours;
}

}  // namespace
