// Drawing helpers the controls share, so that their painting reads as the GDI calls it was
// designed with: rectangles are Win32 RECTs (right and bottom exclusive), colours COLORREFs,
// text ANSI (Windows-1252) decoded by the platform, never as Latin-1.
#pragma once

#include <QtWidgets/qdrawutil.h>
#include <QApplication>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QRect>
#include <QString>

#include "platform/win/WinText.h"
#include "platform/win/WinTypes.h"

namespace cxpaint {

inline QRect ToQRect(const RECT& rc) {
  return QRect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
}

inline QColor ToQColor(COLORREF cr) {
  return QColor(GetRValue(cr), GetGValue(cr), GetBValue(cr));
}

inline QString AnsiText(const char* szAnsi) {
  return QString::fromUtf8(CxAnsiToUtf8(szAnsi ? szAnsi : "").c_str());
}

inline bool PtInRect(const RECT& rc, int nX, int nY) {
  return nX >= rc.left && nX < rc.right && nY >= rc.top && nY < rc.bottom;
}

// A font by character height in pixels and GDI weight; a missing family falls back the way
// Qt matches fonts on this system.
inline QFont MakeFont(const char* szFamily, int nCharHeight, int nWeight) {
  QFont font(QString::fromUtf8(szFamily));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(nCharHeight);
  font.setWeight(static_cast<QFont::Weight>(nWeight));
  return font;
}

// The off-screen bitmap of a double-buffered paint: client size in logical pixels, at the
// target's pixel ratio so that the one copy to the window is not scaled.
inline QImage OffscreenImage(QPainter& dcTarget, int nWidth, int nHeight) {
  const qreal dRatio = dcTarget.device() ? dcTarget.device()->devicePixelRatioF() : 1.0;
  QImage image(QSize(nWidth, nHeight) * dRatio, QImage::Format_RGB32);
  image.setDevicePixelRatio(dRatio);
  return image;
}

// Double-buffered paint: pfnPaint draws the client rectangle into an off-screen image, which
// is then copied to the window in one transfer, so neither grid nor scrolling flickers.
template <typename PaintFn>
inline void PaintBuffered(QPainter& dcTarget, const RECT& rcClient, PaintFn pfnPaint) {
  if (rcClient.right <= 0 || rcClient.bottom <= 0) return;
  QImage image = OffscreenImage(dcTarget, rcClient.right, rcClient.bottom);
  {
    QPainter dc(&image);
    pfnPaint(dc, rcClient);
  }
  dcTarget.drawImage(0, 0, image);
}

// GDI FillRect.
inline void FillRect(QPainter& dc, const RECT& rc, const QBrush& brush) {
  if (rc.right > rc.left && rc.bottom > rc.top) dc.fillRect(ToQRect(rc), brush);
}

// GDI Rectangle with a one-pixel pen: the outline lies inside the rectangle, the brush fills
// what is within it.
inline void Rectangle(QPainter& dc, const RECT& rc, const QColor& crPen, const QBrush& brush) {
  if (rc.right - rc.left < 1 || rc.bottom - rc.top < 1) return;
  dc.setPen(QPen(crPen, 0));
  dc.setBrush(brush);
  dc.drawRect(QRect(rc.left, rc.top, rc.right - rc.left - 1, rc.bottom - rc.top - 1));
  dc.setBrush(Qt::NoBrush);
}

// GDI FrameRect with a solid colour.
inline void FrameRect(QPainter& dc, const RECT& rc, const QColor& cr) {
  Rectangle(dc, rc, cr, Qt::NoBrush);
}

// A one-pixel GDI line from (x1, y1) up to but not including (x2, y2); horizontal or vertical.
inline void Line(QPainter& dc, int nX1, int nY1, int nX2, int nY2, const QColor& cr) {
  dc.setPen(QPen(cr, 0));
  if (nY1 == nY2 && nX2 != nX1)
    dc.drawLine(nX1, nY1, nX2 > nX1 ? nX2 - 1 : nX2 + 1, nY2);
  else if (nX1 == nX2 && nY2 != nY1)
    dc.drawLine(nX1, nY1, nX2, nY2 > nY1 ? nY2 - 1 : nY2 + 1);
}

// The face of a raised push button (DrawFrameControl with a push button).
inline void ButtonFace(QPainter& dc, const RECT& rc) {
  if (rc.right - rc.left < 2 || rc.bottom - rc.top < 2) return;
  const QPalette pal = QApplication::palette();
  const QBrush face = pal.brush(QPalette::Button);
  qDrawWinButton(&dc, ToQRect(rc), pal, false, &face);
}

// DrawText on one line, clipped to the rectangle.
inline void TextLine(QPainter& dc, const RECT& rc, const QString& text, Qt::Alignment align,
                     const QColor& cr) {
  dc.setPen(cr);
  dc.drawText(ToQRect(rc), static_cast<int>(align) | Qt::TextSingleLine, text);
}

}  // namespace cxpaint
