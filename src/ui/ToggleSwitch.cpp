#include "ui/ToggleSwitch.h"

#include <QFocusEvent>
#include <QPainter>
#include <QPainterPath>

namespace duskwarden::ui {

namespace {
constexpr int kTrackWidth = 38;
constexpr int kTrackHeight = 22;
constexpr int kKnobInset = 2;
}  // namespace

ToggleSwitch::ToggleSwitch(const QString& accessibleName, QWidget* parent)
    : QAbstractButton(parent), tint_(0x34, 0xC7, 0x59) {
  setCheckable(true);
  setAccessibleName(accessibleName);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void ToggleSwitch::setTint(const QColor& tint) {
  tint_ = tint;
  update();
}

QSize ToggleSwitch::sizeHint() const { return {kTrackWidth, kTrackHeight}; }

bool ToggleSwitch::hitButton(const QPoint& pos) const { return rect().contains(pos); }

// The ring marks keyboard focus only; a popover opening with focus here shows none.
void ToggleSwitch::focusInEvent(QFocusEvent* event) {
  keyboardFocus_ = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
  QAbstractButton::focusInEvent(event);
}

void ToggleSwitch::focusOutEvent(QFocusEvent* event) {
  keyboardFocus_ = false;
  QAbstractButton::focusOutEvent(event);
}

void ToggleSwitch::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const qreal radius = track.height() / 2;
  const bool on = isChecked();

  // Off: a neutral track that reads on both light and dark backgrounds.
  QColor trackColor = on ? tint_ : palette().color(QPalette::WindowText);
  if (!on) trackColor.setAlphaF(0.25F);
  if (!isEnabled()) trackColor.setAlphaF(trackColor.alphaF() * 0.5F);
  p.setPen(Qt::NoPen);
  p.setBrush(trackColor);
  p.drawRoundedRect(track, radius, radius);

  const qreal knobDiameter = track.height() - 2 * kKnobInset;
  const qreal knobX = on ? track.right() - kKnobInset - knobDiameter : track.left() + kKnobInset;
  const QRectF knob(knobX, track.top() + kKnobInset, knobDiameter, knobDiameter);
  p.setBrush(QColor(0, 0, 0, 40));
  p.drawEllipse(knob.translated(0, 0.75));
  p.setBrush(Qt::white);
  p.drawEllipse(knob);

  if (hasFocus() && keyboardFocus_) {
    QColor ring = palette().color(QPalette::Highlight);
    ring.setAlphaF(0.6F);
    p.setPen(QPen(ring, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(track.adjusted(0.75, 0.75, -0.75, -0.75), radius, radius);
  }
}

}  // namespace duskwarden::ui
