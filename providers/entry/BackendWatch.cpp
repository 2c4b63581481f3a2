#include "entry/BackendWatch.h"

#include <poll.h>
#include <systemd/sd-bus.h>
#include <time.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include "base/callback/CallbackSlot.h"
#include "backendkit/CompositorSocket.h"
#include "backendkit/Log.h"
#include "entry/SessionBusNames.h"

namespace duskwarden::provider {

namespace {

constexpr const char* kNoReply = "org.freedesktop.DBus.Error.NoReply";

int monotonicMsUntil(std::uint64_t usec) {
  if (usec == UINT64_MAX) return -1;
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  const std::uint64_t current = static_cast<std::uint64_t>(now.tv_sec) * 1'000'000 + now.tv_nsec / 1000;
  return usec <= current ? 0 : static_cast<int>((usec - current + 999) / 1000);
}

}  // namespace

struct BackendWatch::State {
  // One backend's name on the bus, for the callbacks.
  struct Target {
    State* state;
    const BackendEntry* entry;
  };
  // One Ping waiting for its answer.
  struct Ping {
    Target* target;
    std::string owner;
  };

  CallbackSlot callback;  // only its stop() counts: no retry begins once stopped
  Retry retry;
  WakeFd waker;
  sd_bus* bus = nullptr;
  std::vector<std::unique_ptr<Target>> targets;
  std::set<std::string> pinged;  // owners asked once already: each answers once
  std::vector<std::unique_ptr<Ping>> pings;
  const BackendEntry* wayland = nullptr;
  std::unique_ptr<SocketWatch> socket;

  ~State() {
    if (bus != nullptr) sd_bus_close_unref(bus);  // no flush: a hung bus must not hold us
  }

  void wake() { waker.wake(); }

  void retryFor(const BackendEntry& entry) {
    if (!callback.stopped()) retry(entry);
  }

  // Asks `owner` to answer, with no deadline: a service that is there but
  // stopped answers when it runs again, and is tried then.
  void ping(const std::string& owner, Target* target) {
    if (!pinged.insert(owner).second) return;
    pings.push_back(std::make_unique<Ping>(Ping{target, owner}));
    send(*pings.back());
  }

  void send(Ping& ping) {
    sd_bus_message* call = nullptr;
    int r = sd_bus_message_new_method_call(bus, &call, ping.owner.c_str(), "/", "org.freedesktop.DBus.Peer", "Ping");
    if (r >= 0) r = sd_bus_call_async(bus, nullptr, call, &State::answered, &ping, UINT64_MAX);
    sd_bus_message_unref(call);
    if (r < 0) logError("%s: D-Bus Ping %s: %s", ping.target->entry->label, ping.owner.c_str(), std::strerror(-r));
  }

  static int answered(sd_bus_message* reply, void* data, sd_bus_error*) {
    auto* ping = static_cast<Ping*>(data);
    State* state = ping->target->state;
    // The bus gave up waiting, not we: still silent (or gone, which the next
    // Ping learns at once), so ask again.
    if (sd_bus_message_is_method_error(reply, kNoReply))
      state->send(*ping);
    else
      state->retryFor(*ping->target->entry);
    return 0;
  }

  static int ownerChanged(sd_bus_message* signal, void* data, sd_bus_error*) {
    auto* target = static_cast<Target*>(data);
    const char *name = nullptr, *before = nullptr, *after = nullptr;
    if (sd_bus_message_read(signal, "sss", &name, &before, &after) >= 0 && after != nullptr && *after != '\0')
      target->state->ping(after, target);
    return 0;
  }

  static int ownerFound(sd_bus_message* reply, void* data, sd_bus_error*) {
    auto* target = static_cast<Target*>(data);
    const char* owner = nullptr;
    if (!sd_bus_message_is_method_error(reply, nullptr) && sd_bus_message_read(reply, "s", &owner) >= 0 && owner)
      target->state->ping(owner, target);
    return 0;
  }

