// A month of use of the remembering sync, for each Palm calendar kind: a seeded generator edits
// both calendars through their own stores (as the user would in each program) for 30 days,
// and a tracked two-way run follows each day. After every run both calendars hold exactly the
// appointments of the model, on every field both can hold; so nothing deleted comes back and
// nothing is doubled; conflicts are asked about only for the pairs edited on both sides, and
// a second look finds nothing left to do.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/core/AppCalendar.h"
#include "app/core/AppProcess.h"
#include "app/core/SyncTrack.h"
#include "app/core/SyncWizard.h"
#include "common/misc/CxDebugUtil.h"
#include "common/outlook/OlDate.h"
#include "common/palm/PalmDateInfo.h"
#include "demo/palm6/Palm6Fixture.h"
#include "platform/outlook/OutlookServer.h"
#include "platform/win/WinRegistry.h"
#include "platform/win/WinString.h"
#include "support/EnvGuard.h"
#include "support/clock/ClockGuard.h"

namespace fs = std::filesystem;

namespace {

constexpr int kDays = 30;
constexpr int kStartAppointments = 14;

struct KindCase {
  const char* szName;
  int nKind;
};

// Day n of June 2026 and after, June counted as 30 days.
SYSTEMTIME At(int nDay, int nHour) {
  return {2026,
          static_cast<WORD>(6 + (nDay - 1) / 30),
          0,
          static_cast<WORD>((nDay - 1) % 30 + 1),
          static_cast<WORD>(nHour),
          0,
          0,
          0};
}

CommDate Meeting(const std::string& strTitle, int nDay, int nHour) {
  CommDate date{};
  CxCopyText(date.szDescription, strTitle.c_str());
  date.stStart = At(nDay, nHour);
  date.stEnd = At(nDay, nHour + 1);
  CxCopyText(date.szLocation, "Room 1");
  return date;
}

bool SameStart(const CommDate& a, const CommDate& b) {
  return strcmp(a.szDescription, b.szDescription) == 0 && a.stStart.wMonth == b.stStart.wMonth &&
         a.stStart.wDay == b.stStart.wDay && a.stStart.wHour == b.stStart.wHour;
}

int PositionLike(CommDateMgr* pSet, const CommDate& model) {
  for (int i = 0; i < pSet->GetCount(); ++i) {
    if (SameStart(*pSet->GetAt(i), model)) return i;
  }
  return -1;
}

// One day's change to one appointment on one side: the model's record and what that side now
// holds.
struct Edit {
  enum Kind { ADD, CHANGE, REMOVE } nKind;
  CommDate before;
  CommDate after;
};

// Forwards to the calendars and ends the process abruptly at its nth store operation, as a
// crash or a kill would.
class DyingTarget : public ISyncTarget {
 public:
  DyingTarget(AppCalendar& calendar, int nDieAt) : m_Calendar(calendar), m_nDieAt(nDieAt) {}
  bool WriteToOutlook(CommDate*) override { return false; }  // not used by a tracked run
  bool WriteToPalm(CommDate*) override { return false; }
  bool SavePalm() override { return Step() && m_Calendar.SavePalm(); }
  bool TrackAdd(CommDate* pDate, bool bToOutlook) override {
    return Step() && m_Calendar.TrackAdd(pDate, bToOutlook);
  }
  bool TrackUpdate(CommDate* pFrom, CommDate* pTarget, bool bInOutlook) override {
    return Step() && m_Calendar.TrackUpdate(pFrom, pTarget, bInOutlook);
  }
  bool TrackDelete(CommDate* pTarget, bool bInOutlook) override {
    return Step() && m_Calendar.TrackDelete(pTarget, bInOutlook);
  }
  bool TrackRemember(TrackPlan& plan) override {
    const bool bOk = Step() && m_Calendar.TrackRemember(plan);
    Step();
    return bOk;
  }

 private:
  bool Step() {
    if (++m_nDone == m_nDieAt) _exit(kKilled);
    return true;
  }
  AppCalendar& m_Calendar;
  int m_nDieAt;
  int m_nDone = 0;

