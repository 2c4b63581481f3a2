#pragma once
// The strength slider as Qt widgets: GradientSlider holds the inputs and hosts one
// CustomGradientSlider, the drawn control, which owns the editing state.
//
// Geometry: the thumb hangs 8 px left of the track at the lower bound and 16 px right
// of it at the upper bound, and its shadow reaches 3 px further (2 px lower). A
// QWidget cannot paint outside itself, so the widget keeps fixed inner margins
// (left 11, top 1, right 19, bottom 5; see contentMargins()) and everything inside
// them is the content area: the track width is W = width() - 30, and the 24-high row
// sits at the content area's top-leading corner. The widget takes whatever size its
// layout gives it; sizeHint() is a 300-wide track by one row plus the margins.

#include <QMargins>
#include <QWidget>
#include <functional>

#include "ui/Binding.h"
#include "ui/GradientSliderModel.h"

namespace duskwarden::ui {

class CustomGradientSlider : public QWidget {
  Q_OBJECT
 public:
  // `range` must be valid (GradientSlider validates it).
  CustomGradientSlider(Binding<double> value, ClosedRange<double> range,
                       std::function<void(bool)> onEditingChanged, QWidget* parent = nullptr);

  static QMargins contentMargins();
  bool isEditingForTesting() const { return model_.isEditing(); }
  double shownValueForTesting() const { return model_.read(); }
  // Track width for the current widget size.
  double trackWidth() const;
  // Widget coordinates of a point given in row coordinates (x from the track's leading edge).
  QPointF toWidgetForTesting(SliderPoint rowPoint) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  SliderPoint toRow(QPointF widgetPoint) const;

  GradientSliderModel model_;
};

class GradientSlider : public QWidget {
  Q_OBJECT
 public:
  // Invalid ranges (NaN or infinite bound, lower > upper): see validatedRange().
  GradientSlider(Binding<double> value, ClosedRange<double> range,
                 std::function<void(bool)> onEditingChanged, QWidget* parent = nullptr);
  // Single precision, as the popover binds it: the value is widened on read and
  // narrowed to the nearest float on write; the bounds are widened.
  GradientSlider(Binding<float> value, ClosedRange<float> range,
                 std::function<void(bool)> onEditingChanged, QWidget* parent = nullptr);

  // Re-reads the value and repaints; call it when the bound value changed elsewhere.
  void refresh();

  CustomGradientSlider* control() const { return control_; }
  ClosedRange<double> range() const { return range_; }

 private:
  ClosedRange<double> range_;
  CustomGradientSlider* control_;
};

}  // namespace duskwarden::ui
