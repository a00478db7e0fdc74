// The Palm Desktop 6.x calendar: the rows of the table "Main" of DateBook.mdb held in memory
// as PmDateEx2Record copies, and written back one record at a time as an UPDATE of the
// changed columns or an INSERT.
//
// Times are Palm time values (seconds since 1970, handled in local time). The database keeps
// start, end and category as texts holding decimal numbers and the flags as booleans. The
// repeat pattern is the rule text of "Repeated Event" ("W2 MO WE #0"), decoded into the
// record's repeat fields on loading and encoded from them before writing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/misc/CxFailure.h"
#include "common/misc/CxFileHold.h"
#include "common/palm/PalmCommEx2.h"
#include "platform/win/WinTypes.h"

#define PM_EX2_FIELD_COUNT 16
// End date of a repeat without end.
#define NO_END_DATE 1956499199

// One row of "Main". Copied whole.
struct PmDateEx2Record {
  LONG nRecordId;
  LONG nStatus;
  LONG nPlacement;
  BYTE bPrivate;
  LONG nCategory;
  char szCategoryName[32];
  char szNote[8192];
  LONG nStartTime;
  char szStartTime[64];
  LONG nEndTime;
  char szEndTime[64];
  BYTE bUntimed;
  char szTimeZone[64];
  char szLocation[256];
  char szSummary[256];
  BYTE bAlarm;
  LONG nAlarmAdvance;
  LONG nAlarmUnit;
  char szRepeatedEvent[256];
  LONG nRepeatType;  // 0 none, 1 daily, 2 weekly, 3 monthly by weekday, 4 by date, 5 yearly
  LONG nRepeatInterval;
  LONG nRepeatEnd;  // NO_END_DATE for none
  DWORD nRepeatDayMask;
  BYTE bRepeatDays;   // bit 0 Sunday .. bit 6 Saturday
  LONG nRepeatWeek;   // 0-based week of the month; 4 is the last week
  LONG nRepeatMonth;  // 0 January .. 11 December
  LONG nRepeatDay;

  // Where the record lives in the table: the key columns as they were read (or last
  // written). A record whose start, end or summary changes is still written over its own
  // row, found by these; bStored is 0 for a record the table does not have yet.
  BYTE bStored;
  LONG nStoredRecordId;
  char szStoredStartTime[64];
  char szStoredEndTime[64];
  char szStoredSummary[256];
};

// The record list: owned copies in the order they were added.
class PmDateEx2DataMgr {
 public:
  PmDateEx2DataMgr();
  virtual ~PmDateEx2DataMgr();
  PmDateEx2DataMgr(const PmDateEx2DataMgr&) = delete;
  PmDateEx2DataMgr& operator=(const PmDateEx2DataMgr&) = delete;

  void RemoveAll();
  bool Add(const PmDateEx2Record* pRecord);
  PmDateEx2Record* GetFirst();
  PmDateEx2Record* GetNext();
  PmDateEx2Record* GetAt(int nIndex);
  int GetCount() const { return static_cast<int>(m_List.size()); }

 private:
  std::vector<std::unique_ptr<PmDateEx2Record>> m_List;
  size_t m_nCursor;
};

class PmDateEx2Util : public PmDBEx2Util {
 public:
  PmDateEx2Util();
  // Loads the file at once; IsLoaded tells whether that worked.
  explicit PmDateEx2Util(const char* szPath);
  ~PmDateEx2Util() override;

  bool IsLoaded() const { return m_bLoaded != 0; }
  bool LoadByUserId(DWORD nUserId);
  // A file that is no database, or has no readable table "Main", does not load: taken as an
  // empty calendar, every later write to it would fail. The database is held against other
  // runs from a load on (until the next load or ReleaseHold).
  bool LoadFile(const char* szPath);
  // False when "Main" cannot be read to its end.
  bool LoadMainRecords();

  const CxFailure& GetLastFailure() const { return m_Failure; }
  void ReleaseHold() { m_Hold.Release(); }
  // The database file loaded last; empty until a load succeeds.
  const std::string& GetLoadedPath() const { return m_strLoadedPath; }

  PmDateEx2DataMgr* GetRecords() const { return m_pRecords.get(); }

  // Writes one record to "Main": nothing when its row already holds the same, the changed
  // columns over its own row, or an INSERT for a record the table does not have. On success
  // the record remembers the row it now lives in.
  bool SaveRecord(PmDateEx2Record* pRecord);
  bool ResolveCategory(const char* szName, LONG* pnId, bool bCreate);
  bool Commit() { return true; }

  static bool SameRecord(const PmDateEx2Record* pA, const PmDateEx2Record* pB);
  // The field ids (0..15) in which the records differ, in order; pnIds holds 16.
  static bool DiffFields(const PmDateEx2Record* pA, const PmDateEx2Record* pB, int* pnIds,
                         int* pnCount);
  static const char* FieldColumn(int nId);
  static void EncodeRepeat(PmDateEx2Record* pRecord);
  static void DecodeRepeat(PmDateEx2Record* pRecord);

 private:
  // A zeroed record filled from a row of the 16 columns (as many as the row holds).
  static void RecordFromRow(const VARIANT* pValues, DWORD nCount, PmDateEx2Record* pRecord);
  bool LookUpStored(const char* szWhere, PmDateEx2Record* pStored);

  std::unique_ptr<PmDateEx2DataMgr> m_pRecords;
  BYTE m_bLoaded;
  CxFileHold m_Hold;
  CxFailure m_Failure;
  std::string m_strLoadedPath;
};