 public:
  static constexpr int kKilled = 42;
};

class MonthOfUse : public ::testing::TestWithParam<KindCase> {
 protected:
  void SetUp() override {
    std::string strName = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(strName.begin(), strName.end(), '/', '-');
    m_Dir = fs::temp_directory_path() / ("db-month-" + std::to_string(::getpid()) + "-" + strName);
    fs::remove_all(m_Dir);
    fs::create_directories(m_Dir / "appdata");
    m_pOutlookEnv = std::make_unique<dbtest::EnvGuard>("DAYBRIDGE_OUTLOOK_CALENDAR",
                                                       (m_Dir / "Calendar.ics").string());
    m_pDataEnv = std::make_unique<dbtest::EnvGuard>("DAYBRIDGE_COMMON_APPDATA",
                                                    (m_Dir / "appdata").string());
    g_DebugLog.SetFolder((m_Dir.string() + "/").c_str());
    CxRegSetText("", 0);
    m_bComInit = AppStartPlatform();
    std::memset(&m_Settings, 0, sizeof(m_Settings));
    m_Settings.TrackChanges = 1;
    m_Settings.SyncMode = SYNC_TWO_WAY;
    m_Settings.ConfAction = CONFLICT_ASK;
    m_nKind = GetParam().nKind;
    if (m_nKind == PALM_KIND_DATABASE) {
      m_Palm = m_Dir / "DateBook.mdb";
      palm6::Palm6Fixture fixture(m_Palm.string());
      ASSERT_TRUE(fixture.IsOpen());
    } else {
      m_Palm = m_Dir / "datebook.dat";
      std::ofstream(m_Palm, std::ios::binary).flush();
      ASSERT_TRUE(m_nKind == PALM_KIND_DATEBOOK ? PmDateUtil().SaveAs(m_Palm.c_str())
                                                : PmDateExUtil().SaveAs(m_Palm.c_str()));
    }
  }

  void TearDown() override {
    m_pCalendar.reset();
    AppStopPlatform(m_bComInit);
    CxRegSetText(nullptr, 0);
    fs::remove_all(m_Dir);
  }

  // The user's edits of one side, made through that side's own store.
  void ApplyPalm(const std::vector<Edit>& vEdits) {
    PmDateInfo store;
    ASSERT_TRUE(store.LoadFile(m_Palm.c_str()));
    ASSERT_EQ(store.GetLoadedKind(), m_nKind);
    for (const Edit& edit : vEdits) {
      const int nPos = PositionLike(store.GetRecordSet(), edit.before);
      if (edit.nKind == Edit::ADD) {
        ASSERT_TRUE(store.AddRecord(&edit.after));
      } else {
        ASSERT_GE(nPos, 0) << edit.before.szDescription;
        ASSERT_TRUE(edit.nKind == Edit::REMOVE ? store.DeleteRecord(nPos)
                                               : store.UpdateRecord(&edit.after, nPos));
      }
    }
    ASSERT_TRUE(store.Save());
  }

  void ApplyOutlook(const std::vector<Edit>& vEdits) {
    OlDateUtil store;
    ASSERT_TRUE(store.Load());
    for (const Edit& edit : vEdits) {
      CommDate after = edit.after;
      const int nPos = PositionLike(store.GetRecordSet(), edit.before);
      if (edit.nKind == Edit::ADD) {
        ASSERT_TRUE(store.AddNew(&after));
      } else {
        ASSERT_GE(nPos, 0) << edit.before.szDescription;
        ASSERT_TRUE(edit.nKind == Edit::REMOVE
                        ? store.DeleteItem(nPos)
                        : store.UpdateAt(&after, store.GetRecordSet()->GetAt(nPos), nPos));
      }
    }
  }

  void Load() {
    m_pCalendar.reset();
    m_pCalendar = std::make_unique<AppCalendar>();
    CxList users;
    ASSERT_TRUE(m_pCalendar->Init(m_Settings, users, m_Palm.c_str()));
    ASSERT_TRUE(m_pCalendar->IsPalmLoaded() && m_pCalendar->IsOutlookLoaded());
  }

