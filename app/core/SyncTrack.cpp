// Pairing and deciding for the remembering sync. How the plan is built:
//   1. every remembered row looks its two keys up (a lost key may be found again by print);
//   2. records no row claimed are paired by identity, one to one, an equal print first, so
//      two same-titled appointments on one day stay two pairs;
//   3. what is left on either side is new.
#include "app/core/SyncTrack.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "app/core/AppSettings.h"
#include "app/core/SyncWizard.h"
#include "common/palm/PalmDateInfo.h"

namespace {

constexpr unsigned long long kFnvOffset = 1469598103934665603ULL;
constexpr unsigned long long kFnvPrime = 1099511628211ULL;

void AddBytes(unsigned long long& nHash, const char* pData, size_t nLen) {
  for (size_t i = 0; i < nLen; ++i) {
    nHash ^= static_cast<unsigned char>(pData[i]);
    nHash *= kFnvPrime;
  }
  // A separator, so that "ab"+"c" and "a"+"bc" differ.
  nHash ^= 0x1F;
  nHash *= kFnvPrime;
}

void AddText(unsigned long long& nHash, const char* szText) {
  AddBytes(nHash, szText, strlen(szText));
}

void AddNumber(unsigned long long& nHash, long long nValue) {
  char szText[32];
  snprintf(szText, sizeof(szText), "%lld", nValue);
  AddText(nHash, szText);
}

void AddDay(unsigned long long& nHash, const SYSTEMTIME& st) {
  AddNumber(nHash, st.wYear * 10000LL + st.wMonth * 100 + st.wDay);
}

void AddTime(unsigned long long& nHash, const SYSTEMTIME& st, bool bAllDay) {
  AddDay(nHash, st);
  // An all-day record has no time of day; whatever a store leaves there is noise.
  if (!bAllDay) AddNumber(nHash, st.wHour * 100 + st.wMinute);
}

bool AllowsToOutlook(int nSyncMode) {
  return nSyncMode != SYNC_OUTLOOK_TO_PALM;
}
bool AllowsToPalm(int nSyncMode) {
  return nSyncMode != SYNC_PALM_TO_OUTLOOK;
}

TrackAction Allowed(TrackAction nAction, int nSyncMode) {
  switch (nAction) {
    case TRACK_ADD_TO_OUTLOOK:
    case TRACK_UPDATE_OUTLOOK:
    case TRACK_DELETE_FROM_OUTLOOK:
      return AllowsToOutlook(nSyncMode) ? nAction : TRACK_NOTHING;
    case TRACK_ADD_TO_PALM:
    case TRACK_UPDATE_PALM:
    case TRACK_DELETE_FROM_PALM:
      return AllowsToPalm(nSyncMode) ? nAction : TRACK_NOTHING;
    default:
      return nAction;
  }
}

}  // namespace

