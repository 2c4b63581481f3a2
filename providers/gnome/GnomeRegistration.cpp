// Makes the GNOME backend known to the provider's detection.
#include "core/Backend.h"
#include "gnome/GnomeBackend.h"

namespace duskwarden::provider::gnome {
namespace {

std::unique_ptr<Backend> createGnome() { return GnomeBackend::create(); }

const BackendKind kGnomeKind{"gnome", 10, true, &GnomeBackend::isUsable, &createGnome};
const BackendRegistration kRegistered(&kGnomeKind);

}  // namespace
}  // namespace duskwarden::provider::gnome
