// Saves pictures of both controls filled with sample records under the build folder, for a
// person to look at (views-snapshots/*.png); they are not compared with anything.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include "ViewTestUtil.h"
#include "views/CxCalendarCtrl.h"
#include "views/CxDateBook.h"
#include "views/CxWinCtrlWindow.h"

namespace {

using viewtest::Date;
using viewtest::Record;
using viewtest::ViewTest;

int MarkSomeDays(const SYSTEMTIME* pDate, void*) {
  return pDate->wMonth == 3 && (pDate->wDay == 7 || pDate->wDay == 15 || pDate->wDay == 22);
}

QString SnapshotPath(const char* szName) {
  const QString strDir = QStringLiteral(DB_BUILD_DIR "/views-snapshots");
  QDir().mkpath(strDir);
  return strDir + QLatin1Char('/') + QString::fromUtf8(szName);
}

// True when the picture holds more than a handful of colours (something was drawn).
bool HasContent(const QImage& image) {
  QList<QRgb> colours;
  for (int y = 0; y < image.height(); y += 3) {
    for (int x = 0; x < image.width(); x += 3) {
      const QRgb rgb = image.pixel(x, y);
      if (!colours.contains(rgb)) colours.append(rgb);
      if (colours.size() > 5) return true;
    }
  }
  return false;
}

class ViewSnapshotTest : public ViewTest {};

TEST_F(ViewSnapshotTest, SavesBothControlsWithSampleRecords) {
  auto* pCalendar = new CxCalendarCtrl;
  const RECT rcCalendar{15, 15, 200, 200};
  ASSERT_TRUE(pCalendar->Create(Parent(), &rcCalendar, 0x50800000, 0));
  pCalendar->SetMarkCallback(&MarkSomeDays);
  const SYSTEMTIME stDay = Date(2011, 3, 15);
  pCalendar->SetDate(&stDay, false);

  auto* pBook = new CxDateBook;
  ASSERT_TRUE(pBook->Create(Parent(), nullptr, 0x50200000, 0x200));
  pBook->SetDate(&stDay);
  const RECT rcBook{220, 15, 640, 560};
  pBook->MoveTo(&rcBook, true);

  const SYSTEMTIME stDayStart = Date(2011, 3, 15, 0, 0);
  pBook->AddEntry(Record("Trade fair", stDayStart, stDayStart, true).get());
  pBook->AddEntry(Record("Caf\xE9 with Ren\xE9"
                         "e",
                         stDayStart, stDayStart, true)
                      .get());
  pBook->AddEntry(Record("Stand-up", Date(2011, 3, 15, 9, 0), Date(2011, 3, 15, 9, 30)).get());
  pBook->AddEntry(
      Record("Budget review \x80", Date(2011, 3, 15, 10, 0), Date(2011, 3, 15, 11, 30)).get());
  pBook->AddEntry(Record("Dentist", Date(2011, 3, 15, 11, 0), Date(2011, 3, 15, 12, 0)).get());
  pBook->AddEntry(
      Record("Lunch with Ana", Date(2011, 3, 15, 12, 30), Date(2011, 3, 15, 13, 30)).get());
  pBook->AddEntry(
      Record("Call \x93Palm\x94 support", Date(2011, 3, 15, 14, 0), Date(2011, 3, 15, 15, 0))
          .get());
  pBook->AddEntry(Record("Write report", Date(2011, 3, 15, 14, 0), Date(2011, 3, 15, 16, 0)).get());
  pBook->AddEntry(Record("Gym", Date(2011, 3, 15, 18, 0), Date(2011, 3, 15, 19, 0)).get());
  // Scrolled so that the working day fills the view.
  CxSendMessage(pBook->GetHwnd(), WM_VSCROLL, MAKEWPARAM(SB_PAGEDOWN, 0), 0);
  pBook->Redraw(true);

  const QImage imgCalendar = pCalendar->GetWindow()->grab().toImage();
  const QImage imgBook = pBook->GetWindow()->grab().toImage();
  EXPECT_TRUE(HasContent(imgCalendar));
  EXPECT_TRUE(HasContent(imgBook));
  EXPECT_TRUE(imgCalendar.save(SnapshotPath("month-calendar.png")));
  EXPECT_TRUE(imgBook.save(SnapshotPath("day-book.png")));
}

}  // namespace
