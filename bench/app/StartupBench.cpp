// Start-up of the program to its first painted main window, and on to the window showing its
// calendars, on a calendar of 6,000 Palm records (a 4.1.4 datebook, every tenth repeating
// weekly) and 6,000 Outlook events (every fifth repeating), half of which are the same
// appointments as Palm's: the window's creation and first frame, then calendar initialization
// (both loads and matching), the history, the month calendar's day marks and both day books.
// Shut-down is not timed. Offscreen; local time is Paris, "now" fixed in the middle of the two
// years the appointments cover. DAYBRIDGE_STARTUP_RECORDS sets another count for both
// calendars (23000 for a long-time user's calendar; the appointments then cover more years).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEvent>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>

#include "app/Main.h"
#include "common/misc/CxDebugUtil.h"
#include "common/palm/PalmDateEx.h"
#include "platform/win/WinString.h"
#include "platform/win/WinTime.h"
#include "support/demo/DemoEnvironment.h"
#include "support/ui/UiRecorder.h"
#include "views/CxDateBook.h"
#include "views/CxWinCtrlWindow.h"

namespace {

constexpr int kDefaultRecords = 6000;

int RecordCount() {
  static const int s_nRecords = [] {
    const char* szCount = std::getenv("DAYBRIDGE_STARTUP_RECORDS");
    const int nCount = szCount != nullptr ? std::atoi(szCount) : 0;
    return nCount > 0 ? nCount : kDefaultRecords;
  }();
  return s_nRecords;
}
constexpr int kPalmRepeatEvery = 10;
constexpr int kOutlookRepeatEvery = 5;
// 2025-12-09 00:00 UTC; appointments every 3 hours from here cover two years.
constexpr long long kFirstStart = 1765238400;
constexpr long long kStep = 3 * 3600;

void WritePalmDatebook(const std::string& sPath) {
  PmDateExUtil db;
  auto pRec = std::make_unique<PmDateExRecord>();
  for (int i = 0; i < RecordCount(); ++i) {
    std::memset(pRec.get(), 0, sizeof(*pRec));
    pRec->nRecordId = 100000 + static_cast<DWORD>(i);
    pRec->nSequence = 4096 + static_cast<DWORD>(i);
    pRec->nFieldBase = 27 * static_cast<DWORD>(i);
    pRec->nStartTime = static_cast<DWORD>(kFirstStart + i * kStep);
    pRec->nEndTime = pRec->nStartTime + 3600;
    std::snprintf(pRec->szSummary, sizeof(pRec->szSummary), "Meeting with client %d", i);
    CxCopyText(pRec->szLocation, "Conference room B");
    if (i % kPalmRepeatEvery == 0) {
      pRec->repeat.nBrand = PM_REPEAT_WEEKLY;
      pRec->repeat.nInterval = 1;
      pRec->repeat.nEndDate = PM_NO_END_DATE;
      pRec->repeat.nDayIndex = 1;
      pRec->repeat.bDaysMask = 0x0A;
    }
    if (!db.GetDataMgr()->Add(pRec.get())) std::abort();
  }
  if (!db.SaveAs(sPath.c_str())) std::abort();
}

// Even events are Palm's appointments at the same moment (the same or changed), odd ones
// Outlook's own.
void WriteOutlookCalendar(const std::string& sPath) {
  std::string sText = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//DayBridge bench//EN\r\n";
  char szEvent[768];
  for (int i = 0; i < RecordCount(); ++i) {
    const std::time_t nStart = static_cast<std::time_t>(kFirstStart + i * kStep);
    const std::time_t nEnd = nStart + 3600;
    std::tm tmStart = {};
    std::tm tmEnd = {};
    gmtime_r(&nStart, &tmStart);
    gmtime_r(&nEnd, &tmEnd);
    char szStart[32];
    char szEnd[32];
    std::strftime(szStart, sizeof(szStart), "%Y%m%dT%H%M%SZ", &tmStart);
    std::strftime(szEnd, sizeof(szEnd), "%Y%m%dT%H%M%SZ", &tmEnd);
    const bool bShared = i % 2 == 0;
    std::snprintf(szEvent, sizeof(szEvent),
                  "BEGIN:VEVENT\r\nUID:bench-%d@example.com\r\nDTSTAMP:20251201T120000Z\r\n"
                  "DTSTART:%s\r\nDTEND:%s\r\nSUMMARY:%s %d\r\nLOCATION:%s\r\n%s"
                  "END:VEVENT\r\n",
                  i, szStart, szEnd, bShared ? "Meeting with client" : "Outlook appointment", i,
                  i % 4 == 0 ? "Conference room B" : "Room 7",
                  i % kOutlookRepeatEvery == 1 ? "RRULE:FREQ=WEEKLY;BYDAY=MO,WE\r\n" : "");
    sText += szEvent;
  }
  sText += "END:VCALENDAR\r\n";
  std::ofstream(sPath, std::ios::binary) << sText;
}

struct BenchSetup {
  std::unique_ptr<DemoEnvironment> pDemo;
  std::unique_ptr<QApplication> pApp;
  std::unique_ptr<UiRecorder> pUi;

