// One suite for both datebook layouts: every field lands in its member and is written back
// from it, Palm Desktop's habits are saved in DayBridge's form, damaged files are refused (a
// row per defect, with the line each layout logs for it), and a save writes the file that
// was loaded. Where the layouts differ the row says so, and rows only one layout has are
// that layout's own.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "DatebookLayouts.h"
#include "tests/support/files/FileTestSupport.h"

using dbtest::Bytes;
using dbtest::CurrentLayout;
using dbtest::EarlierLayout;

namespace {

template <typename Layout>
class DatebookLayoutTest : public dbtest::DatebookFixture<Layout> {};
TYPED_TEST_SUITE(DatebookLayoutTest, dbtest::Layouts, dbtest::LayoutNames);

// --- every field -------------------------------------------------------------------------------

// A record whose every field holds a value of its own, in DayBridge's writing form: a field
// read into (or written from) another field's member cannot go unseen.
template <typename Layout>
typename Layout::Row Distinct();

template <>
dbtest::Record41 Distinct<EarlierLayout>() {
  dbtest::Record41 r{.nRecordId = 100,
                     .nStatus = 101,
                     .nPlacement = 102,
                     .nStart = 1104570000,
                     .nEnd = 1104573600,
                     .nStartType = 3,
                     .nEndType = 3,
                     .description = "Description",
                     .nInt6 = 106,
                     .note = "Note",
                     .nUntimed = 108,
                     .nPrivate = 109,
                     .nCategoryId = 5,
                     .nAlarm = 111,
                     .nAdvance = 112,
                     .nUnit = 113};
  r.repeat = {.nFlag = 0xFFFF,
              .exceptions = {1105000000},
              .className = "CDateOfYear",
              .nBrand = 5,
              .nInterval = 2,
              .nEndDate = 1200000000,
              .nFirstDay = 1,
              .brandLongs = {29, 1}};
  return r;
}

template <>
dbtest::Record414 Distinct<CurrentLayout>() {
  dbtest::Record414 r{.nRecordId = 100,
                      .nSequence = 101,
                      .nStatus = 102,
                      .nFieldBase = 103,
                      .nPlacement = 104,
                      .nCategoryId = 5,
                      .nPrivate = 106,
                      .nPrivateType = 1,
                      .text11 = "t11",
                      .text12 = "t12",
                      .nStart = 1104570000,
                      .nEnd = 1104573600,
                      .summary = "Summary",
                      .nInt16 = 116,
                      .note = "Note",
                      .nUntimed = 118,
                      .nAlarm = 119,
                      .nAdvance = 120,
                      .nUnit = 121,
                      .location = "Location",
                      .nInt24 = 124,
                      .text25 = "t25",
                      .text26 = "t26"};
  r.blobs = {dbtest::Blob{64, 5, 0, 0, std::nullopt, {1, 2, 3, 4, 5}},
             dbtest::Blob{65, 2, 7, 8, std::nullopt, {0xAA, 0xBB}},
             dbtest::Blob{66, 1, 9, 10, std::nullopt, {}}, dbtest::Blob{67}};
  r.repeat = {.nFlag = 0xFFFF,
              .exceptions = {1105000000},
              .className = "CDayOfMonth",
              .nBrand = 3,
              .nInterval = 2,
              .nEndDate = 1200000000,
              .nFirstDay = 1,
              .brandLongs = {5, 3}};
  return r;
}

void ExpectRepeat(const PmRepeat& repeat, LONG nBrand) {
  EXPECT_EQ(repeat.nBrand, nBrand);
  EXPECT_EQ(repeat.nInterval, 2);
  EXPECT_EQ(repeat.nEndDate, 1200000000u);
  EXPECT_EQ(repeat.nFirstDayOfWeek, 1);
  ASSERT_EQ(repeat.nExceptionCount, 1);
  EXPECT_EQ(repeat.nExceptions[0], 1105000000u);
}

void ExpectDistinct(const PmDateRecord& rec) {
  EXPECT_EQ(rec.nRecordId, 100u);
  EXPECT_EQ(rec.nStatus, 101u);
  EXPECT_EQ(rec.nPlacement, 102u);
  EXPECT_EQ(rec.nStartTime, 1104570000u);
  EXPECT_EQ(rec.nEndTime, 1104573600u);
  EXPECT_STREQ(rec.szDescription, "Description");
  EXPECT_EQ(rec.nInt6, 106);
  EXPECT_STREQ(rec.szNote, "Note");
  EXPECT_EQ(rec.bUntimed, 108);
  EXPECT_EQ(rec.bPrivate, 109);
  EXPECT_EQ(rec.nCategoryId, 5);
  EXPECT_STREQ(rec.szCategory, "");  // only the id is loaded
  EXPECT_EQ(rec.bAlarm, 111);
  EXPECT_EQ(rec.nAlarmAdvance, 112);
  EXPECT_EQ(rec.nAlarmUnit, 113);
  ExpectRepeat(rec.repeat, PM_REPEAT_YEARLY_BY_DATE);
  EXPECT_EQ(rec.repeat.nDayNumber, 29);
  EXPECT_EQ(rec.repeat.nMonthIndex, 1);
}

void ExpectDistinct(const PmDateExRecord& rec) {
  EXPECT_EQ(rec.nRecordId, 100u);
  EXPECT_EQ(rec.nSequence, 101u);
  EXPECT_EQ(rec.nStatus, 102u);
  EXPECT_EQ(rec.nFieldBase, 103u);
  EXPECT_EQ(rec.nPlacement, 104u);
  EXPECT_EQ(rec.nCategoryId, 5);
  EXPECT_STREQ(rec.szCategory, "Projects");
  EXPECT_EQ(rec.bPrivate, 106);
  ASSERT_EQ(rec.blobs[0].nDataLen, 5u);
  EXPECT_EQ(rec.blobs[0].pData[4], 5);
  EXPECT_EQ(rec.blobs[1].nWord2, 8u);
  EXPECT_EQ(rec.blobs[2].nWord1, 9u);
  EXPECT_EQ(rec.blobs[3].nType, 67u);
  EXPECT_STREQ(rec.szText11, "t11");
  EXPECT_STREQ(rec.szText12, "t12");
  EXPECT_EQ(rec.nStartTime, 1104570000u);
  EXPECT_EQ(rec.nEndTime, 1104573600u);
  EXPECT_STREQ(rec.szSummary, "Summary");
  EXPECT_EQ(rec.nInt16, 116);
  EXPECT_STREQ(rec.szNote, "Note");
  EXPECT_EQ(rec.bUntimed, 118);
  EXPECT_EQ(rec.bAlarm, 119);
  EXPECT_EQ(rec.nAlarmAdvance, 120);
  EXPECT_EQ(rec.nAlarmUnit, 121);
  ExpectRepeat(rec.repeat, PM_REPEAT_MONTHLY_BY_DAY);
  EXPECT_EQ(rec.repeat.nDayIndex, 5);
  EXPECT_EQ(rec.repeat.nWeekIndex, 3);
  EXPECT_STREQ(rec.szLocation, "Location");
  EXPECT_EQ(rec.nInt24, 124);
  EXPECT_STREQ(rec.szText25, "t25");
  EXPECT_STREQ(rec.szText26, "t26");
}

// A datebook as DayBridge saves it: clean categories with derived short names.
template <typename Layout>
typename Layout::File SavedFile(const std::vector<Bytes>& records) {
  typename Layout::File file;
  file.categories = {{4, 5, 0, "Projects", "Projects"}};
  file.records = records;
  if constexpr (Layout::kCurrent) {
    file.SetRecordCountBytes(static_cast<uint32_t>(records.size()));
  }
  return file;
}

TYPED_TEST(DatebookLayoutTest, EveryFieldLandsInItsMemberAndIsWrittenBackFromIt) {
  const Bytes original = SavedFile<TypeParam>({Distinct<TypeParam>().Build()}).Build();
  this->Write(original);
  typename TestFixture::Util db(this->m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  ASSERT_EQ(db.GetDataMgr()->GetCount(), 1);
  ExpectDistinct(*db.GetDataMgr()->First());
  ASSERT_TRUE(db.Save());
  EXPECT_EQ(this->OnDisk(), original);
}

// --- Palm Desktop's habits ---------------------------------------------------------------------

// A datebook as Palm Desktop writes it, and the same datebook as DayBridge saves it back.
template <typename Layout>
std::pair<Bytes, Bytes> PalmDesktopAndSaved();

// The end time with the schema's integer code and text words other than 1.
template <>
std::pair<Bytes, Bytes> PalmDesktopAndSaved<EarlierLayout>() {
  dbtest::Record41 palm = EarlierLayout::Saved();
  palm.nEndType = 1;
  palm.nTextWord = 4;
  palm.note = std::string(300, 'z');
  dbtest::Record41 saved = palm;
  saved.nEndType = 3;
  saved.nTextWord = 1;
  dbtest::Datebook41 file;
  file.categories = {{2, 5, 1, "Family", "Fam"}};
  file.records = {palm.Build(), EarlierLayout::Saved().Build()};
  dbtest::Datebook41 expected = file;
  expected.categories = {{2, 5, 0, "Family", "Family"}};
  expected.records = {saved.Build(), EarlierLayout::Saved().Build()};
  return {file.Build(), expected.Build()};
}

// The private flag with the boolean code, text words other than 1, a repeat that refers to a
// class named earlier, and stale record count bytes.
template <>
std::pair<Bytes, Bytes> PalmDesktopAndSaved<CurrentLayout>() {
  dbtest::Record414 palm = Distinct<CurrentLayout>();
  palm.nPrivateType = 6;
  palm.nTextWord = 2;
  palm.repeat.nFlag = 0x8001;
  dbtest::Record414 saved = Distinct<CurrentLayout>();
  dbtest::Datebook414 file;
  file.categories = {{1, 1, 1, "Business", "Bus"}, {4, 17, 0, "A/B: C", "odd"}};
  file.records = {palm.Build(), dbtest::Record414().Build()};
  file.reserved1[12] = 0x77;
  file.reserved1[13] = 0x77;
  dbtest::Datebook414 expected = file;
  expected.SetRecordCountBytes(2);
  expected.categories = {{1, 1, 0, "Business", "Business"}, {4, 17, 0, "A/B: C", "A_B_ C"}};
  expected.records = {saved.Build(), CurrentLayout::Saved().Build()};
  return {file.Build(), expected.Build()};
}

TYPED_TEST(DatebookLayoutTest, PalmDesktopHabitsAreSavedInDayBridgesForm) {
  const auto [palm, saved] = PalmDesktopAndSaved<TypeParam>();
  this->Write(palm);
  typename TestFixture::Util db(this->m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  ASSERT_TRUE(db.Save());
  EXPECT_EQ(this->OnDisk(), saved);
}

// --- shapes that load and save unchanged -------------------------------------------------------

template <typename Layout>
struct Shape {
  const char* szName;
  std::function<void(typename Layout::File&)> shape;
};

template <typename Layout>
std::vector<Shape<Layout>> Shapes() {
  using File = typename Layout::File;
  const auto saved = [](int nFields = Layout::kFields) { return Layout::Saved().Build(nFields); };
  std::vector<Shape<Layout>> shapes = {
      {"NoRecords", [](File&) {}},
      {"ThreeHundredRecords",
       [](File& f) {
         for (uint32_t i = 0; i < 300; ++i) {
           typename Layout::Row r = Layout::Saved();
           r.nRecordId = i;
           f.records.push_back(r.Build());
         }
       }},
      {"NarrowRecords",
       [saved](File& f) {
         Layout::Narrow(f, 10);
         f.records = {saved(10), saved(10)};
       }},
      {"RowWiderThanTheRecord",
       [saved](File& f) {
         f.nFieldsPerRow = Layout::kFields + 3;
         f.records = {saved()};
       }},
      {"EmptyTextAndARepeatWithoutData",
       [](File& f) {
         typename Layout::Row r = Layout::Saved();
         Layout::SetText(r, "");
         r.repeat = {
             .nFlag = 0xFFFF, .className = "CDayOfYear", .nBrand = 6, .nEndDate = PM_NO_END_DATE};
         f.records = {r.Build()};
       }},
  };
  if constexpr (Layout::kCurrent) {
    // The five bytes before the magic text vary between Palm Desktop builds.
    shapes.push_back({"OtherMagicPrefix", [saved](File& f) {
                        f.prefix = {1, 2, 3, 4, 5};
                        f.records = {saved()};
                      }});
  }
  return shapes;
}

TYPED_TEST(DatebookLayoutTest, ShapesLoadAndSaveUnchanged) {
  for (const auto& shape : Shapes<TypeParam>()) {
    SCOPED_TRACE(shape.szName);
    typename TypeParam::File file;
    shape.shape(file);
    if constexpr (TypeParam::kCurrent) {
      file.SetRecordCountBytes(static_cast<uint32_t>(file.records.size()));
    }
    this->Write(file.Build());
    typename TestFixture::Util db(this->m_Path.c_str());
    ASSERT_TRUE(db.IsLoaded());
    EXPECT_EQ(db.GetDataMgr()->GetCount(), static_cast<int>(file.records.size()));
    ASSERT_TRUE(db.Save());
    if constexpr (TypeParam::kCurrent) file.prefix = {0xBE, 0xBA, 0xFE, 0xCA, 0x0F};
    EXPECT_EQ(this->OnDisk(), file.Build());
  }
}

// The earlier layout leaves out a record Palm Desktop gave up on (start or end 0xFFFFFFFF);
// the 4.1.4 layout keeps it like any other.
TYPED_TEST(DatebookLayoutTest, RecordPalmDesktopGaveUpOn) {
  typename TypeParam::File file;
  for (uint32_t i = 1; i <= 5; ++i) {
    typename TypeParam::Row r = TypeParam::Saved();
    r.nRecordId = i;
    if (i == 3) r.nStart = 0xFFFFFFFF;
    file.records.push_back(r.Build());
  }
  this->Write(file.Build());
  typename TestFixture::Util db(this->m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  EXPECT_EQ(db.GetDataMgr()->GetCount(), TypeParam::kCurrent ? 5 : 4);
}

// --- damaged files -----------------------------------------------------------------------------

template <typename Layout>
struct Defect {
  const char* szName;
  std::function<Bytes()> bytes;
  int nFailCode;
  // A line the load logs (besides the layout's line of a failed load), or empty.
  std::string logLine;
};

template <typename Layout>
Bytes FileOf(const std::function<void(typename Layout::File&)>& shape) {
  typename Layout::File f;
  shape(f);
  return f.Build();
}

Bytes Cut(Bytes bytes, size_t nKeep) {
  bytes.resize(nKeep);
  return bytes;
}

template <typename Layout>
Bytes FiveRecords(const std::function<void(std::vector<Bytes>&)>& damage) {
  typename Layout::File f;
  for (uint32_t i = 1; i <= 5; ++i) {
    typename Layout::Row r = Layout::Saved();
    r.nRecordId = i;
    r.note = std::string(40, 'n');
    f.records.push_back(r.Build());
  }
  damage(f.records);
  return f.Build();
}

// The layout's own defects.
template <typename Layout>
std::vector<Defect<Layout>> OwnDefects();

template <>
std::vector<Defect<EarlierLayout>> OwnDefects<EarlierLayout>() {
  return {{"HeaderTextOver511",
           [] { return FileOf<EarlierLayout>([](auto& f) { f.header.assign(600, 'h'); }); },
           CX_FAIL_DAMAGED, ""}};
}

template <>
std::vector<Defect<CurrentLayout>> OwnDefects<CurrentLayout>() {
  using L = CurrentLayout;
  const auto withRecord = [](const std::function<void(dbtest::Record414&)>& damage) {
    return FileOf<L>([&](auto& f) {
      dbtest::Record414 r;
      damage(r);
      f.records = {r.Build()};
    });
  };
  return {
      {"WrongMagicText", [] { return FileOf<L>([](auto& f) { f.magic = "PalmSG Database00XX"; }); },
       CX_FAIL_NOT_CALENDAR, "Incorrect database magic code: PalmSG Database00XX"},
      {"ReservedFieldCut", [] { return Cut(dbtest::Datebook414().Build(), 40); }, CX_FAIL_DAMAGED,
       "Failed to read reserved 1 field. Content="},
      {"BlobLengthPastTheEnd",
       [=] {
         return withRecord([](auto& r) { r.blobs[2] = dbtest::Blob{66, 1, 0, 0, 0x7FFFFFF0u}; });
       },
       CX_FAIL_DAMAGED, "Error reading Palm Desktop Calendar, current file position:"},
      {"BlobSelectorOf4GiB",
       [=] { return withRecord([](auto& r) {
               r.blobs[0] = dbtest::Blob{64, 0xFFFFFFFFu};
             }); },
       CX_FAIL_DAMAGED, "Palm Desktop Calendar records are not saved successfully."},
      {"TextLengthPastTheEnd",
       [] {
         // The last field is an empty text: give it a long length and no bytes.
         Bytes b = FileOf<L>([](auto& f) { f.records = {dbtest::Record414().Build()}; });
         b.back() = 0xFF;
         b.push_back(0xFF);
         b.push_back(0xFF);
         return b;
       },
       CX_FAIL_DAMAGED, "Failed to load Calendar records."},
      {"FieldCount0WithRecords",
       [] {
         return FileOf<L>([](auto& f) {
           L::Narrow(f, 0);
           f.nTotalFields = 27 * 17;
         });
       },
       CX_FAIL_DAMAGED, "Records of 0 fields cannot be read."},
  };
}

// Defects both layouts refuse; the 4.1.4 layout logs a line for each step that fails.
template <typename Layout>
std::vector<Defect<Layout>> Defects() {
  constexpr bool bCurrent = Layout::kCurrent;
  const auto line = [](const char* szCurrent) { return std::string(bCurrent ? szCurrent : ""); };
  using File = typename Layout::File;
  std::vector<Defect<Layout>> defects = {
      {"TruncatedHeader",
       [] {
         return Bytes{0x00, 0x01, 0x42};
       },
       CX_FAIL_NOT_CALENDAR, line("Failed to check magic code.")},
      {"VersionOfTheOtherLayout",
       [] {
         return FileOf<Layout>([](File& f) {
           f.nVersion = bCurrent ? EarlierLayout::kVersion : CurrentLayout::kVersion;
         });
       },
       CX_FAIL_NOT_CALENDAR, line("Incorrect database version:1145176320")},
      {"StoredFileNameOver255",
       [] { return FileOf<Layout>([](File& f) { f.fileName.assign(256, 'f'); }); }, CX_FAIL_DAMAGED,
       line("Failed to read database file name.")},
      {"CategoryIndex16",
       [] { return FileOf<Layout>([](File& f) {
              f.categories = {{16, 5, 0, "Bad", "Bad"}};
            }); },
       CX_FAIL_DAMAGED, "Category index 16 is outside 1..15."},
      {"DuplicateCategoryIndex",
       [] {
         return FileOf<Layout>([](File& f) {
           f.categories = {{3, 5, 0, "One", "One"}, {3, 6, 0, "Two", "Two"}};
         });
       },
       CX_FAIL_DAMAGED, "Category index 3 is already taken."},
      {"SchemaCut",
       [] {
         const Bytes whole = File().Build();
         return Cut(whole, whole.size() - 10);
       },
       CX_FAIL_DAMAGED, line("Failed to load database schema information.")},
      {"FieldCountPastTheRecord",
       [] {
         return FileOf<Layout>([](File& f) {
           f.nFieldCount = Layout::kFields + 1;
           f.fieldTypes.push_back(1);
         });
       },
       CX_FAIL_DAMAGED,
       "Fields Count " + std::to_string(Layout::kFields + 1) + " is more than the " +
           std::to_string(Layout::kFields) + " fields of a record."},
      {"FieldsPerRow0",
       [] {
         return FileOf<Layout>([](File& f) {
           f.nFieldsPerRow = 0;
           f.nTotalFields = Layout::kFields;
         });
       },
       CX_FAIL_DAMAGED, "Fields per row of 0 gives no record count."},
      // One changed byte of 15 (or 27) fields per row, before any record was written.
      {"FieldsPerRowOf4Billion",
       [] {
         return FileOf<Layout>([](File& f) { f.nFieldsPerRow = 0xFF000000u | Layout::kFields; });
       },
       CX_FAIL_DAMAGED,
       "Fields per row " + std::to_string(0xFF000000u | Layout::kFields) +
           " is more than a field count can name."},
      {"TotalFieldCountOf4Billion",
       [] {
         return FileOf<Layout>([](File& f) {
           f.records = {Layout::Saved().Build()};
           f.nTotalFields = 0xFFFFFFFF;
           f.nFieldsPerRow = 1;
         });
       },
       CX_FAIL_DAMAGED, line("does not fit the")},
      {"FieldTypeCodeOfTheFifthRecord",
       [] { return FiveRecords<Layout>([](std::vector<Bytes>& r) { r[4][0] = 9; }); },
       CX_FAIL_DAMAGED, line("Error reading Palm Desktop Calendar, current file position: ")},
      {"RecordCutInTheMiddle",
       [] {
         const Bytes whole = FiveRecords<Layout>([](std::vector<Bytes>&) {});
         return Cut(whole, whole.size() - 20);
       },
       CX_FAIL_DAMAGED, line("Failed to load Calendar records.")},
  };
  for (auto& own : OwnDefects<Layout>()) defects.push_back(std::move(own));
  return defects;
}

TYPED_TEST(DatebookLayoutTest, DamagedFilesAreRefusedAndLeftAlone) {
  for (const auto& defect : Defects<TypeParam>()) {
    SCOPED_TRACE(defect.szName);
    dbtest::LogCapture log;
    const Bytes bytes = defect.bytes();
    this->Write(bytes);
    typename TestFixture::Util db(this->m_Path.c_str());
    EXPECT_FALSE(db.IsLoaded());
    EXPECT_EQ(db.GetLastFailure().nCode, defect.nFailCode) << db.GetLastFailure().szText;
    EXPECT_TRUE(log.Contains(defect.logLine)) << log.Text();
    EXPECT_TRUE(log.Contains(TypeParam::kLoadFailed + this->m_Path));
    // A failed load leaves nothing that Save could write over the file.
    EXPECT_FALSE(db.Save());
    EXPECT_EQ(this->OnDisk(), bytes);
    EXPECT_TRUE(dbtest::LeftoverTemps(this->m_Folder.Path()).empty());
    EXPECT_FALSE(std::filesystem::exists(this->m_Path + ".bak"));
  }
}

// --- where a save writes -----------------------------------------------------------------------

TYPED_TEST(DatebookLayoutTest, SaveWritesTheLoadedFileAndKeepsTheStoredName) {
  // The stored name points at another datebook, as it does after the user copies a file.
  const std::string other = this->m_Folder.File("other.dat");
  const typename TypeParam::File otherFile;
  const Bytes otherBytes = otherFile.Build();
  ASSERT_TRUE(dbtest::WriteFileBytes(other, otherBytes));
  typename TypeParam::File file;
  file.fileName = other;
  file.records = {TypeParam::Saved().Build()};
  const Bytes original = file.Build();
  this->Write(original);

  typename TestFixture::Util db(this->m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  EXPECT_STREQ(db.GetLoadedPath(), this->m_Path.c_str());
  ASSERT_TRUE(this->AddAndSave(db));
  EXPECT_EQ(dbtest::ReadFileBytes(other), otherBytes);
  EXPECT_EQ(dbtest::ReadFileBytes(this->m_Path + ".bak"), original);
  typename TestFixture::Util reloaded(this->m_Path.c_str());
  ASSERT_TRUE(reloaded.IsLoaded());
  EXPECT_EQ(reloaded.GetDataMgr()->GetCount(), 2);
  EXPECT_STREQ(reloaded.GetFileName(), other.c_str());
}

// A new earlier-layout datebook stores the path it is saved to; a new 4.1.4 one stores no name.
TYPED_TEST(DatebookLayoutTest, NewDatebookNeedsAPathAndAnExistingFile) {
  typename TestFixture::Util db;
  EXPECT_FALSE(db.Save());
  EXPECT_FALSE(db.SaveAs(""));
  EXPECT_FALSE(db.SaveAs(this->m_Folder.File("missing.dat").c_str()));
  this->Write(Bytes{});
  typename TypeParam::Record rec{};
  rec.nStartTime = 1104570000;
  rec.nEndTime = 1104573600;
  ASSERT_TRUE(db.GetDataMgr()->Add(&rec));
  ASSERT_TRUE(db.SaveAs(this->m_Path.c_str()));
  typename TestFixture::Util reloaded(this->m_Path.c_str());
  ASSERT_TRUE(reloaded.IsLoaded());
  EXPECT_EQ(reloaded.GetDataMgr()->GetCount(), 1);
  EXPECT_STREQ(reloaded.GetFileName(), TypeParam::kCurrent ? "" : this->m_Path.c_str());
}

TYPED_TEST(DatebookLayoutTest, TheFirstOverwrittenVersionIsKeptAsBackup) {
  const Bytes original = TypeParam::Build(1);
  this->Write(original);
  typename TestFixture::Util db(this->m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  ASSERT_TRUE(db.Save());
  EXPECT_EQ(dbtest::ReadFileBytes(this->m_Path + ".bak"), original);
  // Later saves of the same run leave the backup of the user's own version alone.
  ASSERT_TRUE(this->AddAndSave(db));
  EXPECT_EQ(dbtest::ReadFileBytes(this->m_Path + ".bak"), original);
  EXPECT_TRUE(dbtest::LeftoverTemps(this->m_Folder.Path()).empty());
}

TYPED_TEST(DatebookLayoutTest, DatebookAnotherProgramHoldsIsNeitherLoadedNorSaved) {
  const Bytes original = TypeParam::Build(1);
  this->Write(original);
  typename TestFixture::Util db(this->m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  HANDLE hOther = CreateFile(this->m_Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(hOther, INVALID_HANDLE_VALUE);
  dbtest::LogCapture log;
  EXPECT_FALSE(db.Save());
  if (TypeParam::kOpenFailed != nullptr) {
    EXPECT_TRUE(log.Contains(TypeParam::kOpenFailed + this->m_Path));
  }
  EXPECT_FALSE(db.LoadFile(this->m_Path.c_str()));
  CloseHandle(hOther);
  EXPECT_EQ(this->OnDisk(), original);
  EXPECT_TRUE(dbtest::LeftoverTemps(this->m_Folder.Path()).empty());
}

TYPED_TEST(DatebookLayoutTest, DiskFullLeavesTheOriginalIntact) {
  // Big enough that the writer's buffer fills several times.
  const Bytes original = TypeParam::Build(600);
  this->Write(original);
  typename TestFixture::Util db(this->m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  typename TypeParam::Record rec{};
  ASSERT_TRUE(db.GetDataMgr()->Add(&rec));
  for (long long nFailAt : {0LL, 23LL, 300LL, 65536LL, 100000LL, 150000LL}) {
    dbtest::WriteFailAfter fault(nFailAt);
    EXPECT_FALSE(db.Save()) << nFailAt;
    EXPECT_EQ(db.GetLastFailure().nCode, CX_FAIL_DISK_FULL) << db.GetLastFailure().szText;
  }
  EXPECT_EQ(this->OnDisk(), original);
  EXPECT_TRUE(dbtest::LeftoverTemps(this->m_Folder.Path()).empty());
}

TYPED_TEST(DatebookLayoutTest, UnknownUserHasNoDatebook) {
  typename TestFixture::Util db;
  EXPECT_FALSE(db.LoadByUser(0xFFFFFFF0u));
  EXPECT_EQ(db.GetLastFailure().nCode, CX_FAIL_NOT_FOUND);
}

}  // namespace
