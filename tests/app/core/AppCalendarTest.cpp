// Start-up and calendar initialization on a generated environment: the user chosen from the
// stored id, which calendar is loaded, matching both ways, and the day queries.
#include "app/core/AppCalendar.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/core/AppMessages.h"
#include "app/core/AppStartup.h"
#include "app/core/PalmUsers.h"
#include "common/misc/CxDebugUtil.h"
#include "common/palm/PalmDateInfo.h"
#include "platform/win/WinOs.h"
#include "platform/win/WinString.h"
#include "support/clock/ClockGuard.h"
#include "support/demo/DemoEnvironment.h"
#include "support/log/LogMask.h"

#ifdef DB_DEMO_PATH

namespace fs = std::filesystem;

namespace {

using clockguard::LocalTime;

class CalendarInit : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_pZone = std::make_unique<clockguard::ZoneGuard>("Europe/Paris");
    s_pDemo = std::make_unique<DemoEnvironment>("appcal");
    ASSERT_TRUE(s_pDemo->IsReady());
  }
  static void TearDownTestSuite() {
    s_pDemo.reset();
    s_pZone.reset();
  }
  void SetUp() override {
    m_Previous = SetUserErrorHandler([this](const char* szText) { m_vMessages.push_back(szText); });
    AppStartup(m_Env);
  }
  void TearDown() override {
    AppShutdown(&m_Calendar, false);
    AppLeaveApartment(m_Env);
    SetUserErrorHandler(m_Previous);
  }

  static std::unique_ptr<clockguard::ZoneGuard> s_pZone;
  static std::unique_ptr<DemoEnvironment> s_pDemo;
  AppEnvironment m_Env;
  AppCalendar m_Calendar;
  std::vector<std::string> m_vMessages;
  UserErrorHandler m_Previous;
};

std::unique_ptr<clockguard::ZoneGuard> CalendarInit::s_pZone;
std::unique_ptr<DemoEnvironment> CalendarInit::s_pDemo;

TEST_F(CalendarInit, StartUpFindsTheEnvironmentAndMatchesBothWays) {
  EXPECT_TRUE(m_Env.bDataFolder);
  EXPECT_EQ(m_Env.nPalmFolderResult, 0);
  EXPECT_TRUE(m_Env.bPalmUsers);
  EXPECT_EQ(AppSettings.PDUserID, 1001);  // stored by the demo's first run
  ASSERT_TRUE(m_Calendar.Init(AppSettings, GetPalmUsers()));
  EXPECT_TRUE(m_vMessages.empty());
  EXPECT_EQ(m_Calendar.GetPalmKind(), PALM_KIND_DATEBOOK_EX);
  ASSERT_NE(m_Calendar.GetPalmSelection(), nullptr);
  EXPECT_EQ(m_Calendar.GetPalmSelection()->GetCount(), 0u);

  // Matching ran both ways: each changed record points at its counterpart on the other side.
  int nChanged = 0;
  for (CommDate* pDate = m_Calendar.GetPalmSet()->GetFirst(); pDate != nullptr;
       pDate = m_Calendar.GetPalmSet()->GetNext()) {
    if (pDate->nMatchState != MATCH_CHANGED) continue;
    ++nChanged;
    ASSERT_NE(pDate->pPeer, nullptr);
    EXPECT_EQ(pDate->pPeer->nSource, SOURCE_OUTLOOK);
    EXPECT_EQ(pDate->pPeer->pPeer, pDate);
  }
  EXPECT_EQ(nChanged, 2);
}

struct UserCase {
  const char* szName;
  INT nStoredId;
  INT nIdAfter;
  bool bPalmLoaded;
};

class CalendarUsers : public CalendarInit, public ::testing::WithParamInterface<UserCase> {};

