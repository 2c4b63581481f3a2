#include "gnome/GnomeBackend.h"

#include <gio/gio.h>

#include <cmath>
#include <future>

#include "common/CallbackSlot.h"
#include "common/ColorTemperature.h"
#include "gnome/GnomeSchedule.h"

namespace duskwarden::provider::gnome {

namespace {

constexpr int kCallTimeoutMs = 2000;  // a hung daemon must not hold the caller's queue for long

bool schemaInstalled() {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  if (!source) return false;
  GSettingsSchema* schema = g_settings_schema_source_lookup(source, kSchema, TRUE);
  if (!schema) return false;
  g_settings_schema_unref(schema);
  return true;
}

// A connection of our own, so its signals come to our thread's context and
// nothing of the application's default bus connection is touched.
GDBusConnection* openSessionBus() {
  g_autofree char* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (!address) return nullptr;
  return g_dbus_connection_new_for_address_sync(
      address,
      static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
      nullptr, nullptr, nullptr);
}

bool cachedBool(GDBusProxy* proxy, const char* name, bool* value) {
  GVariant* v = g_dbus_proxy_get_cached_property(proxy, name);
  if (!v) return false;
  const bool ok = g_variant_is_of_type(v, G_VARIANT_TYPE_BOOLEAN);
  if (ok) *value = g_variant_get_boolean(v);
  g_variant_unref(v);
  return ok;
}

bool has(GVariant* dictionary, const char* key) {
  GVariant* value = g_variant_lookup_value(dictionary, key, nullptr);
  if (value) g_variant_unref(value);
  return value != nullptr;
}

}  // namespace

struct GnomeBackend::Loop {
  GMainContext* context = g_main_context_new();
  GMainLoop* loop = g_main_loop_new(context, FALSE);
  GDBusConnection* bus = nullptr;
  GDBusProxy* proxy = nullptr;
  GSettings* settings = nullptr;
  CallbackSlot callback;

  ~Loop() {
    g_main_loop_unref(loop);
    g_main_context_unref(context);
  }

  void fire() { callback.call(); }

  static void onSettingChanged(GSettings*, const char*, gpointer self) { static_cast<Loop*>(self)->fire(); }
  static void onOwnerChanged(GObject*, GParamSpec*, gpointer self) { static_cast<Loop*>(self)->fire(); }
  static void onPropertiesChanged(GDBusProxy*, GVariant* changed, const char* const* invalidated, gpointer self) {
    // The temperature ramps in ~30 steps when switching; only what our status
    // is made of counts as a change.
    bool relevant = has(changed, "NightLightActive") || has(changed, "DisabledUntilTomorrow");
    for (auto p = invalidated; p && *p && !relevant; ++p)
      relevant = g_str_equal(*p, "NightLightActive") || g_str_equal(*p, "DisabledUntilTomorrow");
    if (relevant) static_cast<Loop*>(self)->fire();
  }

  bool connect() {
    if (!schemaInstalled()) return false;
    bus = openSessionBus();
    if (!bus) return false;
    proxy = g_dbus_proxy_new_sync(bus, G_DBUS_PROXY_FLAGS_DO_NOT_AUTO_START, nullptr, kBusName, kObjectPath, kBusName,
                                  nullptr, nullptr);
    if (!proxy) return false;
    settings = g_settings_new(kSchema);
    // GSettings only reports changes of keys read since connecting.
    GSettingsSchema* schema = nullptr;
    g_object_get(settings, "settings-schema", &schema, nullptr);
    g_auto(GStrv) keys = g_settings_schema_list_keys(schema);
    for (char** key = keys; key && *key; ++key) g_variant_unref(g_settings_get_value(settings, *key));
    g_settings_schema_unref(schema);
    g_signal_connect(settings, "changed", G_CALLBACK(onSettingChanged), this);
    g_signal_connect(proxy, "g-properties-changed", G_CALLBACK(onPropertiesChanged), this);
    g_signal_connect(proxy, "notify::g-name-owner", G_CALLBACK(onOwnerChanged), this);
    return true;
  }

  void disconnect() {
    if (settings) g_signal_handlers_disconnect_by_data(settings, this);
    if (proxy) g_signal_handlers_disconnect_by_data(proxy, this);
    g_clear_object(&settings);
    g_clear_object(&proxy);
    if (bus) g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_clear_object(&bus);
  }

  static void run(const std::shared_ptr<Loop>& self, std::promise<bool> ready) {
    g_main_context_push_thread_default(self->context);
    const bool ok = self->connect();
    ready.set_value(ok);
    if (ok) g_main_loop_run(self->loop);
    self->disconnect();
    // Let pending unrefs and closes finish before the context goes.
    while (g_main_context_iteration(self->context, FALSE)) {
    }
    g_main_context_pop_thread_default(self->context);
  }

  // Runs `work` on the provider's thread, where every GLib object of ours
  // lives, and waits for it; inline when already there (from a callback).
  template <typename T, typename F>
  T onLoop(F work) {
    if (g_main_context_is_owner(context)) return work();
    struct Job {
      F work;
      std::promise<T> result;
    };
    auto* job = new Job{std::move(work), {}};
    auto future = job->result.get_future();
    g_main_context_invoke_full(
        context, G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
          auto* j = static_cast<Job*>(data);
          j->result.set_value(j->work());
          return G_SOURCE_REMOVE;
        },
        job, [](gpointer data) { delete static_cast<Job*>(data); });
    return future.get();
  }

  // --- work on the provider's thread ---

