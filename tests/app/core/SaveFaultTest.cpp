// Every save of a user's file, cut at every operation of the file layer. A save path is run
// once to count its operations; then, for every N of them, the process "crashes" at N (the
// file layer does nothing from there on) or the Nth operation fails with ENOSPC, EIO or
// EACCES. After a crash a fresh open must find the whole old or the whole new content (and
// every save acknowledged before it); after a failure the save must say so, with a reason,
// and leave the old content, unless the failed step is one the save does without (removing a
// stale temporary file, flushing the folder after the rename, a fold the journal stands in
// for): then it reports success and the new content is there whole. Each run prints its counts.
#include <gtest/gtest.h>
#include <libical/ical.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <tuple>

#include "app/core/SyncHistory.h"
#include "common/misc/CxFailure.h"
#include "common/palm/DatebookLayouts.h"
#include "common/palm/PalmDateEx2.h"
#include "demo/palm6/Palm6Fixture.h"
#include "platform/outlook/IcsFile.h"
#include "platform/win/WinOs.h"
#include "platform/win/WinProfile.h"
#include "platform/win/WinReplace.h"
#include "platform/win/WinString.h"
#include "platform/win/WinSystem.h"
#include "support/EnvGuard.h"
#include "support/calendar/OneEventCalendar.h"
#include "support/files/FaultPlan.h"
#include "support/files/TempFolder.h"
#include "support/golden/GoldenFile.h"
#include "support/log/LogCapture.h"

