// The record set: the common records one store produced, in load order, owned by the set
// together with their pExtra blocks. A record's position (0-based) addresses the store's own
// record list too, which the store keeps in the same order.
//
// Matching: two records are the same appointment when all identity keys agree (default:
// description, start date, end date, all-day flag) and that appointment is unchanged when the
// equality keys agree too (default: location) and so do the deleted occurrences of their
// repeats (SameExceptions), whatever the keys: a deleted occurrence is a change to carry.
// The set's one cursor is its list's: iterating, GetAt, AddCopy and Remove move it, so they
// may not be nested on one set.
//
// FindMatch looks records up through an index of their identity keys, which AddCopy, Update,
// Remove and Clear keep. A record changed in place on an identity field through a pointer the
// set handed out stays filed under its old key until the next MarkAll against this set, which
// files every record afresh; change identity fields through Update when a FindMatch follows.
#pragma once

#include <memory>
#include <vector>

#include "common/calendar/CommDate.h"
#include "platform/win/WinTypes.h"

class CxList;

inline constexpr int FIND_ERROR = -1;
inline constexpr int FIND_SAME = 1;
inline constexpr int FIND_NONE = 2;
inline constexpr int FIND_CHANGED = 3;

#define COMMDATE_MAX_KEYS 14

// True when the two records agree on every field id of the list (see the comparisons in
// CommDateMgr.cpp); false for a missing record or an empty list.
bool SameByKeys(const CommDate* pA, const CommDate* pB, const int* pIds, int nCount);

class CommDateMgr {
 public:
  CommDateMgr();
  virtual ~CommDateMgr();

  CommDateMgr(const CommDateMgr&) = delete;
  CommDateMgr& operator=(const CommDateMgr&) = delete;

  // Frees every record with its block and empties the set.
  void Clear();

  // Appends a copy of the record (with its own copy of the block) and returns it; null when
  // it cannot be allocated. The caller keeps the record it passed.
  CommDate* AddCopy(const CommDate* pDate);

  // Overwrites the data fields of the record at nPos (texts only when the incoming text is
  // not empty); alarm advance, source, match state, block and peer stay.
  bool Update(const CommDate* pDate, int nPos);

  // Frees the record at nPos with its block; the records after it move one position down, so
  // the store that owns the set must drop its own record at the same position. False outside
  // the set.
  bool Remove(int nPos);

  CommDate* GetFirst();
  CommDate* GetNext();
  // The record at nPos (moves the cursor); null outside the set.
  CommDate* GetAt(int nPos);
  int GetCount() const;

  // FIND_SAME / FIND_CHANGED / FIND_NONE, or FIND_ERROR for a missing record. *ppPeer gets the
  // counterpart (null for FIND_NONE); *pnPos the position of the unchanged match, of the last
  // changed match, or the number of records searched. Both outs are optional.
  int FindMatch(const CommDate* pDate, CommDate** ppPeer, int* pnPos);

  // Sets nMatchState and pPeer of every record of this set against pOther, after filing
  // pOther's records under their current keys.
  bool MarkAll(CommDateMgr* pOther);

  // Replace the key lists (at most COMMDATE_MAX_KEYS ids); no ids or a count of 0 restores
  // the default.
  void SetIdentityKeys(const int* pIds, int nCount);
  void SetEqualityKeys(const int* pIds, int nCount);

 private:
  struct KeyIndex;

  void BuildIndex();
  void Refile(int nPos);
  void RefileAll();

  std::unique_ptr<CxList> m_pList;
  // The list's records by position, so that a match found through the index is reached
  // without walking the list.
  std::vector<CommDate*> m_vRecords;
  // Built by the first FindMatch after it was dropped (by a change of the identity keys or a
  // removal); null until then.
  std::unique_ptr<KeyIndex> m_pIndex;
  int m_nIdentityKeys[COMMDATE_MAX_KEYS];
  int m_nIdentityCount;
  int m_nEqualityKeys[COMMDATE_MAX_KEYS];
  int m_nEqualityCount;
};

// Whether the record, with its recurrence, falls on the day (any day from the start to the end
// of the record or of one of its occurrences) / has its start or an occurrence within
// first..last, both ends included. Deleted occurrences do not count; a deleted first
// occurrence takes its days with it. The stored day of week of the record's start is not
// trusted. A timed record ending exactly at midnight does not cover the day that begins.
bool OccursOnDay(const CommDate* pDate, const SYSTEMTIME* pDay);
// Which day of the record (or of its occurrence) the day is: 0 for the day it starts, -1 when
// it does not cover the day.
int CoveredDayOffset(const CommDate* pDate, const SYSTEMTIME* pDay);
// The number of days after its start's day that the record (each occurrence) covers.
int CoveredSpanDays(const CommDate* pDate);
bool OccursInRange(const CommDate* pDate, const SYSTEMTIME* pFirst, const SYSTEMTIME* pLast);
// The local start of the record's occurrence that begins on pDay: that day at the start's time
// of day, or where the clock shifts of a series of another zone move it (which may be from
// the day before or after). False when no occurrence begins on the day.
bool OccurrenceStartOn(const CommDate* pDate, const SYSTEMTIME* pDay, SYSTEMTIME* pStart);

// Sets the deleted occurrences of the record's repeat from the given days (any order, the
// time of day ignored): each kept once, ascending, only when it is an occurrence of the
// repeat (a day the series never reaches deletes nothing, and no store could keep it), and
// at most REPEAT_MAX_EXCEPTIONS of them, the latest, since past occurrences matter least.
// A record without repeat keeps none. Returns how many were kept.
int SetDeletedOccurrences(CommDate* pDate, const SYSTEMTIME* pDays, int nCount);
