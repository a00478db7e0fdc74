// The Palm store: which calendar kind an installation gets, loading by user and by file,
// the conversion tables both ways, and writing records back: added and changed records land
// in the right store record with the sequence numbers Palm Desktop expects, hidden records
// survive a save untouched, and the 6.x database is written at once.
#include "common/palm/PalmDateInfo.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "DatebookBuilder.h"
#include "PalmTestSupport.h"
#include "common/palm/PalmHotSync.h"
#include "demo/pe/PeImage.h"
#include "platform/win/WinRegistry.h"
#include "platform/win/WinString.h"
#include "support/calendar/DeletedOccurrences.h"
#include "support/clock/ClockGuard.h"
#include "support/hotsync/PalmFolder.h"
#include "support/hotsync/ProgramIni.h"

namespace {

using dbtest::Datebook41;
using dbtest::Datebook414;
using dbtest::Record41;
using dbtest::Record414;

// 2005-01-01 09:00 UTC and one hour later.
constexpr uint32_t kStart = 1104570000;
constexpr uint32_t kEnd = 1104573600;

SYSTEMTIME Local(DWORD nPalmTime) {
  SYSTEMTIME st{};
  PmTime(nPalmTime).ToSystemTime(&st);
  return st;
}

using clockguard::LocalTime;

std::unique_ptr<CommDate> Appointment(const char* szDescription, const char* szLocation = "") {
  auto pRecord = std::make_unique<CommDate>();
  *pRecord = CommDate{};
  CxCopyText(pRecord->szDescription, szDescription);
  CxCopyText(pRecord->szLocation, szLocation);
  pRecord->stStart = Local(kStart);
  pRecord->stEnd = Local(kEnd);
  pRecord->nSource = SOURCE_OUTLOOK;
  return pRecord;
}

// Every test runs in UTC, with the program folder's settings file held absent and the
// registry pointing at a Palm Desktop folder whose palm.exe has the version asked for.
class PalmStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { m_pfnFactory = PmGetCalendarEx2Factory(); }
  void TearDown() override {
    FreeHotSyncLibraries(HOTSYNC_ALL);
    CxRegSetText(nullptr, 0);
    PmSetCalendarEx2Factory(m_pfnFactory);
  }
  void InstallPalmDesktop(const PeImageOptions* pVersion) {
    if (pVersion) WritePeFile(m_Palm.File("palm.exe").c_str(), *pVersion);
    const std::string sText =
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\U.S. Robotics\\"
        "Pilot Desktop\\Core]\n\"DesktopPath\"=\"" +
        m_Palm.Path() + "\"\n";
    CxRegSetText(sText.data(), sText.size());
  }
  // A user "SmithJ" whose datebook holds the bytes; the HotSync libraries loaded.
  void AddUserDatebook(const dbtest::Bytes& bytes) {
    m_Palm.InstallLibraries();
    m_Palm.AddUser("SmithJ");
    dbtest::WriteFileBytes(m_Palm.File("SmithJ/datebook/datebook.dat"), bytes);
    ASSERT_TRUE(LoadHotSyncLibraries(HOTSYNC_ALL));
  }
  static DWORD FirstUserId() {
    PalmUser user;
    return GetPalmUser(0, &user) ? user.nUserId : 0;
  }

  clockguard::ZoneGuard m_Zone{"UTC0"};
  ProgramIni m_Ini;
  PmCalendarEx2Factory m_pfnFactory = nullptr;  // the registered one, put back afterwards
  TempPalmFolder m_Palm{"store"};
  dbtest::TempFolder m_Files;
};

struct KindCase {
  const char* szName;
  bool bPalmExe;
  PeImageOptions version;
  int nExpectedKind;
};

class InstalledKind : public PalmStoreTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(InstalledKind, FromThePalmDesktopVersion) {
  InstallPalmDesktop(GetParam().bPalmExe ? &GetParam().version : nullptr);
  EXPECT_EQ(PmDateInfo().GetInstalledKind(), GetParam().nExpectedKind);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InstalledKind,
    ::testing::Values(KindCase{"Version4100", true, PeVersion(4, 1, 0, 0), 1},
                      KindCase{"Version4102", true, PeVersion(4, 1, 2, 0), 2},
                      KindCase{"Version4104", true, PeVersion(4, 1, 4, 0), 2},
                      KindCase{"Version5999", true, PeVersion(5, 99, 99, 0), 2},
                      KindCase{"Version6000", true, PeVersion(6, 0, 0, 0), 3},
                      KindCase{"NoPalmExe", false, PeImageOptions(), 3}),
    [](const ::testing::TestParamInfo<KindCase>& row) { return row.param.szName; });

Datebook414 TenRecordDatebook() {
  Datebook414 book;
  book.categories = {{1, 1, 0, "Business", "Business"}};
  for (uint32_t i = 0; i < 10; ++i) {
    Record414 rec;
    rec.nRecordId = 100 + i;
    rec.nSequence = 4096 + i;
    rec.nFieldBase = 27 * i;
    rec.summary = "Meeting " + std::to_string(i);
    rec.nStart = kStart + 86400 * i;
    rec.nEnd = kEnd + 86400 * i;
    rec.note = "note " + std::to_string(i);
    if (i == 3) rec.nStatus = PM_STATUS_DELETED;
    if (i == 4) rec.blobs[0] = {64, 1, 7, 8, std::nullopt, {1, 2, 3, 4, 5}};
    book.records.push_back(rec.Build());
  }
  book.SetRecordCountBytes(10);
  return book;
}

TEST_F(PalmStoreTest, LoadsTheUsersDatebookOfTheInstalledKind) {
  const PeImageOptions version = PeVersion(4, 1, 4, 0);
  InstallPalmDesktop(&version);
  AddUserDatebook(TenRecordDatebook().Build());
  PmDateInfo store;
  ASSERT_TRUE(store.LoadByUser(FirstUserId()));
  EXPECT_EQ(store.GetLoadedKind(), 2);
  ASSERT_EQ(store.GetRecordSet()->GetCount(), 9) << "the deleted record is not shown";
  EXPECT_STREQ(store.GetRecordSet()->GetAt(3)->szDescription, "Meeting 4");
  EXPECT_EQ(store.GetRecordSet()->GetAt(3)->nSource, SOURCE_PALM);
  auto pRef = std::make_unique<PalmRecordRef>();
  const CommDate* pRecord = store.GetRecordSet()->GetAt(3);
  ASSERT_TRUE(UnpackExtra(pRecord->pExtra, pRecord->nExtraSize, pRef.get(), sizeof(PalmRecordRef)));
  EXPECT_STREQ(pRef->rec2.szSummary, "Meeting 4");
}

struct EarlierUserCase {
  const char* szName;
  PeImageOptions version;
  bool bFallbackLogged;
};

