// The day book's layout, painting and scrolling. From the client rectangle C: a 28-pixel
// title, the all-day band B from x 64 below it (24 pixels per all-day entry, at least one
// row), the hour column left of x 64, and the slot area S below B, where each slot is 20
// pixels high from m_nTopSlot on (slot rectangles are 21 high so that neighbours share their
// border line).
#include "views/CxDateBook.h"
#define DB_MODULE "CxDateBook"
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "common/calendar/CommDateMgr.h"
#include "common/misc/CxDebugUtil.h"
#include "common/misc/CxList.h"
#include "common/misc/WinUtil.h"
#include "platform/win/WinTime.h"
#include "views/CxPaintUtil.h"

namespace {

constexpr int kTitleHeight = 28;
constexpr int kHourColumnWidth = 64;
constexpr int kAllDayRowHeight = 24;
constexpr int kSlotHeight = 20;
constexpr int kFirstWorkSlot = 16;  // 8:00
constexpr int kLastWorkSlot = 34;   // 17:00-17:30
constexpr int kPageSlots = 6;
constexpr int kInitialTopSlot = 10;  // 5:00

void FreeEntry(void* pData) {
  delete static_cast<CommDate*>(pData);
}

// A series of another zone is drawn where its occurrence on the day falls on the local clock:
// the entry becomes that one occurrence, its length kept.
void PinToOccurrence(CommDate* pEntry, const SYSTEMTIME& stDay) {
  const int nOffset = CoveredDayOffset(pEntry, &stDay);
  SYSTEMTIME stFirstDay = stDay;
  if (nOffset < 0 || !AddDays(&stFirstDay, -nOffset)) return;
  SYSTEMTIME stStart{};
  DATE dtOldStart = 0;
  DATE dtOldEnd = 0;
  DATE dtStart = 0;
  if (!OccurrenceStartOn(pEntry, &stFirstDay, &stStart) ||
      !SystemTimeToVariantTime(&pEntry->stStart, &dtOldStart) ||
      !SystemTimeToVariantTime(&pEntry->stEnd, &dtOldEnd) ||
      !SystemTimeToVariantTime(&stStart, &dtStart) ||
      !VariantTimeToSystemTime(dtStart + (dtOldEnd - dtOldStart), &pEntry->stEnd)) {
    return;
  }
  pEntry->stEnd.wMilliseconds = 0;
  pEntry->stStart = stStart;
  pEntry->repeat = RepeatPattern{};
  pEntry->clockShifts.clear();
}

}  // namespace

struct CxDateBook::Layout {
  std::vector<const CommDate*> entries;  // in list order
  RECT rcAllDay;
  RECT rcSlots;
  int nVisibleSlots;
  // Boxes drawn, by list position: all-day rows and timed boxes.
  std::vector<std::pair<int, RECT>> boxes;
};

CxDateBook::CxDateBook()
    : m_pEntries(std::make_unique<CxList>()),
      m_hAllDayBrush(QColor(128, 128, 128)),
      m_hHourBrush(QColor(192, 224, 255)),
      m_hOffHourBrush(QColor(192, 192, 128)),
      m_hWorkHourBrush(QColor(255, 255, 192)),
      m_hTitleFont(cxpaint::MakeFont("Verdana", 11, 700)),
      m_hTextFont(cxpaint::MakeFont("Verdana", 10, 400)),
      m_hHourFont(cxpaint::MakeFont("Verdana", 16, 700)),
      m_nTopSlot(kInitialTopSlot),
      m_nSizedBandRows(1) {
  GetLocalTime(&m_stDate);
  m_pEntries->SetFreeFunc(&FreeEntry);
  std::memset(m_nSlotUse, 0, sizeof(m_nSlotUse));
}

CxDateBook::~CxDateBook() {
  if (m_pEntries) m_pEntries->RemoveAll(true);
}

bool CxDateBook::SetDate(const SYSTEMTIME* pDate) {
  if (!pDate) return false;
  m_stDate = *pDate;
  return true;
}

