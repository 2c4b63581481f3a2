#pragma once
// Text from outside (an update feed, a provider, a file name) made safe to
// put in a log line or on a terminal: control characters (C0, DEL, C1),
// Unicode's bidirectional controls (which can make a line read backwards,
// U+202E) and bytes that are not UTF-8 are written as visible escapes,
// "<U+202E>" or "<0xFF>". Everything else, any script, stays as it is.

#include <string>
#include <string_view>

namespace duskwarden {

std::string printableText(std::string_view text);

}  // namespace duskwarden
