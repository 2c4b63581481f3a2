#include "backendkit/RemoteObject.h"

#include "backendkit/Log.h"
#include "backendkit/SessionBus.h"

namespace duskwarden::provider {

RemoteObject::RemoteObject(GDBusConnection* bus, const char* name, const char* path, const char* interface,
                           Changed changed)
    : bus_(bus), name_(name), path_(path), interface_(interface), changed_(std::move(changed)) {
  // The bus daemon sends the signals of whoever owns the name now.
  subscription_ = g_dbus_connection_signal_subscribe(bus_, name, "org.freedesktop.DBus.Properties",
                                                     "PropertiesChanged", path, interface, G_DBUS_SIGNAL_FLAGS_NONE,
                                                     &RemoteObject::signalled, this, nullptr);
  watch_ = g_bus_watch_name_on_connection(bus_, name, G_BUS_NAME_WATCHER_FLAGS_NONE, &RemoteObject::appeared,
                                          &RemoteObject::vanished, this, nullptr);
}

RemoteObject::~RemoteObject() {
  // Neither calls back once these return; a GetAll still waiting answers "cancelled" and touches nothing.
  g_bus_unwatch_name(watch_);
  g_dbus_connection_signal_unsubscribe(bus_, subscription_);
  forget();
}

void RemoteObject::forget() {
  if (pending_ != nullptr) {
    g_cancellable_cancel(pending_);
    g_clear_object(&pending_);
  }
  stopOverdue();
  silent_ = false;
  for (auto& [key, value] : cache_) g_variant_unref(value);
  cache_.clear();
  loaded_ = false;
}

bool RemoteObject::stopOverdue() {
  if (overdue_ == nullptr) return false;
  g_source_destroy(overdue_);
  g_source_unref(overdue_);
  overdue_ = nullptr;
  return true;
}

std::vector<std::string> RemoteObject::names() const {
  std::vector<std::string> all;
  for (const auto& [key, value] : cache_) all.push_back(key);
  return all;
}

GVariant* RemoteObject::property(const char* name) const {
  const auto it = cache_.find(name);
  return it == cache_.end() ? nullptr : g_variant_ref(it->second);
}

bool RemoteObject::boolean(const char* name, bool* value) const {
  const auto it = cache_.find(name);
  if (it == cache_.end() || !g_variant_is_of_type(it->second, G_VARIANT_TYPE_BOOLEAN)) return false;
  *value = g_variant_get_boolean(it->second) != FALSE;
  return true;
}

std::vector<std::string> RemoteObject::merge(GVariant* dictionary) {
  std::vector<std::string> named;
  GVariantIter iter;
  g_variant_iter_init(&iter, dictionary);
  const char* key = nullptr;
  GVariant* value = nullptr;
  while (g_variant_iter_next(&iter, "{&sv}", &key, &value)) {
    if (auto it = cache_.find(key); it != cache_.end()) g_variant_unref(it->second);
    cache_[key] = value;  // the reference the iterator gave
    named.emplace_back(key);
  }
  return named;
}

void RemoteObject::appeared(GDBusConnection*, const char*, const char* owner, gpointer data) {
  auto* self = static_cast<RemoteObject*>(data);
  const auto before = self->names();
  self->forget();
  self->ownerKnown_ = true;
  self->owner_ = owner;
  self->pending_ = g_cancellable_new();
  // No deadline: a service stopped at login answers when it runs again, and
  // this waits for that without holding anyone. Asked of the owner itself, so
  // that a later owner's answer can never be taken for this one's.
  g_dbus_connection_call(self->bus_, owner, self->path_.c_str(), "org.freedesktop.DBus.Properties", "GetAll",
                         g_variant_new("(s)", self->interface_.c_str()), G_VARIANT_TYPE("(a{sv})"),
                         G_DBUS_CALL_FLAGS_NO_AUTO_START, G_MAXINT, self->pending_, &RemoteObject::answered, self);
  self->overdue_ = g_timeout_source_new(kBusCallTimeoutMs);
  g_source_set_callback(self->overdue_, &RemoteObject::overdue, self, nullptr);
  g_source_attach(self->overdue_, g_main_context_get_thread_default());
  if (!before.empty()) self->changed_(before);
}

gboolean RemoteObject::overdue(gpointer data) {
  auto* self = static_cast<RemoteObject*>(data);
  logInfo("%s (%s) has not answered D-Bus GetAll %s within 2 s; it is read when it does", self->name_.c_str(),
          self->owner_.c_str(), self->interface_.c_str());
  g_source_unref(self->overdue_);
  self->overdue_ = nullptr;
  self->silent_ = true;
  return G_SOURCE_REMOVE;
}

void RemoteObject::vanished(GDBusConnection*, const char*, gpointer data) {
  auto* self = static_cast<RemoteObject*>(data);
  const bool had = !self->owner_.empty();
  auto before = self->names();
  self->forget();
  self->ownerKnown_ = true;
  self->owner_.clear();
  if (had) self->changed_(before);
}

void RemoteObject::answered(GObject* bus, GAsyncResult* result, gpointer data) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(bus), result, &error);
  if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {  // `data` may be gone: not touched
    g_error_free(error);
    return;
  }
  auto* self = static_cast<RemoteObject*>(data);
  g_clear_object(&self->pending_);
  self->silent_ = false;
  if (!self->stopOverdue() && reply != nullptr) {
    logInfo("%s (%s) has answered D-Bus GetAll %s", self->name_.c_str(), self->owner_.c_str(), self->interface_.c_str());
  }
  if (reply == nullptr) {
    logError("D-Bus GetAll %s on %s (%s): %s", self->interface_.c_str(), self->name_.c_str(), self->owner_.c_str(),
             error->message);
    g_error_free(error);
    return;
  }
  GVariant* properties = g_variant_get_child_value(reply, 0);
  self->merge(properties);
  g_variant_unref(properties);
  g_variant_unref(reply);
  self->loaded_ = true;
  self->changed_(self->names());
}

void RemoteObject::signalled(GDBusConnection*, const char*, const char*, const char*, const char*,
                             GVariant* parameters, gpointer data) {
  auto* self = static_cast<RemoteObject*>(data);
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(sa{sv}as)")) || self->owner_.empty()) return;
  GVariant* changed = nullptr;
  const char** invalidated = nullptr;
  g_variant_get(parameters, "(&s@a{sv}^a&s)", nullptr, &changed, &invalidated);
  std::vector<std::string> named = self->merge(changed);
  for (const char** p = invalidated; p && *p; ++p) {
    if (auto it = self->cache_.find(*p); it != self->cache_.end()) {
      g_variant_unref(it->second);
      self->cache_.erase(it);
    }
    named.emplace_back(*p);
  }
  g_free(invalidated);
  g_variant_unref(changed);
  if (!named.empty()) self->changed_(named);
}

}  // namespace duskwarden::provider
