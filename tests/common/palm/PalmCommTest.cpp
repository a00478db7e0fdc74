// The datebook field codec, the category list and block, and the Palm time value. Expected
// bytes come from DatebookBuilder, never from the codec itself.
#include "common/palm/PalmComm.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <utility>

#include "DatebookBuilder.h"
#include "PalmTestSupport.h"
#include "support/clock/ClockGuard.h"

using dbtest::Bytes;
using dbtest::ByteWriter;

namespace {

// Exposes the category block steps the datebook layouts build on.
class CategoryCodec : public PmDBUtil {
 public:
  using PmDBUtil::ReadCategoryBlock;
  using PmDBUtil::WriteCategoryBlock;
};

class CodecTest : public ::testing::Test {
 protected:
  // Writes bytes to a file and opens it for reading with a fresh codec.
  PmDBUtil& OpenBytes(const Bytes& bytes) {
    EXPECT_TRUE(dbtest::WriteFileBytes(m_Path, bytes));
    EXPECT_TRUE(m_Db.Open(m_Path.c_str(), PM_OPEN_READ));
    return m_Db;
  }
  // Runs the writer on a new file and returns what reached it.
  Bytes WrittenBy(const std::function<bool(PmDBUtil&)>& writer) {
    PmDBUtil db;
    EXPECT_TRUE(db.Open(m_Path.c_str(), PM_OPEN_CREATE));
    EXPECT_TRUE(writer(db));
    db.Close();
    return dbtest::ReadFileBytes(m_Path);
  }

  dbtest::TempFolder m_Folder;
  std::string m_Path = m_Folder.File("codec.bin");
  PmDBUtil m_Db;
};

// --- length-prefixed texts ---------------------------------------------------------------------

class CStringLengthTest : public CodecTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(CStringLengthTest, WritesThePrefixFormAndReadsBack) {
  const std::string text(GetParam(), 'x');
  const Bytes written = WrittenBy([&](PmDBUtil& db) { return db.WriteCString(text.c_str()); });
  EXPECT_EQ(written, ByteWriter().Text(text).Get());

