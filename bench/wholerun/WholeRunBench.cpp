// Whole runs of the application core on a long-time Palm user's calendar (see
// generator/LongTimeCalendar.h), as daybridge-cli runs them: the first full synchronization
// of the Palm Desktop calendar into an empty Outlook calendar file, then "status" (both
// calendars loaded and matched both ways; and with the remembered pairs of a tracked sync,
// read from the state file and paired by key) and a month listing (the same, and the Palm
// records of December 2026). Each iteration starts up and shuts down as the tool does, so
// the Outlook saves are folded into the file within the time. Local time is Paris.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/core/AppCalendar.h"
#include "app/core/AppSettings.h"
#include "app/core/AppStartup.h"
#include "app/core/PalmUsers.h"
#include "app/core/SyncHistory.h"
#include "app/core/SyncRun.h"
#include "app/core/SyncWizard.h"
#include "bench/wholerun/generator/LongTimeCalendar.h"
#include "common/calendar/CommDateMgr.h"
#include "support/demo/DemoEnvironment.h"

namespace {

constexpr uint64_t kSeed = 5758;

// One demo environment per calendar size, with Alice's datebook replaced by the generated
// one and the Outlook calendar synchronized from it once (for status and listing).
class LongTimeEnvironment {
 public:
  explicit LongTimeEnvironment(int nRecords)
      : m_Demo("bench-wholerun-" + std::to_string(nRecords)) {
    if (!m_Demo.IsReady()) std::abort();
    if (WriteLongTimeDatebook(m_Demo.Path("palm/Alice/datebook/datebook.dat").c_str(), nRecords,
                              kSeed) != nRecords) {
      std::abort();
    }
  }
  void UseIt() {
    setenv("DAYBRIDGE_COMMON_APPDATA", m_Demo.Path("appdata").c_str(), 1);
    setenv("DAYBRIDGE_REGISTRY", m_Demo.Path("registry.reg").c_str(), 1);
    setenv("DAYBRIDGE_OUTLOOK_CALENDAR", m_Demo.Path("outlook/Calendar.ics").c_str(), 1);
  }
  void EmptyOutlook() {
    std::error_code ec;
    std::filesystem::remove(m_Demo.Path("outlook/Calendar.ics"), ec);
    std::filesystem::remove(m_Demo.Path("outlook/Calendar.ics.journal"), ec);
  }
  bool m_bSynced = false;

 private:
  DemoEnvironment m_Demo;
};

LongTimeEnvironment& Environment(int nRecords) {
  static std::map<int, std::unique_ptr<LongTimeEnvironment>> environments;
  std::unique_ptr<LongTimeEnvironment>& pEnv = environments[nRecords];
  if (!pEnv) {
    setenv("TZ", "Europe/Paris", 1);
    tzset();
    pEnv = std::make_unique<LongTimeEnvironment>(nRecords);
  }
  pEnv->UseIt();
  return *pEnv;
}

// The tool's process: start-up, the calendars, shut-down without writing the settings.
class Session {
 public:
  explicit Session(bool bTrack = false) {
    AppStartup(m_Env);
    AppSettings.TrackChanges = bTrack ? 1 : 0;
    m_Calendar.Init(AppSettings, GetPalmUsers(), nullptr);
    if (!m_Calendar.IsPalmLoaded() || !m_Calendar.IsOutlookLoaded()) std::abort();
  }
  ~Session() {
    AppShutdown(&m_Calendar, false);
    AppLeaveApartment(m_Env);
  }
  AppCalendar& Calendar() { return m_Calendar; }

 private:
  AppEnvironment m_Env;
  AppCalendar m_Calendar;
};

int SyncAll() {
  Session session;
  AppCalendar& cal = session.Calendar();
  AppSettings.SyncMode = SYNC_PALM_TO_OUTLOOK;
  AppSettings.RangeKind = RANGE_CUSTOM;
  CommitRange(AppSettings, true, nullptr, nullptr);
  std::vector<SyncRow> vRows;
  BuildSyncRows(cal.GetPalmSet(), cal.GetOutlookSet(), AppSettings, vRows);
  CommitSyncRows(AppSettings, CONFLICT_SKIP, vRows, cal.GetPalmSelection(),
                 cal.GetOutlookSelection());
  SyncRunCallbacks callbacks;
  SyncRun run(cal, AppSettings, g_SyncHistory, callbacks);
  run.SetRecordRun(false);
  run.Start();
  run.Run(cal.GetPalmSelection(), cal.GetOutlookSelection());
  return run.GetFailed() == 0 ? run.GetProcessed() : -1;
}

void EnsureSynced(LongTimeEnvironment& env, int nRecords) {
  if (env.m_bSynced) return;
  env.EmptyOutlook();
  if (SyncAll() != nRecords) std::abort();
  env.m_bSynced = true;
}

void BM_FirstFullSync(benchmark::State& state) {
  const int nRecords = static_cast<int>(state.range(0));
  LongTimeEnvironment& env = Environment(nRecords);
  for (auto _ : state) {
    state.PauseTiming();
    env.EmptyOutlook();
    state.ResumeTiming();
    if (SyncAll() != nRecords) state.SkipWithError("not every record was synchronized");
  }
  env.m_bSynced = true;
}

void BM_Status(benchmark::State& state) {
  const int nRecords = static_cast<int>(state.range(0));
  LongTimeEnvironment& env = Environment(nRecords);
  EnsureSynced(env, nRecords);
  for (auto _ : state) {
    Session session;
    const MatchCounts palm = CountMatchStates(session.Calendar().GetPalmSet());
    if (palm.nSame != nRecords) state.SkipWithError("the calendars do not match");
  }
}

void BM_TrackedStatus(benchmark::State& state) {
  const int nRecords = static_cast<int>(state.range(0));
  LongTimeEnvironment& env = Environment(nRecords);
  EnsureSynced(env, nRecords);
  {
    // The pairs remembered once, as the first tracked sync leaves them.
    Session session(true);
    TrackPlan* pPlan = session.Calendar().GetTrackPlan(SYNC_TWO_WAY);
    if (pPlan == nullptr || !session.Calendar().TrackRemember(*pPlan)) std::abort();
  }
  for (auto _ : state) {
    Session session(true);
    const MatchCounts palm = CountMatchStates(session.Calendar().GetPalmSet());
    if (palm.nSame != nRecords) state.SkipWithError("the calendars do not match");
  }
}

void BM_MonthListing(benchmark::State& state) {
  const int nRecords = static_cast<int>(state.range(0));
  LongTimeEnvironment& env = Environment(nRecords);
  EnsureSynced(env, nRecords);
  SYSTEMTIME stFirst = {2026, 12, 0, 1, 0, 0, 0, 0};
  SYSTEMTIME stLast = {2026, 12, 0, 31, 0, 0, 0, 0};
  for (auto _ : state) {
    Session session;
    CommDateMgr* pSet = session.Calendar().GetPalmSet();
    int nListed = 0;
    for (CommDate* pDate = pSet->GetFirst(); pDate != nullptr; pDate = pSet->GetNext()) {
      if (OccursInRange(pDate, &stFirst, &stLast)) ++nListed;
    }
    benchmark::DoNotOptimize(nListed);
  }
}

// A long-time user's datebook, and four times as many records.
BENCHMARK(BM_FirstFullSync)->Arg(5758)->Arg(23000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Status)->Arg(5758)->Arg(23000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TrackedStatus)->Arg(5758)->Arg(23000)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MonthListing)->Arg(5758)->Arg(23000)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
