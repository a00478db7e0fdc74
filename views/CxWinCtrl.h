// The base of the self-drawn calendar controls: a child window of the one window class
// "CxWinCtrl_Class" whose messages reach the control object's virtual handlers through one
// shared window procedure, and the process-wide map from window handles to controls.
//
// The controls are written as Win32 child windows. Here a window handle (HWND) is the Qt
// widget that hosts the window (a CxWinCtrlWindow; a parent handle is any QWidget*), and
// Qt's paint, resize, mouse and scroll-bar events arrive as the matching window messages
// with Win32-shaped wParam / lParam: a point packed as x in the low word and y in the high
// word of lParam, a scroll request in the low word of wParam.
//
// Lifetime: the owner creates the control object and calls Create; from then on the window
// owns the object and deletes it, after OnDestroy, when the window is destroyed (usually
// with its parent widget). An owner never deletes a control whose window still exists.
#pragma once

#include <memory>

#include "platform/win/WinTypes.h"
#include "platform/win/WinWindow.h"

class CxList;
class CxWinCtrl;
class CxWinCtrlWindow;
class QPainter;
class QWidget;

#define CXWINCTRL_CLASS "CxWinCtrl_Class"

// The keyboard and wheel messages the controls take, with the Win32 values.
#ifndef WM_KEYDOWN
#define WM_KEYDOWN 0x0100
#endif
#ifndef WM_MOUSEWHEEL
#define WM_MOUSEWHEEL 0x020A
#endif
#ifndef WHEEL_DELTA
#define WHEEL_DELTA 120
#endif
#ifndef VK_PRIOR
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#endif

// Creates a window of a registered class under a parent widget. The class's procedure gets
// WM_CREATE (then WM_SIZE); null when the class is unknown, the child has no parent or
// WM_CREATE answers -1 (the window is then gone again).
HWND CxCreateWindowEx(DWORD dwExStyle, const char* szClass, const char* szTitle, DWORD dwStyle,
                      int nX, int nY, int nWidth, int nHeight, HWND hWndParent, void* pParam);
