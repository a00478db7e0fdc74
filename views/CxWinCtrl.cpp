// Window creation and message delivery for the Qt-hosted control windows (over the window
// class table of platform/win/WinWindow), the process-wide window-to-control map and the control
// base with its one shared window procedure.
#include "views/CxWinCtrl.h"
#define DB_MODULE "CxWinCtrl"
#include <QCoreApplication>
#include <QWidget>
#include <algorithm>
#include <new>

#include "common/misc/CxDebugUtil.h"
#include "common/misc/CxList.h"
#include "platform/win/WinString.h"
#include "views/CxWinCtrlWindow.h"

namespace {

bool g_bCtrlClassRegistered = false;

struct CxWinCtrlPair {
  HWND hWnd;
  CxWinCtrl* pCtrl;
};

void FreePair(void* pData) {
  delete static_cast<CxWinCtrlPair*>(pData);
}

CxWinCtrlWindow* WindowOf(HWND hWnd) {
  if (!CxIsWindow(hWnd)) return nullptr;
  return static_cast<CxWinCtrlWindow*>(CxWidgetFromHwnd(hWnd));
}

}  // namespace

HWND CxCreateWindowEx(DWORD dwExStyle, const char* szClass, const char* szTitle, DWORD dwStyle,
                      int nX, int nY, int nWidth, int nHeight, HWND hWndParent, void* pParam) {
  CxWndClass cls;
  if (!CxGetClassInfo(nullptr, szClass, &cls)) {
    Log(0, "Window class %s is not registered", szClass ? szClass : "(null)");
    return nullptr;
  }
  if ((dwStyle & WS_CHILD) && !hWndParent) {
    Log(0, "A child window needs a parent");
    return nullptr;
  }
  auto* pWindow = new CxWinCtrlWindow(CxWidgetFromHwnd(hWndParent), dwStyle, dwExStyle);
  if (szTitle) pWindow->setWindowTitle(QString::fromUtf8(szTitle));
  pWindow->setGeometry(nX, nY, std::max(nWidth, 0), std::max(nHeight, 0));
  pWindow->Hook(cls.pfnWndProc);

  CxCreateStruct cs;
  cs.pCreateParams = pParam;
  cs.hInstance = cls.hInstance;
  cs.hWndParent = hWndParent;
  cs.nX = nX;
  cs.nY = nY;
  cs.nWidth = nWidth;
  cs.nHeight = nHeight;
  cs.dwStyle = dwStyle;
  cs.szClass = szClass;
  cs.dwExStyle = dwExStyle;
  if (pWindow->Dispatch(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    // The procedure still sees WM_DESTROY, as on Windows.
    delete pWindow;
    return nullptr;
  }
  pWindow->UpdateLayout(true);
  if (dwStyle & WS_VISIBLE) pWindow->show();
  return pWindow->GetHwnd();
}

bool CxIsWindow(HWND hWnd) {
  return hWnd && CxWinCtrlWindow::IsLive(hWnd);
}

LRESULT CxSendMessage(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
  if (!hWnd) return 0;
  if (CxWinCtrlWindow* pWindow = WindowOf(hWnd)) return pWindow->Dispatch(nMsg, wParam, lParam);
  CxWinMessageEvent event(nMsg, wParam, lParam);
  QCoreApplication::sendEvent(CxWidgetFromHwnd(hWnd), &event);
  return event.lResult;
}

LRESULT CxDefWindowProc(HWND, UINT, WPARAM, LPARAM) {
  return 0;
}

HWND CxGetParent(HWND hWnd) {
  CxWinCtrlWindow* pWindow = WindowOf(hWnd);
  if (!pWindow || !pWindow->parentWidget()) return nullptr;
  return CxHwndFromWidget(pWindow->parentWidget());
}

// ---- CxWinCtrlMap ----

CxWinCtrlMap::CxWinCtrlMap() : m_pPairs(std::make_unique<CxList>()) {
  m_pPairs->SetFreeFunc(&FreePair);
}

CxWinCtrlMap::~CxWinCtrlMap() {
  RemoveAll();
}

CxWinCtrl* CxWinCtrlMap::Find(HWND hWnd) {
  if (!hWnd) return nullptr;
  for (auto* pPair = static_cast<CxWinCtrlPair*>(m_pPairs->GetFirst()); pPair;
       pPair = static_cast<CxWinCtrlPair*>(m_pPairs->GetNext())) {
    if (pPair->hWnd == hWnd) return pPair->pCtrl;
  }
  return nullptr;
}

bool CxWinCtrlMap::Add(HWND hWnd, CxWinCtrl* pCtrl) {
  if (!hWnd || !pCtrl) return false;
  for (auto* pPair = static_cast<CxWinCtrlPair*>(m_pPairs->GetFirst()); pPair;
       pPair = static_cast<CxWinCtrlPair*>(m_pPairs->GetNext())) {
    if (pPair->hWnd == hWnd || pPair->pCtrl == pCtrl) return true;
  }
  auto* pPair = new (std::nothrow) CxWinCtrlPair{hWnd, pCtrl};
  if (!pPair) return false;
  if (!m_pPairs->Add(pPair)) {
    delete pPair;
    return false;
  }
  return true;
}

bool CxWinCtrlMap::Remove(CxWinCtrl* pCtrl) {
  if (!pCtrl) return false;
  for (auto* pPair = static_cast<CxWinCtrlPair*>(m_pPairs->GetFirst()); pPair;
       pPair = static_cast<CxWinCtrlPair*>(m_pPairs->GetNext())) {
    if (pPair->pCtrl == pCtrl) return m_pPairs->Remove(pPair, true);
  }
  return false;
}

void CxWinCtrlMap::RemoveAll() {
  m_pPairs->RemoveAll(true);
}

int CxWinCtrlMap::GetCount() const {
  return static_cast<int>(m_pPairs->GetCount());
}

CxWinCtrlMap* GetControlMap() {
  // Never destroyed: windows may outlive static destruction order, and the process ends
  // anyway.
  static CxWinCtrlMap* const s_pMap = new CxWinCtrlMap();
  return s_pMap;
}

// ---- CxWinCtrl ----

CxWinCtrl::CxWinCtrl() : m_hWnd(nullptr) {}

CxWinCtrl::~CxWinCtrl() {
  // Deleted by its owner while the window still exists: the window must not find (and later
  // delete) this object again.
  if (m_hWnd) GetControlMap()->Remove(this);
}

bool CxWinCtrl::RegisterWndClass() {
  if (g_bCtrlClassRegistered) return true;
  if (!CxGetClassInfo(nullptr, CXWINCTRL_CLASS, nullptr)) {
    CxWndClass cls{};
    cls.nStyle = 0;
    cls.pfnWndProc = &CxWinCtrl::WndProc;
    cls.nClsExtra = 0;
    cls.nWndExtra = 4;
    cls.hInstance = nullptr;
    CxCopyText(cls.szClassName, CXWINCTRL_CLASS);
    if (!CxRegisterClass(&cls)) {
      Log(0, "Failed to register the window class %s", CXWINCTRL_CLASS);
      return false;
    }
  }
  g_bCtrlClassRegistered = true;
  return true;
}

bool CxWinCtrl::Create(HWND hWndParent, const RECT* pRect, DWORD dwStyle, DWORD dwExStyle) {
  if (CxIsWindow(m_hWnd)) {
    Log(0, "The control already has a window");
    return false;
  }
  if (!RegisterWndClass()) return false;
  int nX = 0, nY = 0, nWidth = 0, nHeight = 0;
  if (pRect) {
    nX = pRect->left;
    nY = pRect->top;
    nWidth = pRect->right - pRect->left;
    nHeight = pRect->bottom - pRect->top;
  }
  m_hWnd = CxCreateWindowEx(dwExStyle, CXWINCTRL_CLASS, "", dwStyle | WS_CHILD, nX, nY, nWidth,
                            nHeight, hWndParent, this);
  if (!CxIsWindow(m_hWnd)) {
    m_hWnd = nullptr;
    Log(0, "Failed to create the control window");
    return false;
  }
  return true;
}

LRESULT CxWinCtrl::WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
  CxWinCtrlMap* pMap = GetControlMap();
  CxWinCtrl* pCtrl = pMap->Find(hWnd);
  switch (nMsg) {
    case WM_CREATE: {
      const auto* pCreate = reinterpret_cast<const CxCreateStruct*>(lParam);
      pCtrl = pCreate ? static_cast<CxWinCtrl*>(pCreate->pCreateParams) : nullptr;
      if (!pCtrl) break;
      pCtrl->m_hWnd = hWnd;
      pMap->Add(hWnd, pCtrl);
      if (pCtrl->OnCreate(wParam, lParam) == -1) {
        // The window is about to be destroyed again. Unpair the control first: it never
        // became the window's, so the WM_DESTROY that follows must not delete it while its
        // owner still holds it (and learns of the failure from Create).
        pMap->Remove(pCtrl);
        pCtrl->m_hWnd = nullptr;
        return -1;
      }
      break;
    }
    case WM_DESTROY:
      if (pCtrl) {
        pCtrl->OnDestroy(wParam, lParam);
        pMap->Remove(pCtrl);
        pCtrl->m_hWnd = nullptr;
        delete pCtrl;
      }
      break;
    case WM_NOTIFY:
      if (pCtrl) return pCtrl->OnNotify(wParam, lParam);
      break;
    case WM_SIZE:
      if (pCtrl) pCtrl->OnSize(wParam, lParam);
      break;
    case WM_PAINT:
      if (pCtrl) pCtrl->OnPaint(wParam, lParam);
      break;
    case WM_DRAWITEM:
      if (pCtrl) pCtrl->OnDrawItem(wParam, lParam);
      break;
    case WM_COMMAND:
      if (pCtrl) pCtrl->OnCommand(wParam, lParam);
      break;
    case WM_HSCROLL:
      if (pCtrl) pCtrl->OnHScroll(wParam, lParam);
      break;
    case WM_VSCROLL:
      if (pCtrl) pCtrl->OnVScroll(wParam, lParam);
      break;
    case WM_MOUSEMOVE:
      if (pCtrl) pCtrl->OnMouseMove(wParam, lParam);
      break;
    case WM_KEYDOWN:
      if (pCtrl) pCtrl->OnKeyDown(wParam, lParam);
      break;
    case WM_MOUSEWHEEL:
      if (pCtrl) pCtrl->OnMouseWheel(wParam, lParam);
      break;
    case WM_LBUTTONDOWN:
      if (pCtrl) pCtrl->OnLButtonDown(wParam, lParam);
      break;
    case WM_LBUTTONUP:
      if (pCtrl) pCtrl->OnLButtonUp(wParam, lParam);
      break;
    case WM_RBUTTONDOWN:
      if (pCtrl) pCtrl->OnRButtonDown(wParam, lParam);
      break;
    case WM_RBUTTONUP:
      if (pCtrl) pCtrl->OnRButtonUp(wParam, lParam);
      break;
    default:
      break;
  }
  return CxDefWindowProc(hWnd, nMsg, wParam, lParam);
}

