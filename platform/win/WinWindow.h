// The window system as the program's window code is written against it: the Win32 values of
// the window messages, mouse-key flags, window styles and scroll-bar codes the calendar
// controls handle or send, and the process-wide window-class table (RegisterClass and
// GetClassInfo of Win32: a class names the procedure that gets its windows' messages). The
// windows themselves are made over the GUI toolkit, by the views.
#pragma once

#include "platform/win/WinTypes.h"

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
