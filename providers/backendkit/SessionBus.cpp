#include "backendkit/SessionBus.h"

#include "base/xdg/SessionBusAddress.h"

namespace duskwarden::provider {

GDBusConnection* openSessionBus(std::string* why) {
  const auto found = sessionBusAddress();
  if (!found) {
    *why = std::string("no session bus (") + kNoSessionBusReason + ")";
    return nullptr;
  }
  const std::string& address = *found;
  // GLib's blocking connect has no deadline of its own (its Hello waits 25 s
  // for a bus that does not answer): the same, asynchronously, on a context
  // this thread runs until the answer or the deadline.
  struct Opening {
    GDBusConnection* bus = nullptr;
    GError* error = nullptr;
    bool done = false;
  } opening;
  // The thread's own context when it has one (a backend's loop, before it
  // runs: the connection's own signals belong there), else a private one.
  GMainContext* own = g_main_context_get_thread_default();
  GMainContext* context = own != nullptr ? g_main_context_ref(own) : g_main_context_new();
  if (own == nullptr) g_main_context_push_thread_default(context);
  GCancellable* cancellable = g_cancellable_new();
  g_dbus_connection_new_for_address(
      address.c_str(),
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, cancellable,
      [](GObject*, GAsyncResult* result, gpointer data) {
        auto* o = static_cast<Opening*>(data);
        o->bus = g_dbus_connection_new_for_address_finish(result, &o->error);
        o->done = true;
      },
      &opening);
  GSource* deadline = g_timeout_source_new(kBusCallTimeoutMs);
  g_source_set_callback(
      deadline,
      [](gpointer c) -> gboolean {
        g_cancellable_cancel(static_cast<GCancellable*>(c));
        return G_SOURCE_REMOVE;
      },
      cancellable, nullptr);
  g_source_attach(deadline, context);
  while (!opening.done) g_main_context_iteration(context, TRUE);
  g_source_destroy(deadline);
  g_source_unref(deadline);
  const bool timedOut = g_cancellable_is_cancelled(cancellable);
  g_object_unref(cancellable);
  if (own == nullptr) g_main_context_pop_thread_default(context);
  g_main_context_unref(context);
  if (!opening.bus) {
    *why = "D-Bus connect to the session bus " + address + ": " +
           (timedOut ? std::string("no answer within 2 s") : std::string(opening.error->message));
    g_error_free(opening.error);
  }
  return opening.bus;
}

}  // namespace duskwarden::provider
