#include "tray/sni/SniProtocol.h"

#include <QDBusMetaType>

namespace duskwarden::sni {

void registerTypes() {
  static const bool once = [] {
    qDBusRegisterMetaType<IconPixmap>();
    qDBusRegisterMetaType<IconPixmapList>();
    qDBusRegisterMetaType<ToolTip>();
    qDBusRegisterMetaType<MenuLayoutItem>();
    qDBusRegisterMetaType<MenuItemProperties>();
    qDBusRegisterMetaType<MenuItemPropertiesList>();
    qDBusRegisterMetaType<MenuItemPropertyNames>();
    qDBusRegisterMetaType<MenuItemPropertyNamesList>();
    qDBusRegisterMetaType<MenuEvent>();
    qDBusRegisterMetaType<MenuEventList>();
    qDBusRegisterMetaType<MenuShortcut>();
    return true;
  }();
  (void)once;
}

QDBusArgument& operator<<(QDBusArgument& arg, const IconPixmap& value) {
  arg.beginStructure();
  arg << value.width << value.height << value.argb;
  arg.endStructure();
  return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, IconPixmap& value) {
  arg.beginStructure();
  arg >> value.width >> value.height >> value.argb;
  arg.endStructure();
  return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const ToolTip& value) {
  arg.beginStructure();
  arg << value.iconName << value.iconPixmaps << value.title << value.description;
  arg.endStructure();
  return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, ToolTip& value) {
  arg.beginStructure();
  arg >> value.iconName >> value.iconPixmaps >> value.title >> value.description;
  arg.endStructure();
  return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const MenuLayoutItem& value) {
  arg.beginStructure();
  arg << value.id << value.properties;
  // Children travel as variants (av), each holding a whole (ia{sv}av).
  arg.beginArray(QMetaType::fromType<QDBusVariant>());
  for (const auto& child : value.children) arg << QDBusVariant(QVariant::fromValue(child));
  arg.endArray();
  arg.endStructure();
  return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, MenuLayoutItem& value) {
  arg.beginStructure();
  arg >> value.id >> value.properties;
  value.children.clear();
  arg.beginArray();
  while (!arg.atEnd()) {
    QDBusVariant wrapped;
    arg >> wrapped;
    MenuLayoutItem child;
    qvariant_cast<QDBusArgument>(wrapped.variant()) >> child;
    value.children.append(child);
  }
  arg.endArray();
  arg.endStructure();
  return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const MenuItemProperties& value) {
  arg.beginStructure();
  arg << value.id << value.properties;
  arg.endStructure();
  return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, MenuItemProperties& value) {
  arg.beginStructure();
  arg >> value.id >> value.properties;
  arg.endStructure();
  return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const MenuItemPropertyNames& value) {
  arg.beginStructure();
  arg << value.id << value.names;
  arg.endStructure();
  return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, MenuItemPropertyNames& value) {
  arg.beginStructure();
  arg >> value.id >> value.names;
  arg.endStructure();
  return arg;
}

QDBusArgument& operator<<(QDBusArgument& arg, const MenuEvent& value) {
  arg.beginStructure();
  arg << value.id << value.eventId << value.data << value.timestamp;
  arg.endStructure();
  return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, MenuEvent& value) {
  arg.beginStructure();
  arg >> value.id >> value.eventId >> value.data >> value.timestamp;
  arg.endStructure();
  return arg;
}

}  // namespace duskwarden::sni
