#pragma once
// A backend module: one shared object per backend (backends/<name>.so beside
// the entry library), so that a desktop maps only the libraries of the
// backend it uses. It exports one function, returning this table.
//
// The entry library (entry/) opens a module only when detection reaches its
// backend, through the one safe loader (base/loader), refuses a table it
// does not know, and unloads the module again when its backend is not
// chosen. The table hands over a BackendKind, so C++ objects cross the
// boundary: entry and modules are built together, and `interfaceId` (a
// digest of this header, Backend.h and the Reason it returns by value, made
// by the build) refuses a module built against another version of them, as a
// half-finished upgrade could leave behind.

#include <cstdint>

#include "backendkit/Backend.h"
#include "duskwarden/nightlight.h"

namespace duskwarden::provider {

inline constexpr const char* kBackendModuleEntryPoint = "dw_backend_module";
inline constexpr std::uint32_t kBackendModuleVersion = 1;

struct BackendModule {
  std::uint32_t version;    // kBackendModuleVersion
  std::uint32_t size;       // sizeof(BackendModule)
  const char* interfaceId;  // DW_BACKEND_INTERFACE_ID of the build
  const BackendKind* kind;
  // Where the module's messages go: the entry passes its own log on.
  void (*setLog)(dw_nightlight_log_callback callback, void* userData);
};

extern "C" {
using BackendModuleFn = const BackendModule* (*)();
}

}  // namespace duskwarden::provider