  std::string buffer(PM_MAX_CSTRING + 1, '?');
  DWORD nCapacity = static_cast<DWORD>(buffer.size());
  ASSERT_TRUE(OpenBytes(written).ReadCString(buffer.data(), &nCapacity));
  EXPECT_EQ(std::string(buffer.c_str()), text);
}

INSTANTIATE_TEST_SUITE_P(Lengths, CStringLengthTest,
                         ::testing::Values(0u, 1u, 254u, 255u, 300u, 65535u),
                         [](const auto& tpi) { return "Length" + std::to_string(tpi.param); });

TEST_F(CodecTest, AbsentTextIsTheSingleByteZero) {
  EXPECT_EQ(WrittenBy([](PmDBUtil& db) { return db.WriteCString(nullptr); }), Bytes{0});
}

TEST_F(CodecTest, TextBeyondSixteenBitLengthIsRefused) {
  const std::string text(PM_MAX_CSTRING + 1, 'x');
  PmDBUtil db;
  ASSERT_TRUE(db.Open(m_Path.c_str(), PM_OPEN_CREATE));
  EXPECT_FALSE(db.WriteCString(text.c_str()));
}

TEST_F(CodecTest, TooSmallBufferReportsTheNeededLengthAndLeavesTheTextUnread) {
  const std::string text(300, 'q');
  PmDBUtil& db = OpenBytes(ByteWriter().Text(text).Long(0xCAFEF00D).Get());
  char szBuf[256];
  DWORD nCapacity = sizeof(szBuf);
  EXPECT_FALSE(db.ReadCString(szBuf, &nCapacity));
  EXPECT_EQ(nCapacity, 300u);
  std::string unread(300, '\0');
  ASSERT_TRUE(db.ReadBytes(unread.data(), 300));
  EXPECT_EQ(unread, text);
}

TEST_F(CodecTest, LongTextFieldIsCutAndTheFileLeftAfterIt) {
  const std::string text(10000, 'n');
  PmDBUtil& db = OpenBytes(ByteWriter().TextField(text, 7).Long(0xCAFEF00D).Get());
  char szBuf[PM_TEXT_FIELD_SIZE];
  DWORD nWord = 0;
  ASSERT_TRUE(db.ReadTextField(szBuf, &nWord));
  EXPECT_EQ(std::strlen(szBuf), 8191u);
  EXPECT_EQ(nWord, 7u);
  DWORD nSentinel = 0;
  ASSERT_TRUE(db.ReadLong(&nSentinel));
  EXPECT_EQ(nSentinel, 0xCAFEF00Du);
}

TEST_F(CodecTest, ReadBytesAtTheEndFails) {
  PmDBUtil& db = OpenBytes(Bytes{1, 2, 3});
  BYTE buf[4];
  EXPECT_FALSE(db.ReadBytes(buf, 4));
}

// --- typed integer fields ----------------------------------------------------------------------

struct IntFieldCase {
  const char* szName;
  uint32_t nType;
  bool bAccepted;
};

class IntFieldTypeTest : public CodecTest, public ::testing::WithParamInterface<IntFieldCase> {};

TEST_P(IntFieldTypeTest, AcceptsOnlyTheIntegerKinds) {
  PmDBUtil& db = OpenBytes(ByteWriter().IntField(GetParam().nType, 42).Get());
  DWORD nValue = 0;
  EXPECT_EQ(db.ReadIntField(&nValue), GetParam().bAccepted);
  if (GetParam().bAccepted) {
    EXPECT_EQ(nValue, 42u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Types, IntFieldTypeTest,
    ::testing::Values(IntFieldCase{"Integer", 1, true}, IntFieldCase{"Date", 3, true},
                      IntFieldCase{"Boolean", 6, true}, IntFieldCase{"Text", 5, false},
                      IntFieldCase{"Repeat", 8, false}, IntFieldCase{"Zero", 0, false}),
    [](const auto& tpi) { return std::string(tpi.param.szName); });

// --- extension blobs ---------------------------------------------------------------------------

struct BlobCase {
  const char* szName;
  dbtest::Blob blob;
};

class BlobRoundTripTest : public CodecTest, public ::testing::WithParamInterface<BlobCase> {};

TEST_P(BlobRoundTripTest, ReadsAndWritesTheSameBytes) {
  ByteWriter original;
  GetParam().blob.Append(original);
  PmBlob blob{};
  ASSERT_TRUE(OpenBytes(original.Get()).ReadBlobField(&blob));
  m_Db.Close();
  const Bytes written = WrittenBy([&](PmDBUtil& db) { return db.WriteBlobField(&blob); });
  PmBlobFree(&blob);
  EXPECT_EQ(written, original.Get());
}

INSTANTIATE_TEST_SUITE_P(
    Selectors, BlobRoundTripTest,
    ::testing::Values(
        BlobCase{"Empty", dbtest::Blob{64, 0}},
        BlobCase{"WordsWithoutData", dbtest::Blob{65, 2, 11, 22, std::nullopt, {}}},
        BlobCase{"WordsAndData", dbtest::Blob{66, 3, 5, 6, std::nullopt, {1, 2, 3, 4, 5}}},
        BlobCase{"RawData", dbtest::Blob{67, 6, 0, 0, std::nullopt, {9, 8, 7, 6, 5, 4}}}),
    [](const auto& tpi) { return std::string(tpi.param.szName); });

TEST_F(CodecTest, BlobWithShortDataIsNotWritten) {
  // A selector of 8 promises 8 data bytes; writing the 2 the blob has would shift the file.
  BYTE data[2] = {1, 2};
  PmBlob blob{64, 8, 0, 0, 2, data};
  PmDBUtil db;
  ASSERT_TRUE(db.Open(m_Path.c_str(), PM_OPEN_CREATE));
  EXPECT_FALSE(db.WriteBlobField(&blob));
}

// --- damaged lengths and counts: refused before anything is allocated --------------------------

struct DamageCase {
  const char* szName;
  std::function<Bytes()> bytes;
  std::function<bool(PmDBUtil&)> read;
};

class DamagedFieldTest : public CodecTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedFieldTest, IsRefused) {
  EXPECT_FALSE(GetParam().read(OpenBytes(GetParam().bytes())));
}

bool ReadBlob(PmDBUtil& db) {
  PmBlob blob{};
  const bool bOk = db.ReadBlobField(&blob);
  PmBlobFree(&blob);
  return bOk;
}

bool ReadRepeat(PmDBUtil& db) {
  PmRepeat repeat{};
  return db.ReadRepeatField(&repeat);
}

bool ReadText(PmDBUtil& db) {
  static char szBuf[PM_TEXT_FIELD_SIZE];
  return db.ReadTextField(szBuf, nullptr);
}

dbtest::Repeat DailyRepeat() {
  dbtest::Repeat r;
  r.nFlag = 0xFFFF;
  r.className = "CDayName";
  r.nBrand = 1;
  r.nInterval = 1;
  r.nEndDate = PM_NO_END_DATE;
  r.brandLongs = {0x7F};
  return r;
}

INSTANTIATE_TEST_SUITE_P(
    Defects, DamagedFieldTest,
    ::testing::Values(
        DamageCase{"BlobSelectorOf4GiB",
                   [] { return ByteWriter().Long(64).Long(0xFFFFFFFF).Long(1).Get(); }, ReadBlob},
        DamageCase{"BlobDataLengthBeyondTheEnd",
                   [] {
                     return ByteWriter()
                         .Long(64)
                         .Long(1)
                         .Long(0)
                         .Long(0)
                         .Long(0xFFFFFFF0)
                         .Raw(Bytes(16, 0))
                         .Get();
                   },
                   ReadBlob},
        DamageCase{"TextLengthBeyondTheEnd",
                   [] {
                     return ByteWriter()
                         .Long(5)
                         .Long(1)
                         .Byte(0xFF)
                         .Short(0xFFFF)
                         .Raw(Bytes(10, 'a'))
                         .Get();
                   },
                   ReadText},
        DamageCase{"TextFieldWithWrongType",
                   [] { return ByteWriter().Long(1).Long(1).Byte(0).Get(); }, ReadText},
        DamageCase{"ExceptionCountBeyondTheEnd",
                   [] { return ByteWriter().Long(8).Short(5000).Long(1).Get(); }, ReadRepeat},
        DamageCase{"MoreExceptionsThanARecordHolds",
                   [] {
                     dbtest::Repeat r = DailyRepeat();
                     r.exceptions.assign(PM_MAX_EXCEPTIONS + 1, 1104570000);
                     ByteWriter w;
                     r.Append(w);
                     return w.Get();
                   },
                   ReadRepeat},
        DamageCase{"ClassNameOver255Bytes",
                   [] {
                     dbtest::Repeat r = DailyRepeat();
                     r.className.assign(300, 'C');
                     ByteWriter w;
                     r.Append(w);
                     return w.Get();
                   },
                   ReadRepeat},
        DamageCase{"ClassConstantNotOne",
                   [] {
                     dbtest::Repeat r = DailyRepeat();
                     r.nConstant = 2;
                     ByteWriter w;
                     r.Append(w);
                     return w.Get();
                   },
                   ReadRepeat},
        DamageCase{"RepeatWithWrongType",
                   [] { return ByteWriter().Long(1).Short(0).Short(0).Get(); }, ReadRepeat},
        DamageCase{"RepeatCutInThePattern",
                   [] {
                     dbtest::Repeat r = DailyRepeat();
                     ByteWriter w;
                     r.Append(w);
                     Bytes b = w.Get();
                     b.erase(b.end() - 3, b.end());
                     return b;
                   },
                   ReadRepeat}),
    [](const auto& tpi) { return std::string(tpi.param.szName); });

// --- repeat event field ------------------------------------------------------------------------

struct RepeatCase {
  const char* szName;
  uint32_t nBrand;
  const char* szClass;
  std::vector<uint32_t> brandLongs;
  std::optional<uint8_t> daysMask;
};

class RepeatRoundTripTest : public CodecTest, public ::testing::WithParamInterface<RepeatCase> {};

TEST_P(RepeatRoundTripTest, KeepsPatternAndExceptions) {
  dbtest::Repeat r;
  r.nFlag = 0xFFFF;
  r.className = GetParam().szClass;
  r.nBrand = GetParam().nBrand;
  r.nInterval = 2;
  r.nEndDate = 1262300000;
  r.nFirstDay = 1;
  r.brandLongs = GetParam().brandLongs;
  r.daysMask = GetParam().daysMask;
  r.exceptions = {1104570000, 1105174800};
  ByteWriter original;
  r.Append(original);

  PmRepeat repeat{};
  ASSERT_TRUE(OpenBytes(original.Get()).ReadRepeatField(&repeat));
  EXPECT_EQ(repeat.nBrand, static_cast<LONG>(GetParam().nBrand));
  EXPECT_EQ(repeat.nInterval, 2);
  EXPECT_EQ(repeat.nEndDate, 1262300000u);
  ASSERT_EQ(repeat.nExceptionCount, 2);
  EXPECT_EQ(repeat.nExceptions[1], 1105174800u);
  m_Db.Close();

  EXPECT_EQ(WrittenBy([&](PmDBUtil& db) { return db.WriteRepeatField(&repeat); }), original.Get());
}

INSTANTIATE_TEST_SUITE_P(
    Brands, RepeatRoundTripTest,
    ::testing::Values(RepeatCase{"Daily", 1, "CDayName", {0x3E}, std::nullopt},
                      RepeatCase{"Weekly", 2, "CWeekly", {1}, uint8_t{0x0A}},
                      RepeatCase{"MonthlyByDay", 3, "CDayOfMonth", {2, 3}, std::nullopt},
                      RepeatCase{"MonthlyByDate", 4, "CDateOfMonth", {17}, std::nullopt},
                      RepeatCase{"YearlyByDate", 5, "CDateOfYear", {7, 2}, std::nullopt},
                      RepeatCase{"YearlyByDayHasNoBrandData", 6, "CDayOfYear", {}, std::nullopt},
                      RepeatCase{"UnknownBrandGetsAnEmptyClassName", 9, "", {}, std::nullopt}),
    [](const auto& tpi) { return std::string(tpi.param.szName); });

TEST_F(CodecTest, RepeatFlagOtherThanNewClassReadsThePatternAtOnce) {
  dbtest::Repeat r = DailyRepeat();
  r.nFlag = 0x8001;
  ByteWriter w;
  r.Append(w);
  w.Long(0xCAFEF00D);
  PmDBUtil& db = OpenBytes(w.Get());
  PmRepeat repeat{};
  ASSERT_TRUE(db.ReadRepeatField(&repeat));
  EXPECT_EQ(repeat.nBrand, 1);
  EXPECT_EQ(repeat.nDayIndex, 0x7F);
  DWORD nSentinel = 0;
  ASSERT_TRUE(db.ReadLong(&nSentinel));
  EXPECT_EQ(nSentinel, 0xCAFEF00Du);
}

// --- open modes and sharing --------------------------------------------------------------------

TEST_F(CodecTest, OpenModes) {
  PmDBUtil db;
  EXPECT_FALSE(db.Open(m_Path.c_str(), PM_OPEN_READWRITE));  // missing file
  EXPECT_FALSE(db.Open(m_Path.c_str(), 4));
  EXPECT_FALSE(db.Open("", PM_OPEN_CREATE));
  EXPECT_FALSE(db.Open(nullptr, PM_OPEN_CREATE));
  EXPECT_FALSE(db.Open((m_Folder.Path() + "/" + std::string(250, 'p')).c_str(), PM_OPEN_CREATE));
  ASSERT_TRUE(db.Open(m_Path.c_str(), PM_OPEN_CREATE));
  EXPECT_STREQ(db.GetFileName(), m_Path.c_str());
  db.Close();
  db.Close();
  EXPECT_TRUE(db.Open(m_Path.c_str(), PM_OPEN_READWRITE));
}

TEST_F(CodecTest, AnOpenDatebookIsHeldExclusively) {
  ASSERT_TRUE(dbtest::WriteFileBytes(m_Path, Bytes{1, 2, 3, 4}));
  PmDBUtil first;
  ASSERT_TRUE(first.Open(m_Path.c_str(), PM_OPEN_READ));
  PmDBUtil second;
  EXPECT_FALSE(second.Open(m_Path.c_str(), PM_OPEN_READ));
  first.Close();
  EXPECT_TRUE(second.Open(m_Path.c_str(), PM_OPEN_READ));
}

TEST_F(CodecTest, BufferedWritesReportTheDiskFull) {
  PmDBUtil db;
  ASSERT_TRUE(db.Open(m_Path.c_str(), PM_OPEN_CREATE));
  dbtest::WriteFailAfter fault(100000);
  const Bytes chunk(4096, 0x55);
  bool bAllOk = true;
  for (int i = 0; i < 64 && bAllOk; ++i) bAllOk = db.WriteBytes(chunk.data(), 4096);
  EXPECT_FALSE(bAllOk);
}

TEST_F(CodecTest, PositionAndRemainingFollowTheReads) {
  PmDBUtil& db = OpenBytes(Bytes(10, 0));
  DWORD nValue = 0;
  ASSERT_TRUE(db.ReadLong(&nValue));
  EXPECT_EQ(db.GetFilePos(), 4u);
  EXPECT_EQ(db.RemainingBytes(), 6u);
  db.Close();
  EXPECT_EQ(db.GetFilePos(), 0u);
}

// --- Palm time value ---------------------------------------------------------------------------

class PmTimeTest : public ::testing::Test {
 protected:
  clockguard::ZoneGuard m_Zone{"America/New_York"};
};

TEST_F(PmTimeTest, LocalFieldsRoundTrip) {
  // 2005-07-01 09:30 EDT is 13:30 UTC.
  PmTime t(2005, 7, 1, 9, 30, 0);
  EXPECT_EQ(t.GetValue(), 1120224600u);
  SYSTEMTIME st;
  std::memset(&st, 0xFF, sizeof(st));
  ASSERT_TRUE(t.ToSystemTime(&st));
  EXPECT_EQ(st.wYear, 2005);
  EXPECT_EQ(st.wMonth, 7);
  EXPECT_EQ(st.wDay, 1);
  EXPECT_EQ(st.wHour, 9);
  EXPECT_EQ(st.wMinute, 30);
  EXPECT_EQ(st.wDayOfWeek, 0);
  EXPECT_EQ(st.wMilliseconds, 0);

  PmTime back;
  st.wMilliseconds = 999;
  st.wDayOfWeek = 3;
  ASSERT_TRUE(back.FromSystemTime(&st));
  EXPECT_EQ(back.GetValue(), t.GetValue());
  EXPECT_EQ(back.GetYear() * 10000 + back.GetMonth() * 100 + back.GetDay(), 20050701);
}

TEST_F(PmTimeTest, ZeroMeansNowOfThePlatformClockAndAbsentArgumentsFail) {
  clockguard::FixedNow fixed(clockguard::LocalTime(2005, 7, 1, 9, 30));
  PmTime now(0);
  EXPECT_EQ(now.GetValue(), 1120224600u);
  EXPECT_FALSE(now.FromSystemTime(nullptr));
  EXPECT_FALSE(now.ToSystemTime(nullptr));
}

// An untimed appointment written at local midnight in one zone and read in another keeps
// its days. Times are "YYYY-MM-DD HH:MM" in the writer's zone; the end is read as a date.
struct UntimedCase {
  const char* szName;
  const char* szWriterZone;
  const char* szStart;
  const char* szEnd;
  const char* szReaderZone;
  const char* szStartDay;
  const char* szEndDay;
};

class PmUntimedDayTest : public ::testing::TestWithParam<UntimedCase> {};

PmTime WrittenAt(const char* szWhen) {
  int nYear = 0, nMonth = 0, nDay = 0, nHour = 0, nMinute = 0;
  std::sscanf(szWhen, "%d-%d-%d %d:%d", &nYear, &nMonth, &nDay, &nHour, &nMinute);
  return PmTime(nYear, nMonth, nDay, nHour, nMinute, 0);
}

std::string DayOf(const SYSTEMTIME& st) {
  char szDay[32];
  std::snprintf(szDay, sizeof(szDay), "%04d-%02d-%02d", st.wYear, st.wMonth, st.wDay);
  return szDay;
}

TEST_P(PmUntimedDayTest, KeepsItsDays) {
  const UntimedCase& c = GetParam();
  clockguard::ZoneGuard writer(c.szWriterZone);
  const PmTime start = WrittenAt(c.szStart);
  const PmTime end = WrittenAt(c.szEnd);
  clockguard::ZoneGuard reader(c.szReaderZone);
  SYSTEMTIME stStart;
  SYSTEMTIME stEnd;
  ASSERT_TRUE(start.ToUntimedDay(&stStart));
  ASSERT_TRUE(end.ToUntimedDate(start, &stEnd));
  EXPECT_EQ(DayOf(stStart), c.szStartDay);
  EXPECT_EQ(stStart.wHour * 60 + stStart.wMinute, 0);
  EXPECT_EQ(DayOf(stEnd), c.szEndDay);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, PmUntimedDayTest,
    ::testing::Values(
        UntimedCase{"TwelveHoursEast", "Europe/Paris", "2026-12-12 00:00", "2026-12-13 00:00",
                    "Pacific/Auckland", "2026-12-12", "2026-12-13"},
        UntimedCase{"ThirteenHoursEast", "Europe/Paris", "2026-12-12 00:00", "2026-12-13 00:00",
                    "Pacific/Kiritimati", "2026-12-12", "2026-12-13"},
        UntimedCase{"NineHoursWest", "Europe/Paris", "2026-12-12 00:00", "2026-12-13 00:00",
                    "America/Los_Angeles", "2026-12-12", "2026-12-13"},
        UntimedCase{"TwelveHoursWest", "Europe/Paris", "2026-12-12 00:00", "2026-12-13 00:00",
                    "Pacific/Pago_Pago", "2026-12-12", "2026-12-13"},
        UntimedCase{"AmericasReadFarEast", "America/Los_Angeles", "2026-07-01 00:00",
                    "2026-07-01 00:00", "Pacific/Auckland", "2026-07-01", "2026-07-01"},
        // 2018-11-04 began at 01:00 in Sao Paulo: its midnight is stored as 01:00.
        UntimedCase{"SkippedMidnightInItsOwnZone", "America/Sao_Paulo", "2018-11-04 00:00",
                    "2018-11-04 00:00", "America/Sao_Paulo", "2018-11-04", "2018-11-04"},
        // Paris starts daylight saving on 29 March 2026, three weeks after Los Angeles.
        UntimedCase{"SavingChangeInOnlyOneZone", "Europe/Paris", "2026-03-27 00:00",
                    "2026-03-31 00:00", "America/Los_Angeles", "2026-03-27", "2026-03-31"},
        UntimedCase{"LateEndStaysOnItsDay", "Europe/Paris", "2026-12-12 00:00", "2026-12-12 23:00",
                    "Europe/Paris", "2026-12-12", "2026-12-12"},
        UntimedCase{"LateEndStaysOnItsDayInAnotherZone", "Europe/Paris", "2026-12-12 00:00",
                    "2026-12-12 23:59", "America/Los_Angeles", "2026-12-12", "2026-12-12"},
        UntimedCase{"MorningStartStaysOnItsDay", "America/Los_Angeles", "2026-12-12 11:00",
                    "2026-12-12 11:00", "America/Los_Angeles", "2026-12-12", "2026-12-12"}),
    [](const auto& tpi) { return std::string(tpi.param.szName); });

// An untimed day written in one zone and read in another, with the writer's zone guessed
// from the value: it keeps its day, however far apart the zones.
TEST(PmWriterZoneTest, FarZonesKeepTheDay) {
  const std::pair<const char*, const char*> trips[] = {
      {"Asia/Kolkata", "America/Los_Angeles"},
      {"Pacific/Honolulu", "America/Los_Angeles"},
      {"Pacific/Auckland", "Pacific/Honolulu"}};  // 01:00 there, where no saving skips midnight
  for (const auto& [szWriter, szReader] : trips) {
    DWORD nValue = 0;
    {
      clockguard::ZoneGuard writer(szWriter);
      nValue = WrittenAt("2026-12-12 00:00").GetValue();
    }
    clockguard::ZoneGuard reader(szReader);
    const PmWriterZone zone = PmGuessWriterZone({nValue});
    SYSTEMTIME st;
    ASSERT_TRUE(PmTime(nValue).ToUntimedDay(&st, &zone));
    EXPECT_EQ(DayOf(st), "2026-12-12") << szWriter << " read in " << szReader;
  }
}

// --- categories --------------------------------------------------------------------------------

PmCategory MakeCategory(LONG nIndex, LONG nId, const char* szName) {
  PmCategory c;
  c.SetIndex(nIndex);
  c.SetId(nId);
  c.SetName(szName);
  return c;
}

class CategoryMgrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PmCategory unfiled = MakeCategory(0, 0, "Unfiled");
    ASSERT_TRUE(m_Mgr.Add(&unfiled));
  }
  PmCategoryMgr m_Mgr;
};

