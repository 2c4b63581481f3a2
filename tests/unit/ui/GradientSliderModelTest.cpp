#include "ui/GradientSliderModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace duskwarden::ui {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr ClosedRange<double> kUnit{0.0, 1.0};

TEST(GradientSliderLayoutTest, PlacesFillAndThumbForW300) {
  struct Row {
    double value, fill, thumbLeft, thumbRight, thumbCenter;
  };
  for (Row r : {Row{0.0, 0, -8, 16, 4}, Row{0.5, 150, 142, 166, 154}, Row{1.0, 300, 292, 316, 304}}) {
    SCOPED_TRACE(r.value);
    const GradientSliderLayout l = layoutGradientSlider(300, r.value, kUnit);
    EXPECT_DOUBLE_EQ(l.fill.width, r.fill);
    EXPECT_DOUBLE_EQ(l.thumbShift, r.fill - 8);
    EXPECT_DOUBLE_EQ(l.thumb.x, r.thumbLeft);
    EXPECT_DOUBLE_EQ(l.thumb.x + l.thumb.width, r.thumbRight);
    EXPECT_DOUBLE_EQ(l.thumbCenter.x, r.thumbCenter);
    // One 24-high row: the thumb fills it, the 8-high bars are centred on it.
    EXPECT_DOUBLE_EQ(l.thumbCenter.y, 12);
    EXPECT_DOUBLE_EQ(l.track.width, 300);
    EXPECT_DOUBLE_EQ(l.track.y + l.track.height / 2, 12);
    EXPECT_DOUBLE_EQ(l.fill.y, l.track.y);
  }
}

TEST(GradientSliderLayoutTest, UsesTheRangeNotJustZeroToOne) {
  const GradientSliderLayout l = layoutGradientSlider(200, 2500, {1000, 6000});
  EXPECT_DOUBLE_EQ(l.fill.width, 60);
  EXPECT_DOUBLE_EQ(l.thumbCenter.x, 64);
}

TEST(GradientSliderLayoutTest, DrawsOutOfRangeAndNaNValuesClampedToTheTrack) {
  EXPECT_DOUBLE_EQ(layoutGradientSlider(300, -0.5, kUnit).fill.width, 0);
  EXPECT_DOUBLE_EQ(layoutGradientSlider(300, 7.0, kUnit).fill.width, 300);
  EXPECT_DOUBLE_EQ(layoutGradientSlider(300, 7.0, kUnit).thumbCenter.x, 304);
  EXPECT_DOUBLE_EQ(layoutGradientSlider(300, kNaN, kUnit).fill.width, 0);
  EXPECT_DOUBLE_EQ(layoutGradientSlider(300, -std::numeric_limits<double>::infinity(), kUnit).fill.width, 0);
}

TEST(GradientSliderLayoutTest, DegenerateTrackOrRangeGivesFiniteGeometry) {
  for (double w : {0.0, -40.0, kNaN}) {
    SCOPED_TRACE(w);
    const GradientSliderLayout l = layoutGradientSlider(w, 0.5, kUnit);
    EXPECT_EQ(l.trackWidth, 0);
    EXPECT_EQ(l.fill.width, 0);
    EXPECT_DOUBLE_EQ(l.thumbCenter.x, 4);
  }
  const GradientSliderLayout empty = layoutGradientSlider(300, 0.5, {0.5, 0.5});
  EXPECT_TRUE(std::isfinite(empty.fill.width));
  EXPECT_EQ(empty.fill.width, 0);
}

TEST(GradientSliderMappingTest, MapsAndClampsPointerPositions) {
  EXPECT_DOUBLE_EQ(valueAtPosition(75, 300, kUnit), 0.25);
  EXPECT_DOUBLE_EQ(valueAtPosition(-20, 300, kUnit), 0.0);
  EXPECT_DOUBLE_EQ(valueAtPosition(400, 300, kUnit), 1.0);
  EXPECT_DOUBLE_EQ(valueAtPosition(300, 300, kUnit), 1.0);
  EXPECT_DOUBLE_EQ(valueAtPosition(100, 200, {-1, 3}), 1.0);
  EXPECT_DOUBLE_EQ(valueAtPosition(kNaN, 300, kUnit), 0.0);
  // No rounding or steps.
  EXPECT_DOUBLE_EQ(valueAtPosition(1, 300, kUnit), 1.0 / 300);
}

TEST(GradientSliderMappingTest, NeverLeavesTheRange) {
  // -0.44 + (0.57 - -0.44) * 1 is 0.5700000000000001 in double arithmetic.
  const ClosedRange<double> awkward{-0.44, 0.57};
  EXPECT_LE(valueAtPosition(300, 300, awkward), 0.57);
  EXPECT_GE(valueAtPosition(0, 300, awkward), -0.44);
  EXPECT_EQ(valueAtPosition(50, kNaN, {0.2, 0.9}), 0.2);
}

