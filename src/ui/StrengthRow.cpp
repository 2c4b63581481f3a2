#include "ui/StrengthRow.h"

#include <cmath>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <optional>

#include "ui/ContentViewModel.h"
#include "ui/GradientSlider.h"

namespace duskwarden::ui {

namespace {

std::optional<StrengthKey> strengthKey(int key) {
  switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Down:
      return StrengthKey::stepDown;
    case Qt::Key_Right:
    case Qt::Key_Up:
      return StrengthKey::stepUp;
    case Qt::Key_PageDown:
      return StrengthKey::pageDown;
    case Qt::Key_PageUp:
      return StrengthKey::pageUp;
    case Qt::Key_Home:
      return StrengthKey::lowest;
    case Qt::Key_End:
      return StrengthKey::highest;
    default:
      return std::nullopt;
  }
}

// Where `v` lies from the range's lower end to its upper, in percent.
double percentOf(double v, const StrengthRowModel& model) {
  const auto r = model.range();
  return r.upper > r.lower ? std::round((v - r.lower) / (r.upper - r.lower) * 1000.0) / 10.0 : 0.0;
}

// A slider to assistive technology, a leaf: the captions are in its name and
// the drawing has nothing to say.
class AccessibleStrengthRow final : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit AccessibleStrengthRow(StrengthRow* row) : QAccessibleWidget(row, QAccessible::Slider) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface && model()) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  int childCount() const override { return 0; }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }

  // In percent of the way from least to most warm: a screen reader says
  // "50", not "0.50".
  QVariant currentValue() const override { return model() ? toPercent(model()->value()) : 0.0; }
  void setCurrentValue(const QVariant& value) override {
    if (!model() || !value.canConvert<double>()) return;
    const auto r = model()->range();
    model()->set(r.lower + value.toDouble() / 100.0 * (r.upper - r.lower));
  }
  QVariant maximumValue() const override { return 100.0; }
  QVariant minimumValue() const override { return 0.0; }
  QVariant minimumStepSize() const override { return 100.0 * strengthrow::kStep; }

 private:
  StrengthRowModel* model() const { return static_cast<StrengthRow*>(widget())->model(); }
  double toPercent(double v) const { return percentOf(v, *model()); }
};

QAccessibleInterface* rowFactory(const QString& className, QObject* object) {
  if (className == QLatin1String(StrengthRow::staticMetaObject.className()))
    return new AccessibleStrengthRow(static_cast<StrengthRow*>(object));
  return nullptr;
}

}  // namespace

StrengthRow::StrengthRow(QWidget* parent) : QWidget(parent), less_(new QLabel(this)), more_(new QLabel(this)) {
  static const bool accessible = (QAccessible::installFactory(rowFactory), true);
  (void)accessible;
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

StrengthRow::~StrengthRow() = default;

void StrengthRow::attach(GradientSlider* slider, Binding<float> value, std::function<void(bool)> onEditingChanged,
                         DispatchQueue& queue) {
  slider_ = slider;
  model_ = std::make_unique<StrengthRowModel>(widenedBinding(std::move(value)), slider->range(),
                                              std::move(onEditingChanged), queue);
  announced_ = model_->value();
  placeChildren();
}

void StrengthRow::refresh() {
  if (slider_) slider_->refresh();
  if (!model_ || model_->value() == announced_) return;
  announced_ = model_->value();
  QAccessibleValueChangeEvent changed(this, percentOf(announced_, *model_));
  QAccessible::updateAccessibility(&changed);
}

QMargins StrengthRow::overhang() {
  const QMargins slider = CustomGradientSlider::contentMargins();
  return QMargins(slider.left(), 0, slider.right(), slider.bottom());
}

int StrengthRow::captionHeight() const { return std::max(less_->sizeHint().height(), more_->sizeHint().height()); }

int StrengthRow::sliderRowTop() const { return captionHeight() + contentview::kStrengthSpacing; }

QSize StrengthRow::sizeHint() const {
  const QMargins m = overhang();
  return QSize(300 + m.left() + m.right(), sliderRowTop() + static_cast<int>(slider::kRowHeight) + m.bottom());
}

QSize StrengthRow::minimumSizeHint() const {
  const QMargins m = overhang();
  const int captions = less_->sizeHint().width() + more_->sizeHint().width();
  return QSize(captions + m.left() + m.right(), sizeHint().height());
}

void StrengthRow::placeChildren() {
  const QMargins m = overhang();
  const int h = captionHeight();
  const QSize lessSize(less_->sizeHint().width(), h);
  const QSize moreSize(more_->sizeHint().width(), h);
  less_->setGeometry(QRect(QPoint(m.left(), 0), lessSize));
  more_->setGeometry(QRect(QPoint(width() - m.right() - moreSize.width(), 0), moreSize));
  if (!slider_) return;
  const QMargins s = CustomGradientSlider::contentMargins();
  slider_->setGeometry(0, sliderRowTop() - s.top(), width(), s.top() + static_cast<int>(slider::kRowHeight) + s.bottom());
}

bool StrengthRow::event(QEvent* event) {
  // A caption's new text or font changes its size: place it again, and tell the column.
  if (event->type() == QEvent::LayoutRequest) {
    placeChildren();
    updateGeometry();
  }
  return QWidget::event(event);
}

void StrengthRow::resizeEvent(QResizeEvent* event) {
  placeChildren();
  QWidget::resizeEvent(event);
}

void StrengthRow::keyPressEvent(QKeyEvent* event) {
  const auto key = strengthKey(event->key());
  if (!key || !model_ || event->modifiers().testAnyFlags(Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
    return QWidget::keyPressEvent(event);
  model_->keyPressed(*key);
  event->accept();
}

void StrengthRow::keyReleaseEvent(QKeyEvent* event) {
  if (model_ && strengthKey(event->key()) && !event->isAutoRepeat()) {
    model_->keysReleased();
    event->accept();
    return;
  }
  QWidget::keyReleaseEvent(event);
}

void StrengthRow::focusInEvent(QFocusEvent* event) {
  ring_.focusIn(event);
  QWidget::focusInEvent(event);
  update();
}

void StrengthRow::focusOutEvent(QFocusEvent* event) {
  ring_.focusOut();
  if (model_) model_->finish();  // leaving the row ends its burst at once
  QWidget::focusOutEvent(event);
  update();
}

void StrengthRow::hideEvent(QHideEvent* event) {
  if (model_) model_->finish();
  QWidget::hideEvent(event);
}

void StrengthRow::paintEvent(QPaintEvent*) {
  // Around the slider's row, thumb overhang included, below the captions.
  QPainter p(this);
  const QRectF box(1.5, sliderRowTop() - 2.5, width() - 3.0, slider::kRowHeight + 5.0);
  ring_.paint(p, *this, box, box.height() / 2);
}

}  // namespace duskwarden::ui
