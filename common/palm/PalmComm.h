// The building blocks of the Palm Desktop 4.x datebook files: the field codec of PmDBUtil
// (little-endian integers, length-prefixed texts, typed fields, extension blobs, the repeat
// event block and the category block), the Palm time value PmTime (PalmCommTime.h) and the
// category list (PalmCommCategory.h), and what both datebook layouts share: one load and one
// save, driven by a description of the layout (PmDatebookLayout), and records read and
// written through one field table per layout (PmFieldDef).
//
// Texts are single-byte in the ANSI code page. Blob data is a heap block owned by whichever
// record holds the blob: records are copied whole, so a copy that must outlive its source
// goes through PmBlobCopy (or the record helpers of the datebook modules) and is released with
// PmBlobFree.
#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/misc/CxFailure.h"
#include "common/misc/CxFileHold.h"
#include "common/palm/PalmCommCategory.h"
#include "common/palm/PalmCommTime.h"
#include "platform/win/WinReplace.h"
#include "platform/win/WinString.h"
#include "platform/win/WinTypes.h"

// The owning record list of the datebook data managers, with one cursor: First starts over,
// Next walks on, both give null past the end. Records are held by unique pointers so a load
// that stops half-way frees what it read.
template <typename T, typename Deleter = std::default_delete<T>>
class PmRecordList {
 public:
  using Ptr = std::unique_ptr<T, Deleter>;

  bool Push(Ptr pRec) {
    if (!pRec) return false;
    m_Recs.push_back(std::move(pRec));
    return true;
  }
  void Clear() {
    m_Recs.clear();
    m_nCursor = 0;
  }
  T* First() {
    m_nCursor = 0;
    return Next();
  }
  T* Next() { return m_nCursor < m_Recs.size() ? m_Recs[m_nCursor++].get() : nullptr; }
  T* GetAt(int nPos) {
    if (nPos < 0 || static_cast<size_t>(nPos) >= m_Recs.size()) return nullptr;
    return m_Recs[static_cast<size_t>(nPos)].get();
  }
  int GetCount() const { return static_cast<int>(m_Recs.size()); }

 private:
  std::vector<Ptr> m_Recs;
  size_t m_nCursor = 0;
};

// Type codes of the typed fields.
#define PM_FIELD_INT 1
#define PM_FIELD_DATE 3
#define PM_FIELD_TEXT 5
#define PM_FIELD_BOOL 6
#define PM_FIELD_REPEAT 8
#define PM_FIELD_BLOB1 64
#define PM_FIELD_BLOB2 65
#define PM_FIELD_BLOB3 66
#define PM_FIELD_BLOB4 67

// ReadTextField's buffer: up to 8191 characters and the terminator.
#define PM_TEXT_FIELD_SIZE 8192
// The longest text the length-prefixed form can carry (its long length has 16 bits).
#define PM_MAX_CSTRING 65535
// m_szFileName: 255 characters and the terminator.
#define PM_FILE_NAME_SIZE 256
// The most fields a record of either layout has, and so the most field types a schema holds.
#define PM_MAX_FIELDS 27

// Open modes.
#define PM_OPEN_READ 0
#define PM_OPEN_WRITE 1
#define PM_OPEN_READWRITE 2
#define PM_OPEN_CREATE 3

// Repeat brands.
#define PM_REPEAT_NONE 0
#define PM_REPEAT_DAILY 1
#define PM_REPEAT_WEEKLY 2
#define PM_REPEAT_MONTHLY_BY_DAY 3
#define PM_REPEAT_MONTHLY_BY_DATE 4
#define PM_REPEAT_YEARLY_BY_DATE 5
#define PM_REPEAT_YEARLY_BY_DAY 6
// End date of a repeat without end (in 2031).
#define PM_NO_END_DATE 0x749DCEFFUL
// Deleted occurrences a repeat block carries; a record with more is refused rather than
// saved back without some of them.
#define PM_MAX_EXCEPTIONS 256
// The longest class name accepted in a repeat event field.
#define PM_MAX_CLASS_NAME 255

// Record status bits.
#define PM_STATUS_ADDED 0x01
#define PM_STATUS_CHANGED 0x02
#define PM_STATUS_DELETED 0x04
#define PM_STATUS_ARCHIVED 0x80

