#include "x11/LogindWatcher.h"

#include <poll.h>
#include <pthread.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/callback/CallbackSlot.h"
#include "backendkit/Log.h"

namespace duskwarden::provider::x11 {

namespace {

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kManagerPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kSession = "org.freedesktop.login1.Session";
constexpr std::uint64_t kCallTimeoutUs = 2'000'000;
constexpr const char* kFallback = "are noticed only by the periodic look at the gamma ramps";

std::string failure(const sd_bus_error* error, int r) {
  return error != nullptr && error->message != nullptr ? error->message : std::strerror(r < 0 ? -r : r);
}

}  // namespace

struct LogindWatcher::State {
  CallbackSlot callback;  // lookNow
  WakeFd waker;
  sd_bus* bus = nullptr;
  std::string sessionRequest;

  ~State() { sd_bus_close_unref(bus); }  // no flush: a hung bus must not hold us

  void wake() const { waker.wake(); }

  static int onPrepareForSleep(sd_bus_message* message, void* self, sd_bus_error*) {
    int starting = 1;
    if (sd_bus_message_read(message, "b", &starting) < 0 || starting) return 0;
    logInfo("X11: logind reports a resume");
    static_cast<State*>(self)->callback.call();
    return 0;
  }

  // PropertiesChanged(s interface, a{sv} changed, as invalidated): Active true, or Active invalidated.
  static int onSessionChanged(sd_bus_message* message, void* self, sd_bus_error*) {
    bool back = false;
    if (sd_bus_message_skip(message, "s") < 0 || sd_bus_message_enter_container(message, 'a', "{sv}") < 0) return 0;
    while (sd_bus_message_enter_container(message, 'e', "sv") > 0) {
      const char* name = nullptr;
      int active = 0;
      if (sd_bus_message_read(message, "s", &name) < 0) return 0;
      if (std::strcmp(name, "Active") == 0 && sd_bus_message_read(message, "v", "b", &active) >= 0)
        back = back || active;
      else if (sd_bus_message_skip(message, "v") < 0)
        return 0;
      if (sd_bus_message_exit_container(message) < 0) return 0;
    }
    char** invalidated = nullptr;
    if (sd_bus_message_exit_container(message) >= 0 && sd_bus_message_read_strv(message, &invalidated) >= 0) {
      for (char** name = invalidated; name && *name; ++name) back = back || std::strcmp(*name, "Active") == 0;
      for (char** name = invalidated; name && *name; ++name) std::free(*name);
      std::free(invalidated);
    }
    if (!back) return 0;
    logInfo("X11: logind reports our session active again (a VT switch back)");
    static_cast<State*>(self)->callback.call();
    return 0;
  }

  static int onSession(sd_bus_message* reply, void* data, sd_bus_error*) {
    auto* self = static_cast<State*>(data);
    const char* path = nullptr;
    if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
      logInfo("X11: logind %s: %s; VT switches %s", self->sessionRequest.c_str(), failure(error, 0).c_str(),
              kFallback);
      return 0;
    }
    if (sd_bus_message_read(reply, "o", &path) < 0) return 0;
    const std::string match = std::string("type='signal',sender='") + kLogind + "',path='" + path +
                              "',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged',arg0='" +
                              kSession + "'";
    if (const int r = sd_bus_add_match_async(self->bus, nullptr, match.c_str(), onSessionChanged, nullptr, self); r < 0) {
      logInfo("X11: logind AddMatch on session %s: %s; VT switches %s", path, std::strerror(-r), kFallback);
      return 0;
    }
    logInfo("X11: watching logind for resume, and session %s for VT switches", path);
    return 0;
  }

  // Every request is sent without waiting: the replies arrive in run()'s loop.
  bool connect() {
    if (const int r = sd_bus_open_system(&bus); r < 0) {
      logInfo("X11: no system bus (%s); resume and VT switches %s", std::strerror(-r), kFallback);
      return false;
    }
    if (const int r = sd_bus_match_signal_async(bus, nullptr, kLogind, kManagerPath, kManager, "PrepareForSleep",
                                                onPrepareForSleep, nullptr, this);
        r < 0) {
      logInfo("X11: logind AddMatch PrepareForSleep: %s; resume %s", std::strerror(-r), kFallback);
    }
    const char* id = std::getenv("XDG_SESSION_ID");
    const bool byId = id != nullptr && *id != '\0';
    sessionRequest = byId ? std::string("GetSession ") + id : "GetSessionByPID " + std::to_string(::getpid());
    sd_bus_message* call = nullptr;
    int r = sd_bus_message_new_method_call(bus, &call, kLogind, kManagerPath, kManager,
                                           byId ? "GetSession" : "GetSessionByPID");
    if (r >= 0) r = sd_bus_message_set_auto_start(call, 0);
    if (r >= 0) r = byId ? sd_bus_message_append(call, "s", id) : sd_bus_message_append(call, "u", ::getpid());
    if (r >= 0) r = sd_bus_call_async(bus, nullptr, call, onSession, this, kCallTimeoutUs);
    sd_bus_message_unref(call);
    if (r < 0) logInfo("X11: logind %s: %s; VT switches %s", sessionRequest.c_str(), std::strerror(-r), kFallback);
    return true;
  }

  void run() {
    pthread_setname_np(pthread_self(), "dw-x11-logind");
    if (!connect()) return;
    while (!callback.stopped()) {
      int r = 0;
      while ((r = sd_bus_process(bus, nullptr)) > 0 && !callback.stopped()) {
      }
      if (r < 0) {
        logInfo("X11: the system bus connection ended (%s); resume and VT switches %s", std::strerror(-r),
                kFallback);
        return;
      }
      std::uint64_t until = 0;
      int timeout = -1;
      if (sd_bus_get_timeout(bus, &until) > 0 && until != UINT64_MAX) {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        const std::uint64_t nowUs = std::uint64_t(now.tv_sec) * 1'000'000 + std::uint64_t(now.tv_nsec) / 1000;
        timeout = until <= nowUs ? 0 : static_cast<int>((until - nowUs + 999) / 1000);
      }
      pollfd fds[2] = {{sd_bus_get_fd(bus), static_cast<short>(sd_bus_get_events(bus)), 0},
                       {waker.fd(), POLLIN, 0}};
      if (::poll(fds, 2, timeout) > 0 && (fds[1].revents & POLLIN)) waker.drain();
    }
  }
};

// The thread connects: a system bus that does not answer must not hold up the backend.
LogindWatcher::LogindWatcher(std::function<void()> lookNow) {
  auto state = std::make_shared<State>();
  state->callback.set(std::move(lookNow));
  if (std::string why; !state->waker.open(&why)) {
    logInfo("X11: %s; resume and VT switches %s", why.c_str(), kFallback);
    return;
  }
  worker_ = WorkerThread<State>(std::move(state));
}

LogindWatcher::~LogindWatcher() = default;

}  // namespace duskwarden::provider::x11
