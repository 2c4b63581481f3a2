// A backend module's one exported symbol (backendkit/BackendModule.h). Built
// into each module with DW_BACKEND_ENTRY_HEADER, the backend's entry header,
// and DW_BACKEND_KIND, the BackendKind that header declares.

#include DW_BACKEND_ENTRY_HEADER

#include "backendkit/BackendModule.h"
#include "backendkit/Log.h"

extern "C" __attribute__((visibility("default"))) const duskwarden::provider::BackendModule* dw_backend_module(void) {
  using namespace duskwarden::provider;
  static const BackendModule module{kBackendModuleVersion, sizeof(BackendModule), DW_BACKEND_INTERFACE_ID,
                                    &DW_BACKEND_KIND, &setLogFunction};
  return &module;
}
