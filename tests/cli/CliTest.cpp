// daybridge-cli end to end: a demo environment is generated for a fixed day, then the tool
// runs on it as a user would run it, and its output, exit status and files are checked.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "support/ProcessRun.h"
#include "support/clock/ClockGuard.h"
#include "support/files/FileTestSupport.h"
#include "support/wine/WinePrefix.h"

namespace fs = std::filesystem;

namespace {

using Result = dbtest::ProcessResult;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int CountOf(const std::string& sText, const std::string& sPart) {
  int nCount = 0;
  for (size_t nPos = sText.find(sPart); nPos != std::string::npos;
       nPos = sText.find(sPart, nPos + sPart.size())) {
    ++nCount;
  }
  return nCount;
}

class CliEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_Root = fs::temp_directory_path() / ("daybridge-cli-test-" + std::to_string(getpid()));
    fs::remove_all(s_Root);
    fs::create_directories(s_Root);
  }
  static void TearDownTestSuite() { fs::remove_all(s_Root); }

  // A fresh environment per test: tests change the calendars.
  void SetUp() override {
    m_Demo = s_Root / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    Result gen =
        Run(std::string(DB_DEMO_PATH) + " --out '" + m_Demo.string() + "' --today 2026-12-09");
    ASSERT_EQ(gen.nExit, 0) << gen.sOut;
    std::ifstream env(m_Demo / "demo.env");
    std::string sLine;
    while (std::getline(env, sLine)) {
      size_t nEq = sLine.find('=');
      if (nEq != std::string::npos) {
        setenv(sLine.substr(0, nEq).c_str(), sLine.substr(nEq + 1).c_str(), 1);
      }
    }
  }

  static Result Run(const std::string& sCommand) { return dbtest::RunProcess(sCommand); }

  static Result Cli(const std::string& sArgs) {
    return Run(std::string(DB_CLI_PATH) + " " + sArgs);
  }

  fs::path Datebook(const char* szUser) const {
    return m_Demo / "palm" / szUser / "datebook" / "datebook.dat";
  }

  static fs::path s_Root;
  // The tool runs in Paris time, whatever the machine's zone.
  clockguard::ZoneGuard m_Zone{"Europe/Paris"};
  fs::path m_Demo;
};

fs::path CliEndToEnd::s_Root;

TEST_F(CliEndToEnd, StatusShowsPlacesUsersAndEveryMatchState) {
  Result r = Cli("status");
  ASSERT_EQ(r.nExit, 0) << r.sOut;
  EXPECT_NE(r.sOut.find("Palm Desktop 4.1.4 datebook, 9 records"), std::string::npos) << r.sOut;
  EXPECT_NE(r.sOut.find("Alice Martin"), std::string::npos);
  EXPECT_NE(r.sOut.find("Bruno Lefèvre"), std::string::npos);  // printed as UTF-8
  EXPECT_NE(r.sOut.find("Carla Rossi"), std::string::npos);
  EXPECT_NE(r.sOut.find("Palm Desktop:        5 new, 2 changed, 2 same"), std::string::npos)
      << r.sOut;
  EXPECT_NE(r.sOut.find("Outlook:             5 new, 2 changed, 2 same"), std::string::npos)
      << r.sOut;

  Result json = Cli("status --json");
  ASSERT_EQ(json.nExit, 0) << json.sOut;
  EXPECT_NE(json.sOut.find("\"kind\": 2"), std::string::npos) << json.sOut;
  EXPECT_NE(json.sOut.find("\"palmUserId\": 1001"), std::string::npos);
}