int CxWinCtrl::OnKeyDown(WPARAM, LPARAM) {
  return 0;
}

int CxWinCtrl::OnMouseWheel(WPARAM, LPARAM) {
  return 0;
}

int CxWinCtrl::OnCreate(WPARAM, LPARAM) {
  return 0;
}
int CxWinCtrl::OnMouseMove(WPARAM, LPARAM) {
  return 0;
}
int CxWinCtrl::OnLButtonDown(WPARAM, LPARAM) {
  return 0;
}
int CxWinCtrl::OnLButtonUp(WPARAM, LPARAM) {
  return 0;
}
int CxWinCtrl::OnRButtonDown(WPARAM, LPARAM) {
  return 0;
}
int CxWinCtrl::OnRButtonUp(WPARAM, LPARAM) {
  return 0;
}
int CxWinCtrl::OnPaint(WPARAM, LPARAM) {
  return 0;
}
int CxWinCtrl::OnDrawItem(WPARAM, LPARAM) {
  return 0;
}
int CxWinCtrl::OnSize(WPARAM, LPARAM) {
  return 0;
}
int CxWinCtrl::OnDestroy(WPARAM, LPARAM) {
  return 0;
}
int CxWinCtrl::OnCommand(WPARAM, LPARAM) {
  return 0;
}
int CxWinCtrl::OnNotify(WPARAM wParam, LPARAM lParam) {
  return static_cast<int>(CxDefWindowProc(m_hWnd, WM_NOTIFY, wParam, lParam));
}
int CxWinCtrl::OnHScroll(WPARAM, LPARAM) {
  return 0;
}
int CxWinCtrl::OnVScroll(WPARAM, LPARAM) {
  return 0;
}

