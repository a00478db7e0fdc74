// The rule text of "Repeated Event", as Palm Desktop 6.x writes it:
//   D<n>                        every n days
//   W<n> MO WE                  every n weeks on the listed weekdays
//   MP<n> <w>+ FR               every n months on weekday FR of week w (1..5, 5 = last)
//   MD<n> <d>                   every n months on day d
//   YM<n> <m>                   every n years in month m (1..12), on the start's day
// each followed by an end token: "#0" for no end, or the last date as YYYYMMDDT00000Z.
// Weekday tokens are recognised by their trailing blank, so the end token always follows.
#include "common/palm/PalmDateEx2.h"
#define DB_MODULE "PalmDateEx2"
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/misc/CxDebugUtil.h"
#include "common/palm/Datamain.h"
#include "common/palm/PalmComm.h"
#include "common/palm/PalmHotSync.h"
#include "platform/win/WinFile.h"
#include "platform/win/WinFolder.h"
#include "platform/win/WinString.h"
#include "platform/win/WinSystem.h"

namespace {

const char* const kWeekdayTokens[7] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

const char* const kKeyColumns[] = {"Record ID", "Start Time", "End Time", "Summary"};
constexpr DWORD kKeyColumnCount = 4;
constexpr int kWhereSize = 4096;

// Palm time values are unsigned; the texts of the database hold them that way.
void TimeText(LONG nTime, char* szText, size_t nSize) {
  std::snprintf(szText, nSize, "%u", static_cast<unsigned>(static_cast<uint32_t>(nTime)));
}

template <size_t N>
void TimeText(LONG nTime, char (&szText)[N]) {
  TimeText(nTime, szText, N);
}

LONG ParseTimeText(const char* szText, size_t nCapacity) {
  char szDigits[32];
  const size_t nLen = strnlen(szText, nCapacity);
  const size_t nCopy = nLen < sizeof(szDigits) - 1 ? nLen : sizeof(szDigits) - 1;
  std::memcpy(szDigits, szText, nCopy);
  szDigits[nCopy] = '\0';
  return static_cast<LONG>(static_cast<uint32_t>(std::strtoll(szDigits, nullptr, 10)));
}

// The number at szText: its digits up to the first blank, "+" or the end (any other
// character ends it too). Bounded so that no run of digits can overflow.
LONG ReadNumber(const char* szText) {
  constexpr LONG kMaxNumber = 100000000;
  LONG nNumber = 0;
  for (const char* p = szText; *p >= '0' && *p <= '9'; ++p) {
    if (nNumber < kMaxNumber) nNumber = nNumber * 10 + (*p - '0');
  }
  return nNumber;
}

// szText advanced by nSkip characters, never past its end.
const char* Skip(const char* szText, size_t nSkip) {
  const size_t nLen = std::strlen(szText);
  return szText + (nSkip < nLen ? nSkip : nLen);
}

const char* AfterFirstBlank(const char* szText) {
  const char* pBlank = std::strchr(szText, ' ');
  return pBlank != nullptr ? pBlank + 1 : szText + std::strlen(szText);
}

bool TwoDigits(const char* p, int nDigits, int* pnValue) {
  int nValue = 0;
  for (int i = 0; i < nDigits; ++i) {
    if (p[i] < '0' || p[i] > '9') return false;
    nValue = nValue * 10 + (p[i] - '0');
  }
  *pnValue = nValue;
  return true;
}

// "YYYYMMDD..." to local midnight of that date; false for anything else.
bool ParseEndDate(const char* szToken, LONG* pnEnd) {
  char szDate[32];
  lstrcpyn(szDate, szToken, sizeof(szDate));
  if (char* pT = std::strchr(szDate, 'T')) *pT = '\0';
  if (std::strlen(szDate) < 8) return false;
  int nYear = 0, nMonth = 0, nDay = 0;
  if (!TwoDigits(szDate, 4, &nYear) || !TwoDigits(szDate + 4, 2, &nMonth) ||
      !TwoDigits(szDate + 6, 2, &nDay))
    return false;
  // Palm time values end in 2106; the dates of the C library's local time begin in 1970.
  if (nYear < 1970 || nYear > 2105 || nMonth < 1 || nMonth > 12 || nDay < 1 || nDay > 31)
    return false;
  *pnEnd = static_cast<LONG>(PmTime(nYear, nMonth, nDay, 0, 0, 0).GetValue());
  return true;
}

// The local date of a record's start. An untimed start names its day whatever zone it was
// written in, so a yearly rule keeps its day and month after a change of time zone.
SYSTEMTIME StartDate(const PmDateEx2Record& record) {
  SYSTEMTIME st = {};
  const PmTime start(static_cast<DWORD>(record.nStartTime));
  if (record.bUntimed) {
    start.ToUntimedDay(&st);
  } else {
    start.ToSystemTime(&st);
  }
  return st;
}

void AppendWeekdays(BYTE bDays, std::string& strRule) {
  for (int nBit = 0; nBit < 7; ++nBit) {
    if (bDays & (1 << nBit)) strRule += std::string(" ") + kWeekdayTokens[nBit];
  }
}

// How a column of "Main" is held in a record: a number, a yes/no, a category id (a number
// the database keeps as text), a text, or a Palm time (a number kept as text, with the text
// beside it in the record).
enum class Ex2Kind { Number, Flag, Category, Text, Time };

// One column of "Main": its name, how it is held, and where in the record (the member's
// offset; for a text its buffer's size too, for a time the offset of its text). The field
// id is the column's place in this table; reading, writing, comparing and the column list
// of every statement all follow it.
struct Ex2Column {
  const char* szName;
  Ex2Kind kind;
  size_t nMember;
  size_t nExtra;
};

#define EX2_COLUMN(name, kind, member)                        \
  Ex2Column {                                                 \
    name, Ex2Kind::kind, offsetof(PmDateEx2Record, member), 0 \
  }
#define EX2_TEXT(name, member)                                                              \
  Ex2Column {                                                                               \
    name, Ex2Kind::Text, offsetof(PmDateEx2Record, member), sizeof(PmDateEx2Record::member) \
  }
#define EX2_TIME(name, member, text)                                                        \
  Ex2Column {                                                                               \
    name, Ex2Kind::Time, offsetof(PmDateEx2Record, member), offsetof(PmDateEx2Record, text) \
  }

const Ex2Column kColumns[PM_EX2_FIELD_COUNT] = {
    EX2_COLUMN("Record ID", Number, nRecordId),
    EX2_COLUMN("Status", Number, nStatus),
    EX2_COLUMN("Placement", Number, nPlacement),
    EX2_COLUMN("Private", Flag, bPrivate),
    EX2_COLUMN("Category", Category, nCategory),
    EX2_TEXT("Note", szNote),
    EX2_TIME("Start Time", nStartTime, szStartTime),
    EX2_TIME("End Time", nEndTime, szEndTime),
    EX2_COLUMN("Untimed", Flag, bUntimed),
    EX2_TEXT("Time Zone", szTimeZone),
    EX2_TEXT("Location", szLocation),
    EX2_TEXT("Summary", szSummary),
    EX2_COLUMN("Alarm", Flag, bAlarm),
    EX2_COLUMN("Alarm Advance", Number, nAlarmAdvance),
    EX2_COLUMN("Alarm Unit", Number, nAlarmUnit),
    EX2_TEXT("Repeated Event", szRepeatedEvent),
};

// Both times keep their text in a buffer of one size.
constexpr size_t kTimeTextSize = sizeof(PmDateEx2Record::szStartTime);
static_assert(sizeof(PmDateEx2Record::szEndTime) == kTimeTextSize);

#undef EX2_COLUMN
#undef EX2_TEXT
#undef EX2_TIME

// The column names in field id order, as the statements name them.
const std::array<const char*, PM_EX2_FIELD_COUNT> kFieldColumns = [] {
  std::array<const char*, PM_EX2_FIELD_COUNT> names{};
  for (size_t i = 0; i < names.size(); ++i) names[i] = kColumns[i].szName;
  return names;
}();

template <class T>
T& Member(PmDateEx2Record* pRecord, size_t nOffset) {
  return *reinterpret_cast<T*>(reinterpret_cast<char*>(pRecord) + nOffset);
}

template <class T>
const T& Member(const PmDateEx2Record* pRecord, size_t nOffset) {
  return *reinterpret_cast<const T*>(reinterpret_cast<const char*>(pRecord) + nOffset);
}

// The value of a field id, as the column is written.
void FieldValue(const PmDateEx2Record* pRecord, int nId, VARIANT* pValue) {
  if (nId < 0 || nId >= PM_EX2_FIELD_COUNT) {
    VariantInit(pValue);
    return;
  }
  const Ex2Column& column = kColumns[nId];
  switch (column.kind) {
    case Ex2Kind::Number:
      SetIntValue(Member<LONG>(pRecord, column.nMember), pValue);
      break;
    case Ex2Kind::Flag:
      SetBoolValue(Member<BYTE>(pRecord, column.nMember), pValue);
      break;
    case Ex2Kind::Category:
      SetNumberTextValue(Member<LONG>(pRecord, column.nMember), pValue);
      break;
    case Ex2Kind::Text:
      SetTextValue(&Member<char>(pRecord, column.nMember), pValue);
      break;
    case Ex2Kind::Time:
      SetTextValue(&Member<char>(pRecord, column.nExtra), pValue);
      break;
  }
}

// A field read from its column into the record.
void ReadField(const VARIANT* pValue, const Ex2Column& column, PmDateEx2Record* pRecord) {
  switch (column.kind) {
    case Ex2Kind::Number:
    case Ex2Kind::Category:
      GetIntValue(pValue, &Member<LONG>(pRecord, column.nMember));
      break;
    case Ex2Kind::Flag:
      GetBoolValue(pValue, &Member<BYTE>(pRecord, column.nMember));
      break;
    case Ex2Kind::Text:
      GetTextValue(pValue, &Member<char>(pRecord, column.nMember), column.nExtra);
      break;
    case Ex2Kind::Time: {
      LONG& nTime = Member<LONG>(pRecord, column.nMember);
      GetIntValue(pValue, &nTime);
      TimeText(nTime, &Member<char>(pRecord, column.nExtra), kTimeTextSize);
      break;
    }
  }
}

// Whether a field differs between two records.
bool FieldDiffers(const PmDateEx2Record* pA, const PmDateEx2Record* pB, const Ex2Column& column) {
  switch (column.kind) {
    case Ex2Kind::Number:
    case Ex2Kind::Category:
    case Ex2Kind::Time:
      return Member<LONG>(pA, column.nMember) != Member<LONG>(pB, column.nMember);
    case Ex2Kind::Flag:
      return Member<BYTE>(pA, column.nMember) != Member<BYTE>(pB, column.nMember);
    case Ex2Kind::Text:
      return std::strcmp(&Member<char>(pA, column.nMember), &Member<char>(pB, column.nMember)) != 0;
  }
  return true;
}

// Values built for a statement, released when the statement has run.
struct ValueSet {
  VARIANT values[PM_EX2_FIELD_COUNT];
  DWORD nCount = 0;
  ~ValueSet() {
    for (DWORD i = 0; i < nCount; ++i) VariantClear(&values[i]);
  }
};

struct RowGuard {
  VARIANT* pValues = nullptr;
  DWORD nCount = 0;
  ~RowGuard() { FreeValues(pValues, nCount); }
};

}  // namespace

