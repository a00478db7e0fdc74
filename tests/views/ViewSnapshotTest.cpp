// Both controls filled as the main window fills them, checked at chosen pixels against the
// colours they are drawn with, and saved under the build folder for a person to look at
// (views-snapshots/*.png). The checks read fills and text colours in a way that holds for
// any font (support/ui/PixelCheck.h); positions come from the controls' own geometry.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include "ViewTestUtil.h"
#include "support/ui/PixelCheck.h"
#include "views/CxCalendarCtrl.h"
#include "views/CxDateBook.h"
#include "views/CxWinCtrlWindow.h"

namespace {

using clockguard::LocalTime;
using pixelcheck::FillOf;
using pixelcheck::HasTextOf;
using pixelcheck::InkIn;
using pixelcheck::PixelAt;
using viewtest::Record;
using viewtest::ViewTest;

// "Now" is Monday 7 March 2011; the grid of March 2011 starts on Sunday 27 February, so
// day d of March is cell d + 1.
constexpr int kFirstOfMarchCell = 2;

int MarkSomeDays(const SYSTEMTIME* pDate, void*) {
  return pDate->wMonth == 3 &&
         (pDate->wDay == 7 || pDate->wDay == 13 || pDate->wDay == 15 || pDate->wDay == 22);
}

void SaveSnapshot(const QImage& image, const char* szName) {
  const QString strDir = QStringLiteral(DB_BUILD_DIR "/views-snapshots");
  QDir().mkpath(strDir);
  EXPECT_TRUE(image.save(strDir + QLatin1Char('/') + QString::fromUtf8(szName))) << szName;
}

QRect ToQRect(const RECT& rc) {
  return QRect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
}

QImage Picture(CxWinCtrl* pControl) {
  return pControl->GetWindow()->GetClient()->grab().toImage();
}

// The outline of a box drawn with a one-pixel pen: its four corners.
bool IsOutlined(const QImage& image, const RECT& rc, const QColor& crPen) {
  return PixelAt(image, rc.left, rc.top) == crPen &&
         PixelAt(image, rc.right - 1, rc.top) == crPen &&
         PixelAt(image, rc.left, rc.bottom - 1) == crPen &&
         PixelAt(image, rc.right - 1, rc.bottom - 1) == crPen;
}

struct DayCell {
  const char* szName;
  int nDay;  // of March; 0 and below reach into February
  QColor crText;
  bool bFramed;    // today's frame
  bool bSelected;  // filled in the selection's colour
};

class ViewSnapshotTest : public ViewTest {};

TEST_F(ViewSnapshotTest, MonthCalendarDrawsEachDayInItsColours) {
  auto* pCalendar = new CxCalendarCtrl;
  const RECT rcCalendar{15, 15, 200, 200};
  ASSERT_TRUE(pCalendar->Create(Parent(), &rcCalendar, 0x50800000, 0));
  pCalendar->SetMarkCallback(&MarkSomeDays);
  const SYSTEMTIME stDay = LocalTime(2011, 3, 15);
  pCalendar->SetDate(&stDay, false);
  const QImage image = Picture(pCalendar);
  SaveSnapshot(image, "month-calendar.png");

  // The title between its arrows, inside the button face's bevel.
  const QRect rcTitle(30, 3, pCalendar->GetWindow()->GetClient()->width() - 60, 18);
  EXPECT_TRUE(HasTextOf(image, rcTitle, QColor(0, 0, 128))) << "title";

  const QColor crFrame(64, 64, 64);
  const DayCell cells[] = {
      {"OtherMonthIsGrey", -1, QColor(128, 128, 128), false, false},
      {"MarkedSundayIsRed", 13, QColor(255, 0, 0), false, false},
      {"SaturdayIsBlue", 12, QColor(0, 0, 255), false, false},
      {"MarkedWeekdayIsBlack", 22, QColor(0, 0, 0), false, false},
      {"TodayIsFramed", 7, QColor(0, 0, 0), true, false},
      {"SelectedIsFilledDarkBlueWithWhiteText", 15, QColor(255, 255, 255), false, true},
  };
  for (const DayCell& cell : cells) {
    SCOPED_TRACE(cell.szName);
    RECT rc;
    ASSERT_TRUE(pCalendar->GetDayRect(kFirstOfMarchCell + cell.nDay - 1, &rc));
    EXPECT_EQ(IsOutlined(image, rc, crFrame), cell.bFramed);
    const QRect rcInside = ToQRect(rc).adjusted(1, 1, -1, -1);
    if (cell.bSelected) {
      EXPECT_EQ(FillOf(image, rcInside), QColor(0, 0, 64));
    }
    EXPECT_TRUE(HasTextOf(image, rcInside, cell.crText));
  }

  // A marked day is bold: the same cell without marks carries less ink.
  RECT rcMarked;
  ASSERT_TRUE(pCalendar->GetDayRect(kFirstOfMarchCell + 22 - 1, &rcMarked));
  const int nBoldInk = InkIn(image, ToQRect(rcMarked)).nPixels;
  pCalendar->SetMarkCallback(nullptr);
  pCalendar->Redraw(true);
  EXPECT_LT(InkIn(Picture(pCalendar), ToQRect(rcMarked)).nPixels, nBoldInk);
}

TEST_F(ViewSnapshotTest, DayBookDrawsBandHoursSlotsAndBoxesInTheirColours) {
  auto* pBook = new CxDateBook;
  ASSERT_TRUE(pBook->Create(Parent(), nullptr, 0x50200000, 0x200));
  const SYSTEMTIME stDay = LocalTime(2011, 3, 15);
  pBook->SetDate(&stDay);
  const RECT rcBook{220, 15, 640, 560};
  pBook->MoveTo(&rcBook, true);

  const SYSTEMTIME stDayStart = LocalTime(2011, 3, 15, 0, 0);
  pBook->AddEntry(Record("Trade fair", stDayStart, stDayStart, true).get());
  pBook->AddEntry(Record("Caf\xE9 with Ren\xE9"
                         "e",
                         stDayStart, stDayStart, true)
                      .get());
  pBook->AddEntry(
      Record("Stand-up", LocalTime(2011, 3, 15, 9, 0), LocalTime(2011, 3, 15, 9, 30)).get());
  pBook->AddEntry(
      Record("Budget review \x80", LocalTime(2011, 3, 15, 10, 0), LocalTime(2011, 3, 15, 11, 30))
          .get());
  pBook->AddEntry(
      Record("Dentist", LocalTime(2011, 3, 15, 11, 0), LocalTime(2011, 3, 15, 12, 0)).get());
  pBook->AddEntry(
      Record("Lunch with Ana", LocalTime(2011, 3, 15, 12, 30), LocalTime(2011, 3, 15, 13, 30))
          .get());
  pBook->AddEntry(Record("Call \x93Palm\x94 support", LocalTime(2011, 3, 15, 14, 0),
                         LocalTime(2011, 3, 15, 15, 0))
                      .get());
  pBook->AddEntry(
      Record("Write report", LocalTime(2011, 3, 15, 14, 0), LocalTime(2011, 3, 15, 16, 0)).get());
  pBook->AddEntry(
      Record("Gym", LocalTime(2011, 3, 15, 18, 0), LocalTime(2011, 3, 15, 19, 0)).get());
  constexpr int kTradeFair = 0;
  constexpr int kGym = 8;
  // Scrolled so that the working day fills the view.
  CxSendMessage(pBook->GetHwnd(), WM_VSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0), 0);
  pBook->Redraw(true);
  const QImage image = Picture(pBook);
  SaveSnapshot(image, "day-book.png");

