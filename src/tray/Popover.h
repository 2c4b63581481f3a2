#pragma once
// The popover as the delegate sees it. Plain C++, so the delegate and its
// tests need no display; QtPopover is the real one.

#include "tray/StatusItem.h"

#include <optional>

namespace duskwarden {

enum class PopoverBehavior : int { applicationDefined = 0, transient = 1, semitransient = 2 };

class Popover {
 public:
  virtual ~Popover() = default;

  virtual void setContentSize(Size size) = 0;
  virtual void setBehavior(PopoverBehavior behavior) = 0;
  virtual bool isShown() const = 0;
  // Shows the popover next to `anchor` (screen coordinates), or at the
  // pointer when there is no anchor.
  virtual void showRelativeTo(const std::optional<Rect>& anchor) = 0;
  virtual void performClose() = 0;
  // Monotonic seconds at which a transient popover last closed itself because
  // of a press outside it.
  virtual std::optional<double> lastClosedByOutsidePress() const = 0;
};

}  // namespace duskwarden
