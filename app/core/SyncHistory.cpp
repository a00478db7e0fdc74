// Synchronization history: decoding and encoding of "synchis.dat" and the list of runs.
//
// How decoding works: a cursor walks the file image; every read first checks that the bytes
// it needs remain, and an entry is delivered only once all of its fields have been read. A
// file cut short (or carrying a count larger than its entries) thus yields the complete
// entries only, never entries filled with zeros.
#include "app/core/SyncHistory.h"
#define DB_MODULE "SyncHistory"
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "app/core/AppPaths.h"
#include "common/misc/CxDebugUtil.h"
#include "common/misc/CxFileHold.h"
#include "platform/win/WinFile.h"
#include "platform/win/WinFileOps.h"
#include "platform/win/WinReplace.h"
#include "platform/win/WinString.h"
#include "platform/win/WinSystem.h"

SyncHistoryMgr g_SyncHistory;

namespace {

// A history of a few hundred runs is a few tens of kilobytes; anything far beyond that is not
// a history file and is not read into memory.
constexpr size_t kMaxHistoryFileSize = 64u * 1024u * 1024u;
// Names tried when a damaged history is kept aside.
constexpr int kMaxAsideNames = 1000;
// How long a save waits for another run's save of the same history: tries and pause.
constexpr int kMaxLockTries = 500;
constexpr DWORD kLockRetryMs = 20;

void LogLine0(const char* szText) {
  Log(0, "%s", szText);
}

class ByteReader {
 public:
  ByteReader(const BYTE* pData, size_t nSize) : m_pData(pData), m_nSize(nSize) {}

  size_t Remaining() const { return m_nSize - m_nPos; }

  bool Read32(uint32_t& nValue) {
    if (Remaining() < 4) return false;
    nValue = static_cast<uint32_t>(m_pData[m_nPos]) |
             (static_cast<uint32_t>(m_pData[m_nPos + 1]) << 8) |
             (static_cast<uint32_t>(m_pData[m_nPos + 2]) << 16) |
             (static_cast<uint32_t>(m_pData[m_nPos + 3]) << 24);
    m_nPos += 4;
    return true;
  }

  bool ReadDouble(double& dValue) {
    if (Remaining() < 8) return false;
    uint64_t nBits = 0;
    for (int i = 7; i >= 0; --i) nBits = (nBits << 8) | m_pData[m_nPos + i];
    memcpy(&dValue, &nBits, sizeof(dValue));
    m_nPos += 8;
    return true;
  }

  // A counted text: a signed length, then that many characters. The text is cut to the
  // buffer's capacity less one, but all of its characters are consumed. A negative length or
  // one that runs past the end is malformed.
  bool ReadCounted(char* szBuf, size_t nCapacity) {
    uint32_t nRaw = 0;
    if (!Read32(nRaw)) return false;
    int32_t nLen = static_cast<int32_t>(nRaw);
    if (nLen < 0 || static_cast<size_t>(nLen) > Remaining()) return false;
    if (szBuf != nullptr && nCapacity > 0) {
      size_t nCopy =
          static_cast<size_t>(nLen) < nCapacity - 1 ? static_cast<size_t>(nLen) : nCapacity - 1;
      memcpy(szBuf, m_pData + m_nPos, nCopy);
      szBuf[nCopy] = '\0';
    }
    m_nPos += static_cast<size_t>(nLen);
    return true;
  }

 private:
  const BYTE* m_pData;
  size_t m_nSize;
  size_t m_nPos = 0;
};

void Put32(std::string& strOut, uint32_t nValue) {
  for (int i = 0; i < 4; ++i) strOut.push_back(static_cast<char>((nValue >> (8 * i)) & 0xFF));
}

void PutDouble(std::string& strOut, double dValue) {
  uint64_t nBits = 0;
  memcpy(&nBits, &dValue, sizeof(nBits));
  for (int i = 0; i < 8; ++i) strOut.push_back(static_cast<char>((nBits >> (8 * i)) & 0xFF));
}

// Only a plain file is read, and only up to the bound: a pipe or a device at the name would
// hang the run or fill the memory.
bool ReadWholeFile(const char* szPath, std::vector<BYTE>& vBytes) {
  std::string strBytes;
  if (!CxReadWholeFile(szPath, kMaxHistoryFileSize, &strBytes)) {
    if (GetLastError() == ERROR_FILE_TOO_LARGE) Log(0, "History file is too large: %s", szPath);
    return false;
  }
  vBytes.assign(strBytes.begin(), strBytes.end());
  return true;
}

}  // namespace