TrackAction TrackDecide(int nPalm, int nOutlook, bool bSameNow, int nSyncMode) {
  TrackAction nAction = TRACK_NOTHING;
  const bool bPalmNew = nPalm == TRACK_SIDE_NEW;
  const bool bOutlookNew = nOutlook == TRACK_SIDE_NEW;
  if (bPalmNew || bOutlookNew || nPalm == TRACK_SIDE_ABSENT || nOutlook == TRACK_SIDE_ABSENT) {
    // Not remembered: a pair found by identity is the same appointment, changed or not.
    if (bPalmNew && bOutlookNew) {
      nAction = bSameNow ? TRACK_NOTHING : TRACK_CONFLICT;
    } else if (bPalmNew) {
      nAction = TRACK_ADD_TO_OUTLOOK;
    } else if (bOutlookNew) {
      nAction = TRACK_ADD_TO_PALM;
    }
    return Allowed(nAction, nSyncMode);
  }
  const bool bPalmGone = nPalm == TRACK_SIDE_GONE;
  const bool bOutlookGone = nOutlook == TRACK_SIDE_GONE;
  const bool bPalmChanged = nPalm == TRACK_SIDE_CHANGED;
  const bool bOutlookChanged = nOutlook == TRACK_SIDE_CHANGED;
  if (bPalmGone && bOutlookGone) return TRACK_FORGET;
  if (bPalmGone) {
    // Keeping the changed record is the default answer; the direction may still forbid it.
    if (bOutlookChanged) {
      return AllowsToPalm(nSyncMode) ? TRACK_CONFLICT : TRACK_NOTHING;
    }
    return Allowed(TRACK_DELETE_FROM_OUTLOOK, nSyncMode);
  }
  if (bOutlookGone) {
    if (bPalmChanged) {
      return AllowsToOutlook(nSyncMode) ? TRACK_CONFLICT : TRACK_NOTHING;
    }
    return Allowed(TRACK_DELETE_FROM_PALM, nSyncMode);
  }
  if (bPalmChanged && bOutlookChanged) return bSameNow ? TRACK_NOTHING : TRACK_CONFLICT;
  if (bPalmChanged) return Allowed(TRACK_UPDATE_OUTLOOK, nSyncMode);
  if (bOutlookChanged) return Allowed(TRACK_UPDATE_PALM, nSyncMode);
  return TRACK_NOTHING;
}

std::string TrackPrint(const CommDate* pDate, int nPalmKind) {
  if (pDate == nullptr) return std::string();
  unsigned long long nHash = kFnvOffset;
  AddText(nHash, pDate->szDescription);
  const bool bAllDay = pDate->bAllDay != 0;
  AddNumber(nHash, bAllDay ? 1 : 0);
  AddTime(nHash, pDate->stStart, bAllDay);
  AddTime(nHash, pDate->stEnd, bAllDay);
  // Line ends differ between the stores and mean nothing to the user.
  std::string strNote;
  for (const char* p = pDate->szNote; *p != '\0'; ++p) {
    if (*p != '\r' && *p != '\n') strNote += *p;
  }
  AddText(nHash, strNote.c_str());
  if (nPalmKind != PALM_KIND_DATEBOOK) AddText(nHash, pDate->szLocation);
  AddNumber(nHash, pDate->bAlarm ? 1 : 0);
  const RepeatPattern& r = pDate->repeat;
  AddNumber(nHash, r.nType);
  if (r.nType != REPEAT_NONE) {
    // Only the fields the type uses: stores fill the others as they please.
    const bool bByWeekday = r.nType == REPEAT_MONTHLY_BY_DAY || r.nType == REPEAT_YEARLY_BY_DAY;
    const bool bByDate = r.nType == REPEAT_MONTHLY_BY_DATE || r.nType == REPEAT_YEARLY_BY_DATE;
    const bool bYearly = r.nType == REPEAT_YEARLY_BY_DAY || r.nType == REPEAT_YEARLY_BY_DATE;
    AddNumber(nHash, r.nInterval);
    AddNumber(nHash, r.nType == REPEAT_WEEKLY || bByWeekday ? r.nDayOfWeekMask : 0);
    AddNumber(nHash, bByDate ? r.nDayOfMonth : 0);
    AddNumber(nHash, bYearly ? r.nMonthOfYear : 0);
    AddNumber(nHash, bByWeekday ? r.nInstance : 0);
    AddNumber(nHash, r.bHasEnd);
    if (r.bHasEnd) AddDay(nHash, r.stPatternEnd);
    // A store that keeps no deleted occurrences makes them a field only one side holds.
    if (nPalmKind != PALM_KIND_DATABASE && !r.bExceptionsUnknown) {
      for (const SYSTEMTIME& stDay : ExceptionDays(r)) AddDay(nHash, stDay);
    }
  }
  char szHex[24];
  snprintf(szHex, sizeof(szHex), "%016llx", nHash);
  return szHex;
}

