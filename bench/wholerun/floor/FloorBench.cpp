// The floor under a whole run: the work no run can skip, timed on the very files the whole
// runs of measure-whole-runs.sh use. Reading both files' bytes, libical's parse of the
// Outlook calendar alone (from bytes already in memory), and the 4.1.4 datebook parse alone
// (the Palm store's own loader, which reads the file as it goes).
//
// The files come from the environment the script sets up: DAYBRIDGE_OUTLOOK_CALENDAR for the
// calendar, DAYBRIDGE_FLOOR_DATEBOOK for the datebook. Without them every case is skipped.
#include <benchmark/benchmark.h>
#include <libical/ical.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/palm/PalmDateEx.h"

namespace {

const char* PathFrom(const char* szVariable) {
  const char* szPath = std::getenv(szVariable);
  return szPath != nullptr && *szPath != 0 ? szPath : nullptr;
}

// The whole file, or an empty text when it cannot be read.
std::string ReadWhole(const char* szPath) {
  std::string strText;
  std::unique_ptr<FILE, int (*)(FILE*)> pFile(std::fopen(szPath, "rb"), &std::fclose);
  if (!pFile) return strText;
  char buffer[1 << 16];
  size_t nRead = 0;
  while ((nRead = std::fread(buffer, 1, sizeof buffer, pFile.get())) > 0)
    strText.append(buffer, nRead);
  return strText;
}

void BM_ReadBothFiles(benchmark::State& state) {
  const char* szCalendar = PathFrom("DAYBRIDGE_OUTLOOK_CALENDAR");
  const char* szDatebook = PathFrom("DAYBRIDGE_FLOOR_DATEBOOK");
  if (szCalendar == nullptr || szDatebook == nullptr) return state.SkipWithError("no files named");
  size_t nBytes = 0;
  for (auto _ : state) {
    const std::string strCalendar = ReadWhole(szCalendar);
    const std::string strDatebook = ReadWhole(szDatebook);
    nBytes = strCalendar.size() + strDatebook.size();
    benchmark::DoNotOptimize(nBytes);
  }
  state.counters["bytes"] = static_cast<double>(nBytes);
}
BENCHMARK(BM_ReadBothFiles)->Unit(benchmark::kMillisecond);

void BM_LibicalParseAlone(benchmark::State& state) {
  const char* szCalendar = PathFrom("DAYBRIDGE_OUTLOOK_CALENDAR");
  if (szCalendar == nullptr) return state.SkipWithError("no calendar named");
  const std::string strText = ReadWhole(szCalendar);
  if (strText.empty()) return state.SkipWithError("the calendar is empty or unreadable");
  for (auto _ : state) {
    icalcomponent* pCalendar = icalparser_parse_string(strText.c_str());
    if (pCalendar == nullptr) return state.SkipWithError("libical did not parse the calendar");
    benchmark::DoNotOptimize(pCalendar);
    icalcomponent_free(pCalendar);
  }
}
BENCHMARK(BM_LibicalParseAlone)->Unit(benchmark::kMillisecond);

void BM_DatebookParseAlone(benchmark::State& state) {
  const char* szDatebook = PathFrom("DAYBRIDGE_FLOOR_DATEBOOK");
  if (szDatebook == nullptr) return state.SkipWithError("no datebook named");
  int nRecords = 0;
  for (auto _ : state) {
    PmDateExUtil store;
    if (!store.LoadFile(szDatebook)) return state.SkipWithError("the datebook did not load");
    nRecords = store.GetDataMgr()->GetCount();
    store.ReleaseHold();
  }
  state.counters["records"] = nRecords;
}
BENCHMARK(BM_DatebookParseAlone)->Unit(benchmark::kMillisecond);

}  // namespace
