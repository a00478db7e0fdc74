// The Outlook calendar file as other calendar programs read it, after real syncs from a Palm
// Desktop 4.1.4 datebook: Debian's python3-icalendar and python3-recurring-ical-events (no
// code of ours) must expand the same appointments at the same wall-clock times as DayBridge's
// own occurs tests, on every day of a year's span across both daylight-saving changes, in a
// zone of each side of the Atlantic, deleted occurrences (a first one among them) left out by
// both; the pairs must match again after a reload; deleted occurrences travel back to a fresh
// datebook and a deletion on either side travels to the other; and text the Palm code page
// cannot hold must survive syncs that change other fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/core/AppCalendar.h"
#include "app/core/AppProcess.h"
#include "app/core/SyncHistory.h"
#include "app/core/SyncRun.h"
#include "common/calendar/CommDateMgr.h"
#include "common/misc/CxDebugUtil.h"
#include "common/misc/WinUtil.h"
#include "common/outlook/OlDate.h"
#include "common/palm/PalmDateEx.h"
#include "common/palm/PalmDateInfo.h"
#include "platform/outlook/IcsFile.h"
#include "platform/outlook/OutlookServer.h"
#include "platform/win/WinRegistry.h"
#include "platform/win/WinString.h"
#include "platform/win/WinText.h"
#include "support/calendar/DeletedOccurrences.h"
#include "support/clock/ClockGuard.h"

namespace fs = std::filesystem;