  BenchSetup() {
    setenv("TZ", "Europe/Paris", 1);
    tzset();
    // The other benchmarks of this program may have made the one application already.
    if (QApplication::instance() == nullptr) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
      static int s_nArgc = 1;
      static char s_szArg0[] = "bench_app";
      static char* s_argv[] = {s_szArg0, nullptr};
      pApp = std::make_unique<QApplication>(s_nArgc, s_argv);
    }
    pUi = std::make_unique<UiRecorder>();
    pDemo = std::make_unique<DemoEnvironment>("bench-startup");
    if (!pDemo->IsReady()) std::abort();
    WritePalmDatebook(pDemo->Path("palm/Alice/datebook/datebook.dat"));
    WriteOutlookCalendar(pDemo->Path("outlook/Calendar.ics"));
    SYSTEMTIME stNow = {};
    stNow.wYear = 2026;
    stNow.wMonth = 12;
    stNow.wDay = 9;
    stNow.wHour = 10;
    CxSetFixedLocalTime(&stNow);
  }
};

BenchSetup& Setup() {
  static BenchSetup s_setup;
  return s_setup;
}

// Stops the clock at the first paint of the watched widget once armed: the message loop may
// go on within the same turn (the start-up follows the first frame at once).
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(benchmark::State& state) : m_State(state) {}
  bool bArmed = true;
  bool bStopped = false;
  bool eventFilter(QObject* pWatched, QEvent* pEvent) override {
    if (pEvent->type() == QEvent::Paint && bArmed) {
      bArmed = false;
      bStopped = true;
      m_State.PauseTiming();
    }
    return QObject::eventFilter(pWatched, pEvent);
  }

 private:
  benchmark::State& m_State;
};

// The window is timed to its first painted frame, which comes before the calendars are read,
// and to its first frame with the calendars shown.
enum class StartupEnd { kFirstPaint, kCalendarsShown };

void TimeStartup(benchmark::State& state, StartupEnd end) {
  Setup();
  int nPalm = 0;
  int nOutlook = 0;
  for (auto _ : state) {
    auto pMain = std::make_unique<TfmMain>();
    PaintWatch watch(state);
    watch.bArmed = end == StartupEnd::kFirstPaint;
    bool bStarted = false;
    // The day books are painted last of the window's parts.
    QWidget* pPalmBook = pMain->GetPalmBook()->GetWindow()->GetClient();
    pPalmBook->installEventFilter(&watch);
    pMain->ShowThenStart([&] {
      bStarted = true;
      if (end != StartupEnd::kCalendarsShown) return;
      watch.bArmed = true;
      pPalmBook->update();
    });
    while (!watch.bStopped || !bStarted) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    nPalm = pMain->GetCalendar().GetPalmSet()->GetCount();
    nOutlook = pMain->GetCalendar().GetOutlookSet()->GetCount();
    pMain.reset();
    state.ResumeTiming();
  }
  if (nPalm != RecordCount() || nOutlook != RecordCount()) {
    state.SkipWithError("the calendars did not load whole");
  }
  state.counters["palm"] = nPalm;
  state.counters["outlook"] = nOutlook;
}

void BM_StartupToFirstPaint(benchmark::State& state) {
  TimeStartup(state, StartupEnd::kFirstPaint);
}
BENCHMARK(BM_StartupToFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_StartupToCalendarsShown(benchmark::State& state) {
  TimeStartup(state, StartupEnd::kCalendarsShown);
}
BENCHMARK(BM_StartupToCalendarsShown)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
