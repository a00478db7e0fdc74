// History file bytes, round trips, the newest-first walk and damaged files.
#include "app/core/SyncHistory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/win/WinFile.h"

namespace {

HistoryEntry MakeEntry(const char* szDesc, double dtStart, double dtEnd, int nRecords) {
  HistoryEntry entry;
  memset(&entry, 0, sizeof(entry));
  snprintf(entry.szDesc, sizeof(entry.szDesc), "%s", szDesc);
  entry.dtStart = dtStart;
  entry.dtEnd = dtEnd;
  entry.nRecords = nRecords;
  return entry;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const std::string& sBytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(sBytes.data(), static_cast<std::streamsize>(sBytes.size()));
}

std::string Le32(uint32_t nValue) {
  std::string s;
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((nValue >> (8 * i)) & 0xFF));
  return s;
}

class SyncHistoryFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Dir = std::filesystem::temp_directory_path() /
            (std::string("daybridge-history-") +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_Dir);
    std::filesystem::create_directories(m_Dir);
    m_Path = m_Dir / "synchis.dat";
  }
  void TearDown() override {
    CxSetWriteFailAfter(-1);
    std::filesystem::remove_all(m_Dir);
  }
  std::filesystem::path m_Dir;
  std::filesystem::path m_Path;
};

TEST_F(SyncHistoryFixture, EmptyListSavesFourZeroBytesAndLoadsEmpty) {
  SyncHistoryMgr mgr;
  ASSERT_TRUE(mgr.Save(m_Path.c_str()));
  EXPECT_EQ(ReadBytes(m_Path), std::string(4, '\0'));
  SyncHistoryMgr loaded;
  EXPECT_TRUE(loaded.Load(m_Path.c_str()));
  EXPECT_EQ(loaded.GetCount(), 0u);
  EXPECT_EQ(loaded.Newest(), nullptr);
}

TEST_F(SyncHistoryFixture, SingleEntryHasTheDocumentedBytes) {
  SyncHistoryMgr mgr;
  HistoryEntry entry =
      MakeEntry("Transfer Outlook Calendar information to Palm Desktop.", 40609.5, 40609.75, 3);
  mgr.Add(&entry);
  ASSERT_TRUE(mgr.Save(m_Path.c_str()));
  std::string sBytes = ReadBytes(m_Path);
  ASSERT_EQ(sBytes.size(), 162u);
  std::string sExpected = Le32(1) + Le32(54) + entry.szDesc;
  double dTimes[2] = {40609.5, 40609.75};
  sExpected.append(reinterpret_cast<const char*>(dTimes), sizeof(dTimes));
  sExpected += Le32(3) + std::string(80, '\0');
  EXPECT_EQ(sBytes, sExpected);
}

TEST_F(SyncHistoryFixture, SaveThenLoadKeepsEntriesInOrder) {
  SyncHistoryMgr mgr;
  HistoryEntry a = MakeEntry("first", 40000.25, 40000.5, 1);
  HistoryEntry b = MakeEntry("", -1.25, 2958465.0, 0);  // empty description, extreme dates
  HistoryEntry c = MakeEntry(std::string(255, 'x').c_str(), 1.0, 2.0, 2147483647);
  c.nReserved[3] = 77;  // reserved numbers travel as stored
  mgr.Add(&a);
  mgr.Add(&b);
  mgr.Add(&c);
  ASSERT_TRUE(mgr.Save(m_Path.c_str()));
  SyncHistoryMgr loaded;
  ASSERT_TRUE(loaded.Load(m_Path.c_str()));
  ASSERT_EQ(loaded.GetCount(), 3u);
  const HistoryEntry* expected[] = {&c, &b, &a};
  HistoryEntry* pEntry = loaded.Newest();
  for (const HistoryEntry* pWant : expected) {
    ASSERT_NE(pEntry, nullptr);
    EXPECT_STREQ(pEntry->szDesc, pWant->szDesc);
    EXPECT_EQ(pEntry->dtStart, pWant->dtStart);
    EXPECT_EQ(pEntry->dtEnd, pWant->dtEnd);
    EXPECT_EQ(pEntry->nRecords, pWant->nRecords);
    EXPECT_EQ(memcmp(pEntry->nReserved, pWant->nReserved, sizeof(pWant->nReserved)), 0);
    pEntry = loaded.Older();
  }
  EXPECT_EQ(pEntry, nullptr);
}

