// Load and save of a 4.1.4 datebook of 50,000 records (summaries, locations, notes of a few
// hundred bytes, every tenth record repeating weekly with two deleted occurrences), against a
// plain read of the same file's bytes, and the conversion of records into common records.
// Records per second are the items per second; the ratio of load to plain read is the ratio
// of BM_Load414's time to BM_PlainRead's.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/misc/CxDebugUtil.h"
#include "common/palm/PalmDateEx.h"
#include "common/palm/PalmDateInfo.h"
#include "platform/win/WinFile.h"
#include "platform/win/WinString.h"

namespace {

constexpr int kRecords = 50000;
constexpr int kRepeatEvery = 10;

struct BenchFiles {
  std::string folder;
  std::string datebook;
  std::string target;

  BenchFiles() {
    g_DebugLog.SetFolder("/nonexistent-daybridge-bench-log/");
    std::string pattern = (std::filesystem::temp_directory_path() / "dbbenchXXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    folder = pattern;
    datebook = folder + "/datebook.dat";
    target = folder + "/saved.dat";
    for (const std::string& path : {datebook, target}) {
      FILE* f = std::fopen(path.c_str(), "wb");
      if (f != nullptr) std::fclose(f);
    }
    PmDateExUtil db;
    Fill(db.GetDataMgr());
    if (!db.SaveAs(datebook.c_str())) std::abort();
  }
  ~BenchFiles() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }

  static void Fill(PmDateExDataMgr* pMgr) {
    auto pRec = std::make_unique<PmDateExRecord>();
    std::string note;
    for (int i = 0; i < kRecords; ++i) {
      std::memset(pRec.get(), 0, sizeof(*pRec));
      pRec->nRecordId = 100000 + static_cast<DWORD>(i);
      pRec->nSequence = 4096 + static_cast<DWORD>(i);
      pRec->nFieldBase = 27 * static_cast<DWORD>(i);
      pRec->nStartTime = 1104570000 + static_cast<DWORD>(i) * 3600;
      pRec->nEndTime = pRec->nStartTime + 1800;
      std::snprintf(pRec->szSummary, sizeof(pRec->szSummary), "Meeting with client %d", i);
      CxCopyText(pRec->szLocation, "Conference room B, second floor");
      note.assign(200 + i % 300, static_cast<char>('a' + i % 26));
      CxCopyText(pRec->szNote, note.c_str());
      pRec->bAlarm = i % 3 == 0;
      pRec->nAlarmAdvance = 15;
      if (i % kRepeatEvery == 0) {
        pRec->repeat.nBrand = PM_REPEAT_WEEKLY;
        pRec->repeat.nInterval = 1;
        pRec->repeat.nEndDate = PM_NO_END_DATE;
        pRec->repeat.nDayIndex = 1;
        pRec->repeat.bDaysMask = 0x0A;
        pRec->repeat.nExceptionCount = 2;
        pRec->repeat.nExceptions[0] = pRec->nStartTime + 7 * 86400;
        pRec->repeat.nExceptions[1] = pRec->nStartTime + 14 * 86400;
      }
      if (!pMgr->Add(pRec.get())) std::abort();
    }
  }
};

BenchFiles& Files() {
  static BenchFiles files;
  return files;
}

double PlainReadSeconds(const std::string& path, int64_t* pnBytes) {
  const auto start = std::chrono::steady_clock::now();
  HANDLE h = CreateFile(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) std::abort();
  std::vector<BYTE> buffer(GetFileSize(h, nullptr));
  DWORD nGot = 0;
  if (!ReadFile(h, buffer.data(), static_cast<DWORD>(buffer.size()), &nGot, nullptr)) std::abort();
  CloseHandle(h);
  benchmark::DoNotOptimize(buffer.data());
  *pnBytes = nGot;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_PlainRead(benchmark::State& state) {
  int64_t nBytes = 0;
  const std::string& path = Files().datebook;  // built before the clock runs
  for (auto _ : state) PlainReadSeconds(path, &nBytes);
  state.SetBytesProcessed(state.iterations() * nBytes);
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);

void BM_Load414(benchmark::State& state) {
  const std::string& path = Files().datebook;
  PmDateExUtil db;
  for (auto _ : state) {
    if (!db.LoadFile(path.c_str())) state.SkipWithError("load failed");
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.SetBytesProcessed(state.iterations() *
                          static_cast<int64_t>(std::filesystem::file_size(path)));
}
BENCHMARK(BM_Load414)->Unit(benchmark::kMillisecond);

void BM_Save414(benchmark::State& state) {
  PmDateExUtil db(Files().datebook.c_str());
  if (!db.IsLoaded()) state.SkipWithError("load failed");
  for (auto _ : state) {
    if (!db.SaveAs(Files().target.c_str())) state.SkipWithError("save failed");
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_Save414)->Unit(benchmark::kMillisecond);

// Conversion of loaded records into common records, timed and untimed (an untimed record's
// days are worked out from its start rather than read off the local time).
void BM_PalmToRecord(benchmark::State& state) {
  ::setenv("TZ", "Europe/Paris", 1);
  ::tzset();
  auto pRef = std::make_unique<PalmRecordRef>();
  std::memset(static_cast<void*>(pRef.get()), 0, sizeof(*pRef));
  pRef->nKind = PALM_KIND_DATEBOOK_EX;
  pRef->rec2.bUntimed = static_cast<LONG>(state.range(0));
  CxCopyText(pRef->rec2.szSummary, "Conference");
  auto pRecord = std::make_unique<CommDate>();
  for (auto _ : state) {
    for (int i = 0; i < kRecords; ++i) {
      pRef->rec2.nStartTime = 1104534000 + static_cast<DWORD>(i) * 86400;
      pRef->rec2.nEndTime = pRef->rec2.nStartTime + 86400;
      *pRecord = CommDate{};
      PmDateInfo::PalmToRecord(pRef.get(), pRecord.get());
      benchmark::DoNotOptimize(pRecord->stEnd);
    }
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_PalmToRecord)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
