#include "platform/defaults/UserDefaults.h"

#include "platform/common/GLibPtr.h"
#include "platform/common/XdgPaths.h"
#include "platform/log/Logger.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace duskwarden {

namespace {

constexpr const char* kGroup = "Defaults";
constexpr const char* kDirectoryName = "com.quillmoor.Duskwarden";
constexpr const char* kFileName = "defaults.conf";

const Logger& logger() {
  static const auto* l = new Logger("com.quillmoor.Duskwarden", "UserDefaults");
  return *l;
}

KeyFilePtr newKeyFile() { return KeyFilePtr(g_key_file_new()); }

// A key that would break the file's line structure (or be read back as a
// different key) is refused rather than written.
bool isStorableKey(const std::string& key) {
  if (key.empty() || key.front() == ' ' || key.back() == ' ' || key.front() == '#') return false;
  for (char c : key)
    if (c == '=' || c == '[' || c == ']' || c == '\n' || c == '\r' || c == '\0') return false;
  return g_utf8_validate(key.data(), static_cast<gssize>(key.size()), nullptr);
}

enum class LoadResult { Loaded, Missing, Failed };

constexpr auto kLoadFlags = static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS | G_KEY_FILE_KEEP_TRANSLATIONS);

// Comments and translations are kept so a hand-edited file survives our writes.
// GKeyFile itself accepts NUL bytes and invalid UTF-8 (it takes a line starting
// with NUL for a blank one), so the text is checked before it is parsed.
LoadResult load(GKeyFile* file, const std::string& path, ErrorPtr* failure) {
  GError* raw = nullptr;
  gchar* contents = nullptr;
  gsize length = 0;
  if (!g_file_get_contents(path.c_str(), &contents, &length, &raw)) {
    ErrorPtr error(raw);
    if (error->domain == G_FILE_ERROR && error->code == G_FILE_ERROR_NOENT) return LoadResult::Missing;
    if (failure) *failure = std::move(error);
    return LoadResult::Failed;
  }
  g_autofree gchar* text = contents;
  // g_utf8_validate with a length also refuses embedded NUL bytes.
  if (!g_utf8_validate(text, static_cast<gssize>(length), nullptr)) {
    if (failure)
      failure->reset(g_error_new_literal(G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_UNKNOWN_ENCODING,
                                         "the file is not UTF-8 text"));
    return LoadResult::Failed;
  }
  if (!g_key_file_load_from_data(file, text, length, kLoadFlags, &raw)) {
    ErrorPtr error(raw);
    if (failure) *failure = std::move(error);
    return LoadResult::Failed;
  }
  return LoadResult::Loaded;
}

}  // namespace

struct UserDefaults::Impl {
  mutable std::mutex mutex;
  // The file as read when the object was made (empty when missing or unreadable).
  KeyFilePtr onDisk = newKeyFile();
  // Every value set in this session; wins over the file, and survives failed writes.
  std::map<std::string, bool> written;
};

UserDefaults::UserDefaults(std::filesystem::path file) : path_(std::move(file)), impl_(std::make_unique<Impl>()) {
  ErrorPtr error;
  if (load(impl_->onDisk.get(), path_.string(), &error) == LoadResult::Failed) {
    // Start from a clean slate: a half-parsed file must not leak stale values.
    impl_->onDisk = newKeyFile();
    logger().error("Could not read the defaults file %{public}s, using empty defaults: %{public}s", path_.string(),
                   std::string(error->message));
  }
}

UserDefaults::~UserDefaults() = default;

std::filesystem::path UserDefaults::defaultPath() {
  return userConfigHome() / kDirectoryName / kFileName;
}

UserDefaults& UserDefaults::standard() {
  // Kept to process end: callers may still read during shutdown.
  static auto* instance = new UserDefaults(defaultPath());
  return *instance;
}

bool UserDefaults::boolForKey(const std::string& key) const {
  std::lock_guard lock(impl_->mutex);
  if (auto it = impl_->written.find(key); it != impl_->written.end()) return it->second;
  if (!isStorableKey(key)) return false;
  GError* raw = nullptr;
  const gboolean value = g_key_file_get_boolean(impl_->onDisk.get(), kGroup, key.c_str(), &raw);
  if (raw) {
    // Missing, or not a boolean ("banana"): reads false.
    g_error_free(raw);
    return false;
  }
  return value != FALSE;
}

void UserDefaults::setBool(bool value, const std::string& key) {
  if (!isStorableKey(key)) {
    logger().error("Refusing to store defaults key \"%{public}s\": not a valid key name", key);
    return;
  }
  std::lock_guard lock(impl_->mutex);
  impl_->written[key] = value;

  const std::string path = path_.string();
  // Re-read the file so keys written by someone else since start are kept; if
  // it cannot be read now, fall back to what was read at start.
  KeyFilePtr merged = newKeyFile();
  if (load(merged.get(), path, nullptr) == LoadResult::Failed) {
    gsize length = 0;
    g_autofree gchar* data = g_key_file_to_data(impl_->onDisk.get(), &length, nullptr);
    merged = newKeyFile();
    g_key_file_load_from_data(merged.get(), data, length, kLoadFlags, nullptr);
  }
  for (const auto& [k, v] : impl_->written) g_key_file_set_boolean(merged.get(), kGroup, k.c_str(), v);

  const std::string directory = path_.parent_path().string();
  if (!directory.empty() && g_mkdir_with_parents(directory.c_str(), 0700) != 0) {
    const int err = errno;
    logger().error("Could not create the defaults directory %{public}s: %{public}s", directory,
                   std::string(g_strerror(err)));
    return;
  }

  // A symlinked file (dotfile managers) is updated where it points, not replaced by a copy.
  std::string target = path;
  std::error_code ec;
  if (std::filesystem::is_symlink(path_, ec)) {
    auto resolved = std::filesystem::weakly_canonical(path_, ec);
    if (!ec) target = resolved.string();
  }

  gsize length = 0;
  g_autofree gchar* data = g_key_file_to_data(merged.get(), &length, nullptr);
  GError* raw = nullptr;
  // Temporary file, fsync, rename: a crash leaves either the old or the new file, never a torn one.
  if (!g_file_set_contents_full(target.c_str(), data, static_cast<gssize>(length),
                                static_cast<GFileSetContentsFlags>(G_FILE_SET_CONTENTS_CONSISTENT |
                                                                   G_FILE_SET_CONTENTS_DURABLE),
                                0666, &raw)) {
    ErrorPtr error(raw);
    logger().error("Could not write the defaults file %{public}s, keeping the value for this session: %{public}s",
                   target, std::string(error->message));
    return;
  }
  impl_->onDisk = std::move(merged);
}

}  // namespace duskwarden