namespace {

using clockguard::LocalTime;

// One Palm appointment: start and end, a repeat when given.
CommDate Appointment(const char* szDescription, SYSTEMTIME stStart, SYSTEMTIME stEnd,
                     INT nType = REPEAT_NONE, UINT nInterval = 0, UINT nMask = 0,
                     UINT nDayOfMonth = 0, UINT nInstance = 0) {
  CommDate date{};
  CxCopyText(date.szDescription, szDescription);
  date.stStart = stStart;
  date.stEnd = stEnd;
  date.repeat.nType = nType;
  date.repeat.nInterval = nInterval;
  date.repeat.nDayOfWeekMask = nMask;
  date.repeat.nDayOfMonth = nDayOfMonth;
  date.repeat.nInstance = nInstance;
  if (nType == REPEAT_YEARLY_BY_DATE) date.repeat.nMonthOfYear = stStart.wMonth;
  date.nSource = SOURCE_PALM;
  return date;
}

CommDate AllDay(CommDate date) {
  date.bAllDay = 1;
  return date;
}

CommDate Until(CommDate date, SYSTEMTIME stEnd) {
  date.repeat.bHasEnd = 1;
  date.repeat.stPatternEnd = stEnd;
  return date;
}

using deltest::DeletedDays;
using deltest::DetachedCopy;

CommDate Deleting(CommDate date, std::vector<SYSTEMTIME> days) {
  deltest::SetDeletedDays(&date, days);
  return date;
}

// Every Palm repeat type, all-day and multi-day events and times near midnight, around the
// daylight-saving changes of 2011 (New York: March 13, November 6; Berlin: March 27,
// October 30). A Palm daily repeat carries a weekday value, as Palm Desktop writes it.
std::vector<CommDate> Schedule() {
  return {
      Deleting(Appointment("Weekly review", LocalTime(2011, 2, 1, 16), LocalTime(2011, 2, 1, 17),
                           REPEAT_WEEKLY, 1, DAYMASK_TUESDAY),
               {LocalTime(2011, 3, 15), LocalTime(2011, 3, 29), LocalTime(2011, 11, 1)}),
      Until(Appointment("Morning run", LocalTime(2011, 3, 1, 7), LocalTime(2011, 3, 1, 7, 30),
                        REPEAT_DAILY, 1, DAYMASK_TUESDAY),
            LocalTime(2011, 4, 15)),
      Until(Appointment("Late check", LocalTime(2011, 10, 20, 23, 15),
                        LocalTime(2011, 10, 20, 23, 55), REPEAT_DAILY, 3, DAYMASK_THURSDAY),
            LocalTime(2011, 11, 12)),
      Appointment("Early call", LocalTime(2011, 3, 6, 0, 5), LocalTime(2011, 3, 6, 0, 45),
                  REPEAT_WEEKLY, 2, DAYMASK_SUNDAY | DAYMASK_WEDNESDAY),
      Deleting(Until(Appointment("Gym", LocalTime(2011, 2, 28, 18), LocalTime(2011, 2, 28, 19),
                                 REPEAT_WEEKLY, 1, DAYMASK_MONDAY | DAYMASK_THURSDAY),
                     LocalTime(2011, 10, 31)),
               {LocalTime(2011, 2, 28)}),
      Appointment("Board", LocalTime(2011, 1, 28, 9), LocalTime(2011, 1, 28, 10),
                  REPEAT_MONTHLY_BY_DAY, 1, DAYMASK_FRIDAY, 0, 5),
      Appointment("Club", LocalTime(2011, 2, 8, 19), LocalTime(2011, 2, 8, 21),
                  REPEAT_MONTHLY_BY_DAY, 1, DAYMASK_TUESDAY, 0, 2),
      Deleting(AllDay(Appointment("Rent", LocalTime(2011, 1, 31), LocalTime(2011, 1, 31),
                                  REPEAT_MONTHLY_BY_DATE, 1, 0, 31)),
               {LocalTime(2011, 4, 30)}),
      Appointment("Invoice", LocalTime(2011, 1, 15, 10), LocalTime(2011, 1, 15, 11),
                  REPEAT_MONTHLY_BY_DATE, 2, 0, 15),
      AllDay(Appointment("Anniversary", LocalTime(2005, 6, 12), LocalTime(2005, 6, 12),
                         REPEAT_YEARLY_BY_DATE, 1, 0, 12)),
      AllDay(Appointment("Leap birthday", LocalTime(2008, 2, 29), LocalTime(2008, 2, 29),
                         REPEAT_YEARLY_BY_DATE, 1, 0, 29)),
      AllDay(Appointment("Holiday", LocalTime(2011, 7, 4), LocalTime(2011, 7, 4))),
      AllDay(Appointment("Conference", LocalTime(2011, 10, 29), LocalTime(2011, 10, 31))),
      Appointment("Flight", LocalTime(2011, 3, 27, 10), LocalTime(2011, 3, 27, 12)),
      Appointment("Night train", LocalTime(2011, 11, 5, 22, 30), LocalTime(2011, 11, 6, 7, 0)),
  };
}

const SYSTEMTIME kSpanFirst = LocalTime(2011, 2, 25);
const SYSTEMTIME kSpanLast = LocalTime(2011, 11, 15);

std::string DayText(const SYSTEMTIME& st) {
  char szText[32];
  std::snprintf(szText, sizeof(szText), "%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
  return szText;
}

// The record of that description in the set; null when there is none.
CommDate* Find(CommDateMgr* pSet, const char* szDescription) {
  for (int i = 0; i < pSet->GetCount(); ++i) {
    if (std::strcmp(pSet->GetAt(i)->szDescription, szDescription) == 0) return pSet->GetAt(i);
  }
  return nullptr;
}

// Occurrence starts by day: "HH:MM summary" or "all-day summary", sorted within the day.
using Occurrences = std::map<std::string, std::vector<std::string>>;

std::string Describe(const Occurrences& occurrences) {
  std::string strText;
  for (auto& [strDay, lines] : occurrences) {
    std::vector<std::string> sorted = lines;
    std::sort(sorted.begin(), sorted.end());
    strText += strDay;
    for (const std::string& strLine : sorted) strText += " | " + strLine;
    strText += "\n";
  }
  return strText;
}

// A summary as both sides can hold it: a record keeps 255 bytes, and the engine leaves some
// escapes of other programs in; the first words say which appointment it is.
std::string ComparableSummary(const std::string& strSummary) {
  std::string strOut;
  for (char ch : strSummary) {
    if (ch == '\\') continue;
    if (ch == '\n' || ch == '\r' || ch == '\t') ch = ' ';
    if (ch == ' ' && (strOut.empty() || strOut.back() == ' ')) continue;
    strOut.push_back(ch);
    if (strOut.size() >= 40) break;
  }
  while (!strOut.empty() && strOut.back() == ' ') strOut.pop_back();
  return strOut;
}

// What DayBridge's occurs tests list, day by day, for a record set.
Occurrences DayBridgeOccurrences(CommDateMgr* pSet, const SYSTEMTIME& stFirst = kSpanFirst,
                                 const SYSTEMTIME& stLast = kSpanLast) {
  Occurrences occurrences;
  for (SYSTEMTIME stDay = stFirst; CompareDate(&stDay, &stLast) <= 0; AddDays(&stDay, 1)) {
    for (int i = 0; i < pSet->GetCount(); ++i) {
      const CommDate* pDate = pSet->GetAt(i);
      if (!OccursInRange(pDate, &stDay, &stDay)) continue;
      char szTime[16] = "all-day";
      SYSTEMTIME stStart = pDate->stStart;
      if (!pDate->bAllDay) {
        OccurrenceStartOn(pDate, &stDay, &stStart);
        std::snprintf(szTime, sizeof(szTime), "%02u:%02u", stStart.wHour, stStart.wMinute);
      }
      std::string strLine =
          std::string(szTime) + " " + ComparableSummary(CxAnsiToUtf8(pDate->szDescription));
      while (strLine.back() == ' ') strLine.pop_back();
      occurrences[DayText(stDay)].push_back(strLine);
    }
  }
  return occurrences;
}

const char kExpandScript[] = R"(import sys, datetime, icalendar, recurring_ical_events
first = datetime.date.fromisoformat(sys.argv[2])
last = datetime.date.fromisoformat(sys.argv[3])
data = open(sys.argv[1], 'rb').read()
if data.startswith(b'\xef\xbb\xbf'):
    data = data[3:]
events = []
try:
    for calendar in icalendar.Calendar.from_ical(data, multiple=True):
        events += recurring_ical_events.of(calendar).between(
            first, last + datetime.timedelta(days=1))
except Exception as error:
    # The engine cannot read every file other programs write: no comparison then.
    print('ENGINE: %s' % str(error).replace('\n', ' '))
    sys.exit(0)
for event in events:
    start = event.decoded('DTSTART')
    if isinstance(start, datetime.datetime):
        if start.tzinfo is not None:
            start = start.astimezone()
        day, time = start.date(), start.strftime('%H:%M')
    else:
        day, time = start, 'all-day'
    if first <= day <= last:
        # As DayBridge holds a text: in the Windows code page, "?" for what it lacks.
        summary = str(event.get('SUMMARY', '')).encode('cp1252', 'replace').decode('cp1252')
        print('%s %s %s' % (day.isoformat(), time, ' '.join(summary.split())))
)";

// The same, as python3-recurring-ical-events expands the calendar file in this process's zone.
bool IndependentOccurrences(const fs::path& calendar, const fs::path& script,
                            Occurrences* pOccurrences, std::string* pstrError,
                            const SYSTEMTIME& stFirst = kSpanFirst,
                            const SYSTEMTIME& stLast = kSpanLast) {
  OutlookServerFold();
  std::ofstream(script) << kExpandScript;
  const std::string strCommand = "/usr/bin/python3 '" + script.string() + "' '" +
                                 calendar.string() + "' " + DayText(stFirst) + " " +
                                 DayText(stLast) + " 2>&1";
  FILE* pPipe = popen(strCommand.c_str(), "r");
  if (pPipe == nullptr) return false;
  char szLine[512];
  std::string strOutput;
  while (std::fgets(szLine, sizeof(szLine), pPipe) != nullptr) {
    std::string strLine = szLine;
    strOutput += strLine;
    if (!strLine.empty() && strLine.back() == '\n') strLine.pop_back();
    while (!strLine.empty() && strLine.back() == ' ') strLine.pop_back();
    const size_t nTimeEnd = strLine.find(' ', 11);
    if (strLine.size() > 11 && nTimeEnd != std::string::npos) {
      (*pOccurrences)[strLine.substr(0, 10)].push_back(
          strLine.substr(11, nTimeEnd - 11) + " " +
          ComparableSummary(strLine.substr(nTimeEnd + 1)));
    } else if (strLine.size() > 11) {
      (*pOccurrences)[strLine.substr(0, 10)].push_back(strLine.substr(11));
    }
  }
  if (pclose(pPipe) != 0) {
    *pstrError = strOutput;
    return false;
  }
  return true;
}

// The file as other programs see it, once the stand-in has written the saves it holds into it.
std::string ReadFile(const fs::path& path) {
  OutlookServerFold();
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

class CalendarFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string strName = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(strName.begin(), strName.end(), '/', '-');
    m_Dir =
        fs::temp_directory_path() / ("db-calfile-" + std::to_string(::getpid()) + "-" + strName);
    fs::remove_all(m_Dir);
    fs::create_directories(m_Dir);
    m_Datebook = m_Dir / "datebook.dat";
    m_Calendar = m_Dir / "Calendar.ics";
    setenv("DAYBRIDGE_OUTLOOK_CALENDAR", m_Calendar.c_str(), 1);
    g_DebugLog.SetFolder((m_Dir.string() + "/").c_str());
    CxRegSetText("", 0);
    m_bComInit = AppStartPlatform();
    std::memset(&m_Settings, 0, sizeof(m_Settings));
  }

