#include "views/CxWinCtrl.h"

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <string>
#include <vector>

#include "ViewTestUtil.h"
#include "views/CxWinCtrlWindow.h"

namespace {

using viewtest::ViewTest;

// What recording controls saw, in order, across all of them ("A:OnDestroy", "A:deleted").
std::vector<std::string> g_events;

class RecordingCtrl : public CxWinCtrl {
 public:
  explicit RecordingCtrl(std::string strName, int nCreateResult = 0)
      : m_strName(std::move(strName)), m_nCreateResult(nCreateResult) {}
  ~RecordingCtrl() override { g_events.push_back(m_strName + ":deleted"); }

  int OnCreate(WPARAM, LPARAM) override { return m_nCreateResult; }
  int OnDestroy(WPARAM, LPARAM) override {
    g_events.push_back(m_strName + ":OnDestroy");
    return 0;
  }
  int OnPaint(WPARAM, LPARAM) override {
    ++m_nPaints;
    if (QPainter* pDC = BeginPaint()) pDC->fillRect(0, 0, 1, 1, Qt::white);
    EndPaint();
    return 0;
  }
  int OnSize(WPARAM, LPARAM lParam) override {
    m_nLastWidth = LOWORD(lParam);
    m_nLastHeight = HIWORD(lParam);
    return 0;
  }
  int OnLButtonDown(WPARAM wParam, LPARAM lParam) override {
    m_wLastKeys = wParam;
    m_lLastPoint = lParam;
    ++m_nClicks;
    return 0;
  }
  int OnVScroll(WPARAM wParam, LPARAM) override {
    m_vScrollCodes.push_back(LOWORD(wParam));
    return 0;
  }
  // The bar's position as the window procedure sees it.
  int ScrollPos() const { return GetScrollPos(SB_VERT); }

