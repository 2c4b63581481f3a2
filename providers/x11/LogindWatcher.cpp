#include "x11/LogindWatcher.h"

#include <gio/gio.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "callback/CallbackSlot.h"
#include "common/GLibLoop.h"
#include "common/Log.h"

namespace duskwarden::provider::x11 {

namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kManagerPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kSession = "org.freedesktop.login1.Session";
constexpr int kCallTimeoutMs = 2000;
constexpr const char* kFallback = "are noticed only by the periodic look at the gamma ramps";

}  // namespace

struct LogindWatcher::Loop final : GLibLoop {
  explicit Loop(std::function<void()> lookNow) { callback.set(std::move(lookNow)); }

  GDBusConnection* bus = nullptr;
  guint sleepSubscription = 0;
  guint sessionSubscription = 0;
  CallbackSlot callback;  // lookNow

  static void onPrepareForSleep(GDBusConnection*, const char*, const char*, const char*, const char*,
                                GVariant* parameters, gpointer self) {
    gboolean starting = TRUE;
    if (g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) g_variant_get(parameters, "(b)", &starting);
    if (starting) return;
    logInfo("X11: logind reports a resume");
    static_cast<Loop*>(self)->callback.call();
  }

  static void onSessionChanged(GDBusConnection*, const char*, const char*, const char*, const char*,
                               GVariant* parameters, gpointer self) {
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sa{sv}as)"))) return;
    g_autoptr(GVariant) changed = g_variant_get_child_value(parameters, 1);
    g_autoptr(GVariant) invalidated = g_variant_get_child_value(parameters, 2);
    gboolean active = FALSE;
    bool back = g_variant_lookup(changed, "Active", "b", &active) && active;
    g_autofree const char** names = g_variant_get_strv(invalidated, nullptr);
    for (auto name = names; name && *name && !back; ++name) back = g_str_equal(*name, "Active");
    if (!back) return;
    logInfo("X11: logind reports our session active again (a VT switch back)");
    static_cast<Loop*>(self)->callback.call();
  }

  // Our session's object path, or empty with `*why` set.
  std::string findSession(std::string* why) {
    const char* id = std::getenv("XDG_SESSION_ID");
    const bool byId = id && *id;
    const std::string request = byId ? std::string("GetSession ") + id
                                     : "GetSessionByPID " + std::to_string(::getpid());
    g_autoptr(GError) error = nullptr;
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        bus, kLogind, kManagerPath, kManager, byId ? "GetSession" : "GetSessionByPID",
        byId ? g_variant_new("(s)", id) : g_variant_new("(u)", static_cast<guint32>(::getpid())),
        G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, cancellable(), &error);
    if (!reply) {
      *why = request + ": " + error->message;
      return {};
    }
    const char* path = nullptr;
    g_variant_get(reply, "(&o)", &path);
    return path;
  }

  bool connect() override {
    pthread_setname_np(pthread_self(), "dw-x11-logind");
    g_autoptr(GError) error = nullptr;
    g_autofree char* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, cancellable(), &error);
    if (address)
      bus = g_dbus_connection_new_for_address_sync(
          address,
          static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                            G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
          nullptr, cancellable(), &error);
    if (!bus) {
      if (!g_cancellable_is_cancelled(cancellable()))
        logInfo("X11: no system bus (%s); resume and VT switches %s", error->message, kFallback);
      return false;
    }
    // Subscribed in this thread's context, so the handlers run here.
    sleepSubscription = g_dbus_connection_signal_subscribe(bus, kLogind, kManager, "PrepareForSleep", kManagerPath,
                                                           nullptr, G_DBUS_SIGNAL_FLAGS_NONE, onPrepareForSleep, this,
                                                           nullptr);
    std::string why;
    const std::string session = findSession(&why);
    if (g_cancellable_is_cancelled(cancellable())) return false;
    if (session.empty()) {
      logInfo("X11: logind %s; VT switches %s", why.c_str(), kFallback);
      return true;
    }
    sessionSubscription = g_dbus_connection_signal_subscribe(
        bus, kLogind, "org.freedesktop.DBus.Properties", "PropertiesChanged", session.c_str(), kSession,
        G_DBUS_SIGNAL_FLAGS_NONE, onSessionChanged, this, nullptr);
    logInfo("X11: watching logind for resume, and session %s for VT switches", session.c_str());
    return true;
  }

  void disconnect() override {
    if (!bus) return;
    if (sleepSubscription) g_dbus_connection_signal_unsubscribe(bus, sleepSubscription);
    if (sessionSubscription) g_dbus_connection_signal_unsubscribe(bus, sessionSubscription);
    g_dbus_connection_close(bus, nullptr, nullptr, nullptr);  // never waits on a hung bus
    g_clear_object(&bus);
  }
};

// Not waiting for connect(): a system bus that does not answer must not hold
// up the backend; stopping cancels it.
LogindWatcher::LogindWatcher(std::function<void()> lookNow) { loop_.startInBackground(std::move(lookNow)); }

LogindWatcher::~LogindWatcher() = default;

}  // namespace duskwarden::provider::x11
