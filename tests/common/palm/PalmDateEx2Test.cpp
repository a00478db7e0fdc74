// The 6.x calendar: the rule texts of "Repeated Event" both ways, loading "Main", and writing
// records back (nothing, an UPDATE of the changed columns over the record's own row, or an
// INSERT for a new record).
#include "common/palm/PalmDateEx2.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "Palm6TestSupport.h"
#include "common/calendar/CommDate.h"
#include "common/calendar/CommDateMgr.h"
#include "common/palm/PalmComm.h"
#include "common/palm/PalmDateInfo.h"
#include "demo/palm6/Palm6Fixture.h"
#include "platform/win/WinString.h"
#include "support/PlatformScope.h"
#include "support/clock/ClockGuard.h"

namespace {

using dbtest::LogCapture;
using palm6test::TempPath;

// New York rules, written out so that no zone database is needed.
constexpr char kNewYork[] = "EST5EDT,M3.2.0,M11.1.0";

LONG LocalMidnight(int nYear, int nMonth, int nDay) {
  return static_cast<LONG>(PmTime(nYear, nMonth, nDay, 0, 0, 0).GetValue());
}

std::unique_ptr<PmDateEx2Record> NewRecord() {
  auto pRecord = std::make_unique<PmDateEx2Record>();
  std::memset(pRecord.get(), 0, sizeof(PmDateEx2Record));
  return pRecord;
}

struct DecodeCase {
  const char* szName;
  const char* szRule;
  LONG nType;
  LONG nInterval;
  BYTE bDays;
  LONG nWeek;    // checked for type 3
  LONG nDay;     // checked for types 4 and 5
  LONG nMonth;   // checked for type 5
  int nEndYear;  // 0: no end; -1: end left as it was
  int nEndMonth;
  int nEndDay;
};

constexpr LONG kUntouchedEnd = 12345;

class PmDecodeRepeatTest : public ::testing::TestWithParam<DecodeCase> {
 protected:
  clockguard::ZoneGuard m_Zone{kNewYork};
};

TEST_P(PmDecodeRepeatTest, ReadsTheRuleIntoTheRepeatFields) {
  const DecodeCase& param = GetParam();
  auto pRecord = NewRecord();
  // 2012-03-07 09:00 local: the day a yearly rule takes.
  std::snprintf(pRecord->szStartTime, sizeof(pRecord->szStartTime), "%u",
                static_cast<unsigned>(PmTime(2012, 3, 7, 9, 0, 0).GetValue()));
  CxCopyText(pRecord->szRepeatedEvent, param.szRule);
  pRecord->nRepeatEnd = kUntouchedEnd;
  PmDateEx2Util::DecodeRepeat(pRecord.get());
  EXPECT_EQ(param.nType, pRecord->nRepeatType);
  if (param.nType == 0) return;
  EXPECT_EQ(param.nInterval, pRecord->nRepeatInterval);
  EXPECT_EQ(param.bDays, pRecord->bRepeatDays);
  if (param.nType == 3) {
    EXPECT_EQ(param.nWeek, pRecord->nRepeatWeek);
  }
  if (param.nType == 4 || param.nType == 5) {
    EXPECT_EQ(param.nDay, pRecord->nRepeatDay);
  }
  if (param.nType == 5) {
    EXPECT_EQ(param.nMonth, pRecord->nRepeatMonth);
  }
  if (param.nEndYear == 0) {
    EXPECT_EQ(NO_END_DATE, pRecord->nRepeatEnd);
  } else if (param.nEndYear < 0) {
    EXPECT_EQ(kUntouchedEnd, pRecord->nRepeatEnd);
  } else {
    EXPECT_EQ(LocalMidnight(param.nEndYear, param.nEndMonth, param.nEndDay), pRecord->nRepeatEnd);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, PmDecodeRepeatTest,
    ::testing::Values(
        DecodeCase{"DailyNoEnd", "D1 #0", 1, 1, 0, 0, 0, 0, 0, 0, 0},
        DecodeCase{"WeeklyMondayThursday", "W1 MO TH #0", 2, 1, 18, 0, 0, 0, 0, 0, 0},
        DecodeCase{"WeeklyEveryTwoWeeksWithEnd", "W2 SU SA 20110630T00000Z", 2, 2, 65, 0, 0, 0,
                   2011, 6, 30},
        DecodeCase{"MonthlyLastFriday", "MP1 5+ FR #0", 3, 1, 32, 4, 0, 0, 0, 0, 0},
        DecodeCase{"MonthlySecondTuesdayEveryThree", "MP3 2+ TU 20121231T00000Z", 3, 3, 4, 1, 0, 0,
                   2012, 12, 31},
        DecodeCase{"MonthlyByDate", "MD1 15 20110630T00000Z", 4, 1, 0, 0, 15, 0, 2011, 6, 30},
        DecodeCase{"YearlyTakesTheStartDay", "YM1 6 20121231T00000Z", 5, 1, 0, 0, 7, 5, 2012, 12,
                   31},
        DecodeCase{"NoBlankKeepsTheEnd", "D12", 1, 12, 0, 0, 0, 0, -1, 0, 0},
        DecodeCase{"BrokenDateKeepsTheEnd", "D1 2011x630T0Z", 1, 1, 0, 0, 0, 0, -1, 0, 0},
        DecodeCase{"HugeIntervalIsBounded", "D99999999999999999999 #0", 1, 999999999, 0, 0, 0, 0, 0,
                   0, 0},
        DecodeCase{"UnknownMonthlyForm", "MX1 #0", 0, 0, 0, 0, 0, 0, 0, 0, 0},
        DecodeCase{"Empty", "", 0, 0, 0, 0, 0, 0, 0, 0, 0},
        DecodeCase{"LoneY", "Y", 5, 0, 0, 0, 7, -1, -1, 0, 0}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.szName); });

struct EncodeCase {
  const char* szName;
  LONG nType;
  LONG nInterval;
  BYTE bDays;
  LONG nWeek;
  LONG nDay;
  int nEndYear;  // 0: no end
  const char* szExpected;
};

class PmEncodeRepeatTest : public ::testing::TestWithParam<EncodeCase> {
 protected:
  clockguard::ZoneGuard m_Zone{kNewYork};
};

TEST_P(PmEncodeRepeatTest, WritesTheRuleAndReadsBackTheSameFields) {
  const EncodeCase& param = GetParam();
  auto pRecord = NewRecord();
  pRecord->nStartTime = static_cast<LONG>(PmTime(2012, 3, 7, 9, 0, 0).GetValue());
  pRecord->nEndTime = pRecord->nStartTime + 3600;
  pRecord->nRepeatType = param.nType;
  pRecord->nRepeatInterval = param.nInterval;
  pRecord->bRepeatDays = param.bDays;
  pRecord->nRepeatWeek = param.nWeek;
  pRecord->nRepeatDay = param.nDay;
  pRecord->nRepeatEnd = param.nEndYear ? LocalMidnight(param.nEndYear, 6, 30) : NO_END_DATE;
  PmDateEx2Util::EncodeRepeat(pRecord.get());
  EXPECT_STREQ(param.szExpected, pRecord->szRepeatedEvent);
  EXPECT_EQ(std::to_string(static_cast<uint32_t>(pRecord->nStartTime)),
            std::string(pRecord->szStartTime));
  if (param.szExpected[0] == '\0') return;

  auto pBack = NewRecord();
  CxCopyText(pBack->szStartTime, pRecord->szStartTime);
  CxCopyText(pBack->szEndTime, pRecord->szEndTime);
  CxCopyText(pBack->szRepeatedEvent, pRecord->szRepeatedEvent);
  PmDateEx2Util::DecodeRepeat(pBack.get());
  EXPECT_EQ(pRecord->nStartTime, pBack->nStartTime);
  EXPECT_EQ(pRecord->nEndTime, pBack->nEndTime);
  EXPECT_EQ(param.nType, pBack->nRepeatType);
  EXPECT_EQ(param.nInterval, pBack->nRepeatInterval);
  EXPECT_EQ(pRecord->nRepeatEnd, pBack->nRepeatEnd);
  if (param.nType == 2 || param.nType == 3) {
    EXPECT_EQ(param.bDays, pBack->bRepeatDays);
  }
  if (param.nType == 3) {
    EXPECT_EQ(param.nWeek, pBack->nRepeatWeek);
  }
  if (param.nType == 4) {
    EXPECT_EQ(param.nDay, pBack->nRepeatDay);
  }
  if (param.nType == 5) {
    EXPECT_EQ(2, pBack->nRepeatMonth) << "March, from the start";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, PmEncodeRepeatTest,
    ::testing::Values(EncodeCase{"None", 0, 1, 0, 0, 0, 0, ""},
                      EncodeCase{"Daily", 1, 3, 0, 0, 0, 0, "D3 #0"},
                      EncodeCase{"WeeklyMondayWednesday", 2, 2, 0x0A, 0, 0, 0, "W2 MO WE #0"},
                      EncodeCase{"MonthlyLastFriday", 3, 1, 0x20, 4, 0, 0, "MP1 5+ FR #0"},
                      EncodeCase{"MonthlyFirstSundayWithEnd", 3, 2, 0x01, 0, 0, 2011,
                                 "MP2 1+ SU 20110630T00000Z"},
                      EncodeCase{"MonthlyByDate", 4, 1, 0, 0, 15, 0, "MD1 15 #0"},
                      EncodeCase{"MonthlyByDateWithEnd", 4, 1, 0, 0, 15, 2011,
                                 "MD1 15 20110630T00000Z"},
                      EncodeCase{"YearlyInTheStartMonth", 5, 1, 0, 0, 7, 0, "YM1 3 #0"},
                      EncodeCase{"YearlyByWeekdayIsNone", 6, 1, 0, 0, 0, 0, ""}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.szName); });

TEST(PmEncodeRepeatTest2, AnUnsetEndIsWrittenAsNoEnd) {
  clockguard::ZoneGuard zone(kNewYork);
  auto pRecord = NewRecord();
  pRecord->nRepeatType = 1;
  pRecord->nRepeatInterval = 1;
  PmDateEx2Util::EncodeRepeat(pRecord.get());
  EXPECT_STREQ("D1 #0", pRecord->szRepeatedEvent);
}

TEST(PmDiffFieldsTest, ListsChangedIdsInOrderWithPlacement) {
  auto pA = NewRecord();
  auto pB = NewRecord();
  pB->nPlacement = 5;
  CxCopyText(pB->szNote, "changed");
  pB->bAlarm = 1;
  int nIds[PM_EX2_FIELD_COUNT];
  int nCount = -1;
  ASSERT_TRUE(PmDateEx2Util::DiffFields(pA.get(), pB.get(), nIds, &nCount));
  ASSERT_EQ(3, nCount);
  EXPECT_EQ(2, nIds[0]);
  EXPECT_EQ(5, nIds[1]);
  EXPECT_EQ(12, nIds[2]);
  EXPECT_FALSE(PmDateEx2Util::SameRecord(pA.get(), pB.get()));
  pB->bAlarm = 0;
  pB->szNote[0] = '\0';
  EXPECT_TRUE(PmDateEx2Util::SameRecord(pA.get(), pB.get())) << "placement is not compared";
  EXPECT_FALSE(PmDateEx2Util::DiffFields(pA.get(), nullptr, nIds, &nCount));
}

class PmDateEx2SaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_strPath = TempPath("DateBook.mdb");
    m_pFixture = std::make_unique<palm6::Palm6Fixture>(m_strPath);
    ASSERT_TRUE(m_pFixture->IsOpen());
    ASSERT_TRUE(m_pFixture->AddCategory(1, "Business"));
    ASSERT_TRUE(m_pFixture->AddCategory(2, "Personal"));
    palm6::MainRow row;
    row.nRecordId = 101;
    row.nStatus = 0;
    row.nPlacement = 3;
    row.strCategory = "2";
    row.strNote = "Bring the forms";
    row.strStartTime = std::to_string(PmTime(2012, 3, 7, 9, 0, 0).GetValue());
    row.strEndTime = std::to_string(PmTime(2012, 3, 7, 10, 0, 0).GetValue());
    row.strLocation = "Main Street";
    row.strSummary = "Dentist";
    row.bAlarm = true;
    row.nAlarmAdvance = 15;
    row.strRepeatedEvent = "W1 WE #0";
    ASSERT_TRUE(m_pFixture->AddMain(row));
    m_pUtil = std::make_unique<PmDateEx2Util>(m_strPath.c_str());
    ASSERT_TRUE(m_pUtil->IsLoaded());
    ASSERT_EQ(1, m_pUtil->GetRecords()->GetCount());
    m_Log.Clear();
  }
  void TearDown() override {
    m_pUtil.reset();
    m_pFixture.reset();
    std::filesystem::remove(m_strPath);
  }

  PmDateEx2Record* Loaded() { return m_pUtil->GetRecords()->GetAt(0); }
  std::string Column(const std::string& strColumn) {
    const auto rows =
        m_pFixture->Query("SELECT [" + strColumn + "] FROM Main WHERE [Record ID] = 101");
    return rows.size() == 1 ? rows[0][0] : "<" + std::to_string(rows.size()) + " rows>";
  }

  clockguard::ZoneGuard m_Zone{kNewYork};
  LogCapture m_Log;
  std::string m_strPath;
  std::unique_ptr<palm6::Palm6Fixture> m_pFixture;
  std::unique_ptr<PmDateEx2Util> m_pUtil;
};

