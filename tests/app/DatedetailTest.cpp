// The record details dialog: which recurrence pages a record's repetition shows, with what in
// them, and how its range ends.
#include "app/Datedetail.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <cstring>
#include <string>

#include "platform/win/WinString.h"
#include "support/ui/UiFind.h"
#include "support/ui/UiRecorder.h"

namespace {

struct DetailCase {
  const char* szName;
  RepeatPattern repeat;
  const char* szInnerPage;  // the one inner page shown; null: no "Recurrence" page at all
  const char* szInterval;   // the field of the interval and what it shows
  const char* szIntervalText;
  const char* szChecked;  // a box or choice that must be checked
  const char* szEndText;  // what edtRecurEnd shows
};

void PrintTo(const DetailCase& c, std::ostream* pOut) {
  *pOut << c.szName;
}

SYSTEMTIME YearEnd(int nYear) {
  SYSTEMTIME st = {};
  st.wYear = static_cast<WORD>(nYear);
  st.wMonth = 12;
  st.wDay = 31;
  return st;
}

class DateDetail : public ::testing::TestWithParam<DetailCase> {};

TEST_P(DateDetail, ShowsTheRepetitionOfTheRecord) {
  const DetailCase& c = GetParam();
  CommDate date{};
  CxCopyText(date.szDescription, "Review");
  date.stStart = {2026, 12, 3, 2, 14, 0, 0, 0};  // Wednesday 2 December, 14:00
  date.stEnd = {2026, 12, 3, 2, 15, 0, 0, 0};
  date.repeat = c.repeat;
  TfmDateDetail detail(nullptr);
  detail.SetRecord(&date);

  auto* pPages = FindIn<QTabWidget>(&detail, "pcDetail");
  EXPECT_EQ(pPages->currentWidget()->objectName().toStdString(), "tNotes");
  EXPECT_EQ(pPages->isTabVisible(1), c.szInnerPage != nullptr);
  if (c.szInnerPage == nullptr) return;
  auto* pInner = FindIn<QTabWidget>(&detail, "pcRecur");
  std::string sShown;
  for (int i = 0; i < pInner->count(); ++i) {
    if (pInner->isTabVisible(i)) sShown += pInner->tabText(i).toStdString() + " ";
  }
  EXPECT_EQ(sShown, std::string(c.szInnerPage) + " ");
  EXPECT_EQ(FindIn<QLineEdit>(&detail, c.szInterval)->text().toStdString(), c.szIntervalText);
  EXPECT_TRUE(FindIn<QAbstractButton>(&detail, c.szChecked)->isChecked()) << c.szChecked;
  EXPECT_EQ(FindIn<QLineEdit>(&detail, "edtRecurStart")->text().toStdString(), "12/02/2026");
  EXPECT_EQ(FindIn<QLineEdit>(&detail, "edtRecurEnd")->text().toStdString(), c.szEndText);
  pPages->setCurrentIndex(1);
  SaveDialogPicture(&detail,
                    (std::string("record-details-recurrence-") + c.szName + ".png").c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Repetitions, DateDetail,
    ::testing::Values(
        DetailCase{
            "PlainRecordHasNoRecurrencePage", {}, nullptr, nullptr, nullptr, nullptr, nullptr},
        DetailCase{"EveryTwoWeeksOnTheirDays",
                   {.nType = REPEAT_WEEKLY, .nInterval = 2, .nDayOfWeekMask = DAYMASK_WEDNESDAY},
                   "Weekly",
                   "edtRecurWeeks",
                   "2",
                   "cbWednesday",
                   ""},
        DetailCase{"MonthlyByWeekdayIsByDay",
                   {.nType = REPEAT_MONTHLY_BY_DAY, .nInterval = 1},
                   "Monthly",
                   "edtRecurMonths",
                   "1",
                   "rbtnDay",
                   ""},
        DetailCase{"MonthlyByDateIsByDate",
                   {.nType = REPEAT_MONTHLY_BY_DATE, .nInterval = 3},
                   "Monthly",
                   "edtRecurMonths",
                   "3",
                   "rbtnDate",
                   ""},
        DetailCase{
            "EndIn2100IsNoEndDate",
            {.nType = REPEAT_DAILY, .bHasEnd = 1, .stPatternEnd = YearEnd(2100), .nInterval = 1},
            "Daily",
            "edtRecurDays",
            "1",
            "rbtnNoEnd",
            ""},
        DetailCase{"EndBefore2100IsShown",
                   {.nType = REPEAT_YEARLY_BY_DATE,
                    .bHasEnd = 1,
                    .stPatternEnd = YearEnd(2099),
                    .nInterval = 1},
                   "Yearly",
                   "edtRecurYears",
                   "1",
                   "rbtnEndBy",
                   "12/31/2099"}),
    [](const ::testing::TestParamInfo<DetailCase>& row) { return row.param.szName; });

// The recurrence page lists the deleted occurrences, or says why there are none.
TEST(DateDetailDeleted, ListsTheDeletedOccurrences) {
  CommDate date{};
  date.stStart = {2026, 12, 3, 2, 14, 0, 0, 0};
  date.stEnd = {2026, 12, 3, 2, 15, 0, 0, 0};
  date.repeat.nType = REPEAT_WEEKLY;
  date.repeat.nInterval = 1;
  date.repeat.nDayOfWeekMask = DAYMASK_WEDNESDAY;
  const SYSTEMTIME days[] = {{2026, 12, 3, 9, 0, 0, 0, 0}, {2027, 1, 3, 6, 0, 0, 0, 0}};
  SetExceptionDays(&date.repeat, days, 2);
  TfmDateDetail detail(nullptr);
  detail.SetRecord(&date);
  auto* pList = FindIn<QListWidget>(&detail, "lvExceptions");
  ASSERT_EQ(pList->count(), 2);
  EXPECT_EQ(pList->item(0)->text().toStdString(), "12/09/2026");
  EXPECT_EQ(pList->item(1)->text().toStdString(), "01/06/2027");
  EXPECT_EQ(FindIn<QLabel>(&detail, "lblExceptions")->text().toStdString(), "");

  date.repeat.nExceptionCount = 0;
  date.repeat.bExceptionsUnknown = 1;
  detail.SetRecord(&date);
  EXPECT_EQ(pList->count(), 0);
  EXPECT_EQ(FindIn<QLabel>(&detail, "lblExceptions")->text().toStdString(),
            "Not kept by this calendar.");
}

}  // namespace