class EarlierLayoutUser : public PalmStoreTest,
                          public ::testing::WithParamInterface<EarlierUserCase> {};

TEST_P(EarlierLayoutUser, LoadsByUserAndSavesInItsOwnLayout) {
  InstallPalmDesktop(&GetParam().version);
  Datebook41 book;
  book.records.push_back(Record41().Build());
  AddUserDatebook(book.Build());
  dbtest::LogCapture log;
  PmDateInfo store;
  ASSERT_TRUE(store.LoadByUser(FirstUserId()));
  EXPECT_EQ(store.GetLoadedKind(), 1);
  ASSERT_EQ(store.GetRecordSet()->GetCount(), 1);
  EXPECT_STREQ(store.GetRecordSet()->GetAt(0)->szDescription, "Lunch");
  EXPECT_EQ(log.Contains("Unable to load this file with Palm Desktop 4.1.4 file loader, try "
                         "earlier loader version."),
            GetParam().bFallbackLogged);
  // Written back in the layout it was read in, so the earlier loader still reads it.
  ASSERT_TRUE(store.Save());
  EXPECT_TRUE(PmDateUtil(m_Palm.File("SmithJ/datebook/datebook.dat").c_str()).IsLoaded());
}

INSTANTIATE_TEST_SUITE_P(
    Table, EarlierLayoutUser,
    ::testing::Values(EarlierUserCase{"EarlierInstallation", PeVersion(4, 1, 0, 0), false},
                      EarlierUserCase{"Installation414FallsBack", PeVersion(4, 1, 4, 0), true}),
    [](const ::testing::TestParamInfo<EarlierUserCase>& row) { return row.param.szName; });

TEST_F(PalmStoreTest, LoadByUserWithoutTheDatabaseStoreFails) {
  InstallPalmDesktop(nullptr);
  PmSetCalendarEx2Factory(nullptr);
  dbtest::LogCapture log;
  PmDateInfo store;
  EXPECT_FALSE(store.LoadByUser(42));
  EXPECT_EQ(store.GetLoadedKind(), 0);
  EXPECT_TRUE(log.Contains("Failed to open Palm Desktop Calendar database by User: 42"));
}

// A user folder whose datebook path does not fit the path buffer: cut, it would name
// another file, so the load says why it fails.
TEST_F(PalmStoreTest, UserFolderTooLongForTheDatebookPathIsRefusedWithItsReason) {
  const PeImageOptions version = PeVersion(4, 1, 4, 0);
  InstallPalmDesktop(&version);
  m_Palm.InstallLibraries();
  const size_t nFolder = MAX_PATH - 10;  // with its separators, short of the buffer
  m_Palm.AddUser(std::string(nFolder - m_Palm.Path().size() - 2, 'u'));
  ASSERT_TRUE(LoadHotSyncLibraries(HOTSYNC_ALL));
  PmDateInfo store;
  EXPECT_FALSE(store.LoadByUser(FirstUserId()));
  EXPECT_NE(std::string(store.GetLastFailure().szText).find("is longer than"), std::string::npos)
      << store.GetLastFailure().szText;
}

TEST_F(PalmStoreTest, LoadFileChoosesTheLoaderByExtension) {
  InstallPalmDesktop(nullptr);
  Datebook41 earlier;
  earlier.records.push_back(Record41().Build());
  const std::string sEarlier = m_Files.File("old.DAT");
  dbtest::WriteFileBytes(sEarlier, earlier.Build());
  const std::string sText = m_Files.File("calendar.txt");
  dbtest::WriteFileBytes(sText, TenRecordDatebook().Build());

  dbtest::LogCapture log;
  PmDateInfo store;
  ASSERT_TRUE(store.LoadFile(sEarlier.c_str()));
  EXPECT_EQ(store.GetLoadedKind(), 1);
  EXPECT_TRUE(log.Contains(
      "Unable to load this file with Palm Desktop 4.1.4 file loader, try earlier loader version."));

  EXPECT_FALSE(store.LoadFile(sText.c_str()));
  EXPECT_EQ(store.GetLoadedKind(), 255);
  EXPECT_EQ(store.GetRecordSet()->GetCount(), 0) << "a failed load leaves nothing behind";
  EXPECT_TRUE(log.Contains("Failed to load Palm Desktop Calendar data file: " + sText));
  EXPECT_FALSE(store.Save());
  EXPECT_TRUE(log.Contains("Unknown Palm Desktop version."));
}

// Why a calendar file did not load reaches the store's caller, naming the check that failed.
struct LoadFailureCase {
  const char* szName;
  const char* szFile;
  std::function<dbtest::Bytes()> bytes;  // null: no file
  int nCode;
  const char* szReason;
};

class LoadFailure : public PalmStoreTest, public ::testing::WithParamInterface<LoadFailureCase> {};

TEST_P(LoadFailure, SaysWhy) {
  InstallPalmDesktop(nullptr);
  const std::string sPath = m_Files.File(GetParam().szFile);
  if (GetParam().bytes) dbtest::WriteFileBytes(sPath, GetParam().bytes());
  PmDateInfo store;
  EXPECT_FALSE(store.LoadFile(sPath.c_str()));
  EXPECT_EQ(store.GetLastFailure().nCode, GetParam().nCode) << store.GetLastFailure().szText;
  EXPECT_EQ(std::string(store.GetLastFailure().szText),
            std::string(GetParam().szReason) + ": " + sPath);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LoadFailure,
    ::testing::Values(
        LoadFailureCase{"NoSuchFile", "datebook.dat", nullptr, CX_FAIL_NOT_FOUND, "no such file"},
        LoadFailureCase{"NeitherLayout", "datebook.dat",
                        [] { return dbtest::Bytes{1, 2, 3, 4, 5, 6, 7, 8}; }, CX_FAIL_NOT_CALENDAR,
                        "not a Palm Desktop datebook (version 0x04030201 is not 0x44420100)"},
        // A 4.1.4 datebook cut short is reported as such, not as the earlier layout's refusal.
        LoadFailureCase{
            "Damaged414", "datebook.dat",
            [] {
              dbtest::Bytes b = TenRecordDatebook().Build();
              b.resize(b.size() - 100);
              return b;
            },
            CX_FAIL_DAMAGED,
            "damaged Palm Desktop datebook (record 10 of 10 does not read, at byte 2540)"}),
    [](const ::testing::TestParamInfo<LoadFailureCase>& row) { return row.param.szName; });