// ---------------------------------------------------------------------------------------
// PmDateEx2DataMgr

PmDateEx2DataMgr::PmDateEx2DataMgr() : m_nCursor(0) {}

PmDateEx2DataMgr::~PmDateEx2DataMgr() = default;

void PmDateEx2DataMgr::RemoveAll() {
  m_List.clear();
  m_nCursor = 0;
}

bool PmDateEx2DataMgr::Add(const PmDateEx2Record* pRecord) {
  if (pRecord == nullptr) return false;
  m_List.push_back(std::make_unique<PmDateEx2Record>(*pRecord));
  m_nCursor = m_List.size() - 1;
  return true;
}

PmDateEx2Record* PmDateEx2DataMgr::GetFirst() {
  m_nCursor = 0;
  return m_List.empty() ? nullptr : m_List[0].get();
}

PmDateEx2Record* PmDateEx2DataMgr::GetNext() {
  if (m_nCursor + 1 >= m_List.size()) return nullptr;
  return m_List[++m_nCursor].get();
}

PmDateEx2Record* PmDateEx2DataMgr::GetAt(int nIndex) {
  if (nIndex < 0 || static_cast<size_t>(nIndex) >= m_List.size()) return nullptr;
  return m_List[static_cast<size_t>(nIndex)].get();
}