CxWinCtrlWindow* CxWinCtrl::GetWindow() const {
  return WindowOf(m_hWnd);
}

void CxWinCtrl::MoveTo(const RECT* pRect, bool bRepaint) {
  CxWinCtrlWindow* pWindow = GetWindow();
  if (!pWindow || !pRect) return;
  pWindow->setGeometry(pRect->left, pRect->top, std::max<LONG>(pRect->right - pRect->left, 0),
                       std::max<LONG>(pRect->bottom - pRect->top, 0));
  // A hidden widget gets its resize event only when shown; the control hears of its new
  // size now, as a Win32 window does.
  pWindow->UpdateLayout(false);
  if (bRepaint) pWindow->update();
}

bool CxWinCtrl::IsShown() const {
  CxWinCtrlWindow* pWindow = GetWindow();
  return pWindow && pWindow->isVisible();
}

void CxWinCtrl::Redraw(bool) {
  if (IsShown()) UpdateNow();
}

QPainter* CxWinCtrl::BeginPaint() {
  CxWinCtrlWindow* pWindow = GetWindow();
  return pWindow ? pWindow->BeginPaint() : nullptr;
}

void CxWinCtrl::EndPaint() {
  if (CxWinCtrlWindow* pWindow = GetWindow()) pWindow->EndPaint();
}

