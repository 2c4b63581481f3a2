#pragma once
// Where the popover goes: centred under the tray icon when the icon sits in
// the upper half of the screen (a top panel), above it otherwise, and always
// inside the screen's available area. Without an icon rectangle the pointer
// stands in for it.

#include "tray/StatusItem.h"

#include <optional>

namespace duskwarden {

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

// Gap between the icon and the popover.
inline constexpr int kPopoverGap = 4;

// The top-left corner for a popover of `size` (pixels).
Point popoverOrigin(const std::optional<Rect>& anchor, Point pointer, int width, int height, const Rect& available);

}  // namespace duskwarden
