// The month calendar's layout, painting and clicks. Everything is placed from the client
// rectangle C and the column width w = width div 8: a 24-pixel title band with the arrows,
// a 16-pixel weekday header, and from y 48 a grid of 6 rows by 7 columns of width w that
// starts 15 pixels from the left edge.
#include "views/CxCalendarCtrl.h"

#include <QImage>
#include <QPolygon>
#include <algorithm>
#include <cstdio>

#include "common/misc/CxDebugUtil.h"
#include "common/misc/WinUtil.h"
#include "platform/win/WinString.h"
#include "platform/win/WinTime.h"
#include "views/CxPaintUtil.h"

namespace {

constexpr int kGridDays = 42;
constexpr int kGridRows = 6;
constexpr int kGridColumns = 7;
constexpr int kGridLeft = 15;
constexpr int kTitleHeight = 24;
constexpr int kHeaderBottom = 40;
constexpr int kGridTop = 48;
constexpr int kGridBottomMargin = 5;
constexpr int kArrowStepDays = 30;

// Kept as the program has always shown them; owners may replace them with SetMonthName.
const char* const kDefaultMonthNames[12] = {"January",   "Febrary", "March",    "April",
                                            "May",       "June",    "July",     "August",
                                            "September", "October", "November", "December"};
const char* const kDefaultDayNames[7] = {"S", "M", "T", "W", "T", "F", "S"};

struct CalLayout {
  int nColWidth;
  int nRowHeight;
  RECT rcTitle;
  RECT rcPrev;
  RECT rcNext;
  RECT rcGrid;
};

CalLayout ComputeLayout(const RECT& rc) {
  CalLayout lay;
  lay.nColWidth = (rc.right - rc.left) / 8;
  lay.rcTitle = RECT{rc.left, rc.top, rc.right, rc.top + kTitleHeight};
  lay.rcPrev = RECT{rc.left + 10, rc.top + 4, rc.left + 26, rc.top + 20};
  lay.rcNext = RECT{rc.right - 26, rc.top + 4, rc.right - 10, rc.top + 20};
  lay.rcGrid =
      RECT{kGridLeft, rc.top + kGridTop, rc.right - lay.nColWidth, rc.bottom - kGridBottomMargin};
  lay.nRowHeight = (lay.rcGrid.bottom - lay.rcGrid.top) / kGridRows;
  return lay;
}

RECT CellRect(const CalLayout& lay, int nIndex) {
  const int nRow = nIndex / kGridColumns;
  const int nCol = nIndex % kGridColumns;
  return RECT{kGridLeft + nCol * lay.nColWidth, lay.rcGrid.top + nRow * lay.nRowHeight,
              kGridLeft + (nCol + 1) * lay.nColWidth, lay.rcGrid.top + (nRow + 1) * lay.nRowHeight};
}

// The grid day under a point, or -1. Only the drawn cells count: the grid rectangle itself
// reaches below the sixth row (by up to five pixels) and stops short of the right part of the
// last column, so a point there would select a day that is not drawn under it (or none where
// one is), and a grid lower than six pixels has rows of height 0.
int HitDay(const CalLayout& lay, int nX, int nY) {
  if (lay.nColWidth <= 0 || lay.nRowHeight <= 0) return -1;
  const int nRight = kGridLeft + kGridColumns * lay.nColWidth;
  const int nBottom = lay.rcGrid.top + kGridRows * lay.nRowHeight;
  if (nX < kGridLeft || nX >= nRight || nY < lay.rcGrid.top || nY >= nBottom) return -1;
  return ((nY - lay.rcGrid.top) / lay.nRowHeight) * kGridColumns + (nX - kGridLeft) / lay.nColWidth;
}

// A menu arrow glyph (the small solid triangle of DrawFrameControl's menu arrows).
void DrawArrow(QPainter& dc, const RECT& rc, bool bLeft) {
  const int nCx = (rc.left + rc.right) / 2;
  const int nCy = (rc.top + rc.bottom) / 2;
  QPolygon triangle;
  if (bLeft)
    triangle << QPoint(nCx + 2, nCy - 4) << QPoint(nCx - 2, nCy) << QPoint(nCx + 2, nCy + 4);
  else
    triangle << QPoint(nCx - 2, nCy - 4) << QPoint(nCx + 2, nCy) << QPoint(nCx - 2, nCy + 4);
  dc.setPen(QPen(Qt::black, 0));
  dc.setBrush(Qt::black);
  dc.drawPolygon(triangle);
  dc.setBrush(Qt::NoBrush);
}

}  // namespace

