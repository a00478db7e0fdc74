// The datebook file of Palm Desktop 4.1.4 ("PalmSG Database00RV", version 0x44420200): a
// header, the category block, a schema, and records of 27 typed fields each. PmDateExUtil
// reads the whole file into a PmDateExDataMgr and writes the whole file back; whatever the
// program does not understand (reserved header bytes, extension blobs, spare fields, repeat
// exceptions) is carried through unchanged.
//
// Saving never writes over the datebook in place: it writes a temporary file beside the one
// that was loaded and renames it over it, keeping the first overwritten version of the
// process as "<file>.bak".
#pragma once

#include <memory>
#include <vector>

#include "common/palm/PalmComm.h"

#define PM_DATEEX_VERSION 0x44420200UL
#define PM_DATEEX_FIELDS 27
#define PM_DATEEX_MAGIC_SIZE 24
#define PM_DATEEX_RESERVED1_SIZE 24
#define PM_DATEEX_RESERVED2_SIZE 43
#define PM_DATEEX_BLOBS 4
// Record sequence of the first record added by this program.
#define PM_DATEEX_SEQUENCE_BASE 4096
// Placement of records added by this program.
#define PM_PLACEMENT_NEW 0x7FFFFFFFUL

// One 4.1.4 datebook record. Numbers are the record's field numbers in the file.
struct PmDateExRecord {
  DWORD nRecordId;                // 0: 0 for records added by this program
  DWORD nSequence;                // 1
  DWORD nStatus;                  // 2: PM_STATUS_*
  DWORD nFieldBase;               // 3
  DWORD nPlacement;               // 4
  LONG nCategoryId;               // 5
  LONG bPrivate;                  // 6
  PmBlob blobs[PM_DATEEX_BLOBS];  // 7-10: owned data, see PmDateExRecordCopy
  char szText11[32];
  char szText12[32];
  DWORD nStartTime;  // 13: Palm time value
  DWORD nEndTime;    // 14
  char szSummary[256];
  LONG nInt16;
  char szNote[PM_TEXT_FIELD_SIZE];
  LONG bUntimed;  // 18: all-day
  LONG bAlarm;    // 19
  LONG nAlarmAdvance;
  LONG nAlarmUnit;  // 21: 0, 1 or 2
  PmRepeat repeat;  // 22
  char szLocation[256];
  LONG nInt24;
  char szText25[32];
  char szText26[32];
  char szCategory[32];  // name of nCategoryId, filled when loading; not stored
};

// *pDst becomes a copy of *pSrc with its own blob data (pDst's previous blob data is not
// freed). False when blob data cannot be allocated; pDst then holds no blob data.
bool PmDateExRecordCopy(PmDateExRecord* pDst, const PmDateExRecord* pSrc);
// Releases the record's blob data.
void PmDateExRecordFree(PmDateExRecord* pRec);

// The records of one 4.1.4 datebook, each an owned deep copy.
class PmDateExDataMgr {
 public:
  PmDateExDataMgr();
  virtual ~PmDateExDataMgr();
  PmDateExDataMgr(const PmDateExDataMgr&) = delete;
  PmDateExDataMgr& operator=(const PmDateExDataMgr&) = delete;

  virtual bool Add(const PmDateExRecord* pRec);
  virtual void Clear();
  // The list's cursor: First resets it, Next moves on; null at the end.
  virtual PmDateExRecord* First();
  virtual PmDateExRecord* Next();
  virtual PmDateExRecord* GetAt(int nPos);
  virtual int GetCount() const;

 private:
  friend class PmDateExUtil;
  struct RecordDeleter {
    void operator()(PmDateExRecord* pRec) const;
  };
  using RecordPtr = PmRecordList<PmDateExRecord, RecordDeleter>::Ptr;
  // The loader reads each record straight into its final place instead of copying it.
  static RecordPtr NewRecord();
  bool AddOwned(RecordPtr pRec);

  PmRecordList<PmDateExRecord, RecordDeleter> m_Recs;
};

class PmDateExUtil : public PmDBUtil {
 public:
  PmDateExUtil();
  // Loads szPath; IsLoaded tells the result.
  explicit PmDateExUtil(const char* szPath);
  ~PmDateExUtil() override;

  bool LoadByUser(DWORD nUserId);
  bool LoadFile(const char* szPath);
  // Writes to the file that was loaded (not to the name stored inside it).
  bool Save();
  bool SaveAs(const char* szPath);
  PmDateExDataMgr* GetDataMgr() { return m_pDataMgr.get(); }

  virtual bool Init();
  virtual bool Free();
  virtual bool ReadMagic();
  virtual bool ReadVersion();
  virtual bool ReadDescription();
  virtual bool ReadCategories();
  virtual bool ReadSchema();
  virtual bool ReadRecords();
  virtual bool WriteMagic();
  virtual bool WriteVersion();
  virtual bool WriteDescription();
  virtual bool WriteCategories();
  virtual bool WriteSchema();
  virtual bool WriteRecords();
  virtual bool WriteRecord(const PmDateExRecord* pRec);
  virtual bool ReadRepeat(PmDateExRecord* pRec);
  virtual bool WriteRepeat(const PmDateExRecord* pRec);

 private:
  // The texts, steps and defaults of this layout.
  static const PmDatebookLayout& Layout();

  std::unique_ptr<PmDateExDataMgr> m_pDataMgr;
  BYTE m_Reserved1[PM_DATEEX_RESERVED1_SIZE];
  BYTE m_Reserved2[PM_DATEEX_RESERVED2_SIZE];
};
