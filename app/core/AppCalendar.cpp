// Calendar initialization and the calendar state of the main window.
#include "app/core/AppCalendar.h"
#define DB_MODULE "AppCalendar"
#include <cstddef>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "app/core/AppMessages.h"
#include "app/core/AppPaths.h"
#include "app/core/PalmUsers.h"
#include "common/misc/CxDebugUtil.h"
#include "common/outlook/OlDate.h"
#include "common/palm/PalmDateInfo.h"
#include "platform/automation/ComRuntime.h"
#include "platform/jet/StateDb.h"
#include "platform/outlook/OutlookServer.h"
#include "platform/win/WinFileOps.h"
#include "platform/win/WinOs.h"
#include "platform/win/WinReplace.h"
#include "platform/win/WinSystem.h"

namespace {

// The set position of a record the set handed out; -1 when it is not there.
int PositionOf(CommDateMgr* pSet, const CommDate* pDate) {
  if (pSet == nullptr || pDate == nullptr) return -1;
  int nPos = 0;
  for (CommDate* p = pSet->GetFirst(); p != nullptr; p = pSet->GetNext(), ++nPos) {
    if (p == pDate) return nPos;
  }
  return -1;
}

std::string HashText(const std::string& strText) {
  unsigned long long nHash = 1469598103934665603ULL;
  for (unsigned char c : strText) {
    nHash ^= c;
    nHash *= 1099511628211ULL;
  }
  char szHex[24];
  snprintf(szHex, sizeof(szHex), "%016llx", nHash);
  return szHex;
}

// A calendar file under this size reads in a few milliseconds.
constexpr DWORD kThreadWorthyBytes = 64 * 1024;

// Whether reading the Outlook calendar takes long enough to read Palm's beside it. A file that
// is not there or nearly empty (a first synchronization) reads in no time: a second thread
// would only cost, since the allocator then takes its locks for the rest of the run.
bool OutlookWorthAThread() {
  const std::string strPath = OutlookCalendarPath();
  if (OutlookCalendarIsOnServer(strPath)) return true;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesEx(strPath.c_str(), GetFileExInfoStandard, &data)) return false;
  return data.nFileSizeHigh != 0 || data.nFileSizeLow >= kThreadWorthyBytes;
}

}  // namespace

AppCalendar::AppCalendar() = default;

AppCalendar::~AppCalendar() {
  Free();
}

void AppCalendar::Free() {
  m_pPalm.reset();
  m_pOutlook.reset();
  m_pPalmSel.reset();
  m_pOutlookSel.reset();
  m_bPalmLoaded = false;
  m_bOutlookLoaded = false;
}

bool AppCalendar::Init(TAppSettings& settings, CxList& users, const char* szPalmFile) {
  // Nothing below throws by design; an allocation failure is the one exception that can
  // still arrive, and it ends the initialization where it happened.
  m_pSettings = &settings;
  m_strPalmFile = szPalmFile != nullptr ? szPalmFile : "";
  m_bTrack = settings.TrackChanges != 0;
  m_nPlannedMode = -1;
  try {
    OutlookServerUseCalendar(settings.OutlookCalendar);
    m_pPalm = std::make_unique<PmDateInfo>();
    auto progress = [this](int nPercent) {
      if (m_LoadProgress) m_LoadProgress(nPercent);
    };
    ChoosePalmUser(settings, users);
    if (CxOsFaultPlanned() || !OutlookWorthAThread()) {
      m_pOutlook = std::make_unique<OlDateUtil>();
      LoadPalm(settings, szPalmFile);
      progress(45);
      LoadOutlook();
    } else {
      LoadBothAtOnce(settings, szPalmFile);
      progress(45);
    }
    progress(90);
    MatchAll();
    progress(100);
    m_pPalmSel = std::make_unique<CxList>();
    m_pOutlookSel = std::make_unique<CxList>();
  } catch (const std::exception& e) {
    Log(0, "Calendar initialization stopped: %s", e.what());
    ShowUserError(MSG_CALENDAR_INIT_FAILED);
    return false;
  }
  return true;
}

