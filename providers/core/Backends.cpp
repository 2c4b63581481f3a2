// The one list of backends, in the order automatic detection tries them
// (the desktop's own night light before raw gamma ramps). Adding a backend:
// its directory with its entry header, its line here, its name in
// providers/CMakeLists.txt.

#include "core/Backends.h"

#include <cstdlib>

#include "core/SessionBusNames.h"
#include "gnome/GnomeEntry.h"
#include "kde/KdeEntry.h"

namespace duskwarden::provider {

namespace {

bool kdeMayRun(std::string* why) { return sessionBusHasName(kKdeBusNames, "KDE Night Color", why); }

bool gnomeMayRun(std::string* why) {
  const char* const names[] = {kGnomeBusName};
  return sessionBusHasName(names, "GNOME", why);
}

bool variableSet(const char* name, const char* why, std::string* out) {
  const char* value = std::getenv(name);
  if (value != nullptr && *value != '\0') return true;
  *out = why;
  return false;
}

bool wlrootsMayRun(std::string* why) {
  return variableSet("WAYLAND_DISPLAY", "wlroots: WAYLAND_DISPLAY is unset; this is no Wayland session", why);
}

bool x11MayRun(std::string* why) { return variableSet("DISPLAY", "X11: DISPLAY is unset; this is no X session", why); }

bool always(std::string*) { return true; }

const BackendEntry kBackends[] = {
    {"kde", true, kdeMayRun},          // kde/: KWin's Night Color
    {"gnome", true, gnomeMayRun},      // gnome/: GNOME's Night Light
    {"wlroots", true, wlrootsMayRun},  // wlroots/: wlr-gamma-control on sway, Hyprland, labwc, river
    {"x11", true, x11MayRun},          // x11/: RandR gamma ramps, never on Xwayland
    {"sim", false, always},            // sim/: the file-backed simulator, only when forced
};

}  // namespace

std::span<const BackendEntry> backendList() { return kBackends; }

}  // namespace duskwarden::provider