std::string TrackIdentity(const CommDate* pDate) {
  if (pDate == nullptr) return std::string();
  std::string strId;
  for (const char* p = pDate->szDescription; *p != '\0'; ++p) {
    strId += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  }
  char szRest[64];
  snprintf(szRest, sizeof(szRest), "|%04u%02u%02u|%04u%02u%02u|%d", pDate->stStart.wYear,
           pDate->stStart.wMonth, pDate->stStart.wDay, pDate->stEnd.wYear, pDate->stEnd.wMonth,
           pDate->stEnd.wDay, pDate->bAllDay ? 1 : 0);
  return strId + szRest;
}

TrackRow* TrackPlan::RowOf(const CommDate* pDate) {
  auto it = rowIndex.find(pDate);
  return it == rowIndex.end() ? nullptr : &vRows[it->second];
}

namespace {

// The records of one side by key and by print, each claimable once.
class SideIndex {
 public:
  explicit SideIndex(const std::vector<TrackRecord>& vRecords) : m_vRecords(vRecords) {
    m_vClaimed.assign(vRecords.size(), false);
    for (size_t i = 0; i < vRecords.size(); ++i) {
      // A key twice (a damaged calendar) is known by its first record only.
      m_byKey.emplace(vRecords[i].strKey, i);
      m_byPrint.emplace(vRecords[i].strPrint, i);
    }
  }
  // The unclaimed record of the key, or failing that of the print; -1 for none.
  int Claim(const std::string& strKey, const std::string& strPrint) {
    auto it = m_byKey.find(strKey);
    if (it != m_byKey.end() && !m_vClaimed[it->second]) return Take(it->second);
    auto range = m_byPrint.equal_range(strPrint);
    for (auto p = range.first; p != range.second; ++p) {
      if (!m_vClaimed[p->second]) return Take(p->second);
    }
    return -1;
  }
  bool IsClaimed(size_t i) const { return m_vClaimed[i]; }
  int Take(size_t i) {
    m_vClaimed[i] = true;
    return static_cast<int>(i);
  }
  size_t Size() const { return m_vRecords.size(); }

 private:
  const std::vector<TrackRecord>& m_vRecords;
  std::vector<bool> m_vClaimed;
  std::unordered_map<std::string, size_t> m_byKey;
  std::unordered_multimap<std::string, size_t> m_byPrint;
};

// One side's half of a row: its record, that record's key and what became of it.
void SetSide(TrackRow& row, bool bPalm, const TrackRecord& rec, int nSide) {
  (bPalm ? row.pPalm : row.pOutlook) = rec.pDate;
  (bPalm ? row.strPalmKey : row.strOutlookKey) = rec.strKey;
  (bPalm ? row.nPalmSide : row.nOutlookSide) = nSide;
}

// Pairs the unclaimed records of both sides by identity, an equal print first; calls
// pair(palm, outlook) for each pair, in Palm order.
template <typename PairFn>
void PairByIdentity(const std::vector<TrackRecord>& vPalm, SideIndex& palm,
                    const std::vector<TrackRecord>& vOutlook, SideIndex& outlook, PairFn pair) {
  std::unordered_map<std::string, std::vector<size_t>> outlookByIdentity;
  for (size_t i = 0; i < vOutlook.size(); ++i) {
    if (!outlook.IsClaimed(i)) outlookByIdentity[TrackIdentity(vOutlook[i].pDate)].push_back(i);
  }
  for (size_t i = 0; i < vPalm.size(); ++i) {
    if (palm.IsClaimed(i)) continue;
    auto it = outlookByIdentity.find(TrackIdentity(vPalm[i].pDate));
    if (it == outlookByIdentity.end()) continue;
    std::vector<size_t>& vCandidates = it->second;
    size_t nPick = vCandidates.size();
    for (size_t c = 0; c < vCandidates.size(); ++c) {
      if (outlook.IsClaimed(vCandidates[c])) continue;
      if (nPick == vCandidates.size()) nPick = c;
      if (vOutlook[vCandidates[c]].strPrint == vPalm[i].strPrint) {
        nPick = c;
        break;
      }
    }
    if (nPick == vCandidates.size()) continue;
    palm.Take(i);
    outlook.Take(vCandidates[nPick]);
    pair(i, vCandidates[nPick]);
  }
}

}  // namespace