TEST_F(PmDateEx2SaveTest, LoadingFillsTheRecordFromItsRow) {
  const PmDateEx2Record* pRecord = Loaded();
  EXPECT_EQ(101, pRecord->nRecordId);
  EXPECT_EQ(3, pRecord->nPlacement);
  EXPECT_EQ(2, pRecord->nCategory);
  EXPECT_STREQ("Personal", pRecord->szCategoryName);
  EXPECT_STREQ("Bring the forms", pRecord->szNote);
  EXPECT_EQ(static_cast<LONG>(PmTime(2012, 3, 7, 9, 0, 0).GetValue()), pRecord->nStartTime);
  EXPECT_STREQ("Dentist", pRecord->szSummary);
  EXPECT_EQ(1, pRecord->bAlarm);
  EXPECT_EQ(15, pRecord->nAlarmAdvance);
  EXPECT_EQ(2, pRecord->nRepeatType);
  EXPECT_EQ(0x08, pRecord->bRepeatDays);
  EXPECT_EQ(NO_END_DATE, pRecord->nRepeatEnd);
}

TEST_F(PmDateEx2SaveTest, AnUnchangedRecordWritesNothing) {
  auto copy = *Loaded();
  copy.nPlacement = 99;
  ASSERT_TRUE(m_pUtil->SaveRecord(&copy));
  EXPECT_FALSE(m_Log.Contains("UPDATE")) << m_Log.Text();
  EXPECT_FALSE(m_Log.Contains("INSERT"));
  EXPECT_EQ("3", Column("Placement"));
}

