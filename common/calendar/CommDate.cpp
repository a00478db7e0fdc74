// The field table, the display texts of the common record and the comparison and copy rules
// matching and updates use.
#include "common/calendar/CommDate.h"
#define DB_MODULE "CommDate"
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/misc/CxDateTime.h"
#include "common/misc/CxDebugUtil.h"
#include "common/misc/WinUtil.h"
#include "platform/win/WinString.h"

namespace {

const CommField kFields[FIELD_COUNT] = {
    {FIELD_DESCRIPTION, "Description", 256, 0},
    {FIELD_START_TIME, "Start Time", 32, 0},
    {FIELD_END_TIME, "End Time", 32, 0},
    {FIELD_START_DATE_TIME, "Start Date Time", 32, 0},
    {FIELD_END_DATE_TIME, "End Date Time", 32, 0},
    {FIELD_DATE, "Date", 32, 0},
    {FIELD_NOTE, "Note", 4096, 0},
    {FIELD_PRIVATE, "Private", 8, 0},
    {FIELD_LOCATION, "Location", 256, 0},
    {FIELD_IMPORTANCE, "Importance", 8, 0},
    {FIELD_CATEGORY, "Category", 32, 0},
    {FIELD_ALARM, "Alarm", 8, 0},
    {FIELD_ALL_DAY_EVENT, "All Day Event", 8, 0},
    {FIELD_REPEAT, "Repeat", 256, 0},
};

const char* YesNo(BOOL bFlag) {
  return bFlag ? "Yes" : "No";
}

enum class DatePart { Time, DateTime, Date };

void WriteDateText(const SYSTEMTIME& stTime, DatePart part, char* szBuf, int nSize) {
  CxDateTime dateTime;
  dateTime.SetTime(&stTime);
  switch (part) {
    case DatePart::Time:
      dateTime.GetTimeText(szBuf, nSize);
      break;
    case DatePart::DateTime:
      dateTime.GetDateTimeText(szBuf, nSize);
      break;
    case DatePart::Date:
      dateTime.GetDateText(szBuf, nSize);
      break;
  }
}

std::string WithoutLineBreaks(const char* szText) {
  std::string strText;
  if (szText == nullptr) {
    return strText;
  }
  for (const char* p = szText; *p != '\0'; p++) {
    if (*p != '\r' && *p != '\n') {
      strText.push_back(*p);
    }
  }
  return strText;
}

}  // namespace

bool GetFieldDesc(int nId, CommField* pField) {
  if (pField == nullptr) {
    return false;
  }
  for (const CommField& field : kFields) {
    if (field.nId == nId) {
      *pField = field;
      return true;
    }
  }
  return false;
}

bool GetFieldText(const CommDate* pDate, const CommField* pField, char* szBuf, int nSize) {
  if (pDate == nullptr || pField == nullptr || szBuf == nullptr || nSize < 1) {
    return false;
  }
  szBuf[0] = '\0';
  szBuf[nSize - 1] = '\0';
  switch (pField->nId) {
    case FIELD_DESCRIPTION:
      lstrcpyn(szBuf, pDate->szDescription, nSize);
      break;
    case FIELD_START_TIME:
      WriteDateText(pDate->stStart, DatePart::Time, szBuf, nSize);
      break;
    case FIELD_END_TIME:
      WriteDateText(pDate->stEnd, DatePart::Time, szBuf, nSize);
      break;
    case FIELD_START_DATE_TIME:
      WriteDateText(pDate->stStart, DatePart::DateTime, szBuf, nSize);
      break;
    case FIELD_END_DATE_TIME:
      WriteDateText(pDate->stEnd, DatePart::DateTime, szBuf, nSize);
      break;
    case FIELD_DATE:
      WriteDateText(pDate->stStart, DatePart::Date, szBuf, nSize);
      break;
    case FIELD_NOTE:
      lstrcpyn(szBuf, pDate->szNote, nSize);
      break;
    case FIELD_PRIVATE:
      lstrcpyn(szBuf, YesNo(pDate->bPrivate), nSize);
      break;
    case FIELD_LOCATION:
      lstrcpyn(szBuf, pDate->szLocation, nSize);
      break;
    case FIELD_CATEGORY:
      lstrcpyn(szBuf, pDate->szCategory, nSize);
      break;
    case FIELD_ALARM:
      lstrcpyn(szBuf, YesNo(pDate->bAlarm), nSize);
      break;
    case FIELD_ALL_DAY_EVENT:
      lstrcpyn(szBuf, YesNo(pDate->bAllDay), nSize);
      break;
    case FIELD_REPEAT:
      lstrcpyn(szBuf, "Repeat Info", nSize);
      break;
    default:
      // Importance has no text, and an unknown id shows as empty too.
      break;
  }
  return true;
}