// ---------------------------------------------------------------------------------------
// PmDateEx2Util

PmDateEx2Util::PmDateEx2Util() : m_pRecords(std::make_unique<PmDateEx2DataMgr>()), m_bLoaded(0) {}

PmDateEx2Util::PmDateEx2Util(const char* szPath) : PmDateEx2Util() {
  m_bLoaded = LoadFile(szPath) ? 1 : 0;
}

PmDateEx2Util::~PmDateEx2Util() {
  m_pRecords.reset();
}

bool PmDateEx2Util::LoadByUserId(DWORD nUserId) {
  Log(2, "Start loading Palm Desktop Calendar by user ID: %d", static_cast<int>(nUserId));
  char szFolder[MAX_PATH] = {};
  if (!GetUserDataFolder(nUserId, szFolder, MAX_PATH)) {
    Log(0, "Failed to get user database path by user ID.");
    m_Failure.Set(CX_FAIL_NOT_FOUND, "no Palm Desktop data folder for the user %u", nUserId);
    return false;
  }
  char szPath[MAX_PATH];
  std::snprintf(szPath, sizeof(szPath), "%sdatebook/DateBook.mdb", szFolder);
  // Names compare without regard to case, as on Windows ("Datebook/datebook.mdb").
  char szMatched[MAX_PATH];
  if (CxMatchPathCase(szPath, szMatched, sizeof szMatched)) lstrcpyn(szPath, szMatched, MAX_PATH);
  Log(2, "Get user file successfully, try loading file:%s", szPath);
  return LoadFile(szPath);
}