  void TearDown() override {
    m_pCalendar.reset();
    m_History.Clear();
    AppStopPlatform(m_bComInit);
    CxRegSetText(nullptr, 0);
    fs::remove_all(m_Dir);
  }

  // An empty 4.1.4 datebook filled through the Palm store, as Palm Desktop would hold it.
  void WriteDatebook(const std::vector<CommDate>& records) {
    std::ofstream(m_Datebook, std::ios::binary).flush();  // a save replaces a file only
    ASSERT_TRUE(PmDateExUtil().SaveAs(m_Datebook.c_str()));
    PmDateInfo store;
    ASSERT_TRUE(store.LoadFile(m_Datebook.c_str()));
    for (CommDate date : records) ASSERT_TRUE(store.SyncRecord(&date)) << date.szDescription;
    ASSERT_TRUE(store.Save());
  }

  // Both calendars loaded afresh and matched, as at start-up.
  void Load() {
    m_pCalendar.reset();
    m_pCalendar = std::make_unique<AppCalendar>();
    CxList users;
    ASSERT_TRUE(m_pCalendar->Init(m_Settings, users, m_Datebook.c_str()));
    ASSERT_TRUE(m_pCalendar->IsPalmLoaded());
    ASSERT_TRUE(m_pCalendar->IsOutlookLoaded());
  }

  // A sync of every new and changed record the direction allows; the number transferred.
  int Sync(int nDirection, int nConflictAction = CONFLICT_SKIP) {
    m_Settings.SyncMode = nDirection;
    m_Settings.ConfAction = nConflictAction;
    CxList palmSel;
    CxList outlookSel;
    for (CommDateMgr* pSet : {m_pCalendar->GetPalmSet(), m_pCalendar->GetOutlookSet()}) {
      for (int i = 0; i < pSet->GetCount(); ++i) {
        CommDate* pDate = pSet->GetAt(i);
        const bool bFromPalm = pDate->nSource == SOURCE_PALM;
        const bool bAllowed =
            nDirection == SYNC_TWO_WAY || (nDirection == SYNC_PALM_TO_OUTLOOK) == bFromPalm;
        if (pDate->nMatchState != MATCH_SAME && bAllowed) {
          (bFromPalm ? palmSel : outlookSel).Add(pDate);
        }
      }
    }
    SyncRunCallbacks callbacks;
    m_strRunLog.clear();
    callbacks.log = [this](const char* szLine) { m_strRunLog += szLine; };
    SyncRun run(*m_pCalendar, m_Settings, m_History, callbacks);
    run.SetHistoryPath((m_Dir / "synchis.dat").c_str());
    run.Run(&palmSel, &outlookSel);
    m_nLastFailed = run.GetFailed();
    if (m_bExpectNoFailure) {
      EXPECT_EQ(run.GetFailed(), 0);
    }
    EXPECT_TRUE(run.GetSaveOk());
    return run.GetSynchronized();
  }

  bool m_bComInit = false;
  bool m_bExpectNoFailure = true;
  int m_nLastFailed = 0;
  std::string m_strRunLog;  // of the last Sync
  fs::path m_Dir;
  fs::path m_Datebook;
  fs::path m_Calendar;
  TAppSettings m_Settings;
  SyncHistoryMgr m_History;
  std::unique_ptr<AppCalendar> m_pCalendar;
};

class CalendarFileInZone : public CalendarFileTest,
                           public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    m_pZone = std::make_unique<clockguard::ZoneGuard>(GetParam());
    CalendarFileTest::SetUp();
    WriteDatebook(Schedule());
    Load();
    ASSERT_EQ(Sync(SYNC_PALM_TO_OUTLOOK), static_cast<int>(Schedule().size()));
  }
  void TearDown() override {
    CalendarFileTest::TearDown();
    m_pZone.reset();
  }
  std::unique_ptr<clockguard::ZoneGuard> m_pZone;
};

