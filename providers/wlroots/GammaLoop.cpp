#include "wlroots/GammaLoop.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <mutex>

#include "base/callback/CallbackSlot.h"
#include "backendkit/Log.h"
#include "backendkit/WorkerThread.h"
#include "backendkit/CompositorSocket.h"

namespace duskwarden::provider::wlroots {

namespace {

using Clock = std::chrono::steady_clock;

// The socket file appears at bind(), a moment before the compositor
// listen()s and serves its first client, so a connection refused right after
// the file appeared is tried again, a few times, sooner at first:
// 20, 40, ... 1280 ms, about 2.5 s in all. Then the next change of the file.
constexpr int kConnectAttempts = 8;
constexpr auto kFirstRetry = std::chrono::milliseconds(20);

}  // namespace

struct GammaLoop::State {
  // Shared with the caller's queue.
  mutable std::mutex mutex;
  Target target;
  std::uint64_t commands = 0;
  bool enabled = false;
  CallbackSlot callback;
  WakeFd waker;
  ReasonBox reason;

  // The thread's own.
  std::string socketPath;
  std::unique_ptr<GammaSession> session;
  std::unique_ptr<SocketWatch> watch;
  std::uint64_t commandsSeen = 0;
  int attempt = -1;  // the next connection attempt after the socket changed; -1: none due
  Clock::time_point nextAttempt;
  LogOnce reconnectFailures;

  void wake() const { waker.wake(); }

  void publish(bool on) {
    {
      std::lock_guard lock(mutex);
      if (enabled == on) return;
      enabled = on;
    }
    callback.call();
  }

  // Applies the target and reports the state once it has settled.
  void step() {
    Target wanted;
    bool retry = false;
    {
      std::lock_guard lock(mutex);
      wanted = target;
      retry = commands != commandsSeen;
      commandsSeen = commands;
    }
    if (!session) return publish(false);
    session->apply(wanted, retry);
    const auto on = session->enabled();
    if (on && *on) {
      reason.clear();
    } else if (const std::string held = session->heldElsewhere(); on && !held.empty()) {
      reason.set(DW_NIGHTLIGHT_REASON_HELD, held);
    }
    if (on) publish(*on);
  }

  void lose() {
    const std::string why = session->connection().lostReason();
    const bool protocolError = session->connection().protocolError();
    logError("wlroots: lost the compositor at %s (%s); night light is off until it is back", socketPath.c_str(),
             why.c_str());
    session.reset();
    // Watching before anyone hears "off", so that a compositor started in
    // answer to it cannot slip past the watch.
    watch = std::make_unique<SocketWatch>(socketPath);
    if (std::string error; !watch->arm(&error))
      logError("wlroots: cannot watch for the compositor's return, so it is not reconnected: %s", error.c_str());
    // A compositor may already be back at the socket. Not after a protocol
    // error: the compositor that sent it is still there and would send it again.
    if (!protocolError && ::access(socketPath.c_str(), F_OK) == 0) startAttempts();
    publish(false);
  }

  void startAttempts() {
    attempt = 0;
    nextAttempt = Clock::now();
  }

  void socketChanged() {
    if (!watch->socketChanged()) return;
    std::string error;
    watch->arm(&error);  // a link may point elsewhere now
    startAttempts();
  }

  void tryConnect() {
    std::string error;
    const int fd = connectToCompositor(socketPath, &error);
    if (fd >= 0) session = GammaSession::open(fd, socketPath, &error);
    if (session) {
      watch.reset();
      attempt = -1;
      reconnectFailures.clear();
      logInfo("wlroots: connected to the compositor at %s again", socketPath.c_str());
      return;
    }
    if (++attempt < kConnectAttempts) {
      nextAttempt = Clock::now() + kFirstRetry * (1 << (attempt - 1));
      return;
    }
    attempt = -1;
    reconnectFailures.error(error, "wlroots: no compositor answers at %s (%s); waiting for its socket to change",
                            socketPath.c_str(), error.c_str());
  }

  int attemptTimeoutMs() const {
    if (attempt < 0) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(nextAttempt - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
  }

  void run() {
    while (!callback.stopped()) {
      step();
      pollfd fds[2] = {{waker.fd(), POLLIN, 0}, {-1, 0, 0}};
      int timeout = -1;
      if (session) {
        short events = 0;
        const auto ready = session->beforePoll(&events);
        if (ready == GammaSession::Ready::again) continue;
        if (ready == GammaSession::Ready::lost) {
          lose();
          continue;
        }
        fds[1] = {session->connection().fd(), events, 0};
      } else if (watch) {
        fds[1] = {watch->fd(), POLLIN, 0};
        timeout = attemptTimeoutMs();
      }
      const int ready = ::poll(fds, 2, timeout);  // EINTR: revents stay 0, and we go round again
      if (session) {
        if (!session->afterPoll(ready > 0 ? fds[1].revents : 0)) lose();
      } else if (watch) {
        if (ready > 0 && (fds[1].revents & POLLIN)) socketChanged();
        if (attempt >= 0 && Clock::now() >= nextAttempt) tryConnect();
      }
      if (fds[0].revents & POLLIN) waker.drain();
    }
    session.reset();  // the compositor restores the outputs' gamma
  }
};

std::unique_ptr<GammaLoop> GammaLoop::start(std::unique_ptr<GammaSession> session, std::string socketPath,
                                            Target target) {
  auto state = std::make_shared<State>();
  if (std::string error; !state->waker.open(&error)) {
    logError("wlroots: %s", error.c_str());
    return nullptr;
  }
  state->session = std::move(session);
  state->socketPath = std::move(socketPath);
  state->target = target;
  return std::unique_ptr<GammaLoop>(new GammaLoop(std::move(state)));
}

GammaLoop::GammaLoop(std::shared_ptr<State> state) : worker_(std::move(state)) {}

GammaLoop::~GammaLoop() = default;

void GammaLoop::setCallback(std::function<void()> callback) { worker_->callback.set(std::move(callback)); }

void GammaLoop::setOn(bool on) {
  {
    std::lock_guard lock(worker_->mutex);
    worker_->target.on = on;
    if (on) ++worker_->commands;
  }
  if (!on) worker_->reason.clear();  // off is always carried out
  worker_->wake();
}

void GammaLoop::setKelvin(double kelvin) {
  {
    std::lock_guard lock(worker_->mutex);
    worker_->target.kelvin = kelvin;
  }
  worker_->wake();
}

Target GammaLoop::target() const {
  std::lock_guard lock(worker_->mutex);
  return worker_->target;
}

ReasonBox& GammaLoop::reason() const { return worker_->reason; }

bool GammaLoop::enabled() const {
  std::lock_guard lock(worker_->mutex);
  return worker_->enabled;
}

}  // namespace duskwarden::provider::wlroots
