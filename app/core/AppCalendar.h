// The calendar state the main window holds, without the window: the Palm store and the
// Outlook store with their record sets, the two selection lists the wizard fills and the run
// reads, calendar initialization in its fixed order, re-matching, and the day queries of the
// month calendar and the day books.
//
// The stores own their record sets; the selection lists, counterpart links and day lists
// only point into them and are valid until the next load or match.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "app/core/AppSettings.h"
#include "app/core/SyncRun.h"
#include "app/core/SyncTrack.h"
#include "common/calendar/CommDateMgr.h"
#include "common/misc/CxFailure.h"
#include "common/misc/CxList.h"

class PmDateInfo;
class OlDateUtil;

class AppCalendar : public ISyncTarget {
 public:
  AppCalendar();
  ~AppCalendar() override;

  AppCalendar(const AppCalendar&) = delete;
  AppCalendar& operator=(const AppCalendar&) = delete;

  // Calendar initialization: creates both stores, settles the Palm user, loads the Palm
  // calendar (szPalmFile when given, else the settings' file or user), loads Outlook, matches
  // both ways and creates the empty selection lists. On an unexpected failure the steps stop
  // there and "Failed to initialize Calendar data." goes to the user; returns false then.
  bool Init(TAppSettings& settings, CxList& users, const char* szPalmFile = nullptr);
  // Told the share of Init done (0..100) after each of its long steps: the Palm load, the
  // Outlook load, the matching.
  void SetLoadProgress(std::function<void(int nPercent)> progress) {
    m_LoadProgress = std::move(progress);
  }

  // The store loads; each reports whether its calendar loaded.
  bool LoadPalm(const TAppSettings& settings, const char* szPalmFile = nullptr);
  bool LoadOutlook();
  bool IsPalmLoaded() const { return m_bPalmLoaded; }
  bool IsOutlookLoaded() const { return m_bOutlookLoaded; }
  // The loaded Palm calendar kind (1 earlier datebook, 2 4.1.4 datebook, 3 6.x database).
  int GetPalmKind() const;

  // Matches the Outlook set against the Palm set and then the Palm set against Outlook.
  bool MatchAll();

  // True when any Palm record, or failing that any Outlook record, occurs on the day.
  bool DayHasRecords(const SYSTEMTIME* pDay);
  // The records of the set that occur on the day, in set order.
  static void RecordsOfDay(CommDateMgr* pSet, const SYSTEMTIME* pDay,
                           std::vector<CommDate*>& vRecords);

  CommDateMgr* GetPalmSet();
  CommDateMgr* GetOutlookSet();
  CxList* GetPalmSelection() { return m_pPalmSel.get(); }
  CxList* GetOutlookSelection() { return m_pOutlookSel.get(); }
  PmDateInfo* GetPalmStore() { return m_pPalm.get(); }
  OlDateUtil* GetOutlookStore() { return m_pOutlook.get(); }

  // Shut-down order: the stores, then the selection lists.
  void Free();

  // Why the Palm calendar did not load or save, and why the last Outlook load or item write
  // failed: a code and a text for the user, empty when nothing failed.
  const CxFailure& GetPalmFailure() const;
  const CxFailure& GetOutlookFailure() const;
  // What the Outlook calendar's load passed over, one line ("3 passed over (see the log)");
  // empty when it read everything.
  const std::string& GetOutlookNote() const { return m_strOutlookNote; }

  // ISyncTarget: the writes of a run go straight to the stores.
  bool WriteToOutlook(CommDate* pDate) override;
  bool WriteToPalm(CommDate* pDate) override;
  bool SavePalm() override;
  std::string DescribePalmFailure() const override;
  std::string CheckWritable(bool bOutlook, bool bPalm) override;
  bool HoldsSame(const CommDate* pDate, bool bInOutlook) override;
  bool TrackAdd(CommDate* pDate, bool bToOutlook) override;
  bool TrackUpdate(CommDate* pFrom, CommDate* pTarget, bool bInOutlook) override;
  bool TrackDelete(CommDate* pTarget, bool bInOutlook) override;
  // Reads both saved calendars again and remembers their pairs in the state file; the sets,
  // the plan and the marks are then those of the calendars as saved, and the selection
  // lists are emptied (they pointed into the sets read before).
  bool TrackRemember(TrackPlan& plan) override;

  // The remembering sync (settings' TrackChanges at Init): whether it is on, and its plan
  // for a direction, rebuilt when the direction differs from the last one planned.
  bool IsTracking() const { return m_bTrack; }
  TrackPlan* GetTrackPlan(int nSyncMode);
  // Deletions beyond the mass-deletion guard come checked.
  void SetAllowMassDelete(bool bAllow) { m_bAllowMassDelete = bAllow; }
  // The state file of this pair of calendars; empty when no data folder is known.
  std::string GetStatePath() const;

 private:
  // Both store loads of Init, at the same time; m_pOutlook is made here.
  void LoadBothAtOnce(const TAppSettings& settings, const char* szPalmFile);
  void GatherTrackRecords(std::vector<TrackRecord>& vPalm, std::vector<TrackRecord>& vOutlook);
  void PlanTracked(int nSyncMode);

  std::unique_ptr<PmDateInfo> m_pPalm;
  std::unique_ptr<OlDateUtil> m_pOutlook;
  std::unique_ptr<CxList> m_pPalmSel;
  std::unique_ptr<CxList> m_pOutlookSel;
  bool m_bPalmLoaded = false;
  bool m_bOutlookLoaded = false;
  std::string m_strOutlookNote;
  std::function<void(int nPercent)> m_LoadProgress;
  const TAppSettings* m_pSettings = nullptr;
  std::string m_strPalmFile;
  bool m_bTrack = false;
  bool m_bAllowMassDelete = false;
  int m_nPlannedMode = -1;
  TrackPlan m_Plan;
};

// How many records of a set are new, changed and the same after matching (all zero for no
// set).
struct MatchCounts {
  int nRecords;
  int nNew;
  int nChanged;
  int nSame;
};
MatchCounts CountMatchStates(CommDateMgr* pSet);
