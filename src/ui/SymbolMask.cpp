#include "ui/SymbolMask.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
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

QImage tintedMask(const QImage& mask, const QColor& color) {
  QImage image(mask.size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.drawImage(0, 0, mask);
  // Keep the shape's alpha, take the colour.
  p.setCompositionMode(QPainter::CompositionMode_SourceIn);
  p.fillRect(image.rect(), color);
  return image;
}

}  // namespace duskwarden::ui
