#pragma once
// The sim backend's entry in the list of backends (core/Backends.cpp):
// the file-backed simulator, only when forced. Only this header is seen from outside the directory.

#include "common/Backend.h"

namespace duskwarden::provider {

extern const BackendKind kSimBackend;

}  // namespace duskwarden::provider
