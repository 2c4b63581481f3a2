#include "tray/QtStatusItem.h"

#include "tray/QtPopover.h"
#include "ui/BakedSymbols.h"
#include "ui/Symbols.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QKeySequence>
#include <QMenu>
#include <QPainter>
#include <QShortcut>
#include <QTimer>

#include <algorithm>

namespace duskwarden {

std::optional<Event> eventForActivation(QSystemTrayIcon::ActivationReason reason, Qt::KeyboardModifiers modifiers) {
  const std::uint64_t flags = modifiers.testFlag(Qt::ControlModifier) ? kControlKeyMask : 0;
  switch (reason) {
    case QSystemTrayIcon::Trigger:
      return Event{EventType::leftMouseUp, flags};
    case QSystemTrayIcon::Context:
      return Event{EventType::rightMouseUp, flags};
    default:
      // A double click's first press already toggled; middle clicks mean nothing here.
      return std::nullopt;
  }
}

std::unique_ptr<QMenu> makeQMenu(const Menu& menu) {
  auto qmenu = std::make_unique<QMenu>();
  for (const auto& item : menu.items) {
    if (item.isSeparator) {
      qmenu->addSeparator();
      continue;
    }
    QAction* action = qmenu->addAction(QString::fromStdString(item.title));
    if (!item.keyEquivalent.empty()) {
      const QKeySequence keys = QKeySequence::fromString(QString::fromStdString(item.keyEquivalent));
      action->setShortcut(keys);  // shown beside the title
      // Qt does not match a standalone popup menu's own action shortcuts, so
      // the menu window carries one that does.
      auto* shortcut = new QShortcut(keys, qmenu.get());
      QMenu* owner = qmenu.get();
      QObject::connect(shortcut, &QShortcut::activated, action, [owner, action] {
        owner->close();
        action->trigger();
      });
    }
    if (item.action) {
      auto run = item.action;
      // Deferred, so the menu has closed before the action (a dialog, Quit)
      // runs; owned by the application, since the menu deletes itself on close.
      QObject::connect(action, &QAction::triggered, [run] { QTimer::singleShot(0, QCoreApplication::instance(), run); });
    }
  }
  return qmenu;
}

namespace {
ui::SymbolWeight uiWeight(SymbolWeight weight) {
  switch (weight) {
    case SymbolWeight::regular:
      return ui::SymbolWeight::regular;
    case SymbolWeight::semibold:
      return ui::SymbolWeight::semibold;
    case SymbolWeight::bold:
      return ui::SymbolWeight::bold;
    case SymbolWeight::heavy:
      return ui::SymbolWeight::heavy;
  }
  return ui::SymbolWeight::regular;
}

class TrayIconEngine final : public QIconEngine {
 public:
  TrayIconEngine(QString name, ui::SymbolWeight weight) : name_(std::move(name)), weight_(weight) {}

  void paint(QPainter* painter, const QRect& rect, QIcon::Mode, QIcon::State) override {
    const qreal dpr = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    painter->drawPixmap(rect, render(rect.size() * dpr, dpr));
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override { return render(size, 1.0); }
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode, QIcon::State, qreal scale) override {
    return render(ui::scaledPixmapDeviceSize(size, scale), scale);
  }
  // Square, so that QIcon::paint centres the symbol in a tray slot that is
  // not (trayer's is taller than wide) instead of stretching it.
  QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
    const int side = std::min(size.width(), size.height());
    return {side, side};
  }
  QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
    QList<QSize> sizes;
    for (int side : ui::kTrayIconSides) sizes.append(QSize(side, side));
    return sizes;
  }
  QString iconName() override { return name_; }
  QString key() const override { return QStringLiteral("duskwarden-tray"); }
  QIconEngine* clone() const override { return new TrayIconEngine(name_, weight_); }