TEST_F(CategoryMgrTest, NewEntriesTakeTheLowestFreeSlotAndAnUnusedId) {
  PmCategory business = MakeCategory(5, 40, "Business");
  ASSERT_TRUE(m_Mgr.Add(&business));
  PmCategory added = MakeCategory(-1, -1, "Travel");
  ASSERT_TRUE(m_Mgr.Add(&added));
  const PmCategory* pTravel = m_Mgr.FindByName("travel");
  ASSERT_NE(pTravel, nullptr);
  EXPECT_EQ(pTravel->GetIndex(), 1);
  // The id must not repeat one held after a gap in the slots.
  EXPECT_EQ(pTravel->GetId(), 41);
  EXPECT_TRUE((pTravel->GetFlags() & PM_CATEGORY_DIRTY) != 0);
  EXPECT_TRUE(m_Mgr.IsChanged());
}

TEST_F(CategoryMgrTest, RefusesTakenSlotsRepeatedIdsAndAFullList) {
  PmCategory taken = MakeCategory(0, 9, "Taken");
  EXPECT_FALSE(m_Mgr.Add(&taken));
  PmCategory outside = MakeCategory(16, 9, "Outside");
  EXPECT_FALSE(m_Mgr.Add(&outside));
  PmCategory sameId = MakeCategory(3, 0, "SameId");
  EXPECT_FALSE(m_Mgr.Add(&sameId));
  for (int i = 1; i < PM_CATEGORY_SLOTS; ++i) {
    PmCategory c = MakeCategory(-1, -1, ("C" + std::to_string(i)).c_str());
    ASSERT_TRUE(m_Mgr.Add(&c));
  }
  PmCategory extra = MakeCategory(-1, -1, "Extra");
  EXPECT_FALSE(m_Mgr.Add(&extra));
  EXPECT_EQ(m_Mgr.GetCount(), PM_CATEGORY_SLOTS);
}

