#include "ui/SymbolMask.h"

#include <QBuffer>
#include <QImageReader>
#include <QColor>
#include <QRegularExpression>

namespace duskwarden::ui {

namespace {
double strokeScale(SymbolWeight weight) {
  switch (weight) {
    case SymbolWeight::regular:
      return 1.0;
    case SymbolWeight::semibold:
      return 1.25;
    case SymbolWeight::bold:
      return 1.5;
    case SymbolWeight::heavy:
      return 1.9;
  }
  return 1.0;
}
}  // namespace

QByteArray weightedSvg(const QByteArray& svg, SymbolWeight weight) {
  const double scale = strokeScale(weight);
  if (scale == 1.0) return svg;
  static const QRegularExpression strokeWidth(QStringLiteral("stroke-width=\"([0-9.]+)\""));
  QString text = QString::fromUtf8(svg);
  QString out;
  qsizetype last = 0;
  auto it = strokeWidth.globalMatch(text);
  while (it.hasNext()) {
    const auto m = it.next();
    out += text.mid(last, m.capturedStart() - last);
    out += QStringLiteral("stroke-width=\"%1\"").arg(m.captured(1).toDouble() * scale);
    last = m.capturedEnd();
  }
  out += text.mid(last);
  return out.toUtf8();
}

QImage renderSymbolMask(const QByteArray& svg, SymbolWeight weight, QSize deviceSize) {
  if (deviceSize.isEmpty()) return {};
  QByteArray data = weightedSvg(svg, weight);
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "svg");
  reader.setScaledSize(deviceSize);
  const QImage image = reader.read();
  if (image.isNull() || image.size() != deviceSize) return {};
  return image.convertToFormat(QImage::Format_Alpha8);
}

namespace {

// Premultiplied `x` times a/255, rounded as Qt's raster engine rounds, so
// the result matches painting the colour over the mask with SourceIn.
QRgb times(QRgb x, uint a) {
  uint t = (x & 0xff00ff) * a;
  t = ((t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
  x = ((x >> 8) & 0xff00ff) * a;
  x = (x + ((x >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
  return x | t;
}

}  // namespace

// Pixel by pixel rather than with a QPainter: painting an Alpha8 image
// converts it with the help of Qt's global thread pool, which the tray icon
// would otherwise create at start for a 22-pixel picture.
QImage tintedMask(const QImage& mask, const QColor& color) {
  const QImage alpha = mask.format() == QImage::Format_Alpha8 ? mask : mask.convertToFormat(QImage::Format_Alpha8);
  QImage image(alpha.size(), QImage::Format_ARGB32_Premultiplied);
  const QRgb ink = qPremultiply(color.rgba64()).toArgb32();  // as QPainter rounds a QColor
  for (int y = 0; y < alpha.height(); ++y) {
    const uchar* in = alpha.constScanLine(y);
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < alpha.width(); ++x) out[x] = times(ink, in[x]);
  }
  return image;
}

}  // namespace duskwarden::ui
