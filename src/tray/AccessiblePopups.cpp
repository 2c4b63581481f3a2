#include "tray/AccessiblePopups.h"

#include "tray/QtPopover.h"

#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QApplication>
#include <QWindow>

namespace duskwarden {

namespace {

// Qt's own rule (every top-level window but popups and the desktop), plus
// the popups that are open: a closed one is no window anyone could reach.
QObjectList windowRoots() {
  QObjectList roots;
  for (QWindow* window : QGuiApplication::topLevelWindows()) {
    if (window->type() == Qt::Desktop) continue;
    if (window->type() == Qt::Popup && !window->isVisible()) continue;
    if (QAccessibleInterface* root = window->accessibleRoot(); root && root->object()) roots.append(root->object());
  }
  return roots;
}

class ApplicationWithPopups final : public QAccessibleApplication {
 public:
  int childCount() const override { return static_cast<int>(windowRoots().size()); }

  QAccessibleInterface* child(int index) const override {
    const QObjectList roots = windowRoots();
    return index >= 0 && index < roots.size() ? QAccessible::queryAccessibleInterface(roots.at(index)) : nullptr;
  }

  int indexOfChild(const QAccessibleInterface* child) const override {
    return child ? static_cast<int>(windowRoots().indexOf(child->object())) : -1;
  }
};

QAccessibleInterface* popupsFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("QApplication") && object == qApp) return new ApplicationWithPopups;
  // Its name is its window title, the application's name.
  if (className == QLatin1String(PopoverWindow::staticMetaObject.className()))
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Dialog);
  return nullptr;
}

}  // namespace

void installAccessiblePopups() {
  static const bool installed = [] {
    QAccessible::installFactory(popupsFactory);
    return true;
  }();
  (void)installed;
}

}  // namespace duskwarden