TEST_F(CliEndToEnd, ListJsonCarriesEveryKeyAndRangesFilter) {
  Result r = Cli("list palm --json");
  ASSERT_EQ(r.nExit, 0) << r.sOut;
  EXPECT_EQ(CountOf(r.sOut, "\"description\": "), 9) << r.sOut;
  for (const char* szKey :
       {"allDay",     "start",         "end",        "alarm",       "advance",  "advanceUnit",
        "note",       "location",      "category",   "private",     "repeat",   "type",
        "interval",   "dayOfWeekMask", "dayOfMonth", "monthOfYear", "instance", "hasEnd",
        "exceptions", "source",        "matchState"}) {
    EXPECT_NE(r.sOut.find(std::string("\"") + szKey + "\": "), std::string::npos) << szKey;
  }
  EXPECT_NE(r.sOut.find("\"Conférence annuelle à Genève\""), std::string::npos);
  EXPECT_NE(r.sOut.find("\"start\": \"2026-12-10T09:00:00\""), std::string::npos);

  // 2026-12-13 is a Sunday: the daily run (every two days from the 9th) and the birthday
  // (the 12th) are not on it, the conference (14th..16th) starts after it.
  Result day = Cli("list outlook --from 2026-12-13 --to 2026-12-13 --json");
  ASSERT_EQ(day.nExit, 0) << day.sOut;
  EXPECT_EQ(CountOf(day.sOut, "\"description\": "), 1) << day.sOut;
  EXPECT_NE(day.sOut.find("Night flight"), std::string::npos) << day.sOut;
}

TEST_F(CliEndToEnd, SyncEachWayThenNothingIsLeftToTransfer) {
  Result p2o = Cli("--verbose sync --direction palm-to-outlook --conflict skip");
  ASSERT_EQ(p2o.nExit, 0) << p2o.sOut;
  EXPECT_EQ(CountOf(p2o.sOut, "Synchronization succeeded."), 5) << p2o.sOut;
  // The two conflicts are skipped, each on lines of its own, and not counted as synchronized.
  EXPECT_EQ(CountOf(p2o.sOut, "Skipped: conflicts are set to \"Do Nothing\"."), 2) << p2o.sOut;
  EXPECT_NE(p2o.sOut.find("5 record(s) were synchronized, 2 skipped"), std::string::npos)
      << p2o.sOut;

  Result o2p = Cli("--verbose sync --direction outlook-to-palm --conflict skip");
  ASSERT_EQ(o2p.nExit, 0) << o2p.sOut;
  EXPECT_EQ(CountOf(o2p.sOut, "Synchronization succeeded."), 5) << o2p.sOut;
  EXPECT_EQ(CountOf(o2p.sOut, "Synchronization failed."), 0) << o2p.sOut;

  Result status = Cli("status");
  EXPECT_NE(status.sOut.find("Palm Desktop:        0 new, 2 changed, 12 same"), std::string::npos)
      << status.sOut;

  // Only the two conflicts remain; skipping them transfers nothing, and a run that wrote
  // nothing adds no history entry.
  Result again = Cli("--verbose sync --direction two-way --conflict skip");
  ASSERT_EQ(again.nExit, 0) << again.sOut;
  EXPECT_EQ(CountOf(again.sOut, "Synchronization succeeded."), 0) << again.sOut;
  EXPECT_NE(again.sOut.find("0 record(s) was synchronized, 4 skipped"), std::string::npos)
      << again.sOut;

  Result history = Cli("history --json");
  ASSERT_EQ(history.nExit, 0);
  EXPECT_EQ(CountOf(history.sOut, "\"description\": "), 2) << history.sOut;
  EXPECT_NE(history.sOut.find("Calendar information to Palm Desktop. 2 record(s) skipped."),
            std::string::npos);
  EXPECT_NE(history.sOut.find("Transfer Palm Desktop Calendar information to Outlook."),
            std::string::npos);
}

TEST_F(CliEndToEnd, ConflictsResolvedByPalmLeaveNoConflicts) {
  Result r = Cli("sync --direction two-way --conflict palm");
  ASSERT_EQ(r.nExit, 0) << r.sOut;
  Result status = Cli("status");
  EXPECT_NE(status.sOut.find("0 new, 0 changed"), std::string::npos) << status.sOut;
}

