#include "platform/common/XdgPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace duskwarden {

std::filesystem::path userConfigHome() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && std::filesystem::path(xdg).is_absolute()) {
    return xdg;
  }
  std::filesystem::path home;
  if (const char* h = std::getenv("HOME"); h && *h) {
    home = h;
  } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
    home = pw->pw_dir;
  } else {
    home = "/";
  }
  return home / ".config";
}

}  // namespace duskwarden
