#pragma once
// Which tray hosts the desktop offers right now, and when that changes:
//   - a StatusNotifierItem watcher: an owner of org.kde.StatusNotifierWatcher
//     on the session bus (a new owner means a restarted or late panel, whose
//     host must be told about our item again);
//   - an XEmbed tray: an owner of the X selection _NET_SYSTEM_TRAY_S<screen>.
//     A new tray announces itself with a MANAGER message on the root window;
//     one that goes away destroys the window that owned the selection.
//
// Both are watched through events, never polled. The X side uses a small
// connection of its own, so it does not depend on the toolkit's.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>

class QDBusServiceWatcher;
class QSocketNotifier;
struct xcb_connection_t;

namespace duskwarden {

class TrayHosts final : public QObject {
  Q_OBJECT
 public:
  // `xDisplay`: the X display to watch for an XEmbed tray; empty for none
  // (a native Wayland client cannot embed into one).
  TrayHosts(QDBusConnection bus, const QString& xDisplay, QObject* parent = nullptr);
  ~TrayHosts() override;

  bool hasWatcher() const { return !watcherOwner_.isEmpty(); }
  QString watcherOwner() const { return watcherOwner_; }
  bool hasXEmbedTray() const { return xembedOwner_ != 0; }

 Q_SIGNALS:
  // A watcher or an XEmbed tray appeared or went, or the watcher changed hands.
  void changed();

 private:
  void openX(const QString& display);
  void readX();
  // Reads the selection's owner and watches it for going away; true when it changed.
  bool refreshXEmbedOwner();

  QDBusConnection bus_;
  QString watcherOwner_;
  QDBusServiceWatcher* serviceWatcher_ = nullptr;

  xcb_connection_t* x_ = nullptr;
  std::uint32_t root_ = 0;
  std::uint32_t selectionAtom_ = 0;
  std::uint32_t managerAtom_ = 0;
  std::uint32_t xembedOwner_ = 0;
  std::unique_ptr<QSocketNotifier> xNotifier_;
};

}  // namespace duskwarden
