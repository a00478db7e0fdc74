// The earlier datebook layout: round trips, refusals of damaged files, and the
// same promises about the user's file as the 4.1.4 layout.
#include "common/palm/PalmDate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "DatebookBuilder.h"
#include "PalmTestSupport.h"
#include "tests/support/files/FileTestSupport.h"

using dbtest::Bytes;
using dbtest::Datebook41;
using dbtest::Record41;

namespace {

// A record in the form DayBridge writes it: end time with the date code, flags with the
// boolean code, text words 1.
Record41 Saved41(uint32_t nId) {
  Record41 r;
  r.nRecordId = nId;
  r.nEndType = 3;
  r.description = "Lunch " + std::to_string(nId);
  return r;
}

class DatebookTest : public ::testing::Test {
 protected:
  void Write(const Bytes& bytes) { ASSERT_TRUE(dbtest::WriteFileBytes(m_Path, bytes)); }
  Bytes OnDisk() const { return dbtest::ReadFileBytes(m_Path); }

  dbtest::TempFolder m_Folder;
  std::string m_Path = m_Folder.File("datebook.dat");
};

TEST_F(DatebookTest, UnchangedFileSavesBackWithOnlyTheKnownDifferences) {
  Datebook41 original;
  original.categories = {{2, 5, 1, "Family", "Fam"}};
  Record41 first = Saved41(1);
  first.nEndType = 1;  // the schema's code for the end time; written back as a date
  first.nTextWord = 4;
  first.note = std::string(300, 'z');
  first.nCategoryId = 5;
  first.repeat.nFlag = 0xFFFF;
  first.repeat.className = "CDateOfMonth";
  first.repeat.nBrand = 4;
  first.repeat.nInterval = 1;
  first.repeat.nEndDate = PM_NO_END_DATE;
  first.repeat.brandLongs = {17};
  first.repeat.exceptions = {1106000000};
  Record41 second = Saved41(2);
  original.records = {first.Build(), second.Build()};
  Write(original.Build());

  PmDateUtil db(m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  ASSERT_EQ(db.GetDataMgr()->GetCount(), 2);
  const PmDateRecord* pFirst = db.GetDataMgr()->First();
  EXPECT_EQ(pFirst->repeat.nDayNumber, 17);
  EXPECT_EQ(pFirst->repeat.nExceptionCount, 1);
  EXPECT_STREQ(pFirst->szCategory, "");  // only the id is loaded
  EXPECT_EQ(pFirst->nCategoryId, 5);
  EXPECT_STREQ(db.GetHeaderText(), "Palm Desktop datebook");
  ASSERT_TRUE(db.Save());

  Datebook41 expected = original;
  expected.categories = {{2, 5, 0, "Family", "Family"}};
  first.nEndType = 3;
  first.nTextWord = 1;
  expected.records = {first.Build(), second.Build()};
  EXPECT_EQ(OnDisk(), expected.Build());
}

TEST_F(DatebookTest, SaveKeepsTheStoredNameAndWritesTheLoadedFile) {
  const std::string other = m_Folder.File("elsewhere.dat");
  ASSERT_TRUE(dbtest::WriteFileBytes(other, Datebook41().Build()));
  Datebook41 file;
  file.fileName = other;
  file.records = {Saved41(1).Build()};
  Write(file.Build());

  PmDateUtil db(m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  PmDateRecord rec{};
  ASSERT_TRUE(db.GetDataMgr()->Add(&rec));
  ASSERT_TRUE(db.Save());
  EXPECT_EQ(dbtest::ReadFileBytes(other), Datebook41().Build());
  EXPECT_EQ(dbtest::ReadFileBytes(m_Path + ".bak"), file.Build());
  PmDateUtil reloaded(m_Path.c_str());
  ASSERT_TRUE(reloaded.IsLoaded());
  EXPECT_EQ(reloaded.GetDataMgr()->GetCount(), 2);
  EXPECT_STREQ(reloaded.GetFileName(), other.c_str());
}

struct PartialCase {
  const char* szName;
  std::function<Bytes()> bytes;
  int nRecords;
};

class DatebookPartialTest : public DatebookTest,
                            public ::testing::WithParamInterface<PartialCase> {};

// A datebook whose records do not all read does not load at all (nRecords -1): saved, the
// records after the damage would be gone.
TEST_P(DatebookPartialTest, LoadsWholeOrNotAtAll) {
  Write(GetParam().bytes());
  PmDateUtil db(m_Path.c_str());
  if (GetParam().nRecords < 0) {
    EXPECT_FALSE(db.IsLoaded());
    EXPECT_EQ(db.GetLastFailure().nCode, CX_FAIL_DAMAGED) << db.GetLastFailure().szText;
    return;
  }
  ASSERT_TRUE(db.IsLoaded());
  EXPECT_EQ(db.GetDataMgr()->GetCount(), GetParam().nRecords);
}

Bytes FiveRecords(const std::function<void(std::vector<Bytes>&)>& damage) {
  Datebook41 f;
  for (uint32_t i = 1; i <= 5; ++i) f.records.push_back(Saved41(i).Build());
  damage(f.records);
  return f.Build();
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DatebookPartialTest,
    ::testing::Values(
        PartialCase{"FifthRecordDamaged",
                    [] { return FiveRecords([](std::vector<Bytes>& r) { r[4][0] = 9; }); }, -1},
        PartialCase{"RecordCutInTheMiddle",
                    [] {
                      Bytes b = FiveRecords([](std::vector<Bytes>&) {});
                      b.erase(b.end() - 20, b.end());
                      return b;
                    },
                    -1},
        PartialCase{"TotalFieldCountOf4Billion",
                    [] {
                      Datebook41 f;
                      f.records = {Saved41(1).Build()};
                      f.nTotalFields = 0xFFFFFFFF;
                      return f.Build();
                    },
                    -1},
        PartialCase{"InvalidStartTimeIsSkipped",
                    [] {
                      return FiveRecords([](std::vector<Bytes>& r) {
                        Record41 bad = Saved41(3);
                        bad.nStart = 0xFFFFFFFF;
                        r[2] = bad.Build();
                      });
                    },
                    4}),
    [](const auto& tpi) { return std::string(tpi.param.szName); });

struct RefusalCase {
  const char* szName;
  std::function<Bytes()> bytes;
};

class DatebookRefusalTest : public DatebookTest,
                            public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(DatebookRefusalTest, FailsToLoadAndWritesNothing) {
  dbtest::LogCapture log;
  const Bytes bytes = GetParam().bytes();
  Write(bytes);
  PmDateUtil db(m_Path.c_str());
  EXPECT_FALSE(db.IsLoaded());
  EXPECT_TRUE(log.Contains("Failed to load Palm Desktop datebook: " + m_Path));
  EXPECT_FALSE(db.Save());
  EXPECT_EQ(OnDisk(), bytes);
  EXPECT_TRUE(dbtest::LeftoverTemps(m_Folder.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Defects, DatebookRefusalTest,
    ::testing::Values(RefusalCase{"LaterLayoutFile",
                                  [] {
                                    dbtest::Datebook414 f;
                                    return f.Build();
                                  }},
                      RefusalCase{"TruncatedHeader",
                                  [] {
                                    return Bytes{0x00, 0x01, 0x42};
                                  }},
                      RefusalCase{"HeaderTextOver511",
                                  [] {
                                    Datebook41 f;
                                    f.header.assign(600, 'h');
                                    return f.Build();
                                  }},
                      RefusalCase{"StoredFileNameOver255",
                                  [] {
                                    Datebook41 f;
                                    f.fileName.assign(256, 'f');
                                    return f.Build();
                                  }},
                      RefusalCase{"FieldCount16",
                                  [] {
                                    Datebook41 f;
                                    f.nFieldCount = 16;
                                    f.fieldTypes.push_back(1);
                                    return f.Build();
                                  }},
                      RefusalCase{"FieldsPerRow0",
                                  [] {
                                    Datebook41 f;
                                    f.nFieldsPerRow = 0;
                                    f.nTotalFields = 15;
                                    return f.Build();
                                  }},
                      RefusalCase{"CategoryIndex16",
                                  [] {
                                    Datebook41 f;
                                    f.categories = {{16, 5, 0, "Bad", "Bad"}};
                                    return f.Build();
                                  }},
                      RefusalCase{
                          "DuplicateCategoryIndex",
                          [] {
                            Datebook41 f;
                            f.categories = {{3, 5, 0, "One", "One"}, {3, 6, 0, "Two", "Two"}};
                            return f.Build();
                          }},
                      RefusalCase{"SchemaCut",
                                  [] {
                                    Bytes b = Datebook41().Build();
                                    b.erase(b.end() - 10, b.end());
                                    return b;
                                  }}),
    [](const auto& tpi) { return std::string(tpi.param.szName); });

TEST_F(DatebookTest, DiskFullLeavesTheOriginalIntact) {
  Datebook41 file;
  for (uint32_t i = 0; i < 200; ++i) {
    Record41 r = Saved41(i);
    r.note = std::string(500, 'n');
    file.records.push_back(r.Build());
  }
  const Bytes original = file.Build();
  Write(original);
  PmDateUtil db(m_Path.c_str());
  ASSERT_TRUE(db.IsLoaded());
  for (long long nFailAt : {0LL, 100LL, 70000LL}) {
    dbtest::WriteFailAfter fault(nFailAt);
    EXPECT_FALSE(db.Save()) << nFailAt;
    EXPECT_EQ(db.GetLastFailure().nCode, CX_FAIL_DISK_FULL) << db.GetLastFailure().szText;
  }
  EXPECT_EQ(OnDisk(), original);
  EXPECT_TRUE(dbtest::LeftoverTemps(m_Folder.Path()).empty());
}

TEST_F(DatebookTest, NewDatebookIsNamedAfterItsFile) {
  Write(Bytes{});
  PmDateUtil db;
  PmDateRecord rec{};
  rec.nStartTime = 1104570000;
  rec.nEndTime = 1104573600;
  ASSERT_TRUE(db.GetDataMgr()->Add(&rec));
  ASSERT_TRUE(db.SaveAs(m_Path.c_str()));
  PmDateUtil reloaded(m_Path.c_str());
  ASSERT_TRUE(reloaded.IsLoaded());
  EXPECT_STREQ(reloaded.GetFileName(), m_Path.c_str());
  EXPECT_EQ(reloaded.GetDataMgr()->GetCount(), 1);
  EXPECT_FALSE(reloaded.LoadByUser(0xFFFFFFF0u));
}

}  // namespace
