#include "x11/XDisplay.h"

#include <mutex>
#include <unordered_map>

namespace duskwarden::provider::x11 {

struct Handlers {
  static std::mutex& mutex() {
    static std::mutex m;
    return m;
  }
  static std::unordered_map<Display*, XDisplay*>& ours() {
    static std::unordered_map<Display*, XDisplay*> map;
    return map;
  }
  static inline XErrorHandler previousError = nullptr;
  static inline XIOErrorHandler previousIo = nullptr;

  static XDisplay* find(Display* display) {
    std::lock_guard lock(mutex());
    auto it = ours().find(display);
    return it == ours().end() ? nullptr : it->second;
  }

  static int onError(Display* display, XErrorEvent* event) {
    if (XDisplay* ours = find(display)) {
      char text[160] = "";
      XGetErrorText(display, event->error_code, text, sizeof text);  // local: sends no request
      std::lock_guard lock(ours->errorMutex_);
      if (!ours->failed_.exchange(true)) ours->firstError_ = text;
      return 0;
    }
    return previousError ? previousError(display, event) : 0;
  }

  static int onIoError(Display* display) {
    if (XDisplay* ours = find(display)) {
      ours->lost_ = true;
      return 0;  // Xlib then calls the exit handler below, which returns too
    }
    return previousIo ? previousIo(display) : 0;
  }

  // Returning from here leaves the connection dead but the process alive:
  // Xlib marks it and fails every later request at once. Xlib takes the
  // display's user lock for the exit that normally follows and never gives it
  // back; release it, or closing the display from another thread hangs.
  static void onIoExit(Display* display, void* self) {
    static_cast<XDisplay*>(self)->lost_ = true;
    XUnlockDisplay(display);
  }

  static inline std::once_flag installed;
  static inline bool oursInstalled = false;

  static void installOnce() {
    std::call_once(installed, [] {
      // The event thread and the command queue each use Xlib. libX11 1.8 and
      // later (Debian 12: 1.8.4) already did this when it was loaded, before
      // any display existed; for an older one, this is before our first display.
      XInitThreads();
      previousError = XSetErrorHandler(&onError);
      previousIo = XSetIOErrorHandler(&onIoError);
      oursInstalled = true;
    });
  }

  // This code lives in a module that is unloaded when detection does not
  // choose X11, while libX11 stays (Qt maps it): the process's handlers must
  // not be left pointing here. Put back what was there, unless someone has
  // installed handlers of their own since.
  struct Uninstall {
    ~Uninstall() {
      if (!oursInstalled) return;
      if (XErrorHandler current = XSetErrorHandler(previousError); current != &onError) XSetErrorHandler(current);
      if (XIOErrorHandler current = XSetIOErrorHandler(previousIo); current != &onIoError)
        XSetIOErrorHandler(current);
    }
  };
};

namespace {
// Destroyed when the module is unloaded (or the process ends).
Handlers::Uninstall uninstall;
}  // namespace

std::unique_ptr<XDisplay> XDisplay::open() {
  Handlers::installOnce();
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return nullptr;
  std::unique_ptr<XDisplay> connection(new XDisplay(display));
  XSetIOErrorExitHandler(display, &Handlers::onIoExit, connection.get());
  std::lock_guard lock(Handlers::mutex());
  Handlers::ours()[display] = connection.get();
  return connection;
}

XDisplay::~XDisplay() {
  XCloseDisplay(display_);  // still registered: a failure while closing stays ours
  std::lock_guard lock(Handlers::mutex());
  // Another connection may already have been given the same address.
  auto it = Handlers::ours().find(display_);
  if (it != Handlers::ours().end() && it->second == this) Handlers::ours().erase(it);
}

std::string XDisplay::name() const { return DisplayString(display_); }

bool XDisplay::sync(std::string* error) {
  if (!lost_) XSync(display_, False);
  std::lock_guard lock(errorMutex_);
  const bool failed = failed_.exchange(false);
  std::string first = std::move(firstError_);
  firstError_.clear();
  if (lost_) {
    if (error) *error = "connection lost";
    return false;
  }
  if (failed && error) *error = first.empty() ? "X error" : first;
  return !failed;
}

}  // namespace duskwarden::provider::x11