TEST_F(PmDateEx2SaveTest, ANoteChangeUpdatesTheNoteColumnAlone) {
  PmDateEx2Record* pRecord = Loaded();
  const std::string strNote = std::string(3000, 'x') + "'s end";
  CxCopyText(pRecord->szNote, strNote.c_str());
  ASSERT_TRUE(m_pUtil->SaveRecord(pRecord));
  EXPECT_TRUE(m_Log.Contains("Execute SQL Query: UPDATE Main SET [Note]='" +
                             std::string(3000, 'x') +
                             "''s end' WHERE [Record ID] = 101 AND [Start Time] = '"))
      << m_Log.Text().substr(0, 400);
  EXPECT_EQ(strNote, Column("Note")) << "a long note is written whole";
  EXPECT_EQ(1, m_pFixture->Count("Main"));
}

TEST_F(PmDateEx2SaveTest, AStartOrSummaryChangeUpdatesTheSameRow) {
  PmDateEx2Record* pRecord = Loaded();
  pRecord->nStartTime += 1800;
  CxCopyText(pRecord->szSummary, "Dentist (moved)");
  ASSERT_TRUE(m_pUtil->SaveRecord(pRecord));
  EXPECT_EQ(1, m_pFixture->Count("Main"));
  EXPECT_EQ("Dentist (moved)", Column("Summary"));
  EXPECT_EQ(std::to_string(static_cast<uint32_t>(pRecord->nStartTime)), Column("Start Time"));

  // A second change finds the row by what the first one wrote.
  pRecord->nEndTime += 1800;
  ASSERT_TRUE(m_pUtil->SaveRecord(pRecord));
  EXPECT_EQ(1, m_pFixture->Count("Main"));
  EXPECT_EQ(std::to_string(static_cast<uint32_t>(pRecord->nEndTime)), Column("End Time"));
}

