#pragma once
// What the program offers where the desktop shows no tray (stock GNOME, a
// bare X server, a panel not started yet): it keeps running, so Keep Always
// On is still enforced, and the controls open in an ordinary window instead
// of the popover.
//
//   - A user's launch opens the window; a launch at login opens nothing.
//   - A later launch opens the popover when there is a tray, else the window.
//   - A tray that appears takes over: the window, open only for want of one,
//     closes, and the icon shows.
//   - Each time the tray is missing, one line says so and how to reach the window.
//
// Plain C++: the window and the popover are behind callbacks.

#include <functional>
#include <string>

namespace duskwarden {

class NoTrayFallback {
 public:
  struct Actions {
    std::function<bool()> hasTray;
    std::function<void()> showPopover;
    std::function<void()> showWindow;  // opens it, or raises it when open
    std::function<void()> closeWindow;
    std::function<void(const std::string&)> say;
  };

  NoTrayFallback(Actions actions, std::string name, bool launchedAtLogin);

  // After the launch sequence, once the tray hosts have been looked up.
  void launched();
  // A later launch asked the running copy to show itself.
  void activationRequested();
  void trayChanged(bool hasTray);

 private:
  Actions actions_;
  std::string name_;
  bool launchedAtLogin_;
};

}  // namespace duskwarden
