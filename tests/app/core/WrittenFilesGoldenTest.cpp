// What a first sync writes besides the datebook, compared byte for byte with the golden files
// under tests/data/: the Outlook calendar file, the history "synchis.dat" and the settings file
// saved at exit. The zone, "now" and the item identifiers are fixed, so the output is the same
// on every machine; scripts/golden writes the files anew. The zone is Tokyo's: its rules have
// not changed since 1951, so the zone block the file carries does not move with the machine's
// time-zone data.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/core/AppCalendar.h"
#include "app/core/AppProcess.h"
#include "app/core/AppSettings.h"
#include "app/core/SyncHistory.h"
#include "app/core/SyncRun.h"
#include "common/calendar/CommDateMgr.h"
#include "common/misc/CxDebugUtil.h"
#include "common/misc/CxIniUtil.h"
#include "common/palm/PalmDateEx.h"
#include "common/palm/PalmDateInfo.h"
#include "platform/automation/ComRuntime.h"
#include "platform/outlook/OutlookServer.h"
#include "platform/win/WinRegistry.h"
#include "platform/win/WinString.h"
#include "support/clock/ClockGuard.h"
#include "support/files/TempFolder.h"
#include "support/golden/GoldenFile.h"

namespace {

using clockguard::LocalTime;

CommDate Record(const char* szDescription, SYSTEMTIME stStart, SYSTEMTIME stEnd) {
  CommDate date{};
  CxCopyText(date.szDescription, szDescription);
  date.stStart = stStart;
  date.stEnd = stEnd;
  date.nSource = SOURCE_PALM;
  return date;
}

// One of each kind the calendar file writes differently: a timed single, an all-day span with
// a note and an alarm, a weekly repeat with an end and a deleted occurrence, a monthly last-weekday
// repeat and a yearly all-day one, and text of the Palm code page outside ASCII.
std::vector<CommDate> Schedule() {
  CommDate call = Record(
      "Call J\xfc"
      "rgen",
      LocalTime(2026, 3, 27, 9, 30), LocalTime(2026, 3, 27, 10));
  CommDate trip = Record("Trip to Lyon", LocalTime(2026, 5, 14), LocalTime(2026, 5, 16));
  trip.bAllDay = 1;
  CxCopyText(trip.szNote, "Train 8:12, seat 42\r\nHotel near the station");
  trip.bAlarm = 1;
  trip.bAdvance = 1;
  trip.nAdvance = 1;
  trip.nAdvanceUnit = ADVANCE_DAYS;
  CommDate gym = Record("Gym", LocalTime(2026, 1, 5, 18), LocalTime(2026, 1, 5, 19));
  gym.repeat.nType = REPEAT_WEEKLY;
  gym.repeat.nInterval = 1;
  gym.repeat.nDayOfWeekMask = DAYMASK_MONDAY | DAYMASK_THURSDAY;
  gym.repeat.bHasEnd = 1;
  gym.repeat.stPatternEnd = LocalTime(2026, 6, 30);
  const SYSTEMTIME stEasterMonday = LocalTime(2026, 4, 6);
  SetExceptionDays(&gym.repeat, &stEasterMonday, 1);
  CommDate board = Record("Board", LocalTime(2026, 1, 30, 9), LocalTime(2026, 1, 30, 10, 30));
  board.repeat.nType = REPEAT_MONTHLY_BY_DAY;
  board.repeat.nInterval = 1;
  board.repeat.nDayOfWeekMask = DAYMASK_FRIDAY;
  board.repeat.nInstance = 5;
  CommDate birthday = Record("Zo\xeb's birthday", LocalTime(1990, 2, 28), LocalTime(1990, 2, 28));
  birthday.bAllDay = 1;
  birthday.repeat.nType = REPEAT_YEARLY_BY_DATE;
  birthday.repeat.nInterval = 1;
  birthday.repeat.nDayOfMonth = 28;
  birthday.repeat.nMonthOfYear = 2;
  return {call, trip, gym, board, birthday};
}

class WrittenFilesGolden : public ::testing::Test {
 protected:
  void SetUp() override {
    m_strDatebook = m_Folder.Path() + "/datebook.dat";
    m_strCalendar = m_Folder.Path() + "/Calendar.ics";
    setenv("DAYBRIDGE_OUTLOOK_CALENDAR", m_strCalendar.c_str(), 1);
    g_DebugLog.SetFolder((m_Folder.Path() + "/").c_str());
    CxRegSetText("", 0);
    CxSeedGuids(20261209);
    m_bComInit = AppStartPlatform();
    std::memset(&m_Settings, 0, sizeof(m_Settings));
  }
  void TearDown() override {
    m_History.Clear();
    AppStopPlatform(m_bComInit);
    CxRegSetText(nullptr, 0);
    unsetenv("DAYBRIDGE_OUTLOOK_CALENDAR");
  }

