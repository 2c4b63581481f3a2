#include "gnome/GnomeSchedule.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>
#include <cmath>
#include <memory>

#include "common/StateFile.h"

namespace duskwarden::provider::gnome {

namespace {
constexpr const char* kGroup = "schedule";
bool validHour(double h) { return std::isfinite(h) && h >= 0.0 && h <= 24.0; }
}  // namespace

Schedule alwaysOnSchedule() { return {false, 0.0, 0.0}; }

bool isAlwaysOn(const Schedule& s) { return !s.automatic && s.from == 0.0 && s.to == 0.0; }

std::string savedSchedulePath() {
  return stateFilePath("gnome-night-light.ini");
}

std::optional<Schedule> loadSavedSchedule() {
  KeyFilePtr file(g_key_file_new());
  if (!g_key_file_load_from_file(file.get(), savedSchedulePath().c_str(), G_KEY_FILE_NONE, nullptr))
    return std::nullopt;
  GError* error = nullptr;
  Schedule s;
  s.automatic = g_key_file_get_boolean(file.get(), kGroup, "automatic", &error);
  if (!error) s.from = g_key_file_get_double(file.get(), kGroup, "from", &error);
  if (!error) s.to = g_key_file_get_double(file.get(), kGroup, "to", &error);
  if (error) {
    g_error_free(error);
    return std::nullopt;
  }
  // A damaged file must not write nonsense into the user's settings.
  if (!validHour(s.from) || !validHour(s.to)) return std::nullopt;
  return s;
}

bool saveSchedule(const Schedule& s, std::string* error) {
  const std::string path = savedSchedulePath();
  g_autofree char* dir = g_path_get_dirname(path.c_str());
  if (g_mkdir_with_parents(dir, 0700) != 0) {
    if (error) *error = std::string("mkdir ") + dir + ": " + g_strerror(errno);
    return false;
  }
  KeyFilePtr file(g_key_file_new());
  g_key_file_set_comment(file.get(), nullptr, nullptr,
                         " Your Night Light schedule, restored when Duskwarden turns night light off", nullptr);
  g_key_file_set_boolean(file.get(), kGroup, "automatic", s.automatic);
  g_key_file_set_double(file.get(), kGroup, "from", s.from);
  g_key_file_set_double(file.get(), kGroup, "to", s.to);
  GError* failure = nullptr;
  if (g_key_file_save_to_file(file.get(), path.c_str(), &failure)) return true;  // g_file_set_contents: atomic
  if (error) *error = failure->message;
  g_error_free(failure);
  return false;
}

void forgetSavedSchedule() { g_unlink(savedSchedulePath().c_str()); }

}  // namespace duskwarden::provider::gnome
