#include "x11/X11EventWatcher.h"

#include <X11/extensions/Xrandr.h>
#include <X11/extensions/scrnsaver.h>
#include <poll.h>
#include <pthread.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "callback/CallbackSlot.h"
#include "decimal/Decimal.h"
#include "common/Log.h"
#include "common/WorkerThread.h"
#include "x11/LookSchedule.h"
#include "x11/X11Gamma.h"
#include "x11/XDisplay.h"

namespace duskwarden::provider::x11 {

namespace {

using Clock = LookSchedule::Clock;

// After a resume, a VT switch or blanking the server and the driver may still
// be putting ramps back; a look this much later sees where they settled.
constexpr auto kSettle = std::chrono::milliseconds(250);
// The temperature read back from our own ramps differs from the one written
// by rounding only (a fraction of a kelvin); another writer's differs more.
constexpr double kSameKelvin = 1.0;

}  // namespace

struct X11EventWatcher::State {
  explicit State(std::chrono::milliseconds verifyInterval) : schedule(verifyInterval, kSettle) {}

  std::unique_ptr<XDisplay> display;
  WakeFd waker;
  int randrEventBase = 0;
  int screenSaverEventBase = -1;  // -1: the server lacks MIT-SCREEN-SAVER
  Atom storedKelvin = None;
  std::atomic<bool> ended{false};
  std::atomic<bool> notifyPending{false};
  std::atomic<bool> lookPending{false};
  std::atomic<int> looks{0};
  CallbackSlot callback;

  // Shared with the command queue's expect().
  std::mutex mutex;
  LookSchedule schedule;
  std::optional<double> expected;
  std::uint64_t generation = 0;  // bumped by every expect(): a look begun before is stale

  // The event thread's own.
  std::optional<std::vector<GammaCrtc>> crtcs;  // dropped on every RandR change
  LogOnce lookFailures;

  void wake() const { waker.wake(); }

  void expect(std::optional<double> kelvin) {
    bool armedChanged = false;
    {
      std::lock_guard lock(mutex);
      expected = kelvin;
      ++generation;
      const bool wasArmed = schedule.armed();
      schedule.setArmed(kelvin.has_value(), Clock::now());
      armedChanged = wasArmed != schedule.armed();
    }
    if (armedChanged) wake();  // to start the timer, or to drop it
  }

  void requestLook() {
    lookPending = true;
    wake();
  }

  void lookSoon() {
    std::lock_guard lock(mutex);
    schedule.lookSoon(Clock::now());
  }

  // How long poll() may wait: -1 (no timeout) while nothing is due.
  int pollTimeout() {
    std::lock_guard lock(mutex);
    const auto next = schedule.next();
    if (!next) return -1;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now()).count();
    return wait < 0 ? 0 : static_cast<int>(std::min<long long>(wait, 1 << 30));
  }

  bool lookDue() {
    std::lock_guard lock(mutex);
    return schedule.due(Clock::now());
  }

  void handle(XEvent& event) {
    if (event.type == randrEventBase + RRScreenChangeNotify || event.type == randrEventBase + RRNotify) {
      // CRTC, output and resource changes: a hotplug or mode set, which may
      // also have reset the ramps, now or a moment later.
      if (event.type == randrEventBase + RRScreenChangeNotify) XRRUpdateConfiguration(&event);
      crtcs.reset();
      callback.call();
      lookSoon();
    } else if (screenSaverEventBase >= 0 && event.type == screenSaverEventBase + ScreenSaverNotify) {
      lookSoon();
    } else if (event.type == PropertyNotify && event.xproperty.atom == storedKelvin) {
      callback.call();
    }
  }

  void look() {
    std::optional<double> kelvin;
    std::uint64_t lookGeneration = 0;
    bool afterEvent = false;
    {
      std::lock_guard lock(mutex);
      afterEvent = schedule.looked(Clock::now());
      kelvin = expected;
      lookGeneration = generation;
    }
    if (!kelvin) return;
    ++looks;
    std::string error;
    if (!crtcs) crtcs = listGammaCrtcs(display->get(), &error);
    const auto seen = crtcs ? readRampsOf(*display, *crtcs, &error) : std::nullopt;
    if (!seen) {
      crtcs.reset();  // a CRTC may have gone; list them afresh next time
      if (!display->lost()) {
        const std::string line = "X11 " + display->name() + ": looking at the gamma ramps: " + error;
        lookFailures.error(line, "%s", line.c_str());
      }
      return;
    }
    lookFailures.clear();
    const bool same = seen->warmKelvin && std::fabs(*seen->warmKelvin - *kelvin) < kSameKelvin;
    // Events are rare (resume, VT switch, blanking, screen changes): their
    // looks are worth a line; the periodic ones speak only of a reset.
    if (afterEvent && same)
      logInfo("X11 %s: looked at the gamma ramps after an event: unchanged", display->name().c_str());
    if (same) return;
    {
      std::lock_guard lock(mutex);
      if (lookGeneration != generation) return;  // we wrote or read meanwhile: that result stands
      // The status read that the callback leads to says what is there now.
      expected.reset();
      ++generation;
      schedule.setArmed(false, Clock::now());
    }
    logInfo("X11 %s: looked at the gamma ramps%s: they no longer show night light at %s K "
            "(reset by another program or the system)",
            display->name().c_str(), afterEvent ? " after an event" : "", decimal::fixed(*kelvin, 0).c_str());
    callback.call();
  }