// An extension blob of the 4.1.4 layout, carried through unchanged.
struct PmBlob {
  DWORD nType;
  DWORD nSelector;
  DWORD nWord1;
  DWORD nWord2;
  DWORD nDataLen;
  BYTE* pData;  // heap block (new[]) of nDataLen bytes, or null
};

// Gives pDst its own copy of pSrc's data (pDst's previous data is not freed). False when the
// copy cannot be allocated; pDst then has no data.
bool PmBlobCopy(PmBlob* pDst, const PmBlob* pSrc);
// Releases the blob's data and clears its pointer and length.
void PmBlobFree(PmBlob* pBlob);

// The repeat block of a datebook record. Which fields count depends on the brand: day index
// for 1-3, days mask for 2, week index for 3, day number for 4-5, month index for 5.
struct PmRepeat {
  LONG nBrand;
  LONG nInterval;
  DWORD nEndDate;  // Palm time value of the last date; PM_NO_END_DATE for none
  LONG nFirstDayOfWeek;
  LONG nDayIndex;
  BYTE bDaysMask;  // bit 0 = Sunday .. bit 6 = Saturday
  LONG nWeekIndex;
  LONG nMonthIndex;  // 0 = January
  LONG nDayNumber;
  // Dates of deleted occurrences (Palm time values), written back as they were read.
  WORD nExceptionCount;
  DWORD nExceptions[PM_MAX_EXCEPTIONS];
};

class PmDBUtil;
template <typename Rec>
struct PmFieldDef;

// A step of a datebook layout's load or save: the part of the file it reads or writes, the
// error line the layout logs when it fails, and what its failure says of the file when the
// step did not say it itself: CX_FAIL_NOT_CALENDAR or CX_FAIL_DAMAGED with szReason, or
// CX_FAIL_NONE to leave it (a load that fails without a reason ends early: damaged).
using PmStepFn = bool (PmDBUtil::*)();
struct PmFileStep {
  PmStepFn pfnStep;
  const char* szFailLog;
  int nFailCode;
  const char* szReason;
};

// A layout's own step (a member of the layout's class) as a PmFileStep's function.
template <typename Layout>
PmStepFn PmStep(bool (Layout::*pfnStep)()) {
  return static_cast<PmStepFn>(pfnStep);
}

// What tells one datebook layout from the other in the load and save they share: the
// module its lines are logged under and whether it logs every step, its version and new
// schema, its steps in file order, its own texts, and how its records are bounded.
//
// Each text is a whole line or the start of a line the path (or user id) ends; null logs
// nothing.
struct PmDatebookLayout {
  const char* szModule;
  // Progress lines of every step, or only the start and the failure of a load.
  bool bVerbose;

  DWORD nVersion;
  // The schema of a new datebook.
  DWORD nResourceId;
  DWORD nFieldsPerRow;
  DWORD nRecordIdPos;
  DWORD nStatusPos;
  DWORD nPlacementPos;
  std::span<const WORD> fieldTypes;
  // The fields of the layout's record: a schema with more is refused.
  WORD nMaxFields;
  // Which value says how many fields each record holds: the schema's field count, or the row
  // width (cut to the record's fields).
  bool bRecordWidthIsFieldCount;
  // A record count that the rest of the file cannot hold is refused before any record is
  // read (otherwise the records are read until one fails).
  bool bRefuseCountPastEnd;

  std::span<const PmFileStep> loadSteps;
  std::span<const PmFileStep> saveSteps;

  const char* szLoadingByUser;  // + user id
  const char* szNoUserFolder;
  const char* szLoadingUserFile;  // + path
  const char* szLoading;          // + path
  const char* szOpenFailed;       // + path
  const char* szLoaded;
  const char* szLoadFailed;  // + path
  const char* szSaving;      // + path
  const char* szSaved;
  const char* szSaveFailed;
};

// What reading one record gave (see PmDBUtil::ReadRecordList).
#define PM_RECORD_READ 0
#define PM_RECORD_DAMAGED 1
#define PM_RECORD_NO_MEMORY 2

