#pragma once
// What the build says about the application: its name and versions and where
// its updates are announced. The process entry takes them once, from the
// values the build generated, and hands them to whoever shows or sends them.

#include <string>

namespace duskwarden {

struct BuildInfo {
  std::string name;          // "Duskwarden": menus, messages, the autostart entry
  std::string version;       // the build number ("1"): the popover's version line
  std::string shortVersion;  // "1.0.0": --version, the updater
  std::string feedUrl;       // the update feed

  // This build's values, as the build generated them.
  static BuildInfo generated();
};

inline constexpr const char* kBundleIdentifier = "com.quillmoor.Duskwarden";

}  // namespace duskwarden