TEST_F(PalmStoreTest, CheckFileKind) {
  InstallPalmDesktop(nullptr);
  const std::string s414 = m_Files.File("a.dat");
  dbtest::WriteFileBytes(s414, TenRecordDatebook().Build());
  const std::string s41 = m_Files.File("b.dat");
  dbtest::WriteFileBytes(s41, Datebook41().Build());
  const std::string sJunk = m_Files.File("c.dat");
  dbtest::WriteFileBytes(sJunk, {1, 2, 3});
  const std::string sOther = m_Files.File("a.txt");
  dbtest::WriteFileBytes(sOther, TenRecordDatebook().Build());

  PmDateInfo store;
  EXPECT_EQ(store.CheckFileKind(s414.c_str()), 2);
  EXPECT_EQ(store.CheckFileKind(s41.c_str()), 1);
  EXPECT_EQ(store.CheckFileKind(sJunk.c_str()), 255);
  EXPECT_EQ(store.CheckFileKind(sOther.c_str()), 255);
  EXPECT_EQ(store.CheckFileKind(m_Files.File("d.mdb").c_str()), 255);
  EXPECT_EQ(store.CheckFileKind(""), 0);
  EXPECT_EQ(store.CheckFileKind(nullptr), 0);
  EXPECT_EQ(store.GetLoadedKind(), 0);
}

// Adds, updates and saves on a 4.1.4 datebook of ten records whose fourth is deleted.
class DatebookWriteBack : public PalmStoreTest {
 protected:
  void SetUp() override {
    PalmStoreTest::SetUp();
    InstallPalmDesktop(nullptr);
    m_Path = m_Files.File("datebook.dat");
    dbtest::WriteFileBytes(m_Path, TenRecordDatebook().Build());
    ASSERT_TRUE(m_Store.LoadFile(m_Path.c_str()));
  }
  PmDateExRecord* StoreRecord(int nPos) {
    return m_Store.GetDateExUtil()->GetDataMgr()->GetAt(nPos);
  }

  std::string m_Path;
  PmDateInfo m_Store;
};

TEST_F(DatebookWriteBack, NewRecordGetsSequenceFieldBaseAndPlacement) {
  std::unique_ptr<CommDate> pNew = Appointment("Planning", "Room 1");
  CxCopyText(pNew->szCategory, "Business, Personal");
  ASSERT_TRUE(m_Store.SyncRecord(pNew.get()));
  ASSERT_EQ(m_Store.GetDateExUtil()->GetDataMgr()->GetCount(), 11);
  const PmDateExRecord* pRec = StoreRecord(10);
  EXPECT_EQ(pRec->nSequence, 4106u);
  EXPECT_EQ(pRec->nFieldBase, 270u);
  EXPECT_EQ(pRec->nPlacement, 0x7FFFFFFFu);
  EXPECT_EQ(pRec->nStatus, static_cast<DWORD>(PM_STATUS_ADDED));
  EXPECT_EQ(pRec->nRecordId, 0u);
  EXPECT_STREQ(pRec->szCategory, "Business");
  EXPECT_EQ(pRec->nCategoryId, 1);
  EXPECT_EQ(m_Store.GetRecordSet()->GetCount(), 10);
  EXPECT_EQ(m_Store.GetReferenceCount(), 10);

  // Syncing the same record again finds the unchanged counterpart and writes nothing.
  EXPECT_FALSE(m_Store.SyncRecord(pNew.get()));
  EXPECT_EQ(m_Store.GetDateExUtil()->GetDataMgr()->GetCount(), 11);
}

TEST_F(DatebookWriteBack, UnknownCategoryIsAddedToTheList) {
  std::unique_ptr<CommDate> pNew = Appointment("Planning");
  CxCopyText(pNew->szCategory, "Travel,Business");
  ASSERT_TRUE(m_Store.AddRecord(pNew.get()));
  LONG nId = -1;
  ASSERT_TRUE(m_Store.GetDateExUtil()->GetCategoryId("Travel", &nId, false));
  EXPECT_EQ(StoreRecord(10)->nCategoryId, nId);
}

TEST_F(DatebookWriteBack, ChangedRecordIsWrittenOverItsOwnStoreRecord) {
  // Record set position 3 is the fifth store record: the fourth is deleted and not shown.
  const CommDate* pShown = m_Store.GetRecordSet()->GetAt(3);
  ASSERT_STREQ(pShown->szDescription, "Meeting 4");
  std::unique_ptr<CommDate> pChanged = Appointment("Meeting 4", "Room 9");
  pChanged->stStart = pShown->stStart;
  pChanged->stEnd = pShown->stEnd;
  ASSERT_TRUE(m_Store.SyncRecord(pChanged.get()));

  const PmDateExRecord* pRec = StoreRecord(4);
  EXPECT_STREQ(pRec->szLocation, "Room 9");
  EXPECT_STREQ(pRec->szNote, "") << "a note cleared on the other side is cleared here";
  EXPECT_STREQ(m_Store.GetRecordSet()->GetAt(3)->szNote, "") << "and in the shown record";
  EXPECT_EQ(pRec->nStatus, static_cast<DWORD>(PM_STATUS_CHANGED));
  EXPECT_EQ(pRec->nRecordId, 104u);
  ASSERT_EQ(pRec->blobs[0].nDataLen, 5u) << "the store record keeps its blob data";
  EXPECT_EQ(pRec->blobs[0].pData[4], 5);
  EXPECT_STREQ(StoreRecord(3)->szSummary, "Meeting 3") << "the hidden record is untouched";
  EXPECT_STREQ(m_Store.GetRecordSet()->GetAt(3)->szLocation, "Room 9");
}

TEST_F(DatebookWriteBack, SaveWritesChangesAndKeepsHiddenRecords) {
  std::unique_ptr<CommDate> pNew = Appointment("Planning", "Room 1");
  ASSERT_TRUE(m_Store.SyncRecord(pNew.get()));
  ASSERT_TRUE(m_Store.Save());

  PmDateExUtil reread(m_Path.c_str());
  ASSERT_TRUE(reread.IsLoaded());
  PmDateExDataMgr* pRecs = reread.GetDataMgr();
  ASSERT_EQ(pRecs->GetCount(), 11);
  EXPECT_EQ(pRecs->GetAt(3)->nStatus, static_cast<DWORD>(PM_STATUS_DELETED));
  EXPECT_STREQ(pRecs->GetAt(3)->szSummary, "Meeting 3");
  EXPECT_STREQ(pRecs->GetAt(10)->szSummary, "Planning");
  EXPECT_EQ(pRecs->GetAt(10)->nSequence, 4106u);
}

TEST_F(DatebookWriteBack, UpdateOutsideTheSetFails) {
  std::unique_ptr<CommDate> pRecord = Appointment("x");
  EXPECT_FALSE(m_Store.UpdateRecord(pRecord.get(), -1));
  EXPECT_FALSE(m_Store.UpdateRecord(pRecord.get(), 9));
  EXPECT_FALSE(m_Store.SyncRecord(nullptr));
}