TEST(GradientSliderRangeTest, RejectsOrRepairsInvalidRanges) {
  EXPECT_EQ(validatedRange({-2, 5}).lower, -2);
  EXPECT_EQ(validatedRange({3, 3}).upper, 3);
  const double inf = std::numeric_limits<double>::infinity();
  struct Row {
    ClosedRange<double> in, repaired;
  };
  for (Row r : {Row{{1, 0}, {0, 0}}, Row{{kNaN, 1}, {1, 1}}, Row{{0.2, kNaN}, {0.2, 0.2}},
                Row{{kNaN, kNaN}, {0, 0}}, Row{{-inf, 1}, {1, 1}}}) {
    SCOPED_TRACE(std::to_string(r.in.lower) + ".." + std::to_string(r.in.upper));
#ifndef NDEBUG
    try {
      validatedRange(r.in);
      ADD_FAILURE() << "invalid range accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find("lower <= upper"), std::string::npos) << e.what();
    }
#else
    const ClosedRange<double> out = validatedRange(r.in);
    EXPECT_EQ(out.lower, r.repaired.lower);
    EXPECT_EQ(out.upper, r.repaired.upper);
#endif
  }
}

TEST(GradientSliderAdapterTest, WidensOnReadAndNarrowsToNearestOnWrite) {
  float stored = 0.1f;
  Binding<double> b = widenedBinding({[&] { return stored; }, [&](float v) { stored = v; }});
  EXPECT_EQ(b.get(), static_cast<double>(0.1f));
  b.set(0.25);
  EXPECT_EQ(stored, 0.25f);
  // 0.1 is not a float; nearest float is 0.1f, not the truncated neighbour below.
  b.set(0.1);
  EXPECT_EQ(stored, 0.1f);
  const double justAboveHalfway = 1.0 + std::ldexp(1.0, -24) + std::ldexp(1.0, -40);
  b.set(justAboveHalfway);
  EXPECT_EQ(stored, std::nextafter(1.0f, 2.0f));
}

// Records the binding's writes and the editing callbacks in one ordered trace.
struct Recorder {
  double value = 0.5;
  std::vector<std::string> trace;
  std::vector<double> writes;

  GradientSliderModel make(ClosedRange<double> range = kUnit) {
    return GradientSliderModel(
        {[this] { return value; },
         [this](double v) {
           value = v;
           writes.push_back(v);
           trace.push_back("write");
         }},
        range, [this](bool editing) { trace.push_back(editing ? "editing:true" : "editing:false"); });
  }
};

TEST(GradientSliderInteractionTest, ChangeEventAtX75StoresQuarterThroughFloatAdapter) {
  float strength = 0.5f;
  std::vector<bool> editing;
  GradientSliderModel m(widenedBinding({[&] { return strength; }, [&](float v) { strength = v; }}), kUnit,
                        [&](bool e) { editing.push_back(e); });
  m.layout(300);
  m.changeEvent(75);
  EXPECT_EQ(strength, 0.25f);
  m.changeEvent(-20);
  EXPECT_EQ(strength, 0.0f);
  m.changeEvent(400);
  EXPECT_EQ(strength, 1.0f);
  m.endEvent();
  EXPECT_EQ(editing, (std::vector<bool>{true, false}));
}

TEST(GradientSliderInteractionTest, DragFromThumbCentreJumpsToPointerOnceRecognised) {
  for (double dx : {10.0, -10.0}) {
    SCOPED_TRACE(dx);
    Recorder r;
    GradientSliderModel m = r.make();
    const GradientSliderLayout before = m.layout(300);  // P = 150, centre 154
    ASSERT_TRUE(m.pointerDown(before.thumbCenter));
    m.pointerMoved({before.thumbCenter.x + dx * 0.5, 12});
    m.pointerMoved({before.thumbCenter.x + dx * 0.99, 12});
    EXPECT_TRUE(r.trace.empty()) << "moved less than 10, nothing may happen yet";
    EXPECT_FALSE(m.isEditing());
    m.pointerMoved({before.thumbCenter.x + dx, 12});
    EXPECT_TRUE(m.isEditing());
    EXPECT_DOUBLE_EQ(m.layout(300).fill.width, before.fillWidth + 4 + dx);  // P + 14 or P - 6
    m.pointerUp();
    EXPECT_EQ(r.trace, (std::vector<std::string>{"editing:true", "write", "editing:false"}));
    EXPECT_FALSE(m.isEditing());
  }
}