TEST_F(SyncHistoryFixture, LoadAppendsAfterHeldEntries) {
  SyncHistoryMgr mgr;
  HistoryEntry a = MakeEntry("on disk", 1, 2, 1);
  mgr.Add(&a);
  ASSERT_TRUE(mgr.Save(m_Path.c_str()));
  HistoryEntry b = MakeEntry("in memory", 3, 4, 2);
  SyncHistoryMgr other;
  other.Add(&b);
  ASSERT_TRUE(other.Load(m_Path.c_str()));
  EXPECT_STREQ(other.Newest()->szDesc, "on disk");
  EXPECT_STREQ(other.Older()->szDesc, "in memory");
}

TEST_F(SyncHistoryFixture, RemoveTakesOnlyEntriesOfTheList) {
  SyncHistoryMgr mgr;
  HistoryEntry a = MakeEntry("a", 1, 2, 1);
  HistoryEntry* pHeld = mgr.Add(&a);
  mgr.Remove(&a);  // the caller's own entry, not the list's copy
  EXPECT_EQ(mgr.GetCount(), 1u);
  mgr.Remove(pHeld);
  EXPECT_EQ(mgr.GetCount(), 0u);
  EXPECT_EQ(mgr.Add(nullptr), nullptr);
}

struct RemoveAtCase {
  const char* szName;
  std::vector<DWORD> vIndexes;
  DWORD nRemoved;
  std::string sLeft;  // the descriptions left, oldest first
};

class SyncHistoryRemoveAt : public ::testing::TestWithParam<RemoveAtCase> {};

TEST_P(SyncHistoryRemoveAt, TakesTheNumberedEntriesOnce) {
  SyncHistoryMgr mgr;
  for (const char* szDesc : {"a", "b", "c"}) {
    const HistoryEntry entry = MakeEntry(szDesc, 1, 2, 1);
    mgr.Add(&entry);
  }
  EXPECT_EQ(mgr.RemoveAt(GetParam().vIndexes), GetParam().nRemoved);
  std::string sLeft;
  for (DWORD i = 0; mgr.At(i) != nullptr; ++i) sLeft += mgr.At(i)->szDesc;
  EXPECT_EQ(sLeft, GetParam().sLeft);
}

INSTANTIATE_TEST_SUITE_P(Numbers, SyncHistoryRemoveAt,
                         ::testing::Values(RemoveAtCase{"NumberedBeforeAnyGoes", {0, 2}, 2, "b"},
                                           RemoveAtCase{
                                               "RepeatedAndPastTheEndIgnored", {1, 1, 7}, 1, "ac"}),
                         [](const auto& row) { return std::string(row.param.szName); });

TEST_F(SyncHistoryFixture, MissingFileFailsAndKeepsTheList) {
  SyncHistoryMgr mgr;
  HistoryEntry a = MakeEntry("a", 1, 2, 1);
  mgr.Add(&a);
  EXPECT_FALSE(mgr.Load((m_Dir / "absent.dat").c_str()));
  EXPECT_EQ(mgr.GetCount(), 1u);
}

TEST_F(SyncHistoryFixture, FailedSaveLeavesThePreviousFile) {
  SyncHistoryMgr mgr;
  HistoryEntry a = MakeEntry("kept", 1, 2, 1);
  mgr.Add(&a);
  ASSERT_TRUE(mgr.Save(m_Path.c_str()));
  std::string sBefore = ReadBytes(m_Path);
  HistoryEntry b = MakeEntry("lost", 3, 4, 2);
  mgr.Add(&b);
  for (long long nLimit : {0LL, 3LL, 50LL, 150LL}) {
    CxSetWriteFailAfter(nLimit);
    EXPECT_FALSE(mgr.Save(m_Path.c_str())) << nLimit;
    CxSetWriteFailAfter(-1);
    EXPECT_EQ(ReadBytes(m_Path), sBefore) << nLimit;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_Dir),
                          std::filesystem::directory_iterator()),
            1);  // no temporary file left behind
  EXPECT_FALSE(mgr.Save((m_Dir / "no-such-folder" / "synchis.dat").c_str()));
}

// Damaged files: only complete entries are kept.
struct DamagedCase {
  const char* szName;
  std::string (*make)(const std::string& sGood);  // from a good file of two entries
  size_t nEntries;
};

std::string GoodFile() {
  HistoryEntry a = MakeEntry("alpha", 1, 2, 1);
  HistoryEntry b = MakeEntry("beta", 3, 4, 2);
  return EncodeHistoryFile({&a, &b});
}

