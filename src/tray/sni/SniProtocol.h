#pragma once
// The wire side of the two D-Bus protocols a StatusNotifierItem host speaks
// with us, kept in one place: the names and paths of
// org.kde.StatusNotifierItem, its watcher and com.canonical.dbusmenu, and
// their structured types with the marshalling Qt D-Bus needs for them.
//
// registerTypes() must run before any object using these types is exported
// or any call carrying them is made.

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusVariant>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace duskwarden::sni {

inline constexpr char kWatcherService[] = "org.kde.StatusNotifierWatcher";
inline constexpr char kWatcherPath[] = "/StatusNotifierWatcher";
inline constexpr char kWatcherInterface[] = "org.kde.StatusNotifierWatcher";
inline constexpr char kItemInterface[] = "org.kde.StatusNotifierItem";
inline constexpr char kItemPath[] = "/StatusNotifierItem";
inline constexpr char kMenuInterface[] = "com.canonical.dbusmenu";
inline constexpr char kMenuPath[] = "/MenuBar";

// One image of an icon: ARGB32 pixels, row by row, each in network byte
// order (a(iiay) on the wire).
struct IconPixmap {
  int width = 0;
  int height = 0;
  QByteArray argb;
};
using IconPixmapList = QList<IconPixmap>;

// (sa(iiay)ss): icon name, icon images, title, description.
struct ToolTip {
  QString iconName;
  IconPixmapList iconPixmaps;
  QString title;
  QString description;
};

// dbusmenu's (ia{sv}av): an item, its properties and its children (each a
// variant holding the same structure).
struct MenuLayoutItem {
  int id = 0;
  QVariantMap properties;
  QList<MenuLayoutItem> children;
};

// (ia{sv}): an item's properties, as GetGroupProperties and
// ItemsPropertiesUpdated carry them.
struct MenuItemProperties {
  int id = 0;
  QVariantMap properties;
};
using MenuItemPropertiesList = QList<MenuItemProperties>;

// (ias): property names removed from an item.
struct MenuItemPropertyNames {
  int id = 0;
  QStringList names;
};
using MenuItemPropertyNamesList = QList<MenuItemPropertyNames>;

// (isvu): one event of EventGroup.
struct MenuEvent {
  int id = 0;
  QString eventId;
  QDBusVariant data;
  uint timestamp = 0;
};
using MenuEventList = QList<MenuEvent>;

// aas: a key sequence, each key as its modifier names and key name.
using MenuShortcut = QList<QStringList>;

void registerTypes();

QDBusArgument& operator<<(QDBusArgument& arg, const IconPixmap& value);
const QDBusArgument& operator>>(const QDBusArgument& arg, IconPixmap& value);
QDBusArgument& operator<<(QDBusArgument& arg, const ToolTip& value);
const QDBusArgument& operator>>(const QDBusArgument& arg, ToolTip& value);
QDBusArgument& operator<<(QDBusArgument& arg, const MenuLayoutItem& value);
const QDBusArgument& operator>>(const QDBusArgument& arg, MenuLayoutItem& value);
QDBusArgument& operator<<(QDBusArgument& arg, const MenuItemProperties& value);
const QDBusArgument& operator>>(const QDBusArgument& arg, MenuItemProperties& value);
QDBusArgument& operator<<(QDBusArgument& arg, const MenuItemPropertyNames& value);
const QDBusArgument& operator>>(const QDBusArgument& arg, MenuItemPropertyNames& value);
QDBusArgument& operator<<(QDBusArgument& arg, const MenuEvent& value);
const QDBusArgument& operator>>(const QDBusArgument& arg, MenuEvent& value);

}  // namespace duskwarden::sni

Q_DECLARE_METATYPE(duskwarden::sni::IconPixmap)
Q_DECLARE_METATYPE(duskwarden::sni::IconPixmapList)
Q_DECLARE_METATYPE(duskwarden::sni::ToolTip)
Q_DECLARE_METATYPE(duskwarden::sni::MenuLayoutItem)
Q_DECLARE_METATYPE(duskwarden::sni::MenuItemProperties)
Q_DECLARE_METATYPE(duskwarden::sni::MenuItemPropertiesList)
Q_DECLARE_METATYPE(duskwarden::sni::MenuItemPropertyNames)
Q_DECLARE_METATYPE(duskwarden::sni::MenuItemPropertyNamesList)
Q_DECLARE_METATYPE(duskwarden::sni::MenuEvent)
Q_DECLARE_METATYPE(duskwarden::sni::MenuEventList)