TEST_P(CalendarFileInZone, AnIndependentRecurrenceEngineSeesEveryDayAsDayBridgeDoes) {
  Occurrences independent;
  std::string strError;
  ASSERT_TRUE(IndependentOccurrences(m_Calendar, m_Dir / "expand.py", &independent, &strError))
      << strError;
  EXPECT_EQ(Describe(independent), Describe(DayBridgeOccurrences(m_pCalendar->GetPalmSet())))
      << ReadFile(m_Calendar);
}

TEST_P(CalendarFileInZone, AfterAReloadEveryPairIsTheSameAndNothingIsLeftToSync) {
  Load();
  for (CommDateMgr* pSet : {m_pCalendar->GetPalmSet(), m_pCalendar->GetOutlookSet()}) {
    ASSERT_EQ(pSet->GetCount(), static_cast<int>(Schedule().size()));
    for (int i = 0; i < pSet->GetCount(); ++i) {
      EXPECT_EQ(pSet->GetAt(i)->nMatchState, static_cast<UINT>(MATCH_SAME))
          << pSet->GetAt(i)->szDescription;
    }
  }
  const std::string strBefore = ReadFile(m_Calendar);
  EXPECT_EQ(Sync(SYNC_TWO_WAY), 0);
  EXPECT_EQ(ReadFile(m_Calendar), strBefore);
}

TEST_P(CalendarFileInZone, DeletedOccurrencesComeBackToAFreshDatebook) {
  const std::vector<std::string> expected = {"2011-03-15", "2011-03-29", "2011-11-01"};
  ASSERT_EQ(DeletedDays(*Find(m_pCalendar->GetOutlookSet(), "Weekly review")), expected);
  WriteDatebook({});
  Load();
  ASSERT_EQ(Sync(SYNC_OUTLOOK_TO_PALM), static_cast<int>(Schedule().size()));
  Load();
  EXPECT_EQ(DeletedDays(*Find(m_pCalendar->GetPalmSet(), "Weekly review")), expected);
  EXPECT_EQ(DeletedDays(*Find(m_pCalendar->GetPalmSet(), "Gym")),
            std::vector<std::string>{"2011-02-28"});
}

// One more occurrence deleted on one side makes the pair changed; a two-way sync in which
// that side wins brings the other side to the same list, and nothing is left after it.
struct DeletionCase {
  const char* szName;
  bool bOnPalm;
  int nConflictAction;
};

class DeletionOnOneSide : public CalendarFileTest,
                          public ::testing::WithParamInterface<DeletionCase> {};

TEST_P(DeletionOnOneSide, TravelsToTheOther) {
  const DeletionCase& c = GetParam();
  clockguard::ZoneGuard zone("Europe/Berlin");
  WriteDatebook(Schedule());
  Load();
  ASSERT_EQ(Sync(SYNC_PALM_TO_OUTLOOK), static_cast<int>(Schedule().size()));
  {
    CommDateMgr* pSet = c.bOnPalm ? m_pCalendar->GetPalmSet() : m_pCalendar->GetOutlookSet();
    CommDate date = DetachedCopy(*Find(pSet, "Weekly review"));
    const std::span<const SYSTEMTIME> kept = ExceptionDays(date.repeat);
    std::vector<SYSTEMTIME> days(kept.begin(), kept.end());
    days.push_back(LocalTime(2011, 6, 7));
    deltest::SetDeletedDays(&date, days);
    m_pCalendar.reset();
    if (c.bOnPalm) {
      PmDateInfo store;
      ASSERT_TRUE(store.LoadFile(m_Datebook.c_str()));
      ASSERT_TRUE(store.SyncRecord(&date));
      ASSERT_TRUE(store.Save());
    } else {
      OlDateUtil store;
      ASSERT_TRUE(store.Load());
      ASSERT_TRUE(store.SyncRecord(&date));
    }
  }
  Load();
  for (CommDateMgr* pSet : {m_pCalendar->GetPalmSet(), m_pCalendar->GetOutlookSet()}) {
    EXPECT_EQ(Find(pSet, "Weekly review")->nMatchState, static_cast<UINT>(MATCH_CHANGED));
    EXPECT_EQ(Find(pSet, "Gym")->nMatchState, static_cast<UINT>(MATCH_SAME));
  }
  ASSERT_EQ(Sync(SYNC_TWO_WAY, c.nConflictAction), 1) << "the pair, written once";
  Load();
  const std::vector<std::string> expected = {"2011-03-15", "2011-03-29", "2011-06-07",
                                             "2011-11-01"};
  EXPECT_EQ(DeletedDays(*Find(m_pCalendar->GetPalmSet(), "Weekly review")), expected);
  EXPECT_EQ(DeletedDays(*Find(m_pCalendar->GetOutlookSet(), "Weekly review")), expected);
  EXPECT_EQ(Sync(SYNC_TWO_WAY), 0);
}

INSTANTIATE_TEST_SUITE_P(Sides, DeletionOnOneSide,
                         ::testing::Values(DeletionCase{"InPalmDesktop", true, CONFLICT_PALM_WINS},
                                           DeletionCase{"InOutlook", false, CONFLICT_OUTLOOK_WINS}),
                         [](const ::testing::TestParamInfo<DeletionCase>& row) {
                           return row.param.szName;
                         });

