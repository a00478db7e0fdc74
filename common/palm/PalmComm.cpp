// The datebook field codec, the category list and the Palm time value. See PalmComm.h for the
// conventions (little-endian fields, ANSI texts, blob ownership, local time).
#include "common/palm/PalmComm.h"
#define DB_MODULE "PalmComm"
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <set>

#include "common/misc/CxDebugUtil.h"
#include "common/palm/PalmHotSync.h"
#include "platform/win/WinFile.h"
#include "platform/win/WinFileOps.h"
#include "platform/win/WinFolder.h"
#include "platform/win/WinString.h"
#include "platform/win/WinSystem.h"
#include "platform/win/WinTime.h"

namespace {

// Read-ahead and write-behind buffer of an open datebook.
constexpr DWORD kIoBufferSize = 64 * 1024;

// The smallest category entry of the block: index, id, flag and two empty texts.
constexpr DWORD kMinCategoryEntryBytes = 4 + 4 + 4 + 1 + 1;

// Texts a datebook stores as fields of this size are cut there.
constexpr int kCategoryReadBuffer = 256;

// Palm Desktop's class names of the repeat brands 1..6.
const char* const kRepeatClassNames[] = {"CDayName",     "CWeekly",     "CDayOfMonth",
                                         "CDateOfMonth", "CDateOfYear", "CDayOfYear"};

// Datebooks this process has already overwritten once (and so kept a ".bak" of).
std::set<std::string>& BackedUpFiles() {
  static std::set<std::string> files;
  return files;
}

void PutLE32(BYTE* pOut, DWORD nValue) {
  pOut[0] = static_cast<BYTE>(nValue);
  pOut[1] = static_cast<BYTE>(nValue >> 8);
  pOut[2] = static_cast<BYTE>(nValue >> 16);
  pOut[3] = static_cast<BYTE>(nValue >> 24);
}

bool IsShortNameReserved(char c) {
  return std::strchr("\"*+,./:;<=>?[\\]^|", c) != nullptr && c != '\0';
}

// The smallest typed field in the file (type code and a 32-bit value, or an empty blob).
constexpr DWORD kMinFieldBytes = 8;
// The field count of a schema is 16 bits; no row is wider than it can name.
constexpr DWORD kMaxFieldsPerRow = 0xFFFF;

// A category list holding only the built-in "Unfiled", which every datebook has.
std::unique_ptr<PmCategoryMgr> NewCategoryList() {
  auto pList = std::make_unique<PmCategoryMgr>();
  PmCategory unfiled;
  unfiled.SetIndex(0);
  unfiled.SetId(0);
  unfiled.SetName("Unfiled");
  pList->Add(&unfiled);
  pList->SetChanged(false);
  return pList;
}

}  // namespace

// Progress and error lines of the layout that asked for them (null module: silent layout).
#define LogAs(szModule, nLevel, ...)                                 \
  do {                                                               \
    if ((szModule) != nullptr) {                                     \
      g_DebugLog.Write((nLevel), (szModule), __LINE__, __VA_ARGS__); \
    }                                                                \
  } while (0)
// Refusals of damaged input are errors every layout reports.
#define LogRefusal(szModule, ...) \
  g_DebugLog.Write(0, (szModule) != nullptr ? (szModule) : DB_MODULE, __LINE__, __VA_ARGS__)
// One of the layout's own texts (see PmDatebookLayout), followed by szTail.
#define LogLayoutText(layout, nLevel, szText, szTail)                                      \
  do {                                                                                     \
    if ((szText) != nullptr) {                                                             \
      g_DebugLog.Write((nLevel), (layout).szModule, __LINE__, "%s%s", (szText), (szTail)); \
    }                                                                                      \
  } while (0)

// ---------------------------------------------------------------------------------------------
// Blobs

bool PmBlobCopy(PmBlob* pDst, const PmBlob* pSrc) {
  if (pDst == nullptr || pSrc == nullptr) return false;
  *pDst = *pSrc;
  pDst->pData = nullptr;
  if (pSrc->pData == nullptr || pSrc->nDataLen == 0) return true;
  pDst->pData = new (std::nothrow) BYTE[pSrc->nDataLen];
  if (pDst->pData == nullptr) {
    pDst->nDataLen = 0;
    return false;
  }
  std::memcpy(pDst->pData, pSrc->pData, pSrc->nDataLen);
  return true;
}

void PmBlobFree(PmBlob* pBlob) {
  if (pBlob == nullptr) return;
  delete[] pBlob->pData;
  pBlob->pData = nullptr;
  pBlob->nDataLen = 0;
}

// ---------------------------------------------------------------------------------------------
// PmTime

PmTime::PmTime(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond) {
  std::tm tmLocal{};
  tmLocal.tm_year = nYear - 1900;
  tmLocal.tm_mon = nMonth - 1;
  tmLocal.tm_mday = nDay;
  tmLocal.tm_hour = nHour;
  tmLocal.tm_min = nMinute;
  tmLocal.tm_sec = nSecond;
  tmLocal.tm_isdst = -1;
  m_nValue = static_cast<DWORD>(std::mktime(&tmLocal));
}

PmTime::PmTime(DWORD nValue) : m_nValue(nValue) {
  if (m_nValue == 0) {
    // Now, from the platform's clock, which tests can fix.
    SYSTEMTIME stNow;
    GetLocalTime(&stNow);
    FromSystemTime(&stNow);
  }
}

namespace {

// The local broken-down time of a Palm time value (taken as unsigned: Palm dates run to 2106).
// A loaded calendar asks this several times a record: the platform's form is the one that
// does not read the zone file again each time.
bool LocalFields(DWORD nValue, std::tm* pOut) {
  return CxLocalTime(static_cast<std::time_t>(nValue), pOut);
}

}  // namespace

int PmTime::GetYear() const {
  std::tm tmLocal{};
  return LocalFields(m_nValue, &tmLocal) ? tmLocal.tm_year + 1900 : 0;
}

int PmTime::GetMonth() const {
  std::tm tmLocal{};
  return LocalFields(m_nValue, &tmLocal) ? tmLocal.tm_mon + 1 : 0;
}

int PmTime::GetDay() const {
  std::tm tmLocal{};
  return LocalFields(m_nValue, &tmLocal) ? tmLocal.tm_mday : 0;
}

bool PmTime::FromSystemTime(const SYSTEMTIME* pst) {
  if (pst == nullptr) return false;
  *this = PmTime(pst->wYear, pst->wMonth, pst->wDay, pst->wHour, pst->wMinute, pst->wSecond);
  // A Palm time counts unsigned seconds from 1970: a date outside that range would wrap into
  // another one.
  std::tm tmLocal{};
  tmLocal.tm_year = pst->wYear - 1900;
  tmLocal.tm_mon = pst->wMonth - 1;
  tmLocal.tm_mday = pst->wDay;
  tmLocal.tm_hour = pst->wHour;
  tmLocal.tm_min = pst->wMinute;
  tmLocal.tm_sec = pst->wSecond;
  tmLocal.tm_isdst = -1;
  const long long nSeconds = static_cast<long long>(std::mktime(&tmLocal));
  return nSeconds >= 0 && nSeconds <= 0xFFFFFFFFLL;
}

bool PmTime::ToSystemTime(SYSTEMTIME* pst) const {
  if (pst == nullptr) return false;
  std::memset(pst, 0, sizeof(*pst));
  std::tm tmLocal{};
  if (!LocalFields(m_nValue, &tmLocal)) return false;
  pst->wYear = static_cast<WORD>(tmLocal.tm_year + 1900);
  pst->wMonth = static_cast<WORD>(tmLocal.tm_mon + 1);
  pst->wDay = static_cast<WORD>(tmLocal.tm_mday);
  pst->wHour = static_cast<WORD>(tmLocal.tm_hour);
  pst->wMinute = static_cast<WORD>(tmLocal.tm_min);
  pst->wSecond = static_cast<WORD>(tmLocal.tm_sec);
  return true;
}

