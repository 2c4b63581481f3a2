#pragma once
// The kind of desktop session we run in, read once from the environment at
// start, and the decisions that depend on it: which Qt platform to run on,
// whether the pointer position is worth anything, and where a tray icon
// probably sits when no host has said.

#include "tray/StatusItem.h"

#include <optional>
#include <string>

namespace duskwarden {

struct DesktopSession {
  std::string waylandDisplay;  // WAYLAND_DISPLAY
  std::string x11Display;      // DISPLAY
  std::string sessionType;     // XDG_SESSION_TYPE
  std::string currentDesktop;  // XDG_CURRENT_DESKTOP
  std::string qtPlatform;      // QT_QPA_PLATFORM, as the user set it

  static DesktopSession fromEnvironment();

  bool isWayland() const { return !waylandDisplay.empty() || sessionType == "wayland"; }
  bool isDesktop(const std::string& name) const;  // one of XDG_CURRENT_DESKTOP's names
};

// "xcb" on a Wayland session that offers Xwayland, unless the user chose a
// platform: a popover belongs next to the tray icon, at the position the
// host passes, and only an X11 client may place a window at all.
std::optional<std::string> preferredQtPlatform(const DesktopSession& session);

// Whether the pointer position a client reads follows the pointer over the
// whole screen. Under Xwayland it stops at the edge of the compositor's own
// surfaces (its panel, its menus), so there it may be far from the tray.
bool pointerPositionIsReliable(const DesktopSession& session);

// Where a tray icon probably is when no host has said, just outside the
// `available` area: the top-right corner (GNOME's top bar and most panels),
// or the bottom-right one on Plasma, whose panel sits at the bottom.
Rect likelyTrayIcon(const DesktopSession& session, const Rect& available);

}  // namespace duskwarden
