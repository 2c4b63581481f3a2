#include "tray/sni/SniStatusItem.h"

#include "tray/PopoverPlacement.h"
#include "tray/QtPopover.h"
#include "tray/QtStatusItem.h"
#include "tray/sni/DBusMenuExporter.h"
#include "tray/sni/StatusNotifierItem.h"
#include "platform/bundle/BuildInfo.h"
#include "platform/log/Logger.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QtEndian>
#include <unistd.h>


namespace duskwarden {

namespace {

constexpr std::string_view kLogCategory = "Tray";

// The sizes hosts ask for most: panels of 16 to 32 pixels, HiDPI doubles.
constexpr int kPixmapSides[] = {16, 22, 24, 32, 48, 64};

sni::IconPixmapList pixmapsFor(const QIcon& icon) {
  sni::IconPixmapList list;
  for (int side : kPixmapSides) {
    const QImage image = icon.pixmap(QSize(side, side)).toImage().convertToFormat(QImage::Format_ARGB32);
    QByteArray argb(image.width() * image.height() * 4, Qt::Uninitialized);
    auto* out = reinterpret_cast<quint32*>(argb.data());
    for (int y = 0; y < image.height(); ++y) {
      const auto* row = reinterpret_cast<const quint32*>(image.constScanLine(y));
      for (int x = 0; x < image.width(); ++x) *out++ = qToBigEndian(row[x]);
    }
    list.append(sni::IconPixmap{image.width(), image.height(), argb});
  }
  return list;
}

// Our installed icon theme directory, when the symbols were installed beside
// the program (share/icons next to bin/); empty in a build tree.
QString installedIconTheme(const QString& id) {
  const QString icons = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/icons"));
  const QString probe = icons + QStringLiteral("/hicolor/scalable/status/") + id + QStringLiteral(".moonphase.first.quarter.svg");
  return QFileInfo::exists(probe) ? icons : QString();
}

Rect toRect(const QRect& r) { return Rect{r.x(), r.y(), r.width(), r.height()}; }

}  // namespace

SniStatusItem::SniStatusItem(QDBusConnection bus, EventSource& events, StatusItemButton& button, Options options)
    : bus_(std::move(bus)), events_(events), button_(button), options_(std::move(options)) {
  item_ = std::make_unique<StatusNotifierItem>(options_.id, options_.title, installedIconTheme(options_.id));
  menu_ = std::make_unique<DBusMenuExporter>([this] { return exportedMenu(); });
  menu_->onOpened = [this] {
    // Said, as hosts differ on when they ask: GNOME's asks once as it takes
    // the item in, with no menu on screen.
    logger(kLogCategory).log("The panel is about to show the tray menu");
    if (options_.hostMenuOpened) options_.hostMenuOpened();
  };
  item_->onActivate = [this](int x, int y) { click(EventType::leftMouseUp, x, y); };
  item_->onSecondaryActivate = [this](int x, int y) { click(EventType::leftMouseUp, x, y); };
  item_->onContextMenu = [this](int x, int y) { click(EventType::rightMouseUp, x, y); };
  anchor_ = anchorWithoutPosition();

  if (!bus_.isConnected()) return;
  // The name hosts know us by, as the protocol suggests: one per process and item.
  static int serial = 0;
  serviceName_ = QStringLiteral("org.kde.StatusNotifierItem-%1-%2").arg(::getpid()).arg(++serial);
  const auto exports = QDBusConnection::ExportScriptableContents;
  exported_ = bus_.registerObject(QString::fromLatin1(sni::kItemPath), item_.get(), exports) &&
              bus_.registerObject(QString::fromLatin1(sni::kMenuPath), menu_.get(), exports) &&
              bus_.registerService(serviceName_);
  if (!exported_) {
    logger(kLogCategory)
        .error("Cannot put the tray icon on the session bus: %{public}s", bus_.lastError().message().toStdString());
    return;
  }
  bus_.connect(QString::fromLatin1(sni::kWatcherService), QString::fromLatin1(sni::kWatcherPath),
               QString::fromLatin1(sni::kWatcherInterface), QStringLiteral("StatusNotifierHostRegistered"), this,
               SLOT(hostRegistered()));
  // A watcher whose host never says it registered still hears of the item.
  hostWait_ = new QTimer(this);
  hostWait_->setSingleShot(true);
  hostWait_->setInterval(std::chrono::seconds(5));
  connect(hostWait_, &QTimer::timeout, this, &SniStatusItem::hostRegistered);
}

SniStatusItem::~SniStatusItem() {
  if (shownMenu_) delete shownMenu_.data();
  if (!bus_.isConnected()) return;
  // Hosts drop the item when its name goes.
  if (!serviceName_.isEmpty()) bus_.unregisterService(serviceName_);
  bus_.unregisterObject(QString::fromLatin1(sni::kMenuPath));
  bus_.unregisterObject(QString::fromLatin1(sni::kItemPath));
}

void SniStatusItem::registerWithWatcher() {
  if (!exported_) return;
  // Hosts read the item as soon as they hear of it, and some (GNOME's
  // AppIndicator host) give up on one that has no icon yet: announce it
  // with its first image.
  if (shownKey_.empty()) {
    registrationPending_ = true;
    return;
  }
  registrationPending_ = false;
  // A panel that starts its watcher and its host together (waybar) can miss
  // an item announced between the two: its host reads the watcher's list as
  // it stood before, and hears of new items only once it has registered.
  // So with no host yet, the item waits for one.
  const int registration = ++registration_;
  auto get = QDBusMessage::createMethodCall(QString::fromLatin1(sni::kWatcherService),
                                            QString::fromLatin1(sni::kWatcherPath),
                                            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << QString::fromLatin1(sni::kWatcherInterface) << QStringLiteral("IsStatusNotifierHostRegistered");
  auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
  connect(pending, &QDBusPendingCallWatcher::finished, this, [this, registration](QDBusPendingCallWatcher* done) {
    done->deleteLater();
    if (registration != registration_) return;  // a newer watcher is being asked
    const QVariant hosted = done->reply().arguments().value(0).value<QDBusVariant>().variant();
    // A watcher that does not say whether a host is there is told at once.
    if (done->isError() || hosted.typeId() != QMetaType::Bool || hosted.toBool()) {
      announce();
    } else {
      waitingForHost_ = true;
      hostWait_->start();
    }
  });
}

void SniStatusItem::hostRegistered() {
  if (waitingForHost_) announce();
}

void SniStatusItem::announce() {
  waitingForHost_ = false;
  hostWait_->stop();
  auto call = QDBusMessage::createMethodCall(QString::fromLatin1(sni::kWatcherService),
                                             QString::fromLatin1(sni::kWatcherPath),
                                             QString::fromLatin1(sni::kWatcherInterface),
                                             QStringLiteral("RegisterStatusNotifierItem"));
  // Announced by the connection's unique name, not the well-known one: every
  // watcher takes a bus name, and GNOME's AppIndicator host, given a
  // well-known name, also watches that name, which races with its own first
  // read of the item and loses it about half the time.
  call << bus_.baseService();
  auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  connect(pending, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher* done) {
    if (done->isError())
      logger(kLogCategory)
          .error("The panel's tray did not take the icon: %{public}s", done->error().message().toStdString());
    done->deleteLater();
  });
}

Menu SniStatusItem::exportedMenu() {
  Menu menu;
  menu.items.push_back(MenuItem{text::translate("Tray", kShowControlsTitle), "", [this] {
                                  // Chosen from a menu the host drew: no click position comes with it.
                                  anchor_ = anchorWithoutPosition();
                                  if (options_.showControls) options_.showControls();
                                }});
  if (options_.menu) {
    const Menu rest = options_.menu();
    menu.items.insert(menu.items.end(), rest.items.begin(), rest.items.end());
  }
  return menu;
}

std::optional<Rect> SniStatusItem::anchorForHostPosition(int x, int y) {
  // Read as the call arrives: a click's call finds the pointer still on the icon.
  std::optional<Point> pointer;
  Rect available;
  if (pointerPositionIsReliable(options_.session)) {
    const QPoint at = QCursor::pos();
    pointer = Point{at.x(), at.y()};
    QScreen* screen = QGuiApplication::screenAt(at);
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) available = toRect(screen->availableGeometry());
  }
  const std::optional<Point> click = clickPosition(Point{x, y}, pointer, available);
  if (!click) return anchorWithoutPosition();
  lastHostPosition_ = Rect{click->x, click->y, 1, 1};
  return lastHostPosition_;
}