bool CxDateBook::AddEntry(const CommDate* pDate) {
  if (!OccursOnDay(pDate, &m_stDate)) return false;
  if (FindEntry(pDate) >= 0) return true;
  auto* pCopy = new (std::nothrow) CommDate;
  if (!pCopy) {
    Log(0, "No memory for a day book entry");
    return false;
  }
  *pCopy = *pDate;
  pCopy->pExtra = nullptr;
  pCopy->nExtraSize = 0;
  if (!pCopy->clockShifts.empty()) PinToOccurrence(pCopy, m_stDate);
  if (!m_pEntries->Add(pCopy)) {
    delete pCopy;
    return false;
  }
  if (pCopy->bAllDay) FollowBandHeight();
  return true;
}

int CxDateBook::FindEntry(const CommDate* pDate) {
  if (!pDate || !m_pEntries) return -1;
  int nPos = 0;
  for (auto* pEntry = static_cast<const CommDate*>(m_pEntries->GetFirst()); pEntry;
       pEntry = static_cast<const CommDate*>(m_pEntries->GetNext()), ++nPos) {
    if (std::strcmp(pEntry->szDescription, pDate->szDescription) != 0) continue;
    if (pEntry->bAllDay && pDate->bAllDay) return nPos;
    if (CompareTime(&pEntry->stStart, &pDate->stStart) == 0 &&
        CompareTime(&pEntry->stEnd, &pDate->stEnd) == 0) {
      return nPos;
    }
  }
  return -1;
}

void CxDateBook::ClearEntries() {
  if (m_pEntries) m_pEntries->RemoveAll(true);
  FollowBandHeight();
}

int CxDateBook::GetBandRows() {
  int nAllDay = 0;
  for (auto* pEntry = static_cast<const CommDate*>(m_pEntries->GetFirst()); pEntry;
       pEntry = static_cast<const CommDate*>(m_pEntries->GetNext())) {
    if (pEntry->bAllDay) ++nAllDay;
  }
  return std::max(1, nAllDay);
}

void CxDateBook::FollowBandHeight() {
  // The all-day band takes its height from the entries, and the slot area what is left, so a
  // scroll range set for another band would leave the last slots of the day out of reach (or
  // let the view scroll past them). Painting follows when the owner redraws.
  if (GetWindow() && GetBandRows() != m_nSizedBandRows) ApplySize();
}

int CxDateBook::GetEntryCount() const {
  return m_pEntries ? static_cast<int>(m_pEntries->GetCount()) : 0;
}

bool CxDateBook::GetEntrySlots(const CommDate* pEntry, const SYSTEMTIME* pDay, int* pnFirst,
                               int* pnEnd) {
  if (!pEntry || pEntry->bAllDay) return false;
  // A record reaching over several days fills this day from its start, up to its end, or
  // whole; a day it does not cover (an entry added for another day) reads as a one-day record.
  const int nDayOfRecord = pDay != nullptr ? CoveredDayOffset(pEntry, pDay) : -1;
  const bool bStartsToday = nDayOfRecord <= 0;
  const bool bEndsToday = nDayOfRecord < 0 || nDayOfRecord >= CoveredSpanDays(pEntry);
  const int nFirst =
      bStartsToday ? 2 * pEntry->stStart.wHour + (pEntry->stStart.wMinute >= 30 ? 1 : 0) : 0;
  // The end rounds up to the slot it reaches into, so 6:30 to 7:15 fills 7:00 to 7:30 too.
  int nEnd =
      bEndsToday ? (60 * pEntry->stEnd.wHour + pEntry->stEnd.wMinute + 29) / 30 : CXDATEBOOK_SLOTS;
  // Every entry is at least one slot high, or a quarter of an hour would never be seen.
  if (nEnd <= nFirst) nEnd = nFirst + 1;
  if (pnFirst) *pnFirst = nFirst;
  if (pnEnd) *pnEnd = nEnd;
  return true;
}