void CopyIfText(char* szDst, int nDstSize, const char* szSrc) {
  if (szDst == nullptr || szSrc == nullptr || szSrc[0] == '\0' || nDstSize < 1) {
    return;
  }
  lstrcpyn(szDst, szSrc, nDstSize);
}

bool SameNoteText(const char* szA, const char* szB) {
  // The two stores break note lines differently (CR LF, LF, or wrapped without any), so line
  // breaks do not count as a change.
  const std::string strA = WithoutLineBreaks(szA);
  const std::string strB = WithoutLineBreaks(szB);
  return lstrcmpi(strA.c_str(), strB.c_str()) == 0;
}

bool SameRepeat(const RepeatPattern* pA, const RepeatPattern* pB) {
  if (pA == nullptr || pB == nullptr) {
    return false;
  }
  return pA->nType == pB->nType && pA->nInterval == pB->nInterval &&
         pA->nDayOfWeekMask == pB->nDayOfWeekMask && pA->nDayOfMonth == pB->nDayOfMonth &&
         pA->nMonthOfYear == pB->nMonthOfYear && pA->nInstance == pB->nInstance;
}

bool SameExceptions(const RepeatPattern* pA, const RepeatPattern* pB) {
  if (pA == nullptr || pB == nullptr) {
    return false;
  }
  if (pA->bExceptionsUnknown || pB->bExceptionsUnknown) {
    return true;
  }
  const std::span<const SYSTEMTIME> daysA = ExceptionDays(*pA);
  const std::span<const SYSTEMTIME> daysB = ExceptionDays(*pB);
  return std::equal(
      daysA.begin(), daysA.end(), daysB.begin(), daysB.end(),
      [](const SYSTEMTIME& a, const SYSTEMTIME& b) { return CompareDate(&a, &b) == 0; });
}

bool IsDeletedOccurrence(const RepeatPattern* pRepeat, const SYSTEMTIME* pDay) {
  if (pRepeat == nullptr || pDay == nullptr) {
    return false;
  }
  const std::span<const SYSTEMTIME> days = ExceptionDays(*pRepeat);
  const auto itFound = std::lower_bound(
      days.begin(), days.end(), *pDay,
      [](const SYSTEMTIME& a, const SYSTEMTIME& b) { return CompareDate(&a, &b) < 0; });
  return itFound != days.end() && CompareDate(&*itFound, pDay) == 0;
}

void SetExceptionDays(RepeatPattern* pRepeat, const SYSTEMTIME* pDays, size_t nCount) {
  if (pRepeat == nullptr) {
    return;
  }
  if (pDays == nullptr) nCount = 0;
  nCount = std::min<size_t>(nCount, REPEAT_MAX_EXCEPTIONS);
  // Sized to what it holds: a record lives as long as its set, and most hold none.
  std::vector<SYSTEMTIME> vDays(pDays, pDays + nCount);
  pRepeat->stExceptions.swap(vDays);
  pRepeat->nExceptionCount = static_cast<UINT>(nCount);
}

void FreeExtra(CommDate* pDate) {
  if (pDate == nullptr) {
    return;
  }
  std::free(pDate->pExtra);
  pDate->pExtra = nullptr;
  pDate->nExtraSize = 0;
}