bool PmDateEx2Util::LoadFile(const char* szPath) {
  m_Failure.Clear();
  m_Hold.Release();
  m_strLoadedPath.clear();
  if (szPath == nullptr || szPath[0] == '\0') {
    m_Failure.Set(CX_FAIL_NOT_FOUND, "no file was named");
    return false;
  }
  Log(2, "Loading Palm Desktop Calendar: %s", szPath);
  DWORD dwError = ERROR_SUCCESS;
  if (!m_Hold.Acquire(szPath, &dwError)) {
    Log(0, "Open Palm Desktop Calendar database failed: %s", szPath);
    m_Failure.SetFileError(dwError, szPath);
    return false;
  }
  // Whether the file can be read at all tells the plain reasons apart from the engine's.
  HANDLE hProbe = CreateFile(szPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hProbe == INVALID_HANDLE_VALUE) {
    Log(0, "Open Palm Desktop Calendar database failed: %s", szPath);
    m_Failure.SetFileError(GetLastError(), szPath);
    m_Hold.Release();
    return false;
  }
  CloseHandle(hProbe);
  // A file the engine cannot open is no calendar: taking it as an empty one would let the
  // file check accept any file named .mdb and every later write fail.
  if (!Open(DB_DATE, szPath) || !m_pAccessor->GetConnection() ||
      !m_pAccessor->GetConnection()->GetConnected()) {
    Log(0, "Open Palm Desktop Calendar database failed: %s", szPath);
    m_Failure.Set(CX_FAIL_NOT_CALENDAR, "not a Palm Desktop 6.x database (%s): %s",
                  m_pAccessor ? m_pAccessor->GetLastErrorText().c_str() : "it did not open",
                  szPath);
    m_Hold.Release();
    return false;
  }
  if (!LoadMainRecords()) {
    const std::string strError = m_pAccessor->GetLastErrorText();
    const bool bNoTable = strError.find("no such table") != std::string::npos ||
                          strError.find("no such column") != std::string::npos;
    Log(0, "Open Palm Desktop Calendar database failed: %s", szPath);
    m_Failure.Set(bNoTable ? CX_FAIL_NOT_CALENDAR : CX_FAIL_DAMAGED,
                  bNoTable ? "not a Palm Desktop 6.x calendar (%s): %s"
                           : "damaged Palm Desktop 6.x calendar (%s): %s",
                  strError.c_str(), szPath);
    m_Hold.Release();
    return false;
  }
  m_strLoadedPath = szPath;
  return true;
}

