// The simulator backend: night light as a file under $XDG_RUNTIME_DIR.
//
// Changes by other processes (the duskwarden-nightlight-sim tool) are seen with
// inotify on the state directory, on a thread of the backend's own; an eventfd
// wakes that thread for shutdown, so it never polls. Never auto-detected:
// DUSKWARDEN_NIGHTLIGHT_BACKEND=sim selects it.

#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "base/callback/CallbackSlot.h"
#include "backendkit/Log.h"
#include "backendkit/WorkerThread.h"
#include "sim/SimEntry.h"
#include "sim/SimState.h"

namespace duskwarden::provider {

namespace {

// True when the batch of events touches the state file itself.
bool touchesStateFile(const char* buffer, ssize_t length) {
  bool touched = false;
  for (const char* p = buffer; p < buffer + length;) {
    const auto* event = reinterpret_cast<const inotify_event*>(p);
    if (event->len > 0 && std::strcmp(event->name, sim::kStateFileName) == 0) touched = true;
    p += sizeof(inotify_event) + event->len;
  }
  return touched;
}

// The watch thread's state, shared with the backend (see backendkit/WorkerThread.h).
struct WatchState {
  CallbackSlot callback;
  int inotifyFd = -1;
  WakeFd waker;

  ~WatchState() {
    if (inotifyFd >= 0) ::close(inotifyFd);
  }

  void wake() const { waker.wake(); }

  void run() {
    alignas(inotify_event) char buffer[4096];
    pollfd fds[2] = {{waker.fd(), POLLIN, 0}, {inotifyFd, POLLIN, 0}};
    for (;;) {
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[0].revents != 0) return;  // shutdown
      if (fds[1].revents == 0) continue;
      const ssize_t n = ::read(inotifyFd, buffer, sizeof buffer);
      if (n <= 0) continue;  // EAGAIN: another wake-up raced us
      if (!touchesStateFile(buffer, n)) continue;
      if (callback.stopped()) return;
      callback.call();
    }
  }
};

class SimBackend final : public Backend {
 public:
  SimBackend(std::filesystem::path file, std::shared_ptr<WatchState> state)
      : file_(std::move(file)), watcher_(std::move(state)) {}

  void setStatusCallback(std::function<void()> callback) override { watcher_->callback.set(std::move(callback)); }

  bool readEnabled(bool* enabled) override {
    sim::SimState state;
    if (!read(&state)) return false;
    *enabled = state.enabled;
    return true;
  }

  bool readStrength(float* strength) override {
    sim::SimState state;
    if (!read(&state)) return false;
    *strength = state.strength;
    return true;
  }

  void setEnabled(bool enabled) override {
    update([enabled](sim::SimState& s) { s.enabled = enabled; });
  }

  // The simulator has no "preview": commit or not, the file is the setting.
  void setStrength(float strength, bool /*commit*/) override {
    if (std::isnan(strength)) return;
    const float clamped = strength < 0.0f ? 0.0f : (strength > 1.0f ? 1.0f : strength);
    update([clamped](sim::SimState& s) { s.strength = clamped; });
  }

  Reason reason() override { return reason_.get(); }

 private:
  bool read(sim::SimState* state) {
    std::string error;
    if (sim::readState(file_, state, &error)) {
      readFailures_.clear();
      if (state->enabled) reason_.clear();  // seen on
      return true;
    }
    readFailures_.error(error, "Simulator: read the state: %s", error.c_str());
    reason_.set(DW_NIGHTLIGHT_REASON_FAILED, error);
    return false;
  }

  void update(const std::function<void(sim::SimState&)>& change) {
    std::string error;
    if (sim::updateState(file_, change, &error)) {
      reason_.clear();
      return;
    }
    logError("Simulator: update the state file: %s", error.c_str());
    reason_.set(DW_NIGHTLIGHT_REASON_FAILED, error);
  }

  std::filesystem::path file_;
  LogOnce readFailures_;
  ReasonBox reason_;
  WorkerThread<WatchState> watcher_;  // last: stopped before the rest goes
};

bool simIsUsable() {
  if (!sim::stateDirectory().empty()) return true;
  logInfo("Simulator: XDG_RUNTIME_DIR is unset or relative, so there is no place for its state");
  return false;
}

std::unique_ptr<Backend> createSim() {
  const auto dir = sim::stateDirectory();
  if (dir.empty()) return nullptr;
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    logError("Simulator: mkdir %s: %s", dir.c_str(), std::strerror(errno));
    return nullptr;
  }
  auto state = std::make_shared<WatchState>();
  state->inotifyFd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (state->inotifyFd < 0) {
    logError("Simulator: inotify_init1: %s", std::strerror(errno));
    return nullptr;
  }
  if (std::string error; !state->waker.open(&error)) {
    logError("Simulator: %s", error.c_str());
    return nullptr;
  }
  if (::inotify_add_watch(state->inotifyFd, dir.c_str(), IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE) <
      0) {
    logError("Simulator: inotify_add_watch %s: %s", dir.c_str(), std::strerror(errno));
    return nullptr;
  }
  return std::make_unique<SimBackend>(dir / sim::kStateFileName, std::move(state));
}

}  // namespace

const BackendKind kSimBackend{&kSimEntry, simIsUsable, createSim};

}  // namespace duskwarden::provider
