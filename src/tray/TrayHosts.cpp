#include "tray/TrayHosts.h"

#include "tray/sni/SniProtocol.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QSocketNotifier>
#include <xcb/xcb.h>

#include <cstdlib>

namespace duskwarden {

namespace {

std::uint32_t internAtom(xcb_connection_t* x, const QByteArray& name) {
  auto cookie = xcb_intern_atom(x, 0, static_cast<std::uint16_t>(name.size()), name.constData());
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(xcb_intern_atom_reply(x, cookie, nullptr),
                                                                        &std::free);
  return reply ? reply->atom : 0;
}

}  // namespace

TrayHosts::TrayHosts(QDBusConnection bus, const QString& xDisplay, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
  if (bus_.isConnected()) {
    serviceWatcher_ = new QDBusServiceWatcher(QString::fromLatin1(sni::kWatcherService), bus_,
                                              QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(serviceWatcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
              watcherOwner_ = newOwner;
              Q_EMIT changed();
            });
    // After subscribing, so an owner that arrives in between is not missed.
    const auto owner = bus_.interface()->serviceOwner(QString::fromLatin1(sni::kWatcherService));
    if (owner.isValid()) watcherOwner_ = owner.value();
  }
  if (!xDisplay.isEmpty()) openX(xDisplay);
}

TrayHosts::~TrayHosts() {
  xNotifier_.reset();
  if (x_) xcb_disconnect(x_);
}

void TrayHosts::openX(const QString& display) {
  int screenNumber = 0;
  x_ = xcb_connect(display.toLocal8Bit().constData(), &screenNumber);
  if (xcb_connection_has_error(x_)) {
    xcb_disconnect(x_);
    x_ = nullptr;
    return;
  }
  auto screens = xcb_setup_roots_iterator(xcb_get_setup(x_));
  for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
  if (screens.rem <= 0) {
    xcb_disconnect(x_);
    x_ = nullptr;
    return;
  }
  root_ = screens.data->root;
  selectionAtom_ = internAtom(x_, "_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber));
  managerAtom_ = internAtom(x_, "MANAGER");
  // A new tray's MANAGER announcement goes to the root with this mask.
  const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  xcb_change_window_attributes(x_, root_, XCB_CW_EVENT_MASK, &mask);
  refreshXEmbedOwner();
  xcb_flush(x_);
  xNotifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(x_), QSocketNotifier::Read);
  connect(xNotifier_.get(), &QSocketNotifier::activated, this, &TrayHosts::readX);
  readX();  // anything that arrived while the owner was read
}

bool TrayHosts::refreshXEmbedOwner() {
  auto cookie = xcb_get_selection_owner(x_, selectionAtom_);
  std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> reply(
      xcb_get_selection_owner_reply(x_, cookie, nullptr), &std::free);
  const std::uint32_t owner = reply ? reply->owner : 0;
  if (owner == xembedOwner_) return false;
  xembedOwner_ = owner;
  if (owner != 0) {
    // Its destruction is how we learn the tray has gone. Should it be gone
    // already, the request fails quietly and the next event tells.
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(x_, owner, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x_);
  }
  return true;
}

void TrayHosts::readX() {
  if (!x_) return;
  bool changedNow = false;
  // Replies read on the way (the owner's check) can queue events without
  // the socket becoming readable again: drain until nothing is left.
  for (bool recheck = true; recheck;) {
    recheck = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(x_)) {
      switch (event->response_type & 0x7f) {
        case XCB_CLIENT_MESSAGE: {
          auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
          if (message->type == managerAtom_ && message->data.data32[1] == selectionAtom_) recheck = true;
          break;
        }
        case XCB_DESTROY_NOTIFY: {
          auto* destroyed = reinterpret_cast<xcb_destroy_notify_event_t*>(event);
          if (destroyed->window == xembedOwner_) recheck = true;
          break;
        }
        default:
          break;  // errors of the quiet requests above, and structure events of no interest
      }
      std::free(event);
    }
    if (xcb_connection_has_error(x_)) {
      // The X server is gone; the program ends through the toolkit's connection.
      xNotifier_.reset();
      xcb_disconnect(x_);
      x_ = nullptr;
      if (xembedOwner_ != 0) {
        xembedOwner_ = 0;
        Q_EMIT changed();
      }
      return;
    }
    if (recheck && refreshXEmbedOwner()) changedNow = true;
  }
  if (changedNow) Q_EMIT changed();
}

}  // namespace duskwarden