void CxWinCtrl::GetClientRect(RECT* pRect) const {
  if (!pRect) return;
  *pRect = RECT{0, 0, 0, 0};
  if (CxWinCtrlWindow* pWindow = GetWindow()) {
    pRect->right = pWindow->GetClient()->width();
    pRect->bottom = pWindow->GetClient()->height();
  }
}

void CxWinCtrl::UpdateNow() {
  if (CxWinCtrlWindow* pWindow = GetWindow()) pWindow->GetClient()->repaint();
}

bool CxWinCtrl::GetScrollRange(int nBar, int* pnMin, int* pnMax) const {
  CxWinCtrlWindow* pWindow = GetWindow();
  return nBar == SB_VERT && pWindow && pWindow->GetScrollRange(pnMin, pnMax);
}

bool CxWinCtrl::SetScrollRange(int nBar, int nMin, int nMax, bool) {
  CxWinCtrlWindow* pWindow = GetWindow();
  return nBar == SB_VERT && pWindow && pWindow->SetScrollRange(nMin, nMax);
}

int CxWinCtrl::GetScrollPos(int nBar) const {
  CxWinCtrlWindow* pWindow = GetWindow();
  return nBar == SB_VERT && pWindow ? pWindow->GetScrollPos() : 0;
}

int CxWinCtrl::SetScrollPos(int nBar, int nPos, bool) {
  CxWinCtrlWindow* pWindow = GetWindow();
  return nBar == SB_VERT && pWindow ? pWindow->SetScrollPos(nPos) : 0;
}

LRESULT CxWinCtrl::SendToParent(UINT nMsg, WPARAM wParam, LPARAM lParam) {
  CxWinCtrlWindow* pWindow = GetWindow();
  return pWindow ? pWindow->SendToParent(nMsg, wParam, lParam) : 0;
}

int CxWinCtrl::GetCtrlId() const {
  return 0;
}
