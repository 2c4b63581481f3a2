#pragma once
// The popover as a frameless Qt::Popup window hosting one content widget.
//
// A popup closes itself on a press outside it (Qt does this), on Escape, and
// when it loses the keyboard focus it takes on showing: on Wayland sessions
// (through Xwayland) a popup's pointer grab never sees a click outside the X
// windows, but the focus moving to another window is seen. Some compositors
// (wlroots) take the focus straight back from a popup that takes it itself;
// a focus lost that soon is their refusal, not the user leaving.
// Opened, its first enabled control has the focus and Tab moves through
// the rest; AccessiblePopups.h makes it a dialog assistive technology can walk.
// It is never a taskbar window and does not raise the application. The
// window takes the content's own size (the popover view is 360 wide, its
// height follows its content); the content size given beforehand is used only
// when the content has no size of its own.
//
// The window and its content are built when the popover first opens and kept
// from then on: a day in the tray need not pay for widgets, fonts and text
// layout that may never be looked at. The content reads the shared state when
// it is made, so the first open shows it as it is then. Closed, the window
// gives its native window and backing store back to the system (the widgets
// stay), so a shut popover holds no pixels.

#include "tray/Popover.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

namespace duskwarden {

// How long the popover must have held the focus for losing it to count.
inline constexpr double kFocusSettleSeconds = 0.5;

// Where a popup of `size` opens beside `anchor` (the tray icon; the pointer
// stands in without one), on the screen that holds it: the popover and the
// tray menu both open here (popoverOrigin has the rule).
QPoint popupPosition(const std::optional<Rect>& anchor, QSize size);

class PopoverWindow final : public QWidget {
  Q_OBJECT
 public:
  PopoverWindow(QWidget* content, std::function<double()> now);

  // When it last closed itself because the user went elsewhere: a press
  // outside it or the focus moving away.
  std::optional<double> lastClosedByOutsidePress() const { return lastOutsideClose_; }
  // Gives the focus to the first control that takes it from the keyboard
  // (in Tab order and enabled), effective when the window next shows.
  void focusFirstControl();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void focusMoved(QWindow* focus);

  std::function<double()> now_;
  std::optional<double> lastOutsideClose_;
  std::optional<double> focusSince_;
  bool refusingClose_ = false;
};

class QtPopover final : public Popover {
 public:
  // `makeContent` is called once, on the first open; the popover owns what it returns.
  QtPopover(std::function<QWidget*()> makeContent, std::function<double()> now);
  ~QtPopover() override;

  void setContentSize(Size size) override;
  void setBehavior(PopoverBehavior behavior) override;
  bool isShown() const override;
  void showRelativeTo(const std::optional<Rect>& anchor) override;
  void performClose() override;
  std::optional<double> lastClosedByOutsidePress() const override;

  PopoverBehavior behavior() const { return behavior_; }
  // Both nullptr until the first open.
  PopoverWindow* window() const { return window_.get(); }
  QWidget* content() const { return content_; }

 private:
  void build();

  std::function<QWidget*()> makeContent_;
  std::function<double()> now_;
  std::unique_ptr<PopoverWindow> window_;
  QWidget* content_ = nullptr;
  std::optional<Size> contentSize_;
  PopoverBehavior behavior_ = PopoverBehavior::applicationDefined;
};

}  // namespace duskwarden
