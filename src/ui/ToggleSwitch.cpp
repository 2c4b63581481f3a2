#include "ui/ToggleSwitch.h"

#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

namespace duskwarden::ui {

namespace {
constexpr int kTrackWidth = 38;
constexpr int kTrackHeight = 22;
constexpr int kKnobInset = 2;

// A check box to assistive technology, as Qt presents checkable buttons;
// both of its actions click.
class AccessibleSwitch final : public QAccessibleWidget {
 public:
  explicit AccessibleSwitch(ToggleSwitch* s) : QAccessibleWidget(s, QAccessible::CheckBox) {}

  QAccessible::State state() const override {
    QAccessible::State st = QAccessibleWidget::state();
    st.checkable = true;
    st.checked = button()->isChecked();
    st.pressed = button()->isDown();
    return st;
  }
  QStringList actionNames() const override {
    if (!button()->isEnabled()) return QAccessibleWidget::actionNames();
    return QStringList{toggleAction(), pressAction()} + QAccessibleWidget::actionNames();
  }
  void doAction(const QString& action) override {
    if (action == toggleAction() || action == pressAction()) {
      if (button()->isEnabled()) button()->click();
      return;
    }
    QAccessibleWidget::doAction(action);
  }

 private:
  QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }
};

QAccessibleInterface* switchFactory(const QString& className, QObject* object) {
  if (className == QLatin1String(ToggleSwitch::staticMetaObject.className()))
    return new AccessibleSwitch(static_cast<ToggleSwitch*>(object));
  return nullptr;
}
}  // namespace

ToggleSwitch::ToggleSwitch(const QString& accessibleName, QWidget* parent)
    : QAbstractButton(parent), tint_(0x34, 0xC7, 0x59) {
  static const bool accessible = (QAccessible::installFactory(switchFactory), true);
  (void)accessible;
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

void ToggleSwitch::keyPressEvent(QKeyEvent* event) {
  // Return and Enter flip it as Space does; held down, they flip it once.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (!event->isAutoRepeat()) click();
    event->accept();
    return;
  }
  QAbstractButton::keyPressEvent(event);
}

void ToggleSwitch::focusInEvent(QFocusEvent* event) {
  ring_.focusIn(event);
  QAbstractButton::focusInEvent(event);
}

void ToggleSwitch::focusOutEvent(QFocusEvent* event) {
  ring_.focusOut();
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

  ring_.paint(p, *this, track.adjusted(0.75, 0.75, -0.75, -0.75), radius);
}

}  // namespace duskwarden::ui