DWORD DecodeHistoryFile(const BYTE* pData, size_t nSize, std::vector<HistoryEntry>& vEntries,
                        size_t* pnUsed) {
  ByteReader reader(pData, pData != nullptr ? nSize : 0);
  const size_t nTotal = pData != nullptr ? nSize : 0;
  if (pnUsed != nullptr) *pnUsed = 0;
  uint32_t nCount = 0;
  if (!reader.Read32(nCount)) return 0;
  if (pnUsed != nullptr) *pnUsed = nTotal - reader.Remaining();
  for (uint32_t nIndex = 0; nIndex < nCount; ++nIndex) {
    HistoryEntry entry;
    memset(&entry, 0, sizeof(entry));
    uint32_t nRecords = 0;
    bool bOk = reader.ReadCounted(entry.szDesc, sizeof(entry.szDesc)) &&
               reader.ReadDouble(entry.dtStart) && reader.ReadDouble(entry.dtEnd) &&
               reader.Read32(nRecords);
    entry.nRecords = static_cast<INT>(nRecords);
    for (int i = 0; bOk && i < HISTORY_RESERVED_COUNT; ++i) {
      uint32_t nReserved = 0;
      bOk = reader.Read32(nReserved);
      entry.nReserved[i] = static_cast<INT>(nReserved);
    }
    // The reserved texts have never carried anything; they are read past and dropped.
    for (int i = 0; bOk && i < HISTORY_RESERVED_COUNT; ++i) {
      bOk = reader.ReadCounted(nullptr, 0);
    }
    if (!bOk) break;
    vEntries.push_back(entry);
    if (pnUsed != nullptr) *pnUsed = nTotal - reader.Remaining();
  }
  return nCount;
}

std::string EncodeHistoryFile(const std::vector<const HistoryEntry*>& vEntries) {
  std::string strOut;
  Put32(strOut, static_cast<uint32_t>(vEntries.size()));
  for (const HistoryEntry* pEntry : vEntries) {
    size_t nDescLen = strnlen(pEntry->szDesc, sizeof(pEntry->szDesc) - 1);
    Put32(strOut, static_cast<uint32_t>(nDescLen));
    strOut.append(pEntry->szDesc, nDescLen);
    PutDouble(strOut, pEntry->dtStart);
    PutDouble(strOut, pEntry->dtEnd);
    Put32(strOut, static_cast<uint32_t>(pEntry->nRecords));
    for (int i = 0; i < HISTORY_RESERVED_COUNT; ++i) {
      Put32(strOut, static_cast<uint32_t>(pEntry->nReserved[i]));
    }
    for (int i = 0; i < HISTORY_RESERVED_COUNT; ++i) Put32(strOut, 0);
  }
  return strOut;
}

SyncHistoryMgr::SyncHistoryMgr() {
  m_szPath[0] = '\0';
}

SyncHistoryMgr::~SyncHistoryMgr() {
  Clear();
}

HistoryEntry* SyncHistoryMgr::Newest() {
  return static_cast<HistoryEntry*>(m_List.GetLast());
}

HistoryEntry* SyncHistoryMgr::Older() {
  return static_cast<HistoryEntry*>(m_List.GetPrev());
}

HistoryEntry* SyncHistoryMgr::Add(const HistoryEntry* pEntry) {
  HistoryEntry* pAdded = Append(pEntry);
  if (pAdded != nullptr) m_vAdded.push_back(*pAdded);
  return pAdded;
}

