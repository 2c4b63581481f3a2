#pragma once
// The org.kde.StatusNotifierItem object a tray host reads and calls: the
// icon (by theme name and as pixmaps), title (the application's name) and
// tooltip (that name over the icon's description, shown on hover: Xfce and
// MATE show both, LXQt the name alone), status, category,
// the path of the item's dbusmenu, and the host's clicks (Activate,
// SecondaryActivate, ContextMenu, Scroll), which go to the callbacks.
//
// Protocol only: what a click means, and where the icon comes from, is
// decided by whoever owns it (SniStatusItem).

#include "tray/sni/SniProtocol.h"

#include <QDBusObjectPath>
#include <QObject>
#include <functional>

namespace duskwarden {

class StatusNotifierItem final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
  Q_PROPERTY(QString Category READ category)
  Q_PROPERTY(QString Id READ id)
  Q_PROPERTY(QString Title READ title)
  Q_PROPERTY(QString Status READ status)
  Q_PROPERTY(int WindowId READ windowId)
  Q_PROPERTY(QString IconThemePath READ iconThemePath)
  Q_PROPERTY(QDBusObjectPath Menu READ menu)
  Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
  Q_PROPERTY(QString IconName READ iconName)
  Q_PROPERTY(duskwarden::sni::IconPixmapList IconPixmap READ iconPixmap)
  Q_PROPERTY(QString OverlayIconName READ noName)
  Q_PROPERTY(duskwarden::sni::IconPixmapList OverlayIconPixmap READ noPixmaps)
  Q_PROPERTY(QString AttentionIconName READ noName)
  Q_PROPERTY(duskwarden::sni::IconPixmapList AttentionIconPixmap READ noPixmaps)
  Q_PROPERTY(QString AttentionMovieName READ noName)
  Q_PROPERTY(duskwarden::sni::ToolTip ToolTip READ toolTip)

 public:
  StatusNotifierItem(QString id, QString title, QString iconThemePath, QObject* parent = nullptr);

  // The host's clicks, with the screen position it passed (0, 0 when it has none).
  std::function<void(int x, int y)> onActivate;
  std::function<void(int x, int y)> onSecondaryActivate;
  std::function<void(int x, int y)> onContextMenu;

  // Sets the icon and the text that describes it (the tooltip's body) and tells hosts.
  void setIcon(const QString& themeName, const sni::IconPixmapList& pixmaps, const QString& description);

  QString category() const { return QStringLiteral("ApplicationStatus"); }
  QString id() const { return id_; }
  QString title() const { return title_; }
  QString status() const { return QStringLiteral("Active"); }
  int windowId() const { return 0; }
  QString iconThemePath() const { return iconThemePath_; }
  QDBusObjectPath menu() const { return QDBusObjectPath(QString::fromLatin1(sni::kMenuPath)); }
  bool itemIsMenu() const { return false; }
  QString iconName() const { return iconName_; }
  sni::IconPixmapList iconPixmap() const { return pixmaps_; }
  sni::ToolTip toolTip() const { return sni::ToolTip{{}, {}, title_, description_}; }
  QString noName() const { return {}; }
  sni::IconPixmapList noPixmaps() const { return {}; }

 public Q_SLOTS:
  Q_SCRIPTABLE void Activate(int x, int y);
  Q_SCRIPTABLE void SecondaryActivate(int x, int y);
  Q_SCRIPTABLE void ContextMenu(int x, int y);
  Q_SCRIPTABLE void Scroll(int delta, const QString& orientation);

 Q_SIGNALS:
  Q_SCRIPTABLE void NewTitle();
  Q_SCRIPTABLE void NewIcon();
  Q_SCRIPTABLE void NewAttentionIcon();
  Q_SCRIPTABLE void NewOverlayIcon();
  Q_SCRIPTABLE void NewToolTip();
  Q_SCRIPTABLE void NewStatus(const QString& status);

 private:
  QString id_;
  QString title_;
  QString iconThemePath_;
  QString iconName_;
  sni::IconPixmapList pixmaps_;
  QString description_;
};

}  // namespace duskwarden
