#pragma once
// Backend detection: chosen once, shared by supports_night_light and create.

#include "common/Backend.h"

namespace duskwarden::provider {

// The kind to use: the one named by DUSKWARDEN_NIGHTLIGHT_BACKEND when set
// (nullptr when it is not usable), otherwise the first usable auto-detected
// kind; nullptr when none. Chosen once, and again only when the environment
// it was chosen in has changed (see nightlight.h).
const BackendKind* chooseBackend();

}  // namespace duskwarden::provider