class SyncHistoryDamaged : public SyncHistoryFixture,
                           public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(SyncHistoryDamaged, KeepsOnlyCompleteEntries) {
  WriteBytes(m_Path, GetParam().make(GoodFile()));
  SyncHistoryMgr mgr;
  EXPECT_TRUE(mgr.Load(m_Path.c_str()));
  EXPECT_EQ(mgr.GetCount(), GetParam().nEntries);
  for (HistoryEntry* pEntry = mgr.Newest(); pEntry != nullptr; pEntry = mgr.Older()) {
    EXPECT_NE(pEntry->szDesc[0], '\0');  // never a zero-filled entry
    EXPECT_GT(pEntry->nRecords, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, SyncHistoryDamaged,
    ::testing::Values(
        DamagedCase{"EmptyFile", [](const std::string&) { return std::string(); }, 0},
        DamagedCase{"CountCutShort", [](const std::string& s) { return s.substr(0, 2); }, 0},
        DamagedCase{"CountLargerThanEntries",
                    [](const std::string& s) { return Le32(40) + s.substr(4); }, 2},
        DamagedCase{"CountOfFourBillion",
                    [](const std::string& s) { return Le32(0xFFFFFFFFu) + s.substr(4); }, 2},
        DamagedCase{"SecondEntryCutInItsTimes",
                    [](const std::string& s) { return s.substr(0, 4 + 109 + 12); }, 1},
        DamagedCase{"SecondEntryCutInItsReservedTexts",
                    [](const std::string& s) { return s.substr(0, s.size() - 1); }, 1},
        DamagedCase{"DescriptionLengthPastTheEnd",
                    [](const std::string& s) { return Le32(1) + Le32(1000000) + s.substr(8); }, 0},
        DamagedCase{"NegativeDescriptionLength",
                    [](const std::string& s) { return Le32(1) + Le32(0xFFFFFFF0u) + s.substr(8); },
                    0},
        DamagedCase{"NegativeReservedTextLength",
                    [](const std::string& s) {
                      std::string sDamaged = s;
                      sDamaged.replace(4 + 4 + 5 + 16 + 4 + 40, 4,
                                       Le32(0x80000000u));  // first reserved text
                      return sDamaged;
                    },
                    0}),
    [](const ::testing::TestParamInfo<DamagedCase>& tpi) { return tpi.param.szName; });

// One damaged byte must not cost the runs after it: the damaged file is reported, and the
// next save keeps it aside before writing the runs that could be read plus the new one.
TEST_F(SyncHistoryFixture, DamagedHistoryIsReportedAndKeptAsideNeverShortenedSilently) {
  std::string sDamaged = GoodFile();
  sDamaged[4 + 4 + 5 + 16 + 4 + 40 + 3] = '\x7f';  // a reserved text's length, first entry
  WriteBytes(m_Path, sDamaged);
  SyncHistoryMgr mgr;
  ASSERT_TRUE(mgr.Load(m_Path.c_str()));
  EXPECT_NE(mgr.GetNotice().find("damaged"), std::string::npos);
  HistoryEntry added = MakeEntry("gamma", 5, 6, 3);
  mgr.Add(&added);
  ASSERT_TRUE(mgr.Save(m_Path.c_str()));
  EXPECT_EQ(ReadBytes(m_Path.string() + ".damaged-1"), sDamaged);
}

// Two runs that loaded the same history each add their run: both stay.
TEST_F(SyncHistoryFixture, RunsSavedAtOnceAreAllKept) {
  WriteBytes(m_Path, GoodFile());
  SyncHistoryMgr first, second, reread;
  ASSERT_TRUE(first.Load(m_Path.c_str()) && second.Load(m_Path.c_str()));
  HistoryEntry one = MakeEntry("one", 5, 6, 3), two = MakeEntry("two", 7, 8, 4);
  first.Add(&one);
  second.Add(&two);
  ASSERT_TRUE(first.Save(m_Path.c_str()) && second.Save(m_Path.c_str()));
  ASSERT_TRUE(reread.Load(m_Path.c_str()));
  EXPECT_EQ(reread.GetCount(), 4u);
  EXPECT_STREQ(reread.Newest()->szDesc, "two");
  EXPECT_STREQ(reread.Older()->szDesc, "one");
}

TEST(SyncHistoryDecode, LongDescriptionIsCutButFullyConsumed) {
  std::string sBytes = Le32(1) + Le32(300) + std::string(300, 'd');
  sBytes += std::string(16, '\0') + Le32(5) + std::string(80, '\0');
  std::vector<HistoryEntry> vEntries;
  EXPECT_EQ(
      DecodeHistoryFile(reinterpret_cast<const BYTE*>(sBytes.data()), sBytes.size(), vEntries), 1u);
  ASSERT_EQ(vEntries.size(), 1u);
  EXPECT_EQ(strlen(vEntries[0].szDesc), 255u);
  EXPECT_EQ(vEntries[0].nRecords, 5);
}

}  // namespace
