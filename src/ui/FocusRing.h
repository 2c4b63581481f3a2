#pragma once
// The ring that marks a popover control holding the keyboard focus. It shows
// only for focus that came from the keyboard (Tab, Backtab): a popover that
// opens with its first control focused, or a click, shows none.

#include <QFocusEvent>
#include <QPainter>
#include <QPalette>
#include <QWidget>

namespace duskwarden::ui {

class FocusRing {
 public:
  void focusIn(const QFocusEvent* event) {
    shown_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
  }
  void focusOut() { shown_ = false; }

  // Strokes `box` (widget coordinates) in `color`, by default the palette's highlight.
  void paint(QPainter& painter, const QWidget& widget, const QRectF& box, qreal radius, QColor color = {}) const {
    if (!shown_ || !widget.hasFocus()) return;
    QColor ring = color.isValid() ? color : widget.palette().color(QPalette::Highlight);
    ring.setAlphaF(0.6F);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(ring, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(box, radius, radius);
    painter.restore();
  }

 private:
  bool shown_ = false;
};

}  // namespace duskwarden::ui
