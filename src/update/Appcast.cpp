#include "update/Appcast.h"

#include "update/Version.h"

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <QXmlStreamReader>

namespace duskwarden {

namespace {

constexpr const char* kSparkleNamespace = "http://www.andymatuschak.org/xml-namespaces/sparkle";
// Longer texts are not links or versions anybody meant; treat them as absent.
constexpr qsizetype kMaxFieldLength = 2048;

bool isSparkle(const QXmlStreamReader& xml) {
  return xml.namespaceUri() == QLatin1String(kSparkleNamespace);
}

bool isPlain(const QXmlStreamReader& xml, const char* name) {
  return xml.namespaceUri().isEmpty() && xml.name() == QLatin1String(name);
}

bool isSparkleElement(const QXmlStreamReader& xml, const char* name) {
  return isSparkle(xml) && xml.name() == QLatin1String(name);
}

std::string field(const QString& text) {
  QString t = text.trimmed();
  if (t.size() > kMaxFieldLength) return {};
  return t.toStdString();
}

std::string sparkleAttribute(const QXmlStreamAttributes& attributes, const char* name) {
  return field(attributes.value(QLatin1String(kSparkleNamespace), QLatin1String(name)).toString());
}

// Reads the children of the current <item>; returns false only on an XML error.
bool readItem(QXmlStreamReader& xml, AppcastItem& item, std::string& enclosureUrl) {
  while (xml.readNextStartElement()) {
    if (isPlain(xml, "title")) {
      item.title = field(xml.readElementText(QXmlStreamReader::SkipChildElements));
    } else if (isPlain(xml, "link")) {
      item.downloadLink = field(xml.readElementText(QXmlStreamReader::SkipChildElements));
    } else if (isPlain(xml, "pubDate")) {
      item.publicationDate = field(xml.readElementText(QXmlStreamReader::SkipChildElements));
    } else if (isSparkleElement(xml, "version")) {
      item.version = field(xml.readElementText(QXmlStreamReader::SkipChildElements));
    } else if (isSparkleElement(xml, "shortVersionString")) {
      item.shortVersionString = field(xml.readElementText(QXmlStreamReader::SkipChildElements));
    } else if (isSparkleElement(xml, "releaseNotesLink")) {
      item.releaseNotesLink = field(xml.readElementText(QXmlStreamReader::SkipChildElements));
    } else if (isSparkleElement(xml, "minimumSystemVersion")) {
      item.minimumSystemVersion = field(xml.readElementText(QXmlStreamReader::SkipChildElements));
    } else if (isPlain(xml, "enclosure")) {
      // Older feeds put the versions on the enclosure; the element form wins.
      const auto attributes = xml.attributes();
      enclosureUrl = field(attributes.value(QLatin1String("url")).toString());
      if (item.version.empty()) item.version = sparkleAttribute(attributes, "version");
      if (item.shortVersionString.empty())
        item.shortVersionString = sparkleAttribute(attributes, "shortVersionString");
      item.os = sparkleAttribute(attributes, "os");
      xml.skipCurrentElement();
    } else {
      xml.skipCurrentElement();
    }
  }
  return !xml.hasError();
}

// Empty when the item can be offered, otherwise why not.
std::string completeItem(AppcastItem& item, const std::string& enclosureUrl) {
  if (item.version.empty()) return "it has no version";
  if (!isPlausibleVersion(item.version)) return "its version \"" + item.version + "\" is not a version";
  if (item.shortVersionString.empty() || item.shortVersionString.size() > kMaxVersionLength)
    item.shortVersionString = item.version;
  if (!isWebUrl(item.downloadLink)) item.downloadLink = isWebUrl(enclosureUrl) ? enclosureUrl : "";
  if (item.downloadLink.empty()) return "it has no web link to download it from";
  if (!isWebUrl(item.releaseNotesLink)) item.releaseNotesLink.clear();
  if (!item.minimumSystemVersion.empty() && !isPlausibleVersion(item.minimumSystemVersion))
    return "its minimum system version \"" + item.minimumSystemVersion + "\" is not a version";
  return {};
}

AppcastParseResult failure(std::string message) { return {std::nullopt, std::move(message)}; }

}  // namespace

std::string AppcastItem::displayVersion() const {
  if (shortVersionString.empty() || shortVersionString == version) return version;
  return shortVersionString + " (" + version + ")";
}

bool isWebUrl(std::string_view url) {
  if (url.empty() || url.size() > static_cast<std::size_t>(kMaxFieldLength)) return false;
  const QUrl u(QString::fromUtf8(url.data(), static_cast<qsizetype>(url.size())), QUrl::StrictMode);
  const QString scheme = u.scheme().toLower();
  return u.isValid() && (scheme == QLatin1String("https") || scheme == QLatin1String("http")) &&
         !u.host().isEmpty();
}

AppcastParseResult parseAppcast(std::string_view data, std::size_t maxBytes) {
  if (data.size() > maxBytes)
    return failure("The update feed is larger than " + std::to_string(maxBytes / 1024) + " KiB.");

  if (data.find_first_not_of(" \t\r\n") == std::string_view::npos) return failure("The update feed is empty.");

  QXmlStreamReader xml(QByteArray(data.data(), static_cast<qsizetype>(data.size())));
  Appcast appcast;
  bool sawRss = false;
  bool sawChannel = false;
  int depth = 0;
  while (!xml.atEnd()) {
    const auto token = xml.readNext();
    if (token == QXmlStreamReader::DTD || token == QXmlStreamReader::EntityReference)
      return failure("The update feed declares or uses XML entities, which are not accepted.");
    if (token == QXmlStreamReader::EndElement) {
      --depth;
      continue;
    }
    if (token != QXmlStreamReader::StartElement) continue;
    ++depth;
    if (depth == 1) {
      if (!isPlain(xml, "rss")) return failure("The update feed is not an RSS feed.");
      sawRss = true;
    } else if (depth == 2) {
      if (isPlain(xml, "channel")) sawChannel = true;
      else { xml.skipCurrentElement(); --depth; }
    } else if (depth == 3 && isPlain(xml, "item")) {
      AppcastItem item;
      std::string enclosureUrl;
      if (!readItem(xml, item, enclosureUrl)) break;
      --depth;  // readItem consumed the item's end tag
      std::string why = completeItem(item, enclosureUrl);
      if (why.empty()) {
        appcast.items.push_back(std::move(item));
      } else {
        appcast.skipped.push_back("Item " + std::to_string(appcast.items.size() + appcast.skipped.size() + 1) +
                                  " was left out because " + why + ".");
      }
    } else {
      xml.skipCurrentElement();
      --depth;
    }
  }
  if (xml.hasError()) {
    return failure("The update feed is not valid XML (line " + std::to_string(xml.lineNumber()) +
                   "): " + xml.errorString().toStdString());
  }
  if (!sawRss) return failure("The update feed is empty.");
  if (!sawChannel) return failure("The update feed has no channel.");
  return {std::move(appcast), {}};
}

bool canRunOn(const AppcastItem& item, const std::optional<std::string>& systemVersion) {
  if (!item.os.empty() && item.os != "linux") return false;
  if (item.minimumSystemVersion.empty() || !systemVersion) return true;
  return compareVersions(*systemVersion, item.minimumSystemVersion) >= 0;
}

std::optional<AppcastItem> bestAppcastItem(const std::vector<AppcastItem>& items,
                                           const std::optional<std::string>& systemVersion) {
  const AppcastItem* best = nullptr;
  for (const auto& item : items) {
    if (!canRunOn(item, systemVersion)) continue;
    if (!best || compareVersions(item.version, best->version) > 0) best = &item;
  }
  if (!best) return std::nullopt;
  return *best;
}

}  // namespace duskwarden
