#include "app/PopoverPlacement.h"

#include <gtest/gtest.h>

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
