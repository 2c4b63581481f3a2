#pragma once
// Small drawn pieces of the popover: a tinted symbol, a label on a rounded
// background, a card with a rounded background, a thin divider and the
// command buttons.

#include <QColor>
#include <QLabel>
#include <QLayoutItem>
#include <QPushButton>
#include <QWidget>

#include "ui/FocusRing.h"
#include "ui/Symbols.h"

namespace duskwarden::ui {

// A symbol painted centred in the widget; re-rendered at the screen's pixel ratio.
// Exposes "symbolName" and "symbolColor" as properties for inspection.
class SymbolView : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QString symbolName READ symbolName)
  Q_PROPERTY(QColor symbolColor READ symbolColor)
 public:
  SymbolView(SymbolConfiguration config, QWidget* parent = nullptr);

  void setSymbol(const QString& name, const QColor& color);
  QString symbolName() const { return name_; }
  QColor symbolColor() const { return color_; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  SymbolConfiguration config_;
  QString name_;
  QColor color_;
  QIcon icon_;
};

// A label drawn on a rounded background; a radius below 0 means a capsule
// (half the height). It carries the status: to assistive technology a
// notification, announced when it is shown afresh.
class BackdropLabel : public QLabel {
  Q_OBJECT
  Q_PROPERTY(QColor backdropColor READ backdropColor)
 public:
  explicit BackdropLabel(double radius, QWidget* parent = nullptr);
  void setBackdropColor(const QColor& color);
  QColor backdropColor() const { return backdrop_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double radius_;
  QColor backdrop_;
};

// A container with a rounded, filled background.
class CardWidget : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QColor backdropColor READ backdropColor)
 public:
  explicit CardWidget(double radius, QWidget* parent = nullptr);
  void setBackdropColor(const QColor& color);
  QColor backdropColor() const { return backdrop_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double radius_;
  QColor backdrop_;
};

// A column item that lays its widget over the slot the column gives it,
// grown by `overhang`: the column counts the slot, the widget may draw
// beyond it (the slider's thumb into the column's padding).
class OverhangItem final : public QWidgetItem {
 public:
  OverhangItem(QWidget* widget, QMargins overhang) : QWidgetItem(widget), overhang_(overhang) {}
  QSize sizeHint() const override { return QWidgetItem::sizeHint().shrunkBy(overhang_); }
  QSize minimumSize() const override { return QWidgetItem::minimumSize().shrunkBy(overhang_); }
  QSize maximumSize() const override { return QWidgetItem::maximumSize().shrunkBy(overhang_); }
  void setGeometry(const QRect& slot) override {
    slot_ = slot;
    // Not QWidgetItem's: it would bound the widget by this item's (slot) size.
    if (!isEmpty()) widget()->setGeometry(slot.marginsAdded(overhang_));
  }
  QRect geometry() const override { return slot_; }

 private:
  QMargins overhang_;
  QRect slot_;
};

// The line under the status badge that says why night light is off or a
// request failed; hidden, taking no room, when there is nothing to say. To
// assistive technology it is a notification: read with the rest of the
// popover, and announced when it appears or says something new.
class ReasonLine : public QLabel {
  Q_OBJECT
 public:
  explicit ReasonLine(QWidget* parent = nullptr);
  void setReason(const QString& text);
};

// A caption that a control already speaks as its description; to assistive
// technology a paragraph, not a loose label.
class CaptionLabel : public QLabel {
  Q_OBJECT
 public:
  explicit CaptionLabel(QWidget* parent = nullptr);
};

// A one-pixel separator across the available width.
class Divider : public QWidget {
  Q_OBJECT
 public:
  explicit Divider(QWidget* parent = nullptr);
  QSize sizeHint() const override { return {0, 1}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A command button at the large control size (30 high, 13-pixel text, 7-pixel
// corners), drawn here from its colours: filled with the tint for "bordered
// prominent", a light fill with a hairline border for "bordered". Drawn by
// hand rather than with a style sheet, which would load Qt's style-sheet
// engine (about a third of a mebibyte) for two buttons. Return and Enter
// press it as Space does.
inline constexpr int kCommandButtonTextSize = 13;  // pixels, at the default text scale

struct CommandButtonColors {
  QColor fill, pressedFill, text, border;  // border transparent: none
  QColor disabledFill, disabledText;
  bool operator==(const CommandButtonColors&) const = default;
};

class CommandButton : public QPushButton {
  Q_OBJECT
 public:
  explicit CommandButton(QWidget* parent = nullptr);
  void setColors(const CommandButtonColors& colors);
  const CommandButtonColors& colors() const { return colors_; }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  CommandButtonColors colors_;
  FocusRing ring_;
};

}  // namespace duskwarden::ui
