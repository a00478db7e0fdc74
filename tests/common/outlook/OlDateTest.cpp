// The Outlook calendar store end to end: records go through the automation layer into the
// iCalendar file of the Outlook stand-in and come back, in Berlin time.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "common/misc/CxDebugUtil.h"
#include "common/misc/WinUtil.h"
#include "common/outlook/OlDate.h"
#include "platform/outlook/OutlookServer.h"
#include "platform/win/WinRegistry.h"
#include "platform/win/WinString.h"
#include "platform/win/WinTime.h"
#include "support/PlatformScope.h"
#include "support/calendar/DeletedOccurrences.h"
#include "support/clock/ClockGuard.h"

namespace {

// Lets the tests stand in for Outlook versions.
class TestStore : public OlDateUtil {
 public:
  using OlBaseUtil::SetVersionClass;

  // The folder's item at a record position (a new reference), to write images the
  // conversions would not make.
  IDispatch* ItemAt(int nPos) {
    IDispatch* pItems = nullptr;
    if (m_pFolder->GetObject(u"Items", &pItems) != S_OK || pItems == nullptr) return nullptr;
    CDispCmd items(pItems);
    pItems->Release();
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = nPos + 1;
    VARIANT item;
    VariantInit(&item);
    items.CallMethod(u"Item", &arg, 1, &item, nullptr, 0);
    return item.vt == VT_DISPATCH ? item.pdispVal : nullptr;
  }
};

using clockguard::LocalTime;

std::unique_ptr<CommDate> Record(const char* szDescription, SYSTEMTIME stStart, SYSTEMTIME stEnd) {
  auto pDate = std::make_unique<CommDate>();
  *pDate = CommDate{};
  CxCopyText(pDate->szDescription, szDescription);
  pDate->stStart = stStart;
  pDate->stEnd = stEnd;
  pDate->nSource = SOURCE_PALM;
  return pDate;
}

DATE ToVariantTime(const SYSTEMTIME& st) {
  DATE dt = 0;
  SystemTimeToVariantTime(&st, &dt);
  return dt;
}

bool SameMinute(const SYSTEMTIME& a, const SYSTEMTIME& b) {
  return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
         a.wMinute == b.wMinute;
}

// The file as other programs see it, once the stand-in has written the saves it holds into it.
std::string ReadFile(const std::filesystem::path& path) {
  OutlookServerFold();
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

const char kTwoEvents[] =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nX-WR-CALNAME:Work\r\n"
    "BEGIN:VEVENT\r\nUID:one\r\nDTSTAMP:20110301T120000Z\r\n"
    "DTSTART:20110307T080000Z\r\nDTEND:20110307T093000Z\r\nSUMMARY:Standup\r\n"
    "LOCATION:Room 1\r\nRRULE:FREQ=WEEKLY;BYDAY=MO;UNTIL=20110328T080000Z\r\n"
    "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:r\r\nTRIGGER:-PT1H30M\r\nEND:VALARM\r\n"
    "END:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:two\r\nDTSTAMP:20110301T120000Z\r\n"
    "DTSTART;VALUE=DATE:20110310\r\nDTEND;VALUE=DATE:20110311\r\nSUMMARY:Holiday\r\n"
    "END:VEVENT\r\nEND:VCALENDAR\r\n";

class OlDateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = std::filesystem::temp_directory_path() /
            ("db-oldate-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directories(m_dir);
    m_path = m_dir / "Calendar.ics";
    setenv("DAYBRIDGE_OUTLOOK_CALENDAR", m_path.c_str(), 1);
    g_DebugLog.SetFolder((m_dir.string() + "/").c_str());
    CxRegSetText("", 0);
  }

  void TearDown() override {
    CxRegSetText(nullptr, 0);
    std::filesystem::remove_all(m_dir);
  }

  std::unique_ptr<TestStore> OpenStore(int nVersionClass = 4) {
    auto pStore = std::make_unique<TestStore>();
    TestStore::SetVersionClass(nVersionClass);
    EXPECT_TRUE(pStore->Load());
    return pStore;
  }

  clockguard::ZoneGuard m_Zone{"Europe/Berlin"};
  dbtest::PlatformScope m_Platform;
  std::filesystem::path m_dir;
  std::filesystem::path m_path;
};

TEST_F(OlDateTest, LoadsEveryItemIntoARecordWithItsImage) {
  WriteFile(m_path, kTwoEvents);
  auto pStore = OpenStore();
  CommDateMgr* pSet = pStore->GetRecordSet();
  ASSERT_EQ(pSet->GetCount(), 2);
  CommDate* pMeeting = pSet->GetAt(0);
  EXPECT_STREQ(pMeeting->szDescription, "Standup");
  EXPECT_STREQ(pMeeting->szLocation, "Room 1");
  EXPECT_TRUE(SameMinute(pMeeting->stStart, LocalTime(2011, 3, 7, 9, 0)));
  EXPECT_TRUE(SameMinute(pMeeting->stEnd, LocalTime(2011, 3, 7, 10, 30)));
  EXPECT_EQ(pMeeting->nSource, SOURCE_OUTLOOK);
  EXPECT_EQ(pMeeting->repeat.nType, REPEAT_WEEKLY);
  EXPECT_EQ(pMeeting->repeat.nDayOfWeekMask, static_cast<UINT>(DAYMASK_MONDAY));
  EXPECT_EQ(pMeeting->repeat.bHasEnd, 1);
  const SYSTEMTIME stEnd = LocalTime(2011, 3, 28);
  EXPECT_EQ(CompareDate(&pMeeting->repeat.stPatternEnd, &stEnd), 0);
  OlDateItem image{};
  ASSERT_TRUE(UnpackExtra(pMeeting->pExtra, pMeeting->nExtraSize, &image, sizeof image));
  const OlDateItem* pImage = &image;
  EXPECT_STREQ(pImage->szFolderName, "Work");
  EXPECT_STREQ(pImage->szStoreID, m_path.c_str());
  EXPECT_STREQ(pImage->szEntryID, "one");
  EXPECT_EQ(pImage->pItem, nullptr);

  CommDate* pHoliday = pSet->GetAt(1);
  EXPECT_TRUE(pHoliday->bAllDay);
  const SYSTEMTIME stHoliday = LocalTime(2011, 3, 10);
  EXPECT_EQ(CompareDate(&pHoliday->stEnd, &stHoliday), 0);
  EXPECT_EQ(pHoliday->repeat.nType, REPEAT_NONE);
  EXPECT_EQ(pHoliday->repeat.bHasEnd, 0);
}

TEST_F(OlDateTest, WithoutCalendarFolderLoadFailsEmpty) {
  WriteFile(m_path, "not a calendar");
  TestStore store;
  EXPECT_FALSE(store.Load());
  EXPECT_EQ(store.GetRecordSet()->GetCount(), 0);
  EXPECT_EQ(ReadFile(m_path), "not a calendar");
}

struct ReminderReadCase {
  const char* szName;
  int nClass;
  const char* szTrigger;  // null: no alarm
  BOOL bAdvance;
  UINT nUnit;
  INT nAdvance;
};

class ReminderReadTest : public OlDateTest,
                         public ::testing::WithParamInterface<ReminderReadCase> {};

TEST_P(ReminderReadTest, AdvanceFollowsTheVersionClassProperty) {
  const ReminderReadCase& c = GetParam();
  std::string text =
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:r\r\n"
      "DTSTAMP:20110301T120000Z\r\nDTSTART:20110307T080000Z\r\nDTEND:20110307T090000Z\r\n";
  if (c.szTrigger != nullptr) {
    text += std::string("BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:r\r\nTRIGGER:") +
            c.szTrigger + "\r\nEND:VALARM\r\n";
  }
  text += "END:VEVENT\r\nEND:VCALENDAR\r\n";
  WriteFile(m_path, text);
  auto pStore = OpenStore(c.nClass);
  CommDate* pDate = pStore->GetRecordSet()->GetAt(0);
  ASSERT_NE(pDate, nullptr);
  EXPECT_EQ(pDate->bAlarm, c.szTrigger != nullptr ? 1 : 0);
  EXPECT_EQ(pDate->bAdvance, c.bAdvance);
  if (c.bAdvance) {
    EXPECT_EQ(pDate->nAdvanceUnit, c.nUnit);
    EXPECT_EQ(pDate->nAdvance, c.nAdvance);
  }
}

INSTANTIATE_TEST_SUITE_P(
    ByClass, ReminderReadTest,
    ::testing::Values(
        ReminderReadCase{"Class3NinetyMinutesStayNinetyMinutes", 3, "-PT1H30M", 1, ADVANCE_MINUTES,
                         90},
        ReminderReadCase{"Class4ThirtySixHoursStayHours", 4, "-PT36H", 1, ADVANCE_HOURS, 36},
        ReminderReadCase{"Class4AtStartIsAReminder", 4, "PT0S", 1, ADVANCE_MINUTES, 0},
        ReminderReadCase{"Class3ThirtyMinutes", 3, "-PT30M", 1, ADVANCE_MINUTES, 30},
        ReminderReadCase{"Class3TwoDays", 3, "-P2D", 1, ADVANCE_DAYS, 2},
        ReminderReadCase{"Class3NoReminder", 3, nullptr, 0, 0, 0},
        ReminderReadCase{"Class0ReadsLikeTheOldest", 0, "-PT45M", 1, ADVANCE_MINUTES, 45},
        ReminderReadCase{"Class4TwoHours", 4, "-PT2H", 1, ADVANCE_HOURS, 2},
        ReminderReadCase{"Class6NoReminder", 6, nullptr, 0, 0, 0}),
    [](const ::testing::TestParamInfo<ReminderReadCase>& row) { return row.param.szName; });

struct ReminderWriteCase {
  const char* szName;
  int nClass;
  int nStartHour;
  int nStartMinute;
  const char* szTrigger;
  INT nHours = 2;  // the record's advance
};

class ReminderWriteTest : public OlDateTest,
                          public ::testing::WithParamInterface<ReminderWriteCase> {};

TEST_P(ReminderWriteTest, HoursAdvanceIsWrittenThroughTheClassProperty) {
  const ReminderWriteCase& c = GetParam();
  auto pStore = OpenStore(c.nClass);
  auto pDate = Record("Call", LocalTime(2011, 3, 7, c.nStartHour, c.nStartMinute),
                      LocalTime(2011, 3, 7, c.nStartHour + 1, c.nStartMinute));
  pDate->bAlarm = 1;
  pDate->bAdvance = 1;
  pDate->nAdvanceUnit = ADVANCE_HOURS;
  pDate->nAdvance = c.nHours;
  ASSERT_TRUE(pStore->SyncRecord(pDate.get()));
  EXPECT_NE(ReadFile(m_path).find(std::string("TRIGGER:") + c.szTrigger + "\r\n"),
            std::string::npos)
      << ReadFile(m_path);
}

INSTANTIATE_TEST_SUITE_P(
    ByClass, ReminderWriteTest,
    ::testing::Values(ReminderWriteCase{"Class4MinutesBeforeStart", 4, 9, 0, "-PT2H"},
                      ReminderWriteCase{"Class3ReminderTimeSameDay", 3, 9, 0, "-PT2H"},
                      ReminderWriteCase{"Class3CrossesMidnight", 3, 1, 30, "-PT2H"},
                      ReminderWriteCase{"Class3TwentyThreeHoursBefore", 3, 9, 0, "-PT23H", 23}),
    [](const ::testing::TestParamInfo<ReminderWriteCase>& row) { return row.param.szName; });

struct RepeatCase {
  const char* szName;
  INT nType;
  UINT nInterval;
  UINT nMask;
  UINT nDayOfMonth;
  INT nMonth;
  UINT nInstance;
  bool bEnd;
  const char* szRule;
};

class RepeatRoundTrip : public OlDateTest, public ::testing::WithParamInterface<RepeatCase> {};

TEST_P(RepeatRoundTrip, RecordComesBackWithTheSamePattern) {
  const RepeatCase& c = GetParam();
  auto pStore = OpenStore();
  // Wednesday 2011-03-09.
  auto pDate = Record("Pattern", LocalTime(2011, 3, 9, 9, 0), LocalTime(2011, 3, 9, 10, 0));
  pDate->repeat.nType = c.nType;
  pDate->repeat.nInterval = c.nInterval;
  pDate->repeat.nDayOfWeekMask = c.nMask;
  pDate->repeat.nDayOfMonth = c.nDayOfMonth;
  pDate->repeat.nMonthOfYear = c.nMonth;
  pDate->repeat.nInstance = c.nInstance;
  pDate->repeat.bHasEnd = c.bEnd ? 1 : 0;
  pDate->repeat.stPatternEnd = LocalTime(2012, 6, 30);
  ASSERT_TRUE(pStore->SyncRecord(pDate.get()));
  EXPECT_NE(ReadFile(m_path).find(c.szRule), std::string::npos) << ReadFile(m_path);

  pStore.reset();
  pStore = OpenStore();
  CommDate* pRead = pStore->GetRecordSet()->GetAt(0);
  ASSERT_NE(pRead, nullptr);
  EXPECT_TRUE(SameRepeat(&pRead->repeat, &pDate->repeat));
  EXPECT_EQ(pRead->repeat.bHasEnd, c.bEnd ? 1 : 0);
  const SYSTEMTIME stEnd = LocalTime(2012, 6, 30);
  if (c.bEnd) {
    EXPECT_EQ(CompareDate(&pRead->repeat.stPatternEnd, &stEnd), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryType, RepeatRoundTrip,
    ::testing::Values(RepeatCase{"DailyEveryOtherDay", REPEAT_DAILY, 2, 0, 0, 0, 0, false,
                                 "RRULE:FREQ=DAILY;INTERVAL=2\r\n"},
                      RepeatCase{"WeeklyMondayWednesdayWithEnd", REPEAT_WEEKLY, 1,
                                 DAYMASK_MONDAY | DAYMASK_WEDNESDAY, 0, 0, 0, true,
                                 "RRULE:FREQ=WEEKLY;UNTIL=20120630T215959Z;BYDAY=MO,WE\r\n"},
                      RepeatCase{"MonthlyLastFriday", REPEAT_MONTHLY_BY_DAY, 1, DAYMASK_FRIDAY, 0,
                                 0, 5, false, "RRULE:FREQ=MONTHLY;BYDAY=-1FR\r\n"},
                      RepeatCase{"MonthlyOnThe15thEvery13Months", REPEAT_MONTHLY_BY_DATE, 13, 0, 15,
                                 0, 0, false, "RRULE:FREQ=MONTHLY;INTERVAL=13;BYMONTHDAY=15\r\n"},
                      RepeatCase{"YearlySecondTuesdayOfSeptember", REPEAT_YEARLY_BY_DAY, 1,
                                 DAYMASK_TUESDAY, 0, 9, 2, false,
                                 "RRULE:FREQ=YEARLY;BYDAY=2TU;BYMONTH=9\r\n"},
                      RepeatCase{"YearlyOnFebruary29", REPEAT_YEARLY_BY_DATE, 1, 0, 29, 2, 0, false,
                                 "RRULE:FREQ=YEARLY;BYMONTHDAY=-1;BYMONTH=2\r\n"}),
    [](const ::testing::TestParamInfo<RepeatCase>& row) { return row.param.szName; });

TEST_F(OlDateTest, OutlookYearlyIntervalInMonthsBecomesYears) {
  TestStore store;
  OlDateItem image = {};
  image.nRecurrenceType = OL_RECURS_YEARLY;
  image.nInterval = 12;
  image.nDayOfMonth = 7;
  image.nMonthOfYear = 3;
  image.dtPatternEndDate = 949998.0;  // Outlook's "no end"
  CommDate record = {};
  ASSERT_TRUE(store.ItemToRecord(&image, &record));
  EXPECT_EQ(record.repeat.nType, REPEAT_YEARLY_BY_DATE);
  EXPECT_EQ(record.repeat.nInterval, 1u);
  EXPECT_EQ(record.repeat.bHasEnd, 0);
  image.nInterval = 24;
  image.dtPatternEndDate = 41000.0;
  ASSERT_TRUE(store.ItemToRecord(&image, &record));
  EXPECT_EQ(record.repeat.nInterval, 2u);
  EXPECT_EQ(record.repeat.bHasEnd, 1);

  // A record of that type is written without "Interval".
  OlDateItem written = {};
  ASSERT_TRUE(store.RecordToItem(&record, &written));
  EXPECT_EQ(written.nRecurrenceType, OL_RECURS_YEARLY);
  EXPECT_EQ(written.nInterval, 0);
}

struct DurationCase {
  const char* szName;
  BOOL bAllDay;
  SYSTEMTIME stStart;
  SYSTEMTIME stEnd;
  INT nDuration;
};

class DurationTest : public OlDateTest, public ::testing::WithParamInterface<DurationCase> {};

TEST_P(DurationTest, RecordSpanBecomesTheItemDuration) {
  TestStore store;
  auto pDate = Record("Span", GetParam().stStart, GetParam().stEnd);
  pDate->bAllDay = GetParam().bAllDay;
  OlDateItem image = {};
  ASSERT_TRUE(store.RecordToItem(pDate.get(), &image));
  EXPECT_EQ(image.nDuration, GetParam().nDuration);
}

INSTANTIATE_TEST_SUITE_P(
    Spans, DurationTest,
    ::testing::Values(DurationCase{"AllDaySameDayEnd", 1, LocalTime(2011, 3, 7),
                                   LocalTime(2011, 3, 7, 23, 59), 1440},
                      DurationCase{"AllDayEndAtItsOwnMidnight", 1, LocalTime(2011, 3, 7),
                                   LocalTime(2011, 3, 7), 1440},
                      DurationCase{"AllDayEndDateIsTheLastDayCovered", 1, LocalTime(2011, 3, 7),
                                   LocalTime(2011, 3, 8), 2 * 1440},
                      DurationCase{"AllDayThreeDays", 1, LocalTime(2011, 3, 7),
                                   LocalTime(2011, 3, 9), 3 * 1440},
                      DurationCase{"AllDayStartTimeDoesNotShortenIt", 1,
                                   LocalTime(2011, 3, 7, 10, 0), LocalTime(2011, 3, 9), 3 * 1440},
                      DurationCase{"AllDayEndBeforeStartIsOneDay", 1, LocalTime(2011, 3, 7),
                                   LocalTime(2011, 3, 5), 1440},
                      DurationCase{"NineToTenThirty", 0, LocalTime(2011, 3, 7, 9, 0),
                                   LocalTime(2011, 3, 7, 10, 30), 90},
                      DurationCase{"PastMidnight", 0, LocalTime(2011, 3, 7, 22, 0),
                                   LocalTime(2011, 3, 8, 1, 0), 180},
                      DurationCase{"EndBeforeStart", 0, LocalTime(2011, 3, 7, 10, 0),
                                   LocalTime(2011, 3, 7, 9, 0), 0}),
    [](const ::testing::TestParamInfo<DurationCase>& row) { return row.param.szName; });

struct EndReadCase {
  const char* szName;
  BYTE bAllDay;
  SYSTEMTIME stStart;
  SYSTEMTIME stEnd;  // as Outlook reports "End"
  SYSTEMTIME stRecordEnd;
};

class EndReadTest : public OlDateTest, public ::testing::WithParamInterface<EndReadCase> {};

TEST_P(EndReadTest, RecordEndIsTheLastDayAnAllDayItemCovers) {
  const EndReadCase& c = GetParam();
  TestStore store;
  OlDateItem image = {};
  image.bAllDayEvent = c.bAllDay;
  image.dtStart = ToVariantTime(c.stStart);
  image.dtEnd = ToVariantTime(c.stEnd);
  image.nRecurrenceType = OL_RECURRENCE_NONE;
  CommDate record = {};
  ASSERT_TRUE(store.ItemToRecord(&image, &record));
  EXPECT_TRUE(SameMinute(record.stStart, c.stStart));
  EXPECT_TRUE(SameMinute(record.stEnd, c.stRecordEnd));
}

INSTANTIATE_TEST_SUITE_P(
    Ends, EndReadTest,
    ::testing::Values(EndReadCase{"AllDayOneDay", 1, LocalTime(2011, 3, 7), LocalTime(2011, 3, 8),
                                  LocalTime(2011, 3, 7)},
                      EndReadCase{"AllDayThreeDays", 1, LocalTime(2011, 3, 7),
                                  LocalTime(2011, 3, 10), LocalTime(2011, 3, 9)},
                      EndReadCase{"AllDayAcrossTheMonthEnd", 1, LocalTime(2011, 2, 28),
                                  LocalTime(2011, 3, 1), LocalTime(2011, 2, 28)},
                      EndReadCase{"AllDayEndOnItsStartIsKept", 1, LocalTime(2011, 3, 7),
                                  LocalTime(2011, 3, 7), LocalTime(2011, 3, 7)},
                      EndReadCase{"AllDayEndNotAtMidnightIsKept", 1, LocalTime(2011, 3, 7),
                                  LocalTime(2011, 3, 8, 12, 0), LocalTime(2011, 3, 8, 12, 0)},
                      EndReadCase{"TimedEndAtMidnightIsKept", 0, LocalTime(2011, 3, 7, 22, 0),
                                  LocalTime(2011, 3, 8), LocalTime(2011, 3, 8)}),
    [](const ::testing::TestParamInfo<EndReadCase>& row) { return row.param.szName; });

struct AllDayRoundTripCase {
  const char* szName;
  SYSTEMTIME stStart;
  SYSTEMTIME stEnd;  // as Palm Desktop keeps it: on the last day
  const char* szSpan;
};

class AllDayRoundTrip : public OlDateTest,
                        public ::testing::WithParamInterface<AllDayRoundTripCase> {};

// A Palm all-day event written to Outlook must read back as the same appointment, or every
// run would add it again on both sides.
TEST_P(AllDayRoundTrip, ReadBackMatchesThePalmRecord) {
  const AllDayRoundTripCase& c = GetParam();
  auto pStore = OpenStore();
  auto pPalm = Record("Holiday", c.stStart, c.stEnd);
  pPalm->bAllDay = 1;
  ASSERT_TRUE(pStore->SyncRecord(pPalm.get()));
  EXPECT_NE(ReadFile(m_path).find(c.szSpan), std::string::npos) << ReadFile(m_path);

  pStore.reset();
  pStore = OpenStore();
  CommDateMgr* pSet = pStore->GetRecordSet();
  ASSERT_EQ(pSet->GetCount(), 1);
  CommDate* pRead = pSet->GetAt(0);
  EXPECT_EQ(CompareDate(&pRead->stStart, &c.stStart), 0);
  EXPECT_EQ(CompareDate(&pRead->stEnd, &c.stEnd), 0);
  EXPECT_EQ(pSet->FindMatch(pPalm.get(), nullptr, nullptr), FIND_SAME);
  EXPECT_FALSE(pStore->SyncRecord(pPalm.get()));
  EXPECT_EQ(pSet->GetCount(), 1);

  // Written back unchanged, the item keeps its days.
  CommDate changed = *pRead;
  changed.pExtra = nullptr;
  changed.nExtraSize = 0;
  CxCopyText(changed.szLocation, "Home");
  ASSERT_TRUE(pStore->SyncRecord(&changed));
  EXPECT_NE(ReadFile(m_path).find(c.szSpan), std::string::npos) << ReadFile(m_path);
}

INSTANTIATE_TEST_SUITE_P(
    Spans, AllDayRoundTrip,
    ::testing::Values(
        AllDayRoundTripCase{"OneDay", LocalTime(2011, 3, 7), LocalTime(2011, 3, 7),
                            "DTSTART;VALUE=DATE:20110307\r\nDTEND;VALUE=DATE:20110308\r\n"},
        AllDayRoundTripCase{"OneDayEndingLateInTheDay", LocalTime(2011, 3, 7),
                            LocalTime(2011, 3, 7, 23, 59),
                            "DTSTART;VALUE=DATE:20110307\r\nDTEND;VALUE=DATE:20110308\r\n"},
        AllDayRoundTripCase{"ThreeDays", LocalTime(2011, 3, 7), LocalTime(2011, 3, 9),
                            "DTSTART;VALUE=DATE:20110307\r\nDTEND;VALUE=DATE:20110310\r\n"},
        AllDayRoundTripCase{"OverTheSummerTimeChange", LocalTime(2011, 3, 26),
                            LocalTime(2011, 3, 28),
                            "DTSTART;VALUE=DATE:20110326\r\nDTEND;VALUE=DATE:20110329\r\n"}),
    [](const ::testing::TestParamInfo<AllDayRoundTripCase>& row) { return row.param.szName; });

TEST_F(OlDateTest, AllDayItemFromElsewhereShowsOnItsOneDay) {
  WriteFile(m_path,
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\n"
            "BEGIN:VEVENT\r\nUID:h\r\nDTSTAMP:20110301T120000Z\r\n"
            "DTSTART;VALUE=DATE:20110307\r\nDTEND;VALUE=DATE:20110308\r\nSUMMARY:Holiday\r\n"
            "END:VEVENT\r\nEND:VCALENDAR\r\n");
  auto pStore = OpenStore();
  CommDate* pRead = pStore->GetRecordSet()->GetAt(0);
  ASSERT_NE(pRead, nullptr);
  const SYSTEMTIME stDay = LocalTime(2011, 3, 7);
  const SYSTEMTIME stNextDay = LocalTime(2011, 3, 8);
  EXPECT_EQ(CompareDate(&pRead->stStart, &stDay), 0);
  EXPECT_EQ(CompareDate(&pRead->stEnd, &stDay), 0);
  EXPECT_TRUE(OccursOnDay(pRead, &stDay));
  EXPECT_FALSE(OccursOnDay(pRead, &stNextDay));
  // The attached image still says what Outlook reported.
  OlDateItem image{};
  ASSERT_TRUE(UnpackExtra(pRead->pExtra, pRead->nExtraSize, &image, sizeof image));
  EXPECT_EQ(image.dtEnd, ToVariantTime(stNextDay));
}

// Updating an item must leave its record an Outlook record: a two-way run that found it
// claiming to come from Palm would hand it back to Outlook and report a failure.
TEST_F(OlDateTest, UpdatedRecordKeepsItsSourceStateCounterpartAndImage) {
  WriteFile(m_path, kTwoEvents);
  auto pStore = OpenStore();
  CommDateMgr* pSet = pStore->GetRecordSet();
  CommDate* pStored = pSet->GetAt(0);
  auto pPalm = Record("Standup", LocalTime(2011, 3, 7, 9, 0), LocalTime(2011, 3, 7, 10, 30));
  CxCopyText(pPalm->szLocation, "Room 2");
  pPalm->repeat = pStored->repeat;
  pPalm->nMatchState = MATCH_CHANGED;
  pPalm->pPeer = pStored;
  pStored->nMatchState = MATCH_CHANGED;
  pStored->pPeer = pPalm.get();
  const void* pImageBefore = pStored->pExtra;

  ASSERT_TRUE(pStore->SyncRecord(pPalm.get()));
  EXPECT_STREQ(pStored->szLocation, "Room 2");
  EXPECT_EQ(pStored->nSource, SOURCE_OUTLOOK);
  EXPECT_EQ(pStored->nMatchState, MATCH_CHANGED);
  EXPECT_EQ(pStored->pPeer, pPalm.get());
  EXPECT_EQ(pStored->pExtra, pImageBefore);
  OlDateItem image{};
  ASSERT_TRUE(UnpackExtra(pStored->pExtra, pStored->nExtraSize, &image, sizeof image));
  EXPECT_STREQ(image.szEntryID, "one");
  // The incoming record is not touched.
  EXPECT_EQ(pPalm->nSource, SOURCE_PALM);
  EXPECT_EQ(pPalm->pPeer, pStored);
  EXPECT_EQ(pPalm->pExtra, nullptr);
}

TEST_F(OlDateTest, SyncRecordAddsUpdatesAndSkipsUnchanged) {
  WriteFile(m_path, kTwoEvents);
  auto pStore = OpenStore();
  CommDateMgr* pSet = pStore->GetRecordSet();

  // The same appointment unchanged: nothing is written.
  auto pSame = Record("standup", LocalTime(2011, 3, 7, 9, 0), LocalTime(2011, 3, 7, 10, 30));
  CxCopyText(pSame->szLocation, "room 1");
  EXPECT_FALSE(pStore->SyncRecord(pSame.get()));
  EXPECT_EQ(ReadFile(m_path), kTwoEvents);

  // Changed (another location): the first record, item 1, is updated in place.
  auto pChanged = Record("Standup", LocalTime(2011, 3, 7, 9, 0), LocalTime(2011, 3, 7, 10, 30));
  CxCopyText(pChanged->szLocation, "Room 2");
  pChanged->repeat = pSet->GetAt(0)->repeat;
  EXPECT_TRUE(pStore->SyncRecord(pChanged.get()));
  EXPECT_EQ(pSet->GetCount(), 2);
  EXPECT_STREQ(pSet->GetAt(0)->szLocation, "Room 2");
  OlDateItem image{};
  EXPECT_TRUE(
      UnpackExtra(pSet->GetAt(0)->pExtra, pSet->GetAt(0)->nExtraSize, &image, sizeof image));
  std::string saved = ReadFile(m_path);
  EXPECT_NE(saved.find("LOCATION:Room 2\r\n"), std::string::npos);
  EXPECT_NE(saved.find("RRULE:FREQ=WEEKLY;BYDAY=MO;UNTIL=20110328T080000Z\r\n"), std::string::npos);
  EXPECT_NE(saved.find("SUMMARY:Holiday\r\nEND:VEVENT"), std::string::npos);

  // New: one item and one record.
  auto pNew = Record("Lunch", LocalTime(2011, 3, 8, 12, 0), LocalTime(2011, 3, 8, 13, 0));
  EXPECT_TRUE(pStore->SyncRecord(pNew.get()));
  EXPECT_EQ(pSet->GetCount(), 3);
  EXPECT_EQ(pSet->GetAt(2)->nSource, SOURCE_OUTLOOK);
  EXPECT_EQ(pNew->pExtra, nullptr);  // the caller's record is left as it was
  pStore.reset();
  pStore = OpenStore();
  ASSERT_EQ(pStore->GetRecordSet()->GetCount(), 3);
  EXPECT_STREQ(pStore->GetRecordSet()->GetAt(2)->szDescription, "Lunch");
}

// The record holds what the ANSI code page kept of the item's texts; writing it back for a
// change elsewhere must not put those question marks in place of the user's text.
TEST_F(OlDateTest, UpdateNeverReplacesTextByItsLossyCopy) {
  WriteFile(m_path,
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:u\r\n"
            "DTSTAMP:20110301T120000Z\r\nDTSTART:20110307T080000Z\r\nDTEND:20110307T090000Z\r\n"
            "SUMMARY:\xE4\xBC\x9A\xE8\xAE\xAE with \xC5\x81ukasz \xF0\x9F\x8E\x89\r\n"
            "DESCRIPTION:Agenda \xE2\x9C\x93\r\nLOCATION:Caf\xC3\xA9 \xE5\x8C\x97\r\n"
            "CATEGORIES:B\xC3\xBCro \xE2\x9C\x93\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
  const std::string original = ReadFile(m_path);
  auto pStore = OpenStore();
  CommDate incoming = *pStore->GetRecordSet()->GetAt(0);
  incoming.pExtra = nullptr;
  incoming.nExtraSize = 0;
  ASSERT_STREQ(incoming.szLocation, "Caf\xE9 ?");
  incoming.bAlarm = 1;
  incoming.bAdvance = 1;
  incoming.nAdvance = 15;
  incoming.nAdvanceUnit = ADVANCE_MINUTES;
  ASSERT_TRUE(pStore->UpdateItem(&incoming, 0));
  std::string saved = ReadFile(m_path);
  for (const char* szProperty : {"SUMMARY:", "DESCRIPTION:", "LOCATION:", "CATEGORIES:"}) {
    const size_t nAt = original.find(szProperty);
    const std::string line = original.substr(nAt, original.find("\r\n", nAt) - nAt);
    EXPECT_NE(saved.find(line), std::string::npos) << line;
  }
  EXPECT_NE(saved.find("TRIGGER:-PT15M"), std::string::npos);

  // A real change of one text is written; the others still stand.
  CxCopyText(incoming.szLocation, "Room 2");
  ASSERT_TRUE(pStore->UpdateItem(&incoming, 0));
  saved = ReadFile(m_path);
  EXPECT_NE(saved.find("LOCATION:Room 2\r\n"), std::string::npos);
  EXPECT_NE(saved.find("SUMMARY:\xE4\xBC\x9A\xE8\xAE\xAE with"), std::string::npos);
}

TEST_F(OlDateTest, RecordWithoutRepeatMakesARecurringItemSingle) {
  WriteFile(m_path, kTwoEvents);
  auto pStore = OpenStore();
  auto pChanged = Record("Standup", LocalTime(2011, 3, 7, 9, 0), LocalTime(2011, 3, 7, 10, 30));
  CxCopyText(pChanged->szLocation, "Room 9");
  EXPECT_TRUE(pStore->SyncRecord(pChanged.get()));
  EXPECT_EQ(ReadFile(m_path).find("RRULE"), std::string::npos);
}

// A weekly Monday series (UTC) whose 14th and 21st another program deleted in one EXDATE.
const char kDeletedTwo[] =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:one\r\n"
    "DTSTAMP:20110301T120000Z\r\nDTSTART:20110307T080000Z\r\nDTEND:20110307T093000Z\r\n"
    "SUMMARY:Standup\r\nRRULE:FREQ=WEEKLY;BYDAY=MO\r\nEXDATE:20110314T080000Z,20110321T080000Z\r\n"
    "END:VEVENT\r\nEND:VCALENDAR\r\n";

using deltest::DeletedDays;
using deltest::DetachedCopy;
using deltest::SetDeletedDays;
using Days = std::vector<std::string>;

// A list that differs is a change: deleting more, and restoring, reach the item.
TEST_F(OlDateTest, DeletedOccurrencesAreReadAndWrittenBothWays) {
  WriteFile(m_path, kDeletedTwo);
  auto pStore = OpenStore();
  CommDate palm = DetachedCopy(*pStore->GetRecordSet()->GetAt(0));
  EXPECT_EQ(DeletedDays(palm), (Days{"2011-03-14", "2011-03-21"}));
  EXPECT_FALSE(pStore->SyncRecord(&palm)) << "the same list is no change";

  SetDeletedDays(&palm, {LocalTime(2011, 3, 21), LocalTime(2011, 3, 28)});
  ASSERT_TRUE(pStore->SyncRecord(&palm));
  pStore = OpenStore();
  EXPECT_EQ(DeletedDays(*pStore->GetRecordSet()->GetAt(0)), (Days{"2011-03-21", "2011-03-28"}));

  SetDeletedDays(&palm, {});
  ASSERT_TRUE(pStore->SyncRecord(&palm));
  EXPECT_EQ(ReadFile(m_path).find("EXDATE"), std::string::npos);
}

// A record from a calendar that keeps no deleted occurrences (the 6.x database) is neither a
// change for them nor erases the item's.
TEST_F(OlDateTest, RecordThatCannotTellLeavesTheItemsDeletedOccurrences) {
  WriteFile(m_path, kDeletedTwo);
  auto pStore = OpenStore();
  CommDate palm = DetachedCopy(*pStore->GetRecordSet()->GetAt(0));
  SetDeletedDays(&palm, {});
  palm.repeat.bExceptionsUnknown = 1;
  EXPECT_FALSE(pStore->SyncRecord(&palm));
  CxCopyText(palm.szLocation, "Room 2");
  ASSERT_TRUE(pStore->SyncRecord(&palm));
  const Days kept = {"2011-03-14", "2011-03-21"};
  EXPECT_EQ(DeletedDays(*pStore->GetRecordSet()->GetAt(0)), kept);
  pStore = OpenStore();
  EXPECT_EQ(DeletedDays(*pStore->GetRecordSet()->GetAt(0)), kept);
}

TEST_F(OlDateTest, OccurrenceOutlookCannotDeleteFailsTheWrite) {
  WriteFile(m_path, kDeletedTwo);
  auto pStore = OpenStore();
  const CommDate* pRecord = pStore->GetRecordSet()->GetAt(0);
  OlDateItem image;
  ASSERT_TRUE(UnpackExtra(pRecord->pExtra, pRecord->nExtraSize, &image, sizeof(image)));
  image.dtExceptions[image.nExceptionCount++] = ToVariantTime(LocalTime(2011, 3, 29));  // a Tuesday
  IDispatch* pItem = pStore->ItemAt(0);
  ASSERT_NE(pItem, nullptr);
  EXPECT_FALSE(pStore->WriteItem(pItem, &image));
  pItem->Release();
  EXPECT_STREQ(pStore->GetLastFailure().szText,
               "Outlook did not delete the occurrence of 2011-03-29");
}

TEST_F(OlDateTest, UpdateOutsideTheFolderFailsAndIsLogged) {
  WriteFile(m_path, kTwoEvents);
  auto pStore = OpenStore();
  auto pDate = Record("x", LocalTime(2011, 3, 7, 9, 0), LocalTime(2011, 3, 7, 10, 0));
  EXPECT_FALSE(pStore->UpdateItem(pDate.get(), 2));
  EXPECT_FALSE(pStore->UpdateItem(pDate.get(), -1));
  EXPECT_FALSE(pStore->UpdateItem(nullptr, 0));
  EXPECT_EQ(ReadFile(m_path), kTwoEvents);
}

TEST_F(OlDateTest, FailedSaveIsReportedAsAFailedAdd) {
  WriteFile(m_dir / "blocker", "x");
  setenv("DAYBRIDGE_OUTLOOK_CALENDAR", (m_dir / "blocker" / "Calendar.ics").c_str(), 1);
  auto pStore = OpenStore();
  auto pDate = Record("Lost", LocalTime(2011, 3, 7, 9, 0), LocalTime(2011, 3, 7, 10, 0));
  EXPECT_FALSE(pStore->SyncRecord(pDate.get()));
  EXPECT_EQ(pStore->GetRecordSet()->GetCount(), 0);
  // Why, in words, not as a status code.
  EXPECT_NE(std::string(pStore->GetLastFailure().szText)
                .find("the Outlook calendar file could not be written (no such folder)"),
            std::string::npos)
      << pStore->GetLastFailure().szText;
}

TEST_F(OlDateTest, UnreadableCalendarFileSaysWhy) {
  WriteFile(m_path, "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\n");
  TestStore::SetVersionClass(4);
  TestStore store;
  EXPECT_FALSE(store.Load());
  EXPECT_NE(std::string(store.GetLastFailure().szText)
                .find("the Outlook calendar file could not be read ("),
            std::string::npos)
      << store.GetLastFailure().szText;
}

// An independent reader (Debian's python3-icalendar) must see what DayBridge wrote, and what
// it did not model must survive an update.
class IndependentReaderTest : public OlDateTest {
 protected:
  std::string RunReader(const std::string& script) {
    if (!std::filesystem::exists("/usr/bin/python3")) return "SKIP";
    OutlookServerFold();
    std::filesystem::path scriptPath = m_dir / "reader.py";
    WriteFile(scriptPath, script);
    std::string command = "/usr/bin/python3 " + scriptPath.string() + " " + m_path.string();
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "SKIP";
    std::array<char, 512> buffer;
    while (fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) {
      output += buffer.data();
    }
    int nStatus = pclose(pipe);
    return nStatus == 0 ? output : "FAILED:" + output;
  }
};

const char kReaderScript[] =
    "import sys\n"
    "try:\n"
    "    import icalendar\n"
    "except ImportError:\n"
    "    print('SKIP'); sys.exit(0)\n"
    "cal = icalendar.Calendar.from_ical(open(sys.argv[1], 'rb').read())\n"
    "for ev in cal.walk('VEVENT'):\n"
    "    start = ev.decoded('DTSTART')\n"
    "    rule = ev.get('RRULE')\n"
    "    alarms = [str(a.get('TRIGGER').to_ical(), 'ascii') for a in ev.walk('VALARM')]\n"
    "    print('%s|%s|%s|%s|%s' % (ev.get('SUMMARY'), start.isoformat(),\n"
    "          str(rule.to_ical(), 'ascii') if rule else '', ','.join(alarms),\n"
    "          len(ev.get('ATTENDEE', [])) if isinstance(ev.get('ATTENDEE'), list) else\n"
    "          (1 if ev.get('ATTENDEE') else 0)))\n"
    "print('todos=%d' % len(cal.walk('VTODO')))\n";

TEST_F(IndependentReaderTest, WrittenEventsRulesAndAlarmsParseTheSame) {
  auto pStore = OpenStore();
  auto pWeekly = Record("Weekly review", LocalTime(2011, 3, 9, 9, 0), LocalTime(2011, 3, 9, 10, 0));
  pWeekly->repeat.nType = REPEAT_WEEKLY;
  pWeekly->repeat.nInterval = 1;
  pWeekly->repeat.nDayOfWeekMask = DAYMASK_WEDNESDAY;
  pWeekly->repeat.bHasEnd = 1;
  pWeekly->repeat.stPatternEnd = LocalTime(2011, 6, 29);
  pWeekly->bAlarm = 1;
  pWeekly->bAdvance = 1;
  pWeekly->nAdvanceUnit = ADVANCE_MINUTES;
  pWeekly->nAdvance = 10;
  ASSERT_TRUE(pStore->SyncRecord(pWeekly.get()));
  auto pHoliday = Record("Holiday", LocalTime(2011, 3, 10), LocalTime(2011, 3, 10));
  pHoliday->bAllDay = 1;
  ASSERT_TRUE(pStore->SyncRecord(pHoliday.get()));
  auto pNth = Record("Board", LocalTime(2011, 3, 25, 15, 0), LocalTime(2011, 3, 25, 16, 0));
  pNth->repeat.nType = REPEAT_MONTHLY_BY_DAY;
  pNth->repeat.nInterval = 1;
  pNth->repeat.nDayOfWeekMask = DAYMASK_FRIDAY;
  pNth->repeat.nInstance = 5;
  ASSERT_TRUE(pStore->SyncRecord(pNth.get()));

  std::string output = RunReader(kReaderScript);
  if (output.rfind("SKIP", 0) == 0) GTEST_SKIP() << "python3-icalendar is not installed";
  EXPECT_EQ(output,
            "Weekly review|2011-03-09T09:00:00+01:00|FREQ=WEEKLY;UNTIL=20110629T215959Z;BYDAY=WE|"
            "-PT10M|0\n"
            "Holiday|2011-03-10|||0\n"
            "Board|2011-03-25T15:00:00+01:00|FREQ=MONTHLY;BYDAY=-1FR||0\n"
            "todos=0\n");
}

TEST_F(IndependentReaderTest, UnmodelledContentSurvivesAnUpdate) {
  WriteFile(m_path,
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\n"
            "BEGIN:VEVENT\r\nUID:m\r\nDTSTAMP:20110301T120000Z\r\n"
            "DTSTART:20110307T080000Z\r\nDTEND:20110307T090000Z\r\nSUMMARY:Meeting\r\n"
            "ATTENDEE;CN=Ann:mailto:ann@example.com\r\nATTENDEE;CN=Bo:mailto:bo@example.com\r\n"
            "RRULE:FREQ=DAILY;COUNT=5\r\nEXDATE:20110309T080000Z\r\n"
            "END:VEVENT\r\n"
            "BEGIN:VEVENT\r\nUID:m\r\nRECURRENCE-ID:20110308T080000Z\r\n"
            "DTSTAMP:20110301T120000Z\r\nDTSTART:20110308T100000Z\r\n"
            "DTEND:20110308T110000Z\r\nSUMMARY:Meeting moved\r\nEND:VEVENT\r\n"
            "BEGIN:VTODO\r\nUID:t\r\nDTSTAMP:20110301T120000Z\r\nSUMMARY:Todo\r\nEND:VTODO\r\n"
            "END:VCALENDAR\r\n");
  auto pStore = OpenStore();
  ASSERT_EQ(pStore->GetRecordSet()->GetCount(), 2);  // the series and its changed instance
  CommDate changed = *pStore->GetRecordSet()->GetAt(0);
  changed.pExtra = nullptr;
  changed.nExtraSize = 0;
  CxCopyText(changed.szLocation, "Room 5");
  ASSERT_TRUE(pStore->SyncRecord(&changed));

  std::string output = RunReader(kReaderScript);
  if (output.rfind("SKIP", 0) == 0) GTEST_SKIP() << "python3-icalendar is not installed";
  EXPECT_EQ(output,
            "Meeting|2011-03-07T08:00:00+00:00|FREQ=DAILY;COUNT=5||2\n"
            "Meeting moved|2011-03-08T10:00:00+00:00|||0\n"
            "todos=1\n");
  std::string saved = ReadFile(m_path);
  EXPECT_NE(saved.find("EXDATE:20110309T080000Z\r\n"), std::string::npos);
  EXPECT_NE(saved.find("LOCATION:Room 5\r\n"), std::string::npos);
}

}  // namespace

namespace {

// What a rule another program wrote means, day by day, once it is a record: the day it must
// occur on (at that local time) and a day it must not. Berlin is the local zone.
struct ForeignRuleCase {
  const char* szName;
  const char* szLines;  // DTSTART, DTEND and RRULE lines of the event
  SYSTEMTIME stOccurs;  // local start of an occurrence the record must have
  SYSTEMTIME stNot;     // a local day (00:00) the record must not occur on
};

class ForeignRuleTest : public OlDateTest, public ::testing::WithParamInterface<ForeignRuleCase> {};

TEST_P(ForeignRuleTest, RecordOccursWhereTheRuleSays) {
  const ForeignRuleCase& c = GetParam();
  WriteFile(m_path, std::string("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\n"
                                "UID:r\r\nDTSTAMP:20110301T120000Z\r\nSUMMARY:Rule\r\n") +
                        c.szLines + "END:VEVENT\r\nEND:VCALENDAR\r\n");
  auto pStore = OpenStore();
  ASSERT_EQ(pStore->GetRecordSet()->GetCount(), 1);
  const CommDate* pDate = pStore->GetRecordSet()->GetAt(0);
  SYSTEMTIME stDay = c.stOccurs;
  stDay.wHour = stDay.wMinute = 0;
  EXPECT_TRUE(OccursOnDay(pDate, &stDay));
  EXPECT_EQ(pDate->stStart.wHour, c.stOccurs.wHour);
  EXPECT_EQ(pDate->stStart.wMinute, c.stOccurs.wMinute);
  EXPECT_FALSE(OccursOnDay(pDate, &c.stNot));
}

INSTANTIATE_TEST_SUITE_P(
    OtherPrograms, ForeignRuleTest,
    ::testing::Values(
        ForeignRuleCase{"EveryWeekdayIsNotEveryDay",
                        "DTSTART;TZID=Europe/Berlin:20110307T090000\r\nDURATION:PT15M\r\n"
                        "RRULE:FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR\r\n",
                        LocalTime(2011, 3, 11, 9, 0), LocalTime(2011, 3, 12)},
        ForeignRuleCase{"YearlySecondSundayOfMayOccursEveryYear",
                        "DTSTART;VALUE=DATE:20110508\r\n"
                        "RRULE:FREQ=YEARLY;BYMONTH=5;BYDAY=2SU\r\n",
                        LocalTime(2014, 5, 11, 0, 0), LocalTime(2014, 5, 4)},
        ForeignRuleCase{"UntilIsAnInstantNotADay",
                        "DTSTART;TZID=Europe/Berlin:20110307T090000\r\nDURATION:PT1H\r\n"
                        "RRULE:FREQ=DAILY;UNTIL=20110310T070000Z\r\n",
                        LocalTime(2011, 3, 9, 9, 0), LocalTime(2011, 3, 10)},
        ForeignRuleCase{"WeekdaysOfAnotherZoneFallOnTheLocalDay",
                        "DTSTART;TZID=America/New_York:20110307T200000\r\nDURATION:PT1H\r\n"
                        "RRULE:FREQ=WEEKLY;BYDAY=MO\r\n",
                        LocalTime(2011, 3, 8, 2, 0), LocalTime(2011, 3, 14)}),
    [](const ::testing::TestParamInfo<ForeignRuleCase>& row) { return row.param.szName; });

}  // namespace

// A deleted occurrence of a series kept in another zone is written in that zone, on the day
// the series has it, and the deletions already there stay as written.
TEST_F(OlDateTest, DeletionInAnotherZoneIsWrittenOnTheSeriesOwnDay) {
  WriteFile(m_path,
            "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:x\r\nBEGIN:VEVENT\r\nUID:z\r\n"
            "DTSTAMP:20110301T120000Z\r\nSUMMARY:Late call\r\n"
            "DTSTART;TZID=America/New_York:20190301T183000\r\nDURATION:PT30M\r\n"
            "RRULE:FREQ=DAILY\r\nEXDATE;TZID=America/New_York:20190305T183000\r\n"
            "END:VEVENT\r\nEND:VCALENDAR\r\n");
  auto pStore = OpenStore();
  ASSERT_EQ(pStore->GetRecordSet()->GetCount(), 1);
  CommDate changed = *pStore->GetRecordSet()->GetAt(0);
  changed.pExtra = nullptr;
  changed.nExtraSize = 0;
  changed.nSource = SOURCE_PALM;
  // 18:30 in New York is 00:30 the next day in Berlin, outside the weeks between the two
  // zones' clock changes.
  ASSERT_EQ(changed.repeat.nExceptionCount, 1u);
  deltest::SetDeletedDays(&changed, {changed.repeat.stExceptions[0], LocalTime(2019, 4, 16)});
  ASSERT_TRUE(pStore->SyncRecord(&changed));
  const std::string saved = ReadFile(m_path);
  EXPECT_NE(saved.find("EXDATE;TZID=America/New_York:20190305T183000\r\n"), std::string::npos)
      << saved;
  EXPECT_NE(saved.find("EXDATE;TZID=America/New_York:20190415T183000\r\n"), std::string::npos)
      << saved;
}
