#include "tray/NoTrayFallback.h"

#include "platform/text/Text.h"

namespace duskwarden {

NoTrayFallback::NoTrayFallback(Actions actions, std::string name, bool launchedAtLogin)
    : actions_(std::move(actions)), name_(std::move(name)), launchedAtLogin_(launchedAtLogin) {}

void NoTrayFallback::launched() {
  if (actions_.hasTray()) return;
  if (launchedAtLogin_) {
    actions_.say(text::arg(
        text::translate(
            "Tray", "no system tray found; %1 keeps night light on in the background. Start %1 to open its window."),
        {name_}));
    return;
  }
  actions_.say(
      text::arg(text::translate(
                    "Tray", "no system tray found; %1's controls are open in a window. Start %1 again to reopen them."),
                {name_}));
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
  actions_.say(text::arg(
      text::translate("Tray", "the system tray went away; %1 keeps running. Start %1 again to open its window."),
      {name_}));
}

}  // namespace duskwarden