TEST_F(PmDateEx2SaveTest, ANewRecordIsInsertedWithAllColumnsOnce) {
  auto pRecord = NewRecord();
  pRecord->nStatus = 1;
  pRecord->nPlacement = 0x7FFFFFFF;
  pRecord->nStartTime = static_cast<LONG>(PmTime(2012, 4, 1, 8, 0, 0).GetValue());
  pRecord->nEndTime = pRecord->nStartTime + 600;
  CxCopyText(pRecord->szSummary, "O'Neil call");
  CxCopyText(pRecord->szCategoryName, "Business");
  pRecord->nRepeatType = 4;
  pRecord->nRepeatInterval = 1;
  pRecord->nRepeatDay = 1;
  pRecord->nRepeatEnd = NO_END_DATE;
  ASSERT_TRUE(m_pUtil->SaveRecord(pRecord.get()));
  EXPECT_TRUE(
      m_Log.Contains("[Alarm Unit], [Repeated Event], [Blob]) VALUES (0, 1, 2147483647, 0, "
                     "'1', '', '"));
  EXPECT_EQ(2, m_pFixture->Count("Main"));
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"1", "MD1 1 #0", "0"}}),
            m_pFixture->Query("SELECT [Category], [Repeated Event], [Private] FROM Main WHERE "
                              "[Summary] = 'O''Neil call'"));

  m_Log.Clear();
  ASSERT_TRUE(m_pUtil->SaveRecord(pRecord.get()));
  EXPECT_FALSE(m_Log.Contains("INSERT"));
  CxCopyText(pRecord->szSummary, "O'Neil call back");
  ASSERT_TRUE(m_pUtil->SaveRecord(pRecord.get()));
  EXPECT_EQ(2, m_pFixture->Count("Main")) << "a saved new record is updated, not inserted again";
}