  // Watches `name`: the match first, so that an owner arriving meanwhile is
  // seen by the one or the other.
  void watchName(const char* name, Target* target) {
    const std::string match = std::string("type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
                                          "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='") +
                              name + "'";
    int r = sd_bus_add_match_async(bus, nullptr, match.c_str(), &State::ownerChanged, nullptr, target);
    if (r >= 0)
      r = sd_bus_call_method_async(bus, nullptr, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                   "org.freedesktop.DBus", "GetNameOwner", &State::ownerFound, target, "s", name);
    if (r < 0) logError("%s: watch %s on the session bus: %s", target->entry->label, name, std::strerror(-r));
  }

  bool openBus() {
    std::string why;
    bus = openUserBus(&why);
    if (!bus) logInfo("Not waiting for a desktop service: %s", why.c_str());
    return bus != nullptr;
  }

  void watchSocket(const BackendEntry& entry) {
    std::string why;
    const std::string path = compositorSocketPath(&why);
    if (path.empty()) return;  // no Wayland session: nothing can appear
    auto watch = std::make_unique<SocketWatch>(path);
    if (!watch->arm(&why)) {
      logError("%s: cannot watch for the compositor's socket: %s", entry.label, why.c_str());
      return;
    }
    socket = std::move(watch);
    wayland = &entry;
  }

  bool setUp(const std::vector<const BackendEntry*>& entries) {
    bool busWanted = false;
    for (const BackendEntry* entry : entries) busWanted = busWanted || !entry->busNames.empty();
    if (busWanted && openBus()) {
      for (const BackendEntry* entry : entries) {
        for (const char* name : entry->busNames) {
          targets.push_back(std::make_unique<Target>(Target{this, entry}));
          watchName(name, targets.back().get());
        }
      }
    }
    for (const BackendEntry* entry : entries)
      if (entry->display == BackendEntry::Display::wayland) watchSocket(*entry);
    return bus != nullptr || socket != nullptr;
  }

  void run() {
    while (!callback.stopped()) {
      pollfd fds[3] = {{waker.fd(), POLLIN, 0}, {-1, 0, 0}, {-1, 0, 0}};
      int timeout = -1;
      if (bus != nullptr) {
        fds[1] = {sd_bus_get_fd(bus), static_cast<short>(sd_bus_get_events(bus)), 0};
        std::uint64_t due = UINT64_MAX;
        if (sd_bus_get_timeout(bus, &due) >= 0) timeout = monotonicMsUntil(due);
      }
      if (socket) fds[2] = {socket->fd(), POLLIN, 0};
      if (::poll(fds, 3, timeout) < 0 && errno != EINTR) {
        logError("Waiting for a desktop service: poll: %s", std::strerror(errno));
        return;
      }
      if (callback.stopped()) return;
      waker.drain();
      if (bus != nullptr) {
        int r = 0;
        while ((r = sd_bus_process(bus, nullptr)) > 0 && !callback.stopped()) {
        }
        if (r < 0) {
          logError("Waiting for a desktop service: the session bus connection ended: %s", std::strerror(-r));
          sd_bus_close_unref(bus);
          bus = nullptr;
        }
      }
      if (socket && (fds[2].revents & POLLIN) && socket->socketChanged()) {
        std::string why;
        socket->arm(&why);  // a link may point elsewhere now
        retryFor(*wayland);
      }
      if (bus == nullptr && !socket) return;
    }
  }
};

std::unique_ptr<BackendWatch> BackendWatch::start(std::vector<const BackendEntry*> entries, Retry retry) {
  auto state = std::make_shared<State>();
  state->retry = std::move(retry);
  if (std::string why; !state->waker.open(&why)) {
    logError("Not waiting for a desktop service: %s", why.c_str());
    return nullptr;
  }
  if (!state->setUp(entries)) return nullptr;
  return std::unique_ptr<BackendWatch>(new BackendWatch(std::move(state)));
}

BackendWatch::BackendWatch(std::shared_ptr<State> state) : thread_(std::move(state)) {}

BackendWatch::~BackendWatch() = default;

}  // namespace duskwarden::provider