HistoryEntry* SyncHistoryMgr::Append(const HistoryEntry* pEntry) {
  if (pEntry == nullptr) return nullptr;
  std::unique_ptr<HistoryEntry> pCopy(new (std::nothrow) HistoryEntry(*pEntry));
  if (!pCopy) return nullptr;
  // A description that arrived without its terminator must not run into the times.
  pCopy->szDesc[sizeof(pCopy->szDesc) - 1] = '\0';
  if (!m_List.Add(pCopy.get())) return nullptr;
  return pCopy.release();
}

void SyncHistoryMgr::Remove(HistoryEntry* pEntry) {
  if (pEntry == nullptr) return;
  if (m_List.Remove(pEntry, false)) delete pEntry;
}

HistoryEntry* SyncHistoryMgr::At(DWORD nIndex) {
  return static_cast<HistoryEntry*>(m_List.GetAt(nIndex));
}

DWORD SyncHistoryMgr::RemoveAt(const std::vector<DWORD>& vIndexes) {
  // Every entry is found before the first goes: a removal renumbers those after it.
  std::vector<HistoryEntry*> vDoomed;
  for (DWORD nIndex : vIndexes) {
    HistoryEntry* pEntry = At(nIndex);
    if (pEntry != nullptr && std::find(vDoomed.begin(), vDoomed.end(), pEntry) == vDoomed.end()) {
      vDoomed.push_back(pEntry);
    }
  }
  for (HistoryEntry* pEntry : vDoomed) Remove(pEntry);
  return static_cast<DWORD>(vDoomed.size());
}

void SyncHistoryMgr::Clear() {
  m_vAdded.clear();
  m_bKnown = false;
  ClearList();
}

void SyncHistoryMgr::ClearList() {
  for (void* pItem = m_List.GetFirst(); pItem != nullptr; pItem = m_List.GetNext()) {
    delete static_cast<HistoryEntry*>(pItem);
  }
  m_List.RemoveAll(false);
}

DWORD SyncHistoryMgr::GetCount() const {
  return m_List.GetCount();
}

bool SyncHistoryMgr::ResolvePath(const char* szPath) {
  if (szPath != nullptr && szPath[0] != '\0') {
    lstrcpyn(m_szPath, szPath, sizeof(m_szPath));
    return true;
  }
  char szFolder[MAX_PATH];
  if (!GetDataFolder(szFolder)) return false;
  char szBuilt[MAX_PATH];
  int nLen = snprintf(szBuilt, sizeof(szBuilt), "%s" HISTORY_FILE_NAME, szFolder);
  if (nLen < 0 || nLen >= static_cast<int>(sizeof(szBuilt))) return false;
  lstrcpyn(m_szPath, szBuilt, sizeof(m_szPath));
  return true;
}

bool SyncHistoryMgr::ReadEntries(std::vector<HistoryEntry>* pvEntries, bool* pbWhole,
                                 bool* pbExists, unsigned long long* pnHash) {
  std::vector<BYTE> vBytes;
  *pbWhole = true;
  *pbExists = GetFileAttributes(m_szPath) != INVALID_FILE_ATTRIBUTES;
  *pnHash = CxHashContents("", 0);
  if (!*pbExists) return true;
  if (!ReadWholeFile(m_szPath, vBytes)) return false;
  *pnHash = CxHashContents(vBytes.data(), vBytes.size());
  size_t nUsed = 0;
  const DWORD nAnnounced = DecodeHistoryFile(vBytes.data(), vBytes.size(), *pvEntries, &nUsed);
  if (pvEntries->size() < nAnnounced || nUsed != vBytes.size()) {
    *pbWhole = false;
    Log(0, "History file %s is damaged: %u whole entries of %u, %u of %u bytes read.", m_szPath,
        static_cast<unsigned>(pvEntries->size()), static_cast<unsigned>(nAnnounced),
        static_cast<unsigned>(nUsed), static_cast<unsigned>(vBytes.size()));
  }
  return true;
}

