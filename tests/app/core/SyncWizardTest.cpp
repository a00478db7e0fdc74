// Range presets, the committed range, the record page's rows and the commit of checked rows.
#include "app/core/SyncWizard.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/win/WinTime.h"
#include "support/clock/ClockGuard.h"

namespace {

SYSTEMTIME Day(int nYear, int nMonth, int nDay, int nHour = 0, int nMinute = 0) {
  SYSTEMTIME st = clockguard::LocalTime(nYear, nMonth, nDay, nHour, nMinute);
  st.wDayOfWeek = 3;  // deliberately wrong: nothing may trust the stored weekday
  return st;
}

DWORD DayNumber(int nYear, int nMonth, int nDay) {
  SYSTEMTIME st = Day(nYear, nMonth, nDay);
  DATE dt = 0;
  SystemTimeToVariantTime(&st, &dt);
  return static_cast<DWORD>(dt);
}

struct PresetCase {
  const char* szName;
  int nKind;
  SYSTEMTIME stToday;
  SYSTEMTIME stFrom;
  SYSTEMTIME stTo;
};

class RangePresets : public ::testing::TestWithParam<PresetCase> {};

TEST_P(RangePresets, CommitsTheDaysOfThePreset) {
  const PresetCase& c = GetParam();
  TAppSettings settings = {};
  CommitPresetRange(settings, c.nKind, &c.stToday);
  EXPECT_EQ(settings.RangeKind, c.nKind);
  EXPECT_EQ(settings.RangeFrom, DayNumber(c.stFrom.wYear, c.stFrom.wMonth, c.stFrom.wDay));
  EXPECT_EQ(settings.RangeTo, DayNumber(c.stTo.wYear, c.stTo.wMonth, c.stTo.wDay));
}

INSTANTIATE_TEST_SUITE_P(
    Presets, RangePresets,
    ::testing::Values(PresetCase{"TodayAt1530", RANGE_TODAY, Day(2011, 3, 9, 15, 30),
                                 Day(2011, 3, 9), Day(2011, 3, 9)},
                      PresetCase{"WeekFromWednesday", RANGE_THIS_WEEK, Day(2011, 3, 9),
                                 Day(2011, 3, 6), Day(2011, 3, 12)},
                      PresetCase{"WeekFromSunday", RANGE_THIS_WEEK, Day(2011, 3, 6),
                                 Day(2011, 3, 6), Day(2011, 3, 12)},
                      PresetCase{"WeekFromSaturdayAcrossYear", RANGE_THIS_WEEK, Day(2011, 12, 31),
                                 Day(2011, 12, 25), Day(2011, 12, 31)},
                      PresetCase{"WeekAcrossMonthEnd", RANGE_THIS_WEEK, Day(2011, 3, 1),
                                 Day(2011, 2, 27), Day(2011, 3, 5)},
                      PresetCase{"MonthOfLeapFebruary", RANGE_THIS_MONTH, Day(2012, 2, 10),
                                 Day(2012, 2, 1), Day(2012, 2, 29)},
                      PresetCase{"MonthOfPlainFebruary", RANGE_THIS_MONTH, Day(2011, 2, 28),
                                 Day(2011, 2, 1), Day(2011, 2, 28)},
                      PresetCase{"MonthOf1900February", RANGE_THIS_MONTH, Day(1900, 2, 1),
                                 Day(1900, 2, 1), Day(1900, 2, 28)},
                      PresetCase{"MonthOfDecember", RANGE_THIS_MONTH, Day(2011, 12, 31),
                                 Day(2011, 12, 1), Day(2011, 12, 31)},
                      PresetCase{"Year", RANGE_THIS_YEAR, Day(2011, 7, 4), Day(2011, 1, 1),
                                 Day(2011, 12, 31)}),
    [](const ::testing::TestParamInfo<PresetCase>& tpi) { return tpi.param.szName; });

TEST(RangeCommit, ReversedDatesAreSwappedAndCustomMeansAllData) {
  TAppSettings settings = {};
  settings.RangeKind = RANGE_CUSTOM;
  SYSTEMTIME stFrom = Day(2011, 5, 20, 17, 45);
  SYSTEMTIME stTo = Day(2011, 5, 3);
  CommitRange(settings, false, &stFrom, &stTo);
  EXPECT_EQ(settings.RangeFrom, DayNumber(2011, 5, 3));
  EXPECT_EQ(settings.RangeTo, DayNumber(2011, 5, 20));

  CommitRange(settings, true, &stFrom, &stTo);
  EXPECT_EQ(settings.RangeFrom, 0u);
  EXPECT_EQ(settings.RangeTo, 0u);

  SYSTEMTIME stToday = Day(2011, 5, 20);
  CommitPresetRange(settings, RANGE_CUSTOM, &stToday);
  EXPECT_EQ(settings.RangeFrom, 0u);
  EXPECT_EQ(settings.RangeKind, RANGE_CUSTOM);
}

// A calendar pair for the record page.
class RecordPage : public ::testing::Test {
 protected:
  void SetUp() override { memset(&m_Settings, 0, sizeof(m_Settings)); }