// One open datebook file and its category list; the base of both datebook layouts, which
// loads and saves either of them as its PmDatebookLayout describes.
//
// Reads go through a read-ahead buffer and writes through a write-behind buffer, so a
// datebook of tens of thousands of records does not cost a system call per field; every
// primitive still fails exactly when the bytes it asks for are not in the file (or cannot
// be written). RemainingBytes() tells how much of the file is left to read, and every count
// or length taken from the file is checked against it before anything is allocated.
class PmDBUtil {
 public:
  PmDBUtil();
  virtual ~PmDBUtil();
  PmDBUtil(const PmDBUtil&) = delete;
  PmDBUtil& operator=(const PmDBUtil&) = delete;

  // Mode 0 read, 1 write, 2 read and write (all three: the file must exist), 3 read and
  // write, created or truncated. Always exclusive. Paths over 255 characters are refused.
  bool Open(const char* szPath, int nMode);
  void Close();
  bool IsOpen() const;

  bool ReadBytes(void* pBuf, DWORD nCount);
  bool ReadSome(void* pBuf, DWORD* pnCount);
  bool ReadLong(DWORD* pnValue);
  bool ReadShort(WORD* pnValue);
  bool ReadByte(BYTE* pnValue);
  // A length-prefixed text into szBuf of *pnCapacity bytes. A text that does not fit with
  // its terminator fails with its length in *pnCapacity, the text bytes left unread.
  bool ReadCString(char* szBuf, DWORD* pnCapacity);

  bool WriteBytes(const void* pBuf, DWORD nCount);
  bool WriteLong(DWORD nValue);
  bool WriteShort(WORD nValue);
  bool WriteByte(BYTE nValue);
  // Texts longer than PM_MAX_CSTRING are refused.
  bool WriteCString(const char* szText);

  bool WriteIntField(DWORD nValue);
  bool WriteDateField(DWORD nValue);
  bool WriteBoolField(DWORD nValue);
  bool WriteTextField(const char* szText, DWORD nWord);
  // Any of the integer type codes (1, 3, 6) is accepted.
  bool ReadIntField(DWORD* pnValue);
  // szBuf holds PM_TEXT_FIELD_SIZE bytes; longer texts are cut to 8191 characters and the
  // file is left after the whole text.
  bool ReadTextField(char* szBuf, DWORD* pnWord);
  bool WriteBlobField(const PmBlob* pBlob);
  // pBlob must be zeroed by the caller; on failure it may hold data to release (PmBlobFree).
  bool ReadBlobField(PmBlob* pBlob);

  // The repeat event field (type code, exceptions, flag, optional class name, pattern).
  bool ReadRepeatField(PmRepeat* pRepeat);
  bool WriteRepeatField(const PmRepeat* pRepeat);

  DWORD GetFilePos() const;
  // Bytes of the open file after the current position.
  DWORD RemainingBytes() const;

  // Category name of an id into szCatText (16 bytes are enough); false when no entry has it.
  bool GetCategoryText(LONG nId, char* szCatText);
  // The id of the category named szText (first 15 characters); with bAdd a missing one is
  // added. An empty text is "Unfiled" (0).
  bool GetCategoryId(const char* szText, LONG* pnId, bool bAdd);
  PmCategoryMgr* GetCategoryMgr() const { return m_pCatMgr.get(); }

  // The database file name held by the object: the opened path, replaced by the name
  // stored inside the file once a datebook is loaded.
  const char* GetFileName() const { return m_szFileName; }
  // The path the datebook was last loaded from; Save writes there. Empty before a load.
  const char* GetLoadedPath() const { return m_szLoadedPath; }

  // Why the last load or save failed; cleared when one starts.
  const CxFailure& GetLastFailure() const { return m_Failure; }
  // Lets other runs load the datebook again (the store no longer means to save it).
  void ReleaseHold();

  // Bytes as two-digit lower-case hexadecimal numbers separated by single spaces.
  static std::string HexBytes(const BYTE* pBytes, DWORD nCount);

  // What a load of the datebook gave (false before one).
  bool IsLoaded() const { return m_bLoaded; }
  DWORD GetVersion() const { return m_nVersion; }
  WORD GetFieldCount() const { return m_nFieldCount; }
  DWORD GetFieldsPerRow() const { return m_nFieldsPerRow; }

