#include "views/CxCalendarCtrl.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <vector>

#include "ViewTestUtil.h"
#include "common/misc/WinUtil.h"
#include "views/CxWinCtrlWindow.h"

namespace {

using clockguard::LocalTime;
using viewtest::SameDay;
using viewtest::ViewTest;

// The parent window of the calendar: records every message it is sent.
class MessageSink : public QWidget {
 public:
  using QWidget::QWidget;
  std::vector<CxWinMessageEvent> messages;

 protected:
  bool event(QEvent* pEvent) override {
    if (pEvent->type() == CxWinMessageEvent::EventType()) {
      messages.push_back(*static_cast<CxWinMessageEvent*>(pEvent));
      return true;
    }
    return QWidget::event(pEvent);
  }
};

struct CallbackLog {
  std::vector<SYSTEMTIME> changed;
  std::vector<SYSTEMTIME> marked;
  size_t nMessagesAtCallback = 0;
  MessageSink* pSink = nullptr;
};

void OnDateChanged(const SYSTEMTIME* pDate, void* pUserData) {
  auto* pLog = static_cast<CallbackLog*>(pUserData);
  pLog->changed.push_back(*pDate);
  pLog->nMessagesAtCallback = pLog->pSink->messages.size();
}

int OnIsMarked(const SYSTEMTIME* pDate, void* pUserData) {
  static_cast<CallbackLog*>(pUserData)->marked.push_back(*pDate);
  return pDate->wDay == 15;
}

class CxCalendarCtrlTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    m_pSink = new MessageSink(m_pParent.get());
    m_pSink->setGeometry(0, 0, 400, 400);
    m_pSink->show();
    m_log.pSink = m_pSink;
  }

  // The main window's calendar: 15, 15, 200, 200, child, visible, border.
  CxCalendarCtrl* MakeCalendar(const SYSTEMTIME& stDate, const RECT& rc = RECT{15, 15, 200, 200}) {
    auto* pCalendar = new CxCalendarCtrl;
    EXPECT_TRUE(pCalendar->Create(static_cast<QWidget*>(m_pSink), &rc, 0x50800000, 0));
    pCalendar->SetDateCallback(&OnDateChanged);
    pCalendar->SetUserData(&m_log);
    pCalendar->SetDate(&stDate, false);
    return pCalendar;
  }
  static void Click(CxCalendarCtrl* pCalendar, int nX, int nY) {
    QTest::mouseClick(pCalendar->GetWindow()->GetClient(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(nX, nY));
  }
  static QImage Picture(CxCalendarCtrl* pCalendar) {
    return pCalendar->GetWindow()->GetClient()->grab().toImage();
  }

  MessageSink* m_pSink = nullptr;
  CallbackLog m_log;
};

struct ArrowCase {
  const char* szName;
  SYSTEMTIME stFrom;
  bool bNext;
  SYSTEMTIME stExpected;
};

class CalendarArrowTest : public CxCalendarCtrlTest,
                          public ::testing::WithParamInterface<ArrowCase> {};

TEST_P(CalendarArrowTest, ArrowMovesThirtyDays) {
  const ArrowCase& c = GetParam();
  CxCalendarCtrl* pCalendar = MakeCalendar(c.stFrom);
  const int nWidth = pCalendar->GetWindow()->GetClient()->width();
  // Arrow centres: 18, 12 from the left; 18, 12 from the right.
  Click(pCalendar, c.bNext ? nWidth - 18 : 18, 12);
  EXPECT_TRUE(SameDay(c.stExpected, *pCalendar->GetDate()));
  ASSERT_EQ(1u, m_log.changed.size());
  EXPECT_TRUE(SameDay(c.stExpected, m_log.changed[0]));
}

INSTANTIATE_TEST_SUITE_P(
    Arrows, CalendarArrowTest,
    ::testing::Values(ArrowCase{"NextFrom31JanuarySkipsFebruary", LocalTime(2011, 1, 31), true,
                                LocalTime(2011, 3, 2)},
                      ArrowCase{"PreviousFrom1MarchLandsOn30January", LocalTime(2011, 3, 1), false,
                                LocalTime(2011, 1, 30)},
                      ArrowCase{"NextFrom31JanuaryOfLeapYear", LocalTime(2012, 1, 31), true,
                                LocalTime(2012, 3, 1)},
                      ArrowCase{"NextCrossesTheYear", LocalTime(2011, 12, 15), true,
                                LocalTime(2012, 1, 14)}),
    viewtest::CaseName());

struct KeyCase {
  const char* szName;
  SYSTEMTIME stFrom;
  Qt::Key nKey;
  SYSTEMTIME stExpected;
};

class CalendarKeyTest : public CxCalendarCtrlTest, public ::testing::WithParamInterface<KeyCase> {};

