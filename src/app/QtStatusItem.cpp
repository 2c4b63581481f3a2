#include "app/QtStatusItem.h"

#include "app/QtPopover.h"
#include "ui/Symbols.h"

#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QPainter>
#include <QShortcut>
#include <QTimer>

#include <algorithm>
#include <array>

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
ui::SymbolConfiguration::Weight uiWeight(SymbolWeight weight) {
  switch (weight) {
    case SymbolWeight::regular:
      return ui::SymbolConfiguration::Weight::regular;
    case SymbolWeight::semibold:
      return ui::SymbolConfiguration::Weight::semibold;
    case SymbolWeight::bold:
      return ui::SymbolConfiguration::Weight::bold;
    case SymbolWeight::heavy:
      return ui::SymbolConfiguration::Weight::heavy;
  }
  return ui::SymbolConfiguration::Weight::regular;
}

}  // namespace

QIcon trayIconForSymbol(const SymbolImage& image) {
  const QString name = QString::fromStdString(image.symbolName);
  const ui::SymbolConfiguration config{image.configuration.pointSize, uiWeight(image.configuration.weight)};
  const QIcon glyph = ui::symbolIcon(name, config, QColor(0xf4, 0xf4, 0xf4));
  const QIcon ring = ui::symbolIcon(name, config, QColor(0x1c, 0x1c, 0x1c));
  if (glyph.isNull() || ring.isNull()) return {};

  QIcon icon;
  for (int side : {16, 22, 24, 32, 44, 48, 64, 96, 128}) {
    const int outline = std::max(1, side / 16);
    const int inner = side - 2 * outline;
    const QPixmap light = glyph.pixmap(QSize(inner, inner));
    const QPixmap dark = ring.pixmap(QSize(inner, inner));
    QImage canvas(side, side, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    for (int dx = -outline; dx <= outline; ++dx)
      for (int dy = -outline; dy <= outline; ++dy)
        if (dx != 0 || dy != 0) painter.drawPixmap(outline + dx, outline + dy, dark);
    painter.drawPixmap(outline, outline, light);
    painter.end();
    icon.addPixmap(QPixmap::fromImage(canvas));
  }
  return icon;
}

QtStatusItem::QtStatusItem(EventSource& events, StatusItemButton* button)
    : events_(events), button_(button ? *button : ownButton_) {
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
  tray_.setToolTip(QString::fromStdString(image.accessibilityDescription));
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
