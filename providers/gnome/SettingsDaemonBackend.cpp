#include "gnome/SettingsDaemonBackend.h"

#include <gio/gio.h>

#include <cmath>
#include <memory>
#include <string>

#include "base/callback/CallbackSlot.h"
#include "backendkit/GLibLoop.h"
#include "backendkit/ColorTemperature.h"
#include "backendkit/Log.h"
#include "backendkit/RemoteObject.h"
#include "backendkit/SessionBus.h"
#include "gnome/ColorService.h"
#include "gnome/GnomeSchedule.h"

namespace duskwarden::provider::gnome {

struct SettingsDaemonBackend::Loop final : GLibLoop {
  explicit Loop(const ColorDesktop& d) : desktop(d) {}

  const ColorDesktop& desktop;
  GDBusConnection* bus = nullptr;
  std::unique_ptr<RemoteObject> daemon;  // the colour plugin's object
  GSettings* settings = nullptr;
  CallbackSlot callback;
  // Our own command in progress (provider thread only): its writes are one change.
  bool inCommand = false;
  bool changedInCommand = false;
  Reason commandFailure;  // the command's first failure; NONE when it had none
  LogOnce readFailures, writeFailures;

  void changed() {
    if (inCommand)
      changedInCommand = true;
    else
      callback.call();
  }

  static void onSettingChanged(GSettings*, const char* key, gpointer self) {
    auto* loop = static_cast<Loop*>(self);
    if (isOurKey(loop->desktop, key)) loop->changed();
  }
  // The temperature ramps in ~30 steps when switching; only what our status
  // is made of counts as a change (all of it when the daemon comes or goes).
  void daemonChanged(const std::vector<std::string>& properties) {
    for (const auto& name : properties)
      if (name == "NightLightActive" || name == "DisabledUntilTomorrow") return changed();
  }

  bool connect() override {
    if (const auto problem = schemaProblem(desktop); !problem.empty()) {
      logError("%s: %s", desktop.label, problem.c_str());
      return false;
    }
    std::string why;
    bus = openSessionBus(&why);
    if (!bus) {
      logError("%s: %s", desktop.label, why.c_str());
      return false;
    }
    // Followed, never waited for: a daemon stopped at login is read when it runs again.
    daemon = std::make_unique<RemoteObject>(bus, desktop.busName, desktop.objectPath, desktop.busName,
                                            [this](const std::vector<std::string>& names) { daemonChanged(names); });
    settings = g_settings_new(desktop.schema);
    // GSettings only reports changes of keys read since connecting.
    for (const auto& k : keysOf(desktop)) g_variant_unref(g_settings_get_value(settings, k.name));
    g_signal_connect(settings, "changed", G_CALLBACK(onSettingChanged), this);
    return true;
  }

  void disconnect() override {
    if (settings) g_signal_handlers_disconnect_by_data(settings, this);
    g_clear_object(&settings);
    daemon.reset();
    if (bus) g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_clear_object(&bus);
  }

  // --- work on the provider's thread ---

  // Our writes each emit "changed" at once, on this thread: report them as
  // one change, after the command.
  template <typename F>
  void command(F work) {
    inCommand = true;
    changedInCommand = false;
    commandFailure = {};
    work();
    g_settings_sync();
    inCommand = false;
    if (commandFailure.code == DW_NIGHTLIGHT_REASON_NONE) {
      writeFailures.clear();  // the next failure is news again
      reason.clear();
    } else {
      reason.set(commandFailure.code, commandFailure.message);
    }
    if (changedInCommand) callback.call();
  }

  // `line` names the request; it is logged once while it keeps failing.
  void writeFailed(const std::string& line, int code = DW_NIGHTLIGHT_REASON_FAILED) {
    if (commandFailure.code == DW_NIGHTLIGHT_REASON_NONE) commandFailure = {code, line};
    writeFailures.error(line, "%s", line.c_str());
  }