std::optional<Rect> SniStatusItem::anchorWithoutPosition() const {
  if (pointerPositionIsReliable(options_.session)) return std::nullopt;  // the pointer
  if (lastHostPosition_) return lastHostPosition_;
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return std::nullopt;
  return likelyTrayIcon(options_.session, toRect(screen->availableGeometry()));
}

void SniStatusItem::click(EventType type, int x, int y) {
  anchor_ = anchorForHostPosition(x, y);
  // Hosts pass no modifiers; a Control-click is read from the keyboard itself.
  const bool control = QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ControlModifier);
  button_.send(Event{type, control ? kControlKeyMask : 0}, events_);
}

bool SniStatusItem::setImage(const SymbolImage& image) {
  // Status updates re-send the same icon in bursts; hosts re-read every
  // pixmap on NewIcon, so only a real change goes out.
  const std::string key = image.symbolName + '/' + std::to_string(image.configuration.pointSize) + '/' +
                          std::to_string(static_cast<int>(image.configuration.weight));
  if (key == shownKey_ && image.accessibilityDescription == shownDescription_) return true;
  auto cached = pixmapCache_.find(key);
  if (cached == pixmapCache_.end()) {
    const QIcon icon = trayIconForSymbol(image);
    if (icon.isNull()) return false;
    cached = pixmapCache_.emplace(key, pixmapsFor(icon)).first;
  }
  const QString themeName = item_->iconThemePath().isEmpty()
                                ? QString()
                                : options_.id + QLatin1Char('.') + QString::fromStdString(image.symbolName);
  item_->setIcon(themeName, cached->second, QString::fromStdString(image.accessibilityDescription));
  shownKey_ = key;
  shownDescription_ = image.accessibilityDescription;
  if (registrationPending_) registerWithWatcher();
  return true;
}

void SniStatusItem::popUpMenu(const Menu& menu) {
  if (shownMenu_) shownMenu_->deleteLater();
  QMenu* qmenu = makeQMenu(menu).release();
  qmenu->setAttribute(Qt::WA_DeleteOnClose);
  shownMenu_ = qmenu;
  qmenu->popup(popupPosition(anchor_, qmenu->sizeHint()));
}

QMenu* SniStatusItem::shownMenuForTesting() const { return shownMenu_.data(); }

}  // namespace duskwarden
