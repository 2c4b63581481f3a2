#include "tray/DesktopSession.h"

#include <cstdlib>
#include <sstream>

namespace duskwarden {

namespace {
std::string variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

constexpr int kIconSide = 24;
}  // namespace

DesktopSession DesktopSession::fromEnvironment() {
  return DesktopSession{variable("WAYLAND_DISPLAY"), variable("DISPLAY"), variable("XDG_SESSION_TYPE"),
                        variable("XDG_CURRENT_DESKTOP"), variable("QT_QPA_PLATFORM")};
}

bool DesktopSession::isDesktop(const std::string& name) const {
  std::istringstream names(currentDesktop);
  for (std::string one; std::getline(names, one, ':');)
    if (one == name) return true;
  return false;
}

std::optional<std::string> preferredQtPlatform(const DesktopSession& session) {
  if (!session.qtPlatform.empty() || session.x11Display.empty() || !session.isWayland()) return std::nullopt;
  return "xcb";
}

bool pointerPositionIsReliable(const DesktopSession& session) { return !session.isWayland(); }

Rect likelyTrayIcon(const DesktopSession& session, const Rect& available) {
  const int x = available.x + available.width - kIconSide;
  if (session.isDesktop("KDE")) return Rect{x, available.y + available.height, kIconSide, 1};
  return Rect{x, available.y - 1, kIconSide, 1};
}

}  // namespace duskwarden