void BuildTrackPlan(const std::vector<TrackRecord>& vPalm, const std::vector<TrackRecord>& vOutlook,
                    std::vector<StateDbRow> vState, int nSyncMode, bool bAllowMassDelete,
                    TrackPlan& plan) {
  plan = TrackPlan();
  plan.vState = std::move(vState);
  SideIndex palm(vPalm);
  SideIndex outlook(vOutlook);
  int nRemembered = 0;

  for (size_t s = 0; s < plan.vState.size(); ++s) {
    const StateDbRow& state = plan.vState[s];
    TrackRow row;
    row.nState = static_cast<int>(s);
    row.strPalmKey = state.strPalmKey;
    row.strOutlookKey = state.strOutlookKey;
    const int nP = palm.Claim(state.strPalmKey, state.strPalmPrint);
    const int nO = outlook.Claim(state.strOutlookKey, state.strOutlookPrint);
    if (nP >= 0) {
      const TrackRecord& rec = vPalm[static_cast<size_t>(nP)];
      SetSide(row, true, rec,
              rec.strPrint == state.strPalmPrint ? TRACK_SIDE_UNCHANGED : TRACK_SIDE_CHANGED);
    } else {
      row.nPalmSide = TRACK_SIDE_GONE;
    }
    if (nO >= 0) {
      const TrackRecord& rec = vOutlook[static_cast<size_t>(nO)];
      SetSide(row, false, rec,
              rec.strPrint == state.strOutlookPrint ? TRACK_SIDE_UNCHANGED : TRACK_SIDE_CHANGED);
    } else {
      row.nOutlookSide = TRACK_SIDE_GONE;
    }
    if (nP >= 0 || nO >= 0) ++nRemembered;
    const bool bSameNow =
        nP >= 0 && nO >= 0 &&
        vPalm[static_cast<size_t>(nP)].strPrint == vOutlook[static_cast<size_t>(nO)].strPrint;
    row.nAction = TrackDecide(row.nPalmSide, row.nOutlookSide, bSameNow, nSyncMode);
    plan.vRows.push_back(std::move(row));
  }

  PairByIdentity(vPalm, palm, vOutlook, outlook, [&](size_t p, size_t o) {
    TrackRow row;
    SetSide(row, true, vPalm[p], TRACK_SIDE_NEW);
    SetSide(row, false, vOutlook[o], TRACK_SIDE_NEW);
    row.nAction = TrackDecide(TRACK_SIDE_NEW, TRACK_SIDE_NEW,
                              vPalm[p].strPrint == vOutlook[o].strPrint, nSyncMode);
    plan.vRows.push_back(std::move(row));
  });
  // What is left on either side is new there and absent on the other.
  for (const bool bPalm : {true, false}) {
    const std::vector<TrackRecord>& vSide = bPalm ? vPalm : vOutlook;
    const SideIndex& index = bPalm ? palm : outlook;
    for (size_t i = 0; i < vSide.size(); ++i) {
      if (index.IsClaimed(i)) continue;
      TrackRow row;
      SetSide(row, bPalm, vSide[i], TRACK_SIDE_NEW);
      row.nAction = bPalm ? TrackDecide(TRACK_SIDE_NEW, TRACK_SIDE_ABSENT, false, nSyncMode)
                          : TrackDecide(TRACK_SIDE_ABSENT, TRACK_SIDE_NEW, false, nSyncMode);
      plan.vRows.push_back(std::move(row));
    }
  }

  for (const TrackRow& row : plan.vRows) {
    if (row.nAction == TRACK_DELETE_FROM_OUTLOOK || row.nAction == TRACK_DELETE_FROM_PALM) {
      ++plan.nDeletes;
    }
  }
  plan.bMassDelete = plan.nDeletes > TRACK_MASS_DELETE_MIN &&
                     plan.nDeletes * 100 > nRemembered * TRACK_MASS_DELETE_PERCENT;
  for (size_t r = 0; r < plan.vRows.size(); ++r) {
    TrackRow& row = plan.vRows[r];
    if (plan.bMassDelete && !bAllowMassDelete &&
        (row.nAction == TRACK_DELETE_FROM_OUTLOOK || row.nAction == TRACK_DELETE_FROM_PALM)) {
      row.bChecked = false;
      row.szReason = TRACK_MASS_DELETE_REASON;
    }
    UINT nState = MATCH_SAME;
    if (row.nAction == TRACK_ADD_TO_OUTLOOK || row.nAction == TRACK_ADD_TO_PALM) {
      nState = MATCH_NEW;
    } else if (row.nAction != TRACK_NOTHING && row.nAction != TRACK_FORGET) {
      nState = MATCH_CHANGED;
    }
    if (row.pPalm != nullptr) {
      row.pPalm->nMatchState = nState;
      row.pPalm->pPeer = row.pOutlook;
      plan.rowIndex[row.pPalm] = r;
    }
    if (row.pOutlook != nullptr) {
      row.pOutlook->nMatchState = nState;
      row.pOutlook->pPeer = row.pPalm;
      plan.rowIndex[row.pOutlook] = r;
    }
  }
}

