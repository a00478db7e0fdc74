// How a journal is read: the header first, then record after record, each checked whole
// (length within what remains, check, payload of its kind consumed exactly) before it is
// taken; the first record that fails ends the reading, and what follows it decides whether
// that was a torn tail or damage.
#include "platform/outlook/IcsJournal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/win/WinFile.h"
#include "platform/win/WinHandle.h"
#include "platform/win/WinOs.h"
#include "platform/win/WinReplace.h"
#include "platform/win/WinSystem.h"

namespace {

const char kMagic[8] = {'D', 'B', 'J', 'R', 'N', 'L', '0', '1'};
constexpr size_t kHeaderSize = 32;
constexpr size_t kRecordHead = 12;  // length and check
// Names tried when a journal is set aside.
constexpr int kMaxAsideNames = 1000;
// Attempts to open a journal that another run removes or replaces meanwhile.
constexpr int kMaxOpenAttempts = 8;
const std::string kJournalSuffix = ".journal";

void PutU32(std::string* pOut, DWORD nValue) {
  for (int i = 0; i < 4; ++i) pOut->push_back(static_cast<char>((nValue >> (8 * i)) & 0xFF));
}

void PutU64(std::string* pOut, ULONGLONG nValue) {
  for (int i = 0; i < 8; ++i) pOut->push_back(static_cast<char>((nValue >> (8 * i)) & 0xFF));
}

ULONGLONG GetLE(const char* p, int nBytes) {
  ULONGLONG nValue = 0;
  for (int i = nBytes - 1; i >= 0; --i) {
    nValue = (nValue << 8) | static_cast<unsigned char>(p[i]);
  }
  return nValue;
}

bool PutText(std::string* pOut, const std::string& strText) {
  if (strText.size() > 0xFFFFFFFFull) return false;
  PutU32(pOut, static_cast<DWORD>(strText.size()));
  pOut->append(strText);
  return true;
}

// A payload framed as a record: length, check of length and payload, payload.
std::string Frame(const std::string& strPayload) {
  if (strPayload.empty() || strPayload.size() > 0xFFFFFFFFull) return std::string();
  std::string strLength;
  PutU32(&strLength, static_cast<DWORD>(strPayload.size()));
  const std::string strChecked = strLength + strPayload;
  std::string strRecord = strLength;
  PutU64(&strRecord, CxHashContents(strChecked.data(), strChecked.size()));
  strRecord += strPayload;
  return strRecord;
}

bool AllZero(const char* p, size_t nSize) {
  for (size_t i = 0; i < nSize; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

// Reads from a payload, every length checked against what is left of it.
class PayloadReader {
 public:
  PayloadReader(const char* p, size_t nSize) : m_p(p), m_nLeft(nSize) {}
  bool U8(BYTE* pnValue) {
    if (m_nLeft < 1) return false;
    *pnValue = static_cast<BYTE>(*m_p);
    Skip(1);
    return true;
  }
  bool U32(DWORD* pnValue) {
    if (m_nLeft < 4) return false;
    *pnValue = static_cast<DWORD>(GetLE(m_p, 4));
    Skip(4);
    return true;
  }
  bool U64(ULONGLONG* pnValue) {
    if (m_nLeft < 8) return false;
    *pnValue = GetLE(m_p, 8);
    Skip(8);
    return true;
  }
  bool Text(std::string* pstrText) {
    DWORD nLength = 0;
    if (!U32(&nLength) || nLength > m_nLeft) return false;
    pstrText->assign(m_p, nLength);
    Skip(nLength);
    return true;
  }
  bool AtEnd() const { return m_nLeft == 0; }

 private:
  void Skip(size_t n) {
    m_p += n;
    m_nLeft -= n;
  }
  const char* m_p;
  size_t m_nLeft;
};

bool ReadPayload(const char* p, size_t nSize, OlJournalRecord* pRecord) {
  PayloadReader reader(p, nSize);
  if (!reader.U8(&pRecord->nKind)) return false;
  bool bRead = false;
  switch (pRecord->nKind) {
    case OL_JOURNAL_REPLACE:
      bRead = reader.U32(&pRecord->nItem) && reader.Text(&pRecord->strEvent) &&
              reader.Text(&pRecord->strZone);
      break;
    case OL_JOURNAL_APPEND:
      bRead = reader.Text(&pRecord->strEvent) && reader.Text(&pRecord->strZone);
      break;
    case OL_JOURNAL_REMOVE:
      bRead = reader.U32(&pRecord->nItem) && reader.Text(&pRecord->strEvent);
      break;
    case OL_JOURNAL_FOLD:
      bRead = reader.U64(&pRecord->nFoldSize) && reader.U64(&pRecord->nFoldHash);
      break;
    case OL_JOURNAL_GROUP_BEGIN:
    case OL_JOURNAL_GROUP_END:
      bRead = true;
      break;
    default:
      return false;
  }
  return bRead && reader.AtEnd();
}

bool SameFile(int fd, const std::string& strPath) {
  struct stat stOpen {};
  struct stat stNamed {};
  return ::fstat(fd, &stOpen) == 0 && ::lstat(strPath.c_str(), &stNamed) == 0 &&
         stOpen.st_dev == stNamed.st_dev && stOpen.st_ino == stNamed.st_ino;
}

// What is wrong with the file at a journal's name, or null when it may be read as one.
const char* RefusalOf(const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return "is not a plain file";
  if (st.st_uid != ::geteuid()) return "belongs to another user";
  if (static_cast<unsigned long long>(st.st_size) > OL_JOURNAL_MAX_BYTES) {
    return "is far too big for a journal";
  }
  return nullptr;
}

// Whether the file at the name is a journal that a live run holds.
bool HeldByARun(const std::string& strPath) {
  const int fd = CxOsOpen(strPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  const bool bHeld = ::fstat(fd, &st) == 0 && RefusalOf(st) == nullptr &&
                     !CxOsLock(fd, LOCK_SH | LOCK_NB) && errno == EWOULDBLOCK;
  CxOsClose(fd);
  return bHeld;
}

}  // namespace

void OlReadJournal(const char* pData, size_t nSize, OlJournalContents* pContents) {
  *pContents = OlJournalContents();
  if (nSize < kHeaderSize || AllZero(pData, nSize)) {
    // Cut off while it was being made: nothing in it was ever acknowledged.
    pContents->end = OL_JOURNAL_TORN;
    return;
  }
  const bool bMark = std::memcmp(pData, kMagic, sizeof(kMagic)) == 0;
  if (!bMark || GetLE(pData + 24, 8) != CxHashContents(pData, 24)) {
    pContents->end = OL_JOURNAL_DAMAGED;
    return;
  }
  pContents->bHeader = true;
  pContents->nBaseSize = GetLE(pData + 8, 8);
  pContents->nBaseHash = GetLE(pData + 16, 8);
  size_t nPos = kHeaderSize;
  pContents->nValidLength = nPos;
  size_t nGroupAt = 0;
  size_t nGroupRecord = 0;
  while (nPos < nSize) {
    const size_t nLeft = nSize - nPos;
    const char* p = pData + nPos;
    bool bChecked = false;
    size_t nEnd = nSize;  // the record's declared end
    OlJournalRecord record;
    if (nLeft >= kRecordHead) {
      const size_t nPayload = static_cast<size_t>(GetLE(p, 4));
      if (nPayload <= nLeft - kRecordHead) {
        nEnd = nPos + kRecordHead + nPayload;
        std::string strChecked(p, 4);
        strChecked.append(p + kRecordHead, nPayload);
        bChecked =
            nPayload > 0 && GetLE(p + 4, 8) == CxHashContents(strChecked.data(), strChecked.size());
      } else {
        nEnd = nSize + 1;  // past the end of the data
      }
    }
    // A record whose check holds was written whole: if it still makes no sense, no crash
    // made it so.
    if (bChecked && !ReadPayload(p + kRecordHead, nEnd - nPos - kRecordHead, &record)) {
      pContents->end = OL_JOURNAL_DAMAGED;
      return;
    }
    if (!bChecked) {
      const bool bTorn = nEnd >= nSize || AllZero(pData + nEnd, nSize - nEnd) || AllZero(p, nLeft);
      pContents->end = bTorn ? OL_JOURNAL_TORN : OL_JOURNAL_DAMAGED;
      return;
    }
    if (record.nKind == OL_JOURNAL_GROUP_BEGIN) {
      nGroupAt = nPos;
      nGroupRecord = pContents->records.size();
    } else if (record.nKind == OL_JOURNAL_GROUP_END) {
      nGroupAt = 0;
    }
    pContents->records.push_back(std::move(record));
    pContents->nOpenGroupAt = nGroupAt;
    pContents->nOpenGroupRecord = nGroupAt != 0 ? nGroupRecord : pContents->records.size();
    nPos = nEnd;
    pContents->nValidLength = nPos;
  }
}

std::string OlJournalHeader(ULONGLONG nBaseSize, ULONGLONG nBaseHash) {
  std::string strHeader(kMagic, sizeof(kMagic));
  PutU64(&strHeader, nBaseSize);
  PutU64(&strHeader, nBaseHash);
  PutU64(&strHeader, CxHashContents(strHeader.data(), strHeader.size()));
  return strHeader;
}

std::string OlJournalReplace(DWORD nItem, const std::string& strEvent, const std::string& strZone) {
  std::string strPayload(1, static_cast<char>(OL_JOURNAL_REPLACE));
  PutU32(&strPayload, nItem);
  if (!PutText(&strPayload, strEvent) || !PutText(&strPayload, strZone)) return std::string();
  return Frame(strPayload);
}

std::string OlJournalAppend(const std::string& strEvent, const std::string& strZone) {
  std::string strPayload(1, static_cast<char>(OL_JOURNAL_APPEND));
  if (!PutText(&strPayload, strEvent) || !PutText(&strPayload, strZone)) return std::string();
  return Frame(strPayload);
}

std::string OlJournalRemove(DWORD nItem, const std::string& strEvent) {
  std::string strPayload(1, static_cast<char>(OL_JOURNAL_REMOVE));
  PutU32(&strPayload, nItem);
  if (!PutText(&strPayload, strEvent)) return std::string();
  return Frame(strPayload);
}

std::string OlJournalFold(ULONGLONG nSize, ULONGLONG nHash) {
  std::string strPayload(1, static_cast<char>(OL_JOURNAL_FOLD));
  PutU64(&strPayload, nSize);
  PutU64(&strPayload, nHash);
  return Frame(strPayload);
}

std::string OlJournalGroupMark(BYTE nKind) {
  return Frame(std::string(1, static_cast<char>(nKind)));
}

std::string OlJournalPathFor(const std::string& strCalendarPath) {
  char szResolved[4096];
  const DWORD nLength = CxResolveFilePath(strCalendarPath.c_str(), szResolved, sizeof(szResolved));
  const std::string strTarget = nLength > 0 ? std::string(szResolved, nLength) : strCalendarPath;
  return strTarget + kJournalSuffix;
}

OlIcsJournal::OlIcsJournal(int fd, std::string strPath, size_t nSize)
    : m_fd(fd), m_strPath(std::move(strPath)), m_nSize(nSize), m_dwLastFlush(GetTickCount()) {}

OlIcsJournal::~OlIcsJournal() {
  Close();
}

void OlIcsJournal::Close() {
  if (m_fd < 0) return;
  if (m_bUnflushed) CxOsSync(m_fd, true);
  CxOsClose(m_fd);
  m_fd = -1;
}

bool OlIcsJournal::HasRecords() const {
  return m_nSize > kHeaderSize;
}

OlIcsJournal::Found OlIcsJournal::OpenExisting(const std::string& strPath,
                                               std::unique_ptr<OlIcsJournal>* ppJournal,
                                               OlJournalContents* pContents, std::string* pstrWhy) {
  for (int nAttempt = 0; nAttempt < kMaxOpenAttempts; ++nAttempt) {
    struct stat stNamed {};
    if (::lstat(strPath.c_str(), &stNamed) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) return JOURNAL_NONE;
      SetLastError(CxWin32ErrorOfErrno(errno));
      return JOURNAL_UNREADABLE;
    }
    // Anyone who may write the folder can put a file at this name: what is replayed into the
    // calendar must be the user's own, and a pipe or a device is never read.
    const char* szWrong = RefusalOf(stNamed);
    if (szWrong != nullptr) {
      if (pstrWhy != nullptr) *pstrWhy = szWrong;
      return JOURNAL_REFUSED;
    }
    const int fd = CxOsOpen(strPath.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
      if (errno == ENOENT || errno == ENOTDIR) continue;
      SetLastError(CxWin32ErrorOfErrno(errno));
      return JOURNAL_UNREADABLE;
    }
    struct stat stOpen {};
    if (::fstat(fd, &stOpen) != 0 || RefusalOf(stOpen) != nullptr) {
      CxOsClose(fd);
      continue;  // replaced between the look and the open: look again
    }
    if (!CxOsLock(fd, LOCK_EX | LOCK_NB)) {
      const int nErr = errno;
      CxOsClose(fd);
      if (nErr == EWOULDBLOCK) return JOURNAL_BUSY;
      SetLastError(CxWin32ErrorOfErrno(nErr));
      return JOURNAL_UNREADABLE;
    }
    // The run that held it may have removed it (a fold) or made a new one meanwhile.
    if (!SameFile(fd, strPath)) {
      CxOsClose(fd);
      continue;
    }
    std::string strData;
    char buffer[64 * 1024];
    for (;;) {
      const ssize_t nRead = CxOsRead(fd, buffer, sizeof(buffer));
      if (nRead < 0 || strData.size() > OL_JOURNAL_MAX_BYTES) {
        SetLastError(nRead < 0 ? CxWin32ErrorOfErrno(errno) : ERROR_FILE_TOO_LARGE);
        CxOsClose(fd);
        return JOURNAL_UNREADABLE;
      }
      if (nRead == 0) break;
      strData.append(buffer, static_cast<size_t>(nRead));
    }
    OlReadJournal(strData.data(), strData.size(), pContents);
    ppJournal->reset(new OlIcsJournal(fd, strPath, strData.size()));
    return JOURNAL_TAKEN;
  }
  SetLastError(ERROR_SHARING_VIOLATION);
  return JOURNAL_UNREADABLE;
}

bool OlIcsJournal::MoveAside(const std::string& strPath, std::string* pstrAside) {
  for (int n = 1; n <= kMaxAsideNames; ++n) {
    const std::string strAside = strPath + ".unapplied-" + std::to_string(n);
    struct stat st {};
    if (::lstat(strAside.c_str(), &st) == 0 || errno != ENOENT) continue;
    if (!CxOsRename(strPath.c_str(), strAside.c_str(), true)) {
      if (errno == EEXIST) continue;
      SetLastError(CxWin32ErrorOfErrno(errno));
      return false;
    }
    CxOsSyncFolderOf(strPath);
    *pstrAside = strAside;
    return true;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return false;
}

std::unique_ptr<OlIcsJournal> OlIcsJournal::Create(const std::string& strPath, ULONGLONG nBaseSize,
                                                   ULONGLONG nBaseHash, unsigned nMode) {
  // Until it has the calendar's mode, the journal is its writer's alone.
  const int fd = CxOsOpen(strPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
  if (fd < 0) {
    if (errno != EEXIST) {
      SetLastError(CxWin32ErrorOfErrno(errno));
    } else {
      SetLastError(HeldByARun(strPath) ? ERROR_LOCK_VIOLATION : ERROR_CX_JOURNAL_STUCK);
    }
    return nullptr;
  }
  const std::string strCalendar = strPath.size() > kJournalSuffix.size()
                                      ? strPath.substr(0, strPath.size() - kJournalSuffix.size())
                                      : std::string();
  // The calendar's group, where the writer may give it; the owner stays the writer, since a
  // journal of anyone else is never replayed.
  struct stat stCalendar {};
  if (!strCalendar.empty() && ::stat(strCalendar.c_str(), &stCalendar) == 0) {
    CxOsSetOwner(fd, static_cast<uid_t>(-1), stCalendar.st_gid);
  }
  // The owner keeps reading and writing it whatever the calendar's bits say.
  CxOsSetMode(fd, (nMode & 0666) | 0600);
  // A run that opens the new file before the lock is taken finds it without a header and
  // removes it as a journal torn at its making: the name must still lead here once locked.
  if (!CxOsLock(fd, LOCK_EX | LOCK_NB) || !SameFile(fd, strPath)) {
    CxOsClose(fd);
    SetLastError(ERROR_LOCK_VIOLATION);
    return nullptr;
  }
  const std::string strHeader = OlJournalHeader(nBaseSize, nBaseHash);
  if (!CxOsWriteAll(fd, strHeader.data(), strHeader.size()) || !CxOsSync(fd, true)) {
    const DWORD dwError = CxWin32ErrorOfErrno(errno);
    CxOsRemove(strPath.c_str());
    CxOsClose(fd);
    SetLastError(dwError);
    return nullptr;
  }
  CxOsSyncFolderOf(strPath);
  return std::unique_ptr<OlIcsJournal>(new OlIcsJournal(fd, strPath, strHeader.size()));
}

bool OlIcsJournal::Append(const std::string& strRecord) {
  if (m_fd < 0 || strRecord.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  bool bDone = ::lseek(m_fd, static_cast<off_t>(m_nSize), SEEK_SET) >= 0 &&
               CxOsWriteAll(m_fd, strRecord.data(), strRecord.size());
  if (bDone) {
    m_bUnflushed = true;
    if (GetTickCount() - m_dwLastFlush >= OL_JOURNAL_FLUSH_MS) bDone = Flush();
  }
  if (!bDone) {
    const DWORD dwError = CxWin32ErrorOfErrno(errno);
    // A record cut off here would hide every later one from the reader.
    if (!CxOsTruncate(m_fd, static_cast<off_t>(m_nSize))) Close();
    SetLastError(dwError);
    return false;
  }
  m_nSize += strRecord.size();
  return true;
}

bool OlIcsJournal::Flush() {
  if (m_fd < 0) return false;
  if (m_bUnflushed && !CxOsSync(m_fd, true)) {
    SetLastError(CxWin32ErrorOfErrno(errno));
    return false;
  }
  m_bUnflushed = false;
  m_dwLastFlush = GetTickCount();
  return true;
}

bool OlIcsJournal::Cut(size_t nLength) {
  if (m_fd < 0 || nLength > m_nSize) return false;
  if (!CxOsTruncate(m_fd, static_cast<off_t>(nLength)) || !CxOsSync(m_fd, true)) {
    SetLastError(CxWin32ErrorOfErrno(errno));
    return false;
  }
  m_nSize = nLength;
  return true;
}

bool OlIcsJournal::Remove() {
  if (m_fd < 0) return false;
  const bool bRemoved = CxOsRemove(m_strPath.c_str());
  if (!bRemoved) SetLastError(CxWin32ErrorOfErrno(errno));
  m_bUnflushed = false;
  Close();
  CxOsSyncFolderOf(m_strPath);
  return bRemoved;
}

bool OlIcsJournal::SetAside(std::string* pstrAside) {
  if (m_fd < 0) return false;
  Flush();
  for (int n = 1; n <= kMaxAsideNames; ++n) {
    const std::string strAside = m_strPath + ".unapplied-" + std::to_string(n);
    struct stat st {};
    if (::lstat(strAside.c_str(), &st) == 0 || errno != ENOENT) continue;
    if (!CxOsRename(m_strPath.c_str(), strAside.c_str())) {
      SetLastError(CxWin32ErrorOfErrno(errno));
      return false;
    }
    CxOsSyncFolderOf(m_strPath);
    Close();
    *pstrAside = strAside;
    return true;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return false;
}
