// One moment held twice: as an OLE Automation date (days since 1899-12-30 00:00, the
// fraction being the time of day) and as a local SYSTEMTIME. Every setter converts the one
// into the other and records in bValid whether that conversion succeeded; the text functions
// format whatever stTime holds, valid or not.
#pragma once

#include <cstddef>

#include "platform/win/WinTypes.h"

// Buffer sizes that always hold the texts below (a field that does not fit is cut).
#define CX_DATE_TEXT_SIZE 32
#define CX_TIME_TEXT_SIZE 32
#define CX_DATETIME_TEXT_SIZE 64

class CxDateTime {
 public:
  // The current local date and time.
  CxDateTime();
  virtual ~CxDateTime();

  void SetTime(const SYSTEMTIME* pTime);
  void SetVariant(DATE dVariant);

  // "%02d/%02d/%04d" (month, day, year); empty when the year is outside 1931..2030.
  void GetDateText(char* szBuf, int nSize) const;
  // "%02d:%02d:%02d" (hour, minute, second).
  void GetTimeText(char* szBuf, int nSize) const;
  // Date text, one blank, time text.
  void GetDateTimeText(char* szBuf, int nSize) const;

  template <size_t N>
  void GetDateText(char (&szBuf)[N]) const {
    GetDateText(szBuf, static_cast<int>(N));
  }
  template <size_t N>
  void GetTimeText(char (&szBuf)[N]) const {
    GetTimeText(szBuf, static_cast<int>(N));
  }
  template <size_t N>
  void GetDateTimeText(char (&szBuf)[N]) const {
    GetDateTimeText(szBuf, static_cast<int>(N));
  }

  double dVariant;
  SYSTEMTIME stTime;
  BYTE bValid;
};
