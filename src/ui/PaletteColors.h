#pragma once
// The view model's named colours in a widget palette: each role in its light
// or dark variant, and the two looks of the popover's command buttons.

#include "ui/ContentViewModel.h"
#include "ui/ContentViewParts.h"

#include <QColor>
#include <QPalette>

namespace duskwarden::ui {

// The named colour for a role in this palette (light or dark variant), with the
// colour's opacity applied.
QColor resolveColor(const ColorSpec& color, const QPalette& palette);
Appearance appearanceOf(const QPalette& palette);

// "Bordered prominent" (blue fill) and "bordered" buttons, in this palette.
CommandButtonColors prominentColors(const QPalette& palette);
CommandButtonColors borderedColors(const QPalette& palette);

}  // namespace duskwarden::ui