bool SetExtraCopy(CommDate* pDate, const void* pData, UINT nSize) {
  if (pDate == nullptr) {
    return false;
  }
  void* pCopy = nullptr;
  if (pData != nullptr && nSize != 0) {
    pCopy = std::malloc(nSize);
    if (pCopy == nullptr) {
      Log(0, "No memory for a %u byte record block", nSize);
      FreeExtra(pDate);
      return false;
    }
    // Copied before the old block is freed: the source may be that very block.
    std::memcpy(pCopy, pData, nSize);
  }
  FreeExtra(pDate);
  pDate->pExtra = pCopy;
  pDate->nExtraSize = pCopy != nullptr ? nSize : 0;
  return true;
}

namespace {

// "DXPZ": a packed block starts with it, then its whole size, the text field's offset and
// capacity and the text's length (five 32-bit words), then the bytes before the field, its
// text and the bytes after it, with every run of zero bytes written as one zero byte and the
// run's length (7 bits a byte, low bits first, the high bit set on all but the last). A store
// image is mostly zero (identifiers of 1 KB holding 60 characters, 256 deleted dates of
// which most records have none), so the runs are most of what packing saves.
constexpr UINT kPackedMark = 0x5A505844u;
constexpr UINT kPackedHead = 5 * sizeof(UINT);

void AppendZeroRuns(std::vector<BYTE>* pBlock, const BYTE* pBytes, size_t nBytes) {
  size_t nAt = 0;
  while (nAt < nBytes) {
    if (pBytes[nAt] != 0) {
      const void* pZero = std::memchr(pBytes + nAt, 0, nBytes - nAt);
      const size_t nEnd =
          pZero != nullptr ? static_cast<size_t>(static_cast<const BYTE*>(pZero) - pBytes) : nBytes;
      pBlock->insert(pBlock->end(), pBytes + nAt, pBytes + nEnd);
      nAt = nEnd;
      continue;
    }
    // Most of an image is long runs: they are skipped a word at a time.
    size_t nRun = 0;
    uint64_t nWord = 0;
    while (nAt + nRun + sizeof nWord <= nBytes) {
      std::memcpy(&nWord, pBytes + nAt + nRun, sizeof nWord);
      if (nWord != 0) break;
      nRun += sizeof nWord;
    }
    while (nAt + nRun < nBytes && pBytes[nAt + nRun] == 0) ++nRun;
    nAt += nRun;
    pBlock->push_back(0);
    do {
      const BYTE nLow = static_cast<BYTE>(nRun & 0x7F);
      nRun >>= 7;
      pBlock->push_back(nRun != 0 ? static_cast<BYTE>(nLow | 0x80) : nLow);
    } while (nRun != 0);
  }
}

// Expands the zero runs of pIn[0, nIn) into pOut until nOut bytes are written; *pnRead the
// input bytes taken. False when the input ends first or holds a broken run length, and, with
// bExact, when a run goes past nOut (a block's parts never share a run).
bool ExpandZeroRuns(const BYTE* pIn, size_t nIn, BYTE* pOut, size_t nOut, bool bExact,
                    size_t* pnRead) {
  // A run's length takes at most this many bytes (64 bits, 7 a byte).
  constexpr int kMaxLengthBytes = 10;
  size_t nRead = 0;
  size_t nWritten = 0;
  while (nWritten < nOut) {
    if (nRead >= nIn) return false;
    if (pIn[nRead] != 0) {
      pOut[nWritten++] = pIn[nRead++];
      continue;
    }
    ++nRead;
    size_t nRun = 0;
    bool bMore = true;
    for (int nByte = 0; bMore && nByte < kMaxLengthBytes; ++nByte) {
      if (nRead >= nIn) return false;
      const BYTE nPart = pIn[nRead++];
      nRun |= static_cast<size_t>(nPart & 0x7F) << (7 * nByte);
      bMore = (nPart & 0x80) != 0;
    }
    if (bMore || nRun == 0) return false;
    if (nRun > nOut - nWritten) {
      if (bExact) return false;
      nRun = nOut - nWritten;
    }
    std::memset(pOut + nWritten, 0, nRun);
    nWritten += nRun;
  }
  *pnRead = nRead;
  return true;
}

}  // namespace

