// Win32 child-window behaviour on Qt widgets. Two habits of Win32 the controls rely on are
// kept on purpose: a window's scroll bar never moves by itself (the bar only reports the
// request; the program sets the position), and a second click arrives as a second button
// press, not as a double click (the class has no CS_DBLCLKS).
#include "views/CxWinCtrlWindow.h"

#include <QtWidgets/qdrawutil.h>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QScrollBar>
#include <QStyle>
#include <unordered_set>

#include "common/misc/CxDebugUtil.h"

namespace {

// The windows alive now, so that a stale handle is never taken for a window.
std::unordered_set<const void*>& LiveWindows() {
  static std::unordered_set<const void*> s_windows;
  return s_windows;
}

WPARAM MouseKeyState(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
  WPARAM nKeys = 0;
  if (buttons & Qt::LeftButton) nKeys |= MK_LBUTTON;
  if (buttons & Qt::RightButton) nKeys |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) nKeys |= MK_MBUTTON;
  if (modifiers & Qt::ShiftModifier) nKeys |= MK_SHIFT;
  if (modifiers & Qt::ControlModifier) nKeys |= MK_CONTROL;
  return nKeys;
}

// The client area. It paints nothing of its own: every pixel comes from the control.
class CxClientWidget : public QWidget {
 public:
  explicit CxClientWidget(CxWinCtrlWindow* pHost) : QWidget(pHost), m_pHost(pHost) {
    // The controls move through days and hours by keys too: they take the focus.
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setCursor(Qt::ArrowCursor);
  }

 protected:
  void paintEvent(QPaintEvent*) override { m_pHost->ClientPaint(); }
  void mousePressEvent(QMouseEvent* pEvent) override { Press(pEvent); }
  void mouseDoubleClickEvent(QMouseEvent* pEvent) override { Press(pEvent); }
  void mouseReleaseEvent(QMouseEvent* pEvent) override {
    if (pEvent->button() == Qt::LeftButton) Forward(WM_LBUTTONUP, pEvent);
    if (pEvent->button() == Qt::RightButton) Forward(WM_RBUTTONUP, pEvent);
  }
  void mouseMoveEvent(QMouseEvent* pEvent) override { Forward(WM_MOUSEMOVE, pEvent); }
  void keyPressEvent(QKeyEvent* pEvent) override {
    const WPARAM nKey = VirtualKey(pEvent->key());
    if (nKey == 0) {
      QWidget::keyPressEvent(pEvent);
      return;
    }
    pEvent->accept();
    m_pHost->Dispatch(WM_KEYDOWN, nKey, 0);
  }
  void wheelEvent(QWheelEvent* pEvent) override {
    pEvent->accept();
    const int nDelta = pEvent->angleDelta().y();
    if (nDelta == 0) return;
    m_pHost->Dispatch(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(static_cast<short>(nDelta))),
                      0);
  }

 private:
  void Press(QMouseEvent* pEvent) {
    if (pEvent->button() == Qt::LeftButton) Forward(WM_LBUTTONDOWN, pEvent);
    if (pEvent->button() == Qt::RightButton) Forward(WM_RBUTTONDOWN, pEvent);
  }
  void Forward(UINT nMsg, QMouseEvent* pEvent) {
    pEvent->accept();
    m_pHost->ClientMouse(nMsg, pEvent->position().toPoint(), pEvent->buttons(),
                         pEvent->modifiers());
  }

  static WPARAM VirtualKey(int nQtKey) {
    switch (nQtKey) {
      case Qt::Key_PageUp:
        return VK_PRIOR;
      case Qt::Key_PageDown:
        return VK_NEXT;
      case Qt::Key_End:
        return VK_END;
      case Qt::Key_Home:
        return VK_HOME;
      case Qt::Key_Left:
        return VK_LEFT;
      case Qt::Key_Up:
        return VK_UP;
      case Qt::Key_Right:
        return VK_RIGHT;
      case Qt::Key_Down:
        return VK_DOWN;
      default:
        return 0;
    }
  }

  CxWinCtrlWindow* m_pHost;
};

}  // namespace

CxWinMessageEvent::CxWinMessageEvent(UINT nMessage, WPARAM wParamIn, LPARAM lParamIn)
    : QEvent(EventType()), nMsg(nMessage), wParam(wParamIn), lParam(lParamIn), lResult(0) {}