  CommDate* Add(CommDateMgr& set, const char* szDesc, UINT nSource, UINT nState, SYSTEMTIME stStart,
                SYSTEMTIME stEnd, INT nRepeat = REPEAT_NONE, UINT nMask = 0) {
    CommDate date{};
    snprintf(date.szDescription, sizeof(date.szDescription), "%s", szDesc);
    date.nSource = nSource;
    date.nMatchState = nState;
    date.stStart = stStart;
    date.stEnd = stEnd;
    date.repeat.nType = nRepeat;
    date.repeat.nInterval = nRepeat != REPEAT_NONE ? 1 : 0;
    date.repeat.nDayOfWeekMask = nMask;
    return set.AddCopy(&date);
  }

  std::vector<std::string> Rows() {
    std::vector<SyncRow> vRows;
    BuildSyncRows(&m_Palm, &m_Outlook, m_Settings, vRows);
    std::vector<std::string> vTexts;
    for (const SyncRow& row : vRows) {
      EXPECT_TRUE(row.bChecked);
      vTexts.push_back(std::string(row.pDate->szDescription) + "|" + row.szSyncType);
    }
    return vTexts;
  }

  clockguard::ZoneGuard m_Zone{"UTC"};
  TAppSettings m_Settings;
  CommDateMgr m_Palm;
  CommDateMgr m_Outlook;
};

TEST_F(RecordPage, EachDirectionListsItsSidesNewAndChangedRecords) {
  Add(m_Palm, "P new", SOURCE_PALM, MATCH_NEW, Day(2011, 3, 1, 9), Day(2011, 3, 1, 10));
  Add(m_Palm, "P same", SOURCE_PALM, MATCH_SAME, Day(2011, 3, 1, 9), Day(2011, 3, 1, 10));
  Add(m_Palm, "P changed", SOURCE_PALM, MATCH_CHANGED, Day(2001, 3, 1, 9), Day(2001, 3, 1, 10));
  Add(m_Outlook, "O changed", SOURCE_OUTLOOK, MATCH_CHANGED, Day(2011, 3, 1, 9),
      Day(2011, 3, 1, 10));
  Add(m_Outlook, "O new", SOURCE_OUTLOOK, MATCH_NEW, Day(2030, 3, 1, 9), Day(2030, 3, 1, 10));

  m_Settings.SyncMode = SYNC_PALM_TO_OUTLOOK;
  EXPECT_EQ(Rows(), (std::vector<std::string>{"P new|Palm Desktop to Outlook",
                                              "P changed|Palm Desktop to Outlook"}));
  m_Settings.SyncMode = SYNC_OUTLOOK_TO_PALM;
  EXPECT_EQ(Rows(), (std::vector<std::string>{"O changed|Outlook to Palm Desktop",
                                              "O new|Outlook to Palm Desktop"}));
  m_Settings.SyncMode = SYNC_TWO_WAY;
  EXPECT_EQ(Rows(), (std::vector<std::string>{
                        "P new|Palm Desktop to Outlook", "P changed|Have Conflicts",
                        "O changed|Have Conflicts", "O new|Outlook to Palm Desktop"}));
  m_Settings.SyncMode = SYNC_NONE;
  EXPECT_TRUE(Rows().empty());
}

TEST_F(RecordPage, OneDayRangeTakesLateStartsAndRepetitionsButNotSpansFromTheDayBefore) {
  // 2011-03-09 is a Wednesday.
  Add(m_Palm, "late", SOURCE_PALM, MATCH_NEW, Day(2011, 3, 9, 23, 30), Day(2011, 3, 10, 0, 30));
  Add(m_Palm, "weekly", SOURCE_PALM, MATCH_NEW, Day(2011, 2, 2, 8), Day(2011, 2, 2, 9),
      REPEAT_WEEKLY, DAYMASK_WEDNESDAY);
  Add(m_Palm, "overnight", SOURCE_PALM, MATCH_NEW, Day(2011, 3, 8, 22), Day(2011, 3, 9, 2));
  Add(m_Palm, "weekly Thursday", SOURCE_PALM, MATCH_NEW, Day(2011, 2, 3, 8), Day(2011, 2, 3, 9),
      REPEAT_WEEKLY, DAYMASK_THURSDAY);
  m_Settings.SyncMode = SYNC_PALM_TO_OUTLOOK;
  m_Settings.RangeKind = RANGE_CUSTOM;
  m_Settings.RangeFrom = m_Settings.RangeTo = DayNumber(2011, 3, 9);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"late|Palm Desktop to Outlook",
                                              "weekly|Palm Desktop to Outlook"}));
}