void BuildTrackState(const TrackPlan& plan, const std::vector<TrackRecord>& vPalm,
                     const std::vector<TrackRecord>& vOutlook, std::vector<StateDbRow>& vOut) {
  vOut.clear();
  std::unordered_map<std::string, size_t> palmByKey;
  std::unordered_map<std::string, size_t> outlookByKey;
  for (size_t i = 0; i < vPalm.size(); ++i) palmByKey.emplace(vPalm[i].strKey, i);
  for (size_t i = 0; i < vOutlook.size(); ++i) outlookByKey.emplace(vOutlook[i].strKey, i);
  std::vector<bool> vPalmUsed(vPalm.size(), false);
  std::vector<bool> vOutlookUsed(vOutlook.size(), false);
  auto find = [](const std::unordered_map<std::string, size_t>& index, const std::string& strKey) {
    auto it = index.find(strKey);
    return it == index.end() ? -1 : static_cast<int>(it->second);
  };
  auto remember = [&](int nP, int nO) {
    vPalmUsed[static_cast<size_t>(nP)] = true;
    vOutlookUsed[static_cast<size_t>(nO)] = true;
    vOut.push_back({vPalm[static_cast<size_t>(nP)].strKey, vOutlook[static_cast<size_t>(nO)].strKey,
                    vPalm[static_cast<size_t>(nP)].strPrint,
                    vOutlook[static_cast<size_t>(nO)].strPrint});
  };

  // Sources of additions: their copies are found by identity once the pairs are known.
  std::vector<bool> vPalmAdded(vPalm.size(), false);
  std::vector<bool> vOutlookAdded(vOutlook.size(), false);
  for (const TrackRow& row : plan.vRows) {
    const int nP = row.strPalmKey.empty() ? -1 : find(palmByKey, row.strPalmKey);
    const int nO = row.strOutlookKey.empty() ? -1 : find(outlookByKey, row.strOutlookKey);
    const bool bDone = row.nOutcome == TRACK_OUTCOME_DONE;
    const bool bBoth = nP >= 0 && nO >= 0 && row.pPalm != nullptr && row.pOutlook != nullptr;
    if (bBoth && (bDone || row.nAction == TRACK_NOTHING)) {
      // Made equal by this run, or nothing to do: remembered as they now are.
      remember(nP, nO);
      continue;
    }
    if (bDone && row.nAction != TRACK_DELETE_FROM_OUTLOOK &&
        row.nAction != TRACK_DELETE_FROM_PALM) {
      // An addition (or a changed record kept against a deletion): one side known by key.
      if (nP >= 0 && row.pOutlook == nullptr) vPalmAdded[static_cast<size_t>(nP)] = true;
      if (nO >= 0 && row.pPalm == nullptr) vOutlookAdded[static_cast<size_t>(nO)] = true;
      continue;
    }
    if (bDone || row.nAction == TRACK_FORGET || row.nState < 0) continue;
    // Left alone (unchecked, skipped, failed): remembered as before, so it is found again.
    if (nP >= 0) vPalmUsed[static_cast<size_t>(nP)] = true;
    if (nO >= 0) vOutlookUsed[static_cast<size_t>(nO)] = true;
    vOut.push_back(plan.vState[static_cast<size_t>(row.nState)]);
  }

  SideIndex palm(vPalm);
  SideIndex outlook(vOutlook);
  for (size_t i = 0; i < vPalm.size(); ++i) {
    if (vPalmUsed[i] || !vPalmAdded[i]) palm.Take(i);
  }
  for (size_t i = 0; i < vOutlook.size(); ++i) {
    if (vOutlookUsed[i]) outlook.Take(i);
  }
  // Copies made from Palm records.
  PairByIdentity(vPalm, palm, vOutlook, outlook,
                 [&](size_t p, size_t o) { remember(static_cast<int>(p), static_cast<int>(o)); });
  // Copies made from Outlook records: the same walk from the other side.
  SideIndex palm2(vPalm);
  SideIndex outlook2(vOutlook);
  for (size_t i = 0; i < vPalm.size(); ++i) {
    if (vPalmUsed[i]) palm2.Take(i);
  }
  for (size_t i = 0; i < vOutlook.size(); ++i) {
    if (vOutlookUsed[i] || !vOutlookAdded[i]) outlook2.Take(i);
  }
  PairByIdentity(vPalm, palm2, vOutlook, outlook2,
                 [&](size_t p, size_t o) { remember(static_cast<int>(p), static_cast<int>(o)); });
}

