#pragma once
// One object of a desktop service on the session bus, followed without ever
// waiting for the service: who owns its name (watched, not asked again and
// again), and its properties (one GetAll each time an owner appears, then its
// PropertiesChanged signals). A service that does not answer, stopped or busy
// at login, leaves the object not loaded until it does; nothing blocks on it,
// and nothing gives up on it either; the log says when it is slow, and when
// it answers after all.
//
// Made, used and dropped on one thread, whose thread-default main context
// runs the callbacks (a backend's GLibLoop).

#include <gio/gio.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace duskwarden::provider {

class RemoteObject {
 public:
  // Called on the loop's thread with the properties that may have changed:
  // every one known when the service came, went or answered, else those a
  // signal named.
  using Changed = std::function<void(const std::vector<std::string>& properties)>;

  RemoteObject(GDBusConnection* bus, const char* name, const char* path, const char* interface, Changed changed);
  ~RemoteObject();
  RemoteObject(const RemoteObject&) = delete;
  RemoteObject& operator=(const RemoteObject&) = delete;

  // The bus has said whether the name has an owner (it does not right away).
  bool ownerKnown() const { return ownerKnown_; }
  bool hasOwner() const { return !owner_.empty(); }
  // The service answered GetAll since its owner appeared.
  bool loaded() const { return loaded_; }
  // Its owner has not answered GetAll within the deadline of a call (2 s).
  bool silent() const { return silent_; }
  // A new reference to the property's value, or nullptr.
  GVariant* property(const char* name) const;
  // False when absent or not a boolean.
  bool boolean(const char* name, bool* value) const;
  const char* name() const { return name_.c_str(); }

 private:
  static void appeared(GDBusConnection*, const char* name, const char* owner, gpointer self);
  static void vanished(GDBusConnection*, const char* name, gpointer self);
  static void answered(GObject* bus, GAsyncResult* result, gpointer self);
  static gboolean overdue(gpointer self);
  static void signalled(GDBusConnection*, const char* sender, const char* path, const char* interface,
                        const char* signal, GVariant* parameters, gpointer self);
  void forget();        // drops the cache and any GetAll still waiting
  bool stopOverdue();   // false when it has fired already
  std::vector<std::string> names() const;
  // Takes an a{sv} of properties into the cache; answers their names.
  std::vector<std::string> merge(GVariant* dictionary);

  GDBusConnection* bus_;
  std::string name_, path_, interface_;
  Changed changed_;
  guint watch_ = 0;
  guint subscription_ = 0;
  GCancellable* pending_ = nullptr;  // the GetAll waiting for the present owner
  GSource* overdue_ = nullptr;       // says once when that GetAll takes long
  std::string owner_;
  bool ownerKnown_ = false;
  bool loaded_ = false;
  bool silent_ = false;
  std::map<std::string, GVariant*> cache_;
};

}  // namespace duskwarden::provider
