#pragma once
// An on/off switch: a checkable button drawn as a pill-shaped track with a
// round knob, the track tinted when on. It shows no text; its text is kept as
// the accessible name only.
//
// Every way of operating it is a click, so whoever listens to clicked() hears
// them all: the pointer, Space, Return and Enter, and assistive technology's
// Press and Toggle actions (Qt's own button interface would run Toggle as
// toggle(), which flips the look but emits no click).

#include <QAbstractButton>
#include <QColor>

#include "ui/FocusRing.h"

namespace duskwarden::ui {

class ToggleSwitch : public QAbstractButton {
  Q_OBJECT
 public:
  explicit ToggleSwitch(const QString& accessibleName, QWidget* parent = nullptr);

  void setTint(const QColor& tint);  // the track's colour when on
  QColor tint() const { return tint_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool hitButton(const QPoint& pos) const override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  QColor tint_;
  FocusRing ring_;
};

}  // namespace duskwarden::ui