// An earlier build carried no deleted occurrence to Outlook: such a pair shows as changed
// once, and after one sync stays the same.
TEST_F(CalendarFileTest, PairSyncedByAnEarlierBuildIsChangedOnce) {
  clockguard::ZoneGuard zone("Europe/Berlin");
  WriteDatebook(Schedule());
  Load();
  ASSERT_EQ(Sync(SYNC_PALM_TO_OUTLOOK), static_cast<int>(Schedule().size()));
  m_pCalendar.reset();
  std::string strText = ReadFile(m_Calendar);
  for (size_t nAt = strText.find("EXDATE"); nAt != std::string::npos;
       nAt = strText.find("EXDATE", nAt)) {
    strText.erase(nAt, strText.find('\n', nAt) + 1 - nAt);
  }
  std::ofstream(m_Calendar, std::ios::binary) << strText;
  Load();
  int nChanged = 0;
  for (int i = 0; i < m_pCalendar->GetPalmSet()->GetCount(); ++i) {
    nChanged += m_pCalendar->GetPalmSet()->GetAt(i)->nMatchState == MATCH_CHANGED ? 1 : 0;
  }
  EXPECT_EQ(nChanged, 3) << "the records with deleted occurrences";
  EXPECT_EQ(Sync(SYNC_PALM_TO_OUTLOOK, CONFLICT_PALM_WINS), 3);
  Load();
  EXPECT_EQ(Sync(SYNC_TWO_WAY), 0);
}

INSTANTIATE_TEST_SUITE_P(Zones, CalendarFileInZone,
                         ::testing::Values("America/New_York", "Europe/Berlin"),
                         [](const ::testing::TestParamInfo<const char*>& row) {
                           std::string strName = row.param;
                           strName.erase(0, strName.find('/') + 1);
                           return strName;
                         });

// "会议 with Łukasz 🎉", its note "… ✓" and a location in Chinese reach the datebook as
// question marks; syncs back and forth that change the location on the Palm side must leave
// the file's summary and note as the user wrote them.
TEST_F(CalendarFileTest, TextOutsideThePalmCodePageSurvivesSyncsBothWays) {
  clockguard::ZoneGuard zone("Europe/Berlin");
  const std::string strSummary = "\xe4\xbc\x9a\xe8\xae\xae with \xc5\x81ukasz \xf0\x9f\x8e\x89";
  const std::string strNote = "\xe2\x80\xa6 \xe2\x9c\x93";
  std::ofstream(m_Calendar, std::ios::binary)
      << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//EN\r\nBEGIN:VEVENT\r\nUID:u1\r\n"
         "DTSTAMP:20110301T120000Z\r\nDTSTART;TZID=Europe/Berlin:20110307T090000\r\n"
         "DTEND;TZID=Europe/Berlin:20110307T100000\r\nSUMMARY:"
      << strSummary << "\r\nDESCRIPTION:" << strNote
      << "\r\nLOCATION:\xe5\x8c\x97\xe4\xba\xac\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
  WriteDatebook({});
  Load();
  ASSERT_EQ(Sync(SYNC_OUTLOOK_TO_PALM), 1);
  for (int nRound = 1; nRound <= 3; ++nRound) {
    {
      PmDateInfo store;
      ASSERT_TRUE(store.LoadFile(m_Datebook.c_str()));
      CommDate date = *store.GetRecordSet()->GetAt(0);
      date.pExtra = nullptr;
      date.nExtraSize = 0;
      std::snprintf(date.szLocation, sizeof(date.szLocation), "Room %d", nRound);
      ASSERT_TRUE(store.SyncRecord(&date));
      ASSERT_TRUE(store.Save());
    }
    Load();
    ASSERT_EQ(Sync(SYNC_PALM_TO_OUTLOOK, CONFLICT_PALM_WINS), 1);
    const std::string strSaved = ReadFile(m_Calendar);
    EXPECT_NE(strSaved.find("SUMMARY:" + strSummary + "\r\n"), std::string::npos) << strSaved;
    EXPECT_NE(strSaved.find("DESCRIPTION:" + strNote + "\r\n"), std::string::npos) << strSaved;
    EXPECT_NE(strSaved.find("LOCATION:Room " + std::to_string(nRound) + "\r\n"), std::string::npos);
    Load();
    EXPECT_EQ(Sync(SYNC_TWO_WAY), 0);
  }
}

// A trip, or a machine whose zone is changed: a record synced two-way in one zone, then run
// again in others. Timed records are instants on both sides and may show on another day,
// but both sides alike; all-day records are dates and stay. Nothing is new, changed or copied.
struct ZoneChangeCase {
  const char* szName;
  CommDate record;
  const char* szWrittenIn;
  const char* szThenIn;
  const char* szDays;  // as both sides show it in the zone it was written in
};

void PrintTo(const ZoneChangeCase& c, std::ostream* pOut) {
  *pOut << c.szName;
}

class ZoneChange : public CalendarFileTest, public ::testing::WithParamInterface<ZoneChangeCase> {};

// "start | end | deleted days" of the first record of a set.
std::string Days(CommDateMgr* pSet) {
  const CommDate* pDate = pSet->GetAt(0);
  std::string strText = DayText(pDate->stStart) + " | " + DayText(pDate->stEnd) + " |";
  for (const std::string& strDay : DeletedDays(*pDate)) strText += " " + strDay;
  return strText;
}