 protected:
  // The load and save both layouts share. The layout's steps run in file order between the
  // datebook's lock and check (BeginLoad, then nothing may follow the records, EndLoad) or
  // its safe replacement (BeginSave, CommitSave or AbortSave), each logged as the layout
  // logs it.
  bool LoadDatebook(const char* szPath, const PmDatebookLayout& layout);
  bool SaveDatebook(const char* szPath, const PmDatebookLayout& layout);
  // The datebook path of a Palm user, for LoadByUser.
  bool UserDatebookPath(DWORD nUserId, const PmDatebookLayout& layout, char (&szPath)[MAX_PATH]);
  // A new datebook of the layout: its version and schema, nothing loaded, no categories.
  void InitLayout(const PmDatebookLayout& layout);

  // The version long: anything but the layout's version is not a datebook of the layout.
  bool CheckVersion(const PmDatebookLayout& layout);
  // The schema (resource id, row width, the three positions, field count and types).
  bool ReadSchemaBlock(const PmDatebookLayout& layout);
  bool WriteSchemaBlock(const PmDatebookLayout& layout);
  // Fields per record, as the layout counts them.
  DWORD RecordWidth(const PmDatebookLayout& layout) const;
  // The total field count and the records after it. fnReadRecord reads the next record into
  // the layout's list and says how that went (PM_RECORD_*); a damaged one fails the list.
  bool ReadRecordList(const PmDatebookLayout& layout, const std::function<int()>& fnReadRecord);
  // The total field count and nRecords records, each written by fnWriteRecord.
  bool WriteRecordList(const PmDatebookLayout& layout, DWORD nRecords,
                       const std::function<bool(DWORD)>& fnWriteRecord);
  // The first nFields fields of a record, read or written in file order from the layout's
  // field table.
  template <typename Rec, size_t N>
  bool ReadFields(const PmFieldDef<Rec> (&fields)[N], DWORD nFields, Rec* pRec);
  template <typename Rec, size_t N>
  bool WriteFields(const PmFieldDef<Rec> (&fields)[N], DWORD nFields, const Rec* pRec);
  // The module the shared steps log their progress under: null for a layout that does not.
  static const char* VerboseModule(const PmDatebookLayout& layout) {
    return layout.bVerbose ? layout.szModule : nullptr;
  }

  // The category block at the current position. szLogModule names the module of the
  // progress lines, or is null for a layout that reads the block silently; refusals of
  // damaged entries are always logged.
  bool ReadCategoryBlock(const char* szLogModule);
  bool WriteCategoryBlock(const char* szLogModule);

  // Loading. BeginLoad takes the datebook's lock against other runs (held until the next
  // load or ReleaseHold) and opens it for reading only; EndLoad closes it, and after a load
  // that read the whole file remembers the path and the stamp of what was read, which a
  // later save checks the file against. Both fill the failure reason.
  bool BeginLoad(const char* szPath, const char* szLogModule);
  void EndLoad(const char* szPath, bool bLoaded);
  // The reasons of a refused file, with the path: not a datebook of the layout (a check
  // before the records, or the version) or damaged (the layout's, but not whole).
  void FailNotDatebook(const char* szCheck);
  void FailDamaged(const char* szFormat, ...) __attribute__((format(printf, 2, 3)));
  // After the last record: nothing may remain unread, or the counts disagree with the file.
  bool CheckNothingFollows();

  // Saving, through the platform's safe replacement. BeginSave checks that szTarget exists
  // and no other program holds it, then opens the replacement for writing; the layout writes
  // through the ordinary primitives; CommitSave keeps the previous version as "<file>.bak"
  // the first time this process overwrites that file, checks that the file is still what
  // was loaded (when it is the loaded one), and replaces it. AbortSave discards the
  // replacement. szLogModule as above.
  bool BeginSave(const char* szTarget, const char* szLogModule);
  bool CommitSave(const char* szLogModule);
  void AbortSave();

  void RememberLoadedPath(const char* szPath);
  // The path a save in progress writes to (empty outside one).
  const char* GetSaveTarget() const { return m_szSaveTarget; }

  HANDLE m_hFile;
  CxFailure m_Failure;
  char m_szFileName[PM_FILE_NAME_SIZE];
  std::unique_ptr<PmCategoryMgr> m_pCatMgr;
  char m_szLoadedPath[MAX_PATH];

