#pragma once
// The one list of backends.

#include <span>

#include "common/Backend.h"

namespace duskwarden::provider {

// Every backend, in the order automatic detection tries them.
std::span<const BackendKind* const> backendKinds();

}  // namespace duskwarden::provider