TEST_F(PmDateEx2SaveTest, AnUnknownCategoryFailsUntilResolved) {
  PmDateEx2Record* pRecord = Loaded();
  CxCopyText(pRecord->szCategoryName, "Travel");
  EXPECT_FALSE(m_pUtil->SaveRecord(pRecord));
  EXPECT_EQ("2", Column("Category"));

  LONG nId = 77;
  EXPECT_FALSE(m_pUtil->ResolveCategory("Travel", &nId, false));
  EXPECT_EQ(0, nId);
  EXPECT_TRUE(m_pUtil->ResolveCategory("Travel", &nId, true));
  EXPECT_EQ(3, nId);
  EXPECT_TRUE(m_pUtil->ResolveCategory("Business", &nId, false));
  EXPECT_EQ(1, nId);
  EXPECT_TRUE(m_pUtil->ResolveCategory("", &nId, false));
  EXPECT_EQ(0, nId);

  ASSERT_TRUE(m_pUtil->SaveRecord(pRecord));
  EXPECT_EQ("3", Column("Category"));
  EXPECT_EQ(3, m_pFixture->Count("Category"));
}

TEST_F(PmDateEx2SaveTest, ALongSummaryIsLookedUpByItsFirstCharacters) {
  ASSERT_TRUE(m_pFixture->Exec("UPDATE Main SET [Summary] = '" + std::string(255, 'L') + "'"));
  ASSERT_TRUE(m_pUtil->LoadFile(m_strPath.c_str()));
  PmDateEx2Record* pRecord = m_pUtil->GetRecords()->GetAt(1);
  ASSERT_NE(nullptr, pRecord);
  CxCopyText(pRecord->szNote, "new");
  m_Log.Clear();
  ASSERT_TRUE(m_pUtil->SaveRecord(pRecord));
  EXPECT_TRUE(m_Log.Contains("LEFT(Summary, 256) = '" + std::string(255, 'L') + "'"));
  EXPECT_EQ("new", Column("Note"));
  EXPECT_EQ(1, m_pFixture->Count("Main"));
}

// Text as the program holds it (Windows-1252) and as Palm Desktop's database holds it (UTF-8).
struct AccentCase {
  const char* szName;
  const char* szAnsi;
  const char* szUtf8;
};

void PrintTo(const AccentCase& accentCase, std::ostream* pStream) {
  *pStream << accentCase.szName;
}

class PmDateEx2AccentTest : public PmDateEx2SaveTest,
                            public ::testing::WithParamInterface<AccentCase> {};

TEST_P(PmDateEx2AccentTest, TextsSurviveInsertUpdateAndAFreshLoad) {
  const std::string strAnsi = GetParam().szAnsi;
  const std::string strUtf8 = GetParam().szUtf8;
  auto pRecord = NewRecord();
  pRecord->nStartTime = LocalMidnight(2012, 4, 2) + 9 * 3600;
  pRecord->nEndTime = pRecord->nStartTime + 3600;
  CxCopyText(pRecord->szSummary, strAnsi.c_str());
  CxCopyText(pRecord->szNote, (strAnsi + " note").c_str());
  CxCopyText(pRecord->szLocation, strAnsi.c_str());
  CxCopyText(pRecord->szCategoryName, strAnsi.c_str());
  ASSERT_TRUE(m_pUtil->ResolveCategory(strAnsi.c_str(), nullptr, true));
  ASSERT_TRUE(m_pUtil->SaveRecord(pRecord.get()));
  EXPECT_EQ((std::vector<std::vector<std::string>>{{strUtf8, strUtf8 + " note", strUtf8}}),
            m_pFixture->Query("SELECT [Summary], [Note], [Location] FROM Main WHERE "
                              "[Record ID] <> 101"));
  EXPECT_EQ((std::vector<std::vector<std::string>>{{strUtf8}}),
            m_pFixture->Query("SELECT [Name] FROM Category WHERE [ID] = 3"));

  {
    PmDateEx2Util reread(m_strPath.c_str());
    ASSERT_EQ(2, reread.GetRecords()->GetCount());
    PmDateEx2Record* pRow = reread.GetRecords()->GetAt(1);
    EXPECT_STREQ(strAnsi.c_str(), pRow->szSummary);
    EXPECT_STREQ((strAnsi + " note").c_str(), pRow->szNote);
    EXPECT_STREQ(strAnsi.c_str(), pRow->szLocation);
    EXPECT_STREQ(strAnsi.c_str(), pRow->szCategoryName);

    // The row is found again by its accented summary, so the change lands on it.
    CxCopyText(pRow->szNote, (strAnsi + strAnsi).c_str());
    CxCopyText(pRow->szSummary, (strAnsi + "!").c_str());
    ASSERT_TRUE(reread.SaveRecord(pRow));
  }
  EXPECT_EQ(2, m_pFixture->Count("Main")) << "updated, not inserted again";
  PmDateEx2Util reread(m_strPath.c_str());
  ASSERT_EQ(2, reread.GetRecords()->GetCount());
  EXPECT_STREQ((strAnsi + "!").c_str(), reread.GetRecords()->GetAt(1)->szSummary);
  EXPECT_STREQ((strAnsi + strAnsi).c_str(), reread.GetRecords()->GetAt(1)->szNote);
}

