// The Palm Desktop calendar store as the rest of the program sees it. PmDateInfo picks the
// calendar generation of the installed Palm Desktop, loads a Palm user's calendar (or a
// chosen file) through one of three stores, converts every shown Palm record into a common
// record, writes common records back as Palm records, and saves.
//
// Calendar kinds: 1 the datebook of Palm Desktop 4.1 and earlier (PmDateUtil), 2 the datebook
// of Palm Desktop 4.1.4 (PmDateExUtil), 3 the Palm Desktop 6.x database, reached through the
// PmCalendarEx2 interface below; 255 marks a file load that failed, 0 nothing loaded. A load
// decides the kind once and picks the adapter of that kind (PalmStoreAdapter.h), through which
// every later read and write of the store goes.
//
// Positions: record set position n, reference n and the n-th shown record of the store are
// one appointment. Records whose status has bit 0x04 or 0x80 are not shown: they stay in the
// store's list and are saved back unchanged. Date-times of common records are local.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/calendar/CommDate.h"
#include "common/calendar/CommDateMgr.h"
#include "common/palm/PalmDate.h"
#include "common/palm/PalmDateEx.h"
#include "common/palm/PalmDateEx2.h"
#include "platform/win/WinTypes.h"

#define PALM_KIND_NONE 0
#define PALM_KIND_DATEBOOK 1     // Palm Desktop 4.1 and earlier
#define PALM_KIND_DATEBOOK_EX 2  // Palm Desktop 4.1.4
#define PALM_KIND_DATABASE 3     // Palm Desktop 6.x
#define PALM_KIND_FAILED 255

class PmStoreAdapter;

// One Palm record of the loaded kind, as the store holds it. A reference made for writing
// owns its kind 2 blob data, one read from the store shares it; the copy attached to a common
// record as pExtra carries none, and is packed to what it holds (PackExtra over the note;
// UnpackExtra gives the reference back).
struct PalmRecordRef {
  DWORD nKind;
  union {
    PmDateRecord rec1;
    PmDateExRecord rec2;
    PmDateEx2Record rec3;
  };
};

// The Palm Desktop 6.x calendar as PmDateInfo drives it. The 6.x database code provides the
// implementation and registers a factory with PmSetCalendarEx2Factory; without one, every
// kind-3 load fails.
class PmCalendarEx2 {
 public:
  virtual ~PmCalendarEx2() = default;
  virtual bool LoadByUserId(DWORD nUserId) = 0;
  virtual bool LoadFile(const char* szPath) = 0;
  // The loaded records in table order; PmDateInfo empties it, reads it and appends to it.
  virtual PmDateEx2DataMgr* GetRecords() = 0;
  // Writes one record of the list to the database at once; the record learns its row.
  virtual bool SaveRecord(PmDateEx2Record* pRecord) = 0;
  virtual bool ResolveCategory(const char* szName, LONG* pnId, bool bCreate) = 0;
  virtual bool Commit() = 0;
  // Why the last load (or write) failed.
  virtual const CxFailure& GetLastFailure() const {
    static const CxFailure kNone;
    return kNone;
  }
  // Lets other runs load the database again.
  virtual void ReleaseHold() {}
  // The database file a save writes; empty when it is none the program can check.
  virtual std::string GetLoadedPath() const { return std::string(); }
};

typedef std::unique_ptr<PmCalendarEx2> (*PmCalendarEx2Factory)();
// Registers (or, with null, removes) the maker of 6.x calendars. Stores made before keep
// the calendar they were made with.
void PmSetCalendarEx2Factory(PmCalendarEx2Factory pfnFactory);
PmCalendarEx2Factory PmGetCalendarEx2Factory();

class PmDateInfo {
 public:
  // Chooses the installed kind from the Palm Desktop version: 3 from 60000 up (and when no
  // version is found), 1 below 40102, 2 otherwise.
  PmDateInfo();
  virtual ~PmDateInfo();
  PmDateInfo(const PmDateInfo&) = delete;
  PmDateInfo& operator=(const PmDateInfo&) = delete;

  // The calendar of a Palm user, for the installed kind.
  bool LoadByUser(DWORD nUserId);
  // A calendar file of any kind, by its extension: ".mdb" the database, ".dat" the 4.1.4
  // datebook and then the earlier one.
  bool LoadFile(const char* szPath);
  // Which loader accepts the file (0 for no path, 255 for none); changes nothing here.
  int CheckFileKind(const char* szPath);

  CommDateMgr* GetRecordSet() { return m_pRecordSet.get(); }

