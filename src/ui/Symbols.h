#pragma once
// Named symbols drawn by us as SVG resources (":/symbols/<name>.svg"), tinted
// with one colour and rendered on demand at the size asked for, so they stay
// sharp at any device pixel ratio.
//
// The SVGs are single-colour shapes on transparency; tinting keeps their alpha
// and replaces the colour. Weight thickens outlined strokes (filled shapes
// look the same at every weight). The usual sizes come baked into the
// program (BakedSymbols.h); others are rendered from the SVG when first
// needed.

#include "ui/SymbolMask.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QSize>
#include <QString>

namespace duskwarden::ui {

struct SymbolConfiguration {
  using Weight = SymbolWeight;
  double pointSize = 17;  // the symbol's square side in logical pixels
  Weight weight = Weight::regular;
};

bool hasSymbol(const QString& symbolName);

// The icon for `symbolName` in `color`, or a null QIcon for an unknown name.
// Its natural size is pointSize x pointSize; any requested size renders afresh.
QIcon symbolIcon(const QString& symbolName, const SymbolConfiguration& config, const QColor& color);

// The natural logical size of a symbol at `config`.
QSize symbolSize(const SymbolConfiguration& config);

// The shape of `symbolName` at `deviceSize` pixels as an Alpha8 mask: the
// baked one when the build made it, else rendered from the SVG. Null for an
// unknown name or an empty size.
QImage symbolMask(const QString& symbolName, SymbolWeight weight, QSize deviceSize);

// The pixels an icon engine's scaledPixmap() is to draw for `size` at
// `scale`: Qt before 6.8 hands it device pixels already, 6.8 and later the
// logical size. Asked of the Qt library the program runs on, not the one
// it was built with.
QSize scaledPixmapDeviceSize(QSize size, qreal scale);

// Whether symbolMask answers from the baked masks, without rendering.
bool isBakedForTesting(const QString& symbolName, SymbolWeight weight, QSize deviceSize);

}  // namespace duskwarden::ui
