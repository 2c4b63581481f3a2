// Backend registry and detection.

#include "core/Backend.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace duskwarden::provider {

namespace {
// Function-local so registrations from other files' static initialisers find
// it constructed whatever the initialisation order.
std::vector<const BackendKind*>& registry() {
  static std::vector<const BackendKind*> kinds;
  return kinds;
}
}  // namespace

void registerBackendKind(const BackendKind* kind) {
  if (kind == nullptr) return;
  registry().push_back(kind);
}

const BackendKind* chooseBackend() {
  auto kinds = registry();
  std::stable_sort(kinds.begin(), kinds.end(),
                   [](const BackendKind* a, const BackendKind* b) { return a->priority < b->priority; });

  if (const char* forced = std::getenv("DUSKWARDEN_NIGHTLIGHT_BACKEND"); forced && *forced) {
    for (const BackendKind* kind : kinds) {
      if (std::strcmp(kind->name, forced) == 0) return kind->isUsable() ? kind : nullptr;
    }
    // An unknown name falls through to detection, as documented in nightlight.h.
  }
  for (const BackendKind* kind : kinds) {
    if (kind->autoDetect && kind->isUsable()) return kind;
  }
  return nullptr;
}

}  // namespace duskwarden::provider
