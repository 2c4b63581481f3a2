#pragma once
// The ring that marks a popover control holding the keyboard focus. It shows
// for every focus but a click's: on opening, on Tab, and where the focus was
// moved for the user.

#include <algorithm>
#include <utility>

#include <QFocusEvent>
#include <QPainter>
#include <QPalette>
#include <QWidget>

namespace duskwarden::ui {

class FocusRing {
 public:
  void focusIn(const QFocusEvent* event) { shown_ = event->reason() != Qt::MouseFocusReason; }
  void focusOut() { shown_ = false; }

  // Strokes `box` (widget coordinates) twice, in the palette's window and text
  // colours, the lighter outside: whatever the control, its white knob or its
  // surroundings are painted in, one of the two stands out from it by at least
  // 4.5:1 on every side.
  void paint(QPainter& painter, const QWidget& widget, const QRectF& box, qreal radius) const {
    if (!shown_ || !widget.hasFocus()) return;
    QColor light = widget.palette().color(QPalette::Window), dark = widget.palette().color(QPalette::WindowText);
    if (light.lightness() < dark.lightness()) std::swap(light, dark);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(light, 2));
    painter.drawRoundedRect(box, radius, radius);
    const qreal inner = std::max<qreal>(0, radius - 1.75);
    painter.setPen(QPen(dark, 1.5));
    painter.drawRoundedRect(box.adjusted(1.75, 1.75, -1.75, -1.75), inner, inner);
    painter.restore();
  }

 private:
  bool shown_ = false;
};

}  // namespace duskwarden::ui