TEST_F(PalmStoreTest, NothingLoadedNothingWritten) {
  InstallPalmDesktop(nullptr);
  PmDateInfo store;
  std::unique_ptr<CommDate> pRecord = Appointment("x");
  EXPECT_FALSE(store.SyncRecord(pRecord.get()));
  EXPECT_FALSE(store.AddRecord(pRecord.get()));
}

// Conversions without a file: a reference of the kind and the store's conversions.
class Conversion : public PalmStoreTest {
 protected:
  void SetUp() override {
    PalmStoreTest::SetUp();
    InstallPalmDesktop(nullptr);
    m_pStore = std::make_unique<PmDateInfo>();
    m_pRef = std::make_unique<PalmRecordRef>();
    std::memset(static_cast<void*>(m_pRef.get()), 0, sizeof(PalmRecordRef));
    m_pRef->nKind = PALM_KIND_DATEBOOK_EX;
  }
  std::unique_ptr<PmDateInfo> m_pStore;
  std::unique_ptr<PalmRecordRef> m_pRef;
};

struct AlarmCase {
  const char* szName;
  BOOL bAlarm;
  BOOL bAdvance;
  INT nAdvance;
  UINT nCommonUnit;
  LONG nPalmAlarm;
  LONG nPalmAdvance;
  LONG nPalmUnit;
  UINT nReadBackUnit;
};

class AlarmConversion : public Conversion, public ::testing::WithParamInterface<AlarmCase> {};

