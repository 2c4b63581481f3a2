#include "ui/PaletteColors.h"

namespace duskwarden::ui {

namespace {

QColor withAlpha(QColor c, double alpha) {
  c.setAlphaF(static_cast<float>(c.alphaF() * alpha));
  return c;
}

}  // namespace

Appearance appearanceOf(const QPalette& palette) {
  return palette.color(QPalette::Window).lightness() < 128 ? Appearance::dark : Appearance::light;
}

QColor resolveColor(const ColorSpec& color, const QPalette& palette) {
  const bool dark = appearanceOf(palette) == Appearance::dark;
  QColor c;
  switch (color.role) {
    case ColorRole::primary:
      c = palette.color(QPalette::WindowText);
      break;
    // Dimmed text that still reads at 4.5:1, on the window and on the grey card.
    case ColorRole::secondary:
      c = withAlpha(palette.color(QPalette::WindowText), dark ? 0.65 : 0.68);
      break;
    // The platform's standard hues, each in its light and dark variant.
    case ColorRole::orange:
      c = dark ? QColor(0xFF, 0x9F, 0x0A) : QColor(0xFF, 0x95, 0x00);
      break;
    // Green and red carry the status text on the grey badge, blue carries white
    // text (the card, the Enable button): each shade is the one that keeps that
    // text at 4.5:1 or more.
    case ColorRole::green:
      c = dark ? QColor(0x32, 0xD7, 0x4B) : QColor(0x0B, 0x54, 0x20);
      break;
    case ColorRole::red:
      c = dark ? QColor(0xFF, 0x69, 0x61) : QColor(0x96, 0x00, 0x10);
      break;
    case ColorRole::blue:
      c = dark ? QColor(0x00, 0x58, 0xD0) : QColor(0x00, 0x4C, 0xB8);
      break;
    case ColorRole::white:
      c = Qt::white;
      break;
    case ColorRole::black:
      c = Qt::black;
      break;
  }
  return withAlpha(c, color.opacity);
}

CommandButtonColors prominentColors(const QPalette& palette) {
  const QColor text = palette.color(QPalette::WindowText);
  const QColor blue = resolveColor({ColorRole::blue}, palette);
  return {blue, blue.darker(120), Qt::white, Qt::transparent, withAlpha(text, 0.08), withAlpha(text, 0.35)};
}

CommandButtonColors borderedColors(const QPalette& palette) {
  const bool dark = appearanceOf(palette) == Appearance::dark;
  const QColor text = palette.color(QPalette::WindowText);
  return {dark ? QColor(255, 255, 255, 36) : QColor(255, 255, 255), withAlpha(text, 0.15), text,
          withAlpha(text, dark ? 0.12 : 0.18), withAlpha(text, 0.08), withAlpha(text, 0.35)};
}

}  // namespace duskwarden::ui
