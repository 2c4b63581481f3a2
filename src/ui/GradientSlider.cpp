#include "ui/GradientSlider.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QVBoxLayout>
#include <cmath>
#include <utility>

namespace duskwarden::ui {

using namespace slider;

namespace {

// Nearest Qt equivalents of the desktop's standard grey and orange.
const QColor kStandardGrey(0x8E, 0x8E, 0x93);
const QColor kStandardOrange(0xFF, 0x95, 0x00);

QColor withOpacity(QColor c, double opacity) {
  c.setAlphaF(static_cast<float>(opacity));
  return c;
}

QRectF toQRect(const SliderRect& r) { return QRectF(r.x, r.y, r.width, r.height); }

QPainterPath bar(const SliderRect& r) {
  QPainterPath path;
  path.addRoundedRect(toQRect(r), kTrackCornerRadius, kTrackCornerRadius);
  return path;
}

// A blurred disk: alpha follows the Gaussian edge profile (sigma = blur / 2) of a
// circle of the thumb's radius, reaching zero one blur radius outside it.
void paintShadow(QPainter& p, QPointF center) {
  const double radius = kThumbDiameter / 2 + kShadowBlur;
  QRadialGradient g(center, radius);
  const std::pair<double, double> profile[] = {
      {0.0, 1.0}, {0.6, 0.977}, {0.7, 0.841}, {0.8, 0.5}, {0.9, 0.159}, {1.0, 0.0}};
  for (auto [at, share] : profile) g.setColorAt(at, QColor(0, 0, 0, qRound(255 * kShadowOpacity * share)));
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawEllipse(center, radius, radius);
}

}  // namespace

CustomGradientSlider::CustomGradientSlider(Binding<double> value, ClosedRange<double> range,
                                           std::function<void(bool)> onEditingChanged, QWidget* parent)
    : QWidget(parent), model_(std::move(value), range, std::move(onEditingChanged)) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

QMargins CustomGradientSlider::contentMargins() {
  return QMargins(int(kOverhangLeft), int(kOverhangTop), int(kOverhangRight), int(kOverhangBottom));
}

double CustomGradientSlider::trackWidth() const {
  const QMargins m = contentMargins();
  return std::max(0, width() - m.left() - m.right());
}

QPointF CustomGradientSlider::toWidgetForTesting(SliderPoint rowPoint) const {
  const QMargins m = contentMargins();
  return QPointF(rowPoint.x + m.left(), rowPoint.y + m.top());
}

SliderPoint CustomGradientSlider::toRow(QPointF widgetPoint) const {
  const QMargins m = contentMargins();
  return {widgetPoint.x() - m.left(), widgetPoint.y() - m.top()};
}

QSize CustomGradientSlider::sizeHint() const {
  const QMargins m = contentMargins();
  return QSize(300 + m.left() + m.right(), int(kRowHeight) + m.top() + m.bottom());
}

QSize CustomGradientSlider::minimumSizeHint() const {
  const QMargins m = contentMargins();
  return QSize(m.left() + m.right(), int(kRowHeight) + m.top() + m.bottom());
}

void CustomGradientSlider::paintEvent(QPaintEvent*) {
  // The value is read afresh on every paint, so changes made elsewhere show up here.
  const GradientSliderLayout l = model_.layout(trackWidth());
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QMargins m = contentMargins();
  p.translate(m.left(), m.top());
  p.setPen(Qt::NoPen);

  // The bar runs under the thumb's whole travel, into the overhang at both
  // ends, so the thumb never sticks out past it at the least or most warm.
  SliderRect track = l.track;
  track.x = -kThumbLead;
  track.width = l.trackWidth + kThumbDiameter;
  p.fillPath(bar(track), withOpacity(kStandardGrey, kTrackOpacity));

  if (l.fill.width > 0) {
    // From the drawn track's start to the value, so it always ends in full orange at the thumb.
    SliderRect fill = l.fill;
    fill.x = -kThumbLead;
    fill.width = l.fill.width + kThumbLead;
    QLinearGradient g(QPointF(fill.x, 0), QPointF(l.fill.width, 0));
    g.setColorAt(0, QColor::fromRgbF(kFillStartGrey, kFillStartGrey, kFillStartGrey, 1.0));
    g.setColorAt(1, kStandardOrange);
    p.fillPath(bar(fill), g);
  }

  const QPointF center(l.thumbCenter.x, l.thumbCenter.y);
  paintShadow(p, center + QPointF(0, kShadowOffsetY));
  QRadialGradient thumb(center, kThumbDiameter / 2);
  thumb.setColorAt(0, Qt::white);
  thumb.setColorAt(1, withOpacity(kStandardGrey, kTrackOpacity));
  p.setBrush(thumb);
  p.drawEllipse(toQRect(l.thumb));
}

void CustomGradientSlider::mousePressEvent(QMouseEvent* event) {
  // Only the drawn thumb takes the pointer; presses elsewhere pass to the parent.
  if (event->button() == Qt::LeftButton && model_.pointerDown(toRow(event->position()))) {
    event->accept();
  } else {
    event->ignore();
  }
}

void CustomGradientSlider::mouseMoveEvent(QMouseEvent* event) {
  if (!model_.isTracking() || !(event->buttons() & Qt::LeftButton)) return event->ignore();
  model_.pointerMoved(toRow(event->position()));
  update();
}

void CustomGradientSlider::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !model_.isTracking()) return event->ignore();
  model_.pointerUp();
  update();
}

void CustomGradientSlider::hideEvent(QHideEvent* event) {
  // A popup closing mid-drag never delivers the release; end the drag here so the
  // embedding view still gets its end-of-editing call and commits the last value.
  if (model_.isTracking()) model_.pointerUp();
  QWidget::hideEvent(event);
}

GradientSlider::GradientSlider(Binding<double> value, ClosedRange<double> range,
                               std::function<void(bool)> onEditingChanged, QWidget* parent)
    : QWidget(parent),
      range_(validatedRange(range)),
      control_(new CustomGradientSlider(std::move(value), range_, std::move(onEditingChanged), this)) {
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(0);
  box->addWidget(control_);
  setSizePolicy(control_->sizePolicy());
}

GradientSlider::GradientSlider(Binding<float> value, ClosedRange<float> range,
                               std::function<void(bool)> onEditingChanged, QWidget* parent)
    : GradientSlider(widenedBinding(std::move(value)),
                     ClosedRange<double>{static_cast<double>(range.lower), static_cast<double>(range.upper)},
                     std::move(onEditingChanged), parent) {}

void GradientSlider::refresh() { control_->update(); }

}  // namespace duskwarden::ui