TEST_F(CategoryMgrTest, ShortNameReplacesReservedCharacters) {
  PmCategory c = MakeCategory(-1, -1, "A/B: C*\"x?");
  ASSERT_TRUE(m_Mgr.Add(&c));
  EXPECT_STREQ(m_Mgr.GetAt(1)->GetShortName(), "A_B_ C__x_");
}

TEST(PmCategoryTest, CopyNameNeedsRoomForTheTerminator) {
  PmCategory c = MakeCategory(1, 1, "Business");
  char szBuf[16];
  DWORD nLen = 8;
  EXPECT_FALSE(c.CopyName(szBuf, &nLen));
  EXPECT_EQ(szBuf[0], '\0');
  nLen = sizeof(szBuf);
  ASSERT_TRUE(c.CopyName(szBuf, &nLen));
  EXPECT_EQ(nLen, 8u);
  EXPECT_STREQ(szBuf, "Business");
  PmCategory empty;
  nLen = sizeof(szBuf);
  EXPECT_FALSE(empty.CopyShortName(szBuf, &nLen));
}

// --- the category block ------------------------------------------------------------------------

class CategoryBlockTest : public CodecTest {
 protected:
  bool Load(const Bytes& bytes) {
    EXPECT_TRUE(dbtest::WriteFileBytes(m_Path, bytes));
    EXPECT_TRUE(m_Codec.Open(m_Path.c_str(), PM_OPEN_READ));
    const bool bOk = m_Codec.ReadCategoryBlock("PalmDateEx");
    m_Codec.Close();
    return bOk;
  }
  Bytes Save() {
    EXPECT_TRUE(m_Codec.Open(m_Path.c_str(), PM_OPEN_CREATE));
    EXPECT_TRUE(m_Codec.WriteCategoryBlock(nullptr));
    m_Codec.Close();
    return dbtest::ReadFileBytes(m_Path);
  }
  CategoryCodec m_Codec;
};

