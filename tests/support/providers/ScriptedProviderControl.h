#pragma once
// The scripted test provider's control block, taken from the very library the
// binding loads (dlopen hands back the same handle), so a test steers what the
// binding sees. Needs DW_TEST_PROVIDER_PATH defined by the test target.

#include "ScriptedProvider.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace duskwarden::testing {

inline DwTestProviderControl& scriptedProvider() {
  static DwTestProviderControl* control = [] {
    void* handle = ::dlopen(DW_TEST_PROVIDER_PATH, RTLD_LAZY);
    if (handle == nullptr) {
      std::fprintf(stderr, "cannot open %s: %s\n", DW_TEST_PROVIDER_PATH, ::dlerror());
      std::abort();
    }
    auto get = reinterpret_cast<DwTestProviderControlFn>(::dlsym(handle, "dw_test_provider_control"));
    if (get == nullptr) std::abort();
    return get();
  }();
  return *control;
}

}  // namespace duskwarden::testing
