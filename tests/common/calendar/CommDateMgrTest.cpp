// Matching rules (which record FindMatch reports, at which position), the update rules that
// decide what a sync run may overwrite, ownership of attached blocks, and the calendar tests
// over recurrences.
#include "common/calendar/CommDateMgr.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "common/misc/WinUtil.h"
#include "platform/win/WinString.h"
#include "support/clock/Moments.h"

namespace {

using clockguard::LocalTime;

std::unique_ptr<CommDate> Record(const char* szDescription, SYSTEMTIME stStart, SYSTEMTIME stEnd,
                                 const char* szLocation = "") {
  auto pDate = std::make_unique<CommDate>();
  CxCopyText(pDate->szDescription, szDescription);
  CxCopyText(pDate->szLocation, szLocation);
  pDate->stStart = stStart;
  pDate->stEnd = stEnd;
  return pDate;
}

std::unique_ptr<CommDate> Meeting(const char* szLocation = "Room 1", int nHour = 9) {
  return Record("Team meeting", LocalTime(2011, 3, 7, nHour), LocalTime(2011, 3, 7, nHour + 1),
                szLocation);
}

TEST(FindMatch, CaseAndTimeOfDayDoNotMakeAnotherAppointment) {
  CommDateMgr set;
  set.AddCopy(Meeting("Room 1", 14).get());
  auto pProbe =
      Record("TEAM MEETING", LocalTime(2011, 3, 7, 9), LocalTime(2011, 3, 7, 10), "room 1");
  CommDate* pPeer = nullptr;
  int nPos = -1;
  EXPECT_EQ(FIND_SAME, set.FindMatch(pProbe.get(), &pPeer, &nPos));
  EXPECT_EQ(set.GetAt(0), pPeer);
  EXPECT_EQ(0, nPos);
}

TEST(FindMatch, OtherLocationIsAChangedMatch) {
  CommDateMgr set;
  set.AddCopy(Meeting("Room 2").get());
  CommDate* pPeer = nullptr;
  EXPECT_EQ(FIND_CHANGED, set.FindMatch(Meeting("Room 1").get(), &pPeer, nullptr));
  EXPECT_EQ(set.GetAt(0), pPeer);
}

TEST(FindMatch, EndOneDayLaterIsAnotherAppointment) {
  CommDateMgr set;
  set.AddCopy(Meeting().get());
  auto pProbe = Meeting();
  pProbe->stEnd = LocalTime(2011, 3, 8, 10);
  CommDate* pPeer = pProbe.get();
  int nPos = -1;
  EXPECT_EQ(FIND_NONE, set.FindMatch(pProbe.get(), &pPeer, &nPos));
  EXPECT_EQ(nullptr, pPeer);
  EXPECT_EQ(1, nPos);
}

struct PositionCase {
  const char* szName;
  // Per record of the set: 'o' other appointment, 'c' changed match, 's' unchanged match.
  const char* szLayout;
  int nResult;
  int nPos;
};

class FindMatchPositionTest : public ::testing::TestWithParam<PositionCase> {};

TEST_P(FindMatchPositionTest, ReportsTheWinningRecord) {
  CommDateMgr set;
  std::vector<CommDate*> stored;
  for (const char* p = GetParam().szLayout; *p != '\0'; p++) {
    std::unique_ptr<CommDate> pDate;
    if (*p == 'o') {
      pDate = Record("Unrelated", LocalTime(2011, 3, 7), LocalTime(2011, 3, 7));
    } else {
      pDate = Meeting(*p == 's' ? "Room 1" : "Elsewhere");
    }
    // Tell the records apart by their note, which the default keys ignore.
    CxCopyText(pDate->szNote, std::to_string(stored.size()).c_str());
    stored.push_back(set.AddCopy(pDate.get()));
  }
  CommDate* pPeer = nullptr;
  int nPos = -1;
  EXPECT_EQ(GetParam().nResult, set.FindMatch(Meeting("Room 1").get(), &pPeer, &nPos));
  EXPECT_EQ(GetParam().nPos, nPos);
  if (GetParam().nResult == FIND_NONE) {
    EXPECT_EQ(nullptr, pPeer);
  } else {
    EXPECT_EQ(stored[static_cast<size_t>(nPos)], pPeer);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, FindMatchPositionTest,
    ::testing::Values(PositionCase{"EmptySet", "", FIND_NONE, 0},
                      PositionCase{"NoMatchGivesCount", "ooo", FIND_NONE, 3},
                      PositionCase{"UnchangedLaterWinsOverChanged", "oocoos", FIND_SAME, 5},
                      PositionCase{"LastChangedIsReported", "oocooc", FIND_CHANGED, 5},
                      PositionCase{"FirstUnchangedStopsTheSearch", "scs", FIND_SAME, 0},
                      PositionCase{"ChangedAfterUnchangedIsNotSeen", "osc", FIND_SAME, 1}),
    [](const ::testing::TestParamInfo<PositionCase>& row) { return row.param.szName; });

TEST(FindMatch, TheVeryRecordIsItsOwnMatchAndMissingRecordIsAnError) {
  CommDateMgr set;
  set.AddCopy(Meeting("Elsewhere").get());
  CommDate* pSelf = set.AddCopy(Meeting("Room 2").get());
  CommDate* pPeer = nullptr;
  int nPos = -1;
  EXPECT_EQ(FIND_SAME, set.FindMatch(pSelf, &pPeer, &nPos));
  EXPECT_EQ(pSelf, pPeer);
  EXPECT_EQ(1, nPos);
  EXPECT_EQ(FIND_ERROR, set.FindMatch(nullptr, &pPeer, &nPos));
}

TEST(SetIdentityKeys, RepeatKeyTellsPatternsApart) {
  CommDateMgr set;
  const int kKeys[] = {FIELD_DESCRIPTION, FIELD_REPEAT};
  set.SetIdentityKeys(kKeys, 2);
  auto pDaily = Meeting();
  pDaily->repeat.nType = REPEAT_DAILY;
  pDaily->repeat.nInterval = 1;
  set.AddCopy(pDaily.get());

  auto pWeekly = Record("Team meeting", LocalTime(2012, 1, 1), LocalTime(2012, 1, 1), "Room 1");
  pWeekly->repeat.nType = REPEAT_WEEKLY;
  pWeekly->repeat.nInterval = 1;
  EXPECT_EQ(FIND_NONE, set.FindMatch(pWeekly.get(), nullptr, nullptr));
  pWeekly->repeat = pDaily->repeat;
  EXPECT_EQ(FIND_SAME, set.FindMatch(pWeekly.get(), nullptr, nullptr));

  // Back to the default keys: the start dates differ again.
  set.SetIdentityKeys(nullptr, 0);
  EXPECT_EQ(FIND_NONE, set.FindMatch(pWeekly.get(), nullptr, nullptr));
}

TEST(SameByKeys, EmptyListMatchesNothing) {
  auto pA = Meeting();
  const int kKeys[] = {FIELD_DESCRIPTION};
  EXPECT_FALSE(SameByKeys(pA.get(), pA.get(), kKeys, 0));
  EXPECT_FALSE(SameByKeys(pA.get(), pA.get(), nullptr, 1));
  EXPECT_TRUE(SameByKeys(pA.get(), pA.get(), kKeys, 1));
}

TEST(SameByKeys, ComparedFieldsAndFieldsThatAlwaysPass) {
  auto pA = Meeting();
  auto pB = Meeting();
  CxCopyText(pB->szNote, "note");
  pB->nImportance = 1;
  const int kNote[] = {FIELD_NOTE};
  const int kImportance[] = {FIELD_IMPORTANCE};
  EXPECT_FALSE(SameByKeys(pA.get(), pB.get(), kNote, 1));
  EXPECT_FALSE(SameByKeys(pA.get(), pB.get(), kImportance, 1));
  pB->bAllDay = 1;
  pB->stStart.wHour = 3;
  pB->bPrivate = 1;
  pB->bAlarm = 1;
  CxCopyText(pB->szCategory, "Work");
  const int kIgnored[] = {FIELD_START_DATE_TIME, FIELD_END_DATE_TIME, FIELD_DATE,
                          FIELD_PRIVATE,         FIELD_CATEGORY,      FIELD_ALARM};
  EXPECT_TRUE(SameByKeys(pA.get(), pB.get(), kIgnored, 6));
  const int kAllDay[] = {FIELD_ALL_DAY_EVENT};
  EXPECT_FALSE(SameByKeys(pA.get(), pB.get(), kAllDay, 1));
}

TEST(MarkAll, SetsStatesAndPeers) {
  CommDateMgr palm;
  CommDateMgr outlook;
  CommDate* pSame = palm.AddCopy(Meeting("Room 1").get());
  CommDate* pChanged = palm.AddCopy(
      Record("Lunch", LocalTime(2011, 3, 8, 12), LocalTime(2011, 3, 8, 13), "A").get());
  CommDate* pNew = palm.AddCopy(Record("Gym", LocalTime(2011, 3, 9), LocalTime(2011, 3, 9)).get());
  pNew->pPeer = pSame;
  CommDate* pOlSame = outlook.AddCopy(Meeting("ROOM 1").get());
  CommDate* pOlChanged = outlook.AddCopy(
      Record("lunch", LocalTime(2011, 3, 8, 12), LocalTime(2011, 3, 8, 13), "B").get());

  ASSERT_TRUE(palm.MarkAll(&outlook));
  EXPECT_EQ(MATCH_SAME, pSame->nMatchState);
  EXPECT_EQ(pOlSame, pSame->pPeer);
  EXPECT_EQ(MATCH_CHANGED, pChanged->nMatchState);
  EXPECT_EQ(pOlChanged, pChanged->pPeer);
  EXPECT_EQ(MATCH_NEW, pNew->nMatchState);
  EXPECT_EQ(nullptr, pNew->pPeer);
  EXPECT_FALSE(palm.MarkAll(nullptr));
}

TEST(MarkAll, MatchingASetAgainstItselfEnds) {
  CommDateMgr set;
  for (int i = 0; i < 4; i++) {
    set.AddCopy(Meeting().get());
  }
  ASSERT_TRUE(set.MarkAll(&set));
  CommDate* pFirst = set.GetAt(0);
  for (CommDate* p = set.GetFirst(); p != nullptr; p = set.GetNext()) {
    EXPECT_EQ(MATCH_SAME, p->nMatchState);
    EXPECT_EQ(pFirst, p->pPeer);
  }
}

TEST(Update, OverwritesDataFieldsButNeverEmptiesATextOrTouchesStoreFields) {
  CommDateMgr set;
  auto pStored = Meeting();
  CxCopyText(pStored->szNote, "Agenda");
  CxCopyText(pStored->szCategory, "Work");
  pStored->bAdvance = 1;
  pStored->nAdvance = 15;
  pStored->nAdvanceUnit = ADVANCE_MINUTES;
  pStored->nSource = SOURCE_PALM;
  pStored->nMatchState = MATCH_CHANGED;
  set.AddCopy(pStored.get());

  auto pIncoming =
      Record("Team meeting moved", LocalTime(2011, 3, 9, 11), LocalTime(2011, 3, 9, 12), "");
  pIncoming->repeat.nType = REPEAT_WEEKLY;
  pIncoming->repeat.nInterval = 2;
  pIncoming->repeat.nDayOfWeekMask = DAYMASK_WEDNESDAY;
  pIncoming->bAlarm = 1;
  pIncoming->bAllDay = 0;
  pIncoming->nImportance = 2;
  pIncoming->bPrivate = 1;
  pIncoming->nAdvance = 99;
  pIncoming->nSource = SOURCE_OUTLOOK;
  pIncoming->nMatchState = MATCH_NEW;

  ASSERT_TRUE(set.Update(pIncoming.get(), 0));
  const CommDate* pResult = set.GetAt(0);
  EXPECT_STREQ("Team meeting moved", pResult->szDescription);
  EXPECT_STREQ("Room 1", pResult->szLocation);
  EXPECT_STREQ("Agenda", pResult->szNote);
  EXPECT_STREQ("Work", pResult->szCategory);
  EXPECT_EQ(0, CompareDate(&pResult->stStart, &pIncoming->stStart));
  EXPECT_EQ(11, pResult->stStart.wHour);
  EXPECT_EQ(0, CompareDate(&pResult->stEnd, &pIncoming->stEnd));
  EXPECT_TRUE(SameRepeat(&pResult->repeat, &pIncoming->repeat));
  EXPECT_EQ(1, pResult->bAlarm);
  EXPECT_EQ(2, pResult->nImportance);
  EXPECT_EQ(1, pResult->bPrivate);
  EXPECT_EQ(15, pResult->nAdvance);
  EXPECT_EQ(SOURCE_PALM, pResult->nSource);
  EXPECT_EQ(MATCH_CHANGED, pResult->nMatchState);
}

TEST(Update, PositionOutsideTheSetFails) {
  CommDateMgr set;
  set.AddCopy(Meeting().get());
  auto pIncoming = Meeting("x");
  EXPECT_FALSE(set.Update(pIncoming.get(), 1));
  EXPECT_FALSE(set.Update(pIncoming.get(), -1));
  EXPECT_FALSE(set.Update(nullptr, 0));
  EXPECT_STREQ("Room 1", set.GetAt(0)->szLocation);
}

TEST(AddCopy, GivesTheCopyItsOwnBlock) {
  auto pSource = Meeting();
  const char kBlock[] = "palm record bytes";
  ASSERT_TRUE(SetExtraCopy(pSource.get(), kBlock, sizeof(kBlock)));
  {
    CommDateMgr set;
    CommDate* pCopy = set.AddCopy(pSource.get());
    ASSERT_NE(nullptr, pCopy);
    ASSERT_NE(pSource->pExtra, pCopy->pExtra);
    EXPECT_EQ(sizeof(kBlock), pCopy->nExtraSize);
    EXPECT_EQ(0, memcmp(kBlock, pCopy->pExtra, sizeof(kBlock)));
    set.Clear();
    EXPECT_EQ(0, set.GetCount());
  }
  // The source's block survives the set (ASan reports a use after free otherwise).
  EXPECT_EQ(0, memcmp(kBlock, pSource->pExtra, sizeof(kBlock)));
  FreeExtra(pSource.get());
}

TEST(AddCopy, BlockWithoutSizeIsNotShared) {
  auto pSource = Meeting();
  char cForeign = 'x';
  pSource->pExtra = &cForeign;
  pSource->nExtraSize = 0;
  CommDateMgr set;
  CommDate* pCopy = set.AddCopy(pSource.get());
  ASSERT_NE(nullptr, pCopy);
  EXPECT_EQ(nullptr, pCopy->pExtra);
  EXPECT_EQ(nullptr, set.AddCopy(nullptr));
}

// The calendar tests must not trust the weekday stored in a record's start: stores fill it
// from their own data, and a wrong one would shift every weekly occurrence.
class StoredWeekdayTest : public ::testing::TestWithParam<int> {};

TEST_P(StoredWeekdayTest, WeeklyRecordFoundOnlyOnItsWeekday) {
  auto pDate =
      Record("Choir", LocalTime(2011, 3, 9, 19), LocalTime(2011, 3, 9, 21));  // a Wednesday
  pDate->stStart.wDayOfWeek = static_cast<WORD>(GetParam());
  pDate->repeat.nType = REPEAT_WEEKLY;
  pDate->repeat.nInterval = 1;
  pDate->repeat.nDayOfWeekMask = DAYMASK_WEDNESDAY;
  const SYSTEMTIME stNextWednesday = LocalTime(2011, 3, 16);
  const SYSTEMTIME stSaturday = LocalTime(2011, 3, 12);
  EXPECT_TRUE(OccursInRange(pDate.get(), &stNextWednesday, &stNextWednesday));
  EXPECT_FALSE(OccursInRange(pDate.get(), &stSaturday, &stSaturday));
  EXPECT_TRUE(OccursOnDay(pDate.get(), &stNextWednesday));
  EXPECT_FALSE(OccursOnDay(pDate.get(), &stSaturday));
}

INSTANTIATE_TEST_SUITE_P(AnyWeekday, StoredWeekdayTest, ::testing::Values(0, 1, 3, 6, 9));

// A record spanning several days covers every day from its start to its end; a weekly one
// covers the days of each occurrence; an end at midnight does not reach into the next day.
struct CoverCase {
  const char* szName;
  int nEndDay, nEndHour;  // March 2011; the start is Monday the 7th at 9:00
  UINT nRepeat;
  int nDay;  // March 2011
  int nOffset;
};

class CoveredDays : public ::testing::TestWithParam<CoverCase> {};

TEST_P(CoveredDays, GivesTheDayOfTheRecord) {
  const CoverCase& c = GetParam();
  auto pDate = Record("Fair", LocalTime(2011, 3, 7, 9), LocalTime(2011, 3, c.nEndDay, c.nEndHour));
  if (c.nRepeat != REPEAT_NONE) {
    pDate->repeat.nType = c.nRepeat;
    pDate->repeat.nInterval = 1;
    pDate->repeat.nDayOfWeekMask = DAYMASK_MONDAY;
  }
  const SYSTEMTIME stDay = LocalTime(2011, 3, c.nDay);
  EXPECT_EQ(CoveredDayOffset(pDate.get(), &stDay), c.nOffset);
  EXPECT_EQ(OccursOnDay(pDate.get(), &stDay), c.nOffset >= 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CoveredDays,
    ::testing::Values(CoverCase{"FirstDay", 9, 17, REPEAT_NONE, 7, 0},
                      CoverCase{"DayBetween", 9, 17, REPEAT_NONE, 8, 1},
                      CoverCase{"LastDay", 9, 17, REPEAT_NONE, 9, 2},
                      CoverCase{"DayAfter", 9, 17, REPEAT_NONE, 10, -1},
                      CoverCase{"DayBefore", 9, 17, REPEAT_NONE, 6, -1},
                      CoverCase{"EndAtMidnightLeavesTheNextDay", 8, 0, REPEAT_NONE, 8, -1},
                      CoverCase{"WeeklyOccurrenceMiddleDay", 9, 17, REPEAT_WEEKLY, 15, 1},
                      CoverCase{"WeeklyOffDay", 9, 17, REPEAT_WEEKLY, 17, -1}),
    [](const ::testing::TestParamInfo<CoverCase>& row) { return row.param.szName; });

TEST(OccursOnDay, MissingArgumentsCoverNothing) {
  auto pDate = Record("Fair", LocalTime(2011, 3, 7, 9), LocalTime(2011, 3, 9, 17));
  const SYSTEMTIME stFirst = LocalTime(2011, 3, 7);
  EXPECT_FALSE(OccursOnDay(nullptr, &stFirst));
  EXPECT_FALSE(OccursOnDay(pDate.get(), nullptr));
}

TEST(OccursOnDay, DailyRecordYearsLaterAndItsEnd) {
  auto pDate = Record("Pills", LocalTime(1995, 1, 1, 8), LocalTime(1995, 1, 1, 8));
  pDate->repeat.nType = REPEAT_DAILY;
  pDate->repeat.nInterval = 2;
  const SYSTEMTIME stOnStep = LocalTime(2026, 6, 1);  // an even number of days after the start
  const SYSTEMTIME stOffStep = LocalTime(2026, 6, 2);
  EXPECT_TRUE(OccursOnDay(pDate.get(), &stOnStep));
  EXPECT_FALSE(OccursOnDay(pDate.get(), &stOffStep));
  pDate->repeat.bHasEnd = 1;
  pDate->repeat.stPatternEnd = LocalTime(2026, 5, 31);
  EXPECT_FALSE(OccursOnDay(pDate.get(), &stOnStep));
}

TEST(OccursOnDay, RecordThatCannotStepOccursOnlyOnItsStart) {
  auto pDate = Record("Birthday", LocalTime(2011, 3, 7), LocalTime(2011, 3, 7));
  pDate->repeat.nType = REPEAT_YEARLY_BY_DAY;
  pDate->repeat.nInterval = 1;
  const SYSTEMTIME stNextYear = LocalTime(2012, 3, 5);
  EXPECT_FALSE(OccursOnDay(pDate.get(), &stNextYear));
  pDate->repeat.nType = REPEAT_DAILY;
  pDate->repeat.nInterval = 0;
  const SYSTEMTIME stNextDay = LocalTime(2011, 3, 8);
  EXPECT_FALSE(OccursOnDay(pDate.get(), &stNextDay));
}

TEST(OccursOnDay, StepThatGoesBackwardsEndsTheSearch) {
  // Instance 0 places the monthly step a week before the month's first match, which can
  // land before the cursor; the search must end instead of wandering.
  auto pDate = Record("Odd", LocalTime(2011, 3, 31), LocalTime(2011, 3, 31));
  pDate->repeat.nType = REPEAT_MONTHLY_BY_DAY;
  pDate->repeat.nInterval = 1;
  pDate->repeat.nDayOfWeekMask = DAYMASK_FRIDAY;
  pDate->repeat.nInstance = 0;
  const SYSTEMTIME stLater = LocalTime(2013, 1, 1);
  EXPECT_FALSE(OccursOnDay(pDate.get(), &stLater));
}

TEST(OccursInRange, StartInRangeOrOccurrenceInRangeButNotTheEnd) {
  auto pDate = Record("Trip", LocalTime(2011, 3, 1), LocalTime(2011, 3, 20));
  const SYSTEMTIME stFrom = LocalTime(2011, 3, 10);
  const SYSTEMTIME stTo = LocalTime(2011, 3, 25);
  EXPECT_FALSE(OccursInRange(pDate.get(), &stFrom, &stTo));
  const SYSTEMTIME stStartDay = LocalTime(2011, 3, 1);
  EXPECT_TRUE(OccursInRange(pDate.get(), &stStartDay, &stStartDay));
  pDate->repeat.nType = REPEAT_MONTHLY_BY_DATE;
  pDate->repeat.nInterval = 1;
  pDate->repeat.nDayOfMonth = 1;
  const SYSTEMTIME stAprilFrom = LocalTime(2011, 3, 28);
  const SYSTEMTIME stAprilTo = LocalTime(2011, 4, 2);
  EXPECT_TRUE(OccursInRange(pDate.get(), &stAprilFrom, &stAprilTo));
  EXPECT_FALSE(OccursInRange(pDate.get(), &stTo, &stAprilFrom));
  EXPECT_FALSE(OccursInRange(pDate.get(), nullptr, &stTo));
}

// A weekly Monday meeting from Monday 2011-03-07 whose first two occurrences after the start,
// and the start itself, are deleted.
std::unique_ptr<CommDate> MeetingWithDeletions() {
  auto pDate = Meeting();
  pDate->repeat.nType = REPEAT_WEEKLY;
  pDate->repeat.nInterval = 1;
  pDate->repeat.nDayOfWeekMask = DAYMASK_MONDAY;
  const SYSTEMTIME stDeleted[] = {LocalTime(2011, 3, 21), LocalTime(2011, 3, 7),
                                  LocalTime(2011, 3, 14)};
  EXPECT_EQ(SetDeletedOccurrences(pDate.get(), stDeleted, 3), 3);
  return pDate;
}

struct DeletedDayCase {
  const char* szName;
  SYSTEMTIME stFirst;
  SYSTEMTIME stLast;
  bool bOccurs;
};

class DeletedOccurrenceTest : public ::testing::TestWithParam<DeletedDayCase> {};

TEST_P(DeletedOccurrenceTest, IsNoOccurrence) {
  const DeletedDayCase& c = GetParam();
  auto pDate = MeetingWithDeletions();
  EXPECT_EQ(OccursInRange(pDate.get(), &c.stFirst, &c.stLast), c.bOccurs);
  if (CompareDate(&c.stFirst, &c.stLast) == 0) {
    EXPECT_EQ(OccursOnDay(pDate.get(), &c.stFirst), c.bOccurs);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeletedOccurrenceTest,
    ::testing::Values(DeletedDayCase{"DeletedFirstOccurrence", LocalTime(2011, 3, 7),
                                     LocalTime(2011, 3, 7), false},
                      DeletedDayCase{"DeletedOccurrence", LocalTime(2011, 3, 14),
                                     LocalTime(2011, 3, 14), false},
                      DeletedDayCase{"NeighbourStillOccurs", LocalTime(2011, 3, 28),
                                     LocalTime(2011, 3, 28), true},
                      DeletedDayCase{"RangeOfDeletedOccurrencesOnly", LocalTime(2011, 3, 1),
                                     LocalTime(2011, 3, 27), false},
                      DeletedDayCase{"RangeReachingTheNeighbour", LocalTime(2011, 3, 15),
                                     LocalTime(2011, 3, 28), true}),
    [](const ::testing::TestParamInfo<DeletedDayCase>& row) { return row.param.szName; });

TEST(FindMatch, DeletedOccurrencesMakeAChangedMatchUnlessOneSideCannotTell) {
  CommDateMgr set;
  set.AddCopy(MeetingWithDeletions().get());
  auto pProbe = MeetingWithDeletions();
  const SYSTEMTIME stOneMore = LocalTime(2011, 3, 28);
  std::vector<SYSTEMTIME> days(pProbe->repeat.stExceptions.begin(),
                               pProbe->repeat.stExceptions.begin() + 3);
  days.push_back(stOneMore);
  SetDeletedOccurrences(pProbe.get(), days.data(), 4);
  EXPECT_EQ(FIND_CHANGED, set.FindMatch(pProbe.get(), nullptr, nullptr));
  pProbe->repeat.bExceptionsUnknown = 1;
  EXPECT_EQ(FIND_SAME, set.FindMatch(pProbe.get(), nullptr, nullptr));
}

TEST(SetDeletedOccurrences, KeepsOccurrencesOnceInOrderAndTheLatestOfTooMany) {
  auto pDate = Record("Pills", LocalTime(2011, 1, 1, 8), LocalTime(2011, 1, 1, 8));
  pDate->repeat.nType = REPEAT_DAILY;
  pDate->repeat.nInterval = 2;
  std::vector<SYSTEMTIME> days = {LocalTime(2011, 1, 2),
                                  LocalTime(2010, 12, 30)};  // off the steps, before
  for (int i = 300; i >= 0; --i) {
    SYSTEMTIME st = LocalTime(2011, 1, 1, 13);
    AddDays(&st, 2 * i);
    days.push_back(st);
    days.push_back(st);
  }
  ASSERT_EQ(SetDeletedOccurrences(pDate.get(), days.data(), static_cast<int>(days.size())),
            static_cast<int>(REPEAT_MAX_EXCEPTIONS));
  SYSTEMTIME stFirstKept = LocalTime(2011, 1, 1);
  AddDays(&stFirstKept, 2 * (301 - static_cast<int>(REPEAT_MAX_EXCEPTIONS)));
  EXPECT_EQ(CompareDate(&pDate->repeat.stExceptions[0], &stFirstKept), 0);
  for (UINT i = 1; i < REPEAT_MAX_EXCEPTIONS; ++i) {
    ASSERT_LT(CompareDate(&pDate->repeat.stExceptions[i - 1], &pDate->repeat.stExceptions[i]), 0);
  }
  EXPECT_EQ(pDate->repeat.stExceptions[0].wHour, 0);
}

// A daily series at 23:30 whose zone's clock moves an hour against the local one from the
// 14th on: its occurrences then start at 00:30 the next day, which leaves the 14th itself
// empty; a deleted day takes its moved occurrence with it.
struct ShiftedDayCase {
  const char* szName;
  int nFirstDay, nLastDay;  // March 2011
  bool bOccurs;
  const char* szStartOnFirst;  // "HH:MM" on the first day, "" for none
};

class ClockShiftedSeries : public ::testing::TestWithParam<ShiftedDayCase> {};

TEST_P(ClockShiftedSeries, OccursWhereTheShiftPutsIt) {
  const ShiftedDayCase& c = GetParam();
  auto pDate = Record("Call", LocalTime(2011, 3, 1, 23, 30), LocalTime(2011, 3, 1, 23, 45));
  pDate->repeat.nType = REPEAT_DAILY;
  pDate->repeat.nInterval = 1;
  const SYSTEMTIME stDeleted = LocalTime(2011, 3, 20);
  SetDeletedOccurrences(pDate.get(), &stDeleted, 1);
  DATE dtFrom = 0;
  const SYSTEMTIME stFrom = LocalTime(2011, 3, 14);
  ASSERT_TRUE(SystemTimeToVariantTime(&stFrom, &dtFrom));
  pDate->clockShifts = {{dtFrom, 60}};
  const SYSTEMTIME stFirst = LocalTime(2011, 3, c.nFirstDay);
  const SYSTEMTIME stLast = LocalTime(2011, 3, c.nLastDay);
  EXPECT_EQ(OccursInRange(pDate.get(), &stFirst, &stLast), c.bOccurs);
  SYSTEMTIME stStart{};
  char szStart[16] = "";
  if (OccurrenceStartOn(pDate.get(), &stFirst, &stStart)) {
    std::snprintf(szStart, sizeof(szStart), "%02u:%02u", stStart.wHour, stStart.wMinute);
  }
  EXPECT_STREQ(szStart, c.szStartOnFirst);
  EXPECT_EQ(OccursOnDay(pDate.get(), &stFirst), c.szStartOnFirst[0] != '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Table, ClockShiftedSeries,
    ::testing::Values(ShiftedDayCase{"BeforeTheShift", 10, 10, true, "23:30"},
                      ShiftedDayCase{"LastDayAtTheOldTime", 13, 13, true, "23:30"},
                      ShiftedDayCase{"FirstShiftedDayIsLeftEmpty", 14, 14, false, ""},
                      ShiftedDayCase{"ShiftedOverMidnight", 15, 15, true, "00:30"},
                      ShiftedDayCase{"RangeOverTheEmptyDay", 14, 15, true, ""},
                      ShiftedDayCase{"DeletedDayTakesItsMovedOccurrence", 21, 21, false, ""},
                      ShiftedDayCase{"DayAfterTheDeletedOne", 22, 22, true, "00:30"}),
    [](const ::testing::TestParamInfo<ShiftedDayCase>& row) { return row.param.szName; });

}  // namespace