  void run() {
    pthread_setname_np(pthread_self(), "dw-x11-events");
    Display* d = display->get();
    pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {waker.fd(), POLLIN, 0}};
    bool readable = true;
    while (!callback.stopped()) {
      // The socket is read only when poll() says there is something: a look
      // or a timeout then costs no reads that find nothing. Events that came
      // in with a look's reply are already queued.
      while (!callback.stopped() && XEventsQueued(d, readable ? QueuedAfterReading : QueuedAlready) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        handle(event);
      }
      if (callback.stopped() || display->lost()) break;
      readable = false;
      if (lookDue()) {
        look();
        continue;
      }
      if (::poll(fds, 2, pollTimeout()) < 0) continue;  // EINTR
      readable = fds[0].revents != 0;
      if (fds[1].revents & POLLIN) {
        waker.drain();
        if (notifyPending.exchange(false)) callback.call();
        if (lookPending.exchange(false)) lookSoon();
      }
      // Connection readable or hung up: the loop above reads it, or finds it lost.
    }
    ended = true;
  }
};

std::unique_ptr<X11EventWatcher> X11EventWatcher::start(std::function<void()> callback,
                                                        std::chrono::milliseconds verifyInterval,
                                                        std::string* error) {
  auto fail = [error](const std::string& what) {
    if (error) *error = what;
    return nullptr;
  };
  auto state = std::make_shared<State>(verifyInterval);
  state->display = XDisplay::open();
  if (!state->display) return fail("XOpenDisplay for events: failed");
  Display* d = state->display->get();
  int errorBase = 0;
  if (!XRRQueryExtension(d, &state->randrEventBase, &errorBase)) return fail("RANDR QueryExtension: missing");
  int saverEvents = 0, saverErrors = 0;
  // Ask the core protocol first: libXss keeps a record for a display even
  // when the extension is missing.
  if (int opcode = 0; XQueryExtension(d, ScreenSaverName, &opcode, &saverEvents, &saverErrors) &&
                      XScreenSaverQueryExtension(d, &saverEvents, &saverErrors))
    state->screenSaverEventBase = saverEvents;
  else
    logInfo("X11 %s: no MIT-SCREEN-SAVER extension; blanking is noticed only by the periodic look at the ramps",
            state->display->name().c_str());
  state->storedKelvin = XInternAtom(d, kStoredKelvinAtom, False);
  for (int screen = 0; screen < ScreenCount(d); ++screen) {
    const Window root = RootWindow(d, screen);
    XRRSelectInput(d, root, RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    XSelectInput(d, root, PropertyChangeMask);
    if (state->screenSaverEventBase >= 0) XScreenSaverSelectInput(d, root, ScreenSaverNotifyMask);
  }
  if (std::string why; !state->display->sync(&why)) return fail("RANDR SelectInput on the root windows: " + why);
  // Listed now, while connecting, so that every look is one request per CRTC.
  state->crtcs = listGammaCrtcs(d, nullptr);
  if (std::string why; !state->waker.open(&why)) return fail(why);
  state->callback.set(std::move(callback));
  return std::unique_ptr<X11EventWatcher>(new X11EventWatcher(std::move(state)));
}

X11EventWatcher::X11EventWatcher(std::shared_ptr<State> state) : worker_(std::move(state)) {}

X11EventWatcher::~X11EventWatcher() = default;

void X11EventWatcher::setCallback(std::function<void()> callback) { worker_->callback.set(std::move(callback)); }

void X11EventWatcher::notify() {
  worker_->notifyPending = true;
  worker_->wake();
}

void X11EventWatcher::expect(std::optional<double> kelvin) { worker_->expect(kelvin); }

std::function<void()> X11EventWatcher::looker() const {
  return [state = worker_.state()] { state->requestLook(); };
}

int X11EventWatcher::looks() const { return worker_->looks.load(); }

bool X11EventWatcher::lost() const { return worker_->ended && !worker_->callback.stopped(); }

}  // namespace duskwarden::provider::x11
