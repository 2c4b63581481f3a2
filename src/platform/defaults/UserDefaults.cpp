#include "platform/defaults/UserDefaults.h"

#include "base/glib/GLibPtr.h"
#include "base/ownfile/OwnFile.h"
#include "base/xdg/XdgPaths.h"
#include "platform/log/Logger.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <set>

namespace duskwarden {

namespace {
namespace fs = std::filesystem;

constexpr const char* kGroup = "Defaults";
constexpr const char* kDirectoryName = "com.quillmoor.Duskwarden";
constexpr const char* kFileName = "defaults.conf";
// A settings file holds a few lines; even with long notes of the user's
// it stays far below this, and reading this much never takes long.
constexpr std::size_t kMaxFileBytes = 1024 * 1024;

constexpr std::string_view kLogCategory = "UserDefaults";

KeyFilePtr newKeyFile() { return KeyFilePtr(g_key_file_new()); }

std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

// The spellings people write for a yes/no setting; GKeyFile knows only
// true/false/1/0 and no trailing comment.
std::optional<bool> parseBoolean(std::string_view raw) {
  std::string value = trimmed(raw.substr(0, raw.find('#')));
  std::transform(value.begin(), value.end(), value.begin(), [](unsigned char c) { return g_ascii_tolower(c); });
  if (value == "true" || value == "1" || value == "yes" || value == "on") return true;
  if (value == "false" || value == "0" || value == "no" || value == "off") return false;
  return std::nullopt;
}

// Sets a Boolean, keeping a trailing "# comment" the user wrote on its line.
void storeBoolean(GKeyFile* file, const std::string& key, bool value) {
  std::string text = value ? "true" : "false";
  GStringPtr raw(g_key_file_get_value(file, kGroup, key.c_str(), nullptr));
  const std::string_view old = raw ? std::string_view(raw.get()) : std::string_view();
  if (const auto hash = old.find('#'); hash != std::string_view::npos) {
    const auto valueEnd = hash == 0 ? std::string_view::npos : old.find_last_not_of(" \t", hash - 1);
    const auto gapStart = valueEnd == std::string_view::npos ? 0 : valueEnd + 1;
    const std::string_view gap = old.substr(gapStart, hash - gapStart);
    text += gap.empty() ? std::string(" ") : std::string(gap);
    text += old.substr(hash);
  }
  g_key_file_set_value(file, kGroup, key.c_str(), text.c_str());
}

enum class LoadResult { loaded, missing, damaged, unusable };

struct Loaded {
  LoadResult result = LoadResult::missing;
  KeyFilePtr file = newKeyFile();
  ownfile::Read found;
  std::string problem;  // damaged or unusable: why, as a clause
};

constexpr auto kLoadFlags = static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS);

// Damaged: a regular file whose bytes are not a clean key file; it may be
// replaced after a backup. Unusable: anything else that is there; it is never replaced.
Loaded load(const fs::path& path) {
  Loaded l;
  l.found = ownfile::read(path, kMaxFileBytes);
  l.problem = l.found.problem;
  switch (l.found.outcome) {
    case ownfile::Read::Outcome::missing:
      return l;
    case ownfile::Read::Outcome::tooLarge:
      l.result = LoadResult::damaged;
      return l;
    case ownfile::Read::Outcome::notRegular:
    case ownfile::Read::Outcome::failed:
      l.result = LoadResult::unusable;
      return l;
    case ownfile::Read::Outcome::read:
      break;
  }
  const std::string& text = l.found.text;
  l.result = LoadResult::damaged;
  // GKeyFile itself accepts NUL bytes and invalid UTF-8 (it takes a line
  // starting with NUL for a blank one); with a length, g_utf8_validate refuses both.
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
    l.problem = "it is not UTF-8 text";
    return l;
  }
  GError* raw = nullptr;
  if (!g_key_file_load_from_data(l.file.get(), text.data(), text.size(), kLoadFlags, &raw)) {
    ErrorPtr error(raw);
    l.problem = error->message;
    l.file = newKeyFile();  // a half-parsed file must not leak stale values
    return l;
  }
  l.result = LoadResult::loaded;
  return l;
}

}  // namespace

struct UserDefaults::Impl {
  mutable std::mutex mutex;
  LoadResult state = LoadResult::missing;
  // The file as last read or written (empty unless `state` is loaded).
  KeyFilePtr onDisk = newKeyFile();
  // Every value written in this session; wins over the file.
  std::map<std::string, bool> written;
  // Keys whose unreadable value has been logged.
  mutable std::set<std::string> reported;
};