// The Palm calendar is read on a second thread while this one opens and reads Outlook: the two
// share nothing but the log and the platform's locked tables (files, registry, clock). Outlook
// stays on the calling thread, whose apartment its objects belong to, and so do the callers'
// callbacks. Each side holds its log lines, which are written once both are done in the order
// a load one after the other wrote them (Outlook's connection, the Palm load, Outlook's load).
void AppCalendar::LoadBothAtOnce(const TAppSettings& settings, const char* szPalmFile) {
  std::vector<std::string> vPalmLines;
  std::vector<std::string> vOutlookLines;
  std::exception_ptr pPalmError;
  std::exception_ptr pOutlookError;
  {
    std::jthread palm([&] {
      // The 6.x database is read through database objects that, like any automation object,
      // want an apartment on the thread that uses them.
      const bool bComInit = SUCCEEDED(CoInitialize(nullptr));
      g_DebugLog.HoldLines(&vPalmLines);
      try {
        LoadPalm(settings, szPalmFile);
      } catch (...) {
        pPalmError = std::current_exception();
      }
      g_DebugLog.HoldLines(nullptr);
      if (bComInit) CoUninitialize();
    });
    struct HeldHere {
      explicit HeldHere(std::vector<std::string>* pLines) { g_DebugLog.HoldLines(pLines); }
      ~HeldHere() { g_DebugLog.HoldLines(nullptr); }
    };
    try {
      m_pOutlook = std::make_unique<OlDateUtil>();
      HeldHere held(&vOutlookLines);
      LoadOutlook();
    } catch (...) {
      pOutlookError = std::current_exception();
    }
  }
  // The lines come out even when a side stopped: they tell how far it got.
  g_DebugLog.WriteHeld(vPalmLines);
  g_DebugLog.WriteHeld(vOutlookLines);
  if (pPalmError) std::rethrow_exception(pPalmError);
  if (pOutlookError) std::rethrow_exception(pOutlookError);
}

bool AppCalendar::LoadPalm(const TAppSettings& settings, const char* szPalmFile) {
  m_bPalmLoaded = false;
  if (!m_pPalm) return false;
  if (szPalmFile != nullptr && szPalmFile[0] != '\0') {
    m_bPalmLoaded = m_pPalm->LoadFile(szPalmFile);
  } else if (settings.UseDateFile) {
    m_bPalmLoaded = m_pPalm->LoadFile(settings.DateFileName);
  } else {
    m_bPalmLoaded = m_pPalm->LoadByUser(static_cast<DWORD>(settings.PDUserID));
  }
  return m_bPalmLoaded;
}

bool AppCalendar::LoadOutlook() {
  m_bOutlookLoaded = m_pOutlook && m_pOutlook->Load();
  m_strOutlookNote = m_bOutlookLoaded ? OutlookServerLoadNote() : std::string();
  return m_bOutlookLoaded;
}

int AppCalendar::GetPalmKind() const {
  return m_pPalm ? m_pPalm->GetLoadedKind() : 0;
}

CommDateMgr* AppCalendar::GetPalmSet() {
  return m_pPalm ? m_pPalm->GetRecordSet() : nullptr;
}

CommDateMgr* AppCalendar::GetOutlookSet() {
  return m_pOutlook ? m_pOutlook->GetRecordSet() : nullptr;
}

bool AppCalendar::MatchAll() {
  CommDateMgr* pPalmSet = GetPalmSet();
  CommDateMgr* pOutlookSet = GetOutlookSet();
  if (pPalmSet == nullptr || pOutlookSet == nullptr) return false;
  // The earlier datebook has no location field, so a location never reaches it: comparing
  // locations would keep such pairs "changed" and transfer them again on every run. Its pairs
  // are told apart by the identity keys alone (the description, equal by then, stands in).
  static const int kWithoutLocation[] = {FIELD_DESCRIPTION};
  const bool bNoLocation = m_pPalm && m_pPalm->GetLoadedKind() == PALM_KIND_DATEBOOK;
  for (CommDateMgr* pSet : {pPalmSet, pOutlookSet}) {
    if (bNoLocation) {
      pSet->SetEqualityKeys(kWithoutLocation, 1);
    } else {
      pSet->SetEqualityKeys(nullptr, 0);
    }
  }
  pOutlookSet->MarkAll(pPalmSet);
  pPalmSet->MarkAll(pOutlookSet);
  m_nPlannedMode = -1;
  if (m_bTrack && m_pSettings != nullptr) PlanTracked(m_pSettings->SyncMode);
  return true;
}

std::string AppCalendar::GetStatePath() const {
  char szFolder[MAX_PATH];
  if (m_pSettings == nullptr || !GetDataFolder(szFolder)) return std::string();
  // One file per pair of calendars: a Palm calendar (a file, or a user's) with an Outlook
  // calendar.
  std::string strPalm = !m_strPalmFile.empty() ? "file:" + m_strPalmFile
                        : m_pSettings->UseDateFile
                            ? std::string("file:") + m_pSettings->DateFileName
                            : "user:" + std::to_string(m_pSettings->PDUserID);
  return std::string(szFolder) + "syncstate-" + HashText(strPalm + "|" + OutlookCalendarPath()) +
         ".db";
}

