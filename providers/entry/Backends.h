#pragma once
// The one list of backends, in the order automatic detection tries them, as
// the entry library knows them before any of their modules is loaded: each
// backend's own entry (backendkit/Backend.h), nothing repeated here.

#include <span>
#include <string>

#include "backendkit/Backend.h"

namespace duskwarden::provider {

std::span<const BackendEntry* const> backendList();

// What the backend needs of the session, asked without its libraries: false,
// with why in `*why` (logged as information), when it surely cannot run here
// now, and then its module is not even loaded. The module's own isUsable()
// has the last word.
bool mayRun(const BackendEntry& entry, std::string* why);

}  // namespace duskwarden::provider
