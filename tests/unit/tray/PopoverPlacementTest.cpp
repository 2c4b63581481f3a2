#include "tray/DesktopSession.h"
#include "tray/PopoverPlacement.h"

#include <gtest/gtest.h>

#include <climits>

using namespace duskwarden;

namespace {
const Rect kScreen{0, 0, 1280, 800};
const Point kPointer{640, 400};
}  // namespace

TEST(PopoverPlacement, HangsBelowAnIconInATopPanelAndSitsAboveOneInABottomPanel) {
  // Centred under/over the icon, a small gap away.
  EXPECT_EQ(popoverOrigin(Rect{600, 0, 24, 24}, kPointer, 360, 500, kScreen), (Point{432, 24 + kPopoverGap}));
  EXPECT_EQ(popoverOrigin(Rect{600, 776, 24, 24}, kPointer, 360, 500, kScreen), (Point{432, 776 - kPopoverGap - 500}));
}

TEST(PopoverPlacement, StaysInsideTheAvailableArea) {
  // Icon at the right edge: pushed left so the whole popover shows.
  EXPECT_EQ(popoverOrigin(Rect{1256, 0, 24, 24}, kPointer, 360, 500, kScreen).x, 1280 - 360);
  // Icon at the left edge of a second screen to the right.
  const Rect second{1280, 30, 1920, 1050};
  EXPECT_EQ(popoverOrigin(Rect{1282, 30, 24, 24}, kPointer, 360, 500, second), (Point{1280, 54 + kPopoverGap}));
  // Taller than the room below a top icon: kept on screen rather than cut off.
  EXPECT_EQ(popoverOrigin(Rect{600, 0, 24, 24}, kPointer, 360, 790, kScreen).y, 10);
  // Larger than the whole area: its top-left stays visible.
  EXPECT_EQ(popoverOrigin(Rect{600, 0, 24, 24}, kPointer, 2000, 900, kScreen), (Point{0, 0}));
}

TEST(PopoverPlacement, UsesThePointerWhenTheHostGivesNoIconRectangle) {
  EXPECT_EQ(popoverOrigin(std::nullopt, Point{100, 5}, 360, 500, kScreen), (Point{0, 6 + kPopoverGap}));
  EXPECT_EQ(popoverOrigin(Rect{0, 0, 0, 0}, Point{900, 795}, 360, 500, kScreen), (Point{720, 795 - kPopoverGap - 500}));
}

TEST(PopoverPlacement, BesideTheHostsClickPositionOrTheTraysLikelyCornerOutsideThePanel) {
  // A host's Activate(x, y): a one-pixel anchor, the popover hanging from it.
  EXPECT_EQ(popoverOrigin(Rect{1200, 10, 1, 1}, kPointer, 360, 500, kScreen), (Point{920, 11 + kPopoverGap}));
  EXPECT_EQ(popoverOrigin(Rect{30, 790, 1, 1}, kPointer, 360, 500, kScreen), (Point{0, 790 - kPopoverGap - 500}));

  // No position and no usable pointer: just inside the available area, in
  // the corner where the panel keeps its tray.
  const Rect belowTopBar{0, 32, 1280, 768};
  DesktopSession gnome;
  gnome.currentDesktop = "ubuntu:GNOME";
  EXPECT_EQ(popoverOrigin(likelyTrayIcon(gnome, belowTopBar), kPointer, 360, 500, belowTopBar),
            (Point{920, 32 + kPopoverGap}));
  const Rect aboveBottomPanel{0, 0, 1280, 756};
  DesktopSession plasma;
  plasma.currentDesktop = "KDE";
  EXPECT_EQ(popoverOrigin(likelyTrayIcon(plasma, aboveBottomPanel), kPointer, 360, 500, aboveBottomPanel),
            (Point{920, 756 - kPopoverGap - 500}));
}

TEST(PopoverPlacement, TakesFromThePointerWhatTheHostsReportGetsWrong) {
  const Rect aboveThickPanel{0, 0, 1280, 704};  // a window manager keeps the panel out
  struct Row {
    const char* host;
    Point reported;
    std::optional<Point> pointer;
    Rect available;
    std::optional<Point> click;
  } rows[] = {
      {"MATE: x inside its applet, y its height", {0, 25}, Point{1138, 12}, kScreen, Point{1138, 25}},
      {"MATE, a later icon in its area", {30, 25}, Point{1168, 12}, kScreen, Point{1168, 25}},
      {"MATE, on a bottom panel", {0, 25}, Point{1138, 788}, kScreen, Point{1138, 788}},
      {"MATE, on a thick bottom panel", {0, 97}, Point{1138, 720}, aboveThickPanel, Point{1138, 720}},
      {"LXQt: the pointer", {15, 16}, Point{15, 16}, kScreen, Point{15, 16}},
      {"Xfce: the pointer at the release", {1100, 12}, Point{1101, 13}, kScreen, Point{1100, 12}},
      {"a popup position at the panel's edge", {1200, 776}, Point{1210, 790}, kScreen, Point{1200, 776}},
      {"the keyboard or a script, away from the pointer", {1100, 10}, Point{600, 300}, kScreen, Point{1100, 10}},
      {"swaybar, through Xwayland: no pointer", {1250, 10}, std::nullopt, kScreen, Point{1250, 10}},
      {"a Wayland host that does not know", {0, 0}, std::nullopt, kScreen, std::nullopt},
      {"any client: ContextMenu(INT_MIN, INT_MAX)", {INT_MIN, INT_MAX}, kPointer, kScreen, Point{INT_MIN, INT_MAX}},
  };
  for (const Row& row : rows) {
    const auto click = clickPosition(row.reported, row.pointer, row.available);
    EXPECT_EQ(click, row.click) << row.host;
    if (!click) continue;
    const Point origin = popoverOrigin(Rect{click->x, click->y, 1, 1}, kPointer, 360, 500, row.available);
    EXPECT_TRUE(origin.x >= 0 && origin.x <= 1280 - 360 && origin.y >= 0 && origin.y <= 800 - 500) << row.host;
  }
  // Far to the left and below: in the bottom-left corner, not wrapped round to the right.
  EXPECT_EQ(popoverOrigin(Rect{INT_MIN, INT_MAX, 1, 1}, kPointer, 360, 500, kScreen), (Point{0, 300}));
}

TEST(DesktopSession, RunsOnXwaylandUnlessTheUserChoseAndTrustsThePointerOnlyOnX11) {
  const DesktopSession wayland{"wayland-0", ":0", "wayland", "GNOME", ""};
  EXPECT_EQ(preferredQtPlatform(wayland), "xcb");
  EXPECT_EQ(preferredQtPlatform(DesktopSession{"wayland-0", ":0", "wayland", "GNOME", "wayland"}), std::nullopt)
      << "the user's choice stands";
  EXPECT_EQ(preferredQtPlatform(DesktopSession{"wayland-0", "", "wayland", "GNOME", ""}), std::nullopt) << "no Xwayland";
  const DesktopSession x11{"", ":0", "x11", "XFCE", ""};
  EXPECT_EQ(preferredQtPlatform(x11), std::nullopt);
  EXPECT_TRUE(pointerPositionIsReliable(x11));
  EXPECT_FALSE(pointerPositionIsReliable(wayland));
  EXPECT_FALSE(pointerPositionIsReliable(DesktopSession{"", ":0", "wayland", "sway", ""}));
}
