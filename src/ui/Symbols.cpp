#include "ui/Symbols.h"

#include "ui/BakedSymbols.h"

#include <QFile>
#include <QIconEngine>
#include <QLibraryInfo>
#include <QVersionNumber>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cmath>
#include <cstring>

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

const BakedMask* findBaked(const QString& name, SymbolWeight weight, QSize size) {
  if (size.width() != size.height()) return nullptr;
  const QByteArray latin = name.toLatin1();
  const auto* end = kBakedMasks + kBakedMaskCount;
  const auto* found = std::find_if(kBakedMasks, end, [&](const BakedMask& m) {
    return m.side == size.width() && m.weight == weight && std::strcmp(m.name, latin.constData()) == 0;
  });
  return found == end ? nullptr : found;
}

class SymbolIconEngine final : public QIconEngine {
 public:
  SymbolIconEngine(QString name, SymbolConfiguration config, QColor color)
      : name_(std::move(name)), config_(config), color_(color) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
    const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawPixmap(rect, render(rect.size() * dpr, mode, dpr));
  }

  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override { return render(size, mode, 1.0); }

  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
    return render(scaledPixmapDeviceSize(size, scale), mode, scale);
  }

  QPixmap render(const QSize& device, QIcon::Mode mode, qreal scale) const {
    const QImage mask = symbolMask(name_, config_.weight, device);
    if (mask.isNull()) return {};
    QColor c = color_;
    if (mode == QIcon::Disabled) c.setAlphaF(c.alphaF() * 0.4F);
    QPixmap pm = QPixmap::fromImage(tintedMask(mask, c));
    pm.setDevicePixelRatio(scale);
    return pm;
  }

  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {symbolSize(config_)}; }

  QString iconName() override { return name_; }
  QString key() const override { return QStringLiteral("duskwarden-symbol"); }
  QIconEngine* clone() const override { return new SymbolIconEngine(*this); }

 private:
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

QSize scaledPixmapDeviceSize(QSize size, qreal scale) {
  static const bool logical = QLibraryInfo::version() >= QVersionNumber(6, 8);
  return logical ? size * scale : size;
}

bool isBakedForTesting(const QString& symbolName, SymbolWeight weight, QSize deviceSize) {
  return findBaked(symbolName, weight, deviceSize) != nullptr;
}

QImage symbolMask(const QString& symbolName, SymbolWeight weight, QSize deviceSize) {
  if (deviceSize.isEmpty() || !hasSymbol(symbolName)) return {};
  if (const BakedMask* baked = findBaked(symbolName, weight, deviceSize)) {
    const QByteArray plain = qUncompress(baked->data, baked->size);
    const int side = baked->side;
    if (plain.size() != qsizetype{side} * side) return {};
    QImage mask(side, side, QImage::Format_Alpha8);
    for (int y = 0; y < side; ++y) std::memcpy(mask.scanLine(y), plain.constData() + qsizetype{y} * side, side);
    return mask;
  }
  QFile file(resourcePath(symbolName));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return renderSymbolMask(file.readAll(), weight, deviceSize);
}

QIcon symbolIcon(const QString& symbolName, const SymbolConfiguration& config, const QColor& color) {
  if (!hasSymbol(symbolName)) return {};
  return QIcon(new SymbolIconEngine(symbolName, config, color));
}

}  // namespace duskwarden::ui
