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

class CxList;
class CxWinCtrl;
class CxWinCtrlWindow;
class QPainter;
class QWidget;

// Window messages the controls handle or send, with their Win32 values.
#ifndef WM_CREATE
#define WM_CREATE 0x0001
#endif
#ifndef WM_DESTROY
#define WM_DESTROY 0x0002
#endif
#ifndef WM_SIZE
#define WM_SIZE 0x0005
#endif
#ifndef WM_PAINT
#define WM_PAINT 0x000F
#endif
#ifndef WM_DRAWITEM
#define WM_DRAWITEM 0x002B
#endif
#ifndef WM_NOTIFY
#define WM_NOTIFY 0x004E
#endif
#ifndef WM_COMMAND
#define WM_COMMAND 0x0111
#endif
#ifndef WM_HSCROLL
#define WM_HSCROLL 0x0114
#endif
#ifndef WM_VSCROLL
#define WM_VSCROLL 0x0115
#endif
#ifndef WM_MOUSEMOVE
#define WM_MOUSEMOVE 0x0200
#endif
#ifndef WM_LBUTTONDOWN
#define WM_LBUTTONDOWN 0x0201
#endif
#ifndef WM_LBUTTONUP
#define WM_LBUTTONUP 0x0202
#endif
#ifndef WM_RBUTTONDOWN
#define WM_RBUTTONDOWN 0x0204
#endif
#ifndef WM_RBUTTONUP
#define WM_RBUTTONUP 0x0205
#endif

// Key and button state in wParam of mouse messages.
#ifndef MK_LBUTTON
#define MK_LBUTTON 0x0001
#endif
#ifndef MK_RBUTTON
#define MK_RBUTTON 0x0002
#endif
#ifndef MK_SHIFT
#define MK_SHIFT 0x0004
#endif
#ifndef MK_CONTROL
#define MK_CONTROL 0x0008
#endif
#ifndef MK_MBUTTON
#define MK_MBUTTON 0x0010
#endif

// Window styles.
#ifndef WS_CHILD
#define WS_CHILD 0x40000000L
#endif
#ifndef WS_VISIBLE
#define WS_VISIBLE 0x10000000L
#endif
#ifndef WS_BORDER
#define WS_BORDER 0x00800000L
#endif
#ifndef WS_VSCROLL
#define WS_VSCROLL 0x00200000L
#endif
#ifndef WS_HSCROLL
#define WS_HSCROLL 0x00100000L
#endif
#ifndef WS_EX_CLIENTEDGE
#define WS_EX_CLIENTEDGE 0x00000200L
#endif

// Scroll bars and scroll requests (low word of wParam of WM_VSCROLL / WM_HSCROLL).
#ifndef SB_HORZ
#define SB_HORZ 0
#endif
#ifndef SB_VERT
#define SB_VERT 1
#endif
#ifndef SB_LINEUP
#define SB_LINEUP 0
#endif
#ifndef SB_LINEDOWN
#define SB_LINEDOWN 1
#endif
#ifndef SB_PAGEUP
#define SB_PAGEUP 2
#endif
#ifndef SB_PAGEDOWN
#define SB_PAGEDOWN 3
#endif
#ifndef SB_THUMBPOSITION
#define SB_THUMBPOSITION 4
#endif
#ifndef SB_THUMBTRACK
#define SB_THUMBTRACK 5
#endif
#ifndef SB_TOP
#define SB_TOP 6
#endif
#ifndef SB_BOTTOM
#define SB_BOTTOM 7
#endif
#ifndef SB_ENDSCROLL
#define SB_ENDSCROLL 8
#endif

#ifndef SIZE_RESTORED
#define SIZE_RESTORED 0
#endif

#define CXWINCTRL_CLASS "CxWinCtrl_Class"

typedef LRESULT (*CxWndProc)(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);

// A window class of the process-wide class table (the fields of a Win32 WNDCLASS that mean
// something here).
struct CxWndClass {
  UINT nStyle;
  CxWndProc pfnWndProc;
  int nClsExtra;
  int nWndExtra;
  HINSTANCE hInstance;
  char szClassName[64];
};

// The creation parameters a window procedure receives with WM_CREATE (lParam points here).
struct CxCreateStruct {
  void* pCreateParams;
  HINSTANCE hInstance;
  HWND hWndParent;
  int nHeight, nWidth, nY, nX;  // in the order of the Win32 structure
  DWORD dwStyle;
  const char* szClass;
  DWORD dwExStyle;
};

// Adds a class to the table; false when a class of that name exists for the module or the
// description is incomplete.
bool CxRegisterClass(const CxWndClass* pClass);
// Copies the description of a registered class; false when there is none.
bool CxGetClassInfo(HINSTANCE hInstance, const char* szClassName, CxWndClass* pClass);
// How many classes were ever added to the table (each name can be added only once).
int CxGetClassRegistrationCount();

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