void PmDateEx2Util::RecordFromRow(const VARIANT* pValues, DWORD nCount, PmDateEx2Record* pRecord) {
  std::memset(pRecord, 0, sizeof(*pRecord));
  const DWORD nFields = nCount < PM_EX2_FIELD_COUNT ? nCount : PM_EX2_FIELD_COUNT;
  for (DWORD i = 0; i < nFields; ++i) {
    ReadField(&pValues[i], kColumns[i], pRecord);
  }
  if (nFields < PM_EX2_FIELD_COUNT) return;
  // The key exactly as the row holds it, so the row is found again even when its texts
  // are not in the form this program writes ("0123" for 123).
  pRecord->bStored = 1;
  pRecord->nStoredRecordId = pRecord->nRecordId;
  if (!GetTextValue(&pValues[6], pRecord->szStoredStartTime, sizeof(pRecord->szStoredStartTime)))
    CxCopyText(pRecord->szStoredStartTime, pRecord->szStartTime);
  if (!GetTextValue(&pValues[7], pRecord->szStoredEndTime, sizeof(pRecord->szStoredEndTime)))
    CxCopyText(pRecord->szStoredEndTime, pRecord->szEndTime);
  CxCopyText(pRecord->szStoredSummary, pRecord->szSummary);
}

bool PmDateEx2Util::LoadMainRecords() {
  if (!m_pAccessor || !m_pRecords) return false;
  Log(2, "Start loading Palm Desktop Calendar main records.");
  auto pRecord = std::make_unique<PmDateEx2Record>();
  RowGuard row;
  DWORD nCount = PM_EX2_FIELD_COUNT;
  bool bRow = m_pAccessor->SelectFirst("Main", kFieldColumns.data(), &row.pValues, &nCount);
  if (bRow) {
    Log(2, "Query first record in the Calendar database table successfully.");
  } else {
    Log(2,
        "Failed to query the first record of the Calendar main table. Check if there is any "
        "records in the database table.");
    // No row is an empty calendar; a query that failed is a table that cannot be read.
    if (!m_pAccessor->GetLastErrorText().empty()) return false;
  }
  while (bRow) {
    row.nCount = nCount;
    if (nCount == PM_EX2_FIELD_COUNT) {
      RecordFromRow(row.pValues, nCount, pRecord.get());
    } else {
      std::memset(pRecord.get(), 0, sizeof(PmDateEx2Record));
    }
    DecodeRepeat(pRecord.get());
    if (PmCategoryEx2* pCategory = m_pCategories->FindById(pRecord->nCategory))
      CxCopyText(pRecord->szCategoryName, pCategory->szName);
    m_pRecords->Add(pRecord.get());
    FreeValues(row.pValues, row.nCount);
    row.pValues = nullptr;
    row.nCount = 0;
    bRow = m_pAccessor->SelectNext("Main", kFieldColumns.data(), &row.pValues, &nCount);
    if (!bRow) {
      Log(2,
          "Failed to query the next record of the Calendar main table. Check if it is the end "
          "of the table.");
      if (!m_pAccessor->GetLastErrorText().empty()) return false;
    }
  }
  Log(2, "Loading Palm Desktop Calendar main records completed successfully.");
  return true;
}

