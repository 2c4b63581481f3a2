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
// A text part read by its text, in a role other than a loose label: a screen
// reader opening the popover speaks loose labels of three words or more
// instead of the popover's own description, the state.
class AccessibleText final : public QAccessibleWidget {
 public:
  AccessibleText(QWidget* label, QAccessible::Role role) : QAccessibleWidget(label, role) {}
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) return static_cast<QLabel*>(widget())->text();
    return QAccessibleWidget::text(t);
  }
};

QAccessibleInterface* textPartsFactory(const QString& className, QObject* object) {
  // Screen readers speak a notification when it is shown (AT-SPI's "showing"),
  // the one change Orca speaks away from the focus.
  if (className == QLatin1String(ReasonLine::staticMetaObject.className()))
    return new AccessibleText(static_cast<QWidget*>(object), QAccessible::Notification);
  if (className == QLatin1String(BackdropLabel::staticMetaObject.className()))
    return new AccessibleText(static_cast<QWidget*>(object), QAccessible::Notification);
  if (className == QLatin1String(CaptionLabel::staticMetaObject.className()))
    return new AccessibleText(static_cast<QWidget*>(object), QAccessible::Paragraph);
  return nullptr;
}

void installTextPartsFactory() {
  static const bool installed = (QAccessible::installFactory(textPartsFactory), true);
  (void)installed;
}
}  // namespace

ReasonLine::ReasonLine(QWidget* parent) : QLabel(parent) {
  installTextPartsFactory();
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

BackdropLabel::BackdropLabel(double radius, QWidget* parent) : QLabel(parent), radius_(radius) {
  installTextPartsFactory();
}

CaptionLabel::CaptionLabel(QWidget* parent) : QLabel(parent) { installTextPartsFactory(); }

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
  // Inside the edge: the button's own fill is what surrounds it.
  ring_.paint(p, *this, box.adjusted(2, 2, -2, -2), 5);
  p.setPen(enabled ? colors_.text : colors_.disabledText);
  p.drawText(rect().adjusted(12, 0, -12, 0), Qt::AlignCenter, text());
}

}  // namespace duskwarden::ui