bool SyncHistoryMgr::Load(const char* szPath) {
  if (!ResolvePath(szPath)) return false;
  m_strNotice.clear();
  std::vector<HistoryEntry> vEntries;
  bool bWhole = true;
  bool bExists = false;
  unsigned long long nHash = 0;
  if (!ReadEntries(&vEntries, &bWhole, &bExists, &nHash)) return false;
  if (!bWhole) {
    m_strNotice = std::string("The synchronization history ") + m_szPath +
                  " is damaged; only its first " + std::to_string(vEntries.size()) +
                  " run(s) can be read.";
  }
  for (const HistoryEntry& entry : vEntries) {
    if (Append(&entry) == nullptr) return false;
  }
  m_bKnown = true;
  m_bKnownExists = bExists;
  m_nKnownHash = nHash;
  return bExists;
}

void SyncHistoryMgr::KeepDamagedAside() {
  for (int n = 1; n <= kMaxAsideNames; ++n) {
    char szAside[MAX_PATH + 32];
    snprintf(szAside, sizeof(szAside), "%s.damaged-%d", m_szPath, n);
    if (MoveFileEx(m_szPath, szAside, MOVEFILE_WRITE_THROUGH)) {
      m_strNotice = std::string("The synchronization history ") + m_szPath +
                    " was damaged; it is kept as " + szAside +
                    " and the runs that could be read were carried over.";
      LogLine0(m_strNotice.c_str());
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  m_strNotice = std::string("The synchronization history ") + m_szPath +
                " is damaged and could not be kept aside.";
}

bool SyncHistoryMgr::Save(const char* szPath) {
  m_Failure.Clear();
  const std::string strKnownPath = m_szPath;
  if (!ResolvePath(szPath)) {
    m_Failure.Set(CX_FAIL_NOT_FOUND, "the data folder for the history cannot be found");
    return false;
  }
  const bool bKnown = m_bKnown && strKnownPath == m_szPath;
  // Another run's save between this read and this write would be lost: the file's lock is
  // held across both.
  CxFileHold hold;
  DWORD dwError = ERROR_SUCCESS;
  for (int nTry = 0; !hold.Acquire(m_szPath, &dwError); ++nTry) {
    if (dwError != ERROR_LOCK_VIOLATION || nTry >= kMaxLockTries) {
      m_Failure.SetFileError(dwError, m_szPath);
      Log(0, "Failed to save the history file: %s (%s)", m_szPath, m_Failure.szText);
      return false;
    }
    Sleep(kLockRetryMs);
  }
  std::vector<HistoryEntry> vOnDisk;
  bool bWhole = true;
  bool bExists = false;
  unsigned long long nHash = 0;
  const bool bRead = ReadEntries(&vOnDisk, &bWhole, &bExists, &nHash);
  if (bRead && bExists && !bWhole) KeepDamagedAside();
  const bool bChanged = bRead && (bExists != m_bKnownExists || nHash != m_nKnownHash);
  if (bKnown && bChanged) {
    // Written by another run since it was read here: what it holds now, then this run's.
    ClearList();
    for (const HistoryEntry& entry : vOnDisk) Append(&entry);
    for (const HistoryEntry& entry : m_vAdded) Append(&entry);
  }
  std::vector<const HistoryEntry*> vEntries;
  for (void* pItem = m_List.GetFirst(); pItem != nullptr; pItem = m_List.GetNext()) {
    vEntries.push_back(static_cast<const HistoryEntry*>(pItem));
  }
  std::string strBytes = EncodeHistoryFile(vEntries);
  if (!CxReplaceFileContents(m_szPath, strBytes.data(), strBytes.size(), nullptr, nullptr)) {
    m_Failure.SetFileError(GetLastError(), m_szPath);
    Log(0, "Failed to save the history file: %s (%s)", m_szPath, m_Failure.szText);
    return false;
  }
  m_vAdded.clear();
  m_bKnown = true;
  m_bKnownExists = true;
  m_nKnownHash = CxHashContents(strBytes.data(), strBytes.size());
  return true;
}
