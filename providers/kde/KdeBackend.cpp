#include "kde/KdeBackend.h"

#include <gio/gio.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/callback/CallbackSlot.h"
#include "backendkit/GLibLoop.h"
#include "backendkit/Log.h"
#include "backendkit/RemoteObject.h"
#include "backendkit/SessionBus.h"
#include "kde/KdeEntry.h"
#include "kde/NightColorSettings.h"
#include "kde/NightColorValues.h"

namespace duskwarden::provider::kde {

namespace {

struct NightColorObject {
  const char* name;
  const char* path;
  const char* interface;
};
// Plasma 6 first. On 5.27 org.kde.NightColor rather than org.kde.KWin: KWin
// takes that name only after the object is registered, so a restarted KWin
// is never seen without its properties.
constexpr NightColorObject kObjects[] = {
    {kKdeBusNames[0], "/org/kde/KWin/NightLight", "org.kde.KWin.NightLight"},
    {kKdeBusNames[1], "/ColorCorrect", "org.kde.kwin.ColorCorrect"},
};

bool isTrue(const RemoteObject& object, const char* name) {
  bool value = false;
  return object.boolean(name, &value) && value;
}

// What the callback reports changes of.
struct Snapshot {
  bool present = false;
  bool available = false;
  bool enabled = false;
  bool running = false;
  bool inhibited = false;
  int target = kNeutralKelvin;
  bool operator==(const Snapshot&) const = default;
  bool warm() const { return present && available && enabled && running && target < kNeutralKelvin; }
  bool inhibitedByOthers() const { return present && enabled && inhibited && !running; }
};

constexpr const char* kInhibited =
    "KDE Night Color is inhibited by another program, or by its own applet or shortcut (KWin does not say which)";

int reasonFor(SettingsChange::Refusal refusal) {
  switch (refusal) {
    case SettingsChange::Refusal::locked:
      return DW_NIGHTLIGHT_REASON_LOCKED;
    case SettingsChange::Refusal::busy:
      return DW_NIGHTLIGHT_REASON_BUSY;
    case SettingsChange::Refusal::failed:
    case SettingsChange::Refusal::none:
      break;
  }
  return DW_NIGHTLIGHT_REASON_FAILED;
}

}  // namespace

struct KdeBackend::Loop final : GLibLoop {
  GDBusConnection* bus = nullptr;
  std::unique_ptr<RemoteObject> objects[std::size(kObjects)];
  NightColorSettings settings = NightColorSettings::forUser();
  CallbackSlot callback;
  Snapshot reported;  // on the loop's thread only
  bool seen = false;  // KWin's object has been read once: a later absence is KWin leaving
  LogOnce refusals;   // a refusal that every retry meets is logged once

  const RemoteObject* active() const {
    for (const auto& object : objects) {
      bool enabled = false;
      if (object && object->boolean("enabled", &enabled)) return object.get();
    }
    return nullptr;
  }

  Snapshot snapshot() const {
    Snapshot s;
    const RemoteObject* object = active();
    if (!object) return s;
    s.present = true;
    s.available = isTrue(*object, "available");
    s.enabled = isTrue(*object, "enabled");
    s.running = isTrue(*object, "running");
    s.inhibited = isTrue(*object, "inhibited");
    GVariant* target = object->property("targetTemperature");
    s.target = kelvinFromVariant(target).value_or(kNeutralKelvin);
    if (target) g_variant_unref(target);
    return s;
  }

  // Says in the log what the user would otherwise wonder about.
  void explain(const Snapshot& before, const Snapshot& now) {
    if (before.present && !now.present) logInfo("KDE Night Color: KWin left the session bus; waiting for it to return");
    if (!before.present && now.present && seen) logInfo("KDE Night Color: KWin's Night Color is back on the session bus");
    seen = seen || now.present;
    if (!before.inhibitedByOthers() && now.inhibitedByOthers())
      logInfo("%s: night light stays off until that inhibition is lifted; Duskwarden does not override it",
              kInhibited);
    if (before.inhibitedByOthers() && !now.inhibitedByOthers() && now.present)
      logInfo("KDE Night Color: the inhibition has ended");
  }

  // What KWin shows now, as a reason: an inhibition by someone else holds
  // night light off; night light seen on leaves nothing to explain.
  void noteState(const Snapshot& now) {
    const int code = reason.get().code;
    if (now.inhibitedByOthers())
      reason.set(DW_NIGHTLIGHT_REASON_INHIBITED, kInhibited);
    else if (now.warm() || code == DW_NIGHTLIGHT_REASON_INHIBITED || (now.present && code == DW_NIGHTLIGHT_REASON_TIMEOUT))
      reason.clear();
  }

  void changed() {
    const Snapshot now = snapshot();
    noteState(now);
    if (now == reported) return;  // a temperature step, or a property we do not report
    explain(reported, now);
    reported = now;
    callback.call();
  }

  bool connect() override {
    std::string error;
    bus = openSessionBus(&error);
    if (!bus) {
      logError("KDE Night Color: connect to the session bus: %s", error.c_str());
      return false;
    }
    // Followed, never waited for: a KWin stopped at login is read when it
    // runs again, and that is reported as a change.
    for (std::size_t i = 0; i < std::size(kObjects); ++i)
      objects[i] = std::make_unique<RemoteObject>(bus, kObjects[i].name, kObjects[i].path, kObjects[i].interface,
                                                  [this](const std::vector<std::string>&) { changed(); });
    return true;
  }

  void disconnect() override {
    for (auto& object : objects) object.reset();
    if (bus) g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_clear_object(&bus);
  }