INSTANTIATE_TEST_SUITE_P(Texts, PmDateEx2AccentTest,
                         ::testing::Values(AccentCase{"AcuteE",
                                                      "Ren\xe9"
                                                      "e",
                                                      "Ren\xc3\xa9"
                                                      "e"},
                                           AccentCase{"Umlaut", "M\xfcller", "M\xc3\xbcller"},
                                           AccentCase{"EuroSign", "\x80 5", "\xe2\x82\xac 5"},
                                           AccentCase{"CurlyQuotes", "\x93Hi\x94",
                                                      "\xe2\x80\x9cHi\xe2\x80\x9d"},
                                           AccentCase{"ApostropheBesideAccents", "Caf\xe9 d'Ol\xe9",
                                                      "Caf\xc3\xa9 d'Ol\xc3\xa9"}),
                         [](const auto& caseInfo) { return std::string(caseInfo.param.szName); });

TEST_F(PmDateEx2SaveTest, UnicodeTextStoredByPalmDesktopLoadsAsAnsiAndUpdatesInPlace) {
  ASSERT_TRUE(m_pFixture->AddCategory(5, "R\xc3\xa9union"));
  palm6::MainRow row;
  row.nRecordId = 102;
  row.strCategory = "5";
  row.strNote =
      "\xe2\x82\xac"
      "20 \xe2\x80\x9c"
      "deposit\xe2\x80\x9d";
  row.strStartTime = std::to_string(PmTime(2012, 3, 8, 9, 0, 0).GetValue());
  row.strEndTime = std::to_string(PmTime(2012, 3, 8, 10, 0, 0).GetValue());
  row.strLocation = "M\xc3\xbcnchen";
  row.strSummary =
      "Caf\xc3\xa9 with Ren\xc3\xa9"
      "e";
  ASSERT_TRUE(m_pFixture->AddMain(row));
  PmDateEx2Util util(m_strPath.c_str());
  ASSERT_EQ(2, util.GetRecords()->GetCount());
  PmDateEx2Record* pRecord = util.GetRecords()->GetAt(1);
  EXPECT_STREQ(
      "Caf\xe9 with Ren\xe9"
      "e",
      pRecord->szSummary);
  EXPECT_STREQ(
      "\x80"
      "20 \x93"
      "deposit\x94",
      pRecord->szNote);
  EXPECT_STREQ("M\xfcnchen", pRecord->szLocation);
  EXPECT_STREQ("R\xe9union", pRecord->szCategoryName);

  CxCopyText(pRecord->szNote, "paid");
  ASSERT_TRUE(util.SaveRecord(pRecord));
  EXPECT_EQ(2, m_pFixture->Count("Main"));
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"paid",
                                                    "Caf\xc3\xa9 with Ren\xc3\xa9"
                                                    "e"}}),
            m_pFixture->Query("SELECT [Note], [Summary] FROM Main WHERE [Record ID] = 102"));
}

