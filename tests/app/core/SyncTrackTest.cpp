// The remembering sync's decision and pairing, without stores: one row per case.
#include "app/core/SyncTrack.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/core/AppSettings.h"
#include "common/palm/PalmDateInfo.h"
#include "platform/win/WinString.h"

namespace fs = std::filesystem;

namespace {

constexpr int U = TRACK_SIDE_UNCHANGED;
constexpr int C = TRACK_SIDE_CHANGED;
constexpr int G = TRACK_SIDE_GONE;
constexpr int N = TRACK_SIDE_NEW;
constexpr int A = TRACK_SIDE_ABSENT;

struct DecisionCase {
  const char* szName;
  int nPalm;
  int nOutlook;
  bool bSameNow;
  int nSyncMode;
  TrackAction nExpected;
};

class Decision : public ::testing::TestWithParam<DecisionCase> {};

TEST_P(Decision, Is) {
  const DecisionCase& c = GetParam();
  EXPECT_EQ(TrackDecide(c.nPalm, c.nOutlook, c.bSameNow, c.nSyncMode), c.nExpected);
}

constexpr int kTwoWay = SYNC_TWO_WAY;
INSTANTIATE_TEST_SUITE_P(
    Table, Decision,
    ::testing::Values(
        DecisionCase{"NoChangeDoesNothing", U, U, false, kTwoWay, TRACK_NOTHING},
        DecisionCase{"PalmChangeUpdatesOutlook", C, U, false, kTwoWay, TRACK_UPDATE_OUTLOOK},
        DecisionCase{"OutlookChangeUpdatesPalm", U, C, false, kTwoWay, TRACK_UPDATE_PALM},
        DecisionCase{"BothChangedIsAConflict", C, C, false, kTwoWay, TRACK_CONFLICT},
        DecisionCase{"BothChangedAlikeDoesNothing", C, C, true, kTwoWay, TRACK_NOTHING},
        DecisionCase{"GoneFromPalmDeletesFromOutlook", G, U, false, kTwoWay,
                     TRACK_DELETE_FROM_OUTLOOK},
        DecisionCase{"GoneFromOutlookDeletesFromPalm", U, G, false, kTwoWay,
                     TRACK_DELETE_FROM_PALM},
        DecisionCase{"GoneFromPalmChangedInOutlookIsAConflict", G, C, false, kTwoWay,
                     TRACK_CONFLICT},
        DecisionCase{"GoneFromOutlookChangedInPalmIsAConflict", C, G, false, kTwoWay,
                     TRACK_CONFLICT},
        DecisionCase{"GoneFromBothIsForgotten", G, G, false, kTwoWay, TRACK_FORGET},
        DecisionCase{"NewOnBothSidesAlikeIsAdopted", N, N, true, kTwoWay, TRACK_NOTHING},
        DecisionCase{"NewOnBothSidesDifferingIsAConflict", N, N, false, kTwoWay, TRACK_CONFLICT},
        DecisionCase{"NewInPalmGoesToOutlook", N, A, false, kTwoWay, TRACK_ADD_TO_OUTLOOK},
        DecisionCase{"NewInOutlookGoesToPalm", A, N, false, kTwoWay, TRACK_ADD_TO_PALM},
        DecisionCase{"OneWayToOutlookLeavesOutlookChangesAlone", U, C, false,
                     SYNC_PALM_TO_OUTLOOK, TRACK_NOTHING},
        DecisionCase{"OneWayToPalmDeletesNothingInOutlook", G, U, false, SYNC_OUTLOOK_TO_PALM,
                     TRACK_NOTHING},
        DecisionCase{"OneWayToOutlookKeepsNoChangedOutlookRecordAgainstADeletion", G, C, false,
                     SYNC_PALM_TO_OUTLOOK, TRACK_NOTHING}),
    [](const ::testing::TestParamInfo<DecisionCase>& row) { return row.param.szName; });

// Records with a title, a day and an hour; the key is the title's serial.
CommDate Record(const char* szTitle, int nDay, int nHour, const char* szNote = "") {
  CommDate date;
  std::memset(&date, 0, sizeof(date));
  CxCopyText(date.szDescription, szTitle);
  CxCopyText(date.szNote, szNote);
  date.stStart = {2026, 6, 0, static_cast<WORD>(nDay), static_cast<WORD>(nHour), 0, 0, 0};
  date.stEnd = date.stStart;
  date.stEnd.wHour = static_cast<WORD>(nHour + 1);
  return date;
}

struct Side {
  std::vector<CommDate> vDates;
  std::vector<TrackRecord> vRecords;
  void Add(const std::string& strKey, const CommDate& date) {
    vDates.push_back(date);
    vKeys.push_back(strKey);
  }
  std::vector<TrackRecord>& Build() {
    vRecords.clear();
    for (size_t i = 0; i < vDates.size(); ++i) {
      vRecords.push_back({&vDates[i], vKeys[i], TrackPrint(&vDates[i], PALM_KIND_DATEBOOK_EX)});
    }
    return vRecords;
  }
  std::vector<std::string> vKeys;
};

std::vector<TrackAction> Actions(const TrackPlan& plan) {
  std::vector<TrackAction> v;
  for (const TrackRow& row : plan.vRows) v.push_back(row.nAction);
  return v;
}

TEST(TrackPlan, ARenumberedPalmRecordIsNoDeletion) {
  Side palm;
  Side outlook;
  palm.Add("id:77", Record("Dentist", 5, 9));
  outlook.Add("uid-a", Record("Dentist", 5, 9));
  const std::string strPrint = palm.Build()[0].strPrint;
  TrackPlan plan;
  BuildTrackPlan(palm.Build(), outlook.Build(), {{"at:3", "uid-a", strPrint, strPrint}},
                 SYNC_TWO_WAY, false, plan);
  EXPECT_EQ(Actions(plan), (std::vector<TrackAction>{TRACK_NOTHING}));
}

TEST(TrackPlan, ManyDeletionsComeUncheckedWithTheirReason) {
  Side palm;
  Side outlook;
  std::vector<StateDbRow> vState;
  for (int i = 0; i < 8; ++i) {
    const std::string strTitle = "Appointment " + std::to_string(i);
    outlook.Add("uid-" + std::to_string(i), Record(strTitle.c_str(), 1 + i, 9));
  }
  outlook.Build();
  for (int i = 0; i < 8; ++i) {
    const std::string& strPrint = outlook.vRecords[static_cast<size_t>(i)].strPrint;
    vState.push_back({"id:" + std::to_string(i), "uid-" + std::to_string(i), strPrint, strPrint});
  }
  TrackPlan plan;
  BuildTrackPlan(palm.Build(), outlook.Build(), vState, SYNC_TWO_WAY, false, plan);
  ASSERT_TRUE(plan.bMassDelete);
  EXPECT_FALSE(plan.vRows[0].bChecked);
  EXPECT_STREQ(plan.vRows[0].szReason, TRACK_MASS_DELETE_REASON);
  BuildTrackPlan(palm.Build(), outlook.Build(), vState, SYNC_TWO_WAY, true, plan);
  EXPECT_TRUE(plan.vRows[0].bChecked) << "allowed by the user";
}

// Fields one calendar cannot hold take no part: changing them alone changes no print.
TEST(TrackPrint, FieldsTheOtherSideCannotHoldDoNotCount) {
  CommDate date = Record("Review", 2, 10);
  const std::string strPrint = TrackPrint(&date, PALM_KIND_DATEBOOK);
  CxCopyText(date.szCategory, "Business");
  date.nImportance = 2;
  date.bPrivate = 1;
  CxCopyText(date.szLocation, "Room 4");  // the earlier datebook has no location
  EXPECT_EQ(TrackPrint(&date, PALM_KIND_DATEBOOK), strPrint);
  const CommDate plain = Record("Review", 2, 10);
  EXPECT_NE(TrackPrint(&date, PALM_KIND_DATEBOOK_EX), TrackPrint(&plain, PALM_KIND_DATEBOOK_EX));
}

TEST(StateDb, AMissingOrForeignFileIsNoStateAndAWriteReplacesIt) {
  const fs::path path = fs::temp_directory_path() / ("db-state-" + std::to_string(::getpid()));
  fs::remove(path);
  std::vector<StateDbRow> vRows = {{"x", "y", "z", "w"}};
  EXPECT_FALSE(StateDbRead(path.c_str(), vRows));
  EXPECT_TRUE(vRows.empty());
  std::ofstream(path) << "not a database at all";
  EXPECT_FALSE(StateDbRead(path.c_str(), vRows));
  const std::vector<StateDbRow> vWritten = {{"id:1", "uid-a", "p1", "o1"},
                                            {"at:2", std::string("uid\0b", 5), "p2", "o2"}};
  fs::remove(path);
  ASSERT_TRUE(StateDbWrite(path.c_str(), vWritten));
  ASSERT_TRUE(StateDbRead(path.c_str(), vRows));
  ASSERT_EQ(vRows.size(), 2u);
  EXPECT_EQ(vRows[1].strOutlookKey, vWritten[1].strOutlookKey);
  fs::remove(path);
}

}  // namespace