 private:
  // An XEmbed tray repaints at one size; keep that one, not every size drawn.
  QPixmap render(QSize device, qreal scale) {
    const int side = std::min(device.width(), device.height());
    if (side <= 0) return {};
    if (last_.width() != side || last_.devicePixelRatio() != scale) {
      last_ = QPixmap::fromImage(compose(side));
      last_.setDevicePixelRatio(scale);
    }
    return last_;
  }

  QImage compose(int side) const {
    const int outline = ui::trayOutline(side);
    const int inner = ui::trayGlyphSide(side);
    const QImage mask = ui::symbolMask(name_, weight_, QSize(inner, inner));
    QImage canvas(side, side, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    if (mask.isNull()) return canvas;
    const QImage light = ui::tintedMask(mask, QColor(0xf4, 0xf4, 0xf4));
    const QImage dark = ui::tintedMask(mask, QColor(0x1c, 0x1c, 0x1c));
    QPainter painter(&canvas);
    for (int dx = -outline; dx <= outline; ++dx)
      for (int dy = -outline; dy <= outline; ++dy)
        if (dx != 0 || dy != 0) painter.drawImage(outline + dx, outline + dy, dark);
    painter.drawImage(outline, outline, light);
    return canvas;
  }

  QString name_;
  ui::SymbolWeight weight_;
  QPixmap last_;
};

}  // namespace

QIcon trayIconForSymbol(const SymbolImage& image) {
  const QString name = QString::fromStdString(image.symbolName);
  if (!ui::hasSymbol(name)) return {};
  return QIcon(new TrayIconEngine(name, uiWeight(image.configuration.weight)));
}

QtStatusItem::QtStatusItem(EventSource& events, StatusItemButton* button, QString title)
    : events_(events), button_(button ? *button : ownButton_), title_(std::move(title)) {
  connect(&tray_, &QSystemTrayIcon::activated, this, &QtStatusItem::activated);
}

QtStatusItem::~QtStatusItem() {
  if (menu_) delete menu_.data();
}

void QtStatusItem::activated(QSystemTrayIcon::ActivationReason reason) {
  if (auto event = eventForActivation(reason, QGuiApplication::keyboardModifiers())) button_.send(*event, events_);
}

bool QtStatusItem::setImage(const SymbolImage& image) {
  // Every applied status re-sends the icon, hundreds of times a second under a
  // burst of change notifications; rendering and re-sending an unchanged icon
  // each time starved input. Render each symbol once and skip no-op updates.
  const std::string key = image.symbolName + '/' + std::to_string(image.configuration.pointSize) + '/' +
                          std::to_string(static_cast<int>(image.configuration.weight));
  auto cached = iconCache_.find(key);
  if (cached == iconCache_.end()) {
    QIcon rendered = trayIconForSymbol(image);
    if (rendered.isNull()) return false;
    cached = iconCache_.emplace(key, std::move(rendered)).first;
  }
  if (tray_.isVisible() && key == shownKey_ && image.accessibilityDescription == shownDescription_) return true;
  tray_.setIcon(cached->second);
  const QString description = QString::fromStdString(image.accessibilityDescription);
  tray_.setToolTip(title_.isEmpty() ? description : title_ + QLatin1Char('\n') + description);
  shownKey_ = key;
  shownDescription_ = image.accessibilityDescription;
  // Shown with its first image: until then there is nothing to show.
  if (!tray_.isVisible()) tray_.show();
  return true;
}

std::optional<Rect> QtStatusItem::screenBounds() const {
  const QRect r = tray_.geometry();
  if (!r.isValid() || r.isEmpty()) return std::nullopt;
  return Rect{r.x(), r.y(), r.width(), r.height()};
}

void QtStatusItem::popUpMenu(const Menu& menu) {
  if (menu_) menu_->deleteLater();
  QMenu* qmenu = makeQMenu(menu).release();
  qmenu->setAttribute(Qt::WA_DeleteOnClose);
  menu_ = qmenu;
  qmenu->popup(popupPosition(screenBounds(), qmenu->sizeHint()));
}

}  // namespace duskwarden