// The calendar takes the focus; its keys move the day and tell the owner, as a click does.
TEST_P(CalendarKeyTest, KeyMovesTheDay) {
  const KeyCase& c = GetParam();
  CxCalendarCtrl* pCalendar = MakeCalendar(c.stFrom);
  QWidget* pClient = pCalendar->GetWindow()->GetClient();
  EXPECT_EQ(pClient->focusPolicy(), Qt::StrongFocus);
  QTest::keyClick(pClient, c.nKey);
  EXPECT_TRUE(SameDay(c.stExpected, *pCalendar->GetDate()));
  ASSERT_EQ(1u, m_log.changed.size());
}

INSTANTIATE_TEST_SUITE_P(Keys, CalendarKeyTest,
                         ::testing::Values(KeyCase{"LeftIsTheDayBefore", LocalTime(2011, 3, 1),
                                                   Qt::Key_Left, LocalTime(2011, 2, 28)},
                                           KeyCase{"DownIsAWeekLater", LocalTime(2011, 3, 28),
                                                   Qt::Key_Down, LocalTime(2011, 4, 4)},
                                           KeyCase{"PageDownKeepsTheDayOrTheMonthsLast",
                                                   LocalTime(2011, 1, 31), Qt::Key_PageDown,
                                                   LocalTime(2011, 2, 28)},
                                           KeyCase{"PageUpCrossesTheYear", LocalTime(2011, 1, 15),
                                                   Qt::Key_PageUp, LocalTime(2010, 12, 15)}),
                         viewtest::CaseName());

struct GridStartCase {
  const char* szName;
  SYSTEMTIME stShown;
  SYSTEMTIME stFirstCell;
};

class CalendarGridStartTest : public CxCalendarCtrlTest,
                              public ::testing::WithParamInterface<GridStartCase> {};

TEST_P(CalendarGridStartTest, GridStartsOnTheSundayOnOrBeforeTheFirst) {
  CxCalendarCtrl* pCalendar = MakeCalendar(GetParam().stShown);
  SYSTEMTIME stStart;
  ASSERT_TRUE(pCalendar->GetGridStart(&stStart));
  EXPECT_TRUE(SameDay(GetParam().stFirstCell, stStart));
  EXPECT_EQ(0, stStart.wDayOfWeek);
}

INSTANTIATE_TEST_SUITE_P(
    Months, CalendarGridStartTest,
    ::testing::Values(
        // May 2011 begins on a Sunday: no day of April is shown.
        GridStartCase{"MonthStartingOnSunday", LocalTime(2011, 5, 20), LocalTime(2011, 5, 1)},
        // January 2011 begins on a Saturday: six grey days of December come first.
        GridStartCase{"MonthStartingOnSaturday", LocalTime(2011, 1, 20), LocalTime(2010, 12, 26)},
        // A stored weekday that is wrong does not shift the grid.
        GridStartCase{"WrongStoredWeekday",
                      [] {
                        SYSTEMTIME st = LocalTime(2011, 3, 7);
                        st.wDayOfWeek = 5;
                        return st;
                      }(),
                      LocalTime(2011, 2, 27)}),
    viewtest::CaseName());

struct ClientSizeCase {
  const char* szName;
  RECT rcWindow;
};

class CalendarHitTest : public CxCalendarCtrlTest,
                        public ::testing::WithParamInterface<ClientSizeCase> {};

