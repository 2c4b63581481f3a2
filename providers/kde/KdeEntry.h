#pragma once
// The kde backend's entry in the list of backends (core/Backends.cpp):
// KWin's Night Color. Only this header is seen from outside the directory.

#include "common/Backend.h"

namespace duskwarden::provider {

extern const BackendKind kKdeBackend;

}  // namespace duskwarden::provider