TEST_F(RecordPage, CommitFillsTheListsByCheckedRowsAndSource) {
  CommDate* pPalm =
      Add(m_Palm, "P", SOURCE_PALM, MATCH_NEW, Day(2011, 3, 1, 9), Day(2011, 3, 1, 10));
  CommDate* pOutlook =
      Add(m_Outlook, "O", SOURCE_OUTLOOK, MATCH_NEW, Day(2011, 3, 1, 9), Day(2011, 3, 1, 10));
  CommDate* pUnchecked =
      Add(m_Outlook, "U", SOURCE_OUTLOOK, MATCH_NEW, Day(2011, 3, 1, 9), Day(2011, 3, 1, 10));
  std::vector<SyncRow> vRows = {{pOutlook, SYNC_TYPE_O2P, true},
                                {pPalm, SYNC_TYPE_P2O, true},
                                {pUnchecked, SYNC_TYPE_O2P, false},
                                {nullptr, SYNC_TYPE_O2P, true}};
  CxList palmSel;
  CxList outlookSel;
  outlookSel.Add(pUnchecked);  // left over from an earlier wizard
  EXPECT_EQ(CommitSyncRows(m_Settings, CONFLICT_PALM_WINS, vRows, &palmSel, &outlookSel),
            COMMIT_OK);
  EXPECT_EQ(m_Settings.ConfAction, CONFLICT_PALM_WINS);
  ASSERT_EQ(palmSel.GetCount(), 1u);
  EXPECT_EQ(palmSel.GetAt(0), pPalm);
  ASSERT_EQ(outlookSel.GetCount(), 1u);
  EXPECT_EQ(outlookSel.GetAt(0), pOutlook);

  for (SyncRow& row : vRows) row.bChecked = false;
  EXPECT_EQ(CommitSyncRows(m_Settings, CONFLICT_ASK, vRows, &palmSel, &outlookSel), COMMIT_NOTHING);
  EXPECT_EQ(m_Settings.ConfAction, CONFLICT_ASK);  // stored although the commit failed
  EXPECT_EQ(CommitSyncRows(m_Settings, CONFLICT_SKIP, vRows, nullptr, &outlookSel),
            COMMIT_NO_LISTS);
  EXPECT_EQ(m_Settings.ConfAction, CONFLICT_SKIP);
}

TEST(ActionList, OutOfRangeActionsSelectRemindMe) {
  EXPECT_EQ(ActionIndexFor(2), 2);
  EXPECT_EQ(ActionIndexFor(4), CONFLICT_ASK);
  EXPECT_EQ(ActionIndexFor(-1), CONFLICT_ASK);
}

}  // namespace