TEST_P(ZoneChange, TransfersNothingAndMovesNoDate) {
  const ZoneChangeCase& c = GetParam();
  std::string strWritten;
  {
    clockguard::ZoneGuard zone(c.szWrittenIn);
    WriteDatebook({c.record});
    Load();
    ASSERT_EQ(Sync(SYNC_TWO_WAY), 1);
    Load();
    strWritten = Days(m_pCalendar->GetPalmSet());
    EXPECT_EQ(strWritten, c.szDays);
  }
  for (const char* szZone : {c.szThenIn, c.szWrittenIn, c.szThenIn, c.szWrittenIn}) {
    clockguard::ZoneGuard zone(szZone);
    Load();
    for (CommDateMgr* pSet : {m_pCalendar->GetPalmSet(), m_pCalendar->GetOutlookSet()}) {
      ASSERT_EQ(pSet->GetCount(), 1) << szZone;
      EXPECT_EQ(pSet->GetAt(0)->nMatchState, static_cast<UINT>(MATCH_SAME)) << szZone;
      EXPECT_EQ(Days(pSet), Days(m_pCalendar->GetPalmSet())) << szZone;
      if (c.record.bAllDay || std::strcmp(szZone, c.szWrittenIn) == 0) {
        EXPECT_EQ(Days(pSet), strWritten) << szZone;
      }
    }
    EXPECT_EQ(Sync(SYNC_TWO_WAY, CONFLICT_PALM_WINS), 0) << szZone;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Trips, ZoneChange,
    ::testing::Values(
        ZoneChangeCase{"EndBeforeStartNewYorkThenLondon",
                       Appointment("Night shift", LocalTime(2011, 3, 8, 23),
                                   LocalTime(2011, 3, 8, 2), REPEAT_WEEKLY, 1, DAYMASK_TUESDAY),
                       "America/New_York", "Europe/London", "2011-03-08 | 2011-03-09 |"},
        ZoneChangeCase{
            "DeletedOccurrenceNewYorkThenKiritimati",
            Deleting(Appointment("Review", LocalTime(2011, 2, 1, 16), LocalTime(2011, 2, 1, 17),
                                 REPEAT_WEEKLY, 1, DAYMASK_TUESDAY),
                     {LocalTime(2011, 3, 15)}),
            "America/New_York", "Pacific/Kiritimati", "2011-02-01 | 2011-02-01 | 2011-03-15"},
        ZoneChangeCase{
            "AllDayKolkataThenLosAngeles",
            Deleting(AllDay(Appointment("Rent", LocalTime(2011, 1, 31), LocalTime(2011, 1, 31),
                                        REPEAT_MONTHLY_BY_DATE, 1, 0, 31)),
                     {LocalTime(2011, 4, 30)}),
            "Asia/Kolkata", "America/Los_Angeles", "2011-01-31 | 2011-01-31 | 2011-04-30"}),
    [](const ::testing::TestParamInfo<ZoneChangeCase>& row) { return row.param.szName; });

}  // namespace

// A series another program keeps in UTC or in another zone steps at its own zone's clock:
// seen from here it moves an hour when either zone's clock changes, and over midnight with
// it. Each row was stepped at one local clock time before, and the engine disagrees then.
struct ZonedSeriesCase {
  const char* szName;
  const char* szLocalZone;
  const char* szEventLines;
};

class ZonedSeries : public CalendarFileTest,
                    public ::testing::WithParamInterface<ZonedSeriesCase> {};

TEST_P(ZonedSeries, ShowsTheDaysAndTimesAnIndependentEngineSees) {
  clockguard::ZoneGuard zone(GetParam().szLocalZone);
  std::ofstream(m_Calendar, std::ios::binary)
      << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//EN\r\nBEGIN:VEVENT\r\n"
         "UID:zoned-1\r\nDTSTAMP:20110101T000000Z\r\nSUMMARY:Zoned\r\n"
      << GetParam().szEventLines << "END:VEVENT\r\nEND:VCALENDAR\r\n";
  WriteDatebook({});
  Load();
  Occurrences independent;
  std::string strError;
  ASSERT_TRUE(IndependentOccurrences(m_Calendar, m_Dir / "expand.py", &independent, &strError))
      << strError;
  EXPECT_EQ(Describe(DayBridgeOccurrences(m_pCalendar->GetOutlookSet())), Describe(independent));
  // The Palm gets the series at its start's clock time, which the run tells, and the pair
  // then stays settled.
  ASSERT_EQ(Sync(SYNC_OUTLOOK_TO_PALM), 1);
  EXPECT_NE(m_strRunLog.find("Palm Desktop keeps it at"), std::string::npos) << m_strRunLog;
  Load();
  EXPECT_EQ(Sync(SYNC_TWO_WAY), 0);
}

INSTANTIATE_TEST_SUITE_P(
    OtherPrograms, ZonedSeries,
    ::testing::Values(
        ZonedSeriesCase{"NewYorkMondaysFromBerlin", "Europe/Berlin",
                        "DTSTART;TZID=America/New_York:20110307T090000\r\nDURATION:PT1H\r\n"
                        "RRULE:FREQ=WEEKLY;BYDAY=MO\r\n"},
        ZonedSeriesCase{"UtcDailyFromNewYork", "America/New_York",
                        "DTSTART:20110301T120000Z\r\nDURATION:PT30M\r\n"
                        "RRULE:FREQ=DAILY;INTERVAL=3\r\n"},
        ZonedSeriesCase{"SydneyWeekdaysFromNewYork", "America/New_York",
                        "DTSTART;TZID=Australia/Sydney:20110301T093000\r\nDURATION:PT15M\r\n"
                        "RRULE:FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR;UNTIL=20111101T000000Z\r\n"},
        ZonedSeriesCase{"BerlinDawnCrossesMidnightInNewYork", "America/New_York",
                        "DTSTART;TZID=Europe/Berlin:20110301T053000\r\nDURATION:PT1H\r\n"
                        "RRULE:FREQ=WEEKLY;BYDAY=TU\r\n"
                        "EXDATE;TZID=Europe/Berlin:20110315T053000\r\n"}),
    [](const ::testing::TestParamInfo<ZonedSeriesCase>& row) { return row.param.szName; });

