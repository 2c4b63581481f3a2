#include "ui/ContentViewParts.h"

#include <algorithm>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPainter>
#include <QPainterPath>

namespace duskwarden::ui {

namespace {
void fillRounded(QPainter& p, const QRectF& r, double radius, const QColor& color) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  const double rr = radius < 0 ? r.height() / 2 : std::min(radius, r.height() / 2);
  p.drawRoundedRect(r, rr, rr);
}
// Screen readers speak a notification when it is shown (AT-SPI's "showing").
class AccessibleReasonLine final : public QAccessibleWidget {
 public:
  explicit AccessibleReasonLine(QWidget* line) : QAccessibleWidget(line, QAccessible::Notification) {}
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) return static_cast<QLabel*>(widget())->text();
    return QAccessibleWidget::text(t);
  }
};

QAccessibleInterface* reasonLineFactory(const QString& className, QObject* object) {
  if (className == QLatin1String(ReasonLine::staticMetaObject.className()))
    return new AccessibleReasonLine(static_cast<QWidget*>(object));
  return nullptr;
}
}  // namespace

ReasonLine::ReasonLine(QWidget* parent) : QLabel(parent) {
  static const bool accessible = (QAccessible::installFactory(reasonLineFactory), true);
  (void)accessible;
  setAlignment(Qt::AlignCenter);
  setWordWrap(true);
  hide();
}

void ReasonLine::setReason(const QString& text) {
  if (text.isEmpty()) return hide();
  if (text == this->text() && !isHidden()) return;
  // Shown afresh, so that a new reason is announced as the first one was.
  hide();
  setText(text);
  show();
}

SymbolView::SymbolView(SymbolConfiguration config, QWidget* parent) : QWidget(parent), config_(config) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void SymbolView::setSymbol(const QString& name, const QColor& color) {
  if (name == name_ && color == color_) return;
  name_ = name;
  color_ = color;
  icon_ = symbolIcon(name, config_, color);
  update();
}

QSize SymbolView::sizeHint() const { return symbolSize(config_); }

void SymbolView::paintEvent(QPaintEvent*) {
  if (icon_.isNull()) return;
  QPainter p(this);
  const QSize s = symbolSize(config_);
  const QRect target(QPoint((width() - s.width()) / 2, (height() - s.height()) / 2), s);
  icon_.paint(&p, target);
}

BackdropLabel::BackdropLabel(double radius, QWidget* parent) : QLabel(parent), radius_(radius) {}

void BackdropLabel::setBackdropColor(const QColor& color) {
  backdrop_ = color;
  update();
}

void BackdropLabel::paintEvent(QPaintEvent* event) {
  {
    QPainter p(this);
    fillRounded(p, QRectF(rect()), radius_, backdrop_);
  }
  QLabel::paintEvent(event);
}

CardWidget::CardWidget(double radius, QWidget* parent) : QWidget(parent), radius_(radius) {}

void CardWidget::setBackdropColor(const QColor& color) {
  backdrop_ = color;
  update();
}

void CardWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  fillRounded(p, QRectF(rect()), radius_, backdrop_);
}

Divider::Divider(QWidget* parent) : QWidget(parent) {
  setFixedHeight(1);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void Divider::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QColor c = palette().color(QPalette::WindowText);
  c.setAlphaF(0.15F);
  p.fillRect(rect(), c);
}

CommandButton::CommandButton(QWidget* parent) : QPushButton(parent) {
  QFont f = font();
  f.setPixelSize(kCommandButtonTextSize);
  setFont(f);
  // Outside a dialog Qt presses a button on Return only when it is an auto-default one.
  setAutoDefault(true);
}

void CommandButton::setColors(const CommandButtonColors& colors) {
  if (colors == colors_) return;
  colors_ = colors;
  update();
}

QSize CommandButton::sizeHint() const {
  // 30 high at the design's text size, taller in proportion to larger text.
  const int text = font().pixelSize() > 0 ? font().pixelSize() : kCommandButtonTextSize;
  return {fontMetrics().horizontalAdvance(this->text()) + 24, std::max(30, qRound(30.0 * text / kCommandButtonTextSize))};
}

void CommandButton::focusInEvent(QFocusEvent* event) {
  ring_.focusIn(event);
  QPushButton::focusInEvent(event);
}

void CommandButton::focusOutEvent(QFocusEvent* event) {
  ring_.focusOut();
  QPushButton::focusOutEvent(event);
}

void CommandButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const bool enabled = isEnabled();
  const QColor fill = !enabled ? colors_.disabledFill : isDown() ? colors_.pressedFill : colors_.fill;
  const QColor border = enabled ? colors_.border : colors_.disabledFill;
  const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  p.setPen(border.alpha() > 0 ? QPen(border, 1.0) : QPen(Qt::NoPen));
  p.setBrush(fill);
  p.drawRoundedRect(box, 7, 7);
  // Inside the edge, in the text's colour: it shows on the filled and the light button alike.
  ring_.paint(p, *this, box.adjusted(2, 2, -2, -2), 5, colors_.text);
  p.setPen(enabled ? colors_.text : colors_.disabledText);
  p.drawText(rect().adjusted(12, 0, -12, 0), Qt::AlignCenter, text());
}

}  // namespace duskwarden::ui
