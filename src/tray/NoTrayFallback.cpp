#include "tray/NoTrayFallback.h"

namespace duskwarden {

NoTrayFallback::NoTrayFallback(Actions actions, std::string name, bool launchedAtLogin)
    : actions_(std::move(actions)), name_(std::move(name)), launchedAtLogin_(launchedAtLogin) {}

void NoTrayFallback::launched() {
  if (actions_.hasTray()) return;
  if (launchedAtLogin_) {
    actions_.say("no system tray found; " + name_ + " keeps night light on in the background. Start " + name_ +
                 " to open its window.");
    return;
  }
  actions_.say("no system tray found; " + name_ + "'s controls are open in a window. Start " + name_ +
               " again to reopen them.");
  actions_.showWindow();
}

void NoTrayFallback::activationRequested() {
  if (actions_.hasTray()) {
    actions_.showPopover();
  } else {
    actions_.showWindow();
  }
}

void NoTrayFallback::trayChanged(bool hasTray) {
  if (hasTray) {
    actions_.closeWindow();
    return;
  }
  actions_.say("the system tray went away; " + name_ + " keeps running. Start " + name_ +
               " again to open its window.");
}

}  // namespace duskwarden
