// The Qt widget that stands in for a control's Win32 child window: it draws the window frame
// (WS_BORDER, WS_EX_CLIENTEDGE), holds the client area and the vertical scroll bar
// (WS_VSCROLL), and turns their Qt events into window messages for its class's window
// procedure. Client coordinates start at 0, 0 at the client area's top left, inside the
// frame, as on Windows.
#pragma once

#include <QEvent>
#include <QPainter>
#include <QWidget>
#include <memory>

#include "platform/win/WinTypes.h"
#include "views/CxWinCtrl.h"

class QScrollBar;

// A window message delivered to a plain widget (a control's parent) by CxSendMessage. The
// receiver handles it in event() and may store its answer in lResult.
class CxWinMessageEvent : public QEvent {
 public:
  CxWinMessageEvent(UINT nMsg, WPARAM wParam, LPARAM lParam);
  static QEvent::Type EventType();

  UINT nMsg;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT lResult;
};

class CxWinCtrlWindow : public QWidget {
  Q_OBJECT

 public:
  // The window starts unhooked (no procedure), so that its creator decides when the first
  // message (WM_CREATE) goes out.
  CxWinCtrlWindow(QWidget* pParent, DWORD dwStyle, DWORD dwExStyle);
  ~CxWinCtrlWindow() override;

  HWND GetHwnd() { return CxHwndFromWidget(this); }
  DWORD GetStyle() const { return m_dwStyle; }
  // The widget of the client area (what the control paints and what takes the clicks).
  QWidget* GetClient() const { return m_pClient; }
  QScrollBar* GetVScrollBar() const { return m_pVScroll; }

  // Whether the handle is a live window of this kind.
  static bool IsLive(const void* hWnd);

  LRESULT Dispatch(UINT nMsg, WPARAM wParam, LPARAM lParam);
  // Emits parentMessage and delivers the message to the parent widget.
  LRESULT SendToParent(UINT nMsg, WPARAM wParam, LPARAM lParam);
  // Lays out frame, scroll bar and client area and sends WM_SIZE when the client size
  // changed since the last one sent (or always, with bForce).
  void UpdateLayout(bool bForce);
  void Hook(CxWndProc pfnWndProc) { m_pfnWndProc = pfnWndProc; }

  QPainter* BeginPaint();
  void EndPaint();

  bool GetScrollRange(int* pnMin, int* pnMax) const;
  bool SetScrollRange(int nMin, int nMax);
  int GetScrollPos() const;
  int SetScrollPos(int nPos);

  // The client widget forwards its events here.
  void ClientPaint();
  void ClientMouse(UINT nMsg, const QPoint& ptPos, Qt::MouseButtons buttons,
                   Qt::KeyboardModifiers modifiers);

 signals:
  // Every message the control sends to its parent (WM_COMMAND notifications among them), for
  // owners that would rather connect than handle CxWinMessageEvent.
  void parentMessage(unsigned int nMsg, quintptr wParam, qintptr lParam);

 protected:
  void paintEvent(QPaintEvent* pEvent) override;
  void resizeEvent(QResizeEvent* pEvent) override;
  bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

 private:
  int FrameWidth() const;
  void OnScrollAction(int nAction);

  CxWndProc m_pfnWndProc;
  DWORD m_dwStyle;
  DWORD m_dwExStyle;
  QWidget* m_pClient;      // child widget, deleted by Qt with this one
  QScrollBar* m_pVScroll;  // child widget or null
  bool m_bScrollVisible;
  int m_nScrollPos;  // the position the program set; the bar's own moves are undone
  QSize m_szLastSent;
  bool m_bSizeSent;
  std::unique_ptr<QPainter> m_pPainter;  // only while a paint event is handled
  bool m_bInPaint;
};
