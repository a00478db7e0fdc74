// The datebook of Palm Desktop 4.1 and earlier: its field table, its own steps (the version,
// the file name and the header text) and its defaults. This layout logs only the start and
// the failure of a load, and refusals of damaged input.
#include "common/palm/PalmDate.h"
#define DB_MODULE "PalmDate"
#include <cstring>
#include <iterator>
#include <new>

#include "common/misc/CxDebugUtil.h"
#include "platform/win/WinString.h"

namespace {

const WORD kDefaultFieldTypes[PM_DATE_FIELDS] = {1, 1, 1, 3, 1, 5, 1, 5, 6, 6, 1, 6, 1, 1, 8};

// Start or end time of a record Palm Desktop has given up on; such records are not loaded.
constexpr DWORD kInvalidTime = 0xFFFFFFFFUL;

using Rec = PmDateRecord;

// The record's fields in file order. The schema gives the end time the integer code and
// the flags the boolean code; times are written with the date code whatever the schema says.
constexpr PmFieldDef<Rec> kFields[] = {
    PmIntField<&Rec::nRecordId>(),       // 0
    PmIntField<&Rec::nStatus>(),         // 1
    PmIntField<&Rec::nPlacement>(),      // 2
    PmDateField<&Rec::nStartTime>(),     // 3
    PmDateField<&Rec::nEndTime>(),       // 4
    PmTextField<&Rec::szDescription>(),  // 5
    PmIntField<&Rec::nInt6>(),           // 6
    PmTextField<&Rec::szNote>(),         // 7
    PmBoolField<&Rec::bUntimed>(),       // 8
    PmBoolField<&Rec::bPrivate>(),       // 9
    PmIntField<&Rec::nCategoryId>(),     // 10: the name is looked up by the conversion
    PmBoolField<&Rec::bAlarm>(),         // 11
    PmIntField<&Rec::nAlarmAdvance>(),   // 12
    PmIntField<&Rec::nAlarmUnit>(),      // 13
    PmRepeatField<&Rec::repeat>(),       // 14
};
static_assert(std::size(kFields) == PM_DATE_FIELDS, "one row for each field of the record");
static_assert(PM_DATE_FIELDS <= PM_MAX_FIELDS, "the schema holds a type for each field");

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

const PmDatebookLayout& PmDateUtil::Layout() {
  static const PmFileStep kLoadSteps[] = {
      {PmStep(&PmDateUtil::ReadVersion), nullptr, CX_FAIL_NONE, nullptr},
      {PmStep(&PmDateUtil::ReadFileName), nullptr, CX_FAIL_DAMAGED, "its file name does not read"},
      {PmStep(&PmDateUtil::ReadHeaderText), nullptr, CX_FAIL_DAMAGED,
       "its header text does not read"},
      {PmStep(&PmDateUtil::ReadCategories), nullptr, CX_FAIL_DAMAGED, "its categories do not read"},
      {PmStep(&PmDateUtil::ReadSchema), nullptr, CX_FAIL_DAMAGED, "its schema does not read"},
      {PmStep(&PmDateUtil::ReadRecords), nullptr, CX_FAIL_DAMAGED,
       "its record count does not read"},
  };
  static const PmFileStep kSaveSteps[] = {
      {PmStep(&PmDateUtil::WriteVersion), nullptr, CX_FAIL_NONE, nullptr},
      {PmStep(&PmDateUtil::WriteFileName), nullptr, CX_FAIL_NONE, nullptr},
      {PmStep(&PmDateUtil::WriteHeaderText), nullptr, CX_FAIL_NONE, nullptr},
      {PmStep(&PmDateUtil::WriteCategories), nullptr, CX_FAIL_NONE, nullptr},
      {PmStep(&PmDateUtil::WriteSchema), nullptr, CX_FAIL_NONE, nullptr},
      {PmStep(&PmDateUtil::WriteRecords), nullptr, CX_FAIL_NONE, nullptr},
  };
  static const PmDatebookLayout kLayout = {
      .szModule = DB_MODULE,
      .bVerbose = false,
      .nVersion = PM_DATE_VERSION,
      .nResourceId = 54,
      .nFieldsPerRow = PM_DATE_FIELDS,
      .nRecordIdPos = 0,
      .nStatusPos = 1,
      .nPlacementPos = 2,
      .fieldTypes = kDefaultFieldTypes,
      .nMaxFields = PM_DATE_FIELDS,
      .bRecordWidthIsFieldCount = false,
      .bRefuseCountPastEnd = false,
      .loadSteps = kLoadSteps,
      .saveSteps = kSaveSteps,
      .szLoadingByUser = nullptr,
      .szNoUserFolder = nullptr,
      .szLoadingUserFile = nullptr,
      .szLoading = "Loading Palm Desktop datebook: ",
      .szOpenFailed = nullptr,
      .szLoaded = nullptr,
      .szLoadFailed = "Failed to load Palm Desktop datebook: ",
      .szSaving = nullptr,
      .szSaved = nullptr,
      .szSaveFailed = nullptr,
  };
  return kLayout;
}

PmDateUtil::PmDateUtil() {
  Init();
}

PmDateUtil::PmDateUtil(const char* szPath) {
  Init();
  LoadFile(szPath);
}

PmDateUtil::~PmDateUtil() {
  Close();
}

void PmDateUtil::Init() {
  InitLayout(Layout());
  m_pDataMgr = std::make_unique<PmDateDataMgr>();
  m_szHeader[0] = '\0';
}

bool PmDateUtil::LoadByUser(DWORD nUserId) {
  char szPath[MAX_PATH];
  return UserDatebookPath(nUserId, Layout(), szPath) && LoadFile(szPath);
}

bool PmDateUtil::LoadFile(const char* szPath) {
  return LoadDatebook(szPath, Layout());
}

bool PmDateUtil::ReadVersion() {
  return CheckVersion(Layout());
}

bool PmDateUtil::ReadFileName() {
  DWORD nCapacity = PM_FILE_NAME_SIZE;
  return ReadCString(m_szFileName, &nCapacity);
}

bool PmDateUtil::ReadHeaderText() {
  DWORD nCapacity = PM_DATE_HEADER_SIZE;
  return ReadCString(m_szHeader, &nCapacity);
}

bool PmDateUtil::ReadCategories() {
  return ReadCategoryBlock(nullptr);
}

bool PmDateUtil::ReadSchema() {
  return ReadSchemaBlock(Layout());
}

bool PmDateUtil::ReadRecords() {
  m_pDataMgr->Clear();
  PmDateRecord rec;
  return ReadRecordList(Layout(), [this, &rec] {
    std::memset(&rec, 0, sizeof(rec));
    if (!ReadFields(kFields, RecordWidth(Layout()), &rec)) return PM_RECORD_DAMAGED;
    if (rec.nStartTime == kInvalidTime || rec.nEndTime == kInvalidTime) return PM_RECORD_READ;
    return m_pDataMgr->Add(&rec) ? PM_RECORD_READ : PM_RECORD_NO_MEMORY;
  });
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
  return SaveDatebook(szPath, Layout());
}

bool PmDateUtil::WriteVersion() {
  return WriteLong(m_nVersion);
}

bool PmDateUtil::WriteFileName() {
  // A loaded datebook keeps the name stored inside it; a new one is named after its file.
  return WriteCString(m_szLoadedPath[0] != '\0' ? m_szFileName : GetSaveTarget());
}

bool PmDateUtil::WriteHeaderText() {
  return WriteCString(m_szHeader);
}

bool PmDateUtil::WriteCategories() {
  return WriteCategoryBlock(nullptr);
}

bool PmDateUtil::WriteSchema() {
  return WriteSchemaBlock(Layout());
}

bool PmDateUtil::WriteRecords() {
  CX_ASSERT(m_pDataMgr);
  if (!m_pDataMgr) return false;
  return WriteRecordList(Layout(), static_cast<DWORD>(m_pDataMgr->GetCount()), [this](DWORD i) {
    return WriteRecord(m_pDataMgr->GetAt(static_cast<int>(i)));
  });
}

bool PmDateUtil::WriteRecord(const PmDateRecord* pRec) {
  return pRec != nullptr && WriteFields(kFields, RecordWidth(Layout()), pRec);
}
