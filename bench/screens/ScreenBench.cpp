// The day queries behind a redraw of the main window, on a calendar of 20,000 appointments
// held on both sides (a Palm Desktop 4.1.4 datebook and the Outlook calendar file), 2,000 of
// them repeating since 1995: the month calendar asks whether each of its 42 days has records,
// and a day book lists the records of one day. Each has one frame (16 ms) to do it in.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/core/AppCalendar.h"
#include "app/core/AppProcess.h"
#include "common/misc/CxDebugUtil.h"
#include "common/misc/WinUtil.h"
#include "common/outlook/OlDate.h"
#include "common/palm/PalmDateEx.h"
#include "common/palm/PalmDateInfo.h"

namespace fs = std::filesystem;

namespace {

constexpr int kAppointments = 20000;
constexpr int kRepeating = 2000;

// One event as iCalendar text: appointment i, with a rule for the first kRepeating.
std::string Event(int i) {
  static const char* const kRules[] = {
      "FREQ=DAILY;INTERVAL=2",
      "FREQ=WEEKLY;BYDAY=MO",
      "FREQ=WEEKLY;INTERVAL=2;BYDAY=MO,WE,FR",
      "FREQ=WEEKLY;BYDAY=TU,TH;UNTIL=20181231T000000Z",
      "FREQ=MONTHLY;BYDAY=2TU",
      "FREQ=MONTHLY;BYDAY=-1FR",
      "FREQ=MONTHLY;BYMONTHDAY=31",
      "FREQ=MONTHLY;INTERVAL=3;BYMONTHDAY=15",
      "FREQ=YEARLY;BYMONTH=2;BYMONTHDAY=29",
      "FREQ=YEARLY;BYMONTH=6;BYMONTHDAY=15",
  };
  const bool bRepeating = i < kRepeating;
  // The repeating ones start in 1995, the others spread over 1995..2026.
  const int nDay = bRepeating ? i % 365 : (i * 7) % (32 * 365);
  SYSTEMTIME stStart{};
  stStart.wYear = 1995;
  stStart.wMonth = 1;
  stStart.wDay = 1;
  AddDays(&stStart, nDay);
  const int nHour = 8 + i % 10;
  char szRule[128] = "";
  if (bRepeating) {
    snprintf(szRule, sizeof(szRule), "RRULE:%s\r\n", kRules[i % 10]);
  }
  char szEvent[768];
  snprintf(szEvent, sizeof(szEvent),
           "BEGIN:VEVENT\r\nUID:screen-%d@example.com\r\nDTSTAMP:20110301T120000Z\r\n"
           "DTSTART:%04d%02d%02dT%02d0000\r\nDTEND:%04d%02d%02dT%02d3000\r\n"
           "SUMMARY:Appointment %d\r\nLOCATION:Room %d\r\n%sEND:VEVENT\r\n",
           i, stStart.wYear, stStart.wMonth, stStart.wDay, nHour, stStart.wYear, stStart.wMonth,
           stStart.wDay, nHour, i, i % 50, szRule);
  return szEvent;
}

// The calendar on both sides, loaded as the program's start-up loads it.
struct ScreenCalendar {
  fs::path folder;
  AppCalendar calendar;

  ScreenCalendar() {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    g_DebugLog.Enable(false);
    folder = fs::temp_directory_path() / ("db-bench-screens-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const fs::path ics = folder / "Calendar.ics";
    const fs::path datebook = folder / "datebook.dat";
    {
      std::ofstream file(ics, std::ios::binary);
      file << "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\n";
      for (int i = 0; i < kAppointments; i++) file << Event(i);
      file << "END:VCALENDAR\r\n";
    }
    setenv("DAYBRIDGE_OUTLOOK_CALENDAR", ics.c_str(), 1);
    AppStartPlatform();
    // The Palm side gets the same appointments through the program's own store.
    std::ofstream(datebook, std::ios::binary).flush();
    if (!PmDateExUtil().SaveAs(datebook.c_str())) std::abort();
    {
      OlDateUtil outlook;
      PmDateInfo palm;
      if (!outlook.Load() || !palm.LoadFile(datebook.c_str())) std::abort();
      CommDateMgr* pSet = outlook.GetRecordSet();
      for (CommDate* pDate = pSet->GetFirst(); pDate != nullptr; pDate = pSet->GetNext()) {
        palm.SyncRecord(pDate);
      }
      if (!palm.Save()) std::abort();
    }
    TAppSettings settings{};
    CxList users;
    if (!calendar.Init(settings, users, datebook.c_str()) ||
        calendar.GetPalmSet()->GetCount() != kAppointments ||
        calendar.GetOutlookSet()->GetCount() != kAppointments) {
      std::abort();
    }
  }
  ~ScreenCalendar() {
    calendar.Free();
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
};

ScreenCalendar& Calendar() {
  static ScreenCalendar calendar;
  return calendar;
}

SYSTEMTIME Day(int nYear, int nMonth, int nDay) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(nYear);
  st.wMonth = static_cast<WORD>(nMonth);
  st.wDay = static_cast<WORD>(nDay);
  FixDayOfWeek(&st);
  return st;
}

void BM_MonthCalendarRedraw(benchmark::State& state) {
  AppCalendar& calendar = Calendar().calendar;
  // June 2026 as the month calendar shows it: six weeks from the Sunday before the 1st.
  const SYSTEMTIME stFirst = Day(2026, 5, 31);
  for (auto _ : state) {
    int nMarked = 0;
    SYSTEMTIME stDay = stFirst;
    for (int i = 0; i < 42; i++, AddDays(&stDay, 1)) {
      nMarked += calendar.DayHasRecords(&stDay) ? 1 : 0;
    }
    benchmark::DoNotOptimize(nMarked);
  }
}
BENCHMARK(BM_MonthCalendarRedraw)->Unit(benchmark::kMillisecond);

void BM_DayBookFill(benchmark::State& state) {
  CommDateMgr* pSet = Calendar().calendar.GetPalmSet();
  const SYSTEMTIME stDay = Day(2026, 6, 15);
  std::vector<CommDate*> vRecords;
  for (auto _ : state) {
    AppCalendar::RecordsOfDay(pSet, &stDay, vRecords);
    benchmark::DoNotOptimize(vRecords.data());
  }
  state.counters["records"] = static_cast<double>(vRecords.size());
}
BENCHMARK(BM_DayBookFill)->Unit(benchmark::kMillisecond);

}  // namespace
