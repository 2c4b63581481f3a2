// Makes the X11 backend known to the provider's detection.
#include "core/Backend.h"
#include "x11/X11Backend.h"

namespace duskwarden::provider::x11 {
namespace {

std::unique_ptr<Backend> createX11() { return X11Backend::create(); }

const BackendKind kX11Kind{"x11", 20, true, &X11Backend::isUsable, &createX11};
const BackendRegistration kRegistered(&kX11Kind);

}  // namespace
}  // namespace duskwarden::provider::x11