  std::string m_strName;
  int m_nCreateResult;
  int m_nPaints = 0;
  int m_nLastWidth = -1;
  int m_nLastHeight = -1;
  int m_nClicks = 0;
  WPARAM m_wLastKeys = 0;
  LPARAM m_lLastPoint = 0;
  std::vector<int> m_vScrollCodes;
};

class CxWinCtrlTest : public ViewTest {
 protected:
  void SetUp() override {
    ViewTest::SetUp();
    g_events.clear();
  }
  static QWidget* Client(CxWinCtrl* pCtrl) { return pCtrl->GetWindow()->GetClient(); }
};

const RECT kRect{15, 15, 200, 200};
const DWORD kCalendarStyle = 0x50800000;  // child, visible, border
const DWORD kDayBookStyle = 0x50200000;   // child, visible, vertical scroll bar

TEST_F(CxWinCtrlTest, TwoControlsShareOneRegistrationAndOneProcedure) {
  auto* pFirst = new RecordingCtrl("A");
  ASSERT_TRUE(pFirst->Create(Parent(), &kRect, kCalendarStyle, 0));
  const int nAfterFirst = CxGetClassRegistrationCount();
  auto* pSecond = new RecordingCtrl("B");
  ASSERT_TRUE(pSecond->Create(Parent(), &kRect, kCalendarStyle, 0));
  EXPECT_EQ(nAfterFirst, CxGetClassRegistrationCount());

  CxWndClass cls;
  ASSERT_TRUE(CxGetClassInfo(nullptr, "CxWinCtrl_Class", &cls));
  EXPECT_EQ(&CxWinCtrl::WndProc, cls.pfnWndProc);
  EXPECT_EQ(4, cls.nWndExtra);

  // Each window's messages reach its own control.
  QTest::mouseClick(Client(pSecond), Qt::LeftButton, Qt::NoModifier, QPoint(5, 6));
  EXPECT_EQ(0, pFirst->m_nClicks);
  EXPECT_EQ(1, pSecond->m_nClicks);
}

TEST_F(CxWinCtrlTest, DestroyingTheParentDestroysEachControlOnceAfterOnDestroy) {
  const int nPairsBefore = GetControlMap()->GetCount();
  ASSERT_TRUE((new RecordingCtrl("A"))->Create(Parent(), &kRect, kCalendarStyle, 0));
  ASSERT_TRUE((new RecordingCtrl("B"))->Create(Parent(), nullptr, kDayBookStyle, 0x200));
  EXPECT_EQ(nPairsBefore + 2, GetControlMap()->GetCount());

  m_pParent.reset();
  EXPECT_EQ((std::vector<std::string>{"A:OnDestroy", "A:deleted", "B:OnDestroy", "B:deleted"}),
            g_events);
  EXPECT_EQ(nPairsBefore, GetControlMap()->GetCount());
}

TEST_F(CxWinCtrlTest, OnCreateRefusingLeavesNoWindowAndTheObjectToItsOwner) {
  const int nPairsBefore = GetControlMap()->GetCount();
  auto pCtrl = std::make_unique<RecordingCtrl>("A", -1);
  EXPECT_FALSE(pCtrl->Create(Parent(), &kRect, kCalendarStyle, 0));
  EXPECT_EQ(nullptr, pCtrl->GetHwnd());
  EXPECT_FALSE(pCtrl->IsShown());
  EXPECT_TRUE(m_pParent->findChildren<CxWinCtrlWindow*>().isEmpty());
  EXPECT_EQ(nPairsBefore, GetControlMap()->GetCount());
  // Neither handled as destroyed nor deleted: the owner still holds a live object.
  EXPECT_TRUE(g_events.empty());
  pCtrl->Redraw(true);  // no window: nothing happens
}

TEST_F(CxWinCtrlTest, ControlDeletedByItsOwnerIsNotReachedByItsWindowAgain) {
  const int nPairsBefore = GetControlMap()->GetCount();
  auto* pCtrl = new RecordingCtrl("A");
  ASSERT_TRUE(pCtrl->Create(Parent(), &kRect, kCalendarStyle, 0));
  HWND hWnd = pCtrl->GetHwnd();
  delete pCtrl;
  EXPECT_EQ(nPairsBefore, GetControlMap()->GetCount());
  CxSendMessage(hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
  m_pParent.reset();
  EXPECT_EQ(std::vector<std::string>{"A:deleted"}, g_events);
}

TEST_F(CxWinCtrlTest, RedrawPaintsOnlyAVisibleControl) {
  auto* pCtrl = new RecordingCtrl("A");
  ASSERT_TRUE(pCtrl->Create(Parent(), &kRect, WS_BORDER, 0));  // not WS_VISIBLE
  ASSERT_FALSE(pCtrl->IsShown());
  const int nPaintsHidden = pCtrl->m_nPaints;
  pCtrl->Redraw(true);
  EXPECT_EQ(nPaintsHidden, pCtrl->m_nPaints);

  pCtrl->GetWindow()->show();
  ASSERT_TRUE(pCtrl->IsShown());
  const int nPaintsShown = pCtrl->m_nPaints;
  pCtrl->Redraw(false);
  EXPECT_EQ(nPaintsShown + 1, pCtrl->m_nPaints);
}

TEST_F(CxWinCtrlTest, MessagesCarryWin32ShapedParameters) {
  auto* pCtrl = new RecordingCtrl("A");
  ASSERT_TRUE(pCtrl->Create(Parent(), &kRect, kCalendarStyle, 0));
  // The one-pixel border is outside the client area.
  EXPECT_EQ(183, pCtrl->m_nLastWidth);
  EXPECT_EQ(183, pCtrl->m_nLastHeight);

  const RECT rcMoved{0, 0, 120, 90};
  pCtrl->MoveTo(&rcMoved, true);
  EXPECT_EQ(118, pCtrl->m_nLastWidth);
  EXPECT_EQ(88, pCtrl->m_nLastHeight);

  QTest::mouseClick(Client(pCtrl), Qt::LeftButton, Qt::ShiftModifier, QPoint(17, 42));
  EXPECT_EQ(17, LOWORD(pCtrl->m_lLastPoint));
  EXPECT_EQ(42, HIWORD(pCtrl->m_lLastPoint));
  EXPECT_EQ(static_cast<WPARAM>(MK_LBUTTON | MK_SHIFT), pCtrl->m_wLastKeys);

  // A quick second click is a second button press, as for a class without double clicks.
  const int nClicks = pCtrl->m_nClicks;
  QMouseEvent doubleClick(QEvent::MouseButtonDblClick, QPointF(17, 42), QPointF(17, 42),
                          Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(Client(pCtrl), &doubleClick);
  EXPECT_EQ(nClicks + 1, pCtrl->m_nClicks);
}

TEST_F(CxWinCtrlTest, ScrollBarReportsRequestsWithoutMovingByItself) {
  auto* pCtrl = new RecordingCtrl("A");
  const RECT rcBook{0, 0, 300, 400};
  ASSERT_TRUE(pCtrl->Create(Parent(), &rcBook, kDayBookStyle, WS_EX_CLIENTEDGE));
  QScrollBar* pBar = pCtrl->GetWindow()->GetVScrollBar();
  ASSERT_NE(nullptr, pBar);

  pBar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  pBar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  pBar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ((std::vector<int>{SB_LINEDOWN, SB_PAGEDOWN, SB_BOTTOM}), pCtrl->m_vScrollCodes);
  EXPECT_EQ(0, pBar->value());
  EXPECT_EQ(0, pCtrl->ScrollPos());
}

TEST_F(CxWinCtrlTest, MapPairsEachWindowAndEachControlOnce) {
  CxWinCtrlMap map;
  RecordingCtrl first("A"), second("B");
  int nWindowA = 0, nWindowB = 0;
  EXPECT_FALSE(map.Add(nullptr, &first));
  EXPECT_FALSE(map.Add(&nWindowA, nullptr));
  EXPECT_TRUE(map.Add(&nWindowA, &first));
  EXPECT_TRUE(map.Add(&nWindowA, &second));  // window already paired: kept as it was
  EXPECT_TRUE(map.Add(&nWindowB, &first));   // control already paired: kept as it was
  EXPECT_EQ(1, map.GetCount());
  EXPECT_EQ(&first, map.Find(&nWindowA));
  EXPECT_EQ(nullptr, map.Find(&nWindowB));
  EXPECT_FALSE(map.Remove(&second));
  EXPECT_TRUE(map.Remove(&first));
  EXPECT_EQ(nullptr, map.Find(&nWindowA));
}

}  // namespace