// Every point of every drawn cell selects the day drawn there.
TEST_P(CalendarHitTest, ClickInsideADrawnCellSelectsThatDay) {
  const SYSTEMTIME stShown = LocalTime(2011, 1, 20);
  CxCalendarCtrl* pCalendar = MakeCalendar(stShown, GetParam().rcWindow);
  SYSTEMTIME stStart;
  ASSERT_TRUE(pCalendar->GetGridStart(&stStart));
  for (int i = 0; i < 42; ++i) {
    RECT rc;
    ASSERT_TRUE(pCalendar->GetDayRect(i, &rc));
    SYSTEMTIME stExpected = stStart;
    ASSERT_TRUE(AddDays(&stExpected, i));
    const POINT corners[] = {{rc.left, rc.top},
                             {rc.right - 1, rc.top},
                             {rc.left, rc.bottom - 1},
                             {rc.right - 1, rc.bottom - 1},
                             {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2}};
    for (const POINT& pt : corners) {
      pCalendar->SetDate(&stShown, false);
      CxSendMessage(pCalendar->GetHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
      EXPECT_TRUE(SameDay(stExpected, *pCalendar->GetDate()))
          << "cell " << i << " at " << pt.x << "," << pt.y;
    }
  }
}

// Points beside the drawn grid change nothing and notify no one.
TEST_P(CalendarHitTest, ClickBesideTheGridDoesNothing) {
  const SYSTEMTIME stShown = LocalTime(2011, 1, 20);
  CxCalendarCtrl* pCalendar = MakeCalendar(stShown, GetParam().rcWindow);
  RECT rcFirst, rcLast;
  ASSERT_TRUE(pCalendar->GetDayRect(0, &rcFirst));
  ASSERT_TRUE(pCalendar->GetDayRect(41, &rcLast));
  const int nMidY = (rcFirst.top + rcLast.bottom) / 2;
  const int nWidth = pCalendar->GetWindow()->GetClient()->width();
  const POINT points[] = {
      {rcFirst.left - 1, nMidY},                           // left of the first column
      {rcLast.right, nMidY},                               // right of the last column
      {(rcFirst.left + rcLast.right) / 2, rcLast.bottom},  // below the last row
      {nWidth / 2, 12},                                    // title, between the arrows
      {nWidth / 2, 30},                                    // weekday header
  };
  for (const POINT& pt : points) {
    CxSendMessage(pCalendar->GetHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(pt.x, pt.y));
    EXPECT_TRUE(SameDay(stShown, *pCalendar->GetDate())) << pt.x << "," << pt.y;
  }
  EXPECT_TRUE(m_log.changed.empty());
  EXPECT_TRUE(m_pSink->messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, CalendarHitTest,
    ::testing::Values(ClientSizeCase{"MainWindowSize", RECT{15, 15, 200, 200}},
                      // Grid height not a multiple of six, width leaving a remainder.
                      ClientSizeCase{"UnevenSize", RECT{0, 0, 190, 190}},
                      ClientSizeCase{"Wide", RECT{0, 0, 420, 260}}),
    viewtest::CaseName());

TEST_F(CxCalendarCtrlTest, TinyGridIgnoresClicksInsteadOfDividingByZero) {
  const SYSTEMTIME stShown = LocalTime(2011, 1, 20);
  // Client 100 x 55: the grid is 2 pixels high, its rows 0 pixels.
  CxCalendarCtrl* pCalendar = MakeCalendar(stShown, RECT{0, 0, 102, 57});
  CxSendMessage(pCalendar->GetHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 49));
  EXPECT_TRUE(SameDay(stShown, *pCalendar->GetDate()));
}

TEST_F(CxCalendarCtrlTest, ClickOnGreyDayOfNextMonthShowsThatMonth) {
  CxCalendarCtrl* pCalendar = MakeCalendar(LocalTime(2011, 1, 20));
  RECT rc;
  ASSERT_TRUE(pCalendar->GetDayRect(41, &rc));  // 5 February 2011
  Click(pCalendar, (rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
  EXPECT_TRUE(SameDay(LocalTime(2011, 2, 5), *pCalendar->GetDate()));
  SYSTEMTIME stStart;
  ASSERT_TRUE(pCalendar->GetGridStart(&stStart));
  EXPECT_TRUE(SameDay(LocalTime(2011, 1, 30), stStart));
}

TEST_F(CxCalendarCtrlTest, PickedDateNotifiesParentThenCallback) {
  CxCalendarCtrl* pCalendar = MakeCalendar(LocalTime(2011, 3, 10));
  unsigned int nSignalled = 0;
  QObject::connect(pCalendar->GetWindow(), &CxWinCtrlWindow::parentMessage,
                   [&](unsigned int nMsg, quintptr, qintptr) {
                     if (nMsg == WM_COMMAND) ++nSignalled;
                   });
  const SYSTEMTIME stNew = LocalTime(2011, 3, 12);
  EXPECT_TRUE(pCalendar->SetDate(&stNew, true));

  ASSERT_EQ(1u, m_pSink->messages.size());
  EXPECT_EQ(static_cast<UINT>(WM_COMMAND), m_pSink->messages[0].nMsg);
  EXPECT_EQ(CN_DATECHANGED, HIWORD(m_pSink->messages[0].wParam));
  EXPECT_EQ(0, LOWORD(m_pSink->messages[0].wParam));
  EXPECT_EQ(0, m_pSink->messages[0].lParam);
  EXPECT_EQ(1u, nSignalled);
  ASSERT_EQ(1u, m_log.changed.size());
  EXPECT_TRUE(SameDay(stNew, m_log.changed[0]));
  EXPECT_EQ(1u, m_log.nMessagesAtCallback);
}

TEST_F(CxCalendarCtrlTest, SetDateWithoutNotifySendsNothing) {
  CxCalendarCtrl* pCalendar = MakeCalendar(LocalTime(2011, 3, 10));
  const SYSTEMTIME stNew = LocalTime(2011, 4, 2);
  EXPECT_TRUE(pCalendar->SetDate(&stNew, false));
  EXPECT_TRUE(SameDay(stNew, *pCalendar->GetDate()));
  EXPECT_TRUE(m_pSink->messages.empty());
  EXPECT_TRUE(m_log.changed.empty());
  EXPECT_FALSE(pCalendar->SetDate(nullptr, true));
  EXPECT_TRUE(m_pSink->messages.empty());
}

TEST_F(CxCalendarCtrlTest, MarkCallbackIsAskedForEveryShownDay) {
  CxCalendarCtrl* pCalendar = MakeCalendar(LocalTime(2011, 3, 10));
  pCalendar->SetMarkCallback(&OnIsMarked);
  m_log.marked.clear();
  pCalendar->Redraw(true);
  ASSERT_EQ(42u, m_log.marked.size());
  SYSTEMTIME stDay = LocalTime(2011, 2, 27);
  for (const SYSTEMTIME& stMarked : m_log.marked) {
    EXPECT_TRUE(SameDay(stDay, stMarked));
    EXPECT_EQ(stDay.wDayOfWeek, stMarked.wDayOfWeek);
    AddDays(&stDay, 1);
  }
}

struct TodayFrameCase {
  const char* szName;
  SYSTEMTIME stShown;
  int nFramedIndex;  // grid index of the framed cell, -1 for none
};

class CalendarTodayFrameTest : public CxCalendarCtrlTest,
                               public ::testing::WithParamInterface<TodayFrameCase> {};

// "Now" is 7 March 2011. The frame goes by day and month, so it appears in other years too.
TEST_P(CalendarTodayFrameTest, TodayIsFramed) {
  CxCalendarCtrl* pCalendar = MakeCalendar(GetParam().stShown);
  const QImage image = Picture(pCalendar);
  const QColor crFrame(64, 64, 64);
  for (int i = 0; i < 42; ++i) {
    RECT rc;
    ASSERT_TRUE(pCalendar->GetDayRect(i, &rc));
    const bool bFramed = QColor(image.pixel(rc.left, rc.top)) == crFrame &&
                         QColor(image.pixel(rc.right - 1, rc.bottom - 1)) == crFrame;
    EXPECT_EQ(i == GetParam().nFramedIndex, bFramed) << "cell " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Years, CalendarTodayFrameTest,
    ::testing::Values(TodayFrameCase{"ThisMonth", LocalTime(2011, 3, 20), 8},
                      TodayFrameCase{"SameMonthOtherYear", LocalTime(2010, 3, 20), 7},
                      TodayFrameCase{"OtherMonth", LocalTime(2011, 4, 20), -1}),
    viewtest::CaseName());

TEST_F(CxCalendarCtrlTest, SelectedDayIsFilled) {
  CxCalendarCtrl* pCalendar = MakeCalendar(LocalTime(2011, 3, 15));
  const QImage image = Picture(pCalendar);
  RECT rc;
  ASSERT_TRUE(pCalendar->GetDayRect(16, &rc));  // 15 March
  EXPECT_EQ(QColor(0, 0, 64), QColor(image.pixel(rc.left + 1, rc.top + 1)));
  ASSERT_TRUE(pCalendar->GetDayRect(17, &rc));
  EXPECT_NE(QColor(0, 0, 64), QColor(image.pixel(rc.left + 1, rc.top + 1)));
}

TEST_F(CxCalendarCtrlTest, NamesFallBackToTheirDefaults) {
  CxCalendarCtrl calendar;
  char szName[16];

  calendar.SetMonthName(2, "Feb");
  ASSERT_TRUE(calendar.GetMonthName(2, szName, sizeof(szName)));
  EXPECT_STREQ("Feb", szName);
  calendar.SetMonthName(2, "");
  ASSERT_TRUE(calendar.GetMonthName(2, szName, sizeof(szName)));
  EXPECT_STREQ("Febrary", szName);
  calendar.SetMonthName(3, "A month name longer than fifteen");
  ASSERT_TRUE(calendar.GetMonthName(3, szName, sizeof(szName)));
  EXPECT_STREQ("A month name lo", szName);
  calendar.SetMonthName(13, "Thirteenth");  // ignored
  EXPECT_FALSE(calendar.GetMonthName(13, szName, sizeof(szName)));
  EXPECT_FALSE(calendar.GetMonthName(0, szName, sizeof(szName)));
  EXPECT_FALSE(calendar.GetMonthName(1, szName, 0));
  EXPECT_FALSE(calendar.GetMonthName(1, nullptr, 16));
  ASSERT_TRUE(calendar.GetMonthName(12, szName, 4));
  EXPECT_STREQ("Dec", szName);

  calendar.SetDayName(1, "");
  ASSERT_TRUE(calendar.GetDayName(1, szName, sizeof(szName)));
  EXPECT_STREQ("", szName);
  calendar.SetDayName(1, nullptr);
  ASSERT_TRUE(calendar.GetDayName(1, szName, sizeof(szName)));
  EXPECT_STREQ("S", szName);
  EXPECT_FALSE(calendar.GetDayName(8, szName, sizeof(szName)));
}

}  // namespace
