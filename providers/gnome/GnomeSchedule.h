#pragma once
// The user's own Night Light schedule, kept while we hold night light on all
// day so that switching off can give it back; one file per desktop.

#include <optional>
#include <string>

#include "gnome/ColorService.h"

namespace duskwarden::provider::gnome {

struct Schedule {
  bool automatic = true;  // sunset to sunrise
  double from = 20.0;     // hours, used when not automatic
  double to = 6.0;
};

// Our all-day recipe: not automatic, from == to == 0.
Schedule alwaysOnSchedule();
bool isAlwaysOn(const Schedule& schedule);

// $XDG_STATE_HOME/duskwarden/gnome-night-light.ini, or the desktop's own name
std::string savedSchedulePath(const ColorDesktop& desktop);

// nullopt when nothing is saved or the file cannot be used; then `problem`
// (when given) says why a file of ours that is there is damaged (a schedule
// is lost), and stays empty otherwise: a FIFO or a directory in its place
// never held one.
std::optional<Schedule> loadSavedSchedule(const ColorDesktop& desktop, std::string* problem = nullptr);
// Written atomically; false on failure, with the reason in `*error`.
bool saveSchedule(const ColorDesktop& desktop, const Schedule& schedule, std::string* error = nullptr);
// Removes the saved file (not a FIFO or a directory in its place: no file of ours).
void forgetSavedSchedule(const ColorDesktop& desktop);

}  // namespace duskwarden::provider::gnome
