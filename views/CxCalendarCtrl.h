// The month calendar: a title with the month name and year between two arrows, a weekday
// header and six weeks of days from the Sunday on or before the first of the month. Days the
// owner reports as marked are bold; the user picks a day by clicking it, or moves 30 days
// back or forth with the arrows, and the owner hears of it through the date-changed
// callback and a WM_COMMAND (CN_DATECHANGED) to the parent window.
//
// Dates are local SYSTEMTIMEs; only year, month and day are looked at.
#pragma once

#include <QFont>

#include "platform/win/WinTypes.h"
#include "views/CxWinCtrl.h"

// High word of the WM_COMMAND wParam the parent receives after the user picked a date.
#define CN_DATECHANGED 10000

// Non-zero draws the day in the bold font.
typedef int (*CxIsMarkedFunc)(const SYSTEMTIME* pDate, void* pUserData);
typedef void (*CxDateChangedFunc)(const SYSTEMTIME* pDate, void* pUserData);

class CxCalendarCtrl : public CxWinCtrl {
 public:
  CxCalendarCtrl();
  ~CxCalendarCtrl() override;

  // Takes the date (all fields) and repaints; with bNotify the parent gets CN_DATECHANGED
  // and then the date-changed callback runs. False for a missing date.
  bool SetDate(const SYSTEMTIME* pDate, bool bNotify);
  SYSTEMTIME* GetDate() { return &m_stDate; }

  // Month 1..12; an empty or missing name restores the default. Other months are ignored.
  void SetMonthName(int nMonth, const char* szName);
  bool GetMonthName(int nMonth, char* szBuf, int nSize) const;
  // Column 1..7 (Sunday first); a missing name restores the default, an empty one is kept.
  void SetDayName(int nColumn, const char* szName);
  bool GetDayName(int nColumn, char* szBuf, int nSize) const;

  void SetMarkCallback(CxIsMarkedFunc pfnIsMarked) { m_pfnIsMarked = pfnIsMarked; }
  void SetDateCallback(CxDateChangedFunc pfnDateChanged) { m_pfnDateChanged = pfnDateChanged; }
  void SetUserData(void* pUserData) { m_pUserData = pUserData; }

  // The first day the grid shows: the Sunday on or before the first of the shown month.
  bool GetGridStart(SYSTEMTIME* pStart) const;
  // The cell of grid day nIndex (0..41, row by row) in client coordinates.
  bool GetDayRect(int nIndex, RECT* pRect) const;

  int OnLButtonDown(WPARAM wParam, LPARAM lParam) override;
  int OnPaint(WPARAM wParam, LPARAM lParam) override;
  int OnSize(WPARAM wParam, LPARAM lParam) override;
  // The arrows move a day (a week up and down), Page Up and Down a month, Home to today.
  int OnKeyDown(WPARAM wParam, LPARAM lParam) override;

 private:
  void Paint(QPainter& dc, const RECT& rcClient);

  SYSTEMTIME m_stDate;
  char m_szMonthName[12][16];
  char m_szDayName[7][16];
  COLORREF m_crBack;
  CxIsMarkedFunc m_pfnIsMarked;
  CxDateChangedFunc m_pfnDateChanged;
  QFont m_hTitleFont;
  QFont m_hDayFont;
  QFont m_hMarkFont;
  void* m_pUserData;
};