void AppCalendar::GatherTrackRecords(std::vector<TrackRecord>& vPalm,
                                     std::vector<TrackRecord>& vOutlook) {
  vPalm.clear();
  vOutlook.clear();
  const int nKind = GetPalmKind();
  if (CommDateMgr* pSet = GetPalmSet()) {
    int nPos = 0;
    for (CommDate* p = pSet->GetFirst(); p != nullptr; p = pSet->GetNext(), ++nPos) {
      vPalm.push_back({p, m_pPalm->GetRecordKey(nPos), TrackPrint(p, nKind)});
    }
  }
  if (CommDateMgr* pSet = GetOutlookSet()) {
    // Only the image's head is read: the EntryID comes before the long texts.
    constexpr UINT kHead = offsetof(OlDateItem, szEntryID) + sizeof(OlDateItem::szEntryID);
    auto pHead = std::make_unique<char[]>(kHead);
    for (CommDate* p = pSet->GetFirst(); p != nullptr; p = pSet->GetNext()) {
      std::string strKey;
      if (PeekExtra(p, pHead.get(), kHead)) {
        const char* szId = pHead.get() + offsetof(OlDateItem, szEntryID);
        strKey.assign(szId, strnlen(szId, sizeof(OlDateItem::szEntryID)));
      }
      vOutlook.push_back({p, strKey, TrackPrint(p, nKind)});
    }
  }
}

void AppCalendar::PlanTracked(int nSyncMode) {
  std::vector<TrackRecord> vPalm;
  std::vector<TrackRecord> vOutlook;
  GatherTrackRecords(vPalm, vOutlook);
  std::vector<StateDbRow> vState;
  std::string strWhy;
  const std::string strPath = GetStatePath();
  // No memory (the first run, or a file that cannot be read) means pairing afresh.
  if (!strPath.empty() && !StateDbRead(strPath.c_str(), vState, &strWhy)) {
    Log(2, "No synchronization state (%s): appointments are paired by their contents.",
        strWhy.c_str());
  }
  BuildTrackPlan(vPalm, vOutlook, std::move(vState), nSyncMode, m_bAllowMassDelete, m_Plan);
  m_nPlannedMode = nSyncMode;
}

TrackPlan* AppCalendar::GetTrackPlan(int nSyncMode) {
  if (!m_bTrack || GetPalmSet() == nullptr || GetOutlookSet() == nullptr) return nullptr;
  if (nSyncMode != m_nPlannedMode) PlanTracked(nSyncMode);
  return &m_Plan;
}

bool AppCalendar::TrackAdd(CommDate* pDate, bool bToOutlook) {
  if (bToOutlook) return m_pOutlook && m_pOutlook->AddNew(pDate);
  return m_pPalm && m_pPalm->AddRecord(pDate);
}

bool AppCalendar::TrackUpdate(CommDate* pFrom, CommDate* pTarget, bool bInOutlook) {
  const int nPos = PositionOf(bInOutlook ? GetOutlookSet() : GetPalmSet(), pTarget);
  if (nPos < 0) return false;
  if (bInOutlook) return m_pOutlook && m_pOutlook->UpdateAt(pFrom, pTarget, nPos);
  return m_pPalm && m_pPalm->UpdateRecord(pFrom, nPos);
}

bool AppCalendar::TrackDelete(CommDate* pTarget, bool bInOutlook) {
  const int nPos = PositionOf(bInOutlook ? GetOutlookSet() : GetPalmSet(), pTarget);
  if (nPos < 0) return false;
  if (bInOutlook) return m_pOutlook && m_pOutlook->DeleteItem(nPos);
  return m_pPalm && m_pPalm->DeleteRecord(nPos);
}

bool AppCalendar::TrackRemember(TrackPlan& plan) {
  if (!m_bTrack || m_pSettings == nullptr) return false;
  const std::string strPath = GetStatePath();
  if (strPath.empty()) return false;
  // The selection lists point into the sets that are about to be read again.
  if (m_pPalmSel) m_pPalmSel->RemoveAll(false);
  if (m_pOutlookSel) m_pOutlookSel->RemoveAll(false);
  // What is remembered is what the saved calendars hold, read back, never what this run
  // believes it wrote.
  if (!LoadPalm(*m_pSettings, m_strPalmFile.empty() ? nullptr : m_strPalmFile.c_str()) ||
      !LoadOutlook()) {
    Log(0, "The calendars could not be read back; the synchronization state is left as it was.");
    return false;
  }
  std::vector<TrackRecord> vPalm;
  std::vector<TrackRecord> vOutlook;
  GatherTrackRecords(vPalm, vOutlook);
  std::vector<StateDbRow> vRows;
  BuildTrackState(plan, vPalm, vOutlook, vRows);
  std::string strWhy;
  const bool bOk = StateDbWrite(strPath.c_str(), vRows, &strWhy);
  if (!bOk) Log(0, "Failed to write the synchronization state: %s", strWhy.c_str());
  MatchAll();
  return bOk;
}