TEST_F(CategoryBlockTest, EmptyBlockHoldsOnlyUnfiledAndSavesBackEmpty) {
  ASSERT_TRUE(Load(dbtest::CategoryBlock(131, {})));
  EXPECT_EQ(m_Codec.GetCategoryMgr()->GetCount(), 1);
  EXPECT_EQ(Save(), dbtest::CategoryBlock(131, {}));
}

TEST_F(CategoryBlockTest, SavesCleanEntriesWithDerivedShortNames) {
  dbtest::LogCapture log;
  ASSERT_TRUE(Load(dbtest::CategoryBlock(
      130, {{1, 1, 1, "Business", "Bus"}, {4, 17, 0, "A/B: C", "whatever"}})));
  EXPECT_FALSE(m_Codec.GetCategoryMgr()->IsChanged());
  char szName[16] = "";
  ASSERT_TRUE(m_Codec.GetCategoryText(17, szName));
  EXPECT_STREQ(szName, "A/B: C");
  EXPECT_FALSE(m_Codec.GetCategoryText(99, szName));
  EXPECT_TRUE(log.Contains("Read category:Business"));
  EXPECT_TRUE(log.Contains("Load Palm Desktop Calendar categories successfully."));

  EXPECT_EQ(Save(), dbtest::CategoryBlock(
                        130, {{1, 1, 0, "Business", "Business"}, {4, 17, 0, "A/B: C", "A_B_ C"}}));
}

