#include "tray/sni/DBusMenuExporter.h"

#include <QCoreApplication>
#include <QDBusError>
#include <QKeySequence>
#include <QTimer>

namespace duskwarden {

namespace {

bool sameLayout(const Menu& a, const Menu& b) {
  if (a.items.size() != b.items.size()) return false;
  for (std::size_t i = 0; i < a.items.size(); ++i) {
    const MenuItem& x = a.items[i];
    const MenuItem& y = b.items[i];
    if (x.isSeparator != y.isSeparator || x.title != y.title || x.keyEquivalent != y.keyEquivalent) return false;
  }
  return true;
}

QString keyName(int key) {
  // dbusmenu names keys as GDK does: letters in lower case, the rest by name.
  const QString name = QKeySequence(key).toString(QKeySequence::PortableText);
  if (name == QLatin1String("+")) return QStringLiteral("plus");
  if (name == QLatin1String("-")) return QStringLiteral("minus");
  return name.size() == 1 ? name.toLower() : name;
}

}  // namespace

QString dbusMenuLabel(const std::string& title) {
  return QString::fromStdString(title).replace(QLatin1Char('_'), QLatin1String("__"));
}

sni::MenuShortcut dbusMenuShortcut(const std::string& keyEquivalent) {
  sni::MenuShortcut shortcut;
  const QKeySequence sequence = QKeySequence::fromString(QString::fromStdString(keyEquivalent));
  for (int i = 0; i < sequence.count(); ++i) {
    const QKeyCombination combination = sequence[i];
    const Qt::KeyboardModifiers mods = combination.keyboardModifiers();
    QStringList tokens;
    if (mods & Qt::MetaModifier) tokens << QStringLiteral("Super");
    if (mods & Qt::ControlModifier) tokens << QStringLiteral("Control");
    if (mods & Qt::AltModifier) tokens << QStringLiteral("Alt");
    if (mods & Qt::ShiftModifier) tokens << QStringLiteral("Shift");
    tokens << keyName(combination.key());
    shortcut << tokens;
  }
  return shortcut;
}

DBusMenuExporter::DBusMenuExporter(std::function<Menu()> provider, QObject* parent)
    : QObject(parent), provider_(std::move(provider)) {
  sni::registerTypes();
  if (provider_) menu_ = provider_();
}

bool DBusMenuExporter::refresh() {
  if (!provider_) return false;
  Menu fresh = provider_();
  const bool changed = !sameLayout(fresh, menu_);
  // The actions are always the new ones; only a different layout is news to hosts.
  menu_ = std::move(fresh);
  if (changed) {
    ++revision_;
    Q_EMIT LayoutUpdated(revision_, 0);
  }
  return changed;
}

QVariantMap DBusMenuExporter::properties(int id, const QStringList& names) const {
  QVariantMap all;
  if (id == 0) {
    all.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
  } else {
    const MenuItem& item = menu_.items[static_cast<std::size_t>(id - 1)];
    if (item.isSeparator) {
      all.insert(QStringLiteral("type"), QStringLiteral("separator"));
    } else {
      all.insert(QStringLiteral("label"), dbusMenuLabel(item.title));
      all.insert(QStringLiteral("enabled"), static_cast<bool>(item.action));
      if (!item.keyEquivalent.empty())
        all.insert(QStringLiteral("shortcut"), QVariant::fromValue(dbusMenuShortcut(item.keyEquivalent)));
    }
    all.insert(QStringLiteral("visible"), true);
  }
  if (names.isEmpty()) return all;
  QVariantMap chosen;
  for (const QString& name : names)
    if (all.contains(name)) chosen.insert(name, all.value(name));
  return chosen;
}

std::optional<sni::MenuLayoutItem> DBusMenuExporter::layout(int parentId, int depth,
                                                            const QStringList& propertyNames) const {
  if (!knows(parentId)) return std::nullopt;
  sni::MenuLayoutItem root{parentId, properties(parentId, propertyNames), {}};
  // Only the root has children: the menu is one level deep.
  if (parentId == 0 && depth != 0) {
    for (int id = 1; id <= static_cast<int>(menu_.items.size()); ++id)
      root.children.append(sni::MenuLayoutItem{id, properties(id, propertyNames), {}});
  }
  return root;
}

void DBusMenuExporter::unknownId(int id) {
  if (calledFromDBus())
    sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("no menu item with id %1").arg(id));
}

uint DBusMenuExporter::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                 sni::MenuLayoutItem& result) {
  if (auto found = layout(parentId, recursionDepth, propertyNames)) {
    result = *found;
  } else {
    unknownId(parentId);
  }
  return revision_;
}

sni::MenuItemPropertiesList DBusMenuExporter::GetGroupProperties(const QList<int>& ids,
                                                                 const QStringList& propertyNames) {
  // Unknown ids are left out, as the protocol asks.
  sni::MenuItemPropertiesList result;
  for (int id : ids)
    if (knows(id)) result.append(sni::MenuItemProperties{id, properties(id, propertyNames)});
  return result;
}

QDBusVariant DBusMenuExporter::GetProperty(int id, const QString& name) {
  if (!knows(id)) {
    unknownId(id);
    return QDBusVariant(QVariant(0));
  }
  const QVariantMap all = properties(id, {name});
  if (!all.contains(name)) {
    if (calledFromDBus()) sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("item %1 has no property %2").arg(id).arg(name));
    return QDBusVariant(QVariant(0));
  }
  return QDBusVariant(all.value(name));
}

bool DBusMenuExporter::activate(int id) {
  if (id < 1 || !knows(id)) return false;
  const MenuItem& item = menu_.items[static_cast<std::size_t>(id - 1)];
  if (item.isSeparator || !item.action) return true;
  // Later, so the host has its answer before a dialog opens or Quit ends us.
  QTimer::singleShot(0, QCoreApplication::instance(), item.action);
  return true;
}

void DBusMenuExporter::Event(int id, const QString& eventId, const QDBusVariant&, uint) {
  if (!knows(id)) {
    unknownId(id);
    return;
  }
  if (eventId == QLatin1String("clicked")) {
    activate(id);
  } else if (id == 0 && eventId == QLatin1String("opened") && onOpened) {
    onOpened();
  }  // "closed" and "hovered" need nothing from us
}

QList<int> DBusMenuExporter::EventGroup(const sni::MenuEventList& events) {
  QList<int> errors;
  for (const auto& event : events) {
    if (!knows(event.id)) {
      errors.append(event.id);
      continue;
    }
    if (event.eventId == QLatin1String("clicked")) activate(event.id);
  }
  if (!events.isEmpty() && errors.size() == events.size() && calledFromDBus())
    sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("no menu item with any of the ids given"));
  return errors;
}

bool DBusMenuExporter::AboutToShow(int id) {
  if (!knows(id)) {
    unknownId(id);
    return false;
  }
  if (id != 0) return false;
  if (onOpened) onOpened();
  return refresh();
}

QList<int> DBusMenuExporter::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
  QList<int> updatesNeeded;
  for (int id : ids) {
    if (!knows(id)) {
      idErrors.append(id);
    } else if (id == 0) {
      if (onOpened) onOpened();
      if (refresh()) updatesNeeded.append(0);
    }
  }
  return updatesNeeded;
}

}  // namespace duskwarden