// Text the code page cannot hold loads as question marks: the row must still be found by its
// key and keep its own text when another column changes.
TEST_F(PmDateEx2SaveTest, TextBeyondTheCodePageIsNeitherOverwrittenNorDuplicated) {
  palm6::MainRow row;
  row.nRecordId = 103;
  row.strStartTime = std::to_string(PmTime(2012, 3, 9, 9, 0, 0).GetValue());
  row.strEndTime = std::to_string(PmTime(2012, 3, 9, 10, 0, 0).GetValue());
  row.strLocation = "\xe5\x8c\x97\xe4\xba\xac";
  row.strSummary = "\xe4\xbc\x9a\xe8\xae\xae with \xc5\x81ukasz";
  ASSERT_TRUE(m_pFixture->AddMain(row));
  PmDateEx2Util util(m_strPath.c_str());
  PmDateEx2Record* pRecord = util.GetRecords()->GetAt(1);
  ASSERT_STREQ("?? with ?ukasz", pRecord->szSummary);

  CxCopyText(pRecord->szNote, "agenda");
  ASSERT_TRUE(util.SaveRecord(pRecord));
  EXPECT_EQ(2, m_pFixture->Count("Main"));
  EXPECT_EQ((std::vector<std::vector<std::string>>{{"agenda", row.strLocation, row.strSummary}}),
            m_pFixture->Query("SELECT [Note], [Location], [Summary] FROM Main "
                              "WHERE [Record ID] = 103"));
}

TEST(PmDateEx2LoadTest, MissingAndUnreadableFiles) {
  LogCapture log;
  PmDateEx2Util util;
  EXPECT_FALSE(util.LoadFile(""));
  EXPECT_FALSE(util.LoadFile("/nonexistent/DateBook.mdb"));
  EXPECT_TRUE(
      log.Contains("Open Palm Desktop Calendar database failed: /nonexistent/DateBook.mdb"));
  EXPECT_FALSE(PmDateEx2Util("/nonexistent/DateBook.mdb").IsLoaded());

  const std::string strJunk = TempPath("junk-db.mdb");
  ASSERT_TRUE(palm6::WriteJunkFile(strJunk));
  EXPECT_FALSE(util.LoadFile(strJunk.c_str())) << "a file that is no database is no calendar";
  EXPECT_FALSE(PmDateEx2Util(strJunk.c_str()).IsLoaded());
  EXPECT_EQ(0, util.GetRecords()->GetCount());
  std::filesystem::remove(strJunk);
}

// A broken database is refused with its reason: taken as an empty calendar, it would show
// nothing and fail every write of a sync.
struct BrokenDatabaseCase {
  const char* szName;
  const char* szSql;  // run on a good database; null for a 0-byte file
  int nCode;
};

class BrokenDatabaseTest : public ::testing::TestWithParam<BrokenDatabaseCase> {};

TEST_P(BrokenDatabaseTest, DoesNotLoadAsAnEmptyCalendar) {
  const std::string strPath = TempPath("broken.mdb");
  if (GetParam().szSql == nullptr) {
    std::ofstream(strPath, std::ios::binary | std::ios::trunc);
  } else {
    palm6::Palm6Fixture fixture(strPath);
    ASSERT_TRUE(fixture.Exec(GetParam().szSql));
  }
  PmDateEx2Util util(strPath.c_str());
  EXPECT_FALSE(util.IsLoaded());
  EXPECT_EQ(util.GetLastFailure().nCode, GetParam().nCode) << util.GetLastFailure().szText;
  EXPECT_NE(std::string(util.GetLastFailure().szText).find(strPath), std::string::npos);
  std::filesystem::remove(strPath);
}

INSTANTIATE_TEST_SUITE_P(
    Databases, BrokenDatabaseTest,
    ::testing::Values(BrokenDatabaseCase{"EmptyFile", nullptr, CX_FAIL_NOT_CALENDAR},
                      BrokenDatabaseCase{"NoMainTable", "DROP TABLE Main", CX_FAIL_NOT_CALENDAR},
                      BrokenDatabaseCase{
                          "MainWithoutItsColumns",
                          "DROP TABLE Main; CREATE TABLE Main ([Record ID] INTEGER, "
                          "[Summary] VARCHAR(255)); INSERT INTO Main VALUES (5, 'x')",
                          CX_FAIL_NOT_CALENDAR}),
    [](const auto& tpi) { return std::string(tpi.param.szName); });