  // KConfig's change notice, as System Settings sends it: KWin's config
  // watcher re-reads kwinrc on it (a reconfigure call on /KWin does not).
  void announce(const std::vector<std::string>& keys) {
    if (keys.empty()) return;
    GVariantBuilder names;
    g_variant_builder_init(&names, G_VARIANT_TYPE("aay"));
    for (const std::string& key : keys)
      g_variant_builder_add_value(&names, g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, key.data(), key.size(), 1));
    GVariantBuilder groups;
    g_variant_builder_init(&groups, G_VARIANT_TYPE("a{saay}"));
    g_variant_builder_add(&groups, "{s@aay}", kGroup, g_variant_builder_end(&names));
    GError* failure = nullptr;
    if (!g_dbus_connection_emit_signal(bus, nullptr, "/kwinrc", "org.kde.kconfig.notify", "ConfigChanged",
                                       g_variant_new("(a{saay})", &groups), &failure)) {
      logError("KDE Night Color: D-Bus emit org.kde.kconfig.notify.ConfigChanged on /kwinrc: %s", failure->message);
      g_error_free(failure);
    }
  }

  void apply(const SettingsChange& change, const char* what) {
    announce(change.keys);  // what was written, also when the change did not go through as a whole
    if (!change.ok()) {
      refusals.error(change.error, "KDE Night Color: %s: %s", what, change.error.c_str());
      reason.set(reasonFor(change.refusal), change.error);
      return;
    }
    refusals.clear();
    reason.clear();
    noteState(snapshot());
  }
};

bool KdeBackend::isUsable() {
  std::string error;
  GDBusConnection* bus = openSessionBus(&error);
  if (!bus) {
    logInfo("KDE Night Color: no session bus: %s", error.c_str());
    return false;
  }
  bool usable = false;
  std::string why = "no Night Color object on the session bus";
  for (const NightColorObject& object : kObjects) {
    GError* failure = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, object.name, object.path, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", object.interface, "available"), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START,
        kBusCallTimeoutMs, nullptr, &failure);
    if (reply) {
      GVariant* value = nullptr;
      g_variant_get(reply, "(v)", &value);
      usable = g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(value);
      g_variant_unref(value);
      g_variant_unref(reply);
      if (usable) break;
      why = std::string(object.name) + " reports Night Color as not available";
    } else {
      g_autofree char* remote = g_dbus_error_get_remote_error(failure);
      const bool absent = g_strcmp0(remote, "org.freedesktop.DBus.Error.ServiceUnknown") == 0 ||
                          g_strcmp0(remote, "org.freedesktop.DBus.Error.NameHasNoOwner") == 0;
      if (!absent) why = std::string("D-Bus Get ") + object.interface + ".available: " + failure->message;
      g_error_free(failure);
    }
  }
  if (!usable) logInfo("KDE Night Color: %s", why.c_str());
  g_dbus_connection_close_sync(bus, nullptr, nullptr);
  g_object_unref(bus);
  return usable;
}

std::unique_ptr<KdeBackend> KdeBackend::create() {
  GLibLoopThread<Loop> loop;
  if (!loop.start()) return nullptr;
  return std::unique_ptr<KdeBackend>(new KdeBackend(std::move(loop)));
}

KdeBackend::KdeBackend(GLibLoopThread<Loop> loop) : loop_(std::move(loop)) {}

KdeBackend::~KdeBackend() = default;

void KdeBackend::setStatusCallback(std::function<void()> callback) { loop_->callback.set(std::move(callback)); }

bool KdeBackend::readEnabled(bool* enabled) {
  const auto warm = loop_->onLoop<std::optional<bool>>("KDE Night Color: read the state", [l = loop_.get()] {
    const Snapshot s = l->snapshot();
    l->noteState(s);
    for (const auto& object : l->objects)
      if (!s.present && object && object->silent())
        l->reason.set(DW_NIGHTLIGHT_REASON_TIMEOUT, std::string(object->name()) + " has not answered within 2 s");
    return s.present ? std::optional<bool>(s.warm()) : std::nullopt;
  });
  if (!warm || !*warm) return false;
  *enabled = **warm;
  return true;
}

bool KdeBackend::readStrength(float* strength) {
  const auto kelvin = loop_->onLoop<std::optional<int>>("KDE Night Color: read the temperature", [l = loop_.get()] {
    int value = 0;
    std::string error;
    if (l->settings.nightTemperature(&value, &error)) return std::optional<int>(value);
    l->refusals.error(error, "KDE Night Color: %s", error.c_str());
    l->reason.set(DW_NIGHTLIGHT_REASON_FAILED, error);
    return std::optional<int>();
  });
  if (!kelvin || !*kelvin) return false;
  *strength = strengthForTemperature(**kelvin);
  return true;
}

void KdeBackend::setEnabled(bool enabled) {
  loop_->onLoop<bool>(enabled ? "KDE Night Color: turn on" : "KDE Night Color: turn off", [l = loop_.get(), enabled] {
    l->apply(enabled ? l->settings.switchOn() : l->settings.switchOff(), enabled ? "turn on" : "turn off");
    return true;
  });
}

void KdeBackend::setStrength(float strength, bool /*commit*/) {
  const auto kelvin = temperatureForStrength(strength);
  if (!kelvin) return;  // NaN is no strength at all
  loop_->onLoop<bool>("KDE Night Color: set the temperature", [l = loop_.get(), k = *kelvin] {
    l->apply(l->settings.setTemperature(k), "set the temperature");
    return true;
  });
}

Reason KdeBackend::reason() { return loop_->reason.get(); }

}  // namespace duskwarden::provider::kde

namespace duskwarden::provider {
const BackendKind kKdeBackend{&kKdeEntry, &kde::KdeBackend::isUsable, &createBackend<kde::KdeBackend>};
}  // namespace duskwarden::provider