  // A tracked two-way run of every row, as the command-line tool makes it; conflicts are
  // answered "Palm Desktop overwrites Outlook" and counted.
  // nDieAt > 0: the process ends at that store operation of the run.
  void SyncDay(int nDieAt = 0) {
    Load();
    DyingTarget dying(*m_pCalendar, nDieAt);
    TrackPlan* pPlan = m_pCalendar->GetTrackPlan(SYNC_TWO_WAY);
    ASSERT_NE(pPlan, nullptr);
    std::vector<SyncRow> vRows;
    BuildSyncRows(m_pCalendar->GetPalmSet(), m_pCalendar->GetOutlookSet(), m_Settings, vRows,
                  pPlan);
    if (CommitSyncRows(m_Settings, CONFLICT_ASK, vRows, m_pCalendar->GetPalmSelection(),
                       m_pCalendar->GetOutlookSelection()) != COMMIT_OK) {
      ASSERT_TRUE(m_pCalendar->TrackRemember(*pPlan));
      return;
    }
    SyncRunCallbacks callbacks;
    callbacks.ask = [this](const CommDate*, const CommDate*, ConflictAnswer* pAnswer) {
      ++m_nAsked;
      *pAnswer = {CONFLICT_PALM_WINS, false, false};
      return true;
    };
    SyncRun run(nDieAt > 0 ? static_cast<ISyncTarget&>(dying) : *m_pCalendar, m_Settings, m_History,
                callbacks);
    run.SetHistoryPath((m_Dir / "synchis.dat").c_str());
    run.SetTrackPlan(pPlan);
    run.Run(m_pCalendar->GetPalmSelection(), m_pCalendar->GetOutlookSelection());
    EXPECT_EQ(run.GetFailed(), 0);
    EXPECT_TRUE(run.GetSaveOk());
  }

  // Each record as its print and its title, so a failure names the record.
  std::string Line(const CommDate* pDate) const {
    return TrackPrint(pDate, m_nKind) + " " + pDate->szDescription;
  }
  std::vector<std::string> Prints(CommDateMgr* pSet) const {
    std::vector<std::string> v;
    for (int i = 0; i < pSet->GetCount(); ++i) v.push_back(Line(pSet->GetAt(i)));
    std::sort(v.begin(), v.end());
    return v;
  }

  // Both calendars hold the model, and nothing is left to do.
  void ExpectModel(int nDay) {
    std::vector<std::string> expected;
    for (const CommDate& date : m_Model) expected.push_back(Line(&date));
    std::sort(expected.begin(), expected.end());
    Load();
    EXPECT_EQ(Prints(m_pCalendar->GetPalmSet()), expected) << "Palm Desktop after day " << nDay;
    EXPECT_EQ(Prints(m_pCalendar->GetOutlookSet()), expected) << "Outlook after day " << nDay;
    for (CommDateMgr* pSet : {m_pCalendar->GetPalmSet(), m_pCalendar->GetOutlookSet()}) {
      const MatchCounts counts = CountMatchStates(pSet);
      EXPECT_EQ(counts.nNew + counts.nChanged, 0) << "left to do after day " << nDay;
    }
  }

  // The first tracked run adopts what both calendars already share, a same-titled pair
  // among it.
  void SeedBothSides(int nCount) {
    std::vector<Edit> vEdits;
    for (int i = 0; i < nCount; ++i) {
      const CommDate date = Meeting(i < 2 ? "Standup" : "Start " + std::to_string(i), 1 + i % 7,
                                    i < 2 ? 9 + 3 * i : 10);
      vEdits.push_back({Edit::ADD, date, date});
      m_Model.push_back(date);
    }
    ApplyPalm(vEdits);
    ApplyOutlook(vEdits);
    SyncDay();
  }

  // A free hour on the day for the title, so that same-titled appointments never meet.
  int FreeHour(std::mt19937& rng, const std::string& strTitle, int nDay) {
    for (int nTry = 0; nTry < 50; ++nTry) {
      const int nHour = 7 + static_cast<int>(rng() % 12);
      const CommDate probe = Meeting(strTitle, nDay, nHour);
      if (std::none_of(m_Model.begin(), m_Model.end(),
                       [&](const CommDate& d) { return SameStart(d, probe); })) {
        return nHour;
      }
    }
    return -1;
  }