void CxDateBook::ComputeLayout(const RECT& rc, Layout* pLay) {
  pLay->entries.clear();
  pLay->boxes.clear();
  for (auto* pEntry = static_cast<const CommDate*>(m_pEntries->GetFirst()); pEntry;
       pEntry = static_cast<const CommDate*>(m_pEntries->GetNext())) {
    pLay->entries.push_back(pEntry);
  }
  const int nEntries = static_cast<int>(pLay->entries.size());

  int nAllDay = 0;
  for (const CommDate* pEntry : pLay->entries) {
    if (pEntry->bAllDay) ++nAllDay;
  }
  pLay->rcAllDay = RECT{kHourColumnWidth, kTitleHeight, rc.right,
                        kTitleHeight + kAllDayRowHeight * std::max(1, nAllDay)};
  pLay->rcSlots = RECT{kHourColumnWidth, pLay->rcAllDay.bottom, rc.right, rc.bottom};
  pLay->nVisibleSlots = (pLay->rcSlots.bottom - pLay->rcSlots.top) / kSlotHeight;

  int nRow = 0;
  for (int j = 0; j < nEntries; ++j) {
    if (!pLay->entries[j]->bAllDay) continue;
    const RECT& rcBand = pLay->rcAllDay;
    pLay->boxes.emplace_back(j, RECT{rcBand.left, rcBand.top + kAllDayRowHeight * nRow,
                                     rcBand.right, rcBand.top + kAllDayRowHeight * (nRow + 1)});
    ++nRow;
  }

  // Slots come from stored hours and minutes, which a damaged record may carry out of range:
  // only the 48 slots of the day are ever counted.
  std::memset(m_nSlotUse, 0, sizeof(m_nSlotUse));
  for (const CommDate* pEntry : pLay->entries) {
    int nFirst, nEnd;
    if (!GetEntrySlots(pEntry, &m_stDate, &nFirst, &nEnd)) continue;
    for (int s = std::max(nFirst, 0); s < std::min(nEnd, CXDATEBOOK_SLOTS); ++s) ++m_nSlotUse[s];
  }

  const int nLastVisible = std::min(m_nTopSlot + pLay->nVisibleSlots, CXDATEBOOK_SLOTS - 1);
  for (int i = std::max(m_nTopSlot, 0); i <= nLastVisible; ++i) {
    if (m_nSlotUse[i] <= 0) continue;
    const int nY = pLay->rcSlots.top + kSlotHeight * (i - m_nTopSlot);
    const RECT rcSlot{pLay->rcSlots.left + 5, nY, pLay->rcSlots.right, nY + kSlotHeight + 1};
    const int nColumn = (rcSlot.right - rcSlot.left) / m_nSlotUse[i];
    int k = 0;
    for (int j = 0; j < nEntries; ++j) {
      int nFirst, nEnd;
      if (!GetEntrySlots(pLay->entries[j], &m_stDate, &nFirst, &nEnd) || i < nFirst || i >= nEnd)
        continue;
      // Drawn from its first visible slot, so an entry that starts above the view still shows
      // where it reaches into it; it takes its column in every slot it occupies.
      if (i == std::max(nFirst, std::max(m_nTopSlot, 0))) {
        pLay->boxes.emplace_back(
            j,
            RECT{rcSlot.left + k * nColumn + 1, rcSlot.top + 1, rcSlot.left + (k + 1) * nColumn - 1,
                 rcSlot.top + (nEnd - i) * (rcSlot.bottom - rcSlot.top) - 1});
      }
      ++k;
    }
  }
}

bool CxDateBook::GetEntryRect(int nIndex, RECT* pRect) {
  if (!pRect) return false;
  RECT rcClient;
  GetClientRect(&rcClient);
  Layout lay;
  ComputeLayout(rcClient, &lay);
  for (const auto& box : lay.boxes) {
    if (box.first == nIndex) {
      *pRect = box.second;
      return true;
    }
  }
  return false;
}