  Schedule currentSchedule() const {
    return {g_settings_get_boolean(settings, "night-light-schedule-automatic") != FALSE,
            g_settings_get_double(settings, "night-light-schedule-from"),
            g_settings_get_double(settings, "night-light-schedule-to")};
  }

  void writeSchedule(const Schedule& s) {
    g_settings_set_boolean(settings, "night-light-schedule-automatic", s.automatic);
    g_settings_set_double(settings, "night-light-schedule-from", s.from);
    g_settings_set_double(settings, "night-light-schedule-to", s.to);
  }

  bool daemonPresent() const {
    g_autofree char* owner = g_dbus_proxy_get_name_owner(proxy);
    return owner != nullptr;
  }

  void clearDisabledUntilTomorrow() {
    bool disabled = false;
    if (!daemonPresent() || !cachedBool(proxy, "DisabledUntilTomorrow", &disabled) || !disabled) return;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, kBusName, kObjectPath, "org.freedesktop.DBus.Properties", "Set",
        g_variant_new("(ssv)", kBusName, "DisabledUntilTomorrow", g_variant_new_boolean(FALSE)), nullptr,
        G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeoutMs, nullptr, nullptr);
    if (reply) g_variant_unref(reply);
  }

  void switchOn() {
    const Schedule current = currentSchedule();
    // Keep the user's schedule once; a saved one from an earlier run stays.
    if (!isAlwaysOn(current) && !loadSavedSchedule()) saveSchedule(current);
    writeSchedule(alwaysOnSchedule());
    g_settings_set_boolean(settings, "night-light-enabled", TRUE);
    g_settings_sync();
    clearDisabledUntilTomorrow();
  }

  void switchOff() {
    g_settings_set_boolean(settings, "night-light-enabled", FALSE);
    // Give the schedule back, unless the user has chosen another one meanwhile.
    if (const auto saved = loadSavedSchedule(); saved && isAlwaysOn(currentSchedule())) writeSchedule(*saved);
    forgetSavedSchedule();
    g_settings_sync();
  }
};

bool GnomeBackend::isUsable() {
  if (!schemaInstalled()) return false;
  GDBusConnection* bus = openSessionBus();
  if (!bus) return false;
  GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", kBusName),
                                                G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr,
                                                nullptr);
  gboolean owned = FALSE;
  if (reply) {
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
  }
  g_dbus_connection_close_sync(bus, nullptr, nullptr);
  g_object_unref(bus);
  return owned;
}

std::unique_ptr<GnomeBackend> GnomeBackend::create() {
  auto loop = std::make_shared<Loop>();
  std::promise<bool> ready;
  auto connected = ready.get_future();
  std::thread thread([loop, r = std::move(ready)]() mutable { Loop::run(loop, std::move(r)); });
  if (!connected.get()) {
    thread.join();
    return nullptr;
  }
  return std::unique_ptr<GnomeBackend>(new GnomeBackend(std::move(loop), std::move(thread)));
}

GnomeBackend::GnomeBackend(std::shared_ptr<Loop> loop, std::thread thread)
    : loop_(std::move(loop)), thread_(std::move(thread)) {}

GnomeBackend::~GnomeBackend() {
  loop_->callback.stop();
  // Through the context, so a quit cannot be lost before the loop runs.
  g_main_context_invoke(
      loop_->context,
      [](gpointer l) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(l));
        return G_SOURCE_REMOVE;
      },
      loop_->loop);
  endThread(thread_);  // the thread holds the loop's state
}

void GnomeBackend::setStatusCallback(std::function<void()> callback) { loop_->callback.set(std::move(callback)); }

bool GnomeBackend::readEnabled(bool* enabled) {
  return loop_->onLoop<bool>([l = loop_.get(), enabled] {
    bool active = false, disabled = false;
    if (!l->daemonPresent() || !cachedBool(l->proxy, "NightLightActive", &active)) return false;
    cachedBool(l->proxy, "DisabledUntilTomorrow", &disabled);
    *enabled = active && !disabled;
    return true;
  });
}

bool GnomeBackend::readStrength(float* strength) {
  return loop_->onLoop<bool>([l = loop_.get(), strength] {
    const auto s = kelvinToStrength(g_settings_get_uint(l->settings, "night-light-temperature"));
    *strength = static_cast<float>(s.value_or(0.0));
    return true;
  });
}

void GnomeBackend::setEnabled(bool enabled) {
  loop_->onLoop<bool>([l = loop_.get(), enabled] {
    enabled ? l->switchOn() : l->switchOff();
    return true;
  });
}

void GnomeBackend::setStrength(float strength, bool /*commit*/) {
  // GNOME has one temperature, the key; its own slider writes it while
  // dragging too, so a preview and a commit are the same write here.
  const auto kelvin = strengthToKelvin(strength);
  if (!kelvin) return;  // NaN is no strength at all
  loop_->onLoop<bool>([l = loop_.get(), k = static_cast<guint>(std::lround(*kelvin))] {
    g_settings_set_uint(l->settings, "night-light-temperature", k);
    g_settings_sync();
    return true;
  });
}

}  // namespace duskwarden::provider::gnome

namespace duskwarden::provider {

namespace {
bool gnomeIsUsable() { return gnome::GnomeBackend::isUsable(); }
std::unique_ptr<Backend> createGnome() { return gnome::GnomeBackend::create(); }
}  // namespace

extern const BackendKind kGnomeBackend;  // listed in core/Backends.cpp
const BackendKind kGnomeBackend{"gnome", true, gnomeIsUsable, createGnome};

}  // namespace duskwarden::provider
