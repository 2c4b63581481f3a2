#include "tray/PopoverPlacement.h"

#include <algorithm>

namespace duskwarden {

namespace {
int clampInto(int start, int length, int areaStart, int areaLength) {
  // A popover larger than the area keeps its leading edge visible.
  const int maxStart = areaStart + areaLength - length;
  return std::max(areaStart, std::min(start, maxStart));
}
}  // namespace

Point popoverOrigin(const std::optional<Rect>& anchor, Point pointer, int width, int height, const Rect& available) {
  Rect icon = anchor && anchor->width > 0 && anchor->height > 0 ? *anchor : Rect{pointer.x, pointer.y, 1, 1};
  const int iconCentreX = icon.x + icon.width / 2;
  const int iconCentreY = icon.y + icon.height / 2;
  const bool panelAtTop = iconCentreY < available.y + available.height / 2;

  int x = iconCentreX - width / 2;
  int y = panelAtTop ? icon.y + icon.height + kPopoverGap : icon.y - kPopoverGap - height;
  x = clampInto(x, width, available.x, available.width);
  y = clampInto(y, height, available.y, available.height);
  return Point{x, y};
}

}  // namespace duskwarden
