// Baselines of the calendar core's two costly paths: stepping a long recurrence up to a
// day decades after its start (the month calendar asks this for every day it marks), and
// matching two whole calendars against each other, which is quadratic by design.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

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
    ->Complexity(benchmark::oNSquared);

}  // namespace