TEST_P(CalendarUsers, LoadsTheCalendarOfTheStoredId) {
  AppSettings.PDUserID = GetParam().nStoredId;
  EXPECT_TRUE(m_Calendar.Init(AppSettings, GetPalmUsers()));
  EXPECT_EQ(AppSettings.PDUserID, GetParam().nIdAfter);
  EXPECT_EQ(m_Calendar.IsPalmLoaded(), GetParam().bPalmLoaded);
  EXPECT_TRUE(m_Calendar.IsOutlookLoaded());
  if (!GetParam().bPalmLoaded) {
    // A failed Palm load leaves an empty set: every Outlook record is new.
    EXPECT_EQ(m_Calendar.GetPalmSet()->GetCount(), 0);
    for (CommDate* pDate = m_Calendar.GetOutlookSet()->GetFirst(); pDate != nullptr;
         pDate = m_Calendar.GetOutlookSet()->GetNext()) {
      EXPECT_EQ(pDate->nMatchState, MATCH_NEW);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ids, CalendarUsers,
    ::testing::Values(UserCase{"NoneStoredTakesTheFirstUser", 0, 1001, true},
                      // Bruno's datebook has the earlier layout: the installed 4.1.4 loader
                      // refuses it and the earlier one reads it.
                      UserCase{"SecondUserWithEarlierLayout", 1002, 1002, true},
                      UserCase{"ThirdUser", 1003, 1003, true},
                      UserCase{"UnknownIdIsKept", 4, 4, false}),
    [](const ::testing::TestParamInfo<UserCase>& tpi) { return tpi.param.szName; });

TEST_F(CalendarInit, ChosenFileWinsOverTheUser) {
  std::string sBruno = s_pDemo->Path("palm/Bruno/datebook/datebook.dat");
  AppSettings.UseDateFile = 1;
  CxCopyText(AppSettings.DateFileName, sBruno.c_str());
  ASSERT_TRUE(m_Calendar.Init(AppSettings, GetPalmUsers()));
  EXPECT_EQ(m_Calendar.GetPalmKind(), PALM_KIND_DATEBOOK);
  // The tool's file option wins over the settings in turn.
  std::string sAlice = s_pDemo->Path("palm/Alice/datebook/datebook.dat");
  EXPECT_TRUE(m_Calendar.LoadPalm(AppSettings, sAlice.c_str()));
  EXPECT_EQ(m_Calendar.GetPalmKind(), PALM_KIND_DATEBOOK_EX);
}

// The log of an initialization, masked; bOneThread loads the two calendars one after the other
// (a fault plan that never fires is installed for it).
std::string InitLog(const std::string& strFolder, bool bOneThread) {
  const std::string strLog = strFolder + g_DebugLog.GetFileName();
  std::remove(strLog.c_str());
  const CX_OS_FAULT_PLAN never{.nNth = -1};
  if (bOneThread) CxOsSetFaultPlan(&never);
  {
    AppCalendar calendar;
    EXPECT_TRUE(calendar.Init(AppSettings, GetPalmUsers()));
  }
  CxOsSetFaultPlan(nullptr);
  std::ifstream in(strLog, std::ios::binary);
  return dbtest::MaskLogRun(
      std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

TEST_F(CalendarInit, LoadsSideBySideLogAsOneAfterTheOther) {
  // An Outlook calendar long enough to be read beside the Palm calendar.
  std::ifstream in(std::getenv("DAYBRIDGE_OUTLOOK_CALENDAR"), std::ios::binary);
  std::string strCalendar((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t nEnd = strCalendar.rfind("END:VCALENDAR");
  ASSERT_NE(nEnd, std::string::npos);
  std::string strPadding;
  while (strPadding.size() < 128 * 1024)
    strPadding += "X-DAYBRIDGE-PADDING:" + std::string(60, 'x') + "\r\n";
  strCalendar.insert(nEnd, strPadding);
  const std::string strLong = s_pDemo->Path("long-calendar.ics");
  std::ofstream(strLong, std::ios::binary) << strCalendar;
  CxCopyText(AppSettings.OutlookCalendar, strLong.c_str());
  const std::string strFolder = s_pDemo->Path("");
  g_DebugLog.SetFolder(strFolder.c_str());
  g_DebugLog.Enable(true);
  g_DebugLog.SetLevel(3);
  const std::string strOneThread = InitLog(strFolder, true);
  EXPECT_NE(strOneThread.find("Load Palm Desktop Calendar by user"), std::string::npos);
  EXPECT_EQ(InitLog(strFolder, false), strOneThread);
  g_DebugLog.Enable(false);
}

TEST_F(CalendarInit, EarlierLayoutPairsAreNotToldApartByLocation) {
  // The earlier datebook cannot hold a location: a pair that differs in nothing else is the
  // same, or every run would transfer it again.
  std::string sBruno = s_pDemo->Path("palm/Bruno/datebook/datebook.dat");
  AppSettings.UseDateFile = 1;
  CxCopyText(AppSettings.DateFileName, sBruno.c_str());
  ASSERT_TRUE(m_Calendar.Init(AppSettings, GetPalmUsers()));
  ASSERT_EQ(m_Calendar.GetPalmKind(), PALM_KIND_DATEBOOK);
  CommDate* pDentist = nullptr;
  for (CommDate* pDate = m_Calendar.GetOutlookSet()->GetFirst(); pDate != nullptr;
       pDate = m_Calendar.GetOutlookSet()->GetNext()) {
    if (std::string(pDate->szDescription) == "Dentist") pDentist = pDate;
  }
  ASSERT_NE(pDentist, nullptr);
  EXPECT_STRNE(pDentist->szLocation, "");
  EXPECT_EQ(pDentist->nMatchState, MATCH_SAME);

  // A 4.1.4 datebook keeps locations, so there they still count.
  std::string sAlice = s_pDemo->Path("palm/Alice/datebook/datebook.dat");
  ASSERT_TRUE(m_Calendar.LoadPalm(AppSettings, sAlice.c_str()));
  m_Calendar.MatchAll();
  int nChanged = 0;
  for (CommDate* pDate = m_Calendar.GetOutlookSet()->GetFirst(); pDate != nullptr;
       pDate = m_Calendar.GetOutlookSet()->GetNext()) {
    if (pDate->nMatchState == MATCH_CHANGED) ++nChanged;
  }
  EXPECT_EQ(nChanged, 2);
}

TEST_F(CalendarInit, DaysWithRecordsAndTheDayBooksLists) {
  ASSERT_TRUE(m_Calendar.Init(AppSettings, GetPalmUsers()));
  SYSTEMTIME stEmpty = LocalTime(2026, 12, 20);
  EXPECT_FALSE(m_Calendar.DayHasRecords(&stEmpty));
  EXPECT_FALSE(m_Calendar.DayHasRecords(nullptr));
  // Only Outlook has something on Friday the 18th: the weekday stand-up.
  SYSTEMTIME stStandUp = LocalTime(2026, 12, 18);
  EXPECT_TRUE(m_Calendar.DayHasRecords(&stStandUp));
  std::vector<CommDate*> vRecords;
  AppCalendar::RecordsOfDay(m_Calendar.GetPalmSet(), &stStandUp, vRecords);
  EXPECT_TRUE(vRecords.empty());
  // A record counts on its last day too: the night flight lands on the 14th. The one-day
  // birthday of the 12th does not spill into the 13th.
  SYSTEMTIME stSunday = LocalTime(2026, 12, 13);
  AppCalendar::RecordsOfDay(m_Calendar.GetOutlookSet(), &stSunday, vRecords);
  ASSERT_EQ(vRecords.size(), 1u);
  EXPECT_STREQ(vRecords[0]->szDescription, "Night flight to Z\xFCrich");
  SYSTEMTIME stLanding = LocalTime(2026, 12, 14);
  AppCalendar::RecordsOfDay(m_Calendar.GetOutlookSet(), &stLanding, vRecords);
  std::vector<std::string> vLanding;
  for (CommDate* pDate : vRecords) vLanding.push_back(pDate->szDescription);
  EXPECT_THAT(vLanding, ::testing::Contains("Night flight to Z\xFCrich"));
  // A repeating record shows on a later occurrence: the weekly review on Thursday the 17th.
  SYSTEMTIME stThursday = LocalTime(2026, 12, 17);
  AppCalendar::RecordsOfDay(m_Calendar.GetPalmSet(), &stThursday, vRecords);
  std::vector<std::string> vNames;
  for (CommDate* pDate : vRecords) vNames.push_back(pDate->szDescription);
  EXPECT_EQ(vNames, (std::vector<std::string>{"Project review", "Morning run"}));
}

}  // namespace

#endif  // DB_DEMO_PATH
