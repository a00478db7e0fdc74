// The Palm Desktop 4.1.4 datebook: loading and saving the whole file, step by step, with a
// progress or error line for each step.
#include "common/palm/PalmDateEx.h"

#include <cstdio>
#include <cstring>

#include "common/misc/CxDebugUtil.h"
#include "common/palm/PalmHotSync.h"
#include "platform/win/WinString.h"

namespace {

const char kModule[] = "PalmDateEx";
const char kMagicText[] = "PalmSG Database00RV";
const BYTE kMagicPrefix[5] = {0xBE, 0xBA, 0xFE, 0xCA, 0x0F};
constexpr DWORD kMagicTextSize = 19;

constexpr DWORD kDefaultResourceId = 54;
constexpr DWORD kDefaultRecordIdPos = 0;
constexpr DWORD kDefaultStatusPos = 2;
constexpr DWORD kDefaultPlacementPos = 4;
const WORD kDefaultFieldTypes[PM_DATEEX_FIELDS] = {1, 1, 1, 1, 1, 1, 6, 64, 65, 66, 67, 5, 5, 3,
                                                   3, 5, 1, 5, 6, 6, 1, 1,  8,  5,  1,  5, 5};
// Reserved 1 of a new file: bytes 12-13 read as a short hold 4096 + the record count.
constexpr int kReservedCountLow = 12;
constexpr int kReservedCountHigh = 13;

// The smallest typed field in the file (type code and a 32-bit value, or an empty blob).
constexpr DWORD kMinFieldBytes = 8;

// Copies a read text into a record field of N bytes, cut to the field.
template <size_t N>
void StoreText(char (&szField)[N], const char* szText) {
  CxCopyText(szField, szText);
}

// Writes a text field even when the record's array lost its terminator.
template <size_t N>
bool WriteRecordText(PmDBUtil* pDb, const char (&szField)[N]) {
  if (::strnlen(szField, N) < N) return pDb->WriteTextField(szField, 1);
  char szCopy[N];
  CxCopyText(szCopy, szField);
  return pDb->WriteTextField(szCopy, 1);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Records

bool PmDateExRecordCopy(PmDateExRecord* pDst, const PmDateExRecord* pSrc) {
  if (pDst == nullptr || pSrc == nullptr) return false;
  if (pDst == pSrc) return true;
  std::memcpy(pDst, pSrc, sizeof(*pDst));
  for (auto& blob : pDst->blobs) {
    blob.pData = nullptr;
    blob.nDataLen = 0;
  }
  for (int i = 0; i < PM_DATEEX_BLOBS; ++i) {
    if (!PmBlobCopy(&pDst->blobs[i], &pSrc->blobs[i])) {
      PmDateExRecordFree(pDst);
      return false;
    }
  }
  return true;
}

void PmDateExRecordFree(PmDateExRecord* pRec) {
  if (pRec == nullptr) return;
  for (auto& blob : pRec->blobs) PmBlobFree(&blob);
}

void PmDateExDataMgr::RecordDeleter::operator()(PmDateExRecord* pRec) const {
  PmDateExRecordFree(pRec);
  delete pRec;
}

PmDateExDataMgr::PmDateExDataMgr() = default;

PmDateExDataMgr::~PmDateExDataMgr() = default;

bool PmDateExDataMgr::Add(const PmDateExRecord* pRec) {
  if (pRec == nullptr) return false;
  RecordPtr pCopy(new (std::nothrow) PmDateExRecord);
  if (!pCopy) return false;
  if (!PmDateExRecordCopy(pCopy.get(), pRec)) {
    // The copy freed what it had; nothing else to release.
    std::memset(pCopy->blobs, 0, sizeof(pCopy->blobs));
    return false;
  }
  return m_Recs.Push(std::move(pCopy));
}

PmDateExDataMgr::RecordPtr PmDateExDataMgr::NewRecord() {
  return RecordPtr(new (std::nothrow) PmDateExRecord());
}

bool PmDateExDataMgr::AddOwned(RecordPtr pRec) {
  return m_Recs.Push(std::move(pRec));
}
void PmDateExDataMgr::Clear() {
  m_Recs.Clear();
}
PmDateExRecord* PmDateExDataMgr::First() {
  return m_Recs.First();
}
PmDateExRecord* PmDateExDataMgr::Next() {
  return m_Recs.Next();
}
PmDateExRecord* PmDateExDataMgr::GetAt(int nPos) {
  return m_Recs.GetAt(nPos);
}
int PmDateExDataMgr::GetCount() const {
  return m_Recs.GetCount();
}

// ---------------------------------------------------------------------------------------------
// PmDateExUtil

PmDateExUtil::PmDateExUtil() {
  Init();
}

PmDateExUtil::PmDateExUtil(const char* szPath) {
  Init();
  m_bLoaded = LoadFile(szPath);
}

PmDateExUtil::~PmDateExUtil() {
  Free();
  Close();
}

bool PmDateExUtil::Init() {
  m_bLoaded = false;
  m_nVersion = PM_DATEEX_VERSION;
  m_nResourceId = kDefaultResourceId;
  m_nFieldsPerRow = PM_DATEEX_FIELDS;
  m_nRecordIdPos = kDefaultRecordIdPos;
  m_nStatusPos = kDefaultStatusPos;
  m_nPlacementPos = kDefaultPlacementPos;
  m_nFieldCount = PM_DATEEX_FIELDS;
  std::memcpy(m_nFieldTypes, kDefaultFieldTypes, sizeof(m_nFieldTypes));
  m_pDataMgr = std::make_unique<PmDateExDataMgr>();
  m_pCatMgr.reset();
  std::memset(m_Reserved1, 0, sizeof(m_Reserved1));
  m_Reserved1[kReservedCountHigh] = 0x10;
  std::memset(m_Reserved2, 0, sizeof(m_Reserved2));
  return true;
}

bool PmDateExUtil::Free() {
  m_pDataMgr.reset();
  return true;
}

bool PmDateExUtil::LoadByUser(DWORD nUserId) {
  Log(2, "Start loading Palm Desktop Calendar by user ID: %d", static_cast<int>(nUserId));
  char szFolder[MAX_PATH] = {};
  if (!GetUserDataFolder(nUserId, szFolder, MAX_PATH)) {
    Log(0, "Failed to get user database path by user ID.");
    m_Failure.Set(CX_FAIL_NOT_FOUND, "no Palm Desktop data folder for the user %u", nUserId);
    return false;
  }
  char szPath[MAX_PATH];
  std::snprintf(szPath, sizeof(szPath), "%sdatebook/datebook.dat", szFolder);
  Log(2, "Get user file successfully, try loading file:%s", szPath);
  return LoadFile(szPath);
}

bool PmDateExUtil::LoadFile(const char* szPath) {
  Log(2, "Loading Palm Desktop Calendar: %s", szPath != nullptr ? szPath : "");
  if (!m_pDataMgr) m_pDataMgr = std::make_unique<PmDateExDataMgr>();
  bool bOk = false;
  if (!BeginLoad(szPath, kModule)) {
    Log(0, "Failed to open file: %s", szPath != nullptr ? szPath : "");
  } else if (!ReadMagic()) {
    Log(0, "Failed to check magic code.");
    FailNotDatebook("no \"PalmSG Database00RV\" magic text");
  } else if (!ReadVersion()) {
    Log(0, "Failed to check database version.");
  } else if (!ReadDescription()) {
    Log(0, "Failed to load database file descriptions.");
    FailDamaged("its file description does not read");
  } else if (!ReadCategories()) {
    Log(0, "Failed to load category information.");
    FailDamaged("its categories do not read");
  } else if (!ReadSchema()) {
    Log(0, "Failed to load database schema information.");
    FailDamaged("its schema does not read");
  } else if (!ReadRecords()) {
    Log(0, "Failed to load Calendar records.");
    FailDamaged("its records do not read");
  } else {
    bOk = CheckNothingFollows();
  }
  if (bOk) {
    Log(2, "Palm Desktop Calendar information is loaded successfully.");
  } else {
    Log(0, "Load Palm Desktop Calendar failed: %s", szPath != nullptr ? szPath : "");
  }
  EndLoad(szPath, bOk);
  m_bLoaded = bOk;
  return bOk;
}

bool PmDateExUtil::ReadMagic() {
  Log(2, "Start checking Palm Desktop Calendar database magic code.");
  BYTE magic[PM_DATEEX_MAGIC_SIZE];
  if (!ReadBytes(magic, sizeof(magic))) return false;
  // The five leading bytes vary between Palm Desktop builds; only the text identifies the
  // format.
  char szText[kMagicTextSize + 1];
  std::memcpy(szText, magic + sizeof(kMagicPrefix), kMagicTextSize);
  szText[kMagicTextSize] = '\0';
  if (std::memcmp(szText, kMagicText, kMagicTextSize) != 0) {
    Log(0, "Incorrect database magic code: %s", szText);
    return false;
  }
  Log(2, "Check magic code successfully.");
  return true;
}

bool PmDateExUtil::ReadVersion() {
  Log(2, "Start checking Palm Desktop Calendar database file version.");
  DWORD nVersion = 0;
  if (!ReadLong(&nVersion) || nVersion != m_nVersion) {
    Log(0, "Incorrect database version:%d", static_cast<int>(nVersion));
    char szCheck[64];
    std::snprintf(szCheck, sizeof(szCheck), "version 0x%08x is not 0x%08x", nVersion,
                  static_cast<unsigned>(m_nVersion));
    FailNotDatebook(szCheck);
    return false;
  }
  Log(2, "Database version: %d", static_cast<int>(nVersion));
  BYTE reserved[PM_DATEEX_RESERVED1_SIZE] = {};
  DWORD nGot = sizeof(reserved);
  if (!ReadSome(reserved, &nGot) || nGot != sizeof(reserved)) {
    Log(0, "Failed to read reserved 1 field. Content=%s, Size=%d", HexBytes(reserved, nGot).c_str(),
        static_cast<int>(sizeof(reserved)));
    return false;
  }
  std::memcpy(m_Reserved1, reserved, sizeof(m_Reserved1));
  Log(2, "Check database version successfully.");
  return true;
}

bool PmDateExUtil::ReadDescription() {
  Log(2, "Start loading Palm Desktop Calendar database file description.");
  // The name field holds 255 characters; a longer stored name is refused rather than cut,
  // since it is written back exactly as read.
  char szName[PM_FILE_NAME_SIZE];
  DWORD nCapacity = sizeof(szName);
  if (!ReadCString(szName, &nCapacity)) {
    Log(0, "Failed to read database file name.");
    return false;
  }
  Log(2, "Database file name:%s", szName);
  CxCopyText(m_szFileName, szName);
  BYTE reserved[PM_DATEEX_RESERVED2_SIZE] = {};
  DWORD nGot = sizeof(reserved);
  if (!ReadSome(reserved, &nGot) || nGot != sizeof(reserved)) {
    Log(0, "Failed to read reserved 2 field. Content=%s, Size=%d", HexBytes(reserved, nGot).c_str(),
        static_cast<int>(nGot));
    return false;
  }
  std::memcpy(m_Reserved2, reserved, sizeof(m_Reserved2));
  Log(2, "Reserved 2 Fields: %s", HexBytes(m_Reserved2, sizeof(m_Reserved2)).c_str());
  Log(2, "Load database description information successfully.");
  return true;
}

bool PmDateExUtil::ReadCategories() {
  return ReadCategoryBlock(kModule);
}

bool PmDateExUtil::ReadSchema() {
  Log(2, "Start loading Palm Desktop Calendar database schema.");
  if (!ReadLong(&m_nResourceId)) {
    Log(0, "Failed to read resource ID.");
    return false;
  }
  Log(2, "Resource ID:%d", static_cast<int>(m_nResourceId));
  if (!ReadLong(&m_nFieldsPerRow)) {
    Log(0, "Failed to read fields per row.");
    return false;
  }
  Log(2, "Fields Per Row:%d", static_cast<int>(m_nFieldsPerRow));
  if (m_nFieldsPerRow == 0) {
    Log(0, "Fields per row of 0 gives no record count.");
    return false;
  }
  if (!ReadLong(&m_nRecordIdPos)) {
    Log(0, "Failed to read Record ID Position.");
    return false;
  }
  Log(0, "Record ID Position:%d", static_cast<int>(m_nRecordIdPos));
  if (!ReadLong(&m_nStatusPos)) {
    Log(0, "Failed to read Record Status Position.");
    return false;
  }
  Log(2, "Record Status Position:%d", static_cast<int>(m_nStatusPos));
  if (!ReadLong(&m_nPlacementPos)) {
    Log(0, "Failed to read Placement Position.");
    return false;
  }
  Log(0, "Placement Position:%d", static_cast<int>(m_nPlacementPos));
  WORD nFieldCount = 0;
  if (!ReadShort(&nFieldCount)) {
    Log(0, "Failed to read Fields Count.");
    return false;
  }
  Log(2, "Fields Count:%d", static_cast<int>(nFieldCount));
  if (nFieldCount > PM_DATEEX_FIELDS) {
    Log(0, "Fields Count %d is more than the %d fields of a record.", static_cast<int>(nFieldCount),
        PM_DATEEX_FIELDS);
    return false;
  }
  m_nFieldCount = nFieldCount;
  for (int i = 0; i < m_nFieldCount; ++i) {
    if (!ReadShort(&m_nFieldTypes[i])) {
      Log(0, "Failed to read Field Type. Index=%d", i);
      return false;
    }
    Log(0, "Field (%d) - %d", i + 1, static_cast<int>(m_nFieldTypes[i]));
  }
  Log(2, "Palm Desktop Calendar database schema is loaded successfully.");
  return true;
}

bool PmDateExUtil::ReadField(PmDateExRecord* pRec, int nField) {
  DWORD nValue = 0;
  switch (nField) {
    case 7:
    case 8:
    case 9:
    case 10:
      return ReadBlobField(&pRec->blobs[nField - 7]);
    case 11:
    case 12:
    case 15:
    case 23:
    case 25:
    case 26: {
      // Read at full field size, then cut to the record's array.
      char szText[PM_TEXT_FIELD_SIZE];
      if (!ReadTextField(szText, nullptr)) return false;
      if (nField == 11) StoreText(pRec->szText11, szText);
      if (nField == 12) StoreText(pRec->szText12, szText);
      if (nField == 15) StoreText(pRec->szSummary, szText);
      if (nField == 23) StoreText(pRec->szLocation, szText);
      if (nField == 25) StoreText(pRec->szText25, szText);
      if (nField == 26) StoreText(pRec->szText26, szText);
      return true;
    }
    case 17:
      return ReadTextField(pRec->szNote, nullptr);
    case 22:
      return ReadRepeat(pRec);
    default:
      break;
  }
  // Fields beyond the record's 27 carry nothing.
  if (nField >= PM_DATEEX_FIELDS) return true;
  if (!ReadIntField(&nValue)) return false;
  const LONG nSigned = static_cast<LONG>(nValue);
  switch (nField) {
    case 0:
      pRec->nRecordId = nValue;
      break;
    case 1:
      pRec->nSequence = nValue;
      break;
    case 2:
      pRec->nStatus = nValue;
      break;
    case 3:
      pRec->nFieldBase = nValue;
      break;
    case 4:
      pRec->nPlacement = nValue;
      break;
    case 5:
      pRec->nCategoryId = nSigned;
      break;
    case 6:
      pRec->bPrivate = nSigned;
      break;
    case 13:
      pRec->nStartTime = nValue;
      break;
    case 14:
      pRec->nEndTime = nValue;
      break;
    case 16:
      pRec->nInt16 = nSigned;
      break;
    case 18:
      pRec->bUntimed = nSigned;
      break;
    case 19:
      pRec->bAlarm = nSigned;
      break;
    case 20:
      pRec->nAlarmAdvance = nSigned;
      break;
    case 21:
      pRec->nAlarmUnit = nSigned;
      break;
    default:
      pRec->nInt24 = nSigned;
      break;
  }
  return true;
}

bool PmDateExUtil::ReadRecords() {
  if (!m_pDataMgr) m_pDataMgr = std::make_unique<PmDateExDataMgr>();
  m_pDataMgr->Clear();
  Log(2, "Start loading Palm Desktop Calendar records.");
  DWORD nTotalFields = 0;
  if (!ReadLong(&nTotalFields)) {
    Log(0, "Failed to read total fields count.");
    return false;
  }
  Log(2, "Total Fields: %d", static_cast<int>(nTotalFields));
  const DWORD nRecordCount = m_nFieldsPerRow != 0 ? nTotalFields / m_nFieldsPerRow : 0;
  Log(2, "Calculated Record Count: %d", static_cast<int>(nRecordCount));
  // Every field takes at least 8 bytes, so a count the rest of the file cannot hold is
  // damage; refusing it up front keeps a huge count from running the loop below (and its
  // error line per record) billions of times.
  // Records of no fields would all be empty and could not be told from one another.
  if (nRecordCount > 0 && m_nFieldCount == 0) {
    Log(0, "Records of 0 fields cannot be read.");
    return false;
  }
  const unsigned long long nMinRecordBytes = kMinFieldBytes * m_nFieldCount;
  if (nRecordCount * nMinRecordBytes > RemainingBytes()) {
    Log(0, "Record count %u does not fit the %u bytes left in the file.", nRecordCount,
        RemainingBytes());
    FailDamaged("%u records cannot fit the %u bytes left", nRecordCount, RemainingBytes());
    return false;
  }
  if (nTotalFields % m_nFieldsPerRow != 0) {
    Log(0, "Total fields %u are not a whole number of rows of %u.", nTotalFields, m_nFieldsPerRow);
    FailDamaged("%u fields are not whole records of %u", nTotalFields, m_nFieldsPerRow);
    return false;
  }

  bool bFailed = false;
  for (DWORD nRecord = 0; nRecord < nRecordCount; ++nRecord) {
    if (bFailed) {
      Log(0, "Error reading Palm Desktop Calendar, current file position: %d",
          static_cast<int>(GetFilePos()));
      continue;
    }
    // Owned from the start, so a record that fails half-way frees its blob data.
    PmDateExDataMgr::RecordPtr pRec = PmDateExDataMgr::NewRecord();
    bool bRecordOk = pRec != nullptr;
    for (int nField = 0; nField < m_nFieldCount && bRecordOk; ++nField) {
      bRecordOk = ReadField(pRec.get(), nField);
      if (bRecordOk && nField == 5 && m_pCatMgr) {
        GetCategoryText(pRec->nCategoryId, pRec->szCategory);
      }
    }
    if (bRecordOk) bRecordOk = m_pDataMgr->AddOwned(std::move(pRec));
    if (!bRecordOk) {
      bFailed = true;
      Log(0, "Error reading Palm Desktop Calendar, current file position: %d",
          static_cast<int>(GetFilePos()));
      FailDamaged("record %u of %u does not read, at byte %u", nRecord + 1, nRecordCount,
                  GetFilePos());
    }
  }
  if (bFailed) {
    Log(0, "Palm Desktop Calendar records are not saved successfully.");
    return false;
  }
  Log(2, "Palm Desktop Calendar records information is saved successfully.");
  return true;
}

bool PmDateExUtil::ReadRepeat(PmDateExRecord* pRec) {
  return pRec != nullptr && ReadRepeatField(&pRec->repeat);
}

bool PmDateExUtil::WriteRepeat(const PmDateExRecord* pRec) {
  return pRec != nullptr && WriteRepeatField(&pRec->repeat);
}

bool PmDateExUtil::Save() {
  return SaveAs(m_szLoadedPath);
}

bool PmDateExUtil::SaveAs(const char* szPath) {
  if (szPath == nullptr || szPath[0] == '\0') return false;
  Log(2, "Saving Palm Desktop Calendar database as file: %s", szPath);
  if (!BeginSave(szPath, kModule)) {
    Log(0, "Failed to save Palm Desktop Calendar database.");
    return false;
  }
  bool bOk = false;
  if (!WriteMagic()) {
    Log(0, "Failed to save magic code information.");
  } else if (!WriteVersion()) {
    Log(0, "Failed to save database version.");
  } else if (!WriteDescription()) {
    Log(0, "Failed to save database file dscriptions.");
  } else if (!WriteCategories()) {
    Log(0, "Failed to save category information.");
  } else if (!WriteSchema()) {
    Log(0, "Failed to save database schema.");
  } else if (!WriteRecords()) {
    Log(0, "Failed to save Calendar records.");
  } else {
    bOk = CommitSave(kModule);
  }
  if (!bOk) {
    AbortSave();
    Log(0, "Failed to save Palm Desktop Calendar database.");
    return false;
  }
  Log(2, "Save Palm Desktop Calendar database successfully.");
  return true;
}

bool PmDateExUtil::WriteMagic() {
  Log(2, "Start saving Palm Desktop Calendar magic code information.");
  if (!WriteBytes(kMagicPrefix, sizeof(kMagicPrefix))) {
    Log(0, "Failed to write magic code prefix.");
    return false;
  }
  if (!WriteBytes(kMagicText, kMagicTextSize)) {
    Log(0, "Failed to write magic code content.");
    return false;
  }
  Log(2, "Magic code information saved successfully.");
  return true;
}

bool PmDateExUtil::WriteVersion() {
  Log(2, "Start saving Palm Desktop Calendar version information.");
  if (!WriteLong(m_nVersion)) {
    Log(0, "Failed to write the integer value of database version.");
    return false;
  }
  const DWORD nRecords = m_pDataMgr ? static_cast<DWORD>(m_pDataMgr->GetCount()) : 0;
  m_Reserved1[kReservedCountLow] = static_cast<BYTE>(nRecords % 256);
  m_Reserved1[kReservedCountHigh] = static_cast<BYTE>(nRecords / 256 + 0x10);
  if (!WriteBytes(m_Reserved1, sizeof(m_Reserved1))) {
    Log(0, "Failed to write reserved 1 field.");
    return false;
  }
  Log(2, "Palm Desktop Calendar version information is saved successfully.");
  return true;
}

bool PmDateExUtil::WriteDescription() {
  Log(2, "Start saving Palm Desktop Calendar file description.");
  if (!WriteCString(m_szFileName)) {
    Log(0, "Failed to write database file name.");
    return false;
  }
  if (!WriteBytes(m_Reserved2, sizeof(m_Reserved2))) {
    Log(0, "Failed to write reserved 2 field.");
    return false;
  }
  Log(2, "Palm Desktop Calendar file description is saved successfully.");
  return true;
}

bool PmDateExUtil::WriteCategories() {
  return WriteCategoryBlock(kModule);
}

bool PmDateExUtil::WriteSchema() {
  Log(2, "Start saving Palm Desktop Calendar database schema.");
  if (!WriteLong(m_nResourceId) || !WriteLong(m_nFieldsPerRow) || !WriteLong(m_nRecordIdPos) ||
      !WriteLong(m_nStatusPos) || !WriteLong(m_nPlacementPos) || !WriteShort(m_nFieldCount)) {
    return false;
  }
  for (int i = 0; i < m_nFieldCount; ++i) {
    if (!WriteShort(m_nFieldTypes[i])) return false;
  }
  Log(2, "Palm Desktop Calendar database schema is saved successfully.");
  return true;
}

bool PmDateExUtil::WriteRecords() {
  if (!m_pDataMgr) return false;
  Log(2, "Start saving Palm Desktop Calendar records.");
  const DWORD nRecords = static_cast<DWORD>(m_pDataMgr->GetCount());
  Log(2, "Total number of records: %d", static_cast<int>(nRecords));
  if (!WriteLong(nRecords * m_nFieldsPerRow)) return false;
  for (DWORD i = 0; i < nRecords; ++i) {
    if (!WriteRecord(m_pDataMgr->GetAt(static_cast<int>(i)))) return false;
  }
  Log(2, "Palm Desktop Calendar records are saved successfully.");
  return true;
}

bool PmDateExUtil::WriteField(const PmDateExRecord* pRec, int nField) {
  switch (nField) {
    case 0:
      return WriteIntField(pRec->nRecordId);
    case 1:
      return WriteIntField(pRec->nSequence);
    case 2:
      return WriteIntField(pRec->nStatus);
    case 3:
      return WriteIntField(pRec->nFieldBase);
    case 4:
      return WriteIntField(pRec->nPlacement);
    case 5:
      return WriteIntField(static_cast<DWORD>(pRec->nCategoryId));
    case 6:
      return WriteIntField(static_cast<DWORD>(pRec->bPrivate));
    case 7:
    case 8:
    case 9:
    case 10:
      return WriteBlobField(&pRec->blobs[nField - 7]);
    case 11:
      return WriteRecordText(this, pRec->szText11);
    case 12:
      return WriteRecordText(this, pRec->szText12);
    case 13:
      return WriteDateField(pRec->nStartTime);
    case 14:
      return WriteDateField(pRec->nEndTime);
    case 15:
      return WriteRecordText(this, pRec->szSummary);
    case 16:
      return WriteIntField(static_cast<DWORD>(pRec->nInt16));
    case 17:
      return WriteRecordText(this, pRec->szNote);
    case 18:
      return WriteBoolField(static_cast<DWORD>(pRec->bUntimed));
    case 19:
      return WriteBoolField(static_cast<DWORD>(pRec->bAlarm));
    case 20:
      return WriteIntField(static_cast<DWORD>(pRec->nAlarmAdvance));
    case 21:
      return WriteIntField(static_cast<DWORD>(pRec->nAlarmUnit));
    case 22:
      return WriteRepeat(pRec);
    case 23:
      return WriteRecordText(this, pRec->szLocation);
    case 24:
      return WriteIntField(static_cast<DWORD>(pRec->nInt24));
    case 25:
      return WriteRecordText(this, pRec->szText25);
    case 26:
      return WriteRecordText(this, pRec->szText26);
    default:
      return true;
  }
}

bool PmDateExUtil::WriteRecord(const PmDateExRecord* pRec) {
  if (pRec == nullptr) return false;
  // A record is written with as many fields as a record of this file is read with; writing
  // another number (the row width, when the schema's two values differ) would shift every
  // later record for the next reader.
  for (int nField = 0; nField < m_nFieldCount; ++nField) {
    if (!WriteField(pRec, nField)) return false;
  }
  return true;
}
