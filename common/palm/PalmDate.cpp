// The datebook of Palm Desktop 4.1 and earlier: loading and saving the whole file. This layout
// logs only the start and the failure of a load, and refusals of damaged input.
#include "common/palm/PalmDate.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "common/misc/CxDebugUtil.h"
#include "common/palm/PalmHotSync.h"
#include "platform/win/WinString.h"

namespace {

constexpr DWORD kDefaultResourceId = 54;
constexpr DWORD kDefaultRecordIdPos = 0;
constexpr DWORD kDefaultStatusPos = 1;
constexpr DWORD kDefaultPlacementPos = 2;
const WORD kDefaultFieldTypes[PM_DATE_FIELDS] = {1, 1, 1, 3, 1, 5, 1, 5, 6, 6, 1, 6, 1, 1, 8};

// Start or end time of a record Palm Desktop has given up on; such records are not loaded.
constexpr DWORD kInvalidTime = 0xFFFFFFFFUL;

template <size_t N>
bool WriteRecordText(PmDBUtil* pDb, const char (&szField)[N]) {
  if (::strnlen(szField, N) < N) return pDb->WriteTextField(szField, 1);
  char szCopy[N];
  CxCopyText(szCopy, szField);
  return pDb->WriteTextField(szCopy, 1);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// PmDateDataMgr

PmDateDataMgr::PmDateDataMgr() = default;

PmDateDataMgr::~PmDateDataMgr() = default;

bool PmDateDataMgr::Add(const PmDateRecord* pRec) {
  if (pRec == nullptr) return false;
  return m_Recs.Push(std::unique_ptr<PmDateRecord>(new (std::nothrow) PmDateRecord(*pRec)));
}

void PmDateDataMgr::Clear() {
  m_Recs.Clear();
}
PmDateRecord* PmDateDataMgr::First() {
  return m_Recs.First();
}
PmDateRecord* PmDateDataMgr::Next() {
  return m_Recs.Next();
}
PmDateRecord* PmDateDataMgr::GetAt(int nPos) {
  return m_Recs.GetAt(nPos);
}
int PmDateDataMgr::GetCount() const {
  return m_Recs.GetCount();
}

// ---------------------------------------------------------------------------------------------
// PmDateUtil

PmDateUtil::PmDateUtil() {
  Init();
}

PmDateUtil::PmDateUtil(const char* szPath) {
  Init();
  m_bLoaded = LoadFile(szPath);
}

PmDateUtil::~PmDateUtil() {
  Close();
}

void PmDateUtil::Init() {
  m_bLoaded = false;
  m_nVersion = PM_DATE_VERSION;
  m_nResourceId = kDefaultResourceId;
  m_nFieldsPerRow = PM_DATE_FIELDS;
  m_nRecordIdPos = kDefaultRecordIdPos;
  m_nStatusPos = kDefaultStatusPos;
  m_nPlacementPos = kDefaultPlacementPos;
  m_nFieldCount = PM_DATE_FIELDS;
  std::memcpy(m_nFieldTypes, kDefaultFieldTypes, sizeof(m_nFieldTypes));
  m_pDataMgr = std::make_unique<PmDateDataMgr>();
  m_pCatMgr.reset();
  m_szHeader[0] = '\0';
}

bool PmDateUtil::LoadByUser(DWORD nUserId) {
  char szFolder[MAX_PATH] = {};
  if (!GetUserDataFolder(nUserId, szFolder, MAX_PATH)) {
    m_Failure.Set(CX_FAIL_NOT_FOUND, "no Palm Desktop data folder for the user %u", nUserId);
    return false;
  }
  char szPath[MAX_PATH];
  std::snprintf(szPath, sizeof(szPath), "%sdatebook/datebook.dat", szFolder);
  return LoadFile(szPath);
}

bool PmDateUtil::LoadFile(const char* szPath) {
  Log(2, "Loading Palm Desktop datebook: %s", szPath != nullptr ? szPath : "");
  bool bOk = BeginLoad(szPath, nullptr) && ReadVersion();
  if (bOk) {
    DWORD nCapacity = PM_FILE_NAME_SIZE;
    bOk = ReadCString(m_szFileName, &nCapacity);
    if (!bOk) FailDamaged("its file name does not read");
  }
  if (bOk) {
    DWORD nCapacity = PM_DATE_HEADER_SIZE;
    bOk = ReadCString(m_szHeader, &nCapacity);
    if (!bOk) FailDamaged("its header text does not read");
  }
  if (bOk && !ReadCategories()) {
    bOk = false;
    FailDamaged("its categories do not read");
  }
  if (bOk && !ReadSchema()) {
    bOk = false;
    FailDamaged("its schema does not read");
  }
  bOk = bOk && ReadRecords() && CheckNothingFollows();
  if (!bOk) Log(0, "Failed to load Palm Desktop datebook: %s", szPath != nullptr ? szPath : "");
  EndLoad(szPath, bOk);
  m_bLoaded = bOk;
  return bOk;
}

bool PmDateUtil::ReadVersion() {
  DWORD nVersion = 0;
  if (ReadLong(&nVersion) && nVersion == m_nVersion) return true;
  char szCheck[64];
  std::snprintf(szCheck, sizeof(szCheck), "version 0x%08x is not 0x%08x", nVersion,
                static_cast<unsigned>(m_nVersion));
  FailNotDatebook(szCheck);
  return false;
}

bool PmDateUtil::ReadCategories() {
  return ReadCategoryBlock(nullptr);
}

bool PmDateUtil::ReadSchema() {
  if (!ReadLong(&m_nResourceId) || !ReadLong(&m_nFieldsPerRow) || !ReadLong(&m_nRecordIdPos) ||
      !ReadLong(&m_nStatusPos) || !ReadLong(&m_nPlacementPos)) {
    return false;
  }
  if (m_nFieldsPerRow == 0) {
    Log(0, "Fields per row of 0 gives no record count.");
    return false;
  }
  WORD nFieldCount = 0;
  if (!ReadShort(&nFieldCount)) return false;
  if (nFieldCount > PM_DATE_FIELDS) {
    Log(0, "Fields Count %d is more than the %d fields of a record.", static_cast<int>(nFieldCount),
        PM_DATE_FIELDS);
    return false;
  }
  m_nFieldCount = nFieldCount;
  for (int i = 0; i < m_nFieldCount; ++i) {
    if (!ReadShort(&m_nFieldTypes[i])) return false;
  }
  return true;
}

bool PmDateUtil::ReadField(PmDateRecord* pRec, int nField) {
  DWORD nValue = 0;
  switch (nField) {
    case 5: {
      char szText[PM_TEXT_FIELD_SIZE];
      if (!ReadTextField(szText, nullptr)) return false;
      CxCopyText(pRec->szDescription, szText);
      return true;
    }
    case 7:
      return ReadTextField(pRec->szNote, nullptr);
    case 14:
      return ReadRepeat(pRec);
    default:
      break;
  }
  if (!ReadIntField(&nValue)) return false;
  const LONG nSigned = static_cast<LONG>(nValue);
  switch (nField) {
    case 0:
      pRec->nRecordId = nValue;
      break;
    case 1:
      pRec->nStatus = nValue;
      break;
    case 2:
      pRec->nPlacement = nValue;
      break;
    case 3:
      pRec->nStartTime = nValue;
      break;
    case 4:
      pRec->nEndTime = nValue;
      break;
    case 6:
      pRec->nInt6 = nSigned;
      break;
    case 8:
      pRec->bUntimed = nSigned;
      break;
    case 9:
      pRec->bPrivate = nSigned;
      break;
    case 10:
      pRec->nCategoryId = nSigned;
      break;
    case 11:
      pRec->bAlarm = nSigned;
      break;
    case 12:
      pRec->nAlarmAdvance = nSigned;
      break;
    default:
      pRec->nAlarmUnit = nSigned;
      break;
  }
  return true;
}

bool PmDateUtil::ReadRecords() {
  m_pDataMgr->Clear();
  DWORD nTotalFields = 0;
  if (!ReadLong(&nTotalFields)) {
    FailDamaged("its record count does not read");
    return false;
  }
  const DWORD nRecordCount = nTotalFields / m_nFieldsPerRow;
  if (nTotalFields % m_nFieldsPerRow != 0) {
    FailDamaged("%u fields are not whole records of %u", nTotalFields, m_nFieldsPerRow);
    return false;
  }
  // Fields past the record's 15 carry nothing; a huge row width must not become a huge loop.
  const DWORD nFieldsRead = m_nFieldsPerRow < PM_DATE_FIELDS ? m_nFieldsPerRow : PM_DATE_FIELDS;

  // Every record must read whole: a datebook loaded without some of its records would be
  // saved without them. Every record reads at least its first field, so a damaged count
  // ends at the end of the file.
  PmDateRecord rec;
  for (DWORD nRecord = 0; nRecord < nRecordCount; ++nRecord) {
    std::memset(&rec, 0, sizeof(rec));
    for (DWORD nField = 0; nField < nFieldsRead; ++nField) {
      if (!ReadField(&rec, static_cast<int>(nField))) {
        FailDamaged("record %u of %u does not read, at byte %u", nRecord + 1, nRecordCount,
                    GetFilePos());
        return false;
      }
    }
    if (rec.nStartTime == kInvalidTime || rec.nEndTime == kInvalidTime) continue;
    if (!m_pDataMgr->Add(&rec)) {
      FailDamaged("out of memory at record %u", nRecord + 1);
      return false;
    }
  }
  return true;
}

bool PmDateUtil::ReadRepeat(PmDateRecord* pRec) {
  return pRec != nullptr && ReadRepeatField(&pRec->repeat);
}

bool PmDateUtil::WriteRepeat(const PmDateRecord* pRec) {
  return pRec != nullptr && WriteRepeatField(&pRec->repeat);
}

bool PmDateUtil::Save() {
  return SaveAs(m_szLoadedPath);
}

bool PmDateUtil::SaveAs(const char* szPath) {
  if (szPath == nullptr || szPath[0] == '\0') return false;
  if (!BeginSave(szPath, nullptr)) return false;
  // A loaded datebook keeps the name stored inside it; a new one is named after its file.
  const char* szName = m_szLoadedPath[0] != '\0' ? m_szFileName : szPath;
  const bool bOk = WriteLong(m_nVersion) && WriteCString(szName) && WriteCString(m_szHeader) &&
                   WriteCategories() && WriteSchema() && WriteRecords() && CommitSave(nullptr);
  if (!bOk) AbortSave();
  return bOk;
}

bool PmDateUtil::WriteCategories() {
  return WriteCategoryBlock(nullptr);
}

bool PmDateUtil::WriteSchema() {
  if (!WriteLong(m_nResourceId) || !WriteLong(m_nFieldsPerRow) || !WriteLong(m_nRecordIdPos) ||
      !WriteLong(m_nStatusPos) || !WriteLong(m_nPlacementPos) || !WriteShort(m_nFieldCount)) {
    return false;
  }
  for (int i = 0; i < m_nFieldCount; ++i) {
    if (!WriteShort(m_nFieldTypes[i])) return false;
  }
  return true;
}

bool PmDateUtil::WriteRecords() {
  CX_ASSERT(m_pDataMgr);
  if (!m_pDataMgr) return false;
  const DWORD nRecords = static_cast<DWORD>(m_pDataMgr->GetCount());
  if (!WriteLong(nRecords * m_nFieldsPerRow)) return false;
  for (DWORD i = 0; i < nRecords; ++i) {
    if (!WriteRecord(m_pDataMgr->GetAt(static_cast<int>(i)))) return false;
  }
  return true;
}

bool PmDateUtil::WriteField(const PmDateRecord* pRec, int nField) {
  switch (nField) {
    case 0:
      return WriteIntField(pRec->nRecordId);
    case 1:
      return WriteIntField(pRec->nStatus);
    case 2:
      return WriteIntField(pRec->nPlacement);
    case 3:
      return WriteDateField(pRec->nStartTime);
    case 4:
      return WriteDateField(pRec->nEndTime);
    case 5:
      return WriteRecordText(this, pRec->szDescription);
    case 6:
      return WriteIntField(static_cast<DWORD>(pRec->nInt6));
    case 7:
      return WriteRecordText(this, pRec->szNote);
    case 8:
      return WriteBoolField(static_cast<DWORD>(pRec->bUntimed));
    case 9:
      return WriteBoolField(static_cast<DWORD>(pRec->bPrivate));
    case 10:
      return WriteIntField(static_cast<DWORD>(pRec->nCategoryId));
    case 11:
      return WriteBoolField(static_cast<DWORD>(pRec->bAlarm));
    case 12:
      return WriteIntField(static_cast<DWORD>(pRec->nAlarmAdvance));
    case 13:
      return WriteIntField(static_cast<DWORD>(pRec->nAlarmUnit));
    case 14:
      return WriteRepeat(pRec);
    default:
      return true;
  }
}

bool PmDateUtil::WriteRecord(const PmDateRecord* pRec) {
  if (pRec == nullptr) return false;
  const DWORD nFields = m_nFieldsPerRow < PM_DATE_FIELDS ? m_nFieldsPerRow : PM_DATE_FIELDS;
  for (DWORD nField = 0; nField < nFields; ++nField) {
    if (!WriteField(pRec, static_cast<int>(nField))) return false;
  }
  return true;
}
