// The 4.1.4 datebook: exact round trips, damaged files named by their defect, and the
// promises made to the user's file (saved where it was loaded, never half-written, a backup
// of the first overwritten version, deleted occurrences kept).
#include "common/palm/PalmDateEx.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "DatebookBuilder.h"
#include "PalmTestSupport.h"
#include "platform/win/WinString.h"
#include "tests/support/files/FileTestSupport.h"

using dbtest::Bytes;
using dbtest::Datebook414;
using dbtest::Record414;

namespace {

// A record with every kind of field filled, as Palm Desktop writes it.
Record414 FullRecord(uint32_t nId) {
  Record414 r;
  r.nRecordId = nId;
  r.nSequence = 4096 + nId;
  r.nStatus = 0x40;
  r.nFieldBase = 27 * nId;
  r.nPlacement = nId;
  r.nCategoryId = 17;
  r.nPrivate = 1;
  r.blobs[0] = dbtest::Blob{64, 5, 0, 0, std::nullopt, {1, 2, 3, 4, 5}};
  r.blobs[1] = dbtest::Blob{65, 2, 7, 8, std::nullopt, {0xAA, 0xBB}};
  r.text11 = "t11";
  r.text12 = "t12";
  r.summary = "Weekly review " + std::to_string(nId);
  r.nInt16 = 3;
  r.note = std::string(400, 'n');
  r.nUntimed = 0;
  r.nAlarm = 1;
  r.nAdvance = 15;
  r.nUnit = 0;
  r.repeat.nFlag = 0xFFFF;
  r.repeat.className = "CWeekly";
  r.repeat.nBrand = 2;
  r.repeat.nInterval = 1;
  r.repeat.nEndDate = PM_NO_END_DATE;
  r.repeat.nFirstDay = 0;
  r.repeat.brandLongs = {1};
  r.repeat.daysMask = 0x0A;
  r.repeat.exceptions = {1105000000, 1105604800};
  r.location = "Room 4";
  r.nInt24 = 9;
  r.text25 = "t25";
  r.text26 = "t26";
  return r;
}

class DatebookExTest : public ::testing::Test {
 protected:
  void Write(const Bytes& bytes) { ASSERT_TRUE(dbtest::WriteFileBytes(m_Path, bytes)); }
  Bytes OnDisk() const { return dbtest::ReadFileBytes(m_Path); }
  bool Exists(const std::string& path) const { return std::filesystem::exists(path); }

