#pragma once
// The popover's content in an ordinary window, for desktops without a tray:
// titled with the application's name, closable, listed by the window
// manager like any other, with the tray menu's commands ("Check for
// Updates...", "Quit ...") as a row of buttons under the controls, their
// shortcuts included.
//
// Built when first shown and destroyed when closed, so it costs nothing on
// desktops that have a tray.

#include "tray/StatusItem.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

namespace duskwarden {

class ControlsWindow {
 public:
  // `content` makes the controls; `menu` gives the commands.
  ControlsWindow(QString title, std::function<QWidget*()> content, std::function<Menu()> menu);
  ~ControlsWindow();

  // Opens the window, or raises it to the front when it is open.
  void show();
  void close();
  bool isShown() const;
  QWidget* window() const { return window_.data(); }

 private:
  QWidget* build();

  QString title_;
  std::function<QWidget*()> content_;
  std::function<Menu()> menu_;
  QPointer<QWidget> window_;
};

}  // namespace duskwarden