TEST_F(CliEndToEnd, DryRunWritesNothingAndAskWithoutTerminalLeavesConflicts) {
  fs::path ics = m_Demo / "outlook" / "Calendar.ics";
  fs::path datebook = m_Demo / "palm" / "Alice" / "datebook" / "datebook.dat";
  std::string sIcs = ReadFile(ics);
  std::string sDatebook = ReadFile(datebook);
  Result dry = Cli("--verbose sync --direction two-way --dry-run");
  ASSERT_EQ(dry.nExit, 0) << dry.sOut;
  EXPECT_NE(dry.sOut.find("Dry run"), std::string::npos);
  EXPECT_EQ(ReadFile(ics), sIcs);
  EXPECT_EQ(ReadFile(datebook), sDatebook);
  EXPECT_EQ(CountOf(Cli("history").sOut, "Transfer"), 0);

  Result ask = Cli(
      "sync --verbose --direction palm-to-outlook --conflict ask --range 2026-12-11..2026-12-11");
  ASSERT_EQ(ask.nExit, 0) << ask.sOut;
  EXPECT_NE(ask.sOut.find("No terminal to ask"), std::string::npos) << ask.sOut;
  // The day's new records travel; the conflict of that day stays.
  EXPECT_EQ(CountOf(ask.sOut, "Synchronization succeeded."), 2) << ask.sOut;
  EXPECT_NE(ask.sOut.find("Subject: Lunch with Zoë\nSkipped: \"Do Nothing\" was chosen"),
            std::string::npos)
      << ask.sOut;
  EXPECT_NE(Cli("status").sOut.find("Palm Desktop:        3 new, 2 changed, 4 same"),
            std::string::npos);
}

TEST_F(CliEndToEnd, OtherCalendarsAndErrors) {
  fs::path bruno = m_Demo / "palm" / "Bruno" / "datebook" / "datebook.dat";
  Result earlier = Cli("--palm-file '" + bruno.string() + "' status");
  EXPECT_NE(earlier.sOut.find("Palm Desktop 4.1 or earlier datebook, 9 records"), std::string::npos)
      << earlier.sOut;

  fs::path database6x = m_Demo / "files" / "DateBook.mdb";
  Result database = Cli("--palm-file '" + database6x.string() + "' status");
  EXPECT_NE(database.sOut.find("Palm Desktop 6.x database, 9 records"), std::string::npos)
      << database.sOut;

  EXPECT_EQ(Cli("--palm-file /nonexistent/datebook.dat list palm").nExit, 2);
  EXPECT_EQ(Cli("").nExit, 1);
  EXPECT_EQ(Cli("frobnicate").nExit, 1);
  EXPECT_EQ(Cli("sync --direction sideways").nExit, 1);
  EXPECT_EQ(Cli("list palm --from 2026-02-30 --to 2026-03-01").nExit, 1);
  EXPECT_EQ(Cli("--quiet --verbose status").nExit, 1);
  EXPECT_EQ(Cli("list palm --from 2026-01-01").nExit, 1);  // a range needs both ends
  Result version = Cli("--version");
  EXPECT_EQ(version.nExit, 0);
  EXPECT_EQ(version.sOut.rfind("daybridge-cli ", 0), 0u) << version.sOut;
  Result help = Cli("sync --help");
  EXPECT_EQ(help.nExit, 0);
  EXPECT_NE(help.sOut.find("--dry-run"), std::string::npos);
}

