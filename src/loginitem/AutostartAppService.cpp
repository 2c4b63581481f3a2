#include "loginitem/AutostartAppService.h"

#include "base/loader/Executable.h"
#include "loginitem/DesktopEntry.h"
#include "platform/bundle/BuildInfo.h"
#include "base/glib/GLibPtr.h"
#include "base/keyfile/KeyFileText.h"
#include "base/ownfile/OwnFile.h"
#include "base/xdg/XdgPaths.h"

#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace duskwarden {
namespace fs = std::filesystem;

namespace {

constexpr const char* kGroup = G_KEY_FILE_DESKTOP_GROUP;
constexpr const char* kGnomeEnabledKey = "X-GNOME-Autostart-enabled";
// Tells the program it was started by the session at login.
constexpr const char* kLoginArgument = "--autostart";
// A desktop entry is a few hundred bytes, a few dozen KiB with every translation.
constexpr std::size_t kMaxEntryBytes = 256 * 1024;

bool isExecutableFile(const fs::path& path) {
  struct stat file {};
  return ::stat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode) && ::access(path.c_str(), X_OK) == 0;
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

// The same file, by device and inode: what std::filesystem::equivalent
// tells, without the libstdc++ pages it alone would map at start.
bool samePath(const fs::path& a, const fs::path& b) {
  struct stat first {}, second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

enum class EntryState {
  missing,
  enabled,     // ours, and the desktop starts it
  disabled,    // ours (or written by us), switched off by the user
  stale,       // written by us for this program at another path
  foreign,     // the user's own entry under our name
  unreadable,  // not a small, valid desktop entry
};

struct Entry {
  EntryState state = EntryState::missing;
  std::string reason;  // foreign or unreadable: why, as a clause
  std::string text;    // enabled or stale: the entry as it is
};

// The shape of the entries we write: our program as the only argument (with
// the login flag), and TryExec naming the same program.
bool writtenByUs(const std::vector<std::string>& arguments, const char* tryExec) {
  if (arguments.empty() || arguments.size() > 2 || !fs::path(arguments[0]).is_absolute()) return false;
  if (arguments.size() == 2 && arguments[1] != kLoginArgument) return false;
  return tryExec && arguments[0] == tryExec;
}

// Read as the desktop reads it, with GLib's key-file parser; our keys are
// written with base/keyfile, which keeps every other byte of the user's.
Entry readEntry(const fs::path& entryPath, const fs::path& executable) {
  const auto found = ownfile::read(entryPath, kMaxEntryBytes);
  switch (found.outcome) {
    case ownfile::Read::Outcome::missing:
      return {EntryState::missing, {}, {}};
    case ownfile::Read::Outcome::read:
      break;
    default:
      return {EntryState::unreadable, found.problem, {}};
  }
  if (!g_utf8_validate(found.text.data(), static_cast<gssize>(found.text.size()), nullptr))
    return {EntryState::unreadable, "it is not UTF-8 text", {}};
  KeyFilePtr file(g_key_file_new());
  GError* raw = nullptr;
  // Only untranslated keys are read. Keeping every translation spares the
  // parser working out which of them the user's languages want: work whose
  // GLib pages would otherwise be mapped into every start.
  if (!g_key_file_load_from_data(file.get(), found.text.data(), found.text.size(), G_KEY_FILE_KEEP_TRANSLATIONS, &raw)) {
    ErrorPtr error(raw);
    return {EntryState::unreadable, std::string("it is not a desktop entry (") + error->message + ")", {}};
  }
  GStringPtr exec(g_key_file_get_string(file.get(), kGroup, G_KEY_FILE_DESKTOP_KEY_EXEC, nullptr));
  if (!exec) return {EntryState::foreign, "it has no Exec line", {}};
  const auto arguments = desktopentry::splitExecLine(exec.get());
  if (!arguments || arguments->empty()) return {EntryState::foreign, "its Exec line cannot be read", {}};
  GStringPtr tryExec(g_key_file_get_string(file.get(), kGroup, G_KEY_FILE_DESKTOP_KEY_TRY_EXEC, nullptr));
  const bool switchedOff = booleanKey(file.get(), G_KEY_FILE_DESKTOP_KEY_HIDDEN, false) ||
                           !booleanKey(file.get(), kGnomeEnabledKey, true);

  const auto program = programFor(arguments->front());
  const bool startsUs = program && samePath(*program, executable);
  const bool ours = writtenByUs(*arguments, tryExec.get());
  if (startsUs && tryExec && !ours) {
    // A TryExec that does not resolve stops the desktop from starting the entry at all.
    const auto tryProgram = programFor(tryExec.get());
    if (!tryProgram || !isExecutableFile(*tryProgram))
      return {EntryState::foreign, std::string("its TryExec program ") + tryExec.get() + " does not exist", {}};
  }
  if (!startsUs && !ours) return {EntryState::foreign, std::string("it starts \"") + exec.get() + "\"", {}};
  if (switchedOff) return {EntryState::disabled, {}, {}};
  return {startsUs ? EntryState::enabled : EntryState::stale, {}, found.text};
}

// The keys that say what the entry starts, as we write them.
std::vector<keyfile::EntryEdit> ourKeys(const fs::path& executable) {
  using keyfile::escapedValue;
  return {{G_KEY_FILE_DESKTOP_KEY_EXEC, escapedValue(desktopentry::execLine({executable.string(), kLoginArgument}))},
          {G_KEY_FILE_DESKTOP_KEY_TRY_EXEC, escapedValue(executable.string())}};
}

std::string newEntry(const fs::path& executable, const std::string& name) {
  std::string text = std::string("[") + kGroup + "]\nType=" + G_KEY_FILE_DESKTOP_TYPE_APPLICATION + "\n";
  text += "Name=" + keyfile::escapedValue(name) + "\n";
  // As the launcher entry says it, so a desktop's startup settings list it in
  // the user's language and with its icon.
  text += "Comment=Keep the desktop's night light switched on\n"
          "Comment[de]=Das Nachtlicht der Arbeitsumgebung eingeschaltet halten\n"
          "Comment[es]=Mantener encendida la luz nocturna del escritorio\n"
          "Comment[fr]=Garder l’éclairage nocturne du bureau allumé\n"
          "Icon=com.quillmoor.Duskwarden\n";
  for (const auto& key : ourKeys(executable)) text += key.key + "=" + *key.value + "\n";
  return text + kGnomeEnabledKey + "=true\n";
}

AppServiceError writeError(const fs::path& entryPath, const std::string& reason) {
  return {"Could not write the autostart entry " + entryPath.string() + ": " + reason};
}

AppServiceError executableNotFound() {
  return {"Could not find the running program's executable, so no autostart entry can be made for it."};
}

}  // namespace

AutostartAppService::AutostartAppService(fs::path autostartDirectory, ExecutableProvider executable,
                                         std::string name)
    : directory_(std::move(autostartDirectory)),
      entryPath_(directory_ / (std::string(kBundleIdentifier) + ".desktop")),
      executable_(std::move(executable)),
      name_(std::move(name)) {}

std::optional<fs::path> AutostartAppService::resolvedExecutable() const {
  if (!executable_) return std::nullopt;
  auto path = executable_();
  if (!path || path->empty() || !path->is_absolute() || !isExecutableFile(*path)) return std::nullopt;
  return path;
}

AppServiceStatus AutostartAppService::status() {
  const auto executable = resolvedExecutable();
  if (!executable) return AppServiceStatus::notFound;
  switch (readEntry(entryPath_, *executable).state) {
    case EntryState::enabled:
      return AppServiceStatus::enabled;
    case EntryState::disabled:
    case EntryState::foreign:
    case EntryState::unreadable:
      return AppServiceStatus::requiresApproval;
    case EntryState::missing:
    case EntryState::stale:
      break;
  }
  return AppServiceStatus::notRegistered;
}

std::optional<AppServiceError> AutostartAppService::registerService() {
  const auto executable = resolvedExecutable();
  if (!executable) return executableNotFound();

  const Entry entry = readEntry(entryPath_, *executable);
  switch (entry.state) {
    case EntryState::disabled:
      // The user switched us off in the startup settings: that choice is theirs to undo.
      return AppServiceError{"Launch at login is switched off in your desktop's startup settings. Turn " +
                             name_ +
                             " back on under Startup Applications (GNOME Tweaks, or System Settings > Autostart "
                             "on KDE), or delete " +
                             entryPath_.string() + "."};
    case EntryState::foreign:
      return AppServiceError{"The autostart entry " + entryPath_.string() + " is not " + name_ + "'s: " +
                             entry.reason + ". It is left as it is; delete it to let " + name_ +
                             " start at login."};
    case EntryState::unreadable:
      return AppServiceError{"The autostart entry " + entryPath_.string() + " cannot be read: " + entry.reason +
                             ". It is left as it is; delete it to let " + name_ + " start at login."};
    case EntryState::missing:
    case EntryState::enabled:
    case EntryState::stale:
      break;
  }

  if (entry.state == EntryState::missing) {
    if (auto error = ownfile::replace(entryPath_, newEntry(*executable, name_))) return writeError(entryPath_, *error);
    return std::nullopt;
  }
  // Ours already: only what it starts is ours to bring up to date. The keys
  // the user added (a start delay, a desktop filter), comments and layout stay.
  std::vector<keyfile::EntryEdit> stale;
  for (auto& key : ourKeys(*executable))
    if (keyfile::readEntry(entry.text, kGroup, key.key) != key.value) stale.push_back(std::move(key));
  if (stale.empty()) return std::nullopt;
  std::string text = entry.text;
  std::string why;
  if (!keyfile::editGroup(text, kGroup, stale, &why)) return writeError(entryPath_, why);
  // An entry reached through a link (a dotfile manager) is updated where it points.
  if (auto error = ownfile::replace(entryPath_, text)) return writeError(entryPath_, *error);
  return std::nullopt;
}

std::optional<AppServiceError> AutostartAppService::unregisterService() {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(entryPath_, ec))) return std::nullopt;

  const auto executable = resolvedExecutable();
  if (!executable) return executableNotFound();

  switch (readEntry(entryPath_, *executable).state) {
    case EntryState::missing:
      return std::nullopt;
    case EntryState::stale:
    case EntryState::foreign:
    case EntryState::unreadable:
      // Not the running program's entry, or not readable: not ours to delete.
      return std::nullopt;
    case EntryState::disabled:
      // The user switched us off in the startup settings, so we already do not
      // start at login. Keeping the entry keeps their choice: deleting it would
      // let a later register quietly switch us back on.
      return std::nullopt;
    case EntryState::enabled:
      break;
  }
  // Removes the entry itself (a link, not what it points to).
  if (g_unlink(entryPath_.c_str()) != 0 && errno != ENOENT) {
    return AppServiceError{"Could not remove the autostart entry " + entryPath_.string() + ": " +
                           g_strerror(errno)};
  }
  return std::nullopt;
}

fs::path AutostartAppService::userAutostartDirectory() { return userConfigHome() / "autostart"; }

std::optional<fs::path> AutostartAppService::runningExecutable() {
  const auto target = loader::executablePath();
  if (!target) return std::nullopt;
  if (isExecutableFile(*target)) return target;
  // The kernel marks an unlinked executable this way; the path may hold a new
  // build by now, which is what the autostart entry would start anyway.
  constexpr std::string_view kDeleted = " (deleted)";
  std::string text = target->string();
  if (text.size() > kDeleted.size() && text.ends_with(kDeleted)) {
    text.resize(text.size() - kDeleted.size());
    if (isExecutableFile(text)) return fs::path(text);
  }
  return std::nullopt;
}

}  // namespace duskwarden
