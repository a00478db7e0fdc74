// The run's handling of every match state, source and conflict action, the conflict answers,
// the summary line, the history entry and the Palm save.
#include "app/core/SyncRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

class RecordingTarget : public ISyncTarget {
 public:
  bool WriteToOutlook(CommDate* pDate) override {
    vOutlookWrites.push_back(pDate);
    return bWriteOk;
  }
  bool WriteToPalm(CommDate* pDate) override {
    vPalmWrites.push_back(pDate);
    return bWriteOk;
  }
  bool SavePalm() override {
    ++nSaves;
    return bSaveOk;
  }
  std::string DescribePalmFailure() const override { return sFailure; }
  bool HoldsSame(const CommDate*, bool) override { return bHoldsSame; }
  std::string sFailure;
  bool bHoldsSame = false;
  std::vector<CommDate*> vOutlookWrites;
  std::vector<CommDate*> vPalmWrites;
  int nSaves = 0;
  bool bWriteOk = true;
  bool bSaveOk = true;
};

CommDate MakeRecord(const char* szDesc, UINT nSource, UINT nState) {
  CommDate date{};
  snprintf(date.szDescription, sizeof(date.szDescription), "%s", szDesc);
  date.nSource = nSource;
  date.nMatchState = nState;
  date.stStart = {2011, 3, 1, 7, 9, 0, 0, 0};
  date.stEnd = {2011, 3, 1, 7, 10, 0, 0, 0};
  return date;
}

class SyncRunFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    memset(&m_Settings, 0, sizeof(m_Settings));
    m_Settings.SyncMode = SYNC_TWO_WAY;
    m_Settings.ConfAction = CONFLICT_SKIP;
    m_Dir = std::filesystem::temp_directory_path() /
            ("daybridge-run-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(m_Dir);
    m_sHistoryPath = (m_Dir / "synchis.dat").string();
  }
  void TearDown() override {
    m_History.Clear();
    std::filesystem::remove_all(m_Dir);
  }

  SyncRunCallbacks Callbacks() {
    SyncRunCallbacks callbacks;
    callbacks.log = [this](const char* szLine) { m_vLog.push_back(szLine); };
    callbacks.progress = [this](int nPercent) { m_vProgress.push_back(nPercent); };
    callbacks.pause = [this]() { ++m_nPauses; };
    callbacks.ask = [this](const CommDate* pPalm, const CommDate* pOutlook,
                           ConflictAnswer* pAnswer) {
      m_vAsked.push_back({pPalm, pOutlook});
      if (!m_bAnswerOk) return false;
      *pAnswer = m_Answer;
      return true;
    };
    return callbacks;
  }

  // Runs the records, the Palm ones through the Palm list.
  void RunRecords(std::vector<CommDate*> vRecords) {
    CxList palmSel;
    CxList outlookSel;
    for (CommDate* pDate : vRecords) {
      (pDate->nSource == SOURCE_PALM ? palmSel : outlookSel).Add(pDate);
    }
    SyncRun run(m_Target, m_Settings, m_History, Callbacks());
    run.SetHistoryPath(m_sHistoryPath.c_str());
    run.Run(&palmSel, &outlookSel);
    m_nSynchronized = run.GetSynchronized();
    m_nFailed = run.GetFailed();
    m_nAlreadyThere = run.GetAlreadyThere();
    m_bSaveOk = run.GetSaveOk();
  }

  TAppSettings m_Settings;
  SyncHistoryMgr m_History;
  RecordingTarget m_Target;
  std::filesystem::path m_Dir;
  std::string m_sHistoryPath;
  std::vector<std::string> m_vLog;
  std::vector<int> m_vProgress;
  std::vector<std::pair<const CommDate*, const CommDate*>> m_vAsked;
  int m_nPauses = 0;
  bool m_bAnswerOk = true;
  ConflictAnswer m_Answer = {CONFLICT_SKIP, false, false};
  int m_nSynchronized = 0;
  int m_nFailed = 0;
  int m_nAlreadyThere = 0;
  bool m_bSaveOk = true;
};

struct HandlingCase {
  const char* szName;
  UINT nState;
  UINT nSource;
  int nConfAction;
  int nOutlookWrites;
  int nPalmWrites;
  int nSynchronized;  // with successful writes
  size_t nLogLines;   // lines logged for the record itself
};

class SyncRunHandling : public SyncRunFixture,
                        public ::testing::WithParamInterface<HandlingCase> {};

