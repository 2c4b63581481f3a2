#pragma once
// The sim backend's entry, the one header seen from outside the directory (by the
// module's exported table, common/ModuleEntry.cpp):
// the file-backed simulator, only when forced.

#include "common/Backend.h"

namespace duskwarden::provider {

extern const BackendKind kSimBackend;

}  // namespace duskwarden::provider
