// What both datebook writers put on disk, compared byte for byte with the golden files under
// tests/data/: a new datebook with every kind of field, an empty one, and a datebook Palm
// Desktop wrote, loaded, changed and saved. scripts/golden writes the files anew.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "DatebookLayouts.h"
#include "platform/win/WinString.h"
#include "support/golden/GoldenFile.h"

namespace fs = std::filesystem;
using dbtest::Bytes;

namespace {

constexpr DWORD kMonday = 1104739200;  // 2005-01-03 08:00 UTC
constexpr DWORD kDay = 86400;

// A new datebook stores the path it was saved to, so the new ones are saved by a relative
// name from inside the test's folder.
class InFolder {
 public:
  explicit InFolder(const std::string& folder) : m_Old(fs::current_path()) {
    fs::current_path(folder);
  }
  ~InFolder() { fs::current_path(m_Old); }

 private:
  fs::path m_Old;
};

template <size_t N>
void Fill(char (&szField)[N], size_t nLength, char c) {
  std::memset(szField, c, nLength);
  if (nLength < N) szField[nLength] = '\0';
}

// The repeat patterns of every brand, with the brand's own values set.
PmRepeat RepeatOf(LONG nBrand) {
  PmRepeat repeat{};
  repeat.nBrand = nBrand;
  repeat.nInterval = nBrand == 0 ? 0 : nBrand;
  repeat.nEndDate = nBrand % 2 == 0 ? PM_NO_END_DATE : kMonday + 90 * kDay;
  repeat.nFirstDayOfWeek = nBrand == PM_REPEAT_WEEKLY ? 1 : 0;
  repeat.nDayIndex = nBrand == PM_REPEAT_DAILY ? 0x3E : 2;
  repeat.bDaysMask = nBrand == PM_REPEAT_WEEKLY ? 0x2A : 0;
  repeat.nWeekIndex = nBrand == PM_REPEAT_MONTHLY_BY_DAY ? 4 : 0;
  repeat.nMonthIndex = nBrand == PM_REPEAT_YEARLY_BY_DATE ? 1 : 0;
  repeat.nDayNumber = nBrand == PM_REPEAT_MONTHLY_BY_DATE ? 31 : 29;
  if (nBrand == PM_REPEAT_WEEKLY) {
    repeat.nExceptionCount = 2;
    repeat.nExceptions[0] = kMonday + 7 * kDay;
    repeat.nExceptions[1] = kMonday + 21 * kDay;
  }
  return repeat;
}

LONG CategoryOf(PmDBUtil& db, const char* szName) {
  LONG nId = -1;
  EXPECT_TRUE(db.GetCategoryId(szName, &nId, true)) << szName;
  return nId;
}

// The categories of the records of brands 0..6: none, new ones, one named again in another
// case, and one longer than a category name.
const char* const kCategories[] = {
    "", "Business", "A/B: C", "Family", "Business", "Quarterly planning meetings", "family"};

// The fields both layouts' records have, for the record of repeat brand nBrand.
template <typename Layout>
typename Layout::Record BrandRecord(PmDBUtil& db, LONG nBrand) {
  typename Layout::Record rec{};
  rec.nStatus = nBrand == 0 ? PM_STATUS_ADDED : PM_STATUS_CHANGED;
  rec.nCategoryId = CategoryOf(db, kCategories[nBrand]);
  rec.bPrivate = nBrand == PM_REPEAT_DAILY;
  rec.nStartTime = kMonday + static_cast<DWORD>(nBrand) * kDay;
  rec.nEndTime = rec.nStartTime + 3600;
  std::snprintf(rec.*Layout::kText, sizeof(rec.*Layout::kText), "Appointment %d",
                static_cast<int>(nBrand));
  rec.bUntimed = nBrand == PM_REPEAT_YEARLY_BY_DATE;
  rec.bAlarm = nBrand % 3 != 0;
  rec.nAlarmAdvance = 5 * nBrand;
  rec.nAlarmUnit = nBrand % 3;
  rec.repeat = RepeatOf(nBrand);
  return rec;
}

// One record per repeat brand (every flag and alarm unit among them), then the texts at
// their longest, at a length-prefix boundary, and without a terminator.
template <typename Layout>
void AddEveryField(typename Layout::Util& db) {
  using Rec = typename Layout::Record;
  for (LONG nBrand = 0; nBrand <= PM_REPEAT_YEARLY_BY_DAY; ++nBrand) {
    Rec rec = BrandRecord<Layout>(db, nBrand);
    Layout::FillBrandRecord(rec, nBrand);
    ASSERT_TRUE(db.GetDataMgr()->Add(&rec));
  }
  Rec longest{};
  longest.nStartTime = kMonday + 10 * kDay;
  longest.nEndTime = longest.nStartTime;
  longest.bUntimed = 1;
  Layout::FillLongest(longest);
  Fill(longest.szNote, sizeof(longest.szNote) - 1, 'n');
  ASSERT_TRUE(db.GetDataMgr()->Add(&longest));
  Rec boundary{};
  boundary.nStartTime = kMonday + 11 * kDay;
  boundary.nEndTime = boundary.nStartTime + 1800;
  Fill(boundary.*Layout::kText, 254, 'b');
  Fill(boundary.szNote, 255, 'c');
  ASSERT_TRUE(db.GetDataMgr()->Add(&boundary));
  Rec unterminated{};
  unterminated.nStartTime = kMonday + 12 * kDay;
  unterminated.nEndTime = unterminated.nStartTime + 60;
  Fill(unterminated.*Layout::kText, sizeof(unterminated.*Layout::kText), 'u');
  Layout::FillUnterminated(unterminated);
  ASSERT_TRUE(db.GetDataMgr()->Add(&unterminated));
}

struct EarlierGolden : dbtest::EarlierLayout {
  static constexpr const char* kPrefix = "datebook-earlier";
  static constexpr auto kText = &PmDateRecord::szDescription;