bool PmDateEx2Util::LookUpStored(const char* szWhere, PmDateEx2Record* pStored) {
  RowGuard row;
  DWORD nCount = PM_EX2_FIELD_COUNT;
  if (!SelectWhere(szWhere, kFieldColumns.data(), &row.pValues, &nCount)) return false;
  row.nCount = nCount;
  RecordFromRow(row.pValues, nCount, pStored);
  return true;
}

bool PmDateEx2Util::SaveRecord(PmDateEx2Record* pRecord) {
  if (pRecord == nullptr || !m_pAccessor) return false;
  EncodeRepeat(pRecord);
  if (pRecord->szCategoryName[0] != '\0') {
    PmCategoryEx2* pCategory = m_pCategories->FindByName(pRecord->szCategoryName);
    if (pCategory == nullptr) return false;
    pRecord->nCategory = pCategory->nId;
  } else {
    pRecord->nCategory = 0;
  }

  // A record read from the table is looked up by the key its row had, so a changed start,
  // end or summary updates that row instead of adding a second appointment beside it.
  const bool bStored = pRecord->bStored != 0;
  ValueSet key;
  SetIntValue(bStored ? pRecord->nStoredRecordId : pRecord->nRecordId, &key.values[0]);
  SetTextValue(bStored ? pRecord->szStoredStartTime : pRecord->szStartTime, &key.values[1]);
  SetTextValue(bStored ? pRecord->szStoredEndTime : pRecord->szEndTime, &key.values[2]);
  SetTextValue(bStored ? pRecord->szStoredSummary : pRecord->szSummary, &key.values[3]);
  key.nCount = kKeyColumnCount;
  char szWhere[kWhereSize];
  PmDataAccessor::BuildWhere(kKeyColumns, kKeyColumnCount, key.values, szWhere, kWhereSize);

  auto pStored = std::make_unique<PmDateEx2Record>();
  bool bFound = LookUpStored(szWhere, pStored.get());
  if (!bFound && bStored) {
    // A summary the code page cannot hold was read as question marks and matches no row: a
    // record read from the table is then found by its id and times alone, or its update
    // would add the appointment a second time.
    PmDataAccessor::BuildWhere(kKeyColumns, kKeyColumnCount - 1, key.values, szWhere, kWhereSize);
    bFound = LookUpStored(szWhere, pStored.get());
  }
  int nIds[PM_EX2_FIELD_COUNT];
  int nIdCount = 0;
  if (bFound) {
    if (SameRecord(pRecord, pStored.get())) return true;
    DiffFields(pRecord, pStored.get(), nIds, &nIdCount);
  } else {
    for (int i = 0; i < PM_EX2_FIELD_COUNT; ++i) nIds[nIdCount++] = i;
  }
  if (nIdCount == 0) return true;

  const char* szColumns[PM_EX2_FIELD_COUNT];
  ValueSet values;
  for (int i = 0; i < nIdCount; ++i) {
    szColumns[i] = FieldColumn(nIds[i]);
    FieldValue(pRecord, nIds[i], &values.values[i]);
    values.nCount = static_cast<DWORD>(i + 1);
  }
  const std::string strSql =
      bFound
          ? m_pAccessor->BuildMainSql(szWhere, SQL_UPDATE, szColumns, values.values, values.nCount)
          : m_pAccessor->BuildMainSql(nullptr, SQL_INSERT, szColumns, values.values, values.nCount);
  if (!m_pAccessor->ExecuteSql(strSql.c_str(), false)) return false;
  pRecord->bStored = 1;
  pRecord->nStoredRecordId = pRecord->nRecordId;
  CxCopyText(pRecord->szStoredStartTime, pRecord->szStartTime);
  CxCopyText(pRecord->szStoredEndTime, pRecord->szEndTime);
  CxCopyText(pRecord->szStoredSummary, pRecord->szSummary);
  return true;
}

