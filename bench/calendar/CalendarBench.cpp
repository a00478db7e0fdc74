// The calendar core's two paths that grow with a calendar: the calendar tests of a long
// recurrence asked about a day decades after its start (the month calendar asks this for
// every day it marks, the day books for every record), and matching two whole calendars
// against each other. Single steps of the recurrence are the unit both are built from.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "common/calendar/CommDateMgr.h"
#include "common/misc/WinUtil.h"
#include "platform/win/WinString.h"

namespace {

SYSTEMTIME At(int nYear, int nMonth, int nDay, int nHour = 0) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(nYear);
  st.wMonth = static_cast<WORD>(nMonth);
  st.wDay = static_cast<WORD>(nDay);
  st.wHour = static_cast<WORD>(nHour);
  FixDayOfWeek(&st);
  return st;
}

std::unique_ptr<CommDate> Repeating(INT nType, UINT nMask) {
  auto pDate = std::make_unique<CommDate>();
  CxCopyText(pDate->szDescription, "Standup");
  pDate->stStart = At(1995, 1, 2, 9);  // a Monday
  pDate->stEnd = At(1995, 1, 2, 10);
  pDate->repeat.nType = nType;
  pDate->repeat.nInterval = 1;
  pDate->repeat.nDayOfWeekMask = nMask;
  return pDate;
}

void BM_OccursOnDayDailySince1995(benchmark::State& state) {
  auto pDate = Repeating(REPEAT_DAILY, 0);
  const SYSTEMTIME stDay = At(2026, 6, 15);
  for (auto _ : state) {
    benchmark::DoNotOptimize(OccursOnDay(pDate.get(), &stDay));
  }
}
BENCHMARK(BM_OccursOnDayDailySince1995)->Unit(benchmark::kMicrosecond);

void BM_OccursOnDayWeeklySince1995(benchmark::State& state) {
  auto pDate = Repeating(REPEAT_WEEKLY, DAYMASK_MONDAY);
  const SYSTEMTIME stDay = At(2026, 6, 15);  // also a Monday
  for (auto _ : state) {
    benchmark::DoNotOptimize(OccursOnDay(pDate.get(), &stDay));
  }
}
BENCHMARK(BM_OccursOnDayWeeklySince1995)->Unit(benchmark::kMicrosecond);

void BM_OccursOnDayMonthlyLastFridaySince1995(benchmark::State& state) {
  auto pDate = Repeating(REPEAT_MONTHLY_BY_DAY, DAYMASK_FRIDAY);
  pDate->repeat.nInstance = 5;
  const SYSTEMTIME stDay = At(2026, 6, 26);  // the last Friday of June
  for (auto _ : state) {
    benchmark::DoNotOptimize(OccursOnDay(pDate.get(), &stDay));
  }
}
BENCHMARK(BM_OccursOnDayMonthlyLastFridaySince1995)->Unit(benchmark::kMicrosecond);

void BM_OccursOnDayMonthlyOn31stSince1995(benchmark::State& state) {
  auto pDate = Repeating(REPEAT_MONTHLY_BY_DATE, 0);
  pDate->repeat.nDayOfMonth = 31;
  const SYSTEMTIME stDay = At(2026, 6, 30);  // cut to the month's last day
  for (auto _ : state) {
    benchmark::DoNotOptimize(OccursOnDay(pDate.get(), &stDay));
  }
}
BENCHMARK(BM_OccursOnDayMonthlyOn31stSince1995)->Unit(benchmark::kMicrosecond);

void BM_OccursOnDayYearlySince1995(benchmark::State& state) {
  auto pDate = Repeating(REPEAT_YEARLY_BY_DATE, 0);
  const SYSTEMTIME stDay = At(2026, 1, 2);
  for (auto _ : state) {
    benchmark::DoNotOptimize(OccursOnDay(pDate.get(), &stDay));
  }
}
BENCHMARK(BM_OccursOnDayYearlySince1995)->Unit(benchmark::kMicrosecond);

// The far end of what the calendar tests may be asked: a daily record from the first
// automation year asked about the last day.
void BM_OccursOnDayDailyYear100ToYear9999(benchmark::State& state) {
  auto pDate = Repeating(REPEAT_DAILY, 0);
  pDate->stStart = At(100, 1, 1, 9);
  pDate->stEnd = At(100, 1, 1, 10);
  const SYSTEMTIME stDay = At(9999, 12, 31);
  for (auto _ : state) {
    benchmark::DoNotOptimize(OccursOnDay(pDate.get(), &stDay));
  }
}
BENCHMARK(BM_OccursOnDayDailyYear100ToYear9999)->Unit(benchmark::kMicrosecond);