QEvent::Type CxWinMessageEvent::EventType() {
  static const QEvent::Type s_type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return s_type;
}

CxWinCtrlWindow::CxWinCtrlWindow(QWidget* pParent, DWORD dwStyle, DWORD dwExStyle)
    : QWidget(pParent),
      m_pfnWndProc(nullptr),
      m_dwStyle(dwStyle),
      m_dwExStyle(dwExStyle),
      m_pClient(new CxClientWidget(this)),
      m_pVScroll(nullptr),
      m_bScrollVisible(false),
      m_nScrollPos(0),
      m_bSizeSent(false),
      m_bInPaint(false) {
  LiveWindows().insert(static_cast<QWidget*>(this));
  setAttribute(Qt::WA_OpaquePaintEvent);
  if (dwStyle & WS_VSCROLL) {
    // A new Win32 scroll bar: range 0..100, position 0, shown.
    m_pVScroll = new QScrollBar(Qt::Vertical, this);
    m_pVScroll->setRange(0, 100);
    m_pVScroll->setPageStep(6);
    m_pVScroll->setTracking(false);
    m_pVScroll->setFocusPolicy(Qt::NoFocus);
    m_pVScroll->installEventFilter(this);
    m_bScrollVisible = true;
    connect(m_pVScroll, &QScrollBar::actionTriggered, this,
            [this](int nAction) { OnScrollAction(nAction); });
    connect(m_pVScroll, &QScrollBar::sliderMoved, this,
            [this](int nPos) { Dispatch(WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, nPos), 0); });
    connect(m_pVScroll, &QScrollBar::sliderReleased, this,
            [this]() { Dispatch(WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), 0); });
  }
  UpdateLayout(false);
}

CxWinCtrlWindow::~CxWinCtrlWindow() {
  // The window is still a window while WM_DESTROY is handled, as on Windows.
  Dispatch(WM_DESTROY, 0, 0);
  m_pfnWndProc = nullptr;
  m_pPainter.reset();
  LiveWindows().erase(static_cast<QWidget*>(this));
}

bool CxWinCtrlWindow::IsLive(const void* hWnd) {
  return LiveWindows().count(hWnd) != 0;
}

LRESULT CxWinCtrlWindow::Dispatch(UINT nMsg, WPARAM wParam, LPARAM lParam) {
  if (!m_pfnWndProc) return 0;
  return m_pfnWndProc(GetHwnd(), nMsg, wParam, lParam);
}

LRESULT CxWinCtrlWindow::SendToParent(UINT nMsg, WPARAM wParam, LPARAM lParam) {
  emit parentMessage(nMsg, wParam, lParam);
  QWidget* pParent = parentWidget();
  if (!pParent) return 0;
  return CxSendMessage(CxHwndFromWidget(pParent), nMsg, wParam, lParam);
}

int CxWinCtrlWindow::FrameWidth() const {
  int nWidth = 0;
  if (m_dwStyle & WS_BORDER) nWidth += 1;
  if (m_dwExStyle & WS_EX_CLIENTEDGE) nWidth += 2;
  return nWidth;
}

void CxWinCtrlWindow::UpdateLayout(bool bForce) {
  const int nFrame = FrameWidth();
  QRect rcInner = rect().adjusted(nFrame, nFrame, -nFrame, -nFrame);
  if (rcInner.width() < 0) rcInner.setWidth(0);
  if (rcInner.height() < 0) rcInner.setHeight(0);
  QRect rcClient = rcInner;
  if (m_pVScroll) {
    if (m_bScrollVisible) {
      const int nBar = std::min(style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this),
                                rcInner.width());
      m_pVScroll->setGeometry(rcInner.right() - nBar + 1, rcInner.top(), nBar, rcInner.height());
      rcClient.setWidth(rcInner.width() - nBar);
    }
    m_pVScroll->setVisible(m_bScrollVisible);
  }
  m_pClient->setGeometry(rcClient);
  const QSize szClient = rcClient.size();
  if (bForce || !m_bSizeSent || szClient != m_szLastSent) {
    m_bSizeSent = true;
    m_szLastSent = szClient;
    Dispatch(WM_SIZE, SIZE_RESTORED, MAKELPARAM(szClient.width(), szClient.height()));
  }
}