TEST_F(CategoryBlockTest, LookupByNameAddsOnlyOnceEvenForLongNames) {
  ASSERT_TRUE(Load(dbtest::CategoryBlock(128, {{1, 1, 0, "Business", "Business"}})));
  LONG nId = -5;
  ASSERT_TRUE(m_Codec.GetCategoryId("business", &nId, true));
  EXPECT_EQ(nId, 1);
  ASSERT_TRUE(m_Codec.GetCategoryId("", &nId, true));
  EXPECT_EQ(nId, 0);
  EXPECT_FALSE(m_Codec.GetCategoryId("Holidays", &nId, false));
  EXPECT_EQ(nId, 0);

  LONG nFirst = -1;
  LONG nSecond = -1;
  ASSERT_TRUE(m_Codec.GetCategoryId("Quarterly planning meetings", &nFirst, true));
  ASSERT_TRUE(m_Codec.GetCategoryId("Quarterly planning meetings", &nSecond, true));
  EXPECT_EQ(nFirst, 2);
  EXPECT_EQ(nSecond, nFirst);
  EXPECT_EQ(m_Codec.GetCategoryMgr()->GetCount(), 3);
}

TEST_F(CategoryBlockTest, FullListYieldsMinusOne) {
  std::vector<dbtest::Category> cats;
  for (uint32_t i = 1; i < 16; ++i) cats.push_back({i, i, 0, "C" + std::to_string(i), ""});
  ASSERT_TRUE(Load(dbtest::CategoryBlock(128, cats)));
  LONG nId = 0;
  EXPECT_FALSE(m_Codec.GetCategoryId("Another", &nId, true));
  EXPECT_EQ(nId, -1);
}

