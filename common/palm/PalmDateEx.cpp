// The Palm Desktop 4.1.4 datebook: its field table, its own steps (the magic text, the version
// with its reserved bytes, the file description) and the texts it logs at every step of the
// load and save it shares with the earlier layout.
#include "common/palm/PalmDateEx.h"
#define DB_MODULE "PalmDateEx"
#include <cstring>
#include <iterator>

#include "common/misc/CxDebugUtil.h"

namespace {

const char kMagicText[] = "PalmSG Database00RV";
const BYTE kMagicPrefix[5] = {0xBE, 0xBA, 0xFE, 0xCA, 0x0F};
constexpr DWORD kMagicTextSize = 19;

const WORD kDefaultFieldTypes[PM_DATEEX_FIELDS] = {1, 1, 1, 1, 1, 1, 6, 64, 65, 66, 67, 5, 5, 3,
                                                   3, 5, 1, 5, 6, 6, 1, 1,  8,  5,  1,  5, 5};
// Reserved 1 of a new file: bytes 12-13 read as a short hold 4096 + the record count.
constexpr int kReservedCountLow = 12;
constexpr int kReservedCountHigh = 13;

using Rec = PmDateExRecord;

// The record's fields in file order. Palm Desktop's schema gives the private flag the
// boolean code, but it is written with the integer code, as Palm Desktop itself reads it.
constexpr PmFieldDef<Rec> kFields[] = {
    PmIntField<&Rec::nRecordId>(),                           // 0
    PmIntField<&Rec::nSequence>(),                           // 1
    PmIntField<&Rec::nStatus>(),                             // 2
    PmIntField<&Rec::nFieldBase>(),                          // 3
    PmIntField<&Rec::nPlacement>(),                          // 4
    PmCategoryField<&Rec::nCategoryId, &Rec::szCategory>(),  // 5
    PmIntField<&Rec::bPrivate>(),                            // 6
    PmBlobField<&Rec::blobs, 0>(),                           // 7
    PmBlobField<&Rec::blobs, 1>(),                           // 8
    PmBlobField<&Rec::blobs, 2>(),                           // 9
    PmBlobField<&Rec::blobs, 3>(),                           // 10
    PmTextField<&Rec::szText11>(),                           // 11
    PmTextField<&Rec::szText12>(),                           // 12
    PmDateField<&Rec::nStartTime>(),                         // 13
    PmDateField<&Rec::nEndTime>(),                           // 14
    PmTextField<&Rec::szSummary>(),                          // 15
    PmIntField<&Rec::nInt16>(),                              // 16
    PmTextField<&Rec::szNote>(),                             // 17
    PmBoolField<&Rec::bUntimed>(),                           // 18
    PmBoolField<&Rec::bAlarm>(),                             // 19
    PmIntField<&Rec::nAlarmAdvance>(),                       // 20
    PmIntField<&Rec::nAlarmUnit>(),                          // 21
    PmRepeatField<&Rec::repeat>(),                           // 22
    PmTextField<&Rec::szLocation>(),                         // 23
    PmIntField<&Rec::nInt24>(),                              // 24
    PmTextField<&Rec::szText25>(),                           // 25
    PmTextField<&Rec::szText26>(),                           // 26
};
static_assert(std::size(kFields) == PM_DATEEX_FIELDS, "one row for each field of the record");
static_assert(PM_DATEEX_FIELDS <= PM_MAX_FIELDS, "the schema holds a type for each field");

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

const PmDatebookLayout& PmDateExUtil::Layout() {
  static const PmFileStep kLoadSteps[] = {
      {PmStep(&PmDateExUtil::ReadMagic), "Failed to check magic code.", CX_FAIL_NOT_CALENDAR,
       "no \"PalmSG Database00RV\" magic text"},
      {PmStep(&PmDateExUtil::ReadVersion), "Failed to check database version.", CX_FAIL_NONE,
       nullptr},
      {PmStep(&PmDateExUtil::ReadDescription), "Failed to load database file descriptions.",
       CX_FAIL_DAMAGED, "its file description does not read"},
      {PmStep(&PmDateExUtil::ReadCategories), "Failed to load category information.",
       CX_FAIL_DAMAGED, "its categories do not read"},
      {PmStep(&PmDateExUtil::ReadSchema), "Failed to load database schema information.",
       CX_FAIL_DAMAGED, "its schema does not read"},
      {PmStep(&PmDateExUtil::ReadRecords), "Failed to load Calendar records.", CX_FAIL_DAMAGED,
       "its records do not read"},
  };
  static const PmFileStep kSaveSteps[] = {
      {PmStep(&PmDateExUtil::WriteMagic), "Failed to save magic code information.", CX_FAIL_NONE,
       nullptr},
      {PmStep(&PmDateExUtil::WriteVersion), "Failed to save database version.", CX_FAIL_NONE,
       nullptr},
      {PmStep(&PmDateExUtil::WriteDescription), "Failed to save database file dscriptions.",
       CX_FAIL_NONE, nullptr},
      {PmStep(&PmDateExUtil::WriteCategories), "Failed to save category information.", CX_FAIL_NONE,
       nullptr},
      {PmStep(&PmDateExUtil::WriteSchema), "Failed to save database schema.", CX_FAIL_NONE,
       nullptr},
      {PmStep(&PmDateExUtil::WriteRecords), "Failed to save Calendar records.", CX_FAIL_NONE,
       nullptr},
  };
  static const PmDatebookLayout kLayout = {
      .szModule = DB_MODULE,
      .bVerbose = true,
      .nVersion = PM_DATEEX_VERSION,
      .nResourceId = 54,
      .nFieldsPerRow = PM_DATEEX_FIELDS,
      .nRecordIdPos = 0,
      .nStatusPos = 2,
      .nPlacementPos = 4,
      .fieldTypes = kDefaultFieldTypes,
      .nMaxFields = PM_DATEEX_FIELDS,
      .bRecordWidthIsFieldCount = true,
      .bRefuseCountPastEnd = true,
      .loadSteps = kLoadSteps,
      .saveSteps = kSaveSteps,
      .szLoadingByUser = "Start loading Palm Desktop Calendar by user ID: ",
      .szNoUserFolder = "Failed to get user database path by user ID.",
      .szLoadingUserFile = "Get user file successfully, try loading file:",
      .szLoading = "Loading Palm Desktop Calendar: ",
      .szOpenFailed = "Failed to open file: ",
      .szLoaded = "Palm Desktop Calendar information is loaded successfully.",
      .szLoadFailed = "Load Palm Desktop Calendar failed: ",
      .szSaving = "Saving Palm Desktop Calendar database as file: ",
      .szSaved = "Save Palm Desktop Calendar database successfully.",
      .szSaveFailed = "Failed to save Palm Desktop Calendar database.",
  };
  return kLayout;
}

PmDateExUtil::PmDateExUtil() {
  Init();
}

PmDateExUtil::PmDateExUtil(const char* szPath) {
  Init();
  LoadFile(szPath);
}

PmDateExUtil::~PmDateExUtil() {
  Free();
  Close();
}

bool PmDateExUtil::Init() {
  InitLayout(Layout());
  m_pDataMgr = std::make_unique<PmDateExDataMgr>();
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
  char szPath[MAX_PATH];
  return UserDatebookPath(nUserId, Layout(), szPath) && LoadFile(szPath);
}

bool PmDateExUtil::LoadFile(const char* szPath) {
  if (!m_pDataMgr) m_pDataMgr = std::make_unique<PmDateExDataMgr>();
  return LoadDatebook(szPath, Layout());
}

bool PmDateExUtil::Save() {
  return SaveAs(m_szLoadedPath);
}

bool PmDateExUtil::SaveAs(const char* szPath) {
  return SaveDatebook(szPath, Layout());
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
  if (!CheckVersion(Layout())) return false;
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
  return ReadCategoryBlock(DB_MODULE);
}

bool PmDateExUtil::ReadSchema() {
  return ReadSchemaBlock(Layout());
}

bool PmDateExUtil::ReadRecords() {
  if (!m_pDataMgr) m_pDataMgr = std::make_unique<PmDateExDataMgr>();
  m_pDataMgr->Clear();
  return ReadRecordList(Layout(), [this] {
    // Owned from the start, so a record that fails half-way frees its blob data.
    PmDateExDataMgr::RecordPtr pRec = PmDateExDataMgr::NewRecord();
    if (!pRec) return PM_RECORD_NO_MEMORY;
    if (!ReadFields(kFields, RecordWidth(Layout()), pRec.get())) return PM_RECORD_DAMAGED;
    return m_pDataMgr->AddOwned(std::move(pRec)) ? PM_RECORD_READ : PM_RECORD_NO_MEMORY;
  });
}

bool PmDateExUtil::ReadRepeat(PmDateExRecord* pRec) {
  return pRec != nullptr && ReadRepeatField(&pRec->repeat);
}

bool PmDateExUtil::WriteRepeat(const PmDateExRecord* pRec) {
  return pRec != nullptr && WriteRepeatField(&pRec->repeat);
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
  return WriteCategoryBlock(DB_MODULE);
}

bool PmDateExUtil::WriteSchema() {
  return WriteSchemaBlock(Layout());
}

bool PmDateExUtil::WriteRecords() {
  if (!m_pDataMgr) return false;
  return WriteRecordList(Layout(), static_cast<DWORD>(m_pDataMgr->GetCount()), [this](DWORD i) {
    return WriteRecord(m_pDataMgr->GetAt(static_cast<int>(i)));
  });
}

bool PmDateExUtil::WriteRecord(const PmDateExRecord* pRec) {
  // A record is written with as many fields as a record of this file is read with; writing
  // another number (the row width, when the schema's two values differ) would shift every
  // later record for the next reader.
  return pRec != nullptr && WriteFields(kFields, RecordWidth(Layout()), pRec);
}
