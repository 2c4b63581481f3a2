#include "tray/TrayStatusItem.h"

#include "tray/QtStatusItem.h"
#include "tray/TrayHosts.h"
#include "ui/Symbols.h"

namespace duskwarden {

TrayStatusItem::TrayStatusItem(EventSource& events, QDBusConnection bus, const QString& xDisplay,
                               SniStatusItem::Options sni)
    : events_(events), bus_(bus), sniOptions_(std::move(sni)),
      hosts_(std::make_unique<TrayHosts>(bus, xDisplay)) {
  connect(hosts_.get(), &TrayHosts::changed, this, &TrayStatusItem::choose);
  choose();
}

TrayStatusItem::~TrayStatusItem() = default;

StatusItem* TrayStatusItem::current() const {
  if (sni_) return sni_.get();
  if (xembed_) return xembed_.get();
  return nullptr;
}

void TrayStatusItem::choose() {
  const bool hadTray = hasTray();
  Host wanted = hosts_->hasWatcher() ? Host::statusNotifier : hosts_->hasXEmbedTray() ? Host::xembed : Host::none;

  if (wanted == host_) {
    // The same kind of tray, but maybe a restarted panel: a new watcher knows
    // nothing of the items the old one had.
    if (host_ == Host::statusNotifier && hosts_->watcherOwner() != registeredWith_) {
      registeredWith_ = hosts_->watcherOwner();
      sni_->registerWithWatcher();
    }
    return;
  }

  sni_.reset();
  xembed_.reset();
  host_ = Host::none;
  if (wanted == Host::statusNotifier) {
    sni_ = std::make_unique<SniStatusItem>(bus_, events_, button_, sniOptions_);
    if (sni_->isExported()) {
      host_ = Host::statusNotifier;
      registeredWith_ = hosts_->watcherOwner();
      sni_->registerWithWatcher();
    } else {
      sni_.reset();
      wanted = hosts_->hasXEmbedTray() ? Host::xembed : Host::none;
    }
  }
  if (wanted == Host::xembed) {
    xembed_ = std::make_unique<QtStatusItem>(events_, &button_, sniOptions_.title);
    host_ = Host::xembed;
  }
  if (lastImage_) {
    if (StatusItem* item = current()) item->setImage(*lastImage_);
  }
  if (hadTray != hasTray() && onTrayChanged) onTrayChanged(hasTray());
}

bool TrayStatusItem::setImage(const SymbolImage& image) {
  if (StatusItem* item = current()) {
    if (!item->setImage(image)) return false;
  } else if (!ui::hasSymbol(QString::fromStdString(image.symbolName))) {
    return false;
  }
  lastImage_ = image;
  return true;
}

std::optional<Rect> TrayStatusItem::screenBounds() const {
  const StatusItem* item = current();
  return item ? item->screenBounds() : std::nullopt;
}

void TrayStatusItem::popUpMenu(const Menu& menu) {
  if (StatusItem* item = current()) item->popUpMenu(menu);
}

}  // namespace duskwarden
