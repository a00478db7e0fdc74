// The field table, the display texts of the common record and the comparison and copy rules
// matching and updates use.
#include "common/calendar/CommDate.h"

#include <algorithm>
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
  if (pA->nExceptionCount != pB->nExceptionCount) {
    return false;
  }
  const UINT nCount = std::min(pA->nExceptionCount, REPEAT_MAX_EXCEPTIONS);
  for (UINT i = 0; i < nCount; i++) {
    if (CompareDate(&pA->stExceptions[i], &pB->stExceptions[i]) != 0) {
      return false;
    }
  }
  return true;
}

bool IsDeletedOccurrence(const RepeatPattern* pRepeat, const SYSTEMTIME* pDay) {
  if (pRepeat == nullptr || pDay == nullptr) {
    return false;
  }
  const SYSTEMTIME* pFirst = pRepeat->stExceptions;
  const SYSTEMTIME* pLast = pFirst + std::min(pRepeat->nExceptionCount, REPEAT_MAX_EXCEPTIONS);
  const SYSTEMTIME* pFound = std::lower_bound(
      pFirst, pLast, *pDay,
      [](const SYSTEMTIME& a, const SYSTEMTIME& b) { return CompareDate(&a, &b) < 0; });
  return pFound != pLast && CompareDate(pFound, pDay) == 0;
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

// "DXPK": a packed block starts with it, then its whole size, the text field's offset and
// capacity and the text's length (five 32-bit words), the bytes before the field, its text,
// the bytes after it.
constexpr UINT kPackedMark = 0x4B505844u;
constexpr UINT kPackedHead = 5 * sizeof(UINT);

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
  block.reserve(kPackedHead + nSize - (nTextCapacity - nText));
  block.insert(block.end(), pBytes, pBytes + nTextOffset + nText);
  block.insert(block.end(), pBytes + nTextOffset + nTextCapacity, pBytes + nSize);
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
      nTextCapacity > nSize - nTextOffset || nText > nTextCapacity ||
      nBlockSize - kPackedHead != nSize - (nTextCapacity - nText)) {
    return false;
  }
  const BYTE* pIn = static_cast<const BYTE*>(pBlock) + kPackedHead;
  BYTE* pBytes = static_cast<BYTE*>(pOut);
  std::memcpy(pBytes, pIn, nTextOffset + nText);
  std::memset(pBytes + nTextOffset + nText, 0, nTextCapacity - nText);
  std::memcpy(pBytes + nTextOffset + nTextCapacity, pIn + nTextOffset + nText,
              nSize - nTextOffset - nTextCapacity);
  return true;
}

bool PeekExtra(const CommDate* pDate, void* pOut, UINT nBytes) {
  if (pDate == nullptr || pDate->pExtra == nullptr || pOut == nullptr) return false;
  const BYTE* pBytes = static_cast<const BYTE*>(pDate->pExtra);
  UINT nAvailable = pDate->nExtraSize;
  UINT head[5];
  if (nAvailable >= kPackedHead) {
    std::memcpy(head, pBytes, kPackedHead);
    // A packed block keeps its bytes unchanged up to its text field.
    if (head[0] == kPackedMark && head[2] >= nBytes) {
      pBytes += kPackedHead;
      nAvailable -= kPackedHead;
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
