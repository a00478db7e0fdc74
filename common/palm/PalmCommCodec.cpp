// The datebook field codec of PmDBUtil: little-endian integers, length-prefixed texts, the
// typed fields, extension blobs and the repeat event field, each read or written whole
// through the buffered file (PalmCommFile.cpp) or failed. See PalmComm.h for the conventions.
#include "common/palm/PalmComm.h"
#define DB_MODULE "PalmComm"
#include <cstring>
#include <new>
#include <string>

#include "common/misc/WinUtil.h"

namespace {

void PutLE32(BYTE* pOut, DWORD nValue) {
  pOut[0] = static_cast<BYTE>(nValue);
  pOut[1] = static_cast<BYTE>(nValue >> 8);
  pOut[2] = static_cast<BYTE>(nValue >> 16);
  pOut[3] = static_cast<BYTE>(nValue >> 24);
}

// Palm Desktop's class names of the repeat brands 1..6.
const char* const kRepeatClassNames[] = {"CDayName",     "CWeekly",     "CDayOfMonth",
                                         "CDateOfMonth", "CDateOfYear", "CDayOfYear"};

}  // namespace

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
// PmDBUtil: little-endian integers

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

std::string PmDBUtil::HexBytes(const BYTE* pBytes, DWORD nCount) {
  return HexString(pBytes, nCount);
}
