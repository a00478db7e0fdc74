// Which repeat ends the windows show as a date, and the all-day times.
#include "app/core/AppRecordText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct EndCase {
  const char* szName;
  BYTE bHasEnd;
  WORD wEndYear;
  bool bShown;
};

class RepeatEnd : public ::testing::TestWithParam<EndCase> {};

TEST_P(RepeatEnd, OnlyASetEndBefore2100IsADate) {
  RepeatPattern repeat = {};
  repeat.bHasEnd = GetParam().bHasEnd;
  repeat.stPatternEnd = {GetParam().wEndYear, 6, 0, 30, 0, 0, 0, 0};
  SYSTEMTIME stEnd = {};
  EXPECT_EQ(GetRepeatEndDate(&repeat, &stEnd), GetParam().bShown);
  EXPECT_EQ(stEnd.wYear, GetParam().bShown ? GetParam().wEndYear : 0);
}

INSTANTIATE_TEST_SUITE_P(Ends, RepeatEnd,
                         ::testing::Values(EndCase{"In2099IsShown", 1, 2099, true},
                                           EndCase{"In2100IsNoEnd", 1, 2100, false},
                                           EndCase{"DateWithoutEndFlagIsNoEnd", 0, 2030, false}),
                         [](const auto& row) { return std::string(row.param.szName); });

TEST(RecordText, AllDayTimesReadAllDayAndAMissingRecordIsEmpty) {
  CommDate date{};
  date.bAllDay = TRUE;
  char szText[16] = "x";
  EXPECT_TRUE(GetRecordFieldText(&date, FIELD_END_TIME, szText, sizeof(szText)));
  EXPECT_STREQ(szText, RECORD_ALL_DAY_TEXT);
  EXPECT_FALSE(GetRecordFieldText(nullptr, FIELD_DATE, szText, sizeof(szText)));
  EXPECT_STREQ(szText, "");
}

}  // namespace
