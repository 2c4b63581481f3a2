#include "x11/X11EventWatcher.h"

#include <X11/extensions/Xrandr.h>
#include <X11/extensions/scrnsaver.h>
#include <X11/extensions/sync.h>
#include <poll.h>
#include <pthread.h>

#include <atomic>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "base/callback/CallbackSlot.h"
#include "base/decimal/Decimal.h"
#include "backendkit/Log.h"
#include "backendkit/WorkerThread.h"
#include "x11/GammaReader.h"
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
  std::unique_ptr<GammaReader> reader;
  // The SYNC counters a look is held on (GammaReader.h); 0 without SYNC.
  XSyncCounter serverTime = 0, release = 0;
  long released = 0;  // what `release` counts: looks called off
  struct Sent {
    Clock::time_point due;
    std::uint64_t generation;
    bool calledOff;
  };
  std::optional<Sent> sent;  // the look sent, until its replies are in
  bool xlibDrained = false;  // Xlib's queue is empty and nothing has read the socket since

  void wake() const { waker.wake(); }

  void expect(std::optional<double> kelvin) {
    {
      std::lock_guard lock(mutex);
      expected = kelvin;
      ++generation;
      schedule.setArmed(kelvin.has_value(), Clock::now());
    }
    wake();  // plan() sends, moves or calls off the look to suit
  }


  void requestLook() {
    lookPending = true;
    wake();
  }

  void lookSoon() {
    std::lock_guard lock(mutex);
    schedule.lookSoon(Clock::now());
  }

  bool holds() const { return release != 0; }

  // How long poll() may wait: -1 (no timeout) while nothing is due, or while
  // the look's own reply will wake the thread.
  int pollTimeout() {
    if (sent || holds()) return -1;
    std::lock_guard lock(mutex);
    const auto next = schedule.next();
    if (!next) return -1;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now()).count();
    return wait < 0 ? 0 : static_cast<int>(std::min<long long>(wait, 1 << 30));
  }

  // Keeps the look that was sent in step with the schedule: calls it off
  // when the schedule or what we expect has changed since, and sends the
  // next one ahead of time (held in the server) or, without SYNC, when due.
  void plan() {
    std::optional<Clock::time_point> next;
    std::uint64_t lookGeneration = 0;
    {
      std::lock_guard lock(mutex);
      next = schedule.next();
      lookGeneration = generation;
    }
    if (sent && !sent->calledOff && (next != sent->due || lookGeneration != sent->generation)) {
      sent->calledOff = true;
      if (holds()) {
        // Requests on the looks' connection wait behind the Await; this one does not.
        XSyncValue one;
        XSyncIntToValue(&one, 1);
        XSyncChangeCounter(display->get(), release, one);
        XFlush(display->get());  // which also reads what has come in
        xlibDrained = false;
        ++released;
      }
    }
    if (sent || !next) return;  // a look called off is answered at once; its replies come first
    const auto now = Clock::now();
    if (!holds() && *next > now) return;
    std::string error;
    if (!crtcs) crtcs = listGammaCrtcs(display->get(), &error);
    if (!crtcs || crtcs->empty()) {
      reportLookFailure(crtcs ? "RANDR GetCrtcGamma: no CRTC with a gamma ramp" : error);
      crtcs.reset();
      std::lock_guard lock(mutex);
      schedule.looked(now);  // tried: the next try is an interval away
      return;
    }
    std::optional<LookHold> hold;
    if (holds())
      hold = LookHold{serverTime, release, released + 1,
                      std::max(std::chrono::ceil<std::chrono::milliseconds>(*next - now), std::chrono::milliseconds(0))};
    reader->send(*crtcs, hold);
    sent = Sent{*next, lookGeneration, false};
  }

  void reportLookFailure(const std::string& error) {
    if (display->lost()) return;
    const std::string line = "X11 " + display->name() + ": looking at the gamma ramps: " + error;
    lookFailures.error(line, "%s", line.c_str());
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

  // The replies of the look sent are in: compare what the ramps show with
  // what we expect there.
  void looked(const GammaReader::Look& seen) {
    const Sent was = *sent;
    sent.reset();
    if (was.calledOff) return;
    std::optional<double> kelvin;
    bool afterEvent = false;
    {
      std::lock_guard lock(mutex);
      if (was.generation != generation) return;  // we wrote or read meanwhile: plan() sends it again
      // A look held in the server is released by the server's clock, which we
      // know only up to a round trip: it answers what it was sent for, even
      // when its reply comes a moment before its time by ours.
      afterEvent = schedule.looked(std::max(Clock::now(), was.due));
      kelvin = expected;
    }
    if (!kelvin) return;
    ++looks;
    if (!seen.state) {
      crtcs.reset();  // a CRTC may have gone; list them afresh next time
      reportLookFailure(seen.error);
      return;
    }
    lookFailures.clear();
    const bool same = seen.state->warmKelvin && std::fabs(*seen.state->warmKelvin - *kelvin) < kSameKelvin;
    // Events are rare (resume, VT switch, blanking, screen changes): their
    // looks are worth a line; the periodic ones speak only of a reset.
    if (afterEvent && same)
      logInfo("X11 %s: looked at the gamma ramps after an event: unchanged", display->name().c_str());
    if (same) return;
    {
      std::lock_guard lock(mutex);
      if (was.generation != generation) return;
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
    pollfd fds[3] = {{ConnectionNumber(d), POLLIN, 0}, {waker.fd(), POLLIN, 0}, {reader->fd(), POLLIN, 0}};
    bool readable = true;
    bool replies = true;  // the looks' connection may have something to read
    while (!callback.stopped()) {
      // The socket is read only when poll() says there is something, and Xlib
      // is not entered at all unless it may hold events: a look or a timeout
      // then costs no reads that find nothing.
      while (!callback.stopped() && (readable || !xlibDrained) &&
             XEventsQueued(d, readable ? QueuedAfterReading : QueuedAlready) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        handle(event);
      }
      xlibDrained = true;
      if (callback.stopped() || display->lost() || reader->lost()) break;
      readable = false;
      plan();
      // Asked after a send too, as replies xcb read while sending wake no
      // poll(); not after one held in the server, which has nothing to read yet.
      if (sent && (replies || !reader->heldAhead())) {
        replies = false;
        if (auto seen = reader->collect()) {
          looked(*seen);
          continue;
        }
      }
      if (::poll(fds, 3, pollTimeout()) < 0) continue;  // EINTR
      readable = fds[0].revents != 0;
      replies = fds[2].revents != 0;
      if (fds[1].revents & POLLIN) {
        waker.drain();
        if (notifyPending.exchange(false)) callback.call();
        if (lookPending.exchange(false)) lookSoon();
      }
      // Connection readable or hung up: the loop above reads it, or finds it lost.
    }
    ended = true;
  }

  // SERVERTIME and a release counter of our own, when the server has SYNC.
  void findCounters() {
    Display* d = display->get();
    int opcode = 0, eventBase = 0, errorBase = 0, major = 0, minor = 0;
    // Ask the core protocol first: libXext keeps a record for a display even when the extension is missing.
    if (!XQueryExtension(d, "SYNC", &opcode, &eventBase, &errorBase) ||
        !XSyncQueryExtension(d, &eventBase, &errorBase) || !XSyncInitialize(d, &major, &minor) || !reader->canHold()) {
      logInfo("X11 %s: no SYNC extension; each look at the ramps waits for a timer", display->name().c_str());
      return;
    }
    int count = 0;
    XSyncSystemCounter* counters = XSyncListSystemCounters(d, &count);
    for (int i = 0; i < count; ++i)
      if (std::strcmp(counters[i].name, "SERVERTIME") == 0) serverTime = counters[i].counter;
    if (counters) XSyncFreeSystemCounterList(counters);
    if (serverTime == 0) return;
    XSyncValue zero;
    XSyncIntToValue(&zero, 0);
    release = XSyncCreateCounter(d, zero);
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
  if (std::string why; !(state->reader = GammaReader::open(DisplayString(d), &why))) return fail(why);
  state->findCounters();
  if (std::string why; !state->display->sync(&why)) return fail("SYNC CreateCounter: " + why);
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