// "The second Thursday at 03:00 UTC" falls on the Wednesday before it in New York, which is
// not always the second Wednesday: such a series is passed over, never shown on other days.
TEST_F(CalendarFileTest, NthWeekdayOfAnotherZonesDayIsPassedOverNotMoved) {
  for (const auto& [szZone, nShown] : {std::pair{"America/New_York", 0}, {"Europe/Berlin", 1}}) {
    clockguard::ZoneGuard zone(szZone);
    std::ofstream(m_Calendar, std::ios::binary)
        << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//EN\r\nBEGIN:VEVENT\r\n"
           "UID:nth\r\nDTSTAMP:20030101T000000Z\r\nSUMMARY:User group\r\n"
           "DTSTART:20030313T030000Z\r\nRRULE:FREQ=MONTHLY;COUNT=12;BYDAY=2TH\r\n"
           "END:VEVENT\r\nEND:VCALENDAR\r\n";
    WriteDatebook({});
    Load();
    EXPECT_EQ(m_pCalendar->GetOutlookSet()->GetCount(), nShown) << szZone;
  }
}

// Google's holiday files give an all-day series instances named by a UTC midnight, which is
// the series' day east of Greenwich only: they took that day from it there (and a rewrite of
// the series then failed to delete it), and stood beside it west of Greenwich.
TEST_F(CalendarFileTest, InstanceNamedByATimeLeavesADateSeriesWhole) {
  for (const char* szZone : {"America/New_York", "Europe/Berlin"}) {
    clockguard::ZoneGuard zone(szZone);
    m_pCalendar.reset();
    std::ofstream(m_Calendar, std::ios::binary)
        << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//EN\r\n"
           "BEGIN:VEVENT\r\nUID:ny\r\nDTSTAMP:20060101T000000Z\r\nSUMMARY:New Year\r\n"
           "DTSTART;VALUE=DATE:20020101\r\nRRULE:FREQ=YEARLY\r\nEND:VEVENT\r\n"
           "BEGIN:VEVENT\r\nUID:ny\r\nDTSTAMP:20060101T000000Z\r\nSUMMARY:New Year\r\n"
           "RECURRENCE-ID:20030101T000000Z\r\nDTSTART;VALUE=DATE:20030101\r\nEND:VEVENT\r\n"
           "END:VCALENDAR\r\n";
    WriteDatebook({});
    Load();
    CommDate series = *Find(m_pCalendar->GetOutlookSet(), "New Year");
    const SYSTEMTIME stDay = LocalTime(2003, 1, 1);
    EXPECT_TRUE(OccursOnDay(&series, &stDay)) << szZone;
    series.pExtra = nullptr;
    series.nExtraSize = 0;
    series.nSource = SOURCE_PALM;
    CxCopyText(series.szLocation, szZone);
    EXPECT_TRUE(m_pCalendar->WriteToOutlook(&series)) << m_pCalendar->GetOutlookFailure().szText;
  }
}

namespace {

// Calendars other programs wrote, from the shared test files: each must load, show the days
// an independent recurrence engine sees, take a forced rewrite of one property per item
// without any other line changing, and settle after one two-way run.
std::vector<std::string> RealCalendars() {
  std::vector<std::string> names;
  const fs::path folder = fs::path(DB_SHARED_TESTDATA_DIR) / "ics-real";
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (entry.path().extension() == ".ics") names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  if (names.empty()) names.push_back("");  // one case that skips
  return names;
}

// The days compared: a year from the earliest start among the items.
// Holiday files anchor their rules centuries back (1753); the days compared start at the
// earliest start from 1970 on, where a calendar's own appointments are.
void SampleSpan(CommDateMgr* pSet, SYSTEMTIME* pFirst, SYSTEMTIME* pLast) {
  *pFirst = LocalTime(2100, 1, 1);
  const SYSTEMTIME stEra = LocalTime(1970, 1, 1);
  for (int i = 0; i < pSet->GetCount(); ++i) {
    SYSTEMTIME stDay = pSet->GetAt(i)->stStart;
    stDay.wHour = stDay.wMinute = stDay.wSecond = stDay.wMilliseconds = 0;
    if (CompareDate(&stDay, pFirst) < 0 && CompareDate(&stDay, &stEra) >= 0) *pFirst = stDay;
  }
  *pLast = *pFirst;
  AddDays(pLast, 365);
}

// Files whose run still falls short, each with what is wrong, so that any other file that
// falls short fails the test. The figures of these are printed all the same.
struct RealCalendarGap {
  const char* szFile;
  const char* szWhy;
};
const RealCalendarGap kRealCalendarGaps[] = {
    {"34_libical_zday.ics", "a fuzzing case whose components do not nest: refused, line named"},
    {"37_libical_recur-errors.ics", "a bare VEVENT without a VCALENDAR: refused as no calendar"},
};

const char* RealCalendarGapOf(const std::string& strName) {
  for (const RealCalendarGap& gap : kRealCalendarGaps) {
    if (strName == gap.szFile) return gap.szWhy;
  }
  return nullptr;
}

// The logical lines of a text, by name, that a rewrite of the location may change.
bool OwnedByLocationRewrite(const std::string& strName) {
  return strName == "LOCATION" || strName == "DTSTAMP" || strName == "LAST-MODIFIED" ||
         strName == "SEQUENCE";
}

}  // namespace

class RealCalendarTest
    : public CalendarFileTest,
      public ::testing::WithParamInterface<std::tuple<std::string, const char*>> {
 protected:
  void SetUp() override {
    m_pZone = std::make_unique<clockguard::ZoneGuard>(std::get<1>(GetParam()));
    CalendarFileTest::SetUp();
  }
  void TearDown() override {
    CalendarFileTest::TearDown();
    m_pZone.reset();
  }
  std::unique_ptr<clockguard::ZoneGuard> m_pZone;
};