  bool m_bLoaded;
  DWORD m_nVersion;
  DWORD m_nResourceId;
  DWORD m_nFieldsPerRow;
  DWORD m_nRecordIdPos;
  DWORD m_nStatusPos;
  DWORD m_nPlacementPos;
  WORD m_nFieldCount;
  WORD m_nFieldTypes[PM_MAX_FIELDS];

 private:
  bool RunSteps(const PmDatebookLayout& layout, std::span<const PmFileStep> steps);

  bool OpenHandle(const char* szPath, int nMode);
  bool FillReadBuffer();
  bool FlushWriteBuffer();
  bool SkipBytes(DWORD nCount);

  std::vector<BYTE> m_Buffer;
  DWORD m_nBufStart;  // read: first unread byte in m_Buffer; write: unused
  DWORD m_nBufEnd;    // read: bytes valid in m_Buffer; write: bytes pending
  bool m_bWriting;
  bool m_bWriteFailed;
  DWORD m_nPos;       // logical position in the file
  DWORD m_nFileSize;  // size at open, grown by writes
  // Makes hFile the open file, with its buffers set for a file of nSize bytes.
  bool AdoptHandle(HANDLE hFile, DWORD nSize);
  bool KeepBackup(const char* szTarget, const char* szLogModule);
  void EndSave();
  const CX_FILE_STAMP* ExpectedStamp(const char* szTarget) const;

  // While saving: the target, held open so no other program opens it mid-save, and the lock
  // of a target other than the loaded file.
  HANDLE m_hSaveTarget;
  char m_szSaveTarget[MAX_PATH];
  bool m_bSaving;
  DWORD m_dwWriteError;  // why the last write of this save failed
  CxFileHold m_SaveHold;
  // The lock of the loaded file, and the stamp of what its load read.
  CxFileHold m_Hold;
  CX_FILE_STAMP m_LoadedStamp;
  bool m_bStamped;
  std::string m_strLoadingPath;
};

// ---------------------------------------------------------------------------------------------
// Field tables
//
// A layout lists its record's fields once, in file order, each row made by one of the
// makers below from the member that holds it: the row reads the field into that member and
// writes it from there, so reading and writing cannot disagree about a field. Integer kinds
// read with any of the integer codes (Palm Desktop mixes them) and write with their own.

template <typename Rec>
struct PmFieldDef {
  bool (*pfnRead)(PmDBUtil* pDb, Rec* pRec);
  bool (*pfnWrite)(PmDBUtil* pDb, const Rec* pRec);
};

// The record and member types of a pointer to a data member.
template <typename T>
struct PmMemberOf;
template <typename R, typename M>
struct PmMemberOf<M R::*> {
  using Record = R;
  using Member = M;
};

template <auto pMember, bool (PmDBUtil::*pfnWriteKind)(DWORD)>
struct PmIntCodec {
  using Rec = typename PmMemberOf<decltype(pMember)>::Record;
  using Value = typename PmMemberOf<decltype(pMember)>::Member;
  static_assert(sizeof(Value) == sizeof(DWORD), "integer fields are 32-bit");
  static bool Read(PmDBUtil* pDb, Rec* pRec) {
    DWORD nValue = 0;
    if (!pDb->ReadIntField(&nValue)) return false;
    pRec->*pMember = static_cast<Value>(nValue);
    return true;
  }
  static bool Write(PmDBUtil* pDb, const Rec* pRec) {
    return (pDb->*pfnWriteKind)(static_cast<DWORD>(pRec->*pMember));
  }
};

// A text is read whole (up to the 8191 characters the reader keeps) and cut to its member;
// it is written with the word 1, cut to its member even when the member lost its terminator.
template <auto pMember>
struct PmTextCodec {
  using Rec = typename PmMemberOf<decltype(pMember)>::Record;
  static constexpr size_t kSize = sizeof(typename PmMemberOf<decltype(pMember)>::Member);
  static_assert(kSize <= PM_TEXT_FIELD_SIZE, "the text reader keeps no more");
  static bool Read(PmDBUtil* pDb, Rec* pRec) {
    if constexpr (kSize == PM_TEXT_FIELD_SIZE) {
      return pDb->ReadTextField(pRec->*pMember, nullptr);
    } else {
      char szText[PM_TEXT_FIELD_SIZE];
      if (!pDb->ReadTextField(szText, nullptr)) return false;
      CxCopyText(pRec->*pMember, szText);
      return true;
    }
  }
  static bool Write(PmDBUtil* pDb, const Rec* pRec) {
    const char(&szField)[kSize] = pRec->*pMember;
    if (::strnlen(szField, kSize) < kSize) return pDb->WriteTextField(szField, 1);
    char szCopy[kSize];
    CxCopyText(szCopy, szField);
    return pDb->WriteTextField(szCopy, 1);
  }
};

