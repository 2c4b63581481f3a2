#pragma once
// Ordering of release versions and build numbers as they appear in an appcast.
//
// A version is split into runs of digits and runs of letters; separators
// (".", "-", "+", "_", "~") only divide runs. Digit runs compare as numbers of
// any length (so 1.10 > 1.9 and build 10 > build 9), letter runs compare
// case-insensitively, and a letter run ranks below any number, so a
// pre-release such as 2.0b1 sorts before 2.0 and before 2.0.1. Missing numeric
// parts count as zero: 1.0 == 1.0.0.

#include <string>
#include <string_view>

namespace duskwarden {

// Longest version text accepted from a feed; anything longer is not a version.
inline constexpr std::size_t kMaxVersionLength = 64;

// True when `version` is something a release could sensibly be called: 1 to
// kMaxVersionLength characters of letters, digits and the separators above,
// starting with a digit and with no empty part between separators.
bool isPlausibleVersion(std::string_view version);

// Negative when a < b, zero when equal, positive when a > b. Both should be
// plausible; other text is compared by the same rules without failing.
int compareVersions(std::string_view a, std::string_view b);

}  // namespace duskwarden