  clockguard::ZoneGuard m_Zone{"Asia/Tokyo"};
  clockguard::FixedNow m_Now{LocalTime(2026, 12, 9, 10, 15, 30)};
  dbtest::TempFolder m_Folder;
  std::string m_strDatebook;
  std::string m_strCalendar;
  bool m_bComInit = false;
  TAppSettings m_Settings;
  SyncHistoryMgr m_History;
};

TEST_F(WrittenFilesGolden, FirstSyncWritesTheCalendarFileTheHistoryAndTheSettings) {
  {
    std::FILE* pEmpty = std::fopen(m_strDatebook.c_str(), "wb");  // a save replaces a file only
    ASSERT_NE(pEmpty, nullptr);
    std::fclose(pEmpty);
    ASSERT_TRUE(PmDateExUtil().SaveAs(m_strDatebook.c_str()));
    PmDateInfo store;
    ASSERT_TRUE(store.LoadFile(m_strDatebook.c_str()));
    for (CommDate date : Schedule()) ASSERT_TRUE(store.SyncRecord(&date)) << date.szDescription;
    ASSERT_TRUE(store.Save());
  }
  {
    AppCalendar calendar;
    CxList users;
    ASSERT_TRUE(calendar.Init(m_Settings, users, m_strDatebook.c_str()));
    m_Settings.SyncMode = SYNC_PALM_TO_OUTLOOK;
    m_Settings.ConfAction = CONFLICT_PALM_WINS;
    CxList palmSel;
    CxList outlookSel;
    for (int i = 0; i < calendar.GetPalmSet()->GetCount(); ++i) {
      palmSel.Add(calendar.GetPalmSet()->GetAt(i));
    }
    SyncRun run(calendar, m_Settings, m_History, SyncRunCallbacks());
    const std::string strHistory = m_Folder.Path() + "/" + HISTORY_FILE_NAME;
    run.SetHistoryPath(strHistory.c_str());
    run.Run(&palmSel, &outlookSel);
    ASSERT_TRUE(run.GetSaveOk());
    ASSERT_EQ(run.GetSynchronized(), static_cast<int>(Schedule().size()));
    OutlookServerFold();
    EXPECT_TRUE(golden::FileMatchesGolden("first-sync-calendar.ics", m_strCalendar));
    EXPECT_TRUE(golden::FileMatchesGolden("first-sync-synchis.dat", strHistory));
  }

  // The settings as that run leaves them, saved at exit.
  const std::string strOldIni = g_AppIni.GetPath();
  const std::string strIni = m_Folder.Path() + "/" + APP_SETTINGS_FILE;
  g_AppIni.SetPath(strIni.c_str());
  LoadSettings();
  AppSettings.SyncMode = m_Settings.SyncMode;
  AppSettings.ConfAction = m_Settings.ConfAction;
  AppSettings.PDUserID = 2;
  AppSettings.UseDateFile = 1;
  CxCopyText(AppSettings.DateFileName, "/home/zoe/Palm/datebook.dat");
  const bool bSaved = SaveSettings();
  g_AppIni.SetPath(strOldIni.c_str());
  ASSERT_TRUE(bSaved);
  EXPECT_TRUE(golden::FileMatchesGolden("settings-after-first-sync.ini", strIni));
}

}  // namespace