namespace {

struct SaveOutcome {
  bool bSaved = false;
  std::string strWhy;  // the reason a failed save gives
};

// One save path: the old state it starts from, the save (everything from the open to the last
// object going away, so that all of it runs under the fault plan), and what a fresh open
// finds, as comparable text.
struct SavePath {
  const char* szName;
  std::function<void(const dbtest::TempFolder&)> prepare;
  std::function<SaveOutcome(const dbtest::TempFolder&)> save;
  std::function<std::string(const dbtest::TempFolder&)> reopen;
};

std::string ReadText(const std::string& strPath) {
  std::string strText;
  golden::ReadWhole(strPath, &strText);
  return strText;
}

void WriteText(const std::string& strPath, const std::string& strText) {
  std::ofstream(strPath, std::ios::binary | std::ios::trunc) << strText;
}

template <typename Layout>
SavePath DatebookPath(const char* szName) {
  auto path = [](const dbtest::TempFolder& f) { return f.File("datebook.dat"); };
  return {
      szName,
      [path](const dbtest::TempFolder& f) { dbtest::WriteFileBytes(path(f), Layout::Build(3)); },
      [path](const dbtest::TempFolder& f) {
        typename Layout::Util db(path(f).c_str());
        typename Layout::Record rec{};
        const bool bSaved = db.IsLoaded() && db.GetDataMgr()->Add(&rec) && db.Save();
        return SaveOutcome{bSaved, db.GetLastFailure().szText};
      },
      [path](const dbtest::TempFolder& f) {
        // The backup, when there is one, is the whole previous datebook.
        const std::string strBackup = path(f) + ".bak";
        if (std::ifstream(strBackup) && dbtest::ReadFileBytes(strBackup) != Layout::Build(3)) {
          return std::string("damaged backup");
        }
        typename Layout::Util db(path(f).c_str());
        return db.IsLoaded() ? std::to_string(db.GetDataMgr()->GetCount()) + " records"
                             : std::string("does not load: ") + db.GetLastFailure().szText;
      }};
}

SavePath DatabasePath() {
  auto path = [](const dbtest::TempFolder& f) { return f.File("DateBook.mdb"); };
  return {"Database6",
          [path](const dbtest::TempFolder& f) {
            palm6::Palm6Fixture fixture(path(f));
            fixture.AddCategory(1, "Business");
            fixture.AddMain({.nRecordId = 101,
                             .strCategory = "1",
                             .strNote = "old note",
                             .strStartTime = "1331110800",
                             .strEndTime = "1331114400",
                             .strSummary = "Dentist"});
          },
          [path](const dbtest::TempFolder& f) {
            dbtest::LogCapture log;
            PmDateEx2Util db(path(f).c_str());
            if (!db.IsLoaded()) return SaveOutcome{false, db.GetLastFailure().szText};
            PmDateEx2Record record = *db.GetRecords()->GetAt(0);
            CxCopyText(record.szNote, "new note");
            const bool bSaved = db.SaveRecord(&record);
            const std::string strLog = log.Text();
            const size_t nError = strLog.find("Error=");
            return SaveOutcome{bSaved, nError == std::string::npos ? "" : strLog.substr(nError)};
          },
          [path](const dbtest::TempFolder& f) {
            PmDateEx2Util db(path(f).c_str());
            if (!db.IsLoaded() || db.GetRecords()->GetCount() != 1) {
              return std::string("does not load: ") + db.GetLastFailure().szText;
            }
            return std::string(db.GetRecords()->GetAt(0)->szNote);
          }};
}

std::string CalendarOf(const dbtest::TempFolder& f) {
  return f.File("Calendar.ics");
}

// An item saved into the journal and acknowledged, the run then gone without a fold.
void PrepareAcknowledged(const dbtest::TempFolder& f) {
  WriteText(CalendarOf(f), dbtest::kOneEventCalendar);
  HRESULT hr = S_OK;
  std::string strError;
  std::unique_ptr<OlIcsFile> pFile = OlIcsFile::Open(CalendarOf(f), &hr, &strError);
  size_t nItem = 0;
  if (pFile) pFile->AppendItem(dbtest::NamedEvent("Acknowledged"), &nItem);
}

// The subjects a fresh open finds, and whether the calendar file alone is whole.
std::string ReopenCalendar(const dbtest::TempFolder& f) {
  HRESULT hr = S_OK;
  std::string strError;
  if (!OlIcsFile::FromText(ReadText(CalendarOf(f)), &hr, &strError)) return "torn: " + strError;
  std::unique_ptr<OlIcsFile> pFile = OlIcsFile::Open(CalendarOf(f), &hr, &strError);
  if (!pFile) return "does not open: " + strError;
  std::set<std::string> subjects;
  for (size_t i = 0; i < pFile->GetItemCount(); ++i) {
    subjects.insert(icalcomponent_get_summary(pFile->GetItem(i)));
  }
  std::string strOut;
  for (const std::string& strSubject : subjects) strOut += strSubject + ";";
  return strOut;
}

SaveOutcome CalendarSave(const dbtest::TempFolder& f, bool bFold) {
  HRESULT hr = S_OK;
  std::string strError;
  std::unique_ptr<OlIcsFile> pFile = OlIcsFile::Open(CalendarOf(f), &hr, &strError);
  if (!pFile) return {false, strError};
  size_t nItem = 0;
  hr = pFile->AppendItem(dbtest::NamedEvent("New"), &nItem);
  if (hr == S_OK && bFold) hr = pFile->Fold();
  char szWhy[64];
  std::snprintf(szWhy, sizeof(szWhy), "0x%08lx %s", static_cast<unsigned long>(hr),
                CxFileErrorText(GetLastError()));
  return {hr == S_OK, szWhy};
}

SavePath SettingsPath() {
  auto path = [](const dbtest::TempFolder& f) { return f.File("settings.ini"); };
  return {"Settings",
          [path](const dbtest::TempFolder& f) { WriteText(path(f), "[Main]\nUser=old\n"); },
          [path](const dbtest::TempFolder& f) {
            const BOOL bSaved = WritePrivateProfileString("Main", "User", "new", path(f).c_str());
            return SaveOutcome{bSaved != FALSE, bSaved ? "" : CxFileErrorText(GetLastError())};
          },
          [path](const dbtest::TempFolder& f) { return ReadText(path(f)); }};
}

HistoryEntry Entry(const char* szDesc) {
  HistoryEntry entry{};
  CxCopyText(entry.szDesc, szDesc);
  return entry;
}

SavePath HistoryPath() {
  auto path = [](const dbtest::TempFolder& f) { return f.File(HISTORY_FILE_NAME); };
  return {"History",
          [path](const dbtest::TempFolder& f) {
            SyncHistoryMgr history;
            const HistoryEntry entry = Entry("first run");
            history.Add(&entry);
            history.Save(path(f).c_str());
          },
          [path](const dbtest::TempFolder& f) {
            SyncHistoryMgr history;
            if (!history.Load(path(f).c_str())) return SaveOutcome{false, "load failed"};
            const HistoryEntry entry = Entry("second run");
            history.Add(&entry);
            const bool bSaved = history.Save(path(f).c_str());
            return SaveOutcome{bSaved, history.GetLastFailure().szText};
          },
          [path](const dbtest::TempFolder& f) {
            SyncHistoryMgr history;
            if (!history.Load(path(f).c_str())) return std::string("does not load");
            std::string strOut = history.GetNotice();
            for (HistoryEntry* p = history.Newest(); p != nullptr; p = history.Older()) {
              strOut += std::string(p->szDesc) + ";";
            }
            return strOut;
          }};
}

const SavePath& PathAt(int nIndex) {
  static const SavePath paths[] = {
      DatebookPath<dbtest::CurrentLayout>("Datebook414"),
      DatebookPath<dbtest::EarlierLayout>("DatebookEarlier"),
      DatabasePath(),
      {"JournalAppend", PrepareAcknowledged,
       [](const dbtest::TempFolder& f) { return CalendarSave(f, false); }, ReopenCalendar},
      {"CalendarFold", PrepareAcknowledged,
       [](const dbtest::TempFolder& f) { return CalendarSave(f, true); }, ReopenCalendar},
      SettingsPath(),
      HistoryPath(),
  };
  return paths[nIndex];
}
constexpr int kPathCount = 7;

// 0 for a crash, else the errno the Nth operation fails with; and their names in the tests.
const int kFaults[] = {0, ENOSPC, EIO, EACCES};
const char* const kFaultNames[] = {"Crash", "DiskFull", "IoError", "AccessDenied"};

class SaveFaultTest : public ::testing::TestWithParam<std::tuple<int, int>> {
 protected:
  void SetUp() override { OlIcsFile::SetFoldFloor(1u << 30); }  // only the fold path folds
  void TearDown() override { OlIcsFile::SetFoldFloor(OL_ICS_FOLD_FLOOR); }

