#include "platform/appservice/AutostartAppService.h"

#include "platform/appservice/DesktopEntry.h"
#include "platform/bundle/Bundle.h"
#include "platform/common/GLibPtr.h"
#include "platform/common/XdgPaths.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <system_error>

namespace duskwarden {
namespace fs = std::filesystem;

namespace {

constexpr const char* kGroup = G_KEY_FILE_DESKTOP_GROUP;
constexpr const char* kGnomeEnabledKey = "X-GNOME-Autostart-enabled";

bool isExecutableFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

std::string bundleName() {
  return Bundle::main().stringForKey("CFBundleName").value_or("Duskwarden");
}

// A Boolean key as the desktop reads it; a missing or malformed key leaves `fallback`.
bool booleanKey(GKeyFile* file, const char* key, bool fallback) {
  GError* raw = nullptr;
  const gboolean value = g_key_file_get_boolean(file, kGroup, key, &raw);
  if (raw) {
    g_error_free(raw);
    return fallback;
  }
  return value;
}

// The program an Exec argument starts: a bare name is looked up in PATH, as the launcher does.
std::optional<fs::path> programFor(const std::string& argument) {
  if (argument.empty()) return std::nullopt;
  if (argument.find('/') != std::string::npos) return fs::path(argument);
  GStringPtr found(g_find_program_in_path(argument.c_str()));
  if (!found) return std::nullopt;
  return fs::path(found.get());
}

bool samePath(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  const bool same = fs::equivalent(a, b, ec);
  return !ec && same;
}

enum class EntryState { Missing, NotOurs, Enabled, Disabled };

struct Entry {
  EntryState state = EntryState::Missing;
};

Entry readEntry(const fs::path& entryPath, const fs::path& executable) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(entryPath, ec))) return {EntryState::Missing};

  KeyFilePtr file(g_key_file_new());
  if (!g_key_file_load_from_file(file.get(), entryPath.c_str(), G_KEY_FILE_KEEP_COMMENTS, nullptr)) {
    return {EntryState::NotOurs};
  }
  GStringPtr exec(g_key_file_get_string(file.get(), kGroup, G_KEY_FILE_DESKTOP_KEY_EXEC, nullptr));
  if (!exec) return {EntryState::NotOurs};
  const auto arguments = desktopentry::splitExecLine(exec.get());
  if (!arguments || arguments->empty()) return {EntryState::NotOurs};
  const auto program = programFor(arguments->front());
  if (!program || !samePath(*program, executable)) return {EntryState::NotOurs};

  // A TryExec that does not resolve stops the desktop from starting the entry at all.
  GStringPtr tryExec(g_key_file_get_string(file.get(), kGroup, G_KEY_FILE_DESKTOP_KEY_TRY_EXEC, nullptr));
  if (tryExec) {
    const auto tryProgram = programFor(tryExec.get());
    if (!tryProgram || !isExecutableFile(*tryProgram)) return {EntryState::NotOurs};
  }

  const bool hidden = booleanKey(file.get(), G_KEY_FILE_DESKTOP_KEY_HIDDEN, false);
  const bool gnomeEnabled = booleanKey(file.get(), kGnomeEnabledKey, true);
  return {(hidden || !gnomeEnabled) ? EntryState::Disabled : EntryState::Enabled};
}

AppServiceError writeError(const fs::path& entryPath, const std::string& reason) {
  return {"Could not write the autostart entry " + entryPath.string() + ": " + reason};
}

AppServiceError executableNotFound() {
  return {"Could not find the running program's executable, so no autostart entry can be made for it."};
}

}  // namespace

AutostartAppService::AutostartAppService(fs::path autostartDirectory, ExecutableProvider executable)
    : directory_(std::move(autostartDirectory)),
      entryPath_(directory_ / (std::string(kBundleIdentifier) + ".desktop")),
      executable_(std::move(executable)) {}

std::optional<fs::path> AutostartAppService::resolvedExecutable() const {
  if (!executable_) return std::nullopt;
  auto path = executable_();
  if (!path || path->empty() || !path->is_absolute() || !isExecutableFile(*path)) return std::nullopt;
  return path;
}

AppServiceStatus AutostartAppService::status() {
  const auto executable = resolvedExecutable();
  if (!executable) return AppServiceStatus::NotFound;
  switch (readEntry(entryPath_, *executable).state) {
    case EntryState::Enabled:
      return AppServiceStatus::Enabled;
    case EntryState::Disabled:
      return AppServiceStatus::RequiresApproval;
    case EntryState::Missing:
    case EntryState::NotOurs:
      break;
  }
  return AppServiceStatus::NotRegistered;
}

