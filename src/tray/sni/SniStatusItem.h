#pragma once
// The status item as a StatusNotifierItem of our own, for panels that host
// them (Plasma, Xfce, swaybar, waybar, GNOME with the AppIndicator host).
//
// Clicks arrive as the host's calls, each with the screen position the host
// passes: Activate becomes a left mouse-up, ContextMenu a right mouse-up;
// SecondaryActivate (a middle click) counts as Activate, the one action that
// needs no menu. Control held on the keyboard is carried, so a Control-click
// opens the menu as it does on any tray. The position, checked against the
// pointer, is the anchor the popover and our menu open at. Hosts that draw
// the item's menu themselves read it as dbusmenu: it starts with "Show
// Controls", since some (GNOME's AppIndicator host) open the menu on a left
// click and never call Activate.

#include "platform/text/Text.h"
#include "tray/DesktopSession.h"
#include "tray/StatusItem.h"
#include "tray/sni/SniProtocol.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>

class QMenu;
class QTimer;

namespace duskwarden {

class DBusMenuExporter;
class StatusNotifierItem;

inline constexpr const char* kShowControlsTitle = DW_TRANSLATE_NOOP("Tray", "Show Controls");

class SniStatusItem final : public QObject, public StatusItem {
  Q_OBJECT
 public:
  struct Options {
    QString id;                      // the item's Id: the application id
    std::function<Menu()> menu;      // the menu below "Show Controls"
    std::function<void()> showControls;
    std::function<void()> hostMenuOpened;  // the host is showing our menu
    DesktopSession session;
    QString title;                   // the application's name: the item's Title and its tooltip's
  };

  // Exports the item and its menu on `bus`; `button` and `events` carry its clicks.
  SniStatusItem(QDBusConnection bus, EventSource& events, StatusItemButton& button, Options options);
  ~SniStatusItem() override;

  // Whether the item and its menu are on the bus under a name of their own.
  bool isExported() const { return exported_; }
  QString serviceNameForTesting() const { return serviceName_; }
  // Tells the current watcher about the item (again after a panel restart);
  // waits for the first image when there is none yet, and for a host to have
  // registered with the watcher when none has.
  void registerWithWatcher();

  StatusItemButton& button() override { return button_; }
  bool setImage(const SymbolImage& image) override;
  std::optional<Rect> screenBounds() const override { return anchor_; }
  void popUpMenu(const Menu& menu) override;

  StatusNotifierItem& item() { return *item_; }
  DBusMenuExporter& menuExporter() { return *menu_; }
  QMenu* shownMenuForTesting() const;

  // The anchor for a click the host placed at (x, y), checked against the
  // pointer where that is real (clickPosition has the rule).
  std::optional<Rect> anchorForHostPosition(int x, int y);
  // The anchor when nobody said where: the pointer where its position is
  // real, else the place the host last gave, else the tray's likely corner.
  std::optional<Rect> anchorWithoutPosition() const;

 private:
  void click(EventType type, int x, int y);
  Menu exportedMenu();
  void announce();
  Q_SLOT void hostRegistered();

  QDBusConnection bus_;
  EventSource& events_;
  StatusItemButton& button_;
  Options options_;
  std::unique_ptr<StatusNotifierItem> item_;
  std::unique_ptr<DBusMenuExporter> menu_;
  QString serviceName_;
  bool exported_ = false;
  bool registrationPending_ = false;
  bool waitingForHost_ = false;
  int registration_ = 0;  // which registerWithWatcher() a watcher's reply answers
  QTimer* hostWait_ = nullptr;
  std::optional<Rect> anchor_;
  std::optional<Rect> lastHostPosition_;
  QPointer<QMenu> shownMenu_;
  std::map<std::string, QList<sni::IconPixmap>> pixmapCache_;  // by symbol and configuration
  std::string shownKey_;
  std::string shownDescription_;
};

}  // namespace duskwarden
