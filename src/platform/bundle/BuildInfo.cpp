#include "platform/bundle/BuildInfo.h"

#include "duskwarden_build_info.h"

namespace duskwarden {

BuildInfo BuildInfo::generated() { return {DW_BUNDLE_NAME, DW_BUNDLE_VERSION, DW_SHORT_VERSION, DW_FEED_URL}; }

}  // namespace duskwarden
