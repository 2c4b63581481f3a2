// The smallest useful Qt 6 tray program: an icon, a context menu with Quit,
// and a popup on a left click. The benchmarks use it as the floor that any
// Qt tray utility pays before doing anything of its own.

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);

  QPixmap pixmap(22, 22);
  pixmap.fill(Qt::transparent);
  {
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::darkGray);
    painter.drawEllipse(3, 3, 16, 16);
  }

  QWidget popup(nullptr, Qt::Popup);
  auto* layout = new QVBoxLayout(&popup);
  layout->addWidget(new QLabel(QStringLiteral("Minimal tray")));
  popup.resize(360, 200);

  QMenu menu;
  menu.addAction(QStringLiteral("Quit"), &app, &QApplication::quit);

  QSystemTrayIcon icon{QIcon(pixmap)};
  icon.setContextMenu(&menu);
  QObject::connect(&icon, &QSystemTrayIcon::activated, [&](QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger) return;
    if (popup.isVisible()) {
      popup.hide();
      return;
    }
    const QRect r = icon.geometry();
    popup.move(r.right() - popup.width(), r.bottom() + 4);
    popup.show();
  });
  icon.show();
  return QApplication::exec();
}