namespace {

constexpr LONGLONG kSecondsPerDay = 86400;
constexpr LONGLONG kSecondsPerHour = 3600;
// How far past an untimed start's local time its day is looked for: up to half a day (the
// nearest midnight) in zones up to UTC+1; further east only as far as midnight at UTC+13,
// so a start written west of the reader (which it reads as the afternoon of the day before)
// still finds its day, but never less than an hour, since a local midnight that daylight
// saving skips is stored as 01:00.
constexpr LONGLONG kNearestMidnightReach = 12 * kSecondsPerHour;
constexpr LONGLONG kEastmostWriterOffset = 13 * kSecondsPerHour;
constexpr LONGLONG kSmallestReach = kSecondsPerHour;
// A daylight-saving change in only one of the two zones between an untimed start and its
// end moves the end by this much or less, in whole half-hours.
constexpr LONGLONG kLargestSavingShift = kSecondsPerHour;
constexpr LONGLONG kSavingStep = kSecondsPerHour / 2;

// Whole days of a wall-clock time, counted down for times before 1970.
LONGLONG DaysOf(LONGLONG nWall) {
  return nWall >= 0 ? nWall / kSecondsPerDay : -((-nWall + kSecondsPerDay - 1) / kSecondsPerDay);
}

// Local wall-clock time of a Palm time value as seconds since 1970-01-01 00:00 (of the wall
// clock, not UTC), and the zone's offset from UTC at that moment.
bool LocalWall(DWORD nValue, LONGLONG* pnWall, LONGLONG* pnOffset) {
  std::tm tmLocal{};
  if (!LocalFields(nValue, &tmLocal)) return false;
  const long nDays = CxDaysFromCivil(tmLocal.tm_year + 1900, tmLocal.tm_mon + 1, tmLocal.tm_mday);
  *pnWall = static_cast<LONGLONG>(nDays) * kSecondsPerDay + tmLocal.tm_hour * kSecondsPerHour +
            tmLocal.tm_min * 60 + tmLocal.tm_sec;
  *pnOffset = *pnWall - static_cast<LONGLONG>(nValue);
  return true;
}

// The wall-clock time of LocalWall as a SYSTEMTIME (wDayOfWeek and wMilliseconds 0).
bool WallToSystemTime(LONGLONG nWall, SYSTEMTIME* pst) {
  std::memset(pst, 0, sizeof(*pst));
  const LONGLONG nDays = DaysOf(nWall);
  const LONGLONG nSecondOfDay = nWall - nDays * kSecondsPerDay;
  int nYear = 0, nMonth = 0, nDay = 0;
  CxCivilFromDays(static_cast<long>(nDays), &nYear, &nMonth, &nDay);
  pst->wYear = static_cast<WORD>(nYear);
  pst->wMonth = static_cast<WORD>(nMonth);
  pst->wDay = static_cast<WORD>(nDay);
  pst->wHour = static_cast<WORD>(nSecondOfDay / kSecondsPerHour);
  pst->wMinute = static_cast<WORD>(nSecondOfDay / 60 % 60);
  pst->wSecond = static_cast<WORD>(nSecondOfDay % 60);
  return true;
}

// Whether a value is a midnight of the reader's own zone: 00:00, or where daylight saving
// skips midnight, the moment the day begins instead (01:00, or 00:30).
bool IsOwnMidnight(DWORD nValue, LONGLONG nWall, LONGLONG nOffset) {
  const LONGLONG nTimeOfDay = nWall - DaysOf(nWall) * kSecondsPerDay;
  if (nTimeOfDay == 0) return true;
  if (nTimeOfDay > kSmallestReach || static_cast<LONGLONG>(nValue) < nTimeOfDay) return false;
  LONGLONG nEarlierWall = 0;
  LONGLONG nEarlierOffset = 0;
  return LocalWall(static_cast<DWORD>(nValue - nTimeOfDay), &nEarlierWall, &nEarlierOffset) &&
         nEarlierOffset != nOffset;
}

// The wall-clock midnight of the day an untimed start names (see ToUntimedDay), and the
// start's own wall-clock time. The reader's own midnight is always its own day.
bool UntimedMidnight(DWORD nStart, const PmWriterZone* pZone, LONGLONG* pnMidnight,
                     LONGLONG* pnStartWall) {
  LONGLONG nOffset = 0;
  if (!LocalWall(nStart, pnStartWall, &nOffset)) return false;
  if (pZone != nullptr && pZone->bKnown && !IsOwnMidnight(nStart, *pnStartWall, nOffset)) {
    *pnMidnight = DaysOf(static_cast<LONGLONG>(nStart) + pZone->nOffset + kNearestMidnightReach) *
                  kSecondsPerDay;
    return true;
  }
  const LONGLONG nReach =
      std::clamp(kEastmostWriterOffset - nOffset, kSmallestReach, kNearestMidnightReach);
  *pnMidnight = DaysOf(*pnStartWall + nReach) * kSecondsPerDay;
  return true;
}

// Writer offsets are looked for on a quarter-hour grid, the finest any zone uses, from just
// past UTC-11 to UTC+13 (New Zealand in summer, Tonga): one day of offsets.
constexpr LONGLONG kOffsetStep = 15 * 60;
constexpr int kOffsetSteps = static_cast<int>(kSecondsPerDay / kOffsetStep);
// A zone with daylight saving writes its midnights at two times of day an hour apart.
constexpr int kSavingSteps = static_cast<int>(kSecondsPerHour / kOffsetStep);

}  // namespace

bool PmTime::ToUntimedDay(SYSTEMTIME* pst, const PmWriterZone* pZone) const {
  if (pst == nullptr) return false;
  LONGLONG nMidnight = 0;
  LONGLONG nWall = 0;
  if (!UntimedMidnight(m_nValue, pZone, &nMidnight, &nWall)) {
    std::memset(pst, 0, sizeof(*pst));
    return false;
  }
  return WallToSystemTime(nMidnight, pst);
}

bool PmTime::ToUntimedDate(const PmTime& start, SYSTEMTIME* pst, const PmWriterZone* pZone) const {
  if (pst == nullptr) return false;
  std::memset(pst, 0, sizeof(*pst));
  LONGLONG nMidnight = 0;
  LONGLONG nStartWall = 0;
  LONGLONG nWall = 0;
  LONGLONG nOffset = 0;
  if (!UntimedMidnight(start.m_nValue, pZone, &nMidnight, &nStartWall) ||
      !LocalWall(m_nValue, &nWall, &nOffset)) {
    return false;
  }
  const LONGLONG nShift = nMidnight - nStartWall;
  nWall += nShift;
  if (nShift != 0) {
    // Written at midnight, but one of the two zones changed to or from daylight saving
    // between the start and this date: it lands half an hour or an hour before midnight.
    const LONGLONG nToMidnight = (DaysOf(nWall) + 1) * kSecondsPerDay - nWall;
    if (nToMidnight <= kLargestSavingShift && nToMidnight % kSavingStep == 0) nWall += nToMidnight;
  }
  return WallToSystemTime(nWall, pst);
}

LONGLONG PmTime::DayNumberAt(LONGLONG nOffset) const {
  return DaysOf(static_cast<LONGLONG>(m_nValue) + nOffset);
}

PmWriterZone PmGuessWriterZone(const std::vector<DWORD>& vMidnights) {
  PmWriterZone zone;
  int nOwn = 0;
  std::vector<int> vSteps(kOffsetSteps, 0);
  for (DWORD nValue : vMidnights) {
    LONGLONG nWall = 0;
    LONGLONG nOffset = 0;
    if (!LocalWall(nValue, &nWall, &nOffset)) continue;
    if (IsOwnMidnight(nValue, nWall, nOffset)) ++nOwn;
    // The writer's offset is what takes the value to a midnight.
    const LONGLONG nToMidnight =
        (kSecondsPerDay - static_cast<LONGLONG>(nValue) % kSecondsPerDay) % kSecondsPerDay;
    ++vSteps[static_cast<size_t>(nToMidnight / kOffsetStep)];
  }
  // A pair of steps an hour apart counts together; the offset is the one of the pair more
  // values show.
  int nBest = 0;
  int nBestStep = 0;
  for (int nStep = 0; nStep < kOffsetSteps; ++nStep) {
    const int nSummerStep = (nStep + kSavingSteps) % kOffsetSteps;
    const int nWinter = vSteps[static_cast<size_t>(nStep)];
    const int nSummer = vSteps[static_cast<size_t>(nSummerStep)];
    if (nWinter + nSummer > nBest) {
      nBest = nWinter + nSummer;
      nBestStep = nWinter >= nSummer ? nStep : nSummerStep;
    }
  }
  if (nBest == 0 || nOwn >= nBest) return zone;
  LONGLONG nOffset = nBestStep * kOffsetStep;
  if (nOffset > kEastmostWriterOffset) nOffset -= kSecondsPerDay;
  zone.bKnown = true;
  zone.nOffset = nOffset;
  return zone;
}

// ---------------------------------------------------------------------------------------------
// PmCategory

PmCategory::PmCategory() : m_nIndex(-1), m_nId(-1), m_szName{}, m_szShortName{}, m_nFlags(0) {}

PmCategory::PmCategory(const PmCategory& other) = default;
PmCategory& PmCategory::operator=(const PmCategory& other) = default;
PmCategory::~PmCategory() = default;

LONG PmCategory::GetIndex() const {
  return m_nIndex;
}
LONG PmCategory::GetId() const {
  return m_nId;
}
const char* PmCategory::GetName() const {
  return m_szName;
}
DWORD PmCategory::GetFlags() const {
  return m_nFlags;
}
void PmCategory::SetIndex(LONG nIndex) {
  m_nIndex = nIndex;
}
void PmCategory::SetId(LONG nId) {
  m_nId = nId;
}
void PmCategory::SetName(const char* szName) {
  CxCopyText(m_szName, szName);
}
void PmCategory::SetShortName(const char* szShortName) {
  CxCopyText(m_szShortName, szShortName);
}
void PmCategory::SetFlags(DWORD nFlags) {
  m_nFlags = nFlags;
}

void PmCategory::SetDirty(bool bDirty) {
  if (bDirty) {
    m_nFlags |= PM_CATEGORY_DIRTY;
  } else {
    m_nFlags &= ~static_cast<DWORD>(PM_CATEGORY_DIRTY);
  }
}

bool PmCategory::IsFlagged() const {
  return (m_nFlags & PM_CATEGORY_FLAGGED) != 0;
}

bool PmCategory::Equals(const PmCategory* pOther) const {
  return pOther != nullptr && pOther->m_nIndex == m_nIndex && pOther->m_nId == m_nId &&
         std::strcmp(pOther->m_szName, m_szName) == 0;
}

