#pragma once
// The backend modules (backendkit/BackendModule.h): backends/<name>.so in the
// directory of this library, opened through the one safe loader. Called
// only from detection, under its lock.

#include "backendkit/Backend.h"

namespace duskwarden::provider {

// The kind the module of backend `name` holds; nullptr, with the reason
// logged as an error, when the module is missing or refused.
const BackendKind* openModule(const char* name);
// The backend was chosen: its module stays loaded for the life of the
// process, since clients of it may exist from now on.
void keepModule(const char* name);
// Unloads the module again, unless it has been kept.
void closeModule(const char* name);

}  // namespace duskwarden::provider