// The most a deleted occurrence can cost: a range whose first day is the first of as many
// deleted weekly occurrences in a row as a record keeps, so the search steps past all of them.
void BM_OccursInRangeWeeklyPastEveryDeletedOne(benchmark::State& state) {
  auto pDate = Repeating(REPEAT_WEEKLY, DAYMASK_MONDAY);
  std::vector<SYSTEMTIME> vDeleted;
  SYSTEMTIME stDay = At(2021, 8, 2);  // a Monday
  const SYSTEMTIME stFirst = stDay;
  for (UINT i = 0; i < REPEAT_MAX_EXCEPTIONS; i++) {
    vDeleted.push_back(stDay);
    AddDays(&stDay, 7);
  }
  SetDeletedOccurrences(pDate.get(), vDeleted.data(), static_cast<int>(vDeleted.size()));
  const SYSTEMTIME stLast = At(2030, 12, 31);
  for (auto _ : state) {
    benchmark::DoNotOptimize(OccursInRange(pDate.get(), &stFirst, &stLast));
  }
}
BENCHMARK(BM_OccursInRangeWeeklyPastEveryDeletedOne)->Unit(benchmark::kMicrosecond);

void BM_NextOccurrenceDailyStep(benchmark::State& state) {
  auto pDate = Repeating(REPEAT_DAILY, 0);
  SYSTEMTIME stCursor = pDate->stStart;
  for (auto _ : state) {
    if (!NextOccurrence(pDate.get(), &stCursor)) {
      stCursor = pDate->stStart;
    }
    benchmark::DoNotOptimize(stCursor);
  }
}
BENCHMARK(BM_NextOccurrenceDailyStep);

void BM_NextOccurrenceWeeklyStep(benchmark::State& state) {
  auto pDate = Repeating(REPEAT_WEEKLY, DAYMASK_MONDAY | DAYMASK_THURSDAY);
  SYSTEMTIME stCursor = pDate->stStart;
  for (auto _ : state) {
    if (!NextOccurrence(pDate.get(), &stCursor)) {
      stCursor = pDate->stStart;
    }
    benchmark::DoNotOptimize(stCursor);
  }
}
BENCHMARK(BM_NextOccurrenceWeeklyStep);

// Two sets of N records each; the first half of each side has an exact counterpart on the
// other side, the second half has none.
void FillSets(CommDateMgr* pMine, CommDateMgr* pTheirs, int nCount) {
  CommDate date{};
  CxCopyText(date.szLocation, "Room 1");
  for (int i = 0; i < nCount; i++) {
    const bool bShared = i < nCount / 2;
    date.stStart = At(2000 + i % 20, 1 + i % 12, 1 + i % 28, 9);
    date.stEnd = date.stStart;
    snprintf(date.szDescription, sizeof(date.szDescription), "Appointment %d", i);
    pMine->AddCopy(&date);
    if (!bShared) {
      snprintf(date.szDescription, sizeof(date.szDescription), "Other appointment %d", i);
    }
    pTheirs->AddCopy(&date);
  }
}

void BM_MarkAllHalfMatching(benchmark::State& state) {
  CommDateMgr mine;
  CommDateMgr theirs;
  FillSets(&mine, &theirs, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(mine.MarkAll(&theirs));
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_MarkAllHalfMatching)
    ->Arg(1000)
    ->Arg(5000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

// What a sync run does to the set it writes into: a search for every incoming record and an
// append of each one not found, N of them into a set of N.
void BM_FindAndAddRun(benchmark::State& state) {
  const int nCount = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    CommDateMgr mine;
    CommDateMgr theirs;
    FillSets(&mine, &theirs, nCount);
    state.ResumeTiming();
    for (CommDate* pDate = mine.GetFirst(); pDate != nullptr; pDate = mine.GetNext()) {
      if (theirs.FindMatch(pDate, nullptr, nullptr) == FIND_NONE) theirs.AddCopy(pDate);
    }
    benchmark::DoNotOptimize(theirs.GetCount());
  }
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_FindAndAddRun)
    ->Arg(1000)
    ->Arg(5000)
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace
