// The tray room against a real dbus-daemon of its own: the dbusmenu a host
// reads, and the StatusNotifierItem moving with a watcher that comes, is
// replaced and goes. The watcher is a stand-in that records registrations.

#include "tray/QtStatusItem.h"
#include "tray/sni/DBusMenuExporter.h"
#include "tray/sni/SniStatusItem.h"
#include "tray/sni/StatusNotifierItem.h"
#include "tray/TrayStatusItem.h"

#include "QtSpin.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QMenu>
#include <QProcess>

using namespace duskwarden;
using duskwarden::testing::spinUntil;

namespace {

void app() { duskwarden::testing::ensureQtApp<QApplication>(); }


// A session bus of the test's own, with two connections: the program's and a host's.
class PrivateBus {
 public:
  PrivateBus() {
    daemon_.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--nosyslog", "--print-address=1"});
    if (!daemon_.waitForReadyRead(10000)) return;
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
  }
  ~PrivateBus() {
    for (const auto& name : names_) QDBusConnection::disconnectFromBus(name);
    daemon_.kill();
    daemon_.waitForFinished();
  }
  QDBusConnection connect(const QString& name) {
    names_ << name;
    return QDBusConnection::connectToBus(address_, name);
  }
  bool ok() const { return !address_.isEmpty(); }

 private:
  QProcess daemon_;
  QString address_;
  QStringList names_;
};

QDBusMessage call(QDBusConnection& bus, const QString& service, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& args = {}) {
  auto message = QDBusMessage::createMethodCall(service, path, interface, method);
  message.setArguments(args);
  // Async and spun, so the program's side of the same process can answer.
  QDBusPendingCall pending = bus.asyncCall(message);
  EXPECT_TRUE(spinUntil("an answer to " + method.toStdString(), [&] { return pending.isFinished(); }));
  return pending.reply();
}

sni::MenuLayoutItem layoutFrom(const QDBusMessage& reply) {
  sni::MenuLayoutItem root;
  qvariant_cast<QDBusArgument>(reply.arguments().at(1)) >> root;
  return root;
}

class Tray : public ::testing::Test {
 protected:
  void SetUp() override {
    app();
    sni::registerTypes();
    ASSERT_TRUE(bus.ok()) << "dbus-daemon did not start";
    program = bus.connect("program");
    host = bus.connect("host");
    ASSERT_TRUE(program.isConnected() && host.isConnected());
  }
  PrivateBus bus;
  QDBusConnection program{QString()};
  QDBusConnection host{QString()};
};

TEST_F(Tray, HostsReadTheMenuAClickRunsItsItemAndTheRevisionGrowsOnlyWhenItReadsDifferently) {
  int checks = 0;
  std::string first = "Check for Updates...";
  DBusMenuExporter menu([&] {
    return Menu{{MenuItem{first, "", [&] { ++checks; }}, MenuItem::separatorItem(),
                 MenuItem{"Quit Dusk_warden", "Ctrl+Q", [] {}}}};
  });
  ASSERT_TRUE(program.registerObject("/MenuBar", &menu, QDBusConnection::ExportScriptableContents));
  const QString me = program.baseService();
  auto menuCall = [&](const char* method, const QVariantList& args) {
    return call(host, me, "/MenuBar", sni::kMenuInterface, method, args);
  };
  auto event = [&](int id, const char* what) {
    return menuCall("Event", {id, QString::fromLatin1(what), QVariant::fromValue(QDBusVariant(0)), 0u});
  };
  std::vector<uint> updates;
  QObject::connect(&menu, &DBusMenuExporter::LayoutUpdated, [&](uint revision, int) { updates.push_back(revision); });

  const auto reply = menuCall("GetLayout", {0, -1, QStringList{}});
  ASSERT_EQ(reply.signature(), "u(ia{sv}av)") << reply.errorMessage().toStdString();
  const auto root = layoutFrom(reply);
  EXPECT_EQ(root.properties.value("children-display").toString(), "submenu");
  ASSERT_EQ(root.children.size(), 3);
  EXPECT_EQ(root.children[0].id, 1);
  EXPECT_EQ(root.children[0].properties.value("label").toString(), "Check for Updates...");
  EXPECT_FALSE(root.children[0].properties.contains("shortcut"));
  EXPECT_EQ(root.children[1].properties.value("type").toString(), "separator");
  EXPECT_EQ(root.children[2].properties.value("label").toString(), "Quit Dusk__warden") << "a literal _ is doubled";
  EXPECT_EQ(qdbus_cast<sni::MenuShortcut>(root.children[2].properties.value("shortcut")),
            (sni::MenuShortcut{{"Control", "q"}}));
  // Depth 0 and a property filter, as hosts refresh one thing; unknown ids.
  EXPECT_TRUE(layoutFrom(menuCall("GetLayout", {0, 0, QStringList{}})).children.isEmpty());
  EXPECT_EQ(layoutFrom(menuCall("GetLayout", {0, -1, QStringList{"label"}})).children[2].properties.keys(),
            QStringList{"label"});
  EXPECT_EQ(menuCall("GetLayout", {7, -1, QStringList{}}).type(), QDBusMessage::ErrorMessage);
  const auto group = menuCall("GetGroupProperties", {QVariant::fromValue(QList<int>{3, 7}), QStringList{}});
  EXPECT_EQ(qdbus_cast<sni::MenuItemPropertiesList>(group.arguments().at(0)).size(), 1) << "unknown ids left out";

  // A click runs its item once the host has its answer; separators and hovers run nothing.
  EXPECT_EQ(event(1, "clicked").type(), QDBusMessage::ReplyMessage);
  EXPECT_TRUE(spinUntil("the clicked item to run", [&] { return checks == 1; }));
  event(2, "clicked");
  event(1, "hovered");
  EXPECT_EQ(event(9, "clicked").type(), QDBusMessage::ErrorMessage);
  QCoreApplication::processEvents();
  EXPECT_EQ(checks, 1);

  // Rebuilt before each showing: the same reading keeps the revision, a new one bumps it.
  const uint before = menu.revision();
  EXPECT_FALSE(menuCall("AboutToShow", {0}).arguments().at(0).toBool());
  first = "Check for Updates Now...";
  EXPECT_TRUE(menuCall("AboutToShow", {0}).arguments().at(0).toBool());
  EXPECT_EQ(updates, (std::vector<uint>{before + 1}));
  const auto relabelled = menuCall("GetLayout", {0, -1, QStringList{}});
  EXPECT_EQ(relabelled.arguments().at(0).toUInt(), before + 1);
  EXPECT_EQ(layoutFrom(relabelled).children[0].properties.value("label").toString(), "Check for Updates Now...");
}

// The watcher's side, as a panel runs it: it records who registered.
class WatcherStandIn : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
 public:
  QStringList registered;  // "sender argument"
 public Q_SLOTS:
  Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString& service) {
    registered << message().service() + ' ' + service;
  }
};

// A watcher that says whether its panel's host has registered yet, and
// signals when it does, as waybar's starts its watcher before its host.
class HostAwareWatcherStandIn : public WatcherStandIn {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered SCRIPTABLE true)
 public:
  bool hostRegistered() {
    ++hostAsked;
    return hosted;
  }
  bool hosted = false;
  int hostAsked = 0;
 Q_SIGNALS:
  Q_SCRIPTABLE void StatusNotifierHostRegistered();
};

bool startWatcher(QDBusConnection& connection, WatcherStandIn& watcher) {
  return connection.registerObject(sni::kWatcherPath, &watcher, QDBusConnection::ExportScriptableContents) &&
         connection.registerService(sni::kWatcherService);
}

// What a host reads of the item showing `icon`, as `me` on `host`.
void expectWhatTheHostReads(QDBusConnection& host, const QString& me, const SymbolImage& icon) {
  auto property = [&](const char* name) {
    const auto reply = call(host, me, sni::kItemPath, "org.freedesktop.DBus.Properties", "Get",
                            {QString::fromLatin1(sni::kItemInterface), QString::fromLatin1(name)});
    return reply.arguments().value(0).value<QDBusVariant>().variant();
  };
  EXPECT_EQ(property("Category").toString(), "ApplicationStatus");
  EXPECT_EQ(property("Id").toString(), "com.quillmoor.Duskwarden");
  EXPECT_FALSE(property("ItemIsMenu").toBool());
  EXPECT_EQ(qdbus_cast<QDBusObjectPath>(property("Menu")).path(), sni::kMenuPath);
  EXPECT_EQ(property("Title").toString(), "Duskwarden");
  EXPECT_EQ(qdbus_cast<sni::ToolTip>(property("ToolTip")).title, "Duskwarden");
  EXPECT_EQ(qdbus_cast<sni::ToolTip>(property("ToolTip")).description, "Night Shift Inactive");
  // Pixmaps: several sizes, ARGB32 in network byte order, as drawn for XEmbed.
  const auto pixmaps = qdbus_cast<sni::IconPixmapList>(property("IconPixmap"));
  ASSERT_GE(pixmaps.size(), 3);
  const QImage drawn = trayIconForSymbol(icon).pixmap(QSize(24, 24)).toImage().convertToFormat(QImage::Format_ARGB32);
  const auto at24 = std::find_if(pixmaps.begin(), pixmaps.end(), [](const auto& p) { return p.width == 24; });
  ASSERT_NE(at24, pixmaps.end());
  ASSERT_EQ(at24->argb.size(), 24 * 24 * 4);
  const auto* wire = reinterpret_cast<const uchar*>(at24->argb.constData());
  int compared = 0;
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x) {
      const QRgb pixel = drawn.pixel(x, y);
      const uchar* bytes = wire + (y * 24 + x) * 4;
      ASSERT_EQ(bytes[0], qAlpha(pixel));
      ASSERT_EQ(bytes[1], qRed(pixel));
      ASSERT_EQ(bytes[2], qGreen(pixel));
      ASSERT_EQ(bytes[3], qBlue(pixel));
      compared += qAlpha(pixel) > 0;
    }
  EXPECT_GT(compared, 100) << "the icon is not empty";
}

// The host's clicks: Activate is a left click at its position, ContextMenu a
// right one, and the menu then hangs from that position.
void expectHostClicksAtTheirPosition(QDBusConnection& host, const QString& me, TrayStatusItem& item,
                                     const std::vector<Event>& clicks) {
  QCursor::setPos(700, 100);  // away from both positions, as for scripted calls: they stand
  call(host, me, sni::kItemPath, sni::kItemInterface, "Activate", {1200, 10});
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0].type, EventType::leftMouseUp);
  EXPECT_EQ(item.screenBounds(), (Rect{1200, 10, 1, 1}));
  call(host, me, sni::kItemPath, sni::kItemInterface, "SecondaryActivate", {0, 0});
  ASSERT_EQ(clicks.size(), 2u);
  EXPECT_EQ(clicks[1].type, EventType::leftMouseUp);
  EXPECT_EQ(item.screenBounds(), std::nullopt) << "no position: the pointer, trusted on X11";
  call(host, me, sni::kItemPath, sni::kItemInterface, "ContextMenu", {300, 400});
  ASSERT_EQ(clicks.size(), 3u);
  EXPECT_EQ(clicks[2].type, EventType::rightMouseUp);
  item.popUpMenu(Menu{{MenuItem{"Quit Duskwarden", "Ctrl+Q", [] {}}}});
  QMenu* shown = item.statusNotifierItemForTesting()->shownMenuForTesting();
  ASSERT_TRUE(shown);
  ASSERT_TRUE(spinUntil("the menu to show", [&] { return shown->isVisible(); }));
  EXPECT_LE(std::abs(shown->geometry().center().x() - 300), 200);
  EXPECT_LE(std::abs(shown->geometry().top() - 400), 40) << "hangs from the position the host passed";
  shown->close();
}

// The panel's host comes after its watcher: an item announced in between
// could be missed, so it is announced once the host is there.
void expectAnnouncedOnceTheHostIs(HostAwareWatcherStandIn& watcher) {
  ASSERT_TRUE(spinUntil("the item to ask for a host", [&] { return watcher.hostAsked == 1; }));
  duskwarden::testing::spinFor(std::chrono::milliseconds(300));  // for an announcement that should not come
  EXPECT_TRUE(watcher.registered.isEmpty()) << "announced before any host";
  watcher.hosted = true;
  Q_EMIT watcher.StatusNotifierHostRegistered();
  ASSERT_TRUE(spinUntil("the item to register again", [&] { return !watcher.registered.isEmpty(); }));
}

TEST_F(Tray, TheItemFollowsTheWatcherAnnouncesItselfWithItsIconAndPassesHostClicksWithTheirPosition) {
  EventSource events;
  int showControls = 0;
  int menuOpened = 0;
  SniStatusItem::Options options{QStringLiteral("com.quillmoor.Duskwarden"),
                                 [] { return Menu{{MenuItem{"Quit Duskwarden", "Ctrl+Q", [] {}}}}; },
                                 [&] { ++showControls; }, [&] { ++menuOpened; }, DesktopSession{"", "", "x11", "", ""},
                                 QStringLiteral("Duskwarden")};
  TrayStatusItem item(events, program, QString(), options);
  std::vector<bool> trayChanges;
  item.onTrayChanged = [&](bool has) { trayChanges.push_back(has); };
  std::vector<Event> clicks;
  item.button().setAction([&] { clicks.push_back(*events.currentEvent()); });
  item.button().sendActionOn(eventMask(EventType::leftMouseUp) | eventMask(EventType::rightMouseUp));
  EXPECT_EQ(item.host(), TrayStatusItem::Host::none);
  const SymbolImage inactive{"moonphase.full.moon.inverse", "Night Shift Inactive", {16.0, SymbolWeight::heavy}};
  EXPECT_TRUE(item.setImage(inactive)) << "kept for a tray to come";

  // A panel starts: the item appears, announced under our unique name.
  WatcherStandIn first;
  ASSERT_TRUE(startWatcher(host, first));
  ASSERT_TRUE(spinUntil("the item to register", [&] { return !first.registered.isEmpty(); }));
  EXPECT_EQ(item.host(), TrayStatusItem::Host::statusNotifier);
  EXPECT_EQ(trayChanges, std::vector<bool>{true});
  EXPECT_EQ(first.registered, QStringList{program.baseService() + ' ' + program.baseService()});

  const QString me = program.baseService();
  ASSERT_NO_FATAL_FAILURE(expectWhatTheHostReads(host, me, inactive));
  ASSERT_NO_FATAL_FAILURE(expectHostClicksAtTheirPosition(host, me, item, clicks));

  // The exported menu starts with Show Controls; a host about to show it says so.
  call(host, me, sni::kMenuPath, sni::kMenuInterface, "AboutToShow", {0});
  EXPECT_EQ(menuOpened, 1);
  const auto layout = layoutFrom(call(host, me, sni::kMenuPath, sni::kMenuInterface, "GetLayout", {0, -1, QStringList{}}));
  ASSERT_EQ(layout.children.size(), 2);
  EXPECT_EQ(layout.children[0].properties.value("label").toString(), "Show Controls");
  call(host, me, sni::kMenuPath, sni::kMenuInterface, "Event",
       {1, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
  EXPECT_TRUE(spinUntil("Show Controls to run", [&] { return showControls == 1; }));

  // The panel restarts: gone for a moment, then a new watcher hears of the item again.
  host.unregisterService(sni::kWatcherService);
  ASSERT_TRUE(spinUntil("the item to lose its host", [&] { return item.host() == TrayStatusItem::Host::none; }));
  auto restarted = bus.connect("restarted-host");
  HostAwareWatcherStandIn second;
  ASSERT_TRUE(startWatcher(restarted, second));
  ASSERT_NO_FATAL_FAILURE(expectAnnouncedOnceTheHostIs(second));
  EXPECT_EQ(item.host(), TrayStatusItem::Host::statusNotifier);
  EXPECT_EQ(trayChanges, (std::vector<bool>{true, false, true}));

  // The panel goes for good: no tray, and the item's name leaves the bus.
  const QString itemName = item.statusNotifierItemForTesting()->serviceNameForTesting();
  restarted.unregisterService(sni::kWatcherService);
  ASSERT_TRUE(spinUntil("the item to lose its host", [&] { return item.host() == TrayStatusItem::Host::none; }));
  EXPECT_EQ(trayChanges, (std::vector<bool>{true, false, true, false}));
  EXPECT_TRUE(spinUntil("the item's name to leave the bus",
                        [&] { return !host.interface()->isServiceRegistered(itemName).value(); }));
}

}  // namespace

#include "TrayTest.moc"
