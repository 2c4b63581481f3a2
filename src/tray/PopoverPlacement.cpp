#include "tray/PopoverPlacement.h"

#include <algorithm>
#include <cstdint>

namespace duskwarden {

namespace {
// Host positions come off the bus as any int: sums are taken in 64 bits.
using Wide = std::int64_t;

int clampInto(Wide start, int length, int areaStart, int areaLength) {
  // A popover larger than the area keeps its leading edge visible.
  const Wide maxStart = Wide{areaStart} + areaLength - length;
  return static_cast<int>(std::max<Wide>(areaStart, std::min(start, maxStart)));
}

bool near(int host, int pointer) {
  const Wide apart = Wide{host} - pointer;
  return host != 0 && apart >= -kPanelReach && apart <= kPanelReach;
}

// Off any panel: inside the available area and farther than a panel's
// thickness from its edges (without a window manager the area is the screen).
bool awayFromPanels(const Rect& available, Point p) {
  const Wide left = Wide{available.x} + kPanelReach, right = Wide{available.x} + available.width - kPanelReach;
  const Wide top = Wide{available.y} + kPanelReach, bottom = Wide{available.y} + available.height - kPanelReach;
  return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
}
}  // namespace

Point popoverOrigin(const std::optional<Rect>& anchor, Point pointer, int width, int height, const Rect& available) {
  Rect icon = anchor && anchor->width > 0 && anchor->height > 0 ? *anchor : Rect{pointer.x, pointer.y, 1, 1};
  const Wide iconCentreX = Wide{icon.x} + icon.width / 2;
  const Wide iconCentreY = Wide{icon.y} + icon.height / 2;
  const bool panelAtTop = iconCentreY < Wide{available.y} + available.height / 2;

  const Wide x = iconCentreX - width / 2;
  const Wide y = panelAtTop ? Wide{icon.y} + icon.height + kPopoverGap : Wide{icon.y} - kPopoverGap - height;
  return Point{clampInto(x, width, available.x, available.width), clampInto(y, height, available.y, available.height)};
}

std::optional<Point> clickPosition(Point host, const std::optional<Point>& pointer, const Rect& available) {
  // (0, 0): the host does not know (keyboard activation, some Wayland panels).
  if (host == Point{}) return std::nullopt;
  if (!pointer) return host;
  const bool nearX = near(host.x, pointer->x);
  const bool nearY = near(host.y, pointer->y);
  const bool fromKeyboard = !nearX && !nearY && awayFromPanels(available, *pointer);
  if (fromKeyboard) return Point{host.x != 0 ? host.x : pointer->x, host.y != 0 ? host.y : pointer->y};
  return Point{nearX ? host.x : pointer->x, nearY ? host.y : pointer->y};
}

}  // namespace duskwarden