bool PmDateEx2Util::ResolveCategory(const char* szName, LONG* pnId, bool bCreate) {
  LONG nIgnored = 0;
  if (pnId == nullptr) pnId = &nIgnored;
  if (szName == nullptr || szName[0] == '\0') {
    *pnId = 0;
    return true;
  }
  if (PmCategoryEx2* pCategory = m_pCategories->FindByName(szName)) {
    *pnId = pCategory->nId;
    return true;
  }
  if (!bCreate) {
    *pnId = 0;
    return false;
  }
  PmCategoryEx2 category;
  category.SetName(szName);
  m_pCategories->AddNew(&category);
  if (PmCategoryEx2* pCategory = m_pCategories->FindByName(szName)) {
    *pnId = pCategory->nId;
    return true;
  }
  *pnId = -1;
  return false;
}

bool PmDateEx2Util::SameRecord(const PmDateEx2Record* pA, const PmDateEx2Record* pB) {
  if (pA == nullptr || pB == nullptr) return false;
  if (pA == pB) return true;
  return pA->nRecordId == pB->nRecordId && pA->nStatus == pB->nStatus &&
         pA->bPrivate == pB->bPrivate && pA->nCategory == pB->nCategory &&
         std::strcmp(pA->szNote, pB->szNote) == 0 && pA->nStartTime == pB->nStartTime &&
         pA->nEndTime == pB->nEndTime && pA->bUntimed == pB->bUntimed &&
         std::strcmp(pA->szTimeZone, pB->szTimeZone) == 0 &&
         std::strcmp(pA->szLocation, pB->szLocation) == 0 &&
         std::strcmp(pA->szSummary, pB->szSummary) == 0 && pA->bAlarm == pB->bAlarm &&
         pA->nAlarmAdvance == pB->nAlarmAdvance && pA->nAlarmUnit == pB->nAlarmUnit &&
         std::strcmp(pA->szRepeatedEvent, pB->szRepeatedEvent) == 0;
}

bool PmDateEx2Util::DiffFields(const PmDateEx2Record* pA, const PmDateEx2Record* pB, int* pnIds,
                               int* pnCount) {
  if (pA == nullptr || pB == nullptr || pnIds == nullptr) return false;
  int nCount = 0;
  for (int i = 0; i < PM_EX2_FIELD_COUNT; ++i) {
    if (FieldDiffers(pA, pB, kColumns[i])) pnIds[nCount++] = i;
  }
  if (pnCount != nullptr) *pnCount = nCount;
  return true;
}

const char* PmDateEx2Util::FieldColumn(int nId) {
  return nId >= 0 && nId < PM_EX2_FIELD_COUNT ? kFieldColumns[nId] : "";
}

void PmDateEx2Util::EncodeRepeat(PmDateEx2Record* pRecord) {
  if (pRecord == nullptr) return;
  TimeText(pRecord->nStartTime, pRecord->szStartTime);
  TimeText(pRecord->nEndTime, pRecord->szEndTime);
  char szHead[64];
  std::string strRule;
  switch (pRecord->nRepeatType) {
    case 1:
      std::snprintf(szHead, sizeof(szHead), "D%d", static_cast<int>(pRecord->nRepeatInterval));
      strRule = szHead;
      break;
    case 2:
      std::snprintf(szHead, sizeof(szHead), "W%d", static_cast<int>(pRecord->nRepeatInterval));
      strRule = szHead;
      AppendWeekdays(pRecord->bRepeatDays, strRule);
      break;
    case 3:
      std::snprintf(szHead, sizeof(szHead), "MP%d %d+", static_cast<int>(pRecord->nRepeatInterval),
                    static_cast<int>(pRecord->nRepeatWeek + 1));
      strRule = szHead;
      AppendWeekdays(pRecord->bRepeatDays, strRule);
      break;
    case 4:
      std::snprintf(szHead, sizeof(szHead), "MD%d %d", static_cast<int>(pRecord->nRepeatInterval),
                    static_cast<int>(pRecord->nRepeatDay));
      strRule = szHead;
      break;
    case 5:
      std::snprintf(szHead, sizeof(szHead), "YM%d %d", static_cast<int>(pRecord->nRepeatInterval),
                    static_cast<int>(StartDate(*pRecord).wMonth));
      strRule = szHead;
      break;
    default:
      break;
  }
  if (!strRule.empty()) {
    // 0 is no date at all (a pattern whose end was never set); reading it as a time would
    // give "now" and cut the pattern short, so it is written as no end.
    if (pRecord->nRepeatEnd == NO_END_DATE || pRecord->nRepeatEnd == 0) {
      strRule += " #0";
    } else {
      const PmTime end(static_cast<DWORD>(pRecord->nRepeatEnd));
      char szEnd[32];
      std::snprintf(szEnd, sizeof(szEnd), " %04d%02d%02dT00000Z", end.GetYear(), end.GetMonth(),
                    end.GetDay());
      strRule += szEnd;
    }
  }
  CxCopyText(pRecord->szRepeatedEvent, strRule.c_str());
}

