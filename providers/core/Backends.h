#pragma once
// The one list of backends, as the entry library knows them before any of
// their modules is loaded.

#include <span>
#include <string>

namespace duskwarden::provider {

struct BackendEntry {
  const char* name;  // the forcing name, and the module's: backends/<name>.so
  bool autoDetect;   // false: used only when forced (the simulator)
  // What the backend needs of the session, asked without its libraries:
  // false, with why in `*why` (logged as information), when it surely cannot
  // run here, and then its module is not even loaded. The module's own
  // isUsable() has the last word.
  bool (*mayRun)(std::string* why);
};

// Every backend, in the order automatic detection tries them.
std::span<const BackendEntry> backendList();

}  // namespace duskwarden::provider
