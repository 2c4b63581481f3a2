#include "ui/StrengthRowModel.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace duskwarden::ui {

namespace {
// Float noise (0.35 stored as 0.35000002) must not count as a step past the point.
constexpr double kGridSlack = 1e-4;
}  // namespace

double keyedValue(double value, StrengthKey key, ClosedRange<double> range) {
  const double span = range.upper - range.lower;
  if (key == StrengthKey::lowest || !(span > 0)) return range.lower;
  if (key == StrengthKey::highest) return range.upper;
  const bool up = key == StrengthKey::stepUp || key == StrengthKey::pageUp;
  const double step = span * (key == StrengthKey::stepDown || key == StrengthKey::stepUp ? strengthrow::kStep
                                                                                          : strengthrow::kPage);
  const double at = std::isnan(value) ? 0 : (std::clamp(value, range.lower, range.upper) - range.lower) / step;
  const double point = up ? std::floor(at + kGridSlack) + 1 : std::ceil(at - kGridSlack) - 1;
  return std::clamp(range.lower + point * step, range.lower, range.upper);
}

StrengthRowModel::StrengthRowModel(Binding<double> value, ClosedRange<double> range,
                                   std::function<void(bool)> onEditingChanged, DispatchQueue& queue)
    : value_(std::move(value)), range_(range), onEditingChanged_(std::move(onEditingChanged)), queue_(queue) {}

void StrengthRowModel::keyPressed(StrengthKey key) {
  keyHeld_ = true;
  change(keyedValue(value(), key, range_));
}

void StrengthRowModel::keysReleased() {
  keyHeld_ = false;
  if (editing_) endWhenQuiet();
}

void StrengthRowModel::set(double value) {
  if (std::isnan(value)) return;
  change(std::clamp(value, range_.lower, range_.upper));
  if (!keyHeld_) endWhenQuiet();
}

void StrengthRowModel::finish() {
  keyHeld_ = false;
  ++*changes_;
  if (!editing_) return;
  editing_ = false;
  if (onEditingChanged_) onEditingChanged_(false);
}

void StrengthRowModel::change(double value) {
  ++*changes_;
  if (!editing_) {
    editing_ = true;
    if (onEditingChanged_) onEditingChanged_(true);
  }
  value_.set(value);
}

void StrengthRowModel::endWhenQuiet() {
  std::weak_ptr<unsigned> changes = changes_;
  queue_.asyncAfter(strengthrow::kBurstQuietSeconds, [this, changes, seen = *changes_] {
    const auto now = changes.lock();
    if (!now || *now != seen || keyHeld_) return;
    finish();
  });
}

}  // namespace duskwarden::ui
