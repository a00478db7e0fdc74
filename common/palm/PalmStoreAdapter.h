// What PmDateInfo needs of one calendar kind, so that the store says once, at load, which kind
// it holds and otherwise never asks. Two halves:
//
// - PmRecordLayout: how a kind's Palm record (in a PalmRecordRef) holds the fields every kind
//   has. It needs no store, so conversions of a lone record work too; one shared instance per
//   kind, found by the record's own kind (OfKind).
// - PmStoreAdapter: one loaded store object (the datebook of 4.1 and earlier, the 4.1.4
//   datebook, the 6.x database) driven the same way. PmDateInfo owns the store objects; an
//   adapter only uses the one it was made for, and lives no longer than PmDateInfo.
//
// Store positions are positions in the store's own record list, hidden records included.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "common/palm/PalmDateInfo.h"

// The fields every kind has, pointing into the kind's own record.
struct PalmFields {
  char* szSummary;
  int nSummarySize;
  char* szNote;
  int nNoteSize;
  char* szLocation;  // null for kind 1
  int nLocationSize;
  char* szCategory;
  int nCategorySize;
  DWORD* pnStart;
  DWORD* pnEnd;
  LONG nUntimed;
  LONG nPrivate;
  LONG nAlarm;
  LONG nAdvance;
  LONG nUnit;
};

class PmRecordLayout {
 public:
  // The layout of a record of nKind; any kind but the two datebooks is the database's, as a
  // zeroed reference of no kind always was read.
  static const PmRecordLayout& OfKind(int nKind);

  virtual ~PmRecordLayout() = default;

  virtual PalmFields FieldsOf(PalmRecordRef* pRef) const = 0;
  // Moves the fields PalmFields carries by value back into the record.
  virtual void StoreFlags(PalmRecordRef* pRef, const PalmFields& f) const = 0;
  virtual LONG* CategoryIdOf(PalmRecordRef* pRef) const = 0;
  // A datebook's times run from 1970 to 2106; the database keeps dates of its own kind.
  virtual bool HoldsDatebookTimes() const = 0;
  // A monthly-by-weekday repeat as weekday flags (the database) rather than one day index.
  virtual bool KeepsWeekdayFlags() const = 0;

  // The repeat block (and its deleted occurrences) into the common record, whose start is
  // already read. pUntimedStart: the start of an untimed appointment.
  virtual void ReadRepeat(const PalmRecordRef* pRef, const PalmFields& f,
                          const PmTime* pUntimedStart, const PmWriterZone* pZone,
                          CommDate* pRecord) const = 0;
  virtual void WriteRepeat(const RepeatPattern& pattern, PalmRecordRef* pRef) const = 0;
  // The deleted occurrences the record keeps as midnights of its writer's zone.
  virtual void AddDeletedMidnights(const PalmRecordRef* pRef, const PalmFields& f,
                                   std::vector<DWORD>* pMidnights) const = 0;

  // The copy a common record carries (pExtra), packed over the kind's note.
  virtual std::vector<BYTE> PackReference(const PalmRecordRef& ref) const = 0;
  // Forgets blob data the reference only borrows, so that a copy of it carries none.
  virtual void DropBlobs(PalmRecordRef* pRef) const {}
  // Frees blob data the reference owns.
  virtual void FreeBlobs(PalmRecordRef* pRef) const {}
};

class PmStoreAdapter {
 public:
  virtual ~PmStoreAdapter() = default;

  virtual int GetKind() const = 0;
  // The kind whose loader may still read what this one refused; PALM_KIND_NONE for none.
  virtual int GetEarlierKind() const { return PALM_KIND_NONE; }

  virtual bool LoadByUser(DWORD nUserId) = 0;
  virtual bool LoadFile(const char* szPath) = 0;
  // Why the last load or save failed; unset when the store cannot say.
  virtual const CxFailure& GetLastFailure() const = 0;

  virtual int GetStoreCount() const = 0;
  // Fills *pRef (of this kind) from the record at nStorePos, sharing its blob data.
  virtual bool ReadStoreRecord(int nStorePos, PalmRecordRef* pRef, DWORD* pnStatus) const = 0;
  // The same but for the note, which is left as it was: for a pass over every record that
  // looks at its times only, where the note is most of what would be copied.
  virtual bool ReadStoreRecordButNote(int nStorePos, PalmRecordRef* pRef, DWORD* pnStatus) const {
    return ReadStoreRecord(nStorePos, pRef, pnStatus);
  }
  // The id of the category named (added when missing), in *pnId.
  virtual bool ResolveCategory(const char* szName, LONG* pnId) = 0;

  // Marks the converted record new and appends a copy to the store, at nStorePos (the
  // store's count before it).
  virtual bool AddStoreRecord(PalmRecordRef* pRef, int nStorePos) = 0;
  // The common record as the store keeps it, when that differs from what was written.
  virtual std::unique_ptr<CommDate> AsStoreKeepsIt(const CommDate& record) const { return nullptr; }
  // Writes the record added at nStorePos through, for a store written record by record.
  virtual bool WriteNewRecord(int nStorePos) { return true; }
  // Marks the converted record changed and copies it over the store's record at nStorePos.
  virtual bool UpdateStoreRecord(int nStorePos, PalmRecordRef* pChanged) = 0;
  virtual bool MarkDeleted(int nStorePos) = 0;
  // 0 for a record Palm Desktop has not numbered yet, or for no record.
  virtual long long GetRecordId(int nStorePos) const = 0;

  // The file Save replaces; empty for a store that commits in place.
  virtual std::string GetSavePath() const { return std::string(); }
  virtual bool Save() = 0;
};

std::unique_ptr<PmStoreAdapter> PmMakeDatebookAdapter(PmDateUtil* pStore);
std::unique_ptr<PmStoreAdapter> PmMakeDatebookExAdapter(PmDateExUtil* pStore);
// pCalendar may be null (no 6.x code registered): every load and write then fails.
std::unique_ptr<PmStoreAdapter> PmMakeDatabaseAdapter(PmCalendarEx2* pCalendar);

const PmRecordLayout& PmDatebookRecordLayout();
const PmRecordLayout& PmDatebookExRecordLayout();
const PmRecordLayout& PmDatabaseRecordLayout();