  template <typename Setter, typename V>
  void write(const char* key, Setter set, V value) {
    if (set(settings, key, value)) return;
    // A key the administrator locked (dconf lockdown) is not ours to change.
    const bool locked = !g_settings_is_writable(settings, key);
    writeFailed(std::string("GSettings write ") + key + (locked ? ": key not writable (locked)" : ": key not writable"),
                locked ? DW_NIGHTLIGHT_REASON_LOCKED : DW_NIGHTLIGHT_REASON_FAILED);
  }
  void writeBool(const char* key, bool value) { write(key, g_settings_set_boolean, value ? TRUE : FALSE); }
  void writeDouble(const char* key, double value) { write(key, g_settings_set_double, value); }
  void writeUint(const char* key, guint value) { write(key, g_settings_set_uint, value); }
  void writeString(const char* key, const char* value) { write(key, g_settings_set_string, value); }

  bool automatic() const {
    if (!desktop.automaticIsMode) return g_settings_get_boolean(settings, desktop.automaticKey) != FALSE;
    gchar* mode = g_settings_get_string(settings, desktop.automaticKey);
    const bool manual = g_strcmp0(mode, "manual") == 0;
    g_free(mode);
    return !manual;
  }

  Schedule currentSchedule() const {
    return {automatic(), g_settings_get_double(settings, kFromKey), g_settings_get_double(settings, kToKey)};
  }

  void writeSchedule(const Schedule& s) {
    if (desktop.automaticIsMode)
      writeString(desktop.automaticKey, s.automatic ? "auto" : "manual");
    else
      writeBool(desktop.automaticKey, s.automatic);
    writeDouble(kFromKey, s.from);
    writeDouble(kToKey, s.to);
  }

  void clearDisabledUntilTomorrow() {
    bool disabled = false;
    if (!daemon->boolean("DisabledUntilTomorrow", &disabled) || !disabled) return;
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, desktop.busName, desktop.objectPath, "org.freedesktop.DBus.Properties", "Set",
        g_variant_new("(ssv)", desktop.busName, "DisabledUntilTomorrow", g_variant_new_boolean(FALSE)), nullptr,
        G_DBUS_CALL_FLAGS_NO_AUTO_START, kBusCallTimeoutMs, nullptr, &error);
    if (reply) {
      g_variant_unref(reply);
      return;
    }
    writeFailed(std::string("D-Bus Set ") + desktop.busName + ".DisabledUntilTomorrow: " + error->message);
    g_error_free(error);
  }

  void switchOn() {
    const Schedule current = currentSchedule();
    // Keep whatever schedule we are about to replace, and replace it only
    // once it is kept: a stale file from an earlier run must not win over the
    // user's newer choice, and an unsavable one must not be lost.
    bool kept = true;
    if (!isAlwaysOn(current)) {
      std::string error;
      kept = saveSchedule(desktop, current, &error);
      if (!kept)
        writeFailed(std::string(desktop.label) + ": save the schedule to " + error +
                    "; the schedule is left as it is, and night light follows it");
    }
    if (kept) writeSchedule(alwaysOnSchedule());
    writeBool(kEnabledKey, true);
    clearDisabledUntilTomorrow();
  }

  void switchOff() {
    writeBool(kEnabledKey, false);
    // Give the schedule back, unless the user has chosen another one meanwhile.
    std::string problem;
    const auto saved = loadSavedSchedule(desktop, &problem);
    if (saved && isAlwaysOn(currentSchedule())) writeSchedule(*saved);
    if (!problem.empty())
      writeFailed(std::string(desktop.label) + ": read the saved schedule " + problem + "; the schedule is left as it is");
    forgetSavedSchedule(desktop);
  }

  bool readEnabled(bool* enabled) {
    bool active = false, disabled = false;
    if (!daemon->boolean("NightLightActive", &active)) {
      // Not asked again here: the daemon is read as soon as it answers, and
      // that is reported as a change. Until then there is no state to give.
      if (daemon->ownerKnown() && !daemon->hasOwner())
        readFailures.error("absent", "%s: %s is not on the session bus", desktop.label, desktop.busName);
      if (daemon->silent())
        reason.set(DW_NIGHTLIGHT_REASON_TIMEOUT, std::string(desktop.busName) + " has not answered within 2 s");
      return false;
    }
    daemon->boolean("DisabledUntilTomorrow", &disabled);
    readFailures.clear();
    *enabled = active && !disabled;
    // Seen on, or the daemon answering again: nothing left to explain.
    if (*enabled || reason.get().code == DW_NIGHTLIGHT_REASON_TIMEOUT) reason.clear();
    return true;
  }
};