  static void FillBrandRecord(PmDateRecord& rec, LONG nBrand) {
    rec.nRecordId = static_cast<DWORD>(nBrand == 0 ? 0 : 100 + nBrand);
    rec.nPlacement = static_cast<DWORD>(nBrand);
    rec.nInt6 = nBrand * 3;
  }
  static void FillLongest(PmDateRecord& rec) {
    Fill(rec.szDescription, sizeof(rec.szDescription) - 1, 'd');
  }
  static void FillUnterminated(PmDateRecord&) {}

  static Bytes PalmDesktopFile() {
    dbtest::Datebook41 file;
    file.categories = {{2, 5, 1, "Family", "Fam"}, {7, 9, 0, "Sport", "Sport"}};
    file.nNextFreeId = 131;
    for (uint32_t i = 0; i < 4; ++i) {
      dbtest::Record41 r;
      r.nRecordId = 500 + i;
      r.nStart = kMonday + i * kDay;
      r.nEnd = r.nStart + 5400;
      r.nTextWord = 4;
      r.nCategoryId = i % 2 == 0 ? 5 : 9;
      r.note = std::string(40 * i, 'x');
      r.nAlarm = i % 2;
      r.nAdvance = 10;
      r.nUnit = 1;
      if (i == 1) {
        r.repeat.nFlag = 0xFFFF;
        r.repeat.className = "CDateOfMonth";
        r.repeat.nBrand = 4;
        r.repeat.nInterval = 1;
        r.repeat.nEndDate = PM_NO_END_DATE;
        r.repeat.brandLongs = {17};
        r.repeat.exceptions = {kMonday + 40 * kDay};
      }
      if (i == 2) r.nStart = 0xFFFFFFFF;  // given up by Palm Desktop
      if (i == 3) {
        r.repeat.nFlag = 0x8001;
        r.repeat.nBrand = 2;
        r.repeat.nInterval = 2;
        r.repeat.nEndDate = kMonday + 60 * kDay;
        r.repeat.brandLongs = {1};
        r.repeat.daysMask = 0x14;
      }
      file.records.push_back(r.Build());
    }
    return file.Build();
  }

