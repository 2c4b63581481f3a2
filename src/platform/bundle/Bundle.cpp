#include "platform/bundle/Bundle.h"

#include "duskwarden_build_info.h"

namespace duskwarden {

const Bundle& Bundle::main() {
  static const Bundle bundle(InfoDictionary{
      {"CFBundleName", std::string(DW_BUNDLE_NAME)},
      {"CFBundleIdentifier", std::string(kBundleIdentifier)},
      {"CFBundleVersion", std::string(DW_BUNDLE_VERSION)},
      {"CFBundleShortVersionString", std::string(DW_SHORT_VERSION)},
      {"SUFeedURL", std::string(DW_FEED_URL)},
  });
  return bundle;
}

std::optional<std::string> Bundle::stringForKey(const std::string& key) const {
  auto it = info_.find(key);
  if (it == info_.end()) return std::nullopt;
  if (auto* s = std::get_if<std::string>(&it->second)) return *s;
  return std::nullopt;
}

}  // namespace duskwarden