  dbtest::TempFolder m_Folder;
  std::string m_Path = m_Folder.File("datebook.dat");
};

// --- round trip --------------------------------------------------------------------------------

TEST_F(DatebookExTest, UnchangedFileSavesBackWithOnlyTheKnownDifferences) {
  Datebook414 original;
  original.categories = {{1, 1, 1, "Business", "Bus"}, {4, 17, 0, "A/B: C", "odd"}};
  Record414 first = FullRecord(1);
  first.nTextWord = 2;  // Palm Desktop's word after the text code; written back as 1
  first.nPrivateType = 6;
  Record414 second = FullRecord(2);
  second.repeat.nFlag = 0x8001;  // a class named earlier; written back with its name
  Record414 third;
  third.repeat = {};  // no repeat
  original.records = {first.Build(), second.Build(), third.Build()};
  original.reserved1[12] = 0x77;  // stale count bytes are recomputed
  original.reserved1[13] = 0x77;
  Write(original.Build());

  PmDateExUtil db(m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  ASSERT_TRUE(db.Save());

  Datebook414 expected = original;
  expected.SetRecordCountBytes(3);
  expected.categories = {{1, 1, 0, "Business", "Business"}, {4, 17, 0, "A/B: C", "A_B_ C"}};
  for (Record414* r : {&first, &second, &third}) {
    r->nTextWord = 1;
    r->nPrivateType = 1;
  }
  second.repeat.nFlag = 0xFFFF;
  expected.records = {first.Build(), second.Build(), third.Build()};
  EXPECT_EQ(OnDisk(), expected.Build());
}

TEST_F(DatebookExTest, FieldsLandInTheRecord) {
  Datebook414 file;
  file.categories = {{4, 17, 0, "Projects", "Projects"}};
  file.records = {FullRecord(7).Build()};
  Write(file.Build());

  PmDateExUtil db(m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  ASSERT_EQ(db.GetDataMgr()->GetCount(), 1);
  const PmDateExRecord* pRec = db.GetDataMgr()->First();
  EXPECT_EQ(pRec->nRecordId, 7u);
  EXPECT_STREQ(pRec->szSummary, "Weekly review 7");
  EXPECT_STREQ(pRec->szCategory, "Projects");
  EXPECT_EQ(std::strlen(pRec->szNote), 400u);
  EXPECT_STREQ(pRec->szLocation, "Room 4");
  EXPECT_EQ(pRec->nStartTime, 1104570000u);
  EXPECT_EQ(pRec->bAlarm, 1);
  EXPECT_EQ(pRec->nAlarmAdvance, 15);
  EXPECT_EQ(pRec->repeat.nBrand, PM_REPEAT_WEEKLY);
  EXPECT_EQ(pRec->repeat.bDaysMask, 0x0A);
  ASSERT_EQ(pRec->repeat.nExceptionCount, 2);
  EXPECT_EQ(pRec->repeat.nExceptions[0], 1105000000u);
  ASSERT_EQ(pRec->blobs[0].nDataLen, 5u);
  EXPECT_EQ(pRec->blobs[0].pData[4], 5);
  EXPECT_STREQ(db.GetFileName(), file.fileName.c_str());
  EXPECT_STREQ(db.GetLoadedPath(), m_Path.c_str());
}

// A record in the form DayBridge writes it (field 6 with the integer code), so that an
// unchanged load and save must give the very same bytes.
Record414 Saved414() {
  Record414 r;
  r.nPrivateType = 1;
  return r;
}

struct LayoutCase {
  const char* szName;
  std::function<void(Datebook414&)> shape;
  int nRecords;
};

class DatebookExLayoutTest : public DatebookExTest,
                             public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(DatebookExLayoutTest, LoadsAndSavesUnchanged) {
  Datebook414 file;
  GetParam().shape(file);
  Write(file.Build());
  PmDateExUtil db(m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  EXPECT_EQ(db.GetDataMgr()->GetCount(), GetParam().nRecords);
  ASSERT_TRUE(db.Save());
  Datebook414 expected = file;
  expected.prefix = {0xBE, 0xBA, 0xFE, 0xCA, 0x0F};
  expected.SetRecordCountBytes(static_cast<uint32_t>(GetParam().nRecords));
  EXPECT_EQ(OnDisk(), expected.Build());
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, DatebookExLayoutTest,
    ::testing::Values(LayoutCase{"NoRecords", [](Datebook414&) {}, 0},
                      LayoutCase{"OtherMagicPrefix",
                                 [](Datebook414& f) {
                                   f.prefix = {1, 2, 3, 4, 5};
                                   f.records = {Saved414().Build()};
                                 },
                                 1},
                      LayoutCase{"ThreeHundredRecords",
                                 [](Datebook414& f) {
                                   for (uint32_t i = 0; i < 300; ++i) {
                                     Record414 r = Saved414();
                                     r.nRecordId = i;
                                     f.records.push_back(r.Build());
                                   }
                                 },
                                 300},
                      // Records of fewer fields than the row width are written back with as many.
                      LayoutCase{"FieldCount20",
                                 [](Datebook414& f) {
                                   f.nFieldCount = 20;
                                   f.fieldTypes.resize(20);
                                   f.records = {Saved414().Build(20), Saved414().Build(20)};
                                 },
                                 2},
                      LayoutCase{"RowWiderThanTheRecord",
                                 [](Datebook414& f) {
                                   f.nFieldsPerRow = 30;
                                   f.records = {Saved414().Build()};
                                 },
                                 1},
                      LayoutCase{"EmptyTextsAndRepeatOnly",
                                 [](Datebook414& f) {
                                   Record414 r = Saved414();
                                   r.summary.clear();
                                   r.repeat.nFlag = 0xFFFF;
                                   r.repeat.className = "CDayOfYear";
                                   r.repeat.nBrand = 6;
                                   r.repeat.nEndDate = PM_NO_END_DATE;
                                   f.records = {r.Build()};
                                 },
                                 1}),
    [](const auto& tpi) { return std::string(tpi.param.szName); });

TEST_F(DatebookExTest, ThreeHundredRecordsSetTheCountBytes) {
  Datebook414 file;
  for (uint32_t i = 0; i < 300; ++i) file.records.push_back(Record414().Build());
  Write(file.Build());
  PmDateExUtil db(m_Path.c_str());
  ASSERT_TRUE(db.Save());
  const Bytes saved = OnDisk();
  // Reserved 1 starts after the 5-byte prefix, 19-byte text and 4-byte version.
  EXPECT_EQ(saved[28 + 12], 0x2C);
  EXPECT_EQ(saved[28 + 13], 0x11);
}

// --- damaged files -----------------------------------------------------------------------------

struct DefectCase {
  const char* szName;
  std::function<Bytes()> bytes;
  const char* szLogLine;
};

Bytes Cut(Bytes bytes, size_t nKeep) {
  bytes.resize(nKeep);
  return bytes;
}

Bytes WithRecords(const std::vector<Record414>& records) {
  Datebook414 f;
  for (const auto& r : records) f.records.push_back(r.Build());
  return f.Build();
}

class DatebookExDefectTest : public DatebookExTest,
                             public ::testing::WithParamInterface<DefectCase> {};

TEST_P(DatebookExDefectTest, FailsToLoadAndWritesNothing) {
  dbtest::LogCapture log;
  const Bytes bytes = GetParam().bytes();
  Write(bytes);
  PmDateExUtil db(m_Path.c_str());
  EXPECT_FALSE(db.IsLoaded());
  EXPECT_TRUE(log.Contains(GetParam().szLogLine)) << log.Text();
  EXPECT_TRUE(log.Contains("Load Palm Desktop Calendar failed: " + m_Path));
  // A failed load leaves nothing that Save could write over the file.
  EXPECT_FALSE(db.Save());
  EXPECT_EQ(OnDisk(), bytes);
  EXPECT_TRUE(dbtest::LeftoverTemps(m_Folder.Path()).empty());
  EXPECT_FALSE(Exists(m_Path + ".bak"));
}

INSTANTIATE_TEST_SUITE_P(
    Defects, DatebookExDefectTest,
    ::testing::Values(DefectCase{"TruncatedHeader", [] { return Cut(Datebook414().Build(), 10); },
                                 "Failed to check magic code."},
                      DefectCase{"WrongMagicText",
                                 [] {
                                   Datebook414 f;
                                   f.magic = "PalmSG Database00XX";
                                   return f.Build();
                                 },
                                 "Incorrect database magic code: PalmSG Database00XX"},
                      DefectCase{"EarlierLayoutVersion",
                                 [] {
                                   Datebook414 f;
                                   f.nVersion = 0x44420100;
                                   return f.Build();
                                 },
                                 "Incorrect database version:1145176320"},
                      DefectCase{"ReservedFieldCut", [] { return Cut(Datebook414().Build(), 40); },
                                 "Failed to read reserved 1 field. Content="},
                      DefectCase{"StoredFileNameOver255",
                                 [] {
                                   Datebook414 f;
                                   f.fileName.assign(256, 'f');
                                   return f.Build();
                                 },
                                 "Failed to read database file name."},
                      DefectCase{"FieldCount28",
                                 [] {
                                   Datebook414 f;
                                   f.nFieldCount = 28;
                                   f.fieldTypes.push_back(1);
                                   return f.Build();
                                 },
                                 "Fields Count 28 is more than the 27 fields of a record."},
                      DefectCase{"FieldsPerRow0",
                                 [] {
                                   Datebook414 f;
                                   f.nFieldsPerRow = 0;
                                   f.nTotalFields = 27;
                                   return f.Build();
                                 },
                                 "Fields per row of 0 gives no record count."},
                      DefectCase{"CategoryIndex16",
                                 [] {
                                   Datebook414 f;
                                   f.categories = {{16, 5, 0, "Bad", "Bad"}};
                                   return f.Build();
                                 },
                                 "Category index 16 is outside 1..15."},
                      DefectCase{
                          "DuplicateCategoryIndex",
                          [] {
                            Datebook414 f;
                            f.categories = {{3, 5, 0, "One", "One"}, {3, 6, 0, "Two", "Two"}};
                            return f.Build();
                          },
                          "Category index 3 is already taken."},
                      DefectCase{"BlobLengthBeyondTheEnd",
                                 [] {
                                   Record414 r;
                                   r.blobs[2] = dbtest::Blob{66, 1, 0, 0, 0x7FFFFFF0u, {}};
                                   return WithRecords({r});
                                 },
                                 "Error reading Palm Desktop Calendar, current file position:"},
                      DefectCase{"BlobSelectorOf4GiB",
                                 [] {
                                   Record414 r;
                                   r.blobs[0] =
                                       dbtest::Blob{64, 0xFFFFFFFFu, 0, 0, std::nullopt, {}};
                                   return WithRecords({r});
                                 },
                                 "Palm Desktop Calendar records are not saved successfully."},
                      DefectCase{"TextLengthBeyondTheEnd",
                                 [] {
                                   Bytes b = WithRecords({Record414()});
                                   // The last field is an empty text: give it a long length and no
                                   // bytes.
                                   b.back() = 0xFF;
                                   b.push_back(0xFF);
                                   b.push_back(0xFF);
                                   return b;
                                 },
                                 "Failed to load Calendar records."},
                      DefectCase{"RecordCutInTheMiddle",
                                 [] {
                                   Bytes b = WithRecords({FullRecord(1), FullRecord(2)});
                                   return Cut(b, b.size() - 300);
                                 },
                                 "Failed to load Calendar records."},
                      DefectCase{"FieldCount0WithRecords",
                                 [] {
                                   Datebook414 f;
                                   f.nFieldCount = 0;
                                   f.fieldTypes.clear();
                                   f.nTotalFields = 27 * 17;
                                   return f.Build();
                                 },
                                 "Records of 0 fields cannot be read."},
                      DefectCase{"TotalFieldCountOf4Billion",
                                 [] {
                                   Datebook414 f;
                                   f.nTotalFields = 0xFFFFFFFF;
                                   f.nFieldsPerRow = 1;
                                   return f.Build();
                                 },
                                 "does not fit the"},
                      DefectCase{"WrongTypeCode",
                                 [] {
                                   Bytes b = WithRecords({Record414(), Record414()});
                                   // The first field's type code of the first record.
                                   const size_t nRecordBytes = Record414().Build().size();
                                   b[b.size() - 2 * nRecordBytes] = 9;
                                   return b;
                                 },
                                 "Error reading Palm Desktop Calendar, current file position: "}),
    [](const auto& tpi) { return std::string(tpi.param.szName); });

TEST_F(DatebookExTest, ALockedDatebookIsNeitherLoadedNorSaved) {
  Datebook414 file;
  file.records = {Record414().Build()};
  Write(file.Build());
  PmDateExUtil db(m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());

  HANDLE hOther = CreateFile(m_Path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(hOther, INVALID_HANDLE_VALUE);
  dbtest::LogCapture log;
  EXPECT_FALSE(db.Save());
  EXPECT_TRUE(log.Contains("Failed to open file: " + m_Path));
  EXPECT_FALSE(db.LoadFile(m_Path.c_str()));
  CloseHandle(hOther);
  EXPECT_EQ(OnDisk(), file.Build());
  EXPECT_TRUE(dbtest::LeftoverTemps(m_Folder.Path()).empty());
}

// --- where and how saving writes ---------------------------------------------------------------

TEST_F(DatebookExTest, SaveWritesTheLoadedFileNotTheStoredName) {
  // The stored name points at another datebook, as it does after the user copies a file.
  const std::string other = m_Folder.File("other.dat");
  Datebook414 otherFile;
  ASSERT_TRUE(dbtest::WriteFileBytes(other, otherFile.Build()));
  Datebook414 file;
  file.fileName = other;
  Write(file.Build());

  PmDateExUtil db(m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  PmDateExRecord rec{};
  CxCopyText(rec.szSummary, "Added");
  ASSERT_TRUE(db.GetDataMgr()->Add(&rec));
  ASSERT_TRUE(db.Save());

  EXPECT_EQ(dbtest::ReadFileBytes(other), otherFile.Build());
  PmDateExUtil reloaded(m_Path.c_str());
  ASSERT_TRUE(reloaded.IsLoaded());
  EXPECT_EQ(reloaded.GetDataMgr()->GetCount(), 1);
  EXPECT_STREQ(reloaded.GetFileName(), other.c_str());
}

TEST_F(DatebookExTest, TheFirstOverwrittenVersionIsKeptAsBackup) {
  Datebook414 file;
  file.records = {Record414().Build()};
  const Bytes original = file.Build();
  Write(original);
  PmDateExUtil db(m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  ASSERT_TRUE(db.Save());
  EXPECT_EQ(dbtest::ReadFileBytes(m_Path + ".bak"), original);

  PmDateExRecord rec{};
  ASSERT_TRUE(db.GetDataMgr()->Add(&rec));
  ASSERT_TRUE(db.Save());
  // Later saves of the same run leave the backup of the user's own version alone.
  EXPECT_EQ(dbtest::ReadFileBytes(m_Path + ".bak"), original);
  EXPECT_TRUE(dbtest::LeftoverTemps(m_Folder.Path()).empty());
}

TEST_F(DatebookExTest, SaveAsNeedsAnExistingFileAndAPath) {
  PmDateExUtil db;
  EXPECT_FALSE(db.Save());
  EXPECT_FALSE(db.SaveAs(""));
  EXPECT_FALSE(db.SaveAs(m_Folder.File("missing.dat").c_str()));
  Write(Bytes{});
  ASSERT_TRUE(db.SaveAs(m_Path.c_str()));
  PmDateExUtil reloaded(m_Path.c_str());
  EXPECT_TRUE(reloaded.IsLoaded());
}

class DatebookExDiskFullTest : public DatebookExTest,
                               public ::testing::WithParamInterface<long long> {};

TEST_P(DatebookExDiskFullTest, LeavesTheOriginalIntact) {
  // Big enough that the writer's buffer fills several times.
  Datebook414 file;
  for (uint32_t i = 0; i < 400; ++i) file.records.push_back(FullRecord(i).Build());
  const Bytes original = file.Build();
  Write(original);
  PmDateExUtil db(m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  PmDateExRecord rec{};
  ASSERT_TRUE(db.GetDataMgr()->Add(&rec));

  {
    dbtest::WriteFailAfter fault(GetParam());
    EXPECT_FALSE(db.Save());
  }
  EXPECT_EQ(OnDisk(), original);
  EXPECT_TRUE(dbtest::LeftoverTemps(m_Folder.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(FailAfter, DatebookExDiskFullTest,
                         ::testing::Values(0LL, 23LL, 300LL, 65536LL, 100000LL, 190000LL),
                         [](const auto& tpi) { return "Byte" + std::to_string(tpi.param); });

// --- the record list ---------------------------------------------------------------------------

TEST(PmDateExDataMgrTest, KeepsItsOwnCopyOfBlobData) {
  PmDateExDataMgr mgr;
  BYTE data[3] = {1, 2, 3};
  PmDateExRecord rec{};
  rec.blobs[1] = PmBlob{65, 1, 0, 0, 3, data};
  ASSERT_TRUE(mgr.Add(&rec));
  data[0] = 99;
  const PmDateExRecord* pCopy = mgr.GetAt(0);
  ASSERT_NE(pCopy, nullptr);
  EXPECT_NE(pCopy->blobs[1].pData, data);
  EXPECT_EQ(pCopy->blobs[1].pData[0], 1);
  EXPECT_EQ(mgr.First(), pCopy);
  EXPECT_EQ(mgr.Next(), nullptr);
  EXPECT_EQ(mgr.GetAt(1), nullptr);
  mgr.Clear();
  EXPECT_EQ(mgr.GetCount(), 0);
}

TEST(PmDateExUtilTest, UnknownUserHasNoDatebook) {
  PmDateExUtil db;
  EXPECT_FALSE(db.LoadByUser(0xFFFFFFF0u));
}

}  // namespace