  // Plans one day of edits and updates the model to what the run should leave.
  void PlanDay(std::mt19937& rng, int nDay, std::vector<Edit>& vPalm, std::vector<Edit>& vOutlook,
               int* pnBothSides) {
    std::vector<bool> vTouched(m_Model.size(), false);
    std::vector<CommDate> vAdded;
    std::vector<size_t> vRemoved;
    const int nEdits = 3 + static_cast<int>(rng() % 4);
    for (int e = 0; e < nEdits; ++e) {
      const int nWhat = static_cast<int>(rng() % 9);
      const bool bPalm = rng() % 2 == 0;
      std::vector<Edit>& vSide = bPalm ? vPalm : vOutlook;
      if (nWhat == 0 || m_Model.size() < 4) {  // a new appointment, or a same-titled pair
        const std::string strTitle = "Meeting " + std::to_string(++m_nSerial);
        const int nAt = 1 + nDay + static_cast<int>(rng() % 5);
        for (int nHour : {8, rng() % 2 == 0 ? 15 : 0}) {
          if (nHour == 0) break;
          vAdded.push_back(Meeting(strTitle, nAt, nHour));
          vSide.push_back({Edit::ADD, vAdded.back(), vAdded.back()});
        }
        continue;
      }
      const size_t nPick = rng() % m_Model.size();
      if (vTouched[nPick]) continue;
      vTouched[nPick] = true;
      CommDate& model = m_Model[nPick];
      CommDate after = model;
      const std::string strTag = "day " + std::to_string(nDay);
      switch (nWhat) {
        case 1:    // moved within the day
        case 2: {  // moved to another day
          const int nDayNow = (model.stStart.wMonth - 6) * 30 + model.stStart.wDay;
          const int nDayTo = nWhat == 1 ? nDayNow : 1 + nDay + static_cast<int>(rng() % 20);
          const int nHour = FreeHour(rng, model.szDescription, nDayTo);
          if (nHour < 0) continue;
          after.stStart = At(nDayTo, nHour);
          after.stEnd = At(nDayTo, nHour + 1);
          break;
        }
        case 3:
          CxCopyText(after.szNote, ("Note of " + strTag).c_str());
          break;
        case 4:
          // The earlier datebook has no location: an edit there changes nothing to carry.
          if (m_nKind == PALM_KIND_DATEBOOK) continue;
          CxCopyText(after.szLocation, ("Room of " + strTag).c_str());
          break;
        case 5:  // deleted
          vSide.push_back({Edit::REMOVE, model, model});
          vRemoved.push_back(nPick);
          continue;
        case 6:  // the repeat changes
          after.repeat.nType = REPEAT_WEEKLY;
          after.repeat.nInterval = model.repeat.nInterval == 1 ? 2 : 1;
          after.repeat.nDayOfWeekMask =
              1u << CxWeekdayOf(after.stStart.wYear, after.stStart.wMonth, after.stStart.wDay);
          after.repeat.bHasEnd = 1;
          after.repeat.stPatternEnd = At(60, 0);
          break;
        default: {  // edited on both sides: a conflict, which Palm Desktop wins
          CommDate other = model;
          CxCopyText(after.szNote, ("Palm note of " + strTag).c_str());
          CxCopyText(other.szNote, ("Outlook note of " + strTag).c_str());
          vPalm.push_back({Edit::CHANGE, model, after});
          vOutlook.push_back({Edit::CHANGE, model, other});
          ++*pnBothSides;
          model = after;
          continue;
        }
      }
      vSide.push_back({Edit::CHANGE, model, after});
      model = after;
    }
    std::sort(vRemoved.rbegin(), vRemoved.rend());
    for (size_t nAt : vRemoved) m_Model.erase(m_Model.begin() + static_cast<std::ptrdiff_t>(nAt));
    m_Model.insert(m_Model.end(), vAdded.begin(), vAdded.end());
  }

