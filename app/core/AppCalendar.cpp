// Calendar initialization and the calendar state of the main window.
#include "app/core/AppCalendar.h"

#include <exception>

#include "app/core/AppMessages.h"
#include "app/core/PalmUsers.h"
#include "common/misc/CxDebugUtil.h"
#include "common/outlook/OlDate.h"
#include "common/palm/PalmDateInfo.h"
#include "platform/outlook/OutlookServer.h"

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
  try {
    OutlookServerUseCalendar(settings.OutlookCalendar);
    m_pPalm = std::make_unique<PmDateInfo>();
    m_pOutlook = std::make_unique<OlDateUtil>();
    auto progress = [this](int nPercent) {
      if (m_LoadProgress) m_LoadProgress(nPercent);
    };
    ChoosePalmUser(settings, users);
    LoadPalm(settings, szPalmFile);
    progress(45);
    LoadOutlook();
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
  return true;
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