struct BlockDefect {
  const char* szName;
  Bytes bytes;
  const char* szLogLine;
};

class CategoryBlockDefectTest : public CategoryBlockTest,
                                public ::testing::WithParamInterface<BlockDefect> {};

TEST_P(CategoryBlockDefectTest, IsRefusedWithALogLine) {
  dbtest::LogCapture log;
  EXPECT_FALSE(Load(GetParam().bytes));
  EXPECT_TRUE(log.Contains(GetParam().szLogLine)) << log.Text();
}

INSTANTIATE_TEST_SUITE_P(
    Defects, CategoryBlockDefectTest,
    ::testing::Values(
        BlockDefect{"Index16", dbtest::CategoryBlock(128, {{16, 3, 0, "Sixteen", ""}}),
                    "Category index 16 is outside 1..15."},
        BlockDefect{"Index0", dbtest::CategoryBlock(128, {{0, 3, 0, "Zero", ""}}),
                    "Category index 0 is outside 1..15."},
        BlockDefect{"DuplicateIndex",
                    dbtest::CategoryBlock(128, {{2, 3, 0, "One", ""}, {2, 4, 0, "Two", ""}}),
                    "Category index 2 is already taken."},
        BlockDefect{"DuplicateId",
                    dbtest::CategoryBlock(128, {{2, 3, 0, "One", ""}, {5, 3, 0, "Two", ""}}),
                    "cannot be added"},
        BlockDefect{"CountOf16", dbtest::CategoryBlock(128, {}, 16u),
                    "Category count 16 does not fit"},
        BlockDefect{"CountBeyondTheEnd", dbtest::CategoryBlock(128, {{1, 1, 0, "A", ""}}, 3u),
                    "Category count 3 does not fit"},
        BlockDefect{"NameOver255Bytes",
                    dbtest::CategoryBlock(128, {{1, 1, 0, std::string(300, 'n'), ""}}),
                    "Failed to read category name."},
        BlockDefect{"NextIdMissing", Bytes{1, 2}, "Failed to read the next feed ID."}),
    [](const auto& tpi) { return std::string(tpi.param.szName); });

}  // namespace