namespace {

bool CopyCategoryText(const char* szText, char* szBuf, DWORD* pnLen) {
  if (szBuf == nullptr || pnLen == nullptr) return false;
  std::memset(szBuf, 0, *pnLen);
  const size_t nLen = std::strlen(szText);
  // The terminator needs a byte of its own.
  if (nLen == 0 || nLen >= *pnLen) return false;
  std::memcpy(szBuf, szText, nLen);
  *pnLen = static_cast<DWORD>(nLen);
  return true;
}

}  // namespace

bool PmCategory::CopyName(char* szBuf, DWORD* pnLen) const {
  return CopyCategoryText(m_szName, szBuf, pnLen);
}

bool PmCategory::CopyShortName(char* szBuf, DWORD* pnLen) const {
  return CopyCategoryText(m_szShortName, szBuf, pnLen);
}

// ---------------------------------------------------------------------------------------------
// PmCategoryMgr

PmCategoryMgr::PmCategoryMgr()
    : m_nNextFreeId(PM_CATEGORY_FIRST_FREE_ID), m_nCursor(0), m_nCount(0), m_bChanged(0) {}

PmCategoryMgr::~PmCategoryMgr() = default;

int PmCategoryMgr::GetCount() const {
  return m_nCount;
}

PmCategory* PmCategoryMgr::FindById(LONG nId) const {
  for (const auto& pEntry : m_pSlots) {
    if (pEntry && pEntry->GetId() == nId) return pEntry.get();
  }
  return nullptr;
}

PmCategory* PmCategoryMgr::GetAt(WORD nSlot) const {
  return nSlot < PM_CATEGORY_SLOTS ? m_pSlots[nSlot].get() : nullptr;
}

PmCategory* PmCategoryMgr::FindByName(const char* szName) const {
  if (szName == nullptr || szName[0] == '\0') return nullptr;
  for (const auto& pEntry : m_pSlots) {
    if (pEntry && lstrcmpi(pEntry->GetName(), szName) == 0) return pEntry.get();
  }
  return nullptr;
}

PmCategory* PmCategoryMgr::First() {
  m_nCursor = 0;
  return Next();
}

PmCategory* PmCategoryMgr::Next() {
  while (m_nCursor < PM_CATEGORY_SLOTS) {
    PmCategory* pEntry = m_pSlots[m_nCursor++].get();
    if (pEntry != nullptr) return pEntry;
  }
  return nullptr;
}

bool PmCategoryMgr::Add(const PmCategory* pCategory) {
  if (pCategory == nullptr || m_nCount >= PM_CATEGORY_SLOTS) return false;
  auto pCopy = std::make_unique<PmCategory>(*pCategory);

  LONG nIndex = pCopy->GetIndex();
  if (nIndex == -1) {
    for (LONG nSlot = 1; nSlot < PM_CATEGORY_SLOTS; ++nSlot) {
      if (!m_pSlots[nSlot]) {
        nIndex = nSlot;
        break;
      }
    }
    if (nIndex == -1) return false;
    pCopy->SetIndex(nIndex);
    pCopy->SetDirty(true);
  } else if (nIndex < 0 || nIndex >= PM_CATEGORY_SLOTS || m_pSlots[nIndex]) {
    return false;
  }

  if (pCopy->GetId() == -1) {
    // One more than the largest id held anywhere in the list, so an id is never handed out
    // twice even when the slots have gaps.
    bool bAny = false;
    LONG nMaxId = 0;
    for (const auto& pEntry : m_pSlots) {
      if (!pEntry) continue;
      if (!bAny || pEntry->GetId() > nMaxId) nMaxId = pEntry->GetId();
      bAny = true;
    }
    if (!bAny) return false;
    pCopy->SetId(nMaxId + 1);
    pCopy->SetDirty(true);
  } else if (FindById(pCopy->GetId()) != nullptr) {
    return false;
  }

  const char* szName = pCopy->GetName();
  if (szName[0] != '\0') {
    char szShort[PM_CATEGORY_SHORT_NAME_SIZE];
    CxCopyText(szShort, szName);
    for (char* p = szShort; *p != '\0'; ++p) {
      if (IsShortNameReserved(*p)) *p = '_';
    }
    pCopy->SetShortName(szShort);
  }

  m_pSlots[nIndex] = std::move(pCopy);
  ++m_nCount;
  m_bChanged = 1;
  return true;
}

