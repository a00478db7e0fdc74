// Checks of a control's picture that hold whatever font the system draws text with: the
// colour a region is filled with is the colour most of its pixels have, and the colour of
// the text in it is judged by the direction its strongest stroke pixel takes from that fill
// (an anti-aliased stroke blends the text colour into the fill, in any font, at any size).
// Rectangles are in logical pixels; pictures at a device pixel ratio other than 1 are read
// at the matching device pixels.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>
#include <cmath>
#include <map>
#include <ostream>

// A colour in a failure message as #rrggbb, not as the bytes of the object.
inline void PrintTo(const QColor& cr, std::ostream* pOut) {
  *pOut << cr.name().toStdString();
}

namespace pixelcheck {

inline QRect DeviceRect(const QImage& image, const QRect& rc) {
  const qreal dRatio = image.devicePixelRatio();
  return QRect(QPoint(qRound(rc.left() * dRatio), qRound(rc.top() * dRatio)),
               QSize(qRound(rc.width() * dRatio), qRound(rc.height() * dRatio)))
      .intersected(image.rect());
}

inline QColor PixelAt(const QImage& image, int nX, int nY) {
  const qreal dRatio = image.devicePixelRatio();
  return QColor(image.pixel(qRound(nX * dRatio), qRound(nY * dRatio)));
}

// The colour most pixels of the region have.
inline QColor FillOf(const QImage& image, const QRect& rc) {
  std::map<QRgb, int> counts;
  const QRect rcDevice = DeviceRect(image, rc);
  for (int y = rcDevice.top(); y <= rcDevice.bottom(); ++y) {
    for (int x = rcDevice.left(); x <= rcDevice.right(); ++x)
      ++counts[image.pixel(x, y) | 0xff000000u];
  }
  QRgb rgbMost = 0;
  int nMost = -1;
  for (const auto& [rgb, nCount] : counts) {
    if (nCount > nMost) {
      rgbMost = rgb;
      nMost = nCount;
    }
  }
  return QColor(rgbMost);
}

// How far along the way from crFill to crText the pixel lies (0 the fill, 1 the text
// colour), or -1 when it lies off that way: a stroke of another colour.
inline double StrokeShare(const QColor& crPixel, const QColor& crFill, const QColor& crText) {
  // Rounding and gamma in the blend stray a little from the straight way.
  constexpr double kOffTheWay = 24.0;
  const double dDir[3] = {double(crText.red() - crFill.red()),
                          double(crText.green() - crFill.green()),
                          double(crText.blue() - crFill.blue())};
  const double dPix[3] = {double(crPixel.red() - crFill.red()),
                          double(crPixel.green() - crFill.green()),
                          double(crPixel.blue() - crFill.blue())};
  const double dLength2 = dDir[0] * dDir[0] + dDir[1] * dDir[1] + dDir[2] * dDir[2];
  if (dLength2 == 0) return -1;
  const double dShare = (dPix[0] * dDir[0] + dPix[1] * dDir[1] + dPix[2] * dDir[2]) / dLength2;
  double dOff2 = 0;
  for (int c = 0; c < 3; ++c) {
    const double dAside = dPix[c] - dShare * dDir[c];
    dOff2 += dAside * dAside;
  }
  return std::sqrt(dOff2) <= kOffTheWay ? dShare : -1;
}

struct Ink {
  QColor crFill;       // the region's fill
  QColor crStrongest;  // the pixel farthest from the fill
  int nPixels;         // pixels that differ clearly from the fill
};

inline Ink InkIn(const QImage& image, const QRect& rc) {
  constexpr int kClearDifference = 96;  // summed over the channels
  Ink ink{FillOf(image, rc), QColor(), 0};
  int nFarthest = -1;
  const QRect rcDevice = DeviceRect(image, rc);
  for (int y = rcDevice.top(); y <= rcDevice.bottom(); ++y) {
    for (int x = rcDevice.left(); x <= rcDevice.right(); ++x) {
      const QColor crPixel(image.pixel(x, y));
      const int nDistance = std::abs(crPixel.red() - ink.crFill.red()) +
                            std::abs(crPixel.green() - ink.crFill.green()) +
                            std::abs(crPixel.blue() - ink.crFill.blue());
      if (nDistance >= kClearDifference) ++ink.nPixels;
      if (nDistance > nFarthest) {
        nFarthest = nDistance;
        ink.crStrongest = crPixel;
      }
    }
  }
  return ink;
}

// Text of that colour is drawn in the region: its strongest stroke lies well on the way from
// the fill to crText, and not beyond it. Grey text on white reaches only half way to black,
// so it never passes for black.
inline bool HasTextOf(const QImage& image, const QRect& rc, const QColor& crText) {
  constexpr double kStrongShare = 0.6;
  const Ink ink = InkIn(image, rc);
  const double dShare = StrokeShare(ink.crStrongest, ink.crFill, crText);
  return ink.nPixels > 0 && dShare >= kStrongShare && dShare <= 1.1;
}

}  // namespace pixelcheck
