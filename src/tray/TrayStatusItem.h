#pragma once
// The status item the delegate holds, on whichever tray the desktop offers,
// chosen again whenever that changes:
//   - a StatusNotifierItem watcher: our own item (SniStatusItem);
//   - otherwise an XEmbed tray: QSystemTrayIcon (QtStatusItem);
//   - neither: no icon; the image is kept for when a tray appears.
//
// QSystemTrayIcon decides once per process, when the first one is made,
// whether to speak StatusNotifierItem itself (and then drops click
// positions). One is only ever made while there is no watcher, so its
// decision is always XEmbed.

#include "tray/StatusItem.h"
#include "tray/sni/SniStatusItem.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>

namespace duskwarden {

class QtStatusItem;
class TrayHosts;

class TrayStatusItem final : public QObject, public StatusItem {
  Q_OBJECT
 public:
  enum class Host { none, statusNotifier, xembed };

  // `xDisplay`: the X display whose XEmbed tray may hold the icon (empty: none).
  TrayStatusItem(EventSource& events, QDBusConnection bus, const QString& xDisplay, SniStatusItem::Options sni);
  ~TrayStatusItem() override;

  Host host() const { return host_; }
  bool hasTray() const { return host_ != Host::none; }
  // Runs when the desktop gains its first tray or loses its last one.
  std::function<void(bool hasTray)> onTrayChanged;

  StatusItemButton& button() override { return button_; }
  bool setImage(const SymbolImage& image) override;
  std::optional<Rect> screenBounds() const override;
  void popUpMenu(const Menu& menu) override;

  SniStatusItem* statusNotifierItemForTesting() const { return sni_.get(); }

 private:
  void choose();
  StatusItem* current() const;

  EventSource& events_;
  QDBusConnection bus_;
  SniStatusItem::Options sniOptions_;
  StatusItemButton button_;
  std::unique_ptr<TrayHosts> hosts_;
  Host host_ = Host::none;
  QString registeredWith_;  // the watcher owner our item was last announced to
  std::unique_ptr<SniStatusItem> sni_;
  std::unique_ptr<QtStatusItem> xembed_;
  std::optional<SymbolImage> lastImage_;
};

}  // namespace duskwarden
