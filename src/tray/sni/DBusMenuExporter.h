#pragma once
// Our menu as a com.canonical.dbusmenu object, for tray hosts that draw an
// item's menu themselves (GNOME's AppIndicator host, Xfce's panel, Plasma).
//
// Items get ids 1..n in menu order under the root (id 0); a host reads the
// layout with GetLayout and reports a chosen item with Event(id, "clicked").
// The menu is rebuilt from its provider each time a host is about to show
// it; the layout revision grows, and LayoutUpdated goes out, only when the
// rebuilt menu reads differently.

#include "tray/StatusItem.h"
#include "tray/sni/SniProtocol.h"

#include <QDBusContext>
#include <QObject>
#include <functional>
#include <optional>

namespace duskwarden {

class DBusMenuExporter final : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
  Q_PROPERTY(uint Version READ version)
  Q_PROPERTY(QString TextDirection READ textDirection)
  Q_PROPERTY(QString Status READ status)
  Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

 public:
  explicit DBusMenuExporter(std::function<Menu()> provider, QObject* parent = nullptr);

  // Runs when a host is about to show the menu: the user clicked the icon
  // in the host's own panel, where our windows see no click.
  std::function<void()> onOpened;

  uint revision() const { return revision_; }
  const Menu& menu() const { return menu_; }
  // Rebuilds the menu from the provider; true when its layout changed.
  bool refresh();
  // The layout below `parentId` to `depth` levels (-1: all), with only the
  // named properties (all when empty); nothing for an unknown id.
  std::optional<sni::MenuLayoutItem> layout(int parentId, int depth, const QStringList& propertyNames) const;

  uint version() const { return 3; }
  QString textDirection() const { return QStringLiteral("ltr"); }
  QString status() const { return QStringLiteral("normal"); }
  QStringList iconThemePath() const { return {}; }

 public Q_SLOTS:
  Q_SCRIPTABLE uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                              duskwarden::sni::MenuLayoutItem& layout);
  Q_SCRIPTABLE duskwarden::sni::MenuItemPropertiesList GetGroupProperties(const QList<int>& ids,
                                                                         const QStringList& propertyNames);
  Q_SCRIPTABLE QDBusVariant GetProperty(int id, const QString& name);
  Q_SCRIPTABLE void Event(int id, const QString& eventId, const QDBusVariant& data, uint timestamp);
  Q_SCRIPTABLE QList<int> EventGroup(const duskwarden::sni::MenuEventList& events);
  Q_SCRIPTABLE bool AboutToShow(int id);
  Q_SCRIPTABLE QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

 Q_SIGNALS:
  Q_SCRIPTABLE void ItemsPropertiesUpdated(const duskwarden::sni::MenuItemPropertiesList& updatedProps,
                                           const duskwarden::sni::MenuItemPropertyNamesList& removedProps);
  Q_SCRIPTABLE void LayoutUpdated(uint revision, int parent);
  Q_SCRIPTABLE void ItemActivationRequested(int id, uint timestamp);

 private:
  bool knows(int id) const { return id >= 0 && id <= static_cast<int>(menu_.items.size()); }
  QVariantMap properties(int id, const QStringList& names) const;
  // Runs item `id`'s action on a later turn, after the host has its answer.
  bool activate(int id);
  void unknownId(int id);

  std::function<Menu()> provider_;
  Menu menu_;
  uint revision_ = 1;
};

// dbusmenu's text for a title: underscores mark mnemonics there, so literal
// ones are doubled.
QString dbusMenuLabel(const std::string& title);
// dbusmenu's aas shortcut for a portable key text ("Ctrl+Q" → [["Control", "q"]]).
sni::MenuShortcut dbusMenuShortcut(const std::string& keyEquivalent);

}  // namespace duskwarden