CxCalendarCtrl::CxCalendarCtrl()
    : m_crBack(0),
      m_pfnIsMarked(nullptr),
      m_pfnDateChanged(nullptr),
      m_hTitleFont(cxpaint::MakeFont("Verdana", 11, 700)),
      m_hDayFont(cxpaint::MakeFont("Verdana", 10, 400)),
      m_hMarkFont(cxpaint::MakeFont("Verdana", 10, 700)),
      m_pUserData(nullptr) {
  GetLocalTime(&m_stDate);
  for (int i = 0; i < 12; ++i) CxCopyText(m_szMonthName[i], kDefaultMonthNames[i]);
  for (int i = 0; i < 7; ++i) CxCopyText(m_szDayName[i], kDefaultDayNames[i]);
  const QColor crWindow = QApplication::palette().color(QPalette::Base);
  m_crBack = RGB(crWindow.red(), crWindow.green(), crWindow.blue());
}

CxCalendarCtrl::~CxCalendarCtrl() = default;

int CxCalendarCtrl::OnKeyDown(WPARAM wParam, LPARAM) {
  SYSTEMTIME stNew = m_stDate;
  bool bMoved = false;
  switch (wParam) {
    case VK_LEFT:
      bMoved = AddDays(&stNew, -1);
      break;
    case VK_RIGHT:
      bMoved = AddDays(&stNew, 1);
      break;
    case VK_UP:
      bMoved = AddDays(&stNew, -7);
      break;
    case VK_DOWN:
      bMoved = AddDays(&stNew, 7);
      break;
    case VK_PRIOR:
    case VK_NEXT: {
      // The same day of the other month, or its last day when it is shorter.
      int nMonth = stNew.wMonth + (wParam == VK_NEXT ? 1 : -1);
      int nYear = stNew.wYear;
      if (nMonth < 1) {
        nMonth = 12;
        --nYear;
      } else if (nMonth > 12) {
        nMonth = 1;
        ++nYear;
      }
      SYSTEMTIME stFirst = stNew;
      stFirst.wYear = static_cast<WORD>(nYear);
      stFirst.wMonth = static_cast<WORD>(nMonth);
      stFirst.wDay = 1;
      int nLastDay = 28;
      while (nLastDay < 31) {
        SYSTEMTIME stNext = stFirst;
        if (!AddDays(&stNext, nLastDay) || stNext.wMonth != nMonth) break;
        ++nLastDay;
      }
      const int nDay = std::min<int>(stNew.wDay, nLastDay);
      stNew = stFirst;
      bMoved = nYear >= 1601 && nYear <= 9999 && AddDays(&stNew, nDay - 1);
      break;
    }
    case VK_HOME:
      GetLocalTime(&stNew);
      bMoved = true;
      break;
    default:
      return 0;
  }
  if (bMoved) SetDate(&stNew, true);
  return 0;
}

bool CxCalendarCtrl::SetDate(const SYSTEMTIME* pDate, bool bNotify) {
  if (!pDate) return false;
  // The callback gets its own copy: it may well set the date again.
  const SYSTEMTIME stNew = *pDate;
  m_stDate = stNew;
  UpdateNow();
  if (bNotify) {
    SendToParent(WM_COMMAND, MAKEWPARAM(GetCtrlId(), CN_DATECHANGED), 0);
    if (m_pfnDateChanged) m_pfnDateChanged(&stNew, m_pUserData);
  }
  return true;
}

void CxCalendarCtrl::SetMonthName(int nMonth, const char* szName) {
  if (nMonth < 1 || nMonth > 12) return;
  const bool bDefault = !szName || szName[0] == '\0';
  CxCopyText(m_szMonthName[nMonth - 1], bDefault ? kDefaultMonthNames[nMonth - 1] : szName);
}

bool CxCalendarCtrl::GetMonthName(int nMonth, char* szBuf, int nSize) const {
  if (nMonth < 1 || nMonth > 12 || !szBuf || nSize <= 0) return false;
  lstrcpyn(szBuf, m_szMonthName[nMonth - 1], nSize);
  return true;
}

void CxCalendarCtrl::SetDayName(int nColumn, const char* szName) {
  if (nColumn < 1 || nColumn > 7) return;
  CxCopyText(m_szDayName[nColumn - 1], szName ? szName : kDefaultDayNames[nColumn - 1]);
}

bool CxCalendarCtrl::GetDayName(int nColumn, char* szBuf, int nSize) const {
  if (nColumn < 1 || nColumn > 7 || !szBuf || nSize <= 0) return false;
  lstrcpyn(szBuf, m_szDayName[nColumn - 1], nSize);
  return true;
}

bool CxCalendarCtrl::GetGridStart(SYSTEMTIME* pStart) const {
  if (!pStart) return false;
  SYSTEMTIME stStart = m_stDate;
  if (!AddDays(&stStart, 1 - static_cast<int>(m_stDate.wDay))) return false;
  if (!AddDays(&stStart, -static_cast<int>(stStart.wDayOfWeek))) return false;
  *pStart = stStart;
  return true;
}

bool CxCalendarCtrl::GetDayRect(int nIndex, RECT* pRect) const {
  if (nIndex < 0 || nIndex >= kGridDays || !pRect) return false;
  RECT rcClient;
  GetClientRect(&rcClient);
  *pRect = CellRect(ComputeLayout(rcClient), nIndex);
  return true;
}

