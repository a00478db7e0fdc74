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
// entries are delivered. Returns the number of entries the file announces.
DWORD DecodeHistoryFile(const BYTE* pData, size_t nSize, std::vector<HistoryEntry>& vEntries);

// Encodes entries in file layout.
std::string EncodeHistoryFile(const std::vector<const HistoryEntry*>& vEntries);

class SyncHistoryMgr {
 public:
  SyncHistoryMgr();
  virtual ~SyncHistoryMgr();

  // The cursor walks from the most recent entry back to the oldest; null past either end.
  HistoryEntry* Newest();
  HistoryEntry* Older();

  // Appends a copy of the entry and returns it (null for a null entry or no memory).
  HistoryEntry* Add(const HistoryEntry* pEntry);
  // Takes the entry out and frees it; an entry that is not in the list is ignored.
  void Remove(HistoryEntry* pEntry);
  void Clear();
  DWORD GetCount() const;

  // Without a path the file is "synchis.dat" in the data folder. Load appends the file's
  // entries after those already held and returns false when the file cannot be read. Save
  // replaces the file through the platform's safe replacement, so a failed save leaves the
  // previous history intact.
  bool Load(const char* szPath = nullptr);
  bool Save(const char* szPath = nullptr);

  const char* GetPath() const { return m_szPath; }
  // Why the last Save failed.
  const CxFailure& GetLastFailure() const { return m_Failure; }

 private:
  bool ResolvePath(const char* szPath);

  char m_szPath[MAX_PATH];
  CxList m_List;
  CxFailure m_Failure;
};

extern SyncHistoryMgr g_SyncHistory;
