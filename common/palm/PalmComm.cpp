// The load and save both datebook layouts share: the datebook's lock, the stamp of what was
// loaded, the safe replacement with its ".bak", the schema and the record list. The codec,
// the file and its buffers, the categories and the Palm time live beside this file
// (PalmCommCodec, PalmCommFile, PalmCommCategory, PalmCommTime); see PalmComm.h for the
// conventions.
#include "common/palm/PalmComm.h"
#define DB_MODULE "PalmComm"
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "common/misc/CxDebugUtil.h"
#include "common/palm/PalmCommLog.h"
#include "common/palm/PalmHotSync.h"
#include "platform/win/WinFile.h"
#include "platform/win/WinFileOps.h"
#include "platform/win/WinFolder.h"
#include "platform/win/WinString.h"
#include "platform/win/WinSystem.h"

namespace {

// Datebooks this process has already overwritten once (and so kept a ".bak" of).
std::set<std::string>& BackedUpFiles() {
  static std::set<std::string> files;
  return files;
}

// The smallest typed field in the file (type code and a 32-bit value, or an empty blob).
constexpr DWORD kMinFieldBytes = 8;
// The field count of a schema is 16 bits; no row is wider than it can name.
constexpr DWORD kMaxFieldsPerRow = 0xFFFF;

}  // namespace

// ---------------------------------------------------------------------------------------------
// PmDBUtil: construction

PmDBUtil::PmDBUtil()
    : m_hFile(INVALID_HANDLE_VALUE),
      m_szFileName{},
      m_szLoadedPath{},
      m_bLoaded(false),
      m_nVersion(0),
      m_nResourceId(0),
      m_nFieldsPerRow(0),
      m_nRecordIdPos(0),
      m_nStatusPos(0),
      m_nPlacementPos(0),
      m_nFieldCount(0),
      m_nFieldTypes{},
      m_nBufStart(0),
      m_nBufEnd(0),
      m_bWriting(false),
      m_bWriteFailed(false),
      m_nPos(0),
      m_nFileSize(0),
      m_hSaveTarget(INVALID_HANDLE_VALUE),
      m_szSaveTarget{},
      m_bSaving(false),
      m_dwWriteError(ERROR_SUCCESS),
      m_LoadedStamp{},
      m_bStamped(false) {}

PmDBUtil::~PmDBUtil() {
  if (m_bSaving) AbortSave();
  Close();
}

// ---------------------------------------------------------------------------------------------
// PmDBUtil: the datebook's lock and stamp, and saving through a temporary file

void PmDBUtil::RememberLoadedPath(const char* szPath) {
  CxCopyText(m_szLoadedPath, szPath);
}

void PmDBUtil::ReleaseHold() {
  m_Hold.Release();
  m_bStamped = false;
}

bool PmDBUtil::BeginLoad(const char* szPath, const char* szLogModule) {
  m_Failure.Clear();
  m_szLoadedPath[0] = '\0';
  m_bStamped = false;
  m_strLoadingPath = szPath != nullptr ? szPath : "";
  if (szPath == nullptr || szPath[0] == '\0') {
    m_Failure.Set(CX_FAIL_NOT_FOUND, "no file was named");
    return false;
  }
  DWORD dwError = ERROR_SUCCESS;
  if (!m_Hold.Acquire(szPath, &dwError)) {
    m_Failure.SetFileError(dwError, szPath);
    LogAs(szLogModule, 2, "Another DayBridge run holds the datebook: %s", szPath);
    return false;
  }
  // Reading needs no more than read access: a datebook the user may only read still lists.
  if (!Open(szPath, PM_OPEN_READ)) {
    dwError = std::strlen(szPath) >= PM_FILE_NAME_SIZE ? ERROR_PATH_NOT_FOUND : GetLastError();
    m_Failure.SetFileError(dwError, szPath);
    m_Hold.Release();
    return false;
  }
  return true;
}

void PmDBUtil::EndLoad(const char* szPath, bool bLoaded) {
  if (bLoaded) m_bStamped = IsOpen() && CxGetFileStamp(m_hFile, &m_LoadedStamp);
  Close();
  if (bLoaded) {
    m_Failure.Clear();
    RememberLoadedPath(szPath);
  } else {
    m_Hold.Release();
    m_bStamped = false;
    // A step that failed without saying why read past what the file holds.
    if (!m_Failure.IsSet()) FailDamaged("it ends early");
  }
}