// Whether the handle is a live window made by CxCreateWindowEx.
bool CxIsWindow(HWND hWnd);
// Delivers a message at once: to the window procedure of a control window, or, for any other
// widget (a control's parent), as a CxWinMessageEvent through Qt's event dispatch, which that
// widget reads in its event() handler. Returns the handler's result; 0 for no target.
LRESULT CxSendMessage(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
// What a window does with a message nobody handled: nothing, result 0.
LRESULT CxDefWindowProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
// The parent widget of a control window; null for none.
HWND CxGetParent(HWND hWnd);

// Handle <-> widget. A handle is always made from the QWidget* of the window.
inline HWND CxHwndFromWidget(QWidget* pWidget) {
  return static_cast<void*>(pWidget);
}
inline QWidget* CxWidgetFromHwnd(HWND hWnd) {
  return static_cast<QWidget*>(hWnd);
}

// The pairs (window, control) the window procedure looks a control up in. The pairs are owned
// by the map; the controls are not.
class CxWinCtrlMap {
 public:
  CxWinCtrlMap();
  ~CxWinCtrlMap();

  CxWinCtrlMap(const CxWinCtrlMap&) = delete;
  CxWinCtrlMap& operator=(const CxWinCtrlMap&) = delete;

  // The control of the first pair with that window; null for none.
  CxWinCtrl* Find(HWND hWnd);
  // False for a missing window or control; true without adding when the window or the
  // control is already paired.
  bool Add(HWND hWnd, CxWinCtrl* pCtrl);
  // Releases the first pair of that control; false when there is none.
  bool Remove(CxWinCtrl* pCtrl);
  void RemoveAll();
  int GetCount() const;

 private:
  std::unique_ptr<CxList> m_pPairs;
};

// The one map of the process, made on first use.
CxWinCtrlMap* GetControlMap();

class CxWinCtrl {
 public:
  CxWinCtrl();
  // Normally run by the window's destruction; an object deleted while its window lives is
  // unhooked from the window first, so the window goes on without it.
  virtual ~CxWinCtrl();

  CxWinCtrl(const CxWinCtrl&) = delete;
  CxWinCtrl& operator=(const CxWinCtrl&) = delete;

  // Creates the child window under the parent widget at the rectangle (or 0, 0, 0, 0 without
  // one) with the style plus WS_CHILD. False, leaving no window, when the class cannot be
  // registered or the window cannot be made (OnCreate answering -1 included); the object
  // then still belongs to its owner.
  virtual bool Create(HWND hWndParent, const RECT* pRect, DWORD dwStyle, DWORD dwExStyle);

  virtual int OnCreate(WPARAM wParam, LPARAM lParam);
  virtual int OnMouseMove(WPARAM wParam, LPARAM lParam);
  virtual int OnLButtonDown(WPARAM wParam, LPARAM lParam);
  virtual int OnLButtonUp(WPARAM wParam, LPARAM lParam);
  virtual int OnRButtonDown(WPARAM wParam, LPARAM lParam);
  virtual int OnRButtonUp(WPARAM wParam, LPARAM lParam);
  virtual int OnPaint(WPARAM wParam, LPARAM lParam);
  virtual int OnDrawItem(WPARAM wParam, LPARAM lParam);
  virtual int OnSize(WPARAM wParam, LPARAM lParam);
  virtual int OnDestroy(WPARAM wParam, LPARAM lParam);
  virtual int OnCommand(WPARAM wParam, LPARAM lParam);
  virtual int OnNotify(WPARAM wParam, LPARAM lParam);
  virtual int OnHScroll(WPARAM wParam, LPARAM lParam);
  virtual int OnVScroll(WPARAM wParam, LPARAM lParam);
  // wParam: the virtual key.
  virtual int OnKeyDown(WPARAM wParam, LPARAM lParam);
  // The high word of wParam: the wheel's turn, signed, WHEEL_DELTA a notch away from the user.
  virtual int OnMouseWheel(WPARAM wParam, LPARAM lParam);

  // Moves and sizes the window (right and bottom are exclusive) when it exists.
  void MoveTo(const RECT* pRect, bool bRepaint);
  bool IsShown() const;
  // Repaints the whole client area at once when the window is visible. There is no
  // background to erase (the controls paint every pixel), so bErase changes nothing.
  void Redraw(bool bErase);

  HWND GetHwnd() const { return m_hWnd; }
  // The hosting widget, for owners that lay it out or connect to its signals; null before
  // Create succeeded.
  CxWinCtrlWindow* GetWindow() const;

  // The procedure of "CxWinCtrl_Class".
  static LRESULT WndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
  // Registers "CxWinCtrl_Class" once per process.
  static bool RegisterWndClass();

 protected:
  // The painter of the client area while a WM_PAINT from the window is handled; null at any
  // other time. EndPaint finishes it.
  QPainter* BeginPaint();
  void EndPaint();
  // The client rectangle (left and top are 0); empty without a window.
  void GetClientRect(RECT* pRect) const;
  // Invalidates the whole client area and paints it at once (nothing while hidden).
  void UpdateNow();
  // The window's vertical scroll bar (nBar SB_VERT), as the Win32 calls behave: a range whose
  // minimum equals its maximum hides the bar. False / 0 without a scroll bar.
  bool GetScrollRange(int nBar, int* pnMin, int* pnMax) const;
  bool SetScrollRange(int nBar, int nMin, int nMax, bool bRedraw);
  int GetScrollPos(int nBar) const;
  int SetScrollPos(int nBar, int nPos, bool bRedraw);
  // Sends a message to the parent widget (see CxSendMessage).
  LRESULT SendToParent(UINT nMsg, WPARAM wParam, LPARAM lParam);
  // The window's id, the low word of a WM_COMMAND it sends (Create gives no id: 0).
  int GetCtrlId() const;

  HWND m_hWnd;
};
