#include "tray/QtPopover.h"

#include "tray/PopoverPlacement.h"

#include <QAccessible>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

namespace duskwarden {

QPoint popupPosition(const std::optional<Rect>& anchor, QSize size) {
  const QPoint cursor = QCursor::pos();
  QScreen* screen = anchor ? QGuiApplication::screenAt(QPoint(anchor->x, anchor->y)) : nullptr;
  if (!screen) screen = QGuiApplication::screenAt(cursor);
  if (!screen) screen = QGuiApplication::primaryScreen();
  const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 15, 1 << 15);
  const Point origin = popoverOrigin(anchor, Point{cursor.x(), cursor.y()}, size.width(), size.height(),
                                     Rect{area.x(), area.y(), area.width(), area.height()});
  return QPoint(origin.x, origin.y);
}

PopoverWindow::PopoverWindow(QWidget* content, std::function<double()> now)
    // Bypassing the window manager (a popup is unmanaged anyway) lets it take
    // the focus itself; a window manager ignores focus requests for windows
    // it does not manage.
    : QWidget(nullptr, Qt::Popup | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint), now_(std::move(now)) {
  setObjectName(QStringLiteral("popover"));
  // What assistive technology names the popover's dialog.
  setWindowTitle(QGuiApplication::applicationDisplayName());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->addWidget(content);
  connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, &PopoverWindow::focusMoved);
}

void PopoverWindow::focusFirstControl() {
  // Recorded now, taken when the popup opens: keyboard and screen-reader
  // users start on a control, not on nothing.
  for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
    if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(this)) {
      w->setFocus(Qt::PopupFocusReason);
      return;
    }
  }
}

void PopoverWindow::showEvent(QShowEvent* event) {
  focusSince_.reset();
  QWidget::showEvent(event);
}

void PopoverWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // Closed, the popover gives its native window and backing store back (the
  // widgets stay): a day with the popover shut should not hold its pixels.
  QTimer::singleShot(0, this, [this] {
    if (!isVisible() && windowHandle()) destroy();
  });
}

void PopoverWindow::closeEvent(QCloseEvent* event) {
  // Qt closes an open popup itself when the application loses the focus.
  // Lost that soon after taking it, the focus was the compositor's refusal:
  // stay open (Qt may ask more than once in the same turn).
  const bool focusGone = QGuiApplication::focusWindow() != windowHandle();
  if (!refusingClose_ && focusGone && focusSince_ && now_() - *focusSince_ < kFocusSettleSeconds) {
    refusingClose_ = true;
    focusSince_.reset();
    QTimer::singleShot(0, this, [this] { refusingClose_ = false; });
  }
  if (refusingClose_) {
    event->ignore();
    return;
  }
  if (focusGone && focusSince_) lastOutsideClose_ = now_();  // the user went elsewhere
  QWidget::closeEvent(event);
}

void PopoverWindow::focusMoved(QWindow* focus) {
  if (!isVisible()) return;
  QWindow* mine = windowHandle();
  if (focus && focus == mine) {
    focusSince_ = now_();
    return;
  }
  // Only a focus it had can be lost; one that never came says nothing.
  if (!focusSince_ || (focus && focus->transientParent() == mine)) return;
  const double held = now_() - *focusSince_;
  focusSince_.reset();
  if (held < kFocusSettleSeconds) return;  // the compositor's refusal
  lastOutsideClose_ = now_();
  close();
}

void PopoverWindow::mousePressEvent(QMouseEvent* event) {
  // Qt closes a popup on a press outside it; remember when, so the tray click
  // that caused it is not read as a request to open it again.
  if (!rect().contains(event->position().toPoint())) lastOutsideClose_ = now_();
  QWidget::mousePressEvent(event);
}

void PopoverWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

QtPopover::QtPopover(std::function<QWidget*()> makeContent, std::function<double()> now)
    : makeContent_(std::move(makeContent)), now_(std::move(now)) {}

QtPopover::~QtPopover() = default;

void QtPopover::build() {
  content_ = makeContent_();
  makeContent_ = nullptr;  // what it captured (the manager) now lives in the content
  window_ = std::make_unique<PopoverWindow>(content_, now_);
  if (contentSize_) setContentSize(*contentSize_);
}

void QtPopover::setContentSize(Size size) {
  contentSize_ = size;
  if (content_ && !content_->sizeHint().isValid())
    content_->resize(static_cast<int>(size.width), static_cast<int>(size.height));
}

void QtPopover::setBehavior(PopoverBehavior behavior) {
  // Qt::Popup windows are transient by nature; the other behaviours are not used.
  behavior_ = behavior;
}

bool QtPopover::isShown() const { return window_ && window_->isVisible(); }

void QtPopover::showRelativeTo(const std::optional<Rect>& anchor) {
  if (!window_) build();
  window_->focusFirstControl();
  window_->adjustSize();
  window_->move(popupPosition(anchor, window_->size()));
  window_->show();
  window_->activateWindow();
  // A screen reader speaks a window when something in it takes the focus; the
  // popup's focus was set before it was shown, when nobody was told. Told
  // once it shows, the reader says the popover (its state) and the control.
  QTimer::singleShot(0, window_.get(), [w = window_.get()] {
    if (QWidget* focus = w->focusWidget(); focus && w->isVisible()) {
      QAccessibleEvent focused(focus, QAccessible::Focus);
      QAccessible::updateAccessibility(&focused);
    }
  });
}

void QtPopover::performClose() {
  if (window_) window_->close();
}

std::optional<double> QtPopover::lastClosedByOutsidePress() const {
  return window_ ? window_->lastClosedByOutsidePress() : std::nullopt;
}

}  // namespace duskwarden