  static void Change(Util& db) {
    PmDateRecord* pFirst = db.GetDataMgr()->First();
    ASSERT_NE(pFirst, nullptr);
    CxCopyText(pFirst->szDescription, "Lunch, moved");
    pFirst->nStatus |= PM_STATUS_CHANGED;
    PmDateRecord added{};
    added.nStartTime = kMonday + 30 * kDay;
    added.nEndTime = added.nStartTime + 3600;
    added.nCategoryId = CategoryOf(db, "Travel");
    CxCopyText(added.szDescription, "Added by a sync");
    added.repeat = RepeatOf(PM_REPEAT_YEARLY_BY_DATE);
    ASSERT_TRUE(db.GetDataMgr()->Add(&added));
  }
};

struct CurrentGolden : dbtest::CurrentLayout {
  static constexpr const char* kPrefix = "datebook414";
  static constexpr auto kText = &PmDateExRecord::szSummary;

  static void FillBrandRecord(PmDateExRecord& rec, LONG nBrand) {
    static BYTE kData[6] = {1, 2, 3, 4, 5, 6};
    rec.nRecordId = static_cast<DWORD>(nBrand == 0 ? 0 : 200 + nBrand);
    rec.nSequence = PM_DATEEX_SEQUENCE_BASE + static_cast<DWORD>(nBrand);
    rec.nFieldBase = PM_DATEEX_FIELDS * static_cast<DWORD>(nBrand);
    rec.nPlacement = nBrand == 0 ? PM_PLACEMENT_NEW : static_cast<DWORD>(nBrand);
    // Every blob form: none, selector with words and data, selector with words only, and
    // raw data of the selector's length.
    const DWORD nRawLength = nBrand == 0 ? 0 : 6;
    rec.blobs[0] = PmBlob{PM_FIELD_BLOB1, 0, 0, 0, 0, nullptr};
    rec.blobs[1] = PmBlob{PM_FIELD_BLOB2, 2, 7, 8, 3, kData};
    rec.blobs[2] = PmBlob{PM_FIELD_BLOB3, 1, 0x11, 0x22, 0, nullptr};
    rec.blobs[3] =
        PmBlob{PM_FIELD_BLOB4, nRawLength, 0, 0, nRawLength, nRawLength ? kData : nullptr};
    std::snprintf(rec.szText11, sizeof(rec.szText11), "t11-%d", static_cast<int>(nBrand));
    CxCopyText(rec.szText12, nBrand % 2 == 0 ? "" : "t12");
    rec.nInt16 = nBrand * 3;
    std::snprintf(rec.szNote, sizeof(rec.szNote), "Note of appointment %d",
                  static_cast<int>(nBrand));
    CxCopyText(rec.szLocation, nBrand == 0 ? "" : "Room 4");
    rec.nInt24 = 9 - nBrand;
    CxCopyText(rec.szText25, "t25");
  }
  static void FillLongest(PmDateExRecord& rec) {
    Fill(rec.szText11, sizeof(rec.szText11) - 1, '1');
    Fill(rec.szText12, sizeof(rec.szText12) - 1, '2');
    Fill(rec.szSummary, sizeof(rec.szSummary) - 1, 's');
    Fill(rec.szLocation, sizeof(rec.szLocation) - 1, 'l');
    Fill(rec.szText25, sizeof(rec.szText25) - 1, '5');
    Fill(rec.szText26, sizeof(rec.szText26) - 1, '6');
  }
  static void FillUnterminated(PmDateExRecord& rec) {
    Fill(rec.szText26, sizeof(rec.szText26), 'v');
  }

