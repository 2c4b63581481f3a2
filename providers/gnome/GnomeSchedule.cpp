#include "gnome/GnomeSchedule.h"

#include <glib.h>

#include <cmath>

#include "backendkit/StateFile.h"

namespace duskwarden::provider::gnome {

namespace {
constexpr const char* kGroup = "schedule";
bool validHour(double h) { return std::isfinite(h) && h >= 0.0 && h <= 24.0; }

// The schedule in a loaded file, or why there is none.
std::optional<Schedule> scheduleIn(GKeyFile* file, std::string* problem) {
  GError* error = nullptr;
  Schedule s;
  s.automatic = g_key_file_get_boolean(file, kGroup, "automatic", &error);
  if (!error) s.from = g_key_file_get_double(file, kGroup, "from", &error);
  if (!error) s.to = g_key_file_get_double(file, kGroup, "to", &error);
  if (error) {
    *problem = error->message;
    g_error_free(error);
    return std::nullopt;
  }
  // A damaged file must not write nonsense into the user's settings.
  if (!validHour(s.from) || !validHour(s.to)) {
    *problem = "an hour out of 0..24";
    return std::nullopt;
  }
  return s;
}
}  // namespace

Schedule alwaysOnSchedule() { return {false, 0.0, 0.0}; }

bool isAlwaysOn(const Schedule& s) { return !s.automatic && s.from == 0.0 && s.to == 0.0; }

std::string savedSchedulePath(const ColorDesktop& desktop) { return stateFilePath(desktop.savedScheduleFile); }

std::optional<Schedule> loadSavedSchedule(const ColorDesktop& desktop, std::string* problem) {
  const std::string path = savedSchedulePath(desktop);
  const StateFile found = loadStateFile(path);
  // What is no file of ours (a FIFO, a directory) held no schedule: nothing is lost.
  std::string why = found.outcome == StateFile::Outcome::damaged ? found.problem : std::string();
  std::optional<Schedule> schedule;
  if (found.outcome == StateFile::Outcome::loaded) {
    schedule = scheduleIn(found.file.get(), &why);
    if (!schedule) why = path + ": " + why;
  }
  if (problem) *problem = schedule ? std::string() : why;
  return schedule;
}

bool saveSchedule(const ColorDesktop& desktop, const Schedule& s, std::string* error) {
  KeyFilePtr file(g_key_file_new());
  g_key_file_set_comment(file.get(), nullptr, nullptr,
                         " Your Night Light schedule, restored when Duskwarden turns night light off", nullptr);
  g_key_file_set_boolean(file.get(), kGroup, "automatic", s.automatic);
  g_key_file_set_double(file.get(), kGroup, "from", s.from);
  g_key_file_set_double(file.get(), kGroup, "to", s.to);
  const auto failure = saveStateFile(savedSchedulePath(desktop), file.get());
  if (failure && error) *error = *failure;
  return !failure;
}

void forgetSavedSchedule(const ColorDesktop& desktop) { forgetStateFile(savedSchedulePath(desktop)); }

}  // namespace duskwarden::provider::gnome