bool AppCalendar::DayHasRecords(const SYSTEMTIME* pDay) {
  if (pDay == nullptr) return false;
  CommDateMgr* sets[] = {GetPalmSet(), GetOutlookSet()};
  for (CommDateMgr* pSet : sets) {
    if (pSet == nullptr) continue;
    for (CommDate* pDate = pSet->GetFirst(); pDate != nullptr; pDate = pSet->GetNext()) {
      if (OccursOnDay(pDate, pDay)) return true;
    }
  }
  return false;
}

void AppCalendar::RecordsOfDay(CommDateMgr* pSet, const SYSTEMTIME* pDay,
                               std::vector<CommDate*>& vRecords) {
  vRecords.clear();
  if (pSet == nullptr || pDay == nullptr) return;
  for (CommDate* pDate = pSet->GetFirst(); pDate != nullptr; pDate = pSet->GetNext()) {
    if (OccursOnDay(pDate, pDay)) vRecords.push_back(pDate);
  }
}

bool AppCalendar::WriteToOutlook(CommDate* pDate) {
  return m_pOutlook && m_pOutlook->SyncRecord(pDate);
}

bool AppCalendar::WriteToPalm(CommDate* pDate) {
  return m_pPalm && m_pPalm->SyncRecord(pDate);
}

bool AppCalendar::SavePalm() {
  return m_pPalm && m_pPalm->Save();
}

bool AppCalendar::HoldsSame(const CommDate* pDate, bool bInOutlook) {
  CommDateMgr* pSet = bInOutlook ? GetOutlookSet() : GetPalmSet();
  return pSet != nullptr && pDate != nullptr &&
         pSet->FindMatch(pDate, nullptr, nullptr) == FIND_SAME;
}

const CxFailure& AppCalendar::GetPalmFailure() const {
  static const CxFailure kNone;
  return m_pPalm ? m_pPalm->GetLastFailure() : kNone;
}

const CxFailure& AppCalendar::GetOutlookFailure() const {
  static const CxFailure kNone;
  return m_pOutlook ? m_pOutlook->GetLastFailure() : kNone;
}

std::string AppCalendar::DescribePalmFailure() const {
  return GetPalmFailure().szText;
}

namespace {

// "the Outlook calendar is read-only: <path>", or empty when the save can replace the file.
std::string WriteRefusal(const char* szWhat, const std::string& strPath) {
  if (strPath.empty()) return std::string();
  std::string strRefused;
  if (CxCanReplaceFile(strPath.c_str(), &strRefused)) return std::string();
  const DWORD dwError = GetLastError();
  const DWORD dwAttributes = GetFileAttributes(strRefused.c_str());
  const bool bFolder =
      dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const std::string strHow = dwError == ERROR_WRITE_PROTECT ? std::string("is read-only")
                                                            : std::string("cannot be written (") +
                                                                  CxFileErrorText(dwError) + ")";
  return std::string(bFolder ? "the folder of " : "") + szWhat + " " + strHow + ": " + strRefused;
}

}  // namespace

std::string AppCalendar::CheckWritable(bool bOutlook, bool bPalm) {
  std::string strReason;
  if (bOutlook && m_bOutlookLoaded && !OutlookCalendarIsOnServer(OutlookCalendarPath())) {
    strReason = WriteRefusal("the Outlook calendar", OutlookCalendarPath());
  }
  if (strReason.empty() && bPalm && m_bPalmLoaded) {
    strReason = WriteRefusal("the Palm Desktop calendar", m_pPalm->GetSavePath());
  }
  return strReason;
}

MatchCounts CountMatchStates(CommDateMgr* pSet) {
  MatchCounts counts = {};
  if (pSet == nullptr) return counts;
  counts.nRecords = pSet->GetCount();
  for (int nPos = 0; nPos < counts.nRecords; ++nPos) {
    const CommDate* pDate = pSet->GetAt(nPos);
    if (pDate == nullptr) break;
    if (pDate->nMatchState == MATCH_NEW) {
      ++counts.nNew;
    } else if (pDate->nMatchState == MATCH_CHANGED) {
      ++counts.nChanged;
    } else {
      ++counts.nSame;
    }
  }
  return counts;
}