  static Bytes PalmDesktopFile() {
    dbtest::Datebook414 file;
    file.categories = {{1, 1, 1, "Business", "Bus"}, {4, 17, 0, "A/B: C", "odd"}};
    file.nNextFreeId = 140;
    file.reserved1[12] = 0x77;
    file.reserved1[13] = 0x77;
    for (uint32_t i = 0; i < 4; ++i) {
      dbtest::Record414 r;
      r.nRecordId = 900 + i;
      r.nSequence = 4096 + i;
      r.nFieldBase = 27 * i;
      r.nCategoryId = i % 2 == 0 ? 1 : 17;
      r.nPrivate = i == 2;
      r.blobs[0] = dbtest::Blob{64, 5, 0, 0, std::nullopt, {1, 2, 3, 4, 5}};
      r.blobs[1] = dbtest::Blob{65, 2, 7, 8, std::nullopt, {0xAA, 0xBB}};
      r.nStart = kMonday + i * kDay;
      r.nEnd = r.nStart + 5400;
      r.summary = "Review " + std::to_string(i);
      r.note = std::string(60 * i, 'x');
      r.location = i == 0 ? "" : "Room " + std::to_string(i);
      r.nTextWord = 2;
      r.nAlarm = i % 2;
      r.nAdvance = 10;
      r.nUnit = 1;
      if (i == 1) {
        r.repeat.nFlag = 0xFFFF;
        r.repeat.className = "CWeekly";
        r.repeat.nBrand = 2;
        r.repeat.nInterval = 1;
        r.repeat.nEndDate = PM_NO_END_DATE;
        r.repeat.brandLongs = {1};
        r.repeat.daysMask = 0x0A;
        r.repeat.exceptions = {kMonday + 14 * kDay, kMonday + 28 * kDay};
      }
      if (i == 3) {
        r.repeat.nFlag = 0x8001;
        r.repeat.nBrand = 3;
        r.repeat.nInterval = 1;
        r.repeat.nEndDate = kMonday + 200 * kDay;
        r.repeat.brandLongs = {2, 4};
      }
      file.records.push_back(r.Build());
    }
    return file.Build();
  }

  static void Change(Util& db) {
    PmDateExRecord* pFirst = db.GetDataMgr()->First();
    ASSERT_NE(pFirst, nullptr);
    CxCopyText(pFirst->szSummary, "Review, moved");
    pFirst->nStatus |= PM_STATUS_CHANGED;
    PmDateExRecord added{};
    added.nSequence = PM_DATEEX_SEQUENCE_BASE + 4;
    added.nFieldBase = PM_DATEEX_FIELDS * 4;
    added.nPlacement = PM_PLACEMENT_NEW;
    added.nStatus = PM_STATUS_ADDED;
    added.nStartTime = kMonday + 30 * kDay;
    added.nEndTime = added.nStartTime + 3600;
    added.nCategoryId = CategoryOf(db, "Travel");
    CxCopyText(added.szSummary, "Added by a sync");
    added.repeat = RepeatOf(PM_REPEAT_YEARLY_BY_DATE);
    ASSERT_TRUE(db.GetDataMgr()->Add(&added));
  }
};

template <typename Layout>
class DatebookGoldenTest : public ::testing::Test {
 protected:
  using Util = typename Layout::Util;
  static std::string Name(const char* szWhat) {
    return std::string(Layout::kPrefix) + "-" + szWhat + ".dat";
  }
  // Saves db as a new datebook named "datebook.dat" and returns its bytes.
  Bytes SavedNew(Util& db) {
    InFolder inFolder(m_Folder.Path());
    EXPECT_TRUE(dbtest::WriteFileBytes("datebook.dat", Bytes{}));
    EXPECT_TRUE(db.SaveAs("datebook.dat"));
    return dbtest::ReadFileBytes("datebook.dat");
  }

  dbtest::TempFolder m_Folder;
};

using GoldenLayouts = ::testing::Types<EarlierGolden, CurrentGolden>;
TYPED_TEST_SUITE(DatebookGoldenTest, GoldenLayouts, dbtest::LayoutNames);

TYPED_TEST(DatebookGoldenTest, NewDatebookWithEveryField) {
  typename TestFixture::Util db;
  AddEveryField<TypeParam>(db);
  EXPECT_TRUE(golden::MatchesGolden(this->Name("every-field"), this->SavedNew(db)));
}

TYPED_TEST(DatebookGoldenTest, NewEmptyDatebook) {
  typename TestFixture::Util db;
  EXPECT_TRUE(golden::MatchesGolden(this->Name("empty"), this->SavedNew(db)));
}

TYPED_TEST(DatebookGoldenTest, PalmDesktopDatebookChangedAndSaved) {
  const std::string path = this->m_Folder.File("datebook.dat");
  ASSERT_TRUE(dbtest::WriteFileBytes(path, TypeParam::PalmDesktopFile()));
  typename TestFixture::Util db(path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  TypeParam::Change(db);
  ASSERT_TRUE(db.Save());
  EXPECT_TRUE(golden::FileMatchesGolden(this->Name("resaved"), path));
}

}  // namespace
