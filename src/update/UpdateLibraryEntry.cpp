// The update library's entry point: the network appcast source.
#include "update/NetworkAppcastSource.h"
#include "update/UpdateLibrary.h"

extern "C" __attribute__((visibility("default"))) duskwarden::AppcastSource* dw_update_create_appcast_source(
    int version) {
  if (version != duskwarden::kUpdateLibraryVersion) return nullptr;
  return new duskwarden::NetworkAppcastSource();
}
