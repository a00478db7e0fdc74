// The journal beside the calendar file of the Outlook stand-in. An item save appends one
// record to it instead of rewriting the calendar, so a run that saves N items writes O(N)
// bytes; the calendar file itself is rewritten whole ("folded") only now and then, through
// the platform's safe replacement, and other programs reading it see the last folded state.
//
// Layout (integers little-endian):
//   header  "DBJRNL01", u64 size and u64 content hash (CxHashContents) of the calendar file
//           the records apply to, u64 check of the 24 bytes before it      (32 bytes)
//   record  u32 payload length, u64 check of the length field and the payload, payload:
//             u8 kind, then for OL_JOURNAL_REPLACE: u32 item index, text event, text zone
//                               OL_JOURNAL_APPEND:  text event, text zone
//                               OL_JOURNAL_REMOVE:  u32 item index, text event (the
//                                                   event removed, which names it)
//                               OL_JOURNAL_FOLD:    u64 size, u64 hash of the calendar text
//                                                   a fold was about to write
//                               OL_JOURNAL_GROUP_BEGIN, OL_JOURNAL_GROUP_END: nothing more;
//                                 the records between them are one change, applied whole
//                                 or, when the end is missing, not at all
//           where a text is a u32 length and that many bytes.
// The check is CxHashContents: it tells a torn or damaged record, it is no signature.
//
// Durability: Append returns once the record is written to the file, so a killed process
// loses no record whose save returned. The records are forced to the disk at most
// OL_JOURNAL_FLUSH_MS after the last time they were, before a fold, and when the journal is
// closed; a power cut can lose the saves of that last moment, never make a record half-read:
// a torn tail is told apart by its check and dropped.
//
// One process owns a journal at a time: it holds an exclusive flock on it from the moment it
// opens or creates it until it removes it or closes it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/win/WinTypes.h"

#define OL_JOURNAL_REPLACE 1
#define OL_JOURNAL_APPEND 2
#define OL_JOURNAL_FOLD 3
#define OL_JOURNAL_GROUP_BEGIN 4
#define OL_JOURNAL_GROUP_END 5
#define OL_JOURNAL_REMOVE 6

// A journal's name is taken by a file no run holds and that could not be moved away.
#define ERROR_CX_JOURNAL_STUCK 0x20000101L

// A journal is folded long before this; anything bigger is not a journal of ours.
#define OL_JOURNAL_MAX_BYTES (1024ULL * 1024 * 1024)

// The longest time records may stay written but not forced to the disk while saves go on.
#define OL_JOURNAL_FLUSH_MS 50

struct OlJournalRecord {
  BYTE nKind = 0;
  DWORD nItem = 0;  // OL_JOURNAL_REPLACE
  std::string strEvent;
  std::string strZone;
  ULONGLONG nFoldSize = 0;  // OL_JOURNAL_FOLD
  ULONGLONG nFoldHash = 0;
};

// How the readable part of a journal ends.
enum OlJournalEnd {
  OL_JOURNAL_WHOLE,    // every byte belongs to the header or a whole record
  OL_JOURNAL_TORN,     // the last record (or the header) was cut short by a crash
  OL_JOURNAL_DAMAGED,  // a record that is not the last fails its check, or it is no journal
};

struct OlJournalContents {
  bool bHeader = false;  // a whole header with our mark and a matching check
  ULONGLONG nBaseSize = 0;
  ULONGLONG nBaseHash = 0;
  std::vector<OlJournalRecord> records;  // the whole records before the first bad one
  size_t nValidLength = 0;               // bytes of the header and those records
  // A group begun and never ended (its writer was cut off): where its first record starts
  // and its index in records; 0 and records.size() when there is none.
  size_t nOpenGroupAt = 0;
  size_t nOpenGroupRecord = 0;
  OlJournalEnd end = OL_JOURNAL_WHOLE;
};

// Reads journal bytes of any origin; every length is checked against what remains. A record
// that fails its check is a torn tail when nothing but zeros follows its declared end (or
// that end lies past the end of the data): a write cut off by a crash looks like that. A
// record that passes its check but cannot be read is damage wherever it stands.
void OlReadJournal(const char* pData, size_t nSize, OlJournalContents* pContents);

// The bytes of a header and of the records. Empty when a text is too long for its length
// field (4 GiB).
std::string OlJournalHeader(ULONGLONG nBaseSize, ULONGLONG nBaseHash);
std::string OlJournalReplace(DWORD nItem, const std::string& strEvent, const std::string& strZone);
std::string OlJournalAppend(const std::string& strEvent, const std::string& strZone);
std::string OlJournalRemove(DWORD nItem, const std::string& strEvent);
std::string OlJournalFold(ULONGLONG nSize, ULONGLONG nHash);
// OL_JOURNAL_GROUP_BEGIN or OL_JOURNAL_GROUP_END.
std::string OlJournalGroupMark(BYTE nKind);

// The journal file of the calendar file at strCalendarPath (links followed): beside it,
// named after it.
std::string OlJournalPathFor(const std::string& strCalendarPath);

class OlIcsJournal {
 public:
  enum Found {
    JOURNAL_NONE,        // there is no journal
    JOURNAL_TAKEN,       // opened and locked; *pContents holds what it says
    JOURNAL_BUSY,        // another run holds it
    JOURNAL_UNREADABLE,  // there is one, but it cannot be opened or read (last error says why)
    JOURNAL_REFUSED,     // there is something at the name that is not the user's own plain file
                         // of a journal's size: it is never read (*pstrWhy says what is wrong)
  };
  static Found OpenExisting(const std::string& strPath, std::unique_ptr<OlIcsJournal>* ppJournal,
                            OlJournalContents* pContents, std::string* pstrWhy = nullptr);
  // Moves whatever is at the journal's name to the first free "<path>.unapplied-<n>", unread.
  static bool MoveAside(const std::string& strPath, std::string* pstrAside);
  // A new journal for the calendar text of that size and hash, made with the permission bits
  // nMode (those of the calendar file) and, where allowed, the calendar's owner and group,
  // locked, with its header on the disk. Null with the last error on failure:
  // ERROR_LOCK_VIOLATION when another run's journal is in the way, ERROR_CX_JOURNAL_STUCK
  // when a file that no run holds (one that could be neither applied nor set aside) is.
  static std::unique_ptr<OlIcsJournal> Create(const std::string& strPath, ULONGLONG nBaseSize,
                                              ULONGLONG nBaseHash, unsigned nMode);
  // Closes the file (forcing what was written to the disk); the file stays.
  ~OlIcsJournal();
  OlIcsJournal(const OlIcsJournal&) = delete;
  OlIcsJournal& operator=(const OlIcsJournal&) = delete;

  // Appends one record (see the durability note above). On failure the journal is cut back
  // to where it was, and the last error says why.
  bool Append(const std::string& strRecord);
  // Forces every record written so far to the disk.
  bool Flush();
  // Drops everything from nLength on: a torn tail, before new records follow it.
  bool Cut(size_t nLength);
  // Removes the file once its records are in the calendar file, and closes it.
  bool Remove();
  // Renames the file to the first free "<path>.unapplied-<n>" and closes it; *pstrAside
  // receives the new name.
  bool SetAside(std::string* pstrAside);

  const std::string& GetPath() const { return m_strPath; }
  size_t GetSize() const { return m_nSize; }
  bool HasRecords() const;

 private:
  OlIcsJournal(int fd, std::string strPath, size_t nSize);
  void Close();

  int m_fd;
  std::string m_strPath;
  size_t m_nSize;
  bool m_bUnflushed = false;
  DWORD m_dwLastFlush = 0;
};
