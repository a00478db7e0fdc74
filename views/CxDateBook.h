// The day book: one day of one calendar, with the long date as title, a band of all-day
// entries, an hour column and a scrollable column of 48 half-hour slots in which each timed
// entry is a box over the slots it occupies; entries sharing a slot stand side by side.
//
// Slot i covers i div 2 o'clock plus 30 minutes for an odd i. An entry's slots come from the
// times of day of its start and end only (dates are not looked at): it occupies its first
// slot a up to, not including, its end slot b. Entries are the book's own copies of the
// records it was given, without their store blocks.
#pragma once

#include <QBrush>
#include <QFont>
#include <memory>

#include "common/calendar/CommDate.h"
#include "platform/win/WinTypes.h"
#include "views/CxWinCtrl.h"

class CxList;

#define CXDATEBOOK_SLOTS 48

class CxDateBook : public CxWinCtrl {
 public:
  CxDateBook();
  ~CxDateBook() override;

  // Takes the day to show (all fields); does not repaint. False for a missing date.
  bool SetDate(const SYSTEMTIME* pDate);
  const SYSTEMTIME* GetDate() const { return &m_stDate; }

  // Keeps a copy of a record that occurs on the shown day. False for a record of another
  // day (or none) and when the copy cannot be kept; true without adding for one already
  // shown (FindEntry).
  bool AddEntry(const CommDate* pDate);
  // Position of the first entry with the same description that is, like the record, all
  // day, or has the same start and end time of day; -1 for none.
  int FindEntry(const CommDate* pDate);
  void ClearEntries();
  int GetEntryCount() const;

  // With bOn, entry boxes are filled by the record's match state (the same in both calendars,
  // different, or new); without, white.
  void SetStateColors(bool bOn, COLORREF crSame, COLORREF crDiff, COLORREF crNew);

  int GetTopSlot() const { return m_nTopSlot; }

  // First slot and end slot (exclusive) of a timed entry on the day (null: as if it were its
  // only day); false for an all-day one. Every entry gets at least one slot.
  static bool GetEntrySlots(const CommDate* pEntry, const SYSTEMTIME* pDay, int* pnFirst,
                            int* pnEnd);
  // The box the next paint draws for entry nIndex (its position); false when the entry is not
  // drawn at the current size and scroll position.
  bool GetEntryRect(int nIndex, RECT* pRect);

  int OnPaint(WPARAM wParam, LPARAM lParam) override;
  int OnSize(WPARAM wParam, LPARAM lParam) override;
  int OnVScroll(WPARAM wParam, LPARAM lParam) override;
  // Up and down a slot, Page Up and Down six, Home and End to the ends, as the scroll bar does.
  int OnKeyDown(WPARAM wParam, LPARAM lParam) override;
  // Three slots a notch.
  int OnMouseWheel(WPARAM wParam, LPARAM lParam) override;

 private:
  struct Layout;
  void ComputeLayout(const RECT& rcClient, Layout* pLayout);
  void Paint(QPainter& dc, const RECT& rcClient);
  void DrawEntryBox(QPainter& dc, const RECT& rcBox, const CommDate* pEntry);
  // The sizing rules: scroll range and top slot from the rows of slots that fit.
  void ApplySize();
  int GetBandRows();
  void FollowBandHeight();

  SYSTEMTIME m_stDate;
  std::unique_ptr<CxList> m_pEntries;
  QBrush m_hAllDayBrush;
  QBrush m_hHourBrush;
  QBrush m_hOffHourBrush;
  QBrush m_hWorkHourBrush;
  QFont m_hTitleFont;
  QFont m_hTextFont;
  QFont m_hHourFont;
  int m_nTopSlot;
  bool m_bStateColors = false;
  COLORREF m_crState[3] = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF};  // by MATCH_SAME, _NEW, _CHANGED
  int m_nSlotUse[CXDATEBOOK_SLOTS];
  int m_nSizedBandRows;  // all-day rows the scroll range was last set for
};
