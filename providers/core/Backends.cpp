// The one list of backends, in the order automatic detection tries them
// (the desktop's own night light before raw gamma ramps). Adding a backend:
// its directory with its entry header, its line here, its name in
// providers/CMakeLists.txt.

#include "core/Backends.h"

#include "gnome/GnomeEntry.h"
#include "kde/KdeEntry.h"
#include "sim/SimEntry.h"
#include "wlroots/WlrootsEntry.h"
#include "x11/X11Entry.h"

namespace duskwarden::provider {

namespace {
const BackendKind* const kBackends[] = {
    &kKdeBackend,      // kde/: KWin's Night Color
    &kGnomeBackend,    // gnome/: GNOME's Night Light
    &kWlrootsBackend,  // wlroots/: wlr-gamma-control on sway, Hyprland, labwc, river
    &kX11Backend,      // x11/: RandR gamma ramps, never on Xwayland
    &kSimBackend,      // sim/: the file-backed simulator, only when forced
};
}  // namespace

std::span<const BackendKind* const> backendKinds() { return kBackends; }

}  // namespace duskwarden::provider