void PmDBUtil::FailNotDatebook(const char* szCheck) {
  m_Failure.Set(CX_FAIL_NOT_CALENDAR, "not a Palm Desktop datebook (%s): %s", szCheck,
                m_strLoadingPath.c_str());
}

void PmDBUtil::FailDamaged(const char* szFormat, ...) {
  char szWhat[256];
  va_list args;
  va_start(args, szFormat);
  std::vsnprintf(szWhat, sizeof(szWhat), szFormat, args);
  va_end(args);
  if (m_Failure.IsSet()) return;
  m_Failure.Set(CX_FAIL_DAMAGED, "damaged Palm Desktop datebook (%s): %s", szWhat,
                m_strLoadingPath.c_str());
}

bool PmDBUtil::CheckNothingFollows() {
  const DWORD nLeft = RemainingBytes();
  if (nLeft == 0) return true;
  LogRefusal(nullptr, "%u bytes follow the last record: the record count is wrong.", nLeft);
  FailDamaged("%u bytes follow the records it counts", nLeft);
  return false;
}

const CX_FILE_STAMP* PmDBUtil::ExpectedStamp(const char* szTarget) const {
  if (!m_bStamped || m_szLoadedPath[0] == '\0') return nullptr;
  return CxResolvedPath(szTarget) == CxResolvedPath(m_szLoadedPath) ? &m_LoadedStamp : nullptr;
}