// A sync that stops at a conflict question, in a process of its own: it has loaded the
// datebook and not saved it yet. Answer lets it go on with an answer; Wait gives its result.
class PausedSync {
 public:
  PausedSync(const fs::path& folder, const std::string& sArgs) : m_Out(folder / "paused.out") {
    m_Go = folder / "paused.go";
    const std::string sCommand = "(while [ ! -e '" + m_Go.string() +
                                 "' ]; do sleep 0.05; done; cat '" + m_Go.string() + "') | " +
                                 DB_CLI_PATH + " " + sArgs + " > '" + m_Out.string() + "' 2>&1";
    m_Pid = ::fork();
    if (m_Pid == 0) {
      ::execl("/bin/sh", "sh", "-c", sCommand.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~PausedSync() { Wait(); }

  // The question is asked once the run holds the datebook; the answer is fed after it.
  bool WaitForQuestion() {
    constexpr int kMaxPolls = 400;
    for (int i = 0; i < kMaxPolls; ++i) {
      if (ReadFile(m_Out).find("Conflict records found") != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
  }
  void Answer(const std::string& sLine) {
    std::ofstream(m_Go) << sLine << "\n";
    m_bAnswered = true;
  }
  Result Wait() {
    Result result;
    if (!m_bAnswered) Answer("c");
    if (m_Pid > 0) {
      int nStatus = 0;
      ::waitpid(m_Pid, &nStatus, 0);
      m_nExit = WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
      m_Pid = -1;
    }
    result.nExit = m_nExit;
    result.sOut = ReadFile(m_Out);
    return result;
  }

 private:
  fs::path m_Out;
  fs::path m_Go;
  pid_t m_Pid = -1;
  int m_nExit = -1;
  bool m_bAnswered = false;
};

TEST_F(CliEndToEnd, TwoRunsIntoOneDatebookNeverLoseOne) {
  const std::string sDatebook = ReadFile(Datebook("Alice"));
  fs::path folder = m_Demo / "run-a";
  fs::create_directories(folder);
  // The first run asks before it saves; it reads its answer only once it is told to go on.
  PausedSync first(folder, "sync --direction outlook-to-palm --conflict ask");
  ASSERT_TRUE(first.WaitForQuestion()) << first.Wait().sOut;

  // Meanwhile a second run into the same datebook, from another calendar file.
  fs::copy_file(m_Demo / "outlook" / "Calendar.ics", m_Demo / "outlook" / "Other.ics");
  Result second = Run("DAYBRIDGE_OUTLOOK_CALENDAR='" + (m_Demo / "outlook" / "Other.ics").string() +
                      "' " + DB_CLI_PATH + " sync --direction outlook-to-palm --conflict skip");
  EXPECT_EQ(second.nExit, 2) << second.sOut;
  EXPECT_NE(second.sOut.find("locked by another DayBridge run"), std::string::npos) << second.sOut;
  EXPECT_EQ(ReadFile(Datebook("Alice")), sDatebook);

  first.Answer("o");
  Result done = first.Wait();
  EXPECT_EQ(done.nExit, 0) << done.sOut;
  // Every record of the first run is in the datebook: Outlook has nothing new for it.
  Result status = Cli("status");
  EXPECT_NE(status.sOut.find("Outlook:             0 new"), std::string::npos) << status.sOut;
}

TEST_F(CliEndToEnd, DatebookChangedByAnotherProgramIsNotOverwritten) {
  fs::path folder = m_Demo / "run-a";
  fs::create_directories(folder);
  PausedSync run(folder, "sync --direction outlook-to-palm --conflict ask");
  ASSERT_TRUE(run.WaitForQuestion()) << run.Wait().sOut;
  // Another program writes the datebook while the run waits.
  const std::string sTheirs = ReadFile(Datebook("Alice")) + "";
  std::ofstream(Datebook("Alice"), std::ios::binary | std::ios::trunc) << sTheirs;
  run.Answer("o");
  Result done = run.Wait();
  EXPECT_EQ(done.nExit, 3) << done.sOut;
  EXPECT_NE(done.sOut.find("transfers to Palm Desktop were not saved (changed by another program"),
            std::string::npos)
      << done.sOut;
  EXPECT_EQ(ReadFile(Datebook("Alice")), sTheirs);
  // Only the transfers to Outlook, none here, would have counted.
  EXPECT_EQ(CountOf(Cli("history").sOut, "Transfer"), 0);
}

TEST_F(CliEndToEnd, DamagedEarlierDatebookIsRefusedAndLeftAlone) {
  fs::path bruno = Datebook("Bruno");
  std::string sBytes = ReadFile(bruno);
  sBytes.resize(sBytes.size() - 50);
  std::ofstream(bruno, std::ios::binary | std::ios::trunc) << sBytes;
  const std::string sFile = "--palm-file '" + bruno.string() + "' ";
  Result list = Cli(sFile + "list palm");
  EXPECT_EQ(list.nExit, 2) << list.sOut;
  EXPECT_NE(list.sOut.find("damaged Palm Desktop datebook"), std::string::npos) << list.sOut;
  Result sync = Cli(sFile + "sync --direction two-way --conflict palm");
  EXPECT_EQ(sync.nExit, 2) << sync.sOut;
  EXPECT_EQ(ReadFile(bruno), sBytes);
  EXPECT_FALSE(fs::exists(bruno.string() + ".bak"));
}

TEST_F(CliEndToEnd, RelativePalmFileIsTakenFromWhereTheToolStarts) {
  Result r = Run("cd '" + (m_Demo / "palm" / "Bruno").string() + "' && " + DB_CLI_PATH +
                 " --palm-file datebook/datebook.dat status");
  EXPECT_EQ(r.nExit, 0) << r.sOut;
  EXPECT_NE(r.sOut.find("Palm Desktop 4.1 or earlier datebook, 9 records"), std::string::npos)
      << r.sOut;
}

// Another run holding the journal makes every write to Outlook fail.
TEST_F(CliEndToEnd, FailedTransfersGetOneLineEachAndExitStatus3) {
  const fs::path journal = m_Demo / "outlook" / "Calendar.ics.journal";
  dbtest::HeldElsewhere other([&journal] {
    const int fd = ::open(journal.c_str(), O_RDWR | O_CREAT, 0600);
    return fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  });
  ASSERT_TRUE(other.Held());
  for (const char* szMode : {"", "--quiet "}) {
    Result r = Cli(std::string(szMode) + "sync --direction palm-to-outlook --conflict skip");
    EXPECT_EQ(r.nExit, 3) << r.sOut;
    EXPECT_EQ(CountOf(r.sOut, "\nFailed to write to Outlook: "), 5) << r.sOut;
    EXPECT_NE(r.sOut.find("Synchronizing Calendar records finished:\n0 record(s) was "
                          "synchronized, 2 skipped\n5 record(s) failed\n"),
              std::string::npos)
        << r.sOut;
    EXPECT_EQ(CountOf(r.sOut, "Synchronizing Calendar record from"), 0) << r.sOut;
  }
}

TEST_F(CliEndToEnd, HistoryThatCannotBeWrittenFailsTheSync) {
  fs::create_directories(m_Demo / "appdata" / "tidewell" / "DayBridge_OL_PD" / "synchis.dat");
  Result r = Cli("--verbose sync --direction palm-to-outlook --conflict skip");
  EXPECT_EQ(r.nExit, 3) << r.sOut;
  EXPECT_NE(r.sOut.find("The synchronization history could not be saved"), std::string::npos)
      << r.sOut;
}

// A calendar the run would write but cannot fails the run before anything is written or
// counted. The files are marked read-only by their mode bits, which the check honours even
// for root (as the Windows attribute binds an administrator), so these rows hold as root too.
TEST_F(CliEndToEnd, ReadOnlyCalendarFailsTheSyncBeforeAnythingIsCounted) {
  struct Row {
    const char* szName;
    const char* szPath;  // under the demo folder
    fs::perms nMode;
    const char* szDirection;
    int nExit;
    const char* szNamed;  // what the reason must name; null when the run goes ahead
    const char* szPalmFile = "palm/Alice/datebook/datebook.dat";
  };
  const Row kRows[] = {
      {"Outlook file read-only", "outlook/Calendar.ics", fs::perms(0444), "palm-to-outlook", 3,
       "the Outlook calendar is read-only: "},
      {"Palm datebook read-only", "palm/Alice/datebook/datebook.dat", fs::perms(0444),
       "outlook-to-palm", 3, "the Palm Desktop calendar is read-only: "},
      {"Outlook folder read-only", "outlook", fs::perms(0555), "two-way", 3,
       "the folder of the Outlook calendar is read-only: "},
      {"read-only Outlook file not written this way", "outlook/Calendar.ics", fs::perms(0444),
       "outlook-to-palm", 0, nullptr},
      {"Palm database read-only", "files/DateBook.mdb", fs::perms(0444), "outlook-to-palm", 3,
       "the Palm Desktop calendar is read-only: ", "files/DateBook.mdb"},
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.szName);
    fs::remove_all(m_Demo);
    SetUp();
    const fs::path path = m_Demo / row.szPath;
    const std::string sCalendar = ReadFile(m_Demo / "outlook" / "Calendar.ics");
    const std::string sDatebook = ReadFile(m_Demo / row.szPalmFile);
    const fs::perms nWas = fs::status(path).permissions();
    fs::permissions(path, row.nMode);
    Result r = Cli("--palm-file '" + (m_Demo / row.szPalmFile).string() + "' sync --direction " +
                   row.szDirection + " --conflict palm");
    fs::permissions(path, nWas);
    EXPECT_EQ(r.nExit, row.nExit) << r.sOut;
    if (row.szNamed == nullptr) continue;
    EXPECT_NE(r.sOut.find(std::string(row.szNamed) + fs::canonical(path).string()),
              std::string::npos)
        << r.sOut;
    EXPECT_EQ(CountOf(r.sOut, "synchronized"), 0) << r.sOut;
    EXPECT_EQ(ReadFile(m_Demo / "outlook" / "Calendar.ics"), sCalendar);
    EXPECT_EQ(ReadFile(m_Demo / row.szPalmFile), sDatebook);
    EXPECT_FALSE(fs::exists(m_Demo / "outlook" / "Calendar.ics.journal"));
    EXPECT_EQ(CountOf(Cli("history").sOut, "Transfer"), 0);
  }
}

// A Palm Desktop that only a Wine prefix knows of: no DayBridge registry file, the registry
// files real Wine wrote, the demo's Palm folder moved into the prefix as Windows leaves it.
class CliWine : public CliEndToEnd {
 protected:
  void SetUp() override {
    CliEndToEnd::SetUp();
    m_Prefix.InstallPalmDesktop(m_Demo / "palm");
    ::setenv("DAYBRIDGE_REGISTRY", (m_Demo / "no-registry.reg").c_str(), 1);
    ::setenv("WINEPREFIX", m_Prefix.Root().c_str(), 1);
  }

  dbtest::EnvGuard m_WineGuard{"WINEPREFIX", nullptr};
  dbtest::WinePrefix m_Prefix{
      s_Root /
      (std::string("wine-") + ::testing::UnitTest::GetInstance()->current_test_info()->name())};
};

TEST_F(CliWine, StatusFindsPalmDesktopItsVersionAndUsersAndASyncWritesIntoThePrefix) {
  Result status = Cli("status");
  ASSERT_EQ(status.nExit, 0) << status.sOut;
  const std::string sFolder = fs::canonical(m_Prefix.PalmFolder()).string() + "/";
  EXPECT_NE(status.sOut.find("Palm Desktop folder: " + sFolder + " (Wine prefix " +
                             m_Prefix.Root().string() + ")"),
            std::string::npos)
      << status.sOut;
  EXPECT_NE(status.sOut.find("Palm version:        4.1.4.0"), std::string::npos) << status.sOut;
  EXPECT_NE(status.sOut.find("Palm users:          3"), std::string::npos) << status.sOut;
  EXPECT_NE(status.sOut.find("Palm Desktop 4.1.4 datebook, 9 records"), std::string::npos)
      << status.sOut;

  const fs::path datebook = m_Prefix.PalmFolder() / "alice" / "Datebook" / "datebook.dat";
  const std::string sBefore = ReadFile(datebook);
  Result sync = Cli("sync --direction outlook-to-palm --conflict skip");
  ASSERT_EQ(sync.nExit, 0) << sync.sOut;
  EXPECT_NE(ReadFile(datebook), sBefore);
  EXPECT_FALSE(fs::exists(m_Prefix.PalmFolder() / "alice" / "datebook"));
  EXPECT_NE(Cli("status").sOut.find("Outlook:             0 new"), std::string::npos);
}

TEST_F(CliWine, DriveLeadingOutsideThePrefixIsRefusedWithTheReason) {
  fs::remove(m_Prefix.Root() / "dosdevices" / "c:");
  fs::create_directory_symlink(m_Prefix.Root().parent_path(),
                               m_Prefix.Root() / "dosdevices" / "c:");
  Result status = Cli("status");
  EXPECT_EQ(status.nExit, 2) << status.sOut;
  EXPECT_NE(status.sOut.find(
                "Palm Desktop folder: (not found: \"C:\\Program Files\\Palm\\\" of the "
                "Wine prefix " +
                m_Prefix.Root().string() + " is not used: drive C: leads outside the Wine prefix)"),
            std::string::npos)
      << status.sOut;
}

}  // namespace