TEST(PmDateEx2LoadTest, CorruptPagesAreReportedAsDamage) {
  const std::string strPath = TempPath("corrupt.mdb");
  {
    palm6::Palm6Fixture fixture(strPath);
    for (int i = 0; i < 200; ++i) {
      ASSERT_TRUE(fixture.Exec("INSERT INTO Main ([Record ID], [Summary]) VALUES (" +
                               std::to_string(1000 + i) + ", '" + std::string(300, 'x') + "')"));
    }
  }
  // The first page (the schema) stays; the pages of "Main" after it are overwritten.
  {
    std::fstream file(strPath, std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(8192);
    const std::string junk(16384, '\x5a');
    file.write(junk.data(), static_cast<std::streamsize>(junk.size()));
  }
  PmDateEx2Util util(strPath.c_str());
  EXPECT_FALSE(util.IsLoaded());
  EXPECT_TRUE(util.GetLastFailure().nCode == CX_FAIL_DAMAGED ||
              util.GetLastFailure().nCode == CX_FAIL_NOT_CALENDAR)
      << util.GetLastFailure().szText;
  std::filesystem::remove(strPath);
}

// The whole road: PmDateInfo loads a 6.x file through the registered calendar, and a record
// synchronized into it becomes a row of "Main" at once, changed later in the same row.
TEST(PmCalendarEx2DbTest, PalmStoreLoadsAndWritesTheDatabase) {
  clockguard::ZoneGuard zone(kNewYork);
  LogCapture log;
  const std::string strPath = TempPath("store.mdb");
  {
    palm6::Palm6Fixture fixture(strPath);
    ASSERT_TRUE(fixture.AddCategory(1, "Business"));
    palm6::MainRow row;
    row.nRecordId = 7;
    row.strStartTime = std::to_string(PmTime(2012, 3, 7, 9, 0, 0).GetValue());
    row.strEndTime = std::to_string(PmTime(2012, 3, 7, 10, 0, 0).GetValue());
    row.strSummary = "Standup";
    ASSERT_TRUE(fixture.AddMain(row));
  }
  dbtest::PlatformScope platform;
  PmDateInfo store;
  ASSERT_TRUE(store.LoadFile(strPath.c_str()));
  EXPECT_EQ(PALM_KIND_DATABASE, store.GetLoadedKind());
  ASSERT_EQ(1, static_cast<int>(store.GetRecordSet()->GetCount()));
  EXPECT_EQ(PALM_KIND_DATABASE, store.CheckFileKind(strPath.c_str()));

  auto pNew = std::make_unique<CommDate>();
  *pNew = CommDate{};
  CxCopyText(pNew->szDescription, "Retro");
  CxCopyText(pNew->szCategory, "Travel, Business");
  pNew->stStart = SYSTEMTIME{2012, 3, 0, 8, 14, 0, 0, 0};
  pNew->stEnd = SYSTEMTIME{2012, 3, 0, 8, 15, 0, 0, 0};
  ASSERT_TRUE(store.SyncRecord(pNew.get()));
  EXPECT_TRUE(store.Save());

  {
    PmDateEx2Util reread(strPath.c_str());
    ASSERT_EQ(2, reread.GetRecords()->GetCount());
    const PmDateEx2Record* pRow = reread.GetRecords()->GetAt(1);
    EXPECT_STREQ("Retro", pRow->szSummary);
    EXPECT_STREQ("Travel", pRow->szCategoryName) << "the first of Outlook's categories, created";
    EXPECT_EQ(1, pRow->nStatus & PM_STATUS_ADDED);
  }
  std::filesystem::remove(strPath);
}

// A yearly all-day row written in Paris and read in Los Angeles, where its stored midnight
// is the afternoon before: it keeps its day, and its rule is written back unchanged.
TEST(PmCalendarEx2DbTest, AllDayRowKeepsItsDayInAnotherZone) {
  clockguard::ZoneGuard writer("Europe/Paris");
  const std::string strPath = TempPath("zones.mdb");
  {
    palm6::Palm6Fixture fixture(strPath);
    palm6::MainRow row;
    row.nRecordId = 9;
    row.strStartTime = row.strEndTime = std::to_string(PmTime(2027, 1, 1, 0, 0, 0).GetValue());
    row.bUntimed = true;
    row.strSummary = "New Year";
    row.strRepeatedEvent = "YM1 1 #0";
    ASSERT_TRUE(fixture.AddMain(row));
  }
  clockguard::ZoneGuard reader("America/Los_Angeles");
  dbtest::PlatformScope platform;
  PmDateInfo store;
  ASSERT_TRUE(store.LoadFile(strPath.c_str()));
  const CommDate* pDate = store.GetRecordSet()->GetFirst();
  EXPECT_EQ(2027, pDate->stStart.wYear);
  EXPECT_EQ(1, pDate->stEnd.wDay);
  EXPECT_EQ(1u, pDate->repeat.nDayOfMonth);
  EXPECT_EQ(1, pDate->repeat.nMonthOfYear);
  PmDateEx2Record* pRow = store.GetCalendarEx2()->GetRecords()->GetAt(0);
  PmDateEx2Util::EncodeRepeat(pRow);
  EXPECT_STREQ("YM1 1 #0", pRow->szRepeatedEvent);
  std::filesystem::remove(strPath);
}

}  // namespace
