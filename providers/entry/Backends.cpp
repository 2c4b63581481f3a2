// The one list of backends, in the order automatic detection tries them
// (the desktop's own night light before raw gamma ramps). Adding a backend:
// its directory with its entry header, its line here, its name in
// providers/CMakeLists.txt.

#include "entry/Backends.h"

#include <cstdlib>

#include "cinnamon/CinnamonEntry.h"
#include "entry/SessionBusNames.h"
#include "gnome/GnomeEntry.h"
#include "kde/KdeEntry.h"
#include "sim/SimEntry.h"
#include "wlroots/WlrootsEntry.h"
#include "x11/X11Entry.h"

namespace duskwarden::provider {

namespace {

const BackendEntry* const kBackends[] = {&kKdeEntry, &kCinnamonEntry, &kGnomeEntry, &kWlrootsEntry, &kX11Entry, &kSimEntry};

}  // namespace

std::span<const BackendEntry* const> backendList() { return kBackends; }

bool mayRun(const BackendEntry& entry, std::string* why) {
  if (!entry.busNames.empty() && !sessionBusHasName(entry.busNames, entry.label, why)) return false;
  const char* variable = entry.display == BackendEntry::Display::wayland ? "WAYLAND_DISPLAY"
                         : entry.display == BackendEntry::Display::x11   ? "DISPLAY"
                                                                         : nullptr;
  if (variable == nullptr) return true;
  if (const char* value = std::getenv(variable); value != nullptr && *value != '\0') return true;
  *why = std::string(entry.label) + ": " + variable + " is unset; this is no " +
         (entry.display == BackendEntry::Display::wayland ? "Wayland" : "X") + " session";
  return false;
}

}  // namespace duskwarden::provider