bool PmDBUtil::BeginSave(const char* szTarget, const char* szLogModule) {
  if (m_bSaving) AbortSave();
  Close();
  m_Failure.Clear();
  if (szTarget == nullptr || szTarget[0] == '\0') return false;
  CxCopyText(m_szSaveTarget, szTarget);
  m_bSaving = true;
  if (std::strlen(szTarget) >= PM_FILE_NAME_SIZE) {
    LogAs(szLogModule, 0, "Failed to open file: %s", szTarget);
    m_Failure.SetFileError(ERROR_PATH_NOT_FOUND, szTarget);
    AbortSave();
    return false;
  }
  // A file this object did not load is held for the length of the save.
  DWORD dwError = ERROR_SUCCESS;
  if (!m_Hold.Holds(szTarget) && !m_SaveHold.Acquire(szTarget, &dwError)) {
    LogAs(szLogModule, 0, "Failed to open file: %s", szTarget);
    m_Failure.SetFileError(dwError, szTarget);
    AbortSave();
    return false;
  }
  // The datebook must exist and nobody else may hold it; holding it ourselves until the
  // rename keeps Palm Desktop from opening it half-way through.
  m_hSaveTarget =
      CreateFile(szTarget, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE hReplacement =
      m_hSaveTarget != INVALID_HANDLE_VALUE ? CxCreateReplacement(szTarget) : INVALID_HANDLE_VALUE;
  if (!AdoptHandle(hReplacement, 0)) {
    m_Failure.SetFileError(GetLastError(), szTarget);  // before the log line can change it
    LogAs(szLogModule, 0, "Failed to open file: %s", szTarget);
    AbortSave();
    return false;
  }
  return true;
}

bool PmDBUtil::KeepBackup(const char* szTarget, const char* szLogModule) {
  const std::string strTarget = CxResolvedPath(szTarget);
  if (BackedUpFiles().count(strTarget) != 0) return true;
  const std::string strBackup = strTarget + ".bak";
  // The copy is read through the handle that holds the target for this save.
  std::vector<BYTE> bytes;
  DWORD nHigh = 0;
  const DWORD nSize = GetFileSize(m_hSaveTarget, &nHigh);
  bool bOk = nSize != INVALID_FILE_SIZE && nHigh == 0 &&
             SetFilePointer(m_hSaveTarget, 0, nullptr, FILE_BEGIN) == 0;
  if (bOk && nSize > 0) {
    bytes.resize(nSize);
    DWORD nGot = 0;
    bOk = ReadFile(m_hSaveTarget, bytes.data(), nSize, &nGot, nullptr) && nGot == nSize;
  }
  // The backup is as private as the datebook, and a link planted at its name is replaced,
  // not written through.
  if (bOk)
    bOk = CxReplaceFileContentsAs(strBackup.c_str(), strTarget.c_str(), bytes.data(), bytes.size());
  if (!bOk) {
    m_Failure.SetFileError(GetLastError(), strBackup.c_str());
    LogAs(szLogModule, 0, "Failed to keep a backup copy: %s", strBackup.c_str());
    return false;
  }
  BackedUpFiles().insert(strTarget);
  return true;
}

bool PmDBUtil::CommitSave(const char* szLogModule) {
  if (!m_bSaving || !IsOpen()) return false;
  if (!FlushWriteBuffer()) {
    m_Failure.SetFileError(GetLastError(), m_szSaveTarget);
    LogAs(szLogModule, 0, "Failed to write file: %s", m_szSaveTarget);
    AbortSave();
    return false;
  }
  m_bWriting = false;
  m_nBufEnd = 0;
  // Another program's change is found before the backup is taken, so the backup always
  // holds what this run loaded.
  const CX_FILE_STAMP* pExpected = ExpectedStamp(m_szSaveTarget);
  if (pExpected != nullptr) {
    CX_FILE_STAMP now{};
    if (!CxGetFileStamp(m_hSaveTarget, &now) || !CxSameFileStamp(&now, pExpected)) {
      LogAs(szLogModule, 0, "File changed by another program: %s", m_szSaveTarget);
      m_Failure.SetFileError(ERROR_CX_FILE_CHANGED, m_szSaveTarget);
      AbortSave();
      return false;
    }
  }
  if (!KeepBackup(m_szSaveTarget, szLogModule)) {
    AbortSave();
    return false;
  }
  CX_FILE_STAMP written{};
  const BOOL bCommitted = CxCommitReplacement(m_hFile, pExpected, &written);
  const DWORD dwError = GetLastError();
  m_hFile = INVALID_HANDLE_VALUE;
  if (!bCommitted) {
    LogAs(szLogModule, 0, "Failed to replace file: %s", m_szSaveTarget);
    m_Failure.SetFileError(dwError, m_szSaveTarget);
    AbortSave();
    return false;
  }
  // What this save wrote is what the next save of the loaded file expects to find.
  if (m_szLoadedPath[0] != '\0' &&
      CxResolvedPath(m_szSaveTarget) == CxResolvedPath(m_szLoadedPath)) {
    m_LoadedStamp = written;
    m_bStamped = true;
  }
  EndSave();
  return true;
}

void PmDBUtil::AbortSave() {
  // A write that failed inside a layout's writer says why through the file API.
  if (m_bSaving && !m_Failure.IsSet()) {
    m_Failure.SetFileError(m_dwWriteError != ERROR_SUCCESS ? m_dwWriteError : ERROR_WRITE_FAULT,
                           m_szSaveTarget);
  }
  EndSave();
}

void PmDBUtil::EndSave() {
  if (IsOpen()) {
    m_bWriting = false;  // pending bytes of a failed save are not worth a write
    m_nBufEnd = 0;
    Close();  // an uncommitted replacement is discarded with its handle
  }
  if (m_hSaveTarget != INVALID_HANDLE_VALUE) CloseHandle(m_hSaveTarget);
  m_hSaveTarget = INVALID_HANDLE_VALUE;
  m_SaveHold.Release();
  m_szSaveTarget[0] = '\0';
  m_bSaving = false;
  m_dwWriteError = ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------------------------
// PmDBUtil: the load and save both layouts share

void PmDBUtil::InitLayout(const PmDatebookLayout& layout) {
  m_bLoaded = false;
  m_nVersion = layout.nVersion;
  m_nResourceId = layout.nResourceId;
  m_nFieldsPerRow = layout.nFieldsPerRow;
  m_nRecordIdPos = layout.nRecordIdPos;
  m_nStatusPos = layout.nStatusPos;
  m_nPlacementPos = layout.nPlacementPos;
  m_nFieldCount = static_cast<WORD>(layout.fieldTypes.size());
  std::fill(std::begin(m_nFieldTypes), std::end(m_nFieldTypes), WORD{0});
  std::copy(layout.fieldTypes.begin(), layout.fieldTypes.end(), m_nFieldTypes);
  m_pCatMgr.reset();
}

bool PmDBUtil::RunSteps(const PmDatebookLayout& layout, std::span<const PmFileStep> steps) {
  for (const PmFileStep& step : steps) {
    if ((this->*step.pfnStep)()) continue;
    LogLayoutText(layout, 0, step.szFailLog, "");
    if (step.nFailCode == CX_FAIL_NOT_CALENDAR && !m_Failure.IsSet()) {
      FailNotDatebook(step.szReason);
    } else if (step.nFailCode == CX_FAIL_DAMAGED) {
      FailDamaged("%s", step.szReason);
    }
    return false;
  }
  return true;
}

bool PmDBUtil::UserDatebookPath(DWORD nUserId, const PmDatebookLayout& layout,
                                char (&szPath)[MAX_PATH]) {
  char szUserId[16];
  std::snprintf(szUserId, sizeof(szUserId), "%d", static_cast<int>(nUserId));
  LogLayoutText(layout, 2, layout.szLoadingByUser, szUserId);
  char szFolder[MAX_PATH] = {};
  if (!GetUserDataFolder(nUserId, szFolder, MAX_PATH)) {
    LogLayoutText(layout, 0, layout.szNoUserFolder, "");
    m_Failure.Set(CX_FAIL_NOT_FOUND, "no Palm Desktop data folder for the user %u", nUserId);
    return false;
  }
  const int nLength = std::snprintf(szPath, MAX_PATH, "%sdatebook/datebook.dat", szFolder);
  // A cut path names another file, or none: say why instead of opening it.
  if (nLength < 0 || nLength >= MAX_PATH) {
    szPath[0] = '\0';
    m_Failure.Set(CX_FAIL_NOT_FOUND,
                  "the datebook path in the user's folder %s is longer than %d characters",
                  szFolder, MAX_PATH - 1);
    return false;
  }
  // Windows names files without regard to case: a user folder from Windows (or inside a Wine
  // prefix) may hold "Datebook/DateBook.dat".
  char szMatched[MAX_PATH];
  if (CxMatchPathCase(szPath, szMatched, sizeof szMatched)) lstrcpyn(szPath, szMatched, MAX_PATH);
  LogLayoutText(layout, 2, layout.szLoadingUserFile, szPath);
  return true;
}

bool PmDBUtil::LoadDatebook(const char* szPath, const PmDatebookLayout& layout) {
  const char* szShown = szPath != nullptr ? szPath : "";
  LogLayoutText(layout, 2, layout.szLoading, szShown);
  bool bOk = false;
  if (!BeginLoad(szPath, VerboseModule(layout))) {
    LogLayoutText(layout, 0, layout.szOpenFailed, szShown);
  } else {
    bOk = RunSteps(layout, layout.loadSteps) && CheckNothingFollows();
  }
  if (bOk) {
    LogLayoutText(layout, 2, layout.szLoaded, "");
  } else {
    LogLayoutText(layout, 0, layout.szLoadFailed, szShown);
  }
  EndLoad(szPath, bOk);
  m_bLoaded = bOk;
  return bOk;
}

bool PmDBUtil::SaveDatebook(const char* szPath, const PmDatebookLayout& layout) {
  if (szPath == nullptr || szPath[0] == '\0') return false;
  LogLayoutText(layout, 2, layout.szSaving, szPath);
  bool bOk = BeginSave(szPath, VerboseModule(layout));
  if (bOk) {
    bOk = RunSteps(layout, layout.saveSteps) && CommitSave(VerboseModule(layout));
    if (!bOk) AbortSave();
  }
  if (!bOk) {
    LogLayoutText(layout, 0, layout.szSaveFailed, "");
    return false;
  }
  LogLayoutText(layout, 2, layout.szSaved, "");
  return true;
}

bool PmDBUtil::CheckVersion(const PmDatebookLayout& layout) {
  const char* szVerbose = VerboseModule(layout);
  LogAs(szVerbose, 2, "Start checking Palm Desktop Calendar database file version.");
  DWORD nVersion = 0;
  if (!ReadLong(&nVersion) || nVersion != m_nVersion) {
    LogAs(szVerbose, 0, "Incorrect database version:%d", static_cast<int>(nVersion));
    char szCheck[64];
    std::snprintf(szCheck, sizeof(szCheck), "version 0x%08x is not 0x%08x", nVersion,
                  static_cast<unsigned>(m_nVersion));
    FailNotDatebook(szCheck);
    return false;
  }
  LogAs(szVerbose, 2, "Database version: %d", static_cast<int>(nVersion));
  return true;
}

bool PmDBUtil::ReadSchemaBlock(const PmDatebookLayout& layout) {
  const char* szVerbose = VerboseModule(layout);
  LogAs(szVerbose, 2, "Start loading Palm Desktop Calendar database schema.");
  if (!ReadLong(&m_nResourceId)) {
    LogAs(szVerbose, 0, "Failed to read resource ID.");
    return false;
  }
  LogAs(szVerbose, 2, "Resource ID:%d", static_cast<int>(m_nResourceId));
  if (!ReadLong(&m_nFieldsPerRow)) {
    LogAs(szVerbose, 0, "Failed to read fields per row.");
    return false;
  }
  LogAs(szVerbose, 2, "Fields Per Row:%d", static_cast<int>(m_nFieldsPerRow));
  if (m_nFieldsPerRow == 0) {
    LogRefusal(layout.szModule, "Fields per row of 0 gives no record count.");
    return false;
  }
  // A row may be wider than the fields a record reads, but never wider than a field count
  // can name: such a header describes no datebook (one changed byte makes it), and would load
  // as a wrong record count, often none, then be saved with a total that reads back as none.
  if (m_nFieldsPerRow > kMaxFieldsPerRow) {
    LogRefusal(layout.szModule, "Fields per row %u is more than a field count can name.",
               m_nFieldsPerRow);
    FailDamaged("%u fields per row describe no datebook", m_nFieldsPerRow);
    return false;
  }
  if (!ReadLong(&m_nRecordIdPos)) {
    LogAs(szVerbose, 0, "Failed to read Record ID Position.");
    return false;
  }
  LogAs(szVerbose, 0, "Record ID Position:%d", static_cast<int>(m_nRecordIdPos));
  if (!ReadLong(&m_nStatusPos)) {
    LogAs(szVerbose, 0, "Failed to read Record Status Position.");
    return false;
  }
  LogAs(szVerbose, 2, "Record Status Position:%d", static_cast<int>(m_nStatusPos));
  if (!ReadLong(&m_nPlacementPos)) {
    LogAs(szVerbose, 0, "Failed to read Placement Position.");
    return false;
  }
  LogAs(szVerbose, 0, "Placement Position:%d", static_cast<int>(m_nPlacementPos));
  WORD nFieldCount = 0;
  if (!ReadShort(&nFieldCount)) {
    LogAs(szVerbose, 0, "Failed to read Fields Count.");
    return false;
  }
  LogAs(szVerbose, 2, "Fields Count:%d", static_cast<int>(nFieldCount));
  if (nFieldCount > layout.nMaxFields) {
    LogRefusal(layout.szModule, "Fields Count %d is more than the %d fields of a record.",
               static_cast<int>(nFieldCount), static_cast<int>(layout.nMaxFields));
    return false;
  }
  m_nFieldCount = nFieldCount;
  for (int i = 0; i < m_nFieldCount; ++i) {
    if (!ReadShort(&m_nFieldTypes[i])) {
      LogAs(szVerbose, 0, "Failed to read Field Type. Index=%d", i);
      return false;
    }
    LogAs(szVerbose, 0, "Field (%d) - %d", i + 1, static_cast<int>(m_nFieldTypes[i]));
  }
  LogAs(szVerbose, 2, "Palm Desktop Calendar database schema is loaded successfully.");
  return true;
}

bool PmDBUtil::WriteSchemaBlock(const PmDatebookLayout& layout) {
  const char* szVerbose = VerboseModule(layout);
  LogAs(szVerbose, 2, "Start saving Palm Desktop Calendar database schema.");
  if (!WriteLong(m_nResourceId) || !WriteLong(m_nFieldsPerRow) || !WriteLong(m_nRecordIdPos) ||
      !WriteLong(m_nStatusPos) || !WriteLong(m_nPlacementPos) || !WriteShort(m_nFieldCount)) {
    return false;
  }
  for (int i = 0; i < m_nFieldCount; ++i) {
    if (!WriteShort(m_nFieldTypes[i])) return false;
  }
  LogAs(szVerbose, 2, "Palm Desktop Calendar database schema is saved successfully.");
  return true;
}

DWORD PmDBUtil::RecordWidth(const PmDatebookLayout& layout) const {
  if (layout.bRecordWidthIsFieldCount) return m_nFieldCount;
  return m_nFieldsPerRow < layout.nMaxFields ? m_nFieldsPerRow : layout.nMaxFields;
}

bool PmDBUtil::ReadRecordList(const PmDatebookLayout& layout,
                              const std::function<int()>& fnReadRecord) {
  const char* szVerbose = VerboseModule(layout);
  LogAs(szVerbose, 2, "Start loading Palm Desktop Calendar records.");
  DWORD nTotalFields = 0;
  if (!ReadLong(&nTotalFields)) {
    LogAs(szVerbose, 0, "Failed to read total fields count.");
    return false;
  }
  LogAs(szVerbose, 2, "Total Fields: %d", static_cast<int>(nTotalFields));
  const DWORD nRecordCount = nTotalFields / m_nFieldsPerRow;
  LogAs(szVerbose, 2, "Calculated Record Count: %d", static_cast<int>(nRecordCount));
  const DWORD nWidth = RecordWidth(layout);
  // Records of no fields would all be empty and could not be told from one another.
  if (nRecordCount > 0 && nWidth == 0) {
    LogRefusal(layout.szModule, "Records of 0 fields cannot be read.");
    return false;
  }
  // Every field takes at least 8 bytes, so a count the rest of the file cannot hold is
  // damage; refusing it up front keeps a huge count from running the loop below (and its
  // error line per record) billions of times.
  if (layout.bRefuseCountPastEnd &&
      nRecordCount * static_cast<unsigned long long>(kMinFieldBytes * nWidth) > RemainingBytes()) {
    LogRefusal(layout.szModule, "Record count %u does not fit the %u bytes left in the file.",
               nRecordCount, RemainingBytes());
    FailDamaged("%u records cannot fit the %u bytes left", nRecordCount, RemainingBytes());
    return false;
  }
  if (nTotalFields % m_nFieldsPerRow != 0) {
    LogAs(szVerbose, 0, "Total fields %u are not a whole number of rows of %u.", nTotalFields,
          m_nFieldsPerRow);
    FailDamaged("%u fields are not whole records of %u", nTotalFields, m_nFieldsPerRow);
    return false;
  }

  // Every record must read whole: a datebook loaded without some of its records would be
  // saved without them. Every record reads at least its first field, so a damaged count
  // ends at the end of the file.
  bool bFailed = false;
  for (DWORD nRecord = 0; nRecord < nRecordCount; ++nRecord) {
    if (bFailed) {
      // A verbose layout reports each record it could not read.
      if (szVerbose == nullptr) break;
      LogAs(szVerbose, 0, "Error reading Palm Desktop Calendar, current file position: %d",
            static_cast<int>(GetFilePos()));
      continue;
    }
    const int nResult = fnReadRecord();
    if (nResult == PM_RECORD_READ) continue;
    bFailed = true;
    LogAs(szVerbose, 0, "Error reading Palm Desktop Calendar, current file position: %d",
          static_cast<int>(GetFilePos()));
    if (nResult == PM_RECORD_NO_MEMORY) {
      FailDamaged("out of memory at record %u", nRecord + 1);
    } else {
      FailDamaged("record %u of %u does not read, at byte %u", nRecord + 1, nRecordCount,
                  GetFilePos());
    }
  }
  if (bFailed) {
    LogAs(szVerbose, 0, "Palm Desktop Calendar records are not saved successfully.");
    return false;
  }
  LogAs(szVerbose, 2, "Palm Desktop Calendar records information is saved successfully.");
  return true;
}

bool PmDBUtil::WriteRecordList(const PmDatebookLayout& layout, DWORD nRecords,
                               const std::function<bool(DWORD)>& fnWriteRecord) {
  const char* szVerbose = VerboseModule(layout);
  LogAs(szVerbose, 2, "Start saving Palm Desktop Calendar records.");
  LogAs(szVerbose, 2, "Total number of records: %d", static_cast<int>(nRecords));
  // A total that does not fit its field would be read back as another record count.
  if (m_nFieldsPerRow != 0 && nRecords > 0xFFFFFFFFu / m_nFieldsPerRow) return false;
  if (!WriteLong(nRecords * m_nFieldsPerRow)) return false;
  for (DWORD nRecord = 0; nRecord < nRecords; ++nRecord) {
    if (!fnWriteRecord(nRecord)) return false;
  }
  LogAs(szVerbose, 2, "Palm Desktop Calendar records are saved successfully.");
  return true;
}