int CxDateBook::OnKeyDown(WPARAM wParam, LPARAM) {
  int nRequest = -1;
  switch (wParam) {
    case VK_UP:
      nRequest = SB_LINEUP;
      break;
    case VK_DOWN:
      nRequest = SB_LINEDOWN;
      break;
    case VK_PRIOR:
      nRequest = SB_PAGEUP;
      break;
    case VK_NEXT:
      nRequest = SB_PAGEDOWN;
      break;
    case VK_HOME:
      nRequest = SB_TOP;
      break;
    case VK_END:
      nRequest = SB_BOTTOM;
      break;
    default:
      return 0;
  }
  OnVScroll(MAKEWPARAM(nRequest, 0), 0);
  return 0;
}

int CxDateBook::OnMouseWheel(WPARAM wParam, LPARAM) {
  constexpr int kSlotsPerNotch = 3;
  const int nDelta = static_cast<short>(HIWORD(wParam));
  const int nSlots = nDelta * kSlotsPerNotch / WHEEL_DELTA;
  const WPARAM nRequest = MAKEWPARAM(nSlots > 0 ? SB_LINEUP : SB_LINEDOWN, 0);
  for (int i = 0; i < (nSlots > 0 ? nSlots : -nSlots); ++i) OnVScroll(nRequest, 0);
  return 0;
}

int CxDateBook::OnPaint(WPARAM, LPARAM) {
  QPainter* pDC = BeginPaint();
  if (!pDC) return 0;
  RECT rcClient;
  GetClientRect(&rcClient);
  cxpaint::PaintBuffered(*pDC, rcClient, [this](QPainter& dc, const RECT& rc) { Paint(dc, rc); });
  EndPaint();
  return 0;
}

void CxDateBook::SetStateColors(bool bOn, COLORREF crSame, COLORREF crDiff, COLORREF crNew) {
  m_bStateColors = bOn;
  m_crState[MATCH_SAME] = crSame;
  m_crState[MATCH_NEW] = crNew;
  m_crState[MATCH_CHANGED] = crDiff;
}

void CxDateBook::DrawEntryBox(QPainter& dc, const RECT& rcBox, const CommDate* pEntry) {
  using namespace cxpaint;
  const bool bColored = m_bStateColors && pEntry->nMatchState <= MATCH_CHANGED;
  Rectangle(dc, rcBox, ToQColor(RGB(0, 0, 192)),
            bColored ? ToQColor(m_crState[pEntry->nMatchState]) : QColor(Qt::white));
  dc.setFont(m_hTextFont);
  TextLine(dc, rcBox, AnsiText(pEntry->szDescription), Qt::AlignCenter, Qt::black);
}

