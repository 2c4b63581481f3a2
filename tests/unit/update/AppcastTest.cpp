#include "update/Appcast.h"
#include "update/SPUUpdater.h"

#include <gtest/gtest.h>

#include <chrono>

namespace duskwarden {
namespace {

const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<rss version=\"2.0\" xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\""
    " xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n<channel>\n<title>Duskwarden</title>\n";
const std::string kTail = "</channel>\n</rss>\n";

std::string item(const std::string& version, const std::string& shortVersion, const std::string& extra = {}) {
  return "<item><title>Duskwarden " + shortVersion + "</title>"
         "<sparkle:version>" + version + "</sparkle:version>"
         "<sparkle:shortVersionString>" + shortVersion + "</sparkle:shortVersionString>"
         "<link>https://example.org/duskwarden/" + shortVersion + "</link>"
         "<pubDate>Sat, 07 Dec 2024 10:00:00 +0000</pubDate>" + extra + "</item>\n";
}

std::string feed(const std::string& items) { return kHead + items + kTail; }

TEST(AppcastTest, ReadsEveryFieldOfAnItem) {
  const auto parsed = parseAppcast(feed(
      "<item><title>Duskwarden 2.1</title>"
      "<sparkle:version>42</sparkle:version>"
      "<sparkle:shortVersionString>2.1</sparkle:shortVersionString>"
      "<sparkle:releaseNotesLink>https://example.org/notes/2.1.html</sparkle:releaseNotesLink>"
      "<sparkle:minimumSystemVersion>11</sparkle:minimumSystemVersion>"
      "<pubDate>Sat, 07 Dec 2024 10:00:00 +0000</pubDate>"
      "<link>https://example.org/download</link>"
      "<enclosure url=\"https://example.org/duskwarden-2.1.tar.gz\" length=\"1234\""
      " type=\"application/octet-stream\" sparkle:os=\"linux\"/>"
      "</item>"));
  ASSERT_TRUE(parsed.appcast) << parsed.error;
  ASSERT_EQ(parsed.appcast->items.size(), 1u);
  const AppcastItem& it = parsed.appcast->items[0];
  EXPECT_EQ(it.title, "Duskwarden 2.1");
  EXPECT_EQ(it.version, "42");
  EXPECT_EQ(it.shortVersionString, "2.1");
  EXPECT_EQ(it.displayVersion(), "2.1 (42)");
  EXPECT_EQ(it.releaseNotesLink, "https://example.org/notes/2.1.html");
  EXPECT_EQ(it.minimumSystemVersion, "11");
  EXPECT_EQ(it.publicationDate, "Sat, 07 Dec 2024 10:00:00 +0000");
  EXPECT_EQ(it.downloadLink, "https://example.org/download");  // the page, not the archive
  EXPECT_EQ(it.os, "linux");
  EXPECT_TRUE(parsed.appcast->skipped.empty());
}

TEST(AppcastTest, IgnoresUnknownFieldsAndTakesOlderEnclosureForm) {
  const auto parsed = parseAppcast(feed(
      "<description><![CDATA[<b>news</b>]]></description><dc:creator>x</dc:creator>"
      "<item><guid>abc</guid><sparkle:channel>beta</sparkle:channel><dc:rights>none</dc:rights>"
      "<description><p>nested <em>markup</em></p></description>"
      "<enclosure url=\"https://example.org/d.tar.gz\" sparkle:version=\"7\" sparkle:shortVersionString=\"1.7\"/>"
      "</item>"));
  ASSERT_TRUE(parsed.appcast) << parsed.error;
  ASSERT_EQ(parsed.appcast->items.size(), 1u);
  EXPECT_EQ(parsed.appcast->items[0].version, "7");
  EXPECT_EQ(parsed.appcast->items[0].shortVersionString, "1.7");
  EXPECT_EQ(parsed.appcast->items[0].downloadLink, "https://example.org/d.tar.gz");
}

TEST(AppcastTest, SkipsUnusableItemsWithAReason) {
  const auto parsed = parseAppcast(feed(
      "<item><title>no version</title><link>https://example.org/a</link></item>" +
      item("9999999999999999999999999999999999999999999999999999999999999999999", "absurd") +
      item("1.0; DROP", "odd") +
      "<item><sparkle:version>5</sparkle:version><link>javascript:alert(1)</link></item>" +
      "<item><sparkle:version>6</sparkle:version><link>file:///etc/passwd</link></item>" +
      item("8", "1.8", "<sparkle:releaseNotesLink>file:///etc/passwd</sparkle:releaseNotesLink>")));
  ASSERT_TRUE(parsed.appcast) << parsed.error;
  ASSERT_EQ(parsed.appcast->items.size(), 1u);
  EXPECT_EQ(parsed.appcast->items[0].version, "8");
  EXPECT_EQ(parsed.appcast->items[0].releaseNotesLink, "");  // never a local file
  ASSERT_EQ(parsed.appcast->skipped.size(), 5u);
  EXPECT_NE(parsed.appcast->skipped[0].find("no version"), std::string::npos) << parsed.appcast->skipped[0];
  EXPECT_NE(parsed.appcast->skipped[3].find("web link"), std::string::npos) << parsed.appcast->skipped[3];
}

TEST(AppcastTest, RefusesBrokenFeeds) {
  struct Case {
    const char* name;
    std::string xml;
    const char* errorPart;
  };
  const Case cases[] = {
      {"empty", "", "empty"},
      {"unclosed", kHead + item("2", "2.0"), "not valid XML"},
      {"mismatched", kHead + "<item></channel></rss>", "not valid XML"},
      {"not rss", "<html><body>Not found</body></html>", "not an RSS"},
      {"no channel", "<rss version=\"2.0\"></rss>", "no channel"},
      {"garbage", std::string("\x89PNG\r\n\x1a\n\0\0binary", 16), "not valid XML"},
      {"undeclared prefix", "<rss><channel><item><sparkle:version>2</sparkle:version></item></channel></rss>",
       "not valid XML"},
      {"undefined entity", "<rss><channel><title>&ghost;</title></channel></rss>", ""},
      {"external entity",
       "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>"
       "<rss><channel><title>&x;</title></channel></rss>",
       "entities"},
  };
  for (const auto& c : cases) {
    const auto parsed = parseAppcast(c.xml);
    EXPECT_FALSE(parsed.appcast) << c.name;
    EXPECT_FALSE(parsed.error.empty()) << c.name;
    EXPECT_NE(parsed.error.find(c.errorPart), std::string::npos) << c.name << ": " << parsed.error;
  }
}

TEST(AppcastTest, EntityExpansionAttackFailsQuickly) {
  std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [\n<!ENTITY lol0 \"lollollollollollollollollollol\">\n";
  for (int i = 1; i <= 9; ++i) {
    xml += "<!ENTITY lol" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) xml += "&lol" + std::to_string(i - 1) + ";";
    xml += "\">\n";
  }
  xml += "]>\n<rss version=\"2.0\"><channel><item><title>&lol9;</title>"
         "<sparkle:version>2</sparkle:version></item></channel></rss>";
  const auto start = std::chrono::steady_clock::now();
  const auto parsed = parseAppcast(xml);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(parsed.appcast);
  EXPECT_NE(parsed.error.find("entities"), std::string::npos) << parsed.error;
  EXPECT_LT(elapsed, std::chrono::seconds(1));
}

TEST(AppcastTest, RefusesOversizeFeed) {
  std::string items;
  while (items.size() <= kMaxAppcastBytes) items += item("1", "1.0");
  const auto parsed = parseAppcast(feed(items));
  EXPECT_FALSE(parsed.appcast);
  EXPECT_NE(parsed.error.find("larger than 1024 KiB"), std::string::npos) << parsed.error;
  // The cap is the caller's to choose.
  EXPECT_FALSE(parseAppcast(feed(item("1", "1.0")), 100).appcast);
}

TEST(AppcastTest, ChoosesTheNewestItemThisSystemCanRun) {
  const auto parsed = parseAppcast(feed(
      item("9", "1.9") + item("10", "1.10") +
      item("12", "1.12", "<sparkle:minimumSystemVersion>13</sparkle:minimumSystemVersion>") +
      item("14", "1.14", "<enclosure url=\"https://example.org/x.dmg\" sparkle:os=\"macos\"/>") +
      item("11", "1.11", "<sparkle:minimumSystemVersion>12</sparkle:minimumSystemVersion>") +
      item("3", "1.3")));
  ASSERT_TRUE(parsed.appcast) << parsed.error;
  const auto& items = parsed.appcast->items;

  // Debian 12: 1.12 needs 13 and 1.14 is for another system, so 1.11.
  EXPECT_EQ(bestAppcastItem(items, "12")->version, "11");
  EXPECT_EQ(bestAppcastItem(items, "13")->version, "12");
  EXPECT_EQ(bestAppcastItem(items, "11")->version, "10");  // 1.10 beats 1.9 numerically
  // Unknown system version (rolling release): nothing held back except other systems.
  EXPECT_EQ(bestAppcastItem(items, std::nullopt)->version, "12");
  EXPECT_FALSE(bestAppcastItem({}, "12"));
}

UpdaterSettings settings(const std::string& version) {
  UpdaterSettings s;
  s.applicationName = "Duskwarden";
  s.version = version;
  s.shortVersionString = "1." + version;
  s.feedUrl = "https://example.org/appcast.xml";
  s.systemVersion = "12";
  return s;
}

TEST(EvaluateAppcastTest, ComparesTheBestItemWithTheRunningBuild) {
  const FetchResult fetched{true, feed(item("9", "1.9") + item("10", "1.10")), {}};

  auto older = evaluateAppcast(settings("9"), fetched);
  EXPECT_EQ(older.kind, UpdateCheckResult::Kind::updateAvailable);
  EXPECT_EQ(older.item.version, "10");
  EXPECT_EQ(older.item.downloadLink, "https://example.org/duskwarden/1.10");
  EXPECT_EQ(older.currentVersion, "1.9 (9)");

  EXPECT_EQ(evaluateAppcast(settings("10"), fetched).kind, UpdateCheckResult::Kind::upToDate);
  EXPECT_EQ(evaluateAppcast(settings("11"), fetched).kind, UpdateCheckResult::Kind::upToDate);
  // An empty channel simply has nothing newer.
  EXPECT_EQ(evaluateAppcast(settings("1"), {true, feed(""), {}}).kind, UpdateCheckResult::Kind::upToDate);
}

TEST(EvaluateAppcastTest, ReportsFailuresAsErrors) {
  const auto fetchFailed = evaluateAppcast(settings("1"), {false, {}, "The update server answered 500."});
  EXPECT_EQ(fetchFailed.kind, UpdateCheckResult::Kind::error);
  EXPECT_EQ(fetchFailed.errorMessage, "The update server answered 500.");

  EXPECT_EQ(evaluateAppcast(settings("1"), {true, "<html>", {}}).kind, UpdateCheckResult::Kind::error);

  // A feed whose every release is unreadable is broken, not "up to date".
  const auto unreadable =
      evaluateAppcast(settings("1"), {true, feed("<item><link>https://example.org/</link></item>"), {}});
  EXPECT_EQ(unreadable.kind, UpdateCheckResult::Kind::error);
  EXPECT_NE(unreadable.errorMessage.find("no release that could be read"), std::string::npos);
}

}  // namespace
}  // namespace duskwarden