  const QColor crBoxPen(0, 0, 192);
  for (int nEntry : {kTradeFair, kGym}) {
    SCOPED_TRACE(nEntry == kGym ? "timed box" : "all-day box");
    RECT rc;
    ASSERT_TRUE(pBook->GetEntryRect(nEntry, &rc));
    EXPECT_TRUE(IsOutlined(image, rc, crBoxPen));
    const QRect rcInside = ToQRect(rc).adjusted(1, 1, -1, -1);
    EXPECT_EQ(FillOf(image, rcInside), QColor(Qt::white));
    EXPECT_TRUE(HasTextOf(image, rcInside, Qt::black));
  }

  // Below the title and a band of two all-day rows, slots of 20 pixels from the top slot.
  const int nSlotsTop = 28 + 2 * 24;
  const auto slotRow = [&](int nSlot) {
    return QRect(64 + 5 + 3, nSlotsTop + 20 * (nSlot - pBook->GetTopSlot()) + 3, 200, 14);
  };
  struct Fill {
    const char* szName;
    QRect rc;
    QColor crFill;
  };
  const Fill fills[] = {
      // Left of the hour numbers, which are right-aligned up to x 30.
      {"HourColumn", QRect(0, nSlotsTop, 8, 200), QColor(192, 224, 255)},
      {"WorkHourSlot1630", slotRow(33), QColor(255, 255, 192)},
      {"OffHourSlot1730", slotRow(35), QColor(192, 192, 128)},
  };
  for (const Fill& fill : fills) {
    EXPECT_EQ(FillOf(image, fill.rc), fill.crFill) << fill.szName;
  }

  // The band's own grey shows only where no all-day entry covers it.
  pBook->ClearEntries();
  pBook->Redraw(true);
  EXPECT_EQ(FillOf(Picture(pBook), QRect(70, 28 + 2, 300, 20)), QColor(128, 128, 128));
}

}  // namespace