template <auto pBlobs, size_t nIndex>
struct PmBlobCodec {
  using Rec = typename PmMemberOf<decltype(pBlobs)>::Record;
  static bool Read(PmDBUtil* pDb, Rec* pRec) {
    return pDb->ReadBlobField(&(pRec->*pBlobs)[nIndex]);
  }
  static bool Write(PmDBUtil* pDb, const Rec* pRec) {
    return pDb->WriteBlobField(&(pRec->*pBlobs)[nIndex]);
  }
};

template <auto pRepeat>
struct PmRepeatCodec {
  using Rec = typename PmMemberOf<decltype(pRepeat)>::Record;
  static bool Read(PmDBUtil* pDb, Rec* pRec) { return pDb->ReadRepeatField(&(pRec->*pRepeat)); }
  static bool Write(PmDBUtil* pDb, const Rec* pRec) {
    return pDb->WriteRepeatField(&(pRec->*pRepeat));
  }
};

// A category id that also names its category in pText as it is read (an id the list does not
// hold leaves the name empty).
template <auto pId, auto pText>
struct PmCategoryCodec {
  using Rec = typename PmMemberOf<decltype(pId)>::Record;
  using IdCodec = PmIntCodec<pId, &PmDBUtil::WriteIntField>;
  static bool Read(PmDBUtil* pDb, Rec* pRec) {
    if (!IdCodec::Read(pDb, pRec)) return false;
    if (pDb->GetCategoryMgr() != nullptr) pDb->GetCategoryText(pRec->*pId, pRec->*pText);
    return true;
  }
  static bool Write(PmDBUtil* pDb, const Rec* pRec) { return IdCodec::Write(pDb, pRec); }
};

template <typename Codec>
constexpr PmFieldDef<typename Codec::Rec> PmFieldOf() {
  return {&Codec::Read, &Codec::Write};
}
// Integers written with the integer, date or boolean code.
template <auto pMember>
constexpr auto PmIntField() {
  return PmFieldOf<PmIntCodec<pMember, &PmDBUtil::WriteIntField>>();
}
template <auto pMember>
constexpr auto PmDateField() {
  return PmFieldOf<PmIntCodec<pMember, &PmDBUtil::WriteDateField>>();
}
template <auto pMember>
constexpr auto PmBoolField() {
  return PmFieldOf<PmIntCodec<pMember, &PmDBUtil::WriteBoolField>>();
}
template <auto pMember>
constexpr auto PmTextField() {
  return PmFieldOf<PmTextCodec<pMember>>();
}
template <auto pBlobs, size_t nIndex>
constexpr auto PmBlobField() {
  return PmFieldOf<PmBlobCodec<pBlobs, nIndex>>();
}
template <auto pRepeat>
constexpr auto PmRepeatField() {
  return PmFieldOf<PmRepeatCodec<pRepeat>>();
}
template <auto pId, auto pText>
constexpr auto PmCategoryField() {
  return PmFieldOf<PmCategoryCodec<pId, pText>>();
}

// Fields past the table's (a row wider than the record) carry nothing.
template <typename Rec, size_t N>
bool PmDBUtil::ReadFields(const PmFieldDef<Rec> (&fields)[N], DWORD nFields, Rec* pRec) {
  for (DWORD nField = 0; nField < nFields && nField < N; ++nField) {
    if (!fields[nField].pfnRead(this, pRec)) return false;
  }
  return true;
}

template <typename Rec, size_t N>
bool PmDBUtil::WriteFields(const PmFieldDef<Rec> (&fields)[N], DWORD nFields, const Rec* pRec) {
  for (DWORD nField = 0; nField < nFields && nField < N; ++nField) {
    if (!fields[nField].pfnWrite(this, pRec)) return false;
  }
  return true;
}
