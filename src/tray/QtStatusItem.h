#pragma once
// The status item over QSystemTrayIcon, for XEmbed trays (TrayStatusItem
// makes one only where no StatusNotifierItem watcher exists).
//
// Tray hosts report activations, not button-ups: the primary activation (a
// left click; XEmbed hosts send it on the press) becomes a left mouse-up, the
// context activation a right mouse-up, and Control held during the primary
// one sets the Control flag. No context menu is ever attached to the tray
// icon, so every click reaches the button's action.
//
// The XEmbed protocol carries no name for an icon; its tooltip, which Qt
// shows on hover, is the application's name over the accessibility
// description, as a StatusNotifierItem's tooltip is.

#include "tray/StatusItem.h"

#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include <map>
#include <string>
#include <memory>
#include <optional>

#include <QMenu>

namespace duskwarden {

std::optional<Event> eventForActivation(QSystemTrayIcon::ActivationReason reason, Qt::KeyboardModifiers modifiers);

// A QMenu for `menu`; each item's action runs when it is triggered.
std::unique_ptr<QMenu> makeQMenu(const Menu& menu);

// The tray icon for a symbol: the glyph in a light tone ringed with a dark
// one, so it reads on light and dark panels, drawn at the pixel size asked
// for when it is asked for (HiDPI hosts get a sharp one; only the sizes a
// host uses take memory). Null when the symbol is unknown.
QIcon trayIconForSymbol(const SymbolImage& image);

class QtStatusItem final : public QObject, public StatusItem {
  Q_OBJECT
 public:
  // Clicks go through `button` when given (an item that changes trays keeps
  // one button), else through its own. `title` heads the tooltip.
  explicit QtStatusItem(EventSource& events, StatusItemButton* button = nullptr, QString title = {});
  ~QtStatusItem() override;

  StatusItemButton& button() override { return button_; }
  bool setImage(const SymbolImage& image) override;
  std::optional<Rect> screenBounds() const override;
  void popUpMenu(const Menu& menu) override;

  QSystemTrayIcon& trayIconForTesting() { return tray_; }

 private:
  void activated(QSystemTrayIcon::ActivationReason reason);

  EventSource& events_;
  StatusItemButton ownButton_;
  StatusItemButton& button_;
  QString title_;
  QSystemTrayIcon tray_;
  QPointer<QMenu> menu_;
  std::map<std::string, QIcon> iconCache_;  // rendered tray icons by symbol and configuration
  std::string shownKey_;
  std::string shownDescription_;
};

}  // namespace duskwarden
