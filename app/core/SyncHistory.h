// The history of synchronization runs and its file "synchis.dat" in the data folder.
//
// File layout (little-endian, no header, no padding): a 32-bit entry count, then per entry a
// counted description (32-bit length, characters without terminator), the start and end times
// as automation dates (IEEE doubles, local time), the record count, ten reserved 32-bit numbers
// and ten reserved counted texts (written empty). Entries are kept oldest first; the manager
// owns them. The whole file is read once and rewritten whole after every change.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/misc/CxFailure.h"
#include "common/misc/CxList.h"
#include "platform/win/WinTypes.h"

#define HISTORY_FILE_NAME "synchis.dat"
#define HISTORY_RESERVED_COUNT 10

struct HistoryEntry {
  char szDesc[256];
  DATE dtStart;
  DATE dtEnd;
  INT nRecords;
  INT nReserved[HISTORY_RESERVED_COUNT];
  char szReserved[HISTORY_RESERVED_COUNT][2];
};

// Decodes a history file image. Every length and count is checked against the bytes that
// remain; decoding stops at the first entry that is incomplete or malformed, so only whole
// entries are delivered. Returns the number of entries the file announces; *pnUsed, when
// given, receives the bytes the delivered entries took (with the count).
DWORD DecodeHistoryFile(const BYTE* pData, size_t nSize, std::vector<HistoryEntry>& vEntries,
                        size_t* pnUsed = nullptr);

// Encodes entries in file layout.
std::string EncodeHistoryFile(const std::vector<const HistoryEntry*>& vEntries);

class SyncHistoryMgr {
 public:
  SyncHistoryMgr();
  virtual ~SyncHistoryMgr();

  // The cursor walks from the most recent entry back to the oldest; null past either end.
  HistoryEntry* Newest();
  HistoryEntry* Older();

  // The entry at nIndex, counting from the oldest as the file keeps them; null past the end.
  // The windows refer to entries by this number, which an added entry leaves as it is.
  HistoryEntry* At(DWORD nIndex);
  // Takes out and frees the entries at these numbers (all counted before any goes); numbers
  // past the end and repeated ones are ignored. Returns how many went.
  DWORD RemoveAt(const std::vector<DWORD>& vIndexes);

  // Appends a copy of the entry and returns it (null for a null entry or no memory).
  HistoryEntry* Add(const HistoryEntry* pEntry);
  // Takes the entry out and frees it; an entry that is not in the list is ignored.
  void Remove(HistoryEntry* pEntry);
  void Clear();
  DWORD GetCount() const;

  // Without a path the file is "synchis.dat" in the data folder. Load appends the file's
  // entries after those already held and returns false when the file cannot be read; a file
  // that does not decode whole loads what it can and is reported (GetNotice). Save replaces
  // the file through the platform's safe replacement, so a failed save leaves the previous
  // history intact.
  //
  // Several runs may share the file: Save holds the file's lock, reads it again, and when
  // another run wrote it since it was loaded, writes what the file now holds plus the
  // entries added here since. A damaged file is never written over: it is renamed to
  // "<file>.damaged-<n>" first.
  bool Load(const char* szPath = nullptr);
  bool Save(const char* szPath = nullptr);

  const char* GetPath() const { return m_szPath; }
  // Why the last Save failed.
  const CxFailure& GetLastFailure() const { return m_Failure; }
  // What the user must be told about the file after the last Load or Save (a damaged file,
  // where it was kept); empty when nothing.
  const std::string& GetNotice() const { return m_strNotice; }

 private:
  bool ResolvePath(const char* szPath);
  HistoryEntry* Append(const HistoryEntry* pEntry);
  void ClearList();
  // Reads and decodes the file; false when it cannot be read. *pbWhole tells whether every
  // byte decoded.
  bool ReadEntries(std::vector<HistoryEntry>* pvEntries, bool* pbWhole, bool* pbExists,
                   unsigned long long* pnHash);
  void KeepDamagedAside();

  char m_szPath[MAX_PATH];
  CxList m_List;
  CxFailure m_Failure;
  std::string m_strNotice;
  // Entries added since the file was last read or written, to be written in any case.
  std::vector<HistoryEntry> m_vAdded;
  // What the file held when it was last read or written here.
  bool m_bKnown = false;
  bool m_bKnownExists = false;
  unsigned long long m_nKnownHash = 0;
};

extern SyncHistoryMgr g_SyncHistory;