std::vector<BYTE> PackExtra(const void* pData, UINT nSize, UINT nTextOffset, UINT nTextCapacity) {
  if (pData == nullptr || nTextOffset > nSize || nTextCapacity > nSize - nTextOffset) return {};
  const BYTE* pBytes = static_cast<const BYTE*>(pData);
  const void* pNul = std::memchr(pBytes + nTextOffset, 0, nTextCapacity);
  const UINT nText = pNul != nullptr
                         ? static_cast<UINT>(static_cast<const BYTE*>(pNul) - pBytes - nTextOffset)
                         : nTextCapacity;
  const UINT head[] = {kPackedMark, nSize, nTextOffset, nTextCapacity, nText};
  std::vector<BYTE> block(kPackedHead);
  std::memcpy(block.data(), head, kPackedHead);
  AppendZeroRuns(&block, pBytes, nTextOffset);
  block.insert(block.end(), pBytes + nTextOffset, pBytes + nTextOffset + nText);
  AppendZeroRuns(&block, pBytes + nTextOffset + nTextCapacity, nSize - nTextOffset - nTextCapacity);
  block.shrink_to_fit();
  return block;
}

bool UnpackExtra(const void* pBlock, UINT nBlockSize, void* pOut, UINT nSize) {
  if (pBlock == nullptr || pOut == nullptr || nBlockSize < kPackedHead) return false;
  UINT head[5];
  std::memcpy(head, pBlock, kPackedHead);
  const UINT nTextOffset = head[2];
  const UINT nTextCapacity = head[3];
  const UINT nText = head[4];
  if (head[0] != kPackedMark || head[1] != nSize || nTextOffset > nSize ||
      nTextCapacity > nSize - nTextOffset || nText > nTextCapacity) {
    return false;
  }
  // Unpacked into a scratch copy first: a damaged block leaves pOut untouched.
  std::vector<BYTE> bytes(nSize);
  const BYTE* pIn = static_cast<const BYTE*>(pBlock) + kPackedHead;
  const size_t nIn = nBlockSize - kPackedHead;
  size_t nBefore = 0;
  if (!ExpandZeroRuns(pIn, nIn, bytes.data(), nTextOffset, true, &nBefore) ||
      nIn - nBefore < nText) {
    return false;
  }
  std::memcpy(bytes.data() + nTextOffset, pIn + nBefore, nText);
  const size_t nAt = nBefore + nText;
  size_t nAfter = 0;
  if (!ExpandZeroRuns(pIn + nAt, nIn - nAt, bytes.data() + nTextOffset + nTextCapacity,
                      nSize - nTextOffset - nTextCapacity, true, &nAfter) ||
      nAt + nAfter != nIn) {
    return false;
  }
  std::memcpy(pOut, bytes.data(), nSize);
  return true;
}

bool PeekExtra(const CommDate* pDate, void* pOut, UINT nBytes) {
  if (pDate == nullptr || pDate->pExtra == nullptr || pOut == nullptr) return false;
  const BYTE* pBytes = static_cast<const BYTE*>(pDate->pExtra);
  const UINT nAvailable = pDate->nExtraSize;
  UINT head[5];
  if (nAvailable >= kPackedHead) {
    std::memcpy(head, pBytes, kPackedHead);
    // A packed block's bytes before its text field are its first bytes, in zero runs.
    if (head[0] == kPackedMark && head[2] >= nBytes) {
      size_t nRead = 0;
      return ExpandZeroRuns(pBytes + kPackedHead, nAvailable - kPackedHead,
                            static_cast<BYTE*>(pOut), nBytes, false, &nRead);
    }
  }
  if (nAvailable < nBytes) return false;
  std::memcpy(pOut, pBytes, nBytes);
  return true;
}

bool RepeatHasRealEnd(const RepeatPattern* pRepeat) {
  // A repeating record ends at or after this year only in name.
  constexpr WORD kNoEndYear = 2100;
  return pRepeat != nullptr && pRepeat->bHasEnd && pRepeat->stPatternEnd.wYear < kNoEndYear;
}
