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

// The top-left corner for a popover of `size` (pixels). Any int is a valid
// anchor: a session-bus client may pass ContextMenu(INT_MIN, INT_MAX).
Point popoverOrigin(const std::optional<Rect>& anchor, Point pointer, int width, int height, const Rect& available);

// How far from the pointer a host's coordinate may lie and still name the
// clicked icon or its panel's edge: a thick panel.
inline constexpr int kPanelReach = 64;

// Where a host's click (Activate or ContextMenu at `host`) happened, for the
// popover and our menu to open at; nullopt for (0, 0), a host saying it does
// not know. `pointer` is the pointer when the call arrived, where its
// position is real (X11); `available` is its screen's available area, which
// panels lie outside or, without a window manager, along the edges of.
//
// Hosts pass the pointer (Xfce, LXQt, swaybar), a suggested popup position (Plasma)
// or coordinates inside their own applet window (MATE: x = 0, y = the
// panel's height). The pointer sits on the icon when a click's call arrives,
// so a coordinate that is 0 or farther than kPanelReach from the pointer's
// is taken from the pointer. A position away from the pointer in both
// coordinates, with the pointer off any panel, came from the keyboard or a
// script: it stands, a 0 in it filled from the pointer.
std::optional<Point> clickPosition(Point host, const std::optional<Point>& pointer, const Rect& available);

}  // namespace duskwarden