  dbtest::EnvGuard m_Zone{"TZ", "UTC"};
};

TEST_P(SaveFaultTest, CutAtEveryOperationLeavesOldOrNewAndReportsFailures) {
  const SavePath& path = PathAt(std::get<0>(GetParam()));
  const int nFault = kFaults[std::get<1>(GetParam())];

  // The clean save: its operations, and the content before and after.
  std::string strOld, strNew;
  long nOperations = 0;
  {
    dbtest::TempFolder folder;
    path.prepare(folder);
    strOld = path.reopen(folder);
    SaveOutcome outcome;
    {
      dbtest::FaultPlan counting(CX_OS_FAULT_PLAN{});
      outcome = path.save(folder);
      nOperations = CxOsOperationCount();
    }
    ASSERT_TRUE(outcome.bSaved) << outcome.strWhy;
    strNew = path.reopen(folder);
    ASSERT_NE(strOld, strNew);
  }

  int nReported = 0, nStood = 0;
  for (long nAt = 1; nAt <= nOperations; ++nAt) {
    SCOPED_TRACE(std::string(path.szName) + " cut at operation " + std::to_string(nAt));
    dbtest::TempFolder folder;
    path.prepare(folder);
    SaveOutcome outcome;
    {
      dbtest::FaultPlan plan(CX_OS_FAULT_PLAN{CX_OS_ANY, nAt, nFault, nFault == 0});
      outcome = path.save(folder);
    }
    const std::string strFound = path.reopen(folder);
    if (nFault == 0) {
      EXPECT_TRUE(strFound == strOld || strFound == strNew) << strFound;
      // What the dead run left behind does not stop the next one.
      EXPECT_TRUE(path.save(folder).bSaved);
    } else if (!outcome.bSaved) {
      ++nReported;
      EXPECT_FALSE(outcome.strWhy.empty());
      EXPECT_EQ(strFound, strOld);
    } else {
      ++nStood;
      EXPECT_EQ(strFound, strNew) << "a save that failed says it succeeded";
    }
  }
  std::printf(
      "%s, %s: %ld operations per save; %ld points tried, %d reported as failed, "
      "%d tolerated with the save standing whole\n",
      path.szName, nFault == 0 ? "crash" : std::strerror(nFault), nOperations, nOperations,
      nReported, nStood);
}

INSTANTIATE_TEST_SUITE_P(EverySave, SaveFaultTest,
                         ::testing::Combine(::testing::Range(0, kPathCount),
                                            ::testing::Range(0, 4)),
                         [](const auto& row) {
                           return std::string(PathAt(std::get<0>(row.param)).szName) +
                                  kFaultNames[std::get<1>(row.param)];
                         });

}  // namespace
