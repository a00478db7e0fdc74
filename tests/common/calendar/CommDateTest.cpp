// The field table, display texts at buffer limits, and the comparison and copy rules that
// matching and updates rely on.
#include "common/calendar/CommDate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>

#include "platform/win/WinString.h"
#include "support/clock/Moments.h"

namespace {

using clockguard::LocalTime;

std::unique_ptr<CommDate> SampleRecord() {
  auto pDate = std::make_unique<CommDate>();
  CxCopyText(pDate->szDescription, "Dentist");
  CxCopyText(pDate->szNote, "Bring the forms");
  CxCopyText(pDate->szLocation, "Main Street 4");
  CxCopyText(pDate->szCategory, "Health");
  pDate->stStart = LocalTime(2011, 3, 7, 9, 5, 0);
  pDate->stEnd = LocalTime(2011, 3, 8, 17, 30, 15);
  pDate->bPrivate = 1;
  pDate->bAlarm = 0;
  pDate->bAllDay = 1;
  pDate->nImportance = 2;
  return pDate;
}

struct FieldCase {
  INT nId;
  const char* szName;
  INT nTextSize;
  const char* szText;
};

class FieldTest : public ::testing::TestWithParam<FieldCase> {};

TEST_P(FieldTest, DescriptorAndDisplayText) {
  const FieldCase& c = GetParam();
  CommField field{};
  ASSERT_TRUE(GetFieldDesc(c.nId, &field));
  EXPECT_EQ(c.nId, field.nId);
  EXPECT_STREQ(c.szName, field.szName);
  EXPECT_EQ(c.nTextSize, field.nTextSize);
  EXPECT_EQ(0u, field.dwReserved);

  auto pDate = SampleRecord();
  char szText[256];
  ASSERT_TRUE(GetFieldText(pDate.get(), &field, szText, sizeof(szText)));
  EXPECT_STREQ(c.szText, szText);
}

TEST_P(FieldTest, OneByteBufferGetsAnEmptyText) {
  CommField field{};
  ASSERT_TRUE(GetFieldDesc(GetParam().nId, &field));
  auto pDate = SampleRecord();
  char szText[2] = {'x', 'y'};
  ASSERT_TRUE(GetFieldText(pDate.get(), &field, szText, 1));
  EXPECT_EQ('\0', szText[0]);
  EXPECT_EQ('y', szText[1]);
}

TEST_P(FieldTest, TextIsCutToTheBuffer) {
  CommField field{};
  ASSERT_TRUE(GetFieldDesc(GetParam().nId, &field));
  auto pDate = SampleRecord();
  char szText[8];
  memset(szText, 'x', sizeof(szText));
  ASSERT_TRUE(GetFieldText(pDate.get(), &field, szText, 5));
  EXPECT_EQ(std::string(GetParam().szText).substr(0, 4), szText);
  EXPECT_EQ('x', szText[5]);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FieldTest,
    ::testing::Values(FieldCase{FIELD_DESCRIPTION, "Description", 256, "Dentist"},
                      FieldCase{FIELD_START_TIME, "Start Time", 32, "09:05:00"},
                      FieldCase{FIELD_END_TIME, "End Time", 32, "17:30:15"},
                      FieldCase{FIELD_START_DATE_TIME, "Start Date Time", 32,
                                "03/07/2011 09:05:00"},
                      FieldCase{FIELD_END_DATE_TIME, "End Date Time", 32, "03/08/2011 17:30:15"},
                      FieldCase{FIELD_DATE, "Date", 32, "03/07/2011"},
                      FieldCase{FIELD_NOTE, "Note", 4096, "Bring the forms"},
                      FieldCase{FIELD_PRIVATE, "Private", 8, "Yes"},
                      FieldCase{FIELD_LOCATION, "Location", 256, "Main Street 4"},
                      FieldCase{FIELD_IMPORTANCE, "Importance", 8, ""},
                      FieldCase{FIELD_CATEGORY, "Category", 32, "Health"},
                      FieldCase{FIELD_ALARM, "Alarm", 8, "No"},
                      FieldCase{FIELD_ALL_DAY_EVENT, "All Day Event", 8, "Yes"},
                      FieldCase{FIELD_REPEAT, "Repeat", 256, "Repeat Info"}),
    [](const ::testing::TestParamInfo<FieldCase>& row) {
      std::string name = row.param.szName;
      name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
      return name;
    });

TEST(GetFieldDesc, UnknownIdLeavesTheDescriptorUntouched) {
  CommField field{};
  field.nId = 77;
  EXPECT_FALSE(GetFieldDesc(0, &field));
  EXPECT_FALSE(GetFieldDesc(15, &field));
  EXPECT_EQ(77, field.nId);
  EXPECT_FALSE(GetFieldDesc(1, nullptr));
}

TEST(GetFieldText, UnknownIdIsEmptyAndMissingArgumentsFail) {
  auto pDate = SampleRecord();
  CommField field{};
  field.nId = 99;
  char szText[16] = "old";
  EXPECT_TRUE(GetFieldText(pDate.get(), &field, szText, sizeof(szText)));
  EXPECT_STREQ("", szText);
  EXPECT_FALSE(GetFieldText(nullptr, &field, szText, sizeof(szText)));
  EXPECT_FALSE(GetFieldText(pDate.get(), nullptr, szText, sizeof(szText)));
  EXPECT_FALSE(GetFieldText(pDate.get(), &field, nullptr, sizeof(szText)));
  EXPECT_FALSE(GetFieldText(pDate.get(), &field, szText, 0));
}

TEST(GetFieldText, StartBeforeTheShownYearsKeepsTheTime) {
  auto pDate = SampleRecord();
  pDate->stStart = LocalTime(1930, 6, 1, 8, 0, 0);
  CommField field{};
  char szText[32];
  ASSERT_TRUE(GetFieldDesc(FIELD_DATE, &field));
  ASSERT_TRUE(GetFieldText(pDate.get(), &field, szText, sizeof(szText)));
  EXPECT_STREQ("", szText);
  ASSERT_TRUE(GetFieldDesc(FIELD_START_DATE_TIME, &field));
  ASSERT_TRUE(GetFieldText(pDate.get(), &field, szText, sizeof(szText)));
  EXPECT_STREQ(" 08:00:00", szText);
}

TEST(GetFieldText, FullLengthNoteFitsItsNominalSizeCut) {
  auto pDate = std::make_unique<CommDate>();
  CxCopyText(pDate->szNote, std::string(COMM_NOTE_SIZE - 1, 'n').c_str());
  CommField field{};
  ASSERT_TRUE(GetFieldDesc(FIELD_NOTE, &field));
  std::string text(static_cast<size_t>(field.nTextSize) + 1, 'x');
  ASSERT_TRUE(GetFieldText(pDate.get(), &field, text.data(), field.nTextSize));
  EXPECT_EQ(static_cast<size_t>(field.nTextSize - 1), strlen(text.c_str()));
  EXPECT_EQ('x', text[static_cast<size_t>(field.nTextSize)]);
}

// Every write of a note cuts it as a copy into its 8192-byte array did, also a write of a part
// of the note's own text (which a write that first frees the old text would read freed).
struct NoteWriteCase {
  const char* szName;
  size_t nBefore;  // 'a' characters the note holds first
  int nFrom;       // -1: write nLength 'b' characters; else the note's own text from here
  size_t nLength, nKept;
};

class NoteWriteTest : public ::testing::TestWithParam<NoteWriteCase> {};

TEST_P(NoteWriteTest, CutsToTheArrayItStandsFor) {
  const NoteWriteCase& c = GetParam();
  CommDate date{};
  CxCopyText(date.szNote, std::string(c.nBefore, 'a').c_str());
  const std::string strNew(c.nLength, 'b');
  CxCopyText(date.szNote, c.nFrom < 0 ? strNew.c_str() : date.szNote + c.nFrom);
  EXPECT_EQ(c.nKept, std::strlen(date.szNote));
}

INSTANTIATE_TEST_SUITE_P(Note, NoteWriteTest,
                         ::testing::Values(NoteWriteCase{"LongestNoteKept", 0, -1, 8191, 8191},
                                           NoteWriteCase{"LongerNoteCut", 0, -1, 20479, 8191},
                                           NoteWriteCase{"EmptyNoteEmpties", 300, -1, 0, 0},
                                           NoteWriteCase{"OwnTailOfALongNote", 8191, 8000, 0, 191},
                                           NoteWriteCase{"OwnWholeNote", 8191, 0, 0, 8191}),
                         [](const ::testing::TestParamInfo<NoteWriteCase>& row) {
                           return row.param.szName;
                         });

struct NoteCase {
  const char* szName;
  const char* szA;
  const char* szB;
  bool bSame;
};

class SameNoteTextTest : public ::testing::TestWithParam<NoteCase> {};

TEST_P(SameNoteTextTest, IgnoresLineBreaksAndCase) {
  EXPECT_EQ(GetParam().bSame, SameNoteText(GetParam().szA, GetParam().szB));
  EXPECT_EQ(GetParam().bSame, SameNoteText(GetParam().szB, GetParam().szA));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SameNoteTextTest,
    ::testing::Values(NoteCase{"CrLfAgainstJoinedOtherCase", "First line\r\nSecond",
                               "FIRST LINESECOND", true},
                      NoteCase{"LoneLfAndCr", "a\nb\rc", "abc", true},
                      NoteCase{"OneMoreLetter", "Same text", "Same texts", false},
                      NoteCase{"BlanksStillCount", "a b", "ab", false},
                      NoteCase{"OnlyLineBreaksEqualsEmpty", "\r\n\r\n", "", true}),
    [](const ::testing::TestParamInfo<NoteCase>& row) { return row.param.szName; });

TEST(SameRepeat, ComparesTheStepButNotTheEnd) {
  RepeatPattern a{};
  a.nType = REPEAT_WEEKLY;
  a.nInterval = 1;
  a.nDayOfWeekMask = DAYMASK_MONDAY;
  a.nInstance = 1;
  RepeatPattern b = a;
  b.bHasEnd = 1;
  b.stPatternEnd = LocalTime(2012, 1, 1, 0, 0, 0);
  b.stPatternStart = LocalTime(2011, 1, 1, 0, 0, 0);
  EXPECT_TRUE(SameRepeat(&a, &b));
  b.nDayOfWeekMask |= DAYMASK_FRIDAY;
  EXPECT_FALSE(SameRepeat(&a, &b));
  b = a;
  b.nInstance = 2;
  EXPECT_FALSE(SameRepeat(&a, &b));
  EXPECT_FALSE(SameRepeat(&a, nullptr));
}

TEST(CopyIfText, EmptyOrMissingSourceKeepsTheDestination) {
  char szDst[8] = "kept";
  CopyIfText(szDst, "");
  EXPECT_STREQ("kept", szDst);
  CopyIfText(szDst, nullptr);
  EXPECT_STREQ("kept", szDst);
  CopyIfText(szDst, "a much longer text");
  EXPECT_STREQ("a much ", szDst);
}

TEST(SetExtraCopy, CopiesEvenFromTheRecordsOwnBlock) {
  CommDate date{};
  const char kBlock[] = "store record";
  ASSERT_TRUE(SetExtraCopy(&date, kBlock, sizeof(kBlock)));
  ASSERT_NE(nullptr, date.pExtra);
  EXPECT_NE(static_cast<const void*>(kBlock), date.pExtra);
  ASSERT_TRUE(SetExtraCopy(&date, date.pExtra, date.nExtraSize));
  EXPECT_EQ(sizeof(kBlock), date.nExtraSize);
  EXPECT_STREQ(kBlock, static_cast<const char*>(date.pExtra));
  FreeExtra(&date);
  EXPECT_EQ(nullptr, date.pExtra);
  EXPECT_EQ(0u, date.nExtraSize);
}

// A block with a 16-byte text field between two fixed parts, packed and unpacked.
struct PackCase {
  const char* szName;
  const char* szText;  // what the field holds; 16 characters fill it without a NUL
  int nCut;            // bytes taken off the packed block, or -1: the size asked is another
  bool bUnpacks;
};

class PackExtraTest : public ::testing::TestWithParam<PackCase> {};

TEST_P(PackExtraTest, GivesTheWholeBlockBackOrRefuses) {
  struct Block {
    char szHead[5];
    char szText[16];
    int nTail;
  } block = {"head", {}, 0x7A11};
  std::memcpy(block.szText, GetParam().szText, std::min<size_t>(16, strlen(GetParam().szText)));
  std::vector<BYTE> packed =
      PackExtra(&block, sizeof block, offsetof(Block, szText), sizeof block.szText);
  if (GetParam().nCut > 0) packed.resize(packed.size() - static_cast<size_t>(GetParam().nCut));
  Block out = {"ffff", "garbage", 0};
  const UINT nAsked = GetParam().nCut < 0 ? sizeof out - 1 : sizeof out;
  EXPECT_EQ(UnpackExtra(packed.data(), static_cast<UINT>(packed.size()), &out, nAsked),
            GetParam().bUnpacks);
  if (GetParam().bUnpacks) {
    EXPECT_EQ(0, std::memcmp(&out, &block, sizeof block));
  }
}

// An image of mostly empty identifiers and date lists must pack to a few bytes, runs longer
// than one length byte included, and still come back whole.
TEST(PackExtraRuns, LongZeroRunsPackSmallAndComeBackWhole) {
  struct Image {
    char szId[1024];
    int nMark;
    char szText[64];
    double dtDays[256];
    int nTail;
  } image{};
  CxCopyText(image.szId, "uid-1");
  image.nMark = 7;
  image.dtDays[200] = 40000.5;
  image.nTail = -1;
  const std::vector<BYTE> packed =
      PackExtra(&image, sizeof image, offsetof(Image, szText), sizeof image.szText);
  EXPECT_LT(packed.size(), 64u);
  Image out;
  std::memset(&out, 0x5A, sizeof out);
  ASSERT_TRUE(UnpackExtra(packed.data(), static_cast<UINT>(packed.size()), &out, sizeof out));
  EXPECT_EQ(0, std::memcmp(&out, &image, sizeof image));
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, PackExtraTest,
    ::testing::Values(PackCase{"EmptyText", "", 0, true}, PackCase{"ShortText", "note", 0, true},
                      PackCase{"TextFillsTheField", "0123456789abcdef", 0, true},
                      PackCase{"CutBeforeTheTail", "note", 1, false},
                      PackCase{"CutInsideTheHead", "", 20, false},
                      PackCase{"AnotherSize", "note", -1, false}),
    [](const ::testing::TestParamInfo<PackCase>& row) { return row.param.szName; });

}  // namespace
