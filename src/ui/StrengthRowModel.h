#pragma once
// The strength row's keyboard and assistive-technology control, without any
// toolkit: keys step the value on a grid, and a burst of changes reaches the
// platform once, as a drag on the slider does.
//
// The first change of a burst calls onEditingChanged(true); every change
// writes the value at once, so the view follows it. The burst ends with
// onEditingChanged(false), whose handler commits the value, once no key is
// held and nothing has changed for kBurstQuietSeconds (on the given queue's
// clock), or at once through finish(): the row losing the focus or hiding.
// Keys step from the value the binding reads; the popover's binding
// (StrengthEditing) reads the one written last while an edit is open.

#include <functional>
#include <memory>

#include "platform/dispatch/DispatchQueue.h"
#include "ui/Binding.h"

namespace duskwarden::ui {

enum class StrengthKey { stepDown, stepUp, pageDown, pageUp, lowest, highest };

namespace strengthrow {
inline constexpr double kStep = 0.05;  // arrows, as a share of the range
inline constexpr double kPage = 0.25;  // Page Up and Page Down
inline constexpr double kBurstQuietSeconds = 0.5;
}  // namespace strengthrow

// Where one press of `key` moves `value`: to the next point of the step's
// grid (counted from the lower bound) in the key's direction, so a value
// between two points lands on one; the ends for lowest and highest. Always
// within the range.
double keyedValue(double value, StrengthKey key, ClosedRange<double> range);

class StrengthRowModel {
 public:
  // `range` must be valid (see validatedRange); `queue` must outlive the model.
  StrengthRowModel(Binding<double> value, ClosedRange<double> range, std::function<void(bool)> onEditingChanged,
                   DispatchQueue& queue);

  double value() const { return value_.get(); }
  ClosedRange<double> range() const { return range_; }
  bool isEditing() const { return editing_; }

  // A key went down (auto-repeats too); the burst lasts while it is held.
  void keyPressed(StrengthKey key);
  void keysReleased();
  // A value from assistive technology: clamped into the range; NaN is ignored.
  void set(double value);
  // Ends an open burst now.
  void finish();

 private:
  void change(double value);
  void endWhenQuiet();

  Binding<double> value_;
  ClosedRange<double> range_;
  std::function<void(bool)> onEditingChanged_;
  DispatchQueue& queue_;
  bool editing_ = false;
  bool keyHeld_ = false;
  // Counts changes; a quiet-period check that finds it moved on does nothing.
  // Shared, so a check queued past the model's end finds it gone.
  std::shared_ptr<unsigned> changes_ = std::make_shared<unsigned>(0);
};

}  // namespace duskwarden::ui