UserDefaults::UserDefaults(fs::path file) : path_(std::move(file)), impl_(std::make_unique<Impl>()) {
  Loaded l = load(path_);
  impl_->state = l.result;
  impl_->onDisk = std::move(l.file);
  if (l.result == LoadResult::damaged || l.result == LoadResult::unusable)
    logger(kLogCategory).error("Could not read the defaults file %{public}s: %{public}s. It is left as it is, and "
                               "its settings count as unknown until they are changed.",
                               path_.string(), l.problem);
}

UserDefaults::~UserDefaults() = default;

fs::path UserDefaults::defaultPath() { return userConfigHome() / kDirectoryName / kFileName; }

UserDefaults& UserDefaults::standard() {
  // Kept to process end: callers may still read during shutdown.
  static auto* instance = new UserDefaults(defaultPath());
  return *instance;
}

std::optional<bool> UserDefaults::readBool(Setting setting) const {
  const SettingInfo& info = settingInfo(setting);
  const std::string key(info.key);
  std::lock_guard lock(impl_->mutex);
  if (auto it = impl_->written.find(key); it != impl_->written.end()) return it->second;
  switch (impl_->state) {
    case LoadResult::missing:
      return info.defaultValue;
    case LoadResult::damaged:
    case LoadResult::unusable:
      return std::nullopt;
    case LoadResult::loaded:
      break;
  }
  GStringPtr raw(g_key_file_get_value(impl_->onDisk.get(), kGroup, key.c_str(), nullptr));
  if (!raw) return info.defaultValue;
  if (auto value = parseBoolean(raw.get())) return value;
  if (impl_->reported.insert(key).second)
    logger(kLogCategory).error("The defaults file %{public}s sets %{public}s to \"%{public}s\", which is not a "
                               "yes/no value. It is left as it is until the setting is changed.",
                               path_.string(), key, std::string(raw.get()));
  return std::nullopt;
}

bool UserDefaults::boolForKey(Setting setting) const {
  return readBool(setting).value_or(settingInfo(setting).defaultValue);
}

std::optional<std::string> UserDefaults::setBool(bool value, Setting setting) {
  const std::string key(settingInfo(setting).key);
  std::lock_guard lock(impl_->mutex);
  const auto refuse = [&](const char* format, const std::string& why) -> std::optional<std::string> {
    logger(kLogCategory).error(format, path_.string(), why);
    return "Could not write the defaults file " + path_.string() + ": " + why;
  };

  // Read again, so changes made by someone else since start are kept.
  Loaded now = load(path_);
  switch (now.result) {
    case LoadResult::loaded:  // a symlinked file (dotfile managers) is updated where it points
    case LoadResult::missing:
      break;
    case LoadResult::damaged: {
      std::string why;
      const auto contents = now.found.outcome == ownfile::Read::Outcome::read
                                ? std::optional<std::string>(now.found.text)
                                : std::nullopt;
      const auto backup = ownfile::keepBackup(path_, contents, &why);
      if (!backup)
        return refuse("Not replacing the damaged defaults file %{public}s; the setting stays as it was: %{public}s",
                      why);
      logger(kLogCategory).log("Kept the damaged defaults file %{public}s as %{public}s; writing a fresh one",
                               path_.string(), backup->string());
      // A link to a file that is not ours (a shell's rc file) is kept as the
      // backup; the fresh file takes the link's place, not its target's.
      if (now.found.isSymlink) ::unlink(path_.c_str());
      break;
    }
    case LoadResult::unusable:
      return refuse("Not replacing the defaults file %{public}s; the setting stays as it was: %{public}s",
                    now.problem);
  }
  auto written = impl_->written;
  written[key] = value;
  for (const auto& [k, v] : written) storeBoolean(now.file.get(), k, v);

  gsize length = 0;
  GStringPtr data(g_key_file_to_data(now.file.get(), &length, nullptr));
  // Every launch sets what it read back: a file that already says exactly
  // this is left alone, sparing the login a write and two fsyncs.
  const std::string_view bytes(data.get(), length);
  const bool same = now.result == LoadResult::loaded && now.found.text == bytes;
  if (auto error = same ? std::nullopt : ownfile::replace(path_, bytes))
    return refuse("Could not write the defaults file %{public}s; the setting stays as it was: %{public}s", *error);
  impl_->written = std::move(written);
  impl_->state = LoadResult::loaded;
  impl_->onDisk = std::move(now.file);
  return std::nullopt;
}

}  // namespace duskwarden