QPainter* CxWinCtrlWindow::BeginPaint() {
  if (!m_bInPaint) return nullptr;
  if (!m_pPainter) m_pPainter = std::make_unique<QPainter>(m_pClient);
  return m_pPainter.get();
}

void CxWinCtrlWindow::EndPaint() {
  m_pPainter.reset();
}

void CxWinCtrlWindow::ClientPaint() {
  m_bInPaint = true;
  Dispatch(WM_PAINT, 0, 0);
  m_pPainter.reset();
  m_bInPaint = false;
}

void CxWinCtrlWindow::ClientMouse(UINT nMsg, const QPoint& ptPos, Qt::MouseButtons buttons,
                                  Qt::KeyboardModifiers modifiers) {
  Dispatch(nMsg, MouseKeyState(buttons, modifiers), MAKELPARAM(ptPos.x(), ptPos.y()));
}

bool CxWinCtrlWindow::GetScrollRange(int* pnMin, int* pnMax) const {
  if (!m_pVScroll || !pnMin || !pnMax) return false;
  *pnMin = m_pVScroll->minimum();
  *pnMax = m_pVScroll->maximum();
  return true;
}

bool CxWinCtrlWindow::SetScrollRange(int nMin, int nMax) {
  if (!m_pVScroll) return false;
  m_pVScroll->setRange(nMin, nMax);
  m_nScrollPos = m_pVScroll->value();
  const bool bVisible = nMin != nMax;
  if (bVisible != m_bScrollVisible) {
    m_bScrollVisible = bVisible;
    UpdateLayout(false);
  }
  return true;
}

int CxWinCtrlWindow::GetScrollPos() const {
  return m_pVScroll ? m_nScrollPos : 0;
}

int CxWinCtrlWindow::SetScrollPos(int nPos) {
  if (!m_pVScroll) return 0;
  const int nOld = m_nScrollPos;
  m_pVScroll->setValue(nPos);
  m_nScrollPos = m_pVScroll->value();
  return nOld;
}

void CxWinCtrlWindow::OnScrollAction(int nAction) {
  int nCode = -1;
  switch (nAction) {
    case QAbstractSlider::SliderSingleStepSub:
      nCode = SB_LINEUP;
      break;
    case QAbstractSlider::SliderSingleStepAdd:
      nCode = SB_LINEDOWN;
      break;
    case QAbstractSlider::SliderPageStepSub:
      nCode = SB_PAGEUP;
      break;
    case QAbstractSlider::SliderPageStepAdd:
      nCode = SB_PAGEDOWN;
      break;
    case QAbstractSlider::SliderToMinimum:
      nCode = SB_TOP;
      break;
    case QAbstractSlider::SliderToMaximum:
      nCode = SB_BOTTOM;
      break;
    case QAbstractSlider::SliderMove:
      nCode = SB_THUMBPOSITION;
      break;
    default:
      return;
  }
  const int nTrackPos = m_pVScroll->sliderPosition();
  // Undo the bar's own move: only the window procedure decides the new position.
  m_pVScroll->setSliderPosition(m_nScrollPos);
  Dispatch(WM_VSCROLL, MAKEWPARAM(nCode, nCode == SB_THUMBPOSITION ? nTrackPos : 0), 0);
}

void CxWinCtrlWindow::paintEvent(QPaintEvent*) {
  QPainter dc(this);
  QRect rcFrame = rect();
  if (m_dwStyle & WS_BORDER) {
    dc.setPen(Qt::black);
    dc.setBrush(Qt::NoBrush);
    dc.drawRect(rcFrame.adjusted(0, 0, -1, -1));
    rcFrame.adjust(1, 1, -1, -1);
  }
  if (m_dwExStyle & WS_EX_CLIENTEDGE) qDrawWinPanel(&dc, rcFrame, palette(), true, nullptr);
}

void CxWinCtrlWindow::resizeEvent(QResizeEvent*) {
  UpdateLayout(false);
}

bool CxWinCtrlWindow::eventFilter(QObject* pWatched, QEvent* pEvent) {
  // A Win32 window scroll bar does not scroll on the wheel; the window would have to handle
  // the wheel message itself, and the controls do not.
  if (pWatched == m_pVScroll && pEvent->type() == QEvent::Wheel) return true;
  return QWidget::eventFilter(pWatched, pEvent);
}
