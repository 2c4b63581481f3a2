#include "x11/X11EventWatcher.h"

#include <X11/extensions/Xrandr.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/CallbackSlot.h"
#include "x11/X11Gamma.h"
#include "x11/XDisplay.h"

namespace duskwarden::provider::x11 {

struct X11EventWatcher::State {
  std::unique_ptr<XDisplay> display;
  int wakeFd = -1;
  int randrEventBase = 0;
  Atom storedKelvin = None;
  std::atomic<bool> ended{false};
  CallbackSlot callback;

  ~State() {
    if (wakeFd >= 0) ::close(wakeFd);
  }

  bool isStateChange(const XEvent& event) const {
    if (event.type == randrEventBase + RRScreenChangeNotify) return true;
    if (event.type == randrEventBase + RRNotify) return true;  // CRTC, output and resource changes
    return event.type == PropertyNotify && event.xproperty.atom == storedKelvin;
  }

  void run() {
    Display* d = display->get();
    pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {wakeFd, POLLIN, 0}};
    while (!callback.stopped()) {
      while (!callback.stopped() && XPending(d) > 0) {
        XEvent event;
        XNextEvent(d, &event);
        if (event.type == randrEventBase + RRScreenChangeNotify) XRRUpdateConfiguration(&event);
        if (isStateChange(event)) callback.call();
      }
      if (callback.stopped() || display->lost()) break;
      if (::poll(fds, 2, -1) < 0) continue;  // EINTR
      if (fds[1].revents & POLLIN) {
        std::uint64_t count = 0;
        if (::read(wakeFd, &count, sizeof count) == sizeof count) callback.call();
      }
      // Connection readable or hung up: XPending above reads it, or finds it lost.
    }
    ended = true;
  }
};

std::unique_ptr<X11EventWatcher> X11EventWatcher::start(std::function<void()> callback, std::string* error) {
  auto fail = [error](const std::string& what) {
    if (error) *error = what;
    return nullptr;
  };
  auto state = std::make_shared<State>();
  state->display = XDisplay::open();
  if (!state->display) return fail("XOpenDisplay for events: failed");
  Display* d = state->display->get();
  int errorBase = 0;
  if (!XRRQueryExtension(d, &state->randrEventBase, &errorBase)) return fail("RANDR QueryExtension: missing");
  state->storedKelvin = XInternAtom(d, kStoredKelvinAtom, False);
  for (int screen = 0; screen < ScreenCount(d); ++screen) {
    const Window root = RootWindow(d, screen);
    XRRSelectInput(d, root, RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
    XSelectInput(d, root, PropertyChangeMask);
  }
  if (std::string why; !state->display->sync(&why)) return fail("RANDR SelectInput on the root windows: " + why);
  state->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (state->wakeFd < 0) return fail(std::string("eventfd: ") + std::strerror(errno));
  state->callback.set(std::move(callback));
  return std::unique_ptr<X11EventWatcher>(new X11EventWatcher(std::move(state)));
}

X11EventWatcher::X11EventWatcher(std::shared_ptr<State> state) : state_(std::move(state)) {
  // The thread holds the state, so it stays valid if we detach from within a callback.
  thread_ = std::thread([state = state_] { state->run(); });
}

X11EventWatcher::~X11EventWatcher() {
  state_->callback.stop();
  const std::uint64_t one = 1;
  [[maybe_unused]] auto written = ::write(state_->wakeFd, &one, sizeof one);
  endThread(thread_);
}

void X11EventWatcher::setCallback(std::function<void()> callback) { state_->callback.set(std::move(callback)); }

void X11EventWatcher::notify() {
  const std::uint64_t one = 1;
  [[maybe_unused]] auto written = ::write(state_->wakeFd, &one, sizeof one);
}

bool X11EventWatcher::lost() const { return state_->ended && !state_->callback.stopped(); }

}  // namespace duskwarden::provider::x11