bool SettingsDaemonBackend::isUsable(const ColorDesktop& desktop) {
  if (const auto problem = schemaProblem(desktop); !problem.empty()) {
    logInfo("%s: %s", desktop.label, problem.c_str());
    return false;
  }
  std::string why;
  GDBusConnection* bus = openSessionBus(&why);
  if (!bus) {
    logInfo("%s: %s", desktop.label, why.c_str());
    return false;
  }
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", desktop.busName),
                                                G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, kBusCallTimeoutMs, nullptr,
                                                &error);
  gboolean owned = FALSE;
  if (reply) {
    g_variant_get(reply, "(b)", &owned);
    g_variant_unref(reply);
    if (!owned)
      logInfo("%s: %s is not on the session bus (is %s running?)", desktop.label, desktop.busName, desktop.daemon);
  } else {
    logError("D-Bus NameHasOwner %s: %s", desktop.busName, error->message);
    g_error_free(error);
  }
  g_dbus_connection_close_sync(bus, nullptr, nullptr);
  g_object_unref(bus);
  return owned;
}

std::unique_ptr<SettingsDaemonBackend> SettingsDaemonBackend::create(const ColorDesktop& desktop) {
  GLibLoopThread<Loop> loop;
  if (!loop.start(desktop)) return nullptr;
  return std::unique_ptr<SettingsDaemonBackend>(new SettingsDaemonBackend(std::move(loop)));
}

SettingsDaemonBackend::SettingsDaemonBackend(GLibLoopThread<Loop> loop) : loop_(std::move(loop)) {}

SettingsDaemonBackend::~SettingsDaemonBackend() = default;

void SettingsDaemonBackend::setStatusCallback(std::function<void()> callback) { loop_->callback.set(std::move(callback)); }

// What a request is called in the log: "GNOME: turn on".
std::string SettingsDaemonBackend::request(const char* what) const {
  return std::string(loop_->desktop.label) + ": " + what;
}

bool SettingsDaemonBackend::readEnabled(bool* enabled) {
  const auto on = loop_->onLoop<std::optional<bool>>(request("read the state").c_str(), [l = loop_.get()] {
    bool value = false;
    return l->readEnabled(&value) ? std::optional<bool>(value) : std::nullopt;
  });
  if (!on || !*on) return false;
  *enabled = **on;
  return true;
}

bool SettingsDaemonBackend::readStrength(float* strength) {
  const auto kelvin = loop_->onLoop<guint>(request("read the temperature").c_str(),
                                           [l = loop_.get()] { return g_settings_get_uint(l->settings, kTemperatureKey); });
  if (!kelvin) return false;
  *strength = static_cast<float>(kelvinToStrength(*kelvin).value_or(0.0));
  return true;
}

void SettingsDaemonBackend::setEnabled(bool enabled) {
  loop_->onLoop<bool>(request(enabled ? "turn on" : "turn off").c_str(), [l = loop_.get(), enabled] {
    l->command([l, enabled] { enabled ? l->switchOn() : l->switchOff(); });
    return true;
  });
}

void SettingsDaemonBackend::setStrength(float strength, bool /*commit*/) {
  // The daemon has one temperature, the key (GNOME's own slider writes it
  // while dragging too), so a preview and a commit are the same write here.
  const auto kelvin = strengthToKelvin(strength);
  if (!kelvin) return;  // NaN is no strength at all
  loop_->onLoop<bool>(request("set the temperature").c_str(),
                      [l = loop_.get(), k = static_cast<guint>(std::lround(*kelvin))] {
                        l->command([l, k] { l->writeUint(kTemperatureKey, k); });
                        return true;
                      });
}

Reason SettingsDaemonBackend::reason() { return loop_->reason.get(); }

}  // namespace duskwarden::provider::gnome
