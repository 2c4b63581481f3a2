#include "tray/sni/StatusNotifierItem.h"

namespace duskwarden {

StatusNotifierItem::StatusNotifierItem(QString id, QString title, QString iconThemePath, QObject* parent)
    : QObject(parent), id_(std::move(id)), title_(std::move(title)), iconThemePath_(std::move(iconThemePath)) {
  sni::registerTypes();
}

void StatusNotifierItem::setIcon(const QString& themeName, const sni::IconPixmapList& pixmaps,
                                 const QString& description) {
  iconName_ = themeName;
  pixmaps_ = pixmaps;
  const bool described = description != description_;
  description_ = description;
  Q_EMIT NewIcon();
  if (described) Q_EMIT NewToolTip();
}

void StatusNotifierItem::Activate(int x, int y) {
  if (onActivate) onActivate(x, y);
}

void StatusNotifierItem::SecondaryActivate(int x, int y) {
  if (onSecondaryActivate) onSecondaryActivate(x, y);
}

void StatusNotifierItem::ContextMenu(int x, int y) {
  if (onContextMenu) onContextMenu(x, y);
}

void StatusNotifierItem::Scroll(int, const QString&) {
  // Scrolling over the icon has no meaning here.
}

}  // namespace duskwarden
