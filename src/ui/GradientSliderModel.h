#pragma once
// The gradient strength slider without any toolkit: the geometry of the drawn row
// and the drag interaction. The Qt widgets in GradientSlider.h only paint what
// layout() returns and forward pointer events here.
//
// Coordinates are "row coordinates": x = 0 is the track's leading edge, y = 0 the
// top of the 24-high row, y grows downward. Lengths are in logical pixels.

#include <functional>

#include "ui/Binding.h"

namespace duskwarden::ui {

namespace slider {
inline constexpr double kRowHeight = 24;         // the thumb's height
inline constexpr double kTrackHeight = 8;
inline constexpr double kTrackCornerRadius = 4;  // radius 8, limited to half the bar's height
inline constexpr double kThumbDiameter = 24;
inline constexpr double kThumbLead = 8;          // thumb's leading edge sits at P - 8
inline constexpr double kDragMinimumDistance = 10;
inline constexpr double kShadowOpacity = 0.2;
inline constexpr double kShadowBlur = 3;
inline constexpr double kShadowOffsetY = 2;
inline constexpr double kTrackOpacity = 0.3;     // standard grey on track and thumb rim
inline constexpr double kFillStartGrey = 0.7;    // sRGB white level of the fill's first stop

// How far the drawing reaches outside the W x 24 row (thumb overhang plus shadow),
// so a host can reserve room and clip nothing.
inline constexpr double kOverhangLeft = kThumbLead + kShadowBlur;                             // 11
inline constexpr double kOverhangRight = kThumbDiameter - kThumbLead + kShadowBlur;           // 19
inline constexpr double kOverhangTop = kShadowBlur - kShadowOffsetY;                          // 1
inline constexpr double kOverhangBottom = kShadowBlur + kShadowOffsetY;                       // 5
}  // namespace slider

struct SliderPoint {
  double x = 0;
  double y = 0;
};

struct SliderRect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

struct GradientSliderLayout {
  double trackWidth = 0;  // W, never negative
  double fillWidth = 0;   // P, from the value clamped into the range
  double thumbShift = 0;  // P - 8: the thumb's drawing offset from its slot at x = 0
  SliderRect track;
  SliderRect fill;        // width 0 means nothing is drawn
  SliderRect thumb;       // the drawn circle's bounding square
  SliderPoint thumbCenter;
};

// A range is usable when both bounds are finite and lower <= upper. Debug builds
// (no NDEBUG) throw std::invalid_argument for anything else, since it is the caller's
// bug; release builds repair it: a non-finite bound takes the other bound (0 if both
// are bad) and lower > upper collapses to the single point upper.
ClosedRange<double> validatedRange(ClosedRange<double> range);

// The double binding over a single-precision value: widens on read, narrows to the
// nearest float on write.
Binding<double> widenedBinding(Binding<float> value);

// Geometry for a track of width W (negative or NaN counts as 0) showing `value`.
// A value outside the range, or NaN, is drawn clamped (NaN at the lower bound).
GradientSliderLayout layoutGradientSlider(double trackWidth, double value, ClosedRange<double> range);

// The value a pointer at x (from the track's leading edge) selects: x clamped to
// [0, W] and mapped linearly. A zero-width track or an empty range yields the lower
// bound; the result always lies in the range.
double valueAtPosition(double x, double trackWidth, ClosedRange<double> range);

// The drawn control's state: isEditing plus the drag recogniser, over the slider's
// three inputs. The value itself is never copied; every read and write goes through
// the binding.
class GradientSliderModel {
 public:
  // `range` must already be valid (see validatedRange).
  GradientSliderModel(Binding<double> value, ClosedRange<double> range,
                      std::function<void(bool)> onEditingChanged);

  // Reads the value and lays the row out; the drag handler then uses this W and
  // this thumb position.
  GradientSliderLayout layout(double trackWidth);

  // Raw pointer events in row coordinates. A press outside the drawn thumb circle is
  // refused (returns false) and the rest of that press does nothing. Movement turns
  // into change events once the pointer is 10 away from the press point; a release
  // after that is the end event, a release before it does nothing.
  bool pointerDown(SliderPoint p);
  void pointerMoved(SliderPoint p);
  void pointerUp();
  bool isTracking() const { return tracking_; }
  bool isDragRecognized() const { return recognized_; }

  // The recognised drag's events. The end writes nothing: what is committed
  // is the embedding view's to decide (StrengthEditing).
  void changeEvent(double x);
  void endEvent();

  bool isEditing() const { return isEditing_; }
  ClosedRange<double> range() const { return range_; }
  double read() const;

 private:
  Binding<double> value_;
  ClosedRange<double> range_;
  std::function<void(bool)> onEditingChanged_;
  bool isEditing_ = false;
  double trackWidth_ = 0;
  SliderPoint thumbCenter_{slider::kThumbDiameter / 2 - slider::kThumbLead, slider::kRowHeight / 2};
  bool tracking_ = false;
  bool recognized_ = false;
  SliderPoint pressPoint_;
};

}  // namespace duskwarden::ui