void PmDateEx2Util::DecodeRepeat(PmDateEx2Record* pRecord) {
  if (pRecord == nullptr) return;
  pRecord->nStartTime = ParseTimeText(pRecord->szStartTime, sizeof(pRecord->szStartTime));
  pRecord->nEndTime = ParseTimeText(pRecord->szEndTime, sizeof(pRecord->szEndTime));

  char szRule[sizeof(pRecord->szRepeatedEvent)] = {};
  const size_t nLen = strnlen(pRecord->szRepeatedEvent, sizeof(szRule) - 1);
  std::memcpy(szRule, pRecord->szRepeatedEvent, nLen);

  if (szRule[0] == 'D') {
    pRecord->nRepeatType = 1;
    pRecord->nRepeatInterval = ReadNumber(Skip(szRule, 1));
  } else if (szRule[0] == 'W') {
    pRecord->nRepeatType = 2;
    pRecord->nRepeatInterval = ReadNumber(Skip(szRule, 1));
  } else if (std::strncmp(szRule, "MP", 2) == 0) {
    pRecord->nRepeatType = 3;
    pRecord->nRepeatInterval = ReadNumber(Skip(szRule, 2));
    pRecord->nRepeatWeek = ReadNumber(AfterFirstBlank(szRule)) - 1;
  } else if (std::strncmp(szRule, "MD", 2) == 0) {
    pRecord->nRepeatType = 4;
    pRecord->nRepeatInterval = ReadNumber(Skip(szRule, 2));
    pRecord->nRepeatDay = ReadNumber(AfterFirstBlank(szRule));
  } else if (szRule[0] == 'Y') {
    pRecord->nRepeatType = 5;
    pRecord->nRepeatInterval = ReadNumber(Skip(szRule, 2));
    pRecord->nRepeatMonth = ReadNumber(AfterFirstBlank(szRule)) - 1;
    pRecord->nRepeatDay = StartDate(*pRecord).wDay;
  } else {
    pRecord->nRepeatType = 0;
    return;
  }

  pRecord->bRepeatDays = 0;
  for (int nBit = 0; nBit < 7; ++nBit) {
    const std::string strToken = std::string(kWeekdayTokens[nBit]) + " ";
    if (std::strstr(szRule, strToken.c_str()) != nullptr)
      pRecord->bRepeatDays = static_cast<BYTE>(pRecord->bRepeatDays | (1 << nBit));
  }

  const char* pLastBlank = std::strrchr(szRule, ' ');
  if (pLastBlank == nullptr) return;
  const char* szEnd = pLastBlank + 1;
  if (std::strcmp(szEnd, "#0") == 0) {
    pRecord->nRepeatEnd = NO_END_DATE;
    return;
  }
  LONG nEnd = 0;
  if (ParseEndDate(szEnd, &nEnd)) pRecord->nRepeatEnd = nEnd;
}