  bool m_bComInit = false;
  int m_nKind = 0;
  int m_nSerial = 0;
  int m_nAsked = 0;
  fs::path m_Dir;
  fs::path m_Palm;
  std::unique_ptr<dbtest::EnvGuard> m_pOutlookEnv;
  std::unique_ptr<dbtest::EnvGuard> m_pDataEnv;
  TAppSettings m_Settings;
  SyncHistoryMgr m_History;
  std::unique_ptr<AppCalendar> m_pCalendar;
  std::vector<CommDate> m_Model;
};

TEST_P(MonthOfUse, BothCalendarsHoldTheModelAfterEveryDay) {
  clockguard::ZoneGuard zone("Europe/Berlin");
  std::mt19937 rng(20260601u + static_cast<unsigned>(m_nKind));
  SeedBothSides(kStartAppointments);
  ExpectModel(0);
  EXPECT_EQ(m_nAsked, 0);

  for (int nDay = 1; nDay <= kDays && !HasFatalFailure(); ++nDay) {
    std::vector<Edit> vPalm;
    std::vector<Edit> vOutlook;
    int nBothSides = 0;
    PlanDay(rng, nDay, vPalm, vOutlook, &nBothSides);
    ApplyPalm(vPalm);
    ApplyOutlook(vOutlook);
    m_nAsked = 0;
    SyncDay();
    EXPECT_EQ(m_nAsked, nBothSides) << "conflicts on day " << nDay;
    ExpectModel(nDay);
  }
}

TEST_P(MonthOfUse, AKillAtAnyStepThenARerunLosesNoDeletionAndDoublesNothing) {
  clockguard::ZoneGuard zone("Europe/Berlin");
  SeedBothSides(8);
  // A day with a deletion and an addition on each side and a move in Palm Desktop.
  const std::vector<CommDate> seeded = m_Model;
  CommDate moved = seeded[4];
  moved.stStart.wHour = 16;
  moved.stEnd.wHour = 17;
  const CommDate palmNew = Meeting("New in Palm", 12, 9);
  const CommDate outlookNew = Meeting("New in Outlook", 13, 9);
  ApplyPalm({{Edit::REMOVE, seeded[2], seeded[2]},
             {Edit::ADD, palmNew, palmNew},
             {Edit::CHANGE, seeded[4], moved}});
  ApplyOutlook({{Edit::REMOVE, seeded[3], seeded[3]}, {Edit::ADD, outlookNew, outlookNew}});
  m_pCalendar.reset();
  OutlookServerFold();
  m_Model = {seeded[0], seeded[1], seeded[5], seeded[6], seeded[7], moved, palmNew, outlookNew};
  const fs::path saved = m_Dir.parent_path() / (m_Dir.filename().string() + "-saved");
  fs::remove_all(saved);
  fs::copy(m_Dir, saved, fs::copy_options::recursive);

  int nSteps = 0;
  for (int nDieAt = 1; nDieAt < 100; ++nDieAt) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      SyncDay(nDieAt);
      _exit(0);
    }
    int nStatus = 0;
    ASSERT_EQ(waitpid(pid, &nStatus, 0), pid);
    ASSERT_TRUE(WIFEXITED(nStatus));
    if (WEXITSTATUS(nStatus) != DyingTarget::kKilled) break;
    ++nSteps;
    SyncDay();
    ExpectModel(nDieAt);
    m_pCalendar.reset();
    OutlookServerFold();
    fs::remove_all(m_Dir);
    fs::copy(saved, m_Dir, fs::copy_options::recursive);
  }
  fs::remove_all(saved);
  EXPECT_GT(nSteps, 5) << "every store operation of the run was a place to die";
}

INSTANTIATE_TEST_SUITE_P(Kinds, MonthOfUse,
                         ::testing::Values(KindCase{"Datebook414", PALM_KIND_DATEBOOK_EX},
                                           KindCase{"DatebookEarlier", PALM_KIND_DATEBOOK},
                                           KindCase{"Database6x", PALM_KIND_DATABASE}),
                         [](const ::testing::TestParamInfo<KindCase>& row) {
                           return row.param.szName;
                         });

}  // namespace
