// The first synchronization of a long-time Palm user's calendar (5,758 records, see
// bench/wholerun/generator) into an empty Outlook calendar, from the window: the wizard's
// record page lists all data, "Next >" is pressed, and the run page runs to its end, its log
// and progress bar shown offscreen. Timed from "Next >" to the end of the run (the start
// delay of the run page set to 0); loading the calendars is not. Local time is Paris.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/Syncdate.h"
#include "app/Syncdateproc.h"
#include "app/core/AppCalendar.h"
#include "app/core/AppSettings.h"
#include "app/core/AppStartup.h"
#include "app/core/PalmUsers.h"
#include "app/core/SyncWizard.h"
#include "bench/wholerun/generator/LongTimeCalendar.h"
#include "support/demo/DemoEnvironment.h"
#include "support/ui/UiRecorder.h"

namespace {

constexpr int kRecords = 5758;
constexpr uint64_t kSeed = 5758;
constexpr int kRunLimitMs = 10 * 60 * 1000;

void MakeApp() {
  if (QApplication::instance() != nullptr) return;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int s_nArgc = 1;
  static char s_szArg0[] = "bench_app";
  static char* s_argv[] = {s_szArg0, nullptr};
  // Lives to the end of the process: destroyed among the exit handlers, after Qt's own
  // globals, it would crash.
  new QApplication(s_nArgc, s_argv);
}

DemoEnvironment& Environment() {
  static std::unique_ptr<DemoEnvironment> s_pDemo;
  if (!s_pDemo) {
    setenv("TZ", "Europe/Paris", 1);
    tzset();
    s_pDemo = std::make_unique<DemoEnvironment>("bench-runpage");
    if (!s_pDemo->IsReady()) std::abort();
    if (WriteLongTimeDatebook(s_pDemo->Path("palm/Alice/datebook/datebook.dat").c_str(), kRecords,
                              kSeed) != kRecords) {
      std::abort();
    }
  }
  setenv("DAYBRIDGE_COMMON_APPDATA", s_pDemo->Path("appdata").c_str(), 1);
  setenv("DAYBRIDGE_REGISTRY", s_pDemo->Path("registry.reg").c_str(), 1);
  setenv("DAYBRIDGE_OUTLOOK_CALENDAR", s_pDemo->Path("outlook/Calendar.ics").c_str(), 1);
  return *s_pDemo;
}

void EmptyOutlook(DemoEnvironment& demo) {
  std::error_code ec;
  std::filesystem::remove(demo.Path("outlook/Calendar.ics"), ec);
  std::filesystem::remove(demo.Path("outlook/Calendar.ics.journal"), ec);
}

void BM_FirstSyncFromTheRunPage(benchmark::State& state) {
  MakeApp();
  DemoEnvironment& demo = Environment();
  UiRecorder ui;
  int nSynchronized = 0;
  for (auto _ : state) {
    state.PauseTiming();
    EmptyOutlook(demo);
    AppEnvironment env;
    AppStartup(env);
    auto pCalendar = std::make_unique<AppCalendar>();
    pCalendar->Init(AppSettings, GetPalmUsers(), nullptr);
    AppSettings.SyncMode = SYNC_PALM_TO_OUTLOOK;
    AppSettings.ConfAction = CONFLICT_SKIP;
    AppSettings.RangeKind = RANGE_CUSTOM;
    auto pWizard = std::make_unique<TfmSyncDate>(*pCalendar, AppSettings, nullptr);
    pWizard->show();
    pWizard->findChild<QWidget*>(QStringLiteral("rbtnAll"))->setProperty("checked", true);
    pWizard->Next();  // the record page, all data
    pWizard->findChild<QTimer*>(QStringLiteral("tmStart"))->setInterval(0);
    state.ResumeTiming();

    pWizard->Next();
    const bool bEnded = QTest::qWaitFor(
        [&] { return pWizard->HasRun() && !pWizard->GetProcPage()->IsRunning(); }, kRunLimitMs);

    state.PauseTiming();
    if (!bEnded) state.SkipWithError("the run did not end");
    nSynchronized = pCalendar->GetOutlookSet()->GetCount();
    pWizard.reset();
    AppShutdown(pCalendar.get(), false);
    pCalendar.reset();
    AppLeaveApartment(env);
    state.ResumeTiming();
  }
  if (nSynchronized != kRecords) state.SkipWithError("not every record reached Outlook");
  state.counters["records"] = nSynchronized;
}
BENCHMARK(BM_FirstSyncFromTheRunPage)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
