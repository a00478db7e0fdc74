#include "views/CxDateBook.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include "ViewTestUtil.h"
#include "views/CxWinCtrlWindow.h"

namespace {

using clockguard::LocalTime;
using viewtest::Record;
using viewtest::ViewTest;

constexpr int kClientWidth = 400;
constexpr int kShowAllHeight = 1040;  // more than 48 slots below the title and band

class CxDateBookTest : public ViewTest {
 protected:
  // A day book as the main window makes it (no rectangle, child, visible, vertical scroll
  // bar, client edge), then placed so that its client area is nClientHeight high.
  CxDateBook* MakeBook(int nClientHeight) {
    auto* pBook = new CxDateBook;
    EXPECT_TRUE(pBook->Create(Parent(), nullptr, 0x50200000, 0x200));
    pBook->SetDate(&m_stDay);
    const int nBarWidth = pBook->GetWindow()->GetVScrollBar()->sizeHint().width();
    const RECT rc{10, 10, 10 + kClientWidth + nBarWidth + 4, 10 + nClientHeight + 4};
    pBook->MoveTo(&rc, true);
    EXPECT_EQ(nClientHeight, pBook->GetWindow()->GetClient()->height());
    return pBook;
  }
  bool Add(CxDateBook* pBook, const char* szText, int nStartHour, int nStartMinute, int nEndHour,
           int nEndMinute) {
    return pBook->AddEntry(Record(szText, LocalTime(2011, 3, 15, nStartHour, nStartMinute),
                                  LocalTime(2011, 3, 15, nEndHour, nEndMinute))
                               .get());
  }
  bool AddAllDay(CxDateBook* pBook, const char* szText) {
    return pBook->AddEntry(Record(szText, m_stDay, m_stDay, true).get());
  }
  static void Scroll(CxDateBook* pBook, int nRequest, int nTrackPos = 0) {
    CxSendMessage(pBook->GetHwnd(), WM_VSCROLL, MAKEWPARAM(nRequest, nTrackPos), 0);
  }
  static QScrollBar* Bar(CxDateBook* pBook) { return pBook->GetWindow()->GetVScrollBar(); }
  static int ClientWidth(CxDateBook* pBook) { return pBook->GetWindow()->GetClient()->width(); }