int CxCalendarCtrl::OnSize(WPARAM, LPARAM) {
  UpdateNow();
  return 0;
}

int CxCalendarCtrl::OnLButtonDown(WPARAM, LPARAM lParam) {
  const int nX = GET_X_LPARAM(lParam);
  const int nY = GET_Y_LPARAM(lParam);
  RECT rcClient;
  GetClientRect(&rcClient);
  const CalLayout lay = ComputeLayout(rcClient);

  SYSTEMTIME stNew;
  bool bPicked = false;
  const int nIndex = HitDay(lay, nX, nY);
  if (nIndex >= 0) {
    bPicked = GetGridStart(&stNew) && AddDays(&stNew, nIndex);
  } else if (cxpaint::PtInRect(lay.rcTitle, nX, nY)) {
    // A fixed 30 days, not a calendar month: from the 31st of January this lands in March.
    if (cxpaint::PtInRect(lay.rcPrev, nX, nY)) {
      stNew = m_stDate;
      bPicked = AddDays(&stNew, -kArrowStepDays);
    } else if (cxpaint::PtInRect(lay.rcNext, nX, nY)) {
      stNew = m_stDate;
      bPicked = AddDays(&stNew, kArrowStepDays);
    }
  }
  if (bPicked) SetDate(&stNew, true);
  return 0;
}

int CxCalendarCtrl::OnPaint(WPARAM, LPARAM) {
  QPainter* pDC = BeginPaint();
  if (!pDC) return 0;
  RECT rcClient;
  GetClientRect(&rcClient);
  cxpaint::PaintBuffered(*pDC, rcClient, [this](QPainter& dc, const RECT& rc) { Paint(dc, rc); });
  EndPaint();
  return 0;
}

void CxCalendarCtrl::Paint(QPainter& dc, const RECT& rc) {
  using namespace cxpaint;
  const CalLayout lay = ComputeLayout(rc);
  FillRect(dc, rc, ToQColor(m_crBack));

  ButtonFace(dc, lay.rcTitle);
  char szTitle[64];
  const bool bMonthValid = m_stDate.wMonth >= 1 && m_stDate.wMonth <= 12;
  std::snprintf(szTitle, sizeof(szTitle), "%s %d",
                bMonthValid ? m_szMonthName[m_stDate.wMonth - 1] : "", m_stDate.wYear);
  dc.setFont(m_hTitleFont);
  TextLine(dc, lay.rcTitle, AnsiText(szTitle), Qt::AlignCenter, ToQColor(RGB(0, 0, 128)));
  DrawArrow(dc, lay.rcPrev, true);
  DrawArrow(dc, lay.rcNext, false);

  dc.setFont(m_hDayFont);
  for (int i = 1; i <= 7; ++i) {
    const RECT rcColumn{rc.left + i * lay.nColWidth, rc.top + kTitleHeight,
                        rc.left + (i + 1) * lay.nColWidth, rc.top + kHeaderBottom};
    TextLine(dc, rcColumn, AnsiText(m_szDayName[i - 1]), Qt::AlignLeft | Qt::AlignVCenter,
             Qt::black);
  }
  Line(dc, rc.left + 3, rc.top + kHeaderBottom, rc.right - 3, rc.top + kHeaderBottom,
       ToQColor(RGB(128, 128, 128)));

  SYSTEMTIME stToday;
  GetLocalTime(&stToday);
  SYSTEMTIME stStart;
  if (!GetGridStart(&stStart)) return;
  for (int i = 0; i < kGridDays; ++i) {
    SYSTEMTIME stDay = stStart;
    if (!AddDays(&stDay, i)) break;
    const RECT rcCell = CellRect(lay, i);
    const bool bMarked = m_pfnIsMarked && m_pfnIsMarked(&stDay, m_pUserData) != 0;
    dc.setFont(bMarked ? m_hMarkFont : m_hDayFont);

    QColor crText(128, 128, 128);
    if (stDay.wMonth == m_stDate.wMonth) {
      // Today by day and month: the frame follows the anniversary into other years too.
      if (stDay.wDay == stToday.wDay && stDay.wMonth == stToday.wMonth) {
        FrameRect(dc, rcCell, ToQColor(RGB(64, 64, 64)));
      }
      if (stDay.wDay == m_stDate.wDay) {
        FillRect(dc, RECT{rcCell.left + 1, rcCell.top + 1, rcCell.right - 1, rcCell.bottom - 1},
                 ToQColor(RGB(0, 0, 64)));
        crText = Qt::white;
      } else if (stDay.wDayOfWeek == 0) {
        crText = ToQColor(RGB(255, 0, 0));
      } else if (stDay.wDayOfWeek == 6) {
        crText = ToQColor(RGB(0, 0, 255));
      } else {
        crText = Qt::black;
      }
    }
    TextLine(dc, rcCell, QString::number(stDay.wDay), Qt::AlignCenter, crText);
  }
}
