// Saving new appointments into the Outlook stand-in's calendar file one item at a time, as a
// synchronization does, and releasing the calendar at the end (which folds the journal into
// the file). The time per item must stay the same whatever the number of items: the file
// work of N saves is O(N).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "platform/outlook/IcsFile.h"

namespace {

std::string NewEvent(int i) {
  const std::string strId = std::to_string(i);
  return "BEGIN:VEVENT\r\nUID:save-" + strId +
         "@bench\r\nDTSTAMP:20250101T120000Z\r\nDTSTART:20250310T090000Z\r\n"
         "DTEND:20250310T100000Z\r\nSUMMARY:Meeting with client " +
         strId + "\r\nLOCATION:Room 4\r\nEND:VEVENT\r\n";
}

void BM_SaveItems(benchmark::State& state) {
  const int nItems = static_cast<int>(state.range(0));
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("db-bench-save-" + std::to_string(::getpid()));
  const std::string strPath = (folder / "Calendar.ics").string();
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    state.ResumeTiming();
    HRESULT hr = S_OK;
    std::string strError;
    std::unique_ptr<OlIcsFile> pFile = OlIcsFile::Open(strPath, &hr, &strError);
    for (int i = 0; pFile && i < nItems; ++i) {
      size_t nItem = 0;
      if (FAILED(pFile->AppendItem(NewEvent(i), &nItem))) {
        state.SkipWithError("a save failed");
        break;
      }
    }
    if (!pFile || FAILED(pFile->Fold())) state.SkipWithError("the calendar was not written");
  }
  state.SetItemsProcessed(state.iterations() * nItems);
  std::filesystem::remove_all(folder);
}

BENCHMARK(BM_SaveItems)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond);

}  // namespace
