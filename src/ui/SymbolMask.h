#pragma once
// A symbol's shape as an alpha mask, rendered from its SVG, and the tint
// that gives it a colour. Shared by the program and by the build-time tool
// that bakes the usual sizes into it (BakedSymbols.h), so both produce the
// same pixels.
//
// The SVG is rendered through Qt's SVG image-format plugin, which loads Qt
// Svg only when a mask is first rendered this way.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>

namespace duskwarden::ui {

// Stroke weights, thickening outlined strokes (filled shapes look the same at every weight).
enum class SymbolWeight { regular, semibold, bold, heavy };

// `svg` with every stroke-width scaled for `weight`.
QByteArray weightedSvg(const QByteArray& svg, SymbolWeight weight);

// `svg` drawn to fill `deviceSize` pixels, as an Alpha8 image; null when it
// cannot be rendered (no SVG plugin, not an SVG).
QImage renderSymbolMask(const QByteArray& svg, SymbolWeight weight, QSize deviceSize);

// `mask` in `color`: premultiplied ARGB whose alpha is the mask's times the colour's.
QImage tintedMask(const QImage& mask, const QColor& color);

}  // namespace duskwarden::ui
