#pragma once
// The popover's strength row as one control: the "Less Warm" and "More Warm"
// captions over the gradient slider. The slider stays a pointer-only
// drawing; the row takes the focus, steps the strength with the arrows, Page
// Up and Page Down, Home and End, and shows to assistive technology as a
// slider named after its captions whose value is the strength, which it may
// set. Keys and such settings write the value the slider writes and end
// through the callback a drag ends with, once per burst (StrengthRowModel).
//
// The slider's drawing reaches beyond its track (GradientSlider.h); the row
// keeps the same room left, right and below, overhang(), and is placed over
// its slot in the column with it (OverhangItem).

#include <QMargins>
#include <QWidget>
#include <functional>
#include <memory>

#include "ui/Binding.h"
#include "ui/FocusRing.h"
#include "ui/StrengthRowModel.h"

class QLabel;

namespace duskwarden::ui {

class GradientSlider;

class StrengthRow : public QWidget {
  Q_OBJECT
 public:
  explicit StrengthRow(QWidget* parent = nullptr);
  ~StrengthRow() override;

  QLabel* lessCaption() const { return less_; }
  QLabel* moreCaption() const { return more_; }
  // Places `slider` (a child of the row) below the captions; keys and
  // assistive technology then drive `value` over the slider's range.
  // A burst of keys ends after a quiet time on `queue`'s clock.
  void attach(GradientSlider* slider, Binding<float> value, std::function<void(bool)> onEditingChanged,
              DispatchQueue& queue);
  // Re-reads the value: repaints the slider and tells assistive technology
  // when it changed.
  void refresh();

  // Null until attach().
  StrengthRowModel* model() const { return model_.get(); }
  static QMargins overhang();

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int captionHeight() const;
  int sliderRowTop() const;  // where the slider's 24-high row starts
  void placeChildren();

  QLabel* less_;
  QLabel* more_;
  GradientSlider* slider_ = nullptr;
  std::unique_ptr<StrengthRowModel> model_;
  double announced_ = 0;
  FocusRing ring_;
};

}  // namespace duskwarden::ui