  SYSTEMTIME m_stDay = LocalTime(2011, 3, 15);
};

struct SlotCase {
  const char* szName;
  int nStartHour, nStartMinute, nEndHour, nEndMinute;
  int nFirst, nEnd;  // the entry occupies nFirst .. nEnd - 1
};

class DateBookSlotTest : public CxDateBookTest, public ::testing::WithParamInterface<SlotCase> {};

// With every slot in view, an entry is one box from the line of its first slot to its real end
// (rounded up to the slot it reaches into), at least one slot high.
TEST_P(DateBookSlotTest, EntryOccupiesItsSlotsAndIsDrawnOverThem) {
  const SlotCase& c = GetParam();
  CxDateBook* pBook = MakeBook(kShowAllHeight);
  ASSERT_EQ(0, pBook->GetTopSlot());
  ASSERT_TRUE(Add(pBook, "Entry", c.nStartHour, c.nStartMinute, c.nEndHour, c.nEndMinute));

  auto pProbe = Record("Entry", LocalTime(2011, 3, 15, c.nStartHour, c.nStartMinute),
                       LocalTime(2011, 3, 15, c.nEndHour, c.nEndMinute));
  int nFirst = -1, nEnd = -1;
  ASSERT_TRUE(CxDateBook::GetEntrySlots(pProbe.get(), &m_stDay, &nFirst, &nEnd));
  EXPECT_EQ(c.nFirst, nFirst);
  EXPECT_EQ(c.nEnd, nEnd);

  RECT rc;
  ASSERT_TRUE(pBook->GetEntryRect(0, &rc));
  const int nSlotTop = 28 + 24 + 20 * c.nFirst;
  EXPECT_EQ(nSlotTop + 1, rc.top);
  EXPECT_EQ(nSlotTop + 21 * (c.nEnd - c.nFirst) - 1, rc.bottom);
  EXPECT_EQ(64 + 5 + 1, rc.left);
  EXPECT_EQ(ClientWidth(pBook) - 1, rc.right);
}

INSTANTIATE_TEST_SUITE_P(
    Times, DateBookSlotTest,
    ::testing::Values(SlotCase{"NineToHalfPastTen", 9, 0, 10, 30, 18, 21},
                      SlotCase{"NineToTenPastNine", 9, 0, 9, 10, 18, 19},
                      SlotCase{"QuarterHourAtEight", 8, 0, 8, 15, 16, 17},
                      SlotCase{"HalfPastSixToQuarterPastSeven", 6, 30, 7, 15, 13, 15},
                      SlotCase{"TwentyToTenToTenPastTen", 9, 40, 10, 10, 19, 21},
                      SlotCase{"MidnightToHalfPast", 0, 0, 0, 30, 0, 1},
                      SlotCase{"LastHalfHourEndingAt2359", 23, 30, 23, 59, 47, 48},
                      SlotCase{"EndBeforeStart", 15, 0, 14, 0, 30, 31}),
    viewtest::CaseName());

TEST_F(CxDateBookTest, EqualAppointmentsStandSideBySideAtHalfWidth) {
  CxDateBook* pBook = MakeBook(kShowAllHeight);
  ASSERT_TRUE(Add(pBook, "First", 14, 0, 15, 0));
  ASSERT_TRUE(Add(pBook, "Second", 14, 0, 15, 0));
  RECT rcFirst, rcSecond;
  ASSERT_TRUE(pBook->GetEntryRect(0, &rcFirst));
  ASSERT_TRUE(pBook->GetEntryRect(1, &rcSecond));
  const int nColumn = (ClientWidth(pBook) - 69) / 2;
  EXPECT_EQ(nColumn - 2, rcFirst.right - rcFirst.left);
  EXPECT_EQ(nColumn - 2, rcSecond.right - rcSecond.left);
  EXPECT_EQ(rcFirst.left + nColumn, rcSecond.left);
  EXPECT_EQ(rcFirst.top, rcSecond.top);
  EXPECT_EQ(rcFirst.bottom, rcSecond.bottom);
}

TEST_F(CxDateBookTest, EntryStartingAboveTheViewIsDrawnFromItsTopAndKeepsItsColumn) {
  CxDateBook* pBook = MakeBook(300);
  ASSERT_EQ(10, pBook->GetTopSlot());                      // 5:00
  ASSERT_TRUE(Add(pBook, "From four", 4, 0, 6, 0));        // slots 8..11
  ASSERT_TRUE(Add(pBook, "Half past five", 5, 30, 6, 0));  // slot 11
  RECT rc;
  ASSERT_TRUE(pBook->GetEntryRect(0, &rc));
  EXPECT_EQ(28 + 24 + 1, rc.top);
  EXPECT_EQ(28 + 24 + 2 * 21 - 1, rc.bottom);
  ASSERT_TRUE(pBook->GetEntryRect(1, &rc));
  const int nColumn = (ClientWidth(pBook) - 69) / 2;
  EXPECT_EQ(69 + nColumn + 1, rc.left);
  EXPECT_EQ(28 + 24 + 20 + 1, rc.top);
}

// A record from Monday 22:00 to Wednesday 1:00: Monday from 22:00, Tuesday whole, Wednesday
// up to 1:00.
TEST_F(CxDateBookTest, RecordOverSeveralDaysFillsEachDayItCovers) {
  auto pFair = Record("Fair", LocalTime(2011, 3, 14, 22), LocalTime(2011, 3, 16, 1));
  const std::pair<int, std::pair<int, int>> days[] = {{14, {44, 48}}, {15, {0, 48}}, {16, {0, 2}}};
  for (const auto& [nDay, expected] : days) {
    const SYSTEMTIME stDay = LocalTime(2011, 3, nDay);
    int nFirst = -1, nEnd = -1;
    ASSERT_TRUE(CxDateBook::GetEntrySlots(pFair.get(), &stDay, &nFirst, &nEnd));
    EXPECT_EQ(std::make_pair(nFirst, nEnd), expected) << nDay;
  }
  CxDateBook* pBook = MakeBook(kShowAllHeight);
  EXPECT_TRUE(pBook->AddEntry(pFair.get()));
}

// With colours on, a record's box is filled by its match state; with them off, white.
TEST_F(CxDateBookTest, RecordsAreColouredByMatchStateWhenAsked) {
  CxDateBook* pBook = MakeBook(kShowAllHeight);
  auto pNew = Record("New", LocalTime(2011, 3, 15, 9), LocalTime(2011, 3, 15, 10));
  pNew->nMatchState = MATCH_NEW;
  ASSERT_TRUE(pBook->AddEntry(pNew.get()));
  RECT rc;
  ASSERT_TRUE(pBook->GetEntryRect(0, &rc));
  const QPoint ptInside(rc.left + 3, rc.top + 3);
  for (bool bOn : {true, false}) {
    pBook->SetStateColors(bOn, RGB(1, 2, 3), RGB(4, 5, 6), RGB(200, 100, 50));
    pBook->Redraw(true);
    const QImage image = pBook->GetWindow()->GetClient()->grab().toImage();
    EXPECT_EQ(image.pixelColor(ptInside), bOn ? QColor(200, 100, 50) : QColor(Qt::white)) << bOn;
  }
}

// The day book takes the focus and scrolls by keys and by the wheel as by its scroll bar.
TEST_F(CxDateBookTest, KeysAndWheelScroll) {
  CxDateBook* pBook = MakeBook(300);
  QWidget* pClient = pBook->GetWindow()->GetClient();
  ASSERT_EQ(10, pBook->GetTopSlot());
  QTest::keyClick(pClient, Qt::Key_Down);
  EXPECT_EQ(11, pBook->GetTopSlot());
  QTest::keyClick(pClient, Qt::Key_PageUp);
  EXPECT_EQ(5, pBook->GetTopSlot());
  QTest::keyClick(pClient, Qt::Key_Home);
  EXPECT_EQ(0, pBook->GetTopSlot());
  QWheelEvent wheel(QPointF(10, 10), pClient->mapToGlobal(QPointF(10, 10)), QPoint(),
                    QPoint(0, -WHEEL_DELTA), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                    false);
  QCoreApplication::sendEvent(pClient, &wheel);
  EXPECT_EQ(3, pBook->GetTopSlot());
}

struct BandCase {
  const char* szName;
  int nAllDay;
  int nBandHeight;
};

class DateBookBandTest : public CxDateBookTest, public ::testing::WithParamInterface<BandCase> {};

TEST_P(DateBookBandTest, AllDayEntriesFillTheBandRowByRow) {
  const BandCase& c = GetParam();
  CxDateBook* pBook = MakeBook(600);
  ASSERT_TRUE(Add(pBook, "At six", 6, 0, 7, 0));  // slot 12, two below the top slot
  const char* const szNames[] = {"Holiday", "Trade fair", "Birthday"};
  for (int k = 0; k < c.nAllDay; ++k) ASSERT_TRUE(AddAllDay(pBook, szNames[k]));

  for (int k = 0; k < c.nAllDay; ++k) {
    RECT rc;
    ASSERT_TRUE(pBook->GetEntryRect(1 + k, &rc));
    EXPECT_EQ(64, rc.left);
    EXPECT_EQ(28 + 24 * k, rc.top);
    EXPECT_EQ(28 + 24 * (k + 1), rc.bottom);
    EXPECT_EQ(ClientWidth(pBook), rc.right);
  }
  RECT rcTimed;
  ASSERT_TRUE(pBook->GetEntryRect(0, &rcTimed));
  EXPECT_EQ(28 + c.nBandHeight + 40 + 1, rcTimed.top);

  // The band is drawn in grey where no entry covers it.
  pBook->Redraw(true);
  const QImage image = pBook->GetWindow()->GetClient()->grab().toImage();
  const QColor crBand(128, 128, 128);
  EXPECT_EQ(c.nAllDay == 0, QColor(image.pixel(200, 28 + 12)) == crBand);
}

INSTANTIATE_TEST_SUITE_P(Counts, DateBookBandTest,
                         ::testing::Values(BandCase{"None", 0, 24}, BandCase{"One", 1, 24},
                                           BandCase{"Three", 3, 72}),
                         viewtest::CaseName());

TEST_F(CxDateBookTest, AddEntryKeepsOneCopyOfEachRecordOfTheDay) {
  CxDateBook* pBook = MakeBook(300);
  auto pRecord = Record("Review", LocalTime(2011, 3, 15, 9, 0), LocalTime(2011, 3, 15, 10, 0));
  EXPECT_TRUE(pBook->AddEntry(pRecord.get()));
  EXPECT_TRUE(pBook->AddEntry(pRecord.get()));
  EXPECT_EQ(1, pBook->GetEntryCount());

  auto pOtherDay = Record("Review", LocalTime(2011, 3, 16, 9, 0), LocalTime(2011, 3, 16, 10, 0));
  EXPECT_FALSE(pBook->AddEntry(pOtherDay.get()));
  EXPECT_FALSE(pBook->AddEntry(nullptr));
  EXPECT_EQ(1, pBook->GetEntryCount());

  // A weekly record that began a week earlier occurs on the day.
  auto pWeekly = Record("Team", LocalTime(2011, 3, 8, 11, 0), LocalTime(2011, 3, 8, 12, 0));
  pWeekly->repeat.nType = REPEAT_WEEKLY;
  pWeekly->repeat.nInterval = 1;
  pWeekly->repeat.nDayOfWeekMask = DAYMASK_TUESDAY;
  EXPECT_TRUE(pBook->AddEntry(pWeekly.get()));
  EXPECT_EQ(2, pBook->GetEntryCount());

  pBook->ClearEntries();
  EXPECT_EQ(0, pBook->GetEntryCount());
  EXPECT_EQ(-1, pBook->FindEntry(pRecord.get()));
}

struct FindCase {
  const char* szName;
  const char* szText;
  bool bAllDay;
  SYSTEMTIME stStart, stEnd;
  int nExpected;
};

class DateBookFindTest : public CxDateBookTest, public ::testing::WithParamInterface<FindCase> {};

TEST_P(DateBookFindTest, FindsByTextAndTimesOfDay) {
  const FindCase& c = GetParam();
  CxDateBook* pBook = MakeBook(300);
  ASSERT_TRUE(Add(pBook, "Review", 9, 0, 10, 0));
  ASSERT_TRUE(AddAllDay(pBook, "Holiday"));
  auto pProbe = Record(c.szText, c.stStart, c.stEnd, c.bAllDay);
  EXPECT_EQ(c.nExpected, pBook->FindEntry(pProbe.get()));
}

INSTANTIATE_TEST_SUITE_P(
    Records, DateBookFindTest,
    ::testing::Values(FindCase{"SameTextAndTimes", "Review", false, LocalTime(2011, 3, 15, 9, 0),
                               LocalTime(2011, 3, 15, 10, 0), 0},
                      FindCase{"TextComparedExactly", "review", false, LocalTime(2011, 3, 15, 9, 0),
                               LocalTime(2011, 3, 15, 10, 0), -1},
                      FindCase{"OtherEndTime", "Review", false, LocalTime(2011, 3, 15, 9, 0),
                               LocalTime(2011, 3, 15, 10, 30), -1},
                      FindCase{"DatesDoNotCount", "Review", false, LocalTime(2012, 7, 1, 9, 0),
                               LocalTime(2012, 7, 1, 10, 0), 0},
                      FindCase{"AllDayWhateverTheTimes", "Holiday", true,
                               LocalTime(2011, 3, 15, 8, 0), LocalTime(2011, 3, 15, 17, 0), 1},
                      FindCase{"AllDayRecordWithTheTimesOfATimedEntry", "Review", true,
                               LocalTime(2011, 3, 15, 9, 0), LocalTime(2011, 3, 15, 10, 0), 0}),
    viewtest::CaseName());

struct ScrollCase {
  const char* szName;
  int nFrom;
  int nRequest;
  int nExpected;
};

class DateBookScrollTest : public CxDateBookTest,
                           public ::testing::WithParamInterface<ScrollCase> {};

// Six slots in view: the range is 0..42.
TEST_P(DateBookScrollTest, RequestMovesTheViewAsTheTableSays) {
  const ScrollCase& c = GetParam();
  CxDateBook* pBook = MakeBook(52 + 130);
  ASSERT_EQ(42, Bar(pBook)->maximum());
  Scroll(pBook, SB_TOP);
  for (int i = 0; i < c.nFrom; ++i) Scroll(pBook, SB_LINEDOWN);
  ASSERT_EQ(c.nFrom, pBook->GetTopSlot());

  Scroll(pBook, c.nRequest, 17);
  EXPECT_EQ(c.nExpected, pBook->GetTopSlot());
  EXPECT_EQ(c.nExpected, Bar(pBook)->value());
}

INSTANTIATE_TEST_SUITE_P(
    Requests, DateBookScrollTest,
    ::testing::Values(ScrollCase{"LineUpAtTopStays", 0, SB_LINEUP, 0},
                      ScrollCase{"LineUp", 5, SB_LINEUP, 4},
                      ScrollCase{"LineDownAtBottomStays", 42, SB_LINEDOWN, 42},
                      ScrollCase{"LineDown", 41, SB_LINEDOWN, 42},
                      ScrollCase{"PageUpStopsAtTop", 3, SB_PAGEUP, 0},
                      ScrollCase{"PageUp", 10, SB_PAGEUP, 4},
                      ScrollCase{"PageDown", 20, SB_PAGEDOWN, 26},
                      ScrollCase{"PageDownFrom40GoesToBottom", 40, SB_PAGEDOWN, 42},
                      ScrollCase{"PageDownFromSixAboveBottom", 36, SB_PAGEDOWN, 42},
                      ScrollCase{"PageDownFromSevenAboveBottom", 35, SB_PAGEDOWN, 41},
                      ScrollCase{"Top", 20, SB_TOP, 0}, ScrollCase{"Bottom", 20, SB_BOTTOM, 42},
                      ScrollCase{"ThumbTrackIgnored", 20, SB_THUMBTRACK, 20},
                      ScrollCase{"ThumbPositionIgnored", 20, SB_THUMBPOSITION, 20},
                      ScrollCase{"EndScrollIgnored", 20, SB_ENDSCROLL, 20}),
    viewtest::CaseName());

TEST_F(CxDateBookTest, DraggingTheThumbLeavesTheViewWhereItWas) {
  CxDateBook* pBook = MakeBook(52 + 130);
  QScrollBar* pBar = Bar(pBook);
  pBar->setSliderDown(true);
  pBar->setSliderPosition(30);
  pBar->setSliderDown(false);
  EXPECT_EQ(10, pBook->GetTopSlot());
  EXPECT_EQ(10, pBar->value());

  pBar->triggerAction(QAbstractSlider::SliderSingleStepAdd);  // the arrow still works
  EXPECT_EQ(11, pBook->GetTopSlot());
  EXPECT_EQ(11, pBar->value());
}

TEST_F(CxDateBookTest, ScrollRangeFollowsTheAllDayBand) {
  CxDateBook* pBook = MakeBook(52 + 130);  // six slots below a one-row band
  ASSERT_EQ(42, Bar(pBook)->maximum());
  for (const char* szName : {"Holiday", "Trade fair", "Birthday"}) {
    ASSERT_TRUE(AddAllDay(pBook, szName));
  }
  // Two rows more of band leave four slots in view: the last ones stay within reach.
  EXPECT_EQ(44, Bar(pBook)->maximum());
  Scroll(pBook, SB_BOTTOM);
  EXPECT_EQ(44, pBook->GetTopSlot());

  pBook->ClearEntries();
  EXPECT_EQ(42, Bar(pBook)->maximum());
  EXPECT_EQ(42, pBook->GetTopSlot());
}

struct SizeCase {
  const char* szName;
  int nClientHeight;
  int nRangeMax;
  int nTopSlot;
};

class DateBookSizeTest : public CxDateBookTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(DateBookSizeTest, SizeSetsRangeAndTopSlot) {
  const SizeCase& c = GetParam();
  CxDateBook* pBook = MakeBook(c.nClientHeight);
  EXPECT_EQ(c.nRangeMax, Bar(pBook)->maximum());
  EXPECT_EQ(c.nTopSlot, pBook->GetTopSlot());
  EXPECT_EQ(c.nTopSlot, Bar(pBook)->value());
  // An empty range hides the bar, and the client area widens into its place.
  EXPECT_EQ(c.nRangeMax != 0, Bar(pBook)->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Heights, DateBookSizeTest,
                         ::testing::Values(SizeCase{"SixSlots", 52 + 130, 42, 10},
                                           SizeCase{"FortySlotsPullTheTopUp", 52 + 800, 8, 8},
                                           SizeCase{"ExactlyFortyEight", 52 + 960, 0, 0},
                                           SizeCase{"TallerThanTheDayStartsAtMidnight", 52 + 990, 0,
                                                    0},
                                           SizeCase{"NoRoomForSlots", 40, 48, 10}),
                         viewtest::CaseName());

TEST_F(CxDateBookTest, TimesOutOfRangeAreNeverCountedOutsideTheDay) {
  CxDateBook* pBook = MakeBook(kShowAllHeight);
  // Hours a damaged record might carry: far past the 48 slots of the day.
  auto pDamaged = Record("Damaged", LocalTime(2011, 3, 15, 0, 0), LocalTime(2011, 3, 15, 0, 0));
  pDamaged->stStart.wHour = 30;
  pDamaged->stEnd.wHour = 65535;
  ASSERT_TRUE(pBook->AddEntry(pDamaged.get()));
  auto pLate = Record("Late", LocalTime(2011, 3, 15, 23, 0), LocalTime(2011, 3, 15, 0, 0));
  pLate->stEnd.wHour = 99;
  ASSERT_TRUE(pBook->AddEntry(pLate.get()));
  RECT rc;
  EXPECT_FALSE(pBook->GetEntryRect(0, &rc));
  ASSERT_TRUE(pBook->GetEntryRect(1, &rc));
  EXPECT_EQ(28 + 24 + 20 * 46 + 1, rc.top);
  pBook->Redraw(true);
}

}  // namespace
