// The one list of backends, in the order automatic detection tries them
// (the desktop's own night light before raw gamma ramps). Adding a backend:
// its directory, its line here, its name in providers/CMakeLists.txt.

#include "core/Backend.h"

namespace duskwarden::provider {

extern const BackendKind kGnomeBackend;  // gnome/: GNOME's Night Light
extern const BackendKind kX11Backend;    // x11/: RandR gamma ramps, never on Xwayland
extern const BackendKind kSimBackend;    // sim/: the file-backed simulator, only when forced

namespace {
const BackendKind* const kBackends[] = {
    &kGnomeBackend,
    &kX11Backend,
    &kSimBackend,
};
}  // namespace

std::span<const BackendKind* const> backendKinds() { return kBackends; }

}  // namespace duskwarden::provider
