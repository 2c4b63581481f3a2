#include "ui/Symbols.h"

#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <cmath>

// Resources compiled into a static library must be registered by hand.
static void initSymbolResources() { Q_INIT_RESOURCE(symbols); }

namespace duskwarden::ui {

namespace {

QString resourcePath(const QString& name) { return QStringLiteral(":/symbols/%1.svg").arg(name); }

void ensureResources() {
  static const bool done = [] {
    initSymbolResources();
    return true;
  }();
  (void)done;
}

double strokeScale(SymbolConfiguration::Weight weight) {
  switch (weight) {
    case SymbolConfiguration::Weight::regular:
      return 1.0;
    case SymbolConfiguration::Weight::semibold:
      return 1.25;
    case SymbolConfiguration::Weight::bold:
      return 1.5;
    case SymbolConfiguration::Weight::heavy:
      return 1.9;
  }
  return 1.0;
}

// The SVG with every stroke-width scaled for the weight.
QByteArray weightedSvg(const QByteArray& svg, SymbolConfiguration::Weight weight) {
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

class SymbolIconEngine final : public QIconEngine {
 public:
  SymbolIconEngine(QByteArray svg, QString name, SymbolConfiguration config, QColor color)
      : svg_(std::move(svg)), name_(std::move(name)), config_(config), color_(color) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawPixmap(rect, render(rect.size() * dpr, mode, dpr));
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override { return render(size, mode, 1.0); }

  // QIcon hands this the size in device pixels already.
  QPixmap scaledPixmap(const QSize& deviceSize, QIcon::Mode mode, QIcon::State, qreal scale) override {
    return render(deviceSize, mode, scale);
  }

  QPixmap render(const QSize& device, QIcon::Mode mode, qreal scale) const {
    if (device.isEmpty()) return {};
    QImage image(device, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
      QPainter p(&image);
      p.setRenderHint(QPainter::Antialiasing);
      QSvgRenderer renderer(svg_);
      renderer.setAspectRatioMode(Qt::KeepAspectRatio);
      renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(device)));
      // Keep the shape's alpha, take the colour.
      p.setCompositionMode(QPainter::CompositionMode_SourceIn);
      QColor c = color_;
      if (mode == QIcon::Disabled) c.setAlphaF(c.alphaF() * 0.4F);
      p.fillRect(image.rect(), c);
    }
    QPixmap pm = QPixmap::fromImage(std::move(image));
    pm.setDevicePixelRatio(scale);
    return pm;
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {symbolSize(config_)}; }

  QString iconName() override { return name_; }
  QString key() const override { return QStringLiteral("duskwarden-symbol"); }
  QIconEngine* clone() const override { return new SymbolIconEngine(*this); }

 private:
  QByteArray svg_;
  QString name_;
  SymbolConfiguration config_;
  QColor color_;
};

}  // namespace

bool hasSymbol(const QString& symbolName) {
  ensureResources();
  return !symbolName.isEmpty() && !symbolName.contains(u'/') && QFile::exists(resourcePath(symbolName));
}

QSize symbolSize(const SymbolConfiguration& config) {
  const int side = std::max(1, static_cast<int>(std::lround(config.pointSize)));
  return {side, side};
}

QIcon symbolIcon(const QString& symbolName, const SymbolConfiguration& config, const QColor& color) {
  if (!hasSymbol(symbolName)) return {};
  QFile file(resourcePath(symbolName));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QIcon(new SymbolIconEngine(weightedSvg(file.readAll(), config.weight), symbolName, config, color));
}

}  // namespace duskwarden::ui