  // Writes the common record into the loaded calendar: a new Palm record when the record set
  // has no counterpart, over the Palm record of a changed counterpart. False when nothing was
  // written (an unchanged counterpart, nothing loaded, a database write that failed).
  bool SyncRecord(const CommDate* pRecord);
  bool AddRecord(const CommDate* pRecord);
  bool UpdateRecord(const CommDate* pRecord, int nPos);

  // Marks the record at set position nPos deleted the way Palm Desktop marks a record the
  // user deleted: it stays in the calendar, flagged, so the next HotSync deletes it from the
  // handheld too, and it is no longer shown (it leaves the record set). A database record is
  // written at once.
  bool DeleteRecord(int nPos);
  // The record's lasting identity: "id:<record id>", or "at:<place in the store>" for a record
  // Palm Desktop has not numbered yet. Empty outside the set.
  std::string GetRecordKey(int nPos) const;

  // Datebooks are written whole now; the database only commits.
  bool Save();
  // The datebook file Save replaces; empty for the database, which commits in place.
  std::string GetSavePath() const;

  // Why the last load or save failed: what the loader or writer found, in words for the
  // user (no such file, not a datebook and which check, permission denied, no space left,
  // locked by another run, changed by another program).
  const CxFailure& GetLastFailure() const { return m_Failure; }

  int GetInstalledKind() const { return m_nInstalledKind; }
  int GetLoadedKind() const { return m_nLoadedKind; }
  int GetReferenceCount() const { return static_cast<int>(m_StorePos.size()); }
  // *pRef becomes the store's record behind record set position nPos, as a shallow copy: kind
  // 2 blob data stays the store's, so *pRef must not be freed as an owner. False for a
  // position without one.
  bool GetReference(int nPos, PalmRecordRef* pRef) const;
  PmDateUtil* GetDateUtil() { return m_pDate.get(); }
  PmDateExUtil* GetDateExUtil() { return m_pDateEx.get(); }
  PmCalendarEx2* GetCalendarEx2() { return m_pDateEx2.get(); }

  // The conversions, kind by kind. The repeat block of kind 3 is carried in a PmRepeat with
  // the 6.x fields in their datebook places (day index = nRepeatDayMask, days mask =
  // bRepeatDays, week index = nRepeatWeek ...).
  // pZone: the zone the calendar was written in (PmGuessWriterZone), when known.
  static void PalmToRecord(const PalmRecordRef* pRef, CommDate* pRecord,
                           const PmWriterZone* pZone = nullptr);
  bool RecordToPalm(const CommDate* pRecord, PalmRecordRef* pRef);
  static void RepeatToPalm(int nKind, const RepeatPattern* ptn, PmRepeat* pRec);
  // pUntimedStart: the start of an untimed datebook appointment, whose repeat end is then
  // read as a day like its start (PmTime::ToUntimedDate).
  static void RepeatFromPalm(int nKind, const PmRepeat* pRec, RepeatPattern* ptn,
                             const PmTime* pUntimedStart = nullptr,
                             const PmWriterZone* pZone = nullptr);

 private:
  struct RefDeleter {
    void operator()(PalmRecordRef* pRef) const;
  };

  void ClearAll();
  // The adapter of nKind over this store's object of that kind.
  std::unique_ptr<PmStoreAdapter> MakeAdapter(int nKind) const;
  // Loads through the adapter of nKind (and, should that refuse, its earlier kind's); the one
  // that loads becomes the store's adapter and sets the loaded kind. *pFailure: why none did.
  bool LoadThrough(int nKind, const std::function<bool(PmStoreAdapter&)>& load,
                   CxFailure* pFailure);
  bool BuildRecordSet();
  PmWriterZone GuessWriterZone(PalmRecordRef* pScratch) const;
  int GetStoreCount() const;
  // Fills the zeroed *pRef (of the loaded kind) from the store's record at nStorePos, sharing
  // its blob data; its status in *pnStatus. False when the store has no such record.
  bool ReadStoreRecord(int nStorePos, PalmRecordRef* pRef, DWORD* pnStatus) const;

  void TakeFailure(const CxFailure& failure);

  int m_nInstalledKind;
  int m_nLoadedKind;
  CxFailure m_Failure;
  // Per record set position, the position of its record in the store's own list. The store's
  // record is the only Palm copy kept: a second one per record doubled the load's memory.
  std::vector<int> m_StorePos;
  std::unique_ptr<CommDateMgr> m_pRecordSet;
  std::unique_ptr<PmDateUtil> m_pDate;
  std::unique_ptr<PmDateExUtil> m_pDateEx;
  std::unique_ptr<PmCalendarEx2> m_pDateEx2;
  // The adapter of the loaded kind over one of the three above; null while nothing is loaded.
  std::unique_ptr<PmStoreAdapter> m_pAdapter;
};