const char* TrackSyncType(const TrackRow& row) {
  switch (row.nAction) {
    case TRACK_ADD_TO_OUTLOOK:
      return SYNC_TYPE_P2O;
    case TRACK_ADD_TO_PALM:
      return SYNC_TYPE_O2P;
    case TRACK_UPDATE_OUTLOOK:
      return SYNC_TYPE_UPDATE_OUTLOOK;
    case TRACK_UPDATE_PALM:
      return SYNC_TYPE_UPDATE_PALM;
    case TRACK_DELETE_FROM_OUTLOOK:
      return SYNC_TYPE_DELETE_OUTLOOK;
    case TRACK_DELETE_FROM_PALM:
      return SYNC_TYPE_DELETE_PALM;
    case TRACK_CONFLICT:
      return SYNC_TYPE_CONFLICT;
    default:
      return nullptr;
  }
}

CommDate* TrackRowRecord(const TrackRow& row, int nSyncMode) {
  switch (row.nAction) {
    case TRACK_ADD_TO_OUTLOOK:
    case TRACK_UPDATE_OUTLOOK:
    case TRACK_DELETE_FROM_PALM:
      return row.pPalm;
    case TRACK_ADD_TO_PALM:
    case TRACK_UPDATE_PALM:
    case TRACK_DELETE_FROM_OUTLOOK:
      return row.pOutlook;
    case TRACK_CONFLICT:
      if (row.pPalm == nullptr) return row.pOutlook;
      if (row.pOutlook == nullptr) return row.pPalm;
      return nSyncMode == SYNC_OUTLOOK_TO_PALM ? row.pOutlook : row.pPalm;
    default:
      return nullptr;
  }
}
