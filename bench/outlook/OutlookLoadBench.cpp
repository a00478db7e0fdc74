// Loading the Outlook calendar into common records, against libical's parse of the same
// file alone: a calendar of 20,000 events, every fifth one recurring (weekly, monthly by day,
// monthly by date, yearly), most with a reminder. The ratio of the two rates is the cost of
// the automation layer and the record conversion on top of the parse.
//
// BM_LoadOneLongLine opens a calendar whose one event carries a note of 1 to 64 MB written as
// a single unfolded line (a pasted attachment): the time must grow with the line's length,
// not with its square.
#include <benchmark/benchmark.h>
#include <libical/ical.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/core/AppProcess.h"
#include "common/misc/CxDebugUtil.h"
#include "common/outlook/OlDate.h"

namespace {

constexpr int kEvents = 20000;

std::string BuildCalendar() {
  static const char* const kRules[] = {
      "RRULE:FREQ=WEEKLY;BYDAY=MO,WE\r\n",
      "RRULE:FREQ=MONTHLY;BYDAY=-1FR;UNTIL=20151231T000000Z\r\n",
      "RRULE:FREQ=MONTHLY;BYMONTHDAY=15\r\n",
      "RRULE:FREQ=YEARLY;BYMONTH=3;BYMONTHDAY=7\r\n",
  };
  std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\n";
  char szEvent[1024];
  for (int i = 0; i < kEvents; ++i) {
    int nDay = i % 365;
    int nMonth = nDay / 31 + 1;
    int nMonthDay = nDay % 28 + 1;
    std::snprintf(szEvent, sizeof(szEvent),
                  "BEGIN:VEVENT\r\nUID:bench-%d@example.com\r\nDTSTAMP:20110301T120000Z\r\n"
                  "DTSTART:2011%02d%02dT%02d0000Z\r\nDTEND:2011%02d%02dT%02d3000Z\r\n"
                  "SUMMARY:Appointment number %d\r\nLOCATION:Room %d\r\n"
                  "DESCRIPTION:Some notes for appointment %d\\nwith a second line.\r\n"
                  "%s%s"
                  "END:VEVENT\r\n",
                  i, nMonth, nMonthDay, 8 + i % 10, nMonth, nMonthDay, 8 + i % 10, i, i % 50, i,
                  i % 5 == 0 ? kRules[(i / 5) % 4] : "",
                  i % 3 != 0 ? "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Reminder\r\n"
                               "TRIGGER:-PT15M\r\nEND:VALARM\r\n"
                             : "");
    text += szEvent;
  }
  text += "END:VCALENDAR\r\n";
  return text;
}

struct BenchCalendar {
  std::filesystem::path path;
  std::string text;

  BenchCalendar() {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    text = BuildCalendar();
    path = std::filesystem::temp_directory_path() /
           ("db-bench-outlook-" + std::to_string(::getpid()) + ".ics");
    std::ofstream(path, std::ios::binary) << text;
    setenv("DAYBRIDGE_OUTLOOK_CALENDAR", path.c_str(), 1);
    g_DebugLog.Enable(false);
    AppStartPlatform();
  }
  ~BenchCalendar() { std::filesystem::remove(path); }
};

BenchCalendar& Calendar() {
  static BenchCalendar calendar;
  return calendar;
}

void BM_LoadIntoRecords(benchmark::State& state) {
  Calendar();
  for (auto _ : state) {
    // Every store opens the file afresh: the last one released it.
    OlDateUtil store;
    store.Load();
    if (store.GetRecordSet()->GetCount() != kEvents) state.SkipWithError("records missing");
    benchmark::DoNotOptimize(store.GetRecordSet());
  }
  state.counters["events_per_second"] = benchmark::Counter(
      static_cast<double>(kEvents) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoadIntoRecords)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_LibicalParseOnly(benchmark::State& state) {
  const std::string& text = Calendar().text;
  for (auto _ : state) {
    icalcomponent* pRoot = icalparser_parse_string(text.c_str());
    benchmark::DoNotOptimize(pRoot);
    icalcomponent_free(pRoot);
  }
  state.counters["events_per_second"] = benchmark::Counter(
      static_cast<double>(kEvents) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LibicalParseOnly)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// One event whose note is one physical line of nBytes.
std::string LongLineCalendar(size_t nBytes) {
  std::string text =
      "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//bench//EN\r\nBEGIN:VEVENT\r\n"
      "UID:long@example.com\r\nDTSTAMP:20110301T120000Z\r\nDTSTART:20110307T080000Z\r\n"
      "SUMMARY:Pasted\r\nDESCRIPTION:";
  text.append(nBytes, 'a');
  text += "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
  return text;
}

void BM_LoadOneLongLine(benchmark::State& state) {
  Calendar();
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() /
      ("db-bench-outlook-long-" + std::to_string(::getpid()) + ".ics");
  std::ofstream(path, std::ios::binary)
      << LongLineCalendar(static_cast<size_t>(state.range(0)) << 20);
  setenv("DAYBRIDGE_OUTLOOK_CALENDAR", path.c_str(), 1);
  for (auto _ : state) {
    OlDateUtil store;
    store.Load();
    if (store.GetRecordSet()->GetCount() != 1) state.SkipWithError("record missing");
  }
  setenv("DAYBRIDGE_OUTLOOK_CALENDAR", Calendar().path.c_str(), 1);
  std::filesystem::remove(path);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (state.range(0) << 20));
}
BENCHMARK(BM_LoadOneLongLine)->Arg(1)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace
