// The journal of the Outlook stand-in's calendar: what the reader makes of torn and damaged
// bytes, what an open finds after a run ended in every way it can end, that folds stay a
// constant share of the bytes saved, that a failed append leaves no record half-written, and
// one real kill of a child in a save loop: the smoke test of what the fault tests of every
// save model operation by operation.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "platform/outlook/IcsFile.h"
#include "platform/outlook/IcsJournal.h"
#include "platform/win/WinReplace.h"
#include "platform/win/WinSystem.h"
#include "support/calendar/OneEventCalendar.h"
#include "support/files/FileTestSupport.h"

namespace fs = std::filesystem;

namespace {

const char* const kBase = dbtest::kOneEventCalendar;

std::string Event(const std::string& strName) {
  return dbtest::NamedEvent(strName);
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

void WriteAll(const fs::path& path, const std::string& strText) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << strText;
}

// A temporary folder with the calendar kBase in it.
class JournalTest : public ::testing::Test {
 public:
  void SetUp() override {
    m_dir = fs::temp_directory_path() /
            ("db-journal-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(m_dir);
    fs::create_directories(m_dir);
    m_path = m_dir / "Calendar.ics";
    m_journal = m_dir / "Calendar.ics.journal";
    WriteAll(m_path, kBase);
  }
  void TearDown() override {
    OlIcsFile::SetFoldFloor(OL_ICS_FOLD_FLOOR);
    fs::remove_all(m_dir);
  }

  std::unique_ptr<OlIcsFile> Open() {
    HRESULT hr = S_OK;
    std::string strError;
    return OlIcsFile::Open(m_path.string(), &hr, &strError);
  }
  // Saves the events into the journal and ends as a killed run would: without a fold.
  void SaveUnfolded(std::initializer_list<const char*> names) {
    std::unique_ptr<OlIcsFile> pFile = Open();
    ASSERT_TRUE(pFile);
    for (const char* szName : names) {
      size_t nItem = 0;
      ASSERT_EQ(pFile->AppendItem(Event(szName), &nItem), S_OK);
    }
  }
  std::set<std::string> Subjects(OlIcsFile* pFile) {
    std::set<std::string> subjects;
    for (size_t i = 0; i < pFile->GetItemCount(); ++i) {
      subjects.insert(icalcomponent_get_summary(pFile->GetItem(i)));
    }
    return subjects;
  }
  bool HasAside() const { return fs::exists(m_journal.string() + ".unapplied-1"); }

  fs::path m_dir;
  fs::path m_path;
  fs::path m_journal;
};

// ---------------------------------------------------------------------------------------
// The reader

std::string WholeJournal() {
  return OlJournalHeader(10, 20) + OlJournalAppend(Event("a"), "") +
         OlJournalReplace(0, Event("b"), "") + OlJournalFold(30, 40);
}

struct ReadCase {
  const char* szName;
  std::string (*pfnBytes)();
  bool bHeader;
  size_t nRecords;
  OlJournalEnd end;
};

class JournalReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(JournalReadTest, TakesTheWholeRecordsAndTellsHowItEnds) {
  const std::string strBytes = GetParam().pfnBytes();
  OlJournalContents contents;
  OlReadJournal(strBytes.data(), strBytes.size(), &contents);
  EXPECT_EQ(contents.bHeader, GetParam().bHeader);
  EXPECT_EQ(contents.records.size(), GetParam().nRecords);
  EXPECT_EQ(contents.end, GetParam().end);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, JournalReadTest,
    ::testing::Values(
        ReadCase{"Whole", WholeJournal, true, 3, OL_JOURNAL_WHOLE},
        ReadCase{"HeaderCutShort", [] { return WholeJournal().substr(0, 20); }, false, 0,
                 OL_JOURNAL_TORN},
        ReadCase{"HeaderOfZeros", [] { return std::string(64, '\0'); }, false, 0, OL_JOURNAL_TORN},
        ReadCase{"NotAJournal",
                 [] { return std::string("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nEND:VCALENDAR\r\n"); },
                 false, 0, OL_JOURNAL_DAMAGED},
        ReadCase{"LastRecordCutShort",
                 [] {
                   const std::string s = WholeJournal();
                   return s.substr(0, s.size() - 3);
                 },
                 true, 2, OL_JOURNAL_TORN},
        ReadCase{"LengthPastTheEnd",
                 [] { return OlJournalHeader(1, 2) + std::string("\xff\xff\xff\x7f", 4); }, true, 0,
                 OL_JOURNAL_TORN},
        ReadCase{"ZerosAfterTheRecords", [] { return WholeJournal() + std::string(100, '\0'); },
                 true, 3, OL_JOURNAL_TORN},
        ReadCase{"LastRecordGarbled",
                 [] {
                   std::string s = WholeJournal();
                   s[s.size() - 2] ^= 1;
                   return s;
                 },
                 true, 2, OL_JOURNAL_TORN},
        ReadCase{"MiddleRecordGarbled",
                 [] {
                   std::string s = WholeJournal();
                   s[32 + 12 + 20] ^= 1;  // inside the first record's event text
                   return s;
                 },
                 true, 0, OL_JOURNAL_DAMAGED},
        // Checked whole, yet no record of ours: damage even as the last record.
        ReadCase{"UnknownKindWithAGoodCheck",
                 [] {
                   const std::string strLength("\x04\0\0\0", 4);
                   const std::string strPayload("\x09xyz", 4);
                   const std::string strChecked = strLength + strPayload;
                   const ULONGLONG nCheck = CxHashContents(strChecked.data(), strChecked.size());
                   return OlJournalHeader(1, 2) + strLength +
                          std::string(reinterpret_cast<const char*>(&nCheck), 8) + strPayload;
                 },
                 true, 0, OL_JOURNAL_DAMAGED}),
    [](const ::testing::TestParamInfo<ReadCase>& row) { return row.param.szName; });

// ---------------------------------------------------------------------------------------
// What an open finds after three saves of a run that never folded them

struct RecoveryCase {
  const char* szName;
  void (*pfnAfter)(JournalTest& test);  // what happened after the run
  std::vector<std::string> subjects;    // what the open shows
  bool bFileRewritten;                  // the open folded the saves into the file
  bool bAside;                          // the journal was kept aside, unapplied
};

class JournalRecoveryTest : public JournalTest,
                            public ::testing::WithParamInterface<RecoveryCase> {};

struct RecoverySteps {
  static void Killed(JournalTest&) {}
  static void LastRecordTorn(JournalTest& test) {
    fs::resize_file(test.m_journal, fs::file_size(test.m_journal) - 5);
  }
  // Killed after the fold replaced the file and before it removed the journal.
  static void FoldedNotRemoved(JournalTest& test) {
    const std::string strJournal = ReadAll(test.m_journal);
    test.Open();  // recovers and folds
    const std::string strFolded = ReadAll(test.m_path);
    WriteAll(test.m_journal,
             strJournal + OlJournalFold(strFolded.size(),
                                        CxHashContents(strFolded.data(), strFolded.size())));
  }
  static void ChangedElsewhere(JournalTest& test) {
    std::string strOther = kBase;
    strOther.insert(strOther.find("END:VCALENDAR"), Event("Elsewhere"));
    WriteAll(test.m_path, strOther);
  }
  static void FirstRecordDamaged(JournalTest& test) {
    std::string strJournal = ReadAll(test.m_journal);
    strJournal[32 + 12 + 30] ^= 1;
    WriteAll(test.m_journal, strJournal);
  }
  static void HeaderTorn(JournalTest& test) {
    WriteAll(test.m_journal, ReadAll(test.m_journal).substr(0, 10));
  }
};

TEST_P(JournalRecoveryTest, ShowsEveryWholeSaveOnceAndNeverOverwritesAnotherProgram) {
  SaveUnfolded({"A", "B", "C"});
  GetParam().pfnAfter(*this);
  const std::string strBefore = ReadAll(m_path);
  std::unique_ptr<OlIcsFile> pFile = Open();
  ASSERT_TRUE(pFile);
  EXPECT_EQ(Subjects(pFile.get()),
            std::set<std::string>(GetParam().subjects.begin(), GetParam().subjects.end()));
  EXPECT_EQ(ReadAll(m_path) != strBefore, GetParam().bFileRewritten);
  EXPECT_FALSE(fs::exists(m_journal));
  EXPECT_EQ(HasAside(), GetParam().bAside);
  // Whatever the open found, the calendar goes on taking saves.
  size_t nItem = 0;
  EXPECT_EQ(pFile->AppendItem(Event("D"), &nItem), S_OK);
  EXPECT_EQ(pFile->Fold(), S_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Aftermath, JournalRecoveryTest,
    ::testing::Values(
        RecoveryCase{"Killed", RecoverySteps::Killed, {"Base", "A", "B", "C"}, true, false},
        RecoveryCase{
            "LastRecordTorn", RecoverySteps::LastRecordTorn, {"Base", "A", "B"}, true, false},
        RecoveryCase{"FoldedNotRemoved",
                     RecoverySteps::FoldedNotRemoved,
                     {"Base", "A", "B", "C"},
                     false,
                     false},
        RecoveryCase{"ChangedElsewhere",
                     RecoverySteps::ChangedElsewhere,
                     {"Base", "Elsewhere"},
                     false,
                     true},
        RecoveryCase{
            "FirstRecordDamaged", RecoverySteps::FirstRecordDamaged, {"Base"}, false, true},
        RecoveryCase{"HeaderTorn", RecoverySteps::HeaderTorn, {"Base"}, false, false}),
    [](const ::testing::TestParamInfo<RecoveryCase>& row) { return row.param.szName; });

// ---------------------------------------------------------------------------------------
// Saving

// Each fold writes about twice what the one before wrote, so all of them together stay
// within a small multiple of the final file: O(N) bytes for N saves.
TEST_F(JournalTest, FoldsWriteAtMostThreeTimesTheFinalFile) {
  OlIcsFile::SetFoldFloor(0);
  std::unique_ptr<OlIcsFile> pFile = Open();
  ASSERT_TRUE(pFile);
  constexpr int kSaves = 300;
  uintmax_t nFolded = 0;
  struct stat stBase {};
  ASSERT_EQ(::stat(m_path.c_str(), &stBase), 0);
  ino_t nLastNode = stBase.st_ino;
  for (int i = 0; i < kSaves; ++i) {
    size_t nItem = 0;
    ASSERT_EQ(pFile->AppendItem(Event("item-" + std::to_string(i)), &nItem), S_OK);
    struct stat st {};
    ASSERT_EQ(::stat(m_path.c_str(), &st), 0);
    if (st.st_ino != nLastNode) nFolded += static_cast<uintmax_t>(st.st_size);
    nLastNode = st.st_ino;
  }
  ASSERT_EQ(pFile->Fold(), S_OK);
  EXPECT_GT(nFolded, 0u);
  EXPECT_LE(nFolded, 3 * fs::file_size(m_path));
  EXPECT_EQ(Subjects(Open().get()).size(), kSaves + 1u);
}

TEST_F(JournalTest, FailedAppendLeavesNoHalfRecordBeforeLaterSaves) {
  std::unique_ptr<OlIcsFile> pFile = Open();
  size_t nItem = 0;
  ASSERT_EQ(pFile->AppendItem(Event("A"), &nItem), S_OK);
  // A disk that fills up in the middle of the next record.
  ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit old {};
  ::getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit limit = old;
  limit.rlim_cur = fs::file_size(m_journal) + 40;
  ::setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_EQ(pFile->AppendItem(Event("Lost"), &nItem), OL_E_DISK_ERROR);
  ::setrlimit(RLIMIT_FSIZE, &old);
  const std::string strJournal = ReadAll(m_journal);
  OlJournalContents contents;
  OlReadJournal(strJournal.data(), strJournal.size(), &contents);
  EXPECT_EQ(contents.end, OL_JOURNAL_WHOLE);
  EXPECT_EQ(contents.records.size(), 1u);
  ASSERT_EQ(pFile->AppendItem(Event("C"), &nItem), S_OK);
  EXPECT_EQ(Subjects(pFile.get()), (std::set<std::string>{"Base", "A", "C"}));
  pFile.reset();  // killed: no fold
  EXPECT_EQ(Subjects(Open().get()), (std::set<std::string>{"Base", "A", "C"}));
}

TEST_F(JournalTest, AnotherRunsJournalIsLeftAloneAndRefusesSaves) {
  dbtest::HeldElsewhere other([&] {
    const int fd = ::open(m_journal.c_str(), O_RDWR | O_CREAT, 0600);
    return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::write(fd, "x", 1) == 1;
  });
  ASSERT_TRUE(other.Held());
  std::unique_ptr<OlIcsFile> pFile = Open();
  ASSERT_TRUE(pFile);
  size_t nItem = 0;
  EXPECT_EQ(pFile->AppendItem(Event("A"), &nItem), OL_E_DISK_ERROR);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_LOCK_VIOLATION));
  EXPECT_EQ(ReadAll(m_journal), "x");
  EXPECT_EQ(ReadAll(m_path), kBase);
}

TEST_F(JournalTest, JournalIsAsPrivateAsTheCalendar) {
  ::chmod(m_path.c_str(), 0600);
  std::unique_ptr<OlIcsFile> pFile = Open();
  size_t nItem = 0;
  ASSERT_EQ(pFile->AppendItem(Event("A"), &nItem), S_OK);
  EXPECT_EQ(fs::status(m_journal).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

// What another user (or a run that could not clean up) leaves at the journal's name: it is
// never replayed into the calendar, and the calendar goes on taking saves.
class PlantedJournalTest : public JournalTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PlantedJournalTest, IsNeverAppliedAndNeverStopsLaterSaves) {
  const std::string strBase = ReadAll(m_path);
  const std::string strForged =
      OlJournalHeader(strBase.size(), CxHashContents(strBase.data(), strBase.size())) +
      OlJournalAppend(Event("Planted"), "");
  const std::string kind = GetParam();
  if (kind == "OfAnotherUser") {
    if (::geteuid() != 0) GTEST_SKIP() << "giving a file to another user needs root";
    WriteAll(m_journal, strForged);
    ASSERT_EQ(::chown(m_journal.c_str(), dbtest::kUnprivilegedId, dbtest::kUnprivilegedId), 0);
  } else if (kind == "Fifo") {
    ASSERT_EQ(::mkfifo(m_journal.c_str(), 0600), 0);
  } else {  // damaged, and every name it could be set aside under taken
    WriteAll(m_journal, "not a journal at all, and long enough to have a header");
    for (int n = 1; n <= 1000; ++n)
      WriteAll(m_journal.string() + ".unapplied-" + std::to_string(n), "");
  }
  for (const char* szSave : {"D", "E"}) {  // two runs
    std::unique_ptr<OlIcsFile> pFile = Open();
    ASSERT_TRUE(pFile);
    size_t nItem = 0;
    EXPECT_EQ(pFile->AppendItem(Event(szSave), &nItem), S_OK) << GetLastError();
    EXPECT_EQ(pFile->Fold(), S_OK);
  }
  EXPECT_EQ(Subjects(Open().get()), (std::set<std::string>{"Base", "D", "E"}));
}

INSTANTIATE_TEST_SUITE_P(AtTheJournalsName, PlantedJournalTest,
                         ::testing::Values("OfAnotherUser", "Fifo", "DamagedAndStuck"),
                         [](const auto& row) { return std::string(row.param); });

// Saves into a calendar its user may not write are refused with the reason at once, and
// leave no journal behind that would make a later run fail for another reason.
TEST_F(JournalTest, ReadOnlyCalendarRefusesTheSaveAndLeavesNoJournal) {
  ::chmod(m_path.c_str(), 0444);
  ::chmod(m_dir.c_str(), 0777);
  EXPECT_EQ(dbtest::RunUnprivileged([this] {
              size_t nItem = 0;
              return Open()->AppendItem(Event("A"), &nItem) == OL_E_DISK_ERROR &&
                     GetLastError() == ERROR_ACCESS_DENIED;
            }),
            1);
  EXPECT_FALSE(fs::exists(m_journal));
}

// A repeating item's save and the deletion of one of its days: a crash between them drops
// both, a crash after both keeps both.
TEST_F(JournalTest, GroupCutOffByACrashIsAppliedWholeOrNotAtAll) {
  for (const std::string name : {"Open", "Closed"}) {
    std::unique_ptr<OlIcsFile> pFile = Open();
    size_t nItem = 0;
    pFile->BeginGroup();
    ASSERT_EQ(pFile->AppendItem(Event(name), &nItem), S_OK);
    std::string strDayDeleted = Event(name);
    strDayDeleted.replace(strDayDeleted.find("SUMMARY:"), 8, "SUMMARY:Day deleted ");
    ASSERT_EQ(pFile->ReplaceItem(nItem, strDayDeleted), S_OK);
    if (name == "Closed") pFile->EndGroup();
  }  // each run killed: no fold
  EXPECT_EQ(Subjects(Open().get()), (std::set<std::string>{"Base", "Day deleted Closed"}));
}

// A change another program makes while saves are pending: the fold at release leaves the
// file alone, and the next open keeps the saves aside instead of mixing them in.
TEST_F(JournalTest, ChangeElsewhereWhilePendingKeepsBothSides) {
  std::unique_ptr<OlIcsFile> pFile = Open();
  size_t nItem = 0;
  ASSERT_EQ(pFile->AppendItem(Event("Mine"), &nItem), S_OK);
  std::string strOther = kBase;
  strOther.replace(strOther.find("SUMMARY:Base"), 12, "SUMMARY:Theirs");
  WriteAll(m_path, strOther);
  EXPECT_EQ(pFile->AppendItem(Event("Refused"), &nItem), OL_E_OBJECT_CHANGED);
  EXPECT_EQ(pFile->Fold(), OL_E_OBJECT_CHANGED);
  pFile.reset();
  EXPECT_EQ(ReadAll(m_path), strOther);
  EXPECT_EQ(Subjects(Open().get()), (std::set<std::string>{"Theirs"}));
  ASSERT_TRUE(HasAside());
  EXPECT_NE(ReadAll(m_journal.string() + ".unapplied-1").find("SUMMARY:Mine"), std::string::npos);
}

// ---------------------------------------------------------------------------------------
// A save loop killed for real, a few times: proof that a kill is what the fault plan's crash
// models (the written bytes stay, the locks go), not a search for the bad moment.

// The child: saves items "<round>-<i>" and reports each i whose save returned, until killed.
[[noreturn]] void SaveLoop(const fs::path& path, int nRound, int fdAcks) {
  OlIcsFile::SetFoldFloor(0);  // folds often, so that kills land in them too
  HRESULT hr = S_OK;
  std::string strError;
  std::unique_ptr<OlIcsFile> pFile = OlIcsFile::Open(path.string(), &hr, &strError);
  for (int i = 0; pFile && i < 2000; ++i) {
    const std::string strName = std::to_string(nRound) + "-" + std::to_string(i);
    size_t nItem = 0;
    const bool bSaved = pFile->AppendItem(Event(strName), &nItem) == S_OK;
    if (bSaved && ::write(fdAcks, &i, sizeof(i)) != sizeof(i)) break;
  }
  ::_exit(0);
}

TEST_F(JournalTest, KilledSaveLoopKeepsEveryAcknowledgedSaveAndAWholeFile) {
  std::mt19937 random(20240516);
  constexpr int kRounds = 3;
  std::set<std::string> acknowledged;
  for (int nRound = 0; nRound < kRounds; ++nRound) {
    int acks[2];
    ASSERT_EQ(::pipe(acks), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(acks[0]);
      SaveLoop(m_path, nRound, acks[1]);
    }
    ::close(acks[1]);
    const int nWait = std::uniform_int_distribution<int>(1, 300)(random);
    int nAck = 0;
    for (int nRead = 0; nRead < nWait && ::read(acks[0], &nAck, sizeof(nAck)) == sizeof(nAck);) {
      acknowledged.insert(std::to_string(nRound) + "-" + std::to_string(nAck));
      ++nRead;
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    while (::read(acks[0], &nAck, sizeof(nAck)) == sizeof(nAck)) {
      acknowledged.insert(std::to_string(nRound) + "-" + std::to_string(nAck));
    }
    ::close(acks[0]);

    // What other programs see is a whole calendar, whenever the kill came.
    HRESULT hr = S_OK;
    std::string strError;
    EXPECT_TRUE(OlIcsFile::FromText(ReadAll(m_path), &hr, &strError)) << strError;
    std::unique_ptr<OlIcsFile> pFile = Open();
    ASSERT_TRUE(pFile);
    const std::set<std::string> found = Subjects(pFile.get());
    EXPECT_EQ(found.size(), pFile->GetItemCount()) << "an item replayed twice";
    for (const std::string& strAck : acknowledged) EXPECT_EQ(found.count(strAck), 1u) << strAck;
  }
  EXPECT_GT(acknowledged.size(), static_cast<size_t>(kRounds));
}

}  // namespace