TEST(GradientSliderInteractionTest, RecognitionDistanceIsEuclidean) {
  Recorder r;
  GradientSliderModel m = r.make();
  const SliderPoint c = m.layout(300).thumbCenter;
  ASSERT_TRUE(m.pointerDown(c));
  m.pointerMoved({c.x + 6, c.y + 7.9});  // 9.99 away
  EXPECT_TRUE(r.writes.empty());
  m.pointerMoved({c.x + 6, c.y + 8});  // exactly 10
  ASSERT_EQ(r.writes.size(), 1u);
  EXPECT_DOUBLE_EQ(r.writes[0], (c.x + 6) / 300);
}

TEST(GradientSliderInteractionTest, ShortClickOnThumbChangesNothing) {
  Recorder r;
  GradientSliderModel m = r.make();
  const SliderPoint c = m.layout(300).thumbCenter;
  ASSERT_TRUE(m.pointerDown(c));
  m.pointerMoved({c.x + 9, c.y});
  m.pointerUp();
  EXPECT_TRUE(r.trace.empty());
  EXPECT_EQ(r.value, 0.5);
  EXPECT_FALSE(m.isEditing());
}

TEST(GradientSliderInteractionTest, PressesOutsideTheDrawnThumbAreRefused) {
  Recorder r;
  GradientSliderModel m = r.make();
  m.layout(300);  // thumb circle: centre (154, 12), radius 12
  for (SliderPoint p : {SliderPoint{50, 12}, SliderPoint{250, 12}, SliderPoint{166.5, 12},
                        SliderPoint{154 + 9, 12 + 9}, SliderPoint{4, 12}}) {
    SCOPED_TRACE(p.x);
    EXPECT_FALSE(m.pointerDown(p));
    m.pointerMoved({p.x + 60, p.y});
    m.pointerMoved({p.x - 60, p.y});
    m.pointerUp();
  }
  EXPECT_TRUE(r.trace.empty());
  EXPECT_EQ(r.value, 0.5);
  // The circle's edge and the drawn position at another value do take the press.
  EXPECT_TRUE(m.pointerDown({166, 12}));
  m.pointerUp();
  r.value = 0.0;
  m.layout(300);
  EXPECT_TRUE(m.pointerDown({-7, 12}));
}

TEST(GradientSliderInteractionTest, OneEditingPairAroundAllWritesOfADrag) {
  Recorder r;
  GradientSliderModel m = r.make();
  const SliderPoint c = m.layout(300).thumbCenter;
  ASSERT_TRUE(m.pointerDown(c));
  for (double x = c.x + 10; x <= 290; x += 15) {
    m.pointerMoved({x, 12});
    m.layout(300);  // the view re-lays out after each write
  }
  m.pointerUp();
  ASSERT_GE(r.trace.size(), 4u);
  EXPECT_EQ(r.trace.front(), "editing:true");
  EXPECT_EQ(r.trace.back(), "editing:false");
  for (size_t i = 1; i + 1 < r.trace.size(); ++i) EXPECT_EQ(r.trace[i], "write") << i;
  // The end event wrote nothing after the last move.
  EXPECT_DOUBLE_EQ(r.value, r.writes.back());
}

TEST(GradientSliderInteractionTest, UsesTheLatestLayoutWidth) {
  Recorder r;
  GradientSliderModel m = r.make();
  m.layout(300);
  m.layout(100);
  m.changeEvent(50);
  EXPECT_DOUBLE_EQ(r.value, 0.5);
  m.changeEvent(75);
  EXPECT_DOUBLE_EQ(r.value, 0.75);
}

TEST(GradientSliderInteractionTest, DragWithoutEndEventKeepsEditingIntoTheNextDrag) {
  Recorder r;
  GradientSliderModel m = r.make();
  m.layout(300);
  m.changeEvent(30);
  m.changeEvent(60);  // the recogniser stops here; no end event arrives
  EXPECT_TRUE(m.isEditing());
  m.changeEvent(90);  // next drag
  m.endEvent();
  EXPECT_EQ(r.trace, (std::vector<std::string>{"editing:true", "write", "write", "write", "editing:false"}));
  m.endEvent();  // idle + end event: nothing
  EXPECT_EQ(r.trace.size(), 5u);
}

TEST(GradientSliderInteractionTest, DegenerateSlidersWriteOnlyInsideTheRange) {
  Recorder r;
  r.value = 0.3;
  GradientSliderModel zeroWidth = r.make({0.2, 0.9});
  zeroWidth.layout(0);
  zeroWidth.changeEvent(40);
  EXPECT_EQ(r.value, 0.2);
  GradientSliderModel empty = r.make({0.4, 0.4});
  empty.layout(300);
  empty.changeEvent(200);
  EXPECT_EQ(r.value, 0.4);
}

}  // namespace
}  // namespace duskwarden::ui
