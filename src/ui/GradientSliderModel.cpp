#include "ui/GradientSliderModel.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <utility>

namespace duskwarden::ui {

using namespace slider;

ClosedRange<double> validatedRange(ClosedRange<double> range) {
  const bool finite = std::isfinite(range.lower) && std::isfinite(range.upper);
  if (finite && range.lower <= range.upper) return range;
#ifndef NDEBUG
  std::ostringstream msg;
  msg << "GradientSlider: invalid range [" << range.lower << ", " << range.upper
      << "]: bounds must be finite numbers with lower <= upper";
  throw std::invalid_argument(msg.str());
#else
  if (!std::isfinite(range.lower) && !std::isfinite(range.upper)) return {0, 0};
  if (!std::isfinite(range.lower)) return {range.upper, range.upper};
  if (!std::isfinite(range.upper)) return {range.lower, range.lower};
  return {range.upper, range.upper};
#endif
}

Binding<double> widenedBinding(Binding<float> value) {
  auto shared = std::make_shared<Binding<float>>(std::move(value));
  return Binding<double>{
      [shared] { return static_cast<double>(shared->get()); },
      // static_cast rounds to nearest under the default floating-point environment.
      [shared](double v) { shared->set(static_cast<float>(v)); },
  };
}

namespace {

double sanitizedWidth(double w) { return std::isfinite(w) && w > 0 ? w : 0; }

// Where `value` sits in the range, 0...1; NaN and out-of-range values are pinned to
// the ends so the drawing never leaves the track.
double fraction(double value, ClosedRange<double> range) {
  const double span = range.upper - range.lower;
  if (!(span > 0) || std::isnan(value)) return 0;
  return std::clamp((value - range.lower) / span, 0.0, 1.0);
}

}  // namespace

GradientSliderLayout layoutGradientSlider(double trackWidth, double value, ClosedRange<double> range) {
  GradientSliderLayout l;
  l.trackWidth = sanitizedWidth(trackWidth);
  l.fillWidth = fraction(value, range) * l.trackWidth;
  l.thumbShift = l.fillWidth - kThumbLead;
  const double barY = (kRowHeight - kTrackHeight) / 2;
  l.track = {0, barY, l.trackWidth, kTrackHeight};
  l.fill = {0, barY, l.fillWidth, kTrackHeight};
  l.thumb = {l.thumbShift, (kRowHeight - kThumbDiameter) / 2, kThumbDiameter, kThumbDiameter};
  l.thumbCenter = {l.thumb.x + kThumbDiameter / 2, kRowHeight / 2};
  return l;
}

double valueAtPosition(double x, double trackWidth, ClosedRange<double> range) {
  const double w = sanitizedWidth(trackWidth);
  x = std::min(x, w);
  x = 0 <= x ? x : 0;  // also maps NaN to 0
  if (w == 0) return range.lower;
  const double v = range.lower + (range.upper - range.lower) * (x / w);
  // lower + (upper - lower) can round past upper; the written value must stay inside.
  return std::clamp(v, range.lower, range.upper);
}

GradientSliderModel::GradientSliderModel(Binding<double> value, ClosedRange<double> range,
                                         std::function<void(bool)> onEditingChanged)
    : value_(std::move(value)), range_(range), onEditingChanged_(std::move(onEditingChanged)) {}

double GradientSliderModel::read() const { return value_.get ? value_.get() : range_.lower; }

GradientSliderLayout GradientSliderModel::layout(double trackWidth) {
  GradientSliderLayout l = layoutGradientSlider(trackWidth, read(), range_);
  trackWidth_ = l.trackWidth;
  thumbCenter_ = l.thumbCenter;
  return l;
}

bool GradientSliderModel::pointerDown(SliderPoint p) {
  tracking_ = std::hypot(p.x - thumbCenter_.x, p.y - thumbCenter_.y) <= kThumbDiameter / 2;
  recognized_ = false;
  pressPoint_ = p;
  return tracking_;
}

void GradientSliderModel::pointerMoved(SliderPoint p) {
  if (!tracking_) return;
  if (!recognized_) {
    if (std::hypot(p.x - pressPoint_.x, p.y - pressPoint_.y) < kDragMinimumDistance) return;
    recognized_ = true;
  }
  changeEvent(p.x);
}

void GradientSliderModel::pointerUp() {
  const bool wasDrag = tracking_ && recognized_;
  tracking_ = false;
  recognized_ = false;
  if (wasDrag) endEvent();
}

void GradientSliderModel::changeEvent(double x) {
  if (!isEditing_) {
    isEditing_ = true;
    if (onEditingChanged_) onEditingChanged_(true);
  }
  if (value_.set) value_.set(valueAtPosition(x, trackWidth_, range_));
}

void GradientSliderModel::endEvent() {
  if (!isEditing_) return;
  isEditing_ = false;
  if (onEditingChanged_) onEditingChanged_(false);
}

}  // namespace duskwarden::ui