TEST_P(AlarmConversion, BothWays) {
  const AlarmCase& c = GetParam();
  std::unique_ptr<CommDate> pRecord = Appointment("Alarm");
  pRecord->bAlarm = c.bAlarm;
  pRecord->bAdvance = c.bAdvance;
  pRecord->nAdvance = c.nAdvance;
  pRecord->nAdvanceUnit = c.nCommonUnit;
  ASSERT_TRUE(m_pStore->RecordToPalm(pRecord.get(), m_pRef.get()));
  EXPECT_EQ(m_pRef->rec2.bAlarm, c.nPalmAlarm);
  EXPECT_EQ(m_pRef->rec2.nAlarmAdvance, c.nPalmAdvance);
  EXPECT_EQ(m_pRef->rec2.nAlarmUnit, c.nPalmUnit);

  std::unique_ptr<CommDate> pBack = Appointment("");
  PmDateInfo::PalmToRecord(m_pRef.get(), pBack.get());
  EXPECT_EQ(pBack->bAlarm, c.nPalmAlarm);
  EXPECT_EQ(pBack->bAdvance, c.nPalmAlarm);
  if (c.nPalmAlarm) {
    EXPECT_EQ(pBack->nAdvance, c.nPalmAdvance);
    EXPECT_EQ(pBack->nAdvanceUnit, c.nReadBackUnit);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, AlarmConversion,
    ::testing::Values(AlarmCase{"FifteenMinutes", 1, 1, 15, ADVANCE_MINUTES, 1, 15, 0,
                                ADVANCE_MINUTES},
                      AlarmCase{"TwoHours", 1, 1, 2, ADVANCE_HOURS, 1, 2, 1, ADVANCE_HOURS},
                      AlarmCase{"OneDay", 1, 1, 1, ADVANCE_DAYS, 1, 1, 2, ADVANCE_DAYS},
                      AlarmCase{"UnknownUnitIsMinutes", 1, 1, 5, 9, 1, 5, 0, ADVANCE_MINUTES},
                      AlarmCase{"AlarmWithoutAdvanceIsNone", 1, 0, 5, ADVANCE_HOURS, 0, 0, 0, 0},
                      AlarmCase{"NoAlarm", 0, 1, 5, ADVANCE_HOURS, 0, 0, 0, 0}),
    [](const ::testing::TestParamInfo<AlarmCase>& row) { return row.param.szName; });

TEST_F(Conversion, UnknownPalmAlarmUnitReadsAsMinutes) {
  m_pRef->rec2.bAlarm = 1;
  m_pRef->rec2.nAlarmAdvance = 3;
  m_pRef->rec2.nAlarmUnit = 7;
  std::unique_ptr<CommDate> pRecord = Appointment("");
  PmDateInfo::PalmToRecord(m_pRef.get(), pRecord.get());
  EXPECT_EQ(pRecord->nAdvanceUnit, ADVANCE_MINUTES);
}

TEST_F(Conversion, TextsAreCutToTheKindsFields) {
  m_pRef->nKind = PALM_KIND_DATEBOOK;
  std::unique_ptr<CommDate> pRecord = Appointment("");
  CxCopyText(pRecord->szNote, std::string(COMM_NOTE_SIZE - 1, 'n').c_str());
  CxCopyText(pRecord->szCategory, "AVeryLongCategoryName");
  CxCopyText(pRecord->szDescription, "Review");
  pRecord->bAllDay = 1;
  pRecord->bPrivate = 7;
  ASSERT_TRUE(m_pStore->RecordToPalm(pRecord.get(), m_pRef.get()));
  EXPECT_EQ(std::strlen(m_pRef->rec1.szNote), 8191u);
  EXPECT_STREQ(m_pRef->rec1.szCategory, "AVeryLongCatego");
  EXPECT_STREQ(m_pRef->rec1.szDescription, "Review");
  EXPECT_EQ(m_pRef->rec1.bUntimed, 1);
  EXPECT_EQ(m_pRef->rec1.bPrivate, 1);

  std::unique_ptr<CommDate> pBack = Appointment("");
  PmDateInfo::PalmToRecord(m_pRef.get(), pBack.get());
  EXPECT_STREQ(pBack->szDescription, "Review");
  EXPECT_EQ(pBack->bAllDay, 1);
  EXPECT_EQ(pBack->bPrivate, 0) << "privacy is not read from Palm";
  EXPECT_STREQ(pBack->szCategory, "") << "nor is the category";
  EXPECT_EQ(pBack->stStart.wDay, pRecord->stStart.wDay);
  EXPECT_EQ(pBack->stStart.wHour, 0) << "an untimed start names a day";
}

TEST_F(Conversion, UntimedRepeatEndKeepsItsDayInAnotherZone) {
  clockguard::ZoneGuard writer("Europe/Paris");
  m_pRef->rec2.bUntimed = 1;
  m_pRef->rec2.nStartTime = m_pRef->rec2.nEndTime = PmTime(2020, 3, 2, 0, 0, 0).GetValue();
  m_pRef->rec2.repeat.nBrand = PM_REPEAT_DAILY;
  m_pRef->rec2.repeat.nInterval = 1;
  m_pRef->rec2.repeat.nEndDate = PmTime(2020, 3, 6, 0, 0, 0).GetValue();
  clockguard::ZoneGuard reader("America/Los_Angeles");
  std::unique_ptr<CommDate> pRecord = Appointment("");
  PmDateInfo::PalmToRecord(m_pRef.get(), pRecord.get());
  EXPECT_EQ(pRecord->stStart.wDay, 2);
  EXPECT_EQ(pRecord->repeat.stPatternEnd.wDay, 6);
}

struct RepeatCase {
  const char* szName;
  int nKind;
  RepeatPattern pattern;
  PmRepeat expected;       // the fields a row checks
  RepeatPattern readBack;  // nType, nInterval, nDayOfWeekMask, nDayOfMonth, nMonthOfYear, nInstance
};

RepeatPattern Pattern(INT nType, UINT nInterval, UINT nMask, UINT nDayOfMonth, INT nMonth,
                      UINT nInstance, SYSTEMTIME stEnd = SYSTEMTIME{}) {
  RepeatPattern p{};
  p.nType = nType;
  p.nInterval = nInterval;
  p.nDayOfWeekMask = nMask;
  p.nDayOfMonth = nDayOfMonth;
  p.nMonthOfYear = nMonth;
  p.nInstance = nInstance;
  p.stPatternEnd = stEnd;
  return p;
}

PmRepeat Brand(LONG nBrand, LONG nInterval, LONG nDayIndex, BYTE bDaysMask, LONG nWeekIndex,
               LONG nMonthIndex, LONG nDayNumber) {
  PmRepeat r{};
  r.nBrand = nBrand;
  r.nInterval = nInterval;
  r.nDayIndex = nDayIndex;
  r.bDaysMask = bDaysMask;
  r.nWeekIndex = nWeekIndex;
  r.nMonthIndex = nMonthIndex;
  r.nDayNumber = nDayNumber;
  return r;
}

class RepeatConversion : public ::testing::TestWithParam<RepeatCase> {};

TEST_P(RepeatConversion, ToPalmAndBack) {
  const RepeatCase& c = GetParam();
  PmRepeat repeat{};
  PmDateInfo::RepeatToPalm(c.nKind, &c.pattern, &repeat);
  EXPECT_EQ(repeat.nBrand, c.expected.nBrand);
  EXPECT_EQ(repeat.nInterval, c.expected.nInterval);
  EXPECT_EQ(repeat.nDayIndex, c.expected.nDayIndex);
  EXPECT_EQ(repeat.bDaysMask, c.expected.bDaysMask);
  EXPECT_EQ(repeat.nWeekIndex, c.expected.nWeekIndex);
  EXPECT_EQ(repeat.nMonthIndex, c.expected.nMonthIndex);
  EXPECT_EQ(repeat.nDayNumber, c.expected.nDayNumber);
  EXPECT_EQ(repeat.nEndDate, PM_NO_END_DATE);

  RepeatPattern back{};
  PmDateInfo::RepeatFromPalm(c.nKind, &repeat, &back);
  EXPECT_EQ(back.nType, c.readBack.nType);
  EXPECT_EQ(back.nInterval, c.readBack.nInterval);
  EXPECT_EQ(back.nDayOfWeekMask, c.readBack.nDayOfWeekMask);
  EXPECT_EQ(back.nDayOfMonth, c.readBack.nDayOfMonth);
  EXPECT_EQ(back.nMonthOfYear, c.readBack.nMonthOfYear);
  EXPECT_EQ(back.nInstance, c.readBack.nInstance);
  EXPECT_EQ(back.bHasEnd, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RepeatConversion,
    ::testing::Values(RepeatCase{"DailyEveryThirdDay", 2, Pattern(1, 3, 0, 0, 0, 0),
                                 Brand(1, 3, 0, 0, 0, 0, 0), Pattern(1, 3, 0, 0, 0, 0)},
                      RepeatCase{"WeeklyMondayWednesday", 2, Pattern(2, 1, 0x0A, 0, 0, 0),
                                 Brand(2, 1, 1, 0x0A, 0, 0, 0), Pattern(2, 1, 0x0A, 0, 0, 1)},
                      RepeatCase{"MonthlySecondTuesday", 2, Pattern(3, 1, 0x04, 0, 0, 2),
                                 Brand(3, 1, 2, 0, 1, 0, 0), Pattern(3, 1, 0x04, 0, 0, 2)},
                      RepeatCase{"MonthlyLastFriday", 1, Pattern(3, 2, 0x20, 0, 0, 5),
                                 Brand(3, 2, 5, 0, 4, 0, 0), Pattern(3, 2, 0x20, 0, 0, 5)},
                      RepeatCase{"MonthlyTakesTheLowestWeekday", 2, Pattern(3, 1, 0x14, 0, 0, 1),
                                 Brand(3, 1, 2, 0, 0, 0, 0), Pattern(3, 1, 0x04, 0, 0, 1)},
                      RepeatCase{"MonthlyInstanceBeyondLastIsLast", 2, Pattern(3, 1, 0x01, 0, 0, 9),
                                 Brand(3, 1, 0, 0, 4, 0, 0), Pattern(3, 1, 0x01, 0, 0, 5)},
                      RepeatCase{"DatabaseMonthlyKeepsAllWeekdays", 3, Pattern(3, 1, 0x14, 0, 0, 5),
                                 Brand(3, 1, 0, 0x14, 4, 0, 0), Pattern(3, 1, 0x14, 0, 0, 5)},
                      RepeatCase{"MonthlyByDate31", 2, Pattern(4, 1, 0, 31, 0, 0),
                                 Brand(4, 1, 0, 0, 0, 0, 31), Pattern(4, 1, 0, 31, 0, 0)},
                      RepeatCase{"YearlyMarch7", 2, Pattern(6, 1, 0, 7, 3, 0),
                                 Brand(5, 1, 0, 0, 0, 2, 7), Pattern(6, 1, 0, 7, 3, 0)},
                      RepeatCase{"YearlyByWeekdayHasNoRepeat", 2, Pattern(5, 1, 0x02, 0, 3, 2),
                                 Brand(0, 0, 0, 0, 0, 0, 0), Pattern(0, 0, 0, 0, 0, 0)}),
    [](const ::testing::TestParamInfo<RepeatCase>& row) { return row.param.szName; });

struct EndCase {
  const char* szName;
  SYSTEMTIME stEnd;
  BYTE bHasEnd;
  bool bKeepsEnd;
};

class RepeatEnd : public PalmStoreTest, public ::testing::WithParamInterface<EndCase> {};

// Every end a Palm time value holds before the no-end mark is kept both ways, whatever its
// year (a window of years once turned ends outside it into repeats without end).
TEST_P(RepeatEnd, KeepsEveryEndAPalmTimeCanHold) {
  const EndCase& c = GetParam();
  RepeatPattern pattern = Pattern(1, 1, 0, 0, 0, 0, c.stEnd);
  pattern.bHasEnd = c.bHasEnd;
  PmRepeat repeat{};
  PmDateInfo::RepeatToPalm(2, &pattern, &repeat);
  RepeatPattern back{};
  PmDateInfo::RepeatFromPalm(2, &repeat, &back);
  if (c.bKeepsEnd) {
    EXPECT_NE(repeat.nEndDate, PM_NO_END_DATE);
    EXPECT_EQ(back.bHasEnd, 1);
    EXPECT_EQ(back.stPatternEnd.wYear, c.stEnd.wYear);
    EXPECT_EQ(back.stPatternEnd.wMonth, c.stEnd.wMonth);
    EXPECT_EQ(back.stPatternEnd.wDay, c.stEnd.wDay);
  } else {
    EXPECT_EQ(repeat.nEndDate, PM_NO_END_DATE);
    EXPECT_EQ(back.bHasEnd, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, RepeatEnd,
    ::testing::Values(EndCase{"Year2027", LocalTime(2027, 6, 30), 1, true},
                      EndCase{"Year1998", LocalTime(1998, 3, 1), 1, true},
                      EndCase{"FirstDayOf2021", LocalTime(2021, 1, 1), 1, true},
                      EndCase{"SecondDayOf1970", LocalTime(1970, 1, 2), 1, true},
                      EndCase{"LastDayBeforeTheNoEndMark", LocalTime(2031, 12, 30), 1, true},
                      EndCase{"Before1970IsNoEnd", LocalTime(1969, 12, 31), 1, false},
                      EndCase{"After2031IsNoEnd", LocalTime(2032, 1, 1), 1, false},
                      EndCase{"Year2140IsNoEndNotAWrappedValue", LocalTime(2140, 1, 1), 1, false},
                      EndCase{"WithoutEndFlagIsNoEnd", LocalTime(2027, 6, 30), 0, false},
                      EndCase{"NoDate", SYSTEMTIME{}, 1, false}),
    [](const ::testing::TestParamInfo<EndCase>& row) { return row.param.szName; });

TEST(RepeatEndRead, StoredZeroIsNoEndAndNoDate) {
  PmRepeat repeat = Brand(1, 1, 0, 0, 0, 0, 0);
  repeat.nEndDate = 0;
  RepeatPattern back{};
  PmDateInfo::RepeatFromPalm(2, &repeat, &back);
  EXPECT_EQ(back.bHasEnd, 0);
  EXPECT_EQ(back.stPatternEnd.wYear, 0);
}

struct DamagedCase {
  const char* szName;
  PmRepeat repeat;
  RepeatPattern expected;
};

class DamagedRepeat : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedRepeat, ReadsWithoutTrustingTheFile) {
  const DamagedCase& c = GetParam();
  RepeatPattern back{};
  PmDateInfo::RepeatFromPalm(2, &c.repeat, &back);
  EXPECT_EQ(back.nType, c.expected.nType);
  EXPECT_EQ(back.nInterval, c.expected.nInterval);
  EXPECT_EQ(back.nDayOfWeekMask, c.expected.nDayOfWeekMask);
  EXPECT_EQ(back.nInstance, c.expected.nInstance);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DamagedRepeat,
    ::testing::Values(
        DamagedCase{"DayIndexOutsideTheWeek", Brand(3, 1, 40, 0, 0, 0, 0),
                    Pattern(3, 1, 0, 0, 0, 1)},
        DamagedCase{"NegativeDayIndex", Brand(3, 1, -1, 0, 2, 0, 0), Pattern(3, 1, 0, 0, 0, 3)},
        DamagedCase{"WeekIndexBeyondLast", Brand(3, 1, 1, 0, 12, 0, 0), Pattern(3, 1, 2, 0, 0, 5)},
        DamagedCase{"NegativeInterval", Brand(1, -4, 0, 0, 0, 0, 0), Pattern(1, 0, 0, 0, 0, 0)},
        DamagedCase{"YearlyByDayIsNone", Brand(6, 1, 0, 0, 0, 0, 0), Pattern(0, 0, 0, 0, 0, 0)}),
    [](const ::testing::TestParamInfo<DamagedCase>& row) { return row.param.szName; });

// A weekly Monday appointment from Monday 2011-03-07 whose datebook repeat deletes one
// stored date, written in one zone and read in another.
struct DeletedReadCase {
  const char* szName;
  const char* szWriterZone;
  const char* szReaderZone;
  int nStartHour;     // -1: untimed
  WORD nStoredDay;    // the March day the stored value names; 0: the value 0
  bool bAtStartTime;  // stored as that day's start rather than its midnight
  WORD nReadDay;      // the deleted day read; 0: none kept
};

class DeletedOccurrenceRead : public Conversion,
                              public ::testing::WithParamInterface<DeletedReadCase> {};

TEST_P(DeletedOccurrenceRead, NamesTheDayTheWriterMeant) {
  const DeletedReadCase& c = GetParam();
  auto pWriter = std::make_unique<clockguard::ZoneGuard>(c.szWriterZone);
  PmDateExRecord& rec = m_pRef->rec2;
  rec.bUntimed = c.nStartHour < 0 ? 1 : 0;
  const int nHour = std::max(c.nStartHour, 0);
  rec.nStartTime = PmTime(2011, 3, 7, nHour, 0, 0).GetValue();
  rec.nEndTime = rec.nStartTime + (rec.bUntimed ? 0 : 3600);
  rec.repeat = Brand(PM_REPEAT_WEEKLY, 1, 1, DAYMASK_MONDAY, 0, 0, 0);
  rec.repeat.nEndDate = PM_NO_END_DATE;
  rec.repeat.nExceptionCount = 1;
  rec.repeat.nExceptions[0] =
      c.nStoredDay == 0
          ? 0
          : PmTime(2011, 3, c.nStoredDay, c.bAtStartTime ? nHour : 0, 0, 0).GetValue();
  pWriter.reset();
  clockguard::ZoneGuard reader(c.szReaderZone);
  std::unique_ptr<CommDate> pRecord = Appointment("");
  PmDateInfo::PalmToRecord(m_pRef.get(), pRecord.get());
  ASSERT_EQ(pRecord->repeat.nExceptionCount, c.nReadDay != 0 ? 1u : 0u);
  if (c.nReadDay != 0) {
    EXPECT_EQ(pRecord->repeat.stExceptions[0].wDay, c.nReadDay);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeletedOccurrenceRead,
    ::testing::Values(
        DeletedReadCase{"MidnightWrittenEastReadWest", "Europe/Berlin", "America/New_York", 9, 14,
                        false, 14},
        DeletedReadCase{"UntimedMidnightWrittenEastReadWest", "Europe/Berlin", "America/New_York",
                        -1, 28, false, 28},
        DeletedReadCase{"AfternoonStartOfTheOccurrence", "UTC", "UTC", 15, 21, true, 21},
        DeletedReadCase{"DayTheSeriesNeverReachesIsDropped", "UTC", "UTC", 9, 15, false, 0},
        DeletedReadCase{"ZeroIsNoDate", "UTC", "UTC", 9, 0, false, 0}),
    [](const ::testing::TestParamInfo<DeletedReadCase>& row) { return row.param.szName; });

// Both datebook layouts: the deleted occurrences of a file reach the record, a record that
// differs only in them is changed, and what is written back is read back.
class DeletedOccurrencesInTheFile : public PalmStoreTest,
                                    public ::testing::WithParamInterface<bool> {};

TEST_P(DeletedOccurrencesInTheFile, ReadChangedWrittenAndReadBack) {
  InstallPalmDesktop(nullptr);
  const bool bEarlier = GetParam();
  // Weekly on Saturdays from Saturday 2005-01-01 09:00 UTC; the 8th deleted.
  dbtest::Repeat repeat;
  repeat.nFlag = 0xFFFF;
  repeat.className = "CWeekly";
  repeat.nBrand = PM_REPEAT_WEEKLY;
  repeat.nInterval = 1;
  repeat.nEndDate = PM_NO_END_DATE;
  repeat.brandLongs = {1};
  repeat.daysMask = DAYMASK_SATURDAY;
  repeat.exceptions = {PmTime(2005, 1, 8, 0, 0, 0).GetValue()};
  dbtest::Bytes bytes;
  if (bEarlier) {
    Datebook41 book;
    Record41 rec;
    rec.nStart = kStart;
    rec.nEnd = kEnd;
    rec.repeat = repeat;
    book.records.push_back(rec.Build());
    bytes = book.Build();
  } else {
    Datebook414 book;
    Record414 rec;
    rec.repeat = repeat;
    book.records.push_back(rec.Build());
    book.SetRecordCountBytes(1);
    bytes = book.Build();
  }
  const std::string sPath = m_Files.File("datebook.dat");
  dbtest::WriteFileBytes(sPath, bytes);
  {
    PmDateInfo store;
    ASSERT_TRUE(store.LoadFile(sPath.c_str()));
    ASSERT_EQ(store.GetLoadedKind(), bEarlier ? 1 : 2);
    CommDate date = deltest::DetachedCopy(*store.GetRecordSet()->GetAt(0));
    EXPECT_EQ(deltest::DeletedDays(date), std::vector<std::string>{"2005-01-08"});
    deltest::SetDeletedDays(&date, {LocalTime(2005, 1, 15), LocalTime(2005, 1, 29)});
    ASSERT_TRUE(store.SyncRecord(&date)) << "a changed list makes the record changed";
    ASSERT_TRUE(store.Save());
  }
  PmDateInfo reread;
  ASSERT_TRUE(reread.LoadFile(sPath.c_str()));
  EXPECT_EQ(deltest::DeletedDays(*reread.GetRecordSet()->GetAt(0)),
            (std::vector<std::string>{"2005-01-15", "2005-01-29"}));
}

INSTANTIATE_TEST_SUITE_P(Layouts, DeletedOccurrencesInTheFile, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& row) {
                           return row.param ? "Earlier" : "Palm414";
                         });

// A 6.x calendar held in memory, counting database writes.
class FakeCalendarEx2 : public PmCalendarEx2 {
 public:
  static inline int s_nSaves = 0;
  static inline bool s_bFailSaves = false;
  static inline bool s_bCommitted = false;

  bool LoadByUserId(DWORD) override { return Fill(); }
  bool LoadFile(const char* szPath) override {
    return std::string(szPath).find("good") != std::string::npos && Fill();
  }
  PmDateEx2DataMgr* GetRecords() override { return &m_Records; }
  bool SaveRecord(PmDateEx2Record* pRecord) override {
    if (s_bFailSaves) return false;
    ++s_nSaves;
    if (!pRecord->bStored) {
      pRecord->bStored = 1;
      pRecord->nStoredRecordId = 500 + s_nSaves;
    }
    CxCopyText(pRecord->szStoredSummary, pRecord->szSummary);
    return true;
  }
  bool ResolveCategory(const char* szName, LONG* pnId, bool) override {
    *pnId = szName && *szName ? 9 : 0;
    return true;
  }
  bool Commit() override {
    s_bCommitted = true;
    return true;
  }

 private:
  bool Fill() {
    m_Records.RemoveAll();
    PmDateEx2Record rec{};
    rec.nRecordId = 7;
    rec.nStartTime = static_cast<LONG>(kStart);
    rec.nEndTime = static_cast<LONG>(kEnd);
    CxCopyText(rec.szSummary, "Standup");
    rec.bStored = 1;
    rec.nStoredRecordId = 7;
    CxCopyText(rec.szStoredSummary, "Standup");
    rec.nRepeatType = 3;
    rec.bRepeatDays = 0x22;
    rec.nRepeatWeek = 4;
    rec.nRepeatEnd = NO_END_DATE;
    m_Records.Add(&rec);
    return true;
  }
  PmDateEx2DataMgr m_Records;
};

class DatabaseStore : public PalmStoreTest {
 protected:
  void SetUp() override {
    PalmStoreTest::SetUp();
    InstallPalmDesktop(nullptr);
    FakeCalendarEx2::s_nSaves = 0;
    FakeCalendarEx2::s_bFailSaves = false;
    FakeCalendarEx2::s_bCommitted = false;
    PmSetCalendarEx2Factory(
        []() -> std::unique_ptr<PmCalendarEx2> { return std::make_unique<FakeCalendarEx2>(); });
    m_pStore = std::make_unique<PmDateInfo>();
    ASSERT_TRUE(m_pStore->LoadFile(m_Files.File("good.MDB").c_str()));
  }
  std::unique_ptr<PmDateInfo> m_pStore;
};

TEST_F(DatabaseStore, LoadsAndReadsWeekdayFlags) {
  EXPECT_EQ(m_pStore->GetLoadedKind(), 3);
  ASSERT_EQ(m_pStore->GetRecordSet()->GetCount(), 1);
  const CommDate* pRecord = m_pStore->GetRecordSet()->GetAt(0);
  EXPECT_STREQ(pRecord->szDescription, "Standup");
  EXPECT_EQ(pRecord->repeat.nDayOfWeekMask, 0x22u);
  EXPECT_EQ(pRecord->repeat.nInstance, 5u);
  EXPECT_EQ(m_pStore->CheckFileKind(m_Files.File("good.mdb").c_str()), 3);
  EXPECT_EQ(m_pStore->CheckFileKind(m_Files.File("bad.mdb").c_str()), 255);
}

TEST_F(DatabaseStore, AddedRecordIsWrittenAtOnceAndUpdatedInItsRow) {
  std::unique_ptr<CommDate> pNew = Appointment("Retro", "Room 2");
  CxCopyText(pNew->szCategory, "Work");
  ASSERT_TRUE(m_pStore->SyncRecord(pNew.get()));
  EXPECT_EQ(FakeCalendarEx2::s_nSaves, 1);
  PmDateEx2Record* pStored = m_pStore->GetCalendarEx2()->GetRecords()->GetAt(1);
  EXPECT_EQ(pStored->nStatus, PM_STATUS_ADDED);
  EXPECT_EQ(pStored->nPlacement, 0x7FFFFFFF);
  EXPECT_EQ(pStored->nCategory, 9);
  const LONG nRow = pStored->nStoredRecordId;

  std::unique_ptr<CommDate> pChanged = Appointment("Retro", "Room 3");
  ASSERT_TRUE(m_pStore->SyncRecord(pChanged.get()));
  EXPECT_EQ(FakeCalendarEx2::s_nSaves, 2);
  pStored = m_pStore->GetCalendarEx2()->GetRecords()->GetAt(1);
  EXPECT_STREQ(pStored->szLocation, "Room 3");
  EXPECT_EQ(pStored->nStoredRecordId, nRow) << "the update goes to the row the add made";
  EXPECT_EQ(pStored->nStatus, PM_STATUS_ADDED | PM_STATUS_CHANGED);

  dbtest::LogCapture log;
  EXPECT_TRUE(m_pStore->Save());
  EXPECT_TRUE(FakeCalendarEx2::s_bCommitted);
  EXPECT_FALSE(log.Contains("Unknown Palm Desktop version."));
}

// The database has no place for deleted occurrences: its records say they are not known, so
// they neither differ from another's nor are kept after a write.
TEST_F(DatabaseStore, KeepsNoDeletedOccurrencesAndSaysSo) {
  EXPECT_EQ(m_pStore->GetRecordSet()->GetAt(0)->repeat.bExceptionsUnknown, 1);
  std::unique_ptr<CommDate> pChanged = Appointment("Standup", "Elsewhere");
  pChanged->repeat.nType = REPEAT_DAILY;
  pChanged->repeat.nInterval = 1;
  const SYSTEMTIME stDeleted = Local(kStart + 86400);
  SetDeletedOccurrences(pChanged.get(), &stDeleted, 1);
  ASSERT_TRUE(m_pStore->UpdateRecord(pChanged.get(), 0));
  const RepeatPattern& kept = m_pStore->GetRecordSet()->GetAt(0)->repeat;
  EXPECT_EQ(kept.bExceptionsUnknown, 1);
  EXPECT_EQ(kept.nExceptionCount, 0u);
}

TEST_F(DatabaseStore, FailedDatabaseWriteIsReported) {
  FakeCalendarEx2::s_bFailSaves = true;
  std::unique_ptr<CommDate> pNew = Appointment("Retro");
  EXPECT_FALSE(m_pStore->SyncRecord(pNew.get()));
  std::unique_ptr<CommDate> pChanged = Appointment("Standup", "Elsewhere");
  pChanged->repeat.nType = REPEAT_NONE;
  EXPECT_FALSE(m_pStore->UpdateRecord(pChanged.get(), 0));
}

// A load decides which store every later write goes to: after a reload of another kind a new
// record lands in the calendar just loaded, never in the one before, and after a failed
// reload in none.
struct ReloadCase {
  const char* szName;
  const char* szFirst;
  const char* szSecond;
  int nKind;  // loaded kind after the second load
};

class Reload : public PalmStoreTest, public ::testing::WithParamInterface<ReloadCase> {};

TEST_P(Reload, WritesGoToTheCalendarLoadedLast) {
  const ReloadCase& c = GetParam();
  InstallPalmDesktop(nullptr);
  FakeCalendarEx2::s_nSaves = 0;
  FakeCalendarEx2::s_bFailSaves = false;
  PmSetCalendarEx2Factory(
      []() -> std::unique_ptr<PmCalendarEx2> { return std::make_unique<FakeCalendarEx2>(); });
  Datebook41 earlier;
  earlier.records.push_back(Record41().Build());
  dbtest::WriteFileBytes(m_Files.File("earlier.dat"), earlier.Build());
  dbtest::WriteFileBytes(m_Files.File("palm414.dat"), TenRecordDatebook().Build());
  dbtest::WriteFileBytes(m_Files.File("calendar.txt"), TenRecordDatebook().Build());
  const std::string sSecond = m_Files.File(c.szSecond);

  PmDateInfo store;
  ASSERT_TRUE(store.LoadFile(m_Files.File(c.szFirst).c_str()));
  EXPECT_EQ(store.LoadFile(sSecond.c_str()), c.nKind != PALM_KIND_FAILED);
  EXPECT_EQ(store.GetLoadedKind(), c.nKind);
  const bool bDatebook = c.nKind == PALM_KIND_DATEBOOK || c.nKind == PALM_KIND_DATEBOOK_EX;
  EXPECT_EQ(store.GetSavePath(), bDatebook ? sSecond : std::string());
  std::unique_ptr<CommDate> pNew = Appointment("Added");
  EXPECT_EQ(store.AddRecord(pNew.get()), c.nKind != PALM_KIND_FAILED);
  EXPECT_EQ(store.Save(), c.nKind != PALM_KIND_FAILED);

  EXPECT_EQ(PmDateUtil(m_Files.File("earlier.dat").c_str()).GetDataMgr()->GetCount(),
            c.nKind == PALM_KIND_DATEBOOK ? 2 : 1);
  EXPECT_EQ(PmDateExUtil(m_Files.File("palm414.dat").c_str()).GetDataMgr()->GetCount(),
            c.nKind == PALM_KIND_DATEBOOK_EX ? 11 : 10);
  EXPECT_EQ(FakeCalendarEx2::s_nSaves, c.nKind == PALM_KIND_DATABASE ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Reload,
    ::testing::Values(ReloadCase{"EarlierThen414", "earlier.dat", "palm414.dat", 2},
                      ReloadCase{"Palm414ThenEarlier", "palm414.dat", "earlier.dat", 1},
                      ReloadCase{"DatabaseThen414", "good.mdb", "palm414.dat", 2},
                      ReloadCase{"Palm414ThenDatabase", "palm414.dat", "good.mdb", 3},
                      ReloadCase{"Palm414ThenFailedLoad", "palm414.dat", "calendar.txt", 255}),
    [](const ::testing::TestParamInfo<ReloadCase>& row) { return row.param.szName; });

}  // namespace
