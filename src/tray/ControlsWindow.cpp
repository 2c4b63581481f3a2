#include "tray/ControlsWindow.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

namespace duskwarden {

ControlsWindow::ControlsWindow(QString title, std::function<QWidget*()> content, std::function<Menu()> menu)
    : title_(std::move(title)), content_(std::move(content)), menu_(std::move(menu)) {}

ControlsWindow::~ControlsWindow() {
  if (window_) delete window_.data();
}

QWidget* ControlsWindow::build() {
  auto* window = new QWidget(nullptr, Qt::Window);
  window->setObjectName(QStringLiteral("controls-window"));
  window->setWindowTitle(title_);
  window->setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(window);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  layout->setContentsMargins(0, 0, 0, 10);
  layout->addWidget(content_());

  auto* commands = new QHBoxLayout;
  commands->setContentsMargins(12, 0, 12, 0);
  commands->addStretch(1);
  for (const MenuItem& item : menu_().items) {
    if (item.isSeparator) continue;
    auto* button = new QPushButton(QString::fromStdString(item.title), window);
    // Return and Enter press the focused button as Space does (outside a
    // dialog Qt does so only for auto-default buttons).
    button->setAutoDefault(true);
    auto run = item.action;
    // Later, like a menu's actions, so a dialog or Quit starts from a settled window.
    auto later = [run] {
      if (run) QTimer::singleShot(0, QCoreApplication::instance(), run);
    };
    QObject::connect(button, &QPushButton::clicked, window, later);
    if (!item.keyEquivalent.empty()) {
      const QKeySequence keys = QKeySequence::fromString(QString::fromStdString(item.keyEquivalent));
      button->setToolTip(keys.toString(QKeySequence::NativeText));
      QObject::connect(new QShortcut(keys, window), &QShortcut::activated, window, later);
    }
    commands->addWidget(button);
  }
  layout->addLayout(commands);
  return window;
}

void ControlsWindow::show() {
  if (!window_) window_ = build();
  window_->show();
  window_->raise();
  window_->activateWindow();
}

void ControlsWindow::close() {
  if (window_) window_->close();
}

bool ControlsWindow::isShown() const { return window_ && window_->isVisible(); }

}  // namespace duskwarden
