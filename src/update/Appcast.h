#pragma once
// An appcast: an RSS 2.0 feed with one item per release, using the usual
// "sparkle:" elements for the version (build number), the short version
// string, the release notes link and the minimum system version.
//
// Parsing never expands entities: a feed with a document type declaration or
// an entity reference is refused outright, so entity-expansion tricks fail at
// once. Items that cannot be used (no version, an implausible version, no
// web link to download from) are left out with a reason; a feed that is not
// well-formed, too large, or not RSS is an error.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace duskwarden {

// The largest appcast accepted, in bytes. Feeds are a few kilobytes.
inline constexpr std::size_t kMaxAppcastBytes = 1024 * 1024;

struct AppcastItem {
  std::string title;
  std::string version;               // build number, compared with "CFBundleVersion"
  std::string shortVersionString;    // for people; the version when the feed gives none
  std::string releaseNotesLink;      // http(s) URL or empty
  std::string downloadLink;          // http(s) URL of the download page, never empty
  std::string publicationDate;       // as written (RFC 822), may be empty
  std::string minimumSystemVersion;  // os-release VERSION_ID it needs, may be empty
  std::string os;                    // the enclosure's operating system, may be empty

  // "2.1 (42)", or just the version when both are the same.
  std::string displayVersion() const;
};

struct Appcast {
  std::vector<AppcastItem> items;     // in feed order
  std::vector<std::string> skipped;   // one reason per item left out
};

struct AppcastParseResult {
  std::optional<Appcast> appcast;  // set on success
  std::string error;               // set on failure, for people to read
};

AppcastParseResult parseAppcast(std::string_view xml, std::size_t maxBytes = kMaxAppcastBytes);

// Whether this system can run the item: the item is for Linux (or names no
// system), and its minimum system version, if any, is not above the running
// system's version. An unknown system version holds nothing back.
bool canRunOn(const AppcastItem& item, const std::optional<std::string>& systemVersion);

// The item with the highest version that this system can run, if any.
std::optional<AppcastItem> bestAppcastItem(const std::vector<AppcastItem>& items,
                                           const std::optional<std::string>& systemVersion);

// True for absolute http and https URLs with a host: the only links we open.
bool isWebUrl(std::string_view url);

}  // namespace duskwarden