TEST_P(RealCalendarTest, LoadsShowsTheEnginesDaysRewritesOnlyWhatChangedAndSettles) {
  const std::string strName = std::get<0>(GetParam());
  if (strName.empty()) GTEST_SKIP() << "the shared calendars of other programs are not here";
  if (!fs::exists("/usr/bin/python3")) GTEST_SKIP() << "python3-recurring-ical-events missing";
  if (const char* szGap = RealCalendarGapOf(strName)) GTEST_SKIP() << "known gap: " << szGap;
  fs::copy_file(fs::path(DB_SHARED_TESTDATA_DIR) / "ics-real" / strName, m_Calendar);
  // The shared files are read-only; the user's own calendar is not.
  fs::permissions(m_Calendar, fs::perms::owner_write, fs::perm_options::add);
  const std::string strOriginal = ReadFile(m_Calendar);
  WriteDatebook({});
  Load();
  CommDateMgr* pOutlook = m_pCalendar->GetOutlookSet();

  SYSTEMTIME stFirst{};
  SYSTEMTIME stLast{};
  SampleSpan(pOutlook, &stFirst, &stLast);
  Occurrences independent;
  std::string strError;
  ASSERT_TRUE(IndependentOccurrences(m_Calendar, m_Dir / "expand.py", &independent, &strError,
                                     stFirst, stLast))
      << strError;
  const bool bEngineRead = std::none_of(independent.begin(), independent.end(), [](auto& day) {
    return day.first.rfind("ENGINE:", 0) == 0;
  });
  const Occurrences ours = DayBridgeOccurrences(pOutlook, stFirst, stLast);
  std::set<std::string> days;
  for (const auto& [strDay, lines] : independent) days.insert(strDay);
  for (const auto& [strDay, lines] : ours) days.insert(strDay);
  size_t nAgree = 0;
  for (const std::string& strDay : days) {
    Occurrences a{
        {strDay, independent.count(strDay) ? independent.at(strDay) : std::vector<std::string>{}}};
    Occurrences b{{strDay, ours.count(strDay) ? ours.at(strDay) : std::vector<std::string>{}}};
    if (Describe(a) == Describe(b)) ++nAgree;
  }
  if (bEngineRead) {
    std::printf("[ REAL     ] %s %s: %zu of %zu days agree\n", strName.c_str(),
                std::get<1>(GetParam()), nAgree, days.size());
  } else {
    std::printf("[ REAL     ] %s: the independent engine cannot read it\n", strName.c_str());
  }

  // A forced rewrite: every item's location, carried as "Palm Desktop overwrites" would.
  for (int i = 0; i < pOutlook->GetCount(); ++i) {
    CommDate changed = *pOutlook->GetAt(i);
    changed.pExtra = nullptr;
    changed.nExtraSize = 0;
    changed.nSource = SOURCE_PALM;
    CxCopyText(changed.szLocation, "Rewritten by DayBridge");
    // False without a reason is an appointment the calendar already holds as it is now
    // (twins of one title and day); a reason is a failed write.
    if (!m_pCalendar->WriteToOutlook(&changed)) {
      EXPECT_STREQ(m_pCalendar->GetOutlookFailure().szText, "") << changed.szDescription;
    }
  }
  m_pCalendar.reset();
  const std::string strRewritten = ReadFile(m_Calendar);
  size_t nFrom = 0;
  for (const OlIcsLine& line : OlSplitIcsLines(strOriginal)) {
    if (OwnedByLocationRewrite(line.strName) || line.strName.empty()) continue;
    const std::string strRaw = strOriginal.substr(line.nBegin, line.nEnd - line.nBegin);
    const size_t nAt = strRewritten.find(strRaw, nFrom);
    ASSERT_NE(nAt, std::string::npos) << "lost or moved: " << strRaw;
    nFrom = nAt + strRaw.size();
  }
  Load();
  // Every item took the location, or a twin of its title and start did in its place.
  CommDateMgr* pReread = m_pCalendar->GetOutlookSet();
  for (int i = 0; i < pReread->GetCount(); ++i) {
    const CommDate* pDate = pReread->GetAt(i);
    bool bWritten = false;
    for (int j = 0; j < pReread->GetCount() && !bWritten; ++j) {
      const CommDate* pTwin = pReread->GetAt(j);
      bWritten = std::strcmp(pTwin->szLocation, "Rewritten by DayBridge") == 0 &&
                 (i == j || (std::strcmp(pTwin->szDescription, pDate->szDescription) == 0 &&
                             CompareDate(&pTwin->stStart, &pDate->stStart) == 0));
    }
    EXPECT_TRUE(bWritten) << pDate->szDescription;
  }

  // One two-way run brings the items to the Palm (a datebook holds no date before 1970:
  // those fail, with their reason); a second one finds nothing new to do.
  m_bExpectNoFailure = false;
  Sync(SYNC_TWO_WAY);
  const int nCannotHold = m_nLastFailed;
  m_pCalendar.reset();
  const std::string strSynced = ReadFile(m_Calendar);
  Load();
  EXPECT_EQ(Sync(SYNC_TWO_WAY), 0);
  EXPECT_EQ(m_nLastFailed, nCannotHold);
  m_pCalendar.reset();
  EXPECT_EQ(ReadFile(m_Calendar), strSynced);
}

INSTANTIATE_TEST_SUITE_P(
    OtherPrograms, RealCalendarTest,
    ::testing::Combine(::testing::ValuesIn(RealCalendars()),
                       ::testing::Values("America/New_York", "Europe/Berlin")),
    [](const ::testing::TestParamInfo<std::tuple<std::string, const char*>>& row) {
      std::string strName = std::get<0>(row.param).substr(0, std::get<0>(row.param).find('.')) +
                            "_" + std::get<1>(row.param);
      for (char& ch : strName) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return strName.empty() ? std::string("none") : strName;
    });
