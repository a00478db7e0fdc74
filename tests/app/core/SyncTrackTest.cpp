// The remembering sync's decision and pairing, without stores: one row per case.
#include "app/core/SyncTrack.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
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
        DecisionCase{"OneWayToOutlookLeavesOutlookChangesAlone", U, C, false, SYNC_PALM_TO_OUTLOOK,
                     TRACK_NOTHING},
        DecisionCase{"OneWayToPalmDeletesNothingInOutlook", G, U, false, SYNC_OUTLOOK_TO_PALM,
                     TRACK_NOTHING},
        DecisionCase{"OneWayToOutlookKeepsNoChangedOutlookRecordAgainstADeletion", G, C, false,
                     SYNC_PALM_TO_OUTLOOK, TRACK_NOTHING}),
    [](const ::testing::TestParamInfo<DecisionCase>& row) { return row.param.szName; });

// Records with a title, a day and an hour; the key is the title's serial.
CommDate Record(const char* szTitle, int nDay, int nHour, const char* szNote = "") {
  CommDate date{};
  CxCopyText(date.szDescription, szTitle);
  CxCopyText(date.szNote, szNote);
  date.stStart = {2026, 6, 0, static_cast<WORD>(nDay), static_cast<WORD>(nHour), 0, 0, 0};
  date.stEnd = date.stStart;
  date.stEnd.wHour = static_cast<WORD>(nHour + 1);
  return date;
}

// The records as the tracker sees them, keyed as given.
std::vector<TrackRecord> Records(std::vector<CommDate>& vDates,
                                 const std::vector<std::string>& vKeys) {
  std::vector<TrackRecord> v;
  for (size_t i = 0; i < vDates.size(); ++i) {
    v.push_back({&vDates[i], vKeys[i], TrackPrint(&vDates[i], PALM_KIND_DATEBOOK_EX)});
  }
  return v;
}

TEST(TrackPlan, ARenumberedPalmRecordIsNoDeletion) {
  std::vector<CommDate> vPalm = {Record("Dentist", 5, 9)};
  std::vector<CommDate> vOutlook = vPalm;
  const std::string strPrint = TrackPrint(&vPalm[0], PALM_KIND_DATEBOOK_EX);
  TrackPlan plan;
  BuildTrackPlan(Records(vPalm, {"id:77"}), Records(vOutlook, {"uid-a"}),
                 {{"at:3", "uid-a", strPrint, strPrint}}, SYNC_TWO_WAY, false, plan);
  ASSERT_EQ(plan.vRows.size(), 1u);
  EXPECT_EQ(plan.vRows[0].nAction, TRACK_NOTHING);
}

TEST(TrackPlan, ManyDeletionsComeUncheckedWithTheirReason) {
  std::vector<CommDate> vOutlook;
  std::vector<std::string> vKeys;
  std::vector<StateDbRow> vState;
  for (int i = 0; i < 8; ++i) {
    vOutlook.push_back(Record(("Appointment " + std::to_string(i)).c_str(), 1 + i, 9));
    vKeys.push_back("uid-" + std::to_string(i));
    const std::string strPrint = TrackPrint(&vOutlook.back(), PALM_KIND_DATEBOOK_EX);
    vState.push_back({"id:" + std::to_string(i), vKeys.back(), strPrint, strPrint});
  }
  TrackPlan plan;
  BuildTrackPlan({}, Records(vOutlook, vKeys), vState, SYNC_TWO_WAY, false, plan);
  ASSERT_TRUE(plan.bMassDelete);
  EXPECT_FALSE(plan.vRows[0].bChecked);
  EXPECT_STREQ(plan.vRows[0].szReason, TRACK_MASS_DELETE_REASON);
  BuildTrackPlan({}, Records(vOutlook, vKeys), vState, SYNC_TWO_WAY, true, plan);
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

TEST(StateDb, AMissingFileIsNoStateAndAWriteIsReadBackByteForByte) {
  const fs::path path = fs::temp_directory_path() / ("db-state-" + std::to_string(::getpid()));
  fs::remove(path);
  std::vector<StateDbRow> vRows = {{"x", "y", "z", "w"}};
  EXPECT_FALSE(StateDbRead(path.c_str(), vRows));
  EXPECT_TRUE(vRows.empty());
  const std::vector<StateDbRow> vWritten = {{"id:1", "uid-a", "p1", "o1"},
                                            {"at:2", std::string("uid\0b", 5), "p2", "o2"}};
  ASSERT_TRUE(StateDbWrite(path.c_str(), vWritten));
  ASSERT_TRUE(StateDbRead(path.c_str(), vRows));
  ASSERT_EQ(vRows.size(), 2u);
  EXPECT_EQ(vRows[1].strOutlookKey, vWritten[1].strOutlookKey);
  fs::remove(path);
}

}  // namespace