std::optional<AppServiceError> AutostartAppService::registerService() {
  const auto executable = resolvedExecutable();
  if (!executable) return executableNotFound();

  // The user switched us off in the startup settings: that choice is theirs to undo.
  if (readEntry(entryPath_, *executable).state == EntryState::Disabled) {
    return AppServiceError{"Launch at login is switched off in your desktop's startup settings. Turn " +
                           bundleName() +
                           " back on under Startup Applications (GNOME Tweaks, or System Settings > Autostart "
                           "on KDE), or delete " +
                           entryPath_.string() + "."};
  }

  if (g_mkdir_with_parents(directory_.c_str(), 0700) != 0) {
    return writeError(entryPath_, g_strerror(errno));
  }

  KeyFilePtr file(g_key_file_new());
  g_key_file_set_string(file.get(), kGroup, G_KEY_FILE_DESKTOP_KEY_TYPE, G_KEY_FILE_DESKTOP_TYPE_APPLICATION);
  g_key_file_set_string(file.get(), kGroup, G_KEY_FILE_DESKTOP_KEY_NAME, bundleName().c_str());
  g_key_file_set_string(file.get(), kGroup, G_KEY_FILE_DESKTOP_KEY_COMMENT, "Keep the night light on");
  // set_string adds the key-file escaping on top of the Exec quoting.
  g_key_file_set_string(file.get(), kGroup, G_KEY_FILE_DESKTOP_KEY_EXEC,
                        desktopentry::execLine({executable->string()}).c_str());
  g_key_file_set_string(file.get(), kGroup, G_KEY_FILE_DESKTOP_KEY_TRY_EXEC, executable->c_str());
  g_key_file_set_boolean(file.get(), kGroup, kGnomeEnabledKey, TRUE);

  gsize length = 0;
  GStringPtr data(g_key_file_to_data(file.get(), &length, nullptr));
  GError* raw = nullptr;
  // Written to a temporary file and renamed over the entry, so a crash never leaves half an entry.
  if (!g_file_set_contents(entryPath_.c_str(), data.get(), static_cast<gssize>(length), &raw)) {
    ErrorPtr error(raw);
    return writeError(entryPath_, error->message);
  }
  return std::nullopt;
}

std::optional<AppServiceError> AutostartAppService::unregisterService() {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(entryPath_, ec))) return std::nullopt;

  const auto executable = resolvedExecutable();
  if (!executable) return executableNotFound();

  switch (readEntry(entryPath_, *executable).state) {
    case EntryState::Missing:
      return std::nullopt;
    case EntryState::NotOurs:
      // Someone else's program under our name: not ours to delete.
      return std::nullopt;
    case EntryState::Disabled:
      // The user switched us off in the startup settings, so we already do not
      // start at login. Keeping the entry keeps their choice: deleting it would
      // let a later register quietly switch us back on.
      return std::nullopt;
    case EntryState::Enabled:
      break;
  }
  if (g_unlink(entryPath_.c_str()) != 0 && errno != ENOENT) {
    return AppServiceError{"Could not remove the autostart entry " + entryPath_.string() + ": " +
                           g_strerror(errno)};
  }
  return std::nullopt;
}

fs::path AutostartAppService::userAutostartDirectory() { return userConfigHome() / "autostart"; }

std::optional<fs::path> AutostartAppService::runningExecutable() {
  std::error_code ec;
  fs::path target = fs::read_symlink("/proc/self/exe", ec);
  if (ec || target.empty()) return std::nullopt;
  if (isExecutableFile(target)) return target;
  // The kernel marks an unlinked executable this way; the path may hold a new
  // build by now, which is what the autostart entry would start anyway.
  constexpr std::string_view kDeleted = " (deleted)";
  std::string text = target.string();
  if (text.size() > kDeleted.size() && text.ends_with(kDeleted)) {
    text.resize(text.size() - kDeleted.size());
    if (isExecutableFile(text)) return fs::path(text);
  }
  return std::nullopt;
}

AppService& AppService::mainAppService() {
  static AutostartAppService service(AutostartAppService::userAutostartDirectory(),
                                     &AutostartAppService::runningExecutable);
  return service;
}

}  // namespace duskwarden