void PmCategoryMgr::SetChanged(bool bChanged) {
  m_bChanged = bChanged ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// PmDBUtil: file and buffers

PmDBUtil::PmDBUtil()
    : m_hFile(INVALID_HANDLE_VALUE),
      m_szFileName{},
      m_szLoadedPath{},
      m_bLoaded(false),
      m_nVersion(0),
      m_nResourceId(0),
      m_nFieldsPerRow(0),
      m_nRecordIdPos(0),
      m_nStatusPos(0),
      m_nPlacementPos(0),
      m_nFieldCount(0),
      m_nFieldTypes{},
      m_nBufStart(0),
      m_nBufEnd(0),
      m_bWriting(false),
      m_bWriteFailed(false),
      m_nPos(0),
      m_nFileSize(0),
      m_hSaveTarget(INVALID_HANDLE_VALUE),
      m_szSaveTarget{},
      m_bSaving(false),
      m_dwWriteError(ERROR_SUCCESS),
      m_LoadedStamp{},
      m_bStamped(false) {}

PmDBUtil::~PmDBUtil() {
  if (m_bSaving) AbortSave();
  Close();
}

bool PmDBUtil::OpenHandle(const char* szPath, int nMode) {
  Close();
  if (szPath == nullptr || szPath[0] == '\0') return false;
  // The name is kept in a 256-byte field; a longer path would not fit it.
  if (std::strlen(szPath) >= PM_FILE_NAME_SIZE) return false;
  DWORD dwAccess;
  DWORD dwDisposition = OPEN_EXISTING;
  switch (nMode) {
    case PM_OPEN_READ:
      dwAccess = GENERIC_READ;
      break;
    case PM_OPEN_WRITE:
      dwAccess = GENERIC_WRITE;
      break;
    case PM_OPEN_READWRITE:
      dwAccess = GENERIC_READ | GENERIC_WRITE;
      break;
    case PM_OPEN_CREATE:
      dwAccess = GENERIC_READ | GENERIC_WRITE;
      dwDisposition = CREATE_ALWAYS;
      break;
    default:
      return false;
  }
  HANDLE hFile =
      CreateFile(szPath, dwAccess, 0, nullptr, dwDisposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return false;
  DWORD nSizeHigh = 0;
  DWORD nSize = GetFileSize(hFile, &nSizeHigh);
  if (nSize == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) nSize = 0;
  // Positions are 32-bit in this format; a bigger file is read as far as they reach.
  if (nSizeHigh != 0) nSize = 0xFFFFFFFFUL;
  return AdoptHandle(hFile, nSize);
}

bool PmDBUtil::Open(const char* szPath, int nMode) {
  if (!OpenHandle(szPath, nMode)) return false;
  CxCopyText(m_szFileName, szPath);
  return true;
}

void PmDBUtil::Close() {
  if (m_hFile == INVALID_HANDLE_VALUE) return;
  if (m_bWriting) FlushWriteBuffer();
  CloseHandle(m_hFile);
  m_hFile = INVALID_HANDLE_VALUE;
  m_nBufStart = m_nBufEnd = 0;
  m_bWriting = false;
  m_nPos = 0;
  m_nFileSize = 0;
}

bool PmDBUtil::IsOpen() const {
  return m_hFile != INVALID_HANDLE_VALUE;
}

DWORD PmDBUtil::GetFilePos() const {
  return IsOpen() ? m_nPos : 0;
}

DWORD PmDBUtil::RemainingBytes() const {
  if (!IsOpen() || m_nPos >= m_nFileSize) return 0;
  return m_nFileSize - m_nPos;
}

// False only when the read itself fails; at the end of the file the buffer stays empty.
bool PmDBUtil::FillReadBuffer() {
  DWORD nGot = 0;
  m_nBufStart = m_nBufEnd = 0;
  if (!ReadFile(m_hFile, m_Buffer.data(), kIoBufferSize, &nGot, nullptr)) return false;
  m_nBufEnd = nGot;
  return true;
}

bool PmDBUtil::FlushWriteBuffer() {
  if (m_bWriteFailed) return false;
  if (m_nBufEnd == 0) return true;
  DWORD nPut = 0;
  const DWORD nPending = m_nBufEnd;
  m_nBufEnd = 0;
  if (!WriteFile(m_hFile, m_Buffer.data(), nPending, &nPut, nullptr) || nPut != nPending) {
    m_bWriteFailed = true;
    m_dwWriteError = GetLastError();
  }
  return !m_bWriteFailed;
}

bool PmDBUtil::ReadSome(void* pBuf, DWORD* pnCount) {
  if (pBuf == nullptr || pnCount == nullptr || *pnCount == 0 || !IsOpen()) return false;
  if (m_bWriting) {
    if (!FlushWriteBuffer()) return false;
    m_bWriting = false;
  }
  auto* pOut = static_cast<BYTE*>(pBuf);
  const DWORD nWanted = *pnCount;
  DWORD nDone = 0;
  while (nDone < nWanted) {
    DWORD nBuffered = m_nBufEnd - m_nBufStart;
    if (nBuffered == 0) {
      if (nWanted - nDone >= kIoBufferSize) {
        // Big reads bypass the buffer.
        DWORD nGot = 0;
        if (!ReadFile(m_hFile, pOut + nDone, nWanted - nDone, &nGot, nullptr)) return false;
        nDone += nGot;
        m_nPos += nGot;
        break;
      }
      if (!FillReadBuffer()) return false;
      if (m_nBufEnd == 0) break;  // end of the file
      nBuffered = m_nBufEnd;
    }
    const DWORD nTake = nBuffered < nWanted - nDone ? nBuffered : nWanted - nDone;
    std::memcpy(pOut + nDone, m_Buffer.data() + m_nBufStart, nTake);
    m_nBufStart += nTake;
    nDone += nTake;
    m_nPos += nTake;
  }
  *pnCount = nDone;
  return true;
}

bool PmDBUtil::ReadBytes(void* pBuf, DWORD nCount) {
  if (pBuf == nullptr || nCount == 0) return false;
  DWORD nGot = nCount;
  return ReadSome(pBuf, &nGot) && nGot == nCount;
}

bool PmDBUtil::SkipBytes(DWORD nCount) {
  BYTE scratch[4096];
  while (nCount > 0) {
    const DWORD nStep = nCount < sizeof(scratch) ? nCount : static_cast<DWORD>(sizeof(scratch));
    if (!ReadBytes(scratch, nStep)) return false;
    nCount -= nStep;
  }
  return true;
}

bool PmDBUtil::ReadLong(DWORD* pnValue) {
  BYTE bytes[4];
  if (pnValue == nullptr || !ReadBytes(bytes, 4)) return false;
  *pnValue = static_cast<DWORD>(bytes[0]) | (static_cast<DWORD>(bytes[1]) << 8) |
             (static_cast<DWORD>(bytes[2]) << 16) | (static_cast<DWORD>(bytes[3]) << 24);
  return true;
}

bool PmDBUtil::ReadShort(WORD* pnValue) {
  BYTE bytes[2];
  if (pnValue == nullptr || !ReadBytes(bytes, 2)) return false;
  *pnValue = static_cast<WORD>(bytes[0] | (bytes[1] << 8));
  return true;
}

bool PmDBUtil::ReadByte(BYTE* pnValue) {
  return pnValue != nullptr && ReadBytes(pnValue, 1);
}

bool PmDBUtil::WriteBytes(const void* pBuf, DWORD nCount) {
  if (pBuf == nullptr || nCount == 0 || !IsOpen() || m_bWriteFailed) return false;
  if (!m_bWriting) {
    // Bytes read ahead but not consumed put the handle's position past ours.
    if (m_nBufEnd > m_nBufStart) {
      if (SetFilePointer(m_hFile, static_cast<LONG>(m_nPos), nullptr, FILE_BEGIN) ==
          INVALID_SET_FILE_POINTER) {
        return false;
      }
    }
    m_nBufStart = m_nBufEnd = 0;
    m_bWriting = true;
  }
  const auto* pIn = static_cast<const BYTE*>(pBuf);
  if (nCount >= kIoBufferSize) {
    if (!FlushWriteBuffer()) return false;
    DWORD nPut = 0;
    if (!WriteFile(m_hFile, pIn, nCount, &nPut, nullptr) || nPut != nCount) {
      m_bWriteFailed = true;
      m_dwWriteError = GetLastError();
      return false;
    }
  } else {
    if (m_nBufEnd + nCount > kIoBufferSize && !FlushWriteBuffer()) return false;
    std::memcpy(m_Buffer.data() + m_nBufEnd, pIn, nCount);
    m_nBufEnd += nCount;
  }
  m_nPos += nCount;
  if (m_nPos > m_nFileSize) m_nFileSize = m_nPos;
  return true;
}

bool PmDBUtil::WriteLong(DWORD nValue) {
  BYTE bytes[4];
  PutLE32(bytes, nValue);
  return WriteBytes(bytes, 4);
}

bool PmDBUtil::WriteShort(WORD nValue) {
  const BYTE bytes[2] = {static_cast<BYTE>(nValue), static_cast<BYTE>(nValue >> 8)};
  return WriteBytes(bytes, 2);
}

bool PmDBUtil::WriteByte(BYTE nValue) {
  return WriteBytes(&nValue, 1);
}

// ---------------------------------------------------------------------------------------------
// PmDBUtil: texts and typed fields

bool PmDBUtil::WriteCString(const char* szText) {
  if (szText == nullptr || szText[0] == '\0') return WriteByte(0);
  const size_t nLen = std::strlen(szText);
  // The long form's length has 16 bits; a longer text cannot be stored without losing its
  // tail, so it is refused rather than written cut or with a wrapped length.
  if (nLen > PM_MAX_CSTRING) return false;
  if (nLen < 0xFF) {
    if (!WriteByte(static_cast<BYTE>(nLen))) return false;
  } else {
    if (!WriteByte(0xFF) || !WriteShort(static_cast<WORD>(nLen))) return false;
  }
  return WriteBytes(szText, static_cast<DWORD>(nLen));
}

bool PmDBUtil::ReadCString(char* szBuf, DWORD* pnCapacity) {
  if (szBuf == nullptr || pnCapacity == nullptr || *pnCapacity == 0) return false;
  szBuf[0] = '\0';
  BYTE nShortLen = 0;
  if (!ReadByte(&nShortLen)) return false;
  DWORD nLen = nShortLen;
  if (nShortLen == 0xFF) {
    WORD nLongLen = 0;
    if (!ReadShort(&nLongLen)) return false;
    nLen = nLongLen;
  }
  if (nLen >= *pnCapacity) {
    *pnCapacity = nLen;
    return false;
  }
  if (nLen > 0 && !ReadBytes(szBuf, nLen)) {
    szBuf[0] = '\0';
    return false;
  }
  szBuf[nLen] = '\0';
  return true;
}

bool PmDBUtil::WriteIntField(DWORD nValue) {
  return WriteLong(PM_FIELD_INT) && WriteLong(nValue);
}

bool PmDBUtil::WriteDateField(DWORD nValue) {
  return WriteLong(PM_FIELD_DATE) && WriteLong(nValue);
}

bool PmDBUtil::WriteBoolField(DWORD nValue) {
  return WriteLong(PM_FIELD_BOOL) && WriteLong(nValue);
}

bool PmDBUtil::WriteTextField(const char* szText, DWORD nWord) {
  return WriteLong(PM_FIELD_TEXT) && WriteLong(nWord) && WriteCString(szText);
}

bool PmDBUtil::ReadIntField(DWORD* pnValue) {
  DWORD nType = 0;
  if (!ReadLong(&nType)) return false;
  // Palm Desktop writes some times and flags with the integer code and some integers with
  // the date or boolean code, so any of the three is taken for any integer-kind field.
  if (nType != PM_FIELD_INT && nType != PM_FIELD_BOOL && nType != PM_FIELD_DATE) return false;
  return ReadLong(pnValue);
}

bool PmDBUtil::ReadTextField(char* szBuf, DWORD* pnWord) {
  if (szBuf == nullptr) return false;
  DWORD nType = 0;
  if (!ReadLong(&nType) || nType != PM_FIELD_TEXT) return false;
  szBuf[0] = '\0';
  DWORD nWord = 0;
  if (!ReadLong(&nWord)) return false;
  if (pnWord != nullptr) *pnWord = nWord;
  BYTE nShortLen = 0;
  if (!ReadByte(&nShortLen)) return false;
  DWORD nLen = nShortLen;
  if (nShortLen == 0xFF) {
    WORD nLongLen = 0;
    if (!ReadShort(&nLongLen)) return false;
    nLen = nLongLen;
  }
  if (nLen == 0) return true;
  if (nLen > RemainingBytes()) return false;
  const DWORD nKeep = nLen < PM_TEXT_FIELD_SIZE - 1 ? nLen : PM_TEXT_FIELD_SIZE - 1;
  if (!ReadBytes(szBuf, nKeep)) {
    szBuf[0] = '\0';
    return false;
  }
  szBuf[nKeep] = '\0';
  // The tail that does not fit is passed over, so the next field starts where it should.
  return nKeep == nLen || SkipBytes(nLen - nKeep);
}

bool PmDBUtil::WriteBlobField(const PmBlob* pBlob) {
  if (pBlob == nullptr) return false;
  if (!WriteLong(pBlob->nType) || !WriteLong(pBlob->nSelector)) return false;
  const DWORD n = pBlob->nSelector;
  if (n == 0) return true;
  if (n >= 4) {
    // The reader takes the selector as the data's length; writing fewer bytes would shift
    // every later field of the file.
    if (pBlob->pData == nullptr || pBlob->nDataLen < n) return false;
    return WriteBytes(pBlob->pData, n);
  }
  if (!WriteLong(pBlob->nWord1) || !WriteLong(pBlob->nWord2) || !WriteLong(pBlob->nDataLen)) {
    return false;
  }
  if (pBlob->nDataLen == 0) return true;
  if (pBlob->pData == nullptr) return false;
  return WriteBytes(pBlob->pData, pBlob->nDataLen);
}

bool PmDBUtil::ReadBlobField(PmBlob* pBlob) {
  if (pBlob == nullptr) return false;
  if (!ReadLong(&pBlob->nType) || !ReadLong(&pBlob->nSelector)) return false;
  const DWORD n = pBlob->nSelector;
  if (n == 0) return true;
  DWORD nDataLen = n;
  if (n < 4) {
    if (!ReadLong(&pBlob->nWord1) || !ReadLong(&pBlob->nWord2) || !ReadLong(&nDataLen)) {
      return false;
    }
    if (nDataLen == 0) return true;
  }
  // Checked before allocating: a damaged length must not become a huge allocation.
  if (nDataLen > RemainingBytes()) return false;
  pBlob->pData = new (std::nothrow) BYTE[nDataLen];
  if (pBlob->pData == nullptr) return false;
  pBlob->nDataLen = nDataLen;
  return ReadBytes(pBlob->pData, nDataLen);
}

// ---------------------------------------------------------------------------------------------
// PmDBUtil: the repeat event field
//
// Type code 8, the deleted occurrences (count and dates), then a flag: 0 = no repeat; 0xFFFF
// = a class record follows (constant 1, class name) before the pattern; anything else = a
// reference to a class named earlier, the pattern follows at once. The pattern is brand,
// interval, end date, first day of week and the brand's own values.

bool PmDBUtil::ReadRepeatField(PmRepeat* pRepeat) {
  if (pRepeat == nullptr) return false;
  DWORD nType = 0;
  if (!ReadLong(&nType) || nType != PM_FIELD_REPEAT) return false;
  WORD nExceptions = 0;
  if (!ReadShort(&nExceptions)) return false;
  if (nExceptions > PM_MAX_EXCEPTIONS || static_cast<DWORD>(nExceptions) * 4 > RemainingBytes()) {
    return false;
  }
  pRepeat->nExceptionCount = nExceptions;
  for (WORD i = 0; i < nExceptions; ++i) {
    if (!ReadLong(&pRepeat->nExceptions[i])) return false;
  }
  WORD nFlag = 0;
  if (!ReadShort(&nFlag)) return false;
  if (nFlag == 0) {
    pRepeat->nBrand = PM_REPEAT_NONE;
    return true;
  }
  if (nFlag == 0xFFFF) {
    WORD nConstant = 0;
    WORD nNameLen = 0;
    if (!ReadShort(&nConstant) || nConstant != 1 || !ReadShort(&nNameLen)) return false;
    if (nNameLen > PM_MAX_CLASS_NAME) return false;
    char szClass[PM_MAX_CLASS_NAME + 1];
    if (nNameLen > 0 && !ReadBytes(szClass, nNameLen)) return false;
  }
  DWORD nValue = 0;
  if (!ReadLong(&nValue)) return false;
  pRepeat->nBrand = static_cast<LONG>(nValue);
  if (!ReadLong(&nValue)) return false;
  pRepeat->nInterval = static_cast<LONG>(nValue);
  if (!ReadLong(&pRepeat->nEndDate)) return false;
  if (!ReadLong(&nValue)) return false;
  pRepeat->nFirstDayOfWeek = static_cast<LONG>(nValue);
  switch (pRepeat->nBrand) {
    case PM_REPEAT_DAILY:
      if (!ReadLong(&nValue)) return false;
      pRepeat->nDayIndex = static_cast<LONG>(nValue);
      return true;
    case PM_REPEAT_WEEKLY:
      if (!ReadLong(&nValue)) return false;
      pRepeat->nDayIndex = static_cast<LONG>(nValue);
      return ReadByte(&pRepeat->bDaysMask);
    case PM_REPEAT_MONTHLY_BY_DAY:
      if (!ReadLong(&nValue)) return false;
      pRepeat->nDayIndex = static_cast<LONG>(nValue);
      if (!ReadLong(&nValue)) return false;
      pRepeat->nWeekIndex = static_cast<LONG>(nValue);
      return true;
    case PM_REPEAT_MONTHLY_BY_DATE:
      if (!ReadLong(&nValue)) return false;
      pRepeat->nDayNumber = static_cast<LONG>(nValue);
      return true;
    case PM_REPEAT_YEARLY_BY_DATE:
      if (!ReadLong(&nValue)) return false;
      pRepeat->nDayNumber = static_cast<LONG>(nValue);
      if (!ReadLong(&nValue)) return false;
      pRepeat->nMonthIndex = static_cast<LONG>(nValue);
      return true;
    default:
      return true;
  }
}

bool PmDBUtil::WriteRepeatField(const PmRepeat* pRepeat) {
  if (pRepeat == nullptr) return false;
  const WORD nExceptions = pRepeat->nExceptionCount <= PM_MAX_EXCEPTIONS
                               ? pRepeat->nExceptionCount
                               : static_cast<WORD>(PM_MAX_EXCEPTIONS);
  if (!WriteLong(PM_FIELD_REPEAT) || !WriteShort(nExceptions)) return false;
  for (WORD i = 0; i < nExceptions; ++i) {
    if (!WriteLong(pRepeat->nExceptions[i])) return false;
  }
  if (pRepeat->nBrand == PM_REPEAT_NONE) return WriteShort(0);
  // A brand without a class name of its own still gets a class record (with an empty name):
  // the reader expects one after the 0xFFFF flag.
  const char* szClass = "";
  if (pRepeat->nBrand >= PM_REPEAT_DAILY && pRepeat->nBrand <= PM_REPEAT_YEARLY_BY_DAY) {
    szClass = kRepeatClassNames[pRepeat->nBrand - 1];
  }
  const WORD nClassLen = static_cast<WORD>(std::strlen(szClass));
  if (!WriteShort(0xFFFF) || !WriteShort(1) || !WriteShort(nClassLen)) return false;
  if (nClassLen > 0 && !WriteBytes(szClass, nClassLen)) return false;
  if (!WriteLong(static_cast<DWORD>(pRepeat->nBrand)) ||
      !WriteLong(static_cast<DWORD>(pRepeat->nInterval)) || !WriteLong(pRepeat->nEndDate) ||
      !WriteLong(static_cast<DWORD>(pRepeat->nFirstDayOfWeek))) {
    return false;
  }
  switch (pRepeat->nBrand) {
    case PM_REPEAT_DAILY:
      return WriteLong(static_cast<DWORD>(pRepeat->nDayIndex));
    case PM_REPEAT_WEEKLY:
      return WriteLong(static_cast<DWORD>(pRepeat->nDayIndex)) && WriteByte(pRepeat->bDaysMask);
    case PM_REPEAT_MONTHLY_BY_DAY:
      return WriteLong(static_cast<DWORD>(pRepeat->nDayIndex)) &&
             WriteLong(static_cast<DWORD>(pRepeat->nWeekIndex));
    case PM_REPEAT_MONTHLY_BY_DATE:
      return WriteLong(static_cast<DWORD>(pRepeat->nDayNumber));
    case PM_REPEAT_YEARLY_BY_DATE:
      return WriteLong(static_cast<DWORD>(pRepeat->nDayNumber)) &&
             WriteLong(static_cast<DWORD>(pRepeat->nMonthIndex));
    default:
      return true;
  }
}

// ---------------------------------------------------------------------------------------------
// PmDBUtil: categories

bool PmDBUtil::GetCategoryText(LONG nId, char* szCatText) {
  // The assertion's text is what the log reports, so it keeps the compact form.
  // clang-format off
  CX_ASSERT(m_pCatMgr!=NULL && szCatText!=NULL);
  // clang-format on
  if (m_pCatMgr == nullptr || szCatText == nullptr) return false;
  const PmCategory* pEntry = m_pCatMgr->FindById(nId);
  if (pEntry == nullptr) return false;
  lstrcpyn(szCatText, pEntry->GetName(), PM_CATEGORY_NAME_SIZE);
  return true;
}

bool PmDBUtil::GetCategoryId(const char* szText, LONG* pnId, bool bAdd) {
  if (pnId == nullptr) return false;
  if (szText == nullptr || szText[0] == '\0') {
    *pnId = 0;
    return true;
  }
  // A datebook that was never loaded still has its "Unfiled" category.
  if (m_pCatMgr == nullptr) m_pCatMgr = NewCategoryList();
  // Names are stored cut to 15 characters, so a longer text is looked up by what would be
  // stored; otherwise each lookup of it would add another category.
  char szKey[PM_CATEGORY_NAME_SIZE];
  CxCopyText(szKey, szText);
  if (const PmCategory* pEntry = m_pCatMgr->FindByName(szKey)) {
    *pnId = pEntry->GetId();
    return true;
  }
  if (!bAdd) {
    *pnId = 0;
    return false;
  }
  PmCategory category;
  category.SetName(szKey);
  m_pCatMgr->Add(&category);
  if (const PmCategory* pEntry = m_pCatMgr->FindByName(szKey)) {
    *pnId = pEntry->GetId();
    return true;
  }
  *pnId = -1;
  return false;
}

bool PmDBUtil::ReadCategoryBlock(const char* szLogModule) {
  LogAs(szLogModule, 2, "Start loading Palm Desktop Calendar category information.");
  m_pCatMgr = NewCategoryList();
  DWORD nNextFreeId = 0;
  if (!ReadLong(&nNextFreeId)) {
    LogAs(szLogModule, 0, "Failed to read the next feed ID.");
    return false;
  }
  m_pCatMgr->SetNextFreeId(nNextFreeId);
  DWORD nCount = 0;
  if (!ReadLong(&nCount)) return false;
  if (nCount >= PM_CATEGORY_SLOTS || nCount * kMinCategoryEntryBytes > RemainingBytes()) {
    LogRefusal(szLogModule, "Category count %u does not fit the datebook.", nCount);
    return false;
  }

  for (DWORD nEntry = 0; nEntry < nCount; ++nEntry) {
    DWORD nIndex = 0;
    DWORD nId = 0;
    DWORD nDirty = 0;
    if (!ReadLong(&nIndex) || !ReadLong(&nId) || !ReadLong(&nDirty)) return false;
    char szText[kCategoryReadBuffer];
    DWORD nCapacity = sizeof(szText);
    if (!ReadCString(szText, &nCapacity)) {
      LogAs(szLogModule, 0, "Failed to read category name.");
      return false;
    }
    PmCategory category;
    category.SetName(szText);
    LogAs(szLogModule, 2, "Read category:%s", category.GetName());
    nCapacity = sizeof(szText);
    if (!ReadCString(szText, &nCapacity)) return false;
    category.SetShortName(szText);
    if (nIndex < 1 || nIndex >= PM_CATEGORY_SLOTS) {
      LogRefusal(szLogModule, "Category index %d is outside 1..15.", static_cast<int>(nIndex));
      return false;
    }
    if (m_pCatMgr->GetAt(static_cast<WORD>(nIndex)) != nullptr) {
      LogRefusal(szLogModule, "Category index %d is already taken.", static_cast<int>(nIndex));
      return false;
    }
    category.SetIndex(static_cast<LONG>(nIndex));
    category.SetId(static_cast<LONG>(nId));
    category.SetDirty(nDirty != 0);
    if (!m_pCatMgr->Add(&category)) {
      LogRefusal(szLogModule, "Category %s (id %d) cannot be added.", category.GetName(),
                 static_cast<int>(nId));
      return false;
    }
  }
  m_pCatMgr->SetChanged(false);
  LogAs(szLogModule, 2, "Load Palm Desktop Calendar categories successfully.");
  return true;
}

bool PmDBUtil::WriteCategoryBlock(const char* szLogModule) {
  LogAs(szLogModule, 2, "Start saving Palm Desktop Calendar categories.");
  const DWORD nNextFreeId = m_pCatMgr ? m_pCatMgr->GetNextFreeId() : PM_CATEGORY_FIRST_FREE_ID;
  if (!WriteLong(nNextFreeId)) return false;
  if (!m_pCatMgr || m_pCatMgr->GetCount() <= 1) {
    if (!WriteLong(0)) return false;
    LogAs(szLogModule, 2, "Palm Desktop Calendar categories are saved successfully.");
    return true;
  }
  if (!WriteLong(static_cast<DWORD>(m_pCatMgr->GetCount() - 1))) return false;
  for (WORD nSlot = 0; nSlot < PM_CATEGORY_SLOTS; ++nSlot) {
    const PmCategory* pEntry = m_pCatMgr->GetAt(nSlot);
    if (pEntry == nullptr || pEntry->GetId() == 0) continue;
    LogAs(szLogModule, 2, "Saving category [%s]", pEntry->GetName());
    if (!WriteLong(nSlot) || !WriteLong(static_cast<DWORD>(pEntry->GetId())) || !WriteLong(0)) {
      return false;
    }
    char szText[kCategoryReadBuffer];
    DWORD nLen = sizeof(szText);
    pEntry->CopyName(szText, &nLen);
    if (!WriteCString(szText)) return false;
    nLen = sizeof(szText);
    pEntry->CopyShortName(szText, &nLen);
    if (!WriteCString(szText)) return false;
  }
  LogAs(szLogModule, 2, "Palm Desktop Calendar categories are saved successfully.");
  return true;
}

// ---------------------------------------------------------------------------------------------
// PmDBUtil: saving through a temporary file

void PmDBUtil::RememberLoadedPath(const char* szPath) {
  CxCopyText(m_szLoadedPath, szPath);
}

void PmDBUtil::ReleaseHold() {
  m_Hold.Release();
  m_bStamped = false;
}

bool PmDBUtil::BeginLoad(const char* szPath, const char* szLogModule) {
  m_Failure.Clear();
  m_szLoadedPath[0] = '\0';
  m_bStamped = false;
  m_strLoadingPath = szPath != nullptr ? szPath : "";
  if (szPath == nullptr || szPath[0] == '\0') {
    m_Failure.Set(CX_FAIL_NOT_FOUND, "no file was named");
    return false;
  }
  DWORD dwError = ERROR_SUCCESS;
  if (!m_Hold.Acquire(szPath, &dwError)) {
    m_Failure.SetFileError(dwError, szPath);
    LogAs(szLogModule, 2, "Another DayBridge run holds the datebook: %s", szPath);
    return false;
  }
  // Reading needs no more than read access: a datebook the user may only read still lists.
  if (!Open(szPath, PM_OPEN_READ)) {
    dwError = std::strlen(szPath) >= PM_FILE_NAME_SIZE ? ERROR_PATH_NOT_FOUND : GetLastError();
    m_Failure.SetFileError(dwError, szPath);
    m_Hold.Release();
    return false;
  }
  return true;
}

void PmDBUtil::EndLoad(const char* szPath, bool bLoaded) {
  if (bLoaded) m_bStamped = IsOpen() && CxGetFileStamp(m_hFile, &m_LoadedStamp);
  Close();
  if (bLoaded) {
    m_Failure.Clear();
    RememberLoadedPath(szPath);
  } else {
    m_Hold.Release();
    m_bStamped = false;
    // A step that failed without saying why read past what the file holds.
    if (!m_Failure.IsSet()) FailDamaged("it ends early");
  }
}

void PmDBUtil::FailNotDatebook(const char* szCheck) {
  m_Failure.Set(CX_FAIL_NOT_CALENDAR, "not a Palm Desktop datebook (%s): %s", szCheck,
                m_strLoadingPath.c_str());
}

void PmDBUtil::FailDamaged(const char* szFormat, ...) {
  char szWhat[256];
  va_list args;
  va_start(args, szFormat);
  std::vsnprintf(szWhat, sizeof(szWhat), szFormat, args);
  va_end(args);
  if (m_Failure.IsSet()) return;
  m_Failure.Set(CX_FAIL_DAMAGED, "damaged Palm Desktop datebook (%s): %s", szWhat,
                m_strLoadingPath.c_str());
}

bool PmDBUtil::CheckNothingFollows() {
  const DWORD nLeft = RemainingBytes();
  if (nLeft == 0) return true;
  LogRefusal(nullptr, "%u bytes follow the last record: the record count is wrong.", nLeft);
  FailDamaged("%u bytes follow the records it counts", nLeft);
  return false;
}

bool PmDBUtil::AdoptHandle(HANDLE hFile, DWORD nSize) {
  if (hFile == INVALID_HANDLE_VALUE) return false;
  m_hFile = hFile;
  m_nFileSize = nSize;
  m_nPos = 0;
  m_nBufStart = m_nBufEnd = 0;
  m_bWriting = false;
  m_bWriteFailed = false;
  if (m_Buffer.size() != kIoBufferSize) m_Buffer.assign(kIoBufferSize, 0);
  return true;
}

const CX_FILE_STAMP* PmDBUtil::ExpectedStamp(const char* szTarget) const {
  if (!m_bStamped || m_szLoadedPath[0] == '\0') return nullptr;
  return CxResolvedPath(szTarget) == CxResolvedPath(m_szLoadedPath) ? &m_LoadedStamp : nullptr;
}

bool PmDBUtil::BeginSave(const char* szTarget, const char* szLogModule) {
  if (m_bSaving) AbortSave();
  Close();
  m_Failure.Clear();
  if (szTarget == nullptr || szTarget[0] == '\0') return false;
  CxCopyText(m_szSaveTarget, szTarget);
  m_bSaving = true;
  if (std::strlen(szTarget) >= PM_FILE_NAME_SIZE) {
    LogAs(szLogModule, 0, "Failed to open file: %s", szTarget);
    m_Failure.SetFileError(ERROR_PATH_NOT_FOUND, szTarget);
    AbortSave();
    return false;
  }
  // A file this object did not load is held for the length of the save.
  DWORD dwError = ERROR_SUCCESS;
  if (!m_Hold.Holds(szTarget) && !m_SaveHold.Acquire(szTarget, &dwError)) {
    LogAs(szLogModule, 0, "Failed to open file: %s", szTarget);
    m_Failure.SetFileError(dwError, szTarget);
    AbortSave();
    return false;
  }
  // The datebook must exist and nobody else may hold it; holding it ourselves until the
  // rename keeps Palm Desktop from opening it half-way through.
  m_hSaveTarget =
      CreateFile(szTarget, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE hReplacement =
      m_hSaveTarget != INVALID_HANDLE_VALUE ? CxCreateReplacement(szTarget) : INVALID_HANDLE_VALUE;
  if (!AdoptHandle(hReplacement, 0)) {
    m_Failure.SetFileError(GetLastError(), szTarget);  // before the log line can change it
    LogAs(szLogModule, 0, "Failed to open file: %s", szTarget);
    AbortSave();
    return false;
  }
  return true;
}

bool PmDBUtil::KeepBackup(const char* szTarget, const char* szLogModule) {
  const std::string strTarget = CxResolvedPath(szTarget);
  if (BackedUpFiles().count(strTarget) != 0) return true;
  const std::string strBackup = strTarget + ".bak";
  // The copy is read through the handle that holds the target for this save.
  std::vector<BYTE> bytes;
  DWORD nHigh = 0;
  const DWORD nSize = GetFileSize(m_hSaveTarget, &nHigh);
  bool bOk = nSize != INVALID_FILE_SIZE && nHigh == 0 &&
             SetFilePointer(m_hSaveTarget, 0, nullptr, FILE_BEGIN) == 0;
  if (bOk && nSize > 0) {
    bytes.resize(nSize);
    DWORD nGot = 0;
    bOk = ReadFile(m_hSaveTarget, bytes.data(), nSize, &nGot, nullptr) && nGot == nSize;
  }
  // The backup is as private as the datebook, and a link planted at its name is replaced,
  // not written through.
  if (bOk)
    bOk = CxReplaceFileContentsAs(strBackup.c_str(), strTarget.c_str(), bytes.data(), bytes.size());
  if (!bOk) {
    m_Failure.SetFileError(GetLastError(), strBackup.c_str());
    LogAs(szLogModule, 0, "Failed to keep a backup copy: %s", strBackup.c_str());
    return false;
  }
  BackedUpFiles().insert(strTarget);
  return true;
}

bool PmDBUtil::CommitSave(const char* szLogModule) {
  if (!m_bSaving || !IsOpen()) return false;
  if (!FlushWriteBuffer()) {
    m_Failure.SetFileError(GetLastError(), m_szSaveTarget);
    LogAs(szLogModule, 0, "Failed to write file: %s", m_szSaveTarget);
    AbortSave();
    return false;
  }
  m_bWriting = false;
  m_nBufEnd = 0;
  // Another program's change is found before the backup is taken, so the backup always
  // holds what this run loaded.
  const CX_FILE_STAMP* pExpected = ExpectedStamp(m_szSaveTarget);
  if (pExpected != nullptr) {
    CX_FILE_STAMP now{};
    if (!CxGetFileStamp(m_hSaveTarget, &now) || !CxSameFileStamp(&now, pExpected)) {
      LogAs(szLogModule, 0, "File changed by another program: %s", m_szSaveTarget);
      m_Failure.SetFileError(ERROR_CX_FILE_CHANGED, m_szSaveTarget);
      AbortSave();
      return false;
    }
  }
  if (!KeepBackup(m_szSaveTarget, szLogModule)) {
    AbortSave();
    return false;
  }
  CX_FILE_STAMP written{};
  const BOOL bCommitted = CxCommitReplacement(m_hFile, pExpected, &written);
  const DWORD dwError = GetLastError();
  m_hFile = INVALID_HANDLE_VALUE;
  if (!bCommitted) {
    LogAs(szLogModule, 0, "Failed to replace file: %s", m_szSaveTarget);
    m_Failure.SetFileError(dwError, m_szSaveTarget);
    AbortSave();
    return false;
  }
  // What this save wrote is what the next save of the loaded file expects to find.
  if (m_szLoadedPath[0] != '\0' &&
      CxResolvedPath(m_szSaveTarget) == CxResolvedPath(m_szLoadedPath)) {
    m_LoadedStamp = written;
    m_bStamped = true;
  }
  EndSave();
  return true;
}

void PmDBUtil::AbortSave() {
  // A write that failed inside a layout's writer says why through the file API.
  if (m_bSaving && !m_Failure.IsSet()) {
    m_Failure.SetFileError(m_dwWriteError != ERROR_SUCCESS ? m_dwWriteError : ERROR_WRITE_FAULT,
                           m_szSaveTarget);
  }
  EndSave();
}

void PmDBUtil::EndSave() {
  if (IsOpen()) {
    m_bWriting = false;  // pending bytes of a failed save are not worth a write
    m_nBufEnd = 0;
    Close();  // an uncommitted replacement is discarded with its handle
  }
  if (m_hSaveTarget != INVALID_HANDLE_VALUE) CloseHandle(m_hSaveTarget);
  m_hSaveTarget = INVALID_HANDLE_VALUE;
  m_SaveHold.Release();
  m_szSaveTarget[0] = '\0';
  m_bSaving = false;
  m_dwWriteError = ERROR_SUCCESS;
}

std::string PmDBUtil::HexBytes(const BYTE* pBytes, DWORD nCount) {
  static const char kDigits[] = "0123456789abcdef";
  std::string strOut;
  strOut.reserve(nCount * 3);
  for (DWORD i = 0; i < nCount; ++i) {
    if (i > 0) strOut.push_back(' ');
    strOut.push_back(kDigits[pBytes[i] >> 4]);
    strOut.push_back(kDigits[pBytes[i] & 0x0F]);
  }
  return strOut;
}

// ---------------------------------------------------------------------------------------------
// PmDBUtil: the load and save both layouts share

void PmDBUtil::InitLayout(const PmDatebookLayout& layout) {
  m_bLoaded = false;
  m_nVersion = layout.nVersion;
  m_nResourceId = layout.nResourceId;
  m_nFieldsPerRow = layout.nFieldsPerRow;
  m_nRecordIdPos = layout.nRecordIdPos;
  m_nStatusPos = layout.nStatusPos;
  m_nPlacementPos = layout.nPlacementPos;
  m_nFieldCount = static_cast<WORD>(layout.fieldTypes.size());
  std::fill(std::begin(m_nFieldTypes), std::end(m_nFieldTypes), WORD{0});
  std::copy(layout.fieldTypes.begin(), layout.fieldTypes.end(), m_nFieldTypes);
  m_pCatMgr.reset();
}

bool PmDBUtil::RunSteps(const PmDatebookLayout& layout, std::span<const PmFileStep> steps) {
  for (const PmFileStep& step : steps) {
    if ((this->*step.pfnStep)()) continue;
    LogLayoutText(layout, 0, step.szFailLog, "");
    if (step.nFailCode == CX_FAIL_NOT_CALENDAR && !m_Failure.IsSet()) {
      FailNotDatebook(step.szReason);
    } else if (step.nFailCode == CX_FAIL_DAMAGED) {
      FailDamaged("%s", step.szReason);
    }
    return false;
  }
  return true;
}

bool PmDBUtil::UserDatebookPath(DWORD nUserId, const PmDatebookLayout& layout,
                                char (&szPath)[MAX_PATH]) {
  char szUserId[16];
  std::snprintf(szUserId, sizeof(szUserId), "%d", static_cast<int>(nUserId));
  LogLayoutText(layout, 2, layout.szLoadingByUser, szUserId);
  char szFolder[MAX_PATH] = {};
  if (!GetUserDataFolder(nUserId, szFolder, MAX_PATH)) {
    LogLayoutText(layout, 0, layout.szNoUserFolder, "");
    m_Failure.Set(CX_FAIL_NOT_FOUND, "no Palm Desktop data folder for the user %u", nUserId);
    return false;
  }
  const int nLength = std::snprintf(szPath, MAX_PATH, "%sdatebook/datebook.dat", szFolder);
  // A cut path names another file, or none: say why instead of opening it.
  if (nLength < 0 || nLength >= MAX_PATH) {
    szPath[0] = '\0';
    m_Failure.Set(CX_FAIL_NOT_FOUND,
                  "the datebook path in the user's folder %s is longer than %d characters",
                  szFolder, MAX_PATH - 1);
    return false;
  }
  // Windows names files without regard to case: a user folder from Windows (or inside a Wine
  // prefix) may hold "Datebook/DateBook.dat".
  char szMatched[MAX_PATH];
  if (CxMatchPathCase(szPath, szMatched, sizeof szMatched)) lstrcpyn(szPath, szMatched, MAX_PATH);
  LogLayoutText(layout, 2, layout.szLoadingUserFile, szPath);
  return true;
}

bool PmDBUtil::LoadDatebook(const char* szPath, const PmDatebookLayout& layout) {
  const char* szShown = szPath != nullptr ? szPath : "";
  LogLayoutText(layout, 2, layout.szLoading, szShown);
  bool bOk = false;
  if (!BeginLoad(szPath, VerboseModule(layout))) {
    LogLayoutText(layout, 0, layout.szOpenFailed, szShown);
  } else {
    bOk = RunSteps(layout, layout.loadSteps) && CheckNothingFollows();
  }
  if (bOk) {
    LogLayoutText(layout, 2, layout.szLoaded, "");
  } else {
    LogLayoutText(layout, 0, layout.szLoadFailed, szShown);
  }
  EndLoad(szPath, bOk);
  m_bLoaded = bOk;
  return bOk;
}

bool PmDBUtil::SaveDatebook(const char* szPath, const PmDatebookLayout& layout) {
  if (szPath == nullptr || szPath[0] == '\0') return false;
  LogLayoutText(layout, 2, layout.szSaving, szPath);
  bool bOk = BeginSave(szPath, VerboseModule(layout));
  if (bOk) {
    bOk = RunSteps(layout, layout.saveSteps) && CommitSave(VerboseModule(layout));
    if (!bOk) AbortSave();
  }
  if (!bOk) {
    LogLayoutText(layout, 0, layout.szSaveFailed, "");
    return false;
  }
  LogLayoutText(layout, 2, layout.szSaved, "");
  return true;
}

bool PmDBUtil::CheckVersion(const PmDatebookLayout& layout) {
  const char* szVerbose = VerboseModule(layout);
  LogAs(szVerbose, 2, "Start checking Palm Desktop Calendar database file version.");
  DWORD nVersion = 0;
  if (!ReadLong(&nVersion) || nVersion != m_nVersion) {
    LogAs(szVerbose, 0, "Incorrect database version:%d", static_cast<int>(nVersion));
    char szCheck[64];
    std::snprintf(szCheck, sizeof(szCheck), "version 0x%08x is not 0x%08x", nVersion,
                  static_cast<unsigned>(m_nVersion));
    FailNotDatebook(szCheck);
    return false;
  }
  LogAs(szVerbose, 2, "Database version: %d", static_cast<int>(nVersion));
  return true;
}

bool PmDBUtil::ReadSchemaBlock(const PmDatebookLayout& layout) {
  const char* szVerbose = VerboseModule(layout);
  LogAs(szVerbose, 2, "Start loading Palm Desktop Calendar database schema.");
  if (!ReadLong(&m_nResourceId)) {
    LogAs(szVerbose, 0, "Failed to read resource ID.");
    return false;
  }
  LogAs(szVerbose, 2, "Resource ID:%d", static_cast<int>(m_nResourceId));
  if (!ReadLong(&m_nFieldsPerRow)) {
    LogAs(szVerbose, 0, "Failed to read fields per row.");
    return false;
  }
  LogAs(szVerbose, 2, "Fields Per Row:%d", static_cast<int>(m_nFieldsPerRow));
  if (m_nFieldsPerRow == 0) {
    LogRefusal(layout.szModule, "Fields per row of 0 gives no record count.");
    return false;
  }
  // A row may be wider than the fields a record reads, but never wider than a field count
  // can name: such a header describes no datebook (one changed byte makes it), and would load
  // as a wrong record count, often none, then be saved with a total that reads back as none.
  if (m_nFieldsPerRow > kMaxFieldsPerRow) {
    LogRefusal(layout.szModule, "Fields per row %u is more than a field count can name.",
               m_nFieldsPerRow);
    FailDamaged("%u fields per row describe no datebook", m_nFieldsPerRow);
    return false;
  }
  if (!ReadLong(&m_nRecordIdPos)) {
    LogAs(szVerbose, 0, "Failed to read Record ID Position.");
    return false;
  }
  LogAs(szVerbose, 0, "Record ID Position:%d", static_cast<int>(m_nRecordIdPos));
  if (!ReadLong(&m_nStatusPos)) {
    LogAs(szVerbose, 0, "Failed to read Record Status Position.");
    return false;
  }
  LogAs(szVerbose, 2, "Record Status Position:%d", static_cast<int>(m_nStatusPos));
  if (!ReadLong(&m_nPlacementPos)) {
    LogAs(szVerbose, 0, "Failed to read Placement Position.");
    return false;
  }
  LogAs(szVerbose, 0, "Placement Position:%d", static_cast<int>(m_nPlacementPos));
  WORD nFieldCount = 0;
  if (!ReadShort(&nFieldCount)) {
    LogAs(szVerbose, 0, "Failed to read Fields Count.");
    return false;
  }
  LogAs(szVerbose, 2, "Fields Count:%d", static_cast<int>(nFieldCount));
  if (nFieldCount > layout.nMaxFields) {
    LogRefusal(layout.szModule, "Fields Count %d is more than the %d fields of a record.",
               static_cast<int>(nFieldCount), static_cast<int>(layout.nMaxFields));
    return false;
  }
  m_nFieldCount = nFieldCount;
  for (int i = 0; i < m_nFieldCount; ++i) {
    if (!ReadShort(&m_nFieldTypes[i])) {
      LogAs(szVerbose, 0, "Failed to read Field Type. Index=%d", i);
      return false;
    }
    LogAs(szVerbose, 0, "Field (%d) - %d", i + 1, static_cast<int>(m_nFieldTypes[i]));
  }
  LogAs(szVerbose, 2, "Palm Desktop Calendar database schema is loaded successfully.");
  return true;
}

bool PmDBUtil::WriteSchemaBlock(const PmDatebookLayout& layout) {
  const char* szVerbose = VerboseModule(layout);
  LogAs(szVerbose, 2, "Start saving Palm Desktop Calendar database schema.");
  if (!WriteLong(m_nResourceId) || !WriteLong(m_nFieldsPerRow) || !WriteLong(m_nRecordIdPos) ||
      !WriteLong(m_nStatusPos) || !WriteLong(m_nPlacementPos) || !WriteShort(m_nFieldCount)) {
    return false;
  }
  for (int i = 0; i < m_nFieldCount; ++i) {
    if (!WriteShort(m_nFieldTypes[i])) return false;
  }
  LogAs(szVerbose, 2, "Palm Desktop Calendar database schema is saved successfully.");
  return true;
}

DWORD PmDBUtil::RecordWidth(const PmDatebookLayout& layout) const {
  if (layout.bRecordWidthIsFieldCount) return m_nFieldCount;
  return m_nFieldsPerRow < layout.nMaxFields ? m_nFieldsPerRow : layout.nMaxFields;
}

bool PmDBUtil::ReadRecordList(const PmDatebookLayout& layout,
                              const std::function<int()>& fnReadRecord) {
  const char* szVerbose = VerboseModule(layout);
  LogAs(szVerbose, 2, "Start loading Palm Desktop Calendar records.");
  DWORD nTotalFields = 0;
  if (!ReadLong(&nTotalFields)) {
    LogAs(szVerbose, 0, "Failed to read total fields count.");
    return false;
  }
  LogAs(szVerbose, 2, "Total Fields: %d", static_cast<int>(nTotalFields));
  const DWORD nRecordCount = nTotalFields / m_nFieldsPerRow;
  LogAs(szVerbose, 2, "Calculated Record Count: %d", static_cast<int>(nRecordCount));
  const DWORD nWidth = RecordWidth(layout);
  // Records of no fields would all be empty and could not be told from one another.
  if (nRecordCount > 0 && nWidth == 0) {
    LogRefusal(layout.szModule, "Records of 0 fields cannot be read.");
    return false;
  }
  // Every field takes at least 8 bytes, so a count the rest of the file cannot hold is
  // damage; refusing it up front keeps a huge count from running the loop below (and its
  // error line per record) billions of times.
  if (layout.bRefuseCountPastEnd &&
      nRecordCount * static_cast<unsigned long long>(kMinFieldBytes * nWidth) > RemainingBytes()) {
    LogRefusal(layout.szModule, "Record count %u does not fit the %u bytes left in the file.",
               nRecordCount, RemainingBytes());
    FailDamaged("%u records cannot fit the %u bytes left", nRecordCount, RemainingBytes());
    return false;
  }
  if (nTotalFields % m_nFieldsPerRow != 0) {
    LogAs(szVerbose, 0, "Total fields %u are not a whole number of rows of %u.", nTotalFields,
          m_nFieldsPerRow);
    FailDamaged("%u fields are not whole records of %u", nTotalFields, m_nFieldsPerRow);
    return false;
  }

  // Every record must read whole: a datebook loaded without some of its records would be
  // saved without them. Every record reads at least its first field, so a damaged count
  // ends at the end of the file.
  bool bFailed = false;
  for (DWORD nRecord = 0; nRecord < nRecordCount; ++nRecord) {
    if (bFailed) {
      // A verbose layout reports each record it could not read.
      if (szVerbose == nullptr) break;
      LogAs(szVerbose, 0, "Error reading Palm Desktop Calendar, current file position: %d",
            static_cast<int>(GetFilePos()));
      continue;
    }
    const int nResult = fnReadRecord();
    if (nResult == PM_RECORD_READ) continue;
    bFailed = true;
    LogAs(szVerbose, 0, "Error reading Palm Desktop Calendar, current file position: %d",
          static_cast<int>(GetFilePos()));
    if (nResult == PM_RECORD_NO_MEMORY) {
      FailDamaged("out of memory at record %u", nRecord + 1);
    } else {
      FailDamaged("record %u of %u does not read, at byte %u", nRecord + 1, nRecordCount,
                  GetFilePos());
    }
  }
  if (bFailed) {
    LogAs(szVerbose, 0, "Palm Desktop Calendar records are not saved successfully.");
    return false;
  }
  LogAs(szVerbose, 2, "Palm Desktop Calendar records information is saved successfully.");
  return true;
}

bool PmDBUtil::WriteRecordList(const PmDatebookLayout& layout, DWORD nRecords,
                               const std::function<bool(DWORD)>& fnWriteRecord) {
  const char* szVerbose = VerboseModule(layout);
  LogAs(szVerbose, 2, "Start saving Palm Desktop Calendar records.");
  LogAs(szVerbose, 2, "Total number of records: %d", static_cast<int>(nRecords));
  // A total that does not fit its field would be read back as another record count.
  if (m_nFieldsPerRow != 0 && nRecords > 0xFFFFFFFFu / m_nFieldsPerRow) return false;
  if (!WriteLong(nRecords * m_nFieldsPerRow)) return false;
  for (DWORD nRecord = 0; nRecord < nRecords; ++nRecord) {
    if (!fnWriteRecord(nRecord)) return false;
  }
  LogAs(szVerbose, 2, "Palm Desktop Calendar records are saved successfully.");
  return true;
}