TEST_P(SyncRunHandling, FollowsTheHandlingTable) {
  const HandlingCase& c = GetParam();
  m_Settings.ConfAction = c.nConfAction;
  CommDate date = MakeRecord("Dentist", c.nSource, c.nState);
  RunRecords({&date});
  EXPECT_EQ(static_cast<int>(m_Target.vOutlookWrites.size()), c.nOutlookWrites);
  EXPECT_EQ(static_cast<int>(m_Target.vPalmWrites.size()), c.nPalmWrites);
  EXPECT_EQ(m_nSynchronized, c.nSynchronized);
  // Two closing lines: "finished" and the summary.
  EXPECT_EQ(m_vLog.size(), c.nLogLines + 2);
  EXPECT_TRUE(m_vAsked.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, SyncRunHandling,
    ::testing::Values(
        HandlingCase{"NewPalmGoesToOutlook", MATCH_NEW, SOURCE_PALM, CONFLICT_SKIP, 1, 0, 1, 3},
        HandlingCase{"NewOutlookGoesToPalm", MATCH_NEW, SOURCE_OUTLOOK, CONFLICT_SKIP, 0, 1, 1, 3},
        HandlingCase{"NewPalmIgnoresBadAction", MATCH_NEW, SOURCE_PALM, 9, 1, 0, 1, 3},
        HandlingCase{"ChangedPalmPalmWins", MATCH_CHANGED, SOURCE_PALM, CONFLICT_PALM_WINS, 1, 0, 1,
                     3},
        // Records left alone are skipped, with lines of their own, and never counted.
        HandlingCase{"ChangedPalmOutlookWinsIsSkipped", MATCH_CHANGED, SOURCE_PALM,
                     CONFLICT_OUTLOOK_WINS, 0, 0, 0, 3},
        HandlingCase{"ChangedPalmDoNothingIsSkipped", MATCH_CHANGED, SOURCE_PALM, CONFLICT_SKIP, 0,
                     0, 0, 3},
        HandlingCase{"ChangedOutlookOutlookWins", MATCH_CHANGED, SOURCE_OUTLOOK,
                     CONFLICT_OUTLOOK_WINS, 0, 1, 1, 3},
        HandlingCase{"ChangedOutlookPalmWinsIsSkipped", MATCH_CHANGED, SOURCE_OUTLOOK,
                     CONFLICT_PALM_WINS, 0, 0, 0, 3},
        HandlingCase{"ChangedOutlookDoNothingIsSkipped", MATCH_CHANGED, SOURCE_OUTLOOK,
                     CONFLICT_SKIP, 0, 0, 0, 3},
        HandlingCase{"ChangedWithUnknownActionIsSkipped", MATCH_CHANGED, SOURCE_PALM, 7, 0, 0, 0,
                     3},
        HandlingCase{"ChangedWithNegativeActionIsSkipped", MATCH_CHANGED, SOURCE_OUTLOOK, -1, 0, 0,
                     0, 3},
        HandlingCase{"SamePalmIsSkipped", MATCH_SAME, SOURCE_PALM, CONFLICT_PALM_WINS, 0, 0, 0, 0},
        HandlingCase{"SameOutlookIsSkipped", MATCH_SAME, SOURCE_OUTLOOK, CONFLICT_OUTLOOK_WINS, 0,
                     0, 0, 0},
        HandlingCase{"UnknownStateIsSkipped", 5, SOURCE_PALM, CONFLICT_PALM_WINS, 0, 0, 0, 0},
        HandlingCase{"UnknownSourceIsSkipped", MATCH_NEW, 2, CONFLICT_PALM_WINS, 0, 0, 0, 0}),
    [](const ::testing::TestParamInfo<HandlingCase>& tpi) { return tpi.param.szName; });

TEST_F(SyncRunFixture, OneNewPalmRecordLogsSavesAndRecordsHistory) {
  m_Settings.SyncMode = SYNC_PALM_TO_OUTLOOK;
  CommDate date = MakeRecord("Dentist", SOURCE_PALM, MATCH_NEW);
  RunRecords({&date});
  std::vector<std::string> vExpected = {
      "Synchronizing Calendar record from Palm Desktop to Outlook:", "\tSubject: Dentist",
      "Synchronization succeeded.\r\n",
      "Synchronizing Calendar records finished:", "1 record(s) was synchronized"};
  EXPECT_EQ(m_vLog, vExpected);
  EXPECT_EQ(m_Target.nSaves, 1);
  ASSERT_EQ(m_History.GetCount(), 1u);
  HistoryEntry* pEntry = m_History.Newest();
  EXPECT_EQ(pEntry->nRecords, 1);
  EXPECT_STREQ(pEntry->szDesc, "Transfer Palm Desktop Calendar information to Outlook.");
  EXPECT_LE(pEntry->dtStart, pEntry->dtEnd);
  EXPECT_EQ(std::filesystem::file_size(m_sHistoryPath), 4u + 104u + 54u);
}

TEST_F(SyncRunFixture, StartWritesTheOpeningLines) {
  std::vector<std::string> vDescriptions;
  SyncRunCallbacks callbacks = Callbacks();
  callbacks.describe = [&](const char* szText) { vDescriptions.push_back(szText); };
  SyncRun run(m_Target, m_Settings, m_History, callbacks);
  run.Start();
  ASSERT_EQ(m_vLog.size(), 3u);
  EXPECT_EQ(m_vLog[0], "Start synchronizing Calendar records ...");
  EXPECT_EQ(m_vLog[1], std::string(80, '='));
  EXPECT_EQ(m_vLog[2], "\r\n");
  EXPECT_EQ(m_vProgress, std::vector<int>{0});
  run.Run(nullptr, nullptr);
  EXPECT_EQ(vDescriptions, (std::vector<std::string>{"Calendar synchronizing in progress...",
                                                     "Calendar synchronization completed."}));
}

TEST_F(SyncRunFixture, TwoTransfersUseThePluralVerbAndThreeRecordsStepProgress) {
  CommDate a = MakeRecord("A", SOURCE_PALM, MATCH_NEW);
  CommDate b = MakeRecord("B", SOURCE_OUTLOOK, MATCH_NEW);
  CommDate c = MakeRecord("C", SOURCE_OUTLOOK, MATCH_SAME);
  RunRecords({&a, &b, &c});
  EXPECT_EQ(m_vLog.back(), "2 record(s) were synchronized");
  EXPECT_EQ(m_vProgress, (std::vector<int>{33, 66, 100, 100}));
  EXPECT_EQ(m_nPauses, 3);
  EXPECT_STREQ(m_History.Newest()->szDesc,
               "Perform two-way Calendar synchronization between Palm Desktop and Outlook.");
}

TEST_F(SyncRunFixture, NothingSynchronizedWritesNoHistoryAndDoesNotSave) {
  m_Target.bWriteOk = false;
  CommDate date = MakeRecord("", SOURCE_OUTLOOK, MATCH_NEW);
  RunRecords({&date});
  EXPECT_EQ(m_vLog[1], "\tSubject: <empty>");
  EXPECT_EQ(m_vLog[2], "Synchronization failed.\r\n");
  EXPECT_EQ(m_vLog.back(), "0 record(s) was synchronized");
  EXPECT_EQ(m_Target.nSaves, 0);
  EXPECT_EQ(m_History.GetCount(), 0u);
  EXPECT_FALSE(std::filesystem::exists(m_sHistoryPath));
}

TEST_F(SyncRunFixture, WriteRefusedBecauseTheOtherSideHoldsItIsNoFailure) {
  m_Target.bWriteOk = false;
  m_Target.bHoldsSame = true;
  CommDate a = MakeRecord("A", SOURCE_PALM, MATCH_NEW);
  CommDate b = MakeRecord("B", SOURCE_OUTLOOK, MATCH_NEW);
  RunRecords({&a, &b});
  EXPECT_EQ(m_vLog[2], "Not written: already in Outlook.\r\n");
  EXPECT_EQ(m_vLog[5], "Not written: already in Palm Desktop.\r\n");
  EXPECT_EQ(m_nAlreadyThere, 2);
  EXPECT_EQ(m_nFailed, 0);
  EXPECT_EQ(m_nSynchronized, 0);
}

TEST_F(SyncRunFixture, EmptySelectionLogsNothing) {
  RunRecords({});
  EXPECT_TRUE(m_vLog.empty());
  EXPECT_TRUE(m_vProgress.empty());
}

// The transfers to Palm Desktop of a run whose Palm save failed never reached the file: the
// history counts only the others, and the run ends saying how many were lost and why.
TEST_F(SyncRunFixture, FailedPalmSaveCountsOnlyWhatReachedItsFile) {
  m_Target.bSaveOk = false;
  m_Target.sFailure = "permission denied: /home/a/datebook.dat";
  CommDate toPalm = MakeRecord("Dentist", SOURCE_OUTLOOK, MATCH_NEW);
  CommDate toOutlook = MakeRecord("Lunch", SOURCE_PALM, MATCH_NEW);
  RunRecords({&toPalm, &toOutlook});
  EXPECT_FALSE(m_bSaveOk);
  EXPECT_NE(std::find(m_vLog.begin(), m_vLog.end(), "2 record(s) were synchronized"), m_vLog.end());
  EXPECT_EQ(m_vLog.back(),
            "1 transfer to Palm Desktop was not saved (permission denied: "
            "/home/a/datebook.dat).");
  SyncHistoryMgr saved;
  ASSERT_TRUE(saved.Load(m_sHistoryPath.c_str()));
  ASSERT_NE(saved.Newest(), nullptr);
  EXPECT_EQ(saved.Newest()->nRecords, 1);
}

TEST_F(SyncRunFixture, HistoryThatCannotBeWrittenFailsTheRun) {
  std::filesystem::create_directories(m_sHistoryPath);  // a folder where the file should be
  CommDate date = MakeRecord("Dentist", SOURCE_OUTLOOK, MATCH_NEW);
  RunRecords({&date});
  EXPECT_FALSE(m_bSaveOk);
  EXPECT_EQ(m_Target.nSaves, 1);
  EXPECT_EQ(m_vLog.back().rfind("The synchronization history could not be saved (", 0), 0u)
      << m_vLog.back();
}

// A changed pair where both sides are selected, asked about with each answer.
struct AnswerCase {
  const char* szName;
  bool bOk;
  ConflictAnswer answer;
  UINT nFirstSource;  // which side of the pair comes first in the run
  int nOutlookWrites;
  int nPalmWrites;
  int nSynchronized;
  size_t nQuestions;
  int nConfActionAfter;
};

class SyncRunAnswers : public SyncRunFixture, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(SyncRunAnswers, CarriesOutTheAnswer) {
  const AnswerCase& c = GetParam();
  m_Settings.ConfAction = CONFLICT_ASK;
  m_bAnswerOk = c.bOk;
  m_Answer = c.answer;
  CommDate palm = MakeRecord("Lunch", SOURCE_PALM, MATCH_CHANGED);
  CommDate outlook = MakeRecord("Lunch", SOURCE_OUTLOOK, MATCH_CHANGED);
  palm.pPeer = &outlook;
  outlook.pPeer = &palm;
  if (c.nFirstSource == SOURCE_PALM) {
    RunRecords({&palm, &outlook});
  } else {
    RunRecords({&outlook});
  }
  EXPECT_EQ(static_cast<int>(m_Target.vOutlookWrites.size()), c.nOutlookWrites);
  EXPECT_EQ(static_cast<int>(m_Target.vPalmWrites.size()), c.nPalmWrites);
  EXPECT_EQ(m_nSynchronized, c.nSynchronized);
  EXPECT_EQ(m_vAsked.size(), c.nQuestions);
  ASSERT_FALSE(m_vAsked.empty());
  EXPECT_EQ(m_vAsked[0].first, &palm);  // the Palm record is always shown first
  EXPECT_EQ(m_vAsked[0].second, &outlook);
  EXPECT_EQ(m_Settings.ConfAction, c.nConfActionAfter);
  if (c.nOutlookWrites > 0) {
    EXPECT_EQ(m_Target.vOutlookWrites[0], &palm);
  }
  if (c.nPalmWrites > 0) {
    EXPECT_EQ(m_Target.vPalmWrites[0], &outlook);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SyncRunAnswers,
    ::testing::Values(
        // Palm wins: the Palm record travels once, its counterpart is skipped silently.
        AnswerCase{"PalmWinsSkipsCounterpart",
                   true,
                   {CONFLICT_PALM_WINS, false, false},
                   SOURCE_PALM,
                   1,
                   0,
                   1,
                   1,
                   CONFLICT_ASK},
        AnswerCase{"OutlookWinsFromPalmSide",
                   true,
                   {CONFLICT_OUTLOOK_WINS, false, false},
                   SOURCE_PALM,
                   0,
                   1,
                   1,
                   1,
                   CONFLICT_ASK},
        AnswerCase{"OutlookWinsFromOutlookSide",
                   true,
                   {CONFLICT_OUTLOOK_WINS, false, false},
                   SOURCE_OUTLOOK,
                   0,
                   1,
                   1,
                   1,
                   CONFLICT_ASK},
        AnswerCase{"PalmWinsFromOutlookSide",
                   true,
                   {CONFLICT_PALM_WINS, false, false},
                   SOURCE_OUTLOOK,
                   1,
                   0,
                   1,
                   1,
                   CONFLICT_ASK},
        // Doing nothing without a flag asks again for the other side of the pair.
        AnswerCase{"DoNothingAsksAgain",
                   true,
                   {CONFLICT_SKIP, false, false},
                   SOURCE_PALM,
                   0,
                   0,
                   0,
                   2,
                   CONFLICT_ASK},
        // With a flag the choice becomes the stored action: the other side is skipped unasked.
        AnswerCase{"DoNothingForThisRun",
                   true,
                   {CONFLICT_SKIP, true, false},
                   SOURCE_PALM,
                   0,
                   0,
                   0,
                   1,
                   CONFLICT_SKIP},
        AnswerCase{"PalmWinsForAllFutureRuns",
                   true,
                   {CONFLICT_PALM_WINS, false, true},
                   SOURCE_PALM,
                   1,
                   0,
                   1,
                   1,
                   CONFLICT_PALM_WINS},
        AnswerCase{"OutlookWinsForThisRun",
                   true,
                   {CONFLICT_OUTLOOK_WINS, true, true},
                   SOURCE_PALM,
                   0,
                   1,
                   1,
                   1,
                   CONFLICT_OUTLOOK_WINS},
        // Cancel stops asking; nothing is written, so nothing is counted.
        AnswerCase{"CancelFromPalmSide",
                   false,
                   {CONFLICT_SKIP, false, false},
                   SOURCE_PALM,
                   0,
                   0,
                   0,
                   1,
                   CONFLICT_SKIP},
        AnswerCase{"CancelFromOutlookSide",
                   false,
                   {CONFLICT_SKIP, false, false},
                   SOURCE_OUTLOOK,
                   0,
                   0,
                   0,
                   1,
                   CONFLICT_SKIP}),
    [](const ::testing::TestParamInfo<AnswerCase>& tpi) { return tpi.param.szName; });

TEST_F(SyncRunFixture, FailedResolvedTransferKeepsCounterpartChanged) {
  m_Settings.ConfAction = CONFLICT_ASK;
  m_Target.bWriteOk = false;
  m_Answer = {CONFLICT_PALM_WINS, false, false};
  CommDate palm = MakeRecord("Lunch", SOURCE_PALM, MATCH_CHANGED);
  CommDate outlook = MakeRecord("Lunch", SOURCE_OUTLOOK, MATCH_CHANGED);
  palm.pPeer = &outlook;
  outlook.pPeer = &palm;
  RunRecords({&palm});
  EXPECT_EQ(m_nSynchronized, 0);
  EXPECT_EQ(outlook.nMatchState, MATCH_CHANGED);
}

// Four transfers and two records left alone by "Do Nothing": the summary counts four, the
// skipped records have their own lines and count, and the history says so too.
TEST_F(SyncRunFixture, SkippedRecordsAreLoggedAndCountedApart) {
  std::vector<CommDate> vNew;
  for (const char* szDesc : {"A", "B", "C", "D"}) {
    vNew.push_back(MakeRecord(szDesc, SOURCE_PALM, MATCH_NEW));
  }
  CommDate palm = MakeRecord("Lunch", SOURCE_PALM, MATCH_CHANGED);
  CommDate outlook = MakeRecord("Lunch", SOURCE_OUTLOOK, MATCH_CHANGED);
  palm.pPeer = &outlook;
  outlook.pPeer = &palm;
  RunRecords({&vNew[0], &vNew[1], &vNew[2], &vNew[3], &palm, &outlook});
  const std::vector<std::string> vTail(m_vLog.end() - 8, m_vLog.end());
  EXPECT_EQ(
      vTail,
      (std::vector<std::string>{
          "Synchronizing Calendar record from Palm Desktop to Outlook:", "\tSubject: Lunch",
          "Skipped: conflicts are set to \"Do Nothing\".\r\n",
          "Synchronizing Calendar record from Outlook to Palm Desktop:", "\tSubject: Lunch",
          "Skipped: conflicts are set to \"Do Nothing\".\r\n",
          "Synchronizing Calendar records finished:", "4 record(s) were synchronized, 2 skipped"}));
  ASSERT_NE(m_History.Newest(), nullptr);
  EXPECT_EQ(m_History.Newest()->nRecords, 4);
  EXPECT_STREQ(m_History.Newest()->szDesc,
               "Perform two-way Calendar synchronization between Palm Desktop and Outlook. 2 "
               "record(s) skipped.");
}

TEST_F(SyncRunFixture, ChangedRecordWithoutCounterpartIsSkippedWhenAsking) {
  m_Settings.ConfAction = CONFLICT_ASK;
  CommDate palm = MakeRecord("Lunch", SOURCE_PALM, MATCH_CHANGED);
  RunRecords({&palm});
  EXPECT_TRUE(m_vAsked.empty());
  EXPECT_EQ(m_nSynchronized, 0);
}

}  // namespace
