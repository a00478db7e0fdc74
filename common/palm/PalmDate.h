// The datebook file of Palm Desktop 4.1 and earlier (version 0x44420100): version, database
// file name, header text, the category block, a schema and records of 15 typed fields.
// PmDateUtil reads the whole file into a PmDateDataMgr and writes it back whole, through a
// temporary file renamed over the file that was loaded (the first overwritten version of the
// process is kept as "<file>.bak"). A file whose records do not all read, or whose counts
// disagree with what it holds, does not load: saving what did read would lose the rest.
#pragma once

#include <memory>
#include <vector>

#include "common/palm/PalmComm.h"

#define PM_DATE_VERSION 0x44420100UL
#define PM_DATE_FIELDS 15
#define PM_DATE_HEADER_SIZE 512

// One earlier-layout datebook record; plain data, copied whole.
struct PmDateRecord {
  DWORD nRecordId;   // 0
  DWORD nStatus;     // 1: PM_STATUS_*
  DWORD nPlacement;  // 2
  DWORD nStartTime;  // 3: Palm time value
  DWORD nEndTime;    // 4
  char szDescription[512];
  LONG nInt6;
  char szNote[PM_TEXT_FIELD_SIZE];
  LONG bUntimed;     // 8
  LONG bPrivate;     // 9
  LONG nCategoryId;  // 10
  LONG bAlarm;       // 11
  LONG nAlarmAdvance;
  LONG nAlarmUnit;
  PmRepeat repeat;      // 14
  char szCategory[16];  // not filled by loading, not stored
};

class PmDateDataMgr {
 public:
  PmDateDataMgr();
  virtual ~PmDateDataMgr();
  PmDateDataMgr(const PmDateDataMgr&) = delete;
  PmDateDataMgr& operator=(const PmDateDataMgr&) = delete;

  virtual bool Add(const PmDateRecord* pRec);
  virtual void Clear();
  virtual PmDateRecord* First();
  virtual PmDateRecord* Next();
  virtual PmDateRecord* GetAt(int nPos);
  virtual int GetCount() const;

 private:
  PmRecordList<PmDateRecord> m_Recs;
};

class PmDateUtil : public PmDBUtil {
 public:
  PmDateUtil();
  explicit PmDateUtil(const char* szPath);
  ~PmDateUtil() override;

  bool LoadByUser(DWORD nUserId);
  bool LoadFile(const char* szPath);
  // Writes to the file that was loaded.
  bool Save();
  virtual bool SaveAs(const char* szPath);
  PmDateDataMgr* GetDataMgr() { return m_pDataMgr.get(); }

  const char* GetHeaderText() const { return m_szHeader; }

  virtual bool ReadVersion();
  virtual bool ReadCategories();
  virtual bool ReadSchema();
  virtual bool ReadRecords();
  virtual bool WriteCategories();
  virtual bool WriteSchema();
  virtual bool WriteRecords();
  virtual bool WriteRecord(const PmDateRecord* pRec);
  virtual bool ReadRepeat(PmDateRecord* pRec);
  virtual bool WriteRepeat(const PmDateRecord* pRec);

 private:
  // The texts, steps and defaults of this layout.
  static const PmDatebookLayout& Layout();
  void Init();
  bool ReadFileName();
  bool ReadHeaderText();
  bool WriteVersion();
  bool WriteFileName();
  bool WriteHeaderText();

  char m_szHeader[PM_DATE_HEADER_SIZE];
  std::unique_ptr<PmDateDataMgr> m_pDataMgr;
};