void CxDateBook::Paint(QPainter& dc, const RECT& rc) {
  using namespace cxpaint;
  Layout lay;
  ComputeLayout(rc, &lay);
  const QColor crLine(128, 128, 128);
  FillRect(dc, rc, QColor(64, 64, 64));

  // Title. The weekday is taken from the date itself: a date handed in may carry any.
  const RECT rcTitle{0, 0, rc.right, kTitleHeight};
  ButtonFace(dc, rcTitle);
  SYSTEMTIME stTitle = m_stDate;
  AddDays(&stTitle, 0);
  char szTitle[64] = "";
  if (stTitle.wMonth >= 1 && stTitle.wMonth <= 12 && stTitle.wDayOfWeek <= 6) {
    GetLongDateText(&stTitle, szTitle, sizeof(szTitle));
  }
  dc.setFont(m_hTitleFont);
  TextLine(dc, rcTitle, AnsiText(szTitle), Qt::AlignCenter, Qt::black);

  // All-day band, then its entries row by row.
  const RECT& rcBand = lay.rcAllDay;
  Rectangle(dc, RECT{rcBand.left, rcBand.top, rcBand.right, rcBand.bottom + 1}, Qt::black,
            m_hAllDayBrush);
  for (const auto& box : lay.boxes) {
    if (lay.entries[box.first]->bAllDay) DrawEntryBox(dc, box.second, lay.entries[box.first]);
  }

  // Hour column: the hour in large type over its two half-hour rows, "00" beside the hour.
  FillRect(dc, RECT{0, kTitleHeight, kHourColumnWidth, rc.bottom}, m_hHourBrush);
  const int nY0 = rcBand.bottom - kSlotHeight * m_nTopSlot;
  const int nLastHourSlot = m_nTopSlot + (rc.bottom - rcBand.bottom) / kSlotHeight;
  for (int i = m_nTopSlot; i <= nLastHourSlot; ++i) {
    const int nY = nY0 + kSlotHeight * i;
    if (i % 2 != 0) {
      dc.setFont(m_hTextFont);
      TextLine(dc, RECT{32, nY - kSlotHeight, kHourColumnWidth, nY}, QStringLiteral("00"),
               Qt::AlignCenter, Qt::black);
      Line(dc, 32, nY, kHourColumnWidth, nY, crLine);
    } else {
      dc.setFont(m_hHourFont);
      TextLine(dc, RECT{0, nY, 30, nY + 2 * kSlotHeight}, QString::number(i / 2),
               Qt::AlignRight | Qt::AlignVCenter, Qt::black);
      Line(dc, 10, nY, kHourColumnWidth, nY, crLine);
    }
  }

  // Slots, then the timed entries over them.
  const RECT& rcSlots = lay.rcSlots;
  FillRect(dc, RECT{65, rcSlots.top + 1, 69, rcSlots.bottom}, Qt::white);
  for (int i = m_nTopSlot; i <= m_nTopSlot + lay.nVisibleSlots; ++i) {
    const int nY = rcSlots.top + kSlotHeight * (i - m_nTopSlot);
    const bool bOffHours = i < kFirstWorkSlot || i > kLastWorkSlot;
    Rectangle(dc, RECT{rcSlots.left + 5, nY, rcSlots.right, nY + kSlotHeight + 1}, Qt::black,
              bOffHours ? m_hOffHourBrush : m_hWorkHourBrush);
  }
  for (const auto& box : lay.boxes) {
    if (!lay.entries[box.first]->bAllDay) DrawEntryBox(dc, box.second, lay.entries[box.first]);
  }
}

int CxDateBook::OnSize(WPARAM, LPARAM) {
  ApplySize();
  UpdateNow();
  return 0;
}

void CxDateBook::ApplySize() {
  RECT rcClient;
  GetClientRect(&rcClient);
  Layout lay;
  ComputeLayout(rcClient, &lay);
  m_nSizedBandRows = GetBandRows();
  // A client lower than the title and band shows no slot at all, not a negative number.
  const int nVisible = std::max(lay.nVisibleSlots, 0);
  if (nVisible > CXDATEBOOK_SLOTS) {
    SetScrollRange(SB_VERT, 0, 0, true);
    m_nTopSlot = 0;
  } else {
    SetScrollRange(SB_VERT, 0, CXDATEBOOK_SLOTS - nVisible, true);
    if (m_nTopSlot + nVisible > CXDATEBOOK_SLOTS) m_nTopSlot = CXDATEBOOK_SLOTS - nVisible;
    SetScrollPos(SB_VERT, m_nTopSlot, true);
  }
}

int CxDateBook::OnVScroll(WPARAM wParam, LPARAM) {
  int nMin = 0, nMax = 0;
  if (!GetScrollRange(SB_VERT, &nMin, &nMax)) return 0;
  const int nPos = GetScrollPos(SB_VERT);
  int nNew = nPos;
  switch (LOWORD(wParam)) {
    case SB_LINEUP:
      if (nPos > 0) nNew = nPos - 1;
      break;
    case SB_LINEDOWN:
      if (nPos < nMax) nNew = nPos + 1;
      break;
    case SB_PAGEUP:
      nNew = std::max(nPos - kPageSlots, 0);
      break;
    case SB_PAGEDOWN:
      nNew = nPos < nMax - kPageSlots ? nPos + kPageSlots : nMax;
      break;
    case SB_TOP:
      nNew = 0;
      break;
    case SB_BOTTOM:
      nNew = nMax;
      break;
    default:
      // Thumb tracking and thumb position included: the view moves by the buttons and the
      // page areas only.
      break;
  }
  if (nNew != nPos) {
    SetScrollPos(SB_VERT, nNew, true);
    m_nTopSlot = nNew;
    UpdateNow();
  }
  return 0;
}
